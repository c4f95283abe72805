// The producer of a function's content: the parser, the differencer, the integrator.
#pragma once

#include <memory>
#include <string>

#include "util/util.hpp"

class TKoMathFunction;

TCALC_EXCEPTION(EKoFunctionCreatorError, Exception);
TCALC_EXCEPTION(EKoFunctionNotStetic, EKoFunctionCreatorError);
TCALC_EXCEPTION(EKoFunctionNotYetImplemented, EKoFunctionCreatorError);

class TKoFunctionCreator {
 public:
  // Does not register itself with the function; the caller hands it over.
  explicit TKoFunctionCreator(TKoMathFunction* mathFunction) : MathFunction(mathFunction) {}
  virtual ~TKoFunctionCreator() = default;
  TKoFunctionCreator(const TKoFunctionCreator&) = delete;
  TKoFunctionCreator& operator=(const TKoFunctionCreator&) = delete;

  // Produces the content of MathFunction and sets ErrorText ("" after success).
  virtual void Execute() = 0;
  // A new creator of the same class and settings, bound to target.
  virtual std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const = 0;

  bool NotOwned = false;  // true: shared, the function holding it does not free it
  std::string ErrorText;
  TKoMathFunction* MathFunction;  // not owned
};
