// --digits N in the numeric modes (integral, arc length, derivative) and --accurate for the
// numeric derivative: every printed digit right, or the refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

constexpr const char* kRefused = "Die verlangten Stellen sind nicht sicher bestimmbar!\n";

struct NumericCase {
  std::vector<std::string> args;  // the switches and the term after --digits N
  std::string thirty;             // the result at 30 digits
  std::string hundred;            // and at 100
};

void ExpectAtBoth(const std::vector<NumericCase>& cases) {
  for (const NumericCase& c : cases) {
    for (const auto& [digits, value] : {std::pair{"30", c.thirty}, std::pair{"100", c.hundred}}) {
      std::vector<std::string> args = {"--digits", digits};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const CliResult r = RunTcalc(args);
      EXPECT_EQ(r.out, value + "\n") << digits << " digits of " << c.args.back();
      EXPECT_EQ(r.err, "") << c.args.back();
      EXPECT_EQ(r.status, 0) << c.args.back();
    }
  }
}

}  // namespace

// References from mpmath at 140 digits (closed forms where there are).
TEST(DigitsNumeric, IntegralsOfEveryKind) {
  ExpectAtBoth({
      {{"\\m", "\\i", "\\vx=0", "\\t1", "4/(1+x^2)"},
       "3.14159265358979323846264338328",
       "3.14159265358979323846264338327950288419716939937510582097494459230781640628620899862803"
       "4825342117068"},
      {{"\\m", "\\i", "\\vx=0", "\\t100", "sin(x)*exp(-x/10)"},
       "0.990062524435860718683779268484",
       "0.99006252443586071868377926848407727847914410064680721854372367944125217254113888347239"
       "28133173377592"},
      // Ends where the term runs off or its slope does.
      {{"\\m", "\\i", "\\vx=0", "\\t1", "sqrt(x)"},
       "0.666666666666666666666666666667",
       "0.66666666666666666666666666666666666666666666666666666666666666666666666666666666666666"
       "66666666666667"},
      {{"\\m", "\\i", "\\vx=0", "\\t1", "ln(x)"}, "-1", "-1"},
      {{"\\m", "\\i", "\\vx=0", "\\t1", "x^(-0.7)"},
       "3.33333333333333333333333333333",
       "3.33333333333333333333333333333333333333333333333333333333333333333333333333333333333333"
       "3333333333333"},
      {{"\\m", "\\i", "\\vx=-1", "\\t1", "1/sqrt(1-x^2)"},
       "3.14159265358979323846264338328",
       "3.14159265358979323846264338327950288419716939937510582097494459230781640628620899862803"
       "4825342117068"},
      // A kink and jumps at thirds, which no extended number holds.
      {{"\\m", "\\i", "\\vx=0", "\\t1", "abs(x-1/3)"},
       "0.277777777777777777777777777778",
       "0.27777777777777777777777777777777777777777777777777777777777777777777777777777777777777"
       "77777777777778"},
      {{"\\m", "\\i", "\\vx=0", "\\t1", "floor(3*x)"}, "1", "1"},
      // A jump at a decimal bound: 0.3 as written, not its extended neighbour.
      {{"\\m", "\\i", "\\vx=0", "\\t1", "sgn(x-0.3)*x"}, "0.41", "0.41"},
      // A peak and a long tail.
      {{"\\m", "\\i", "\\vx=-1", "\\t1", "1/(x^2+1e-4)"},
       "312.159332021646276204996315086",
       "312.159332021646276204996315086094378707443069428635254171906575591490329987809143866914"
       "1534968768887"},
      {{"\\m", "\\i", "\\vx=-10", "\\t10", "exp(-x^2)"},
       "1.77245385090551602729816748334",
       "1.77245385090551602729816748334114518279754945242063926780552886959934483645712460923874"
       "0404704775901"},
  });
}

TEST(DigitsNumeric, ArcLengths) {
  ExpectAtBoth({
      {{"\\w", "\\vx=0", "\\t1", "x^2"},
       "1.47894285754459743382790601943",
       "1.47894285754459743382790601943391443507169743059500825188121224933538336352506878051621"
       "4276031433744"},
      {{"\\w", "\\vx=0", "\\t1", "cosh(x)"},
       "1.1752011936438014568823818506",
       "1.17520119364380145688238185059560081515571798133409587022956541301330756730432389560711"
       "7452089623392"},
      // The slope runs off at 0: the length of sqrt(x) is that of x^2.
      {{"\\w", "\\vx=0", "\\t1", "sqrt(x)"},
       "1.47894285754459743382790601943",
       "1.47894285754459743382790601943391443507169743059500825188121224933538336352506878051621"
       "4276031433744"},
  });
}

TEST(DigitsNumeric, DerivativesFromTheSymbolicOne) {
  ExpectAtBoth({
      {{"\\m", "\\d2", "\\vx=0.1", "sin(0.1*x)*exp(x)"},
       "0.231964141734705230841345720243",
       "0.23196414173470523084134572024264318616333525284704616459315916531325714559301880149675"
       "6101762347624"},
      {{"\\m", "\\d3", "\\vx=0.7", "ln(x)*x^2"},
       "2.85714285714285714285714285714",
       "2.85714285714285714285714285714285714285714285714285714285714285714285714285714285714285"
       "7142857142857"},
  });
}

// What cannot be made certain is refused; the quotients' failures and the texts of the
// adaptive integral stand as they are.
TEST(DigitsNumeric, RefusalsAndFailures) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // The extended run finds the peak, but no rule here can reach 30 digits of it.
      {{"--digits", "30", "\\m", "\\i", "\\vx=0", "\\t1e9", "exp(-x)"}, kRefused},
      // At a jump the quotients' failure; beside it floor has no derivative to form.
      {{"--digits", "30", "\\m", "\\d1", "\\vx=1", "floor(x)"},
       "Fehler bei der numerischen Differenzierung\n"},
      {{"--digits", "30", "\\m", "\\d1", "\\vx=0.5", "floor(x)"}, kRefused},
      {{"--digits", "30", "\\m", "\\d8", "\\vx=0.476", "ln(x^3+x)+x"},
       "-1908303.4404548066075918649939\n"},
      {{"--digits", "30", "\\m", "\\i", "\\vx=0", "\\t1", "1/x"}, "Das Integral divergiert!\n"},
      {{"--digits", "30", "\\m", "\\i", "\\vx=1", "\\t0", "x"},
       "Intervallende muss gr\x94\xe1"
       "er als Intervallanfang sein!\n"},
      {{"--digits", "30", "\\m", "\\i", "\\vx=0", "\\t1", "rnd(x)"},
       "Fehler bei der numerischen Berechnung!\n"},
      // Digits beyond what an integral can be worked out to in time.
      {{"--digits", "100000", "\\m", "\\i", "\\vx=0", "\\t1", "x"}, kRefused},
      {{"--digits", "3000", "\\w", "\\vx=0", "\\t1", "x"}, kRefused},
  };
  for (const auto& [args, out] : cases) {
    const CliResult r = RunTcalc(args);
    EXPECT_EQ(r.out, out) << args.back();
    EXPECT_EQ(r.status, 0) << args.back();
  }
}

TEST(DigitsNumeric, HeaderAndStrictStatus) {
  const CliResult r = RunTcalc({"--digits", "20", "\\s", "\\m", "\\i", "\\vx=0", "\\t1", "x^2"});
  EXPECT_EQ(r.out,
            "Die Fl\x84"
            "che von x^2 im Intervall [0,1] betr\x84gt:\n0.33333333333333333333\n");
  EXPECT_EQ(
      RunTcalc({"--strict", "--digits", "30", "\\m", "\\i", "\\vx=0", "\\t1e9", "exp(-x)"}).status,
      1);
}

// --accurate: the symbolic derivative's value, correctly rounded to the 17 digits printed;
// references from mpmath's diff at 40 digits.
TEST(AccurateDerivative, EveryPrintedDigitRight) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"\\m", "\\d3", "\\vx=0.7", "ln(x)*x^2"}, "2.8571428571428571"},
      {{"\\m", "\\d5", "\\vx=1.3", "exp(-x)*cos(3*x)"}, "60.26806613064627"},
      {{"\\m", "\\d1", "\\vx=0.3", "arctan(x)"}, "0.91743119266055046"},
      {{"\\m", "\\d1", "\\vx=2", "x^0.1"}, "0.053588673126814658"},
      // Levels beyond the room for nodes: differences at the full bits.
      {{"\\m", "\\d8", "\\vx=0.476", "ln(x^3+x)+x"}, "-1908303.4404548066"},
      // Beyond the extended range the quotients' value, as without the option.
      {{"\\m", "\\d3", "\\vx=0.5", "tan(x)^2147486471"}, "0"},
      // No symbolic derivative at a jump's side: the quotients as without the option.
      {{"\\m", "\\d1", "\\vx=0.5", "floor(x)"}, "0"},
  };
  for (const auto& [args, out] : cases) {
    std::vector<std::string> all = {"--accurate"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(RunTcalc(all).out, out + "\n") << args.back();
  }
}

// The adaptive integral's peaks stay found.
TEST(AccurateDerivative, PeaksOfTheAdaptiveIntegralStayFound) {
  EXPECT_EQ(RunTcalc({"--accurate", "\\m", "\\i", "\\vx=0", "\\t1e9", "exp(-x)"}).out, "1\n");
  EXPECT_EQ(RunTcalc({"--accurate", "\\m", "\\i", "\\vx=-1e9", "\\t1e9", "exp(-x^2)"}).out,
            "1.772453850905516\n");
}

// The quotients on a terminal: a hint where their estimated error reaches into the 17
// digits printed; none where they are exact, and none in a pipe.
TEST(DerivativeHint, OnTerminalsWhereTheQuotientsAreInexact) {
  EXPECT_EQ(RunTcalcOnTerminal({"\\m", "\\d8", "\\vx=1", "sin(x)"}, "C").out,
            "0.84147098480816832\nHinweis: Ergebnis vermutlich nur auf 10 Stellen genau; genauer "
            "mit --accurate\n");
  EXPECT_EQ(RunTcalcOnTerminal({"\\m", "\\d1", "\\vx=1", "x^3"}, "C").out, "3\n");
  const CliResult piped = RunTcalc({"\\m", "\\d8", "\\vx=1", "sin(x)"});
  EXPECT_EQ(piped.out, "0.84147098480816832\n");
  EXPECT_EQ(piped.err, "");
  // With --accurate the symbolic derivative, and no hint.
  EXPECT_EQ(RunTcalcOnTerminal({"--accurate", "\\m", "\\d8", "\\vx=1", "sin(x)"}, "C").out,
            "0.84147098480789651\n");
}

// --accurate toward an end where the term oscillates ever faster: zero by zero, the partial
// sums extrapolated (references: mpmath's quadosc after u = 1/x, 30 digits).
TEST(AccurateIntegral, OscillatingTowardAnEnd) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"\\vx=0", "\\t1", "sin(1/x)"}, "0.50406706190692837"},
      {{"\\vx=0", "\\t1", "cos(1/x)"}, "-0.084410950559573887"},
      {{"\\vx=0", "\\t1", "sin(1/x)/x"}, "0.6247132564277136"},
      {{"\\vx=0", "\\t1", "sin(1/x^2)"}, "0.28573664632285259"},
      {{"\\vx=-1", "\\t0", "sin(1/x)"}, "-0.50406706190692837"},
  };
  for (const auto& [args, out] : cases) {
    std::vector<std::string> all = {"--accurate", "\\m", "\\i"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(RunTcalc(all).out, out + "\n") << args.back();
  }
  // The length stays refused: it is infinite, too slowly to tell.
  EXPECT_EQ(RunTcalc({"--accurate", "\\w", "\\vx=0", "\\t1", "sin(1/x)"}).out,
            "Fehler bei der numerischen Berechnung!\n");
}
