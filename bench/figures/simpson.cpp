// Simpson's rule over [0, 100] in pieces of 0.0001 for sin(x)*exp(-x/10), written as a
// careful C++ programmer would: the bounds from the start, three values per piece and
// no reuse between pieces (as the calculator's rule).
#include <cmath>
#include <cstdio>

namespace {

long double F(long double x) {
  return sinl(x) * expl(-x / 10);
}

}  // namespace

int main() {
  const long double from = 0, to = 100, step = 0.0001L;
  const auto count = static_cast<long>(std::trunc((to - from) / step));
  long double sum = 0;
  for (long i = 1; i <= count; ++i) {
    const long double a = from + static_cast<long double>(i - 1) * step;
    const long double b = from + static_cast<long double>(i) * step;
    const long double m = (a + b) * 0.5L;
    sum += (b - a) / 6 * (F(a) + 4 * F(m) + F(b));
  }
  std::printf("%.17Lg\n", sum);
  return std::isfinite(sum) ? 0 : 1;
}
