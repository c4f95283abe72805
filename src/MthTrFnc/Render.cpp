// Printing a tree back as term text, with the fewest brackets that read back to
// the same tree value.
#include "MathTree/NodeHelpers.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

using nodes::Is;

bool IsNegativeConstant(const TKoOperatorNode* node) {
  return Is(node, opConstant) && node->LeafValue() < 0;
}

std::string RenderNode(const TKoOperatorNode* node, bool start);

bool NeedsBrackets(const TKoOperatorNode* parent, std::size_t index, const TKoOperatorNode* child,
                   bool parentStart) {
  if (Is(child, opConstant)) {
    if (!IsNegativeConstant(child) || Is(parent, opSum)) return false;
    // A negative base is bracketed even at the very start: -2^2 would read as -(2^2).
    return !(index == 0 && parentStart && !Is(parent, opPower));
  }
  const bool sum = Is(child, opSum), negation = Is(child, opNegation);
  const bool product = Is(child, opProduct), quotient = Is(child, opQuotient);
  // Only products, quotients and powers bracket operands; a sum or function never does.
  if (Is(parent, opProduct)) return sum || (negation && (index > 0 || !parentStart));
  if (Is(parent, opQuotient)) return sum || negation || (index > 0 && (product || quotient));
  if (Is(parent, opPower))
    return sum || product || quotient || negation || (index > 0 && Is(child, opPower));
  return false;
}

std::string RenderOperand(const TKoOperatorNode* parent, std::size_t index, bool parentStart) {
  const TKoOperatorNode* child = parent->Children.at(index);
  std::string text = RenderNode(child, false);
  if (NeedsBrackets(parent, index, child, parentStart)) return "(" + text + ")";
  return text;
}

std::string RenderSum(const TKoOperatorNode* node, bool start) {
  std::string text = RenderOperand(node, 0, start);
  for (std::size_t i = 1; i < node->Children.size(); ++i) {
    const std::string operand = RenderOperand(node, i, start);
    // An operand that begins with its own sign needs no "+": a+(-b+c) prints a-b+c.
    if (operand.empty() || operand[0] != '-') text += '+';
    text += operand;
  }
  return text;
}

std::string RenderOperator(const TKoOperatorNode* node, bool start) {
  const std::string symbol = node->DisplayName();
  std::string text = RenderOperand(node, 0, start);
  for (std::size_t i = 1; i < node->Children.size(); ++i)
    text += symbol + RenderOperand(node, i, start);
  return text;
}

std::string RenderNegation(const TKoOperatorNode* node) {
  const TKoOperatorNode* child = node->Children.at(0);
  const std::string text = RenderNode(child, false);
  // "--" does not read back: a child with its own leading sign is bracketed.
  if (Is(child, opSum) || Is(child, opNegation) || (!text.empty() && text[0] == '-'))
    return "-(" + text + ")";
  return "-" + text;
}

std::string RenderFactorial(const TKoOperatorNode* node) {
  const TKoOperatorNode* child = node->Children.at(0);
  const std::string text = RenderNode(child, false);
  if ((Is(child, opConstant) && !IsNegativeConstant(child)) || Is(child, opVariable))
    return text + "!";
  return "(" + text + ")!";
}

std::string RenderFunction(const TKoOperatorNode* node) {
  std::string text = node->DisplayName() + "(" + RenderNode(node->Children.at(0), false);
  for (std::size_t i = 1; i < node->Children.size(); ++i)
    text += ", " + RenderNode(node->Children[i], false);
  return text + ")";
}

std::string RenderNode(const TKoOperatorNode* node, bool start) {
  if (!node) throw EKoMathTreeFunction(kTextRenderFailed);
  switch (node->Operation) {
    case opConstant:
    case opVariable:
      return node->DisplayName();
    case opSum:
      return RenderSum(node, start);
    case opProduct:
    case opQuotient:
    case opPower:
      return RenderOperator(node, start);
    case opNegation:
      return RenderNegation(node);
    case opFactorial:
      return RenderFactorial(node);
    case opExp:
    case opLn:
    case opLog:
    case opLd:
    case opSqr:
    case opSqrt:
    case opSin:
    case opCos:
    case opTan:
    case opCot:
    case opArcSin:
    case opArcCos:
    case opArcTan:
    case opArcCot:
    case opSinh:
    case opCosh:
    case opTanh:
    case opCoth:
    case opArcSinh:
    case opArcCosh:
    case opArcTanh:
    case opArcCoth:
    case opTrunc:
    case opRound:
    case opFrac:
    case opSgn:
    case opAbs:
    case opZero:
    case opHeav:
    case opCeil:
    case opFloor:
    case opPhase:
    case opRnd:
    // Nodes of these codes never reach a finished tree; they print as functions would.
    case opNone:
    case opReserved:
    case opInfixMinus:
      break;
  }
  return RenderFunction(node);
}

}  // namespace

std::string TKoMathTreeFunction::FunctionString() const {
  if (!Tree) return std::string();
  try {
    return RenderNode(Tree.get(), true);
  } catch (const std::exception&) {
    throw EKoMathTreeFunction(kTextRenderFailed);
  }
}
