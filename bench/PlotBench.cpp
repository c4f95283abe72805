// A graph of a term of 1000 nodes from 10000 samples: sampling through the term's program,
// the range, the refinement where the curve is steep, and the braille picture.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchTerms.hpp"
#include "MathPars/MathPars.hpp"
#include "MathPlot/MathPlot.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

constexpr std::size_t kSamples = 10000;

// Parts added up until the tree has 1000 nodes or a few more: with trig, sin(x*a+b)*cos(x/c),
// else (x*a+b)*(x/c-d).
std::string LargeTerm(TKoMathTreeFunction& f, bool trig) {
  std::string term;
  for (int i = 1;; ++i) {
    const std::string a = std::to_string(i), b = std::to_string(i % 10);
    term += (i > 1 ? "+" : "") + (trig ? "sin(x*1." + a + "+0." + b + ")*cos(x/" + a + ".5)"
                                       : "(x*1." + a + "+0." + b + ")*(x/" + a + ".5-0." + b + ")");
    TKoVarDepot depot;
    const TKoNodePtr tree = ParseTerm(term, &depot);
    if (Nodes(tree.get()) >= 1000) break;
  }
  ParseAsDriver(f, term);
  return term;
}

void BM_PlotOfLargeTerm(benchmark::State& state) {
  TKoMathTreeFunction f;
  LargeTerm(f, state.range(0) != 0);
  TKoMathPointValues values(&f);
  values.SetRunningVar("x");
  values.Calculate();
  const plot::TEvaluate evaluate = [&values](long double x, long double& y) {
    return values.TryEvaluateAt(x, y);
  };
  plot::TTextStyle style;
  style.Columns = 200;
  style.Rows = 66;
  style.Utf8 = true;
  std::size_t samples = 0;
  for (auto _ : state) {
    plot::TPicture picture;
    plot::TCurve curve;
    curve.Points = plot::SampleEvenly(evaluate, -10, 10, kSamples);
    picture.Range = plot::ChooseRange({&curve.Points});
    plot::Refine(curve.Points, evaluate, picture.Range,
                 (style.Rows * 4 - 1) / (picture.Range.High - picture.Range.Low), 40000);
    samples = curve.Points.size();
    picture.Curves.push_back(std::move(curve));
    benchmark::DoNotOptimize(
        plot::TextPicture(picture, style, [](const std::string& s) { return s; }));
  }
  state.counters["nodes"] = Nodes(f.GetTree());
  state.counters["samples"] = static_cast<double>(samples);
}

}  // namespace

BENCHMARK(BM_PlotOfLargeTerm)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
