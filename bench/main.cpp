// Runs the benchmarks, then prints each tree term's cost beside its compiled baseline.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Collects ns per evaluation by benchmark name while the console shows the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto it = run.counters.find("ns/eval");
      if (it != run.counters.end()) NsPerEval[run.benchmark_name()] = it->second.value * 1e9;
    }
  }

  void PrintRatios() const {
    std::printf("\n%-24s %14s %14s %8s\n", "term", "ns/eval", "C++ ns/eval", "ratio");
    for (const auto& [name, ns] : NsPerEval) {
      for (const std::string prefix : {"BM_Tree_", "BM_Program_"}) {
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string term = name.substr(prefix.size());
        const auto base = NsPerEval.find("BM_Compiled_" + term);
        if (base == NsPerEval.end()) continue;
        const std::string label = (prefix == "BM_Tree_" ? "tree " : "program ") + term;
        std::printf("%-24s %14.2f %14.2f %7.2fx\n", label.c_str(), ns, base->second,
                    ns / base->second);
      }
    }
  }

 private:
  std::map<std::string, double> NsPerEval;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
