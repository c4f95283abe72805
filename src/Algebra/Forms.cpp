// Other forms of a canonical term that may print shorter: common factors taken out of a sum,
// a sum over its common denominator with the factors that divide it cancelled, and
// univariate polynomials with exact coefficients for that.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "Algebra/Algebra.hpp"

namespace algebra {

namespace {

bool IsNumber(const Expr& e) {
  return e->TheKind == Kind::Number;
}

// The factors of a term without its coefficient, as bases with numeric exponents.
std::vector<std::pair<Expr, Number>> Factors(const Expr& t) {
  std::vector<std::pair<Expr, Number>> factors;
  const std::vector<Expr> list = t->TheKind == Kind::Product ? t->Operands : std::vector<Expr>{t};
  for (const Expr& f : list) {
    if (f->TheKind == Kind::Power && IsNumber(f->Operands[1]))
      factors.emplace_back(f->Operands[0], f->Operands[1]->Value);
    else if (f->TheKind != Kind::Number)
      factors.emplace_back(f, Number(1));
  }
  return factors;
}

// The terms of a sum with their coefficients, the constant among them.
std::vector<Expr> Terms(const Expr& sum) {
  std::vector<Expr> terms;
  for (std::size_t i = 0; i < sum->Operands.size(); ++i)
    terms.push_back(Mul({Num(sum->Coefficients[i]), sum->Operands[i]}));
  if (!sum->Value.IsZero()) terms.push_back(Num(sum->Value));
  return terms;
}

// The power of each base that every term holds, with the smallest exponent among them;
// none where a term lacks the base.
std::vector<std::pair<Expr, Number>> CommonFactors(const std::vector<Expr>& terms) {
  std::vector<std::pair<Expr, Number>> common = Factors(terms[0]);
  for (std::size_t i = 1; i < terms.size() && !common.empty(); ++i) {
    const std::vector<std::pair<Expr, Number>> here = Factors(terms[i]);
    std::vector<std::pair<Expr, Number>> kept;
    for (const auto& [base, exponent] : common) {
      for (const auto& [b, e] : here) {
        if (Compare(base, b) != 0) continue;
        kept.emplace_back(base, exponent.Compare(e) < 0 ? exponent : e);
        break;
      }
    }
    common = std::move(kept);
  }
  return common;
}

// A polynomial in one variable with exact coefficients, lowest degree first. Float
// coefficients are read as the decimals they print as, and the polynomial remembers them:
// what is formed from it has float coefficients again.
struct Polynomial {
  std::vector<Rational> C;
  bool Inexact = false;
};

void Trim(Polynomial& p) {
  while (!p.C.empty() && p.C.back() == 0) p.C.pop_back();
}

// The exact value of a coefficient, a float as its shortest decimal.
std::optional<Rational> Coefficient(const Number& c, bool& inexact) {
  if (c.IsExact()) return c.Fraction();
  inexact = true;
  return DecimalOf(c.Value());
}

std::optional<Polynomial> MonomialOf(const Expr& t, const Number& c, const Expr& kernel) {
  Polynomial p;
  const std::optional<Rational> q = Coefficient(c, p.Inexact);
  if (!q) return std::nullopt;
  std::size_t degree = 0;
  for (const auto& [base, exponent] : Factors(t)) {
    if (Compare(base, kernel) != 0 || !exponent.IsWhole() || exponent.Sign() < 0 ||
        exponent.Compare(Number(1000)) > 0)
      return std::nullopt;
    degree += exponent.Fraction().get_num().get_ui();
  }
  p.C.assign(degree + 1, Rational(0));
  p.C[degree] = *q;
  return p;
}

// The polynomial of a term in the kernel (a variable, or a function call such as exp(-x)).
std::optional<Polynomial> AsPolynomial(const Expr& e, const Expr& kernel) {
  if (IsNumber(e)) {
    Polynomial p;
    const std::optional<Rational> q = Coefficient(e->Value, p.Inexact);
    if (!q) return std::nullopt;
    p.C = {*q};
    return p;
  }
  if (e->TheKind != Kind::Sum) {
    const Number c = e->TheKind == Kind::Product ? e->Value : Number(1);
    return MonomialOf(e, c, kernel);
  }
  Polynomial p;
  const auto add = [&p](const Polynomial& q) {
    if (p.C.size() < q.C.size()) p.C.resize(q.C.size(), Rational(0));
    for (std::size_t i = 0; i < q.C.size(); ++i) p.C[i] += q.C[i];
    p.Inexact = p.Inexact || q.Inexact;
  };
  const std::optional<Polynomial> constant = AsPolynomial(Num(e->Value), kernel);
  if (!constant) return std::nullopt;
  add(*constant);
  for (std::size_t i = 0; i < e->Operands.size(); ++i) {
    const std::optional<Polynomial> m = MonomialOf(e->Operands[i], e->Coefficients[i], kernel);
    if (!m) return std::nullopt;
    add(*m);
  }
  Trim(p);
  return p;
}

// n/d where d divides n without remainder.
std::optional<Polynomial> ExactQuotient(Polynomial n, const Polynomial& d) {
  if (d.C.empty() || n.C.size() < d.C.size()) return std::nullopt;
  Polynomial q;
  q.C.assign(n.C.size() - d.C.size() + 1, Rational(0));
  q.Inexact = n.Inexact || d.Inexact;
  for (std::size_t k = q.C.size(); k-- > 0;) {
    const Rational f = n.C[k + d.C.size() - 1] / d.C.back();
    q.C[k] = f;
    for (std::size_t j = 0; j < d.C.size(); ++j) n.C[k + j] -= f * d.C[j];
  }
  Trim(n);
  if (!n.C.empty()) return std::nullopt;
  return q;
}

Expr FromPolynomial(const Polynomial& p, const Expr& variable) {
  std::vector<Expr> terms;
  for (std::size_t k = 0; k < p.C.size(); ++k) {
    if (p.C[k] == 0) continue;
    const Number c = p.Inexact ? Number::Float(ToLongDouble(p.C[k])) : Number(p.C[k]);
    terms.push_back(Mul({Num(c), Pow(variable, Num(Number(static_cast<long>(k))))}));
  }
  return Add(terms);
}

// The symbol of the key as the term writes it.
std::optional<Expr> SymbolIn(const Expr& e, const std::string& key) {
  if (e->TheKind == Kind::Symbol) return e->Key == key ? std::optional(e) : std::nullopt;
  for (const Expr& o : e->Operands)
    if (std::optional<Expr> s = SymbolIn(o, key)) return s;
  return std::nullopt;
}

}  // namespace

Expr Collected(const Expr& e) {
  if (e->TheKind != Kind::Sum) return e;
  const std::vector<Expr> terms = Terms(e);
  const std::vector<std::pair<Expr, Number>> common = CommonFactors(terms);
  if (common.empty()) return e;
  std::vector<Expr> factor, inverse;
  for (const auto& [base, exponent] : common) {
    factor.push_back(Pow(base, Num(exponent)));
    inverse.push_back(Pow(base, Num(-exponent)));
  }
  std::vector<Expr> rest;
  for (const Expr& t : terms) {
    std::vector<Expr> product = inverse;
    product.push_back(t);
    rest.push_back(Mul(product));
  }
  factor.push_back(Add(rest));
  return Mul(factor);
}

namespace {

// A sum over its common denominator: each base with a negative exact exponent in a term, at
// its largest power, and the numerator multiplied out. None for a term that is no sum or has
// no denominator.
struct OverDenominator {
  std::vector<std::pair<Expr, Number>> Denominators;
  Expr Numerator;
};

// The sums under a root in the terms of a sum: -x^2+1 of sqrt(-x^2+1).
// An exact exponent, or a float one that is a multiple of 1/2: the derivative's rules write
// the powers of roots as 1.5.
bool IsHalves(const Number& exponent) {
  if (exponent.IsExact()) return true;
  const long double twice = 2 * exponent.Value();
  return std::fabs(twice) <= 2000 && twice == std::floor(twice);
}

std::vector<Expr> Rooted(const std::vector<Expr>& terms) {
  std::vector<Expr> rooted;
  for (const Expr& t : terms)
    for (const auto& [base, exponent] : Factors(t))
      if (base->TheKind == Kind::Sum && !exponent.IsWhole()) rooted.push_back(base);
  return rooted;
}

std::optional<OverDenominator> CommonDenominator(const Expr& e) {
  if (e->TheKind != Kind::Sum) return std::nullopt;
  OverDenominator result;
  auto& denominators = result.Denominators;
  const std::vector<Expr> rooted = Rooted(Terms(e));
  for (const Expr& t : Terms(e)) {
    for (const auto& factor : Factors(t)) {
      Expr base = factor.first;
      const Number& exponent = factor.second;
      // 1/(x^2-1) beside sqrt(1-x^2) is below the line as 1-x^2: the product joins them.
      if (base->TheKind == Kind::Sum && exponent.IsWhole() && !rooted.empty()) {
        const Expr negated = Mul({Num(Number(-1)), base});
        for (const Expr& r : rooted)
          if (Compare(r, negated) == 0) base = r;
      }
      // Roots too: x^(-3/2) is below the line as x^(3/2).
      if (!IsHalves(exponent) || exponent.Sign() >= 0) continue;
      const Number power = -exponent;
      const auto it = std::find_if(denominators.begin(), denominators.end(),
                                   [&](const auto& d) { return Compare(d.first, base) == 0; });
      if (it == denominators.end())
        denominators.emplace_back(base, power);
      else if (it->second.Compare(power) < 0)
        it->second = power;
    }
  }
  if (denominators.empty()) return std::nullopt;
  std::vector<Expr> numeratorTerms;
  for (const Expr& t : Terms(e)) {
    std::vector<Expr> product{t};
    for (const auto& [base, power] : denominators) product.push_back(Pow(base, Num(power)));
    numeratorTerms.push_back(Expand(Mul(product)));
  }
  result.Numerator = Add(numeratorTerms);
  return result;
}

}  // namespace

Expr ZeroTested(const Expr& e) {
  try {
    const std::optional<OverDenominator> over = CommonDenominator(e);
    if (over && IsNumber(over->Numerator) && over->Numerator->Value.IsZero())
      return over->Numerator;
  } catch (const EKoAlgebra&) {
    // Too large to multiply out: not known to vanish.
  }
  return e;
}

namespace {

// Terms alike but for a polynomial in the kernel: the rest of them, and their polynomials.
struct Group {
  Expr Key;
  std::vector<Expr> Terms;
};

// The numerator's terms in groups; none where a term holds the root other than as R^(j/2).
std::optional<std::vector<Group>> Grouped(const Expr& numerator, const Expr& kernel,
                                          const std::optional<Expr>& root) {
  const Number half(Rational(1, 2));
  std::vector<Group> groups;
  const std::vector<Expr> terms =
      numerator->TheKind == Kind::Sum ? Terms(numerator) : std::vector<Expr>{numerator};
  for (const Expr& t : terms) {
    std::vector<Expr> key{Num(Number(1))};
    std::vector<Expr> polynomial{
        IsNumber(t) ? t : Num(t->TheKind == Kind::Product ? t->Value : Number(1))};
    for (const auto& [base, exponent] : Factors(t)) {
      const Expr factor = Pow(base, Num(exponent));
      const bool isRoot = root && Compare(base, *root) == 0;
      if (Compare(base, kernel) == 0 || (isRoot && exponent.IsWhole())) {
        polynomial.push_back(factor);
      } else if (isRoot && (exponent + half).IsWhole()) {
        key.push_back(Pow(base, Num(half)));
        polynomial.push_back(Pow(base, Num(exponent + -half)));
      } else if (isRoot) {
        return std::nullopt;
      } else {
        key.push_back(factor);
      }
    }
    const Expr k = Mul(key);
    const auto it = std::find_if(groups.begin(), groups.end(),
                                 [&k](const Group& g) { return Compare(g.Key, k) == 0; });
    if (it == groups.end())
      groups.push_back({k, {Expand(Mul(polynomial))}});
    else
      it->Terms.push_back(Expand(Mul(polynomial)));
  }
  return groups;
}

// Each denominator that is a polynomial in the kernel divided out of every part as often as
// it goes while its power stays positive; where the parts hold the root of a power
// R^(k+1/2) apart, down to that root. Whether any was.
bool CancelledInAll(std::vector<std::pair<Expr, Number>>& denominators,
                    std::vector<Polynomial>& parts, const Expr& kernel, bool rootApart) {
  const Number rootPower(Rational(3, 2));
  bool cancelled = false;
  for (auto& denominator : denominators) {
    Number& power = denominator.second;
    const std::optional<Polynomial> b = AsPolynomial(Expand(denominator.first), kernel);
    const auto goes = [&power, rootApart, &rootPower] {
      return rootApart && !power.IsWhole() ? power.Compare(rootPower) >= 0 : power.Sign() > 0;
    };
    while (b && b->C.size() > 1 && goes()) {
      std::vector<Polynomial> quotients;
      quotients.reserve(parts.size());
      for (const Polynomial& p : parts) {
        // 0 is divided by anything.
        const std::optional<Polynomial> q = p.C.empty() ? std::optional(p) : ExactQuotient(p, *b);
        if (!q) break;
        quotients.push_back(*q);
      }
      if (quotients.size() != parts.size()) break;
      parts = std::move(quotients);
      power = power + Number(-1);
      cancelled = true;
    }
  }
  return cancelled;
}

// A numerator over its denominators, as groups of terms alike but for a polynomial in the
// kernel: ln(u)^2*(x^2-1)+ln(u)*(x^3-x) is ln(u)^2 and ln(u) with x^2-1 and x^3-x. A sum
// under a square root in the denominator, R^(k+1/2), counts as a polynomial too, its root in
// a term as part of the group (sqrt(R)*(...)). Each sum of the denominator that is a
// polynomial in the kernel cancels where it divides the polynomial of every group. None
// where the numerator is not of that form or nothing cancels.
std::optional<Expr> TogetherInGroups(const std::vector<std::pair<Expr, Number>>& below,
                                     const Expr& numerator, const std::vector<Expr>& others,
                                     const Expr& kernel) {
  const Number half(Rational(1, 2));
  std::optional<Expr> root;
  for (const auto& [base, power] : below) {
    if (power.IsWhole()) continue;
    if (root || !(power + half).IsWhole()) return std::nullopt;
    root = base;
  }
  const std::optional<std::vector<Group>> groups = Grouped(numerator, kernel, root);
  if (!groups || (groups->size() < 2 && !root)) return std::nullopt;
  std::vector<Polynomial> parts;
  for (const Group& g : *groups) {
    const std::optional<Polynomial> p = AsPolynomial(Add(g.Terms), kernel);
    if (!p) return std::nullopt;
    parts.push_back(*p);
  }
  std::vector<std::pair<Expr, Number>> denominators = below;
  if (!CancelledInAll(denominators, parts, kernel, root.has_value())) return std::nullopt;
  std::vector<Expr> result;
  result.reserve(denominators.size() + others.size() + 1);
  for (const auto& [base, power] : denominators) result.push_back(Pow(base, Num(-power)));
  result.insert(result.end(), others.begin(), others.end());
  std::vector<Expr> sum;
  sum.reserve(groups->size());
  for (std::size_t g = 0; g < groups->size(); ++g)
    sum.push_back(Mul({(*groups)[g].Key, Collected(FromPolynomial(parts[g], kernel))}));
  result.push_back(Add(sum));
  return Mul(result);
}

}  // namespace

namespace {

// A product's sums above the line divided by its sums below it where they go, as polynomials
// in the variable: (1-16*x^4)/(1-4*x^2)^2.5 is (4*x^2+1)/(1-4*x^2)^1.5. A root below stays at
// least a square root, so that the domain of the product does not grow.
Expr CancelledFactors(const Expr& product, const Expr& variable) {
  if (product->TheKind != Kind::Product) return product;
  std::vector<std::pair<Expr, Number>> factors = Factors(product);
  const Number rootPower(Rational(3, 2));
  bool cancelled = false;
  for (auto& [top, topPower] : factors) {
    if (top->TheKind != Kind::Sum || !topPower.Is(1)) continue;
    const Expr expandedTop = Expand(top);
    std::optional<Polynomial> n;
    Expr kernel = variable;
    bool divided = false;
    for (auto& [bottom, power] : factors) {
      if (bottom->TheKind != Kind::Sum || !IsHalves(power) || power.Sign() >= 0) continue;
      // the kernel: the variable, or what the sum below is a polynomial in (arctan(x) in
      // arctan(x)^2+1)
      const Expr expanded = Expand(bottom);
      if (!n) {
        const std::vector<std::pair<Expr, Number>> first = Factors(expanded->Operands[0]);
        if (!AsPolynomial(expanded, kernel) && first.size() == 1) kernel = first[0].first;
        n = AsPolynomial(expandedTop, kernel);
      }
      if (!n || n->C.size() < 2) break;
      const std::optional<Polynomial> d = AsPolynomial(expanded, kernel);
      if (!d || d->C.size() < 2) continue;
      const auto goes = [&power = power, &rootPower] {
        return power.IsWhole() ? power.Sign() < 0 : (-power).Compare(rootPower) >= 0;
      };
      while (goes()) {
        std::optional<Polynomial> q = ExactQuotient(*n, *d);
        if (!q) break;
        n = std::move(q);
        power = power + Number(1);
        divided = true;
      }
    }
    if (divided) top = Collected(FromPolynomial(*n, kernel));
    cancelled = cancelled || divided;
  }
  if (!cancelled) return product;
  std::vector<Expr> result{Num(product->Value)};
  for (const auto& [base, power] : factors) result.push_back(Pow(base, Num(power)));
  return Mul(result);
}

}  // namespace

Expr Together(const Expr& e, const std::string& mainVar, bool products) {
  if (e->TheKind == Kind::Product) {
    // The sums among the factors over their denominators; the product joins them.
    std::vector<Expr> factors{Num(e->Value)};
    for (const Expr& f : e->Operands) factors.push_back(Together(f, mainVar, products));
    if (!products) return Mul(factors);
    const std::string key = UpperCase(mainVar);
    return CancelledFactors(Mul(factors), SymbolIn(e, key).value_or(Sym(mainVar)));
  }
  std::optional<OverDenominator> over = CommonDenominator(e);
  if (!over) return e;
  auto& denominators = over->Denominators;
  Expr numerator = over->Numerator;
  // Cancel the bases that divide the numerator, as polynomials in the main variable: the
  // numerator's sum after the factors common to its terms (exp(x)*(...)) are taken out.
  // The kernel: the main variable, or what the first sum among the denominators is a
  // polynomial in (exp(-x) in 1+exp(-x)).
  const std::string key = UpperCase(mainVar);
  Expr kernel = SymbolIn(e, key).value_or(Sym(mainVar));
  for (const auto& d : denominators) {
    const Expr expanded = Expand(d.first);
    if (expanded->TheKind != Kind::Sum) continue;
    const std::vector<std::pair<Expr, Number>> first = Factors(expanded->Operands[0]);
    if (first.size() == 1) kernel = first[0].first;
    break;
  }
  const Expr collected = Collected(numerator);
  std::vector<Expr> others;
  Expr polynomialPart = collected;
  if (collected->TheKind == Kind::Product) {
    others.push_back(Num(collected->Value));
    polynomialPart = nullptr;
    for (const Expr& f : collected->Operands) {
      if (!polynomialPart && f->TheKind == Kind::Sum)
        polynomialPart = f;
      else
        others.push_back(f);
    }
    if (!polynomialPart) polynomialPart = Num(Number(1));
  }
  if (const std::optional<Expr> grouped =
          TogetherInGroups(denominators, polynomialPart, others, kernel))
    return *grouped;
  std::vector<Polynomial> parts;
  if (const std::optional<Polynomial> n = AsPolynomial(polynomialPart, kernel)) parts = {*n};
  const bool cancelled = !parts.empty() && CancelledInAll(denominators, parts, kernel, false);
  std::vector<Expr> result;
  result.reserve(denominators.size() + others.size() + 1);
  for (const auto& [base, power] : denominators) result.push_back(Pow(base, Num(-power)));
  if (!cancelled) {
    result.push_back(collected);
    return Mul(result);
  }
  result.insert(result.end(), others.begin(), others.end());
  result.push_back(Collected(FromPolynomial(parts[0], kernel)));
  return Mul(result);
}

Expr CollectedThroughout(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(CollectedThroughout(o));
  if (e->TheKind == Kind::Sum) {
    std::vector<Expr> terms{Num(e->Value)};
    for (std::size_t i = 0; i < operands.size(); ++i)
      terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
    return Collected(Add(terms));
  }
  if (e->TheKind == Kind::Product) {
    operands.push_back(Num(e->Value));
    return Mul(operands);
  }
  if (e->TheKind == Kind::Power) return Pow(operands[0], operands[1]);
  return Fn(e->Code, operands[0]);
}

Expr TogetherThroughout(const Expr& e, const std::string& mainVar) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(TogetherThroughout(o, mainVar));
  if (e->TheKind == Kind::Sum) {
    std::vector<Expr> terms{Num(e->Value)};
    for (std::size_t i = 0; i < operands.size(); ++i)
      terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
    return Together(Add(terms), mainVar);
  }
  if (e->TheKind == Kind::Product) {
    operands.push_back(Num(e->Value));
    return Together(Mul(operands), mainVar);
  }
  if (e->TheKind == Kind::Power) return Pow(operands[0], operands[1]);
  return Fn(e->Code, operands[0]);
}

namespace {

// The bases of the terms of the sums below the line: sin(x) of 1/(2*sin(x)+3).
void KernelsBelow(const Expr& e, std::vector<Expr>& kernels) {
  if (e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Sum &&
      IsNumber(e->Operands[1]) && e->Operands[1]->Value.Sign() < 0) {
    for (const Expr& t : Terms(e->Operands[0]))
      for (const auto& factor : Factors(t)) kernels.push_back(factor.first);
    return;
  }
  for (const Expr& o : e->Operands) KernelsBelow(o, kernels);
}

}  // namespace

Expr TogetherByKind(const Expr& e, const std::string& mainVar, bool products) {
  if (e->TheKind != Kind::Sum) return Together(e, mainVar, products);
  // The kind of a term: its bases other than the main variable, sums and what the sums below
  // the line are made of (cosh(x) in cosh(x)^2*sin(x)/(2*sin(x)+3)).
  std::vector<Expr> kernels;
  KernelsBelow(e, kernels);
  const auto isKernel = [&kernels](const Expr& base) {
    return std::any_of(kernels.begin(), kernels.end(),
                       [&base](const Expr& k) { return Compare(k, base) == 0; });
  };
  const std::string key = UpperCase(mainVar);
  std::vector<Group> groups;
  for (const Expr& t : Terms(e)) {
    std::vector<Expr> kind{Num(Number(1))};
    for (const auto& factor : Factors(t)) {
      const Expr& base = factor.first;
      const bool rational = base->TheKind == Kind::Sum ||
                            (base->TheKind == Kind::Symbol && base->Key == key) || isKernel(base);
      if (!rational) kind.push_back(base);
    }
    const Expr k = Mul(kind);
    const auto it = std::find_if(groups.begin(), groups.end(),
                                 [&k](const Group& g) { return Compare(g.Key, k) == 0; });
    if (it == groups.end())
      groups.push_back({k, {t}});
    else
      it->Terms.push_back(t);
  }
  if (groups.size() < 2) return Together(e, mainVar, products);
  std::vector<Expr> parts;
  parts.reserve(groups.size());
  for (const Group& g : groups) parts.push_back(Together(Add(g.Terms), mainVar, products));
  return Add(parts);
}

}  // namespace algebra
