// Square roots of quadratics times rational functions, and polynomials times inverse
// functions by parts (whose remaining integral is a rational or a root shape).
#include <complex>
#include <cstdint>
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

constexpr long kLargestHalfPower = 15;
constexpr std::size_t kLargestPartsDegree = 12;
constexpr long kLargestInversePower = 4;
// By parts inside by parts: arcsin(x)^2 needs two.
constexpr std::int32_t kMostInverseParts = 3;

// A term of numbers, the variable, + - * / powers and roots alone.
bool IsAlgebraic(const TKoOperatorNode* node) {
  if (IsFunctionCode(node->Operation) && !Is(node, opSqrt) && !Is(node, opSqr)) return false;
  for (const TKoOperatorNode* child : node->Children)
    if (!IsAlgebraic(child)) return false;
  return true;
}

// t^k
QPolynomial PowerOf(std::size_t k) {
  QPolynomial p(k + 1, Q(0));
  p.back() = 1;
  return p;
}

bool IsInverseFunction(const TKoOperatorNode* node) {
  return Is(node, opArcSin) || Is(node, opArcCos) || Is(node, opArcTan) || Is(node, opArcCot) ||
         Is(node, opArcSinh) || Is(node, opArcCosh) || Is(node, opArcTanh) || Is(node, opArcCoth) ||
         Is(node, opLn);
}

// The factors of nested products, quotients and negations, each with whether it divides;
// negated turns for each negation.
void Factors(const TKoOperatorNode* node, bool divisor,
             std::vector<std::pair<const TKoOperatorNode*, bool>>& factors, bool& negated) {
  if (Is(node, opProduct)) {
    for (const TKoOperatorNode* c : node->Children) Factors(c, divisor, factors, negated);
  } else if (Is(node, opQuotient)) {
    Factors(node->Child(0), divisor, factors, negated);
    for (std::int32_t i = 1; i < node->ChildCount(); ++i)
      Factors(node->Child(i), !divisor, factors, negated);
  } else if (Is(node, opNegation) && node->ChildCount() == 1) {
    negated = !negated;
    Factors(node->Child(0), divisor, factors, negated);
  } else {
    factors.emplace_back(node, divisor);
  }
}

}  // namespace

// The exponent e of a factor sqrt(q)^n or q^e with e = n/2 and q a quadratic, or none.
std::optional<Q> TIntegrator::HalfPowerOfQuadratic(const Node* factor, ExactPolynomial& q) const {
  const Node* base = nullptr;
  Q exponent(1, 2);
  if (Is(factor, opSqrt) && factor->ChildCount() == 1) {
    base = factor->Child(0);
  } else if (Is(factor, opPower) && factor->ChildCount() == 2 &&
             !factor->Child(1)->DependsOn(VarName)) {
    const std::optional<Q> e = algebra::ExactValue(factor->Child(1));
    if (!e || abs(*e) > kLargestHalfPower) return std::nullopt;
    if (Is(factor->Child(0), opSqrt) && e->get_den() == 1) {
      base = factor->Child(0)->Child(0);
      exponent = *e / 2;
    } else if (e->get_den() == 2) {
      base = factor->Child(0);
      exponent = *e;
    }
  }
  if (!base) return std::nullopt;
  std::optional<ExactPolynomial> p = ExactPolynomialOf(base, 2);
  if (!p || p->size() != 3) return std::nullopt;
  q = std::move(*p);
  return exponent;
}

// int P/sqrt(q) = S*sqrt(q) + l * int 1/sqrt(q) with deg S = deg P - 1: P = S'*q + S*q'/2 + l,
// solved from the highest power down ((k+1)*a*s_k is the coefficient of x^(k+1)).
TKoNodePtr TIntegrator::PolynomialOverSqrt(QPolynomial p, const ExactPolynomial& q) const {
  const Q& a = q[2];
  const std::size_t m = algebra::Degree(p);
  QPolynomial s(m == 0 ? 1 : m, Q(0));
  if (!algebra::IsZero(p)) {
    for (std::size_t k = m; k-- > 0;) {
      // the coefficient of x^(k+1) left in p
      const Q sk = p[k + 1] / (static_cast<unsigned long>(k + 1) * a);
      s[k] = sk;
      // subtract sk*(k*x^(k-1)*q + x^k*q'/2)
      QPolynomial term(k + 2, Q(0));
      if (k >= 1) {
        term[k - 1] += sk * static_cast<unsigned long>(k) * q[0];
        term[k] += sk * static_cast<unsigned long>(k) * q[1];
        term[k + 1] += sk * static_cast<unsigned long>(k) * q[2];
      }
      term[k] += sk * q[1] / 2;
      term[k + 1] += sk * q[2];
      p = algebra::Difference(p, term);
    }
  }
  algebra::Trim(s);
  const Q lambda = p.empty() ? Q(0) : p[0];
  TKoNodePtr sum = Make(opSum);
  if (!algebra::IsZero(s)) {
    // S*sqrt(q) = S/(1/sqrt(q)) would read worse: the sign apart by hand
    const bool negative = s.back() < 0;
    TKoNodePtr product = Make(opProduct, QPolynomialTree(negative ? algebra::Scaled(s, Q(-1)) : s),
                              Make(opSqrt, QPolynomialTree(q)));
    sum->AddChild(negative ? Make(opNegation, std::move(product)) : std::move(product));
  }
  if (lambda != 0) {
    TKoNodePtr rest = ReciprocalSqrtQuadratic(algebra::Rounded(q), q);
    if (!rest) return nullptr;
    sum->AddChild(QScaled(lambda, std::move(rest)));
  }
  return Collected(std::move(sum));
}

// int R(x)*q^(k/2) for a quadratic q and odd k: R*q^((k+1)/2) over sqrt(q); a polynomial over
// it directly, a quotient whose denominator has rational roots through t = 1/(x - r).
TKoNodePtr TIntegrator::SqrtQuadraticShape(const Node* node) const {
  std::vector<std::pair<const Node*, bool>> factors;  // factor, whether a divisor
  bool negated = false;
  Factors(node, false, factors, negated);
  std::optional<ExactPolynomial> quadratic;
  Q exponent(0);
  QFraction rational;
  for (const auto& [factor, divisor] : factors) {
    ExactPolynomial q;
    if (const std::optional<Q> e = HalfPowerOfQuadratic(factor, q)) {
      if (quadratic && q != *quadratic) return nullptr;
      quadratic = q;
      exponent += divisor ? Q(-*e) : *e;
      continue;
    }
    std::optional<QFraction> r = RationalIn(factor, &TIntegrator::VariableKernel);
    if (!r) return nullptr;
    if (divisor) std::swap(r->Num, r->Den);
    if (algebra::IsZero(r->Den)) return nullptr;
    rational = {algebra::Product(rational.Num, r->Num), algebra::Product(rational.Den, r->Den)};
  }
  if (!quadratic) return nullptr;
  if (negated) rational.Num = algebra::Scaled(rational.Num, Q(-1));
  if (exponent.get_den() == 1) {
    // the roots cancel: a rational function
    const Q size = abs(exponent);
    const QPolynomial power = algebra::Raised(*quadratic, size.get_num().get_ui());
    QFraction r = rational;
    (exponent >= 0 ? r.Num : r.Den) = algebra::Product(exponent >= 0 ? r.Num : r.Den, power);
    if (algebra::Degree(r.Den) == 0)
      return QPolynomialTree(algebra::Integral(algebra::Scaled(r.Num, Q(1) / r.Den[0])));
    return RationalIntegral(r);
  }
  if (exponent.get_den() != 2) return nullptr;
  // R*q^e = (R*q^(e+1/2))/sqrt(q)
  const Q whole = exponent + Q(1, 2);
  const Q size = abs(whole);
  const std::size_t n = size.get_num().get_ui();
  const QPolynomial power = algebra::Raised(*quadratic, n);
  if (whole >= 0) {
    rational.Num = algebra::Product(rational.Num, power);
  } else {
    rational.Den = algebra::Product(rational.Den, power);
  }
  const QPolynomial g = algebra::Gcd(rational.Num, rational.Den);
  QPolynomial num, den, rest;
  algebra::Divide(rational.Num, g, num, rest);
  algebra::Divide(rational.Den, g, den, rest);
  if (algebra::Degree(den) == 0)
    return PolynomialOverSqrt(algebra::Scaled(num, Q(1) / den[0]), *quadratic);
  // den = c*q^n: the reduction of the powers of q
  QPolynomial left = den;
  std::size_t times = 0;
  for (QPolynomial quotient, remainder; algebra::Degree(left) > 0; ++times) {
    algebra::Divide(left, *quadratic, quotient, remainder);
    if (!algebra::IsZero(remainder)) break;
    left = quotient;
  }
  if (times > 0 && algebra::Degree(left) == 0)
    return OverPowerOfSqrt(algebra::Scaled(num, Q(1) / left[0]), *quadratic, times);
  return QuotientOverSqrt(num, den, *quadratic);
}

// int P/(q^n*sqrt(q)) = S/q^(n-1/2) + int V/sqrt(q) with P = S'*q - (n-1/2)*S*q' + V*q^n,
// deg S = 2n-1+d, deg V = d = max(0, deg P - 2n): a linear system, solved exactly.
TKoNodePtr TIntegrator::OverPowerOfSqrt(const QPolynomial& p, const ExactPolynomial& q,
                                        std::size_t n) const {
  const std::size_t d = algebra::Degree(p) > 2 * n ? algebra::Degree(p) - 2 * n : 0;
  const std::size_t sizeS = 2 * n + d, sizeV = d + 1, rows = 2 * n + d + 1;
  const std::size_t columns = sizeS + sizeV;
  // column j < sizeS: the coefficients of x^j*q' ... for s_j; then v_j for x^j*q^n
  std::vector<std::vector<Q>> m(rows, std::vector<Q>(columns + 1, Q(0)));
  const QPolynomial slope = algebra::Derivative(q);
  const QPolynomial qn = algebra::Raised(q, n);
  const Q lower = Q(static_cast<long>(2 * n - 1), 2);
  for (std::size_t j = 0; j < sizeS; ++j) {
    QPolynomial xj(j + 1, Q(0));
    xj.back() = 1;
    const QPolynomial column =
        algebra::Difference(algebra::Product(algebra::Derivative(xj), q),
                            algebra::Scaled(algebra::Product(xj, slope), lower));
    for (std::size_t k = 0; k < column.size() && k < rows; ++k) m[k][j] = column[k];
  }
  for (std::size_t j = 0; j < sizeV; ++j)
    for (std::size_t k = 0; k < qn.size() && k + j < rows; ++k) m[k + j][sizeS + j] = qn[k];
  for (std::size_t k = 0; k < p.size() && k < rows; ++k) m[k][columns] = p[k];
  if (p.size() > rows) return nullptr;
  // Gauss-Jordan
  std::vector<std::size_t> pivotOf(columns, rows);
  std::size_t row = 0;
  for (std::size_t c = 0; c < columns && row < rows; ++c) {
    std::size_t r = row;
    while (r < rows && m[r][c] == 0) ++r;
    if (r == rows) continue;
    std::swap(m[r], m[row]);
    const Q pivot = m[row][c];
    for (Q& e : m[row]) e /= pivot;
    for (std::size_t i = 0; i < rows; ++i) {
      if (i == row || m[i][c] == 0) continue;
      const Q f = m[i][c];
      for (std::size_t j = c; j <= columns; ++j) m[i][j] -= f * m[row][j];
    }
    pivotOf[c] = row++;
  }
  for (std::size_t i = row; i < rows; ++i)
    if (m[i][columns] != 0) return nullptr;
  QPolynomial s(sizeS, Q(0)), v(sizeV, Q(0));
  for (std::size_t c = 0; c < columns; ++c) {
    if (pivotOf[c] == rows) continue;
    (c < sizeS ? s[c] : v[c - sizeS]) = m[pivotOf[c]][columns];
  }
  algebra::Trim(s);
  algebra::Trim(v);
  TKoNodePtr sum = Make(opSum);
  if (!algebra::IsZero(s)) {
    TKoNodePtr below = Make(opSqrt, QPolynomialTree(q));
    if (n > 1)
      below = Make(opProduct,
                   Make(opPower, QPolynomialTree(q), Constant(static_cast<long double>(n - 1))),
                   std::move(below));
    const bool negative = s.back() < 0;
    TKoNodePtr quotient = Make(
        opQuotient, QPolynomialTree(negative ? algebra::Scaled(s, Q(-1)) : s), std::move(below));
    sum->AddChild(negative ? Make(opNegation, std::move(quotient)) : std::move(quotient));
  }
  if (!algebra::IsZero(v)) {
    TKoNodePtr rest = PolynomialOverSqrt(v, q);
    if (!rest) return nullptr;
    sum->AddChild(std::move(rest));
  }
  return Collected(std::move(sum));
}

// int A/(B*sqrt(q)) for B with rational roots only: the polynomial part over sqrt(q), and each
// c/((x-r)^j*sqrt(q)) with x = r + 1/t, q = qt(t)/t^2, qt = q(r)*t^2 + q'(r)*t + a:
// -c*sgn(x-r) * int t^(j-1)/sqrt(qt) dt at t = 1/(x-r).
TKoNodePtr TIntegrator::QuotientOverSqrt(const QPolynomial& a, const QPolynomial& b,
                                         const ExactPolynomial& q) const {
  QPolynomial whole, rest;
  algebra::Divide(a, b, whole, rest);
  // b's roots with their multiplicities, all rational
  std::vector<std::pair<Q, std::size_t>> roots;
  QPolynomial left = algebra::Monic(b);
  if (algebra::Degree(left) > kLargestPartsDegree) return nullptr;
  // the distinct roots, from the square-free part
  QPolynomial distinct, exact;
  algebra::Divide(left, algebra::Gcd(left, algebra::Derivative(left)), distinct, exact);
  const std::optional<std::vector<std::complex<long double>>> numeric =
      algebra::Roots(algebra::Rounded(distinct));
  if (!numeric) return nullptr;
  for (const std::complex<long double>& z : *numeric) {
    const std::optional<Q> r = algebra::NearFraction(z.real(), 1000000);
    if (!r) return nullptr;
    std::size_t m = 0;
    const QPolynomial linear{Q(-*r), Q(1)};
    for (QPolynomial quotient, remainder;; ++m) {
      algebra::Divide(left, linear, quotient, remainder);
      if (!algebra::IsZero(remainder) || algebra::Degree(left) == 0) break;
      left = quotient;
    }
    if (m > 0) roots.emplace_back(*r, m);
  }
  if (algebra::Degree(left) != 0) return nullptr;
  TKoNodePtr sum = Make(opSum);
  if (!algebra::IsZero(whole)) {
    TKoNodePtr w = PolynomialOverSqrt(whole, q);
    if (!w) return nullptr;
    sum->AddChild(std::move(w));
  }
  const QPolynomial monic = algebra::Monic(b);
  const QPolynomial top = algebra::Scaled(rest, Q(1) / b.back());
  for (const auto& [r, m] : roots) {
    // top/monic = s/(x-r)^m + t/others
    const QPolynomial power = algebra::Raised({Q(-r), Q(1)}, m);
    QPolynomial others, remainder, s, t;
    algebra::Divide(monic, power, others, remainder);
    if (!algebra::SolveBezout(others, power, top, s, t)) return nullptr;
    // s in powers of (x - r): s = sum d_i (x-r)^i, so s/(x-r)^m = sum d_i/(x-r)^(m-i)
    QPolynomial shifted = s;
    for (std::size_t i = 0; i < m && !algebra::IsZero(shifted); ++i) {
      QPolynomial quotient, d;
      algebra::Divide(shifted, {Q(-r), Q(1)}, quotient, d);
      shifted = quotient;
      const Q c = d[0];
      if (c == 0) continue;
      const std::size_t j = m - i;
      // qt(t) = q(r)*t^2 + q'(r)*t + a
      const ExactPolynomial qt{q[2], q[1] + 2 * q[2] * r, algebra::ValueAt(q, r)};
      TKoNodePtr inner =
          Make(opQuotient, QPolynomialTree(PowerOf(j - 1)), Make(opSqrt, QPolynomialTree(qt)));
      TKoNodePtr inT = I(inner.get());
      if (!inT) return nullptr;
      TKoNodePtr reciprocal = Make(opQuotient, Constant(1), QPolynomialTree({Q(-r), Q(1)}));
      TKoNodePtr back = Resubstituted(inT.get(), reciprocal.get(), false);
      sum->AddChild(QScaled(
          -c, Make(opProduct, Make(opSgn, QPolynomialTree({Q(-r), Q(1)})), std::move(back))));
    }
  }
  return Collected(std::move(sum));
}

// int g*F = G*F - int G*F' with G = int g, for F an inverse function or ln of u, or a whole
// power of one: G a polynomial where g is one, else any antiderivative of g without
// functions but roots; the rest is a rational function, a root of a quadratic shape or F of a
// lower power.
TKoNodePtr TIntegrator::InverseByParts(const Node* node) const {
  std::vector<std::pair<const Node*, bool>> factors;
  bool negated = false;
  Factors(node, false, factors, negated);
  const Node* inverse = nullptr;
  TKoNodePtr cofactor = Make(opProduct);
  if (negated) cofactor->AddChild(Constant(-1));
  for (const auto& [f, divisor] : factors) {
    const Node* base = Is(f, opPower) && f->ChildCount() == 2 ? f->Child(0) : f;
    if (!divisor && !inverse && IsInverseFunction(base) && base->ChildCount() == 1 &&
        !HasJump(base)) {
      inverse = f;
      if (base != f) {
        const std::optional<Q> e = algebra::ExactValue(f->Child(1));
        if (!e || e->get_den() != 1 || *e < 1 || *e > kLargestInversePower) return nullptr;
        // arcsin(x)^(2-1) is arcsin(x): its derivative has no power 0 of it
        if (*e == 1) inverse = base;
      }
      continue;
    }
    cofactor->AddChild(divisor ? Make(opPower, Copy(f), Constant(-1)) : Copy(f));
  }
  if (!inverse || PartsDepth >= kMostInverseParts) return nullptr;
  const Nested nested(PartsDepth);
  if (cofactor->ChildCount() == 0) cofactor->AddChild(Constant(1));
  TKoNodePtr integral;
  if (const std::optional<ExactPolynomial> p =
          ExactPolynomialOf(cofactor.get(), kLargestPartsDegree)) {
    integral = QPolynomialTree(algebra::Integral(*p));
  } else {
    integral = I(cofactor.get());
    if (!integral || !IsAlgebraic(integral.get())) return nullptr;
  }
  TKoNodePtr slope = DeriveTree(inverse, VarName, Depot);
  TKoNodePtr rest = I(Make(opProduct, Copy(integral.get()), std::move(slope)).get());
  if (!rest) return nullptr;
  return Make(opSum, Make(opProduct, std::move(integral), Copy(inverse)),
              Make(opNegation, std::move(rest)));
}

}  // namespace integration
