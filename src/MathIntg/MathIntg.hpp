// Symbolic integration: an antiderivative of a tree function, one rule per operation
// code; inner terms must be linear in the variable.
#pragma once

#include <memory>
#include <string>

#include "FncCreat/FncCreat.hpp"

class TKoMathTreeFunction;

TCALC_EXCEPTION(EKoMathIntegrator, EKoFunctionCreatorError);

inline constexpr const char* kTextNoAntiderivative =
    "Die Stammfunktion konnte nicht gebildet werden.";
inline constexpr const char* kTextIntegrationFailed = "Fehler im Integrieren";
inline constexpr const char* kTextIntegrationTooComplex =
    "Integration nicht m\xF6glich bzw. zu kompliziert!";

// Fills the result function with an antiderivative of the source function, without a
// constant of integration.
class TKoMathIntegrator : public TKoFunctionCreator {
 public:
  explicit TKoMathIntegrator(TKoMathTreeFunction* result);

  // Builds the antiderivative; failure leaves ErrorText set and no result tree. Never throws.
  void Execute() override;
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override;

  // Discards the result's tree; the source is not owned.
  void SetSource(TKoMathTreeFunction* source);
  // The variable of integration; without one, the first Execute chooses it.
  void SetRunningVarName(const std::string& name) { RunningVarName = name; }
  const std::string& GetRunningVarName() const { return RunningVarName; }

 private:
  TKoMathTreeFunction* Result;                    // not owned; the function that holds this creator
  TKoMathTreeFunction* SourceFunction = nullptr;  // not owned
  std::string RunningVarName;
};
