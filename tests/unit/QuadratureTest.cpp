#include <gtest/gtest.h>

#if __has_include(<boost/math/quadrature/gauss_kronrod.hpp>)
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#define TCALC_HAS_BOOST_MATH 1
#endif
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "MathXFnc/MathXFnc.hpp"
#include "MathXFnc/Quadrature.hpp"
#include "SymbolicHelpers.hpp"

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

bool Near(long double value, long double exact, long double relative) {
  return std::fabs(value - exact) <= relative * std::fmax(std::fabs(exact), 1e-300L);
}

// The copied tables are Boost's to the last bit.
#ifndef TCALC_HAS_BOOST_MATH
TEST(Quadrature, KronrodTablesAreBoosts) {
  FAIL() << "Boost.Math not found; on Debian: apt-get install libboost-math-dev";
}
#else
TEST(Quadrature, KronrodTablesAreBoosts) {
  using TKronrod = boost::math::quadrature::gauss_kronrod<long double, 21>;
  using TGauss = boost::math::quadrature::gauss<long double, 10>;
  const TKronrodRule& rule = KronrodRule();
  for (std::size_t i = 0; i < rule.Nodes.size(); ++i) {
    EXPECT_EQ(rule.Nodes[i], TKronrod::abscissa()[i]) << i;
    EXPECT_EQ(rule.Weights[i], TKronrod::weights()[i]) << i;
  }
  for (std::size_t i = 0; i < rule.GaussWeights.size(); ++i) {
    EXPECT_EQ(rule.GaussWeights[i], TGauss::weights()[i]) << i;
    EXPECT_EQ(TGauss::abscissa()[i], rule.Nodes[2 * i + 1]) << i;
  }
}
#endif

// An integrand from a formula that may have no value: NaN and infinities are no value.
TIntegrand Of(long double (*formula)(long double)) {
  return [formula](long double x, long double& y) {
    y = formula(x);
    return std::isfinite(y);
  };
}

struct QuadratureCase {
  const char* Name;
  long double (*Formula)(long double);
  std::vector<long double> Points;
  long double Exact;      // NaN: see Outcome
  long double Tolerance;  // relative
  TQuadratureOutcome Outcome = TQuadratureOutcome::Value;
};

// Smooth, oscillatory, steep and long integrals, and ends where the integrand runs off.
std::vector<QuadratureCase> EndCases() {
  return {
      // Smooth, oscillatory, steep and long.
      {"x^2", [](long double x) { return x * x; }, {0, 1}, 1.0L / 3, 1e-18L},
      {"exp(-x^2)",
       [](long double x) { return std::exp(-x * x); },
       {-3, 3},
       std::sqrt(kPi) * std::erf(3.0L),
       1e-17L},
      {"sin(x)*exp(-x/10)",
       [](long double x) { return std::sin(x) * std::exp(-x / 10); },
       {0, 100},
       (10.0L / 101) * (10 - std::exp(-10.0L) * (std::sin(100.0L) + 10 * std::cos(100.0L))),
       1e-17L},
      {"sin(50x)",
       [](long double x) { return std::sin(50 * x); },
       {0, 3},
       (1 - std::cos(150.0L)) / 50,
       1e-16L},
      {"exp(20x)",
       [](long double x) { return std::exp(20 * x); },
       {0, 1},
       std::expm1(20.0L) / 20,
       1e-17L},
      {"1/(1e-4+x^2)",
       [](long double x) { return 1 / (1e-4L + x * x); },
       {-1, 1},
       200 * std::atan(100.0L),
       1e-17L},
      {"1/(1+x^2) over [0,1000]",
       [](long double x) { return 1 / (1 + x * x); },
       {0, 1000},
       std::atan(1000.0L),
       1e-17L},
      // Singular at 0: the ends are approached down to the smallest numbers.
      {"1/sqrt(x)", [](long double x) { return 1 / std::sqrt(x); }, {0, 1}, 2, 1e-17L},
      {"ln(x)", [](long double x) { return std::log(x); }, {0, 1}, -1, 1e-17L},
      {"x^-0.9", [](long double x) { return std::pow(x, -0.9L); }, {0, 1}, 10, 1e-16L},
      {"ln(x)/sqrt(x)",
       [](long double x) { return std::log(x) / std::sqrt(x); },
       {0, 1},
       -4,
       1e-16L},
      // Singular away from 0, where the distance to the end is no longer representable.
      {"1/sqrt(1-x^2) to 1",
       [](long double x) { return 1 / std::sqrt(1 - x * x); },
       {0, 1},
       kPi / 2,
       1e-16L},
      {"1/sqrt(1-x^2) on [-1,1]",
       [](long double x) { return 1 / std::sqrt(1 - x * x); },
       {-1, 1},
       kPi,
       1e-16L},
      {"ln(2-x) to 2",
       [](long double x) { return std::log(2 - x); },
       {0, 2},
       2 * std::log(2.0L) - 2,
       1e-16L},
      // Finite at the end: the growth bends off 1e-18 beyond it (tan just below pi/2).
      {"1/sqrt(1-x+1e-18)",
       [](long double x) { return 1 / std::sqrt((1 - x) + 1e-18L); },
       {0, 1},
       2 * (std::sqrt(1 + 1e-18L) - 1e-9L),
       1e-16L},
      {"1/sqrt(x*(1-x))",
       [](long double x) { return 1 / std::sqrt(x * (1 - x)); },
       {0, 1},
       kPi,
       1e-16L},
  };
}

// Points without a value inside, jumps and kinks, and integrals without a value: divergent
// and undefined ones.
std::vector<QuadratureCase> TroubleCases() {
  return {
      // A point without a value inside: approached from both sides.
      {"sin(x)/x",
       [](long double x) { return std::sin(x) / x; },
       {-1, 1},
       1.8921661407343660298827066276L,
       1e-17L},
      {"ln(x^2)", [](long double x) { return std::log(x * x); }, {-1, 1}, -4, 1e-16L},
      // Jumps and kinks at the given points.
      {"floor(x)",
       [](long double x) { return std::floor(x); },
       {0, 1, 2, 3, 4, 5, 5.5L},
       12.5L,
       1e-18L},
      {"abs(x-1/3)",
       [](long double x) { return std::fabs(x - 1.0L / 3); },
       {0, 1.0L / 3, 1},
       5.0L / 18,
       1e-17L},
      {"1/x from 0",
       [](long double x) { return 1 / x; },
       {0, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"1/x over [-1,1]",
       [](long double x) { return 1 / x; },
       {-1, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"1/x^2",
       [](long double x) { return 1 / (x * x); },
       {0, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"1/(1-x) to 1",
       [](long double x) { return 1 / (1 - x); },
       {0, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"1/(x-1/3) inside",
       [](long double x) { return 1 / (x - 1.0L / 3); },
       {0, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"ln(x)/x",
       [](long double x) { return std::log(x) / x; },
       {0, 1},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"tan(x) over its pole",
       [](long double x) { return std::tan(x); },
       {0, 2},
       kNaN,
       0,
       TQuadratureOutcome::Diverges},
      {"sqrt(x) on [-1,1]",
       [](long double x) { return std::sqrt(x); },
       {-1, 1},
       kNaN,
       0,
       TQuadratureOutcome::Undefined},
      {"ln(x) on [-1,2]",
       [](long double x) { return std::log(x); },
       {-1, 2},
       kNaN,
       0,
       TQuadratureOutcome::Undefined},
  };
}

TEST(Quadrature, MeetsTheTargetOrSaysWhyNot) {
  std::vector<QuadratureCase> cases = EndCases();
  for (QuadratureCase& c : TroubleCases()) cases.push_back(c);
  for (const QuadratureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TQuadratureResult r = IntegrateAdaptively(Of(c.Formula), c.Points);
    ASSERT_EQ(static_cast<int>(r.Outcome), static_cast<int>(c.Outcome));
    if (c.Outcome != TQuadratureOutcome::Value) continue;
    EXPECT_TRUE(Near(r.Value, c.Exact, c.Tolerance)) << static_cast<double>(r.Value);
    // The estimate is honest: never far below the true error, beyond the rounding of the
    // exact value itself.
    EXPECT_LE(std::fabs(r.Value - c.Exact), 2 * r.Error + 4e-18L * std::fabs(c.Exact));
    EXPECT_LT(r.Evaluations, 100000);
  }
}

// Terms whose mass lies where no node of the first pieces is: near an end of a long interval,
// at a break point, at 0 in the middle. The value is found, never a 0 with a tiny estimate.
TEST(Quadrature, MassBetweenTheNodesIsFound) {
  struct Hidden {
    const char* name;
    long double (*f)(long double);
    std::vector<long double> points;
    long double exact;
  };
  const Hidden cases[] = {
      {"exp(-x) on [0; 1e9]", [](long double x) { return std::exp(-x); }, {0, 1e9L}, 1},
      {"exp(x) on [-1e9; 0]", [](long double x) { return std::exp(x); }, {-1e9L, 0}, 1},
      {"exp(-x^2) on [-1e9; 1e9]",
       [](long double x) { return std::exp(-x * x); },
       {-1e9L, 1e9L},
       std::sqrt(std::acos(-1.0L))},
      {"exp(-x^2) on [-1e9; 2e9]",
       [](long double x) { return std::exp(-x * x); },
       {-1e9L, 2e9L},
       std::sqrt(std::acos(-1.0L))},
      {"exp(-|x-5|) on [-1e9; 5; 1e9]",
       [](long double x) { return std::exp(-std::fabs(x - 5)); },
       {-1e9L, 5, 1e9L},
       2},
      {"exp(-1e6*x) on [0; 1]", [](long double x) { return std::exp(-1e6L * x); }, {0, 1}, 1e-6L},
  };
  for (const Hidden& c : cases) {
    const TQuadratureResult r = IntegrateAdaptively(
        [&](long double x, long double& y) {
          y = c.f(x);
          return true;
        },
        c.points);
    ASSERT_EQ(static_cast<int>(r.Outcome), static_cast<int>(TQuadratureOutcome::Value)) << c.name;
    EXPECT_NEAR(static_cast<double>(r.Value / c.exact), 1.0, 1e-15) << c.name;
    EXPECT_LE(std::fabs(r.Value - c.exact), 2 * r.Error + 4e-18L * c.exact) << c.name;
  }
}

// (end - x)^a near the end of an interval of length 1 and (x - start)^a near its start, at
// places near 0 and away from it: the integral is 1 / (1 + a). Where the place dwarfs the
// length, the rounding of the nodes may leave no reliable value: then a refusal, never an
// inexact number.
TEST(Quadrature, SingularEndsOfEveryKindAndPlace) {
  struct End {
    long double Power, Place;
    bool AtEnd;
  };
  std::vector<End> ends;
  for (const long double a : {-0.1L, -0.25L, -0.5L, -0.75L, -0.9L})
    for (const long double place : {0.0L, 1.0L, -3.0L, 2.0L, 100.0L, 1e6L})
      for (const bool atEnd : {true, false}) ends.push_back({a, place, atEnd});
  long double worst = 0;
  for (const End& e : ends) {
    SCOPED_TRACE(std::to_string(static_cast<double>(e.Power)) + " at " +
                 std::to_string(static_cast<double>(e.Place)) + (e.AtEnd ? " (end)" : " (start)"));
    const long double from = e.AtEnd ? e.Place - 1 : e.Place, to = e.AtEnd ? e.Place : e.Place + 1;
    const TIntegrand f = [&](long double x, long double& y) {
      y = std::pow(e.AtEnd ? to - x : x - from, e.Power);
      return std::isfinite(y);
    };
    const TQuadratureResult r = IntegrateAdaptively(f, {from, to});
    if (e.Place == 1e6L && r.Outcome == TQuadratureOutcome::Failed) continue;
    ASSERT_EQ(static_cast<int>(r.Outcome), static_cast<int>(TQuadratureOutcome::Value));
    const long double exact = 1 / (1 + e.Power);
    const long double error = std::fabs(r.Value - exact) / exact;
    worst = std::fmax(worst, error);
    EXPECT_LT(error, 1e-13L) << static_cast<double>(r.Value);
  }
  // Measured: 4e-15 at worst (-0.25 at 1e6, -0.9 at 100), else below 1e-16.
  EXPECT_LT(worst, 1e-14L);
}

// Every piece no wider than the largest gets its own rule.
TEST(Quadrature, LargestPieceCutsTheInterval) {
  for (const long double largest : {0.0L, 0.5L, 1e-3L}) {
    const TQuadratureResult r =
        IntegrateAdaptively(Of([](long double x) { return std::cos(x); }), {0, 10}, largest);
    EXPECT_TRUE(Near(r.Value, std::sin(10.0L), 1e-17L));
    if (largest > 0) {
      EXPECT_GE(r.Evaluations, 21 * std::llround(10 / largest));
    }
  }
}

struct SequenceCase {
  const char* Name;
  long double (*Member)(int k);  // the k-th partial sum
  long double Limit;
  long double Tolerance;
};

// Sums of geometric terms and of k times geometric terms (as logarithmic singularities give)
// reach their limits long before the sums themselves do.
TEST(EpsilonExtrapolation, FindsTheLimitsOfSlowSequences) {
  const SequenceCase cases[] = {
      {"geometric 0.9", [](int k) { return 1 - std::pow(0.9L, k); }, 1, 1e-16L},
      {"two ratios", [](int k) { return 2 - std::pow(0.7L, k) - std::pow(0.35L, k); }, 2, 1e-16L},
      {"k times 0.5^k", [](int k) { return 3 + k * std::pow(0.5L, k); }, 3, 1e-15L},
      {"alternating", [](int k) { return 1 - std::pow(-0.95L, k); }, 1, 1e-16L},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TEpsilonExtrapolation e;
    for (int k = 0; k < 20; ++k) e.Push(c.Member(k));
    EXPECT_TRUE(Near(e.Estimate(), c.Limit, c.Tolerance)) << static_cast<double>(e.Estimate());
    EXPECT_LE(std::fabs(e.Estimate() - c.Limit), e.Error());
  }
}

// ---------------------------------------------------------------- points from the tree

struct BreakCase {
  const char* Term;
  long double From, To;
  std::vector<long double> Points;
};

TEST(BreakPoints, AreWhereTheTermJumpsKinksOrRunsOff) {
  const long double r2 = std::sqrt(2.0L);
  const BreakCase cases[] = {
      {"floor(x)", 0, 5.5L, {1, 2, 3, 4, 5}},
      {"floor(x)", 1, 3, {2}},  // not the ends
      {"abs(x-1/3)+1", 0, 1, {1.0L / 3}},
      {"round(2*x)", 0, 2, {0.25L, 0.75L, 1.25L, 1.75L}},
      {"frac(x^2)", 0, 2, {1, r2, std::sqrt(3.0L)}},
      {"sgn(x^2-2)*heav(x)", -2, 2, {-r2, 0, r2}},
      {"tan(x)", 0, 4, {kPi / 2}},
      {"sqrt(1-x^2)", -2, 2, {-1, 1}},
      {"1/(x^2-2)", -2, 2, {-r2, r2}},
      {"ln(x-0.5)*arcsin(x/2)", 0, 3, {0.5L, 2}},
      {"sin(x)+x^3", -5, 5, {}},
      {"floor(a)*x", 0, 5, {}},  // no dependence on x
  };
  for (const BreakCase& c : cases) {
    SCOPED_TRACE(c.Term);
    symtest::Source source(c.Term);
    TKoMathTreeFunction& f = source.F;
    long double* running = &f.GetVarDepot().VariableAt(f.IndexOfVar("x"))->Value;
    const std::vector<long double> points = BreakPoints(f.GetTree(), "x", running, c.From, c.To);
    ASSERT_EQ(points.size(), c.Points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
      EXPECT_TRUE(Near(points[i], c.Points[i], 1e-18L)) << static_cast<double>(points[i]);
  }
  // A term that jumps more often than the points can hold says so.
  for (const bool often : {false, true}) {
    symtest::Source source(often ? "floor(1e6*x)" : "floor(1e3*x)");
    TKoMathTreeFunction& f = source.F;
    long double* running = &f.GetVarDepot().VariableAt(f.IndexOfVar("x"))->Value;
    bool complete = false;
    BreakPoints(f.GetTree(), "x", running, 0, 1, &complete);
    EXPECT_EQ(complete, !often);
  }
}

// Beside each point what makes it one: the argument and the value it meets there.
TEST(BreakCauses, NameTheArgumentAndItsTarget) {
  struct CauseCase {
    const char* Term;
    long double From, To;
    std::vector<std::pair<long double, bool>> Targets;  // target, times pi
  };
  const CauseCase cases[] = {
      {"floor(3*x)", 0, 1, {{1, false}, {2, false}}},
      {"abs(x-1/3)", 0, 1, {{0, false}}},
      {"round(x)", 0, 2, {{0.5L, false}, {1.5L, false}}},
      {"tan(x)", 0, 5, {{0.5L, true}, {1.5L, true}}},
      {"cot(x)", 1, 7, {{1, true}, {2, true}}},
      {"arcsin(x/2)", -3, 3, {{-1, false}, {1, false}}},
  };
  for (const CauseCase& c : cases) {
    SCOPED_TRACE(c.Term);
    symtest::Source source(c.Term);
    TKoMathTreeFunction& f = source.F;
    long double* running = &f.GetVarDepot().VariableAt(f.IndexOfVar("x"))->Value;
    const std::vector<TKoBreakCause> causes = BreakCauses(f.GetTree(), "x", running, c.From, c.To);
    const std::vector<long double> points = BreakPoints(f.GetTree(), "x", running, c.From, c.To);
    ASSERT_EQ(causes.size(), c.Targets.size());
    ASSERT_EQ(points.size(), causes.size());
    for (std::size_t i = 0; i < causes.size(); ++i) {
      EXPECT_EQ(causes[i].Point, points[i]);
      EXPECT_EQ(causes[i].Target, c.Targets[i].first);
      EXPECT_EQ(causes[i].OfPi, c.Targets[i].second);
      // The argument is the subtree below the function that makes the point.
      EXPECT_EQ(causes[i].Argument, f.GetTree()->Child(0));
    }
  }
}

// ---------------------------------------------------------------- the accurate function

struct AccurateCase {
  const char* Term;
  long double From, To;
  bool ArcLength;
  long double Exact;  // NaN: the error text below
  const char* Error;
};

TEST(AccurateIntegral, OfTermsWithJumpsPolesAndRoots) {
  const AccurateCase cases[] = {
      {"sqrt(x)", 0, 1, false, 2.0L / 3, ""},
      {"1/sqrt(1-x^2)", 0, 1, false, kPi / 2, ""},
      {"floor(x)*x", 0, 3.5L, false, 1.5L + 2 * 2.5L + 3 * 1.625L, ""},
      {"sgn(x-0.3)*exp(x)", -1, 1, false,
       -(std::exp(0.3L) - std::exp(-1.0L)) + (std::exp(1.0L) - std::exp(0.3L)), ""},
      {"1/x", -1, 1, false, kNaN, kTextIntegralDiverges},
      {"sqrt(x)", -1, 1, false, kNaN, kTextNotDefinedInInterval},
      {"exp(x^2)", 0, 200, false, kNaN, "Floating point overflow"},
      {"x^2", 0, 1, true, std::sqrt(5.0L) / 2 + std::asinh(2.0L) / 4, ""},
      {"sqrt(1-x^2)", -1, 1, true, kPi, ""},
      {"floor(x)", 0, 3.5L, true, 3.5L, ""},  // the pieces, no vertical segments
      // A pole whose point the root finder reaches only by halving (x^9 is flat at 0).
      {"1/x^9", -1, 4, false, kNaN, kTextIntegralDiverges},
      // Slopes from differences (no symbolic derivative of frac), running off at 0.
      {"frac(x/sqrt(x))", 0, 2, true, 2.562007137069411291401547L, ""},
      // Slopes from differences (no symbolic derivative of frac), curved beside the jump.
      {"ln((3*frac(x))^2+0.1)", 0.5L, 1.5L, true, 4.6497182441593221546L, ""},
      {"3*x-2", 0, 4, true, 4 * std::sqrt(10.0L), ""},
      {"1/x", 0, 1, true, kNaN, kTextLengthInfinite},
  };
  for (const AccurateCase& c : cases) {
    SCOPED_TRACE(c.Term);
    symtest::Source source(c.Term);
    TKoMathTreeFunction g;
    const bool withDerivative = c.ArcLength && DerivativeText(source.F, "x", 1) != kTextDiffFailed;
    if (withDerivative) FormDerivative(g, source.F, "x", 1);
    TKoMathAccurateFunction n(&source.F);
    n.OtherNotOwned = true;
    n.IntervalFrom = c.From;
    n.IntervalTo = c.To;
    n.ArcLength = c.ArcLength;
    n.Derivative = withDerivative ? &g : nullptr;
    n.SetRunningVar("x");
    n.Calculate();
    EXPECT_EQ(n.GetErrorText(), c.Error);
    if (std::isnan(c.Exact)) continue;
    // Slopes from differences that run off at an end: the target of singular ends.
    const long double tolerance = c.ArcLength && !withDerivative ? 1e-13L : 1e-15L;
    EXPECT_TRUE(Near(n.Value, c.Exact, tolerance)) << static_cast<double>(n.Value);
    EXPECT_GT(n.ErrorEstimate, 0);
  }
}

}  // namespace
