// Fuzz target: one whole run. The input is split into arguments at line ends (first lines
// --simplify, --accurate, --analyze, --digits=N, --plot and --plot=svg act as the options do); the
// run must end with status 0 (or 1 for an SVG graph that cannot be drawn), or with an exception
// of the program's own family or an allocation failure (status 217 in the program), and leave no
// tree node alive.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "MathTree/MathTree.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "SymbolicHelpers.hpp"
#include "app/app.hpp"
#include "util/util.hpp"

namespace {

std::vector<std::string> Arguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty() || size == 0) args.push_back(current);
  return args;
}

// Numeric integrals and arc lengths run one piece after another: a run of very many
// pieces is no finding, only slow. The adaptive ones start from pieces of \l where given.
bool TooManyPieces(const std::vector<std::string>& args, bool accurate) {
  const TKoMathCommandLine cmd(args);
  if (!(cmd.Stamm && cmd.Numerical && cmd.DiffLevel <= 0) && !cmd.FuncLength) return false;
  if (accurate && !cmd.IntervallGiven) return false;
  long double from = 0;
  for (std::int32_t i = 0; i < cmd.VarCount(); ++i) {
    long double v = 0;
    if (cmd.VarName(i) == cmd.XVar && cmd.VarValue(i, v)) from = v;
  }
  const long double pieces = std::fabs(cmd.ToValue - from) / std::fabs(cmd.Intervall);
  return !(pieces <= 2e5L);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The run's lines are not looked at.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  // The canonical levels run their whole way on a smaller budget: as many paths, less time.
  SetCanonicalLevelWork(symtest::kFuzzCanonicalWork);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args = Arguments(data, size);
  // First lines --simplify, --accurate, --analyze, --digits=N, --plot and --plot=svg act as the
  // options do; the digits are kept to 1000, where every run is quick.
  bool readable = false, accurate = false, analyze = false;
  std::int32_t digits = 0;
  TPlotForm plot = TPlotForm::kNone;
  const std::string digitsOption = "--digits=";
  while (!args.empty() &&
         (args[0] == "--simplify" || args[0] == "--accurate" || args[0] == "--analyze" ||
          args[0].rfind(digitsOption, 0) == 0 || args[0] == "--plot" || args[0] == "--plot=svg")) {
    if (args[0].rfind(digitsOption, 0) == 0) {
      digits = std::clamp(std::atoi(args[0].c_str() + digitsOption.size()), 1, 1000);
    } else if (args[0] == "--analyze") {
      analyze = true;
    } else if (args[0].rfind("--plot", 0) == 0) {
      plot = args[0] == "--plot" ? TPlotForm::kText : TPlotForm::kSvg;
    } else {
      (args[0] == "--simplify" ? readable : accurate) = true;
    }
    args.erase(args.begin());
  }
  if (TooManyPieces(args, accurate)) return -1;
  SetReadableResults(readable);
  SetAccurateNumerics(accurate);
  SetDigits(digits);
  SetPlotForm(plot);
  SetAnalyze(analyze);
  const std::int32_t before = TKoOperatorNode::GetInstanceCount();
  // The run gets the stack the program gives it.
  RunOnLargeStack([&args, plot] {
    try {
      // an SVG graph that cannot be drawn is no document: its error ends the run with status 1
      const int status = RunDriver("tcalc", args);
      if (status != 0 && !(status == 1 && plot == TPlotForm::kSvg)) std::abort();
    } catch (const Exception&) {
    } catch (const std::bad_alloc&) {
    }
  });
  if (TKoOperatorNode::GetInstanceCount() != before) std::abort();
  std::fflush(stdout);
  return 0;
}
