#include <gtest/gtest.h>

#include <string>

#include "SymbolicHelpers.hpp"

namespace {

using symtest::Derivative;
using symtest::Evaluator;
using symtest::Source;

struct Case {
  const char* term;
  const char* printed;
};

TEST(Differencer, PrintsTheSimplifiedDerivative) {
  const Case cases[] = {
      {"5", "0"},
      {"y", "0"},
      {"x", "1"},
      {"3*x", "3"},
      {"x*x", "2*x"},
      {"1/x", "-1/x^2"},
      {"2/x", "-2/x^2"},
      {"x^3", "3*x^2"},
      {"(2*x)^3", "(2*x)^2*6"},
      {"x^x", "exp(x*ln(x))*(ln(x)+x*1/x)"},
      {"sin(2*x)", "cos(2*x)*2"},
      {"sin(x)", "cos(x)"},
      {"abs(3)+x", "1"},
      {"cos(x)", "-sin(x)"},
      {"exp(x)", "exp(x)"},
      {"ln(x)", "1/x"},
      {"x*y*x", "y*2*x"},
      {"x/y", "1/y"},
      {"(x+1)/(x-1)", "(x-1-(x+1))/(x-1)^2"},
      {"x^2^0.5", "x^2^(-0.5)*x"},
      {"2^x", "exp(x*ln(2))*ln(2)"},
  };
  for (const Case& c : cases) EXPECT_EQ(Derivative(c.term), c.printed) << c.term;
}

TEST(Differencer, FunctionsWithoutADerivativeFail) {
  for (const char* term : {"abs(x)", "x!", "(2*x)!+1", "sgn(x)*x", "floor(x)", "rnd(x)"})
    EXPECT_EQ(Derivative(term), "Fehler im Differenzieren") << term;
  // Free of the running variable, they are constants.
  EXPECT_EQ(Derivative("abs(y)*x+3!"), "abs(y)");
}

TEST(Differencer, NestedPowersKeepTheirValue) {
  // x^2^0.5 is abs(x): its slope at -2 is -1, not 1.
  Evaluator derivative(Derivative("x^2^0.5"));
  long double value = 0;
  ASSERT_TRUE(derivative.At(-2, value));
  EXPECT_EQ(value, -1);
}

TEST(Differencer, HigherLevelsWorkOnACopy) {
  Source source("x^3+sin(x)");
  EXPECT_EQ(Derivative(source.F, 2), "x*6-sin(x)");
  EXPECT_EQ(Derivative(source.F, 3), "6-cos(x)");
  EXPECT_EQ(source.F.FunctionString(), "x^3+sin(x)");
}

TEST(Differencer, LevelBelowOneIsRefused) {
  TKoMathTreeFunction g;
  TKoMathDifferencer differencer(&g);
  for (const auto& [level, text] : {std::pair{0, "Es gibt keine 0. Ableitung!"},
                                    std::pair{-2, "Es gibt keine -2. Ableitung!"}}) {
    try {
      differencer.SetDiffLevel(level);
      FAIL() << "no exception";
    } catch (const EKoIllegalDiffLevel& e) {
      EXPECT_STREQ(e.what(), text);
    }
  }
  EXPECT_EQ(differencer.GetDiffLevel(), 1);
}

TEST(Differencer, SourceThatFailedToParseGivesTheParserText) {
  EXPECT_EQ(Derivative("2x"), "Syntaxfehler");
  EXPECT_EQ(Derivative(""), "Syntaxfehler");
}

// Without a given name the variable is x, or the first variable when there is no x.
TEST(Differencer, ChoosesTheRunningVariableWhenNoneIsGiven) {
  const auto derive = [](const std::string& term) {
    TKoMathTreeFunction f;
    auto parser = std::make_unique<TKoMathParser>(&f);
    parser->SetFunctionString(term);
    f.SetCreator(std::move(parser));
    TKoMathTreeFunction g;
    auto differencer = std::make_unique<TKoMathDifferencer>(&g);
    differencer->SetSource(&f);
    differencer->Execute();  // builds the source through its parser
    const std::string name = differencer->GetRunningVarName();
    g.SetCreator(std::move(differencer));
    g.Simplify();
    return name + ": " + g.FunctionString();
  };
  EXPECT_EQ(derive("t^2+b"), "b: 1");
  EXPECT_EQ(derive("t^2+x"), "x: 1");
  EXPECT_EQ(derive("5"), "x: 0");
}

TEST(Differencer, GivenRunningVariableIsUsed) {
  Source source("t^2+x");
  TKoMathTreeFunction g;
  auto differencer = std::make_unique<TKoMathDifferencer>(&g);
  differencer->SetSource(&source.F);
  differencer->SetRunningVarName("T");
  differencer->Execute();
  g.SetCreator(std::move(differencer));
  g.Simplify();
  EXPECT_EQ(g.FunctionString(), "2*t");
}

TEST(Differencer, CloneKeepsLevelSourceAndVariable) {
  Source source("t^3");
  TKoMathTreeFunction g, h;
  TKoMathDifferencer differencer(&g);
  differencer.SetSource(&source.F);
  differencer.SetDiffLevel(2);
  differencer.SetRunningVarName("t");
  auto copy = differencer.Clone(&h);
  copy->Execute();
  h.Simplify();
  EXPECT_EQ(h.FunctionString(), "t*6");
}

TEST(Differencer, TooManyNodesFailAndFreeEverything) {
  const std::int32_t before = TKoOperatorNode::GetInstanceCount();
  {
    std::string term = "x";
    for (int i = 1; i < 150; ++i) term += "*x";
    Source source(term);
    TKoMathTreeFunction g;
    auto creator = std::make_unique<TKoMathDifferencer>(&g);
    TKoMathDifferencer* differencer = creator.get();
    g.SetCreator(std::move(creator));
    differencer->SetSource(&source.F);
    differencer->Execute();
    EXPECT_EQ(differencer->ErrorText, "Fehler im Differenzieren");
    EXPECT_EQ(g.GetTree(), nullptr);
    EXPECT_EQ(TKoOperatorNode::GetInstanceCount(), before + 151);
  }
  EXPECT_EQ(TKoOperatorNode::GetInstanceCount(), before);
}

// The printed derivative, read back, agrees with the difference quotient of the source.
TEST(Differencer, AgreesWithTheDifferenceQuotientOnRandomTerms) {
  symtest::TermMaker maker(11);
  int compared = 0;
  for (int t = 0; t < 400; ++t) {
    const std::string term = maker.Any(3);
    const std::string printed = Derivative(term);
    ASSERT_NE(printed, "Fehler im Differenzieren") << term;
    Evaluator source(term), derivative(printed);
    ASSERT_TRUE(derivative.Parsed()) << term << " -> " << printed;
    for (int p = 0; p < 5; ++p) {
      const long double x = maker.Point(-3, 3);
      long double slope = 0, value = 0, actual = 0;
      if (!source.At(x, value) || std::fabs(value) > 1e6L) continue;
      if (!source.SmoothSlope(x, slope) || std::fabs(slope) > 1e6L) continue;
      ASSERT_TRUE(derivative.At(x, actual))
          << term << " -> " << printed << " at " << static_cast<double>(x);
      EXPECT_NEAR(static_cast<double>(actual), static_cast<double>(slope),
                  1e-6 * (1 + std::fabs(static_cast<double>(slope))))
          << term << " -> " << printed << " at " << static_cast<double>(x);
      ++compared;
    }
  }
  EXPECT_GT(compared, 500);
}

}  // namespace
