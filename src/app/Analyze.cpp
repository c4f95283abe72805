// --analyze and equations: the curve discussion of a term over the interval of its graph, and
// the solutions of an equation. Every point comes from a sign chart in interval arithmetic:
// a zero is proven where the term is monotone around it, and what cannot be decided is named.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "Algebra/QPolynomial.hpp"
#include "MathDigs/Chart.hpp"
#include "MathFunc/MathFunc.hpp"
#include "MathPars/MathPars.hpp"
#include "MathPlot/MathPlot.hpp"
#include "MathTree/MathTree.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/Digits.hpp"
#include "app/app.hpp"

namespace {

using digits::TChart;
using digits::TCharter;
using digits::TFound;
using digits::TInterval;
using digits::TMark;
using digits::TReal;
using digits::TSign;

constexpr const char* kTextNone = "keine";
constexpr const char* kTextNoSolution = "keine L\366sung";
constexpr const char* kTextWithRandom = "Mit rnd ist keine Kurvendiskussion m\366glich!";
constexpr const char* kTextSeparator = "; ";
constexpr const char* kTextUnknown = "nicht bestimmbar (keine Ableitung)";
constexpr const char* kTextUncertain = "nicht sicher bestimmbar";

// Polynomials up to this degree are charted by their square-free factors, within this work.
constexpr std::size_t kLargestDegree = 200;
constexpr std::int64_t kPolynomialWork = 1000000;
// The bits of the charts at 17 digits, and beyond the digits asked for.
constexpr mpfr_prec_t kChartBits = 128;
constexpr mpfr_prec_t kChartGuardBits = 64;
constexpr double kBitsPerDigit = 3.3219280948873623;
// Evaluations a chart may take: enough for thousands of zeros, done within a few seconds.
constexpr std::size_t kChartBudget = 40000;
// A side grows beyond every bound where its values there grow beyond this, and settles to a
// limit where they agree this closely.
constexpr long double kPoleSize = 16;
constexpr long double kSettled = 1e-6L;
constexpr long double kSameLimit = 1e-9L;

// Near a gap of the term that is no pole its derivatives cancel in interval arithmetic: their
// charts look no closer than this part of the interval there.
constexpr long double kAvoidedShare = 256;

mpfr_srcptr Low(mpfi_srcptr x) {
  return &x->left;
}
mpfr_srcptr High(mpfi_srcptr x) {
  return &x->right;
}

// A term of the command line's variables, parsed, its numbers recorded as written.
struct TTerm {
  TKoMathTreeFunction F;
  bool Parsed = false;
};

bool ParseInto(const TKoMathCommandLine& cmd, const std::string& text, TTerm& term,
               TKoNumberTexts& numbers) {
  const TKoMathParser& parser = BindTerm(cmd, term.F, text);
  ParseRecording(term.F, numbers);
  term.Parsed = term.F.GetTree() && parser.ErrorText.empty();
  return term.Parsed;
}

bool HasRandom(const TKoOperatorNode* node) {
  if (!node) return false;
  if (node->Operation == opRnd) return true;
  return std::any_of(node->Children.begin(), node->Children.end(), HasRandom);
}

bool Inside(mpfi_srcptr a, mpfi_srcptr b) {
  return mpfr_lessequal_p(Low(b), High(a)) && mpfr_lessequal_p(Low(a), High(b));
}

long double Extended(mpfr_srcptr x) {
  const long double v = mpfr_get_ld(x, MPFR_RNDN);
  return v == 0 ? 0 : v;
}

long double Middle(mpfi_srcptr x) {
  TReal m(mpfi_get_prec(x));
  mpfi_mid(m, x);
  return Extended(m);
}

// The curve of one run: the term, its derivatives, their charts and the texts of points.
class TCurve {
 public:
  TCurve(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, TKoNumberTexts& numbers)
      : Cmd(cmd), F(f), Numbers(numbers), Leaves(LeavesOf(cmd, f, numbers, ValueTerms)) {
    Leaves.Numbers = &Numbers;
    const std::int32_t digits = DigitsWanted();
    Bits = digits ? static_cast<mpfr_prec_t>(std::ceil(digits * kBitsPerDigit)) + kChartGuardBits
                  : kChartBits;
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
  }

  bool SetInterval() {
    GraphInterval(Cmd, F.GetVarValue(Cmd.XVar), From, To);
    return From < To;
  }

  // The derivative of the level as the canonical text, parsed; false where none is formed.
  bool Derive(std::int32_t level) {
    // From a source of its own: F was evaluated at the variable's value, which may hold an
    // error the derivative would inherit.
    if (!Source.Parsed) {
      const TKoMathParser& parser = BindTerm(Cmd, Source.F, Cmd.FuncStr);
      static_cast<TKoMathParser&>(*Source.F.GetCreator()).Execute();
      Source.Parsed = Source.F.GetTree() && parser.ErrorText.empty();
      if (!Source.Parsed) return false;
    }
    TKoMathTreeFunction g;
    bool formed = false;
    std::string text;
    try {
      text = DerivativeText(Source.F, Cmd.XVar, level, g, formed);
    } catch (const Exception&) {
      formed = false;
    }
    Texts[level] = text;
    if (!formed) return false;
    return ParseInto(Cmd, text, Levels[level], Numbers);
  }

  const TKoOperatorNode* Tree(std::int32_t level) const {
    if (level == 0) return F.GetTree();
    if (level < 0 || level > kLevels) return nullptr;
    return Levels[level].Parsed ? Levels[level].F.GetTree() : nullptr;
  }

  // The chart of a level, with the next one as its slope; near the places in avoid it does not
  // look closer than a 2^-12 of the interval.
  TChart ChartOf(std::int32_t level, const std::vector<std::shared_ptr<TInterval>>& avoid = {}) {
    digits::TChartTerm term{Tree(level), level < 3 ? Tree(level + 1) : nullptr, &Leaves,
                            UpperCase(Cmd.XVar)};
    TCharter charter(term, Bits);
    charter.Avoid(avoid, (To - From) / kAvoidedShare);
    TReal from(Bits);
    TReal to(Bits);
    mpfr_set_ld(from, From, MPFR_RNDN);
    mpfr_set_ld(to, To, MPFR_RNDN);
    return charter.Chart(from, to, kChartBudget);
  }

  // The chart of a level that is a polynomial with exact coefficients: the zeros of its
  // square-free factors, each simple, with the factor's multiplicity; none for other terms.
  std::optional<TChart> PolynomialChart(std::int32_t level);
  // The chart of a term that is 0 everywhere (x-x, which intervals see as [-20; 20]).
  TChart VanishingChart() const {
    TChart chart;
    TMark all;
    all.Kind = TMark::kVanishing;
    all.Where = std::make_shared<TInterval>(Bits);
    TReal from(Bits);
    TReal to(Bits);
    mpfr_set_ld(from, From, MPFR_RNDN);
    mpfr_set_ld(to, To, MPFR_RNDN);
    mpfi_interv_fr(all.Where->get(), from, to);
    chart.Marks.push_back(std::move(all));
    return chart;
  }
  // Whether the level is 0 as a rational function of its variables and function calls.
  bool Vanishes(std::int32_t level) const {
    try {
      const algebra::TWorkLimit limit(kPolynomialWork);
      const algebra::Expr e = algebra::ZeroTested(algebra::FromTree(Tree(level)));
      return e->TheKind == algebra::Kind::Number && e->Value.IsZero();
    } catch (const Exception&) {
      return false;
    }
  }

  TFound ValueAt(std::int32_t level, mpfi_srcptr x, mpfi_ptr out) {
    digits::TChartTerm term{Tree(level), nullptr, &Leaves, UpperCase(Cmd.XVar)};
    TCharter charter(term, Bits);
    return charter.Enclose(term.Term, x, out);
  }

  // The text of a number known to lie in x, as the value output prints it.
  std::string NumberText(mpfi_srcptr x) const {
    if (mpfi_has_zero(x) > 0) return "0";
    const std::int32_t digits = DigitsWanted();
    if (!digits) return ValueToText(Middle(x));
    TReal m(mpfi_get_prec(x));
    mpfi_mid(m, x);
    mpfr_exp_t exponent = 0;
    char* text =
        mpfr_get_str(nullptr, &exponent, 10, static_cast<std::size_t>(digits), m, MPFR_RNDN);
    std::string out = DigitsText(text, exponent, digits);
    mpfr_free_str(text);
    return out;
  }

  std::string ExtendedText(long double v) const { return ValueToText(v == 0 ? 0 : v); }

  // "(x|y)" of a point of the curve; none where the term has no value there.
  std::optional<std::string> PointText(mpfi_srcptr x) {
    TInterval y(Bits);
    if (ValueAt(0, x, y.get()) != TFound::kValue) return std::nullopt;
    return "(" + NumberText(x) + "|" + NumberText(y.get()) + ")";
  }

  const TKoMathCommandLine& Cmd;
  TKoMathTreeFunction& F;
  TKoNumberTexts& Numbers;
  // The trees of constant switch values, before the leaves that point into them.
  std::vector<TKoNodePtr> ValueTerms;
  TKoDigitsLeaves Leaves;
  mpfr_prec_t Bits = kChartBits;
  long double From = 0;
  long double To = 0;
  // The term and the derivatives it is discussed with.
  static constexpr std::int32_t kLevels = 3;
  TTerm Source;
  TTerm Levels[kLevels + 1];
  std::string Texts[kLevels + 1];
  std::vector<std::unique_ptr<TTerm>> Factors;
};

std::optional<TChart> TCurve::PolynomialChart(std::int32_t level) {
  const TKoOperatorNode* tree = Tree(level);
  if (!tree) return std::nullopt;
  const std::string key = UpperCase(Cmd.XVar);
  std::optional<algebra::QPolynomial> p;
  try {
    const algebra::TWorkLimit limit(kPolynomialWork);
    p = algebra::PolynomialIn(algebra::FromTree(tree), key);
  } catch (const Exception&) {
    return std::nullopt;
  }
  if (p && algebra::IsZero(*p)) return VanishingChart();
  if (!p || algebra::Degree(*p) < 1 || algebra::Degree(*p) > kLargestDegree) return std::nullopt;
  const std::vector<algebra::QPolynomial> factors = algebra::SquareFree(*p);
  std::vector<TMark> zeros;
  const algebra::Expr x = algebra::Sym(Cmd.XVar);
  for (std::size_t k = 0; k < factors.size(); ++k) {
    if (algebra::Degree(factors[k]) < 1) continue;
    auto factor = std::make_unique<TTerm>();
    auto slope = std::make_unique<TTerm>();
    const std::string text = algebra::ToText(algebra::FromQPolynomial(factors[k], x), Cmd.XVar);
    const std::string slopeText =
        algebra::ToText(algebra::FromQPolynomial(algebra::Derivative(factors[k]), x), Cmd.XVar);
    if (!ParseInto(Cmd, text, *factor, Numbers) || !ParseInto(Cmd, slopeText, *slope, Numbers))
      return std::nullopt;
    digits::TChartTerm term{factor->F.GetTree(), slope->F.GetTree(), &Leaves, key};
    TCharter charter(term, Bits);
    TReal from(Bits);
    TReal to(Bits);
    mpfr_set_ld(from, From, MPFR_RNDN);
    mpfr_set_ld(to, To, MPFR_RNDN);
    TChart chart = charter.Chart(from, to, kChartBudget);
    for (TMark& mark : chart.Marks) {
      if (mark.Kind != TMark::kZero) return std::nullopt;
      mark.Multiplicity = static_cast<int>(k + 1);
      zeros.push_back(std::move(mark));
    }
    Factors.push_back(std::move(factor));
    Factors.push_back(std::move(slope));
  }
  std::sort(zeros.begin(), zeros.end(), [](const TMark& a, const TMark& b) {
    return mpfr_less_p(Low(a.Where->get()), Low(b.Where->get()));
  });
  // The signs: p's own left of the first zero, changed at each zero of odd multiplicity.
  const long double firstAt = zeros.empty() ? To : Middle(zeros.front().Where->get());
  const algebra::Rational left = algebra::ExactOf(From + (firstAt - From) / 2);
  const int leftSign = sgn(algebra::ValueAt(*p, left));
  TChart chart;
  chart.First = leftSign > 0 ? TSign::kPositive : TSign::kNegative;
  TSign sign = chart.First;
  for (TMark& zero : zeros) {
    zero.Before = sign;
    if (zero.Multiplicity % 2 == 1)
      sign = sign == TSign::kPositive ? TSign::kNegative : TSign::kPositive;
    zero.After = sign;
    chart.Marks.push_back(std::move(zero));
  }
  return chart;
}

// A line of at most kMostEntries entries; more end it with "...".
constexpr std::size_t kMostEntries = 100;

std::string Joined(const std::vector<std::string>& entries, const char* separator) {
  if (entries.empty()) return kTextNone;
  std::string line;
  for (std::size_t i = 0; i < entries.size() && i < kMostEntries; ++i)
    line += (line.empty() ? "" : separator) + entries[i];
  if (entries.size() > kMostEntries) line += std::string(separator) + "...";
  return line;
}

// How a term behaves on one side of a gap: toward a pole, toward a limit, or neither.
struct TSide {
  enum TKind : std::uint8_t { kPole, kLimit, kNeither, kOutside };
  TKind Kind = kNeither;
  long double Value = 0;  // the limit, or a value near the pole (its sign)
};

// The values at 2^-k of the magnitude beside the edge for k an eighth, a quarter and a half
// of the bits (and one less): growing in size toward a pole, settling toward a limit, whose
// first-order error the last two cancel.
TSide SideOf(TCurve& curve, mpfr_srcptr edge, bool right) {
  const mpfr_exp_t magnitude = mpfr_zero_p(edge) ? 1 : std::max<mpfr_exp_t>(mpfr_get_exp(edge), 1);
  const long half = static_cast<long>(curve.Bits) / 2 - 8;
  const long steps[] = {static_cast<long>(curve.Bits) / 8, static_cast<long>(curve.Bits) / 4,
                        half - 1, half};
  long double v[4] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    TReal x(curve.Bits);
    mpfr_set_ui_2exp(x, 1, magnitude - steps[i], MPFR_RNDN);
    if (!right) mpfr_neg(x, x, MPFR_RNDN);
    mpfr_add(x, x, edge, MPFR_RNDN);
    const long double at = Extended(x);
    if (at < curve.From || at > curve.To) return {TSide::kOutside, 0};
    TInterval point(curve.Bits);
    mpfi_set_fr(point.get(), x);
    TInterval y(curve.Bits);
    if (curve.ValueAt(0, point.get(), y.get()) != TFound::kValue) return {};
    v[i] = Middle(y.get());
  }
  const long double size = std::fabs(v[3]);
  if (std::fabs(v[3] - v[1]) <= kSettled * std::max<long double>(1, size))
    return {TSide::kLimit, 2 * v[3] - v[2]};
  const bool growing = std::fabs(v[0]) < std::fabs(v[1]) && std::fabs(v[1]) < size &&
                       (v[0] > 0) == (v[3] > 0) && (v[1] > 0) == (v[3] > 0);
  if (growing && size > kPoleSize) return {TSide::kPole, v[3]};
  return {};
}

}  // namespace

namespace {

constexpr const char* kTextDerivatives = "Ableitungen: ";
constexpr const char* kTextHint = "Hinweis: ";
constexpr const char* kWordSymmetricAxis = "achsensymmetrisch zur y-Achse";
constexpr const char* kWordSymmetricPoint = "punktsymmetrisch zum Ursprung";
constexpr const char* kWordSymmetricNone = "keine erkennbare";
constexpr std::int64_t kCanonicalWork = 2000000;
// Undecided places closer than this part of the interval share one hint.
constexpr long double kHintMerge = 1000;

// The entries left to right by the places they are at.
std::vector<std::string> ByPlace(std::vector<std::pair<long double, std::string>> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> texts;
  texts.reserve(entries.size());
  for (auto& entry : entries) texts.push_back(std::move(entry.second));
  return texts;
}

std::string MultiplicityWord(int k) {
  if (k == 2) return "doppelt";
  if (k == 3) return "dreifach";
  return std::to_string(k) + "-fach";
}

// The discussion: each line's entries from the charts of the term and its derivatives.
class TDiscussion {
 public:
  explicit TDiscussion(TCurve& curve) : Curve(curve) {}

  void Run(bool equation);

 private:
  std::string Var() const { return Curve.Cmd.XVar; }
  std::string At(mpfi_srcptr x) const { return Var() + " = " + Curve.NumberText(x); }
  std::string EdgeText(mpfr_srcptr x) const;
  bool Defined(mpfr_srcptr x);
  bool TermMarkNear(mpfi_srcptr x) const;
  const TMark* TermMarkIn(mpfi_srcptr x) const;
  std::string ZeroEntry(const TMark& mark);
  std::string GapEntry(const TMark& mark);
  std::string DomainEntry(const TMark& mark);
  void Gaps(std::vector<std::string>& gaps);
  void Turns(std::vector<std::string>& highs, std::vector<std::string>& lows,
             std::vector<std::string>& saddles);
  std::vector<std::string> Inflections();
  std::string Monotony();
  void Extremes(std::string& largest, std::string& smallest);
  std::string Symmetry();
  std::optional<std::string> Asymptotes();
  void NoteUndecided(const TChart& chart, const std::string& name);
  std::vector<std::string> Zeros();
  void AdoptMultipleZeros();
  std::vector<std::shared_ptr<TInterval>> RemovableGaps();

  void Emit(bool graph);
  void MarkAt(mpfi_srcptr x, long double y, char kind) { Marks.push_back({Middle(x), y, kind}); }

  TCurve& Curve;
  std::vector<std::string> Out;
  std::vector<plot::TMarked> Marks;
  TChart Chart[3];
  bool Charted[3] = {false, false, false};
  std::vector<std::string> Hints;
  // Points of the curve where it is unbounded above or below.
  bool Unbounded[2] = {false, false};
  std::vector<std::string> Poles;
};

std::string TDiscussion::EdgeText(mpfr_srcptr x) const {
  const long double scale = std::max<long double>(
      {std::fabs(Curve.From), std::fabs(Curve.To), static_cast<long double>(1)});
  const long double v = Extended(x);
  if (std::fabs(v) < scale * std::ldexp(1.0L, -static_cast<int>(Curve.Bits) + 30)) return "0";
  return Curve.ExtendedText(v);
}

bool TDiscussion::Defined(mpfr_srcptr x) {
  TInterval point(Curve.Bits);
  mpfi_set_fr(point.get(), x);
  TInterval y(Curve.Bits);
  return Curve.ValueAt(0, point.get(), y.get()) == TFound::kValue;
}

// Whether the term's own chart has a gap or a stretch without a value at x.
bool TDiscussion::TermMarkNear(mpfi_srcptr x) const {
  return TermMarkIn(x) != nullptr;
}

const TMark* TDiscussion::TermMarkIn(mpfi_srcptr x) const {
  for (const TMark& mark : Chart[0].Marks)
    if ((mark.Kind == TMark::kSingular || mark.Kind == TMark::kNone) &&
        Inside(mark.Where->get(), x))
      return &mark;
  return nullptr;
}

std::string TDiscussion::ZeroEntry(const TMark& mark) {
  std::string entry = At(mark.Where->get());
  if (mark.Multiplicity == -1) return entry + " (mehrfach)";
  if (mark.Multiplicity > 0)
    return mark.Multiplicity == 1 ? entry
                                  : entry + " (" + MultiplicityWord(mark.Multiplicity) + ")";
  if (mark.Simple) return entry;
  int k = 1;
  if (!Curve.Tree(1)) return entry;
  // A derivative that jumps at the zero gives it no multiplicity (abs(x) at 0).
  if (Charted[1]) {
    for (const TMark& m : Chart[1].Marks)
      if (m.Kind == TMark::kSingular && Inside(m.Where->get(), mark.Where->get())) return entry;
  }
  if (mark.Exact) {
    TCharter charter({Curve.Tree(0), nullptr, &Curve.Leaves, UpperCase(Var())}, Curve.Bits);
    while (k <= 3 && Curve.Tree(k) && charter.ExactZeroAt(Curve.Tree(k), Low(mark.Where->get())))
      ++k;
    if (!Curve.Tree(k)) return k == 1 ? entry : entry + " (mehrfach)";
    TInterval v(Curve.Bits);
    if (k <= 3 && Curve.Tree(k) &&
        charter.Enclose(Curve.Tree(k), mark.Where->get(), v.get()) == TFound::kValue &&
        mpfi_has_zero(v.get()) <= 0) {
      return k == 1 ? entry : entry + " (" + MultiplicityWord(k) + ")";
    }
  } else if (Curve.Tree(1)) {
    TInterval v(Curve.Bits);
    if (Curve.ValueAt(1, mark.Where->get(), v.get()) == TFound::kValue &&
        mpfi_has_zero(v.get()) <= 0)
      return entry;
  }
  return entry + " (mehrfach)";
}

std::string TDiscussion::GapEntry(const TMark& mark) {
  TSide left = SideOf(Curve, Low(mark.Where->get()), false);
  TSide right = SideOf(Curve, High(mark.Where->get()), true);
  if (left.Kind == TSide::kOutside) left = right;
  if (right.Kind == TSide::kOutside) right = left;
  TReal c(Curve.Bits);
  digits::MiddleAsExtended(mark.Where->get(), c);
  const std::string entry = Var() + " = " + EdgeText(c);
  for (const TSide& side : {left, right}) {
    if (side.Kind == TSide::kPole) Unbounded[side.Value > 0 ? 0 : 1] = true;
  }
  if (left.Kind == TSide::kPole && right.Kind == TSide::kPole) {
    Poles.push_back(entry);
    const bool change = (left.Value > 0) != (right.Value > 0);
    return entry +
           (change ? " (Polstelle mit Vorzeichenwechsel)" : " (Polstelle ohne Vorzeichenwechsel)");
  }
  if (left.Kind == TSide::kLimit && right.Kind == TSide::kLimit) {
    const long double size = std::max<long double>(
        {std::fabs(left.Value), std::fabs(right.Value), static_cast<long double>(1)});
    if (std::fabs(left.Value - right.Value) > kSameLimit * size) return entry + " (Sprung)";
    // Continuous where it has the limit's value: no gap at all.
    TInterval point(Curve.Bits);
    mpfi_set_fr(point.get(), c);
    TInterval y(Curve.Bits);
    if (Curve.ValueAt(0, point.get(), y.get()) == TFound::kValue &&
        std::fabs(Middle(y.get()) - left.Value) <= kSameLimit * size)
      return {};
    return entry + " (hebbar, Grenzwert " + Curve.ExtendedText(right.Value) + ")";
  }
  if (left.Kind == TSide::kPole || right.Kind == TSide::kPole) {
    Poles.push_back(entry);
    return entry + " (Polstelle)";
  }
  return entry + " (ohne Grenzwert)";
}

// A stretch without a value: its ends where they lie inside the interval, with "<=" where the
// term has no value at the end itself.
std::string TDiscussion::DomainEntry(const TMark& mark) {
  mpfr_srcptr s = Low(mark.Where->get());
  mpfr_srcptr e = High(mark.Where->get());
  const bool fromStart = Extended(s) <= Curve.From;
  const bool toEnd = Extended(e) >= Curve.To;
  if (fromStart && toEnd) return "alle " + Var();
  const auto bound = [&](mpfr_srcptr edge) {
    TReal c(Curve.Bits);
    mpfr_set_ld(c, Extended(edge), MPFR_RNDN);
    const std::string text = EdgeText(edge);
    if (text == "0") mpfr_set_ui(c, 0, MPFR_RNDN);
    return std::make_pair(text, Defined(c) ? std::string(" < ") : std::string(" <= "));
  };
  if (fromStart) {
    const auto [text, op] = bound(e);
    return Var() + op + text;
  }
  if (toEnd) {
    const auto [text, op] = bound(s);
    return text + op + Var();
  }
  const auto [low, lowOp] = bound(s);
  const auto [high, highOp] = bound(e);
  return low + lowOp + Var() + highOp + high;
}

void TDiscussion::Gaps(std::vector<std::string>& gaps) {
  for (const TMark& mark : Chart[0].Marks) {
    if (mark.Kind == TMark::kSingular) {
      std::string entry = GapEntry(mark);
      if (!entry.empty()) gaps.push_back(entry);
    } else if (mark.Kind == TMark::kNone) {
      gaps.push_back(DomainEntry(mark));
      // Toward the stretch's ends inside the interval: unbounded there?
      for (const bool right : {false, true}) {
        mpfr_srcptr edge = right ? High(mark.Where->get()) : Low(mark.Where->get());
        const TSide side = SideOf(Curve, edge, right);
        if (side.Kind == TSide::kPole) Unbounded[side.Value > 0 ? 0 : 1] = true;
      }
    }
  }
}

std::vector<std::string> TDiscussion::Zeros() {
  std::vector<std::pair<long double, std::string>> zeros;
  const auto place = [](const std::string& entry) { return entry.substr(0, entry.find(" (")); };
  const auto add = [&](long double at, const std::string& entry) {
    const long double slack =
        std::ldexp(std::max<long double>({std::fabs(Curve.From), std::fabs(Curve.To), 1}),
                   30 - static_cast<int>(Curve.Bits));
    for (const TMark& mark : Chart[0].Marks)
      if (mark.Kind == TMark::kVanishing && at >= Extended(Low(mark.Where->get())) - slack &&
          at <= Extended(High(mark.Where->get())) + slack && entry.find("<=") == std::string::npos)
        return;
    for (const auto& zero : zeros)
      if (place(zero.second) == place(entry)) return;
    zeros.emplace_back(at, entry);
  };
  for (const TMark& mark : Chart[0].Marks) {
    if (mark.Kind == TMark::kZero) {
      add(Middle(mark.Where->get()), ZeroEntry(mark));
      MarkAt(mark.Where->get(), 0, 'N');
    }
    if (mark.Kind == TMark::kVanishing)
      add(Middle(mark.Where->get()), EdgeText(Low(mark.Where->get())) + " <= " + Var() +
                                         " <= " + EdgeText(High(mark.Where->get())));
  }
  // A zero at the end of a stretch without a value (sqrt(x) at 0) or at a jump.
  for (const TMark& mark : Chart[0].Marks) {
    if (mark.Kind != TMark::kNone && mark.Kind != TMark::kSingular) continue;
    for (mpfr_srcptr edge : {Low(mark.Where->get()), High(mark.Where->get())}) {
      TReal c(Curve.Bits);
      mpfr_set_ld(c, Extended(edge), MPFR_RNDN);
      if (EdgeText(edge) == "0") mpfr_set_ui(c, 0, MPFR_RNDN);
      TCharter charter({Curve.Tree(0), nullptr, &Curve.Leaves, UpperCase(Var())}, Curve.Bits);
      TInterval point(Curve.Bits);
      mpfi_set_fr(point.get(), c);
      if (charter.ExactZeroAt(Curve.Tree(0), c)) add(Extended(c), At(point.get()));
    }
  }
  return ByPlace(zeros);
}

// One hint for each stretch of undecided places that lie close together.
void TDiscussion::NoteUndecided(const TChart& chart, const std::string& name) {
  const long double near = (Curve.To - Curve.From) / kHintMerge;
  std::vector<std::pair<const TMark*, const TMark*>> runs;
  for (const TMark& mark : chart.Marks) {
    if (mark.Kind != TMark::kCluster && mark.Kind != TMark::kUnknown) continue;
    if (!runs.empty() &&
        Extended(Low(mark.Where->get())) - Extended(High(runs.back().second->Where->get())) <
            near) {
      runs.back().second = &mark;
    } else {
      runs.emplace_back(&mark, &mark);
    }
  }
  for (const auto& [first, last] : runs) {
    if (first == last && first->Kind == TMark::kCluster) {
      Hints.push_back(kTextHint + name + " bei " + At(first->Where->get()) +
                      " nicht sicher entschieden (eine mehrfache Nullstelle?)");
    } else {
      Hints.push_back(kTextHint + name + " zwischen " + Var() + " = " +
                      EdgeText(Low(first->Where->get())) + " und " + Var() + " = " +
                      EdgeText(High(last->Where->get())) + " nicht entschieden");
    }
  }
}

bool IsDefinite(TSign s) {
  return s == TSign::kPositive || s == TSign::kNegative;
}

// Extrema where the slope changes its sign, at its zeros and at kinks of the continuous term;
// saddle points where it vanishes without a change.
void TDiscussion::Turns(std::vector<std::string>& highs, std::vector<std::string>& lows,
                        std::vector<std::string>& saddles) {
  if (!Charted[1]) return;
  for (const TMark& mark : Chart[1].Marks) {
    const bool kink = mark.Kind == TMark::kSingular && !TermMarkNear(mark.Where->get());
    if (mark.Kind != TMark::kZero && !kink) continue;
    if (!IsDefinite(mark.Before) || !IsDefinite(mark.After)) continue;
    TInterval at(Curve.Bits);
    mpfi_set(at.get(), mark.Where->get());
    if (kink) {
      TReal c(Curve.Bits);
      digits::MiddleAsExtended(mark.Where->get(), c);
      mpfi_set_fr(at.get(), c);
    }
    const std::optional<std::string> point = Curve.PointText(at.get());
    if (!point) continue;
    TInterval y(Curve.Bits);
    Curve.ValueAt(0, at.get(), y.get());
    if (mark.Before == mark.After) {
      if (!kink) saddles.push_back(*point);
    } else if (mark.Before == TSign::kPositive) {
      highs.push_back(*point);
      MarkAt(at.get(), Middle(y.get()), 'H');
    } else {
      lows.push_back(*point);
      MarkAt(at.get(), Middle(y.get()), 'T');
    }
  }
}

std::vector<std::string> TDiscussion::Inflections() {
  std::vector<std::string> points;
  if (!Charted[2]) return points;
  for (const TMark& mark : Chart[2].Marks) {
    const bool kink = mark.Kind == TMark::kSingular && !TermMarkNear(mark.Where->get());
    if (mark.Kind != TMark::kZero && !kink) continue;
    if (!IsDefinite(mark.Before) || !IsDefinite(mark.After) || mark.Before == mark.After) continue;
    TInterval at(Curve.Bits);
    mpfi_set(at.get(), mark.Where->get());
    if (kink) {
      TReal c(Curve.Bits);
      digits::MiddleAsExtended(mark.Where->get(), c);
      mpfi_set_fr(at.get(), c);
    }
    if (const std::optional<std::string> point = Curve.PointText(at.get()))
      points.push_back(*point);
  }
  return points;
}

// The sign after a mark, across the undecided stretches that follow it.
TSign SignAfter(const std::vector<TMark>& marks, std::size_t i) {
  for (; i < marks.size(); ++i) {
    if (marks[i].After != TSign::kUnknown) return marks[i].After;
    if (i + 1 < marks.size() && marks[i + 1].Kind != TMark::kUnknown) break;
  }
  return TSign::kUnknown;
}

// The stretches where the slope keeps its sign, cut at its changes (closed, the point belongs
// to both) and at the term's gaps (open where the term has no value at the edge).
std::string TDiscussion::Monotony() {
  if (!Charted[1]) return kTextNone;
  std::vector<std::string> parts;
  std::string start = "[" + Curve.ExtendedText(Curve.From);
  long double startAt = Curve.From;
  TSign sign = Chart[1].First;
  // A stretch where the term has a value (the slope may have one where the term has none).
  const auto close = [&](const std::string& end, long double endAt) {
    TReal middle(Curve.Bits);
    mpfr_set_ld(middle, startAt / 2 + endAt / 2, MPFR_RNDN);
    if (IsDefinite(sign) && Defined(middle))
      parts.push_back((sign == TSign::kPositive ? "steigend in " : "fallend in ") + start + "; " +
                      end);
  };
  // A gap of the term is open; the end of a stretch without a value where the term has one.
  const auto edge = [&](mpfr_srcptr x, bool opening, bool gap) {
    TReal c(Curve.Bits);
    const std::string text = EdgeText(x);
    mpfr_set_ld(c, Extended(x), MPFR_RNDN);
    if (text == "0") mpfr_set_ui(c, 0, MPFR_RNDN);
    const bool closed = !gap && Defined(c);
    return opening ? (closed ? "[" : "]") + text : text + (closed ? "]" : "[");
  };
  const std::vector<TMark>& marks = Chart[1].Marks;
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const TMark& mark = marks[i];
    const bool gap = mark.Kind != TMark::kZero && TermMarkNear(mark.Where->get());
    if (mark.Kind == TMark::kZero || (mark.Kind == TMark::kSingular && !gap)) {
      if (mark.Before == mark.After) continue;
      const std::string x = mark.Kind == TMark::kZero ? Curve.NumberText(mark.Where->get())
                                                      : EdgeText(Low(mark.Where->get()));
      close(x + "]", Middle(mark.Where->get()));
      start = "[" + x;
      startAt = Middle(mark.Where->get());
    } else if (gap || mark.Kind == TMark::kNone) {
      // At the term's own gap where the slope's chart has a wider stretch around it.
      const TMark* own = TermMarkIn(mark.Where->get());
      const TMark& at = own && mark.Kind == TMark::kUnknown ? *own : mark;
      const bool point = own && own->Kind == TMark::kSingular;
      close(edge(Low(at.Where->get()), false, point), Extended(Low(at.Where->get())));
      start = edge(High(at.Where->get()), true, point);
      startAt = Extended(High(at.Where->get()));
    } else {
      continue;
    }
    sign = SignAfter(marks, i);
  }
  close(Curve.ExtendedText(Curve.To) + "]", Curve.To);
  if (parts.empty() && Curve.Tree(1) && Chart[1].Marks.size() == 1 &&
      Chart[1].Marks[0].Kind == TMark::kVanishing)
    return "konstant in [" + Curve.ExtendedText(Curve.From) + "; " + Curve.ExtendedText(Curve.To) +
           "]";
  return Joined(parts, ", ");
}

// The largest and smallest values: at the interval's ends and the turns, none where the term
// is unbounded; every point of the value where several share it.
void TDiscussion::Extremes(std::string& largest, std::string& smallest) {
  struct TCandidate {
    std::shared_ptr<TInterval> X;
    std::shared_ptr<TInterval> Y;
  };
  std::vector<TCandidate> candidates;
  const auto consider = [&](mpfi_srcptr x) {
    auto y = std::make_shared<TInterval>(Curve.Bits);
    if (Curve.ValueAt(0, x, y->get()) != TFound::kValue) return;
    auto at = std::make_shared<TInterval>(Curve.Bits);
    mpfi_set(at->get(), x);
    candidates.push_back({at, y});
  };
  for (const long double end : {Curve.From, Curve.To}) {
    TReal at(Curve.Bits);
    mpfr_set_ld(at, end, MPFR_RNDN);
    TInterval x(Curve.Bits);
    mpfi_set_fr(x.get(), at);
    consider(x.get());
  }
  for (const TMark& mark : Chart[0].Marks) {
    if (mark.Kind != TMark::kNone) continue;
    for (mpfr_srcptr edge : {Low(mark.Where->get()), High(mark.Where->get())}) {
      TReal c(Curve.Bits);
      mpfr_set_ld(c, Extended(edge), MPFR_RNDN);
      if (EdgeText(edge) == "0") mpfr_set_ui(c, 0, MPFR_RNDN);
      TInterval x(Curve.Bits);
      mpfi_set_fr(x.get(), c);
      consider(x.get());
    }
  }
  if (Charted[1]) {
    for (const TMark& mark : Chart[1].Marks) {
      if (mark.Kind == TMark::kZero) {
        consider(mark.Where->get());
      } else if (mark.Kind == TMark::kSingular && !TermMarkNear(mark.Where->get())) {
        TReal c(Curve.Bits);
        digits::MiddleAsExtended(mark.Where->get(), c);
        TInterval x(Curve.Bits);
        mpfi_set_fr(x.get(), c);
        consider(x.get());
      }
    }
  }
  // A stretch the charts left undecided may hold larger or smaller values.
  const bool complete = Chart[0].Complete && (!Charted[1] || Chart[1].Complete);
  for (const int which : {0, 1}) {
    std::string& line = which == 0 ? largest : smallest;
    line = kTextNone;
    if (!complete && !Unbounded[which]) line = kTextUncertain;
    if (Unbounded[which] || candidates.empty() || !complete) continue;
    std::size_t best = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i) {
      const long double a = Middle(candidates[i].Y->get());
      const long double b = Middle(candidates[best].Y->get());
      if (which == 0 ? a > b : a < b) best = i;
    }
    std::vector<std::pair<long double, std::string>> points;
    for (const TCandidate& c : candidates) {
      if (!Inside(c.Y->get(), candidates[best].Y->get())) continue;
      const std::string text =
          "(" + Curve.NumberText(c.X->get()) + "|" + Curve.NumberText(c.Y->get()) + ")";
      const auto same = [&](const auto& p) { return p.second == text; };
      if (std::none_of(points.begin(), points.end(), same))
        points.emplace_back(Middle(c.X->get()), text);
    }
    line = Joined(ByPlace(points), kTextSeparator);
  }
}

bool IsZero(const algebra::Expr& e) {
  return e->TheKind == algebra::Kind::Number && e->Value.IsZero();
}

std::string TDiscussion::Symmetry() {
  try {
    const algebra::TWorkLimit limit(kCanonicalWork);
    const algebra::Expr e = algebra::FromTree(Curve.Tree(0));
    const algebra::Expr x = algebra::Sym(Var());
    const algebra::Expr mirrored = algebra::Substituted(e, x, algebra::Mul({algebra::Num(-1), x}));
    if (IsZero(algebra::ZeroTested(algebra::Add({mirrored, algebra::Mul({algebra::Num(-1), e})}))))
      return kWordSymmetricAxis;
    if (IsZero(algebra::ZeroTested(algebra::Add({mirrored, e})))) return kWordSymmetricPoint;
  } catch (const Exception&) {
    // a term the form cannot hold: no symmetry recognised
  }
  return kWordSymmetricNone;
}

using algebra::QPolynomial;
using algebra::Rational;

struct TRationalFunction {
  QPolynomial Num{Rational(0)};
  QPolynomial Den{Rational(1)};
};

std::optional<TRationalFunction> RationalOf(const algebra::Expr& e, const std::string& key) {
  using algebra::Kind;
  const auto number = [](const algebra::Number& n) -> std::optional<TRationalFunction> {
    if (!n.IsExact()) return std::nullopt;
    return TRationalFunction{QPolynomial{n.Fraction()}, QPolynomial{Rational(1)}};
  };
  const auto times = [](const TRationalFunction& a, const TRationalFunction& b) {
    return TRationalFunction{algebra::Product(a.Num, b.Num), algebra::Product(a.Den, b.Den)};
  };
  switch (e->TheKind) {
    case Kind::Number:
      return number(e->Value);
    case Kind::Symbol:
      if (e->Key != key) return std::nullopt;
      return TRationalFunction{QPolynomial{Rational(0), Rational(1)}, QPolynomial{Rational(1)}};
    case Kind::Power: {
      const algebra::Expr& n = e->Operands[1];
      if (n->TheKind != Kind::Number || !n->Value.IsWhole()) return std::nullopt;
      const Rational& q = n->Value.Fraction();
      if (abs(q) > Rational(64)) return std::nullopt;
      auto base = RationalOf(e->Operands[0], key);
      if (!base) return std::nullopt;
      const long k = q.get_num().get_si();
      if (k < 0) std::swap(base->Num, base->Den);
      const auto count = static_cast<std::size_t>(k < 0 ? -k : k);
      return TRationalFunction{algebra::Raised(base->Num, count),
                               algebra::Raised(base->Den, count)};
    }
    case Kind::Product: {
      auto r = number(e->Value);
      for (const algebra::Expr& factor : e->Operands) {
        auto f = RationalOf(factor, key);
        if (!r || !f) return std::nullopt;
        r = times(*r, *f);
      }
      return r;
    }
    case Kind::Sum: {
      auto r = number(e->Value);
      for (std::size_t i = 0; i < e->Operands.size() && r; ++i) {
        auto term = RationalOf(e->Operands[i], key);
        auto c = number(e->Coefficients[i]);
        if (!term || !c) return std::nullopt;
        const TRationalFunction t = times(*term, *c);
        r = TRationalFunction{
            algebra::Sum(algebra::Product(r->Num, t.Den), algebra::Product(t.Num, r->Den)),
            algebra::Product(r->Den, t.Den)};
      }
      return r;
    }
    case Kind::Function:
      return std::nullopt;
  }
  return std::nullopt;
}

// For a rational function that is no polynomial: its poles and the line it nears far out.
std::optional<std::string> TDiscussion::Asymptotes() {
  try {
    const algebra::TWorkLimit limit(kCanonicalWork);
    const algebra::Expr e = algebra::FromTree(Curve.Tree(0));
    std::optional<TRationalFunction> r = RationalOf(e, UpperCase(Var()));
    if (!r) return std::nullopt;
    const QPolynomial g = algebra::Gcd(r->Num, r->Den);
    QPolynomial num;
    QPolynomial den;
    QPolynomial rest;
    algebra::Divide(r->Num, g, num, rest);
    algebra::Divide(r->Den, g, den, rest);
    if (algebra::Degree(den) == 0) return std::nullopt;
    std::vector<std::string> lines = Poles;
    if (algebra::Degree(num) <= algebra::Degree(den) + 1) {
      QPolynomial quotient;
      algebra::Divide(num, den, quotient, rest);
      lines.push_back(
          "y = " + algebra::ToText(algebra::FromQPolynomial(quotient, algebra::Sym(Var())), Var()));
    }
    return Joined(lines, kTextSeparator);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// Where the term comes within its rounding of 0 around a proven single zero of its slope,
// the interval tests tell a multiple zero there as far as they can.
void TDiscussion::AdoptMultipleZeros() {
  if (!Charted[1]) return;
  for (TMark& mark : Chart[0].Marks) {
    if (mark.Kind != TMark::kCluster) continue;
    for (const TMark& turn : Chart[1].Marks) {
      if (turn.Kind != TMark::kZero || !Inside(turn.Where->get(), mark.Where->get())) continue;
      TInterval v(Curve.Bits);
      if (Curve.ValueAt(0, turn.Where->get(), v.get()) != TFound::kValue ||
          mpfi_has_zero(v.get()) <= 0)
        continue;
      mark.Kind = TMark::kZero;
      mark.Multiplicity = -1;
      mpfi_set(mark.Where->get(), turn.Where->get());
      break;
    }
  }
}

// The gaps of the term where it has a limit on both sides or jumps: no poles.
std::vector<std::shared_ptr<TInterval>> TDiscussion::RemovableGaps() {
  std::vector<std::shared_ptr<TInterval>> gaps;
  for (const TMark& mark : Chart[0].Marks) {
    if (mark.Kind != TMark::kSingular) continue;
    const TSide left = SideOf(Curve, Low(mark.Where->get()), false);
    const TSide right = SideOf(Curve, High(mark.Where->get()), true);
    if (left.Kind != TSide::kPole && right.Kind != TSide::kPole) gaps.push_back(mark.Where);
  }
  return gaps;
}

void TDiscussion::Run(bool equation) {
  std::vector<std::shared_ptr<TInterval>> avoid;
  for (std::int32_t level = 0; level < 3; ++level) {
    if (equation && level > 0) break;
    if (!Curve.Tree(level)) continue;
    std::optional<TChart> polynomial =
        Curve.Vanishes(level) ? Curve.VanishingChart() : Curve.PolynomialChart(level);
    Chart[level] = polynomial ? std::move(*polynomial) : Curve.ChartOf(level, avoid);
    Charted[level] = true;
    if (level == 0 && !equation) avoid = RemovableGaps();
  }
  AdoptMultipleZeros();
  const std::vector<std::string> zeros = Zeros();
  NoteUndecided(Chart[0], "f");
  if (equation) {
    Out.push_back(zeros.empty() ? kTextNoSolution : Joined(zeros, kTextSeparator));
    for (const std::string& hint : Hints) Out.push_back(hint);
    return Emit(false);
  }
  NoteUndecided(Chart[1], "f'");
  NoteUndecided(Chart[2], "f''");
  const std::string var = Var();
  Out.push_back("Intervall: [" + Curve.ExtendedText(Curve.From) + "; " +
                Curve.ExtendedText(Curve.To) + "]");
  const std::string& second = Curve.Texts[2].empty() ? Curve.Texts[1] : Curve.Texts[2];
  Out.push_back(kTextDerivatives + ("f'(" + var + ") = ") + Curve.Texts[1] + kTextSeparator +
                "f''(" + var + ") = " + second);
  std::vector<std::string> gaps;
  Gaps(gaps);
  Out.push_back("Definitionsl\374cken: " + Joined(gaps, kTextSeparator));
  if (const std::optional<std::string> asymptotes = Asymptotes())
    Out.push_back("Asymptoten: " + *asymptotes);
  Out.push_back("Nullstellen: " + Joined(zeros, kTextSeparator));
  std::string axis = kTextNone;
  if (Curve.From <= 0 && Curve.To >= 0) {
    TInterval origin(Curve.Bits);
    mpfi_set_ui(origin.get(), 0);
    if (const std::optional<std::string> point = Curve.PointText(origin.get())) axis = *point;
  }
  Out.push_back("Schnittpunkt mit der y-Achse: " + axis);
  std::vector<std::string> highs;
  std::vector<std::string> lows;
  std::vector<std::string> saddles;
  Turns(highs, lows, saddles);
  // Without a derivative the points it would find are not known.
  const auto known = [](bool charted, const std::string& line) {
    return charted ? line : std::string(kTextUnknown);
  };
  Out.push_back("Hochpunkte: " + known(Charted[1], Joined(highs, kTextSeparator)));
  Out.push_back("Tiefpunkte: " + known(Charted[1], Joined(lows, kTextSeparator)));
  Out.push_back("Sattelpunkte: " + known(Charted[1], Joined(saddles, kTextSeparator)));
  Out.push_back("Wendepunkte: " + known(Charted[2], Joined(Inflections(), kTextSeparator)));
  Out.push_back("Symmetrie: " + Symmetry());
  Out.push_back("Monotonie: " + known(Charted[1], Monotony()));
  std::string largest;
  std::string smallest;
  Extremes(largest, smallest);
  Out.push_back("Gr\366\337ter Wert: " + largest);
  Out.push_back("Kleinster Wert: " + smallest);
  for (const std::string& hint : Hints) Out.push_back(hint);
  Emit(PlotForm() != TPlotForm::kNone);
}

// The lines, or the graph with them and the points marked.
void TDiscussion::Emit(bool graph) {
  if (!graph) {
    for (const std::string& line : Out) WriteLine(line);
    return;
  }
  SetPlotMarks(Marks, Out);
  RunPlot(Curve.Cmd, Curve.F);
  SetPlotMarks({}, {});
}

// Parses the term, refuses what cannot be discussed; false with the error line written.
bool Prepared(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, TKoNumberTexts& numbers) {
  ParseRecording(f, numbers);
  const auto& parser = static_cast<const TKoMathParser&>(*f.GetCreator());
  const char* failure = nullptr;
  std::string text;
  if (!f.GetTree() || !parser.ErrorText.empty()) {
    text = parser.ErrorText.empty() ? std::string(kTextSyntaxError) : parser.ErrorText;
  } else if (HasRandom(f.GetTree())) {
    failure = kTextWithRandom;
  }
  (void)cmd;
  if (failure) text = failure;
  if (text.empty()) return true;
  NoteErrorLine();
  WriteLine(text);
  return false;
}

void Discuss(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, bool equation) {
  TKoNumberTexts numbers;
  if (!Prepared(cmd, f, numbers)) return;
  TCurve curve(cmd, f, numbers);
  if (!curve.SetInterval()) {
    NoteErrorLine();
    WriteLine(kTextIntervalReversed);
    return;
  }
  const bool readable = ReadableResultsWanted();
  SetReadableResults(true);
  for (std::int32_t level = 1; level <= (equation ? 1 : 3); ++level)
    if (!curve.Derive(level)) break;
  SetReadableResults(readable);
  TDiscussion discussion(curve);
  discussion.Run(equation);
}

}  // namespace

std::string EquationDifference(const std::string& term) {
  const auto at = term.find('=');
  return "(" + term.substr(0, at) + ")-(" + term.substr(at + 1) + ")";
}

void RunAnalysis(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  Discuss(cmd, f, false);
}

void RunEquation(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  Discuss(cmd, f, true);
}

const TKoMathParser& RunEquationLine(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  TKoMathCommandLine difference = cmd;
  difference.FuncStr = EquationDifference(cmd.FuncStr);
  const TKoMathParser& parsed = BindCommandLine(difference, f);
  if (difference.Newton && !AnalyzeWanted()) {
    RunNewton(difference, f);
  } else {
    RunEquation(difference, f);
  }
  return parsed;
}
