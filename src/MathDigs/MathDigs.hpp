// Values of terms to any number of decimal digits: interval arithmetic over MPFR, with more
// bits until every printed digit is certain.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "MathPars/MathPars.hpp"

class TKoOperatorNode;

inline constexpr std::int32_t kFewestDigits = 1;
inline constexpr std::int32_t kMostDigits = 100000;

// Where the value of a variable comes from: the digits given for it, the constants pi and
// e, a constant term (its tree, not owned), or nothing (the variable is 0).
struct TKoDigitsSource {
  enum TKind : std::uint8_t { kNothing, kText, kConstantPi, kConstantE, kTerm };
  TKind Kind = kNothing;
  std::string Text;
  const TKoOperatorNode* Term = nullptr;
};

// The leaves of a term: its numbers as written and its variables by their upper-case names.
struct TKoDigitsLeaves {
  const TKoNumberTexts* Numbers = nullptr;
  std::map<std::string, TKoDigitsSource> Variables;
};

// A value to the digits asked for, or the error text of the term.
struct TKoDigitsOutcome {
  std::string Text;
  bool Failed = false;
};

// The term's value, correctly rounded to digits significant decimal digits.
TKoDigitsOutcome ValueToDigits(const TKoOperatorNode* root, const TKoDigitsLeaves& leaves,
                               std::int32_t digits);

// A root of the term in the variable (upper case) by Newton's iteration from start, a root
// found in extended precision; slope is the term's derivative, or nullptr where it has none.
// Failed where the iteration does not settle to the digits asked for.
TKoDigitsOutcome RootToDigits(const TKoOperatorNode* root, const TKoOperatorNode* slope,
                              const TKoDigitsLeaves& leaves, const std::string& variable,
                              long double start, std::int32_t digits);

// The display form of a decimal value: digits (with a leading "-" when negative) times ten to
// the power exponent, the point before the first digit, shown with at most count
// significant digits: plain for a decimal exponent from -3 to count - 1, else 1.25E+60.
std::string DigitsText(const std::string& digits, std::int64_t exponent, std::int32_t count);
