#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

// "Der angenäherte Wert von x^2-4 beträgt:" in code page 437 and in UTF-8.
const std::string kHeader437 = "Der angen\204herte Wert von x^2-4 betr\204gt:\n2\n";
const std::string kHeaderUtf8 = "Der angen\303\244herte Wert von x^2-4 betr\303\244gt:\n2\n";
const std::vector<std::string> kNewtonWithHeader = {"\\s", "\\n", "\\vx=3", "x^2-4"};

TEST(FrontEnd, OptionsBeforeAllOtherArguments) {
  ExpectCases({
      {{"--version"}, "tcalc 3.4.0.0\n"},
      {{"--strict", "2+3"}, "5\n"},
      // An error text in place of a result: a calculation, syntax, symbolic or argument error.
      {{"--strict", "ln(-1)"}, "Invalid floating point operation\n", 1},
      {{"--strict", "2x"}, "Syntaxfehler\n", 1},
      {{"--strict", "\\i", "sin(x^2)"}, "Fehler im Integrieren\n", 1},
      {{"--strict", "\\m", "\\d9", "x"}, "Numerisch gibt es h\224chstens die 8. Ableitung!\n", 1},
      {{"--strict", "\\l0,1", "x"}, "Illegaler Parameterwert: 0,1\n", 1},
      {{"--utf8", "--strict", "\\s", "\\n", "\\vx=3", "x^2-4"}, kHeaderUtf8},
      // Behind another argument an option is part of the term, as before.
      {{"2+3", "--help"}, "Syntaxfehler\n"},
      // One dash keeps its meaning: -h is the term -h.
      {{"-h"}, "0\n"},
  });
  // --help: the help text, then each option in a row of its own.
  const CliResult help = RunTcalc({"--help"});
  EXPECT_EQ(help.status, 0);
  const std::string text = RunTcalc({}).out;
  ASSERT_EQ(help.out.substr(0, text.size()), text);
  const std::string options = help.out.substr(text.size());
  EXPECT_EQ(options.substr(0, 42), "\nOptionen (vor allen anderen Argumenten):\n");
  for (const char* option :
       {"--help", "--version", "--utf8", "--strict", "--explain", "--simplify", "--accurate"})
    EXPECT_NE(options.find(std::string("\n") + option + "  "), std::string::npos) << option;
  // Options alone: the help text, here in UTF-8.
  EXPECT_NE(RunTcalc({"--utf8"}).out.find("einfache Anf\303\274hrungsstriche"), std::string::npos);
}

// --simplify: the result lines of \c, \d and \i in the canonical form; headers, errors and
// the other modes as without it.
TEST(FrontEnd, SimplifyPrintsReadableResults) {
  ExpectCases({
      {{"--simplify", "\\c", "x+x+2*x"}, "4*x\n"},
      {{"--simplify", "\\c", "(x+1)^2-x^2-2*x-1"}, "0\n"},
      {{"--simplify", "\\c", "sin(x)^2+cos(x)^2"}, "1\n"},
      {{"--simplify", "\\d2", "x*exp(x)"}, "(x+2)*exp(x)\n"},
      {{"--simplify", "\\d3", "x^3/(1-x)"}, "6/(x-1)^4\n"},
      {{"--simplify", "\\d2", "sin(1-x)"}, "sin(x-1)\n"},
      {{"--simplify", "\\d1", "sin(x)*cos(x)"}, "cos(2*x)\n"},
      {{"--simplify", "\\d1", "1/(1+exp(-x))"}, "exp(-x)/(exp(-x)+1)^2\n"},
      {{"--simplify", "\\d20", "x^30"}, "73096577329197271449600000*x^10\n"},
      {{"--simplify", "\\i", "x^3+2*x^2-5"}, "x^4/4+2*x^3/3-5*x\n"},
      {{"--simplify", "\\i", "1/(3*x+2)^2"}, "-1/(3*(3*x+2))\n"},
      {{"--simplify", "\\xt", "\\c", "a*t+t^2"}, "t^2+a*t\n"},
      {{"--simplify", "\\s", "\\c", "x*x"}, "x*x\n =\nx^2\n"},
      {{"--simplify", "\\s", "\\d1", "x*x"}, "Die 1. Ableitung von x*x ist:\n2*x\n"},
      {{"--simplify", "--strict", "\\i", "sin(x^2)"}, "Fehler im Integrieren\n", 1},
      {{"--simplify", "\\c", "rnd(x)+rnd(x)"}, "rnd(x)+rnd(x)\n"},
      {{"--simplify", "\\vx=2", "x*x"}, "4\n"},
      {{"--simplify", "\\c", "2x"}, "Syntaxfehler\n"},
  });
}

// --accurate: the integral and the arc length to full precision, or a text that says why
// there is no value; the other modes as without it.
TEST(FrontEnd, AccurateIntegralsAndLengths) {
  ExpectCases({
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t1", "sqrt(x)"}, "0.66666666666666667\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t1", "1/sqrt(1-x^2)"}, "1.5707963267948966\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t2", "ln(2-x)"}, "-0.61370563888010938\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t3", "sin(50*x)"}, "0.0060149838704324974\n"},
      // the mass of the term lies between the nodes of every first piece
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t1e9", "exp(-x)"}, "1\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=-1e9", "\\t1e9", "exp(-x^2)"}, "1.772453850905516\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t1", "\\l0.001", "exp(x)"},
       "1.7182818284590452\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t100", "sin(x)*exp(-x/10)"},
       "0.99006252443586072\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t5.5", "floor(x)"}, "12.5\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=-1", "\\t1", "sin(x)/x"}, "1.892166140734366\n"},
      {{"--accurate", "\\va=3", "\\m", "\\i", "\\vx=0", "\\t2", "a*x^2"}, "8\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t0.005", "x"}, "1.25E-5\n"},
      {{"--accurate", "\\w", "\\vx=0", "\\t100", "sin(x)"}, "121.51244657712489\n"},
      {{"--accurate", "\\w", "\\vx=-1", "\\t1", "sqrt(1-x^2)"}, "3.1415926535897932\n"},
      {{"--accurate", "\\w", "\\vx=0", "\\t3.5", "floor(x)"}, "3.5\n"},
      {{"--accurate", "\\w", "\\vx=0", "\\t4", "3*x-2"}, "12.649110640673517\n"},
      {{"--accurate", "\\s", "\\w", "\\vx=0", "\\t1", "x^2"},
       "Die L\204nge von x^2 im Intervall [0;1] betr\204gt:\n1.4789428575445974\n"},
      // No value: divergent, undefined on a part, a syntax error, a reversed interval.
      {{"--accurate", "\\m", "\\i", "\\vx=-1", "\\t1", "1/x"}, "Das Integral divergiert!\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t2", "tan(x)"}, "Das Integral divergiert!\n"},
      {{"--accurate", "\\w", "\\vx=0", "\\t1", "1/x"}, "Die L\204nge ist unendlich!\n"},
      {{"--utf8", "--accurate", "\\m", "\\i", "\\vx=-1", "\\t1", "sqrt(x)"},
       "Die Funktion ist im Intervall nicht \303\274berall definiert!\n"},
      {{"--accurate", "--strict", "\\m", "\\i", "\\vx=-1", "\\t2", "ln(x)"},
       "Die Funktion ist im Intervall nicht \201berall definiert!\n",
       1},
      {{"--accurate", "\\m", "\\i", "\\vx=0", "\\t1", "sin("}, "Syntaxfehler\n"},
      {{"--accurate", "\\m", "\\i", "\\vx=1", "\\t0", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n"},
      // The other modes are accurate already.
      {{"--accurate", "\\m", "\\d", "\\vx=1", "x^3"}, "3\n"},
      {{"--accurate", "\\n", "\\vx=1", "x^2-2"}, "1.414213562373095\n"},
  });
}

// On a terminal --accurate adds the estimated error on standard error, and the fixed pieces
// a hint where their result is likely inexact; in a pipe neither.
TEST(FrontEnd, EstimatesAndHintsOnTerminalsOnly) {
  const std::vector<std::string> accurate = {"--accurate", "\\m",  "\\i",
                                             "\\vx=0",     "\\t1", "sqrt(x)"};
  const std::string terminal = RunTcalcOnTerminal(accurate, "C").out;
  EXPECT_EQ(terminal.rfind("0.66666666666666667\nGesch\204tzter Fehler: ", 0), 0U) << terminal;
  EXPECT_NE(terminal.find("E-1"), std::string::npos) << terminal;
  const CliResult piped = RunTcalc(accurate);
  EXPECT_EQ(piped.out, "0.66666666666666667\n");
  EXPECT_EQ(piped.err, "");

  const std::vector<std::string> coarse = {"\\m", "\\i", "\\vx=0", "\\t1", "sqrt(x)"};
  EXPECT_EQ(RunTcalcOnTerminal(coarse, "C.UTF-8").out,
            "0.66663796357002999\nHinweis: Ergebnis vermutlich ungenau, gesch\303\244tzter Fehler "
            "4E-6; genauer mit --accurate oder kleinerem \\l\n");
  EXPECT_EQ(RunTcalc(coarse).err, "");
  // Results the fixed pieces get right have no hint: smooth, and cancelling to 0.
  EXPECT_EQ(RunTcalcOnTerminal({"\\m", "\\i", "\\vx=0", "\\t1", "x^2"}, "C").out,
            "0.33333333333333333\n");
  EXPECT_EQ(
      RunTcalcOnTerminal({"\\m", "\\i", "\\vx=0", "\\t6.2831853071795864769", "sin(x)"}, "C").out,
      "1.733320370862764E-17\n");
  EXPECT_EQ(RunTcalcOnTerminal({"\\w", "\\vx=0", "\\t3", "\\l0.05", "sin(50*x)"}, "C").out,
            "387.56779332039627\nHinweis: Ergebnis vermutlich ungenau, gesch\204tzter Fehler "
            "8E+0; genauer mit --accurate oder kleinerem \\l\n");
}

// A refusal of \i says on a terminal why it stands, where that is certain; a refusal that is
// only the integrator's own limit says nothing more.
TEST(FrontEnd, NoElementaryAntiderivativeHintOnTerminalsOnly) {
  const std::string hint = "Hinweis: keine elementare Stammfunktion\n";
  EXPECT_EQ(RunTcalcOnTerminal({"\\i", "exp(-x^2)"}, "C").out, "Fehler im Integrieren\n" + hint);
  EXPECT_EQ(RunTcalcOnTerminal({"\\i", "sin(x)/x"}, "C").out,
            "Die Stammfunktion konnte nicht gebildet werden.\n" + hint);
  const CliResult piped = RunTcalc({"\\i", "sin(x)/x"});
  EXPECT_EQ(piped.out, "Die Stammfunktion konnte nicht gebildet werden.\n");
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(RunTcalcOnTerminal({"\\i", "ln(x)/(x+1)"}, "C").out,
            "Die Stammfunktion konnte nicht gebildet werden.\n");
  EXPECT_EQ(RunTcalcOnTerminal({"\\i", "x*exp(x^2)"}, "C").out, "1/2*exp(x^2)\n");
}

TEST(FrontEnd, UnknownOptionIsNamed) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bogus"}, {"--utf8", "--bogus", "x"}, {"--", "x"}}) {
    const CliResult r = RunTcalc(args);
    const std::string option = args[0] == "--utf8" ? args[1] : args[0];
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Unbekannte Option: " + option + " (Hilfe: tcalc --help)\n");
  }
}

TEST(FrontEnd, PipesGetCodePage437WhateverTheLocale) {
  setenv("LANG", "C.UTF-8", 1);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const CliResult r = RunTcalc(kNewtonWithHeader);
  unsetenv("LC_ALL");
  EXPECT_EQ(r.out, kHeader437);
  EXPECT_EQ(r.err, "");
}

TEST(FrontEnd, TerminalsGetUtf8WhereTheLocaleNamesIt) {
  EXPECT_EQ(RunTcalcOnTerminal(kNewtonWithHeader, "C.UTF-8").out, kHeaderUtf8);
  EXPECT_EQ(RunTcalcOnTerminal(kNewtonWithHeader, "de_DE.utf8").out, kHeaderUtf8);
  EXPECT_EQ(RunTcalcOnTerminal(kNewtonWithHeader, "C").out, kHeader437);
}

TEST(FrontEnd, TermsFromStandardInput) {
  struct Case {
    std::vector<std::string> Args;
    std::string Input;
    std::string Out;
    int Status;
  } cases[] = {
      // Empty lines are skipped; a line that fails is that run's error text.
      {{"-"}, "2+3\n\nsin(0)\n2x\n", "5\n0\nSyntaxfehler\n", 0},
      {{"--strict", "-"}, "2+3\n2x\n", "5\nSyntaxfehler\n", 1},
      {{"--strict", "-"}, "2+3\n", "5\n", 0},
      {{"\\va=4", "-"}, "5*a^2\r\n2*a\n", "80\n8\n", 0},
      {{"\\i", "-"}, "x^2\nsin(x)\n", "1/3*x^3\n-cos(x)\n", 0},
      {{"\\s", "\\d1", "-"}, "x^3\n", "Die 1. Ableitung von x^3 ist:\n3*x^2\n", 0},
      {{"\\m", "\\d1", "\\vx=2", "-"}, "x^3\nx^2\n", "12\n4\n", 0},
      {{"\\n", "\\vx=3", "-"}, "x^2-4\nx-1\n", "2\n1\n", 0},
      {{"\\c", "-"}, "x+x\n", "2*x\n", 0},
      {{"\\m", "\\i", "\\t1", "-"}, "x\n", "0.5\n", 0},
      // Every line starts from fresh state: rnd begins its sequence again.
      {{"-"}, "rnd(1)\nrnd(1)\n", RunTcalc({"rnd(1)"}).out + RunTcalc({"rnd(1)"}).out, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Input);
    const CliResult r = RunTcalcWithInput(c.Args, c.Input);
    EXPECT_EQ(r.out, c.Out);
    EXPECT_EQ(r.status, c.Status);
    EXPECT_EQ(r.err, "");
  }
  // Without arguments the help text is printed, even with a pipe on standard input.
  EXPECT_EQ(RunTcalcWithInput({}, "2+3\n").out, RunTcalc({}).out);
}

}  // namespace

namespace {

TEST(FrontEnd, SyntaxErrorsExplainedOnStandardError) {
  struct Case {
    std::vector<std::string> Args;
    std::string Err;
  } cases[] = {
      {{"--explain", "2,5+1"},
       "  2,5+1\n   ^\nIllegales Zeichen: ,\nHinweis: Als Komma ist der Punkt anzugeben, z.B. "
       "2.5.\n"},
      {{"--explain", "2x"},
       "  2x\n   ^\nSyntaxfehler! Wahrscheinlich fehlt ein Operator!\nHinweis: Multiplikation "
       "immer "
       "mit * schreiben, z.B. 2*x statt 2x.\n"},
      {{"--explain", "2*-3"},
       "  2*-3\n    ^\nFehler in Basisexpression: Unbekanntes Token!\nHinweis: Ein Vorzeichen nach "
       "einem "
       "Operator in Klammern setzen, z.B. 2*(-3) statt 2*-3.\n"},
      {{"--explain", "va=4"},
       "  va=4\n    ^\nIllegales Zeichen: =\nHinweis: Schalter und Variablen beginnen mit \\ und "
       "sind in einfache Anf\201hrungsstriche einzuschlie\341en, z.B. '\\va=4'.\n"},
      {{"--explain", "\\i", "(1+2"}, "  (1+2\n      ^\nKlammer zu fehlt!\n"},
      {{"--explain", "x+sin"}, "  x+sin\n       ^\nUnerwartetes Ende des Ausdrucks!\n"},
      {{"--explain", "1+2)*3"},
       "  1+2)*3\n     ^\nSyntaxfehler! Wahrscheinlich fehlt ein Operator!\n"},
      // Terms joined from several arguments: the caret counts in the joined term.
      {{"--explain", "2", "3$"}, "  2 3$\n     ^\nIllegales Zeichen: $\n"},
      // No explanation for a term that parses.
      {{"--explain", "ln(-1)"}, ""},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> plain(c.Args.begin() + 1, c.Args.end());
    const CliResult explained = RunTcalc(c.Args);
    const CliResult quiet = RunTcalc(plain);
    EXPECT_EQ(explained.err, c.Err) << c.Args[1];
    // Standard output and the status stay exactly as without the explanation.
    EXPECT_EQ(explained.out, quiet.out) << c.Args[1];
    EXPECT_EQ(explained.status, quiet.status) << c.Args[1];
    EXPECT_EQ(quiet.err, "") << c.Args[1];
  }
  // A terminal on standard error gets the explanation unasked.
  EXPECT_EQ(RunTcalcOnTerminal({"3$4"}, "C").out,
            "Syntaxfehler\n  3$4\n   ^\nIllegales Zeichen: $\n");
}

TEST(FrontEnd, NamesThatCountAsZeroAreNamed) {
  const std::string zero = " ist weder Funktion noch Variable und z\204hlt als 0.";
  struct Case {
    std::vector<std::string> Args;
    std::string Err;
  } cases[] = {
      {{"ln2"}, "Hinweis: ln2" + zero + " Gemeint ist wohl ln(2).\n"},
      {{"tau*2"}, "Hinweis: tau" + zero + "\n"},
      {{"\\va=2", "a+b+SINX"},
       "Hinweis: b" + zero + "\nHinweis: SINX" + zero + " Gemeint ist wohl SIN(X).\n"},
      {{"\\n", "\\vx=1", "x-c"}, "Hinweis: c" + zero + "\n"},
      {{"\\m", "\\i", "\\t1", "x+c"}, "Hinweis: c" + zero + "\n"},
      // Declared, the running variable, or kept as a name by a symbolic mode: no hint.
      {{"\\va", "a+x"}, ""},
      {{"\\d1", "x*tau"}, ""},
      {{"\\i", "tau"}, ""},
      {{"\\c", "tau+tau"}, ""},
      {{"e*pi"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> explained = {"--explain"};
    explained.insert(explained.end(), c.Args.begin(), c.Args.end());
    const CliResult r = RunTcalc(explained);
    EXPECT_EQ(r.err, c.Err) << c.Args.back();
    EXPECT_EQ(r.out, RunTcalc(c.Args).out) << c.Args.back();
  }
}

// About two seconds of work: long enough for the line to appear on any machine.
const std::vector<std::string> kLongIntegral = {"\\m",    "\\i",         "\\vx=0",
                                                "\\t100", "\\l0.000025", "sin(x)*exp(-x/10)"};

TEST(FrontEnd, LongComputationsShowProgressOnTerminalsOnly) {
  const std::string result = "0.99006252443586072\n";
  const std::string terminal = RunTcalcOnTerminal(kLongIntegral, "C").out;
  ASSERT_GE(terminal.size(), result.size());
  EXPECT_EQ(terminal.substr(terminal.size() - result.size()), result);
  EXPECT_EQ(terminal.rfind("\rBerechnung: ", 0), 0U) << terminal;
  // Cleared before the result: blanks over the line, the cursor at its start.
  const std::string shown = terminal.substr(0, terminal.size() - result.size());
  const std::size_t last = shown.rfind('\r', shown.size() - 2);
  EXPECT_EQ(shown.back(), '\r');
  EXPECT_EQ(shown.substr(last + 1, shown.size() - last - 2).find_first_not_of(' '),
            std::string::npos);
  const CliResult piped = RunTcalc(kLongIntegral);
  EXPECT_EQ(piped.out, result);
  EXPECT_EQ(piped.err, "");
}

}  // namespace

namespace {

// The slips of a first day, each with the hint that names the mend. Standard output and the
// status stay as without the hint; a terminal on standard error gets it unasked.
TEST(FrontEnd, SlipsGetAHintNamingTheMend) {
  const std::string lost =
      "Hinweis: Schalter beginnen mit \\ und sind in einfache Anf\201hrungsstriche "
      "einzuschlie\341en; gemeint ist wohl ";
  struct Case {
    std::vector<std::string> Args;
    std::string Hint;
  } cases[] = {
      {{"\\d", "sin(x)"},
       "Hinweis: \\d hat 'sin(x)' als Ordnung gelesen; gemeint ist wohl '\\d1' 'sin(x)'\n"},
      {{"\\t", "x^2", "x"},
       "Hinweis: \\t hat 'x^2' als Intervallende gelesen; gemeint ist wohl '\\t<Zahl>' 'x^2'\n"},
      {{"\\x", "t^2"},
       "Hinweis: \\x hat 't^2' als Variable gelesen; gemeint ist wohl '\\x<Name>' 't^2'\n"},
      {{"d1", "x^3"}, lost + "'\\d1' 'x^3'.\n"},
      {{"i", "x^2"}, lost + "'\\i' 'x^2'.\n"},
      {{"erf(x)"}, "Hinweis: erf ist keine Funktion von tcalc.\n"},
      {{"atan(1)"}, "Hinweis: atan ist keine Funktion von tcalc; gemeint ist wohl arctan.\n"},
      {{"wurzel(2)"}, "Hinweis: wurzel ist keine Funktion von tcalc; gemeint ist wohl sqrt.\n"},
      {{"sec(1)"}, "Hinweis: sec ist keine Funktion von tcalc; gemeint ist wohl 1/cos.\n"},
      {{"sinus(1)"}, "Hinweis: sinus ist keine Funktion von tcalc; gemeint ist wohl sin.\n"},
      {{"arctang(1)"},
       "Hinweis: arctang ist keine Funktion von tcalc; gemeint ist wohl arctan oder arctanh.\n"},
      {{"log(2,8)"},
       "Hinweis: log hat nur ein Argument; den Logarithmus von x zur Basis b gibt "
       "ln(x)/ln(b).\n"},
      {{"1/3", "--digits", "5"},
       "Hinweis: Optionen stehen vor allen anderen Argumenten; gemeint ist wohl tcalc --digits 5 "
       "'1/3'\n"},
      {{"\\d1", "x^2", "--simplify"},
       "Hinweis: Optionen stehen vor allen anderen Argumenten; gemeint ist wohl tcalc --simplify "
       "'\\d1' 'x^2'\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> explained = {"--explain"};
    explained.insert(explained.end(), c.Args.begin(), c.Args.end());
    const CliResult r = RunTcalc(explained);
    const CliResult quiet = RunTcalc(c.Args);
    EXPECT_NE(r.err.find(c.Hint), std::string::npos) << c.Args[0] << "\n" << r.err;
    EXPECT_EQ(r.out, quiet.out) << c.Args[0];
    EXPECT_EQ(r.status, quiet.status) << c.Args[0];
    EXPECT_EQ(quiet.err, "") << c.Args[0];
    const CliResult terminal = RunTcalcOnTerminal(c.Args, "C");
    EXPECT_EQ(terminal.out.rfind(quiet.out, 0), 0U) << c.Args[0] << "\n" << terminal.out;
    EXPECT_NE(terminal.out.find(c.Hint), std::string::npos) << c.Args[0] << "\n" << terminal.out;
    EXPECT_EQ(terminal.status, quiet.status) << c.Args[0];
  }
  // The decimal comma hint stays for a comma that is none between arguments.
  EXPECT_EQ(RunTcalc({"--explain", "log(2,8)"}).err.find("Komma"), std::string::npos);
  // A value given or a name that is a function: no hint.
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"\\d", "2", "x^3"}, {"\\t", "pi", "x"}, {"\\d", "0", "x"}, {"sin(1)"}}) {
    args.insert(args.begin(), "--explain");
    EXPECT_EQ(RunTcalc(args).err.find("Hinweis"), std::string::npos) << args[1];
  }
}

// Typed characters beyond ASCII: read as what they stand for, or named whole in the output's
// encoding, with the caret under the character.
TEST(FrontEnd, TypedCharacters) {
  ExpectCases({
      {{"\\vx=3", "x\302\262+x\302\263"}, "36\n"},
      {{"\317\200"}, "3.1415926535897932\n"},
      {{"3\302\2674-2\303\2273"}, "6\n"},
      {{"6\303\2674"}, "1.5\n"},
      {{"\342\210\2221"}, "-1\n"},
      {{"\342\210\2324"}, "2\n"},
      {{"\\vx=\317\200/2", "sin(x)"}, "1\n"},
      {{"\\va=2*3", "\\vb=\317\200", "a*cos(b)"}, "-6\n"},
  });
  const CliResult cp437 = RunTcalc({"--explain", "x+\303\251"});
  EXPECT_EQ(cp437.out, "Syntaxfehler\n");
  EXPECT_EQ(cp437.err, "  x+\202\n    ^\nIllegales Zeichen: \202\n");
  const CliResult utf8 = RunTcalc({"--utf8", "--explain", "x\302\2622+\342\210\203"});
  EXPECT_EQ(utf8.err, "  x\302\2622+\342\210\203\n      ^\nIllegales Zeichen: \342\210\203\n");
  EXPECT_EQ(RunTcalc({"--explain", "\342\210\203"}).err, "  ?\n  ^\nIllegales Zeichen: ?\n");
}

}  // namespace
