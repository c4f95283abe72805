// --digits N: values and Newton's roots to N significant digits, every one of them right.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

struct DigitsCase {
  int digits;
  std::string term;
  std::string value;
};

void ExpectDigits(const std::vector<DigitsCase>& cases) {
  for (const DigitsCase& c : cases) {
    const CliResult r = RunTcalc({"--digits", std::to_string(c.digits), c.term});
    EXPECT_EQ(r.out, c.value + "\n") << c.digits << " digits of " << c.term;
    EXPECT_EQ(r.status, 0) << c.term;
  }
}

}  // namespace

// Reference digits from an independent computation with 50 more digits.
TEST(Digits, EveryFunctionAtHardPoints) {
  ExpectDigits({
      {30, "4*arctan(1)", "3.14159265358979323846264338328"},
      {50, "pi", "3.1415926535897932384626433832795028841971693993751"},
      {50, "e", "2.7182818284590452353602874713526624977572470937"},
      {30, "exp(-1000)", "5.07595889754945676529180947957E-435"},
      {30, "exp(1e-20)", "1.00000000000000000001"},
      {30, "ln(1.0000001)", "9.99999950000003333333083333353E-8"},
      {30, "log(2)", "0.301029995663981195213738894724"},
      {30, "ld(3)", "1.58496250072115618145373894395"},
      {30, "sqr(1e200)", "1E+400"},
      {30, "sqrt(2e-300)", "1.41421356237309504880168872421E-150"},
      // Huge arguments need pi to many digits; near poles the argument's own digits count.
      {30, "sin(1e22)", "-0.852200849767188801772705893753"},
      {30, "cos(1e22)", "0.523214785395138945497594473385"},
      {30, "tan(1.5707963267948966)", "51998506188720270.6601947416612"},
      {30, "cot(3.14159265358979323846)", "-378303066284076833726.922407666"},
      {30, "arcsin(0.99999999999)", "1.57079185465894161592514891078"},
      {30, "arccos(-1)", "3.14159265358979323846264338328"},
      {30, "arctan(1e30)", "1.57079632679489661923132169164"},
      {30, "arccot(-1e-30)", "1.57079632679489661923132169164"},
      {30, "arccot(-1)", "2.35619449019234492884698253746"},
      {30, "sinh(1e-20)", "1E-20"},
      {30, "cosh(100)", "1.34405857090806772420631277579E+43"},
      {30, "tanh(20)", "0.999999999999999991503291489417"},
      {30, "coth(1e-10)", "10000000000.0000000000333333333"},
      {30, "arcsinh(-1e10)", "-23.7189981105004021495996466683"},
      {30, "arccosh(1.0000000001)", "1.41421356236130993578217809718E-5"},
      {30, "arctanh(0.9999999999)", "11.8594990552252010747979483342"},
      {30, "arccoth(-1.0000000001)", "-11.8594990552752010747979483342"},
      // Whole and half values, also where the term reaches them only exactly (0.1*25).
      {30, "round(2.5)", "3"},
      {30, "round(-2.5)", "-2"},
      {30, "round(0.1*25)", "3"},
      {30, "round(-0.1*25)", "-2"},
      {30, "floor(-0.5)", "-1"},
      {30, "floor(0.1*30)", "3"},
      {30, "ceil(1e-30)", "1"},
      {30, "trunc(-2.7)", "-2"},
      {30, "frac(-2.75)", "-0.75"},
      {30, "frac(1e20+0.5)", "0.5"},
      {30, "sgn(-1e-300)", "-1"},
      {30, "zero(0)", "0"},
      {30, "heav(0)", "1"},
      {30, "abs(-3.25)", "3.25"},
      {30, "phase(1)", "-1"},
      {30, "phase(-1)", "-3"},
      {30, "rnd(1)", "0.814723691903054714202880859375"},
      {30, "5!", "120"},
      {30, "25!", "15511210043330985984000000"},
      {30, "0.5!", "0.886226925452758013649083741671"},
      {30, "(-0.5)!", "1.77245385090551602729816748334"},
      {30, "(-1.5)!", "-3.54490770181103205459633496668"},
      {30, "170.5!", "9.4833675668247993362534054692E+307"},
      {30, "100!", "9.33262154439441526816992388563E+157"},
      {30, "3000!", "4.14935960343785408555686709309E+9130"},
      // Cancellations that leave nothing in 80 bits.
      {30, "exp(40)-exp(40)*(1-1e-30)", "2.35385266837019985407899910749E-13"},
      {30, "(1+1e-25)^(1e25)", "2.71828182845904523536028733544"},
      {30, "0.1+0.2-0.3", "0"},
      {30, "sin(pi)", "0"},
      {30, "2^0.5", "1.41421356237309504880168872421"},
      {30, "(-2)^(-3)", "-0.125"},
      {30, "2^3^2", "64"},
      {30, "exp(20000)", "7.75600472598686104583204067926E+8685"},
      // Arguments larger than the first bits can hold: more bits until the sine is narrow.
      {20, "sin(1e2000)", "0.26783674421401086519"},
      {20, "cos(3000!)", "0.46322054023144430304"},
      {5, "cot(3000!)", "-0.52268"},
      {20, "frac(pi*10^3000)", "0.56794520809514655023"},
      {20, "tan(pi/4)^(170!)", "1"},
      // A whole number too large for the bits: floor gives the whole numbers between the ends.
      {12, "floor(26000!)", "1.8075726307E+103500"},
      // Ends of the domains reached only exactly.
      {30, "arcsin(sin(pi/2))", "1.57079632679489661923132169164"},
      {30, "arccosh(e/e)", "0"},
  });
}

// Plain from the exponent -3 to N-1, else the exponent form; exact halves round to even.
TEST(Digits, FormatAtTheExponentBoundaries) {
  ExpectDigits({
      {5, "123456", "1.2346E+5"},
      {5, "12345", "12345"},
      {5, "0.001", "0.001"},
      {5, "0.0001", "1E-4"},
      {5, "-0.00012345", "-1.2345E-4"},
      {5, "99999.5", "1E+5"},
      {5, "10^(-5)", "1E-5"},
      {1, "0.15", "0.2"},
      {1, "15", "2E+1"},
      {2, "0.125", "0.12"},
      {2, "-0.125", "-0.12"},
      {2, "0.1*1.25", "0.12"},
      {2, "0.135", "0.14"},
      {17, "1/3", "0.33333333333333333"},
      {17, "10^16", "10000000000000000"},
      {17, "10^17", "1E+17"},
      {20, "123456789012345678901234567890123", "1.234567890123456789E+32"},
  });
}

TEST(Digits, NoValueGivesTheTextOfTheExtendedEvaluation) {
  ExpectCases({
      {{"--digits", "30", "1/0"}, "Division durch 0\n"},
      {{"--digits", "30", "0^(-1)"}, "Nicht erlaubte Potenzierung\n"},
      {{"--digits", "30", "(-8)^(1/3)"}, "Nicht erlaubte Potenzierung\n"},
      {{"--digits", "30", "ln(0)"}, "Division by zero\n"},
      {{"--digits", "30", "sqrt(-1)"}, "Invalid floating point operation\n"},
      {{"--digits", "30", "arccosh(0.5)"}, "Invalid argument\n"},
      {{"--digits", "30", "(-2)!"}, "Illegale Operationen\n"},
      {{"--digits", "30", "arctanh(1)"}, "Division by zero\n"},
      {{"--digits", "30", "arccoth(0.5)"}, "Invalid floating point operation\n"},
      {{"--digits", "30", "cot(0)"}, "Division by zero\n"},
      {{"--digits", "30", "exp(exp(100))"}, "Floating point overflow\n"},
      {{"--digits", "30", "ln(1/0)"}, "Division by zero\n"},
      {{"--digits", "30", "sin(1/0)"}, "Division durch 0\n"},
      {{"--digits", "30", "sin("}, "Syntaxfehler\n"},
      {{"--strict", "--digits", "30", "1/0"}, "Division durch 0\n", 1},
      // Beyond 1 by less than the extended type can tell, and a pole hit exactly.
      {{"--digits", "30", "arcsin(1.0000000000000000000001)"}, "Invalid argument\n"},
      {{"--digits", "30", "tan(pi/2)"}, "Division by zero\n"},
      {{"--digits", "30", "1/(0.1+0.2-0.3)"}, "Division durch 0\n"},
  });
}

TEST(Digits, VariablesAndSwitches) {
  ExpectCases({
      {{"--digits", "30", "\\va=0.1", "a*3"}, "0.3\n"},
      {{"--digits=25", "\\va=2", "\\vb=3", "sqrt(a)*b"}, "4.242640687119285146405066\n"},
      {{"--digits", "20", "\\vpi=3", "pi"}, "3\n"},
      {{"--digits", "20", "\\s", "x+1"}, "x+1\n =\n1\n"},
      {{"--digits", "20", "-"}, ""},
      // Values from constant terms have every digit too, with Pi and e as given.
      {{"--digits", "30", "\\va=1/10", "a"}, "0.1\n"},
      {{"--digits", "30", "\\vx=pi/2", "x"}, "1.57079632679489661923132169164\n"},
      {{"--digits", "40", "\\va=sqrt(2)", "a^2"}, "2\n"},
      {{"--digits", "20", "\\vPi=3", "\\va=pi/2", "a"}, "1.5\n"},
      {{"--digits", "30", "\\vx=3", "\\va=pi", "\\n", "sin(x)-sin(a)"},
       "3.14159265358979323846264338328\n"},
  });
  EXPECT_EQ(RunTcalcWithInput({"--digits", "20", "-"}, "1/3\n2/3\n").out,
            "0.33333333333333333333\n0.66666666666666666667\n");
}

TEST(Digits, NewtonFindsTheRootToTheDigits) {
  ExpectCases({
      {{"--digits", "40", "\\n", "\\vx=2.5", "x^2-2"},
       "1.41421356237309504880168872420969807857\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "x^3-2*x-5"},
       "2.094551481542326591482386540579302963857\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "sin(x)"},
       "3.141592653589793238462643383279502884197\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "x!-3"},
       "2.405869986309566924699929218375558009595\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "(x-1)^2"}, "1\n"},
      // A double root: its steps taken twice once their ratio is steady.
      {{"--digits", "60", "\\n", "\\vx=2.5", "(x-sqrt(2))^2"},
       "1.41421356237309504880168872420969807856967187537694807317668\n"},
      {{"--digits", "30", "\\n", "\\vx=0.5", "sin(x)"}, "0\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "x^2+1"}, "Newtonverfahren konvergiert nicht!\n"},
      {{"--digits", "40", "\\n", "\\vx=2.5", "0*x+5"}, "Ableitung im Newtonverfahren ist Null!\n"},
      {{"--digits", "20", "\\s", "\\n", "\\vx=1", "x^2-3"},
       "Der angen\204herte Wert von x^2-3 betr\204gt:\n1.7320508075688772935\n"},
  });
}

// The other modes compute with 17 digits and say so on standard error.
TEST(Digits, OtherModesSayTheyComputeWith17Digits) {
  const std::string note = "Hinweis: Dieser Modus rechnet mit 17 Stellen, nicht mit --digits.\n";
  // The numeric derivative, the integral and the arc length compute to the digits now.
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--digits", "30", "\\d", "x^3"},
                                             {"--digits", "30", "\\i", "x^3"},
                                             {"--digits", "30", "\\c", "x+x"}}) {
    const CliResult with = RunTcalc(args);
    const CliResult without = RunTcalc(std::vector<std::string>(args.begin() + 2, args.end()));
    EXPECT_EQ(with.out, without.out) << args[2];
    EXPECT_EQ(with.err, note) << args[2];
  }
  EXPECT_EQ(RunTcalc({"--digits", "30", "1/3"}).err, "");
}

TEST(Digits, BadCountsAreNamed) {
  for (const std::string& count :
       std::vector<std::string>{"0", "100001", "-5", "abc", "", "1e3", "2.5", " 5"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--digits", count, "1/3"}, {"--digits=" + count, "1/3"}}) {
      const CliResult r = RunTcalc(args);
      EXPECT_EQ(r.status, 2) << count;
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err,
                "Die Stellenzahl von --digits muss eine ganze Zahl von 1 bis 100000 sein: \"" +
                    count + "\" (Hilfe: tcalc --help)\n");
    }
  }
  const CliResult last = RunTcalc({"--digits"});
  EXPECT_EQ(last.status, 2);
  EXPECT_EQ(RunTcalc({"--digits", "100000", "1"}).out, "1\n");
}

TEST(Digits, ThousandsOfDigits) {
  const CliResult pi = RunTcalc({"--digits", "100000", "pi"});
  ASSERT_EQ(pi.out.size(), 100002U);
  EXPECT_EQ(pi.out.substr(0, 12), "3.1415926535");
  // The last ten of the 100000 digits, from an independent computation.
  EXPECT_EQ(pi.out.substr(pi.out.size() - 11), "5549362465\n");
}
