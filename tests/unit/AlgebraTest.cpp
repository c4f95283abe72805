// Exact numbers: decimals read back from extended values, exact values of constant terms,
// and the rounding of rationals to extended values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "Algebra/Algebra.hpp"
#include "SymbolicHelpers.hpp"

namespace {

using algebra::Rational;

std::string Text(const std::optional<Rational>& q) {
  return q ? q->get_str() : "none";
}

TEST(Algebra, DecimalOfReadsBackWhatWasTyped) {
  struct Case {
    long double value;
    const char* exact;
  };
  const Case cases[] = {
      {0.1L, "1/10"},
      {3, "3"},
      {-2.5L, "-5/2"},
      {0.09L, "9/100"},
      {1e30L, "1000000000000000000000000000000"},
      {1.0L / 3, "16666666666666666667/50000000000000000000"},
      {0, "0"},
      {1e-5L, "1/100000"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(algebra::DecimalOf(c.value)), c.exact) << c.exact;
  EXPECT_FALSE(algebra::DecimalOf(std::numeric_limits<long double>::infinity()));
  EXPECT_FALSE(algebra::DecimalOf(std::nanl("")));
}

TEST(Algebra, ExactValueOfConstantTerms) {
  struct Case {
    const char* term;
    const char* exact;
  };
  const Case cases[] = {
      {"2*1/3", "2/3"},
      {"(-1.7)^2", "289/100"},
      {"0.1+0.2-0.3", "0"},
      {"2^(-2)", "1/4"},
      {"2^3^2", "64"},
      {"0^0", "1"},
      {"(-2)^3", "-8"},
      {"sqr(0.3)", "9/100"},
      {"1/3/2", "1/6"},
      {"10^40", "10000000000000000000000000000000000000000"},
      // No exact value: a function, a name, a broken exponent, a division by 0, 0^-1, and a
      // number too large to be worth it.
      {"sqrt(4)", "none"},
      {"a+1", "none"},
      {"2^0.5", "none"},
      {"1/(1-1)", "none"},
      {"0^(-1)", "none"},
      {"10^4000^5", "none"},
  };
  for (const Case& c : cases) {
    symtest::Source source(c.term);
    ASSERT_NE(source.F.GetTree(), nullptr) << c.term;
    EXPECT_EQ(Text(algebra::ExactValue(source.F.GetTree())), c.exact) << c.term;
  }
}

TEST(Algebra, ToLongDoubleRoundsToNearest) {
  EXPECT_EQ(algebra::ToLongDouble(Rational(1, 3)), 1.0L / 3);
  EXPECT_EQ(algebra::ToLongDouble(Rational(-2, 3)), -2.0L / 3);
  EXPECT_EQ(algebra::ToLongDouble(Rational(1, 10)), 0.1L);
  EXPECT_EQ(algebra::ToLongDouble(Rational(0)), 0.0L);
  EXPECT_EQ(algebra::ToLongDouble(Rational(7)), 7.0L);
  // 2^64 - 1 needs 64 bits and rounds up to 2^64: the carry into a new bit.
  const mpz_class below = (mpz_class(1) << 65) - 1;
  EXPECT_EQ(algebra::ToLongDouble(Rational(below)), 0x1p65L);
  // Halfway between two extended values: to the even one.
  const mpz_class tie = (mpz_class(1) << 64) + 1;
  EXPECT_EQ(algebra::ToLongDouble(Rational(tie)), 0x1p64L);
  const mpz_class tieUp = (mpz_class(1) << 64) + 3;
  EXPECT_EQ(algebra::ToLongDouble(Rational(tieUp)), 0x1p64L + 4);
  // Every decimal read back is the value it came from.
  for (const long double v : {0.1L, 2.0L / 3, 1e-300L, 123456.789L, -1e300L})
    EXPECT_EQ(algebra::ToLongDouble(*algebra::DecimalOf(v)), v);
}

}  // namespace
