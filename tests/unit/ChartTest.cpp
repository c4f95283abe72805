// The sign charts of --analyze: wide ranges in interval arithmetic, zeros proven or exact,
// gaps, stretches without a value and what the budget leaves undecided.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MathDigs/Chart.hpp"
#include "MathDigs/Interval.hpp"
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

constexpr mpfr_prec_t kBits = 128;

// The marks of the term's chart over [from; to] as letters: Z a proven single zero, E an
// exact zero, z a zero by a sign change, S a gap, C a cluster, N no value, U undecided,
// V a stretch of zeros; each with the sign after it (+, -, n none, ? unknown).
std::string Marks(const std::string& term, const std::string& slope, double from, double to,
                  std::size_t budget = 40000) {
  TParsed f(term);
  TParsed d(slope.empty() ? "0" : slope);
  for (const auto& [node, text] : d.Numbers) f.Numbers[node] = text;
  digits::TChartTerm chart{f.Tree.get(), slope.empty() ? nullptr : d.Tree.get(), &f.Leaves, "X"};
  digits::TCharter charter(chart, kBits);
  digits::TReal a(kBits);
  digits::TReal b(kBits);
  mpfr_set_d(a, from, MPFR_RNDN);
  mpfr_set_d(b, to, MPFR_RNDN);
  const digits::TChart result = charter.Chart(a, b, budget);
  std::string out;
  for (const digits::TMark& mark : result.Marks) {
    const char* letters = "ZSCNUV";
    char letter = letters[mark.Kind];
    if (mark.Kind == digits::TMark::kZero) letter = mark.Exact ? 'E' : mark.Simple ? 'Z' : 'z';
    const char* signs = "-?+n";
    out += letter;
    out += signs[static_cast<int>(mark.After) + 1];
  }
  return out;
}

// The chart's zeros to 17 digits.
std::vector<std::string> Zeros(const std::string& term, const std::string& slope, double from,
                               double to) {
  TParsed f(term);
  TParsed d(slope);
  for (const auto& [node, text] : d.Numbers) f.Numbers[node] = text;
  digits::TChartTerm chart{f.Tree.get(), d.Tree.get(), &f.Leaves, "X"};
  digits::TCharter charter(chart, kBits);
  digits::TReal a(kBits);
  digits::TReal b(kBits);
  mpfr_set_d(a, from, MPFR_RNDN);
  mpfr_set_d(b, to, MPFR_RNDN);
  std::vector<std::string> zeros;
  for (const digits::TMark& mark : charter.Chart(a, b, 40000).Marks) {
    if (mark.Kind != digits::TMark::kZero) continue;
    digits::TReal m(kBits);
    mpfi_mid(m, mark.Where->get());
    char text[64];
    mpfr_snprintf(text, sizeof text, "%.16Re", m.get());
    zeros.emplace_back(text);
  }
  return zeros;
}

}  // namespace

TEST(ChartEvaluator, WideRangesOfTheVariable) {
  // Whole powers of a base across 0 enclose their range; a jump inside is undecided.
  const TParsed square("x^2-1");
  const TParsed step("floor(x)");
  digits::TEvaluator wide(square.Leaves, kBits, false);
  wide.SetWide(true);
  digits::TInterval range(kBits);
  mpfi_interv_d(range.get(), -2, 3);
  wide.SetRunningRange("X", range.get());
  digits::TInterval out(kBits);
  ASSERT_EQ(wide.Evaluate(square.Tree.get(), out.get()), nullptr);
  EXPECT_EQ(mpfr_get_d(&out.get()->left, MPFR_RNDN), -1);
  EXPECT_EQ(mpfr_get_d(&out.get()->right, MPFR_RNDN), 8);
  digits::TEvaluator jumps(step.Leaves, kBits, false);
  jumps.SetWide(true);
  jumps.SetRunningRange("X", range.get());
  EXPECT_THROW(jumps.Evaluate(step.Tree.get(), out.get()), digits::TUndecided);
  // Arguments beyond every period the bits resolve: sin anywhere in [-1; 1], tan undecided.
  const TParsed sine("sin(exp(x))");
  const TParsed tangent("tan(exp(x))");
  digits::TInterval far(kBits);
  mpfi_interv_d(far.get(), 1000, 1001);
  digits::TEvaluator huge(sine.Leaves, kBits, false);
  huge.SetWide(true);
  huge.SetRunningRange("X", far.get());
  ASSERT_EQ(huge.Evaluate(sine.Tree.get(), out.get()), nullptr);
  EXPECT_EQ(mpfr_get_d(&out.get()->left, MPFR_RNDN), -1);
  EXPECT_EQ(mpfr_get_d(&out.get()->right, MPFR_RNDN), 1);
  digits::TEvaluator hugeTangent(tangent.Leaves, kBits, false);
  hugeTangent.SetWide(true);
  hugeTangent.SetRunningRange("X", far.get());
  EXPECT_THROW(hugeTangent.Evaluate(tangent.Tree.get(), out.get()), digits::TUndecided);
  // Without the wide reading a base across 0 stays undecided, as the digits of values need.
  digits::TEvaluator narrow(square.Leaves, kBits, false);
  narrow.SetRunningRange("X", range.get());
  EXPECT_THROW(narrow.Evaluate(square.Tree.get(), out.get()), digits::TUndecided);
}

TEST(Chart, MarksAndTheSignsBetween) {
  struct Case {
    std::string term, slope;
    double from, to;
    std::string marks;
  };
  const std::vector<Case> cases = {
      {"x^2-2", "2*x", -10, 10, "Z-Z+"},
      {"x^3-3*x", "3*x^2-3", -10, 10, "Z+E-Z+"},
      // A double zero at a short number is exact, one elsewhere a cluster.
      {"(x-3)^2", "2*(x-3)", 0, 10, "E+"},
      {"(3*x-1)^2", "6*(3*x-1)", -1, 1, "C+"},
      {"1/x", "-1/x^2", -1, 1, "S+"},
      {"sqrt(x)", "0.5/sqrt(x)", -1, 1, "N+"},
      {"ln(x)", "1/x", -1, 3, "N-E+"},
      // The zeros at the ends of the domain are the discussion's to find.
      {"sqrt(4-x^2)", "-x/sqrt(4-x^2)", -3, 3, "N+N?"},
      {"heav(x)*x", "", -1, 1, "V?S+"},
      {"x^2+1", "2*x", -10, 10, ""},
      // A zero at an end of the interval.
      {"x-1", "1", 1, 2, "E+"},
  };
  for (const Case& c : cases) EXPECT_EQ(Marks(c.term, c.slope, c.from, c.to), c.marks) << c.term;
}

TEST(Chart, ZerosToTheLastDigit) {
  // Reference digits from an independent computation with 40 digits.
  EXPECT_EQ(Zeros("cos(x)-x", "-sin(x)-1", -10, 10),
            std::vector<std::string>{"7.3908513321516064e-01"});
  EXPECT_EQ(Zeros("exp(x)-3", "exp(x)", -10, 10),
            std::vector<std::string>{"1.0986122886681097e+00"});
  EXPECT_EQ(Zeros("x^3-2*x-5", "3*x^2-2", -10, 10),
            std::vector<std::string>{"2.0945514815423266e+00"});
  EXPECT_EQ(Zeros("tan(x)-x", "tan(x)^2", 1, 4.6),
            std::vector<std::string>{"4.4934094579090642e+00"});
}

TEST(Chart, TheBudgetLeavesUndecidedStretches) {
  // Infinitely many zeros near 0: the chart stops and says where.
  const std::string marks = Marks("sin(1/x)", "-cos(1/x)/x^2", -1, 1, 3000);
  EXPECT_NE(marks.find('U'), std::string::npos) << marks;
  EXPECT_NE(marks.find('Z'), std::string::npos) << marks;
}
