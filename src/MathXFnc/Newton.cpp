#include <algorithm>
#include <cmath>
#include <new>

#include "MathXFnc/MathXFnc.hpp"

namespace {

// Iterates are taken as equal when they differ by a few units in the last place: an
// absolute tolerance alone is never met by roots far from 0, where neighbouring
// numbers are farther apart than it.
constexpr long double kRelativeTolerance = 1e-18L;

constexpr std::int64_t kUnlimitedPasses = 2147483647;

long double Quotient(long double a, long double b) {
  return a / b;
}
long double Difference(long double a, long double b) {
  return a - b;
}

}  // namespace

void TKoMathNewtonFunction::Calculate() {
  TKoMathIteratedFunction::Calculate();
  try {
    const std::int64_t passes = MaxIterations == 0 ? kUnlimitedPasses : MaxIterations;
    long double x = OtherFunction->GetVarValueAt(RunningIndex);
    for (std::int64_t i = 0; i <= passes; ++i) {
      const long double f = EvaluateAt(x);
      // A step relative to x, so that x + h differs from x at every scale.
      const long double h = NewtonStep * std::max(1.0L, std::fabs(x));
      const long double slope = CheckedOp(Quotient, CheckedOp(Difference, EvaluateAt(x + h), f), h);
      if (slope == 0) throw EKoDiffNull(kTextNewtonDiffNull);
      const long double next = CheckedOp(Difference, x, CheckedOp(Quotient, f, slope));
      const long double change = std::fabs(next - x);
      x = next;
      if (change <= Tolerance || change <= kRelativeTolerance * std::fabs(x)) {
        Value = x;
        return;
      }
    }
    throw EKoNoResult(kTextNewtonNoResult);
  } catch (const EKoDiffNull& e) {
    SetErrorText(e.message());
  } catch (const EKoNoResult& e) {
    SetErrorText(e.message());
  } catch (const Exception&) {
    if (GetErrorText().empty()) SetErrorText(kTextNewtonFailed);
  } catch (const std::bad_alloc&) {
    if (GetErrorText().empty()) SetErrorText(kTextNewtonFailed);
  }
}
