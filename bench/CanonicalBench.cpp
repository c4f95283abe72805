// The canonical form: the readable text of a raw derivative of about a thousand nodes, and
// sums of n distinct terms, whose time grows as n log n.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "BenchTerms.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "app/app.hpp"

namespace {

// --simplify of \d2 and \d3 of a product and quotient of the usual functions: the raw result
// tree as the differencer forms it, about a thousand and two thousand nodes.
void BM_ReadableDerivative(benchmark::State& state) {
  TKoMathTreeFunction f;
  ParseAsDriver(f, "sin(x)*exp(2*x)*ln(x)/(1+x^2)");
  TKoMathTreeFunction g;
  FormDerivative(g, f, "x", static_cast<std::int32_t>(state.range(0)));
  std::string text;
  for (auto _ : state) {
    text = algebra::CanonicalText(g.GetTree(), "x").value_or("");
    benchmark::DoNotOptimize(text.data());
  }
  state.SetLabel(std::to_string(Nodes(g.GetTree())) + " nodes, " + std::to_string(text.size()) +
                 " characters printed");
}
BENCHMARK(BM_ReadableDerivative)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// A sum of n distinct terms c*x^k*y^j in an order that the form must sort, then printed.
void BM_CanonicalSum(benchmark::State& state) {
  const auto n = static_cast<long>(state.range(0));
  const algebra::Expr x = algebra::Sym("x"), y = algebra::Sym("y");
  std::vector<algebra::Expr> terms;
  for (long i = 0; i < n; ++i) {
    const long k = (i * 7919) % n;
    terms.push_back(algebra::Mul({algebra::Num(algebra::Number(k + 1)),
                                  algebra::Pow(x, algebra::Num(algebra::Number(k % 97 + 1))),
                                  algebra::Pow(y, algebra::Num(algebra::Number(k / 97 + 1)))}));
  }
  std::size_t length = 0;
  for (auto _ : state) {
    const algebra::Expr sum = algebra::Add(terms);
    length = algebra::ToText(sum, "x").size();
    benchmark::DoNotOptimize(length);
  }
  state.SetComplexityN(n);
  state.SetLabel(std::to_string(length) + " characters");
}
BENCHMARK(BM_CanonicalSum)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Complexity(benchmark::oNLogN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
