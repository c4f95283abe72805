// The canonical form: numbers, and the constructors that keep sums, products, powers and
// functions in their normal form.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>

#include "Algebra/Algebra.hpp"

namespace algebra {

namespace {

constexpr const char* kTextTooLarge = "Term too large for the canonical form";
// Nodes a canonical term may have, and terms an expansion may make.
constexpr std::size_t kLargestSize = 200000;
constexpr std::size_t kLargestExpansion = 4000;
// A whole exponent of an exact number beyond this is left a power.
constexpr long kLargestExactExponent = 10000;

// The work left under a TWorkLimit; the largest value stands for no limit.
constexpr std::uint64_t kUnlimited = UINT64_MAX;
thread_local std::uint64_t gWorkLeft = kUnlimited;

void Work() {
  if (gWorkLeft == kUnlimited) return;
  if (gWorkLeft == 0) throw EKoAlgebraWork("Too much work for the canonical form");
  --gWorkLeft;
}

Expr Made(Term&& t) {
  Work();
  std::size_t size = 1;
  for (const Expr& o : t.Operands) size += o->Size;
  if (size > kLargestSize) throw EKoAlgebra(kTextTooLarge);
  t.Size = size;
  return std::make_shared<const Term>(std::move(t));
}

bool IsNumber(const Expr& e) {
  return e->TheKind == Kind::Number;
}

bool IsNumber(const Expr& e, long n) {
  return IsNumber(e) && e->Value.Is(n);
}

int Rank(Kind k) {
  return static_cast<int>(k);
}

bool IsExactSum(const Expr& sum);

// A term as coefficient times the rest: 2*x*y is 2 and x*y.
std::pair<Number, Expr> Split(const Expr& e) {
  if (e->TheKind != Kind::Product) return {Number(1), e};
  if (e->Operands.size() == 1) return {e->Value, e->Operands[0]};
  Term rest;
  rest.TheKind = Kind::Product;
  rest.Value = Number(1);
  rest.Operands = e->Operands;
  return {e->Value, Made(std::move(rest))};
}

// A factor as base and exponent: x^2 is x and 2, x is x and 1.
std::pair<Expr, Expr> BaseAndExponent(const Expr& e) {
  if (e->TheKind == Kind::Power) return {e->Operands[0], e->Operands[1]};
  return {e, Num(Number(1))};
}

// Whether all numbers of a sum are exact.
bool IsExactSum(const Expr& sum) {
  bool exact = sum->Value.IsExact();
  for (const Number& c : sum->Coefficients) exact = exact && c.IsExact();
  return exact;
}

// A sum as a number times a sum without a common factor: the greatest common divisor of its
// numbers where they are all exact, with the sign of its first term (2*x+4 is 2*(x+2), 1-x
// is -(x-1)), else the sign alone. Equal factors then look alike however their numbers were
// grouped (2*(2*x+1)*y and (4*x+2)*y).
std::pair<Number, Expr> Content(const Expr& sum) {
  Number content(sum->Coefficients[0].Sign() < 0 ? -1 : 1);
  if (IsExactSum(sum)) {
    mpz_class numerators = abs(sum->Value.Fraction().get_num());
    mpz_class denominators = sum->Value.Fraction().get_den();
    for (const Number& c : sum->Coefficients) {
      numerators = gcd(numerators, c.Fraction().get_num());
      denominators = lcm(denominators, c.Fraction().get_den());
    }
    Rational g(numerators, denominators);
    g.canonicalize();
    content = Number(content.Sign() < 0 ? Rational(-g) : g);
  }
  if (content.Is(1)) return {Number(1), sum};
  const Number inverse = *content.Inverse();
  Term primitive = *sum;
  primitive.Value = primitive.Value * inverse;
  for (Number& c : primitive.Coefficients) c = c * inverse;
  return {content, Made(std::move(primitive))};
}

// c*t, for a term t without coefficient.
Expr Scaled(const Number& c, const Expr& t) {
  if (c.IsZero()) return Num(Number(0));
  if (c.Is(1)) return t;
  if (t->TheKind == Kind::Product) {
    Term p = *t;
    p.Value = c;
    return Made(std::move(p));
  }
  Term p;
  p.TheKind = Kind::Product;
  p.Value = c;
  p.Operands = {t};
  return Made(std::move(p));
}

// The squared factor f(u)^2 of a term without coefficient whose partner g(u)^2 turns the
// sum of the two terms into a constant: sin and cos, cosh and sinh. The index of the factor,
// or -1.
std::ptrdiff_t SquaredFactor(const Expr& rest, TOperation from) {
  const std::size_t n = rest->TheKind == Kind::Product ? rest->Operands.size() : 1;
  for (std::size_t k = 0; k < n; ++k) {
    const Expr& f = rest->TheKind == Kind::Product ? rest->Operands[k] : rest;
    if (f->TheKind == Kind::Power && IsNumber(f->Operands[1], 2) &&
        f->Operands[0]->TheKind == Kind::Function && f->Operands[0]->Code == from)
      return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

// The argument u of the factor f(u)^2 at index k.
const Expr& SquaredArgument(const Expr& rest, std::size_t k) {
  const Expr& f = rest->TheKind == Kind::Product ? rest->Operands[k] : rest;
  return f->Operands[0]->Operands[0];
}

// The rest without its factor k, and with it replaced by the partner g(u)^2.
std::pair<Expr, Expr> WithoutAndWithPartner(const Expr& rest, std::size_t k, TOperation to) {
  const Expr& f = rest->TheKind == Kind::Product ? rest->Operands[k] : rest;
  std::vector<Expr> others;
  if (rest->TheKind == Kind::Product)
    for (std::size_t j = 0; j < rest->Operands.size(); ++j)
      if (j != k) others.push_back(rest->Operands[j]);
  std::vector<Expr> withPartner = others;
  withPartner.push_back(Pow(Fn(to, f->Operands[0]->Operands[0]), Num(Number(2))));
  return {Mul(others), Mul(withPartner)};
}

}  // namespace

// ---------------------------------------------------------------- numbers

Number Number::Float(long double v) {
  if (!std::isfinite(v)) throw EKoAlgebra(kTextInvalidOp);
  if (v == std::trunc(v) && std::fabs(v) < 0x1p63L) return Number(static_cast<long>(v));
  Number n;
  n.Exact = false;
  n.F = v;
  return n;
}

long double Number::Value() const {
  if (!Exact) return F;
  // Both parts within 64 bits are exact extended values, and their quotient is rounded once.
  if (mpz_sizeinbase(Q.get_num_mpz_t(), 2) <= 63 && mpz_sizeinbase(Q.get_den_mpz_t(), 2) <= 63)
    return static_cast<long double>(mpz_get_si(Q.get_num_mpz_t())) /
           static_cast<long double>(mpz_get_si(Q.get_den_mpz_t()));
  return ToLongDouble(Q);
}

int Number::Sign() const {
  if (Exact) return sgn(Q);
  return F > 0 ? 1 : F < 0 ? -1 : 0;
}

bool Number::Is(long n) const {
  return Exact ? Q == n : F == static_cast<long double>(n);
}

bool Number::IsWhole() const {
  return Exact && Q.get_den() == 1;
}

Number operator+(const Number& a, const Number& b) {
  if (a.Exact && b.Exact) return Number(Rational(a.Q + b.Q));
  return Number::Float(a.Value() + b.Value());
}

Number operator*(const Number& a, const Number& b) {
  if (a.Exact && b.Exact) return Number(Rational(a.Q * b.Q));
  return Number::Float(a.Value() * b.Value());
}

Number Number::operator-() const {
  if (Exact) return Number(Rational(-Q));
  return Float(-F);
}

std::optional<Number> Number::Inverse() const {
  if (IsZero()) return std::nullopt;
  if (Exact) return Number(Rational(1 / Q));
  return Float(1 / F);
}

std::optional<Number> Number::Power(const Number& e) const {
  if (Exact && e.IsWhole()) {
    if (abs(e.Q) > kLargestExactExponent) return std::nullopt;
    const long n = e.Q.get_num().get_si();
    if (IsZero()) {
      if (n < 0) return std::nullopt;
      return Number(n == 0 ? 1 : 0);
    }
    const std::size_t bits =
        std::max(mpz_sizeinbase(Q.get_num_mpz_t(), 2), mpz_sizeinbase(Q.get_den_mpz_t(), 2));
    if (bits * static_cast<std::size_t>(std::labs(n)) > kLargestBits) return std::nullopt;
    mpz_class num, den;
    mpz_pow_ui(num.get_mpz_t(), Q.get_num_mpz_t(), static_cast<unsigned long>(std::labs(n)));
    mpz_pow_ui(den.get_mpz_t(), Q.get_den_mpz_t(), static_cast<unsigned long>(std::labs(n)));
    Rational r = n >= 0 ? Rational(num, den) : Rational(den, num);
    r.canonicalize();
    return Number(r);
  }
  if (Exact && e.Exact) return std::nullopt;
  // A float: negative bases only for whole exponents, no negative power of 0.
  const long double a = Value(), b = e.Value();
  if (a < 0 && b != std::trunc(b)) return std::nullopt;
  if (a == 0 && b <= 0) return std::nullopt;
  const long double r = powl(a, b);
  if (!std::isfinite(r)) return std::nullopt;
  return Float(r);
}

int Number::Compare(const Number& b) const {
  if (Exact && b.Exact) {
    const int c = cmp(Q, b.Q);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  const long double x = Value(), y = b.Value();
  if (x != y) return x < y ? -1 : 1;
  if (Exact != b.Exact) return Exact ? -1 : 1;
  return 0;
}

// ---------------------------------------------------------------- order

TWorkLimit::TWorkLimit(std::uint64_t units) {
  gWorkLeft = std::min(units, kUnlimited - 1);
}

TWorkLimit::~TWorkLimit() {
  gWorkLeft = kUnlimited;
}

int Compare(const Expr& a, const Expr& b) {
  if (a == b) return 0;
  Work();
  if (a->TheKind != b->TheKind) return Rank(a->TheKind) < Rank(b->TheKind) ? -1 : 1;
  switch (a->TheKind) {
    case Kind::Number:
      return a->Value.Compare(b->Value);
    case Kind::Symbol:
      return a->Key < b->Key ? -1 : a->Key > b->Key ? 1 : 0;
    case Kind::Function:
      if (a->Code != b->Code) return a->Code < b->Code ? -1 : 1;
      break;
    case Kind::Power:
    case Kind::Product:
    case Kind::Sum:
      break;
  }
  const std::size_t n = std::min(a->Operands.size(), b->Operands.size());
  for (std::size_t i = 0; i < n; ++i)
    if (const int c = Compare(a->Operands[i], b->Operands[i])) return c;
  if (a->Operands.size() != b->Operands.size())
    return a->Operands.size() < b->Operands.size() ? -1 : 1;
  for (std::size_t i = 0; i < a->Coefficients.size(); ++i)
    if (const int c = a->Coefficients[i].Compare(b->Coefficients[i])) return c;
  if (a->TheKind == Kind::Sum || a->TheKind == Kind::Product) return a->Value.Compare(b->Value);
  return 0;
}

// ---------------------------------------------------------------- constructors

Expr Num(const Number& n) {
  Term t;
  t.Value = n;
  return Made(std::move(t));
}

Expr Sym(const std::string& name) {
  Term t;
  t.TheKind = Kind::Symbol;
  t.Name = name;
  t.Key = UpperCase(name);
  return Made(std::move(t));
}

// a+b+...: the constants added, like terms combined by their coefficients, zero terms
// dropped; c*sin(u)^2*R + c*cos(u)^2*R is c*R, and so c*cosh(u)^2*R - c*sinh(u)^2*R.
namespace {

// a+b*f(u)^2 as one power where f's Pythagorean identity makes it one: a-a*tanh(u)^2 is
// a/cosh(u)^2, a-a*coth(u)^2 is -a/sinh(u)^2, a+a*tan(u)^2 is a/cos(u)^2, a+a*cot(u)^2 is
// a/sin(u)^2; each side has a value where the other has.
std::optional<Expr> PythagoreanPower(const Number& a, const Expr& term, const Number& b) {
  if (!a.IsExact() || !b.IsExact() || term->TheKind != Kind::Power ||
      !IsNumber(term->Operands[1], 2) || term->Operands[0]->TheKind != Kind::Function)
    return std::nullopt;
  const Expr& f = term->Operands[0];
  const Expr& u = f->Operands[0];
  const bool opposite = (a + b).IsZero(), same = (a + -b).IsZero();
  const auto over = [&](const Number& c, TOperation code) {
    return Mul({Num(c), Pow(Fn(code, u), Num(Number(-2)))});
  };
  if (f->Code == opTanh && opposite) return over(a, opCosh);
  if (f->Code == opCoth && opposite) return over(-a, opSinh);
  if (f->Code == opTan && same) return over(a, opCos);
  if (f->Code == opCot && same) return over(a, opSin);
  return std::nullopt;
}

// How a term c*R*f(u)^2 meets its partner in an identity of squares, and what the two are.
enum class Partner : std::uint8_t {
  Square,      // d*R*g(u)^2 with d = sign*c: c*sin(u)^2*R + c*cos(u)^2*R is c*R
  Alone,       // d*R: c*R*cot(u)^2 + c*R is c*R/sin(u)^2
  Reciprocal,  // d*R/g(u)^2: c*R*tan(u)^2 - c*R/cos(u)^2 is -c*R
};
struct SquareRule {
  TOperation From, To;
  long Sign;
  Partner With;
  // Alone: the coefficient of the result is the square's (else the partner's); Reciprocal:
  // the value of f(u)^2 - sign/g(u)^2
  long Value;
};
constexpr SquareRule kSquareRules[] = {
    {opSin, opCos, 1, Partner::Square, 0},       {opCosh, opSinh, -1, Partner::Square, 0},
    {opCot, opSin, 1, Partner::Alone, 1},        {opTan, opCos, 1, Partner::Alone, 1},
    {opTanh, opCosh, -1, Partner::Alone, 0},     {opCoth, opSinh, -1, Partner::Alone, 1},
    {opTan, opCos, -1, Partner::Reciprocal, -1}, {opCot, opSin, -1, Partner::Reciprocal, -1},
    {opTanh, opCosh, 1, Partner::Reciprocal, 1}, {opCoth, opSinh, -1, Partner::Reciprocal, 1},
};

// The terms of a sorted, merged sum that pair by an identity of squares, each pair as one
// term; the coefficients of the paired terms in merged set to 0.
std::vector<Expr> PairedBySquares(std::vector<std::pair<Expr, Number>>& merged) {
  std::vector<Expr> paired;
  const auto find = [&](const Expr& rest) {
    const auto it = std::lower_bound(
        merged.begin(), merged.end(), rest,
        [](const auto& item, const Expr& key) { return Compare(item.first, key) < 0; });
    return it != merged.end() && Compare(it->first, rest) == 0 ? it : merged.end();
  };
  for (const SquareRule& rule : kSquareRules) {
    for (auto& [term, c] : merged) {
      if (c.IsZero() || (rule.With != Partner::Square && !c.IsExact())) continue;
      const std::ptrdiff_t k = SquaredFactor(term, rule.From);
      if (k < 0) continue;
      const auto index = static_cast<std::size_t>(k);
      const auto [without, withPartner] = WithoutAndWithPartner(term, index, rule.To);
      // formed only where a rule needs it: each term formed counts against the work limit
      const Expr reciprocal = rule.With == Partner::Square
                                  ? nullptr
                                  : Pow(Fn(rule.To, SquaredArgument(term, index)), Num(Number(-2)));
      const auto j = find(rule.With == Partner::Square  ? withPartner
                          : rule.With == Partner::Alone ? without
                                                        : Mul({without, reciprocal}));
      if (j == merged.end() || j->second.Compare(Number(rule.Sign) * c) != 0) continue;
      if (rule.With == Partner::Square)
        paired.push_back(Mul({Num(c), without}));
      else if (rule.With == Partner::Alone)
        paired.push_back(Mul({Num(rule.Value != 0 ? c : j->second), without, reciprocal}));
      else
        paired.push_back(Mul({Num(Number(rule.Value) * c), without}));
      j->second = Number(0);
      c = Number(0);
    }
  }
  return paired;
}

}  // namespace

Expr Add(const std::vector<Expr>& operands) {
  Number constant(0);
  std::vector<std::pair<Expr, Number>> items;
  for (const Expr& e : operands) {
    if (IsNumber(e)) {
      constant = constant + e->Value;
    } else if (e->TheKind == Kind::Sum) {
      constant = constant + e->Value;
      for (std::size_t i = 0; i < e->Operands.size(); ++i)
        items.emplace_back(e->Operands[i], e->Coefficients[i]);
    } else {
      auto [c, rest] = Split(e);
      items.emplace_back(std::move(rest), std::move(c));
    }
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const auto& x, const auto& y) { return Compare(x.first, y.first) < 0; });
  std::vector<std::pair<Expr, Number>> merged;
  for (auto& item : items) {
    if (!merged.empty() && Compare(merged.back().first, item.first) == 0)
      merged.back().second = merged.back().second + item.second;
    else
      merged.push_back(std::move(item));
  }
  std::erase_if(merged, [](const auto& item) { return item.second.IsZero(); });
  std::vector<Expr> paired = PairedBySquares(merged);
  if (!paired.empty()) {
    for (const auto& [t, c] : merged)
      if (!c.IsZero()) paired.push_back(Scaled(c, t));
    paired.push_back(Num(constant));
    return Add(paired);
  }
  if (merged.empty()) return Num(constant);
  if (merged.size() == 1 && constant.IsZero()) return Scaled(merged[0].second, merged[0].first);
  if (merged.size() == 1)
    if (std::optional<Expr> r = PythagoreanPower(constant, merged[0].first, merged[0].second))
      return *r;
  Term sum;
  sum.TheKind = Kind::Sum;
  sum.Value = constant;
  for (auto& [t, c] : merged) {
    sum.Operands.push_back(std::move(t));
    sum.Coefficients.push_back(std::move(c));
  }
  return Made(std::move(sum));
}

// a*b*...: the numbers multiplied, equal bases combined into one power with the exponents
// added, factors of exponent 0 dropped; a number times one sum is distributed over it.
namespace {
Expr MulPass(const std::vector<Expr>& operands, int pass);
}  // namespace

Expr Mul(const std::vector<Expr>& operands) {
  return MulPass(operands, 0);
}

namespace {

// A power that changed its base ((x^a)^(-1) is x^(-a)) may meet an equal base among the
// other factors: the product is formed again, a few times at most.
constexpr int kMostProductPasses = 8;

}  // namespace

namespace {

// The sums under a root among the factors of a product: they keep their sign.
std::vector<Expr> RootedSums(const std::vector<std::pair<Expr, Expr>>& items) {
  std::vector<Expr> rooted;
  for (const auto& item : items)
    if (item.first->TheKind == Kind::Sum &&
        !(IsNumber(item.second) && item.second->Value.IsWhole()))
      rooted.push_back(item.first);
  return rooted;
}

// Whether a whole power of a sum joins a root of the same sum or of its negative, which it
// then becomes, the sign going to the coefficient: (1-x^2)^(1/2)*(x^2-1) is -(1-x^2)^(3/2).
bool JoinsRoot(const std::vector<Expr>& rooted, Expr& base, const Number& exponent,
               Number& coefficient) {
  if (rooted.empty()) return false;
  const Expr negated = Mul({Num(Number(-1)), base});
  for (const Expr& r : rooted) {
    if (Compare(r, base) == 0) return true;
    if (Compare(r, negated) != 0) continue;
    const std::optional<Number> sign = Number(-1).Power(exponent);
    if (!sign) return false;
    coefficient = coefficient * *sign;
    base = r;
    return true;
  }
  return false;
}

Expr MulPass(const std::vector<Expr>& operands, int pass) {
  Number coefficient(1);
  std::vector<std::pair<Expr, Expr>> items;
  for (const Expr& e : operands) {
    if (IsNumber(e)) {
      coefficient = coefficient * e->Value;
    } else if (e->TheKind == Kind::Product) {
      coefficient = coefficient * e->Value;
      for (const Expr& f : e->Operands) items.push_back(BaseAndExponent(f));
    } else {
      items.push_back(BaseAndExponent(e));
    }
  }
  if (coefficient.IsZero()) return Num(Number(0));
  const std::vector<Expr> rooted = RootedSums(items);
  // (c*s)^n = c^n*s^n for a sum s as its content times the rest.
  for (auto& [base, exponent] : items) {
    if (base->TheKind != Kind::Sum || !IsNumber(exponent) || !exponent->Value.IsWhole()) continue;
    if (JoinsRoot(rooted, base, exponent->Value, coefficient)) continue;
    auto [content, primitive] = Content(base);
    const std::optional<Number> factor = content.Power(exponent->Value);
    if (!factor) continue;
    coefficient = coefficient * *factor;
    base = primitive;
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const auto& x, const auto& y) { return Compare(x.first, y.first) < 0; });
  std::vector<std::pair<Expr, Expr>> merged;
  for (auto& item : items) {
    if (!merged.empty() && Compare(merged.back().first, item.first) == 0)
      merged.back().second = Add({merged.back().second, item.second});
    else
      merged.push_back(std::move(item));
  }
  std::vector<Expr> factors;
  bool again = false;
  for (const auto& [base, exponent] : merged) {
    const Expr f = Pow(base, exponent);
    if (IsNumber(f)) {
      coefficient = coefficient * f->Value;
    } else {
      // A power that became a product or changed its base is multiplied in once more.
      again = again || f->TheKind == Kind::Product || Compare(BaseAndExponent(f).first, base) != 0;
      factors.push_back(f);
    }
  }
  if (again && pass < kMostProductPasses) {
    factors.push_back(Num(coefficient));
    return MulPass(factors, pass + 1);
  }
  if (coefficient.IsZero()) return Num(Number(0));
  if (factors.empty()) return Num(coefficient);
  // Exact numbers only: a float times an exact sum stays a product, so that the form does not
  // depend on how the factors were grouped.
  if (factors.size() == 1 && factors[0]->TheKind == Kind::Sum && !coefficient.Is(1) &&
      coefficient.IsExact() && IsExactSum(factors[0])) {
    std::vector<Expr> terms{Num(coefficient * factors[0]->Value)};
    for (std::size_t i = 0; i < factors[0]->Operands.size(); ++i)
      terms.push_back(Scaled(coefficient * factors[0]->Coefficients[i], factors[0]->Operands[i]));
    return Add(terms);
  }
  if (factors.size() == 1 && coefficient.Is(1)) return factors[0];
  Term product;
  product.TheKind = Kind::Product;
  product.Value = coefficient;
  product.Operands = std::move(factors);
  return Made(std::move(product));
}

}  // namespace

// base^exponent: numbers where the power is one, (u^p)^n = u^(p*n) and (a*b)^n = a^n*b^n for
// a whole n, u^0 = 1 and u^1 = u.
Expr Pow(const Expr& base, const Expr& exponent) {
  if (IsNumber(exponent, 0) || IsNumber(base, 1)) return Num(Number(1));
  if (IsNumber(exponent, 1)) return base;
  const bool whole = IsNumber(exponent) && exponent->Value.IsWhole();
  if (IsNumber(base) && IsNumber(exponent))
    if (std::optional<Number> p = base->Value.Power(exponent->Value)) return Num(*p);
  if (whole && base->TheKind == Kind::Power)
    return Pow(base->Operands[0], Mul({base->Operands[1], exponent}));
  // e^u as exp(u): (exp(c)^u is exp(c*u) for every real u; numeric powers stay powers, which
  // products join with exp(c) itself
  if (base->TheKind == Kind::Function && base->Code == opExp && IsNumber(base->Operands[0]) &&
      !IsNumber(exponent))
    return Fn(opExp, Mul({base->Operands[0], exponent}));
  // powers of a function that is never negative join for any exponent: sqrt(1/cosh(u)^2)
  if (IsNumber(exponent) && base->TheKind == Kind::Power &&
      base->Operands[0]->TheKind == Kind::Function &&
      (base->Operands[0]->Code == opCosh || base->Operands[0]->Code == opExp))
    return Pow(base->Operands[0], Mul({base->Operands[1], exponent}));
  // No value: a canonical form would print it as if it had one.
  if (IsNumber(base, 0) && IsNumber(exponent) && exponent->Value.Sign() < 0)
    throw EKoAlgebra(kTextZeroDivide);
  if (whole && base->TheKind == Kind::Sum) {
    const auto [content, primitive] = Content(base);
    if (!content.Is(1))
      if (const std::optional<Number> factor = content.Power(exponent->Value))
        return Mul({Num(*factor), Pow(primitive, exponent)});
  }
  if (whole && base->TheKind == Kind::Product) {
    std::vector<Expr> factors{Pow(Num(base->Value), exponent)};
    for (const Expr& f : base->Operands) factors.push_back(Pow(f, exponent));
    return Mul(factors);
  }
  Term power;
  power.TheKind = Kind::Power;
  power.Operands = {base, exponent};
  return Made(std::move(power));
}

namespace {

// Odd functions: f(-u) = -f(u); even ones: f(-u) = f(u), abs among them.
bool IsOdd(TOperation code) {
  const FunctionFacts* facts = FactsOf(code);
  return facts && facts->Parity < 0;
}

bool IsEven(TOperation code) {
  const FunctionFacts* facts = FactsOf(code);
  return (facts && facts->Parity > 0) || code == opAbs;
}

// Whether a term reads with a minus in front: a negative number, a product with a negative
// coefficient, a sum whose first term is subtracted.
bool LeadsNegative(const Expr& e) {
  if (e->TheKind == Kind::Number || e->TheKind == Kind::Product) return e->Value.Sign() < 0;
  if (e->TheKind == Kind::Sum) return e->Coefficients[0].Sign() < 0;
  return false;
}

bool VanishesAtZero(TOperation code) {
  return code == opSin || code == opTan || code == opArcSin || code == opArcTan || code == opSinh ||
         code == opTanh || code == opArcSinh || code == opArcTanh || code == opAbs || code == opSgn;
}

}  // namespace

std::optional<Expr> OfInverse(TOperation f, TOperation g, const Expr& u) {
  const Expr u2 = Pow(u, Num(Number(2)));
  const Expr oneMinus = Add({Num(Number(1)), Mul({Num(Number(-1)), u2})});
  const Expr onePlus = Add({Num(Number(1)), u2});
  const Expr minusOne = Add({u2, Num(Number(-1))});
  const Expr half = Num(Number(Rational(1, 2)));
  const Expr minusHalf = Num(Number(Rational(-1, 2)));
  const FunctionFacts* facts = FactsOf(g);
  if (facts && facts->Inverse == f) return u;
  const Expr over = Pow(u, Num(Number(-1)));
  const struct {
    TOperation Inner, Outer;
    Expr Value;
  } rows[] = {
      {opArcSin, opCos, Pow(oneMinus, half)},
      {opArcSin, opTan, Mul({u, Pow(oneMinus, minusHalf)})},
      {opArcSin, opCot, Mul({Pow(oneMinus, half), over})},
      {opArcCos, opSin, Pow(oneMinus, half)},
      {opArcCos, opTan, Mul({Pow(oneMinus, half), over})},
      {opArcCos, opCot, Mul({u, Pow(oneMinus, minusHalf)})},
      {opArcTan, opCos, Pow(onePlus, minusHalf)},
      {opArcTan, opSin, Mul({u, Pow(onePlus, minusHalf)})},
      {opArcTan, opCot, over},
      {opArcCot, opSin, Pow(onePlus, minusHalf)},
      {opArcCot, opCos, Mul({u, Pow(onePlus, minusHalf)})},
      {opArcCot, opTan, over},
      {opArcSinh, opCosh, Pow(onePlus, half)},
      {opArcSinh, opTanh, Mul({u, Pow(onePlus, minusHalf)})},
      {opArcSinh, opExp, Add({u, Pow(onePlus, half)})},
      {opArcSinh, opCoth, Mul({Pow(onePlus, half), over})},
      {opArcCosh, opSinh, Pow(minusOne, half)},
      {opArcCosh, opTanh, Mul({Pow(minusOne, half), over})},
      {opArcCosh, opExp, Add({u, Pow(minusOne, half)})},
      {opArcTanh, opCosh, Pow(oneMinus, minusHalf)},
      {opArcTanh, opSinh, Mul({u, Pow(oneMinus, minusHalf)})},
      {opArcTanh, opCoth, over},
  };
  for (const auto& row : rows)
    if (row.Inner == g && row.Outer == f) return row.Value;
  return std::nullopt;
}

// f(u), with the values at exact points that are exact (sin(0) = 0, ln(1) = 0, exp(0) = 1),
// sqr and sqrt as powers, ln(exp(u)) = u and exp(ln(u)) = u.
Expr Fn(TOperation code, const Expr& argument) {
  if (code == opSqr) return Pow(argument, Num(Number(2)));
  // sin(1-x) is -sin(x-1), cos(1-x) is cos(x-1): one form for the two.
  if ((IsOdd(code) || IsEven(code)) && LeadsNegative(argument) && !IsNumber(argument)) {
    const Expr f = Fn(code, Mul({Num(Number(-1)), argument}));
    return IsOdd(code) ? Mul({Num(Number(-1)), f}) : f;
  }
  if (code == opSqrt) return Pow(argument, Num(Number(Rational(1, 2))));
  if (code == opLn && argument->TheKind == Kind::Function && argument->Code == opExp)
    return argument->Operands[0];
  if (code == opExp && argument->TheKind == Kind::Function && argument->Code == opLn)
    return argument->Operands[0];
  if (argument->TheKind == Kind::Function)
    if (std::optional<Expr> r = OfInverse(code, argument->Code, argument->Operands[0])) return *r;
  if (IsNumber(argument, 0) && VanishesAtZero(code)) return Num(Number(0));
  if (IsNumber(argument, 0) && (code == opCos || code == opCosh || code == opExp))
    return Num(Number(1));
  if (IsNumber(argument, 1) && (code == opLn || code == opLog || code == opLd))
    return Num(Number(0));
  if (code == opAbs && IsNumber(argument) && argument->Value.IsExact())
    return Num(argument->Value.Sign() < 0 ? -argument->Value : argument->Value);
  if (code == opAbs && argument->TheKind == Kind::Function && argument->Code == opAbs)
    return argument;
  Term f;
  f.TheKind = Kind::Function;
  f.Code = code;
  f.Operands = {argument};
  return Made(std::move(f));
}

// ---------------------------------------------------------------- expansion

namespace {

// The summands of a term: its constant and its terms with their coefficients.
std::vector<Expr> Summands(const Expr& e) {
  if (e->TheKind != Kind::Sum) return {e};
  std::vector<Expr> s;
  if (!e->Value.IsZero()) s.push_back(Num(e->Value));
  for (std::size_t i = 0; i < e->Operands.size(); ++i)
    s.push_back(Scaled(e->Coefficients[i], e->Operands[i]));
  return s;
}

// The product of the factors with every sum among them multiplied out.
Expr Distributed(const std::vector<Expr>& factors) {
  std::vector<Expr> partial{Num(Number(1))};
  for (const Expr& f : factors) {
    const std::vector<Expr> summands = Summands(f);
    if (partial.size() * summands.size() > kLargestExpansion) throw EKoAlgebra(kTextTooLarge);
    std::vector<Expr> next;
    for (const Expr& p : partial)
      for (const Expr& s : summands) next.push_back(Mul({p, s}));
    // Like terms combined at each step: a power of a sum grows as its distinct terms do.
    partial = Summands(Add(next));
  }
  return Add(partial);
}

}  // namespace

namespace {

bool Holds(const Expr& e, TOperation code) {
  if (e->TheKind == Kind::Function && e->Code == code) return true;
  return std::any_of(e->Operands.begin(), e->Operands.end(),
                     [code](const Expr& o) { return Holds(o, code); });
}

// Whether a sum below the line holds the function with code and not its partner.
bool BelowTheLine(const Expr& e, TOperation code, TOperation partner) {
  if (e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Sum &&
      IsNumber(e->Operands[1]) && e->Operands[1]->Value.Sign() < 0)
    return Holds(e->Operands[0], code) && !Holds(e->Operands[0], partner);
  return std::any_of(e->Operands.begin(), e->Operands.end(),
                     [&](const Expr& o) { return BelowTheLine(o, code, partner); });
}

// Which of each pair goes: sin or cos, sinh or cosh.
struct Squares {
  TOperation Trig;
  TOperation Hyperbolic;
};

Expr Reduced(const Expr& e, const Squares& squares) {
  switch (e->TheKind) {
    case Kind::Number:
    case Kind::Symbol:
      return e;
    case Kind::Function:
      return Fn(e->Code, Reduced(e->Operands[0], squares));
    case Kind::Power: {
      const Expr base = Reduced(e->Operands[0], squares);
      const Expr exponent = Reduced(e->Operands[1], squares);
      const bool even = base->TheKind == Kind::Function &&
                        (base->Code == squares.Trig || base->Code == squares.Hyperbolic) &&
                        IsNumber(exponent) && exponent->Value.IsWhole() &&
                        exponent->Value.Compare(Number(2)) >= 0 &&
                        exponent->Value.Compare(Number(kLargestExactExponent)) <= 0;
      if (!even) return Pow(base, exponent);
      const long n = exponent->Value.Fraction().get_num().get_si();
      const Expr& u = base->Operands[0];
      const auto squared = [&u](TOperation code) { return Pow(Fn(code, u), Num(Number(2))); };
      // sin(u)^2 = 1-cos(u)^2 and the other way; sinh(u)^2 = cosh(u)^2-1, cosh(u)^2 = 1+sinh(u)^2.
      Expr square;
      if (base->Code == opSin || base->Code == opCos)
        square = Add(
            {Num(Number(1)), Mul({Num(Number(-1)), squared(base->Code == opSin ? opCos : opSin)})});
      else if (base->Code == opSinh)
        square = Add({squared(opCosh), Num(Number(-1))});
      else
        square = Add({squared(opSinh), Num(Number(1))});
      return Mul({Pow(base, Num(Number(n % 2))), Pow(square, Num(Number(n / 2)))});
    }
    case Kind::Product: {
      std::vector<Expr> factors{Num(e->Value)};
      for (const Expr& f : e->Operands) factors.push_back(Reduced(f, squares));
      return Mul(factors);
    }
    case Kind::Sum: {
      std::vector<Expr> terms{Num(e->Value)};
      for (std::size_t i = 0; i < e->Operands.size(); ++i)
        terms.push_back(Mul({Num(e->Coefficients[i]), Reduced(e->Operands[i], squares)}));
      return Add(terms);
    }
  }
  return e;
}

}  // namespace

Expr SquaresReduced(const Expr& e) {
  // The square of sin goes, unless a denominator is a sum of sines alone (2*sin(x)+3): then
  // the numerator is best a polynomial in sin; the same for sinh and cosh.
  const Squares squares{BelowTheLine(e, opSin, opCos) ? opCos : opSin,
                        BelowTheLine(e, opSinh, opCosh) ? opCosh : opSinh};
  return Reduced(e, squares);
}

Expr Expand(const Expr& e) {
  switch (e->TheKind) {
    case Kind::Number:
    case Kind::Symbol:
      return e;
    case Kind::Function:
      return Fn(e->Code, Expand(e->Operands[0]));
    case Kind::Sum: {
      std::vector<Expr> terms;
      for (const Expr& s : Summands(e)) terms.push_back(Expand(s));
      return Add(terms);
    }
    case Kind::Product: {
      std::vector<Expr> factors{Num(e->Value)};
      for (const Expr& f : e->Operands) factors.push_back(Expand(f));
      return Distributed(factors);
    }
    case Kind::Power: {
      const Expr base = Expand(e->Operands[0]);
      const Expr& exponent = e->Operands[1];
      if (base->TheKind == Kind::Sum && IsNumber(exponent) && exponent->Value.IsWhole() &&
          exponent->Value.Sign() > 0 && exponent->Value.Compare(Number(64)) <= 0) {
        const long n = exponent->Value.Fraction().get_num().get_si();
        return Distributed(std::vector<Expr>(static_cast<std::size_t>(n), base));
      }
      return Pow(base, Expand(exponent));
    }
  }
  return e;
}

}  // namespace algebra
