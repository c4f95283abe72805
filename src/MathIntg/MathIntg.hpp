// Symbolic integration: an antiderivative of a tree function, one rule per operation
// code; inner terms must be linear in the variable.
#pragma once

#include <memory>
#include <string>

#include "MathDiff/MathDiff.hpp"

TCALC_EXCEPTION(EKoMathIntegrator, EKoFunctionCreatorError);

inline constexpr const char* kTextNoAntiderivative =
    "Die Stammfunktion konnte nicht gebildet werden.";
inline constexpr const char* kTextIntegrationFailed = "Fehler im Integrieren";
inline constexpr const char* kTextIntegrationTooComplex =
    "Integration nicht m\366glich bzw. zu kompliziert!";

// Fills the result function with an antiderivative of the source function, without a
// constant of integration.
class TKoMathIntegrator : public TKoCalculusCreator {
 public:
  explicit TKoMathIntegrator(TKoMathTreeFunction* result);

  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override;

 protected:
  TKoNodePtr Form(const TKoOperatorNode* sourceRoot) override;
};

namespace integration {

// Whether the integrand provably has no elementary antiderivative (exp(-x^2), sin(x)/x,
// exp(x)/x, 1/ln(x), x^x, 1/sqrt(x^3+1) and their kin): a refusal then says why.
bool HasNoElementaryAntiderivative(const TKoOperatorNode* node, const std::string& var);

}  // namespace integration
