#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MathIntg/MathIntg.hpp"
#include "SymbolicHelpers.hpp"
#include "app/app.hpp"

namespace {

using symtest::Source;
using symtest::TermMaker;

bool NoElementary(const std::string& term) {
  Source source(term);
  return source.F.GetTree() && integration::HasNoElementaryAntiderivative(source.F.GetTree(), "x");
}

// Each family the recognizer decides, with neighbours of it that do have an elementary
// antiderivative: the hint must never be said of those.
TEST(NonElementary, ProvenFamiliesAndTheirElementaryNeighbours) {
  const struct {
    const char* family;
    std::vector<const char*> none;
    std::vector<const char*> elementary;
  } cases[] = {
      {"exp, sin, cos, sinh and cosh of c*L^n+d times L^m",
       {"exp(-x^2)", "x^2*exp(x^2)", "sin(x)/x", "cos(3*x+1)/(3*x+1)^2", "exp(1/x)", "sinh(x)/x",
        "4^(3*x^2+2)*x^6", "sin(x^5)/x", "sqrt(x)*exp(x)", "exp(2*x+1)/(3*x+2)", "sin(3/(7*x+5)^2)",
        "sin(x)^2/x"},
       {"x*exp(x^2)", "x^3*exp(-x^2)", "exp(1/x)/x^2", "x^4*sin(x^5)", "x^2*exp(x)", "sin(x)^2*x",
        "2^x*x", "cosh(x^3)*x^2", "exp(3*x+1)"}},
      {"exp and sin of a polynomial times a polynomial (Liouville's equation)",
       {"exp(x^2+x)", "(x+1)*exp(x^2+x)*x", "cos(x^2+1)*x^2"},
       {"(2*x+1)*exp(x^2+x)", "(2*x^2+1)*exp(x^2)", "(2*x+1)*sin(x^2+x)",
        "(4*x^3+2*x)*cosh(x^4+x^2)"}},
      {"binomials outside Chebyshev's three cases",
       {"sqrt(1+x^3)", "1/(3*x^2+2)^(1/4)", "x^2/(2-3*x^2)^(1/4)", "x^3/sqrt(x^3+4)",
        "1/sqrt(x^4+1)"},
       {"sqrt(x^2+1)", "x^2/sqrt(x^3+1)", "(4*x^4+3)^(1/4)/x^2", "x^2*(4*x^4+3)^(5/4)",
        "1/(x^2*(1+x^4)^(3/4))", "(x^3+1)^(1/3)/x^5"}},
      {"powers of logarithms and inverse functions",
       {"1/ln(x)", "x^2/ln(x)", "1/ln(2*x+1)^2", "sqrt(3*ln(x)+2)", "1/arccos(2*x)",
        "x^6/arcsin(2*x)", "x/arcsinh(2*x)^4", "sqrt(arccos(2*x))"},
       {"1/(x*ln(x))", "ln(x)^2", "ln(x)^3*x", "arcsin(x)^2", "1/(arcsin(x)*sqrt(1-x^2))",
        "x*arcsinh(x)", "arctan(x)/(x^2+1)"}},
      {"the rest",
       {"x^x", "exp(exp(x))", "1/sqrt(x^3-x)"},
       {"x^x*(ln(x)+1)", "exp(exp(x))*exp(x)", "1/sqrt(x^3-x^2)"}},
  };
  for (const auto& c : cases) {
    for (const char* term : c.none) EXPECT_TRUE(NoElementary(term)) << c.family << ": " << term;
    for (const char* term : c.elementary)
      EXPECT_FALSE(NoElementary(term)) << c.family << ": " << term;
  }
}

// The derivative of any term has an elementary antiderivative: the term itself. In the
// readable form, products stay products (2*x*(x^2+1)*exp(x^2)), where the families look.
TEST(NonElementary, NeverSaidOfADerivative) {
  SetReadableResults(true);
  int products = 0;
  TermMaker maker(20261210);
  for (int i = 0; i < 400; ++i) {
    const std::string term = maker.Any(1 + i % 3);
    const std::string derivative = symtest::Derivative(term);
    if (derivative.empty() || derivative.find('!') != std::string::npos) continue;
    EXPECT_FALSE(NoElementary(derivative)) << term << " -> " << derivative;
  }
  // and of the families' own shapes: x^j*f(c*x^n), x^j*(1+x^n)^p, x^j*ln(x)^k
  for (const char* f : {"exp", "sin", "cosh"})
    for (int j = -3; j <= 3; ++j)
      for (int n = -2; n <= 3; ++n) {
        if (n == 0) continue;
        const std::string power = "x^(" + std::to_string(j) + ")";
        for (const std::string& term : {power + "*" + f + "(2*x^(" + std::to_string(n) + "))",
                                        power + "*(1+x^(" + std::to_string(n) + "))^(1/3)",
                                        power + "*ln(x)^(" + std::to_string(n) + ")"}) {
          const std::string derivative = symtest::Derivative(term);
          products += derivative.find('+') == std::string::npos ? 1 : 0;
          EXPECT_FALSE(NoElementary(derivative)) << term << " -> " << derivative;
        }
      }
  SetReadableResults(false);
  EXPECT_GT(products, 40);
}

}  // namespace
