// Exact polynomials: division, greatest common divisors, Bezout's identity, square-free
// factors, and the numeric roots and near fractions the partial fractions start from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <string>
#include <vector>

#include "Algebra/QPolynomial.hpp"

namespace {

using algebra::QPolynomial;
using algebra::Rational;

// "c0 c1 ... cn" with each coefficient a whole number or a fraction p/q.
QPolynomial P(const std::string& text) {
  QPolynomial p;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    Rational c(text.substr(at, end - at));
    c.canonicalize();
    p.push_back(c);
    at = end + 1;
  }
  algebra::Trim(p);
  return p;
}

std::string Text(const QPolynomial& p) {
  std::string text;
  for (const Rational& c : p) text += (text.empty() ? "" : " ") + c.get_str();
  return text;
}

TEST(Polynomials, DivisionAndGcd) {
  const struct {
    const char* a;
    const char* b;
    const char* quotient;
    const char* remainder;
    const char* gcd;
  } cases[] = {
      // (x^2-1) = (x+1)*(x-1)
      {"-1 0 1", "1 1", "-1 1", "0", "1 1"},
      // x^3+1 over x^2-x+1: x+1, no remainder
      {"1 0 0 1", "1 -1 1", "1 1", "0", "1 -1 1"},
      // x^3 over 2x+1: x^2/2 - x/4 + 1/8, remainder -1/8
      {"0 0 0 1", "1 2", "1/8 -1/4 1/2", "-1/8", "1"},
      // a lower degree than b
      {"3 1", "1 0 1", "0", "3 1", "1"},
  };
  for (const auto& c : cases) {
    QPolynomial q, r;
    algebra::Divide(P(c.a), P(c.b), q, r);
    EXPECT_EQ(Text(q), c.quotient) << c.a << " / " << c.b;
    EXPECT_EQ(Text(r), c.remainder) << c.a << " / " << c.b;
    EXPECT_EQ(Text(algebra::Gcd(P(c.a), P(c.b))), c.gcd) << c.a << ", " << c.b;
  }
}

TEST(Polynomials, BezoutAndSquareFree) {
  // s*(x^2+1) + t*(x-1) = 1 with deg s < 1
  QPolynomial s, t;
  ASSERT_TRUE(algebra::SolveBezout(P("1 0 1"), P("-1 1"), P("1"), s, t));
  EXPECT_EQ(Text(algebra::Sum(algebra::Product(s, P("1 0 1")), algebra::Product(t, P("-1 1")))),
            "1");
  EXPECT_EQ(algebra::Degree(s), 0U);
  // x^2-1 and x-1 share x-1: only multiples of it are reached
  EXPECT_FALSE(algebra::SolveBezout(P("-1 0 1"), P("-1 1"), P("1"), s, t));

  // (x-1)^3*(x+2)^2*x: factors x, (x+2), (x-1)
  const QPolynomial p = algebra::Product(
      algebra::Product(algebra::Raised(P("-1 1"), 3), algebra::Raised(P("2 1"), 2)), P("0 1"));
  const std::vector<QPolynomial> factors = algebra::SquareFree(algebra::Scaled(p, Rational(7)));
  ASSERT_EQ(factors.size(), 3U);
  EXPECT_EQ(Text(factors[0]), "0 1");
  EXPECT_EQ(Text(factors[1]), "2 1");
  EXPECT_EQ(Text(factors[2]), "-1 1");
  EXPECT_TRUE(algebra::SquareFree(P("5")).empty());
}

TEST(Polynomials, IntegralAndExactValues) {
  EXPECT_EQ(Text(algebra::Integral(P("1 2 3"))), "0 1 1 1");
  EXPECT_EQ(algebra::ValueAt(P("1 0 1"), Rational(1, 2)), Rational(5, 4));
  for (const long double v : {0.1L, -3.75L, 1e-30L, 12345678901234567.0L})
    EXPECT_EQ(algebra::ToLongDouble(algebra::ExactOf(v)), v);
  EXPECT_EQ(algebra::NearFraction(2.0L / 3, 1000), Rational(2, 3));
  EXPECT_EQ(algebra::NearFraction(-0.125L, 1000), Rational(-1, 8));
  EXPECT_FALSE(algebra::NearFraction(std::sqrt(2.0L), 1000).has_value());
}

// The roots of products of known factors, found again to extended precision.
TEST(Polynomials, RootsOfKnownProducts) {
  std::mt19937 random(5);
  for (int n = 0; n < 40; ++n) {
    std::vector<std::complex<long double>> expected;
    QPolynomial p{Rational(1)};
    const int degree = 1 + static_cast<int>(random() % 10);
    for (int k = 0; k < degree; ++k) {
      const long num = static_cast<long>(random() % 41) - 20;
      if (random() % 3 == 0 && k + 1 < degree) {
        // (x - re)^2 + im^2 with im = 1..5
        const long im = 1 + static_cast<long>(random() % 5);
        p = algebra::Product(
            p, QPolynomial{Rational(num * num + im * im), Rational(-2 * num), Rational(1)});
        expected.emplace_back(num, im);
        expected.emplace_back(num, -im);
        ++k;
      } else {
        p = algebra::Product(p, QPolynomial{Rational(-num, 3), Rational(1)});
        expected.emplace_back(static_cast<long double>(num) / 3, 0);
      }
    }
    const auto roots = algebra::Roots(algebra::Rounded(p));
    ASSERT_TRUE(roots.has_value()) << Text(p);
    ASSERT_EQ(roots->size(), expected.size());
    for (const std::complex<long double>& e : expected) {
      long double nearest = INFINITY;
      for (const std::complex<long double>& r : *roots)
        nearest = std::min(nearest, std::abs(r - e));
      // repeated roots are found to the root of the rounding only
      EXPECT_LT(nearest, 1e-5L * (1 + std::abs(e))) << Text(p);
    }
  }
}

}  // namespace
