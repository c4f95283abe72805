#include <algorithm>
#include <cmath>
#include <optional>

#include "MathDigs/Interval.hpp"
#include "MathDigs/MathDigs.hpp"

namespace {

using digits::TEvaluator;
using digits::TInterval;
using digits::TReal;
using digits::TUndecided;

// Bits beyond the digits asked for, so that most values decide at the first try.
constexpr mpfr_prec_t kGuardBits = 64;
// The bits are doubled until at least this many, and this many times the first: then the
// final evaluation takes intervals that still hold a jump, a pole or 0 as lying on it.
constexpr mpfr_prec_t kFinalBits = 4096;
constexpr mpfr_prec_t kFinalFactor = 4;
// Beyond the final bits, intervals that are still wide (a sine of an argument known to fewer
// bits than its size) get more, up to this many times the first bits or this many.
constexpr mpfr_prec_t kHardestFactor = 8;
constexpr mpfr_prec_t kHardestBits = mpfr_prec_t{1} << 20;
using digits::BitsFor;
using digits::Rounded;
using digits::TDecimal;
using digits::WidenExponents;

constexpr mpfr_prec_t FinalBits(mpfr_prec_t first) {
  return std::max(kFinalFactor * first, kFinalBits);
}

std::string Text(const TDecimal& d, std::int32_t count) {
  return DigitsText(d.Digits, d.Exponent, count);
}

// The digits of the interval's value where all of it rounds alike. The final evaluation
// takes a narrow interval around 0 as 0, and one around a half of the last place as that
// half, rounded to even as every exact half is.
std::optional<std::string> Decided(mpfi_srcptr v, std::int32_t count, bool final) {
  if (mpfr_zero_p(&v->left) && mpfr_zero_p(&v->right)) return "0";
  const bool settle = final && digits::Narrow(v, mpfi_get_prec(v));
  if (mpfr_sgn(&v->left) <= 0 && mpfr_sgn(&v->right) >= 0) {
    if (!settle) return std::nullopt;
    return "0";
  }
  TDecimal low = Rounded(&v->left, count);
  const TDecimal high = Rounded(&v->right, count);
  if (!(low == high)) {
    if (!settle) return std::nullopt;
    if ((low.Digits.back() - '0') % 2 != 0) low = high;
  }
  return Text(low, count);
}

}  // namespace

namespace digits {

mpfr_prec_t BitsFor(std::int32_t digits) {
  return static_cast<mpfr_prec_t>(std::ceil(digits * kBitsPerDigit)) + kGuardBits;
}

void WidenExponents() {
  mpfr_set_emin(mpfr_get_emin_min());
  mpfr_set_emax(mpfr_get_emax_max());
}

TDecimal Rounded(mpfr_srcptr v, std::int32_t count) {
  TDecimal d;
  char* text =
      mpfr_get_str(nullptr, &d.Exponent, 10, static_cast<std::size_t>(count), v, MPFR_RNDN);
  d.Digits = text;
  mpfr_free_str(text);
  return d;
}

}  // namespace digits

std::string DigitsText(const std::string& digits, std::int64_t exponent, std::int32_t count) {
  const bool negative = !digits.empty() && digits[0] == '-';
  std::string d = digits.substr(negative ? 1 : 0);
  while (d.size() > 1 && d.back() == '0') d.pop_back();
  if (d.empty() || d == "0") return "0";
  // The decimal exponent of the first digit.
  const std::int64_t first = exponent - 1;
  std::string text;
  if (first >= 0 && first <= count - 1) {
    const auto whole = static_cast<std::size_t>(first + 1);
    if (d.size() <= whole) {
      text = d + std::string(whole - d.size(), '0');
    } else {
      text = d.substr(0, whole) + "." + d.substr(whole);
    }
  } else if (first >= -3 && first < 0) {
    text = "0." + std::string(static_cast<std::size_t>(-first - 1), '0') + d;
  } else {
    text = d.substr(0, 1);
    if (d.size() > 1) text += "." + d.substr(1);
    text += first < 0 ? "E-" : "E+";
    text += std::to_string(first < 0 ? -first : first);
  }
  return negative ? "-" + text : text;
}

TKoDigitsOutcome ValueToDigits(const TKoOperatorNode* root, const TKoDigitsLeaves& leaves,
                               std::int32_t digits) {
  WidenExponents();
  // Every try draws the same numbers for rnd.
  const std::uint64_t draws = RandomDraws();
  const mpfr_prec_t first = BitsFor(digits);
  const mpfr_prec_t last = FinalBits(first);
  for (mpfr_prec_t bits = first; bits <= std::max(kHardestFactor * first, kHardestBits);
       bits *= 2) {
    ReplayRandomSequence(draws);
    try {
      TEvaluator evaluator(leaves, bits, bits >= last);
      TInterval value(bits);
      if (const char* text = evaluator.Evaluate(root, value.get())) return {text, true};
      if (auto text = Decided(value.get(), digits, bits >= last)) return {*text, false};
    } catch (const TUndecided&) {
      // More bits will tell.
    }
  }
  return {digits::kTextNotDecidable, true};
}

namespace {

// Newton's iteration at one precision from x until the step is below its last bits or the
// term's value holds 0; false where the term has no value or no slope on the way, or the
// iteration does not settle. Towards a root of multiplicity m the steps shrink by (m-1)/m:
// once their ratio is steady, they are taken m times.
class TRootFinder {
 public:
  TRootFinder(const TKoOperatorNode* root, const TKoOperatorNode* slope,
              const TKoDigitsLeaves& leaves, std::string variable)
      : Root(root),
        SlopeTree(slope),
        Leaves(leaves),
        Variable(std::move(variable)),
        Draws(RandomDraws()) {}

  bool Converge(mpfr_ptr x) {
    const mpfr_prec_t bits = mpfr_get_prec(x);
    TEvaluator evaluator(Leaves, bits, true);
    TReal f(bits);
    TReal d(bits);
    TReal last(bits);
    mpfr_set_ui(last, 0, MPFR_RNDN);
    double lastRatio = 0;
    for (int i = 0; i < kPasses; ++i) {
      bool zero = false;
      if (!ValueAt(evaluator, x, f, &zero)) return false;
      if (zero) return true;
      if (!SlopeAt(evaluator, x, d) || mpfr_zero_p(d.get())) return false;
      mpfr_div(f, f, d, MPFR_RNDN);
      const double ratio = mpfr_zero_p(last.get()) ? 0 : Ratio(f, last);
      mpfr_set(last, f, MPFR_RNDN);
      if (ratio > kLinearLow && ratio < kLinearHigh && std::fabs(ratio - lastRatio) < kSpread)
        mpfr_mul_ui(f, f, static_cast<unsigned long>(std::lround(1 / (1 - ratio))), MPFR_RNDN);
      lastRatio = ratio;
      mpfr_sub(x, x, f, MPFR_RNDN);
      // The step within the last bits of x.
      if (mpfr_zero_p(f.get()) ||
          (!mpfr_zero_p(x) && mpfr_get_exp(f.get()) < mpfr_get_exp(x) - bits + 8))
        return true;
    }
    return false;
  }

 private:
  static constexpr int kPasses = 500;
  static constexpr double kLinearLow = 0.3;
  static constexpr double kLinearHigh = 0.99;
  static constexpr double kSpread = 0.02;

  static double Ratio(mpfr_srcptr step, mpfr_srcptr last) {
    TReal q(mpfr_get_prec(step));
    mpfr_div(q, step, last, MPFR_RNDN);
    return mpfr_get_d(q, MPFR_RNDN);
  }

  bool ValueAt(TEvaluator& evaluator, mpfr_srcptr x, mpfr_ptr value, bool* zero = nullptr) {
    return Evaluate(evaluator, Root, x, value, zero);
  }

  bool Evaluate(TEvaluator& evaluator, const TKoOperatorNode* tree, mpfr_srcptr x, mpfr_ptr value,
                bool* zero) {
    ReplayRandomSequence(Draws);
    evaluator.SetRunning(Variable, x);
    TInterval v(evaluator.Precision());
    try {
      if (evaluator.Evaluate(tree, v.get())) return false;
    } catch (const TUndecided&) {
      return false;
    }
    if (zero) *zero = mpfi_has_zero(v.get()) > 0;
    mpfi_mid(value, v.get());
    return true;
  }

  // The derivative's value, else a centred difference with a step of a third of the bits.
  bool SlopeAt(TEvaluator& evaluator, mpfr_srcptr x, mpfr_ptr slope) {
    if (SlopeTree) return Evaluate(evaluator, SlopeTree, x, slope, nullptr);
    const mpfr_prec_t bits = evaluator.Precision();
    TReal h(bits);
    TReal at(bits);
    TReal upper(bits);
    const mpfr_exp_t scale = mpfr_zero_p(x) ? 0 : std::max<mpfr_exp_t>(mpfr_get_exp(x), 0);
    mpfr_set_ui_2exp(h, 1, scale - bits / 3, MPFR_RNDN);
    mpfr_add(at, x, h, MPFR_RNDN);
    bool ok = ValueAt(evaluator, at, upper);
    mpfr_sub(at, x, h, MPFR_RNDN);
    ok = ok && ValueAt(evaluator, at, slope);
    if (ok) {
      mpfr_sub(slope, upper, slope, MPFR_RNDN);
      mpfr_div(slope, slope, h, MPFR_RNDN);
      mpfr_div_2ui(slope, slope, 1, MPFR_RNDN);
    }
    return ok;
  }

  const TKoOperatorNode* Root;
  const TKoOperatorNode* SlopeTree;
  const TKoDigitsLeaves& Leaves;
  std::string Variable;
  std::uint64_t Draws;
};

}  // namespace

TKoDigitsOutcome RootToDigits(const TKoOperatorNode* root, const TKoOperatorNode* slope,
                              const TKoDigitsLeaves& leaves, const std::string& variable,
                              long double start, std::int32_t digits) {
  WidenExponents();
  TRootFinder finder(root, slope, leaves, variable);
  const mpfr_prec_t first = BitsFor(digits);
  const mpfr_prec_t last = FinalBits(first);
  TReal x(first);
  mpfr_set_ld(x, start, MPFR_RNDN);
  std::optional<TDecimal> previous;
  TKoDigitsOutcome outcome{{}, true};
  // The digits count once two precisions agree on them.
  for (mpfr_prec_t bits = first; bits <= 2 * last; bits *= 2) {
    mpfr_prec_round(x, bits, MPFR_RNDN);
    if (!finder.Converge(x)) break;
    const TDecimal now = Rounded(x, digits);
    if (previous && *previous == now) {
      outcome = {mpfr_zero_p(x.get()) ? "0" : Text(now, digits), false};
      break;
    }
    previous = now;
  }
  return outcome;
}
