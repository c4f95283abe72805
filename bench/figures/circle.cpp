// The arc length of sin(x) over [0, 100] in pieces of 0.0001 by circular arcs through the
// ends and the middle of each piece, written as a careful C++ programmer would: three
// values per piece, the chord and the radius by square roots, the arc by one arcsine.
#include <cmath>
#include <cstdio>

namespace {

long double Arc(long double a, long double b) {
  const long double m = (a + b) * 0.5L;
  const long double ya = sinl(a), yb = sinl(b), ym = sinl(m);
  const long double chord = sqrtl((b - a) * (b - a) + (yb - ya) * (yb - ya));
  // Twice the signed area of the triangle; the circumradius is abc / (4 * area).
  const long double area2 = (m - a) * (yb - ya) - (ym - ya) * (b - a);
  if (area2 == 0) return chord;
  const long double u2 = (m - a) * (m - a) + (ym - ya) * (ym - ya);
  const long double v2 = (b - m) * (b - m) + (yb - ym) * (yb - ym);
  const long double r = chord * sqrtl(u2 * v2) / (2 * std::fabs(area2));
  return 2 * r * asinl(chord / (2 * r));
}

}  // namespace

int main() {
  const long double from = 0, to = 100, step = 0.0001L;
  const auto count = static_cast<long>(std::trunc((to - from) / step));
  long double sum = 0;
  for (long i = 1; i <= count; ++i)
    sum += Arc(from + static_cast<long double>(i - 1) * step,
               from + static_cast<long double>(i) * step);
  std::printf("%.17Lg\n", sum);
  return std::isfinite(sum) ? 0 : 1;
}
