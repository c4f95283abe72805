// Symbolic derivatives of high levels: the time per level, which stays flat where the
// levels repeat or end and grows with the tree's size where they are run.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>

#include "BenchTerms.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "app/app.hpp"

namespace {

constexpr std::array<const char*, 4> kTerms = {"sin(x)", "x^3", "1/x", "sin(x)*exp(x)"};

void BM_DerivativeOfLevel(benchmark::State& state) {
  const char* term = kTerms[static_cast<std::size_t>(state.range(0))];
  const auto level = static_cast<std::int32_t>(state.range(1));
  TKoMathTreeFunction f;
  ParseAsDriver(f, term);
  std::string result;
  for (auto _ : state) {
    TKoMathTreeFunction g;
    result = FormDerivative(g, f, "x", level).ErrorText;
    benchmark::DoNotOptimize(g.GetTree());
  }
  state.SetLabel(std::string(term) + (result.empty() ? "" : ": " + result));
  state.counters["time/level"] =
      benchmark::Counter(static_cast<double>(level), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_DerivativeOfLevel)
    ->ArgsProduct({{0, 1, 2, 3}, {10, 100, 1000, 2000}})
    ->Unit(benchmark::kMicrosecond);

// Levels past the node limit of the levels as they come and simplified, formed in the
// canonical form: the time per level beside the size of the level's text.
constexpr std::array<const char*, 3> kCanonicalTerms = {"tan(x)", "x^x", "1/(1+exp(-x))"};

void BM_CanonicalLevels(benchmark::State& state) {
  const char* term = kCanonicalTerms[static_cast<std::size_t>(state.range(0))];
  const auto level = static_cast<std::int32_t>(state.range(1));
  TKoMathTreeFunction f;
  ParseAsDriver(f, term);
  std::size_t characters = 0;
  for (auto _ : state) {
    TKoMathTreeFunction work;
    work.Assign(f);
    DeriveCanonicalLevels(work, "x", level);
    characters = work.FunctionString().size();
  }
  state.SetLabel(std::string(term) + ", level " + std::to_string(level) + ": " +
                 std::to_string(characters) + " characters");
  state.counters["time/level"] =
      benchmark::Counter(static_cast<double>(level), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}
BENCHMARK(BM_CanonicalLevels)
    ->ArgsProduct({{0, 1, 2}, {1, 2, 4, 8, 12}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
