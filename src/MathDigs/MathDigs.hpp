// Values of terms to any number of decimal digits: interval arithmetic over MPFR, with more
// bits until every printed digit is certain.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "MathPars/MathPars.hpp"

class TKoOperatorNode;

inline constexpr std::int32_t kFewestDigits = 1;
inline constexpr std::int32_t kMostDigits = 100000;

inline constexpr const char* kTextDigitsNotDecidable =
    "Die verlangten Stellen sind nicht sicher bestimmbar!";

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

// A point where an integrand may jump, kink or run off: near Approximate (an extended value)
// the subtree Argument meets Target, or Target times pi where OfPi is set.
struct TKoDigitsBreak {
  long double Approximate = 0;
  const TKoOperatorNode* Argument = nullptr;
  long double Target = 0;
  bool OfPi = false;
};

// A definite integral or arc length to find to any number of digits.
struct TKoDigitsIntegral {
  // The integrand; for the arc length the term's derivative, and sqrt(1 + Term^2) is
  // integrated.
  const TKoOperatorNode* Term = nullptr;
  bool ArcLength = false;
  // The bounds: their decimal texts, or where a text is empty the extended value.
  std::string FromText, ToText;
  long double From = 0, To = 0;
  std::vector<TKoDigitsBreak> Breaks;
  // The integral in extended precision with its estimated error: the scale of the work,
  // and a check that no part of the integrand was missed.
  long double Estimate = 0;
  long double EstimateError = 0;
};

// The most digits an integral is computed to: beyond, the work would take minutes.
inline constexpr std::int32_t kMostIntegralDigits = 2000;

// The integral correctly rounded to digits significant digits, in pieces between the breaks
// by nested rules, level by level until two levels agree beyond the digits; Failed with the
// refusal text where the digits cannot be made certain.
TKoDigitsOutcome IntegralToDigits(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
                                  const std::string& variable, std::int32_t digits);

// The level-th derivative of the term at the variable's value (upper-case name) from
// centred differences in interval arithmetic at steps halved from a 1024th of the point's
// scale, extrapolated by Richardson until the last two agree beyond the digits: for terms
// smooth around the point (no break within level times the largest step) whose symbolic
// derivative is too large to form. Failed with the refusal text where they do not agree.
TKoDigitsOutcome DerivativeByDifferences(const TKoOperatorNode* root, const TKoDigitsLeaves& leaves,
                                         const std::string& variable, std::int32_t level,
                                         std::int32_t digits);
// The largest step DerivativeByDifferences takes at the point x.
long double LargestDifferenceStep(long double x);
