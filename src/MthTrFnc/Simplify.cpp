// Rewriting a tree into a shorter equivalent: flattening, constant folding, neutral
// elements, repeated variables in sums and signs on the first factor. One pass works
// bottom-up; Simplify repeats passes until the printed text is stable.
#include <cmath>
#include <map>

#include "MathTree/NodeHelpers.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

using Node = TKoOperatorNode;
using nodes::Constant;
using nodes::Is;
using nodes::IsConstant;
using nodes::Make;

bool IsNegatedConstant(const Node* node) {
  return Is(node, opNegation) && node->ChildCount() == 1 && IsConstant(node->Child(0));
}

bool IsWholeConstant(const Node* node) {
  if (!IsConstant(node)) return false;
  const long double v = node->LeafValue();
  return std::isfinite(v) && std::trunc(v) == v;
}

// The variable of x or -x, else none.
const Node* SummandVariable(const Node* node) {
  if (Is(node, opVariable)) return node;
  if (Is(node, opNegation) && node->ChildCount() == 1 && Is(node->Child(0), opVariable))
    return node->Child(0);
  return nullptr;
}

// Puts the replacement into the node's slot of the parent and frees the node together
// with the children it still holds.
void Replace(Node* parent, std::int32_t index, TKoNodePtr replacement) {
  TKoNodePtr old(parent->Child(index));
  parent->SetChild(index, replacement.release());
}

void ReplaceByChild(Node* parent, std::int32_t index, Node* node, std::int32_t child) {
  Replace(parent, index, node->ExtractChild(child));
}

// Replaces the child of the node at index by that child's only child.
void Unwrap(Node* node, std::int32_t index) {
  TKoNodePtr wrapper(node->Child(index));
  node->SetChild(index, wrapper->ExtractChild(0).release());
}

// One level: a child of the same operation is replaced by its own children, from the
// last child to the first; for a power only the base. Children moved up are not looked
// at again in this pass: the next pass of Simplify flattens them in turn.
void FlattenChildren(Node* node, bool baseOnly) {
  for (std::int32_t i = baseOnly ? 0 : node->ChildCount() - 1; i >= 0; --i) {
    if (node->Child(i)->Operation == node->Operation) {
      TKoNodePtr inner = node->ExtractChild(i);
      for (std::int32_t k = inner->ChildCount() - 1; k >= 0; --k)
        node->AddChild(i, inner->ExtractChild(k));
    }
    if (baseOnly) return;
  }
}

void Flatten(Node* node) {
  if (Is(node, opSum) || Is(node, opProduct)) FlattenChildren(node, false);
  // (a^b)^c is a^b^c under the left-to-right reading of powers; only the base merges.
  if (Is(node, opPower)) FlattenChildren(node, true);
}

void DeleteChildrenIf(Node* node, bool (*test)(const Node*)) {
  for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i)
    if (test(node->Child(i))) node->DeleteChild(i);
}

// Ends the sum and product rules: two or more counted constants become one last operand,
// unless their fold is not finite; a node left with one operand is that operand, with none
// its neutral element.
void FinishFold(Node* parent, std::int32_t index, Node* node, std::int32_t count,
                long double folded, long double neutral, bool (*isFolded)(const Node*)) {
  if (count >= 2 && std::isfinite(folded)) {
    TKoNodePtr constant = Constant(folded);
    DeleteChildrenIf(node, isFolded);
    if (node->ChildCount() == 0) return Replace(parent, index, std::move(constant));
    node->AddChild(std::move(constant));
    return;
  }
  if (node->ChildCount() == 1) return ReplaceByChild(parent, index, node, 0);
  if (node->ChildCount() == 0) Replace(parent, index, Constant(neutral));
}

// x, -x and x again in one sum become one term k*x.
void CombineVariable(Node* sum, const std::string& key) {
  std::int32_t coefficient = 0;
  std::int32_t last = -1;
  for (std::int32_t i = sum->ChildCount() - 1; i >= 0; --i) {
    const Node* variable = SummandVariable(sum->Child(i));
    if (!variable || UpperCase(variable->Variable->Name) != key) continue;
    coefficient += Is(sum->Child(i), opNegation) ? -1 : 1;
    if (last < 0) last = i;
  }
  // The new nodes are made before anything is taken out, so a failure leaves the sum whole.
  TKoNodePtr term;
  if (coefficient == -1) term = TKoOperatorNode::Create(dtExtended, opNegation);
  if (coefficient != 0 && coefficient != -1) {
    term = TKoOperatorNode::Create(dtExtended, opProduct);
    term->AddChild(Constant(static_cast<long double>(coefficient)));
  }
  TKoNodePtr kept = sum->ExtractChild(last);
  if (Is(kept.get(), opNegation)) kept = kept->ExtractChild(0);
  for (std::int32_t i = last - 1; i >= 0; --i) {
    const Node* variable = SummandVariable(sum->Child(i));
    if (variable && UpperCase(variable->Variable->Name) == key) sum->DeleteChild(i);
  }
  if (!term) return;
  term->AddChild(std::move(kept));
  sum->AddChild(std::move(term));
}

void CombineRepeatedVariables(Node* sum) {
  std::map<std::string, std::int32_t> occurrences;  // by upper-case name
  for (const Node* child : sum->Children)
    if (const Node* variable = SummandVariable(child))
      ++occurrences[UpperCase(variable->Variable->Name)];
  for (const auto& [key, count] : occurrences)
    if (count > 1) CombineVariable(sum, key);
}

bool IsSumConstant(const Node* node) {
  return IsConstant(node) || IsNegatedConstant(node);
}

void SimplifySum(Node* parent, std::int32_t index, Node* node) {
  std::int32_t count = 0;
  long double total = 0;
  for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i) {
    const Node* child = node->Child(i);
    if (!IsSumConstant(child)) continue;
    const bool negated = Is(child, opNegation);
    const long double value = (negated ? child->Child(0) : child)->LeafValue();
    if (value == 0) {
      node->DeleteChild(i);
      continue;
    }
    ++count;
    total += negated ? -value : value;
  }
  CombineRepeatedVariables(node);
  FinishFold(parent, index, node, count, total, 0, IsSumConstant);
}

// The sign of a product sits on its first factor: a*(-b)*(-c)*(-d) becomes -a*b*c*d.
void MoveSignsToFirstFactor(Node* node) {
  std::int32_t signs = 0;
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (Is(node->Child(i), opNegation)) ++signs;
  const bool odd = signs % 2 == 1;
  TKoNodePtr negation;
  if (odd && !Is(node->Child(0), opNegation))
    negation = TKoOperatorNode::Create(dtExtended, opNegation);
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (Is(node->Child(i), opNegation)) Unwrap(node, i);
  if (!odd) return;
  if (!negation) return Unwrap(node, 0);
  // With room for the child made first, the child is never held by both nodes while
  // an allocation may fail.
  negation->Children.reserve(1);
  negation->AddChild(-1, node->Child(0));
  node->SetChild(0, negation.release());
}

void SimplifyProduct(Node* parent, std::int32_t index, Node* node) {
  MoveSignsToFirstFactor(node);
  std::int32_t count = 0;
  long double product = 1;
  for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i) {
    const Node* child = node->Child(i);
    if (!IsConstant(child)) continue;
    const long double value = child->LeafValue();
    if (value == 0) return Replace(parent, index, Constant(0));
    if (value == 1) {
      node->DeleteChild(i);
      continue;
    }
    ++count;
    product *= value;
  }
  FinishFold(parent, index, node, count, product, 1, IsConstant);
}

void SimplifyQuotient(Node* parent, std::int32_t index, Node* node) {
  // A division by 0 stays visible, so that its calculation reports it.
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (IsConstant(node->Child(i), 0)) return;
  if (IsConstant(node->Child(0), 0)) return Replace(parent, index, Constant(0));
  std::int32_t count = 0;
  long double product = 1;
  for (std::int32_t i = node->ChildCount() - 1; i >= 1; --i) {
    const Node* child = node->Child(i);
    if (!IsConstant(child)) continue;
    if (child->LeafValue() == 1) {
      node->DeleteChild(i);
      continue;
    }
    ++count;
    product *= child->LeafValue();
  }
  // A divisor folded to 0 or beyond the range would change the quotient.
  if (count >= 2 && std::isfinite(product) && product != 0) {
    TKoNodePtr divisor = Constant(product);
    for (std::int32_t i = node->ChildCount() - 1; i >= 1; --i)
      if (IsConstant(node->Child(i))) node->DeleteChild(i);
    node->AddChild(1, std::move(divisor));
    return;
  }
  if (node->ChildCount() == 1) ReplaceByChild(parent, index, node, 0);
}

// (a^p)^q = a^(p*q) holds for whole q only: the constant exponents merged are the last
// ones, after the first of them all whole. (x^2)^3 is x^6, but (x^2)^0.5 stays.
void MergeConstantExponents(Node* node) {
  const std::int32_t count = node->ChildCount();
  std::int32_t first = count;
  bool wholeAfter = true;
  for (std::int32_t i = count - 1; i >= 1 && wholeAfter && IsConstant(node->Child(i)); --i) {
    first = i;
    wholeAfter = IsWholeConstant(node->Child(i));
  }
  if (count - first < 2) return;
  long double product = 1;
  for (std::int32_t i = count - 1; i >= first; --i) product *= node->Child(i)->LeafValue();
  if (!std::isfinite(product)) return;
  TKoNodePtr exponent = Constant(product);
  for (std::int32_t i = count - 1; i >= first; --i) node->DeleteChild(i);
  node->AddChild(std::move(exponent));
}

void SimplifyPower(Node* parent, std::int32_t index, Node* node) {
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (IsConstant(node->Child(i), 0)) return Replace(parent, index, Constant(1));
  if (IsConstant(node->Child(0), 1)) return Replace(parent, index, Constant(1));
  for (std::int32_t i = node->ChildCount() - 1; i >= 1; --i)
    if (IsConstant(node->Child(i), 1)) node->DeleteChild(i);
  MergeConstantExponents(node);
  if (node->ChildCount() == 1) return ReplaceByChild(parent, index, node, 0);
  if (node->ChildCount() == 2 && IsConstant(node->Child(0), 0) && IsConstant(node->Child(1)) &&
      node->Child(1)->LeafValue() > 0)
    Replace(parent, index, Constant(0));
}

void SimplifyNegation(Node* parent, std::int32_t index, Node* node) {
  const Node* child = node->Child(0);
  if (Is(child, opNegation)) {
    TKoNodePtr inner = node->ExtractChild(0);
    return Replace(parent, index, inner->ExtractChild(0));
  }
  if (IsConstant(child) && child->LeafValue() <= 0)
    Replace(parent, index, Constant(-child->LeafValue()));
}

// Negative numbers always appear as the negation of a positive constant.
void SimplifyConstant(Node* parent, std::int32_t index, Node* node) {
  if (node->LeafValue() < 0) Replace(parent, index, Make(opNegation, Constant(-node->LeafValue())));
}

void SimplifyNode(Node* parent, std::int32_t index, Node* node) {
  Flatten(node);
  const std::int32_t count = node->ChildCount();
  for (std::int32_t i = 0; i < count; ++i) SimplifyNode(node, i, node->Child(i));
  if (count == 0 && !node->IsLeaf()) return;  // an operator without operands stays as it is
  // Only these codes have rules; every other node stays as it is, its operands simplified.
  if (Is(node, opConstant)) return SimplifyConstant(parent, index, node);
  if (Is(node, opNegation)) return SimplifyNegation(parent, index, node);
  if (Is(node, opSum)) return SimplifySum(parent, index, node);
  if (Is(node, opProduct)) return SimplifyProduct(parent, index, node);
  if (Is(node, opQuotient)) return SimplifyQuotient(parent, index, node);
  if (Is(node, opPower)) return SimplifyPower(parent, index, node);
}

}  // namespace

void TKoMathTreeFunction::SimplifyOnce() {
  if (!Tree) return;
  // The root gets a parent, so that every rule can replace its node in the parent's slot.
  TKoNodePtr holder = TKoOperatorNode::Create(dtExtended, opNegation);
  holder->Children.reserve(1);
  holder->AddChild(std::move(Tree));
  try {
    SimplifyNode(holder.get(), 0, holder->Child(0));
  } catch (...) {
    Tree = holder->ExtractChild(0);
    throw;
  }
  Tree = holder->ExtractChild(0);
}

void TKoMathTreeFunction::Simplify() {
  if (!Tree) return;
  for (;;) {
    const std::string before = FunctionString();
    SimplifyOnce();
    if (FunctionString() == before) return;
  }
}
