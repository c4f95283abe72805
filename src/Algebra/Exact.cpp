#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "Algebra/Algebra.hpp"
#include "MathTree/NodeHelpers.hpp"

namespace algebra {

namespace {

using nodes::Is;

// 21 significant digits tell every extended value apart.
constexpr int kMostDigits = 21;
// A whole exponent beyond this is not worth an exact power.
constexpr long kLargestExponent = 4096;

bool TooLarge(const Rational& q) {
  return mpz_sizeinbase(q.get_num_mpz_t(), 2) > kLargestBits ||
         mpz_sizeinbase(q.get_den_mpz_t(), 2) > kLargestBits;
}

// The value of a text d.ddd...e+-n as written.
Rational FromScientific(const std::string& text) {
  const std::size_t e = text.find('e');
  std::string digits;
  for (std::size_t i = 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];
  const std::size_t point = text.find('.');
  const long fraction = point == std::string::npos ? 0 : static_cast<long>(e - point - 1);
  const long exponent = std::stol(text.substr(e + 1)) - fraction;
  mpz_class mantissa(digits, 10);
  mpz_class scale;
  mpz_ui_pow_ui(scale.get_mpz_t(), 10, static_cast<unsigned long>(std::labs(exponent)));
  Rational q = exponent >= 0 ? Rational(mantissa * scale) : Rational(mantissa, scale);
  q.canonicalize();
  return q;
}

// base^exponent for a whole exponent, as the evaluation defines it: 0^0 = 1, no negative
// power of 0.
std::optional<Rational> WholePower(const Rational& base, const Rational& exponent) {
  if (exponent.get_den() != 1 || abs(exponent) > kLargestExponent) return std::nullopt;
  const long n = exponent.get_num().get_si();
  if (base == 0) {
    if (n < 0) return std::nullopt;
    return Rational(n == 0 ? 1 : 0);
  }
  const unsigned long magnitude = static_cast<unsigned long>(std::labs(n));
  const std::size_t bits =
      std::max(mpz_sizeinbase(base.get_num_mpz_t(), 2), mpz_sizeinbase(base.get_den_mpz_t(), 2));
  if (bits * magnitude > kLargestBits) return std::nullopt;
  mpz_class num, den;
  mpz_pow_ui(num.get_mpz_t(), base.get_num_mpz_t(), magnitude);
  mpz_pow_ui(den.get_mpz_t(), base.get_den_mpz_t(), magnitude);
  Rational power = n >= 0 ? Rational(num, den) : Rational(den, num);
  power.canonicalize();
  return power;
}

// The operands of a chain folded from the left by step, which may refuse.
template <class Step>
std::optional<Rational> Folded(const TKoOperatorNode* node, Step step) {
  if (node->ChildCount() == 0) return std::nullopt;
  std::optional<Rational> value = ExactValue(node->Child(0));
  for (std::int32_t i = 1; value && i < node->ChildCount(); ++i) {
    const std::optional<Rational> operand = ExactValue(node->Child(i));
    if (!operand) return std::nullopt;
    value = step(*value, *operand);
    if (value && TooLarge(*value)) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<Rational> DecimalOf(long double v) {
  if (!std::isfinite(v)) return std::nullopt;
  char text[64];
  for (int digits = 1; digits <= kMostDigits; ++digits) {
    std::snprintf(text, sizeof text, "%.*Le", digits - 1, v);
    long double back = 0;
    if (ScanNumber(text, back) && back == v) return FromScientific(text);
  }
  return std::nullopt;
}

std::optional<Rational> ExactValue(const TKoOperatorNode* node) {
  if (Is(node, opConstant)) return DecimalOf(node->LeafValue());
  if (Is(node, opNegation) || Is(node, opSqr)) {
    if (node->ChildCount() != 1) return std::nullopt;
    std::optional<Rational> value = ExactValue(node->Child(0));
    if (!value) return std::nullopt;
    if (Is(node, opNegation)) return Rational(-*value);
    return WholePower(*value, 2);
  }
  if (Is(node, opSum))
    return Folded(
        node, [](const Rational& a, const Rational& b) { return std::optional<Rational>(a + b); });
  if (Is(node, opProduct))
    return Folded(
        node, [](const Rational& a, const Rational& b) { return std::optional<Rational>(a * b); });
  if (Is(node, opQuotient))
    return Folded(node, [](const Rational& a, const Rational& b) {
      return b == 0 ? std::nullopt : std::optional<Rational>(a / b);
    });
  if (Is(node, opPower)) return Folded(node, WholePower);
  return std::nullopt;
}

long double ToLongDouble(const Rational& q) {
  if (q == 0) return 0;
  constexpr int kDigits = std::numeric_limits<long double>::digits;
  mpz_class num = abs(q.get_num());
  mpz_class den = q.get_den();
  // Scaled so that the quotient has two bits more than the format holds: one to round by
  // and one that the scaling may leave.
  const long shift = kDigits + 2 - static_cast<long>(mpz_sizeinbase(num.get_mpz_t(), 2)) +
                     static_cast<long>(mpz_sizeinbase(den.get_mpz_t(), 2));
  if (shift > 0) num <<= static_cast<mp_bitcnt_t>(shift);
  if (shift < 0) den <<= static_cast<mp_bitcnt_t>(-shift);
  mpz_class quotient, remainder;
  mpz_tdiv_qr(quotient.get_mpz_t(), remainder.get_mpz_t(), num.get_mpz_t(), den.get_mpz_t());
  const auto dropped = static_cast<long>(mpz_sizeinbase(quotient.get_mpz_t(), 2)) - kDigits;
  const mpz_class low = quotient & ((mpz_class(1) << static_cast<mp_bitcnt_t>(dropped)) - 1);
  const mpz_class half = mpz_class(1) << static_cast<mp_bitcnt_t>(dropped - 1);
  quotient >>= static_cast<mp_bitcnt_t>(dropped);
  if (low > half || (low == half && (remainder != 0 || mpz_odd_p(quotient.get_mpz_t()))))
    ++quotient;
  // A carry into a new bit leaves 2^64, which the format holds exactly.
  const long double mantissa = mpz_sizeinbase(quotient.get_mpz_t(), 2) > kDigits
                                   ? 0x1p64L
                                   : static_cast<long double>(mpz_get_ui(quotient.get_mpz_t()));
  const long double magnitude = std::ldexp(mantissa, static_cast<int>(dropped - shift));
  return q < 0 ? -magnitude : magnitude;
}

}  // namespace algebra
