// Command lines at and past every limit: each ends with a clear text and status 0 (217
// only where the piece width is not positive), never with a signal, also with a stack of
// 2 MiB.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

constexpr std::size_t kSmallStack = std::size_t{2} << 20;

std::string Repeated(const std::string& part, std::size_t times) {
  std::string text;
  text.reserve(part.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += part;
  return text;
}

// "x+x+...+x" of n terms, or with another operator.
std::string Chain(std::size_t n, const std::string& op = "+") {
  return "x" + Repeated(op + "x", n - 1);
}

struct Hostile {
  const char* name;
  std::vector<std::string> args;
  std::string out;
  int status = 0;
};

std::vector<Hostile> HostileCases() {
  const std::string pastLimit = Chain(6000);
  const std::string fewerPieces = "\\l0.25";
  std::vector<Hostile> cases = {
      {"argument of 131071 digits", {Repeated("1", 131071)}, "Syntaxfehler\n"},
      {"argument of 131071 brackets", {Repeated("(", 131071)}, "Syntaxfehler\n"},
      {"variable name of 131071 letters", {Repeated("a", 131071)}, "0\n"},
      {"100000 brackets over three arguments",
       {Repeated("(", 50000), "x", Repeated(")", 50000)},
       "Syntaxfehler\n"},
      {"5000 nested functions",
       {Repeated("sin(", 5000) + "x" + Repeated(")", 5000)},
       "Syntaxfehler\n"},
      {"9999 postfix factorials", {"x" + Repeated("!", 9999)}, "Syntaxfehler\n"},
      {"1990 postfix factorials", {"\\vx=1", "x" + Repeated("!", 1990)}, "1\n"},
      {"function as variable name", {"\\vsin=3", "sin"}, "Syntaxfehler\n"},
      {"assignment without a name", {"\\v=3", "x"}, "0\n"},
      {"assignment with a blank name", {"\\v =3", "x"}, "0\n"},
      {"value past the range", {"\\vx=1e4000", "x"}, "1E+4000\n"},
      {"highest level", {"\\d2147483647", "exp(x)"}, "exp(x)\n"},
      {"simplification past the limit", {"\\c", Chain(4999, "-")}, "Fehler im Vereinfachen\n"},
      {"derivative simplified past the limit", {"\\d1", Chain(4999)}, "Fehler im Differenzieren\n"},
      {"antiderivative simplified past the limit",
       {"\\i", Chain(4999, "-")},
       "Fehler im Integrieren\n"},
      {"arc length to 1e4000",
       {"\\w", "\\t1e4000", "x"},
       "Zu viele Teilintervalle bei der numerischen Integration!\n"},
      {"integral to -1e4000",
       {"\\m", "\\i", "\\t-1e4000", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n"},
      {"piece width 1e4000",
       {"\\w", "\\t1", "\\l1e4000", "x"},
       "Illegale Intervallangaben: \"von\":0  \"bis\":1  \"Intervall\":1E+4000\n"},
      {"piece width 0", {"\\m", "\\i", "\\t1", "\\l0", "x"}, "", 217},
      {"arc length to 0",
       {"\\w", "\\t0", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n"},
      {"arc length, piece width 0", {"\\w", "\\t1", "\\l0", "x"}, "", 217},
      {"integral to 1e4000",
       {"\\m", "\\i", "\\t1e4000", "x"},
       "Zu viele Teilintervalle bei der numerischen Integration!\n"},
      {"piece width -1e4000", {"\\w", "\\t1", "\\l-1e4000", "x"}, "", 217},
  };
  for (const char* mode : {"\\c", "\\d5", "\\i", "\\s"})
    cases.push_back({"past the node limit", {mode, pastLimit}, "Syntaxfehler\n"});
  cases.push_back(
      {"past the node limit", {"\\m", "\\i", "\\t1", fewerPieces, pastLimit}, "Syntaxfehler\n"});
  cases.push_back({"past the node limit", {"\\n", pastLimit}, "Syntaxfehler\n"});
  cases.push_back(
      {"past the node limit", {"\\w", "\\t1", fewerPieces, pastLimit}, "Syntaxfehler\n"});
  std::vector<std::string> assignments;
  assignments.reserve(10001);
  for (int i = 0; i < 10000; ++i)
    assignments.push_back("\\va" + std::to_string(i) + "=" + std::to_string(i));
  assignments.push_back("a1+a9999");
  cases.push_back({"10000 assignments", assignments, "10000\n"});
  // 16 arguments of 64 KiB, joined with blanks into one term.
  cases.push_back(
      {"arguments of 1 MiB", std::vector<std::string>(16, Chain(32768)), "Syntaxfehler\n"});
  return cases;
}

void ExpectHostile(const Hostile& c, const CliResult& r, const char* stack) {
  EXPECT_EQ(r.status, c.status) << c.name << stack;
  if (c.status == 0) {
    EXPECT_EQ(r.out, c.out) << c.name << stack;
    EXPECT_EQ(r.err, "") << c.name << stack;
  } else {
    EXPECT_EQ(r.err.rfind("An unhandled exception occurred at $", 0), 0u) << c.name << stack;
  }
}

TEST(Hostile, EveryLimitEndsWithAClearText) {
  for (const Hostile& c : HostileCases()) {
    ExpectHostile(c, RunTcalc(c.args), "");
    // With a small stack the system takes arguments of at most a quarter of it.
    std::size_t bytes = 0;
    for (const std::string& a : c.args) bytes += a.size() + 1;
    if (bytes < kSmallStack / 4)
      ExpectHostile(c, RunTcalcWithStack(c.args, kSmallStack), " (2 MiB stack)");
  }
}

// Deep trees, formed by the parser and by the derivative rules, on a small stack.
TEST(Hostile, DeepTreesNeedNoLargeStack) {
  const std::string deep = Repeated("x+x*x^(", 1200) + "x" + Repeated(")!", 1200);
  const std::string negations = Repeated("(-", 1999) + "x" + Repeated(")", 1999);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"\\s", deep},
                                             {"\\c", deep},
                                             {"\\d3", deep},
                                             {"\\i", deep},
                                             {"\\c", negations},
                                             {"\\d2", negations},
                                             {"\\s", "x" + Repeated("!", 1990)},
                                             {"\\d9999", "sin(x)"},
                                             {"\\d5000", "x*exp(x)"}}) {
    const CliResult r = RunTcalcWithStack(args, kSmallStack);
    EXPECT_EQ(r.status, 0) << args[0];
    EXPECT_EQ(r.err, "") << args[0];
    EXPECT_FALSE(r.out.empty()) << args[0];
  }
}

// Every byte but 0 in a term gives one line.
TEST(Hostile, EveryByteInATerm) {
  for (int byte = 1; byte < 256; ++byte) {
    const CliResult r = RunTcalc({"2" + std::string(1, static_cast<char>(byte)) + "3"});
    EXPECT_EQ(r.status, 0) << byte;
    EXPECT_EQ(r.err, "") << byte;
    ASSERT_FALSE(r.out.empty()) << byte;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << byte;
  }
}

}  // namespace
