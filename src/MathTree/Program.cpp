#include <cmath>
#include <cstddef>

#include "MathTree/MathTree.hpp"

namespace {

using TNode = TKoEvalProgram::TNode;
using TEval = long double (*)(const TNode*, bool&);

// The check the tree makes after every sum, product, quotient and function.
inline void Check(long double v, bool& failed) {
  if (!std::isfinite(v)) [[unlikely]]
    failed = true;
}

template <bool Leaf>
inline long double OperandA(const TNode* n, bool& failed) {
  if constexpr (Leaf) {
    return *n->LeafA;
  } else {
    return n->A->Eval(n->A, failed);
  }
}

template <bool Leaf>
inline long double OperandB(const TNode* n, bool& failed) {
  if constexpr (Leaf) {
    return *n->LeafB;
  } else {
    return n->B->Eval(n->B, failed);
  }
}

long double Leaf(const TNode* n, bool& /*failed*/) {
  return *n->LeafA;
}

// The folds of the tree, one pair of operands at a time: the value so far and the next.
template <TOperation Code, bool LeafA, bool LeafB>
long double Fold(const TNode* n, bool& failed) {
  const long double a = OperandA<LeafA>(n, failed);
  const long double b = OperandB<LeafB>(n, failed);
  if constexpr (Code == opSum) {
    const long double r = a + b;
    Check(r, failed);
    return r;
  } else if constexpr (Code == opProduct) {
    const long double r = a * b;
    Check(r, failed);
    return r;
  } else if constexpr (Code == opQuotient) {
    if (b == 0) [[unlikely]] {
      failed = true;
      return 0;
    }
    const long double r = a / b;
    Check(r, failed);
    return r;
  } else {
    // The power rules leave a number or fail; the tree makes no further check.
    long double r = a;
    try {
      if (!ExtendedPower(r, b)) failed = true;
    } catch (const Exception&) {
      failed = true;
    }
    return r;
  }
}

template <bool LeafA>
long double Negation(const TNode* n, bool& failed) {
  return -OperandA<LeafA>(n, failed);
}

// The functions with a step of their own, and the others through the table of functions.
template <TOperation Code, bool LeafA>
long double Function(const TNode* n, bool& failed) {
  const long double x = OperandA<LeafA>(n, failed);
  long double r = 0;
  if constexpr (Code == opSin) {
    r = sinl(x);
  } else if constexpr (Code == opCos) {
    r = cosl(x);
  } else if constexpr (Code == opExp) {
    r = expl(x);
  } else if constexpr (Code == opLn) {
    r = logl(x);
  } else if constexpr (Code == opSqrt) {
    r = sqrtl(x);
  } else {
    r = x;
    try {
      if (!ExtendedFunction(n->Function, r)) failed = true;
    } catch (const Exception&) {
      failed = true;
    }
  }
  Check(r, failed);
  return r;
}

template <TOperation Code>
constexpr TEval kFolds[2][2] = {{Fold<Code, false, false>, Fold<Code, false, true>},
                                {Fold<Code, true, false>, Fold<Code, true, true>}};

template <TOperation Code>
constexpr TEval kFunctions[2] = {Function<Code, false>, Function<Code, true>};

TEval FoldEval(TOperation code, bool leafA, bool leafB) {
  if (code == opSum) return kFolds<opSum>[leafA][leafB];
  if (code == opProduct) return kFolds<opProduct>[leafA][leafB];
  if (code == opQuotient) return kFolds<opQuotient>[leafA][leafB];
  if (code == opPower) return kFolds<opPower>[leafA][leafB];
  return nullptr;
}

TEval UnaryEval(TOperation code, bool leaf) {
  if (code == opNegation) return leaf ? Negation<true> : Negation<false>;
  if (code == opSin) return kFunctions<opSin>[leaf];
  if (code == opCos) return kFunctions<opCos>[leaf];
  if (code == opExp) return kFunctions<opExp>[leaf];
  if (code == opLn) return kFunctions<opLn>[leaf];
  if (code == opSqrt) return kFunctions<opSqrt>[leaf];
  return kFunctions<opNone>[leaf];
}

std::size_t NodeCount(const TKoOperatorNode* node) {
  std::size_t n = 1;
  for (const TKoOperatorNode* child : node->Children)
    if (child) n += NodeCount(child);
  return n;
}

}  // namespace

bool TKoEvalProgram::Compile(const TKoOperatorNode* root) {
  Clear();
  if (!root) return false;
  // The nodes point at each other: no reallocation while they are appended.
  Nodes.reserve(NodeCount(root) + 1);
  if (root->IsLeaf()) {
    Nodes.push_back({Leaf, nullptr, nullptr, root->ValueRef, nullptr, opNone});
    return true;
  }
  if (Append(root)) return true;
  Clear();
  return false;
}

const TKoEvalProgram::TNode* TKoEvalProgram::Append(const TKoOperatorNode* node) {
  const TOperation code = node->Operation;
  const std::vector<TKoOperatorNode*>& children = node->Children;
  if (children.empty() || !children[0]) return nullptr;
  const TKoOperatorNode* first = children[0];
  // Negation and the functions read their first operand only, as the tree does.
  if (code == opNegation || IsFunctionCode(code)) {
    if (code == opRnd) return nullptr;
    const TNode* a = first->IsLeaf() ? nullptr : Append(first);
    if (!first->IsLeaf() && !a) return nullptr;
    Nodes.push_back(
        {UnaryEval(code, !a), a, nullptr, a ? nullptr : first->ValueRef, nullptr, code});
    return &Nodes.back();
  }
  if (!FoldEval(code, false, false)) return nullptr;
  // The value so far: the first operand, a leaf or a node.
  const TNode* a = first->IsLeaf() ? nullptr : Append(first);
  if (!first->IsLeaf() && !a) return nullptr;
  const long double* leafA = a ? nullptr : first->ValueRef;
  if (children.size() == 1) {
    if (a) return a;
    Nodes.push_back({Leaf, nullptr, nullptr, leafA, nullptr, opNone});
    return &Nodes.back();
  }
  for (std::size_t i = 1; i < children.size(); ++i) {
    const TKoOperatorNode* child = children[i];
    if (!child) return nullptr;
    const TNode* b = child->IsLeaf() ? nullptr : Append(child);
    if (!child->IsLeaf() && !b) return nullptr;
    Nodes.push_back({FoldEval(code, !a, !b), a, b, leafA, b ? nullptr : child->ValueRef, code});
    a = &Nodes.back();
    leafA = nullptr;
  }
  return a;
}
