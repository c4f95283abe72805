// Samples of a curve: evenly first, then more where it is steep or ends; the y range.
#include <algorithm>
#include <cmath>
#include <limits>

#include "MathPlot/MathPlot.hpp"

namespace plot {

namespace {

// Beyond this many halvings of a step the neighbours are as close as the picture can tell.
constexpr int kDeepest = 40;
// A gap that shrinks to less than this share of the one before at each halving belongs to a
// continuous curve; a jump keeps its gap, a pole widens it.
constexpr long double kShrinking = 0.9L;
// The bulk of the values lies between these quantiles.
constexpr long double kBulkLow = 0.05L;
constexpr long double kBulkHigh = 0.95L;
// Values further than this many bulk widths beyond it run off; the range then ends this share
// of a bulk width beyond it.
constexpr long double kRunsOff = 2;
constexpr long double kBeyondBulk = 0.5L;
// An end of the range this close to zero, as a share of the range, moves to zero.
constexpr long double kNearZero = 0.1L;

TPoint Evaluated(const TEvaluate& evaluate, long double x) {
  TPoint p;
  p.X = x;
  long double y = 0;
  p.Valid = evaluate(x, y) && std::isfinite(y);
  p.Y = p.Valid ? y : 0;
  return p;
}

bool Above(const TPoint& p, const TRange& range) {
  return p.Y > range.High;
}

bool Below(const TPoint& p, const TRange& range) {
  return p.Y < range.Low;
}

class TRefiner {
 public:
  TRefiner(const TEvaluate& evaluate, const TRange& range, long double unitsPerY,
           std::size_t budget)
      : Evaluate(evaluate), Range(range), UnitsPerY(unitsPerY), Budget(budget) {}

  // Appends the samples strictly between a and b to out; returns whether b joins the last
  // sample before it.
  bool Split(const TPoint& a, const TPoint& b, int depth, long double gapBefore,
             std::vector<TPoint>& out) {
    if (!a.Valid && !b.Valid) return false;
    long double gap = std::numeric_limits<long double>::infinity();
    if (a.Valid && b.Valid) {
      // Both beyond the same edge: nothing of it is seen.
      if ((Above(a, Range) && Above(b, Range)) || (Below(a, Range) && Below(b, Range))) return true;
      gap = std::fabs(a.Y - b.Y) * UnitsPerY;
      if (!(gap > 1)) return true;
    }
    const long double middle = a.X + (b.X - a.X) / 2;
    const bool exhausted = depth >= kDeepest || Budget == 0 || middle <= a.X || middle >= b.X;
    if (exhausted) return a.Valid && b.Valid && gap < kShrinking * gapBefore;
    --Budget;
    TPoint m = Evaluated(Evaluate, middle);
    m.Joined = Split(a, m, depth + 1, gap, out);
    out.push_back(m);
    return Split(m, b, depth + 1, gap, out);
  }

 private:
  const TEvaluate& Evaluate;
  const TRange& Range;
  long double UnitsPerY;
  std::size_t Budget;
};

}  // namespace

long double SampleX(long double from, long double to, std::size_t i, std::size_t count) {
  if (i + 1 >= count) return to;
  const long double t = static_cast<long double>(i) / static_cast<long double>(count - 1);
  // Not from + t * (to - from): the width may exceed the largest number.
  return from * (1 - t) + to * t;
}

std::vector<TPoint> SampleEvenly(const TEvaluate& evaluate, long double from, long double to,
                                 std::size_t count) {
  count = std::max<std::size_t>(count, 2);
  std::vector<TPoint> points;
  points.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    TPoint p = Evaluated(evaluate, SampleX(from, to, i, count));
    p.Joined = p.Valid && !points.empty() && points.back().Valid;
    points.push_back(p);
  }
  return points;
}

TRange ChooseRange(const std::vector<const std::vector<TPoint>*>& curves) {
  std::vector<long double> values;
  for (const std::vector<TPoint>* curve : curves)
    for (const TPoint& p : *curve)
      if (p.Valid) values.push_back(p.Y);
  TRange range;
  if (values.empty()) return range;
  std::sort(values.begin(), values.end());
  const auto last = static_cast<long double>(values.size() - 1);
  const long double bulkLow = values[static_cast<std::size_t>(std::floor(kBulkLow * last))];
  const long double bulkHigh = values[static_cast<std::size_t>(std::ceil(kBulkHigh * last))];
  const long double width = bulkHigh - bulkLow;
  range.Low = values.front();
  range.High = values.back();
  if (width > 0 && range.High - bulkHigh > kRunsOff * width) {
    range.High = bulkHigh + kBeyondBulk * width;
    range.CutAbove = true;
  }
  if (width > 0 && bulkLow - range.Low > kRunsOff * width) {
    range.Low = bulkLow - kBeyondBulk * width;
    range.CutBelow = true;
  }
  // A constant, or one that only rounding lets vary: a band around it.
  const long double size = std::max(std::fabs(range.Low), std::fabs(range.High));
  if (!(range.High - range.Low > 1e-12L * size) || !std::isfinite(range.High - range.Low)) {
    const long double middle = range.Low / 2 + range.High / 2;
    const long double half = middle != 0 ? std::fabs(middle) / 4 : 1;
    range.Low = middle - half;
    range.High = middle + half;
    return range;
  }
  if (range.Low > 0 && range.Low < kNearZero * (range.High - range.Low)) range.Low = 0;
  if (range.High < 0 && -range.High < kNearZero * (range.High - range.Low)) range.High = 0;
  return range;
}

void Refine(std::vector<TPoint>& points, const TEvaluate& evaluate, const TRange& range,
            long double unitsPerY, std::size_t budget) {
  if (points.empty()) return;
  TRefiner refiner(evaluate, range, unitsPerY, budget);
  std::vector<TPoint> out;
  out.reserve(points.size() * 2);
  out.push_back(points.front());
  for (std::size_t i = 1; i < points.size(); ++i) {
    TPoint b = points[i];
    b.Joined = refiner.Split(out.back(), b, 0, std::numeric_limits<long double>::infinity(), out);
    out.push_back(b);
  }
  points = std::move(out);
}

std::optional<std::pair<TPoint, TPoint>> ClipToRange(const TPoint& a, const TPoint& b,
                                                     const TRange& range) {
  if ((Above(a, range) && Above(b, range)) || (Below(a, range) && Below(b, range)))
    return std::nullopt;
  TPoint from = a, to = b;
  // The point where the segment meets the edge at height y.
  const auto at = [&a, &b](long double y) {
    TPoint p = a;
    const long double t = (y - a.Y) / (b.Y - a.Y);
    p.X = a.X + (b.X - a.X) * t;
    p.Y = y;
    return p;
  };
  if (Above(a, range)) from = at(range.High);
  if (Below(a, range)) from = at(range.Low);
  if (Above(b, range)) to = at(range.High);
  if (Below(b, range)) to = at(range.Low);
  return std::make_pair(from, to);
}

}  // namespace plot
