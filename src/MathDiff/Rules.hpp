// Internal to the differencer and the integrator: what their rules share.
#pragma once

#include <cstdint>
#include <string>

#include "FncCreat/FncCreat.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathTree/NodeHelpers.hpp"

namespace calculus {

// The rules' refusal of a function that jumps (trunc, abs, sgn ...).
[[noreturn]] inline void RaiseNotContinuous(const TKoOperatorNode* node) {
  throw EKoFunctionNotStetic(node->DisplayName() + kTextNotContinuous);
}

// The functions that jump (trunc, sgn, heav ...) or have a kink (abs): their derivative is a
// constant wherever it exists, yet of a term with the variable they are no constant.
constexpr bool IsJumpCode(TOperation op) {
  return op == opTrunc || op == opRound || op == opFrac || op == opSgn || op == opAbs ||
         op == opZero || op == opHeav || op == opCeil || op == opFloor || op == opPhase ||
         op == opRnd;
}

// True when the power c0^c1^...^ck equals c0^(c1*...*ck): every exponent after the
// first is a whole constant, so (a^p)^q = a^(p*q) holds.
bool PowerReadsAsProduct(const TKoOperatorNode* power);

// The running variable and the depot that new variable nodes and templates bind to.
class TRuleContext {
 public:
  TRuleContext(const std::string& varName, TKoVarDepot* depot)
      : VarName(varName),
        UpperVarName(UpperCase(varName)),
        Depot(depot),
        Pass(TKoOperatorNode::NewDependencePass()) {}

 protected:
  bool IsVar(const TKoOperatorNode* node) const {
    return nodes::Is(node, opVariable) && EqualsUpperCase(node->Variable->Name, UpperVarName);
  }
  // Whether the subtree holds the variable; each node is asked once while this context
  // lives, which must not outlast a change of the trees it is asked about.
  bool Depends(const TKoOperatorNode* node) const {
    return node->DependsOnUpper(UpperVarName, Pass);
  }
  TKoNodePtr Copy(const TKoOperatorNode* node) const { return node->Clone(Depot); }
  TKoNodePtr Template(const char* text, TKoNodePtr arg0, TKoNodePtr arg1 = nullptr) const;
  // The term that log, ld, sqr and sqrt of u stand for: ln(u)/ln(10), ln(u)/ln(2), u^2, u^0.5.
  TKoNodePtr Equivalent(TOperation code, const TKoOperatorNode* u) const;

  std::string VarName;
  std::string UpperVarName;
  TKoVarDepot* Depot;
  std::uint32_t Pass;
};

}  // namespace calculus
