// Exact numbers for the symbolic units: rationals of any size (GMP), the exact value of a
// term of numbers alone, and the conversions between rationals and extended values.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MathTree/MathTree.hpp"

TCALC_EXCEPTION(EKoAlgebra, Exception);
// The work a TWorkLimit allows is used up; not an EKoAlgebra, so that no form is left out
// for it alone.
TCALC_EXCEPTION(EKoAlgebraWork, Exception);

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

// ---------------------------------------------------------------- the canonical form

// While alive, the canonical form may construct and compare terms this many times in all;
// the next one throws EKoAlgebraWork. Limits do not nest; without one the work is unbounded.
class TWorkLimit {
 public:
  explicit TWorkLimit(std::uint64_t units);
  ~TWorkLimit();
  TWorkLimit(const TWorkLimit&) = delete;
  TWorkLimit& operator=(const TWorkLimit&) = delete;
};
//
// A term in a normal form in which equal terms look alike: sums are a constant and terms
// with numeric coefficients, like terms combined; products are a coefficient and factors,
// equal bases combined into one power; numbers that come from whole numbers stay exact
// fractions. Terms are immutable and shared.

// An exact rational, or an extended value where a decimal or a function value entered.
class Number {
 public:
  Number() = default;
  Number(long n) : Q(n) {}  // NOLINT(google-explicit-constructor): numbers read as numbers
  explicit Number(Rational q) : Q(std::move(q)) {}
  // A whole value below 2^63 is exact; throws for a value that is not finite.
  static Number Float(long double v);

  bool IsExact() const { return Exact; }
  const Rational& Fraction() const { return Q; }
  long double Value() const;
  int Sign() const;
  bool IsZero() const { return Sign() == 0; }
  bool Is(long n) const;
  bool IsWhole() const;  // an exact whole number

  friend Number operator+(const Number& a, const Number& b);
  friend Number operator*(const Number& a, const Number& b);
  Number operator-() const;
  // 1/a, none for 0.
  std::optional<Number> Inverse() const;
  // a^e where it is a number the evaluation agrees with: exact for a whole e, else by the
  // extended power of a float; none otherwise (a root of an exact number stays a power).
  std::optional<Number> Power(const Number& e) const;
  // Order by value; an exact number before an equal float.
  int Compare(const Number& b) const;

 private:
  bool Exact = true;
  Rational Q;
  long double F = 0;
};

enum class Kind : std::uint8_t { Number, Symbol, Power, Product, Function, Sum };

class Term;
using Expr = std::shared_ptr<const Term>;

class Term {
 public:
  Kind TheKind = Kind::Number;
  // The number itself; the constant of a sum; the coefficient of a product.
  Number Value;
  // A symbol as written, and its upper-case form that identifies it.
  std::string Name;
  std::string Key;
  TOperation Code = opNone;
  // Power: base and exponent. Function: its argument. Product: the factors, none a number
  // or a product. Sum: the terms, none a number or a sum, each without its coefficient.
  std::vector<Expr> Operands;
  // Sum: the coefficient of each term.
  std::vector<Number> Coefficients;
  // Nodes of the term, for the limits.
  std::size_t Size = 1;
};

Expr Num(const Number& n);
Expr Sym(const std::string& name);
Expr Add(const std::vector<Expr>& operands);
Expr Mul(const std::vector<Expr>& operands);
Expr Pow(const Expr& base, const Expr& exponent);
Expr Fn(TOperation code, const Expr& argument);
// Products of sums and whole powers of sums multiplied out.
Expr Expand(const Expr& e);
// 0 where the term vanishes as a rational function of its variables and function calls,
// else the term.
Expr ZeroTested(const Expr& e);
// A sum with the powers that all its terms hold taken out (x*exp(x)+2*exp(x) is
// (x+2)*exp(x)); any other term as it is.
Expr Collected(const Expr& e);
// The same throughout, each sum inside first: 3*x/(x^4+2*x^2) as 3/(x*(x^2+2)).
Expr CollectedThroughout(const Expr& e);
// A sum over its common denominator, with the factors of the denominator that divide the
// numerator as polynomials in mainVar cancelled; any other term as it is.
// products: also a product's sums above the line divided by its sums below it where they go
// ((1-16*x^4)/(1-4*x^2)^2.5 is (4*x^2+1)/(1-4*x^2)^1.5); the levels of a higher derivative
// leave that out, as it costs them time that the readable forms spend better.
Expr Together(const Expr& e, const std::string& mainVar, bool products = true);
// The same from the inside out: each sum over its common denominator before the sums and
// products that hold it.
Expr TogetherThroughout(const Expr& e, const std::string& mainVar);
// The same for the terms of each kind of a sum apart (those with sinh(x), those without):
// cosh(x)+arctan(x) derived keeps sinh(x) beside one quotient.
Expr TogetherByKind(const Expr& e, const std::string& mainVar, bool products = true);
// Even powers of sin(u) and sinh(u) written with cos(u) and cosh(u) (1-cos(u)^2, cosh(u)^2-1),
// so that sums of them meet in one kernel; the other way round where a denominator is a sum
// of sin(u) (or sinh(u)) without its partner.
Expr SquaresReduced(const Expr& e);
// A total order of terms: equal terms compare 0.
int Compare(const Expr& a, const Expr& b);

// How the numbers of a tree enter the canonical form: whole numbers exact and any other a
// float, or also short decimals (up to kShortDecimal digits: 0.5, 1.25) exact as typed, so
// that sums and quotients of them cancel exactly.
enum class Numbers : std::uint8_t { WholeExact, DecimalsExact };
inline constexpr std::size_t kShortDecimal = 12;
// What a canonical text is for: to be read, or to be derived again (the levels of a higher
// derivative: short decimals exact, even powers of sin and sinh reduced).
// An antiderivative is read with its long decimals that are roots of fractions exact
// (0.17677669529663688 as sqrt(2)/8).
// An antiderivative of a term without typed decimals has its short decimals exact too: they
// are the integrator's halves and thirds.
enum class Use : std::uint8_t { Reading, Levels, Antiderivative, AntiderivativeOfWhole };

// The canonical form of a tree; throws EKoAlgebra for what it cannot hold.
Expr FromTree(const TKoOperatorNode* node, Numbers numbers = Numbers::WholeExact);
// The text of a term that the parser reads back to it: terms of a sum by falling powers of
// the variable named mainVar, the constant last.
std::string ToText(const Expr& e, const std::string& mainVar);
// The readable form of a tree: its canonical form, expanded where that is shorter; none
// where the tree holds what the form cannot.
std::optional<std::string> CanonicalText(const TKoOperatorNode* node, const std::string& mainVar,
                                         Use use = Use::Reading);

// The readable form of the level-th derivative of a source tree, formed from the source's
// canonical form (where sin(arcsin(u)) is u already); none where the form cannot hold the
// source or a level, for levels above kLargestCanonicalLevel, and where the canonical text of
// the source is not shorter than its own text of sourceLength characters.
std::optional<std::string> CanonicalDerivativeText(const TKoOperatorNode* source,
                                                   const std::string& mainVar, std::int32_t level,
                                                   std::size_t sourceLength);
inline constexpr std::int32_t kLargestCanonicalLevel = 30;

// The text of level target of a sequence of level texts (level n is texts[n-1]), where the
// last levels of target's class modulo a period of up to 4 have one shape and whole numbers
// that follow polynomials in the level: (x+n)*exp(x). None where they do not.
std::optional<std::string> ExtrapolatedLevel(const std::vector<std::string>& texts,
                                             std::int64_t target);

}  // namespace algebra

namespace algebra {

// ---------------------------------------------------------------- calculus on the form

// What the symbolic units know of a function f(u): its derivative as a term of u, the
// function that undoes it on the whole of its range (opNone where none does), and whether
// f(-u) is f(u) or -f(u).
struct FunctionFacts {
  TOperation Code = opNone;
  Expr (*Derivative)(const Expr& u) = nullptr;
  TOperation Inverse = opNone;
  int Parity = 0;  // 1 even, -1 odd, 0 neither
};
// The facts of a function code; none for the codes that jump, the factorial and rnd, and
// for sqr and sqrt, which the form holds as powers.
const FunctionFacts* FactsOf(TOperation code);

// f(g(u)) for a function f of an inverse function g, where the two have the same value
// wherever f(g(u)) has one: sin(arcsin(u)) = u, cos(arcsin(u)) = sqrt(1-u^2),
// arcsinh(sinh(u)) = u; none for the others (arctan(tan(u)) is not u).
std::optional<Expr> OfInverse(TOperation f, TOperation g, const Expr& u);

// Whether the term holds the symbol of the upper-case key.
bool DependsOn(const Expr& e, const std::string& key);
// d/dx of the term in the symbol of the upper-case key; throws EKoAlgebra where a function
// has no derivative in the form (jumps, the factorial).
Expr Derivative(const Expr& e, const std::string& key);
// The term with every subterm equal to from replaced by to, formed anew.
Expr Substituted(const Expr& e, const Expr& from, const Expr& to);
// The term with every operand mapped, formed anew by the constructors.
Expr WithOperands(const Expr& e, const std::vector<Expr>& operands);

}  // namespace algebra
