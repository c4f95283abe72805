#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ReadCmdl/ReadCmdl.hpp"
#include "util/util.hpp"

namespace {

std::string Number(long double v) {
  return DataToText(&v, dtExtended);
}

// Everything the reader set away from its initial state, in field order; the seeded
// variables Pi and e are left out.
std::string Changes(const TKoMathCommandLine& c) {
  std::string s;
  const auto add = [&s](const std::string& item) { s += (s.empty() ? "" : "; ") + item; };
  if (c.ShowInfo) add("ShowInfo");
  if (c.ExtOutput) add("ExtOutput");
  if (c.AllParams) add("AllParams");
  if (c.XVar != "x") add("XVar=" + c.XVar);
  if (c.DiffLevel != 0) add("DiffLevel=" + std::to_string(c.DiffLevel));
  if (c.Stamm) add("Stamm");
  if (c.Newton) add("Newton");
  if (c.Numerical) add("Numerical");
  if (c.FuncLength) add("FuncLength");
  if (c.Simplify) add("Simplify");
  if (c.Intervall != 0.01L) add("Intervall=" + Number(c.Intervall));
  if (c.ToValue != 0) add("ToValue=" + Number(c.ToValue));
  if (!c.FuncStr.empty()) add("FuncStr='" + c.FuncStr + "'");
  for (std::size_t i = 2; i < c.Variables.size(); ++i) {
    const auto& v = c.Variables[i];
    add("Var " + v.Name + (v.Value ? "=" + Number(*v.Value) : ""));
  }
  for (const auto& e : c.Errors) add("Error '" + e + "'");
  return s;
}

struct Case {
  std::vector<std::string> args;
  std::string changes;
};

void Check(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    std::string argv;
    for (const auto& a : c.args) argv += "[" + a + "]";
    EXPECT_EQ(Changes(TKoMathCommandLine(c.args)), c.changes) << argv;
  }
}

TEST(ReadCmdl, TermPieces) {
  Check({
      {{}, ""},
      {{"2+3"}, "FuncStr=' 2+3'"},
      {{"5*a", "^2"}, "FuncStr=' 5*a ^2'"},
      {{"", "2", "", "+3"}, "FuncStr=' 2 +3'"},
      {{"\\", "2"}, "FuncStr=' 2'"},
      {{"\\n", "3"}, "Newton; FuncStr=' 3'"},
  });
}

TEST(ReadCmdl, VariableAssignments) {
  Check({
      {{"\\va=4", "5*a^2"}, "FuncStr=' 5*a^2'; Var a=4"},
      {{"\\v", "a=4", "5*a^2"}, "FuncStr=' 5*a^2'; Var a=4"},
      {{"\\V a = 2.5e3 "}, "Var a=2500"},
      {{"\\va=-.5"}, "Var a=-0.5"},
      {{"\\vb"}, "Var b"},
      {{"\\v", " b "}, "Var b"},
      {{"\\va=1", "\\va=2"}, "Var a=1; Var a=2"},
      {{"\\vPi=3"}, "Var Pi=3"},
      {{"\\va=4,5"}, "Error 'Illegaler Parameterwert: 4,5'"},
      {{"\\va="}, "Error 'Illegaler Parameterwert: '"},
      {{"\\va= x "}, "Error 'Illegaler Parameterwert: x'"},
      {{"\\va=1e99999"}, "Error 'Illegaler Parameterwert: 1e99999'"},
      {{"\\va=x", "1+1", "\\vb=1,"},
       "FuncStr=' 1+1'; Error 'Illegaler Parameterwert: x'; Error 'Illegaler Parameterwert: 1,'"},
      {{"\\v", "", "\\", "a=1"}, "Var a=1"},
  });
}

TEST(ReadCmdl, IntervalBoundAndStep) {
  Check({
      {{"\\t10.5"}, "ToValue=10.5"},
      {{"\\T", "-2"}, "ToValue=-2"},
      {{"\\t", "", "7"}, "ToValue=7"},
      {{"\\t", " 5"}, "ToValue=5"},
      {{"\\t"}, ""},
      {{"\\l0.1"}, "Intervall=0.1"},
      {{"\\L", "1e-3"}, "Intervall=0.001"},
      {{"\\l0"}, "Intervall=0"},
      {{"\\l-1"}, "Intervall=-1"},
      {{"\\t10,5"}, "Error 'Illegaler Parameterwert: 10,5'"},
      {{"\\tabc"}, "Error 'Illegaler Parameterwert: abc'"},
      {{"\\t1e5000"}, "Error 'Illegaler Parameterwert: 1e5000'"},
      {{"\\l0,1", "x"}, "FuncStr=' x'; Error 'Illegaler Parameterwert: 0,1'"},
      {{"\\l", "  "}, "Error 'Illegaler Parameterwert:   '"},
  });
}

// Values may be constant terms over Pi and e; anything naming another variable, not parsing
// or not computable stays refused.
TEST(ReadCmdl, ConstantTermsAsValues) {
  Check({
      {{"\\tpi"}, "ToValue=" + Number(3.14159265358979323851L)},
      {{"\\t", "2*pi"}, "ToValue=" + Number(2 * 3.14159265358979323851L)},
      {{"\\l1/4"}, "Intervall=0.25"},
      {{"\\tPI/2"}, "ToValue=" + Number(3.14159265358979323851L / 2)},
      {{"\\va=2*3"}, "Var a=6"},
      {{"\\vx=sqrt(4)+e^0"}, "Var x=3"},
      {{"\\vPi=3", "\\va=pi"}, "Var Pi=3; Var a=3"},
      {{"\\va=(1)"}, "Var a=1"},
      {{"\\va=b+1"}, "Error 'Illegaler Parameterwert: b+1'"},
      {{"\\va=1", "\\vb=a"}, "Var a=1; Error 'Illegaler Parameterwert: a'"},
      {{"\\tx"}, "Error 'Illegaler Parameterwert: x'"},
      {{"\\t1/0"}, "Error 'Illegaler Parameterwert: 1/0'"},
      {{"\\tln(0-1)"}, "Error 'Illegaler Parameterwert: ln(0-1)'"},
      {{"\\t2*"}, "Error 'Illegaler Parameterwert: 2*'"},
      {{"\\l2x"}, "Error 'Illegaler Parameterwert: 2x'"},
      {{"\\trnd(1)"}, "Error 'Illegaler Parameterwert: rnd(1)'"},
  });
}

TEST(ReadCmdl, NumberTextAndTermKeptForDigits) {
  const TKoMathCommandLine plain({"\\va=0.1", "\\vb=1/10"});
  ASSERT_EQ(plain.Variables.size(), 4U);
  EXPECT_EQ(plain.Variables[2].Text, "0.1");
  EXPECT_EQ(plain.Variables[3].Text, "");
  EXPECT_EQ(plain.Variables[2].Term, "");
  EXPECT_EQ(plain.Variables[3].Term, "1/10");
  EXPECT_EQ(*plain.Variables[3].Value, 1.0L / 10);
}

// A switch given alone whose next argument is no value of it: the argument is named.
TEST(ReadCmdl, SwallowedArguments) {
  struct SwallowCase {
    std::vector<std::string> args;
    std::string swallowed;
  };
  const SwallowCase cases[] = {
      {{"\\d", "sin(x)"}, "D:sin(x)"},
      {{"\\d", "3", "x"}, ""},
      {{"\\d", "0", "x"}, "D:0"},
      {{"\\t", "x^2"}, "T:x^2"},
      {{"\\t", "pi"}, ""},
      {{"\\l", "1,5"}, "L:1,5"},
      {{"\\x", "1+x"}, "X:1+x"},
      {{"\\x", "t", "t^2"}, ""},
      {{"\\v", "sin(x)"}, "V:sin(x)"},
      {{"\\v", "a=b"}, "V:a=b"},
      {{"\\v", "a"}, ""},
      {{"\\dx", "sin(x)"}, ""},
      {{"\\q", "2+3"}, ""},
      {{"\\d", "\\t", "a", "\\x", "2"}, "T:a X:2"},
  };
  for (const SwallowCase& c : cases) {
    std::string swallowed;
    for (const auto& s : TKoMathCommandLine(c.args).Swallowed)
      swallowed += (swallowed.empty() ? "" : " ") + std::string(1, s.Letter) + ":" + s.Argument;
    EXPECT_EQ(swallowed, c.swallowed) << c.args[0] << " " << c.args[1];
  }
}

TEST(ReadCmdl, DerivativeOrder) {
  Check({
      {{"\\d3", "x^4"}, "DiffLevel=3; FuncStr=' x^4'"},
      {{"x^4", "\\d"}, "DiffLevel=1; FuncStr=' x^4'"},
      {{"\\d", "x^4"}, "DiffLevel=1"},
      {{"\\d", "2"}, "DiffLevel=2"},
      {{"\\d", "0"}, "DiffLevel=1"},
      {{"\\D+4"}, "DiffLevel=4"},
      {{"\\d2147483647"}, "DiffLevel=2147483647"},
      {{"\\d0"}, ""},
      {{"\\d-2"}, ""},
      {{"\\d+-2"}, ""},
      {{"\\dx"}, ""},
      {{"\\d 2"}, ""},
      {{"\\d2x"}, ""},
      {{"\\d2.0"}, ""},
      {{"\\d2147483648"}, ""},
      {{"\\d3", "\\dx"}, "DiffLevel=3"},
      {{"\\d3", "\\d"}, "DiffLevel=1"},
  });
}

TEST(ReadCmdl, OutputSwitches) {
  Check({
      {{"\\s"}, "ExtOutput"},
      {{"\\ss"}, "AllParams"},
      {{"\\SS"}, "AllParams"},
      {{"\\s", "\\ss"}, "ExtOutput; AllParams"},
      {{"\\ss", "\\sx"}, ""},
      {{"\\s", "x"}, "ExtOutput; FuncStr=' x'"},
      {{"\\j", "\\va=,"}, "ShowInfo; Error 'Illegaler Parameterwert: ,'"},
  });
}

TEST(ReadCmdl, StandardVariable) {
  Check({
      {{"\\xy"}, "XVar=y"},
      {{"\\xTime2"}, "XVar=Time2"},
      {{"\\X", "t"}, "XVar=t"},
      {{"\\x1"}, ""},
      {{"\\x_a"}, ""},
      {{"\\x", ""}, ""},
      {{"\\x", "\\d", "x^2"}, "DiffLevel=1"},
  });
}

TEST(ReadCmdl, ModeFlags) {
  Check({
      {{"\\C"}, "Simplify"},
      {{"\\cc"}, ""},
      {{"\\i", "\\j", "\\m", "\\n", "\\w", "\\c"},
       "ShowInfo; Stamm; Newton; Numerical; FuncLength; Simplify"},
      {{"\\ix", "\\jx", "\\mx", "\\nx", "\\wx"}, ""},
      {{"\\q", "2+3"}, ""},
      {{"\\q2+3", "1"}, "FuncStr=' 1'"},
      {{"\\\\", "1"}, ""},
  });
}

TEST(ReadCmdl, SeededVariablesAndAccess) {
  const TKoMathCommandLine c({"\\vb", "\\va=4"});
  ASSERT_EQ(c.VarCount(), 4);
  const char* names[] = {"Pi", "e", "b", "a"};
  for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(c.VarName(i), names[i]);
  long double v = -1;
  EXPECT_TRUE(c.VarValue(0, v));
  EXPECT_EQ(v, 3.14159265358979323846264338327950288L);
  EXPECT_TRUE(c.VarValue(1, v));
  EXPECT_EQ(v, 2.71828182845904523536028747135266250L);
  v = -1;
  EXPECT_FALSE(c.VarValue(2, v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(c.VarValue(3, v));
  EXPECT_EQ(v, 4);
}

TEST(ReadCmdl, InitialValues) {
  const TKoMathCommandLine c({});
  EXPECT_EQ(c.Intervall, 0.01L);
  EXPECT_EQ(c.XVar, "x");
  EXPECT_EQ(c.VarCount(), 2);
  EXPECT_TRUE(c.Errors.empty());
}

}  // namespace
