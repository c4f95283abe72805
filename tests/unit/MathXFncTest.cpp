#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr long double kInfinity = std::numeric_limits<long double>::infinity();

// ---------------------------------------------------------------- terms built by hand

// A term under construction: operators build operator nodes over the operands.
struct Term {
  Term(long double v) : Node(TKoOperatorNode::CreateConstant(v)) {}  // NOLINT: a number is a term
  explicit Term(TKoNodePtr node) : Node(std::move(node)) {}
  TKoNodePtr Node;
};

template <class... Operands>
Term Apply(TOperation code, Operands... operands) {
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
  (node->AddChild(std::move(operands.Node)), ...);
  return Term(std::move(node));
}

Term operator+(Term a, Term b) {
  return Apply(opSum, std::move(a), std::move(b));
}
Term operator-(Term a, Term b) {
  return Apply(opSum, std::move(a), Apply(opNegation, std::move(b)));
}
Term operator-(Term a) {
  return Apply(opNegation, std::move(a));
}
Term operator*(Term a, Term b) {
  return Apply(opProduct, std::move(a), std::move(b));
}
Term operator/(Term a, Term b) {
  return Apply(opQuotient, std::move(a), std::move(b));
}
Term Pow(Term a, Term b) {
  return Apply(opPower, std::move(a), std::move(b));
}

// Hands out variable nodes bound to one function's depot.
struct Vars {
  TKoVarDepot* Depot;
  Term operator()(const std::string& name) const {
    return Term(TKoOperatorNode::CreateVariable(dtExtended, name, Depot));
  }
};

using TermOf = std::function<Term(Vars)>;

// A tree function over x (and whatever else the term names), with x at its start value.
std::unique_ptr<TKoMathTreeFunction> Function(const TermOf& term, long double x = 0) {
  auto f = std::make_unique<TKoMathTreeFunction>();
  f->AddVariable("x");
  f->SetVarValue("x", x);
  f->SetTree(term(Vars{f->VarDepot.get()}).Node);
  return f;
}

// Builds the tree only when the function is first calculated, as the parser does; the
// term may add variables then. An empty term fails like a syntax error.
class TDelayedCreator : public TKoFunctionCreator {
 public:
  TDelayedCreator(TKoMathTreeFunction* target, TermOf term)
      : TKoFunctionCreator(target), Target(target), Term(std::move(term)) {}
  void Execute() override {
    if (!Term) {
      ErrorText = "Syntaxfehler";
      return;
    }
    Target->SetTree(Term(Vars{Target->VarDepot.get()}).Node);
    ErrorText.clear();
  }
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction*) const override { return nullptr; }

 private:
  TKoMathTreeFunction* Target;
  TermOf Term;
};

// The driver's function before parsing: the command-line variables and x are declared.
std::unique_ptr<TKoMathTreeFunction> Unparsed(TermOf term, long double x) {
  auto f = std::make_unique<TKoMathTreeFunction>();
  for (const char* name : {"Pi", "e", "x"}) f->AddVariable(name);
  f->SetVarValue("Pi", kPi);
  f->SetVarValue("e", std::numbers::e_v<long double>);
  f->SetVarValue("x", x);
  f->SetCreator(std::make_unique<TDelayedCreator>(f.get(), std::move(term)));
  return f;
}

::testing::AssertionResult Near(long double actual, long double expected, long double relative) {
  const long double error = std::fabs(actual - expected);
  if (error <= relative * std::fabs(expected)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "value " << static_cast<double>(actual)
                                       << " differs from " << static_cast<double>(expected)
                                       << " by " << static_cast<double>(error / std::fabs(expected))
                                       << " relative, allowed " << static_cast<double>(relative);
}

struct Outcome {
  long double Value;
  std::string Error;
};

// Runs a numeric method the way the driver does: the wrapped function stays the caller's.
template <class Method, class Setup>
Outcome RunMethod(TKoMathFunction& f, Setup setup) {
  Method method(&f);
  method.OtherNotOwned = true;
  setup(method);
  method.SetRunningVar("x");
  method.Calculate();
  return {method.Value, method.GetErrorText()};
}

const auto kNoSetup = [](auto&) {};

auto Over(long double from, long double to, long double step) {
  return [=](TKoMathIntervalNumFunction& m) {
    m.IntervalFrom = from;
    m.IntervalTo = to;
    m.SetIntervalStep(step);
  };
}

auto Level(std::int32_t n) {
  return [n](TKoMathDiffNumFunction& d) { d.SetDiffLevel(n); };
}

// ---------------------------------------------------------------- Newton

struct NewtonCase {
  const char* Name;
  TermOf F;
  long double Start;
  long double Root;  // expected root, when Error is empty
  const char* Error;
};

const std::vector<NewtonCase>& NewtonCases() {
  static const std::vector<NewtonCase> cases = {
      {"x^2-4 from 3", [](Vars v) { return v("x") * v("x") - 4; }, 3, 2, ""},
      {"x^2-1000000 from 900", [](Vars v) { return Pow(v("x"), 2) - 1000000; }, 900, 1000, ""},
      {"x-5 from 1e10", [](Vars v) { return v("x") - 5; }, 1e10L, 5, ""},
      {"x^3-2 from 1", [](Vars v) { return Pow(v("x"), 3) - 2; }, 1, std::cbrt(2.0L), ""},
      {"cos(x) from 1", [](Vars v) { return Apply(opCos, v("x")); }, 1, kPi / 2, ""},
      {"x^2-1e-6 from 0.002", [](Vars v) { return v("x") * v("x") - 1e-6L; }, 0.002L, 1e-3L, ""},
      // Tiny and huge roots, where a step relative to max(1, |x|) reaches across the root
      // or a large constant swallows its change.
      {"x^2-1e-300 from 1e-100", [](Vars v) { return v("x") * v("x") - 1e-300L; }, 1e-100L, 1e-150L,
       ""},
      {"x^2-1e-20 from 1", [](Vars v) { return v("x") * v("x") - 1e-20L; }, 1, 1e-10L, ""},
      {"x^2-1e20 from 1", [](Vars v) { return v("x") * v("x") - 1e20L; }, 1, 1e10L, ""},
      {"x^3-27 from 0", [](Vars v) { return Pow(v("x"), 3) - 27; }, 0, 3, ""},
      // Multiple roots: the steps shrink by (m-1)/m and must not be measured by the quotient.
      {"(x-1)^2 from 3", [](Vars v) { return Pow(v("x") - 1, 2); }, 3, 1, ""},
      {"(x-1)^3 from 3", [](Vars v) { return Pow(v("x") - 1, 3); }, 3, 1, ""},
      {"(x-2)^4*(x+1) from 5", [](Vars v) { return Pow(v("x") - 2, 4) * (v("x") + 1); }, 5, 2, ""},
      {"x^2 from 1", [](Vars v) { return v("x") * v("x"); }, 1, 0, ""},
      // The first step lands beside a pole, where the function is flat but for the pole:
      // no root there.
      {"x!-24 from 0", [](Vars v) { return Apply(opFactorial, v("x")) - 24; }, 0, 0,
       kTextNewtonDiffNull},
      // Step functions are flat but at their jumps.
      {"floor(x)-2 from 0.2", [](Vars v) { return Apply(opFloor, v("x")) - 2; }, 0.2L, 0,
       kTextNewtonDiffNull},
      {"0*x+5", [](Vars v) { return 0 * v("x") + 5; }, 0, 0, kTextNewtonDiffNull},
      {"x^2+1 from 0", [](Vars v) { return v("x") * v("x") + 1; }, 0, 0, kTextNewtonDiffNull},
      {"exp(x) from 1", [](Vars v) { return Apply(opExp, v("x")); }, 1, 0, kTextNewtonNoResult},
      {"1/x from 1", [](Vars v) { return 1 / v("x"); }, 1, 0, kTextNewtonNoResult},
      {"ln(x) from -1", [](Vars v) { return Apply(opLn, v("x")); }, -1, 0, kTextInvalidOp},
      // The difference quotient itself overflows: an error, never a printed infinity.
      {"1e4932*sgn(x)", [](Vars v) { return 1e4932L * Apply(opSgn, v("x")); }, -1e-11L, 0,
       kTextNewtonFailed},
  };
  return cases;
}

TEST(Newton, FindsRootsOrReportsWhyNot) {
  for (const NewtonCase& c : NewtonCases()) {
    SCOPED_TRACE(c.Name);
    auto f = Function(c.F, c.Start);
    const Outcome r = RunMethod<TKoMathNewtonFunction>(*f, kNoSetup);
    EXPECT_EQ(r.Error, c.Error);
    if (*c.Error == 0) {
      EXPECT_TRUE(Near(r.Value, c.Root, 1e-17L));
    }
  }
}

TEST(Newton, ConvergesAtEveryScale) {
  // Roots away from 0 are met only to a few units in the last place.
  for (int i = 0; i < 40; ++i) {
    const long double c = 1 + static_cast<long double>(i) * 9 / 40;
    for (long double scale : {1e-8L, 1.0L, 1e12L}) {
      SCOPED_TRACE(static_cast<double>(c * scale));
      const long double root = std::sqrt(c * scale);
      auto f = Function([c, scale](Vars v) { return v("x") * v("x") - c * scale; }, 0.9L * root);
      const Outcome r = RunMethod<TKoMathNewtonFunction>(*f, kNoSetup);
      EXPECT_EQ(r.Error, "");
      EXPECT_TRUE(Near(r.Value, root, 1e-17L));
    }
  }
}

// Roots with references exact or correctly rounded, at scales from 1e-150 to 1e150 and
// from starts near and far; the table of the worst relative errors goes to the output.
TEST(Newton, MeetsTheTargetsAcrossScales) {
  struct Family {
    const char* Name;
    std::function<Term(Vars, long double)> F;
    std::function<long double(long double)> Root;
    long double Start;      // factor on the root
    long double Tolerance;  // relative
  };
  const Family families[] = {
      {"x^2-c", [](Vars v, long double c) { return v("x") * v("x") - c; },
       [](long double c) { return std::sqrt(c); }, 1.3L, 1e-15L},
      {"x^3-c", [](Vars v, long double c) { return Pow(v("x"), 3) - c; },
       [](long double c) { return std::cbrt(c); }, 0.7L, 1e-15L},
      {"(x-c)*(x+c)", [](Vars v, long double c) { return (v("x") - c) * (v("x") + c); },
       [](long double c) { return c; }, 1.1L, 1e-15L},
      {"(x-c)^2", [](Vars v, long double c) { return Pow(v("x") - c, 2); },
       [](long double c) { return c; }, 1.2L, 1e-9L},
      {"(x-c)^3*(x+1)", [](Vars v, long double c) { return Pow(v("x") - c, 3) * (v("x") + 1); },
       [](long double c) { return c; }, 1.3L, 1e-9L},
      {"ln(x)-ln(c)", [](Vars v, long double c) { return Apply(opLn, v("x")) - std::log(c); },
       [](long double c) { return c; }, 1.05L, 1e-15L},
  };
  std::mt19937_64 random(7);
  for (const Family& family : families) {
    long double worst = 0;
    int count = 0;
    for (int i = 0; i < 60; ++i) {
      const long double u = static_cast<long double>(random() >> 11) / 9007199254740992.0L;
      const long double c = std::pow(10.0L, -300 + 600 * u);
      const long double root = family.Root(c);
      if (!std::isfinite(root) || std::fabs(root) > 1e150L || std::fabs(root) < 1e-150L) continue;
      auto f = Function([&](Vars v) { return family.F(v, c); }, family.Start * root);
      const Outcome r = RunMethod<TKoMathNewtonFunction>(*f, kNoSetup);
      const long double error = r.Error.empty() ? std::fabs(r.Value - root) / root : 1;
      if (error > family.Tolerance)
        ADD_FAILURE() << family.Name << " with c = " << static_cast<double>(c) << ": " << r.Error
                      << " relative error " << static_cast<double>(error);
      worst = std::max(worst, error);
      ++count;
    }
    std::printf("%-15s %3d roots, worst relative error %.1Le\n", family.Name, count, worst);
  }
}

TEST(Newton, IterationLimitCountsPasses) {
  // exp(x) moves one unit per pass and never converges.
  for (std::int32_t limit : {0, 3, 10}) {
    auto f = Unparsed([](Vars v) { return Apply(opExp, v("x")); }, 1);
    const Outcome r =
        RunMethod<TKoMathNewtonFunction>(*f, [limit](auto& n) { n.MaxIterations = limit; });
    if (limit == 0) {
      // Unlimited: runs until exp underflows to a zero quotient.
      EXPECT_EQ(r.Error, kTextNewtonDiffNull);
      continue;
    }
    EXPECT_EQ(r.Error, kTextNewtonNoResult);
    // Pass i evaluates at x_i + h last, x_i = 1 - i; limit + 1 passes are made.
    EXPECT_NEAR(static_cast<double>(f->GetVarValue("x")), 1.0 - limit, 1e-6);
  }
}

TEST(Newton, WithoutRunningVariableRaises) {
  auto f = Function([](Vars v) { return v("x") - 1; });
  for (const char* name : {"", "y"}) {
    TKoMathNewtonFunction newton(f.get());
    newton.OtherNotOwned = true;
    if (*name) newton.SetRunningVar(name);
    try {
      newton.Calculate();
      ADD_FAILURE() << "no exception for '" << name << "'";
    } catch (const EKoNoRunningVarIndex& e) {
      EXPECT_STREQ(e.what(), "No index for a running variable was set!");
    }
  }
}

// ---------------------------------------------------------------- running variable

TEST(RunningVariable, IsBoundAfterTheTermAddsVariables) {
  // a sorts before x: parsing the term shifts x's position among the variables.
  auto diff = Unparsed([](Vars v) { return v("a") + v("x") * v("x"); }, 1);
  const Outcome d = RunMethod<TKoMathDiffNumFunction>(*diff, kNoSetup);
  EXPECT_EQ(d.Error, "");
  EXPECT_TRUE(Near(d.Value, 2, 1e-7L));

  auto newton = Unparsed([](Vars v) { return v("x") * v("x") + v("a") - 4; }, 3);
  const Outcome n = RunMethod<TKoMathNewtonFunction>(*newton, kNoSetup);
  EXPECT_EQ(n.Error, "");
  EXPECT_TRUE(Near(n.Value, 2, 1e-17L));

  auto integral = Unparsed([](Vars v) { return v("a") + v("x"); }, 0);
  const Outcome i = RunMethod<TKoMathIntgNumFunction>(*integral, [](auto& m) { m.IntervalTo = 1; });
  EXPECT_EQ(i.Error, "");
  EXPECT_TRUE(Near(i.Value, 0.5L, 1e-17L));
}

TEST(RunningVariable, AFailedBuildIsReported) {
  auto f = Unparsed(nullptr, 0);
  EXPECT_EQ(RunMethod<TKoMathIntgNumFunction>(*f, [](auto& m) { m.IntervalTo = 1; }).Error,
            "Syntaxfehler");
  EXPECT_EQ(RunMethod<TKoMathDiffNumFunction>(*f, kNoSetup).Error, "Syntaxfehler");
  EXPECT_EQ(RunMethod<TKoMathNewtonFunction>(*f, kNoSetup).Error, "Syntaxfehler");
}

TEST(RunningVariable, WrappedFunctionIsFreedOnlyWhenOwned) {
  auto f = Function([](Vars v) { return v("x") * 2; }, 3);
  {
    TKoMathDiffNumFunction borrowed(f.get());
    borrowed.OtherNotOwned = true;
  }
  f->Calculate();
  EXPECT_EQ(f->Value, 6);
  // Owned: the sanitizer build reports a leak if it is not freed.
  TKoMathLenNumFunction owner(Function([](Vars v) { return v("x"); }).release());
  EXPECT_EQ(owner.VarCount(), 1);
}

// ---------------------------------------------------------------- numeric derivative

struct DerivativeCase {
  const char* Name;
  TermOf F;
  long double X;
  std::vector<long double> Exact;  // derivatives of level 1, 2, ...
};

const std::vector<DerivativeCase>& DerivativeCases() {
  const long double s1 = std::sin(1.0L), c1 = std::cos(1.0L), e2 = std::exp(2.0L);
  static const std::vector<DerivativeCase> cases = {
      {"x^3 at 1", [](Vars v) { return Pow(v("x"), 3); }, 1, {3, 6, 6}},
      {"sin at 1",
       [](Vars v) { return Apply(opSin, v("x")); },
       1,
       {c1, -s1, -c1, s1, c1, -s1, -c1, s1}},
      {"exp at 2",
       [](Vars v) { return Apply(opExp, v("x")); },
       2,
       {e2, e2, e2, e2, e2, e2, e2, e2}},
      {"x^2 at 1000", [](Vars v) { return v("x") * v("x"); }, 1000, {2000, 2}},
      {"1/x at -2", [](Vars v) { return 1 / v("x"); }, -2, {-0.25L, -0.25L, -0.375L}},
      {"ln at 5", [](Vars v) { return Apply(opLn, v("x")); }, 5, {0.2L, -0.04L, 0.016L}},
  };
  return cases;
}

TEST(NumericDerivative, AgreesWithExactDerivatives) {
  for (const DerivativeCase& c : DerivativeCases()) {
    for (std::size_t level = 1; level <= c.Exact.size(); ++level) {
      SCOPED_TRACE(std::string(c.Name) + ", level " + std::to_string(level));
      auto f = Function(c.F, c.X);
      const Outcome r =
          RunMethod<TKoMathDiffNumFunction>(*f, Level(static_cast<std::int32_t>(level)));
      EXPECT_EQ(r.Error, "");
      // Each level above 3 may cost a digit; level 8 still keeps two.
      const long double tolerance = level == 1 ? 1e-7L : level <= 3 ? 1e-4L : 1e-2L;
      EXPECT_TRUE(Near(r.Value, c.Exact[level - 1], tolerance));
    }
  }
}

TEST(NumericDerivative, RefusesLevelsBelowOne) {
  TKoMathDiffNumFunction d(Function([](Vars v) { return v("x"); }).release());
  for (std::int32_t level : {0, -2}) {
    try {
      d.SetDiffLevel(level);
      ADD_FAILURE() << "level " << level << " accepted";
    } catch (const EKoIllegalDiffNumLevel& e) {
      EXPECT_EQ(e.message(), "Es gibt keine " + std::to_string(level) + ". Ableitung!");
    }
    EXPECT_EQ(d.GetDiffLevel(), 1);
  }
}

TEST(NumericDerivative, RefusesLevelsBeyondTheLimit) {
  auto f = Function([](Vars v) { return Apply(opExp, v("x")); });
  const Outcome top = RunMethod<TKoMathDiffNumFunction>(*f, Level(8));
  EXPECT_EQ(top.Error, "");
  const Outcome above = RunMethod<TKoMathDiffNumFunction>(*f, [](auto& d) {
    d.Value = 5;  // kept on refusal
    d.SetDiffLevel(9);
  });
  EXPECT_EQ(above.Error, "Numerisch gibt es h\366chstens die 8. Ableitung!");
  EXPECT_EQ(above.Value, 5);
}

TEST(NumericDerivative, ReportsFailures) {
  struct Case {
    const char* Name;
    TermOf F;
    long double X;
    std::int32_t Level;
    const char* Error;
  } cases[] = {
      // The evaluation at x itself fails after x + h succeeded.
      {"1/x at 0", [](Vars v) { return 1 / v("x"); }, 0, 1, kTextDivisionByZero},
      {"sqrt at 0, level 2", [](Vars v) { return Apply(opSqrt, v("x")); }, 0, 2, kTextInvalidOp},
      {"1e4932*sgn(x)", [](Vars v) { return 1e4932L * Apply(opSgn, v("x")); }, -1e-11L, 1,
       kTextNumDiffFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto f = Function(c.F, c.X);
    EXPECT_EQ(RunMethod<TKoMathDiffNumFunction>(*f, Level(c.Level)).Error, c.Error);
  }
}

// ---------------------------------------------------------------- integral and arc length

struct IntervalCase {
  const char* Name;
  TermOf F;
  long double From, To, Step;
  long double Exact;
  long double Tolerance;  // relative
};

TEST(NumericIntegral, AgreesWithExactIntegrals) {
  const long double a = 0.1L;  // sin(x)*exp(-a*x) has the antiderivative below
  const auto damped = [a](long double x) {
    return -std::exp(-a * x) * (a * std::sin(x) + std::cos(x)) / (1 + a * a);
  };
  const IntervalCase cases[] = {
      {"x^2, step 0.1", [](Vars v) { return v("x") * v("x"); }, 0, 1, 0.1L, 1.0L / 3, 1e-15L},
      {"x^2, step 0.3", [](Vars v) { return v("x") * v("x"); }, 0, 1, 0.3L, 1.0L / 3, 1e-15L},
      {"x^3 over [-1,2]", [](Vars v) { return Pow(v("x"), 3); }, -1, 2, 0.7L, 3.75L, 1e-15L},
      {"exp over [0,1]", [](Vars v) { return Apply(opExp, v("x")); }, 0, 1, 0.001L,
       std::exp(1.0L) - 1, 1e-15L},
      {"sin over [0,pi]", [](Vars v) { return Apply(opSin, v("x")); }, 0, kPi, 0.01L, 2, 1e-10L},
      {"sin(x)*exp(-x/10) over [0,100]",
       [](Vars v) { return Apply(opSin, v("x")) * Apply(opExp, -v("x") / 10); }, 0, 100, 0.0001L,
       damped(100) - damped(0), 1e-12L},
  };
  for (const IntervalCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto f = Function(c.F, c.From);
    const Outcome r = RunMethod<TKoMathIntgNumFunction>(*f, Over(c.From, c.To, c.Step));
    EXPECT_EQ(r.Error, "");
    EXPECT_TRUE(Near(r.Value, c.Exact, c.Tolerance));
  }
}

TEST(ArcLength, AgreesWithExactLengths) {
  const auto parabola = [](long double x) {
    return x * std::sqrt(1 + 4 * x * x) / 2 + std::asinh(2 * x) / 4;
  };
  // Circle through (0,0), (1,0), (2,2): centre (0.5,1.5); the chord subtends acos(-0.6).
  const long double bent = std::sqrt(2.5L) * std::acos(-0.6L);
  const IntervalCase cases[] = {
      {"2*x+1", [](Vars v) { return 2 * v("x") + 1; }, 0, 1, 0.1L, std::sqrt(5.0L), 1e-17L},
      // The ends and middle of each piece lie on the unit circle.
      {"half circle, many pieces", [](Vars v) { return Apply(opSqrt, 1 - v("x") * v("x")); }, -1, 1,
       0.01L, kPi, 1e-15L},
      {"half circle, one piece", [](Vars v) { return Apply(opSqrt, 1 - v("x") * v("x")); }, -1, 1,
       2, kPi, 1e-17L},
      {"quarter circle", [](Vars v) { return Apply(opSqrt, 1 - v("x") * v("x")); }, 0, 1, 1,
       kPi / 2, 1e-17L},
      {"first half flat", [](Vars v) { return v("x") * (v("x") - 1); }, 0, 2, 2, bent, 1e-17L},
      {"second half flat", [](Vars v) { return v("x") * (v("x") - 1); }, -1, 1, 2, bent, 1e-17L},
      // The middle point lies on the longer arc of the circle (radius 5/6).
      {"abs(3*x)", [](Vars v) { return Apply(opAbs, 3 * v("x")); }, -0.5L, 0.5L, 1,
       5.0L / 6 * (2 * kPi - 2 * std::atan(0.75L)), 1e-17L},
      {"x^2", [](Vars v) { return v("x") * v("x"); }, 0, 1, 0.001L, parabola(1) - parabola(0),
       1e-12L},
  };
  for (const IntervalCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto f = Function(c.F, c.From);
    const Outcome r = RunMethod<TKoMathLenNumFunction>(*f, Over(c.From, c.To, c.Step));
    EXPECT_EQ(r.Error, "");
    EXPECT_TRUE(Near(r.Value, c.Exact, c.Tolerance));
  }
}

TEST(ArcLength, PiecesAFewUnitsWideDoNotFail) {
  auto f = Function([](Vars v) { return v("x") * v("x"); });
  TKoMathLenNumFunction len(f.get());
  len.OtherNotOwned = true;
  for (long double a : {0.3L, 1.0L, -7.5L}) {
    long double b = a;
    for (int ulps = 1; ulps <= 4; ++ulps) {
      SCOPED_TRACE(std::to_string(static_cast<double>(a)) + " +" + std::to_string(ulps));
      b = std::nextafter(b, 10.0L);
      const long double fa = a * a, fb = b * b;
      const long double chord = std::hypot(b - a, fb - fa);
      const long double piece = len.PieceValue(a, b);
      EXPECT_EQ(len.GetErrorText(), "");
      // One unit wide, the middle coincides with an end: the chord. Wider, the squares
      // are rounded to a coarser grid than x and the arc may bend a little.
      if (ulps == 1)
        EXPECT_EQ(piece, chord);
      else
        EXPECT_TRUE(piece >= chord * (1 - 1e-18L) && piece <= chord * 1.1L)
            << static_cast<double>(piece / chord);
    }
  }
}

TEST(IntervalMethods, LastPieceAFewUnitsWide) {
  // The last piece starts at 10 steps of 0.1 and ends three units later.
  long double to = 10 * 0.1L;
  for (int i = 0; i < 3; ++i) to = std::nextafter(to, 2.0L);
  auto f = Function([](Vars v) { return 2 * v("x"); });
  const auto setup = [to](auto& m) { m.IntervalTo = to; };
  const Outcome len = RunMethod<TKoMathLenNumFunction>(*f, setup);
  EXPECT_EQ(len.Error, "");
  EXPECT_TRUE(Near(len.Value, std::sqrt(5.0L) * to, 1e-17L));
  const Outcome area = RunMethod<TKoMathIntgNumFunction>(*f, setup);
  EXPECT_EQ(area.Error, "");
  EXPECT_TRUE(Near(area.Value, to * to, 1e-17L));
}

struct RefusalCase {
  const char* Name;
  long double From, To, Step;
  std::string Error;
};

TEST(IntervalMethods, RefuseBadIntervalsThroughTheErrorText) {
  const RefusalCase cases[] = {
      {"end before start", 2, 1, 0.1L, kTextIntervalReversed},
      {"empty", 1, 1, 0.1L, kTextIntervalReversed},
      {"shorter than a step", 0, 0.05L, 0.1L,
       "Illegale Intervallangaben: \"von\":0  \"bis\":0.05  \"Intervall\":0.1"},
      {"count beyond 32 bits", 0, 100, 1e-12L, kTextTooManyPieces},
      {"2^31 pieces", 0, 2147483648.0L, 1, kTextTooManyPieces},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto f = Function([](Vars v) { return v("x"); });
    const auto setup = Over(c.From, c.To, c.Step);
    const Outcome integral = RunMethod<TKoMathIntgNumFunction>(*f, setup);
    EXPECT_EQ(integral.Error, c.Error);
    EXPECT_EQ(integral.Value, 0);
    EXPECT_EQ(RunMethod<TKoMathLenNumFunction>(*f, setup).Error, c.Error);
  }
  EXPECT_EQ(kTextIntervalReversed,
            std::string("Intervallende muss gr\366\337") + "er als Intervallanfang sein!");
}

TEST(IntervalMethods, RefuseStepsThatAreNotPositive) {
  TKoMathIntgNumFunction m(Function([](Vars v) { return v("x"); }).release());
  for (long double step : {0.0L, -1.0L, std::numeric_limits<long double>::quiet_NaN()}) {
    try {
      m.SetIntervalStep(step);
      ADD_FAILURE() << "step " << step << " accepted";
    } catch (const EKoIllegalIntIntervall& e) {
      EXPECT_STREQ(e.what(), "Intervall bei der numerischen Integration ist \"0\"!");
    }
    EXPECT_EQ(m.GetIntervalStep(), 0.1L);
  }
}

TEST(IntervalMethods, EndWithTheFirstErrorText) {
  struct Case {
    const char* Name;
    TermOf F;
    long double From, To, Step;
    const char* IntegralError;
    const char* ArcError;
  } cases[] = {
      // Later pieces succeed, the one through 0 does not.
      {"1/x", [](Vars v) { return 1 / v("x"); }, -1, 1, 0.5L, kTextDivisionByZero,
       kTextDivisionByZero},
      {"ln(x)", [](Vars v) { return Apply(opLn, v("x")); }, -1, 1, 0.5L, kTextInvalidOp,
       kTextInvalidOp},
      // The methods' own arithmetic: a sum of finite pieces, or a piece, overflows.
      {"1e4931", [](Vars) { return Term(1e4931L); }, 0, 100, 1, kTextOverflow, ""},
      {"1e4931*abs(x)", [](Vars v) { return 1e4931L * Apply(opAbs, v("x")); }, -6, 6, 1,
       kTextOverflow, kTextOverflow},
      {"1e4932*sgn(x)", [](Vars v) { return 1e4932L * Apply(opSgn, v("x")); }, -1, 1, 1,
       kTextOverflow, kTextOverflow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto f = Function(c.F);
    const auto setup = Over(c.From, c.To, c.Step);
    EXPECT_EQ(RunMethod<TKoMathIntgNumFunction>(*f, setup).Error, c.IntegralError);
    EXPECT_EQ(RunMethod<TKoMathLenNumFunction>(*f, setup).Error, c.ArcError);
  }
}

// ---------------------------------------------------------------- accuracy across scales

// A function with its derivatives in closed form (level 0 is the value) and the distance
// over which it behaves like a polynomial: its Taylor radius, or for the entire functions
// of scale 1 the level itself, over which their n-th derivatives change little.
struct ClosedForm {
  const char* Name;
  TermOf F;
  std::function<long double(long double, int)> D;
  std::function<long double(long double, int)> Radius;
  bool PositiveOnly;
};

long double Factorial(int n) {
  long double f = 1;
  for (int i = 2; i <= n; ++i) f *= i;
  return f;
}

long double Choose(int n, int k) {
  return Factorial(n) / (Factorial(k) * Factorial(n - k));
}

long double SinDerivative(long double x, int n) {
  switch (n % 4) {
    case 0:
      return std::sin(x);
    case 1:
      return std::cos(x);
    case 2:
      return -std::sin(x);
    default:
      return -std::cos(x);
  }
}

long double LnDerivative(long double x, int n) {
  if (n == 0) return std::log(x);
  return (n % 2 == 1 ? 1 : -1) * Factorial(n - 1) / std::pow(x, n);
}

long double SqrtDerivative(long double x, int n) {
  long double c = 1;
  for (int k = 0; k < n; ++k) c *= 0.5L - k;
  return c * std::sqrt(x) / std::pow(x, n);
}

long double PowerDerivative(long double x, int n) {
  return n > 5 ? 0 : Factorial(5) / Factorial(5 - n) * std::pow(x, 5 - n);
}

long double ReciprocalDerivative(long double x, int n) {
  return (n % 2 == 0 ? 1 : -1) * Factorial(n) / std::pow(x, n + 1);
}

long double ArctanDerivative(long double x, int n) {
  if (n == 0) return std::atan(x);
  return (n % 2 == 1 ? 1 : -1) * Factorial(n - 1) * std::sin(n * std::atan2(1.0L, x)) /
         std::pow(1 + x * x, n / 2.0L);
}

using DerivativeOf = long double (*)(long double, int);

// Leibniz's rule. The terms' sum of magnitudes goes to *terms, to tell a trustworthy
// reference from one lost in cancellation.
long double ProductDerivative(DerivativeOf f, DerivativeOf g, long double x, int n,
                              long double* terms) {
  long double sum = 0;
  *terms = 0;
  for (int k = 0; k <= n; ++k) {
    const long double t = Choose(n, k) * f(x, k) * g(x, n - k);
    sum += t;
    *terms += std::fabs(t);
  }
  return sum;
}

std::function<long double(long double, int)> Product(DerivativeOf f, DerivativeOf g) {
  return [f, g](long double x, int n) {
    long double terms = 0;
    const long double d = ProductDerivative(f, g, x, n, &terms);
    // Cancellation beyond a few digits leaves no reference to compare with.
    return terms > 1e3L * std::fabs(d) ? std::numeric_limits<long double>::quiet_NaN() : d;
  };
}

const std::vector<ClosedForm>& ClosedForms() {
  const auto entire = [](long double, int n) { return static_cast<long double>(n); };
  const auto distance = [](long double x, int) { return std::fabs(x); };
  const auto atLeastOne = [](long double x, int) { return std::max(1.0L, std::fabs(x)); };
  const auto expDerivative = [](long double x, int) { return std::exp(x); };
  static const std::vector<ClosedForm> forms = {
      {"sin", [](Vars v) { return Apply(opSin, v("x")); }, SinDerivative, entire, false},
      {"exp", [](Vars v) { return Apply(opExp, v("x")); }, expDerivative, entire, false},
      {"ln", [](Vars v) { return Apply(opLn, v("x")); }, LnDerivative, distance, true},
      {"sqrt", [](Vars v) { return Apply(opSqrt, v("x")); }, SqrtDerivative, distance, true},
      {"x^5", [](Vars v) { return Pow(v("x"), 5); }, PowerDerivative, distance, false},
      {"1/x", [](Vars v) { return 1 / v("x"); }, ReciprocalDerivative, distance, false},
      {"arctan", [](Vars v) { return Apply(opArcTan, v("x")); }, ArctanDerivative, atLeastOne,
       false},
      {"sin*exp", [](Vars v) { return Apply(opSin, v("x")) * Apply(opExp, v("x")); },
       Product(SinDerivative, [](long double x, int) { return std::exp(x); }), entire, false},
      {"sqrt*ln", [](Vars v) { return Apply(opSqrt, v("x")) * Apply(opLn, v("x")); },
       Product(SqrtDerivative, LnDerivative), distance, true},
      {"x^5*arctan", [](Vars v) { return Pow(v("x"), 5) * Apply(opArcTan, v("x")); },
       Product(PowerDerivative, ArctanDerivative), atLeastOne, false},
  };
  return forms;
}

// Points from 1e-300 to 1e15 in magnitude, fixed ones and a reproducible random spread.
std::vector<long double> AccuracyPoints() {
  std::vector<long double> points = {1e-300L, 1e-100L, 1e-12L, 1e-3L, 0.7L,  3,
                                     1000,    1e6L,    1e10L,  1e15L, -0.7L, -1e6L};
  std::mt19937_64 random(12);
  for (int i = 0; i < 40; ++i) {
    const long double u = static_cast<long double>(random() >> 11) / 9007199254740992.0L;
    const long double sign = random() % 3 == 0 ? -1 : 1;
    points.push_back(sign * std::pow(10.0L, -300 + 315 * u));
  }
  for (int i = 0; i < 16; ++i)
    points.push_back(static_cast<long double>(random() >> 11) / 9007199254740992.0L * 10 - 5);
  return points;
}

// Whether rounding leaves the digits the targets ask for: the function's values on the
// stencil of a step of 1/(2n) of its radius, rounded at the last place, divided by the
// step's n-th power.
bool WellConditioned(const ClosedForm& form, long double x, int n, long double exact) {
  const long double radius = form.Radius(x, n);
  long double largest = std::fabs(form.D(x, 0));
  for (int k = -n; k <= n; ++k) {
    const long double y = x + k * radius / (4 * n);
    if (form.PositiveOnly && y <= 0) continue;
    const long double v = form.D(y, 0);
    if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
  }
  const long double logAchievable = std::log(std::numeric_limits<long double>::epsilon()) +
                                    std::log(largest) + n * std::log(2.0L) -
                                    std::log(std::fabs(exact)) - n * std::log(radius / (2 * n));
  return logAchievable <= std::log(n == 1 ? 1e-16L : n <= 3 ? 1e-15L : 1e-9L);
}

long double TargetOf(int n) {
  return n == 1 ? 1e-14L : n <= 3 ? 1e-12L : 1e-6L;
}

constexpr std::size_t kLevels = kMaxNumDiffLevel;
using LevelTable = std::array<long double, kLevels + 1>;
using LevelCount = std::array<int, kLevels + 1>;

void PrintRow(const char* name, const LevelTable& row) {
  std::printf("%-11s", name);
  for (std::size_t n = 1; n <= kLevels; ++n) std::printf("%9.1Le", row[n]);
  std::printf("\n");
}

// The worst relative error of each level over the points where the form is defined and
// well conditioned; failures beyond the targets are reported. count gets the cases.
LevelTable WorstErrors(const ClosedForm& form, const std::vector<long double>& points,
                       LevelCount& count) {
  LevelTable worst{};
  for (const long double x : points) {
    const long double value = form.PositiveOnly && x <= 0 ? kInfinity : form.D(x, 0);
    if (!std::isfinite(value) || std::fabs(value) > 1e4000L) continue;
    for (std::size_t level = 1; level <= kLevels; ++level) {
      const int n = static_cast<int>(level);
      const long double exact = form.D(x, n);
      if (!std::isfinite(exact) || exact == 0 || std::fabs(exact) > 1e4000L ||
          std::fabs(exact) < 1e-4000L || !WellConditioned(form, x, n, exact))
        continue;
      auto f = Function(form.F, x);
      const Outcome r = RunMethod<TKoMathDiffNumFunction>(*f, Level(n));
      const long double error = r.Error.empty() ? std::fabs(r.Value - exact) / std::fabs(exact) : 1;
      if (error > TargetOf(n))
        ADD_FAILURE() << form.Name << " at " << static_cast<double>(x) << ", level " << n << ": "
                      << r.Error << " relative error " << static_cast<double>(error);
      worst[level] = std::max(worst[level], error);
      ++count[level];
    }
  }
  return worst;
}

// The table of the worst relative errors goes to the test's output.
TEST(NumericDerivative, MeetsTheTargetsAcrossScales) {
  const std::vector<long double> points = AccuracyPoints();
  LevelTable worst{};
  LevelCount count{};
  std::printf("%-11s", "level");
  for (std::size_t n = 1; n <= kLevels; ++n) std::printf("%9zu", n);
  std::printf("\n");
  for (const ClosedForm& form : ClosedForms()) {
    const LevelTable formWorst = WorstErrors(form, points, count);
    PrintRow(form.Name, formWorst);
    for (std::size_t n = 1; n <= kLevels; ++n) worst[n] = std::max(worst[n], formWorst[n]);
  }
  PrintRow("worst", worst);
  std::printf("%-11s", "cases");
  for (std::size_t n = 1; n <= kLevels; ++n) std::printf("%9d", count[n]);
  std::printf("\n");
}

}  // namespace
