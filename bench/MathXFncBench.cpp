// The numeric integral through the operator tree beside the same Simpson rule compiled, and
// the adaptive integral of --accurate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

// sin(x)*exp(-x/10) over [0,100] in pieces of 0.0001, three evaluations per piece.
constexpr long double kFrom = 0, kTo = 100, kStep = 0.0001L;
constexpr double kEvaluations = 3 * 1e6;

long double Damped(long double x) {
  return std::sin(x) * std::exp(-x / 10);
}

long double CompiledSimpson() {
  const auto count = static_cast<std::int32_t>((kTo - kFrom) / kStep);
  long double sum = 0;
  for (std::int32_t i = 1; i <= count; ++i) {
    const long double a = kFrom + static_cast<long double>(i - 1) * kStep;
    const long double b = kFrom + static_cast<long double>(i) * kStep;
    const long double m = (b + a) * 0.5L;
    sum += (b - a) / 6 * (Damped(a) + 4 * Damped(m) + Damped(b));
  }
  return sum;
}

// sin(x)*exp(-x/10) as the parser builds it.
void BuildDamped(TKoMathTreeFunction& f) {
  TKoVarDepot* depot = f.VarDepot.get();
  auto x = [depot] { return TKoOperatorNode::CreateVariable(dtExtended, "x", depot); };
  auto apply = [](TOperation code, TKoNodePtr a, TKoNodePtr b = nullptr) {
    TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
    node->AddChild(std::move(a));
    if (b) node->AddChild(std::move(b));
    return node;
  };
  // The sign binds weaker than the quotient: -x/10 is -(x/10).
  TKoNodePtr exponent =
      apply(opNegation, apply(opQuotient, x(), TKoOperatorNode::CreateConstant(10.0L)));
  f.SetTree(apply(opProduct, apply(opSin, x()), apply(opExp, std::move(exponent))));
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// The baseline's best of three runs, measured beside the tree for the ratio.
double CompiledSecondsPerRun() {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(CompiledSimpson());
    best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
  }
  return best;
}

void SetTimePerEvaluation(benchmark::State& state) {
  state.counters["ns/eval"] = benchmark::Counter(
      kEvaluations, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Compiled_SimpsonDampedSine(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CompiledSimpson());
  SetTimePerEvaluation(state);
}
BENCHMARK(BM_Compiled_SimpsonDampedSine)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_Tree_SimpsonDampedSine(benchmark::State& state) {
  TKoMathTreeFunction f;
  f.AddVariable("x");
  BuildDamped(f);
  TKoMathIntgNumFunction integral(&f);
  integral.OtherNotOwned = true;
  integral.IntervalFrom = kFrom;
  integral.IntervalTo = kTo;
  integral.SetIntervalStep(kStep);
  integral.SetRunningVar("x");
  double treeSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    integral.Calculate();
    benchmark::DoNotOptimize(integral.Value);
    treeSeconds += Seconds(std::chrono::steady_clock::now() - start);
  }
  if (!integral.GetErrorText().empty()) state.SkipWithError(integral.GetErrorText().c_str());
  SetTimePerEvaluation(state);
  const double perRun = treeSeconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = perRun / CompiledSecondsPerRun();
}
BENCHMARK(BM_Tree_SimpsonDampedSine)->Unit(benchmark::kMillisecond)->MinTime(2);

// The same integral with --accurate: adaptive to full precision, a few hundred evaluations.
void BM_Accurate_DampedSine(benchmark::State& state) {
  TKoMathTreeFunction f;
  f.AddVariable("x");
  BuildDamped(f);
  TKoMathAccurateFunction integral(&f);
  integral.OtherNotOwned = true;
  integral.IntervalFrom = kFrom;
  integral.IntervalTo = kTo;
  integral.SetRunningVar("x");
  for (auto _ : state) {
    integral.Calculate();
    benchmark::DoNotOptimize(integral.Value);
  }
  if (!integral.GetErrorText().empty()) state.SkipWithError(integral.GetErrorText().c_str());
}
BENCHMARK(BM_Accurate_DampedSine)->Unit(benchmark::kMicrosecond);

}  // namespace
