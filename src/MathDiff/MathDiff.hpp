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
// Followed by the code's name; preceded by the name of a function that jumps.
inline constexpr const char* kTextNoDiffRule = "Keine Ableitungsregel f\374r ";
inline constexpr const char* kTextNotContinuous = " nicht stetig!";

// The derivative of the tree at root by the named variable, bound to depot; the constant
// 0 when root does not depend on it. Exceptions of the rules pass to the caller.
TKoNodePtr DeriveTree(const TKoOperatorNode* root, const std::string& varName, TKoVarDepot* depot);

// Replaces the tree of work by its level-th derivative (level >= 1), bound to work's
// depot: exactly what running the levels one by one gives, without running those that
// are known. With simplified, each level is simplified before the next one is formed.
// Exceptions of the rules and of the live-node limit pass to the caller.
void DeriveLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level,
                  bool simplified);

// The same with each level in the canonical form (like terms combined) before the next one
// is formed: where the levels otherwise grow past the node limit. A level equal to an
// earlier one gives the rest by its period; throws ETooMuchInstances where a level does not
// fit the node limit or the levels take too long.
void DeriveCanonicalLevels(TKoMathTreeFunction& work, const std::string& varName,
                           std::int32_t level);

// The same in the canonical form alone: each level is the form's derivative of the one
// before, multiplied out; for compositions whose levels keep a few functions (cot(u) derives
// to a polynomial in cot(u)). Throws ETooMuchInstances where they grow too large; raises the
// live-node limit for a result beyond it, for the rest of the process.
void DeriveFormLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level);

// The work the canonical levels may take in all (terms constructed and compared), and a few
// times it the levels in the form alone; the fuzz targets lower it to stay fast. Returns the
// previous value.
std::uint64_t SetCanonicalLevelWork(std::uint64_t units);

// What the differencer and the integrator have in common: the result function that holds
// the creator, the source function whose tree it reads, and the running variable.
class TKoCalculusCreator : public TKoFunctionCreator {
 public:
  // The texts of a failure of the rules and of a source the rules give no result for.
  TKoCalculusCreator(TKoMathTreeFunction* result, const char* failedText, const char* noResultText);

  // Builds the result; failure leaves ErrorText set and no result tree. Never throws.
  void Execute() override;

  // Discards the result's tree; the source is not owned.
  void SetSource(TKoMathTreeFunction* source);
  // The variable to work by; without one, the first Execute chooses it.
  void SetRunningVarName(const std::string& name) { RunningVarName = name; }
  const std::string& GetRunningVarName() const { return RunningVarName; }

 protected:
  // The result for the source's tree, bound to the source's variables; none when the rules
  // find none. Exceptions mean a failure of the rules.
  virtual TKoNodePtr Form(const TKoOperatorNode* sourceRoot) = 0;
  // Hands the source, the running variable and the ownership flag to a copy.
  void CopySettingsTo(TKoCalculusCreator& copy) const;

  TKoMathTreeFunction* Result;                    // not owned; the function that holds this creator
  TKoMathTreeFunction* SourceFunction = nullptr;  // not owned
  std::string RunningVarName;

 private:
  const char* FailedText;
  const char* NoResultText;
};

// Fills the result function with the n-th derivative of the source function.
class TKoMathDifferencer : public TKoCalculusCreator {
 public:
  explicit TKoMathDifferencer(TKoMathTreeFunction* result);

  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override;

  // Raises EKoIllegalDiffLevel below 1; a new level discards the result's tree.
  void SetDiffLevel(std::int32_t level);
  std::int32_t GetDiffLevel() const { return DiffLevel; }

 protected:
  TKoNodePtr Form(const TKoOperatorNode* sourceRoot) override;

 private:
  std::int32_t DiffLevel = 1;
};
