#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "MathXFnc/MathXFnc.hpp"

namespace {

constexpr long double kEps = std::numeric_limits<long double>::epsilon();
constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

// Three steps per binade, each with at most four significant bits so that the points
// x0 + j h/2 stay exact: 1, 13/16 and 5/8 times a power of two.
constexpr std::array<long double, 3> kStepMantissas = {1.0L, 0.8125L, 0.625L};
constexpr int kStepMantissaBits = 4;

// Function values may each be a few units in the last place off.
constexpr long double kNoiseWeight = 2;

// Extrapolation orders kept per step; higher orders only repeat the noise of the finest step.
constexpr std::size_t kMaxOrder = 10;

// An estimate counts as converged when its error estimate is below this share of it;
// steps far too large for the function give values that agree with nothing.
constexpr long double kConverged = 1e-2L;

// Without a converged step the descent stops once the rounding noise of a step exceeds
// the quotient itself by this factor: smaller steps only add noise.
constexpr long double kNoiseCut = 1e3L;

// An error estimate within this many times the rounding bound is rounding alone.
constexpr long double kNoiseExplains = 8;

// Steps whose quotients are all exactly 0 on an exact stencil: the derivative is 0.
constexpr int kExactZeroSteps = 64;

std::string DiffLevelTooHighText() {
  return kTextNumDiffMaxLevel + std::to_string(kMaxNumDiffLevel) + kTextNumDiffMaxLevelEnd;
}

long double Binomial(std::int32_t n, std::int32_t k) {
  long double b = 1;
  for (std::int32_t i = 1; i <= k; ++i) b = b * static_cast<long double>(n - k + i) / i;
  return b;
}

// At 0 the descent ends at steps of about 1e-616, far below any scale a term
// written at 0 has; the format's own limit would cost seconds where every step fails.
constexpr int kBottomAtZero = std::numeric_limits<long double>::min_exponent / 8;

// The exponent of x's last place.
int LastPlaceExponent(long double x) {
  if (x == 0) return kBottomAtZero;
  return std::ilogb(x) - (std::numeric_limits<long double>::digits - 1);
}

// True when a + b is exact.
bool SumIsExact(long double a, long double b) {
  const long double s = a + b;
  const long double bb = s - a;
  return (a - (s - bb)) + (b - bb) == 0;
}

// One step's estimates: the extrapolation tableau row and its best entry.
struct TStepRow {
  std::array<long double, kMaxOrder + 1> Tableau{};
  std::array<long double, kMaxOrder + 1> Noise{};  // rounding bound of each entry
  std::array<long double, kMaxOrder + 1> Steps{};  // this step and the ones before it
  std::size_t Columns = 0;                         // valid entries of Tableau
  long double Value = 0;                           // best entry
  long double Error = 0;                           // its error estimate, rounding noise included
  long double ValueNoise = 0;                      // the rounding bound of the best entry
  bool HasEstimate = false;                        // an entry with an error estimate exists
};

// Extends the tableau of the previous step by this step's quotient. The error of a
// centred quotient runs in even powers of the step, so each column removes the next
// power of h^2 (Neville's scheme towards h = 0); the entry whose estimated error is
// least is the row's value.
void Extrapolate(const TStepRow* previous, long double step, long double quotient,
                 long double noise, TStepRow& row) {
  row.Tableau[0] = quotient;
  row.Noise[0] = noise;
  row.Steps[0] = step;
  row.Columns = 1;
  row.HasEstimate = false;
  row.Value = quotient;
  row.Error = kInfinity;
  if (previous == nullptr) return;
  const std::size_t columns = std::min(previous->Columns + 1, kMaxOrder + 1);
  for (std::size_t k = 1; k < columns; ++k) {
    row.Steps[k] = previous->Steps[k - 1];
    const long double ratio = row.Steps[k] / step;
    const long double here = row.Tableau[k - 1];
    const long double before = previous->Tableau[k - 1];
    const long double weight = 1 / (ratio * ratio - 1);
    const long double next = here + (here - before) * weight;
    // The extrapolation weighs the noise of both entries it combines.
    row.Noise[k] = (1 + weight) * row.Noise[k - 1] + weight * previous->Noise[k - 1];
    const long double error =
        std::max(std::fabs(next - here), std::fabs(next - before)) + kNoiseWeight * row.Noise[k];
    if (!std::isfinite(next) || !std::isfinite(error)) break;
    row.Tableau[k] = next;
    row.Columns = k + 1;
    if (error < row.Error) {
      row.Error = error;
      row.Value = next;
      row.ValueNoise = row.Noise[k];
      row.HasEstimate = true;
    }
  }
}

}  // namespace

void TKoMathDiffNumFunction::SetDiffLevel(std::int32_t n) {
  if (n < 1) throw EKoIllegalDiffNumLevel(NoDerivativeText(n));
  DiffLevel = n;
}

void TKoMathDiffNumFunction::Calculate() {
  ErrorEstimate = 0;
  try {
    // Each level multiplies the rounding noise by about the step's inverse; at level 8
    // six digits are left, above it too few to print.
    if (DiffLevel > kMaxNumDiffLevel) throw EKoIllegalDiffNumLevel(DiffLevelTooHighText());
    BindRunningVar();
    const long double x0 = OtherFunction->GetVarValueAt(RunningIndex);
    // An error at the point itself is the run's error.
    const long double f0 = EvaluateAt(x0);
    Value = Extrapolated(x0, f0);
  } catch (const EKoIllegalDiffNumLevel& e) {
    SetErrorText(e.message());
  } catch (const Exception&) {
    if (GetErrorText().empty()) SetErrorText(kTextNumDiffFailed);
  } catch (const std::bad_alloc&) {
    if (GetErrorText().empty()) SetErrorText(kTextNumDiffFailed);
  }
  DropProgram();
}

// The centred quotient of the level with step h: the sum over j of
// (-1)^j C(n, j) f(x0 + (n/2 - j) h), divided by h^n. False where the function is
// undefined at one of the points; noise bounds the rounding of the function values, and
// exact tells whether every point was met without rounding.
bool TKoMathDiffNumFunction::CentredQuotient(long double x0, long double f0, long double h,
                                             TQuotient& q) {
  const std::int32_t n = DiffLevel;
  long double sum = 0;
  long double magnitude = 0;
  q.Exact = true;
  for (std::int32_t j = n; j >= 0; --j) {
    const long double offset = static_cast<long double>(n - 2 * j) * (h / 2);
    long double f = f0;
    if (offset != 0) {
      q.Exact = q.Exact && SumIsExact(x0, offset);
      if (!TryEvaluateAt(x0 + offset, f)) return false;
    }
    const long double weight = (j % 2 == 0 ? 1 : -1) * Binomial(n, j);
    sum += weight * f;
    magnitude += std::fabs(weight * f);
    // Values this large leave no difference to take.
    if (!std::isfinite(sum) || !std::isfinite(magnitude)) throw EKoNoResult(kTextNumDiffFailed);
  }
  q.Value = sum;
  q.Noise = kEps * magnitude;
  for (std::int32_t k = 0; k < n; ++k) {
    q.Value /= h;
    q.Noise /= h;
  }
  return true;
}

// Ridders' scheme on centred quotients: the step shrinks from the point's scale down to
// where rounding takes over; each step's quotient extends an extrapolation tableau over
// the steps before it. A step that leaves the function's domain is skipped and restarts
// the tableau.
std::vector<TKoMathDiffNumFunction::TWeighedStep> TKoMathDiffNumFunction::Descend(long double x0,
                                                                                  long double f0) {
  std::vector<TWeighedStep> weighed;
  auto weigh = [&weighed](const TStepRow& row, long double disagreement) {
    const long double error = std::max(row.Error, std::max(disagreement, 0.0L));
    const bool converged = row.HasEstimate && error <= kConverged * std::fabs(row.Value);
    TWeighedStep w{row.Value, kInfinity, row.ValueNoise, converged};
    if (row.HasEstimate) w.Error = error;
    weighed.push_back(w);
  };
  const int top = std::ilogb(std::max(std::fabs(x0), 1.0L)) + 1;
  const int bottom = LastPlaceExponent(x0) + 1 + kStepMantissaBits;
  std::array<TStepRow, 2> rows;
  TStepRow* previous = nullptr;
  bool convergedNonZero = false;
  // The least error of the unbroken run of converged steps that ends at the last one.
  long double runBest = kInfinity;
  int exactZeros = 0;
  std::size_t slot = 0;
  for (int e = top; e >= bottom; --e) {
    for (const long double mantissa : kStepMantissas) {
      const long double h = std::ldexp(mantissa, e);
      TQuotient q;
      if (!CentredQuotient(x0, f0, h, q)) {
        if (previous != nullptr) weigh(*previous, kInfinity);
        previous = nullptr;
        runBest = kInfinity;
        continue;
      }
      if (!std::isfinite(q.Value) || !std::isfinite(q.Noise)) break;
      TStepRow& row = rows[slot];
      slot ^= 1;
      Extrapolate(previous, h, q.Value, q.Noise, row);
      if (previous != nullptr) {
        // Only the part of the disagreement that the finer step's own error leaves open.
        weigh(*previous, std::fabs(previous->Value - row.Value) - row.Error);
        const TWeighedStep& w = weighed.back();
        const bool counts = w.Converged && w.Value != 0;
        convergedNonZero = convergedNonZero || counts;
        runBest = kInfinity;
        if (counts) runBest = std::min(runBest, w.Error);
      }
      previous = &row;
      exactZeros = q.Exact && q.Value == 0 ? exactZeros + 1 : 0;
      if (q.Value == 0 ? exactZeros >= kExactZeroSteps
                       : q.Noise >= kNoiseCut * runBest ||
                             // the noise alone keeps every further step from converging
                             (convergedNonZero && 2 * q.Noise > kConverged * std::fabs(q.Value)) ||
                             (row.HasEstimate && q.Noise >= kNoiseCut * std::fabs(q.Value))) {
        e = bottom;  // the estimate has stopped improving: smaller steps only add noise
        break;
      }
    }
  }
  if (previous != nullptr) weigh(*previous, 0);
  return weighed;
}

long double TKoMathDiffNumFunction::Extrapolated(long double x0, long double f0) {
  const std::vector<TWeighedStep> weighed = Descend(x0, f0);
  // Steps far too large for the function can agree with each other by chance (powers of
  // two meet multiples of pi), but the quotients of the smallest steps must approach the
  // derivative: of the converged estimates that agree with the smallest step's within
  // their errors, the most accurate.
  const TWeighedStep* last = nullptr;
  for (const TWeighedStep& w : weighed)
    if (w.Converged) last = &w;
  const TWeighedStep* best = nullptr;
  for (const TWeighedStep& w : weighed) {
    // Without convergence only a value that rounding alone leaves uncertain, a
    // derivative of 0 within the noise, is a result; quotients that grow without bound
    // at a jump or a pole are none.
    const bool candidate =
        last == nullptr ? w.Error <= kNoiseExplains * w.Noise
                        : w.Converged && std::fabs(w.Value - last->Value) <= w.Error + last->Error;
    if (candidate && (best == nullptr || w.Error < best->Error)) best = &w;
  }
  if (best == nullptr) {
    if (GetErrorText().empty()) throw EKoNoResult(kTextNumDiffFailed);
    throw EKoEvaluationFailed(GetErrorText());
  }
  // The last evaluation may have left the domain; the result stands.
  SetErrorText("");
  ErrorEstimate = best->Error;
  // A value no larger than its own rounding is a derivative of 0.
  if (last == nullptr && std::fabs(best->Value) <= best->Error) return 0;
  return best->Value;
}
