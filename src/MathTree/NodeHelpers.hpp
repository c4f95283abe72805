// Internal to the units that print, rewrite and derive trees: the small questions and
// constructors their rules are written in. Not part of the tree's interface.
#pragma once

#include <utility>

#include "MathTree/MathTree.hpp"

namespace nodes {

inline bool Is(const TKoOperatorNode* node, TOperation code) {
  return node->Operation == code;
}

inline bool IsConstant(const TKoOperatorNode* node) {
  return Is(node, opConstant);
}

inline bool IsConstant(const TKoOperatorNode* node, long double value) {
  return IsConstant(node) && node->LeafValue() == value;
}

// A new extended constant.
inline TKoNodePtr Constant(long double value) {
  return TKoOperatorNode::CreateConstant(value);
}

// A new node with the given children in order; absent children are left out.
template <class... Children>
TKoNodePtr Make(TOperation code, Children... children) {
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
  (node->AddChild(std::move(children)), ...);
  return node;
}

}  // namespace nodes
