#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "MathXFnc/MathXFnc.hpp"

namespace {

// Iterates are taken as equal when they differ by a few units in the last place; an
// absolute tolerance would stop at once near tiny roots and never near huge ones.
constexpr long double kRelativeTolerance = 1e-18L;

// Where the iterates have come to rest the function must be clearly smaller than a
// tiny step away on either side, or the rest is at a jump, a pole or a flat stretch,
// not at a root.
constexpr long double kNeighbourStep = 1e-12L;
constexpr long double kResidual = 0.5L;

// A quotient whose two values round to the same number takes steps this much larger,
// up to this many times the point's scale: a large constant can swallow the change.
constexpr long double kStepGrowth = 16;
constexpr long double kLargestStep = 1e3L;

// Towards a root of multiplicity m the steps shrink by (m - 1)/m each pass.
constexpr long double kLinearLow = 0.3L;
constexpr long double kLinearHigh = 0.99L;
constexpr long double kRatioSpread = 0.02L;
constexpr long double kNearZero = 1e-3L;

// The quotient's step must stay well below the point's distance from 0 and below
// Newton's last step, or it measures the distance to a tiny or multiple root instead of
// the slope: at most this share of both, but some units in the last place of the point.
constexpr long double kStepShare = 1e-2L;
constexpr long double kSmallestStepUlps = 16;
constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

long double ShrunkStep(long double h, long double x, long double lastStep) {
  if (x != 0) h = std::min(h, kStepShare * std::fabs(x));
  if (lastStep != 0) h = std::min(h, kStepShare * std::fabs(lastStep));
  const long double lastPlace = std::nextafter(std::fabs(x), kInfinity) - std::fabs(x);
  return std::max(h, kSmallestStepUlps * lastPlace);
}

// Whether the iterates head for 0: a step that lands a thousand times closer to it, or
// steps that shrink by a steady ratio q towards it (Aitken's limit x - step / (1 - q))
// once they are a millionth of the start or closer. Such iterates never come to rest
// relative to their size.
bool HeadsForZero(long double x, long double next, long double start, const long double* steps) {
  if (next != 0 && std::fabs(next) <= kNearZero * std::fabs(x)) return true;
  if (steps[2] == 0) return false;
  const long double q = steps[0] / steps[1];
  const long double before = steps[1] / steps[2];
  return q > kLinearLow && q < kLinearHigh && std::fabs(q - before) < kRatioSpread &&
         std::fabs(x - steps[0] / (1 - q)) <= kNearZero * std::fabs(x) &&
         std::fabs(x) <= kNearZero * kNearZero * std::fabs(start);
}

constexpr std::int64_t kUnlimitedPasses = 2147483647;

long double Quotient(long double a, long double b) {
  return a / b;
}
long double Difference(long double a, long double b) {
  return a - b;
}

}  // namespace

// The forward quotient at x with step h, f = f(x). Where it is 0, centred quotients with
// growing steps follow, while the values are normal numbers (fewer digits leave nothing
// to compare) and the function is defined: a large constant can swallow the change, and
// a centred quotient that stays 0 is a true slope of 0, which ends the method.
long double TKoMathNewtonFunction::Slope(long double x, long double f, long double h) {
  long double upper = x + h;
  long double fUpper = EvaluateAt(upper);
  if (fUpper != f) return CheckedOp(Quotient, CheckedOp(Difference, fUpper, f), h);
  const long double largest = kLargestStep * std::max(1.0L, std::fabs(x));
  long double lower = x;
  long double fLower = f;
  while (fUpper == fLower && std::fabs(f) >= std::numeric_limits<long double>::min() &&
         h * kStepGrowth <= largest) {
    h *= kStepGrowth;
    upper = x + h;
    lower = x - h;
    if (!TryEvaluateAt(upper, fUpper) || !TryEvaluateAt(lower, fLower)) break;
  }
  const long double rise = CheckedOp(Difference, fUpper, fLower);
  // A step that changes the value on one side only met a jump of a step function.
  if (rise == 0 || fUpper == f || fLower == f) throw EKoDiffNull(kTextNewtonDiffNull);
  return CheckedOp(Quotient, rise, upper - lower);
}

bool TKoMathNewtonFunction::IsZeroAt(long double x) {
  long double v = 0;
  return TryEvaluateAt(x, v) && v == 0;
}

bool TKoMathNewtonFunction::SmallerThanAround(long double x, long double f) {
  const long double d = kNeighbourStep * (x == 0 ? 1 : std::fabs(x));
  long double around = kInfinity;
  for (const long double y : {x - d, x + d}) {
    long double v = 0;
    if (TryEvaluateAt(y, v)) around = std::min(around, std::fabs(v));
  }
  return around < kInfinity && std::fabs(f) <= kResidual * around;
}

// The root, or an exception that tells why there is none.
long double TKoMathNewtonFunction::Iterate() {
  const std::int64_t passes = MaxIterations == 0 ? kUnlimitedPasses : MaxIterations;
  const long double start = OtherFunction->GetVarValueAt(RunningIndex);
  long double x = start;
  bool resting = false;  // the last step was within the tolerance
  long double steps[3] = {0, 0, 0};
  bool zeroChecked = false;
  for (std::int64_t i = 0; i <= passes; ++i) {
    const long double f = EvaluateAt(x);
    const long double h = ShrunkStep(NewtonStep * std::max(1.0L, std::fabs(x)), x, steps[0]);
    const long double slope = Slope(x, f, h);
    if (f == 0 || (resting && SmallerThanAround(x, f))) return x;
    if (resting) break;
    const long double step = CheckedOp(Quotient, f, slope);
    steps[2] = steps[1];
    steps[1] = steps[0];
    steps[0] = step;
    const long double next = CheckedOp(Difference, x, step);
    if (!zeroChecked && HeadsForZero(x, next, start, steps)) {
      zeroChecked = true;
      if (IsZeroAt(0)) return 0;
    }
    resting = std::fabs(next - x) <= kRelativeTolerance * std::fabs(next);
    x = next;
  }
  throw EKoNoResult(kTextNewtonNoResult);
}

void TKoMathNewtonFunction::Calculate() {
  TKoMathIteratedFunction::Calculate();
  try {
    Value = Iterate();
  } catch (const EKoDiffNull& e) {
    SetErrorText(e.message());
  } catch (const EKoNoResult& e) {
    SetErrorText(e.message());
  } catch (const Exception&) {
    if (GetErrorText().empty()) SetErrorText(kTextNewtonFailed);
  } catch (const std::bad_alloc&) {
    if (GetErrorText().empty()) SetErrorText(kTextNewtonFailed);
  }
  DropProgram();
}
