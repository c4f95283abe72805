// The evaluation of a term in interval arithmetic at a given number of bits: every value is
// an interval that surely holds the true one.
#pragma once

#include <mpfi.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "MathDigs/MathDigs.hpp"
#include "MathTree/MathTree.hpp"

namespace digits {

inline constexpr const char* kTextNotDecidable = kTextDigitsNotDecidable;
inline constexpr double kBitsPerDigit = 3.3219280948873623;

// The bits of the first try for digits decimal digits: theirs and a guard.
mpfr_prec_t BitsFor(std::int32_t digits);
// Values far beyond the extended range have digits too.
void WidenExponents();

struct TDecimal {
  std::string Digits;
  mpfr_exp_t Exponent = 0;
  bool operator==(const TDecimal&) const = default;
};
// v rounded to count significant decimal digits.
TDecimal Rounded(mpfr_srcptr v, std::int32_t count);

// Whether the interval is narrow for the bits: its width within half of them, relative to
// its magnitude or to 1, whichever is larger, or to 1 alone where absolute.
bool Narrow(mpfi_srcptr x, mpfr_prec_t bits, bool absolute = false);

// Thrown where an interval is too wide to tell which case holds (a jump, a pole or the end
// of a domain lies inside): more bits will tell.
struct TUndecided {};

// An MPFR number of a given precision, freed with its scope also when TUndecided passes.
class TReal {
 public:
  explicit TReal(mpfr_prec_t precision) { mpfr_init2(Value, precision); }
  ~TReal() { mpfr_clear(Value); }
  TReal(const TReal&) = delete;
  TReal& operator=(const TReal&) = delete;
  TReal(TReal&&) = delete;
  TReal& operator=(TReal&&) = delete;
  // For MPFR's macros, which need the pointer itself.
  mpfr_srcptr get() const { return Value; }
  // NOLINTNEXTLINE(google-explicit-constructor): stands for the number in MPFR's calls
  operator mpfr_ptr() { return Value; }
  // NOLINTNEXTLINE(google-explicit-constructor)
  operator mpfr_srcptr() const { return Value; }

 private:
  mpfr_t Value;
};

class TInterval {
 public:
  explicit TInterval(mpfr_prec_t precision) { mpfi_init2(Value, precision); }
  ~TInterval() { mpfi_clear(Value); }
  TInterval(const TInterval&) = delete;
  TInterval& operator=(const TInterval&) = delete;
  TInterval(TInterval&&) = delete;
  TInterval& operator=(TInterval&&) = delete;
  mpfi_ptr get() { return Value; }
  mpfi_srcptr get() const { return Value; }

 private:
  mpfi_t Value;
};

// Evaluates terms with the rules of the extended evaluation, on intervals of a fixed
// precision. An evaluator that is not final throws TUndecided where an interval holds a jump,
// a pole or the end of a domain; a final one takes the value there, as the exact term most
// likely has it (sin(pi) as 0, floor(0.1*30) as 3).
class TEvaluator {
 public:
  TEvaluator(const TKoDigitsLeaves& leaves, mpfr_prec_t precision, bool final);
  // The value of the subtree into out, and its error text or nullptr.
  const char* Evaluate(const TKoOperatorNode* node, mpfi_ptr out);
  // The variable of this upper-case name takes value from now on.
  void SetRunning(const std::string& upperName, mpfr_srcptr value);
  // The same for a range of values: the variable takes the interval.
  void SetRunningRange(const std::string& upperName, mpfi_srcptr range);
  // A wide evaluator reads the running variable's range as one of many values, not as a
  // point known to few bits: whole powers of a base across 0 are enclosed, and a jump of
  // a whole-number function inside is undecided.
  void SetWide(bool wide) { Wide = wide; }
  mpfr_prec_t Precision() const { return Bits; }

 private:
  enum TPlace { kBelow, kAt, kAbove };
  TPlace Place(mpfi_srcptr x, long c) const;
  void Undecided(mpfi_srcptr x, bool absolute = false) const;
  bool Huge(mpfi_srcptr x) const;
  const char* Checked(mpfi_srcptr x) const;
  void Leaf(const TKoOperatorNode* node, mpfi_ptr out);
  void Variable(const TKoOperatorNode* node, mpfi_ptr out);
  const char* Negation(const TKoOperatorNode* node, mpfi_ptr out);
  const char* Function(const TKoOperatorNode* node, mpfi_ptr out);
  const char* Fold(const TKoOperatorNode* node, mpfi_ptr out);
  const char* Operate(TOperation operation, mpfi_ptr a, mpfi_srcptr b);
  const char* Apply(TOperation operation, mpfi_ptr x);
  const char* Elementary(TOperation operation, mpfi_ptr x);
  const char* Inverse(TOperation operation, mpfi_ptr x);
  const char* Hyperbolic(TOperation operation, mpfi_ptr x);
  void Step(TOperation operation, mpfi_ptr x);
  void Whole(TOperation operation, mpfi_ptr x);
  void Phase(mpfi_ptr x);
  const char* Factorial(mpfi_ptr x);
  const char* Gamma(mpfi_ptr z);
  const char* Power(mpfi_ptr a, mpfi_srcptr b);
  void WholePower(mpfi_ptr a, mpz_srcptr n);

  const TKoDigitsLeaves& Leaves;
  const mpfr_prec_t Bits;
  const bool Final;
  std::unordered_map<const TKoOperatorNode*, std::unique_ptr<TInterval>> LeafValues;
  std::string RunningName;
  mpfr_srcptr RunningValue = nullptr;
  mpfi_srcptr RunningRange = nullptr;
  bool Wide = false;
};

}  // namespace digits
