// Symbolic derivatives of high levels: the time per level, which stays flat where the
// levels repeat or end and grows with the tree's size where they are run.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <string>

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
  f.AddVariable("x");
  auto parser = std::make_unique<TKoMathParser>(&f);
  parser->SetFunctionString(term);
  TKoMathParser* p = parser.get();
  f.SetCreator(std::move(parser));
  p->Execute();
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

}  // namespace
