// Exact numbers for the symbolic units: rationals of any size (GMP), the exact value of a
// term of numbers alone, and the conversions between rationals and extended values.
#pragma once

#include <gmpxx.h>

#include <optional>

class TKoOperatorNode;

namespace algebra {

using Rational = mpq_class;

// The decimal number that reads as v: the shortest one that reads back to the same extended
// value, so a typed 0.1 is one tenth. None for a value that is not finite.
std::optional<Rational> DecimalOf(long double v);

// The exact value of a term of numbers alone joined by + - * / and whole powers, its
// numbers read as the decimals they were typed as. None for anything else: variables,
// functions, a division by 0, a power the evaluation refuses, numbers of more than
// kLargestBits bits.
std::optional<Rational> ExactValue(const TKoOperatorNode* node);
inline constexpr unsigned long kLargestBits = 1UL << 16;

// q rounded to the nearest extended value (ties to even); beyond the range an infinity.
long double ToLongDouble(const Rational& q);

}  // namespace algebra
