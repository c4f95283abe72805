// Rewriting a tree into a shorter equivalent: flattening, constant folding, neutral
// elements, repeated variables in sums and signs on the first factor. One pass works
// bottom-up; Simplify repeats passes until the printed text is stable.
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

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

bool IsOne(const Node* node) {
  return IsConstant(node, 1);
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

// One level: a child of the same operation is replaced by its own children in its place.
// Children moved up are not looked at again in this pass: the next pass of Simplify
// flattens them in turn. The list is built anew, so a sum of n sums costs n steps.
void FlattenChildren(Node* node) {
  std::size_t total = 0;
  bool any = false;
  for (const Node* child : node->Children) {
    const bool same = child->Operation == node->Operation;
    any = any || same;
    total += same ? child->Children.size() : 1;
  }
  if (!any) return;
  std::vector<Node*> merged;
  merged.reserve(total);  // the only allocation: a failure leaves the node as it was
  for (Node* child : node->Children) {
    if (child->Operation != node->Operation) {
      merged.push_back(child);
      continue;
    }
    merged.insert(merged.end(), child->Children.begin(), child->Children.end());
    child->Children.clear();
    delete child;
  }
  node->Children.swap(merged);
}

// (a^b)^c is a^b^c under the left-to-right reading of powers; only the base merges.
void FlattenBase(Node* node) {
  if (node->Child(0)->Operation != opPower) return;
  TKoNodePtr inner = node->ExtractChild(0);
  for (std::int32_t k = inner->ChildCount() - 1; k >= 0; --k)
    node->AddChild(0, inner->ExtractChild(k));
}

void Flatten(Node* node) {
  if (Is(node, opSum) || Is(node, opProduct)) FlattenChildren(node);
  if (Is(node, opPower)) FlattenBase(node);
}

// Frees the children that pass the test, in one sweep over the list.
template <typename Test>
void DeleteChildrenIf(Node* node, std::size_t from, Test test) {
  auto& children = node->Children;
  const auto kept = std::remove_if(children.begin() + static_cast<std::ptrdiff_t>(from),
                                   children.end(), [&test](Node* child) {
                                     if (!test(child)) return false;
                                     delete child;
                                     return true;
                                   });
  children.erase(kept, children.end());
}

// Ends the sum and product rules: two or more counted constants become one last operand,
// unless their fold is not finite; a node left with one operand is that operand, with none
// its neutral element.
void FinishFold(Node* parent, std::int32_t index, Node* node, std::int32_t count,
                long double folded, long double neutral, bool (*isFolded)(const Node*)) {
  if (count >= 2 && std::isfinite(folded)) {
    TKoNodePtr constant = Constant(folded);
    DeleteChildrenIf(node, 0, isFolded);
    if (node->ChildCount() == 0) return Replace(parent, index, std::move(constant));
    node->AddChild(std::move(constant));
    return;
  }
  if (node->ChildCount() == 1) return ReplaceByChild(parent, index, node, 0);
  if (node->ChildCount() == 0) Replace(parent, index, Constant(neutral));
}

// x, -x and x again in one sum become one term k*x, for each name in the order of the
// upper-case names: the terms follow the other summands, the variable node kept is the
// last occurrence, and a name whose signs cancel leaves nothing.
struct TRepeatedName {
  std::int32_t Count = 0;
  std::int32_t Coefficient = 0;
  std::size_t Last = 0;
  TKoNodePtr Term;  // k*x or -x, still without its variable
};

// The new term around the variable; none where the name cancels out.
TKoNodePtr CombinedTerm(std::int32_t coefficient) {
  TKoNodePtr term;
  if (coefficient == -1) term = TKoOperatorNode::Create(dtExtended, opNegation);
  if (coefficient != 0 && coefficient != -1) {
    term = TKoOperatorNode::Create(dtExtended, opProduct);
    term->AddChild(Constant(static_cast<long double>(coefficient)));
  }
  if (term) term->Children.reserve(2);  // room for the variable: adding it cannot fail
  return term;
}

void CombineRepeatedVariables(Node* sum) {
  auto& children = sum->Children;
  std::map<std::string, TRepeatedName> names;  // by upper-case name
  std::vector<TRepeatedName*> nameOf(children.size(), nullptr);
  bool repeated = false;
  for (std::size_t i = 0; i < children.size(); ++i) {
    const Node* variable = SummandVariable(children[i]);
    if (!variable) continue;
    TRepeatedName& name = names[UpperCase(variable->Variable->Name)];
    name.Coefficient += Is(children[i], opNegation) ? -1 : 1;
    name.Last = i;
    ++name.Count;
    repeated = repeated || name.Count > 1;
    nameOf[i] = &name;
  }
  if (!repeated) return;
  // Every new node and list is made before anything moves, so a failure leaves the sum whole.
  for (auto& [key, name] : names)
    if (name.Count > 1) name.Term = CombinedTerm(name.Coefficient);
  std::vector<Node*> kept;
  kept.reserve(children.size());
  for (std::size_t i = 0; i < children.size(); ++i) {
    TRepeatedName* name = nameOf[i];
    if (!name || name->Count == 1) {
      kept.push_back(children[i]);
      continue;
    }
    TKoNodePtr child(children[i]);
    if (i != name->Last || !name->Term) continue;
    if (Is(child.get(), opNegation)) child = child->ExtractChild(0);
    name->Term->AddChild(std::move(child));
  }
  for (auto& [key, name] : names)
    if (name.Term) kept.push_back(name.Term.release());
  children.swap(kept);
}

bool IsSumConstant(const Node* node) {
  return IsConstant(node) || IsNegatedConstant(node);
}

long double SumConstantValue(const Node* node) {
  return Is(node, opNegation) ? -node->Child(0)->LeafValue() : node->LeafValue();
}

void SimplifySum(Node* parent, std::int32_t index, Node* node) {
  std::int32_t count = 0;
  long double total = 0;
  bool zeros = false;
  for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i) {
    const Node* child = node->Child(i);
    if (!IsSumConstant(child)) continue;
    const long double value = SumConstantValue(child);
    zeros = zeros || value == 0;
    if (value == 0) continue;
    ++count;
    total += value;
  }
  if (zeros)
    DeleteChildrenIf(node, 0,
                     [](const Node* c) { return IsSumConstant(c) && SumConstantValue(c) == 0; });
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
  bool ones = false;
  for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i) {
    const Node* child = node->Child(i);
    if (!IsConstant(child)) continue;
    const long double value = child->LeafValue();
    if (value == 0) return Replace(parent, index, Constant(0));
    ones = ones || value == 1;
    if (value == 1) continue;
    ++count;
    product *= value;
  }
  if (ones) DeleteChildrenIf(node, 0, IsOne);
  FinishFold(parent, index, node, count, product, 1, IsConstant);
}

void SimplifyQuotient(Node* parent, std::int32_t index, Node* node) {
  // A division by 0 stays visible, so that its calculation reports it.
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (IsConstant(node->Child(i), 0)) return;
  if (IsConstant(node->Child(0), 0)) return Replace(parent, index, Constant(0));
  std::int32_t count = 0;
  long double product = 1;
  bool ones = false;
  for (std::int32_t i = node->ChildCount() - 1; i >= 1; --i) {
    const Node* child = node->Child(i);
    if (!IsConstant(child)) continue;
    ones = ones || child->LeafValue() == 1;
    if (child->LeafValue() == 1) continue;
    ++count;
    product *= child->LeafValue();
  }
  if (ones) DeleteChildrenIf(node, 1, IsOne);
  // A divisor folded to 0 or beyond the range would change the quotient.
  if (count >= 2 && std::isfinite(product) && product != 0) {
    TKoNodePtr divisor = Constant(product);
    DeleteChildrenIf(node, 1, [](const Node* c) { return IsConstant(c); });
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
  DeleteChildrenIf(node, 1, IsOne);
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
  std::string before = FunctionString();
  for (;;) {
    SimplifyOnce();
    std::string after = FunctionString();
    if (after == before) return;
    before = std::move(after);
  }
}
