#include "MathXFnc/Quadrature.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <queue>
#include <utility>

namespace {

// Boost.Math's tables of the rule, copied bit for bit: its headers would bring the stream
// library's start-up into every run. A test compares them with Boost's.
constexpr TKronrodRule kKronrodRule = {
    {0x0p+0L, 0x9.87283c48f13ce9cp-6L, 0x9.6baa94af509b7a4p-5L, 0xd.de600480b56dcbep-5L,
     0x9.010da00fe090168p-4L, 0xa.dedc9146f0cbde2p-4L, 0xc.7e3aba7d3630f72p-4L,
     0xd.d74caf4e5979628p-4L, 0xe.e1ecd25808e2ebcp-4L, 0xf.951f0315796be51p-4L,
     0xf.ee363493957275cp-4L},
    {0x9.908415be6887a73p-6L, 0x9.748eb7f90f5a989p-6L, 0x9.233db0b607026b5p-6L,
     0x8.9f1368b4a469c23p-6L, 0xf.ce95c7ae96ef3c3p-7L, 0xe.0065fed440c773ep-7L,
     0xb.eb88eeee59c4ae1p-7L, 0x9.9ae66a9b91725a7p-7L, 0xe.047b810cccd1158p-8L,
     0x8.55bb5254a02132p-8L, 0xb.f9adede5441f835p-10L},
    {0x9.74ef380a6b77806p-5L, 0x8.9dd53d2acdff0cap-5L, 0xe.0582ce805e188b2p-6L,
     0x9.909c643c77f29cep-6L, 0x8.88afc5b16e0f7c5p-7L}};

constexpr long double kEpsilon = std::numeric_limits<long double>::epsilon();
// The aim: an estimated error below this share of the integral (or of the integral of the
// absolute value, where the integral cancels to nearly nothing).
constexpr long double kAim = 1e-17L;
constexpr long double kAimOfAbsolute = 1e-19L;
// A value whose error estimate is above this share of it is no value to print.
constexpr long double kAcceptable = 1e-13L;
// Steps that shrink by less than half grow toward the point (a power below 0); a run-off point
// beyond the end lies within this share of the last step.
constexpr long double kGrowing = 0.95L;
constexpr long double kBeyond = 1e-3L;
// An approach whose estimate is above this share of its value has not converged.
constexpr long double kUnconverged = 1e-6L;
// A piece of the subdivision is not cut further once it is this many units in the last
// place of its ends wide, or this small a share of its piece: there the rule can no longer
// tell the integrand's shape from the rounding of its nodes.
constexpr long double kNarrowestInUnits = 64;
constexpr int kDeepestHalving = 100;
// Below this depth and above this share of its integral's absolute value an interval's
// error is its shape's, not rounding.
constexpr int kFineDepth = 8;
constexpr long double kNearlyExact = 1e-8L;
// An interval this small a share of its place and its piece is narrow.
constexpr long double kNarrow = 0x1p-16L;
// The work one integral may cost: so many evaluations, and more for each piece it starts on.
constexpr std::int64_t kMostEvaluations = 1'000'000;
constexpr std::int64_t kEvaluationsPerPiece = 42;
constexpr std::size_t kMostPieces = 1'000'000;
// An interval at an end of its piece looks at points toward it, from 2^-kFirstProbe of its
// width to 2^-kMostProbes.
constexpr int kFirstProbe = 7;
// An interval at least this long is looked at toward 0 as well.
constexpr long double kLongInterval = 1e4L;
constexpr int kMostProbes = 64;
// The rule starts on so many pieces of the interval.
constexpr long double kFirstPieces = 128;
// Toward a point the geometric approach halves the distance at most so often, and ends
// where the nodes keep fewer than 24 bits of their distance to a point away from 0. The
// extrapolation has mostly converged long before.
constexpr int kMostApproachSteps = 240;
constexpr long double kApproachUnits = 16777216.0L;  // 2^24
// Members of the approach before divergence or convergence is judged, and the ratio of
// steps that no longer shrink: 1/x gives 1, x^-0.999 about 0.9993.
constexpr long double kNotShrinking = 1 - 1e-9L;
constexpr int kDivergenceSteps = 6;
// The epsilon table works on at most so many of the latest members.
constexpr std::size_t kEpsilonTable = 40;
// Trouble points found inside a part near another one are handled so many levels deep.
constexpr int kDeepestTroubles = 3;
// Trouble points closer to each other or to an end than so many units are one.
constexpr long double kMergeUnits = 256;
constexpr long double kMergeShare = 0x1p-50L;

long double Unit(long double x) {
  const long double a = std::fabs(x);
  return std::nextafter(a, std::numeric_limits<long double>::infinity()) - a;
}

// One interval of the adaptive subdivision with its rule's results.
struct TInterval {
  long double From = 0;
  long double To = 0;
  long double Value = 0;
  long double Error = 0;
  long double Rounding = 0;  // the part of Error that is rounding alone
  long double Noise = 0;     // the part of Rounding that the rounding of the nodes makes
  bool NoGain = false;       // halved from an interval whose halves were no better
  long double Absolute = 0;  // the rule's integral of |f|
  int Depth = 0;             // halvings since its piece
  std::size_t Piece = 0;     // index of the piece it belongs to
  // whether it begins or ends at a point the term is looked at toward (an end of the
  // interval, a break point), and whether that look saw more than its nodes
  bool AtPieceStart = false;
  bool AtPieceEnd = false;
  bool Unseen = false;
  bool operator<(const TInterval& other) const { return Error < other.Error; }
};

// A point of a piece toward which the integrand runs off or where it has no value.
struct TTrouble {
  long double At;
  bool NoValue;  // the integrand has no value there
};

// Sum with the rounding error of each addition carried along.
class TCompensatedSum {
 public:
  void Add(long double v) {
    const long double t = Sum + v;
    Carry += std::fabs(Sum) >= std::fabs(v) ? (Sum - t) + v : (v - t) + Sum;
    Sum = t;
  }
  long double Value() const { return Sum + Carry; }

 private:
  long double Sum = 0;
  long double Carry = 0;
};

class TQuadrature {
 public:
  TQuadrature(const TIntegrand& f, std::int64_t cost) : F(f), Cost(cost) {}
  TQuadratureResult Integrate(const std::vector<long double>& given, long double largestPiece);

 private:
  // The outcome of the adaptive subdivision of some pieces.
  struct TAdaptive {
    TCompensatedSum Value;
    long double Error = 0;
    long double Absolute = 0;
    bool Converged = true;
    // Per piece: the troubles, and the sums of its intervals.
    std::vector<std::vector<TTrouble>> Troubles;
    std::vector<TCompensatedSum> PieceValues;
    std::vector<long double> PieceErrors;
  };
  bool Evaluate(long double x, long double& y);
  bool Rule(TInterval& interval, long double& failedAt);
  // The largest magnitude of the values toward the ends of the interval's piece that it
  // touches.
  long double UnseenValue(const TInterval& interval);
  void LookBetweenNodes(TInterval& interval, const std::array<long double, 21>& values);
  // An interval of the first subdivision, on the piece of that index.
  TInterval FirstInterval(const std::pair<long double, long double>& piece,
                          std::size_t index) const {
    TInterval interval;
    interval.From = piece.first;
    interval.To = piece.second;
    interval.Piece = index;
    interval.AtPieceStart = LooksAt(interval.From);
    interval.AtPieceEnd = LooksAt(interval.To);
    return interval;
  }
  // Whether the point is one the first subdivision looks toward.
  bool LooksAt(long double x) const {
    return std::find(LookedAt.begin(), LookedAt.end(), x) != LookedAt.end();
  }
  TAdaptive Adaptive(const std::vector<std::pair<long double, long double>>& pieces,
                     bool acceptNoise);
  static void Collect(TAdaptive& result, std::priority_queue<TInterval>& queue, std::size_t pieces);
  TQuadratureResult Troubled(long double from, long double to, std::vector<TTrouble> troubles,
                             int depth);
  TQuadratureResult Approach(long double at, long double other, int depth);
  TQuadratureResult Plain(long double from, long double to, int depth, bool acceptNoise);
  long double FiniteEndCorrection(long double at, const std::vector<long double>& steps,
                                  long double length);

  const TIntegrand& F;
  std::int64_t Evaluations = 0;
  std::int64_t MostEvaluations = kMostEvaluations;
  std::int64_t Cost = 1;  // evaluations of the term per call of F
  bool OutOfWork = false;
  // The points toward which the first subdivision looks at the term between the nodes.
  std::vector<long double> LookedAt;
};

bool TQuadrature::Evaluate(long double x, long double& y) {
  ++Evaluations;
  if (!F(x, y)) return false;
  return std::isfinite(y);
}

// The Kronrod and Gauss sums on the interval, and the error estimate of the classic
// adaptive codes: the difference of the two, scaled down as it shrinks against the
// integrand's variation, but never below the rounding of the sum.
long double TQuadrature::UnseenValue(const TInterval& interval) {
  long double largest = 0;
  const long double width = interval.To - interval.From;
  // the nodes themselves reach to about a 230th of the width from the ends
  for (int k = kFirstProbe; k <= kMostProbes; ++k) {
    const long double step = std::ldexp(width, -k);
    long double y = 0;
    // where the term has no value the rule itself finds out
    if (interval.AtPieceStart && interval.From + step > interval.From &&
        Evaluate(interval.From + step, y) && std::isfinite(y))
      largest = std::fmax(largest, std::fabs(y));
    if (interval.AtPieceEnd && interval.To - step < interval.To &&
        Evaluate(interval.To - step, y) && std::isfinite(y))
      largest = std::fmax(largest, std::fabs(y));
  }
  return largest;
}

// The nodes nearest the ends lie a little inside: exp(-x) over [0; 1e9] is 0 at every node
// of its first pieces. Points toward the ends of the interval and the break points, each
// half as far from it as the one before, that see more than the nodes mark the interval
// for splitting; its halves look again toward that end.
void TQuadrature::LookBetweenNodes(TInterval& interval, const std::array<long double, 21>& values) {
  if (!interval.AtPieceStart && !interval.AtPieceEnd) return;
  long double seen = 0;
  for (const long double v : values) seen = std::fmax(seen, std::fabs(v));
  const long double unseen = UnseenValue(interval);
  interval.Unseen = unseen > 2 * seen;
  if (interval.Unseen)
    interval.Error = std::fmax(interval.Error, unseen * (interval.To - interval.From) / 2);
}

bool TQuadrature::Rule(TInterval& interval, long double& failedAt) {
  const auto& nodes = kKronrodRule.Nodes;
  const auto& kronrod = kKronrodRule.Weights;
  const auto& gauss = kKronrodRule.GaussWeights;
  const long double half = interval.To / 2 - interval.From / 2;
  const long double centre = interval.From + half;
  std::array<long double, 21> values{};
  if (!Evaluate(centre, values[0])) {
    failedAt = centre;
    return false;
  }
  long double kronrodSum = values[0] * kronrod[0];
  long double gaussSum = 0;
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    const long double right = centre + half * nodes[i];
    const long double left = centre - half * nodes[i];
    long double& fr = values[2 * i - 1];
    long double& fl = values[2 * i];
    if (!Evaluate(right, fr)) {
      failedAt = right;
      return false;
    }
    if (!Evaluate(left, fl)) {
      failedAt = left;
      return false;
    }
    kronrodSum += kronrod[i] * (fr + fl);
    if (i % 2 == 1) gaussSum += gauss[i / 2] * (fr + fl);
  }
  const long double mean = kronrodSum / 2;
  long double absolute = kronrod[0] * std::fabs(values[0]);
  long double variation = kronrod[0] * std::fabs(values[0] - mean);
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    const long double fr = values[2 * i - 1], fl = values[2 * i];
    absolute += kronrod[i] * (std::fabs(fr) + std::fabs(fl));
    variation += kronrod[i] * (std::fabs(fr - mean) + std::fabs(fl - mean));
  }
  const long double width = std::fabs(half);
  interval.Value = kronrodSum * half;
  interval.Absolute = absolute * width;
  variation *= width;
  long double error = std::fabs((kronrodSum - gaussSum) * half);
  if (variation != 0 && error != 0)
    error = variation * std::fmin(1.0L, std::pow(200 * error / variation, 1.5L));
  // The nodes are rounded to the numbers near them: the integral moves by the slope between
  // neighbouring nodes times the rounding of their place, over the width; the roundings
  // differ in sign and size, and a tenth of the steepest slope's effect is typical.
  long double slope = 0;
  long double previousX = centre - half * nodes[nodes.size() - 1];
  long double previousF = values[2 * (nodes.size() - 1)];
  for (std::size_t j = 1; j < 2 * nodes.size() - 1; ++j) {
    // Left nodes from the outermost in, the centre, right nodes from the innermost out.
    const std::size_t i = j < nodes.size() ? nodes.size() - 1 - j : j - nodes.size() + 1;
    const bool left = j < nodes.size() - 1;
    const long double x = i == 0 ? centre
                          : left ? centre - half * nodes[i]
                                 : centre + half * nodes[i];
    const long double f = i == 0 ? values[0] : left ? values[2 * i] : values[2 * i - 1];
    if (x > previousX) slope = std::fmax(slope, std::fabs(f - previousF) / (x - previousX));
    previousX = x;
    previousF = f;
  }
  const long double unit = Unit(std::fmax(std::fabs(interval.From), std::fabs(interval.To)));
  interval.Noise = slope * unit * width / 10;
  interval.Rounding = std::fmax(8 * kEpsilon * interval.Absolute, interval.Noise);
  interval.Error = std::fmax(error, interval.Rounding);
  LookBetweenNodes(interval, values);
  if (!std::isfinite(interval.Value) || !std::isfinite(interval.Error)) {
    failedAt = centre;
    return false;
  }
  return true;
}

// Whether rounding dominates the error of an interval narrow for its place and its piece, or
// of one at the end of its piece that halving no longer improved: the subdivision went deep
// there.
bool NoiseOfNarrow(const TInterval& interval, const std::pair<long double, long double>& piece) {
  const long double place = std::fmax(std::fabs(interval.From), std::fabs(interval.To));
  const long double width = interval.To - interval.From;
  const bool atEnd = interval.From == piece.first || interval.To == piece.second;
  return interval.Noise > 8 * kEpsilon * interval.Absolute &&
         ((atEnd && interval.NoGain) ||
          width <= kNarrow * std::fmin(place, piece.second - piece.first));
}

// The halves of an interval, one level deeper; they look toward the ends of their piece again
// where the whole saw more there than its nodes.
void Halved(const TInterval& whole, TInterval& left, TInterval& right) {
  const long double middle = whole.From / 2 + whole.To / 2;
  left = right = whole;
  left.To = middle;
  right.From = middle;
  left.AtPieceStart = whole.AtPieceStart && whole.Unseen;
  right.AtPieceEnd = whole.AtPieceEnd && whole.Unseen;
  left.AtPieceEnd = right.AtPieceStart = false;
  left.Depth = right.Depth = whole.Depth + 1;
}

bool Splittable(const TInterval& interval) {
  const long double width = interval.To - interval.From;
  const long double unit = Unit(std::fmax(std::fabs(interval.From), std::fabs(interval.To)));
  return width > kNarrowestInUnits * unit && interval.Depth < kDeepestHalving;
}

// Halves of a fine interval, already nearly exact, that together are no better than the
// whole: the integrand's own rounding (a cancellation, a difference quotient) dominates, and
// their error is that rounding.
void MarkNoGain(const TInterval& whole, TInterval& left, TInterval& right) {
  if (left.Error + right.Error < whole.Error || whole.Depth < kFineDepth ||
      whole.Error > kNearlyExact * whole.Absolute)
    return;
  for (TInterval* half : {&left, &right}) {
    half->Noise = half->Rounding = half->Error;
    half->NoGain = true;
  }
}

// Where an interval that cannot be cut further marks its piece's trouble: at the piece's end
// it touches, else at its middle.
long double TroublePoint(const TInterval& interval,
                         const std::pair<long double, long double>& piece) {
  if (interval.From == piece.first) return piece.first;
  if (interval.To == piece.second) return piece.second;
  return interval.From / 2 + interval.To / 2;
}

// Global adaptive subdivision: the interval of the largest error is halved until the sum of
// the errors meets the aim. Intervals that cannot be cut further and those where the
// integrand has no value are left out and reported as the troubles of their piece.
TQuadrature::TAdaptive TQuadrature::Adaptive(
    const std::vector<std::pair<long double, long double>>& pieces, bool acceptNoise) {
  TAdaptive result;
  result.Troubles.resize(pieces.size());
  std::priority_queue<TInterval> queue;
  // Running sums over the queue, with their rounding carried along.
  TCompensatedSum value, error, absolute;
  // A piece with a trouble point is done again from that point: its intervals are dropped.
  std::vector<bool> troubled(pieces.size(), false);
  const auto rule = [&](TInterval& interval) {
    long double failedAt = 0;
    if (Rule(interval, failedAt)) return true;
    result.Troubles[interval.Piece].push_back({failedAt, true});
    troubled[interval.Piece] = true;
    return false;
  };
  const auto push = [&](const TInterval& interval) {
    error.Add(interval.Error);
    absolute.Add(interval.Absolute);
    value.Add(interval.Value);
    queue.push(interval);
  };
  const auto drop = [&](const TInterval& interval) {
    error.Add(-interval.Error);
    absolute.Add(-interval.Absolute);
    value.Add(-interval.Value);
  };
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    TInterval interval = FirstInterval(pieces[i], i);
    if (rule(interval)) push(interval);
  }
  bool done = false;  // the aim or the rounding is reached
  while (!queue.empty()) {
    const long double aim =
        std::fmax(kAim * std::fabs(value.Value()), kAimOfAbsolute * absolute.Value());
    if (error.Value() <= aim) {
      done = true;
      break;
    }
    const TInterval worst = queue.top();
    // At the rounding the worst interval is done, and so are all. Where the rounding of the
    // nodes of a narrow interval dominates, the integrand runs off faster than the numbers
    // near it can follow: a trouble point, unless that is expected.
    const bool rounding = worst.Error <= worst.Rounding && !troubled[worst.Piece];
    const std::pair<long double, long double>& piece = pieces[worst.Piece];
    if (rounding && (acceptNoise || !NoiseOfNarrow(worst, piece))) {
      done = true;
      break;
    }
    if (Evaluations > MostEvaluations || queue.size() > kMostPieces) {
      OutOfWork = true;
      break;
    }
    queue.pop();
    drop(worst);
    if (troubled[worst.Piece] || rounding || !Splittable(worst)) {
      if (!troubled[worst.Piece])
        result.Troubles[worst.Piece].push_back({TroublePoint(worst, piece), false});
      troubled[worst.Piece] = true;
      continue;
    }
    TInterval left, right;
    Halved(worst, left, right);
    const bool leftValid = rule(left), rightValid = rule(right);
    if (leftValid && rightValid) MarkNoGain(worst, left, right);
    if (leftValid) push(left);
    if (rightValid) push(right);
  }
  // Converged where the aim or the rounding is reached, or every interval was left out.
  result.Converged = !OutOfWork && (done || queue.empty());
  Collect(result, queue, pieces.size());
  return result;
}

// The result from the intervals themselves, in order, not from the running sums.
void TQuadrature::Collect(TAdaptive& result, std::priority_queue<TInterval>& queue,
                          std::size_t pieces) {
  std::vector<TInterval> done;
  for (; !queue.empty(); queue.pop()) done.push_back(queue.top());
  std::sort(done.begin(), done.end(),
            [](const TInterval& a, const TInterval& b) { return a.From < b.From; });
  result.Error = 0;
  result.PieceValues.resize(pieces);
  result.PieceErrors.resize(pieces);
  // The rounding of different intervals is independent: it adds up in squares.
  long double rounding = 0;
  for (const TInterval& interval : done) {
    result.Value.Add(interval.Value);
    if (interval.Error > interval.Rounding) result.Error += interval.Error;
    rounding = std::hypot(rounding, interval.Rounding);
    result.Absolute += interval.Absolute;
    result.PieceValues[interval.Piece].Add(interval.Value);
    result.PieceErrors[interval.Piece] += interval.Error;
  }
  result.Error += rounding;
}

// The integral over one piece without trouble points: the adaptive rule alone.
TQuadratureResult TQuadrature::Plain(long double from, long double to, int depth,
                                     bool acceptNoise) {
  TQuadratureResult result;
  const TAdaptive adaptive = Adaptive({{from, to}}, acceptNoise);
  result.Value = adaptive.Value.Value();
  result.Error = adaptive.Error;
  if (!adaptive.Troubles[0].empty() && depth < kDeepestTroubles)
    return Troubled(from, to, adaptive.Troubles[0], depth + 1);
  if (!adaptive.Troubles[0].empty()) {
    const bool noValue = std::any_of(adaptive.Troubles[0].begin(), adaptive.Troubles[0].end(),
                                     [](const TTrouble& t) { return t.NoValue; });
    result.Outcome = noValue ? TQuadratureOutcome::Undefined : TQuadratureOutcome::Failed;
  } else if (!adaptive.Converged) {
    result.Outcome = TQuadratureOutcome::Failed;
  }
  return result;
}

// The integral from at toward other, where the integrand may run off at at: the distance
// to at is halved step by step, each step's integral taken by the adaptive rule, and the
// sequence of partial sums extrapolated to its limit.
TQuadratureResult TQuadrature::Approach(long double at, long double other, int depth) {
  TQuadratureResult result;
  const long double length = std::fabs(other - at);
  const long double direction = other > at ? 1 : -1;
  const long double nearest = at == 0 ? 0 : kApproachUnits * Unit(at);
  TEpsilonExtrapolation extrapolation;
  TCompensatedSum partial;
  long double stepErrors = 0;
  long double best = 0, bestError = HUGE_VALL;
  std::vector<long double> steps;
  long double width = length;
  for (int k = 0; k < kMostApproachSteps; ++k) {
    const long double inner = width / 2;
    if (inner < nearest || inner == 0) break;
    // The far end of the first step is the other end exactly.
    const long double a = at + direction * inner;
    const long double b = k == 0 ? other : at + direction * width;
    // Near the point the nodes' rounding is expected; the first step reaches far from it.
    const TQuadratureResult step = Plain(std::fmin(a, b), std::fmax(a, b), depth, k > 0);
    if (step.Outcome != TQuadratureOutcome::Value) {
      result.Outcome = step.Outcome;
      return result;
    }
    const long double stepValue = step.Value;
    partial.Add(stepValue);
    // The steps' errors are mostly the rounding of their nodes, independent of each other.
    stepErrors = std::hypot(stepErrors, step.Error);
    steps.push_back(stepValue);
    extrapolation.Push(partial.Value());
    width = inner;
    const std::size_t n = steps.size();
    const long double sum = partial.Value();
    const long double aim = kAim * std::fabs(sum);
    // Steps that no longer shrink: the integral grows without bound toward at.
    if (n >= kDivergenceSteps) {
      bool growing = true;
      for (std::size_t j = n - 4; j < n && growing; ++j)
        growing = steps[j] != 0 && steps[j] / steps[j - 1] >= kNotShrinking;
      if (growing) {
        result.Outcome = TQuadratureOutcome::Diverges;
        return result;
      }
    }
    if (n >= 3 && std::fabs(steps[n - 1]) + std::fabs(steps[n - 2]) <= aim) {
      result.Value = sum;
      result.Error = std::fabs(steps[n - 1]) + std::fabs(steps[n - 2]) + stepErrors;
      return result;
    }
    // Extrapolated only where the steps shrink: the epsilon algorithm also finds the
    // "limit" of a sum that grows geometrically (its antilimit, 0 for steps of x^-9).
    const bool shrinking = n >= kDivergenceSteps &&
                           std::fabs(steps[n - 1]) < std::fabs(steps[n - 2]) &&
                           std::fabs(steps[n - 2]) < std::fabs(steps[n - 3]);
    if (shrinking && extrapolation.Error() + stepErrors < bestError) {
      best = extrapolation.Estimate();
      bestError = extrapolation.Error() + stepErrors;
    }
    if (shrinking && bestError <= aim) break;
    // Further steps would only add the rounding of their nodes.
    if (shrinking && stepErrors > bestError / 2) break;
    if (OutOfWork) break;
  }
  // The best extrapolation; whether it is good enough the whole integral decides, unless it
  // is plainly not converged.
  result.Value = best + FiniteEndCorrection(at, steps, length);
  result.Error = bestError;
  if (!(result.Error <= kUnconverged * std::fabs(result.Value)))
    result.Outcome = TQuadratureOutcome::Failed;
  return result;
}

// The extrapolation takes the steps' growth C * t^a (t the distance to at) to at itself. Where
// the integrand has a finite value at at, the growth bends off a little before: the run-off
// point lies a distance d beyond at, C * d^a being that value (tan near a bound just below
// pi/2). The integral then lacks C * d^(1 + a) / (1 + a): the correction, 0 where the steps
// do not grow as a power.
long double TQuadrature::FiniteEndCorrection(long double at, const std::vector<long double>& steps,
                                             long double length) {
  long double end = 0;
  const std::size_t n = steps.size();
  if (n < 4 || !Evaluate(at, end) || end == 0) return 0;
  const long double ratio = steps[n - 1] / steps[n - 2];
  if (!(ratio > 0 && ratio < 1)) return 0;
  const long double p = -std::log2(ratio);  // 1 + a
  if (!(p < kGrowing)) return 0;
  const long double outer = std::ldexp(length, -static_cast<int>(n - 1));
  const long double c = steps[n - 1] * p / (std::pow(outer, p) * (1 - std::exp2(-p)));
  const long double d = std::pow(end / c, 1 / (p - 1));
  if (!(d > 0 && d < kBeyond * outer)) return 0;
  const long double correction = -c * std::pow(d, p) / p;
  return std::isfinite(correction) ? correction : 0;
}

// A piece with trouble points: cut at them, each part approached from its trouble ends.
TQuadratureResult TQuadrature::Troubled(long double from, long double to,
                                        std::vector<TTrouble> troubles, int depth) {
  TQuadratureResult result;
  std::sort(troubles.begin(), troubles.end(),
            [](const TTrouble& a, const TTrouble& b) { return a.At < b.At; });
  // Points: the ends and the trouble points; a trouble within a few units of another point,
  // or a tiny share of the piece from its end (where 1/(exp(x)-1) has no value beside 0),
  // is that point.
  const long double share = kMergeShare * (to - from);
  const auto near = [share](long double a, long double b) {
    return b - a <= std::fmax(kMergeUnits * std::fmax(Unit(a), Unit(b)), share);
  };
  std::vector<long double> points = {from};
  std::vector<bool> trouble = {false};
  for (const TTrouble& t : troubles) {
    if (near(points.back(), t.At)) {
      trouble.back() = true;
    } else if (!near(t.At, to)) {
      points.push_back(t.At);
      trouble.push_back(true);
    }
  }
  const bool toTroubled = std::any_of(troubles.begin(), troubles.end(),
                                      [&](const TTrouble& t) { return near(t.At, to); });
  points.push_back(to);
  trouble.push_back(toTroubled);
  if (points.size() > 66) {
    result.Outcome =
        std::any_of(troubles.begin(), troubles.end(), [](const TTrouble& t) { return t.NoValue; })
            ? TQuadratureOutcome::Undefined
            : TQuadratureOutcome::Failed;
    return result;
  }
  TCompensatedSum sum;
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const long double a = points[i], b = points[i + 1];
    std::vector<TQuadratureResult> parts;
    if (trouble[i] && trouble[i + 1]) {
      const long double middle = a / 2 + b / 2;
      parts.push_back(Approach(a, middle, depth));
      parts.push_back(Approach(b, middle, depth));
    } else if (trouble[i]) {
      parts.push_back(Approach(a, b, depth));
    } else if (trouble[i + 1]) {
      parts.push_back(Approach(b, a, depth));
    } else {
      parts.push_back(Plain(a, b, depth, false));
    }
    for (const TQuadratureResult& part : parts) {
      if (part.Outcome != TQuadratureOutcome::Value) {
        result.Outcome = part.Outcome;
        return result;
      }
      sum.Add(part.Value);
      result.Error += part.Error;
    }
  }
  result.Value = sum.Value();
  return result;
}

TQuadratureResult TQuadrature::Integrate(const std::vector<long double>& given,
                                         long double largestPiece) {
  TQuadratureResult result;
  std::vector<std::pair<long double, long double>> pieces;
  // On a long interval the term is looked at toward 0 too, where terms have their features:
  // exp(-x^2) over [-1e9; 1e9] is 0 at every node.
  std::vector<long double> points = given;
  if (points.front() < 0 && points.back() > 0 && points.back() - points.front() >= kLongInterval &&
      std::find(points.begin(), points.end(), 0.0L) == points.end())
    points.insert(std::upper_bound(points.begin(), points.end(), 0.0L), 0.0L);
  // A narrow peak between the nodes of one rule would go unseen: the rule starts on many
  // pieces.
  long double widest = (points.back() / 2 - points.front() / 2) / (kFirstPieces / 2);
  if (largestPiece > 0) widest = std::fmin(widest, largestPiece);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const long double a = points[i], b = points[i + 1];
    if (!(b > a)) continue;
    std::int64_t count = 1;
    if (widest > 0) {
      const long double n = std::ceil(b / widest - a / widest);
      count = n < 1                                       ? 1
              : n > static_cast<long double>(kMostPieces) ? static_cast<std::int64_t>(kMostPieces)
                                                          : static_cast<std::int64_t>(n);
    }
    for (std::int64_t j = 0; j < count; ++j) {
      const long double from = j == 0 ? a : a + (b - a) * static_cast<long double>(j) / count;
      const long double to =
          j + 1 == count ? b : a + (b - a) * static_cast<long double>(j + 1) / count;
      pieces.emplace_back(from, to);
    }
    if (pieces.size() > kMostPieces) break;
  }
  if (pieces.empty() || pieces.size() > kMostPieces) {
    result.Outcome = TQuadratureOutcome::Failed;
    return result;
  }
  MostEvaluations =
      kMostEvaluations / Cost + kEvaluationsPerPiece * static_cast<std::int64_t>(pieces.size());
  LookedAt = points;
  const TAdaptive adaptive = Adaptive(pieces, false);
  LookedAt.clear();
  TCompensatedSum sum;
  sum.Add(adaptive.Value.Value());
  result.Error = adaptive.Error;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (adaptive.Troubles[i].empty()) continue;
    // The piece again, approached from its trouble points, in place of what the
    // subdivision found for it.
    sum.Add(-adaptive.PieceValues[i].Value());
    result.Error -= std::fmin(result.Error, adaptive.PieceErrors[i]);
    const TQuadratureResult part =
        Troubled(pieces[i].first, pieces[i].second, adaptive.Troubles[i], 1);
    if (part.Outcome != TQuadratureOutcome::Value) {
      result.Outcome = part.Outcome;
      result.Evaluations = Evaluations;
      return result;
    }
    sum.Add(part.Value);
    result.Error += part.Error;
  }
  result.Value = sum.Value();
  result.Evaluations = Evaluations;
  if (!std::isfinite(result.Value)) result.Outcome = TQuadratureOutcome::Failed;
  // The estimate weighed against the integral, or where that cancels against the integral of
  // the absolute value.
  const long double scale = std::fmax(std::fabs(result.Value), 1e-3L * adaptive.Absolute);
  if (OutOfWork || !(result.Error <= kAcceptable * scale))
    result.Outcome = TQuadratureOutcome::Failed;
  return result;
}

}  // namespace

void TEpsilonExtrapolation::Push(long double s) {
  ++Members;
  Sequence.push_back(s);
  if (Sequence.size() > kEpsilonTable) Sequence.erase(Sequence.begin());
  const std::size_t m = Sequence.size();
  Best = s;
  BestError = HUGE_VALL;
  // Columns of the epsilon table: column k has m - k entries; the even ones estimate the
  // limit. previous is column k - 1, current column k.
  std::vector<long double> older(m + 1, 0.0L);  // column -1
  std::vector<long double> previous = Sequence;
  std::vector<long double> lastEven = Sequence;
  for (std::size_t k = 1; k < m; ++k) {
    std::vector<long double> current(m - k);
    for (std::size_t n = 0; n + k < m; ++n) {
      const long double difference = previous[n + 1] - previous[n];
      current[n] = older[n + 1] + 1 / difference;
    }
    if (k % 2 == 0 && current.size() >= 2) {
      const long double newest = current.back();
      const long double before = current[current.size() - 2];
      const long double lower = lastEven.back();
      const long double error = std::fabs(newest - before) + std::fabs(newest - lower);
      if (std::isfinite(newest) && std::isfinite(error) && error < BestError) {
        Best = newest;
        BestError = error;
      }
    }
    if (k % 2 == 0) lastEven = current;
    older = std::move(previous);
    previous = std::move(current);
  }
  BestError = std::fmax(BestError, 8 * kEpsilon * std::fabs(Best));
}

const TKronrodRule& KronrodRule() {
  return kKronrodRule;
}

TQuadratureResult IntegrateAdaptively(const TIntegrand& f, const std::vector<long double>& points,
                                      long double largestPiece, std::int64_t cost) {
  TQuadrature quadrature(f, std::max<std::int64_t>(cost, 1));
  return quadrature.Integrate(points, largestPiece);
}
