// Integrands whose antiderivative is provably no elementary function: the shapes for which
// Liouville's theorem decides it by a polynomial equation or a known result (the exponential,
// sine and logarithmic integrals, the error function, elliptic integrals of the first kind).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Algebra/QPolynomial.hpp"
#include "MathIntg/Integrator.hpp"
#include "MathIntg/MathIntg.hpp"

namespace integration {

namespace {

using algebra::Expr;
using algebra::Kind;
using algebra::QPolynomial;
using Q = algebra::Rational;

// The canonical form's work for reading the integrand.
constexpr std::uint64_t kNonElementaryWork = 1'000'000;

// A complex rational a + b*i.
struct TGauss {
  Q Re, Im;
};

TGauss Times(const TGauss& a, const TGauss& b) {
  return {a.Re * b.Re - a.Im * b.Im, a.Re * b.Im + a.Im * b.Re};
}

TGauss Over(const TGauss& a, const TGauss& b) {
  const Q n = b.Re * b.Re + b.Im * b.Im;
  return {(a.Re * b.Re + a.Im * b.Im) / n, (a.Im * b.Re - a.Re * b.Im) / n};
}

// Whether q' + k*p'*q = r has a polynomial solution q, for polynomials r and p with deg p >= 2
// and k = 1, -1 or i: int r*exp(k*p) is elementary exactly then (its antiderivative would be
// q*exp(k*p), and no q with a pole fits). Degree by degree from the top: p'*q leads.
bool SolvableDown(const QPolynomial& r, const QPolynomial& p, const TGauss& k) {
  const QPolynomial slope = algebra::Derivative(p);
  const std::size_t d = algebra::Degree(slope);
  const std::size_t top = algebra::Degree(r);
  if (algebra::IsZero(r)) return true;
  if (top < d) return false;
  std::vector<TGauss> rest(top + 1);
  for (std::size_t i = 0; i <= top; ++i) rest[i] = {r[i], 0};
  const TGauss lead = Times(k, {slope[d], 0});
  for (std::size_t n = top - d + 1; n-- > 0;) {
    const TGauss c = Over(rest[n + d], lead);
    // subtract c*(x^n)' + k*p'*c*x^n
    if (n > 0) {
      rest[n - 1].Re -= c.Re * static_cast<long>(n);
      rest[n - 1].Im -= c.Im * static_cast<long>(n);
    }
    for (std::size_t j = 0; j <= d; ++j) {
      const TGauss t = Times(Times(k, {slope[j], 0}), c);
      rest[n + j].Re -= t.Re;
      rest[n + j].Im -= t.Im;
    }
  }
  for (const TGauss& c : rest)
    if (c.Re != 0 || c.Im != 0) return false;
  return true;
}

// A term read as c*L^n + d for a linear L, constants c and d, and a rational n.
struct TMonomial {
  QPolynomial Linear;
  Q Exponent;
};

class TNonElementary {
 public:
  explicit TNonElementary(const std::string& var) : Key(UpperCase(var)) {}

  bool Holds(const Expr& f) const {
    std::vector<Expr> rest;
    for (const Expr& factor : f->TheKind == Kind::Product ? f->Operands : std::vector<Expr>{f})
      if (!Free(factor)) rest.push_back(factor);
    if (rest.empty()) return false;
    if (rest.size() == 1 &&
        (IsSelfPower(rest[0]) || IsExpOfExp(rest[0]) || IsEllipticRoot(rest[0])))
      return true;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      std::vector<Expr> others(rest.begin(), rest.end());
      others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
      if (Binomial(rest[i], others) || Transcendental(rest[i], others) ||
          OfInverse(rest[i], others))
        return true;
    }
    return false;
  }

 private:
  bool Free(const Expr& e) const { return !algebra::DependsOn(e, Key); }
  bool IsVariable(const Expr& e) const { return e->TheKind == Kind::Symbol && e->Key == Key; }
  static bool IsExact(const Expr& e) { return e->TheKind == Kind::Number && e->Value.IsExact(); }
  static bool IsWhole(const Q& q) { return q.get_den() == 1; }

  std::optional<QPolynomial> Linear(const Expr& e) const {
    std::optional<QPolynomial> p = algebra::PolynomialIn(e, Key);
    if (!p || algebra::Degree(*p) != 1) return std::nullopt;
    return p;
  }
  static bool Proportional(const QPolynomial& a, const QPolynomial& b) {
    return a[0] * b[1] == a[1] * b[0];
  }
  // L^n for a linear L: L itself, or a power of it with an exact exponent.
  std::optional<TMonomial> PowerOfLinear(const Expr& e) const {
    if (std::optional<QPolynomial> l = Linear(e)) return TMonomial{*l, Q(1)};
    if (e->TheKind != Kind::Power || !IsExact(e->Operands[1])) return std::nullopt;
    if (std::optional<QPolynomial> l = Linear(e->Operands[0]))
      return TMonomial{*l, e->Operands[1]->Value.Fraction()};
    return std::nullopt;
  }
  // c*L^n + d, n not 0
  std::optional<TMonomial> MonomialOf(const Expr& e) const {
    if (e->TheKind == Kind::Sum && e->Operands.size() == 1) return PowerOfLinear(e->Operands[0]);
    if (e->TheKind == Kind::Product && e->Operands.size() == 1)
      return PowerOfLinear(e->Operands[0]);
    return PowerOfLinear(e);
  }
  // The sum of the exponents where every factor is a power of one linear term (lines that
  // differ by a factor are one); with none, the line given.
  std::optional<Q> ExponentOver(const std::vector<Expr>& factors, const QPolynomial& line) const {
    Q sum = 0;
    for (const Expr& o : factors) {
      const std::optional<TMonomial> power = PowerOfLinear(o);
      if (!power || !Proportional(power->Linear, line)) return std::nullopt;
      sum += power->Exponent;
    }
    return sum;
  }
  std::optional<QPolynomial> PolynomialOf(const std::vector<Expr>& factors) const {
    QPolynomial r{Q(1)};
    for (const Expr& o : factors) {
      const std::optional<QPolynomial> factor = algebra::PolynomialIn(o, Key);
      if (!factor) return std::nullopt;
      r = algebra::Product(r, *factor);
    }
    return r;
  }

  // x^m*(a+b*x^n)^p with p broken: elementary only where (m+1)/n or (m+1)/n+p is whole
  // (Chebyshev).
  bool Binomial(const Expr& e, const std::vector<Expr>& others) const {
    if (e->TheKind != Kind::Power || !IsExact(e->Operands[1])) return false;
    const Q p = e->Operands[1]->Value.Fraction();
    const Expr& sum = e->Operands[0];
    if (IsWhole(p) || sum->TheKind != Kind::Sum || sum->Operands.size() != 1 ||
        sum->Value.IsZero() || !sum->Value.IsExact())
      return false;
    const std::optional<TMonomial> term = PowerOfLinear(sum->Operands[0]);
    if (!term ||
        !IsVariable(sum->Operands[0]->TheKind == Kind::Power ? sum->Operands[0]->Operands[0]
                                                             : sum->Operands[0]))
      return false;
    const std::optional<Q> m = ExponentOver(others, term->Linear);
    if (!m) return false;
    const Q first = (*m + 1) / term->Exponent;
    return !IsWhole(first) && !IsWhole(Q(first + p));
  }

  // f(c*L^n+d)^j*L^m for f = exp, sin, cos, sinh, cosh (or a power with a constant base):
  // with t = L^n, int t^((m+1)/n-1)*f(c*t+d)^j dt, which is elementary only where that
  // power of t is whole and not negative (the exponential, sine and incomplete gamma
  // integrals). f of a polynomial of degree 2 or more times a polynomial: Liouville's
  // equation decided.
  bool Transcendental(const Expr& e, const std::vector<Expr>& others) const {
    Expr g = e;
    Q j = 1;
    if (e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Function &&
        IsExact(e->Operands[1]) && IsWhole(e->Operands[1]->Value.Fraction()) &&
        e->Operands[1]->Value.Sign() > 0) {
      g = e->Operands[0];
      j = e->Operands[1]->Value.Fraction();
    }
    Expr argument;
    TOperation code = opNone;
    if (g->TheKind == Kind::Function) {
      code = g->Code;
      argument = g->Operands[0];
    } else if (g->TheKind == Kind::Power && IsExact(g->Operands[0]) &&
               g->Operands[0]->Value.Sign() > 0 && !g->Operands[0]->Value.Is(1)) {
      // c^u = exp(u*ln(c)): Liouville's equation has a solution for ln(c) exactly where it
      // has one for 1, its remainders being polynomials in 1/ln(c)
      code = opExp;
      argument = g->Operands[1];
    }
    if (code != opExp && code != opSin && code != opCos && code != opSinh && code != opCosh)
      return false;
    if (std::optional<TMonomial> inner = MonomialOf(argument)) {
      // a linear argument is linear in the line of the other factors too
      if (inner->Exponent == 1 && !others.empty())
        if (const std::optional<TMonomial> power = PowerOfLinear(others[0]))
          inner->Linear = power->Linear;
      const std::optional<Q> m = ExponentOver(others, inner->Linear);
      if (!m) return false;
      const Q t = (*m + 1) / inner->Exponent;
      if (j == 1) return !(IsWhole(t) && t > 0);
      // powers of sin(L) are sums of sines and cosines of multiples of L
      return inner->Exponent == 1 && !(IsWhole(*m) && *m >= 0);
    }
    const std::optional<QPolynomial> p = algebra::PolynomialIn(argument, Key);
    const std::optional<QPolynomial> r = PolynomialOf(others);
    if (j != 1 || !p || !r || algebra::Degree(*p) < 2) return false;
    if (code == opExp) return !SolvableDown(*r, *p, {1, 0});
    // sin and cos: the parts with exp(i*p) and exp(-i*p), conjugate to each other
    if (code == opSin || code == opCos) return !SolvableDown(*r, *p, {0, 1});
    return !SolvableDown(*r, *p, {1, 0}) || !SolvableDown(*r, *p, {-1, 0});
  }

  // (c*g(L)+d)^a, a not a whole number >= 0, for g = ln times a power L^m (m not -1), or g an
  // inverse sine or cosine, circular or hyperbolic, times a polynomial: with t = g(L),
  // int t^a*h(t) dt for a sum h of exponentials of t with a nonconstant one.
  bool OfInverse(const Expr& e, const std::vector<Expr>& others) const {
    Expr h = e;
    Q a = 1;
    if (e->TheKind == Kind::Power && IsExact(e->Operands[1])) {
      h = e->Operands[0];
      a = e->Operands[1]->Value.Fraction();
    }
    if (IsWhole(a) && a >= 0) return false;
    if ((h->TheKind == Kind::Sum || h->TheKind == Kind::Product) && h->Operands.size() == 1)
      h = h->Operands[0];
    if (h->TheKind != Kind::Function) return false;
    const std::optional<QPolynomial> line = Linear(h->Operands[0]);
    if (!line) return false;
    if (h->Code == opLn) {
      const std::optional<Q> m = ExponentOver(others, *line);
      return m && *m != -1;
    }
    if (h->Code != opArcSin && h->Code != opArcCos && h->Code != opArcSinh && h->Code != opArcCosh)
      return false;
    const std::optional<QPolynomial> r = PolynomialOf(others);
    return r && !algebra::IsZero(*r);
  }

  // x^x, also as exp(x*ln(x))
  bool IsSelfPower(const Expr& e) const {
    if (e->TheKind == Kind::Power) return IsVariable(e->Operands[0]) && IsVariable(e->Operands[1]);
    if (e->TheKind != Kind::Function || e->Code != opExp) return false;
    const Expr& a = e->Operands[0];
    return a->TheKind == Kind::Product && a->Value.Is(1) && a->Operands.size() == 2 &&
           IsVariable(a->Operands[0]) && a->Operands[1]->TheKind == Kind::Function &&
           a->Operands[1]->Code == opLn && IsVariable(a->Operands[1]->Operands[0]);
  }
  // exp(exp(a*x+b))
  bool IsExpOfExp(const Expr& e) const {
    if (e->TheKind != Kind::Function || e->Code != opExp) return false;
    const Expr& inner = e->Operands[0];
    return inner->TheKind == Kind::Function && inner->Code == opExp && Linear(inner->Operands[0]);
  }
  // 1/sqrt(P) for P of degree 3 or 4 without a repeated factor, sqrt(P) for degree 3: elliptic
  bool IsEllipticRoot(const Expr& e) const {
    if (e->TheKind != Kind::Power || !IsExact(e->Operands[1])) return false;
    const Q exponent = e->Operands[1]->Value.Fraction();
    if (exponent != Q(1, 2) && exponent != Q(-1, 2)) return false;
    const std::optional<QPolynomial> p = algebra::PolynomialIn(e->Operands[0], Key);
    if (!p) return false;
    const std::size_t degree = algebra::Degree(*p);
    if (degree != 3 && !(degree == 4 && exponent < 0)) return false;
    return algebra::Degree(algebra::Gcd(*p, algebra::Derivative(*p))) == 0;
  }

  std::string Key;
};

}  // namespace

bool HasNoElementaryAntiderivative(const TKoOperatorNode* node, const std::string& var) {
  try {
    const algebra::TWorkLimit limit(kNonElementaryWork);
    return TNonElementary(var).Holds(algebra::FromTree(node));
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace integration
