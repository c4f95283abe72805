#include <algorithm>
#include <cmath>
#include <limits>

#include "Algebra/QPolynomial.hpp"

namespace algebra {

void Trim(QPolynomial& p) {
  while (p.size() > 1 && p.back() == 0) p.pop_back();
  if (p.empty()) p.emplace_back(0);
}

std::size_t Degree(const QPolynomial& p) {
  return p.size() - 1;
}

bool IsZero(const QPolynomial& p) {
  return p.size() == 1 && p[0] == 0;
}

QPolynomial Sum(QPolynomial a, const QPolynomial& b) {
  if (a.size() < b.size()) a.resize(b.size(), Rational(0));
  for (std::size_t i = 0; i < b.size(); ++i) a[i] += b[i];
  Trim(a);
  return a;
}

QPolynomial Difference(QPolynomial a, const QPolynomial& b) {
  if (a.size() < b.size()) a.resize(b.size(), Rational(0));
  for (std::size_t i = 0; i < b.size(); ++i) a[i] -= b[i];
  Trim(a);
  return a;
}

QPolynomial Product(const QPolynomial& a, const QPolynomial& b) {
  QPolynomial r(a.size() + b.size() - 1, Rational(0));
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == 0) continue;
    for (std::size_t j = 0; j < b.size(); ++j) r[i + j] += a[i] * b[j];
  }
  Trim(r);
  return r;
}

QPolynomial Scaled(QPolynomial p, const Rational& f) {
  for (Rational& c : p) c *= f;
  Trim(p);
  return p;
}

QPolynomial Derivative(const QPolynomial& p) {
  if (p.size() <= 1) return {Rational(0)};
  QPolynomial d(p.size() - 1);
  for (std::size_t i = 1; i < p.size(); ++i) d[i - 1] = p[i] * static_cast<unsigned long>(i);
  Trim(d);
  return d;
}

QPolynomial Raised(const QPolynomial& p, std::size_t n) {
  QPolynomial r{Rational(1)};
  for (std::size_t i = 0; i < n; ++i) r = Product(r, p);
  return r;
}

QPolynomial Integral(const QPolynomial& p) {
  QPolynomial r(p.size() + 1, Rational(0));
  for (std::size_t k = 0; k < p.size(); ++k) r[k + 1] = p[k] / static_cast<unsigned long>(k + 1);
  Trim(r);
  return r;
}

QPolynomial Monic(const QPolynomial& p) {
  if (IsZero(p)) return p;
  return Scaled(p, Rational(1) / p.back());
}

void Divide(const QPolynomial& a, const QPolynomial& b, QPolynomial& quotient,
            QPolynomial& remainder) {
  remainder = a;
  const std::size_t m = Degree(b);
  if (Degree(a) < m || IsZero(a)) {
    quotient = {Rational(0)};
    return;
  }
  quotient.assign(Degree(a) - m + 1, Rational(0));
  for (std::size_t k = remainder.size(); k-- > m;) {
    if (remainder[k] == 0) continue;
    const Rational f = remainder[k] / b[m];
    quotient[k - m] = f;
    for (std::size_t j = 0; j <= m; ++j) remainder[k - m + j] -= f * b[j];
  }
  remainder.resize(std::max<std::size_t>(m, 1));
  Trim(remainder);
  Trim(quotient);
}

QPolynomial Gcd(QPolynomial a, QPolynomial b) {
  while (!IsZero(b)) {
    QPolynomial q, r;
    Divide(a, b, q, r);
    a = std::move(b);
    b = Monic(r);
  }
  return IsZero(a) ? a : Monic(a);
}

bool SolveBezout(const QPolynomial& a, const QPolynomial& b, const QPolynomial& c, QPolynomial& s,
                 QPolynomial& t) {
  // r0 = s0*a + t0*b, r1 = s1*a + t1*b, down to the gcd
  QPolynomial r0 = a, r1 = b, s0{Rational(1)}, s1{Rational(0)};
  while (!IsZero(r1)) {
    QPolynomial q, r;
    Divide(r0, r1, q, r);
    QPolynomial next = Difference(s0, Product(q, s1));
    r0 = std::move(r1);
    r1 = std::move(r);
    s0 = std::move(s1);
    s1 = std::move(next);
  }
  // r0 = s0*a + t*b is the gcd; c must be a multiple of it
  QPolynomial factor, rest;
  Divide(c, r0, factor, rest);
  if (!IsZero(rest)) return false;
  QPolynomial quotient;
  Divide(Product(s0, factor), b, quotient, s);
  if (Degree(b) == 0) s = {Rational(0)};
  QPolynomial tb = Difference(c, Product(s, a));
  Divide(tb, b, t, rest);
  return IsZero(rest);
}

// Yun's algorithm.
std::vector<QPolynomial> SquareFree(const QPolynomial& p) {
  std::vector<QPolynomial> factors;
  const QPolynomial f = Monic(p);
  if (Degree(f) == 0) return factors;
  const QPolynomial d = Derivative(f);
  QPolynomial a = Gcd(f, d);
  QPolynomial b, c, rest;
  Divide(f, a, b, rest);
  Divide(d, a, c, rest);
  c = Difference(c, Derivative(b));
  while (Degree(b) > 0) {
    QPolynomial g = Gcd(b, c);
    factors.push_back(g);
    QPolynomial nb, nc;
    Divide(b, g, nb, rest);
    Divide(c, g, nc, rest);
    b = std::move(nb);
    c = Difference(nc, Derivative(b));
  }
  return factors;
}

Rational ValueAt(const QPolynomial& p, const Rational& x) {
  Rational v(0);
  for (std::size_t k = p.size(); k-- > 0;) v = v * x + p[k];
  return v;
}

std::size_t Bits(const QPolynomial& p) {
  std::size_t bits = 0;
  for (const Rational& c : p)
    bits = std::max(
        {bits, mpz_sizeinbase(c.get_num_mpz_t(), 2), mpz_sizeinbase(c.get_den_mpz_t(), 2)});
  return bits;
}

std::vector<long double> Rounded(const QPolynomial& p) {
  std::vector<long double> r;
  r.reserve(p.size());
  for (const Rational& c : p) r.push_back(ToLongDouble(c));
  return r;
}

Rational ExactOf(long double v) {
  if (v == 0 || !std::isfinite(v)) return Rational(0);
  int exponent = 0;
  const long double mantissa = std::frexp(std::fabs(v), &exponent);
  // 64 bits of mantissa as a whole number
  const auto whole = static_cast<unsigned long>(std::ldexp(mantissa, 64));
  Rational q{mpz_class(whole)};
  exponent -= 64;
  if (exponent > 0) q *= Rational(mpz_class(1) << static_cast<mp_bitcnt_t>(exponent));
  if (exponent < 0) q /= Rational(mpz_class(1) << static_cast<mp_bitcnt_t>(-exponent));
  return v < 0 ? Rational(-q) : q;
}

namespace {

using Complex = std::complex<long double>;

void Evaluate(const std::vector<long double>& p, Complex z, Complex& value, Complex& slope) {
  value = 0;
  slope = 0;
  for (std::size_t k = p.size(); k-- > 0;) {
    slope = slope * z + value;
    value = value * z + p[k];
  }
}

constexpr int kMostSweeps = 600;
constexpr int kPolishSteps = 8;
// A value this small beside the sum of the terms' sizes is the rounding of a 0.
constexpr long double kRoundingOfValue = 1e-15L;

}  // namespace

std::optional<std::vector<Complex>> Roots(const std::vector<long double>& p) {
  const std::size_t n = p.size() - 1;
  if (n == 0 || p[n] == 0) return std::nullopt;
  std::vector<long double> monic(p.size());
  for (std::size_t k = 0; k <= n; ++k) monic[k] = p[k] / p[n];
  // Starting points on a circle of the roots' geometric mean radius, turned off the axes.
  long double radius = 0;
  for (std::size_t k = 0; k < n; ++k)
    radius =
        std::max(radius, std::pow(std::fabs(monic[k]), 1.0L / static_cast<long double>(n - k)));
  if (radius == 0) radius = 1;
  std::vector<Complex> z(n);
  const long double pi = std::acos(-1.0L);
  for (std::size_t k = 0; k < n; ++k)
    z[k] = std::polar(radius,
                      2 * pi * static_cast<long double>(k) / static_cast<long double>(n) + 0.4L);
  bool settled = false;
  for (int sweep = 0; sweep < kMostSweeps && !settled; ++sweep) {
    settled = true;
    for (std::size_t k = 0; k < n; ++k) {
      Complex value, slope;
      Evaluate(monic, z[k], value, slope);
      if (value == Complex(0)) continue;
      const Complex ratio = value / slope;
      Complex sum = 0;
      for (std::size_t j = 0; j < n; ++j)
        if (j != k) sum += 1.0L / (z[k] - z[j]);
      const Complex step = ratio / (1.0L - ratio * sum);
      if (!std::isfinite(step.real()) || !std::isfinite(step.imag())) continue;
      z[k] -= step;
      if (std::abs(step) > 1e-17L * std::max(1.0L, std::abs(z[k]))) settled = false;
    }
  }
  // A multiple root settles slowly, to the root of the rounding only: accepted where each
  // value is within the rounding of the polynomial's terms there.
  for (std::size_t k = 0; k < n && !settled; ++k) {
    Complex value, slope;
    Evaluate(monic, z[k], value, slope);
    long double terms = 0;
    for (std::size_t j = n + 1; j-- > 0;) terms = terms * std::abs(z[k]) + std::fabs(monic[j]);
    if (!(std::abs(value) <= kRoundingOfValue * terms)) return std::nullopt;
  }
  for (Complex& root : z) {
    for (int i = 0; i < kPolishSteps; ++i) {
      Complex value, slope;
      Evaluate(monic, root, value, slope);
      if (slope == Complex(0)) break;
      const Complex step = value / slope;
      if (!std::isfinite(step.real()) || !std::isfinite(step.imag())) break;
      root -= step;
    }
  }
  return z;
}

std::optional<Rational> NearFraction(long double v, long largest) {
  if (!std::isfinite(v) || std::fabs(v) > 1e15L) return std::nullopt;
  // convergents h/k of the continued fraction
  long double x = v;
  mpz_class h0 = 1, h1 = 0, k0 = 0, k1 = 1;
  for (int i = 0; i < 40; ++i) {
    const long double a = std::floor(x);
    const mpz_class whole(static_cast<double>(a));
    mpz_class h = whole * h0 + h1, k = whole * k0 + k1;
    if (k > largest) break;
    h1 = h0;
    h0 = h;
    k1 = k0;
    k0 = k;
    const Rational q(h0, k0);
    if (std::fabs(ToLongDouble(q) - v) <= 1e-9L * std::max(1.0L, std::fabs(v))) {
      Rational r = q;
      r.canonicalize();
      return r;
    }
    if (x == a) break;
    x = 1 / (x - a);
    if (!std::isfinite(x) || std::fabs(x) > 1e18L) break;
  }
  return std::nullopt;
}

}  // namespace algebra
