#include <cmath>
#include <random>

#include "MathTree/MathTree.hpp"

namespace {

// Halving is exact: this is pi/2 correctly rounded, as kPi is pi.
constexpr long double kHalfPi = kPi / 2;

// Above this the whole factorial does not fit the extended range (1754! does).
constexpr long double kLargestFactorial = 1754;
// Negative bases with whole exponents up to this are multiplied out, as the plain
// rule does; larger exponents take the magnitude from powl.
constexpr long double kLargestMultipliedExponent = 1024;

// rnd draws from a generator with a fixed seed: every run sees the same sequence.
std::mt19937& RandomGenerator() {
  static std::mt19937 generator;
  return generator;
}
std::uint64_t RandomDrawCount = 0;

long double Add(long double a, long double b) {
  return a + b;
}
long double Multiply(long double a, long double b) {
  return a * b;
}
long double Divide(long double a, long double b) {
  return a / b;
}

long double Factorial(long double x) {
  const long double n = std::floor(x);
  if (n == x) {
    if (x > kLargestFactorial) throw EOverflow(kTextOverflow);
    long double r = 1;
    const auto whole = static_cast<std::int32_t>(RoundHalfUp(static_cast<double>(x)));
    for (std::int32_t i = 2; i <= whole; ++i) r *= static_cast<long double>(i);
    return r;
  }
  return CheckedOp([](long double v) { return tgammal(v + 1); }, x);
}

long double Phase(long double x) {
  // 0.5 added and the sum truncated toward zero, as whole numbers are rounded elsewhere, but
  // in extended precision: no digit of t is lost to double, nor its size to 64 bits.
  const auto round = [](long double v) { return std::trunc(v + 0.5L); };
  const long double t = x / kHalfPi;
  return round((t - round(t)) * 2 * kPi);
}

}  // namespace

bool ExtendedPower(long double& a, long double b) {
  if (a == 0) {
    if (b < 0) return false;
    a = b > 0 ? 0 : 1;
    return true;
  }
  if (a > 0) {
    a = CheckedOp([](long double v, long double e) { return powl(v, e); }, a, b);
    return true;
  }
  // Negative bases are only defined for whole exponents.
  if (std::trunc(b) != b) return false;
  const long double magnitude = std::fabs(b);
  if (magnitude <= kLargestMultipliedExponent) {
    const auto n = static_cast<std::int32_t>(magnitude);
    long double r = 1;
    for (std::int32_t i = 0; i < n; ++i) r *= a;
    if (!std::isfinite(r)) throw EOverflow(kTextOverflow);
    // A power that underflows to 0 has a reciprocal beyond the range.
    a = b < 0 ? 1 / r : r;
    if (!std::isfinite(a)) throw EOverflow(kTextOverflow);
    return true;
  }
  const bool odd = std::fmod(magnitude, 2.0L) != 0;
  const long double r = CheckedOp([](long double v, long double e) { return powl(-v, e); }, a, b);
  a = odd ? -r : r;
  return true;
}

// One case per operation code: the switch is the table of the functions.
// NOLINTNEXTLINE(readability-function-size)
bool ExtendedFunction(TOperation operation, long double& x) {
  switch (operation) {
    case opExp:
      x = CheckedOp([](long double v) { return expl(v); }, x);
      break;
    case opLn:
      x = CheckedOp([](long double v) { return logl(v); }, x);
      break;
    case opLog:
      x = CheckedOp([](long double v) { return log10l(v); }, x);
      break;
    case opLd:
      x = CheckedOp([](long double v) { return log2l(v); }, x);
      break;
    case opSqr:
      x = CheckedOp([](long double v) { return v * v; }, x);
      break;
    case opSqrt:
      x = CheckedOp([](long double v) { return sqrtl(v); }, x);
      break;
    case opSin:
      x = sinl(x);
      break;
    case opCos:
      x = cosl(x);
      break;
    case opTan:
      x = CheckedOp([](long double v) { return tanl(v); }, x);
      break;
    case opCot:
      x = CheckedOp([](long double v) { return cosl(v) / sinl(v); }, x);
      break;
    case opArcSin:
      if (std::fabs(x) > 1) RaiseInvalidArgument();
      x = asinl(x);
      break;
    case opArcCos:
      if (std::fabs(x) > 1) RaiseInvalidArgument();
      x = acosl(x);
      break;
    case opArcTan:
      x = atanl(x);
      break;
    case opArcCot:
      // pi/2 - arctan(x) cancels for large x; atan2(1, x) is the same angle in (0, pi/2).
      x = x > 0 ? atan2l(1.0L, x) : kHalfPi - atanl(x);
      break;
    case opSinh:
      x = CheckedOp([](long double v) { return sinhl(v); }, x);
      break;
    case opCosh:
      x = CheckedOp([](long double v) { return coshl(v); }, x);
      break;
    case opTanh:
      x = tanhl(x);
      break;
    case opCoth:
      // 1/tanh stays finite where cosh and sinh alone would overflow.
      x = CheckedOp([](long double v) { return 1 / tanhl(v); }, x);
      break;
    case opArcSinh:
      x = asinhl(x);
      break;
    case opArcCosh:
      if (x < 1) RaiseInvalidArgument();
      x = acoshl(x);
      break;
    case opArcTanh:
      if (x > 1) RaiseInvalidArgument();
      x = CheckedOp([](long double v) { return atanhl(v); }, x);
      break;
    case opArcCoth:
      // 0.5*ln((x+1)/(x-1)), written with log1p to keep its digits for large x; the function
      // is odd, so negative arguments take the digits of their magnitude.
      x = CheckedOp(
          [](long double v) {
            const long double r = 0.5L * log1pl(2 / (std::fabs(v) - 1));
            return v < 0 ? -r : r;
          },
          x);
      break;
    case opTrunc:
      x = std::trunc(x);
      break;
    case opRound:
      // Half up, exactly: x + 0.5 itself may round up to the next whole number.
      x = std::floor(x) + (x - std::floor(x) >= 0.5L ? 1 : 0);
      break;
    case opFrac:
      x = x - std::trunc(x);
      break;
    case opSgn:
      x = x > 0 ? 1 : (x < 0 ? -1 : 0);
      break;
    case opAbs:
      x = x < 0 ? -x : x;
      break;
    case opZero:
      x = x == 0 ? 0 : 1;
      break;
    case opHeav:
      x = x < 0 ? 0 : 1;
      break;
    case opCeil:
      x = std::ceil(x);
      break;
    case opFloor:
      x = std::floor(x);
      break;
    case opPhase:
      x = Phase(x);
      break;
    case opRnd:
      x = x * (static_cast<long double>(DrawRandom()) / 4294967296.0L);
      break;
    case opFactorial:
      // The factorial of a negative whole number is undefined.
      if (x < 0 && std::trunc(x) == x) return false;
      x = Factorial(x);
      break;
    case opNone:
    case opConstant:
    case opVariable:
    case opSum:
    case opReserved:
    case opProduct:
    case opQuotient:
    case opPower:
    case opNegation:
    case opInfixMinus:
      break;
  }
  return true;
}

void TKoOperatorNode::CalcCopy(long double* dest) {
  *dest = *ValueRef;
}

// Leaves are read in place: they never carry an error text.
inline void TKoOperatorNode::CalculateOperand(TKoOperatorNode* child, long double* dest) {
  if (child->IsLeaf()) {
    *dest = *child->ValueRef;
    return;
  }
  child->Calculate(dest);
  if (!child->ErrorText.empty()) ErrorText = child->ErrorText;
}

void TKoOperatorNode::CalcNegation(long double* dest) {
  if (!ErrorText.empty()) ErrorText.clear();
  TKoOperatorNode* child = Children.empty() ? nullptr : Children[0];
  if (!child) {
    FoldFailed(dest, kTextMissingOperand);
    return;
  }
  CalculateOperand(child, dest);
  *dest = -*dest;
}

void TKoOperatorNode::CalcFunction(long double* dest) {
  if (!ErrorText.empty()) ErrorText.clear();
  TKoOperatorNode* child = Children.empty() ? nullptr : Children[0];
  if (!child) {
    FoldFailed(dest, kTextNoFunctionParameter);
    return;
  }
  CalculateOperand(child, dest);
  // The function is applied also after an error below; its own failure replaces the text.
  try {
    if (!ExtendedFunction(Operation, *dest)) return FoldFailed(dest, kTextIllegalOperations);
  } catch (const Exception& e) {
    return FoldFailed(dest, e.what());
  }
  // No function hands a value beyond the range on as if it were a number.
  if (!std::isfinite(*dest)) [[unlikely]]
    FoldFailed(dest, std::isnan(*dest) ? kTextInvalidOp : kTextOverflow);
}

void TKoOperatorNode::FoldFailed(long double* dest, const char* text) {
  *dest = 0;
  ErrorText = text;
}

template <TOperation Code>
void TKoOperatorNode::CalcFold(long double* dest) {
  if (!ErrorText.empty()) ErrorText.clear();
  const std::size_t count = Children.size();
  TKoOperatorNode* first = count ? Children[0] : nullptr;
  if (!first) {
    FoldFailed(dest, kTextMissingOperand);
    return;
  }
  CalculateOperand(first, dest);
  if (!ErrorText.empty()) return;
  for (std::size_t i = 1; i < count; ++i) {
    TKoOperatorNode* child = Children[i];
    if (!child) {
      ErrorText = kTextMissingOperand;
      return;
    }
    long double b = 0;
    if (child->IsLeaf()) {
      b = *child->ValueRef;
    } else {
      child->Calculate(&b);
      if (!child->ErrorText.empty()) {
        ErrorText = child->ErrorText;
        return;
      }
    }
    const long double a = *dest;
    if constexpr (Code == opSum) {
      *dest = a + b;
      if (!std::isfinite(*dest)) [[unlikely]]
        return FoldFailed(dest, OpFailureText(Add, a, b));
    } else if constexpr (Code == opProduct) {
      *dest = a * b;
      if (!std::isfinite(*dest)) [[unlikely]]
        return FoldFailed(dest, OpFailureText(Multiply, a, b));
    } else if constexpr (Code == opQuotient) {
      if (b == 0) return FoldFailed(dest, kTextDivisionByZero);
      *dest = a / b;
      if (!std::isfinite(*dest)) [[unlikely]]
        return FoldFailed(dest, OpFailureText(Divide, a, b));
    } else if constexpr (Code == opPower) {
      try {
        if (!ExtendedPower(*dest, b)) return FoldFailed(dest, kTextIllegalPower);
      } catch (const Exception& e) {
        return FoldFailed(dest, e.what());
      }
    } else {
      // Codes without an operator routine take no second operand.
      return FoldFailed(dest, kTextIllegalOperation);
    }
  }
}

const TKoOperatorNode::TCalcProc TKoOperatorNode::kCalcProcs[kCalcCount] = {
    &TKoOperatorNode::CalcCopy,
    &TKoOperatorNode::CalcNegation,
    &TKoOperatorNode::CalcFunction,
    &TKoOperatorNode::CalcFold<opSum>,
    &TKoOperatorNode::CalcFold<opProduct>,
    &TKoOperatorNode::CalcFold<opQuotient>,
    &TKoOperatorNode::CalcFold<opPower>,
    &TKoOperatorNode::CalcFold<opNone>};

const std::string& TKoNodeText::Empty() {
  static const std::string kEmpty;
  return kEmpty;
}

void RestartRandomSequence() {
  RandomGenerator().seed(std::mt19937::default_seed);
  RandomDrawCount = 0;
}

std::uint32_t DrawRandom() {
  ++RandomDrawCount;
  return static_cast<std::uint32_t>(RandomGenerator()());
}

std::uint64_t RandomDraws() {
  return RandomDrawCount;
}

void ReplayRandomSequence(std::uint64_t draws) {
  RestartRandomSequence();
  RandomGenerator().discard(draws);
  RandomDrawCount = draws;
}
