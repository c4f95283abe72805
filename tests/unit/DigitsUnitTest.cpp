// The interval evaluation behind --digits: how it decides, and when it asks for more bits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MathDigs/Interval.hpp"
#include "MathDigs/MathDigs.hpp"
#include "MathPars/MathPars.hpp"
#include "MathTree/MathTree.hpp"

namespace {

// A term parsed with its numbers as written.
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

// The value's text at count digits, or the error text.
std::string Value(const std::string& term, int count) {
  const TParsed p(term);
  return ValueToDigits(p.Tree.get(), p.Leaves, count).Text;
}

}  // namespace

TEST(DigitsText, PlainWithinTheExponentsElseWithOne) {
  struct Case {
    std::string digits;
    std::int64_t exponent;
    int count;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{{"12345", 5, 5, "12345"},
                                         {"12345", 6, 5, "1.2345E+5"},
                                         {"12000", 5, 5, "12000"},
                                         {"10000", 6, 5, "1E+5"},
                                         {"-12500", 1, 5, "-1.25"},
                                         {"12500", -2, 5, "0.00125"},
                                         {"12500", -3, 5, "1.25E-4"},
                                         {"-10000", -3, 5, "-1E-4"},
                                         {"00000", 0, 5, "0"},
                                         {"-00000", 0, 5, "0"},
                                         {"7", 1, 1, "7"},
                                         {"7", 2, 1, "7E+1"}}) {
    EXPECT_EQ(DigitsText(c.digits, c.exponent, c.count), c.text) << c.digits << " " << c.exponent;
  }
}

// An interval holding a jump gives the whole numbers on both sides before the final bits,
// and is taken as lying on it there; a wide one is undecided at any bits.
TEST(DigitsInterval, JumpsTakenOnlyByTheFinalEvaluation) {
  const TParsed jump("floor(0.1*30)");
  for (const bool final : {false, true}) {
    digits::TEvaluator evaluator(jump.Leaves, 200, final);
    digits::TInterval v(200);
    EXPECT_EQ(evaluator.Evaluate(jump.Tree.get(), v.get()), nullptr);
    EXPECT_EQ(mpfr_cmp_ui(&v.get()->left, final ? 3 : 2), 0);
    EXPECT_EQ(mpfr_cmp_ui(&v.get()->right, 3), 0);
  }
  // sin of 1e2000 at 200 bits is all of [-1, 1]: never lying on the pole of cot.
  const TParsed wide("cot(1e2000)");
  digits::TEvaluator evaluator(wide.Leaves, 200, true);
  digits::TInterval v(200);
  EXPECT_THROW(evaluator.Evaluate(wide.Tree.get(), v.get()), digits::TUndecided);
}

TEST(DigitsInterval, NarrowWithinAQuarterOfTheBits) {
  // [scale, scale * (1 + 2^-100)]
  const auto set = [](digits::TInterval& x, long scaleExponent) {
    mpfi_set_ui(x.get(), 1);
    mpfr_add_d(&x.get()->right, &x.get()->right, 0x1p-100, MPFR_RNDU);
    mpfi_mul_2si(x.get(), x.get(), scaleExponent);
  };
  digits::TInterval x(512);
  set(x, 0);
  EXPECT_TRUE(digits::Narrow(x.get(), 256));
  EXPECT_FALSE(digits::Narrow(x.get(), 512));
  set(x, 130);
  EXPECT_TRUE(digits::Narrow(x.get(), 256));
  EXPECT_FALSE(digits::Narrow(x.get(), 256, true));
}

// Each try at more bits draws the same numbers for rnd, those the extended evaluation draws.
TEST(DigitsValue, RndDrawsTheSameNumbersAtEveryTry) {
  RestartRandomSequence();
  const std::string once = Value("rnd(1)+floor(0.1*30)", 25);
  RestartRandomSequence();
  long double extended = 1;
  ASSERT_TRUE(ExtendedFunction(opRnd, extended));
  EXPECT_EQ(once.substr(0, 12), "3.8147236919");
  EXPECT_NEAR(static_cast<double>(extended), 0.8147236919, 1e-10);
  RestartRandomSequence();
}

TEST(DigitsValue, ExactDecimalsAndErrorTexts) {
  EXPECT_EQ(Value("0.1+0.2", 40), "0.3");
  EXPECT_EQ(Value("1/3", 5), "0.33333");
  EXPECT_EQ(Value("2^(-1)", 3), "0.5");
  EXPECT_EQ(Value("ln(0.1-0.1)", 3), "Division by zero");
  EXPECT_EQ(Value("(0.1*30-3)^(-1)", 3), "Nicht erlaubte Potenzierung");
  EXPECT_EQ(Value("(-2)^(0.1*30)", 3), "-8");
}

TEST(DigitsRoot, WithAndWithoutASymbolicSlope) {
  const TParsed f("x^2-2");
  const TParsed slope("2*x");
  const std::string root = "1.4142135623730950488016887242097";
  for (const TKoOperatorNode* s : {static_cast<const TKoOperatorNode*>(slope.Tree.get()),
                                   static_cast<const TKoOperatorNode*>(nullptr)}) {
    // The slope's variable lives in another depot: the running value reaches both by name.
    const TKoDigitsOutcome r =
        RootToDigits(f.Tree.get(), s, f.Leaves, "X", 1.4142135623730950488L, 32);
    EXPECT_FALSE(r.Failed);
    EXPECT_EQ(r.Text, root);
  }
  const TParsed none("x^2+1");
  EXPECT_TRUE(RootToDigits(none.Tree.get(), nullptr, none.Leaves, "X", 0.5L, 20).Failed);
}
