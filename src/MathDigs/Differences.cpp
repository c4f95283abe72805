// Derivatives to many digits from differences: where the symbolic derivative grows beyond
// what can be formed, centred differences at the full bits, extrapolated by Richardson.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "MathDigs/Interval.hpp"
#include "MathDigs/MathDigs.hpp"

namespace {

using digits::TEvaluator;
using digits::TInterval;
using digits::TReal;
using digits::TUndecided;

// Steps from 2^-kFirstStep of the point's scale, halved kSteps - 1 times.
constexpr int kFirstStep = 10;
constexpr int kStepCount = 9;
constexpr auto kSteps = static_cast<std::size_t>(kStepCount);
// Digits beyond those asked for that the last two extrapolations must agree on.
constexpr int kMarginDigits = 8;
constexpr long double kMostDigitsHere = 200;
// The last two extrapolations agree to this many digits beyond those asked for.
constexpr int kAgreeDigits = 4;

// The binomial coefficient as an exact double for the levels here (at most a few dozen).
double Binomial(int n, int k) {
  double c = 1;
  for (int i = 1; i <= k; ++i) c = c * (n - k + i) / i;
  return c;
}

class TDifferences {
 public:
  TDifferences(const TKoOperatorNode* root, const TKoDigitsLeaves& leaves,
               const std::string& variable, mpfr_prec_t bits)
      : Root(root), Evaluator(leaves, bits, true), Variable(variable), Bits(bits) {}

  // The centred difference quotient of the level with step h at x into q, the width of its
  // enclosure into width; false where the term has no value at a point.
  bool Quotient(mpfr_srcptr x, mpfr_srcptr h, int level, mpfr_ptr q, long double& width) {
    TReal at(Bits), offset(Bits), term(Bits);
    TInterval value(Bits);
    TInterval sum(Bits);
    mpfi_set_ui(sum.get(), 0);
    for (int j = 0; j <= level; ++j) {
      // f(x + (level/2 - j)*h) with the sign and weight of C(level, j).
      mpfr_mul_si(offset, h, level - 2 * j, MPFR_RNDN);
      mpfr_div_2ui(offset, offset, 1, MPFR_RNDN);
      mpfr_add(at, x, offset, MPFR_RNDN);
      Evaluator.SetRunning(Variable, at);
      try {
        if (Evaluator.Evaluate(Root, value.get())) return false;
      } catch (const TUndecided&) {
        return false;
      }
      if (!mpfi_bounded_p(value.get())) return false;
      mpfi_mul_d(value.get(), value.get(), (j % 2 == 0 ? 1 : -1) * Binomial(level, j));
      mpfi_add(sum.get(), sum.get(), value.get());
    }
    for (int k = 0; k < level; ++k) mpfi_div_fr(sum.get(), sum.get(), h);
    mpfi_mid(q, sum.get());
    TReal diameter(64);
    mpfi_diam_abs(diameter, sum.get());
    width = mpfr_get_ld(diameter, MPFR_RNDU);
    return true;
  }

 private:
  const TKoOperatorNode* Root;
  TEvaluator Evaluator;
  const std::string& Variable;
  const mpfr_prec_t Bits;
};

}  // namespace

long double LargestDifferenceStep(long double x) {
  return std::ldexp(std::fmax(1.0L, std::fabs(x)), -kFirstStep);
}

TKoDigitsOutcome DerivativeByDifferences(const TKoOperatorNode* root, const TKoDigitsLeaves& leaves,
                                         const std::string& variable, std::int32_t level,
                                         std::int32_t digits) {
  using namespace digits;
  TKoDigitsOutcome refused{kTextNotDecidable, true};
  if (!root || level < 1 || digits > kMostDigitsHere) return refused;
  WidenExponents();
  // Each level divides by the smallest step; the extrapolation takes a few bits per column.
  const mpfr_prec_t bits = BitsFor(digits + kMarginDigits) +
                           mpfr_prec_t{level} * (kFirstStep + kStepCount + 1) +
                           mpfr_prec_t{4} * kStepCount;
  TReal x(bits);
  const auto source = leaves.Variables.find(variable);
  if (source == leaves.Variables.end() || source->second.Kind == TKoDigitsSource::kNothing) {
    mpfr_set_ui(x, 0, MPFR_RNDN);
  } else if (source->second.Kind != TKoDigitsSource::kText ||
             mpfr_set_str(x, source->second.Text.c_str(), 10, MPFR_RNDN) != 0) {
    return refused;
  }
  TDifferences differences(root, leaves, variable, bits);
  TReal h(bits);
  mpfr_set_ld(h, LargestDifferenceStep(mpfr_get_ld(x, MPFR_RNDN)), MPFR_RNDN);
  // Neville's tableau in h^2: row k holds the extrapolations from the first k+1 steps.
  std::vector<std::unique_ptr<TReal>> rowNow, rowBefore;
  long double widest = 0;
  TReal term(bits);
  long double error = 0;
  for (std::size_t k = 0; k < kSteps; ++k) {
    rowNow.clear();
    rowNow.push_back(std::make_unique<TReal>(bits));
    long double width = 0;
    if (!differences.Quotient(x, h, level, *rowNow[0], width)) return refused;
    widest = std::max(widest, width);
    for (std::size_t j = 1; j <= k; ++j) {
      // T[k][j] = T[k][j-1] + (T[k][j-1] - T[k-1][j-1]) / (4^j - 1)
      rowNow.push_back(std::make_unique<TReal>(bits));
      mpfr_sub(term, *rowNow[j - 1], *rowBefore[j - 1], MPFR_RNDN);
      mpfr_div_ui(term, term, (1UL << (2 * j)) - 1, MPFR_RNDN);
      mpfr_add(*rowNow[j], *rowNow[j - 1], term, MPFR_RNDN);
    }
    if (k >= 1) {
      mpfr_sub(term, *rowNow[k], *rowBefore[k - 1], MPFR_RNDN);
      error = std::fabs(mpfr_get_ld(term, MPFR_RNDN));
    }
    std::swap(rowNow, rowBefore);
    mpfr_div_2ui(h, h, 1, MPFR_RNDN);
  }
  // The enclosures' widths, grown by the extrapolation (its weights sum to below 2 a column).
  error = 2 * error + widest * std::ldexp(1.0L, kStepCount);
  TReal& value = *rowBefore[kSteps - 1];
  const long double magnitude = std::fabs(mpfr_get_ld(value, MPFR_RNDN));
  if (!(error <= magnitude * std::pow(10.0L, -static_cast<long double>(digits + kAgreeDigits))))
    return refused;
  TReal low(bits), high(bits), bound(bits);
  mpfr_set_ld(bound, error, MPFR_RNDU);
  mpfr_sub(low, value, bound, MPFR_RNDD);
  mpfr_add(high, value, bound, MPFR_RNDU);
  if (mpfr_sgn(low.get()) != mpfr_sgn(high.get())) return refused;
  const TDecimal rounded = Rounded(low, digits);
  if (!(rounded == Rounded(high, digits))) return refused;
  return {DigitsText(rounded.Digits, rounded.Exponent, digits), false};
}
