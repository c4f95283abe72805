// The integrals and differences behind --digits in the numeric modes: the rules, the
// refinement of the break points, and the checks that refuse rather than print a wrong digit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MathDigs/MathDigs.hpp"
#include "MathPars/MathPars.hpp"
#include "MathTree/MathTree.hpp"

namespace {

struct TParsed {
  explicit TParsed(const std::string& text) {
    RecordNumberTexts(&Numbers);
    Tree = ParseTerm(text, &Depot);
    RecordNumberTexts(nullptr);
    Leaves.Numbers = &Numbers;
  }
  TKoVarDepot Depot;
  TKoNumberTexts Numbers;
  TKoNodePtr Tree;
  TKoDigitsLeaves Leaves;
};

TKoDigitsIntegral Task(const TParsed& p, const std::string& from, const std::string& to,
                       long double estimate) {
  TKoDigitsIntegral task;
  task.Term = p.Tree.get();
  task.FromText = from;
  task.ToText = to;
  task.Estimate = estimate;
  task.EstimateError = 1e-18L;
  return task;
}

}  // namespace

// Reference digits from mpmath at 80 digits.
TEST(IntegralToDigits, SmoothAndSingularEnds) {
  struct Case {
    std::string term, from, to;
    long double estimate;
    std::string value;
  };
  for (const Case& c : std::vector<Case>{
           {"exp(x)", "0", "1", 1.718281828459045L, "1.71828182845904523536028747135"},
           {"1/(1+x)", "0", "1", 0.6931471805599453L, "0.693147180559945309417232121458"},
           {"sqrt(x)*ln(x)", "0", "1", -0.4444444444444444L, "-0.444444444444444444444444444444"},
           {"1/sqrt(x)", "0", "1", 2, "2"},
           // The bounds with their digits: 0.1 is a tenth.
           {"x", "0", "0.1", 0.005L, "0.005"}}) {
    const TParsed p(c.term);
    EXPECT_EQ(IntegralToDigits(Task(p, c.from, c.to, c.estimate), p.Leaves, "X", 30).Text, c.value)
        << c.term;
  }
}

// A jump refined from its extended neighbour to the bits: floor(3*x) jumps at 1/3.
TEST(IntegralToDigits, BreaksAreRefinedToTheBits) {
  const TParsed p("floor(3*x)");
  TKoDigitsIntegral task = Task(p, "0", "0.9", 0.8L);
  const TKoOperatorNode* argument = p.Tree->Child(0);
  task.Breaks = {{1.0L / 3, argument, 1, false}, {2.0L / 3, argument, 2, false}};
  EXPECT_EQ(IntegralToDigits(task, p.Leaves, "X", 40).Text, "0.8");
  // Without the breaks the rules see a jump inside a piece and never settle.
  task.Breaks.clear();
  EXPECT_EQ(IntegralToDigits(task, p.Leaves, "X", 40).Text, kTextDigitsNotDecidable);
}

// The extended value is a check: where it disagrees (a peak both might miss), a refusal.
TEST(IntegralToDigits, RefusesWhereTheExtendedValueDisagrees) {
  const TParsed p("x^2");
  EXPECT_EQ(IntegralToDigits(Task(p, "0", "1", 1.0L / 3), p.Leaves, "X", 30).Text,
            "0.333333333333333333333333333333");
  EXPECT_EQ(IntegralToDigits(Task(p, "0", "1", 0.3334L), p.Leaves, "X", 30).Text,
            kTextDigitsNotDecidable);
  // An integral of 0 gives no scale to settle on; more digits than allowed are refused.
  EXPECT_EQ(IntegralToDigits(Task(p, "0", "1", 0), p.Leaves, "X", 30).Text,
            kTextDigitsNotDecidable);
  EXPECT_EQ(
      IntegralToDigits(Task(p, "0", "1", 1.0L / 3), p.Leaves, "X", kMostIntegralDigits + 1).Text,
      kTextDigitsNotDecidable);
}

TEST(IntegralToDigits, ArcLengthFromTheSlope) {
  // The length of x^2 over [0, 1] from its slope 2*x.
  const TParsed p("2*x");
  TKoDigitsIntegral task = Task(p, "0", "1", 1.4789428575445974L);
  task.ArcLength = true;
  EXPECT_EQ(IntegralToDigits(task, p.Leaves, "X", 30).Text, "1.47894285754459743382790601943");
}

// Differences at the full bits: right where the term is smooth, a refusal at a jump.
TEST(DerivativeByDifferences, RightOrRefused) {
  TParsed p("exp(x)*sin(x)");
  p.Leaves.Variables["X"] = {TKoDigitsSource::kText, "0.5"};
  // d^3/dx^3 exp(x)*sin(x) = 2*exp(x)*(cos(x)-sin(x)) at 0.5, from mpmath.
  EXPECT_EQ(DerivativeByDifferences(p.Tree.get(), p.Leaves, "X", 3, 25).Text,
            "1.312899906741108492416641");
  TParsed jump("floor(x)");
  jump.Leaves.Variables["X"] = {TKoDigitsSource::kText, "1"};
  EXPECT_EQ(DerivativeByDifferences(jump.Tree.get(), jump.Leaves, "X", 1, 20).Text,
            kTextDigitsNotDecidable);
}
