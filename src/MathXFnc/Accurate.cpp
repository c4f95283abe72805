#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <new>
#include <utility>

#include "MathXFnc/MathXFnc.hpp"
#include "MathXFnc/Quadrature.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

constexpr std::int64_t kDifferencesCost = 10;

const TKoOperatorNode* TreeOf(TKoMathFunction* f) {
  auto* tree = dynamic_cast<TKoMathTreeFunction*>(f);
  return tree ? tree->GetTree() : nullptr;
}

void AddPoints(std::vector<long double>& points, const std::vector<long double>& more) {
  points.insert(points.end(), more.begin(), more.end());
}

// The distances from x to the nearest of the ascending points below and above it.
std::pair<long double, long double> Distances(const std::vector<long double>& points,
                                              long double x) {
  const auto above = std::lower_bound(points.begin(), points.end(), x);
  const long double right = above != points.end() ? *above - x : HUGE_VALL;
  const long double left = above != points.begin() ? x - *(above - 1) : HUGE_VALL;
  return {left, right};
}

// Centred differences at four steps from h down, extrapolated three times (Richardson's
// tableau: each column takes off the next even power of the step).
bool CentredSlope(const std::function<bool(long double, long double&)>& f, long double x,
                  long double h, long double& slope) {
  std::array<long double, 4> column{};
  for (long double& q : column) {
    long double fr = 0, fl = 0;
    if (!f(x + h, fr) || !f(x - h, fl)) return false;
    q = (fr - fl) / ((x + h) - (x - h));
    h /= 2;
  }
  long double factor = 4;
  for (std::size_t level = 1; level < column.size(); ++level, factor *= 4)
    for (std::size_t i = column.size() - 1; i >= level; --i)
      column[i] = (factor * column[i] - column[i - 1]) / (factor - 1);
  slope = column.back();
  return std::isfinite(slope);
}

// One-sided differences of five points toward side at three steps from h down,
// extrapolated twice (the error runs in every power from the fourth on); false also where
// the two extrapolations disagree: the function changes faster than the steps can follow.
bool OneSidedSlope(const std::function<bool(long double, long double&)>& f, long double x,
                   long double side, long double h, long double& slope) {
  std::array<long double, 3> quotients{};
  long double f0 = 0;
  if (!(h > 0) || !f(x, f0)) return false;
  for (long double& q : quotients) {
    std::array<long double, 4> v{};
    for (std::size_t k = 0; k < v.size(); ++k)
      if (!f(x + side * h * static_cast<long double>(k + 1), v[k])) return false;
    q = side * (-25 * f0 + 48 * v[0] - 36 * v[1] + 16 * v[2] - 3 * v[3]) / (12 * h);
    h /= 2;
  }
  const long double first = (16 * quotients[1] - quotients[0]) / 15;
  const long double second = (16 * quotients[2] - quotients[1]) / 15;
  slope = (32 * second - first) / 31;
  return std::isfinite(slope) && std::fabs(second - first) <= 1e-12L * std::fabs(slope) + 1e-300L;
}

// The slope of f at x from differences that stay between the points where f may jump,
// below and above x by the distances given: centred, the steps within a 64th of the
// distance to the nearest point (whose function may run off there: sqrt(x) at 0). Very near
// a point, one-sided ones into the room beside x where they agree with themselves (a jump of
// floor), else centred ones at the tiny steps.
bool NumericSlope(const std::function<bool(long double, long double&)>& f, long double x,
                  std::pair<long double, long double> distances, long double& slope) {
  const long double step = 0x1p-10L * std::fmax(1.0L, std::fabs(x));
  const long double near = std::fmin(distances.first, distances.second);
  const long double h = std::fmin(step, near / 64);
  if (h >= 0x1p-12L * step) return CentredSlope(f, x, h, slope);
  const long double side = distances.second >= distances.first ? 1 : -1;
  const long double room = std::fmax(distances.first, distances.second);
  if (OneSidedSlope(f, x, side, std::fmin(step, room / 5), slope)) return true;
  return CentredSlope(f, x, h, slope);
}

// Binds the derivative's values to the running variable; true for a derivative without it,
// whose one value is then slope (not finite where it has none).
bool BindSlopes(TKoMathPointValues& slopes, TKoMathFunction& derivative, const std::string& var,
                long double& slope) {
  slopes.SetRunningVar(var);
  slopes.Calculate();
  if (slopes.RunningIndex >= 0) return false;
  derivative.Calculate();
  slope = derivative.GetErrorText().empty() ? derivative.Value : HUGE_VALL;
  return true;
}

// Toward an end where the integrand oscillates ever faster (sin(1/x) toward 0): its zeros
// approaching that end, found by walking toward it in steps of a quarter of the last gap.
constexpr int kTailZeros = 48;
constexpr int kMostWalk = 256;
constexpr int kZeroHalvings = 80;
constexpr long double kTailAcceptable = 1e-13L;

bool SignAt(const TIntegrand& f, long double x, int& sign) {
  long double y = 0;
  if (!f(x, y)) return false;
  sign = y > 0 ? 1 : (y < 0 ? -1 : 0);
  return true;
}

// The zero between a (sign sa) and b by halving, to the last place.
long double ZeroBetween(const TIntegrand& f, long double a, int sa, long double b) {
  for (int i = 0; i < kZeroHalvings; ++i) {
    const long double m = a / 2 + b / 2;
    int sm = 0;
    if (m == a || m == b || !SignAt(f, m, sm) || sm == 0) return m;
    (sm == sa ? a : b) = m;
  }
  return a / 2 + b / 2;
}

// The zeros from start toward end, nearest first; fewer than kTailZeros where the integrand
// stops changing its sign on the way or has no value.
std::vector<long double> ZerosToward(const TIntegrand& f, long double start, long double end) {
  std::vector<long double> zeros;
  long double x = start;
  long double step = (end - start) / 64;
  long double lastGap = end - start;
  int sign = 0;
  if (!SignAt(f, x, sign) || sign == 0) return zeros;
  for (int walked = 0; zeros.size() < kTailZeros && walked < kMostWalk; ++walked) {
    const long double next = x + step;
    int s = 0;
    if ((next - end) * (start - end) <= 0 || !SignAt(f, next, s)) return zeros;
    if (s != sign) {
      const long double zero = s == 0 ? next : ZeroBetween(f, x, sign, next);
      // The next gap predicted from the last two, an eighth of it a step.
      if (!zeros.empty()) {
        const long double gap = zero - zeros.back();
        const long double ratio = gap / lastGap;
        step = gap * (zeros.size() > 1 && ratio < 1 ? ratio : 1) / 8;
        lastGap = gap;
      }
      zeros.push_back(zero);
      walked = 0;
      sign = -sign;
      x = zero + step / 8;
      if (!SignAt(f, x, s) || s != sign) return zeros;
    } else {
      x = next;
    }
  }
  return zeros;
}

// The integral from the zeros' side of the interval to end: the rest up to the first zero
// by the adaptive rule, then zero to zero, the partial sums extrapolated by Wynn's epsilon;
// false unless the pieces alternate in sign and shrink, so that the tail is bounded.
bool OscillatingTail(const TIntegrand& f, long double end, long double other,
                     TQuadratureResult& result) {
  const std::vector<long double> zeros = ZerosToward(f, other, end);
  if (zeros.size() < kTailZeros) return false;
  const auto over = [&](long double a, long double b) {
    return IntegrateAdaptively(f, {std::fmin(a, b), std::fmax(a, b)});
  };
  const long double direction = end < other ? -1 : 1;
  TQuadratureResult first = over(other, zeros.front());
  if (first.Outcome != TQuadratureOutcome::Value) return false;
  long double sum = -direction * first.Value;
  long double error = first.Error;
  long double previous = 0;
  TEpsilonExtrapolation epsilon;
  for (std::size_t k = 1; k < zeros.size(); ++k) {
    const TQuadratureResult piece = over(zeros[k - 1], zeros[k]);
    if (piece.Outcome != TQuadratureOutcome::Value) return false;
    const long double part = -direction * piece.Value;
    if (k > 1 && !(part * previous < 0 && std::fabs(part) < std::fabs(previous))) return false;
    previous = part;
    sum += part;
    error += piece.Error;
    epsilon.Push(sum);
  }
  result.Value = direction < 0 ? epsilon.Estimate() : -epsilon.Estimate();
  result.Error = epsilon.Error() + error;
  result.Outcome = TQuadratureOutcome::Value;
  return result.Error <= kTailAcceptable * std::fabs(result.Value);
}

}  // namespace

void TKoMathAccurateFunction::SetLargestPiece(long double v, bool given) {
  if (!(v > 0)) throw EKoIllegalIntIntervall(kTextIntervalStepZero);
  LargestPiece = given ? v : 0;
}

// The value, or the text that says why there is none; failure is the text of the last point
// where the term had no value.
void TKoMathAccurateFunction::Report(const TQuadratureResult& result, const std::string& failure) {
  SetErrorText("");
  switch (result.Outcome) {
    case TQuadratureOutcome::Value:
      Value = result.Value;
      ErrorEstimate = result.Error;
      break;
    case TQuadratureOutcome::Diverges:
      SetErrorText(ArcLength ? kTextLengthInfinite : kTextIntegralDiverges);
      break;
    case TQuadratureOutcome::Undefined:
      SetErrorText(failure == kTextOverflow ? kTextOverflow : kTextNotDefinedInInterval);
      break;
    case TQuadratureOutcome::Failed:
      SetErrorText(kTextNumCalcFailed);
      break;
  }
}

void TKoMathAccurateFunction::Calculate() {
  Value = 0;
  ErrorEstimate = 0;
  try {
    BindRunningVar();
    if (!(IntervalTo > IntervalFrom)) throw EKoIllegalIntIntervall(kTextIntervalReversed);
    if (!std::isfinite(IntervalTo - IntervalFrom)) throw EKoIllegalIntIntervall(kTextTooManyPieces);
    // A term that could not be built has no value anywhere: its own text, as the fixed
    // pieces give it.
    const TKoOperatorNode* tree = TreeOf(OtherFunction);
    if (!tree) EvaluateAt(IntervalFrom);
    // A term that draws random numbers has no integral to find to the last digit.
    if (!HasProgram()) throw EKoNoResult(kTextNumCalcFailed);
    const std::string& var = GetRunningVar();
    std::vector<long double> points = {IntervalFrom};
    bool complete = true;
    AddPoints(points, BreakPoints(tree, var, RunningSlot(), IntervalFrom, IntervalTo, &complete));
    // A term that jumps more often than the points can hold has no integral to find here.
    if (!complete) throw EKoNoResult(kTextNumCalcFailed);

    std::string failure;  // the text of the last point without a value
    TIntegrand integrand;
    TKoMathPointValues slopes(Derivative ? Derivative : OtherFunction);
    // A derivative without the variable is one slope everywhere.
    bool constantSlope = false;
    long double slopeEverywhere = 0;
    const auto value = [&](long double x, long double& y) {
      if (TryEvaluateAt(x, y)) return true;
      failure = GetErrorText();
      return false;
    };
    if (!ArcLength) {
      integrand = value;
    } else {
      if (Derivative) {
        constantSlope = BindSlopes(slopes, *Derivative, var, slopeEverywhere);
        // A derivative without a value anywhere: the term's own text.
        if (constantSlope && !std::isfinite(slopeEverywhere)) EvaluateAt(IntervalFrom);
        AddPoints(points, BreakPoints(TreeOf(Derivative), var, slopes.RunningSlot(), IntervalFrom,
                                      IntervalTo, &complete));
        if (!complete) throw EKoNoResult(kTextNumCalcFailed);
      }
      // The length of the graph: the integral of sqrt(1 + f'(x)^2) where f has a value.
      integrand = [&](long double x, long double& y) {
        long double f = 0, slope = slopeEverywhere;
        if (!value(x, f)) return false;
        const bool sloped = Derivative ? constantSlope || slopes.TryEvaluateAt(x, slope)
                                       : NumericSlope(value, x, Distances(points, x), slope);
        if (!sloped && Derivative) failure = slopes.GetErrorText();
        y = std::hypot(1.0L, slope);
        return sloped;
      };
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    points.push_back(IntervalTo);
    // A slope from differences costs about ten evaluations of the term.
    const std::int64_t cost = ArcLength && !Derivative ? kDifferencesCost : 1;
    TQuadratureResult result = IntegrateAdaptively(integrand, points, LargestPiece, cost);
    // A term that oscillates ever faster toward an end, with no break between: zero by zero.
    if (result.Outcome == TQuadratureOutcome::Failed && !ArcLength && points.size() == 2) {
      TQuadratureResult tail;
      if (OscillatingTail(integrand, IntervalFrom, IntervalTo, tail) ||
          OscillatingTail(integrand, IntervalTo, IntervalFrom, tail))
        result = tail;
    }
    Report(result, failure);
  } catch (const Exception& e) {
    ReportFailure(e);
    return;
  } catch (const std::bad_alloc&) {
    ReportFailure();
    return;
  }
  DropProgram();
}
