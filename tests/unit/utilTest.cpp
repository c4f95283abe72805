#include <gtest/gtest.h>

#include <cmath>

#include "util/util.hpp"

namespace {

std::string Ext(long double v) {
  return DataToText(&v, dtExtended);
}

TEST(DataToText, ExtendedForms) {
  struct Case {
    long double value;
    const char* text;
  } cases[] = {
      {80.0L, "80"},
      {2.5L, "2.5"},
      {-2.5L, "-2.5"},
      {0.05L, "0.05"},
      {-0.05L, "-0.05"},
      {0.001L, "0.001"},
      {0.0001L, "1E-4"},
      {1e16L, "10000000000000000"},
      {1e17L, "1E+17"},
      {1.5e20L, "1.5E+20"},
      {-1.5e-20L, "-1.5E-20"},
      {0.0L, "0"},
      {-0.0L, "0"},
      {1.0L / 3.0L, "0.33333333333333333"},
      {3.14159265358979323846L, "3.1415926535897932"},
      {123.0L, "123"},
      {1048576.4121184852417L, "1048576.4121184852"},
      {0.12345678901234567891L, "0.12345678901234568"},
      {9.99999999999999999999e-5L, "1E-4"},
      {1e4000L, "1E+4000"},
  };
  for (const auto& c : cases) EXPECT_EQ(Ext(c.value), c.text) << static_cast<double>(c.value);
}

TEST(DataToText, NonFiniteAndOtherTypes) {
  EXPECT_EQ(Ext(INFINITY), "+Inf");
  EXPECT_EQ(Ext(-INFINITY), "-Inf");
  EXPECT_EQ(Ext(NAN), "Nan");
  std::int32_t l = 123;
  EXPECT_EQ(DataToText(&l, dtLong), "123");
  std::int16_t s = -7;
  EXPECT_EQ(DataToText(&s, dtSmall), "-7");
  double d = 2.5;
  EXPECT_EQ(DataToText(&d, dtDouble), "2.5");
  float f = 0.1f;
  EXPECT_EQ(DataToText(&f, dtSingle), "0.1000000015");
}

TEST(NiceFloatText, Rewrites) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {" 8.0000000000000000E+0001 ", "80"},
      {"1.0000000000000000E+0020", "1E+20"},
      {"1.5000000000000000E+0020", "1.5E+20"},
      {"-5.0000000000000000E-0002", "-0.05"},
      {"-0", "0"},
      {"Nan", "Nan"},
      {"+Inf", "+Inf"},
  };
  for (const auto& c : cases) {
    std::string s = c.in;
    NiceFloatText(s);
    EXPECT_EQ(s, c.out) << c.in;
  }
}

TEST(TextToData, ReadsOrStoresZero) {
  struct Case {
    const char* text;
    long double value;
  } cases[] = {
      {"10.0", 10}, {"10,0", 0}, {" 2e3", 2000}, {"abc", 0},     {"1.5E-1", 0.15L}, {"-4", -4},
      {".5", 0.5L}, {"1e", 0},   {"", 0},        {"1e99999", 0}, {"2.5x", 0},       {"1.2.3", 0},
  };
  for (const auto& c : cases) {
    long double v = 99;
    TextToData(c.text, &v, dtExtended);
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(RoundHalfUp, TruncatesTheShiftedValue) {
  EXPECT_EQ(RoundHalfUp(0.49999), 0);
  EXPECT_EQ(RoundHalfUp(0.5), 1);
  EXPECT_EQ(RoundHalfUp(-0.5), 0);
  EXPECT_EQ(RoundHalfUp(-2.7), -2);
  EXPECT_EQ(RoundHalfUp(-2.5), -2);
  EXPECT_EQ(RoundHalfUp(2.5), 3);
  EXPECT_EQ(RoundHalfUp(1e30), INT64_MAX);
  EXPECT_EQ(BoolDigit(true), "1");
  EXPECT_EQ(BoolDigit(false), "0");
}

}  // namespace
