// Q functions in full: polynomial division, Hermite's reduction of repeated factors
// and partial fractions over the real factors of the denominator (exact where the roots or
// quadratic factors are rational, else from numeric roots); and the substitutions that lead
// a term to a rational function: u = exp(a*x), t = tan(v/2), t = (a*x+b)^(1/n).
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "MathIntg/Integrator.hpp"

namespace integration {

using algebra::QPolynomial;
using Q = algebra::Rational;
using nodes::Constant;
using nodes::Is;
using nodes::Make;

namespace {

// Beyond these the exact arithmetic is not worth it: the term is no textbook quotient.
constexpr std::size_t kMostDegree = 40;
constexpr std::size_t kMostBits = 4000;
constexpr long kLargestPower = 24;
constexpr long kLargestMultiple = 8;
// A substitution inside a substitution: sqrt(1+sqrt(x)) needs two.
constexpr std::int32_t kMostSubstitutions = 2;
// Fractions tried as exact roots and printed as fractions.
constexpr long kRootDenominator = 1000000;
constexpr std::size_t kPrintedDigits = 17;
constexpr std::size_t kPrintedDenominatorDigits = 12;
// An imaginary part this small beside the root's size: a real root.
constexpr long double kRealRoot = 1e-9L;
// A residue's part this small beside the largest residue is the rounding of a 0.
constexpr long double kNoResidue = 1e-16L;
// A change this small across a half turn is no jump.
constexpr long double kNoJump = 1e-9L;
// Two estimates of a jump from steps of 1e-7 and 1e-8 agree to the curvature over the step.
constexpr long double kSameJump = 1e-9L;

using Complex = std::complex<long double>;

bool Reduce(QFraction& f) {
  if (algebra::IsZero(f.Den)) return false;
  const QPolynomial g = algebra::Gcd(f.Num, f.Den);
  QPolynomial rest;
  if (algebra::Degree(g) > 0) {
    QPolynomial n, d;
    algebra::Divide(f.Num, g, n, rest);
    algebra::Divide(f.Den, g, d, rest);
    f.Num = std::move(n);
    f.Den = std::move(d);
  }
  const Q lead = f.Den.back();
  f.Num = algebra::Scaled(f.Num, Q(1) / lead);
  f.Den = algebra::Scaled(f.Den, Q(1) / lead);
  return algebra::Degree(f.Num) <= kMostDegree && algebra::Degree(f.Den) <= kMostDegree &&
         algebra::Bits(f.Num) <= kMostBits && algebra::Bits(f.Den) <= kMostBits;
}

std::optional<QFraction> Made(QFraction f) {
  if (!Reduce(f)) return std::nullopt;
  return f;
}

std::optional<QFraction> Added(const QFraction& a, const QFraction& b) {
  return Made({algebra::Sum(algebra::Product(a.Num, b.Den), algebra::Product(b.Num, a.Den)),
               algebra::Product(a.Den, b.Den)});
}

std::optional<QFraction> Multiplied(const QFraction& a, const QFraction& b) {
  return Made({algebra::Product(a.Num, b.Num), algebra::Product(a.Den, b.Den)});
}

std::optional<QFraction> Inverted(const QFraction& a) {
  if (algebra::IsZero(a.Num)) return std::nullopt;
  return Made({a.Den, a.Num});
}

std::optional<QFraction> Powered(const QFraction& a, long n) {
  if (n < 0) {
    std::optional<QFraction> inverse = Inverted(a);
    if (!inverse) return std::nullopt;
    return Powered(*inverse, -n);
  }
  if (algebra::Degree(a.Num) * static_cast<std::size_t>(n) > kMostDegree ||
      algebra::Degree(a.Den) * static_cast<std::size_t>(n) > kMostDegree)
    return std::nullopt;
  return Made({algebra::Raised(a.Num, static_cast<std::size_t>(n)),
               algebra::Raised(a.Den, static_cast<std::size_t>(n))});
}

QFraction Number(const Q& q) {
  return {{q}, {Q(1)}};
}

// c*t^k for a whole k of either sign.
QFraction PowerOfT(const Q& c, long k) {
  QPolynomial monomial(static_cast<std::size_t>(std::labs(k)) + 1, Q(0));
  monomial.back() = 1;
  if (k >= 0) return {algebra::Scaled(monomial, c), {Q(1)}};
  return {{c}, monomial};
}

// Whole number of a rational, or none.
std::optional<long> Whole(const Q& q, long largest) {
  if (q.get_den() != 1 || abs(q) > largest) return std::nullopt;
  return q.get_num().get_si();
}

Q RationalGcd(const Q& a, const Q& b) {
  mpz_class n, d;
  mpz_gcd(n.get_mpz_t(), a.get_num_mpz_t(), b.get_num_mpz_t());
  mpz_lcm(d.get_mpz_t(), a.get_den_mpz_t(), b.get_den_mpz_t());
  Q g(n, d);
  g.canonicalize();
  return g;
}

// The polynomial times the least common multiple of its denominators, divided by the
// greatest common divisor of the numerators, with a positive highest coefficient.
QPolynomial Primitive(const QPolynomial& p) {
  mpz_class den = 1, num = 0;
  for (const Q& c : p) {
    mpz_lcm(den.get_mpz_t(), den.get_mpz_t(), c.get_den_mpz_t());
    mpz_gcd(num.get_mpz_t(), num.get_mpz_t(), c.get_num_mpz_t());
  }
  if (num == 0) return p;
  Q factor(den, num);
  factor.canonicalize();
  if (p.back() < 0) factor = -factor;
  return algebra::Scaled(p, factor);
}

// cos(k v) and sin(k v) as quotients in t = tan(v/2): (1 + i t)^(2k) / (1 + t^2)^k.
std::pair<QPolynomial, QPolynomial> MultipleAngle(long k) {
  const long n = 2 * k;
  QPolynomial re(static_cast<std::size_t>(n) + 1, Q(0));
  QPolynomial im(static_cast<std::size_t>(n) + 1, Q(0));
  mpz_class binomial = 1;
  for (long j = 0; j <= n; ++j) {
    // i^j: 1, i, -1, -i
    const long quarter = j % 4;
    const Q c{binomial};
    if (quarter == 0) re[static_cast<std::size_t>(j)] = c;
    if (quarter == 1) im[static_cast<std::size_t>(j)] = c;
    if (quarter == 2) re[static_cast<std::size_t>(j)] = -c;
    if (quarter == 3) im[static_cast<std::size_t>(j)] = -c;
    binomial = binomial * (n - j) / (j + 1);
  }
  algebra::Trim(re);
  algebra::Trim(im);
  return {re, im};
}

}  // namespace

// ------------------------------------------------------------------ reading a quotient

std::optional<QFraction> TIntegrator::RationalIn(const Node* node, Kernel kernel) const {
  if (!node->DependsOn(VarName)) {
    if (HasVariable(node)) return std::nullopt;
    std::optional<Q> exact = algebra::ExactValue(node);
    if (!exact) {
      long double value = 0;
      if (!ConstantIn(node, value)) return std::nullopt;
      exact = algebra::ExactOf(value);
    }
    return Number(*exact);
  }
  if (std::optional<QFraction> k = (this->*kernel)(node)) return k;
  const std::int32_t count = node->ChildCount();
  if (Is(node, opSum) || Is(node, opProduct)) {
    std::optional<QFraction> r = Number(Q(Is(node, opSum) ? 0 : 1));
    for (std::int32_t i = 0; r && i < count; ++i) {
      const std::optional<QFraction> c = RationalIn(node->Child(i), kernel);
      if (!c) return std::nullopt;
      r = Is(node, opSum) ? Added(*r, *c) : Multiplied(*r, *c);
    }
    return r;
  }
  if (Is(node, opNegation) && count == 1) {
    std::optional<QFraction> r = RationalIn(node->Child(0), kernel);
    if (r) r->Num = algebra::Scaled(r->Num, Q(-1));
    return r;
  }
  if (Is(node, opQuotient) && count >= 1) {
    std::optional<QFraction> r = RationalIn(node->Child(0), kernel);
    for (std::int32_t i = 1; r && i < count; ++i) {
      const std::optional<QFraction> c = RationalIn(node->Child(i), kernel);
      if (!c) return std::nullopt;
      const std::optional<QFraction> inverse = Inverted(*c);
      if (!inverse) return std::nullopt;
      r = Multiplied(*r, *inverse);
    }
    return r;
  }
  if (Is(node, opSqr) && count == 1) {
    const std::optional<QFraction> r = RationalIn(node->Child(0), kernel);
    return r ? Powered(*r, 2) : std::nullopt;
  }
  if (Is(node, opPower) && count == 2 && !node->Child(1)->DependsOn(VarName)) {
    const std::optional<Q> e = algebra::ExactValue(node->Child(1));
    const std::optional<long> n = e ? Whole(*e, kLargestPower) : std::nullopt;
    if (!n) return std::nullopt;
    if (*n == 0) return Number(Q(1));
    const std::optional<QFraction> r = RationalIn(node->Child(0), kernel);
    return r ? Powered(*r, *n) : std::nullopt;
  }
  return std::nullopt;
}

std::optional<QFraction> TIntegrator::VariableKernel(const Node* node) const {
  if (!IsVar(node)) return std::nullopt;
  return QFraction{{Q(0), Q(1)}, {Q(1)}};
}

// exp(c*x+d) = exp(d)*u^k with k = c/Slope whole; sinh, cosh, tanh and coth through exp.
std::optional<QFraction> TIntegrator::ExpKernel(const Node* node) const {
  if (!(Is(node, opExp) || Is(node, opSinh) || Is(node, opCosh) || Is(node, opTanh) ||
        Is(node, opCoth)) ||
      node->ChildCount() != 1)
    return std::nullopt;
  const std::optional<ExactPolynomial> w = ExactPolynomialOf(node->Child(0), 1);
  if (!w || w->size() != 2) return std::nullopt;
  const std::optional<long> k = Whole((*w)[1] / Slope, kLargestMultiple);
  if (!k) return std::nullopt;
  const Q e = (*w)[0] == 0 ? Q(1) : algebra::ExactOf(std::exp(algebra::ToLongDouble((*w)[0])));
  const QFraction up = PowerOfT(e, *k);
  if (Is(node, opExp)) return up;
  const QFraction down = PowerOfT(Q(1) / e, -*k);
  const QFraction minusDown{algebra::Scaled(down.Num, Q(-1)), down.Den};
  const std::optional<QFraction> plus = Added(up, down);
  const std::optional<QFraction> minus = Added(up, minusDown);
  if (!plus || !minus) return std::nullopt;
  if (Is(node, opSinh)) return Multiplied(*minus, Number(Q(1, 2)));
  if (Is(node, opCosh)) return Multiplied(*plus, Number(Q(1, 2)));
  // tanh = (up - down)/(up + down), coth the inverse
  const std::optional<QFraction> below = Inverted(Is(node, opTanh) ? *plus : *minus);
  return below ? Multiplied(Is(node, opTanh) ? *minus : *plus, *below) : std::nullopt;
}

// sin, cos, tan and cot of k*v, v = Slope*x + Offset, in t = tan(v/2).
std::optional<QFraction> TIntegrator::TrigKernel(const Node* node) const {
  if (!(Is(node, opSin) || Is(node, opCos) || Is(node, opTan) || Is(node, opCot)) ||
      node->ChildCount() != 1)
    return std::nullopt;
  const std::optional<ExactPolynomial> w = ExactPolynomialOf(node->Child(0), 1);
  if (!w || w->size() != 2) return std::nullopt;
  const Q ratio = (*w)[1] / Slope;
  const std::optional<long> k = Whole(ratio, kLargestMultiple);
  if (!k || *k == 0 || (*w)[0] != ratio * Offset) return std::nullopt;
  auto [re, im] = MultipleAngle(std::labs(*k));
  if (*k < 0) im = algebra::Scaled(im, Q(-1));
  const QPolynomial circle =
      algebra::Raised({Q(1), Q(0), Q(1)}, static_cast<std::size_t>(std::labs(*k)));
  if (Is(node, opCos)) return Made({re, circle});
  if (Is(node, opSin)) return Made({im, circle});
  if (Is(node, opTan)) return algebra::IsZero(re) ? std::nullopt : Made({im, re});
  return algebra::IsZero(im) ? std::nullopt : Made({re, im});
}

// x = (t^n - Offset)/Slope, and (Slope*x + Offset)^(p/q) = t^(p*n/q).
std::optional<QFraction> TIntegrator::RootKernel(const Node* node) const {
  if (IsVar(node)) {
    QPolynomial p = PowerOfT(Q(1), RootIndex).Num;
    p[0] -= Offset;
    return Made({algebra::Scaled(p, Q(1) / Slope), {Q(1)}});
  }
  const Node* base = nullptr;
  Q exponent;
  if (Is(node, opSqrt) && node->ChildCount() == 1) {
    base = node->Child(0);
    exponent = Q(1, 2);
  } else if (Is(node, opPower) && node->ChildCount() == 2 && !node->Child(1)->DependsOn(VarName)) {
    const std::optional<Q> e = algebra::ExactValue(node->Child(1));
    if (!e || e->get_den() == 1) return std::nullopt;
    base = node->Child(0);
    exponent = *e;
  } else {
    return std::nullopt;
  }
  const std::optional<ExactPolynomial> w = ExactPolynomialOf(base, 1);
  if (!w || w->size() != 2 || (*w)[1] != Slope || (*w)[0] != Offset) return std::nullopt;
  const std::optional<long> k = Whole(exponent * RootIndex, kLargestPower);
  if (!k) return std::nullopt;
  return PowerOfT(Q(1), *k);
}

// ------------------------------------------------------------------ printing exact numbers

TKoNodePtr TIntegrator::QNumber(const Q& q) const {
  if (q < 0) return Make(opNegation, QNumber(-q));
  const mpz_class& num = q.get_num();
  const mpz_class& den = q.get_den();
  // whole numbers of up to 17 digits print exactly
  if (mpz_sizeinbase(num.get_mpz_t(), 10) <= kPrintedDigits &&
      mpz_sizeinbase(den.get_mpz_t(), 10) <= kPrintedDenominatorDigits) {
    const long double n = algebra::ToLongDouble(Q(num));
    if (den == 1) return Constant(n);
    return Make(opQuotient, Constant(n), Constant(algebra::ToLongDouble(Q(den))));
  }
  return Constant(algebra::ToLongDouble(q));
}

// The terms from the highest power down, signs apart, fractions as p*x^k/q.
TKoNodePtr TIntegrator::QPolynomialTree(const QPolynomial& p) const {
  TKoNodePtr sum = Make(opSum);
  for (std::size_t k = p.size(); k-- > 0;) {
    if (p[k] == 0) continue;
    const Q c = abs(p[k]);
    TKoNodePtr power = k == 0   ? nullptr
                       : k == 1 ? Var()
                                : Make(opPower, Var(), Constant(static_cast<long double>(k)));
    TKoNodePtr term;
    if (!power) {
      term = QNumber(c);
    } else if (c == 1) {
      term = std::move(power);
    } else {
      TKoNodePtr number = QNumber(c);
      if (Is(number.get(), opQuotient)) {
        TKoNodePtr top = number->ExtractChild(0);
        TKoNodePtr bottom = number->ExtractChild(0);
        if (!nodes::IsConstant(top.get(), 1))
          power = Make(opProduct, std::move(top), std::move(power));
        term = Make(opQuotient, std::move(power), std::move(bottom));
      } else {
        term = Make(opProduct, std::move(number), std::move(power));
      }
    }
    sum->AddChild(p[k] < 0 ? Make(opNegation, std::move(term)) : std::move(term));
  }
  return Collected(std::move(sum));
}

// c*node, with c's sign apart and as a small fraction where it is one.
TKoNodePtr TIntegrator::ScaledBy(long double c, TKoNodePtr node) const {
  if (c < 0) return Make(opNegation, ScaledBy(-c, std::move(node)));
  if (c == 1) return node;
  if (const std::optional<Q> q = algebra::NearFraction(c, 1000);
      q && algebra::ToLongDouble(*q) == c)
    return Make(opProduct, QNumber(*q), std::move(node));
  return Make(opProduct, Constant(c), std::move(node));
}

// c*node, with c's sign apart.
TKoNodePtr TIntegrator::QScaled(const Q& c, TKoNodePtr node) const {
  if (c < 0) return Make(opNegation, QScaled(-c, std::move(node)));
  if (c == 1) return node;
  return Make(opProduct, QNumber(c), std::move(node));
}

// top/below with top's sign apart: -(x+1)/v rather than (-x-1)/v.
TKoNodePtr TIntegrator::SignedQuotient(const QPolynomial& top, TKoNodePtr below) const {
  const bool negative = top.back() < 0;
  TKoNodePtr quotient = Make(
      opQuotient, QPolynomialTree(negative ? algebra::Scaled(top, Q(-1)) : top), std::move(below));
  return negative ? Make(opNegation, std::move(quotient)) : std::move(quotient);
}

// A sum of no terms is 0, of one term that term.
TKoNodePtr Collected(TKoNodePtr sum) {
  if (sum->ChildCount() == 0) return Constant(0);
  if (sum->ChildCount() == 1) return sum->ExtractChild(0);
  return sum;
}

// ------------------------------------------------------------------ the integral

// int n/d: the polynomial part, Hermite's rational part and the logarithmic part.
TKoNodePtr TIntegrator::RationalIntegral(QFraction f) const {
  if (!Reduce(f)) return nullptr;
  QPolynomial whole, a;
  algebra::Divide(f.Num, f.Den, whole, a);
  TKoNodePtr sum = Make(opSum);
  if (!algebra::IsZero(whole)) sum->AddChild(QPolynomialTree(algebra::Integral(whole)));
  if (!algebra::IsZero(a)) {
    QPolynomial d = f.Den;
    if (!HermiteReduced(a, d, *sum)) return nullptr;
    if (!algebra::IsZero(a)) {
      TKoNodePtr logs = LogPart(a, d);
      if (!logs) return nullptr;
      sum->AddChild(std::move(logs));
    }
  }
  return Collected(std::move(sum));
}

// Hermite: a/(u*v^i) = (b/v^(i-1))' + c/(u*v^(i-1)), down to the square-free part: the
// rational parts b/v^j go to sum, a/d is left with a square-free d.
bool TIntegrator::HermiteReduced(QPolynomial& a, QPolynomial& d, TKoOperatorNode& sum) const {
  const std::vector<QPolynomial> factors = algebra::SquareFree(d);
  for (std::size_t i = 2; i <= factors.size(); ++i) {
    const QPolynomial& v = factors[i - 1];
    if (algebra::Degree(v) == 0) continue;
    QPolynomial u, rest;
    algebra::Divide(d, algebra::Raised(v, i), u, rest);
    const QPolynomial uv = algebra::Product(u, algebra::Derivative(v));
    // v's whole multiple w = s*v, so that b/v^j = (b*s^j)/w^j
    const QPolynomial w = Primitive(v);
    const Q s = w.back() / v.back();
    for (std::size_t j = i - 1; j >= 1; --j) {
      QPolynomial b, c;
      const Q minusOverJ(-1, static_cast<long>(j));
      if (!algebra::SolveBezout(uv, v, algebra::Scaled(a, minusOverJ), b, c)) return false;
      if (!algebra::IsZero(b)) {
        TKoNodePtr below = QPolynomialTree(w);
        if (j > 1) below = Make(opPower, std::move(below), Constant(static_cast<long double>(j)));
        Q scale(1);
        for (std::size_t k = 0; k < j; ++k) scale *= s;
        sum.AddChild(SignedQuotient(algebra::Scaled(b, scale), std::move(below)));
      }
      a = algebra::Difference(algebra::Scaled(c, Q(-static_cast<long>(j))),
                              algebra::Product(u, algebra::Derivative(b)));
    }
    d = algebra::Product(u, v);
  }
  return true;
}

// int a/d for a square-free d: over d's rational linear and quadratic factors exactly, over
// the rest from its numeric roots.
TKoNodePtr TIntegrator::LogPart(const QPolynomial& a, const QPolynomial& d) const {
  std::vector<QPolynomial> factors;
  QPolynomial rest = d;
  if (algebra::Degree(d) >= 2) {
    const std::optional<std::vector<Complex>> roots = algebra::Roots(algebra::Rounded(d));
    if (!roots) return nullptr;
    std::vector<bool> used(roots->size(), false);
    for (std::size_t i = 0; i < roots->size(); ++i) {
      const Complex z = (*roots)[i];
      if (std::fabs(z.imag()) > kRealRoot * (1 + std::abs(z))) continue;
      const std::optional<Q> r = algebra::NearFraction(z.real(), kRootDenominator);
      if (!r || algebra::ValueAt(rest, *r) != 0) continue;
      const QPolynomial linear{Q(-*r), Q(1)};
      QPolynomial q, remainder;
      algebra::Divide(rest, linear, q, remainder);
      rest = std::move(q);
      factors.push_back(linear);
      used[i] = true;
    }
    for (std::size_t i = 0; i < roots->size() && algebra::Degree(rest) > 2; ++i) {
      for (std::size_t j = i + 1; j < roots->size() && !used[i]; ++j) {
        if (used[j]) continue;
        const Complex s = (*roots)[i] + (*roots)[j];
        const Complex p = (*roots)[i] * (*roots)[j];
        if (std::fabs(s.imag()) > kRealRoot * (1 + std::abs(s)) ||
            std::fabs(p.imag()) > kRealRoot * (1 + std::abs(p)))
          continue;
        const std::optional<Q> sq = algebra::NearFraction(s.real(), kRootDenominator);
        const std::optional<Q> pq = algebra::NearFraction(p.real(), kRootDenominator);
        if (!sq || !pq) continue;
        const QPolynomial quadratic{*pq, Q(-*sq), Q(1)};
        QPolynomial q, remainder;
        algebra::Divide(rest, quadratic, q, remainder);
        if (!algebra::IsZero(remainder)) continue;
        rest = std::move(q);
        factors.push_back(quadratic);
        used[i] = used[j] = true;
      }
    }
  }
  if (algebra::Degree(rest) > 0) factors.push_back(rest);
  TKoNodePtr sum = Make(opSum);
  for (const QPolynomial& factor : factors) {
    // a/d = s/factor + t/(d/factor)
    QPolynomial others, remainder, s, t;
    algebra::Divide(d, factor, others, remainder);
    if (!algebra::SolveBezout(others, factor, a, s, t)) return nullptr;
    if (algebra::IsZero(s)) continue;
    const QPolynomial whole = Primitive(factor);
    const Q scale = whole.back() / factor.back();
    const QPolynomial top = algebra::Scaled(s, scale);
    if (algebra::Degree(factor) == 1) {
      // s/factor = c/(whole) with c = top: c/w1 * ln(abs(whole))
      sum->AddChild(QScaled(top[0] / whole[1], Make(opLn, Make(opAbs, QPolynomialTree(whole)))));
    } else if (algebra::Degree(factor) == 2) {
      // (r1*x + r0)/(a*x^2 + b*x + c) = r1/(2a) * q'/q + (r0 - r1*b/(2a)) / q
      const Q r1 = top.size() > 1 ? top[1] : Q(0);
      const Q slopeFactor = r1 / (2 * whole[2]);
      const Q constant = top[0] - slopeFactor * whole[1];
      if (r1 != 0)
        sum->AddChild(QScaled(slopeFactor, Make(opLn, Make(opAbs, QPolynomialTree(whole)))));
      if (constant != 0) {
        TKoNodePtr piece = ReciprocalQuadratic(algebra::Rounded(whole), whole);
        if (!piece) return nullptr;
        sum->AddChild(QScaled(constant, std::move(piece)));
      }
    } else {
      TKoNodePtr piece = NumericLogPart(s, factor);
      if (!piece) return nullptr;
      sum->AddChild(std::move(piece));
    }
  }
  return Collected(std::move(sum));
}

// int a/d from the roots z of d: a(z)/d'(z)*ln(x - z), the complex pairs z, conj(z) with
// residue p + q*i together p*ln((x-re)^2 + im^2) - 2*q*arctan((x-re)/im).
TKoNodePtr TIntegrator::NumericLogPart(const QPolynomial& a, const QPolynomial& d) const {
  const std::vector<long double> dr = algebra::Rounded(d);
  const std::optional<std::vector<Complex>> roots = algebra::Roots(dr);
  if (!roots) return nullptr;
  const std::vector<long double> ar = algebra::Rounded(a);
  const std::vector<long double> slope = algebra::Rounded(algebra::Derivative(d));
  auto value = [](const std::vector<long double>& p, Complex z) {
    Complex v = 0;
    for (std::size_t k = p.size(); k-- > 0;) v = v * z + p[k];
    return v;
  };
  std::vector<Complex> residues;
  long double largest = 0;
  for (const Complex& z : *roots) {
    residues.push_back(value(ar, z) / value(slope, z));
    if (!std::isfinite(residues.back().real()) || !std::isfinite(residues.back().imag()))
      return nullptr;
    largest = std::fmax(largest, std::abs(residues.back()));
  }
  // parts of the residues at the rounding of the largest are 0: x/(x^4+1) has no ln
  for (Complex& r : residues) {
    if (std::fabs(r.real()) <= kNoResidue * largest) r.real(0);
    if (std::fabs(r.imag()) <= kNoResidue * largest) r.imag(0);
  }
  TKoNodePtr sum = Make(opSum);
  std::size_t reals = 0, pairs = 0;
  for (std::size_t i = 0; i < roots->size(); ++i) {
    const Complex z = (*roots)[i];
    const Complex residue = residues[i];
    if (std::fabs(z.imag()) <= kRealRoot * (1 + std::abs(z))) {
      ++reals;
      const long double r = z.real();
      if (residue.real() != 0)
        sum->AddChild(ScaledBy(residue.real(), Make(opLn, Make(opAbs, PolynomialTree({-r, 1})))));
      continue;
    }
    if (z.imag() < 0) continue;
    ++pairs;
    const long double re = z.real(), im = z.imag();
    if (residue.real() != 0)
      sum->AddChild(
          ScaledBy(residue.real(), Make(opLn, PolynomialTree({re * re + im * im, -2 * re, 1}))));
    if (residue.imag() != 0)
      sum->AddChild(ScaledBy(-2 * residue.imag(),
                             Make(opArcTan, Over(PolynomialTree({-re, 1}), Constant(im)))));
  }
  if (reals + 2 * pairs != roots->size()) return nullptr;
  return Collected(std::move(sum));
}

// ------------------------------------------------------------------ substitutions

namespace {

// Collects the linear arguments of the kernel's functions; false where the variable occurs
// outside them (or, allowVar false, alone).
template <class IsKernel>
bool KernelArguments(const TKoOperatorNode* node, const std::string& var, IsKernel isKernel,
                     std::vector<const TKoOperatorNode*>& found, std::uint32_t pass) {
  if (!node->DependsOnUpper(var, pass)) return true;
  if (isKernel(node)) {
    found.push_back(node);
    return true;
  }
  if (Is(node, opVariable)) return false;
  if (!(Is(node, opSum) || Is(node, opProduct) || Is(node, opQuotient) || Is(node, opNegation) ||
        Is(node, opSqr) || Is(node, opPower)))
    return false;
  for (const TKoOperatorNode* child : node->Children)
    if (!KernelArguments(child, var, isKernel, found, pass)) return false;
  return true;
}

}  // namespace

TKoNodePtr TIntegrator::Resubstituted(const Node* tree, const Node* t, bool expKernel) const {
  if (IsVar(tree)) return Copy(t);
  if (expKernel) {
    // u^k = exp(k*Slope*x), ln(abs(u)) = Slope*x
    if (Is(tree, opPower) && tree->ChildCount() == 2 && IsVar(tree->Child(0)) &&
        nodes::IsConstant(tree->Child(1))) {
      const Q k = algebra::ExactOf(tree->Child(1)->LeafValue()) * Slope;
      return Make(opExp, QPolynomialTree({Q(0), k}));
    }
    if (Is(tree, opLn) && Is(tree->Child(0), opAbs) && IsVar(tree->Child(0)->Child(0)))
      return QPolynomialTree({Q(0), Slope});
  }
  if (tree->ChildCount() == 0) return Copy(tree);
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, tree->Operation);
  for (const Node* child : tree->Children) node->AddChild(Resubstituted(child, t, expKernel));
  return node;
}

// int R(exp(a*x)) = int R(u)/(a*u) du, u = exp(a*x) with a the greatest common divisor of the
// slopes; sinh, cosh, tanh and coth written with exp.
TKoNodePtr TIntegrator::ExpSubstitution(const Node* node) const {
  std::vector<const Node*> found;
  auto isKernel = [](const Node* n) {
    return Is(n, opExp) || Is(n, opSinh) || Is(n, opCosh) || Is(n, opTanh) || Is(n, opCoth);
  };
  if (!KernelArguments(node, UpperVarName, isKernel, found, Pass) || found.empty()) return nullptr;
  Q gcd(0);
  for (const Node* f : found) {
    const std::optional<ExactPolynomial> w = ExactPolynomialOf(f->Child(0), 1);
    if (!w || w->size() != 2) return nullptr;
    gcd = gcd == 0 ? abs((*w)[1]) : RationalGcd(gcd, abs((*w)[1]));
  }
  Slope = gcd;
  const std::optional<QFraction> r = RationalIn(node, &TIntegrator::ExpKernel);
  if (!r) return nullptr;
  // dx = du/(a*u)
  const std::optional<QFraction> integrand = Multiplied(*r, PowerOfT(Q(1) / Slope, -1));
  if (!integrand) return nullptr;
  TKoNodePtr inU = RationalIntegral(*integrand);
  if (!inU) return nullptr;
  TKoNodePtr u = Make(opExp, QPolynomialTree({Q(0), Slope}));
  return Resubstituted(inU.get(), u.get(), true);
}

// int R(sin(v), cos(v), tan(v), cot(v)) with t = tan(v/2): sin(v) = 2t/(1+t^2),
// cos(v) = (1-t^2)/(1+t^2), dx = 2/(a*(1+t^2)) dt; multiples k*v through (1+i*t)^(2k).
TKoNodePtr TIntegrator::HalfAngleSubstitution(const Node* node) const {
  std::vector<const Node*> found;
  auto isKernel = [](const Node* n) {
    return Is(n, opSin) || Is(n, opCos) || Is(n, opTan) || Is(n, opCot);
  };
  if (!KernelArguments(node, UpperVarName, isKernel, found, Pass) || found.empty()) return nullptr;
  Q gcd(0);
  std::optional<Q> offset;
  for (const Node* f : found) {
    const std::optional<ExactPolynomial> w = ExactPolynomialOf(f->Child(0), 1);
    if (!w || w->size() != 2) return nullptr;
    gcd = gcd == 0 ? abs((*w)[1]) : RationalGcd(gcd, abs((*w)[1]));
  }
  // one offset for all: v = gcd*x + b, each argument k*v
  for (const Node* f : found) {
    const ExactPolynomial w = *ExactPolynomialOf(f->Child(0), 1);
    const Q b = w[0] * gcd / w[1];
    if (offset && *offset != b) return nullptr;
    offset = b;
  }
  Slope = gcd;
  Offset = *offset;
  const std::optional<QFraction> r = RationalIn(node, &TIntegrator::TrigKernel);
  if (!r) return nullptr;
  const std::optional<QFraction> integrand =
      Multiplied(*r, QFraction{{Q(2) / Slope}, {Q(1), Q(0), Q(1)}});
  if (!integrand) return nullptr;
  TKoNodePtr inT = RationalIntegral(*integrand);
  if (!inT) return nullptr;
  TKoNodePtr t = Make(opTan, QPolynomialTree({Offset / 2, Slope / 2}));
  TKoNodePtr f = Resubstituted(inT.get(), t.get(), false);
  return ContinuedAcrossHalfTurns(node, std::move(f));
}

// tan(v/2) jumps where v is an odd multiple of pi, and with it the antiderivative; where the
// integrand is continuous there, J*floor((v+pi)/(2*pi)) with the jump J makes it continuous.
TKoNodePtr TIntegrator::ContinuedAcrossHalfTurns(const Node* node, TKoNodePtr f) const {
  const long double pi = std::acos(-1.0L);
  const long double slope = algebra::ToLongDouble(Slope);
  const long double x0 = (pi - algebra::ToLongDouble(Offset)) / slope;
  long double value = 0, below = 0, above = 0;
  const long double near = 1e-6L * (1 + std::fabs(x0));
  if (!ValueAt(node, x0, value) || !ValueAt(node, x0 - near, below) ||
      !ValueAt(node, x0 + near, above) ||
      std::fabs(below - value) > 1e-3L * (1 + std::fabs(value)) ||
      std::fabs(above - value) > 1e-3L * (1 + std::fabs(value)))
    return f;
  std::array<long double, 2> jumps{};
  for (std::size_t i = 0; i < jumps.size(); ++i) {
    const long double d = (i == 0 ? 1e-7L : 1e-8L) * (1 + std::fabs(x0));
    long double left = 0, right = 0;
    if (!ValueAt(f.get(), x0 - d, left) || !ValueAt(f.get(), x0 + d, right)) return f;
    // less the rise over the step
    jumps[i] = (left - right + 2 * d * value) * (slope > 0 ? 1 : -1);
  }
  const long double jump = jumps[1];
  if (std::fabs(jump) <= kNoJump * (1 + std::fabs(jumps[0]))) return f;
  // estimates that disagree: the antiderivative holds between the half turns
  if (std::fabs(jumps[0] - jumps[1]) > kSameJump * std::fabs(jump)) return f;
  // v = Slope*x + Offset, turns = floor((v + pi)/(2*pi))
  TKoNodePtr v = QPolynomialTree({Offset, Slope});
  TKoNodePtr turns =
      Make(opFloor, Make(opQuotient, Make(opSum, std::move(v), Constant(pi)), Constant(2 * pi)));
  return Make(opSum, std::move(f), ScaledBy(jump, std::move(turns)));
}

// int R(x, (a*x+b)^(p/q), ...) with t = (a*x+b)^(1/n), n the common denominator:
// x = (t^n - b)/a, dx = n*t^(n-1)/a dt.
TKoNodePtr TIntegrator::RootSubstitutionOfLinear(const Node* node) const {
  std::vector<const Node*> found;
  auto isRoot = [this](const Node* n) {
    if (Is(n, opSqrt)) return true;
    if (!Is(n, opPower) || n->ChildCount() != 2 || n->Child(1)->DependsOn(VarName)) return false;
    const std::optional<Q> e = algebra::ExactValue(n->Child(1));
    return e && e->get_den() != 1;
  };
  auto isKernel = [&](const Node* n) { return IsVar(n) || isRoot(n); };
  if (!KernelArguments(node, UpperVarName, isKernel, found, Pass)) return nullptr;
  std::optional<ExactPolynomial> base;
  long n = 1;
  for (const Node* f : found) {
    if (IsVar(f)) continue;
    const std::optional<ExactPolynomial> w = ExactPolynomialOf(f->Child(0), 1);
    if (!w || w->size() != 2 || (base && *w != *base)) return nullptr;
    base = w;
    const Q e = Is(f, opSqrt) ? Q(1, 2) : *algebra::ExactValue(f->Child(1));
    if (e.get_den() > kLargestMultiple) return nullptr;
    const long q = e.get_den().get_si();
    n = std::lcm(n, q);
    if (n > kLargestMultiple) return nullptr;
  }
  if (!base) return nullptr;
  Slope = (*base)[1];
  Offset = (*base)[0];
  RootIndex = n;
  const std::optional<QFraction> r = RationalIn(node, &TIntegrator::RootKernel);
  if (!r) return nullptr;
  const std::optional<QFraction> integrand = Multiplied(*r, PowerOfT(Q(n) / Slope, n - 1));
  if (!integrand) return nullptr;
  TKoNodePtr inT = RationalIntegral(*integrand);
  if (!inT) return nullptr;
  TKoNodePtr t = RootOfLinear(*base, n);
  return Resubstituted(inT.get(), t.get(), false);
}

// (a*x+b)^(1/n), sqrt for n = 2.
TKoNodePtr TIntegrator::RootOfLinear(const ExactPolynomial& base, long n) const {
  TKoNodePtr linear = QPolynomialTree(base);
  if (n == 2) return Make(opSqrt, std::move(linear));
  return Make(opPower, std::move(linear),
              Make(opQuotient, Constant(1), Constant(static_cast<long double>(n))));
}

TKoNodePtr TIntegrator::RationalShape(const Node* node, bool polynomials) const {
  const std::optional<QFraction> r = RationalIn(node, &TIntegrator::VariableKernel);
  if (!r || (!polynomials && algebra::Degree(r->Den) == 0)) return nullptr;
  // x*g(x^2): 1/2 * G(u) with u = x^2 (x/(x^4+1) = arctan(x^2)/2)
  bool odd = algebra::Degree(r->Num) % 2 == 1;
  for (std::size_t k = 0; k < r->Num.size() && odd; ++k) odd = k % 2 == 1 || r->Num[k] == 0;
  for (std::size_t k = 1; k < r->Den.size() && odd; k += 2) odd = r->Den[k] == 0;
  if (odd && algebra::Degree(r->Den) >= 4) {
    QFraction g;
    g.Num.assign(r->Num.size() / 2, Q(0));
    for (std::size_t k = 1; k < r->Num.size(); k += 2) g.Num[k / 2] = r->Num[k] / 2;
    g.Den.assign(r->Den.size() / 2 + 1, Q(0));
    for (std::size_t k = 0; k < r->Den.size(); k += 2) g.Den[k / 2] = r->Den[k];
    algebra::Trim(g.Num);
    algebra::Trim(g.Den);
    if (TKoNodePtr inU = RationalIntegral(g)) {
      TKoNodePtr square = Make(opPower, Var(), Constant(2));
      return Resubstituted(inU.get(), square.get(), false);
    }
  }
  return RationalIntegral(*r);
}

namespace {

// Whether every occurrence of the variable lies inside a subtree that inside accepts.
template <class Inside>
bool OnlyInside(const TKoOperatorNode* node, const std::string& var, std::uint32_t pass,
                Inside inside) {
  if (!node->DependsOnUpper(var, pass)) return true;
  if (inside(node)) return true;
  if (Is(node, opVariable)) return false;
  for (const TKoOperatorNode* child : node->Children)
    if (!OnlyInside(child, var, pass, inside)) return false;
  return true;
}

}  // namespace

// A copy of the tree with each node that replace maps replaced.
template <class Replace>
TKoNodePtr TIntegrator::Replaced(const Node* tree, Replace replace) const {
  if (TKoNodePtr r = replace(tree)) return r;
  if (tree->ChildCount() == 0) return Copy(tree);
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, tree->Operation);
  for (const Node* child : tree->Children) node->AddChild(Replaced(child, replace));
  return node;
}

// The substitutions of a kernel inside any functions: u = exp(a*x) where x occurs in exp of
// linear terms alone (sqrt(exp(x)-1)), t = (a*x+b)^(1/n) for roots of one linear term
// (sqrt(1+sqrt(x))), t = ln(x) where x occurs in ln(x) alone (cos(ln(x))). The integrand in t
// is integrated by all the rules, and t put back.
TKoNodePtr TIntegrator::KernelSubstitution(const Node* node) const {
  if (SubstitutionDepth >= kMostSubstitutions) return nullptr;
  const Nested nested(SubstitutionDepth);
  if (TKoNodePtr e = ExpKernelSubstitution(node)) return e;
  if (TKoNodePtr l = LogKernelSubstitution(node)) return l;
  return RootKernelSubstitution(node);
}

// u = exp(a*x), a the greatest common divisor of the slopes; dx = du/(a*u).
TKoNodePtr TIntegrator::ExpKernelSubstitution(const Node* node) const {
  std::vector<ExactPolynomial> slopes;
  const bool exps = OnlyInside(node, UpperVarName, Pass, [&](const Node* n) {
    if (!Is(n, opExp) || n->ChildCount() != 1) return false;
    const std::optional<ExactPolynomial> w = ExactPolynomialOf(n->Child(0), 1);
    if (!w || w->size() != 2) return false;
    slopes.push_back(*w);
    return true;
  });
  if (!exps || slopes.empty()) return nullptr;
  Q gcd(0);
  for (const ExactPolynomial& w : slopes) gcd = gcd == 0 ? abs(w[1]) : RationalGcd(gcd, abs(w[1]));
  Slope = gcd;
  const Q a = gcd;
  bool whole = true;
  TKoNodePtr inU = Replaced(node, [&](const Node* n) -> TKoNodePtr {
    if (!Is(n, opExp) || !n->DependsOn(VarName)) return nullptr;
    // exp of a term that is not linear holds the kernel inside
    const std::optional<ExactPolynomial> linear = ExactPolynomialOf(n->Child(0), 1);
    if (!linear || linear->size() != 2) return nullptr;
    const ExactPolynomial& w = *linear;
    const std::optional<long> k = Whole(w[1] / a, kLargestPower);
    if (!k) {
      whole = false;
      return Constant(0);
    }
    TKoNodePtr power = Make(opPower, Var(), Constant(static_cast<long double>(*k)));
    if (w[0] == 0) return power;
    return Make(opProduct, Make(opExp, QNumber(w[0])), std::move(power));
  });
  if (!whole) return nullptr;
  // dx = du/(a*u)
  TKoNodePtr integrand = Make(opQuotient, std::move(inU), Make(opProduct, QNumber(a), Var()));
  TKoNodePtr g = I(integrand.get());
  if (!g) return nullptr;
  Slope = a;
  TKoNodePtr u = Make(opExp, QPolynomialTree({Q(0), a}));
  return Resubstituted(g.get(), u.get(), true);
}

// t = ln(x) where x occurs in ln(x) alone: dx = exp(t) dt, and exp(ln(x)) is x again.
TKoNodePtr TIntegrator::LogKernelSubstitution(const Node* node) const {
  const bool logs = OnlyInside(node, UpperVarName, Pass, [&](const Node* n) {
    return Is(n, opLn) && n->ChildCount() == 1 && IsVar(n->Child(0));
  });
  if (!logs) return nullptr;
  TKoNodePtr inT = Replaced(node, [&](const Node* n) -> TKoNodePtr {
    if (Is(n, opLn) && n->ChildCount() == 1 && IsVar(n->Child(0))) return Var();
    return nullptr;
  });
  // dx = exp(t) dt
  TKoNodePtr g = I(Make(opProduct, std::move(inT), Make(opExp, Var())).get());
  if (!g) return nullptr;
  // exp(t) = x
  TKoNodePtr t = Make(opLn, Var());
  TKoNodePtr back = Resubstituted(g.get(), t.get(), false);
  return Replaced(back.get(), [&](const Node* n) -> TKoNodePtr {
    if (Is(n, opExp) && n->ChildCount() == 1 && Is(n->Child(0), opLn) &&
        IsVar(n->Child(0)->Child(0)))
      return Var();
    return nullptr;
  });
}

// t = (a*x+b)^(1/n) for the roots of one linear term: x = (t^n - b)/a, dx = n*t^(n-1)/a dt.
TKoNodePtr TIntegrator::RootKernelSubstitution(const Node* node) const {
  std::optional<ExactPolynomial> base;
  long n = 1;
  bool same = true;
  const bool roots = OnlyInside(node, UpperVarName, Pass, [&](const Node* r) {
    if (IsVar(r)) return true;
    std::optional<Q> e;
    if (Is(r, opSqrt) && r->ChildCount() == 1) {
      e = Q(1, 2);
    } else if (Is(r, opPower) && r->ChildCount() == 2 && !r->Child(1)->DependsOn(VarName)) {
      e = algebra::ExactValue(r->Child(1));
      if (!e || e->get_den() == 1) return false;
    } else {
      return false;
    }
    const std::optional<ExactPolynomial> w = ExactPolynomialOf(r->Child(0), 1);
    if (!w || w->size() != 2) return false;
    if (base && *w != *base) same = false;
    base = w;
    if (e->get_den() > kLargestMultiple) return false;
    n = std::lcm(n, e->get_den().get_si());
    return true;
  });
  if (!roots || !same || !base || n > kLargestMultiple) return nullptr;
  const Q a = (*base)[1], b = (*base)[0];
  bool whole = true;
  TKoNodePtr inT = Replaced(node, [&](const Node* r) -> TKoNodePtr {
    if (IsVar(r)) {
      // x = (t^n - b)/a
      QPolynomial x = PowerOfT(Q(1), n).Num;
      x[0] -= b;
      return QPolynomialTree(algebra::Scaled(x, Q(1) / a));
    }
    if (!r->DependsOn(VarName) || !(Is(r, opSqrt) || Is(r, opPower))) return nullptr;
    if (ExactPolynomialOf(r->Child(0), 1) != base) return nullptr;
    const std::optional<Q> exponent =
        Is(r, opSqrt) ? std::optional(Q(1, 2)) : algebra::ExactValue(r->Child(1));
    if (!exponent || exponent->get_den() == 1) return nullptr;
    const Q& e = *exponent;
    const std::optional<long> k = Whole(e * n, kLargestPower);
    if (!k) {
      whole = false;
      return Constant(0);
    }
    return Make(opPower, Var(), Constant(static_cast<long double>(*k)));
  });
  if (!whole) return nullptr;
  // dx = n*t^(n-1)/a dt
  TKoNodePtr integrand =
      Make(opProduct, std::move(inT), QPolynomialTree(PowerOfT(Q(n) / a, n - 1).Num));
  TKoNodePtr g = I(integrand.get());
  if (!g) return nullptr;
  TKoNodePtr t = RootOfLinear(*base, n);
  return Resubstituted(g.get(), t.get(), false);
}

// Quotients of polynomials as a whole, polynomials times inverse functions by parts at once,
// and roots of quadratics times rational functions.
TKoNodePtr TIntegrator::ClosedShapes(const Node* node) const {
  if (HasOtherVariable(node, UpperVarName)) return nullptr;
  if (TKoNodePtr r = RationalShape(node, false)) return r;
  if (TKoNodePtr parts = InverseByParts(node)) return parts;
  return SqrtQuadraticShape(node);
}

// The rest, where the classic shapes find nothing either.
TKoNodePtr TIntegrator::FurtherShapes(const Node* node) const {
  if (HasOtherVariable(node, UpperVarName)) return nullptr;
  if (Is(node, opPower) && node->ChildCount() > 2) {
    // b^e1^...^en = (b^e1^...)^en
    TKoNodePtr inner = Make(opPower);
    for (std::int32_t i = 0; i + 1 < node->ChildCount(); ++i) inner->AddChild(Copy(node->Child(i)));
    TKoNodePtr outer = Make(opPower, std::move(inner), Copy(node->Child(node->ChildCount() - 1)));
    return PerfectSquarePower(outer.get());
  }
  if (TKoNodePtr power = PerfectSquarePower(node)) return power;
  // a polynomial the classic shapes do not see as one (x^2/2*(1/x))
  if (TKoNodePtr p = RationalShape(node, true)) return p;
  if (TKoNodePtr waves = ExpTrigLinearized(node)) return waves;
  if (TKoNodePtr tangent = TangentPower(node)) return tangent;
  if (TKoNodePtr e = ExpSubstitution(node)) return e;
  if (TKoNodePtr t = HalfAngleSubstitution(node)) return t;
  if (TKoNodePtr root = RootSubstitutionOfLinear(node)) return root;
  return KernelSubstitution(node);
}

}  // namespace integration
