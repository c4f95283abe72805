// Antiderivatives by method, where the rules and shapes find none: linearity, substitution,
// integration by parts, partial fractions and multiplying out, each a small step that hands
// the integrand it makes to the whole integrator again. They work on the canonical form, so
// that "is this a function of u alone" is decided exactly; the rules and shapes of the tree
// integrator are the leaves. The result is checked against the integrand before it counts.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Algebra/QPolynomial.hpp"
#include "MathIntg/Integrator.hpp"
#include "MathPars/MathPars.hpp"

namespace integration {

namespace {

using algebra::Add;
using algebra::Expr;
using algebra::Fn;
using algebra::Kind;
using algebra::Mul;
using algebra::Num;
using algebra::Number;
using algebra::Pow;
using algebra::QPolynomial;
using Q = algebra::Rational;

// Integrations the methods may start for one integrand, how deep they may nest, and how
// many substitutions and integrations by parts may be under way one inside the other.
constexpr int kMostCalls = 600;
constexpr int kDeepest = 40;
constexpr int kMostSubstitutions = 4;
constexpr int kMostParts = 16;
// The most terms of F in the ansatz for int exp(g)*F (every part of them is tried).
constexpr std::size_t kMostAnsatzTerms = 6;
// Candidates for u tried per integrand.
constexpr std::size_t kMostCandidates = 14;
// The canonical form's work for one integrand, and the time.
constexpr std::uint64_t kWork = 20'000'000;
constexpr std::chrono::milliseconds kMostTime{300};
// The integrands the methods take: of at most this many nodes, with exact exponents of at
// most this many digits in numerator and denominator (tan(x)^2147486471 is no homework).
constexpr std::size_t kLargestIntegrand = 400;
constexpr std::size_t kLongestExponent = 3;
// The largest whole number whose logarithm is taken apart into primes.
constexpr long kLargestFactored = 1'000'000;

struct TLess {
  bool operator()(const Expr& a, const Expr& b) const { return algebra::Compare(a, b) < 0; }
};

Expr N(long n) {
  return Num(Number(n));
}

Expr NQ(const Q& q) {
  return Num(Number(q));
}

bool IsNum(const Expr& e) {
  return e->TheKind == Kind::Number;
}

bool IsNum(const Expr& e, long n) {
  return IsNum(e) && e->Value.Is(n);
}

bool IsExactNumber(const Expr& e) {
  return IsNum(e) && e->Value.IsExact();
}

Expr Over(const Expr& a, const Expr& b) {
  return Mul({a, Pow(b, N(-1))});
}

Expr Minus(const Expr& a) {
  return Mul({N(-1), a});
}

bool IsFunction(const Expr& e, TOperation code) {
  return e->TheKind == Kind::Function && e->Code == code;
}

// The factors of a term, its coefficient first where it is not 1.
std::vector<Expr> FactorsOf(const Expr& e) {
  if (e->TheKind != Kind::Product) return {e};
  std::vector<Expr> factors;
  if (!e->Value.Is(1)) factors.push_back(Num(e->Value));
  factors.insert(factors.end(), e->Operands.begin(), e->Operands.end());
  return factors;
}

// The summands of a sum with their coefficients, the constant among them.
std::vector<Expr> SummandsOf(const Expr& e) {
  if (e->TheKind != Kind::Sum) return {e};
  std::vector<Expr> terms;
  if (!e->Value.IsZero()) terms.push_back(Num(e->Value));
  for (std::size_t i = 0; i < e->Operands.size(); ++i)
    terms.push_back(Mul({Num(e->Coefficients[i]), e->Operands[i]}));
  return terms;
}

// The primes of a whole number up to kLargestFactored, with their exponents.
std::vector<std::pair<long, long>> Primes(long n) {
  std::vector<std::pair<long, long>> primes;
  for (long p = 2; p * p <= n; ++p) {
    long k = 0;
    while (n % p == 0) {
      n /= p;
      ++k;
    }
    if (k > 0) primes.emplace_back(p, k);
  }
  if (n > 1) primes.emplace_back(n, 1);
  return primes;
}

// ln(q) of a positive exact number as a sum of logarithms of primes: ln(4) is 2*ln(2), so
// that 4^x and 2^x meet in one kernel.
std::optional<Expr> LnOfPrimes(const Number& q) {
  if (!q.IsExact() || q.Sign() <= 0) return std::nullopt;
  const Q& r = q.Fraction();
  if (r.get_num() > kLargestFactored || r.get_den() > kLargestFactored) return std::nullopt;
  std::vector<Expr> terms;
  for (const auto& [p, k] : Primes(r.get_num().get_si()))
    terms.push_back(Mul({N(k), Fn(opLn, N(p))}));
  for (const auto& [p, k] : Primes(r.get_den().get_si()))
    terms.push_back(Mul({N(-k), Fn(opLn, N(p))}));
  return Add(terms);
}

// (b^k)^e as b^(k*e) where the two agree wherever the first is defined: k odd (b^(k*e) is
// then defined for b >= 0, where b^k is), k broken (b >= 0 alone), k*e whole and even, or b
// always positive.
std::optional<Expr> JoinedPower(const Expr& base, const Expr& exponent) {
  if (base->TheKind != Kind::Power || !IsExactNumber(exponent) || !IsExactNumber(base->Operands[1]))
    return std::nullopt;
  const Number& k = base->Operands[1]->Value;
  const Number joined = k * exponent->Value;
  const Expr& b = base->Operands[0];
  const bool odd = k.IsWhole() && k.Fraction().get_num() % 2 != 0;
  const bool even = joined.IsWhole() && joined.Fraction().get_num() % 2 == 0;
  const bool positive = IsFunction(b, opExp) || IsFunction(b, opCosh);
  if (!odd && !even && !positive && k.IsWhole()) return std::nullopt;
  return Pow(b, Num(joined));
}

// The term with exp(c*ln(u)) as
// u^c, exp(c*arctanh(u)) as ((1+u)/(1-u))^(c/2), exp(c*arcsinh(u)) as (u+sqrt(u^2+1))^c.
Expr Tidied(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(Tidied(o));
  if (e->TheKind == Kind::Function) {
    const Expr& a = operands[0];
    if (e->Code == opExp && a->TheKind == Kind::Product && a->Operands.size() == 1 &&
        a->Value.IsExact()) {
      const Expr& inner = a->Operands[0];
      if (IsFunction(inner, opLn)) return Pow(inner->Operands[0], Num(a->Value));
      // exp(c*arcsinh(u)) = (u+sqrt(u^2+1))^c, exp(c*arccosh(u)) = (u+sqrt(u^2-1))^c
      if (IsFunction(inner, opArcSinh) || IsFunction(inner, opArcCosh)) {
        const Expr& u = inner->Operands[0];
        const Expr root =
            Pow(Add({Pow(u, N(2)), N(inner->Code == opArcSinh ? 1 : -1)}), NQ(Q(1, 2)));
        return Pow(Add({u, root}), Num(a->Value));
      }
      if (IsFunction(inner, opArcTanh)) {
        const Expr& u = inner->Operands[0];
        return Pow(Over(Add({N(1), u}), Add({N(1), Minus(u)})), Num(a->Value * Number(Q(1, 2))));
      }
    }
  }
  return algebra::WithOperands(e, operands);
}

// In an antiderivative, a term c*g^-1(g(v)) as c*v where its slope is 1 wherever g(v) is
// defined: the two differ by a constant on each piece of g's domain, and an integrand that
// held g(v) has no value between the pieces (arctan(tan(v)) jumps only where tan(v) has a
// pole). Only as a term: times anything but a constant the jump would not be a constant.
Expr Undone(const Expr& e, const std::string& key) {
  const auto undone = [](const Expr& f) -> std::optional<Expr> {
    static constexpr std::pair<TOperation, TOperation> kUndoing[] = {
        {opArcTan, opTan},   {opArcCot, opCot},   {opArcTanh, opTanh},
        {opArcCoth, opCoth}, {opArcSinh, opSinh}, {opLn, opExp}};
    if (f->TheKind != Kind::Function || f->Operands[0]->TheKind != Kind::Function)
      return std::nullopt;
    for (const auto& [outer, inner] : kUndoing)
      if (f->Code == outer && f->Operands[0]->Code == inner) return f->Operands[0]->Operands[0];
    return std::nullopt;
  };
  const auto term = [&](const Expr& t) -> Expr {
    if (std::optional<Expr> v = undone(t)) return *v;
    if (t->TheKind != Kind::Product) return t;
    std::vector<Expr> factors = FactorsOf(t);
    for (Expr& factor : factors)
      if (std::optional<Expr> v = undone(factor)) {
        if (std::any_of(factors.begin(), factors.end(),
                        [&](const Expr& o) { return o != factor && algebra::DependsOn(o, key); }))
          return t;
        factor = *v;
        return Mul(factors);
      }
    return t;
  };
  if (e->TheKind != Kind::Sum) return term(e);
  std::vector<Expr> terms;
  for (const Expr& t : SummandsOf(e)) terms.push_back(term(t));
  return Add(terms);
}

// Whether the methods take the integrand: small, and its exact exponents short.
bool IsTame(const Expr& e) {
  if (e->Size > kLargestIntegrand) return false;
  if (e->TheKind == Kind::Power && IsExactNumber(e->Operands[1])) {
    const Q& p = e->Operands[1]->Value.Fraction();
    if (mpz_sizeinbase(p.get_num_mpz_t(), 10) > kLongestExponent ||
        mpz_sizeinbase(p.get_den_mpz_t(), 10) > kLongestExponent)
      return false;
  }
  return std::all_of(e->Operands.begin(), e->Operands.end(),
                     [](const Expr& o) { return IsTame(o); });
}

}  // namespace

class TMethods {
 public:
  TMethods(const std::string& var, TKoVarDepot* depot)
      : Var(var),
        Key(UpperCase(var)),
        Depot(depot),
        X(algebra::Sym(var)),
        U(algebra::Sym("`u")),
        Deadline(std::chrono::steady_clock::now() + kMostTime) {}

  std::optional<Expr> Antiderivative(const Expr& f) { return I(f); }

 private:
  bool Free(const Expr& e) const { return !algebra::DependsOn(e, Key); }
  bool FreeOfU(const Expr& e) const { return !algebra::DependsOn(e, U->Key); }

  std::optional<Expr> I(const Expr& raw);
  std::optional<Expr> Methods(const Expr& f);
  Expr Prepared(const Expr& e) const;
  Expr JoinedExponentials(const Expr& e) const;
  std::optional<Expr> PowerOfVariable(const Expr& f) const;
  std::optional<Expr> ConstantFactors(const Expr& f);
  std::optional<Expr> Termwise(const Expr& f);
  std::optional<Expr> Leaf(const Expr& f) const;
  std::optional<Expr> Apart(const Expr& f);
  std::optional<Expr> Substitution(const Expr& f);
  std::vector<Expr> Candidates(const Expr& f) const;
  void Collect(const Expr& e, std::vector<Expr>& out) const;
  std::optional<Expr> SubstitutedBy(const Expr& f, const Expr& g);
  std::optional<Expr> InTermsOf(const Expr& q, const Expr& g) const;
  Expr Replaced(const Expr& e, const Expr& g, const Expr& t) const;
  std::optional<Expr> ReplacedPower(const Expr& e, const Expr& g, const Expr& t) const;
  std::optional<Expr> Inverse(const Expr& g, const Expr& t, TOperation& positive) const;
  Expr Pythagorean(const Expr& e, TOperation positive) const;
  Expr InPowersOf(const Expr& e, const QPolynomial& p) const;
  std::optional<Expr> Parts(const Expr& f);
  std::optional<std::pair<Expr, Q>> MonomialOf(const Expr& e) const;
  std::optional<Expr> Binomial(const Expr& f);
  std::optional<Expr> ExponentialTimes(const Expr& f);
  bool Fits(const Expr& f, const Expr& antiderivative) const;
  std::optional<Expr> Expanded(const Expr& f);
  std::optional<Expr> Rationalized(const Expr& f);
  std::optional<Expr> Rewritten(const Expr& f, bool exponentials);
  std::optional<Expr> Halved(const Expr& f);
  void RootCandidates(const Expr& e, std::vector<Expr>& out) const;

  std::string Var;
  std::string Key;
  TKoVarDepot* Depot;
  // The running variable, and the new variable of a substitution (no name a term can hold).
  Expr X;
  Expr U;
  std::chrono::steady_clock::time_point Deadline;

  int Calls = 0;
  int Depth = 0;
  int Substitutions = 0;
  int PartsUnderWay = 0;
  // Whether a limit cut an integration short since it began: its failure then says nothing
  // of the integrand and is not remembered.
  bool Cut = false;
  std::map<Expr, std::optional<Expr>, TLess> Known;
  std::vector<Expr> UnderWay;
};

// ---------------------------------------------------------------- the integrator

std::optional<Expr> TMethods::I(const Expr& raw) {
  if (++Calls > kMostCalls || Depth >= kDeepest || std::chrono::steady_clock::now() > Deadline) {
    Cut = true;
    return std::nullopt;
  }
  const Expr f = Prepared(raw);
  // int c -> c*x
  if (Free(f)) return Mul({f, X});
  if (const auto known = Known.find(f); known != Known.end()) return known->second;
  if (std::any_of(UnderWay.begin(), UnderWay.end(),
                  [&f](const Expr& g) { return algebra::Compare(f, g) == 0; })) {
    Cut = true;
    return std::nullopt;
  }
  const bool cutBefore = Cut;
  Cut = false;
  ++Depth;
  UnderWay.push_back(f);
  std::optional<Expr> result;
  try {
    result = Methods(f);
  } catch (const EKoAlgebraWork&) {
    throw;
  } catch (const Exception&) {
    // a term the form cannot hold on the way: this integrand has no result here
    result = std::nullopt;
  }
  UnderWay.pop_back();
  --Depth;
  if (result || !Cut) Known.emplace(f, result);
  Cut = Cut || cutBefore;
  return result;
}

std::optional<Expr> TMethods::Methods(const Expr& f) {
  if (std::optional<Expr> r = PowerOfVariable(f)) return r;
  if (f->TheKind == Kind::Product && std::any_of(f->Operands.begin(), f->Operands.end(),
                                                 [this](const Expr& o) { return Free(o); }))
    return ConstantFactors(f);
  if (f->TheKind == Kind::Product && !f->Value.Is(1)) return ConstantFactors(f);
  if (std::optional<Expr> r = Leaf(f)) return r;
  if (f->TheKind == Kind::Sum)
    if (std::optional<Expr> r = Termwise(f)) return r;
  if (std::optional<Expr> r = Apart(f)) return r;
  if (std::optional<Expr> r = Substitution(f)) return r;
  if (std::optional<Expr> r = Binomial(f)) return r;
  if (std::optional<Expr> r = Parts(f)) return r;
  if (std::optional<Expr> r = ExponentialTimes(f)) return r;
  if (std::optional<Expr> r = Rationalized(f)) return r;
  if (std::optional<Expr> r = Rewritten(f, false)) return r;
  if (std::optional<Expr> r = Halved(f)) return r;
  if (std::optional<Expr> r = Expanded(f)) return r;
  return Rewritten(f, true);
}

// The integrand with the functions that other functions stand for written as those: u^v as
// exp(v*ln(u)) where v holds the variable, exp of a sum as a product, log and ld as ln,
// and logarithms of whole numbers by their primes.
Expr TMethods::Prepared(const Expr& e) const {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(Prepared(o));
  if (e->TheKind == Kind::Power && !Free(operands[1]))
    return Fn(opExp, Mul({operands[1], Prepared(Fn(opLn, operands[0]))}));
  if (e->TheKind == Kind::Power)
    if (std::optional<Expr> joined = JoinedPower(operands[0], operands[1])) return *joined;
  if (e->TheKind == Kind::Function) {
    const Expr& u = operands[0];
    if (u->TheKind == Kind::Function)
      if (std::optional<Expr> r = OfInverse(e->Code, u->Code, u->Operands[0])) return *r;
    if (e->Code == opExp && u->TheKind == Kind::Sum && !Free(u)) {
      std::vector<Expr> factors;
      for (const Expr& s : SummandsOf(u)) factors.push_back(Fn(opExp, s));
      return Mul(factors);
    }
    // log(u) -> ln(u)/ln(10), ld(u) -> ln(u)/ln(2)
    if (e->Code == opLog) return Over(Fn(opLn, u), Prepared(Fn(opLn, N(10))));
    if (e->Code == opLd) return Over(Fn(opLn, u), Fn(opLn, N(2)));
    if (e->Code == opLn && IsNum(u))
      if (std::optional<Expr> primes = LnOfPrimes(u->Value)) return *primes;
  }
  if (e->TheKind == Kind::Product) return JoinedExponentials(algebra::WithOperands(e, operands));
  return algebra::WithOperands(e, operands);
}

// exp(a*x)*exp(b*x) as exp((a+b)*x), for factors a and b free of the variable: 2^x*3^x.
Expr TMethods::JoinedExponentials(const Expr& e) const {
  if (e->TheKind != Kind::Product) return e;
  std::vector<Expr> others{Num(e->Value)};
  std::vector<Expr> exponents;
  for (const Expr& f : e->Operands) {
    const bool linear = IsFunction(f, opExp) && !Free(f) && Free(Over(f->Operands[0], X));
    (linear ? exponents : others).push_back(linear ? f->Operands[0] : f);
  }
  if (exponents.size() < 2) return e;
  others.push_back(Fn(opExp, Mul({X, Add({Over(Add(exponents), X)})})));
  return Mul(others);
}

// int x^n -> x^(n+1)/(n+1), int 1/x -> ln(abs(x))
std::optional<Expr> TMethods::PowerOfVariable(const Expr& f) const {
  if (algebra::Compare(f, X) == 0) return Mul({NQ(Q(1, 2)), Pow(X, N(2))});
  if (f->TheKind != Kind::Power || algebra::Compare(f->Operands[0], X) != 0 ||
      !IsExactNumber(f->Operands[1]))
    return std::nullopt;
  const Number& n = f->Operands[1]->Value;
  if (n.Is(-1)) return Fn(opLn, Fn(opAbs, X));
  const Number raised = n + Number(1);
  return Mul({Num(*raised.Inverse()), Pow(X, Num(raised))});
}

// int c*u -> c*int u
std::optional<Expr> TMethods::ConstantFactors(const Expr& f) {
  std::vector<Expr> constants{Num(f->Value)};
  std::vector<Expr> rest;
  for (const Expr& o : f->Operands) (Free(o) ? constants : rest).push_back(o);
  const std::optional<Expr> r = I(Mul(rest));
  if (!r) return std::nullopt;
  constants.push_back(*r);
  return Mul(constants);
}

// int u+v -> int u + int v
std::optional<Expr> TMethods::Termwise(const Expr& f) {
  std::vector<Expr> terms;
  for (const Expr& s : SummandsOf(f)) {
    const std::optional<Expr> r = I(s);
    if (!r) return std::nullopt;
    terms.push_back(*r);
  }
  return Add(terms);
}

// The rules and shapes of the tree integrator.
std::optional<Expr> TMethods::Leaf(const Expr& f) const {
  try {
    const TKoNodePtr tree = ParseTerm(algebra::ToText(f, Var), Depot);
    TIntegrator leaf(Var, Depot);
    leaf.Further = true;
    const TKoNodePtr r = leaf.I(tree.get());
    if (!r || !AllFinite(r.get())) return std::nullopt;
    // the rules write halves and quarters as decimals: exact, so that they cancel
    return algebra::FromTree(r.get(), algebra::Numbers::DecimalsExact);
  } catch (const EKoAlgebraWork&) {
    throw;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// ---------------------------------------------------------------- partial fractions

// R(x)*T for a quotient R of polynomials and a rest T: R as a polynomial and proper
// fractions over the powers of its factors, each times T.
std::optional<Expr> TMethods::Apart(const Expr& f) {
  QPolynomial numerator{Q(1)};
  std::vector<std::pair<QPolynomial, unsigned long>> below;
  std::vector<Expr> rest;
  for (const Expr& factor : FactorsOf(f)) {
    const bool power = factor->TheKind == Kind::Power && IsNum(factor->Operands[1]) &&
                       factor->Operands[1]->Value.IsWhole();
    const Expr base = power ? factor->Operands[0] : factor;
    const std::optional<QPolynomial> p = algebra::PolynomialIn(base, Key);
    if (!p || (Free(base) && !IsNum(base))) {
      rest.push_back(factor);
      continue;
    }
    const Q& e = power ? factor->Operands[1]->Value.Fraction() : Q(1);
    if (!e.get_num().fits_slong_p()) return std::nullopt;
    const long n = e.get_num().get_si();
    if (n >= 0)
      numerator = algebra::Product(numerator, algebra::Raised(*p, static_cast<std::size_t>(n)));
    else
      below.emplace_back(*p, static_cast<unsigned long>(-n));
  }
  if (rest.empty()) return std::nullopt;
  std::size_t degreeBelow = 0;
  for (const auto& [p, n] : below) degreeBelow += algebra::Degree(p) * n;
  const bool improper = degreeBelow > 0 && algebra::Degree(numerator) >= degreeBelow;
  if (!improper && below.size() < 2) return std::nullopt;
  const Expr t = Mul(rest);
  // numerator/(b1^n1*b2^n2...) = q + sum of r_k/bk^nk, from Bezout's identity factor by factor
  std::vector<Expr> terms;
  QPolynomial top = numerator;
  for (std::size_t k = 0; k < below.size(); ++k) {
    const QPolynomial pk = algebra::Raised(below[k].first, below[k].second);
    QPolynomial remaining{Q(1)};
    for (std::size_t j = k + 1; j < below.size(); ++j)
      remaining = algebra::Product(remaining, algebra::Raised(below[j].first, below[j].second));
    if (k + 1 == below.size()) {
      QPolynomial quotient, remainder;
      algebra::Divide(top, pk, quotient, remainder);
      terms.push_back(Mul({algebra::FromQPolynomial(quotient, X), t}));
      terms.push_back(Mul(
          {algebra::FromQPolynomial(remainder, X),
           Pow(algebra::FromQPolynomial(below[k].first, X), N(-static_cast<long>(below[k].second))),
           t}));
      break;
    }
    // top/(pk*remaining) = s/pk + r/remaining with s*remaining + r*pk = top
    QPolynomial s, r;
    if (!algebra::SolveBezout(remaining, pk, top, s, r)) return std::nullopt;
    terms.push_back(Mul(
        {algebra::FromQPolynomial(s, X),
         Pow(algebra::FromQPolynomial(below[k].first, X), N(-static_cast<long>(below[k].second))),
         t}));
    top = r;
  }
  std::vector<Expr> expanded;
  for (const Expr& term : terms)
    for (const Expr& s : SummandsOf(algebra::Expand(term))) expanded.push_back(s);
  const Expr sum = Add(expanded);
  if (algebra::Compare(sum, f) == 0) return std::nullopt;
  return Termwise(sum);
}

// ---------------------------------------------------------------- substitution

// int f(x) dx with u = g(x): where f/g' is a function h of u alone, int h(u) du with u = g(x).
std::optional<Expr> TMethods::Substitution(const Expr& f) {
  if (Substitutions >= kMostSubstitutions) {
    Cut = true;
    return std::nullopt;
  }
  for (const Expr& g : Candidates(f))
    if (std::optional<Expr> r = SubstitutedBy(f, g)) return r;
  std::vector<Expr> roots;
  RootCandidates(f, roots);
  for (const Expr& g : roots)
    if (std::optional<Expr> r = SubstitutedBy(f, g)) return r;
  return std::nullopt;
}

// For the square root of a quadratic c*(x+h)^2+k, the inverse function that turns it into a
// square: arcsin(m*(x+h)) where c < 0 < k, arcsinh(m*(x+h)) where c, k > 0, arccosh(m*(x+h))
// where k < 0 < c, with m = sqrt(abs(c/k)).
void TMethods::RootCandidates(const Expr& e, std::vector<Expr>& out) const {
  for (const Expr& o : e->Operands) RootCandidates(o, out);
  if (e->TheKind != Kind::Power || !IsExactNumber(e->Operands[1]) ||
      e->Operands[1]->Value.Fraction().get_den() != 2)
    return;
  const std::optional<QPolynomial> p = algebra::PolynomialIn(e->Operands[0], Key);
  if (!p || algebra::Degree(*p) != 2) return;
  const Q& c = (*p)[2];
  const Q h = (*p)[1] / (2 * c);
  const Q k = (*p)[0] - c * h * h;
  if (k == 0) return;
  const Expr m = Pow(NQ(abs(c / k)), NQ(Q(1, 2)));
  const Expr shifted = Mul({m, Add({X, NQ(h)})});
  const TOperation code = c < 0 ? (k > 0 ? opArcSin : opNone) : (k > 0 ? opArcSinh : opArcCosh);
  if (code == opNone) return;
  out.push_back(Fn(code, shifted));
}

// Every inner term: functions and their arguments, powers with their bases and exponents,
// and the factors of those; the larger first.
std::vector<Expr> TMethods::Candidates(const Expr& f) const {
  std::vector<Expr> all;
  Collect(f, all);
  std::stable_sort(all.begin(), all.end(),
                   [](const Expr& a, const Expr& b) { return a->Size > b->Size; });
  std::vector<Expr> distinct;
  for (const Expr& c : all) {
    if (Free(c) || algebra::Compare(c, X) == 0 || algebra::Compare(c, f) == 0) continue;
    if (std::none_of(distinct.begin(), distinct.end(),
                     [&c](const Expr& d) { return algebra::Compare(c, d) == 0; }))
      distinct.push_back(c);
    if (distinct.size() == kMostCandidates) break;
  }
  return distinct;
}

void TMethods::Collect(const Expr& e, std::vector<Expr>& out) const {
  if (Free(e)) return;
  switch (e->TheKind) {
    case Kind::Number:
    case Kind::Symbol:
      return;
    case Kind::Function:
      out.push_back(e);
      out.push_back(e->Operands[0]);
      if (e->Operands[0]->TheKind == Kind::Product)
        for (const Expr& factor : e->Operands[0]->Operands) out.push_back(factor);
      break;
    case Kind::Power:
      out.push_back(e);
      out.push_back(e->Operands[0]);
      break;
    case Kind::Product:
    case Kind::Sum:
      break;
  }
  for (const Expr& o : e->Operands) Collect(o, out);
}

std::optional<Expr> TMethods::SubstitutedBy(const Expr& f, const Expr& g) {
  const Expr slope = algebra::Derivative(g, Key);
  if (IsNum(slope, 0)) return std::nullopt;
  const std::optional<Expr> h = InTermsOf(Over(f, slope), g);
  if (!h || FreeOfU(*h)) return std::nullopt;
  const Expr inX = algebra::Substituted(*h, U, X);
  if (algebra::Compare(inX, f) == 0) return std::nullopt;
  ++Substitutions;
  const std::optional<Expr> r = I(inX);
  --Substitutions;
  if (!r) return std::nullopt;
  // cosh is positive: 1-tanh(u)^2 goes back to cosh(u)^(-2) under a root too
  const Expr back =
      Undone(Tidied(Prepared(Pythagorean(algebra::Substituted(*r, X, g), opCosh))), Key);
  // a back-substitution may leave the domain the new variable had (u = exp(x) > 0): the next
  // candidate then
  if (!Fits(f, back)) return std::nullopt;
  return back;
}

// q as a term of u = g(x) alone: g and its powers replaced by u, then the variable itself
// by the inverse of g where g has one, or polynomials by polynomials in g.
std::optional<Expr> TMethods::InTermsOf(const Expr& q, const Expr& g) const {
  const Expr r = Replaced(q, g, U);
  if (Free(r)) return r;
  TOperation positive = opNone;
  if (const std::optional<Expr> x = Inverse(g, U, positive)) {
    const Expr s = Pythagorean(algebra::Substituted(r, X, *x), positive);
    if (Free(s)) return s;
  }
  if (const std::optional<QPolynomial> p = algebra::PolynomialIn(g, Key);
      p && algebra::Degree(*p) >= 2) {
    const Expr s = InPowersOf(r, *p);
    if (Free(s)) return s;
  }
  return std::nullopt;
}

// e with g replaced by t: where e is g, a number times g, or a power of g's base; for
// g = c*G, G by t/c.
Expr TMethods::Replaced(const Expr& e, const Expr& g, const Expr& t) const {
  if (Free(e)) return e;
  if (algebra::Compare(e, g) == 0) return t;
  if (g->TheKind == Kind::Product) {
    std::vector<Expr> constants{Num(g->Value)};
    std::vector<Expr> rest;
    for (const Expr& o : g->Operands) (Free(o) ? constants : rest).push_back(o);
    if (rest.size() < g->Operands.size() || !g->Value.Is(1)) {
      const Expr c = Mul(constants);
      return Replaced(e, Mul(rest), Over(t, c));
    }
  }
  if (e->TheKind == g->TheKind && e->TheKind != Kind::Symbol) {
    const Expr ratio = Over(e, g);
    if (IsNum(ratio)) return Mul({ratio, t});
  }
  if (std::optional<Expr> p = ReplacedPower(e, g, t)) return *p;
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  for (const Expr& o : e->Operands) operands.push_back(Replaced(o, g, t));
  return algebra::WithOperands(e, operands);
}

// The powers of g's base as powers of t: b^s = (b^p)^(s/p) where s/p is whole or b^p is only
// defined for b >= 0; exp(B) = exp(A)^(B/A); the even powers of cos(A) as powers of
// sin(A) = t and the like.
std::optional<Expr> TMethods::ReplacedPower(const Expr& e, const Expr& g, const Expr& t) const {
  const bool ePower = e->TheKind == Kind::Power && IsExactNumber(e->Operands[1]);
  const Expr base = ePower ? e->Operands[0] : e;
  const Number s = ePower ? e->Operands[1]->Value : Number(1);
  if (g->TheKind == Kind::Power && IsExactNumber(g->Operands[1]) &&
      algebra::Compare(base, g->Operands[0]) == 0) {
    const Number& p = g->Operands[1]->Value;
    const Number ratio = s * *p.Inverse();
    if (ratio.IsWhole() || !p.IsWhole()) return Pow(t, Num(ratio));
  }
  if (IsFunction(e, opExp) && IsFunction(g, opExp)) {
    const Expr ratio = Over(e->Operands[0], g->Operands[0]);
    if (IsExactNumber(ratio)) return Pow(t, ratio);
  }
  if (ePower && s.IsWhole() && base->TheKind == Kind::Function && g->TheKind == Kind::Function &&
      algebra::Compare(base->Operands[0], g->Operands[0]) == 0 &&
      (s.Fraction().get_num() % 2) == 0) {
    const Expr half = Num(s * Number(Q(1, 2)));
    const Expr t2 = Pow(t, N(2));
    // cos^2 = 1-sin^2, sin^2 = 1-cos^2, cosh^2 = 1+sinh^2, sinh^2 = cosh^2-1
    if (base->Code == opCos && g->Code == opSin) return Pow(Add({N(1), Minus(t2)}), half);
    if (base->Code == opSin && g->Code == opCos) return Pow(Add({N(1), Minus(t2)}), half);
    if (base->Code == opCosh && g->Code == opSinh) return Pow(Add({N(1), t2}), half);
    if (base->Code == opSinh && g->Code == opCosh) return Pow(Add({t2, N(-1)}), half);
    // 1/cos^2 = 1+tan^2, 1/cosh^2 = 1-tanh^2
    if (base->Code == opCos && g->Code == opTan) return Pow(Add({N(1), t2}), Num(-half->Value));
    if (base->Code == opCosh && g->Code == opTanh)
      return Pow(Add({N(1), Minus(t2)}), Num(-half->Value));
  }
  return std::nullopt;
}

// x with g(x) = t, where g undoes on its whole range: linear terms and quotients of them,
// functions with an inverse, roots; positive names the function of t that the inverse
// function's range keeps from being negative (cos for x = sin(t) with t = arcsin(x)).
std::optional<Expr> TMethods::Inverse(const Expr& g, const Expr& t, TOperation& positive) const {
  if (algebra::Compare(g, X) == 0) return t;
  if (const std::optional<QPolynomial> p = algebra::PolynomialIn(g, Key);
      p && algebra::Degree(*p) == 1)
    return Mul({Add({t, NQ(-(*p)[0])}), NQ(1 / (*p)[1])});
  switch (g->TheKind) {
    case Kind::Number:
    case Kind::Symbol:
      return std::nullopt;
    case Kind::Product: {
      std::vector<Expr> constants{Num(g->Value)};
      std::vector<Expr> rest;
      for (const Expr& o : g->Operands) (Free(o) ? constants : rest).push_back(o);
      if (rest.size() == g->Operands.size() && g->Value.Is(1)) break;
      return Inverse(Mul(rest), Over(t, Mul(constants)), positive);
    }
    case Kind::Sum: {
      std::vector<Expr> constants;
      std::vector<Expr> rest;
      for (const Expr& s : SummandsOf(g)) (Free(s) ? constants : rest).push_back(s);
      if (rest.size() != 1 || constants.empty()) break;
      return Inverse(rest[0], Add({t, Minus(Add(constants))}), positive);
    }
    case Kind::Function: {
      const algebra::FunctionFacts* facts = algebra::FactsOf(g->Code);
      if (!facts || facts->Inverse == opNone) return std::nullopt;
      if (g->Code == opArcSin || g->Code == opArcTan) positive = opCos;
      if (g->Code == opArcCos) positive = opSin;
      if (g->Code == opArcSinh || g->Code == opArcTanh) positive = opCosh;
      if (g->Code == opArcCosh) positive = opSinh;
      return Inverse(g->Operands[0], Fn(facts->Inverse, t), positive);
    }
    case Kind::Power: {
      if (!IsExactNumber(g->Operands[1])) return std::nullopt;
      const Number& p = g->Operands[1]->Value;
      if (p.IsWhole() && !p.Is(-1)) return std::nullopt;
      return Inverse(g->Operands[0], Pow(t, Num(*p.Inverse())), positive);
    }
  }
  // (a*x+b)/(c*x+d) = t -> x = (d*t-b)/(a-c*t)
  if (g->TheKind == Kind::Product) {
    std::optional<QPolynomial> above = QPolynomial{g->Value.IsExact() ? g->Value.Fraction() : Q(0)};
    std::optional<QPolynomial> under = QPolynomial{Q(1)};
    for (const Expr& o : g->Operands) {
      const bool reciprocal = o->TheKind == Kind::Power && IsNum(o->Operands[1], -1);
      const std::optional<QPolynomial> p =
          algebra::PolynomialIn(reciprocal ? o->Operands[0] : o, Key);
      if (!p || !above || !under) return std::nullopt;
      (reciprocal ? under : above) = algebra::Product(reciprocal ? *under : *above, *p);
    }
    if (!g->Value.IsExact() || algebra::Degree(*above) > 1 || algebra::Degree(*under) > 1)
      return std::nullopt;
    above->resize(2);
    under->resize(2);
    const Q &a = (*above)[1], &b = (*above)[0], &c = (*under)[1], &d = (*under)[0];
    if (a * d - b * c == 0) return std::nullopt;
    return Over(Add({Mul({NQ(d), t}), NQ(-b)}), Add({NQ(a), Mul({NQ(-c), t})}));
  }
  return std::nullopt;
}

// Sums of a constant and a square of a function of the new variable written as one power:
// 1-sin(t)^2 as cos(t)^2, 1+tan(t)^2 as cos(t)^(-2); the root of such a square taken
// where the function is the positive one.
Expr TMethods::Pythagorean(const Expr& e, TOperation positive) const {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  for (const Expr& o : e->Operands) operands.push_back(Pythagorean(o, positive));
  Expr rebuilt = algebra::WithOperands(e, operands);
  const auto squareOf = [](const Expr& sum) -> std::optional<std::pair<Number, Expr>> {
    if (sum->TheKind != Kind::Sum) return std::nullopt;
    Expr s = sum;
    if (s->Operands.size() != 1) {
      try {
        s = algebra::Expand(sum);
      } catch (const EKoAlgebra&) {
        return std::nullopt;
      }
    }
    if (s->TheKind != Kind::Sum || s->Operands.size() != 1) return std::nullopt;
    const Expr& term = s->Operands[0];
    const Number& a = s->Value;
    const Number& b = s->Coefficients[0];
    if (term->TheKind != Kind::Power || !IsNum(term->Operands[1], 2) ||
        term->Operands[0]->TheKind != Kind::Function)
      return std::nullopt;
    const Expr& fu = term->Operands[0];
    const Expr& u = fu->Operands[0];
    const bool opposite = a.Compare(-b) == 0;
    const bool same = a.Compare(b) == 0;
    // a-a*sin^2 = a*cos^2, a-a*cos^2 = a*sin^2, a+a*tan^2 = a/cos^2, a+a*sinh^2 = a*cosh^2,
    // b*cosh^2-b = b*sinh^2, a-a*tanh^2 = a/cosh^2, a+a*cot^2 = a/sin^2, b*coth^2-b = b/sinh^2
    if (opposite && fu->Code == opSin) return std::pair(a, Pow(Fn(opCos, u), N(2)));
    if (opposite && fu->Code == opCos) return std::pair(a, Pow(Fn(opSin, u), N(2)));
    if (same && fu->Code == opTan) return std::pair(a, Pow(Fn(opCos, u), N(-2)));
    if (same && fu->Code == opSinh) return std::pair(a, Pow(Fn(opCosh, u), N(2)));
    if (opposite && fu->Code == opCosh) return std::pair(b, Pow(Fn(opSinh, u), N(2)));
    if (opposite && fu->Code == opTanh) return std::pair(a, Pow(Fn(opCosh, u), N(-2)));
    if (same && fu->Code == opCot) return std::pair(a, Pow(Fn(opSin, u), N(-2)));
    if (opposite && fu->Code == opCoth) return std::pair(b, Pow(Fn(opSinh, u), N(-2)));
    return std::nullopt;
  };
  if (const auto square = squareOf(rebuilt)) return Mul({Num(square->first), square->second});
  // (c*f(t)^k)^e = c^e*f(t)^(k*e) where c > 0 and f(t) >= 0
  if (rebuilt->TheKind != Kind::Power || !IsExactNumber(rebuilt->Operands[1])) return rebuilt;
  const Expr& base = rebuilt->Operands[0];
  const Number& exponent = rebuilt->Operands[1]->Value;
  const bool product = base->TheKind == Kind::Product && base->Operands.size() == 1;
  const Expr& power = product ? base->Operands[0] : base;
  if ((product && base->Value.Sign() <= 0) || power->TheKind != Kind::Power ||
      !IsExactNumber(power->Operands[1]) || !IsFunction(power->Operands[0], positive))
    return rebuilt;
  return Mul({Pow(Num(product ? base->Value : Number(1)), rebuilt->Operands[1]),
              Pow(power->Operands[0], Num(exponent * power->Operands[1]->Value))});
}

// Polynomials in the variable written as polynomials in p(x) = u, where they are such.
Expr TMethods::InPowersOf(const Expr& e, const QPolynomial& p) const {
  if (Free(e)) return e;
  if (const std::optional<QPolynomial> r = algebra::PolynomialIn(e, Key)) {
    QPolynomial left = *r;
    QPolynomial inU;
    while (!algebra::IsZero(left)) {
      QPolynomial quotient, remainder;
      algebra::Divide(left, p, quotient, remainder);
      if (algebra::Degree(remainder) > 0) return e;
      inU.push_back(remainder[0]);
      left = quotient;
    }
    if (inU.empty()) inU.push_back(Q(0));
    return algebra::FromQPolynomial(inU, U);
  }
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  for (const Expr& o : e->Operands) operands.push_back(InPowersOf(o, p));
  return algebra::WithOperands(e, operands);
}

// ---------------------------------------------------------------- binomial differentials

// c*x^k for a term free of the variable but for a power of it.
std::optional<std::pair<Expr, Q>> TMethods::MonomialOf(const Expr& e) const {
  std::vector<Expr> coefficient;
  Q k = 0;
  for (const Expr& factor : FactorsOf(e)) {
    if (Free(factor)) {
      coefficient.push_back(factor);
    } else if (algebra::Compare(factor, X) == 0) {
      k += 1;
    } else if (factor->TheKind == Kind::Power && algebra::Compare(factor->Operands[0], X) == 0 &&
               IsExactNumber(factor->Operands[1])) {
      k += factor->Operands[1]->Value.Fraction();
    } else {
      return std::nullopt;
    }
  }
  return std::pair{Mul(coefficient), k};
}

// int x^m*(c*x^e+d*x^o)^(r/s) with u^s = (c*x^e+d*x^o)/x^e = c+d*x^n, n = o-e, where
// k = (m+e*r/s+1)/n is whole: x^n = (u^s-c)/d makes it int s/(n*d)*u^(r+s-1)*((u^s-c)/d)^(k-1),
// a rational function. Both powers of x serve as e: the one and the other of Chebyshev's cases
// where the root is not rational. u is taken as the root of the sum over x^e, or where e/s is
// whole as the root of the sum times x^(-e/s), which keeps the sign of x; the result must fit.
std::optional<Expr> TMethods::Binomial(const Expr& f) {
  if (Substitutions >= kMostSubstitutions) {
    Cut = true;
    return std::nullopt;
  }
  std::vector<Expr> constants;
  Q m = 0;
  std::optional<Expr> sum;
  Q p;
  for (const Expr& factor : FactorsOf(f)) {
    if (Free(factor)) {
      constants.push_back(factor);
      continue;
    }
    if (const std::optional<std::pair<Expr, Q>> monomial = MonomialOf(factor)) {
      m += monomial->second;
      continue;
    }
    if (sum || factor->TheKind != Kind::Power || !IsExactNumber(factor->Operands[1]) ||
        factor->Operands[1]->Value.IsWhole() || factor->Operands[0]->TheKind != Kind::Sum)
      return std::nullopt;
    sum = factor->Operands[0];
    p = factor->Operands[1]->Value.Fraction();
  }
  if (!sum) return std::nullopt;
  const std::vector<Expr> summands = SummandsOf(*sum);
  if (summands.size() != 2) return std::nullopt;
  std::optional<std::pair<Expr, Q>> terms[2] = {MonomialOf(summands[0]), MonomialOf(summands[1])};
  if (!terms[0] || !terms[1] || terms[0]->second == terms[1]->second) return std::nullopt;
  const Q r(p.get_num()), s(p.get_den());
  for (int i = 0; i < 2; ++i) {
    const auto& [c, e] = *terms[i];
    const auto& [d, o] = *terms[1 - i];
    const Q n = o - e;
    const Q k = (m + e * p + 1) / n;
    if (k.get_den() != 1) continue;
    // the rational integrand, in x for the integrator
    const Expr xn = Over(Add({Pow(X, NQ(s)), Minus(c)}), d);
    const Expr h =
        Mul({NQ(s / n), Pow(d, N(-1)), Mul(constants), Pow(X, NQ(r + s - 1)), Pow(xn, NQ(k - 1))});
    ++Substitutions;
    const std::optional<Expr> rational = I(h);
    --Substitutions;
    if (!rational) continue;
    std::vector<Expr> roots;
    if (Q(e / s).get_den() == 1) roots.push_back(Mul({Pow(*sum, NQ(1 / s)), Pow(X, NQ(-e / s))}));
    roots.push_back(Pow(Add({c, Mul({d, Pow(X, NQ(n))})}), NQ(1 / s)));
    for (const Expr& u : roots) {
      const Expr back = Undone(Tidied(Prepared(algebra::Substituted(*rational, X, u))), Key);
      if (Fits(f, back)) return back;
    }
  }
  return std::nullopt;
}

// int exp(g)*F -> exp(g)*h where h'+g'*h = F, for h a part of F's terms over g': the
// antiderivatives of exp(x)*(f+f') and their kin, which parts never reach
// (exp(x)*(x-1)/x^2 -> exp(x)/x). The equation is decided exactly.
std::optional<Expr> TMethods::ExponentialTimes(const Expr& f) {
  std::vector<Expr> rest;
  std::optional<Expr> exponential;
  for (const Expr& factor : FactorsOf(f))
    if (!exponential && IsFunction(factor, opExp) && !Free(factor))
      exponential = factor;
    else
      rest.push_back(factor);
  if (!exponential || rest.empty()) return std::nullopt;
  const Expr F = Mul(rest);
  Expr expanded;
  try {
    expanded = algebra::Expand(F);
  } catch (const EKoAlgebra&) {
    return std::nullopt;
  }
  const std::vector<Expr> terms = SummandsOf(expanded);
  if (terms.size() < 2 || terms.size() > kMostAnsatzTerms) return std::nullopt;
  const Expr slope = algebra::Derivative((*exponential)->Operands[0], Key);
  // every part but the whole, which would make F itself exp(g)*h's slope alone
  for (std::size_t mask = 1; mask + 1 < (std::size_t{1} << terms.size()); ++mask) {
    std::vector<Expr> part;
    for (std::size_t i = 0; i < terms.size(); ++i)
      if (mask & (std::size_t{1} << i)) part.push_back(terms[i]);
    const Expr h = Over(Add(part), slope);
    const Expr miss = Add({algebra::Derivative(h, Key), Mul({slope, h}), Minus(F)});
    if (!IsNum(algebra::ZeroTested(algebra::SquaresReduced(algebra::Expand(miss))), 0)) continue;
    const Expr result = Mul({*exponential, h});
    if (Fits(f, result)) return result;
  }
  return std::nullopt;
}

// Whether the antiderivative's slopes are not clearly against the integrand's values.
bool TMethods::Fits(const Expr& f, const Expr& antiderivative) const {
  try {
    const TKoNodePtr integrand = ParseTerm(algebra::ToText(f, Var), Depot);
    const TKoNodePtr tree = ParseTerm(algebra::ToText(antiderivative, Var), Depot);
    return AllFinite(tree.get()) &&
           !TIntegrator(Var, Depot).Contradicted(integrand.get(), tree.get());
  } catch (const EKoAlgebraWork&) {
    throw;
  } catch (const Exception&) {
    return false;
  }
}

// ---------------------------------------------------------------- parts and expansion

namespace {

// Which factor integration by parts differentiates first: logarithms and inverse functions,
// then polynomials, then the rest.
enum class TRank { Inverse, Algebraic, Transcendental, Other };

bool IsInverseCode(TOperation code) {
  return code == opLn || code == opArcSin || code == opArcCos || code == opArcTan ||
         code == opArcCot || code == opArcSinh || code == opArcCosh || code == opArcTanh ||
         code == opArcCoth;
}

bool IsTranscendentalCode(TOperation code) {
  return code == opExp || code == opSin || code == opCos || code == opSinh || code == opCosh;
}

}  // namespace

// int u*v' -> u*v - int u'*v, u by the order above; a power of a logarithm or an inverse
// function goes down by one in each step.
std::optional<Expr> TMethods::Parts(const Expr& f) {
  if (PartsUnderWay >= kMostParts) {
    Cut = true;
    return std::nullopt;
  }
  std::vector<Expr> first, polynomials, rest;
  bool transcendental = false;
  for (const Expr& factor : FactorsOf(f)) {
    const bool power = factor->TheKind == Kind::Power && IsExactNumber(factor->Operands[1]) &&
                       factor->Operands[1]->Value.IsWhole() &&
                       factor->Operands[1]->Value.Sign() > 0;
    const Expr& base = power ? factor->Operands[0] : factor;
    if (base->TheKind == Kind::Function && IsInverseCode(base->Code)) {
      first.push_back(factor);
    } else if (!Free(factor) && algebra::PolynomialIn(factor, Key)) {
      polynomials.push_back(factor);
    } else {
      transcendental =
          transcendental || (base->TheKind == Kind::Function && IsTranscendentalCode(base->Code));
      rest.push_back(factor);
    }
  }
  std::vector<Expr> u, dv = rest;
  // Two inverse functions give products of more of them: no way down.
  if (first.size() > 1) return std::nullopt;
  if (!first.empty()) {
    u = first;
    dv.insert(dv.end(), polynomials.begin(), polynomials.end());
  } else if (!polynomials.empty() && transcendental) {
    u = polynomials;
  } else {
    return std::nullopt;
  }
  ++PartsUnderWay;
  std::optional<Expr> result;
  if (const std::optional<Expr> v = I(Mul(dv))) {
    const Expr uTerm = Mul(u);
    if (const std::optional<Expr> w = I(Mul({*v, algebra::Derivative(uTerm, Key)})))
      result = Add({Mul({uTerm, *v}), Minus(*w)});
  }
  --PartsUnderWay;
  return result;
}

// int of products of sums multiplied out, term by term.
std::optional<Expr> TMethods::Expanded(const Expr& f) {
  Expr e;
  try {
    e = algebra::Expand(f);
  } catch (const EKoAlgebra&) {
    return std::nullopt;
  }
  if (algebra::Compare(e, f) == 0 || e->TheKind != Kind::Sum) return std::nullopt;
  return Termwise(e);
}

// int 1/(a+b) -> int (a-b)/(a^2-b^2) for a denominator of two terms with roots, where the
// new denominator has none.
std::optional<Expr> TMethods::Rationalized(const Expr& f) {
  std::vector<Expr> factors = FactorsOf(f);
  for (Expr& factor : factors) {
    if (factor->TheKind != Kind::Power || !IsNum(factor->Operands[1], -1) ||
        factor->Operands[0]->TheKind != Kind::Sum)
      continue;
    const std::vector<Expr> terms = SummandsOf(factor->Operands[0]);
    if (terms.size() != 2) continue;
    const Expr conjugate = Add({terms[0], Minus(terms[1])});
    Expr below;
    try {
      below = algebra::Expand(Add({Pow(terms[0], N(2)), Minus(Pow(terms[1], N(2)))}));
    } catch (const EKoAlgebra&) {
      continue;
    }
    if (below->Size >= factor->Operands[0]->Size) continue;
    factor = Mul({conjugate, Pow(below, N(-1))});
    return I(Mul(factors));
  }
  return std::nullopt;
}

// The integrand with tan, cot, tanh and coth as quotients of sin, cos, sinh and cosh, or
// with all hyperbolic functions as exponentials.
std::optional<Expr> TMethods::Rewritten(const Expr& f, bool exponentials) {
  bool changed = false;
  const std::function<Expr(const Expr&)> rewrite = [&](const Expr& e) -> Expr {
    if (e->Operands.empty()) return e;
    std::vector<Expr> operands;
    for (const Expr& o : e->Operands) operands.push_back(rewrite(o));
    if (e->TheKind != Kind::Function || Free(e)) return algebra::WithOperands(e, operands);
    const Expr& a = operands[0];
    const auto quotient = [&](TOperation top, TOperation bottom) {
      changed = true;
      return Over(Fn(top, a), Fn(bottom, a));
    };
    if (e->Code == opTan) return quotient(opSin, opCos);
    if (e->Code == opCot) return quotient(opCos, opSin);
    if (!exponentials && e->Code == opTanh) return quotient(opSinh, opCosh);
    if (!exponentials && e->Code == opCoth) return quotient(opCosh, opSinh);
    if (!exponentials) return algebra::WithOperands(e, operands);
    // sinh(a) = (e^a-e^-a)/2, cosh(a) = (e^a+e^-a)/2, tanh(a) = (e^2a-1)/(e^2a+1)
    const Expr plus = Fn(opExp, a);
    const Expr minus = Fn(opExp, Minus(a));
    const Expr twice = Fn(opExp, Mul({N(2), a}));
    const bool hyperbolic =
        e->Code == opSinh || e->Code == opCosh || e->Code == opTanh || e->Code == opCoth;
    if (!hyperbolic) return algebra::WithOperands(e, operands);
    changed = true;
    if (e->Code == opSinh) return Mul({NQ(Q(1, 2)), Add({plus, Minus(minus)})});
    if (e->Code == opCosh) return Mul({NQ(Q(1, 2)), Add({plus, minus})});
    if (e->Code == opTanh) return Over(Add({twice, N(-1)}), Add({twice, N(1)}));
    return Over(Add({twice, N(1)}), Add({twice, N(-1)}));
  };
  const Expr r = rewrite(f);
  if (!changed || algebra::Compare(r, f) == 0) return std::nullopt;
  return I(r);
}

// The integrand with the double angles cos(2*v), sin(2*v), cosh(2*v) and sinh(2*v) written
// in functions of v, where those occur beside them: sqrt(cos(2*x))*cos(x) as
// sqrt(1-2*sin(x)^2)*cos(x). cos(2*v) goes once to the sine's square and once to the
// cosine's, cosh(2*v) likewise.
std::optional<Expr> TMethods::Halved(const Expr& f) {
  std::vector<Expr> arguments;
  const std::function<void(const Expr&)> look = [&](const Expr& e) {
    for (const Expr& o : e->Operands) look(o);
    if (e->TheKind != Kind::Function || Free(e)) return;
    if (e->Code == opSin || e->Code == opCos || e->Code == opSinh || e->Code == opCosh)
      arguments.push_back(e->Operands[0]);
  };
  look(f);
  for (const Expr& v : arguments) {
    const Expr twice = Mul({N(2), v});
    if (std::none_of(arguments.begin(), arguments.end(),
                     [&twice](const Expr& a) { return algebra::Compare(a, twice) == 0; }))
      continue;
    for (const bool toSine : {true, false}) {
      const std::function<Expr(const Expr&)> rewrite = [&](const Expr& e) -> Expr {
        if (e->Operands.empty()) return e;
        std::vector<Expr> operands;
        for (const Expr& o : e->Operands) operands.push_back(rewrite(o));
        if (e->TheKind != Kind::Function || algebra::Compare(operands[0], twice) != 0)
          return algebra::WithOperands(e, operands);
        const Expr sin = Fn(opSin, v), cos = Fn(opCos, v);
        const Expr sinh = Fn(opSinh, v), cosh = Fn(opCosh, v);
        // cos(2v) = 1-2sin(v)^2 = 2cos(v)^2-1, cosh(2v) = 1+2sinh(v)^2 = 2cosh(v)^2-1
        if (e->Code == opSin) return Mul({N(2), sin, cos});
        if (e->Code == opSinh) return Mul({N(2), sinh, cosh});
        if (e->Code == opCos)
          return toSine ? Add({N(1), Mul({N(-2), Pow(sin, N(2))})})
                        : Add({Mul({N(2), Pow(cos, N(2))}), N(-1)});
        if (e->Code == opCosh)
          return toSine ? Add({N(1), Mul({N(2), Pow(sinh, N(2))})})
                        : Add({Mul({N(2), Pow(cosh, N(2))}), N(-1)});
        return algebra::WithOperands(e, operands);
      };
      const Expr r = rewrite(f);
      if (algebra::Compare(r, f) == 0) continue;
      if (std::optional<Expr> result = I(r)) return result;
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- roots of half angles

namespace {

// sqrt(n), exact where n is the square of a fraction.
Expr SquareRoot(const Number& n) {
  if (n.IsExact()) {
    const Q& q = n.Fraction();
    if (mpz_perfect_square_p(q.get_num_mpz_t()) != 0 &&
        mpz_perfect_square_p(q.get_den_mpz_t()) != 0) {
      mpz_class top, bottom;
      mpz_sqrt(top.get_mpz_t(), q.get_num_mpz_t());
      mpz_sqrt(bottom.get_mpz_t(), q.get_den_mpz_t());
      return NQ(Q(top, bottom));
    }
  }
  return Pow(Num(n), NQ(Q(1, 2)));
}

// int c*(a+b*cos(v))^(1/2) and its reciprocal for a = |b| > 0, v linear, and the same with
// sin(v) = cos(v-pi/2): the root is sqrt(2*a)*abs(cos(w)) or sqrt(2*a)*abs(sin(w)) with
// w = v/2, whose antiderivatives are continuous through the sign changes by a floor term:
// int abs(cos(w)) dw = sin(w)*sgn(cos(w))+2*floor(w/pi+1/2),
// int abs(sin(w)) dw = -cos(w)*sgn(sin(w))+2*floor(w/pi),
// int 1/abs(cos(w)) dw = sgn(cos(w))*ln(abs((1+sin(w))/cos(w))),
// int 1/abs(sin(w)) dw = sgn(sin(w))*ln(abs((1-cos(w))/sin(w))).
std::optional<Expr> HalfAngleRoot(const Expr& f, const std::string& key) {
  const auto free = [&key](const Expr& e) { return !algebra::DependsOn(e, key); };
  std::vector<Expr> constants;
  std::optional<Expr> root;
  for (const Expr& factor : FactorsOf(f)) {
    if (free(factor)) {
      constants.push_back(factor);
    } else if (!root && factor->TheKind == Kind::Power && IsExactNumber(factor->Operands[1]) &&
               (factor->Operands[1]->Value.Fraction() == Q(1, 2) ||
                factor->Operands[1]->Value.Fraction() == Q(-1, 2))) {
      root = factor;
    } else {
      return std::nullopt;
    }
  }
  if (!root) return std::nullopt;
  const Expr& sum = (*root)->Operands[0];
  const bool reciprocal = (*root)->Operands[1]->Value.Sign() < 0;
  if (sum->TheKind != Kind::Sum || sum->Operands.size() != 1 ||
      (!IsFunction(sum->Operands[0], opCos) && !IsFunction(sum->Operands[0], opSin)))
    return std::nullopt;
  const Number& a = sum->Value;
  const Number& b = sum->Coefficients[0];
  const Expr& v = sum->Operands[0]->Operands[0];
  const std::optional<QPolynomial> line = algebra::PolynomialIn(v, key);
  if (a.Sign() <= 0 || !line || algebra::Degree(*line) != 1 ||
      !(a + (b.Sign() < 0 ? b : Number(-1) * b)).IsZero())
    return std::nullopt;
  constexpr long double kPi = 3.141592653589793238462643383279502884L;
  Expr w = Mul({NQ(Q(1, 2)), v});
  if (IsFunction(sum->Operands[0], opSin)) w = Add({w, Num(Number::Float(-kPi / 4))});
  const bool cosine = b.Sign() > 0;
  const Expr slope = algebra::Derivative(w, key);
  const Expr scale = SquareRoot(Number(2) * a);
  const Expr sin = Fn(opSin, w), cos = Fn(opCos, w);
  const Expr sign = Fn(opSgn, cosine ? cos : sin);
  Expr inW;
  if (reciprocal) {
    const Expr quotient = cosine ? Over(Add({N(1), sin}), cos) : Over(Add({N(1), Minus(cos)}), sin);
    inW = Mul({Pow(scale, N(-1)), sign, Fn(opLn, Fn(opAbs, quotient))});
  } else {
    const Expr turns = cosine ? Add({Mul({Num(Number::Float(1 / kPi)), w}), NQ(Q(1, 2))})
                              : Mul({Num(Number::Float(1 / kPi)), w});
    inW = Mul(
        {scale, Add({Mul({cosine ? sin : Minus(cos), sign}), Mul({N(2), Fn(opFloor, turns)})})});
  }
  return Mul({Mul(constants), Pow(slope, N(-1)), inW});
}

}  // namespace

// ---------------------------------------------------------------- the entry

TKoNodePtr TIntegrator::ByMethods(const Node* node) const {
  if (HasJump(node)) return nullptr;
  try {
    const algebra::TWorkLimit limit(kWork);
    const Expr f = algebra::FromTree(node);
    if (!IsTame(f)) return nullptr;
    if (const std::optional<Expr> r = HalfAngleRoot(f, UpperCase(VarName)))
      return Verified(node, ParseTerm(algebra::ToText(*r, VarName), Depot));
    TMethods methods(VarName, Depot);
    const std::optional<Expr> r = methods.Antiderivative(f);
    if (!r) return nullptr;
    TKoNodePtr tree = ParseTerm(algebra::ToText(*r, VarName), Depot);
    if (!AllFinite(tree.get())) return nullptr;
    return Verified(node, std::move(tree));
  } catch (const Exception&) {
    return nullptr;
  }
}

}  // namespace integration
