// The grid of dots the curves are drawn on, and the texts of numbers on the axes.
#include <algorithm>
#include <cmath>

#include "MathPlot/MathPlot.hpp"
#include "util/util.hpp"

namespace plot {

TCanvas::TCanvas(int dotsAcross, int dotsDown)
    : DotsAcross(std::max(dotsAcross, 1)),
      DotsDown(std::max(dotsDown, 1)),
      Dots(static_cast<std::size_t>(DotsAcross) * static_cast<std::size_t>(DotsDown), 0) {}

std::uint8_t TCanvas::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= DotsAcross || y >= DotsDown) return 0;
  return Dots[static_cast<std::size_t>(y) * static_cast<std::size_t>(DotsAcross) +
              static_cast<std::size_t>(x)];
}

void TCanvas::Set(int x, int y, std::uint8_t bits) {
  if (x < 0 || y < 0 || x >= DotsAcross || y >= DotsDown) return;
  Dots[static_cast<std::size_t>(y) * static_cast<std::size_t>(DotsAcross) +
       static_cast<std::size_t>(x)] |= bits;
}

void TCanvas::Line(long double x0, long double y0, long double x1, long double y1, TPen& pen) {
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
  const long double longest = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
  // A clipped segment lies on the grid; more steps than its dots would only repeat them.
  const long double steps =
      std::min(std::ceil(longest), static_cast<long double>(DotsAcross + DotsDown));
  const auto count = static_cast<int>(steps);
  for (int i = 0; i <= count; ++i) {
    const long double t = count ? static_cast<long double>(i) / steps : 0;
    const auto x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
    const auto y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
    // The ends of joined segments meet: a dot counts once.
    if (x == pen.LastX && y == pen.LastY) continue;
    pen.LastX = x;
    pen.LastY = y;
    const bool gap = pen.Dash > 0 && (pen.Count / pen.Dash) % 2 != 0;
    pen.Count = (pen.Count + 1) % (2 * std::max(pen.Dash, 1));
    if (!gap) Set(x, y, pen.Bits);
  }
}

long double DotRow(long double y, const TRange& range, int dotsDown) {
  // Halves: the range's width may exceed the largest number.
  return (range.High / 2 - y / 2) / (range.High / 2 - range.Low / 2) *
         static_cast<long double>(dotsDown - 1);
}

long double DotColumn(long double x, long double from, long double to, int dotsAcross) {
  return (x / 2 - from / 2) / (to / 2 - from / 2) * static_cast<long double>(dotsAcross - 1);
}

TCanvas DrawCurves(const TPicture& picture, int dotsAcross, int dotsDown, int dashLength) {
  TCanvas canvas(dotsAcross, dotsDown);
  for (std::size_t k = 0; k < picture.Curves.size() && k < 2; ++k) {
    TPen pen;
    pen.Bits = static_cast<std::uint8_t>(1U << k);
    pen.Dash = k > 0 ? dashLength : 0;
    const std::vector<TPoint>& points = picture.Curves[k].Points;
    const auto dot = [&](const TPoint& p, long double& x, long double& y) {
      x = DotColumn(p.X, picture.From, picture.To, canvas.Across());
      y = DotRow(p.Y, picture.Range, canvas.Down());
    };
    for (std::size_t i = 0; i < points.size(); ++i) {
      const TPoint& p = points[i];
      if (!p.Valid) continue;
      const bool joinedAfter = i + 1 < points.size() && points[i + 1].Joined;
      if (!p.Joined && !joinedAfter) {
        // A point on its own.
        if (p.Y < picture.Range.Low || p.Y > picture.Range.High) continue;
        long double x = 0, y = 0;
        dot(p, x, y);
        canvas.Line(x, y, x, y, pen);
      }
      if (!joinedAfter) continue;
      const auto clipped = ClipToRange(p, points[i + 1], picture.Range);
      if (!clipped) continue;
      long double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      dot(clipped->first, x0, y0);
      dot(clipped->second, x1, y1);
      canvas.Line(x0, y0, x1, y1, pen);
    }
  }
  return canvas;
}

std::string ShortNumber(long double v, int digits) {
  // Without the sign of a negative zero.
  return GeneralNumberText(v + 0.0L, digits);
}

std::pair<std::string, std::string> DistinctNumbers(long double a, long double b, int digits) {
  constexpr int kMostDigits = 20;
  std::pair<std::string, std::string> texts;
  for (int d = digits; d <= kMostDigits; ++d) {
    texts = {ShortNumber(a, d), ShortNumber(b, d)};
    if (texts.first != texts.second) break;
  }
  return texts;
}

int TickDigits(long double first, long double step, long double last, int digits) {
  constexpr int kMostDigits = 20;
  const long double largest = std::max(std::fabs(first), std::fabs(last));
  if (!(step > 0) || !(largest > step) || !std::isfinite(largest / step)) return digits;
  const auto needed =
      static_cast<int>(std::floor(std::log10(largest)) - std::floor(std::log10(step))) + 1;
  return std::clamp(needed, digits, kMostDigits);
}

}  // namespace plot
