// Shared by the simplifier, differencer and integrator tests: the driver's way of
// building F and running the symbolic modes, evaluation of printed terms, and random terms.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MathDiff/MathDiff.hpp"
#include "MathIntg/MathIntg.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "app/app.hpp"

namespace symtest {

// The work the fuzz targets give the canonical levels of a derivative: every path is taken,
// large terms give up sooner.
inline constexpr std::uint64_t kFuzzCanonicalWork = 100'000;

// F as the driver makes it: the standard variable x declared, the parser attached and run.
struct Source {
  explicit Source(const std::string& term) {
    F.AddVariable("x");
    auto parser = std::make_unique<TKoMathParser>(&F);
    parser->SetFunctionString(term);
    TKoMathParser* p = parser.get();
    F.SetCreator(std::move(parser));
    p->Execute();
  }
  TKoMathTreeFunction F;
};

// The symbolic derivative mode's result line for F by x.
inline std::string Derivative(TKoMathTreeFunction& f, std::int32_t level = 1) {
  return DerivativeText(f, "x", level);
}

inline std::string Derivative(const std::string& term, std::int32_t level = 1) {
  Source source(term);
  return Derivative(source.F, level);
}

// The antiderivative mode's result line: F simplified first, then G built, simplified and
// printed.
inline std::string Antiderivative(const std::string& term) {
  Source source(term);
  return AntiderivativeText(source.F, "x");
}

// A term ready to be evaluated at points of x.
class Evaluator {
 public:
  explicit Evaluator(const std::string& term) : Term(term) {}
  bool Parsed() { return Term.F.GetTree() != nullptr; }
  // False where the term has no finite value.
  bool At(long double x, long double& value) {
    Term.F.SetVarValue("x", x);
    Term.F.Calculate();
    value = Term.F.Value;
    return Term.F.GetErrorText().empty() && std::isfinite(value);
  }
  // The central difference quotient with step h; false where f is not defined around x.
  bool Slope(long double x, long double h, long double& slope) {
    long double above = 0, below = 0;
    if (!At(x + h, above) || !At(x - h, below)) return false;
    slope = (above - below) / (2 * h);
    return true;
  }
  // The slope where two step sizes agree, that is where f is smooth around x.
  bool SmoothSlope(long double x, long double& slope) {
    const long double h = 1e-5L * std::fmax(1.0L, std::fabs(x));
    long double coarse = 0;
    if (!Slope(x, h, coarse) || !Slope(x, h / 2, slope)) return false;
    return std::fabs(coarse - slope) <= 1e-8L * (1 + std::fabs(slope));
  }

 private:
  Source Term;
};

// Random terms in x, written with brackets around every operand.
class TermMaker {
 public:
  explicit TermMaker(std::uint32_t seed) : Random(seed) {}

  // Any term of the program's smooth functions and operators.
  std::string Any(int depth) {
    if (depth == 0) return Leaf();
    static const std::vector<std::string> functions = {
        "sin",  "cos",  "tan",     "cot",     "exp",     "ln",     "log",  "ld",
        "sqr",  "sqrt", "arcsin",  "arccos",  "arctan",  "arccot", "sinh", "cosh",
        "tanh", "coth", "arcsinh", "arccosh", "arctanh", "arccoth"};
    const std::string a = "(" + Any(depth - 1) + ")";
    switch (Pick(10)) {
      case 0:
        return a + "+(" + Any(depth - 1) + ")";
      case 1:
        return a + "-(" + Any(depth - 1) + ")";
      case 2:
        return a + "*(" + Any(depth - 1) + ")";
      case 3:
        return a + "/(" + Any(depth - 1) + ")";
      case 4:
        return a + "^" + OneOf({"2", "3", "(-1)", "0.5", "2^0.5", "0.5^2", "2^3", "(-2)"});
      case 5:  // a base kept positive: u^v is differentiated as exp(v*ln(u))
        return "(sqr" + a + "+0.5)^(" + Any(depth - 1) + ")";
      case 6:
        return "-" + a;
      default:
        return OneOf(functions) + a;
    }
  }

  // A term the integration rules can handle: sums and constant multiples of functions of
  // linear inner terms.
  std::string Integrable(int depth) {
    if (depth == 0) return OneOf({"x", "3", "2.5", "x^2", "x^3"});
    static const std::vector<std::string> functions = {
        "sin",  "cos",  "exp",     "ln",      "log",     "ld",     "sqr",
        "sqrt", "sinh", "cosh",    "arcsin",  "arccos",  "arctan", "arccot",
        "tanh", "coth", "arcsinh", "arccosh", "arctanh", "arccoth"};
    switch (Pick(7)) {
      case 0:
        return "(" + Integrable(depth - 1) + ")+(" + Integrable(depth - 1) + ")";
      case 1:
        return "(" + Integrable(depth - 1) + ")-(" + Integrable(depth - 1) + ")";
      case 2:
        return OneOf({"3", "0.5", "(-2)"}) + "*(" + Integrable(depth - 1) + ")";
      case 3:
        return "(" + Integrable(depth - 1) + ")/" + OneOf({"4", "(-3)"});
      case 4:
        return "(" + Linear() + ")^" + OneOf({"2", "3", "0.5", "(-2)", "1.5", "(-0.5)"});
      case 5:
        return OneOf({"2", "0.5"}) + "^(" + Linear() + ")";
      default:
        return OneOf(functions) + "(" + Linear() + ")";
    }
  }

  long double Point(long double low, long double high) {
    return std::uniform_real_distribution<double>(static_cast<double>(low),
                                                  static_cast<double>(high))(Random);
  }

 private:
  std::uint32_t Pick(std::uint32_t n) { return static_cast<std::uint32_t>(Random() % n); }
  std::string OneOf(const std::vector<std::string>& options) {
    return options[Pick(static_cast<std::uint32_t>(options.size()))];
  }
  std::string Leaf() { return OneOf({"x", "x", "x", "2", "0.5", "3"}); }
  std::string Linear() { return OneOf({"x", "2*x", "0.5*x+0.25", "1-x", "x/3-0.5", "-x"}); }

  std::mt19937 Random;
};

}  // namespace symtest
