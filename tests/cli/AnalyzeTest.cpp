// --analyze and equations: every point of a discussion proven, every printed digit right.
// Reference digits from an independent computation with 40 digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

// The line of a discussion that begins with label, without the label.
std::string LineOf(const std::string& out, const std::string& label) {
  const std::string start = label + ": ";
  std::size_t at = out.rfind("\n" + start);
  at = out.rfind(start, 0) == 0 ? 0 : (at == std::string::npos ? at : at + 1);
  if (at == std::string::npos) return "(no line " + label + ")";
  const std::size_t end = out.find('\n', at);
  return out.substr(at + start.size(), end - at - start.size());
}

struct LineCase {
  std::vector<std::string> args;
  std::string label;
  std::string content;
};

void ExpectLines(const std::vector<LineCase>& cases) {
  for (const LineCase& c : cases) {
    std::vector<std::string> args{"--utf8", "--analyze"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = RunTcalc(args);
    EXPECT_EQ(LineOf(r.out, c.label), c.content) << c.args.back() << ": " << c.label;
    EXPECT_EQ(r.status, 0) << c.args.back();
  }
}

}  // namespace

TEST(Analyze, TheWholeDiscussionOfACubic) {
  ExpectCases({{{"--utf8", "--analyze", "x^3-3*x"},
                "Intervall: [-10; 10]\n"
                "Ableitungen: f'(x) = 3*x^2-3; f''(x) = 6*x\n"
                "Definitionslücken: keine\n"
                "Nullstellen: x = -1.7320508075688773; x = 0; x = 1.7320508075688773\n"
                "Schnittpunkt mit der y-Achse: (0|0)\n"
                "Hochpunkte: (-1|2)\n"
                "Tiefpunkte: (1|-2)\n"
                "Sattelpunkte: keine\n"
                "Wendepunkte: (0|0)\n"
                "Symmetrie: punktsymmetrisch zum Ursprung\n"
                "Monotonie: steigend in [-10; -1], fallend in [-1; 1], steigend in [1; 10]\n"
                "Größter Wert: (10|970)\n"
                "Kleinster Wert: (-10|-970)\n"}});
}

TEST(Analyze, ZerosWithTheirMultiplicity) {
  ExpectLines({
      {{"x^3-6*x^2+9*x"}, "Nullstellen", "x = 0; x = 3 (doppelt)"},
      {{"(x-1)^3*(x+2)^2"}, "Nullstellen", "x = -2 (doppelt); x = 1 (dreifach)"},
      {{"(3*x-1)^2"}, "Nullstellen", "x = 0.33333333333333333 (doppelt)"},
      {{"x^4*(x-5)"}, "Nullstellen", "x = 0 (4-fach); x = 5"},
      {{"x^2-2"}, "Nullstellen", "x = -1.414213562373095; x = 1.414213562373095"},
      {{"ln(x^2+1)"}, "Nullstellen", "x = 0 (doppelt)"},
      // The term and its three derivatives vanish exactly there: more than three-fold.
      {{"x^4*exp(-x)"}, "Nullstellen", "x = 0 (mehrfach)"},
      {{"x^2+1"}, "Nullstellen", "keine"},
      // Multiple zeros of other terms as far as the interval tests can tell.
      {{"\\vx=1", "\\t5", "sin(x)^2"}, "Nullstellen", "x = 3.1415926535897932 (mehrfach)"},
      // Where the term is exactly 0 on a stretch, and at the end of its domain.
      {{"heav(x)*x"}, "Nullstellen", "-10 <= x <= 0"},
      // A term that is 0 everywhere, though intervals see x-x as [-20; 20].
      {{"x-x"}, "Nullstellen", "-10 <= x <= 10"},
      {{"sqrt(4-x^2)"}, "Nullstellen", "x = -2; x = 2"},
      {{"\\vx=0", "\\t10", "x*ln(x)"}, "Nullstellen", "x = 1"},
  });
}

TEST(Analyze, GapsPolesAndAsymptotes) {
  ExpectLines({
      {{"1/x"}, "Definitionslücken", "x = 0 (Polstelle mit Vorzeichenwechsel)"},
      {{"1/x^2"}, "Definitionslücken", "x = 0 (Polstelle ohne Vorzeichenwechsel)"},
      {{"sin(x)/x"}, "Definitionslücken", "x = 0 (hebbar, Grenzwert 1)"},
      {{"(x^2-1)/(x-1)"}, "Definitionslücken", "x = 1 (hebbar, Grenzwert 2)"},
      {{"\\vx=-2.5", "\\t2.5", "floor(x)"},
       "Definitionslücken",
       "x = -2 (Sprung); x = -1 (Sprung); x = 0 (Sprung); x = 1 (Sprung); x = 2 (Sprung)"},
      {{"sqrt(x)"}, "Definitionslücken", "x < 0"},
      {{"ln(x)"}, "Definitionslücken", "x <= 0"},
      {{"sqrt(x^2-4)"}, "Definitionslücken", "-2 < x < 2"},
      {{"\\vx=-3", "\\t3", "tan(x)"},
       "Definitionslücken",
       "x = -1.5707963267948966 (Polstelle mit Vorzeichenwechsel); x = 1.5707963267948966 "
       "(Polstelle mit Vorzeichenwechsel)"},
      {{"(x^2+1)/(x-1)"}, "Asymptoten", "x = 1; y = x+1"},
      {{"x^2/(x^2-1)"}, "Asymptoten", "x = -1; x = 1; y = 1"},
      {{"1/x"}, "Asymptoten", "x = 0; y = 0"},
      {{"x^3-3*x"}, "Asymptoten", "(no line Asymptoten)"},
  });
}

TEST(Analyze, ExtremaSaddlesKinksAndInflections) {
  ExpectLines({
      {{"(x^2+1)/(x-1)"}, "Hochpunkte", "(-0.41421356237309505|-0.8284271247461901)"},
      {{"(x^2+1)/(x-1)"}, "Tiefpunkte", "(2.414213562373095|4.8284271247461901)"},
      {{"x^2*exp(-x)"}, "Hochpunkte", "(2|0.54134113294645077)"},
      {{"x^2*exp(-x)"},
       "Wendepunkte",
       "(0.58578643762690495|0.19101822605697694); (3.414213562373095|0.38353699051253862)"},
      {{"x^3"}, "Sattelpunkte", "(0|0)"},
      {{"x^3"}, "Hochpunkte", "keine"},
      {{"abs(x)"}, "Tiefpunkte", "(0|0)"},
      {{"abs(x)"}, "Monotonie", "fallend in [-10; 0], steigend in [0; 10]"},
      {{"\\vx=0", "\\t6", "sin(x)"}, "Hochpunkte", "(1.5707963267948966|1)"},
      {{"\\vx=0", "\\t6", "sin(x)"}, "Wendepunkte", "(3.1415926535897932|0)"},
      {{"sqrt(x)"}, "Monotonie", "steigend in [0; 10]"},
      {{"sqrt(x)"}, "Kleinster Wert", "(0|0)"},
      {{"1/x"}, "Monotonie", "fallend in [-10; 0[, fallend in ]0; 10]"},
      {{"sin(x)/x"},
       "Tiefpunkte",
       "(-4.4934094579090642|-0.21723362821122166); (4.4934094579090642|-0.21723362821122166)"},
      {{"cos(x)"}, "Größter Wert", "(-6.2831853071795865|1); (0|1); (6.2831853071795865|1)"},
      {{"1/x"}, "Größter Wert", "keine"},
      {{"heav(x)*x"}, "Hochpunkte", "nicht bestimmbar (keine Ableitung)"},
  });
}

TEST(Analyze, SymmetryFromTheCanonicalForm) {
  ExpectLines({
      {{"x^4-2*x^2"}, "Symmetrie", "achsensymmetrisch zur y-Achse"},
      {{"x*cos(x)"}, "Symmetrie", "punktsymmetrisch zum Ursprung"},
      {{"x/(x^2+1)"}, "Symmetrie", "punktsymmetrisch zum Ursprung"},
      {{"exp(-x^2)"}, "Symmetrie", "achsensymmetrisch zur y-Achse"},
      {{"x^3+x^2"}, "Symmetrie", "keine erkennbare"},
  });
}

TEST(Analyze, WhatCannotBeDecidedIsNamed) {
  // Infinitely many zeros near 0: the certain ones, and a hint where the rest lie.
  const CliResult r = RunTcalc({"--utf8", "--analyze", "\\vx=-1", "\\t1", "sin(1/x)"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(LineOf(r.out, "Nullstellen").find("x = -0.31830988618379067; x = -0.15915494309189534"),
            std::string::npos);
  EXPECT_NE(r.out.find("\nHinweis: f zwischen x = "), std::string::npos) << r.out;
  EXPECT_EQ(LineOf(r.out, "Größter Wert"), "nicht sicher bestimmbar");
  // Arguments of millions of digits: where the term is decided, and hints for the rest.
  const CliResult huge = RunTcalc({"--utf8", "--analyze", "tan(cosh(cosh(2*x-1)))"});
  EXPECT_EQ(huge.status, 0);
  EXPECT_EQ(LineOf(huge.out, "Tiefpunkte"), "(0.5|36.071404402472552)");
  EXPECT_NE(huge.out.find("\nHinweis: f zwischen x = -10 und x = "), std::string::npos);
}

TEST(Analyze, BadInput) {
  ExpectCases({
      {{"--analyze", "\\vx=5", "\\t1", "x"},
       "Intervallende muss gr\x94\xe1"
       "er als Intervallanfang sein!\n"},
      {{"--analyze", "rnd(x)"}, "Mit rnd ist keine Kurvendiskussion m\x94glich!\n"},
      {{"--analyze", "x^2+"}, "Syntaxfehler\n"},
  });
}

TEST(Equations, AllSolutionsInTheInterval) {
  ExpectCases({
      {{"x^2=2"}, "x = -1.414213562373095; x = 1.414213562373095\n"},
      {{"cos(x)=x"}, "x = 0.73908513321516064\n"},
      {{"--utf8", "x^2=-1"}, "keine Lösung\n"},
      {{"\\vx=0", "\\t10", "x^2=2"}, "x = 1.414213562373095\n"},
      {{"x^3=x"}, "x = -1; x = 0; x = 1\n"},
      {{"(x-1)^2=0"}, "x = 1 (doppelt)\n"},
      {{"sin(x)^2+cos(x)^2=1"}, "-10 <= x <= 10\n"},
      {{"\\va=3", "a*x=1"}, "x = 0.33333333333333333\n"},
      {{"--digits", "30", "cos(x)=x"}, "x = 0.739085133215160641655312087674\n"},
      {{"--analyze", "exp(x)=2"}, "x = 0.69314718055994531\n"},
      // Newton's root of the difference of the sides.
      {{"\\n", "\\vx=1", "x^2=2"}, "1.414213562373095\n"},
      // What is no equation in the variable stays as it was.
      {{"va=4"}, "Syntaxfehler\n"},
      {{"x=2=3"}, "Syntaxfehler\n"},
      {{"\\d1", "x^2=2"}, "Syntaxfehler\n"},
  });
}

// Random polynomials from known rational roots: every root found, with its multiplicity, and
// printed as the value of the fraction.
TEST(Equations, RandomPolynomialsWithKnownRoots) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> numerator(-40, 40);
  std::uniform_int_distribution<int> denominator(1, 7);
  std::uniform_int_distribution<int> power(1, 3);
  std::uniform_int_distribution<int> count(1, 4);
  const char* words[] = {"", "", " (doppelt)", " (dreifach)"};
  for (int round = 0; round < 12; ++round) {
    std::vector<std::pair<double, std::string>> roots;
    std::string term = "1";
    const int n = count(random);
    for (int i = 0; i < n; ++i) {
      const int p = numerator(random);
      const int q = denominator(random);
      const int k = power(random);
      const std::string root = std::to_string(p) + "/" + std::to_string(q);
      bool known = false;
      for (const auto& r : roots) known = known || r.first == static_cast<double>(p) / q;
      if (known) continue;
      term += "*(" + std::to_string(q) + "*x-(" + std::to_string(p) + "))^" + std::to_string(k);
      const std::string value = RunTcalc({root}).out;
      if (static_cast<double>(p) / q < -10 || static_cast<double>(p) / q > 10) {
        roots.emplace_back(static_cast<double>(p) / q, "");
        continue;
      }
      roots.emplace_back(static_cast<double>(p) / q,
                         "x = " + value.substr(0, value.size() - 1) + words[k]);
    }
    std::sort(roots.begin(), roots.end());
    std::string expected;
    for (const auto& r : roots)
      if (!r.second.empty()) expected += (expected.empty() ? "" : "; ") + r.second;
    if (expected.empty()) expected = "keine";
    const CliResult r = RunTcalc({"--analyze", term});
    EXPECT_EQ(LineOf(r.out, "Nullstellen"), expected) << term;
  }
}
