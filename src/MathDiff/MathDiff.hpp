// Symbolic differentiation: the n-th derivative of a tree function, one rule per
// operation code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FncCreat/FncCreat.hpp"
#include "MathTree/MathTree.hpp"

class TKoMathTreeFunction;

TCALC_EXCEPTION(EKoMathDifferencer, EKoFunctionCreatorError);
TCALC_EXCEPTION(EKoIllegalDiffLevel, EKoMathDifferencer);

inline constexpr const char* kTextDiffFailed = "Fehler im Differenzieren";

// Building blocks shared by the derivative and antiderivative rules.
namespace calculus {

inline bool Is(const TKoOperatorNode* node, TOperation code) {
  return node->Operation == code;
}

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

// The rules' refusal of a function that jumps (trunc, abs, sgn ...).
[[noreturn]] inline void RaiseNotContinuous(const TKoOperatorNode* node) {
  throw EKoFunctionNotStetic(node->DisplayName() + " nicht stetig!");
}

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
    return Is(node, opVariable) && EqualsUpperCase(node->Variable->Name, UpperVarName);
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

// The derivative of the tree at root by the named variable, bound to depot; the constant
// 0 when root does not depend on it. Exceptions of the rules pass to the caller.
TKoNodePtr DeriveTree(const TKoOperatorNode* root, const std::string& varName, TKoVarDepot* depot);

// Replaces the tree of work by its level-th derivative (level >= 1), bound to work's
// depot: exactly what running the levels one by one gives, without running those that
// are known. With simplified, each level is simplified before the next one is formed.
// Exceptions of the rules and of the live-node limit pass to the caller.
void DeriveLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level,
                  bool simplified);

// True when the power c0^c1^...^ck equals c0^(c1*...*ck): every exponent after the
// first is a whole constant, so (a^p)^q = a^(p*q) holds.
bool PowerReadsAsProduct(const TKoOperatorNode* power);

// The source function as the calculus creators need it: its tree, built by its creator
// when missing. None when it failed; text then tells why.
const TKoOperatorNode* BuiltSourceTree(TKoMathTreeFunction& source, std::string& text);

// The variable a creator works by when it is given none: x when the source has it or has
// no variables at all, otherwise the source's first variable.
std::string ChooseRunningVar(TKoMathTreeFunction& source);

// Fills the result function with the n-th derivative of the source function.
class TKoMathDifferencer : public TKoFunctionCreator {
 public:
  explicit TKoMathDifferencer(TKoMathTreeFunction* result);

  // Builds the derivative; failure leaves ErrorText set and no result tree. Never throws.
  void Execute() override;
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override;

  // Discards the result's tree; the source is not owned.
  void SetSource(TKoMathTreeFunction* source);
  // Raises EKoIllegalDiffLevel below 1; a new level discards the result's tree.
  void SetDiffLevel(std::int32_t level);
  std::int32_t GetDiffLevel() const { return DiffLevel; }
  // The variable to differentiate by; without one, the first Execute chooses it.
  void SetRunningVarName(const std::string& name) { RunningVarName = name; }
  const std::string& GetRunningVarName() const { return RunningVarName; }

 private:
  TKoNodePtr Derive(const TKoOperatorNode* sourceRoot);

  TKoMathTreeFunction* Result;                    // not owned; the function that holds this creator
  TKoMathTreeFunction* SourceFunction = nullptr;  // not owned
  std::string RunningVarName;
  std::int32_t DiffLevel = 1;
};
