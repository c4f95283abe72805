// Whole-process figures of the calculator beside compiled baselines from the same run:
// start-up, peak memory, numeric integral, arc length, the growth of simplification and
// the largest integrable sum. Usage: tcalc_figures TCALC HELLO SIMPSON CIRCLE
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Sample {
  double Seconds = 0;  // cpu time of the child; wall time for start-ups
  long PeakKiB = 0;
  std::string Out;
};

// Runs the command with stdin from input (a file, or none), collecting its output.
Sample Run(const std::vector<std::string>& command, const std::string& input = "",
           bool wall = false) {
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!input.empty()) {
      const int in = open(input.c_str(), O_RDONLY);
      dup2(in, 0);
    }
    dup2(out[1], 1);
    close(out[0]);
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  Sample s;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0)
    s.Out.append(buffer, static_cast<std::size_t>(n));
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  s.Seconds = wall ? std::chrono::duration<double>(end - start).count()
                   : seconds(usage.ru_utime) + seconds(usage.ru_stime);
  s.PeakKiB = usage.ru_maxrss;
  return s;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long gPeakKiB = 0;

// Runs A and B in turn; the ratio of their medians.
double Pair(const char* label, const std::vector<std::string>& a, const std::vector<std::string>& b,
            int runs, bool wall, const char* target) {
  std::vector<double> ta, tb;
  for (int i = 0; i < runs; ++i) {
    const Sample sa = Run(a, "", wall);
    ta.push_back(sa.Seconds);
    gPeakKiB = std::max(gPeakKiB, sa.PeakKiB);
    tb.push_back(Run(b, "", wall).Seconds);
  }
  const double ratio = Median(ta) / Median(tb);
  std::printf("| %s | %.4f s | %.4f s | %.3gx | %s |\n", label, Median(ta), Median(tb), ratio,
              target);
  return ratio;
}

std::string WriteLines(const std::string& path, const std::string& term, int lines) {
  FILE* f = std::fopen(path.c_str(), "w");
  for (int i = 0; i < lines; ++i) std::fprintf(f, "%s\n", term.c_str());
  std::fclose(f);
  return path;
}

// Seconds of cpu for the term, read from standard input repeat times, the median of five.
double TimeTerm(const std::string& tcalc, const std::string& mode, const std::string& term,
                int repeat) {
  const std::string path = WriteLines("/tmp/tcalc-figures-term.txt", term, repeat);
  std::vector<double> t;
  for (int i = 0; i < 5; ++i) {
    const Sample s = Run({tcalc, mode, "-"}, path);
    gPeakKiB = std::max(gPeakKiB, s.PeakKiB);
    t.push_back(s.Seconds);
  }
  return Median(t);
}

std::string Sum(int n, const std::string& (*item)(int, std::string&)) {
  std::string term, scratch;
  for (int i = 0; i < n; ++i) term += (i ? "+" : "") + item(i, scratch);
  return term;
}

const std::string& Distinct(int i, std::string& s) {
  return s = "a" + std::to_string(i);
}
const std::string& Doubled(int i, std::string& s) {
  return s = "a" + std::to_string(i) + "+a" + std::to_string(i);
}
const std::string& SameName(int, std::string& s) {
  return s = "x";
}
const std::string& Sine(int, std::string& s) {
  return s = "sin(x)";
}

// --analyze of the school terms as whole processes: the slowest term's median of nine runs, and
// the slowest of terms whose discussion runs into undecided stretches.
void AnalyzeFigures(const std::string& tcalc) {
  const char* school[] = {"x^3-3*x",     "x^4-4*x^2",    "(x^2+1)/(x-1)", "x^2/(x^2-4)",
                          "x^2*exp(-x)", "(x-1)*exp(x)", "x*ln(x)",       "ln(x)/x",
                          "sqrt(4-x^2)", "x*sqrt(x+4)",  "sin(x)+cos(x)", "2*sin(0.5*x)",
                          "tan(x)",      "abs(x^2-4)",   "sin(x)/x",      "exp(-x^2)"};
  double slowest = 0;
  std::string which;
  for (const char* term : school) {
    std::vector<double> t;
    for (int i = 0; i < 9; ++i) t.push_back(Run({tcalc, "--analyze", term}, "", true).Seconds);
    if (Median(t) > slowest) {
      slowest = Median(t);
      which = term;
    }
  }
  std::printf(
      "| `--analyze` of %zu school terms, slowest median (%s) | %.4f s | | | at most 0.03 s |\n",
      std::size(school), which.c_str(), slowest);
  const char* hard[] = {"sin(1/x)", "sin(exp(x))", "tan(10*x)", "x^100-1"};
  slowest = 0;
  for (const char* term : hard)
    slowest = std::max(slowest, Run({tcalc, "--analyze", term}, "", true).Seconds);
  std::printf(
      "| `--analyze` of sin(1/x), sin(exp(x)), tan(10*x), x^100-1, slowest | %.4f s | | | at most "
      "5 s |\n",
      slowest);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s TCALC HELLO SIMPSON CIRCLE\n", argv[0]);
    return 2;
  }
  const std::string tcalc = argv[1], hello = argv[2], simpson = argv[3], circle = argv[4];
  std::printf("| figure | tcalc | baseline | ratio | target |\n|---|---|---|---|---|\n");
  Pair("start-up `tcalc '32^4+sin(9)'` vs static hello world (wall)", {tcalc, "32^4+sin(9)"},
       {hello}, 301, true, "at most 1.2x");
  Pair("`\\m \\i \\vx=0 \\t100 \\l0.0001 sin(x)*exp(-x/10)` vs compiled Simpson",
       {tcalc, "\\m", "\\i", "\\vx=0", "\\t100", "\\l0.0001", "sin(x)*exp(-x/10)"}, {simpson}, 7,
       false, "at most 1.15x");
  Pair("`\\w \\vx=0 \\t100 \\l0.0001 sin(x)` vs compiled circle rule",
       {tcalc, "\\w", "\\vx=0", "\\t100", "\\l0.0001", "sin(x)"}, {circle}, 7, false,
       "at most 1.2x");
  // --accurate beside mpmath's quad at its default 15 digits, whole processes side by side.
  const std::vector<std::string> python = {"/usr/bin/env", "python3", "-c"};
  if (Run({python[0], python[1], python[2], "import mpmath; print('yes')"}).Out == "yes\n") {
    const auto mpmath = [&](const char* integrand) {
      std::vector<std::string> command = python;
      command.push_back(std::string("from mpmath import quad, sin, cos, exp, sqrt; print(quad(") +
                        integrand + ", [0, 100]))");
      return command;
    };
    Pair("`--accurate \\m \\i \\vx=0 \\t100 sin(x)*exp(-x/10)` vs mpmath's quad (wall)",
         {tcalc, "--accurate", "\\m", "\\i", "\\vx=0", "\\t100", "sin(x)*exp(-x/10)"},
         mpmath("lambda x: sin(x)*exp(-x/10)"), 7, true, "at most 0.1x");
    Pair("`--accurate \\w \\vx=0 \\t100 sin(x)` vs mpmath's quad of sqrt(1+cos(x)^2) (wall)",
         {tcalc, "--accurate", "\\w", "\\vx=0", "\\t100", "sin(x)"},
         mpmath("lambda x: sqrt(1+cos(x)**2)"), 7, true, "at most 0.1x");
  } else {
    std::printf("| `--accurate` vs mpmath's quad | | | | python3 with mpmath not found |\n");
  }
  std::printf("| peak memory of the runs above | %.2f MiB | | | at most 2 MiB |\n",
              static_cast<double>(gPeakKiB) / 1024);
  gPeakKiB = 0;
  // --digits 1000 beside bc -l at scale=1000 and mpmath at 1000 digits, whole processes.
  const bool mpmathFound =
      Run({python[0], python[1], python[2], "import mpmath; print('yes')"}).Out == "yes\n";
  struct DigitsTerm {
    const char* Term;
    const char* Bc;
    const char* Mpmath;
  } digitsTerms[] = {{"4*arctan(1)", "4*a(1)", "4*atan(1)"},
                     {"exp(1)+ln(2)*sin(3)", "e(1)+l(2)*s(3)", "exp(1)+log(2)*sin(3)"},
                     {"sqrt(2)", "sqrt(2)", "sqrt(2)"}};
  for (const DigitsTerm& d : digitsTerms) {
    const std::vector<std::string> digits = {tcalc, "--digits", "1000", d.Term};
    Pair(("`--digits 1000 " + std::string(d.Term) + "` vs `bc -l`, scale=1000 (wall)").c_str(),
         digits, {"/bin/sh", "-c", "echo 'scale=1000; " + std::string(d.Bc) + "' | bc -l"}, 7, true,
         "at most 0.1x");
    if (!mpmathFound) continue;
    Pair(("`--digits 1000 " + std::string(d.Term) + "` vs mpmath at 1000 digits (wall)").c_str(),
         digits,
         {python[0], python[1], python[2],
          "from mpmath import *; mp.dps = 1000; print(nstr(" + std::string(d.Mpmath) + ", 1000))"},
         7, true, "at most 0.1x");
  }
  // Integrals to many digits: beside mpmath's quad at 50 digits, and 100 digits of pi alone.
  if (mpmathFound) {
    Pair(
        "`--digits 50 \\m \\i \\vx=0 \\t100 sin(x)*exp(-x/10)` vs mpmath's quad at 50 digits "
        "(wall)",
        {tcalc, "--digits", "50", "\\m", "\\i", "\\vx=0", "\\t100", "sin(x)*exp(-x/10)"},
        {python[0], python[1], python[2],
         "from mpmath import *; mp.dps = 50; print(quad(lambda x: sin(x)*exp(-x/10), [0, 100]))"},
        7, true, "at most 0.1x");
  }
  {
    std::vector<double> t;
    for (int i = 0; i < 5; ++i)
      t.push_back(
          Run({tcalc, "--digits", "100", "\\m", "\\i", "\\vx=0", "\\t1", "4/(1+x^2)"}, "", true)
              .Seconds);
    std::printf(
        "| `--digits 100 \\m \\i \\vx=0 \\t1 4/(1+x^2)` (wall) | %.1f ms | | | within 50 ms |\n",
        1000 * Median(t));
  }
  {
    std::vector<double> t;
    for (int i = 0; i < 5; ++i)
      t.push_back(Run({tcalc, "--digits", "100000", "Pi"}, "", true).Seconds);
    std::printf("| `--digits 100000 Pi` (wall) | %.3f s | | | within 0.5 s |\n", Median(t));
  }
  // Graphs of a term of 1000 nodes, 180 of them sines and cosines, whole processes.
  {
    std::string term;
    for (int i = 1; i <= 90; ++i)
      term += (i > 1 ? "+" : "") + std::string("sin(x*1.") + std::to_string(i) + "+0." +
              std::to_string(i % 10) + ")*cos(x/" + std::to_string(i) + ".5)";
    const std::vector<std::vector<std::string>> plots = {{tcalc, "--plot=svg", term},
                                                         {tcalc, "--utf8", "--plot", term}};
    for (const std::vector<std::string>& command : plots) {
      std::vector<double> t;
      for (int i = 0; i < 7; ++i) t.push_back(Run(command, "", true).Seconds);
      std::printf(
          "| `%s` of 90 parts sin(x*a+b)*cos(x/c) (1000 nodes, wall) | %.4f s | | | "
          "within 0.05 s |\n",
          command[1] == "--plot=svg" ? "--plot=svg" : "--utf8 --plot", Median(t));
    }
  }
  // Antiderivatives of homework integrands of every family, one whole process each: the
  // classic rules, the methods (substitution, parts, binomials, the exp ansatz) and
  // refusals of integrands without an elementary antiderivative, which try every method.
  {
    const char* const integrands[] = {"x*(x^2+5)^8",
                                      "(4*x^2+x+1)/(x^3-1)",
                                      "1/(x^4+1)",
                                      "x^3/(x^2+2*x+5)^2",
                                      "sqrt((x+1)/(1-x))",
                                      "x/sqrt(x^4+x^2+1)",
                                      "(4*x^4+3)^(1/4)/x^2",
                                      "x^2*sqrt(9-x^2)",
                                      "1/(x^2*(1+x^4)^(3/4))",
                                      "x^3*exp(x^2)",
                                      "4^x/(3*2^x+2)",
                                      "exp(x)*(x-1)/x^2",
                                      "exp(x+exp(x))",
                                      "2^sqrt(x)/sqrt(x)",
                                      "ln(5*x)/x",
                                      "x^9*ln(x)^11",
                                      "ln(ln(x))^2/x",
                                      "x^2*ln(x^2+1)",
                                      "x^3*sin(x^2)",
                                      "sin(x)^4*cos(x)^3",
                                      "tan(3*x)^5",
                                      "exp(2*x)*sin(3*x)",
                                      "sqrt(cos(2*x))*cos(x)",
                                      "1/(2+cos(x))",
                                      "(x+cosh(x))^3",
                                      "tanh(x)^3",
                                      "cosh(x)/sqrt(cosh(2*x))",
                                      "x*arctan(x)^2",
                                      "(3*arcsin(x)+1)*x",
                                      "arcsin(x)^2",
                                      "x*arcsinh(2*x)^4",
                                      "(3*arctanh(5*x)+2)*(x+7)",
                                      "x*arccosh(x)",
                                      "exp(-x^2)",
                                      "sin(x)/x",
                                      "1/ln(x)",
                                      "x^x",
                                      "sqrt(1+x^3)",
                                      "ln(x)/(x+1)",
                                      "arctan(x)/x"};
    std::vector<double> t;
    double slowest = 0;
    for (const char* integrand : integrands) {
      std::vector<double> runs;
      for (int i = 0; i < 3; ++i) runs.push_back(Run({tcalc, "\\i", integrand}, "", true).Seconds);
      t.push_back(Median(runs));
      slowest = std::max(slowest, t.back());
    }
    std::printf(
        "| `\\i` of %zu homework integrands of every family, each a process (wall) | "
        "median %.4f s, slowest %.3f s | | | median at most 0.02 s, none over 1 s |\n",
        t.size(), Median(t), slowest);
  }
  gPeakKiB = 0;
  // Growth: the time for 4n terms over the time for n, as a power of 4.
  struct Shape {
    const char* Name;
    const std::string& (*Item)(int, std::string&);
    int N;
  } shapes[] = {{"a0+a1+...", Distinct, 1000},
                {"a0+a0+a1+a1+...", Doubled, 600},
                {"x+x+...", SameName, 1000}};
  for (const Shape& shape : shapes) {
    const double small = TimeTerm(tcalc, "\\c", Sum(shape.N, shape.Item), 20);
    const double large = TimeTerm(tcalc, "\\c", Sum(4 * shape.N, shape.Item), 20);
    std::printf("| `\\c` of %s, n = %d and %d | %.4f s | %.4f s | exponent %.2f | linear (1.0) |\n",
                shape.Name, shape.N, 4 * shape.N, large, small,
                std::log(large / small) / std::log(4.0));
  }
  // The largest n for which the sum of n sin(x) integrates.
  int low = 1, high = 10000;
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    const std::string path = WriteLines("/tmp/tcalc-figures-term.txt", Sum(mid, Sine), 1);
    const Sample s = Run({tcalc, "\\i", "-"}, path);
    gPeakKiB = std::max(gPeakKiB, s.PeakKiB);
    if (s.Out.rfind("-cos(x)", 0) == 0) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  std::printf(
      "| largest sum of sin(x) that `\\i` integrates | %d terms | | | limited by the result |\n",
      low);
  std::printf("| peak memory of the `\\c` and `\\i` runs above | %.2f MiB | | | at most 2 MiB |\n",
              static_cast<double>(gPeakKiB) / 1024);
  std::remove("/tmp/tcalc-figures-term.txt");
  AnalyzeFigures(tcalc);
  return 0;
}
