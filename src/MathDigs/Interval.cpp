#include "MathDigs/Interval.hpp"

#include <algorithm>
#include <limits>

#include "util/util.hpp"

namespace digits {

namespace {

// A whole factorial up to this is the product itself; beyond it the gamma function is
// quicker at the same precision.
constexpr unsigned long kLargestProduct = 2000000;
// Gamma turns (its minimum) between these.
constexpr double kGammaTurnBelow = 1.4616321;
constexpr double kGammaTurnAbove = 1.4616322;
// The wide reading takes trigonometric functions of arguments beyond 2^this as unresolved.
constexpr mpfr_exp_t kWideLargestExponent = 1024;
// Gamma of arguments from this below 0 up to 3 from a shifted argument.
constexpr long kShiftedGammaBelow = 50;

mpfr_ptr Left(mpfi_ptr x) {
  return &x->left;
}
mpfr_ptr Right(mpfi_ptr x) {
  return &x->right;
}
mpfr_srcptr Left(mpfi_srcptr x) {
  return &x->left;
}
mpfr_srcptr Right(mpfi_srcptr x) {
  return &x->right;
}

bool IsPoint(mpfi_srcptr x) {
  return mpfr_equal_p(Left(x), Right(x)) != 0;
}

// Beyond the exponent range on the whole: the lower end above it, or the upper one below.
bool Overflows(mpfr_srcptr low, mpfr_srcptr high) {
  const auto beyond = [](mpfr_srcptr v) {
    return mpfr_inf_p(v) ||
           (mpfr_number_p(v) && !mpfr_zero_p(v) && mpfr_get_exp(v) >= mpfr_get_emax());
  };
  return (mpfr_sgn(low) > 0 && beyond(low)) || (mpfr_sgn(high) < 0 && beyond(high));
}

// An extended value, exact in binary.
void SetExtended(mpfi_ptr x, long double value) {
  TReal v(std::numeric_limits<long double>::digits);
  mpfr_set_ld(v, value, MPFR_RNDN);
  mpfi_set_fr(x, v);
}

void SetZero(mpfi_ptr x) {
  mpfi_set_ui(x, 0);
}

}  // namespace

bool Narrow(mpfi_srcptr x, mpfr_prec_t bits, bool absolute) {
  if (!mpfi_bounded_p(x)) return false;
  TReal width(std::numeric_limits<double>::digits);
  mpfr_sub(width, Right(x), Left(x), MPFR_RNDU);
  if (mpfr_zero_p(width.get())) return true;
  mpfr_exp_t magnitude = 1;
  for (mpfr_srcptr end : {Left(x), Right(x)})
    if (!absolute && !mpfr_zero_p(end)) magnitude = std::max(magnitude, mpfr_get_exp(end));
  return mpfr_get_exp(width.get()) <= magnitude - bits / 4;
}

TEvaluator::TEvaluator(const TKoDigitsLeaves& leaves, mpfr_prec_t precision, bool final)
    : Leaves(leaves), Bits(precision), Final(final) {}

void TEvaluator::SetRunning(const std::string& upperName, mpfr_srcptr value) {
  RunningName = upperName;
  RunningValue = value;
  RunningRange = nullptr;
}

void TEvaluator::SetRunningRange(const std::string& upperName, mpfi_srcptr range) {
  RunningName = upperName;
  RunningValue = nullptr;
  RunningRange = range;
}

// The final evaluator takes an interval as lying on the point it holds only where it is
// narrow: within half the bits of its magnitude (and of 1), or of 1 alone where whole
// numbers are the points (the jumps of floor, the poles of the factorial). A wide interval,
// as sin of a huge argument known to too few bits, needs more bits at any stage.
// A failure text where the interval left the numbers: a not-a-number, or the whole interval
// beyond the exponent range. An interval with only one end beyond it is undecided.
const char* TEvaluator::Checked(mpfi_srcptr x) const {
  if (mpfi_nan_p(x)) return kTextInvalidOp;
  if (mpfi_bounded_p(x)) return nullptr;
  if (Overflows(Left(x), Right(x))) return kTextOverflow;
  Undecided(x);
  return kTextOverflow;
}

bool TEvaluator::Huge(mpfi_srcptr x) const {
  for (mpfr_srcptr end : {Left(x), Right(x)})
    if (!mpfr_number_p(end) || (!mpfr_zero_p(end) && mpfr_get_exp(end) > kWideLargestExponent))
      return true;
  return false;
}

void TEvaluator::Undecided(mpfi_srcptr x, bool absolute) const {
  if (!Final || !Narrow(x, Bits, absolute)) throw TUndecided{};
}

// Where the interval lies beside the whole number c; an interval that holds c without being
// c is undecided, and taken as c by the final evaluator.
TEvaluator::TPlace TEvaluator::Place(mpfi_srcptr x, long c) const {
  if (mpfr_cmp_si(Right(x), c) < 0) return kBelow;
  if (mpfr_cmp_si(Left(x), c) > 0) return kAbove;
  if (mpfr_cmp_si(Left(x), c) != 0 || mpfr_cmp_si(Right(x), c) != 0) Undecided(x);
  return kAt;
}

const char* TEvaluator::Evaluate(const TKoOperatorNode* node, mpfi_ptr out) {
  const TOperation operation = node->Operation;
  if (IsLeafCode(operation)) {
    Leaf(node, out);
    return nullptr;
  }
  if (IsFunctionCode(operation)) return Function(node, out);
  if (operation == opNegation) return Negation(node, out);
  return Fold(node, out);
}

void TEvaluator::Leaf(const TKoOperatorNode* node, mpfi_ptr out) {
  if (node->Operation == opVariable && node->Variable && (RunningValue || RunningRange) &&
      UpperCase(node->Variable->Name) == RunningName) {
    if (RunningRange) {
      mpfi_set(out, RunningRange);
    } else {
      mpfi_set_fr(out, RunningValue);
    }
    return;
  }
  auto& cached = LeafValues[node];
  if (!cached) {
    cached = std::make_unique<TInterval>(Bits);
    if (node->Operation == opVariable) {
      Variable(node, cached->get());
    } else {
      const auto text = Leaves.Numbers ? Leaves.Numbers->find(node) : TKoNumberTexts::iterator();
      // Numbers the program made itself (in a derivative) are exact in binary.
      if (Leaves.Numbers && text != Leaves.Numbers->end()) {
        mpfi_set_str(cached->get(), text->second.c_str(), 10);
      } else {
        SetExtended(cached->get(), node->LeafValue());
      }
    }
  }
  mpfi_set(out, cached->get());
}

void TEvaluator::Variable(const TKoOperatorNode* node, mpfi_ptr out) {
  const auto source = node->Variable ? Leaves.Variables.find(UpperCase(node->Variable->Name))
                                     : Leaves.Variables.end();
  if (source == Leaves.Variables.end()) {
    SetExtended(out, node->LeafValue());
    return;
  }
  switch (source->second.Kind) {
    case TKoDigitsSource::kText:
      mpfi_set_str(out, source->second.Text.c_str(), 10);
      return;
    case TKoDigitsSource::kConstantPi:
      mpfi_const_pi(out);
      return;
    case TKoDigitsSource::kConstantE:
      mpfi_set_ui(out, 1);
      mpfi_exp(out, out);
      return;
    case TKoDigitsSource::kTerm:
      // computable in extended precision, so failing here only where the interval is too
      // wide for a domain: then the extended value
      if (Evaluate(source->second.Term, out)) SetExtended(out, node->LeafValue());
      return;
    case TKoDigitsSource::kNothing:
      SetZero(out);
      return;
  }
}

const char* TEvaluator::Negation(const TKoOperatorNode* node, mpfi_ptr out) {
  const TKoOperatorNode* child = node->Children.empty() ? nullptr : node->Children[0];
  if (!child) {
    SetZero(out);
    return kTextMissingOperand;
  }
  const char* text = Evaluate(child, out);
  mpfi_neg(out, out);
  return text;
}

// The function is applied also after an error below; its own failure replaces the text.
const char* TEvaluator::Function(const TKoOperatorNode* node, mpfi_ptr out) {
  const TKoOperatorNode* child = node->Children.empty() ? nullptr : node->Children[0];
  if (!child) {
    SetZero(out);
    return kTextNoFunctionParameter;
  }
  const char* text = Evaluate(child, out);
  const char* failure = Apply(node->Operation, out);
  if (!failure) failure = Checked(out);
  if (failure) {
    SetZero(out);
    return failure;
  }
  return text;
}

// Operands from left to right; the first error ends the fold with the value so far.
const char* TEvaluator::Fold(const TKoOperatorNode* node, mpfi_ptr out) {
  const std::size_t count = node->Children.size();
  const TKoOperatorNode* first = count ? node->Children[0] : nullptr;
  if (!first) {
    SetZero(out);
    return kTextMissingOperand;
  }
  if (const char* text = Evaluate(first, out)) return text;
  for (std::size_t i = 1; i < count; ++i) {
    const TKoOperatorNode* child = node->Children[i];
    if (!child) return kTextMissingOperand;
    TInterval b(Bits);
    if (const char* text = Evaluate(child, b.get())) return text;
    const char* failure = Operate(node->Operation, out, b.get());
    if (!failure) failure = Checked(out);
    if (failure) {
      SetZero(out);
      return failure;
    }
  }
  return nullptr;
}

const char* TEvaluator::Operate(TOperation operation, mpfi_ptr a, mpfi_srcptr b) {
  if (operation == opSum) {
    mpfi_add(a, a, b);
  } else if (operation == opProduct) {
    mpfi_mul(a, a, b);
  } else if (operation == opQuotient) {
    if (Place(b, 0) == kAt) return kTextDivisionByZero;
    mpfi_div(a, a, b);
  } else if (operation == opPower) {
    return Power(a, b);
  } else {
    // Codes without an operator routine take no second operand.
    return kTextIllegalOperation;
  }
  return nullptr;
}

// Negative bases only with whole exponents; 0^0 is 1, 0 to a negative power has no value.
const char* TEvaluator::Power(mpfi_ptr a, mpfi_srcptr b) {
  const bool zeroBase = mpfr_zero_p(Left(a)) && mpfr_zero_p(Right(a));
  const bool acrossZero = !zeroBase && mpfr_sgn(Left(a)) <= 0 && mpfr_sgn(Right(a)) >= 0;
  if (acrossZero && Wide && IsPoint(b) && mpfr_integer_p(Left(b)) && mpfr_sgn(Left(b)) > 0 &&
      mpfr_fits_ulong_p(Left(b), MPFR_RNDN)) {
    // Odd powers rise; even ones reach 0 inside and their largest value at an end.
    const unsigned long n = mpfr_get_ui(Left(b), MPFR_RNDN);
    TReal low(Bits);
    TReal high(Bits);
    if (n % 2 == 1) {
      mpfr_pow_ui(low, Left(a), n, MPFR_RNDD);
      mpfr_pow_ui(high, Right(a), n, MPFR_RNDU);
    } else {
      mpfr_set_ui(low, 0, MPFR_RNDN);
      mpfr_abs(high, Left(a), MPFR_RNDN);
      mpfr_max(high, high, Right(a), MPFR_RNDN);
      mpfr_pow_ui(high, high, n, MPFR_RNDU);
    }
    mpfi_interv_fr(a, low, high);
    return nullptr;
  }
  if (acrossZero) Undecided(a);
  if (zeroBase || acrossZero) {
    const TPlace exponent = Place(b, 0);
    if (exponent == kBelow) return kTextIllegalPower;
    mpfi_set_ui(a, exponent == kAt ? 1 : 0);
    return nullptr;
  }
  const bool negativeBase = mpfr_sgn(Right(a)) < 0;
  TInterval exponent(mpfi_get_prec(b));
  mpfi_set(exponent.get(), b);
  bool whole = IsPoint(b) && mpfr_integer_p(Left(b));
  if (!whole && negativeBase) {
    // A negative base needs a whole exponent: one inside the interval is taken as it.
    mpfr_ptr k = Left(exponent.get());
    mpfr_ceil(k, k);
    if (mpfr_greater_p(k, Right(b))) return kTextIllegalPower;
    Undecided(b, true);
    mpfr_set(Right(exponent.get()), k, MPFR_RNDN);
    whole = true;
  }
  if (whole && mpfr_fits_slong_p(Left(exponent.get()), MPFR_RNDN)) {
    mpz_t n;
    mpz_init_set_si(n, mpfr_get_si(Left(exponent.get()), MPFR_RNDN));
    WholePower(a, n);
    mpz_clear(n);
    return nullptr;
  }
  // Larger exponents (and all others of positive bases) by exp(b ln |a|); a whole exponent of
  // this size is even unless its last bit is one.
  bool odd = false;
  if (negativeBase) {
    mpfi_neg(a, a);
    TReal half(mpfi_get_prec(b));
    mpfr_div_2ui(half, Left(exponent.get()), 1, MPFR_RNDN);
    odd = mpfr_integer_p(half) == 0;
  }
  TInterval t(Bits);
  mpfi_log(t.get(), a);
  mpfi_mul(t.get(), t.get(), exponent.get());
  mpfi_exp(a, t.get());
  if (odd) mpfi_neg(a, a);
  return nullptr;
}

// a^n for a whole n: the power is monotone in the magnitude of the base.
void TEvaluator::WholePower(mpfi_ptr a, mpz_srcptr n) {
  const bool negative = mpfr_sgn(Right(a)) < 0;
  if (negative) mpfi_neg(a, a);
  TReal low(Bits);
  TReal high(Bits);
  const bool rising = mpz_sgn(n) >= 0;
  mpfr_pow_z(low, rising ? Left(a) : Right(a), n, MPFR_RNDD);
  mpfr_pow_z(high, rising ? Right(a) : Left(a), n, MPFR_RNDU);
  mpfi_interv_fr(a, low, high);
  if (negative && mpz_odd_p(n)) mpfi_neg(a, a);
}

const char* TEvaluator::Apply(TOperation operation, mpfi_ptr x) {
  if (operation == opTrunc || operation == opRound || operation == opFrac || operation == opCeil ||
      operation == opFloor) {
    Whole(operation, x);
  } else if (operation == opSgn || operation == opZero || operation == opHeav ||
             operation == opAbs) {
    Step(operation, x);
  } else if (operation == opPhase) {
    Phase(x);
  } else if (operation == opRnd) {
    mpfi_mul_ui(x, x, DrawRandom());
    mpfi_div_2ui(x, x, 32);
  } else if (operation == opFactorial) {
    return Factorial(x);
  } else if (operation >= opSinh && operation <= opArcCoth) {
    return Hyperbolic(operation, x);
  } else if (operation >= opArcSin && operation <= opArcCot) {
    return Inverse(operation, x);
  } else {
    return Elementary(operation, x);
  }
  return nullptr;
}

const char* TEvaluator::Elementary(TOperation operation, mpfi_ptr x) {
  if (operation == opLn || operation == opLog || operation == opLd) {
    const TPlace place = Place(x, 0);
    if (place == kBelow) return kTextInvalidOp;
    if (place == kAt) return kTextZeroDivide;
    if (operation == opLn) mpfi_log(x, x);
    if (operation == opLog) mpfi_log10(x, x);
    if (operation == opLd) mpfi_log2(x, x);
  } else if (operation == opSqrt) {
    if (mpfr_sgn(Left(x)) >= 0) {
      mpfi_sqrt(x, x);
    } else if (Place(x, 0) == kBelow) {
      return kTextInvalidOp;
    } else {
      SetZero(x);
    }
  } else if (Wide &&
             (operation == opTan || operation == opCot || operation == opSin ||
              operation == opCos) &&
             Huge(x)) {
    // Beyond any period the bits can resolve: sin and cos anywhere in [-1; 1], tan and cot
    // undecided, without reducing the argument by pi to millions of bits.
    if (operation == opTan || operation == opCot) throw TUndecided{};
    mpfi_interv_si(x, -1, 1);
  } else if (operation == opTan || operation == opCot) {
    // A pole where the cosine (the sine) is 0.
    TInterval divisor(Bits);
    if (operation == opTan) {
      mpfi_cos(divisor.get(), x);
    } else {
      mpfi_sin(divisor.get(), x);
    }
    if (Place(divisor.get(), 0) == kAt) return kTextZeroDivide;
    if (operation == opTan) {
      mpfi_tan(x, x);
    } else {
      mpfi_cot(x, x);
    }
  } else if (operation == opExp) {
    mpfi_exp(x, x);
  } else if (operation == opSqr) {
    mpfi_sqr(x, x);
  } else if (operation == opSin) {
    mpfi_sin(x, x);
  } else if (operation == opCos) {
    mpfi_cos(x, x);
  }
  // Codes without a function leave the value as it is.
  return nullptr;
}

const char* TEvaluator::Inverse(TOperation operation, mpfi_ptr x) {
  if (operation == opArcTan) {
    mpfi_atan(x, x);
    return nullptr;
  }
  if (operation == opArcCot) {
    // arctan(1/x) for positive x keeps the digits that pi/2 - arctan(x) cancels.
    if (mpfr_sgn(Left(x)) > 0) {
      mpfi_inv(x, x);
      mpfi_atan(x, x);
      return nullptr;
    }
    TInterval halfPi(Bits);
    mpfi_const_pi(halfPi.get());
    mpfi_div_2ui(halfPi.get(), halfPi.get(), 1);
    mpfi_atan(x, x);
    mpfi_sub(x, halfPi.get(), x);
    return nullptr;
  }
  if (mpfr_cmp_si(Left(x), 1) > 0 || mpfr_cmp_si(Right(x), -1) < 0) return kTextInvalidArgument;
  // An end of the domain inside: the value there.
  if (mpfr_cmp_si(Left(x), -1) < 0) {
    Undecided(x);
    mpfi_set_si(x, -1);
  } else if (mpfr_cmp_si(Right(x), 1) > 0) {
    Undecided(x);
    mpfi_set_si(x, 1);
  }
  if (operation == opArcSin) {
    mpfi_asin(x, x);
  } else {
    mpfi_acos(x, x);
  }
  return nullptr;
}

const char* TEvaluator::Hyperbolic(TOperation operation, mpfi_ptr x) {
  if (operation == opSinh) {
    mpfi_sinh(x, x);
  } else if (operation == opCosh) {
    mpfi_cosh(x, x);
  } else if (operation == opTanh) {
    mpfi_tanh(x, x);
  } else if (operation == opArcSinh) {
    mpfi_asinh(x, x);
  } else if (operation == opCoth) {
    if (Place(x, 0) == kAt) return kTextZeroDivide;
    mpfi_coth(x, x);
  } else if (operation == opArcCosh) {
    const TPlace place = Place(x, 1);
    if (place == kBelow) return kTextInvalidArgument;
    if (place == kAt) mpfi_set_ui(x, 1);
    mpfi_acosh(x, x);
  } else if (operation == opArcTanh) {
    if (mpfr_cmp_si(Left(x), 1) > 0) return kTextInvalidArgument;
    if (mpfr_cmp_si(Right(x), -1) < 0) return kTextInvalidOp;
    // The poles at 1 and -1.
    if (Place(x, 1) == kAt || Place(x, -1) == kAt) return kTextZeroDivide;
    mpfi_atanh(x, x);
  } else {
    // arccoth(x) = artanh(1/x) for |x| > 1; none between -1 and 1, poles at both.
    const TPlace upper = Place(x, 1);
    const TPlace lower = Place(x, -1);
    if (upper == kAt || lower == kAt) return kTextZeroDivide;
    if (upper == kBelow && lower == kAbove) return kTextInvalidOp;
    mpfi_inv(x, x);
    mpfi_atanh(x, x);
  }
  return nullptr;
}

// The whole-number functions. Round is half up, that is floor(x + 1/2); frac keeps the part
// beyond the truncation. A jump inside the interval is taken at its whole number.
void TEvaluator::Whole(TOperation operation, mpfi_ptr x) {
  TInterval y(Bits + 2);
  mpfi_set(y.get(), x);
  if (operation == opRound) mpfi_add_d(y.get(), y.get(), 0.5);
  int (*whole)(mpfr_ptr, mpfr_srcptr) = mpfr_trunc;
  if (operation == opFloor || operation == opRound) whole = mpfr_floor;
  if (operation == opCeil) whole = mpfr_ceil;
  TReal low(Bits + 2);
  TReal high(Bits + 2);
  whole(low, Left(y.get()));
  whole(high, Right(y.get()));
  const bool decided = mpfr_equal_p(low, high) != 0;
  if (!decided && Wide) throw TUndecided{};
  if (!decided && !(Final && Narrow(y.get(), Bits, true))) {
    // Jumps inside a wide interval: every whole number between its ends' (all of these
    // functions rise), which more bits narrow down.
    TInterval between(Bits + 2);
    mpfi_interv_fr(between.get(), low, high);
    if (operation == opFrac) {
      mpfi_sub(x, x, between.get());
    } else {
      mpfi_set(x, between.get());
    }
    return;
  }
  // The jump of floor and round lies at the upper whole number, that of ceil at the lower,
  // that of trunc at the one farther from 0.
  mpfr_srcptr k = high;
  if (operation == opCeil ||
      (operation != opFloor && operation != opRound && mpfr_sgn(high.get()) <= 0))
    k = low;
  if (operation != opFrac) {
    mpfi_set_fr(x, k);
  } else if (decided) {
    mpfi_sub_fr(x, x, k);
  } else {
    SetZero(x);
  }
}

void TEvaluator::Step(TOperation operation, mpfi_ptr x) {
  if (operation == opAbs) {
    mpfi_abs(x, x);
    return;
  }
  const TPlace place = Place(x, 0);
  long value = 1;
  if (operation == opSgn) value = place == kBelow ? -1 : (place == kAt ? 0 : 1);
  if (operation == opZero) value = place == kAt ? 0 : 1;
  if (operation == opHeav) value = place == kBelow ? 0 : 1;
  mpfi_set_si(x, value);
}

// With t = x / (pi/2) and R(v) = trunc(v + 1/2): R((t - R(t)) * 2 * pi), a whole number.
void TEvaluator::Phase(mpfi_ptr x) {
  TInterval pi(Bits);
  mpfi_const_pi(pi.get());
  TInterval t(Bits);
  mpfi_div(t.get(), x, pi.get());
  mpfi_mul_2ui(t.get(), t.get(), 1);
  TInterval r(Bits);
  mpfi_add_d(r.get(), t.get(), 0.5);
  Whole(opTrunc, r.get());
  mpfi_sub(t.get(), t.get(), r.get());
  mpfi_mul(t.get(), t.get(), pi.get());
  mpfi_mul_2ui(x, t.get(), 1);
  mpfi_add_d(x, x, 0.5);
  Whole(opTrunc, x);
}

// x! of a whole x as the product, of any other x as Gamma(x + 1); none for negative whole x.
const char* TEvaluator::Factorial(mpfi_ptr x) {
  if (IsPoint(x) && mpfr_integer_p(Left(x))) {
    if (mpfr_sgn(Left(x)) < 0) return kTextIllegalOperations;
    if (mpfr_cmp_ui(Left(x), kLargestProduct) <= 0) {
      const unsigned long n = mpfr_get_ui(Left(x), MPFR_RNDN);
      mpfr_fac_ui(Left(x), n, MPFR_RNDD);
      mpfr_fac_ui(Right(x), n, MPFR_RNDU);
      return nullptr;
    }
  } else if (mpfr_sgn(Left(x)) < 0) {
    TReal k(Bits);
    mpfr_ceil(k, Left(x));
    const bool pole = mpfr_sgn(k.get()) < 0 && mpfr_lessequal_p(k, Right(x));
    if (pole) {
      Undecided(x, true);
      return kTextIllegalOperations;
    }
  }
  mpfi_add_ui(x, x, 1);
  return Gamma(x);
}

namespace {

// An enclosure of |Gamma(z)| at a point that is no pole: e to ln|Gamma(z)| rounded both ways
// (MPFR's gamma itself takes minutes at ten thousand digits, its logarithm a second).
void AbsGamma(mpfr_srcptr z, mpfi_ptr out, mpfr_prec_t bits) {
  TReal low(bits);
  TReal high(bits);
  int sign = 0;
  mpfr_lgamma(low, &sign, z, MPFR_RNDD);
  mpfr_lgamma(high, &sign, z, MPFR_RNDU);
  mpfi_interv_fr(out, low, high);
  mpfi_exp(out, out);
}

}  // namespace

// Gamma on an interval between two of its poles, where it is monotone: from its ends. Above
// 0 its only turn is at 1.4616321..., below 0 one between each two poles, where the digamma
// function (rising between the poles) changes its sign.
const char* TEvaluator::Gamma(mpfi_ptr z) {
  if (mpfr_cmp_si(Left(z), -kShiftedGammaBelow) > 0 && mpfr_cmp_ui(Left(z), 3) < 0) {
    // Gamma(z) = Gamma(z + n) / (z (z+1) ... (z+n-1)) with z + n at least 3: ln Gamma is 0
    // at 1 and 2, and near there MPFR needs several times the bits.
    TReal first(Bits);
    mpfr_floor(first, Left(z));
    const long n = 3 - mpfr_get_si(first, MPFR_RNDN);
    TInterval product(Bits);
    TInterval factor(Bits);
    mpfi_set(product.get(), z);
    for (long i = 1; i < n; ++i) {
      mpfi_add_si(factor.get(), z, i);
      mpfi_mul(product.get(), product.get(), factor.get());
    }
    mpfi_add_si(factor.get(), z, n);
    TInterval high(Bits);
    AbsGamma(Left(factor.get()), z, Bits);
    AbsGamma(Right(factor.get()), high.get(), Bits);
    mpfi_union(z, z, high.get());
    mpfi_div(z, z, product.get());
    return nullptr;
  }
  bool monotone = IsPoint(z) || mpfr_cmp_d(Left(z), kGammaTurnAbove) > 0 ||
                  (mpfr_sgn(Left(z)) > 0 && mpfr_cmp_d(Right(z), kGammaTurnBelow) < 0);
  if (!monotone) {
    TReal psiLow(Bits);
    TReal psiHigh(Bits);
    mpfr_digamma(psiLow, Left(z), MPFR_RNDN);
    mpfr_digamma(psiHigh, Right(z), MPFR_RNDN);
    monotone = mpfr_sgn(psiLow.get()) == mpfr_sgn(psiHigh.get());
  }
  // Gamma is positive above 0 and changes its sign at every pole below.
  bool negative = false;
  if (mpfr_sgn(Left(z)) < 0) {
    TReal m(Bits);
    mpfr_neg(m, Left(z), MPFR_RNDN);
    mpfr_floor(m, m);
    mpfr_div_2ui(m, m, 1, MPFR_RNDN);
    negative = mpfr_integer_p(m) != 0;
  }
  TInterval low(Bits);
  if (monotone) {
    TInterval high(Bits);
    AbsGamma(Left(z), low.get(), Bits);
    AbsGamma(Right(z), high.get(), Bits);
    mpfi_union(z, low.get(), high.get());
  } else {
    // The turn inside: the final evaluator takes the middle.
    Undecided(z, true);
    TReal middle(Bits);
    mpfi_mid(middle, z);
    AbsGamma(middle, z, Bits);
  }
  if (negative) mpfi_neg(z, z);
  return nullptr;
}

}  // namespace digits
