// Evaluating operator trees beside the same terms compiled as C++ functions.
#include <benchmark/benchmark.h>

#include <cmath>

#include "MathTree/MathTree.hpp"

namespace {

TKoNodePtr Op(TOperation code, std::initializer_list<TKoNodePtr*> children) {
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
  for (TKoNodePtr* child : children) node->AddChild(std::move(*child));
  return node;
}

TKoNodePtr Var(TKoVarDepot& depot) {
  return TKoOperatorNode::CreateVariable(dtExtended, "x", &depot);
}
TKoNodePtr Num(long double v) {
  return TKoOperatorNode::CreateConstant(v);
}

// sin(x)*exp(-x/10), shaped as the parser builds it: product(sin(x), exp(-(x/10))).
TKoNodePtr DampedSine(TKoVarDepot& depot) {
  TKoNodePtr x1 = Var(depot), x2 = Var(depot), ten = Num(10);
  TKoNodePtr sine = Op(opSin, {&x1});
  TKoNodePtr quotient = Op(opQuotient, {&x2, &ten});
  TKoNodePtr negation = Op(opNegation, {&quotient});
  TKoNodePtr exponential = Op(opExp, {&negation});
  return Op(opProduct, {&sine, &exponential});
}

// x*x*x+x*3+1: sum(product(x, x, x), product(x, 3), 1).
TKoNodePtr Cubic(TKoVarDepot& depot) {
  TKoNodePtr a = Var(depot), b = Var(depot), c = Var(depot), d = Var(depot);
  TKoNodePtr three = Num(3), one = Num(1);
  TKoNodePtr cube = Op(opProduct, {&a, &b, &c});
  TKoNodePtr linear = Op(opProduct, {&d, &three});
  return Op(opSum, {&cube, &linear, &one});
}

// The compiled baselines get the same checks a careful C++ caller would make.
long double CompiledDampedSine(long double x) {
  return sinl(x) * expl(-x / 10);
}
long double CompiledCubic(long double x) {
  return x * x * x + x * 3 + 1;
}

constexpr int kPoints = 1024;

long double PointAt(int i) {
  return static_cast<long double>(i) * 0.01L;
}

template <class Term>
void Tree(benchmark::State& state, Term term) {
  TKoVarDepot depot;
  TKoNodePtr tree = term(depot);
  TKoSingleVariable* x = depot.FindOrAdd("x", dtExtended);
  long double sum = 0, value = 0;
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      x->SetAsExtended(PointAt(i));
      tree->Calculate(&value);
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns/eval"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kPoints,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The same term as the numeric methods evaluate it: through its program.
template <class Term>
void Program(benchmark::State& state, Term term) {
  TKoVarDepot depot;
  TKoNodePtr tree = term(depot);
  TKoSingleVariable* x = depot.FindOrAdd("x", dtExtended);
  TKoEvalProgram program;
  if (!program.Compile(tree.get())) state.SkipWithError("no program");
  long double sum = 0, value = 0;
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      x->SetAsExtended(PointAt(i));
      if (!program.Run(value)) state.SkipWithError("failed");
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns/eval"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kPoints,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <class F>
void Compiled(benchmark::State& state, F f) {
  long double sum = 0;
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      long double x = PointAt(i);
      benchmark::DoNotOptimize(x);
      const long double v = f(x);
      if (!std::isfinite(v)) state.SkipWithError("not finite");
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.counters["ns/eval"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kPoints,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Tree_DampedSine(benchmark::State& s) {
  Tree(s, DampedSine);
}
void BM_Compiled_DampedSine(benchmark::State& s) {
  Compiled(s, CompiledDampedSine);
}
void BM_Tree_Cubic(benchmark::State& s) {
  Tree(s, Cubic);
}
void BM_Compiled_Cubic(benchmark::State& s) {
  Compiled(s, CompiledCubic);
}
void BM_Program_DampedSine(benchmark::State& s) {
  Program(s, DampedSine);
}
void BM_Program_Cubic(benchmark::State& s) {
  Program(s, Cubic);
}

BENCHMARK(BM_Compiled_DampedSine);
BENCHMARK(BM_Tree_DampedSine);
BENCHMARK(BM_Compiled_Cubic);
BENCHMARK(BM_Tree_Cubic);
BENCHMARK(BM_Program_DampedSine);
BENCHMARK(BM_Program_Cubic);

}  // namespace
