// The shapes the integrator tries where the rule of the operation code finds nothing:
// polynomials and their products, rational functions over linear and quadratic
// polynomials, integration by parts, substitution and powers of trigonometric functions.
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "MathIntg/Integrator.hpp"

namespace integration {

using nodes::Constant;
using nodes::Is;
using nodes::Make;

namespace {

constexpr std::size_t kMaxDegree = 24;
// Repeated integration by parts: each pass integrates the last antiderivative again.
constexpr std::size_t kMaxPartsDegree = 4;
// Integration by parts inside integration by parts: x*arccoth(x+2) would meet
// (x+2)*arccoth(x+2) in its own antiderivatives again and again.
constexpr std::int32_t kMaxPartsDepth = 1;
constexpr std::int32_t kMaxTrigPower = 24;
// Points where two terms are compared to tell whether their quotient is a constant.
// Two lie further out, where a small change of a ratio shows more.
constexpr std::array<long double, 9> kSamples = {0.3711L,  0.8123L,  1.2347L, 1.9031L, 2.4779L,
                                                 -0.5309L, -1.3717L, 4.6173L, -3.2891L};
constexpr std::size_t kLeastSamples = 3;
// The factors' values are rounded only a few times: a ratio that changes by more is no
// constant ((1e-12*x+1)*(x+1) is no multiple of x+1).
constexpr long double kSameRatio = 1e-14L;
// 2^-56: a discriminant this small beside b^2 and 4ac is the rounding of the coefficients.
constexpr long double kRoundingOfDiscriminant = 0x1p-56L;
// A constant found by comparison is used only as a fraction with a small denominator.
constexpr std::int32_t kLargestDenominator = 1000;
// Only the rounding of a few operations may lie between a value and its fraction:
// 0.5000000000005 is no 1/2.
constexpr long double kSameFraction = 1e-15L;

template <class C>
bool IsZero(const std::vector<C>& p) {
  for (const C& c : p)
    if (c != 0) return false;
  return true;
}

template <class C>
void Trim(std::vector<C>& p) {
  while (p.size() > 1 && p.back() == 0) p.pop_back();
}

template <class C>
std::vector<C> Add(std::vector<C> a, const std::vector<C>& b) {
  if (a.size() < b.size()) a.resize(b.size(), C(0));
  for (std::size_t i = 0; i < b.size(); ++i) a[i] += b[i];
  Trim(a);
  return a;
}

template <class C>
std::vector<C> Multiply(const std::vector<C>& a, const std::vector<C>& b) {
  std::vector<C> r(a.size() + b.size() - 1, C(0));
  for (std::size_t i = 0; i < a.size(); ++i)
    for (std::size_t j = 0; j < b.size(); ++j) r[i + j] += a[i] * b[j];
  Trim(r);
  return r;
}

template <class C>
std::vector<C> Scaled(std::vector<C> p, const C& f) {
  for (C& c : p) c *= f;
  Trim(p);
  return p;
}

template <class C>
std::vector<C> Raised(const std::vector<C>& p, std::int64_t n) {
  std::vector<C> r{C(1)};
  for (std::int64_t i = 0; i < n; ++i) r = Multiply(r, p);
  return r;
}

Polynomial Derivative(const Polynomial& p) {
  if (p.size() <= 1) return {0};
  Polynomial d(p.size() - 1, 0);
  for (std::size_t i = 1; i < p.size(); ++i) d[i - 1] = p[i] * static_cast<long double>(i);
  return d;
}

template <class C>
std::size_t Degree(const std::vector<C>& p) {
  return p.size() - 1;
}

// A whole constant exponent, or -1 when the exponent is none.
std::int64_t WholeExponent(long double c, std::int64_t largest) {
  if (c != std::floor(c) || c < 0 || c > static_cast<long double>(largest)) return -1;
  return static_cast<std::int64_t>(c);
}

std::int64_t WholeExponent(const algebra::Rational& c, std::int64_t largest) {
  if (c.get_den() != 1 || c < 0 || c > largest) return -1;
  return c.get_num().get_si();
}

// The fraction p/q with q up to kLargestDenominator that is v, if there is one; a value
// near 0 is no fraction with p = 0 unless it is 0.
bool AsFraction(long double v, long double& p, long double& q) {
  for (std::int32_t d = 1; d <= kLargestDenominator; ++d) {
    const long double n = std::round(v * d);
    if (n == 0 && v != 0) continue;
    if (std::fabs(n - v * d) <= kSameFraction * std::fmax(1.0L, std::fabs(n))) {
      p = n;
      q = d;
      return true;
    }
  }
  return false;
}

TKoNodePtr Fraction(long double p, long double q) {
  if (q == 1) return Constant(p);
  return Make(opQuotient, Constant(p), Constant(q));
}

// The node times the constant factors (copied), or the node alone without any.
TKoNodePtr TimesConstants(TKoNodePtr node, const std::vector<const Node*>& constants,
                          TKoVarDepot* depot) {
  if (constants.empty()) return node;
  TKoNodePtr product = Make(opProduct);
  for (const Node* c : constants) product->AddChild(c->Clone(depot));
  product->AddChild(std::move(node));
  return product;
}

// k^2 = h^2 - c/a of the quadratic a x^2 + b x + c, h = b/(2a): 0 for a double root, above 0
// for two real roots. Rounded coefficients leave a double root whose value has no binary
// form (2/3) a tiny k^2 of either sign, so the discriminant b^2 - 4ac decides, exact where the
// term gives exact coefficients; one within the rounding of extended numbers of b^2 and 4ac
// is 0. Where the rounded k^2 agrees, it is kept, so that the printed constants stay.
long double HalfWidthSquared(const Polynomial& q, const std::optional<ExactPolynomial>& exact) {
  const long double h = q[1] / (2 * q[2]);
  const long double rounded = h * h - q[0] / q[2];
  if (!exact || exact->size() != 3) {
    const long double d = q[1] * q[1] - 4 * q[2] * q[0];
    const long double scale = q[1] * q[1] + std::fabs(4 * q[2] * q[0]);
    return std::fabs(d) <= kRoundingOfDiscriminant * scale ? 0 : rounded;
  }
  const algebra::Rational& a = (*exact)[2];
  const algebra::Rational& b = (*exact)[1];
  const algebra::Rational& c = (*exact)[0];
  const algebra::Rational d = b * b - 4 * a * c;
  // 2^-56 as a fraction
  const algebra::Rational tolerance(1, mpz_class(1) << 56);
  if (abs(d) <= tolerance * (b * b + abs(4 * a * c))) return 0;
  const algebra::Rational value = d / (4 * a * a);
  const long double converted = algebra::ToLongDouble(value);
  const bool agrees = rounded != 0 && (rounded > 0) == (value > 0) &&
                      std::fabs(rounded - converted) <= 1e-15L * std::fabs(converted);
  return agrees ? rounded : converted;
}

}  // namespace

bool HasOtherVariable(const Node* node, const std::string& upperVar) {
  if (Is(node, opVariable)) return !EqualsUpperCase(node->Variable->Name, upperVar);
  for (const Node* child : node->Children)
    if (HasOtherVariable(child, upperVar)) return true;
  return false;
}

bool TIntegrator::ConstantIn(const Node* node, long double& value) const {
  TKoNodePtr copy = Copy(node);
  copy->Calculate(&value);
  return copy->ErrorText.empty() && std::isfinite(value);
}

bool TIntegrator::ConstantIn(const Node* node, algebra::Rational& value) {
  std::optional<algebra::Rational> exact = algebra::ExactValue(node);
  if (exact) value = std::move(*exact);
  return exact.has_value();
}

// The polynomial with coefficients of type C: extended values, or exact rationals where
// every constant has an exact value.
template <class C>
std::optional<std::vector<C>> TIntegrator::PolynomialIn(const Node* node,
                                                        std::size_t maxDegree) const {
  using P = std::vector<C>;
  if (!node->DependsOn(VarName)) {
    if (HasVariable(node)) return std::nullopt;
    C value(0);
    if (!ConstantIn(node, value)) return std::nullopt;
    return P{value};
  }
  if (IsVar(node)) return maxDegree >= 1 ? std::optional(P{C(0), C(1)}) : std::nullopt;
  std::optional<P> result;
  if (Is(node, opSum)) {
    result = P{C(0)};
    for (const Node* child : node->Children) {
      const std::optional<P> term = PolynomialIn<C>(child, maxDegree);
      if (!term) return std::nullopt;
      result = Add(*result, *term);
    }
    return result;
  }
  if (Is(node, opNegation)) {
    const std::optional<P> term = PolynomialIn<C>(node->Child(0), maxDegree);
    if (!term) return std::nullopt;
    return Scaled(*term, C(-1));
  }
  if (Is(node, opProduct)) {
    result = P{C(1)};
    for (const Node* child : node->Children) {
      const std::optional<P> factor = PolynomialIn<C>(child, maxDegree);
      if (!factor || Degree(*result) + Degree(*factor) > maxDegree) return std::nullopt;
      result = Multiply(*result, *factor);
    }
    return result;
  }
  if (Is(node, opQuotient)) {
    result = PolynomialIn<C>(node->Child(0), maxDegree);
    for (std::int32_t i = 1; result && i < node->ChildCount(); ++i) {
      const std::optional<P> divisor = PolynomialIn<C>(node->Child(i), 0);
      if (!divisor || (*divisor)[0] == 0) return std::nullopt;
      result = Scaled(*result, C(C(1) / (*divisor)[0]));
    }
    return result;
  }
  if (!Is(node, opSqr) && !Is(node, opPower)) return std::nullopt;
  std::int64_t n = 2;
  if (Is(node, opPower)) {
    if (!calculus::PowerReadsAsProduct(node) || node->ChildCount() != 2) return std::nullopt;
    const std::optional<P> exponent = PolynomialIn<C>(node->Child(1), 0);
    if (!exponent) return std::nullopt;
    n = WholeExponent((*exponent)[0], static_cast<std::int64_t>(maxDegree));
    if (n < 0) return std::nullopt;
  }
  const std::optional<P> base = PolynomialIn<C>(node->Child(0), maxDegree);
  if (!base || Degree(*base) * static_cast<std::size_t>(n) > maxDegree) return std::nullopt;
  return Raised(*base, n);
}

// c*x^k, with c as a fraction where it is one, and its sign given apart: the sum prints
// its terms as a-b.
TKoNodePtr TIntegrator::Monomial(long double c, std::size_t k) const {
  long double p = c, q = 1;
  const bool fraction = AsFraction(c, p, q);
  TKoNodePtr power = k == 0   ? nullptr
                     : k == 1 ? Var()
                              : Make(opPower, Var(), Constant(static_cast<long double>(k)));
  if (!power) return fraction ? Fraction(p, q) : Constant(c);
  if (!fraction) return Make(opProduct, Constant(c), std::move(power));
  if (p != 1) power = Make(opProduct, Constant(p), std::move(power));
  if (q != 1) power = Make(opQuotient, std::move(power), Constant(q));
  return power;
}

// The terms from the highest power down.
TKoNodePtr TIntegrator::PolynomialTree(const Polynomial& p) const {
  TKoNodePtr sum = Make(opSum);
  for (std::size_t k = p.size(); k-- > 0;) {
    if (p[k] == 0) continue;
    TKoNodePtr term = Monomial(std::fabs(p[k]), k);
    sum->AddChild(p[k] < 0 ? Make(opNegation, std::move(term)) : std::move(term));
  }
  return Collected(std::move(sum));
}

// int sum c_k x^k -> sum c_k/(k+1)*x^(k+1)
TKoNodePtr TIntegrator::PolynomialIntegral(const Polynomial& p) const {
  Polynomial q(p.size() + 1, 0);
  for (std::size_t k = 0; k < p.size(); ++k) q[k + 1] = p[k] / static_cast<long double>(k + 1);
  return PolynomialTree(q);
}

// node times p/q: node itself for 1, its negation for -1.
TKoNodePtr TIntegrator::Times(long double p, long double q, TKoNodePtr node) const {
  if ((p < 0) != (q < 0))
    return Make(opNegation, Times(std::fabs(p), std::fabs(q), std::move(node)));
  if (p == q) return node;
  return Make(opProduct, Fraction(std::fabs(p), std::fabs(q)), std::move(node));
}

// sqrt(v) as a number or a fraction of whole roots where that is exact, else as sqrt(v).
TKoNodePtr TIntegrator::Root(long double v) const {
  long double p = 0, q = 1;
  if (AsFraction(v, p, q)) {
    const long double sp = std::round(std::sqrt(p)), sq = std::round(std::sqrt(q));
    if (sp * sp == p && sq * sq == q) return Fraction(sp, sq);
  }
  return Make(opSqrt, Constant(v));
}

// node/d, node itself for d = 1, and the negation of node/e for d = -e.
TKoNodePtr TIntegrator::Over(TKoNodePtr node, TKoNodePtr d) const {
  if (Is(d.get(), opNegation)) return Make(opNegation, Over(std::move(node), d->ExtractChild(0)));
  if (nodes::IsConstant(d.get(), 1)) return node;
  return Make(opQuotient, std::move(node), std::move(d));
}

bool TIntegrator::ValueAt(const Node* node, long double x, long double& value) const {
  Depot->SetAsExtended(VarName, x);
  TKoNodePtr copy = Copy(node);
  copy->Calculate(&value);
  return copy->ErrorText.empty() && std::isfinite(value);
}

TKoNodePtr TIntegrator::Substitute(const Node* tree, const Node* u) const {
  if (IsVar(tree)) return Copy(u);
  if (tree->ChildCount() == 0) return Copy(tree);
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, tree->Operation);
  for (const Node* child : tree->Children) node->AddChild(Substitute(child, u));
  return node;
}

// int 1/(a x^2 + b x + c) = 1/a * int 1/((x+h)^2 - k^2), h = b/(2a), k^2 = h^2 - c/a:
//   k^2 < 0: arctan((x+h)/m)/(a*m) with m^2 = -k^2; k^2 > 0: ln(abs((x+h-k)/(x+h+k)))/(2*a*k);
//   k^2 = 0: -1/(a*(x+h))
TKoNodePtr TIntegrator::ReciprocalQuadratic(const Polynomial& q,
                                            const std::optional<ExactPolynomial>& exact) const {
  const long double a = q[2];
  const long double h = q[1] / (2 * a);
  const long double k2 = HalfWidthSquared(q, exact);
  TKoNodePtr shifted = PolynomialTree({h, 1});
  if (k2 == 0) return Make(opNegation, Over(Constant(1), Times(a, 1, std::move(shifted))));
  if (k2 < 0) {
    TKoNodePtr m = Root(-k2);
    TKoNodePtr arc = Make(opArcTan, Over(std::move(shifted), Copy(m.get())));
    return Over(std::move(arc), Times(a, 1, std::move(m)));
  }
  TKoNodePtr k = Root(k2);
  TKoNodePtr lower = Make(opSum, Copy(shifted.get()), Make(opNegation, Copy(k.get())));
  TKoNodePtr upper = Make(opSum, std::move(shifted), Copy(k.get()));
  TKoNodePtr ln = Make(opLn, Make(opAbs, Make(opQuotient, std::move(lower), std::move(upper))));
  return Over(std::move(ln), Times(2 * a, 1, std::move(k)));
}

// int 1/sqrt(a x^2 + b x + c), h = b/(2a), k^2 = h^2 - c/a:
//   a < 0: arcsin((x+h)/m)/sqrt(-a) with m^2 = -k^2 > 0;
//   a > 0: arcsinh((x+h)/m)/sqrt(a) with m^2 = -k^2 > 0, or where k^2 > 0
//   ln(abs(x+h+sqrt(x^2+b/a*x+c/a)))/sqrt(a)
TKoNodePtr TIntegrator::ReciprocalSqrtQuadratic(const Polynomial& q,
                                                const std::optional<ExactPolynomial>& exact) const {
  const long double a = q[2];
  const long double h = q[1] / (2 * a);
  const long double k2 = HalfWidthSquared(q, exact);
  TKoNodePtr shifted = PolynomialTree({h, 1});
  if (a < 0) {
    if (k2 <= 0) return nullptr;
    TKoNodePtr arc = Make(opArcSin, Over(std::move(shifted), Root(k2)));
    return Over(std::move(arc), Root(-a));
  }
  if (k2 < 0) return Over(Make(opArcSinh, Over(std::move(shifted), Root(-k2))), Root(a));
  if (k2 == 0) return nullptr;
  TKoNodePtr monic = Make(opSqrt, PolynomialTree({q[0] / a, q[1] / a, 1}));
  return Over(Make(opLn, Make(opAbs, Make(opSum, std::move(shifted), std::move(monic)))), Root(a));
}

// int n/d for d of degree 1 or 2: the polynomial part and the remainder over d;
// int r/(a x + b) -> r*ln(abs(a x + b))/a, and over a quadratic d
// (r1 x + r0)/d -> r1/(2a)*ln(abs(d)) + (r0 - r1*b/(2a)) * int 1/d
TKoNodePtr TIntegrator::Rational(const Polynomial& numerator, const Polynomial& denominator,
                                 const std::optional<ExactPolynomial>& exact) const {
  const std::size_t m = Degree(denominator);
  if (m < 1 || m > 2 || denominator[m] == 0) return nullptr;
  Polynomial rest = numerator;
  Polynomial whole(rest.size() > m ? rest.size() - m : 1, 0);
  for (std::size_t k = rest.size(); k-- > m;) {
    const long double f = rest[k] / denominator[m];
    whole[k - m] = f;
    for (std::size_t j = 0; j <= m; ++j) rest[k - m + j] -= f * denominator[j];
  }
  rest.resize(m);
  TKoNodePtr sum = Make(opSum);
  Trim(whole);
  if (!IsZero(whole)) sum->AddChild(PolynomialIntegral(whole));
  if (m == 1) {
    if (rest[0] != 0)
      sum->AddChild(
          Times(rest[0], denominator[1], Make(opLn, Make(opAbs, PolynomialTree(denominator)))));
  } else {
    const long double a = denominator[2], b = denominator[1];
    const long double r1 = rest[1];
    const long double r0 = rest[0] - r1 * b / (2 * a);
    if (r1 != 0)
      sum->AddChild(Times(r1, 2 * a, Make(opLn, Make(opAbs, PolynomialTree(denominator)))));
    if (r0 != 0) sum->AddChild(Times(r0, 1, ReciprocalQuadratic(denominator, exact)));
  }
  return Collected(std::move(sum));
}

// int p(x)*f(u) for f exp, sin, cos, sinh or cosh and u linear, by parts until p' = 0:
//   p*F1(u)/u' - p'*F2(u)/u'^2 + p''*F3(u)/u'^3 - ..., F(k+1) an antiderivative of F(k)
TKoNodePtr TIntegrator::ByParts(const Polynomial& p, const Node* f) const {
  const Node* u = f->Child(0);
  TKoNodePtr slope = ConstantSlope(u);
  if (!slope) return nullptr;
  TKoNodePtr sum = Make(opSum);
  Polynomial d = p;
  for (std::size_t k = 0; !IsZero(d); ++k) {
    // F(k+1): the code and the sign of the (k+1)-th antiderivative of f
    TOperation code = f->Operation;
    bool negative = false;
    const std::size_t j = k % 4;
    if (Is(f, opSin)) {
      code = j % 2 == 0 ? opCos : opSin;
      negative = j < 2;
    } else if (Is(f, opCos)) {
      code = j % 2 == 0 ? opSin : opCos;
      negative = j == 1 || j == 2;
    } else if (Is(f, opSinh)) {
      code = k % 2 == 0 ? opCosh : opSinh;
    } else if (Is(f, opCosh)) {
      code = k % 2 == 0 ? opSinh : opCosh;
    }
    // the signs of the parts alternate
    if (k % 2 == 1) negative = !negative;
    TKoNodePtr power =
        k == 0 ? Copy(slope.get())
               : Make(opPower, Copy(slope.get()), Constant(static_cast<long double>(k + 1)));
    TKoNodePtr term =
        Make(opQuotient, Make(opProduct, PolynomialTree(d), Make(code, Copy(u))), std::move(power));
    sum->AddChild(negative ? Make(opNegation, std::move(term)) : std::move(term));
    d = Derivative(d);
  }
  if (sum->ChildCount() == 1) return sum->ExtractChild(0);
  return sum;
}

// int exp(u)*sin(v) -> exp(u)*(u'*sin(v)-v'*cos(v))/(u'^2+v'^2)
// int exp(u)*cos(v) -> exp(u)*(u'*cos(v)+v'*sin(v))/(u'^2+v'^2), u and v linear
TKoNodePtr TIntegrator::ExpTimesTrig(const Node* e, const Node* trig) const {
  const Node* u = e->Child(0);
  const Node* v = trig->Child(0);
  TKoNodePtr a = ConstantSlope(u);
  TKoNodePtr c = ConstantSlope(v);
  if (!a || !c) return nullptr;
  const bool sine = Is(trig, opSin);
  TKoNodePtr first = Make(opProduct, Copy(a.get()), Make(sine ? opSin : opCos, Copy(v)));
  TKoNodePtr second = Make(opProduct, Copy(c.get()), Make(sine ? opCos : opSin, Copy(v)));
  TKoNodePtr inner = sine ? Make(opSum, std::move(first), Make(opNegation, std::move(second)))
                          : Make(opSum, std::move(first), std::move(second));
  TKoNodePtr norm = Make(opSum, Make(opPower, std::move(a), Constant(2)),
                         Make(opPower, std::move(c), Constant(2)));
  return Make(opQuotient, Make(opProduct, Make(opExp, Copy(u)), std::move(inner)), std::move(norm));
}

// int p(x)*ln(u) -> q*ln(u) - int q*u'/u, int p(x)*arctan(u) -> q*arctan(u) - int q*u'/(1+u^2),
// q = int p, u a polynomial of degree 1 or 2 (arctan: 1)
TKoNodePtr TIntegrator::InverseTimesPolynomial(const Node* f, const Polynomial& p) const {
  const Node* u = f->Child(0);
  const bool ln = Is(f, opLn);
  const std::optional<Polynomial> inner = PolynomialOf(u, ln ? 2 : 1);
  if (!inner || Degree(*inner) < 1) return nullptr;
  std::optional<ExactPolynomial> exact = ExactPolynomialOf(u, ln ? 2 : 1);
  if (exact && !ln) exact = Add(Multiply(*exact, *exact), {algebra::Rational(1)});
  Polynomial q(p.size() + 1, 0);
  for (std::size_t k = 0; k < p.size(); ++k) q[k + 1] = p[k] / static_cast<long double>(k + 1);
  const Polynomial divisor = ln ? *inner : Add(Multiply(*inner, *inner), {1});
  TKoNodePtr rest = Rational(Multiply(q, Derivative(*inner)), divisor, exact);
  if (!rest) return nullptr;
  return Make(opSum, Make(opProduct, PolynomialTree(q), Make(f->Operation, Copy(u))),
              Make(opNegation, std::move(rest)));
}

// int ln(u)^n -> u*ln(u)^n/u' - n * int ln(u)^(n-1), u linear
TKoNodePtr TIntegrator::LnPower(const Node* ln, std::int32_t n) const {
  const Node* u = ln->Child(0);
  if (!ConstantSlope(u)) return nullptr;
  const long double size = static_cast<long double>(n);
  TKoNodePtr lower = n == 2 ? I(ln) : I(Make(opPower, Copy(ln), Constant(size - 1)).get());
  if (!lower) return nullptr;
  TKoNodePtr head = Make(opProduct, Copy(u), Make(opPower, Copy(ln), Constant(size)));
  return Make(opSum, Chain(std::move(head), u),
              Make(opNegation, Make(opProduct, Constant(size), std::move(lower))));
}

// int sqrt(a x^2 + b x + c), t = x + h, h = b/(2a), k^2 = h^2 - c/a:
//   a < 0, k^2 > 0: (t*sqrt(q) + sqrt(-a)*k^2*arcsin(t/k))/2
//   a > 0, s = -k^2: (t*sqrt(q) + sqrt(a)*s*arcsinh(t/sqrt(s)))/2 for s > 0,
//   (t*sqrt(q) + sqrt(a)*s*ln(abs(t+sqrt(t^2+s))))/2 for s < 0
TKoNodePtr TIntegrator::SqrtQuadratic(const Polynomial& q,
                                      const std::optional<ExactPolynomial>& exact) const {
  const long double a = q[2];
  const long double h = q[1] / (2 * a);
  const long double k2 = HalfWidthSquared(q, exact);
  if (k2 == 0 || (a < 0 && k2 < 0)) return nullptr;
  TKoNodePtr first = Make(opProduct, PolynomialTree({h, 1}), Make(opSqrt, PolynomialTree(q)));
  TKoNodePtr angle;
  if (a < 0) {
    angle = Make(opArcSin, Over(PolynomialTree({h, 1}), Root(k2)));
  } else if (k2 < 0) {
    angle = Make(opArcSinh, Over(PolynomialTree({h, 1}), Root(-k2)));
  } else {
    angle = Make(opLn, Make(opAbs, Make(opSum, PolynomialTree({h, 1}),
                                        Make(opSqrt, PolynomialTree({q[0] / a, q[1] / a, 1})))));
  }
  const long double factor = a < 0 ? k2 : -k2;
  TKoNodePtr second = Times(factor, 1, Make(opProduct, Root(std::fabs(a)), std::move(angle)));
  return Make(opQuotient, Make(opSum, std::move(first), std::move(second)), Constant(2));
}

// int sin(u)^n -> -sin(u)^(n-1)*cos(u)/(n*u') + (n-1)/n * int sin(u)^(n-2)
// int cos(u)^n -> cos(u)^(n-1)*sin(u)/(n*u') + (n-1)/n * int cos(u)^(n-2)
// int sinh(u)^n -> sinh(u)^(n-1)*cosh(u)/(n*u') - (n-1)/n * int sinh(u)^(n-2)
// int cosh(u)^n -> cosh(u)^(n-1)*sinh(u)/(n*u') + (n-1)/n * int cosh(u)^(n-2)
TKoNodePtr TIntegrator::TrigPower(const Node* f, std::int32_t n) const {
  const Node* u = f->Child(0);
  if (!ConstantSlope(u)) return nullptr;
  TOperation partner = opCos;
  if (Is(f, opCos)) partner = opSin;
  if (Is(f, opSinh)) partner = opCosh;
  if (Is(f, opCosh)) partner = opSinh;
  const long double size = static_cast<long double>(n);
  TKoNodePtr head =
      Make(opQuotient,
           Make(opProduct, Make(opPower, Copy(f), Constant(size - 1)), Make(partner, Copy(u))),
           Constant(size));
  if (Is(f, opSin)) head = Make(opNegation, std::move(head));
  TKoNodePtr lower = n == 2   ? Var()
                     : n == 3 ? I(f)
                              : I(Make(opPower, Copy(f), Constant(size - 2)).get());
  if (!lower) return nullptr;
  TKoNodePtr tail =
      Make(opProduct, Make(opQuotient, Constant(size - 1), Constant(size)), std::move(lower));
  if (Is(f, opSinh)) tail = Make(opNegation, std::move(tail));
  return Make(opSum, Chain(std::move(head), u), std::move(tail));
}

TKoNodePtr TIntegrator::PowerShapes(const Node* node) const {
  if (!calculus::PowerReadsAsProduct(node) || node->ChildCount() != 2) return nullptr;
  const Node* base = node->Child(0);
  const std::optional<Polynomial> exponent = PolynomialOf(node->Child(1), 0);
  if (!exponent) return nullptr;
  const long double c = (*exponent)[0];
  const std::int64_t n = WholeExponent(c, kMaxTrigPower);
  if (n >= 2 && (Is(base, opSin) || Is(base, opCos) || Is(base, opSinh) || Is(base, opCosh)))
    return TrigPower(base, static_cast<std::int32_t>(n));
  // int tan(u)^2 -> tan(u)/u' - x
  if (n == 2 && Is(base, opTan) && ConstantSlope(base->Child(0)))
    return Make(opSum, Chain(Copy(base), base->Child(0)), Make(opNegation, Var()));
  // int cos(u)^(-2) -> tan(u)/u', sin(u)^(-2) -> -cot(u)/u', cosh(u)^(-2) -> tanh(u)/u',
  // sinh(u)^(-2) -> -coth(u)/u'
  if (c == -2 && (Is(base, opCos) || Is(base, opSin) || Is(base, opCosh) || Is(base, opSinh)) &&
      ConstantSlope(base->Child(0))) {
    const Node* u = base->Child(0);
    if (Is(base, opCos)) return Chain(Make(opTan, Copy(u)), u);
    if (Is(base, opCosh)) return Chain(Make(opTanh, Copy(u)), u);
    return Make(opNegation, Chain(Make(Is(base, opSin) ? opCot : opCoth, Copy(u)), u));
  }
  if (n >= 2 && Is(base, opLn)) return LnPower(base, static_cast<std::int32_t>(n));
  // int sqrt(u)^c -> int u^(c/2)
  if (Is(base, opSqrt)) return Rewritten(Make(opPower, Copy(base->Child(0)), Constant(c / 2)));
  if (c == -1 && ConstantSlope(base)) {
    // int u^(-1) -> ln(abs(u))/u' for u linear
    return Chain(Make(opLn, Make(opAbs, Copy(base))), base);
  }
  const std::optional<Polynomial> q = PolynomialOf(base, kMaxDegree);
  if (!q) return nullptr;
  // a polynomial raised to a whole power is one
  if (n >= 1 && Degree(*q) * static_cast<std::size_t>(n) <= kMaxDegree)
    return PolynomialIntegral(Raised(*q, n));
  if (Degree(*q) > 2) return nullptr;
  const std::optional<ExactPolynomial> exact = ExactPolynomialOf(base, 2);
  if (c == -0.5L && Degree(*q) == 2) return ReciprocalSqrtQuadratic(*q, exact);
  if (c == 0.5L && Degree(*q) == 2) return SqrtQuadratic(*q, exact);
  const std::int64_t down = WholeExponent(-c, 2);
  if (down < 1) return nullptr;
  return Rational({1}, Raised(*q, down),
                  exact ? std::optional(Raised(*exact, down)) : std::nullopt);
}

// The antiderivative F(u) of a factor g = f(u), with u the inner term; a factor that is no
// function or power of an inner term is its own u, with F(u) = u^2/2.
TKoNodePtr TIntegrator::SubstitutedAntiderivative(const Node* g, const Node*& inner) const {
  TKoNodePtr outer;
  inner = g;
  if (IsFunctionCode(g->Operation) && g->ChildCount() == 1 && !IsVar(g->Child(0))) {
    inner = g->Child(0);
    TKoNodePtr f = TKoOperatorNode::Create(dtExtended, g->Operation);
    f->AddChild(Var());
    outer = I(f.get());
  } else if (Is(g, opPower) && calculus::PowerReadsAsProduct(g) && g->ChildCount() == 2 &&
             !g->Child(1)->DependsOn(VarName) && !IsVar(g->Child(0))) {
    inner = g->Child(0);
    outer = I(Make(opPower, Var(), Copy(g->Child(1))).get());
  }
  if (inner == g) outer = Make(opProduct, Constant(0.5L), Make(opPower, Var(), Constant(2)));
  if (!outer) return nullptr;
  return Substitute(outer.get(), inner);
}

// int c*g(x)*r(x) -> c*k*F(u) where g = f(u), F an antiderivative of f and r = k*u' for a
// constant k, found by comparing r and u' at a few points
TKoNodePtr TIntegrator::Substitution(const std::vector<const Node*>& factors,
                                     const std::vector<const Node*>& constants) const {
  // The ratio is found by numbers: a parameter's value now would be baked into it.
  for (const Node* factor : factors)
    if (HasOtherVariable(factor, UpperVarName)) return nullptr;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const Node* u = nullptr;
    TKoNodePtr antiderivative;
    try {
      antiderivative = SubstitutedAntiderivative(factors[i], u);
    } catch (const Exception&) {
      continue;
    }
    if (!antiderivative || !u->DependsOn(VarName)) continue;
    TKoNodePtr slope = DeriveTree(u, VarName, Depot);
    std::size_t agreeing = 0;
    long double ratio = 0;
    bool same = true;
    for (const long double x : kSamples) {
      long double rest = 1;
      bool defined = true;
      for (std::size_t j = 0; j < factors.size() && defined; ++j) {
        long double v = 0;
        if (j != i) defined = ValueAt(factors[j], x, v), rest *= v;
      }
      long double s = 0;
      if (!defined || !ValueAt(slope.get(), x, s) || s == 0) continue;
      const long double r = rest / s;
      if (agreeing == 0) ratio = r;
      same = same && std::fabs(r - ratio) <= kSameRatio * std::fabs(ratio);
      ++agreeing;
    }
    long double p = 0, q = 1;
    if (!same || agreeing < kLeastSamples || !AsFraction(ratio, p, q) || p == 0) continue;
    return TimesConstants(Times(p, q, std::move(antiderivative)), constants, Depot);
  }
  return nullptr;
}

bool TIntegrator::IsRootOfVar(const Node* node) const {
  if (Is(node, opSqrt)) return IsVar(node->Child(0));
  if (!Is(node, opPower) || node->ChildCount() != 2 || !IsVar(node->Child(0))) return false;
  const std::optional<Polynomial> c = PolynomialOf(node->Child(1), 0);
  return c && (*c)[0] == 0.5L;
}

// int f(sqrt(x)) -> F(sqrt(x)) with F = int 2*t*f(t): x = t^2
TKoNodePtr TIntegrator::RootSubstitution(const Node* node) const {
  TKoNodePtr f = TKoOperatorNode::Create(dtExtended, node->Operation);
  f->AddChild(Var());
  TKoNodePtr inT = I(Make(opProduct, Constant(2), Var(), std::move(f)).get());
  if (!inT) return nullptr;
  return Substitute(inT.get(), node->Child(0));
}

// x^a*x^b*sqrt(x) -> int x^(a+b+0.5)
TKoNodePtr TIntegrator::PowersOfVar(const std::vector<const Node*>& factors) const {
  long double sum = 0;
  for (const Node* f : factors) {
    if (IsVar(f)) {
      sum += 1;
    } else if (Is(f, opSqrt) && IsVar(f->Child(0))) {
      sum += 0.5L;
    } else if (Is(f, opSqr) && IsVar(f->Child(0))) {
      sum += 2;
    } else if (Is(f, opPower) && f->ChildCount() == 2 && IsVar(f->Child(0))) {
      const std::optional<Polynomial> c = PolynomialOf(f->Child(1), 0);
      if (!c) return nullptr;
      sum += (*c)[0];
    } else {
      return nullptr;
    }
  }
  return Rewritten(Make(opPower, Var(), Constant(sum)));
}

// sin(A)*sin(B) -> (cos(A-B)-cos(A+B))/2, sin(A)*cos(B) -> (sin(A+B)+sin(A-B))/2,
// cos(A)*cos(B) -> (cos(A-B)+cos(A+B))/2, A and B linear
TKoNodePtr TIntegrator::TrigProduct(const std::vector<const Node*>& factors) const {
  if (factors.size() != 2) return nullptr;
  const Node* first = factors[0];
  const Node* second = factors[1];
  if (Is(first, opCos) && Is(second, opSin)) std::swap(first, second);
  const bool firstSin = Is(first, opSin), secondSin = Is(second, opSin);
  if (!(firstSin || Is(first, opCos)) || !(secondSin || Is(second, opCos))) return nullptr;
  const Node* a = first->Child(0);
  const Node* b = second->Child(0);
  if (!ConstantSlope(a) || !ConstantSlope(b)) return nullptr;
  TKoNodePtr difference = Make(opSum, Copy(a), Make(opNegation, Copy(b)));
  TKoNodePtr sum = Make(opSum, Copy(a), Copy(b));
  TKoNodePtr combined;
  if (firstSin && secondSin) {
    combined = Make(opSum, Make(opCos, std::move(difference)),
                    Make(opNegation, Make(opCos, std::move(sum))));
  } else if (firstSin) {
    combined = Make(opSum, Make(opSin, std::move(sum)), Make(opSin, std::move(difference)));
  } else {
    combined = Make(opSum, Make(opCos, std::move(difference)), Make(opCos, std::move(sum)));
  }
  return Rewritten(Make(opQuotient, std::move(combined), Constant(2)));
}

TKoNodePtr TIntegrator::ProductShapes(const Node* node) const {
  // int a*(-u)*v -> -(int a*u*v)
  for (const Node* child : node->Children) {
    if (!Is(child, opNegation)) continue;
    TKoNodePtr positive = Make(opProduct);
    for (const Node* c : node->Children) positive->AddChild(Copy(c == child ? c->Child(0) : c));
    TKoNodePtr integrated = ProductShapes(positive.get());
    return integrated ? Make(opNegation, std::move(integrated)) : nullptr;
  }
  std::vector<const Node*> constants;
  std::vector<const Node*> factors;
  for (const Node* child : node->Children) {
    // a*(b*c) -> a*b*c
    if (Is(child, opProduct)) {
      TKoNodePtr flat = Make(opProduct);
      for (const Node* c : node->Children) {
        if (c != child) flat->AddChild(Copy(c));
        if (c == child)
          for (const Node* inner : c->Children) flat->AddChild(Copy(inner));
      }
      return ProductShapes(flat.get());
    }
    (child->DependsOn(VarName) ? factors : constants).push_back(child);
  }
  if (factors.size() < 2) return nullptr;
  // The shapes compare factors at a few points, all of which may lie on one side of a jump:
  // heav(3-x)*(x+1) is no constant times x+1.
  for (const Node* f : factors)
    if (HasJump(f)) return nullptr;
  if (TKoNodePtr powers = PowersOfVar(factors))
    return TimesConstants(std::move(powers), constants, Depot);
  if (TKoNodePtr sums = TrigProduct(factors))
    return TimesConstants(std::move(sums), constants, Depot);
  if (TKoNodePtr substituted = Substitution(factors, constants)) return substituted;
  if (TKoNodePtr parts = PolynomialTimes(factors))
    return TimesConstants(std::move(parts), constants, Depot);
  for (const Node* f : factors)
    if (Is(f, opSum)) return Distributed(node, f);
  return nullptr;
}

// The polynomial factors together, times at most one exp, sin, cos, sinh, cosh or ln of a
// linear term; or exp times sin or cos.
TKoNodePtr TIntegrator::PolynomialTimes(const std::vector<const Node*>& factors) const {
  Polynomial p{1};
  std::vector<const Node*> others;
  for (const Node* f : factors) {
    const std::optional<Polynomial> q = PolynomialOf(f, kMaxDegree);
    if (q && Degree(p) + Degree(*q) <= kMaxDegree) {
      p = Multiply(p, *q);
    } else {
      others.push_back(f);
    }
  }
  if (others.empty()) return PolynomialIntegral(p);
  if (others.size() == 2 && Degree(p) == 0) {
    const Node* e = Is(others[0], opExp) ? others[0] : others[1];
    const Node* trig = e == others[0] ? others[1] : others[0];
    if (Is(e, opExp) && (Is(trig, opSin) || Is(trig, opCos)))
      return Times(p[0], 1, ExpTimesTrig(e, trig));
  }
  if (others.size() == 1) {
    const Node* other = others[0];
    if (Is(other, opExp) || Is(other, opSin) || Is(other, opCos) || Is(other, opSinh) ||
        Is(other, opCosh))
      return ByParts(p, other);
    if (Is(other, opLn) || Is(other, opArcTan)) return InverseTimesPolynomial(other, p);
  }
  TKoNodePtr rest = Make(opProduct);
  for (const Node* f : others) rest->AddChild(Copy(f));
  return RepeatedByParts(p, rest->ChildCount() == 1 ? rest->ExtractChild(0) : std::move(rest));
}

// int p*f -> p*F1 - p'*F2 + p''*F3 - ..., F(k+1) = int F(k), as long as the rules find them
TKoNodePtr TIntegrator::RepeatedByParts(const Polynomial& p, TKoNodePtr f) const {
  if (Degree(p) == 0 || Degree(p) > kMaxPartsDegree || PartsDepth >= kMaxPartsDepth) return nullptr;
  const Nested nested(PartsDepth);
  TKoNodePtr sum = Make(opSum);
  Polynomial d = p;
  TKoNodePtr antiderivative = I(f.get());
  for (std::size_t k = 0; antiderivative && !IsZero(d); ++k) {
    TKoNodePtr term = Make(opProduct, PolynomialTree(d), Copy(antiderivative.get()));
    sum->AddChild(k % 2 == 1 ? Make(opNegation, std::move(term)) : std::move(term));
    d = Derivative(d);
    if (!IsZero(d)) antiderivative = I(antiderivative.get());
  }
  if (!antiderivative) return nullptr;
  return sum;
}

// int c*(u+v)*w -> int c*u*w + int c*v*w, where the rest finds no shape as a whole
TKoNodePtr TIntegrator::Distributed(const Node* product, const Node* sum) const {
  TKoNodePtr terms = Make(opSum);
  for (const Node* term : sum->Children) {
    TKoNodePtr factor = Make(opProduct);
    for (const Node* child : product->Children)
      factor->AddChild(child == sum ? Copy(term) : Copy(child));
    terms->AddChild(std::move(factor));
  }
  return Rewritten(std::move(terms));
}

TKoNodePtr TIntegrator::QuotientShapes(const Node* node) const {
  const Node* numerator = node->Child(0);
  // a polynomial over a linear or quadratic one
  std::optional<Polynomial> top = PolynomialOf(numerator, kMaxDegree);
  std::optional<Polynomial> bottom = Polynomial{1};
  std::optional<ExactPolynomial> exact = ExactPolynomial{algebra::Rational(1)};
  for (std::int32_t i = 1; bottom && i < node->ChildCount(); ++i) {
    const std::optional<Polynomial> d = PolynomialOf(node->Child(i), 2);
    bottom = d && Degree(*bottom) + Degree(*d) <= 2 ? std::optional(Multiply(*bottom, *d))
                                                    : std::nullopt;
    const std::optional<ExactPolynomial> e = exact ? ExactPolynomialOf(node->Child(i), 2) : exact;
    exact =
        e && Degree(*exact) + Degree(*e) <= 2 ? std::optional(Multiply(*exact, *e)) : std::nullopt;
  }
  if (top && bottom && Degree(*bottom) >= 1) return Rational(*top, *bottom, exact);
  // n/d -> n*d^(-1): the divisor's reciprocal as a power
  TKoNodePtr product = Make(opProduct, Copy(numerator));
  std::vector<const Node*> divisors;
  for (std::int32_t i = 1; i < node->ChildCount(); ++i) {
    const Node* d = node->Child(i);
    if (Is(d, opProduct)) {
      for (const Node* f : d->Children) divisors.push_back(f);
    } else {
      divisors.push_back(d);
    }
  }
  for (const Node* d : divisors) {
    if (Is(d, opSqrt)) {
      product->AddChild(Make(opPower, Copy(d->Child(0)), Constant(-0.5L)));
    } else if (Is(d, opPower) && d->ChildCount() == 2 && !d->Child(1)->DependsOn(VarName)) {
      product->AddChild(Make(opPower, Copy(d->Child(0)), Make(opNegation, Copy(d->Child(1)))));
    } else {
      product->AddChild(Make(opPower, Copy(d), Constant(-1)));
    }
  }
  if (!numerator->DependsOn(VarName) && divisors.size() == 1) return Rewritten(std::move(product));
  return ProductShapes(product.get());
}

TKoNodePtr TIntegrator::Shapes(const Node* node) const {
  if (node->ChildCount() == 0) return nullptr;
  const Node* u = node->Child(0);
  if (Is(node, opProduct)) return ProductShapes(node);
  if (Is(node, opQuotient)) return QuotientShapes(node);
  if (Is(node, opPower)) return PowerShapes(node);
  if (Is(node, opLn) || Is(node, opArcTan)) return InverseTimesPolynomial(node, {1});
  if (IsFunctionCode(node->Operation) && node->ChildCount() == 1 && IsRootOfVar(u))
    return RootSubstitution(node);
  if (!(Is(node, opTan) || Is(node, opCot)) || !ConstantSlope(u)) return nullptr;
  // int tan(u) -> -ln(abs(cos(u)))/u'
  if (Is(node, opTan))
    return Make(opNegation, Chain(Make(opLn, Make(opAbs, Make(opCos, Copy(u)))), u));
  // int cot(u) -> ln(abs(sin(u)))/u'
  if (Is(node, opCot)) return Chain(Make(opLn, Make(opAbs, Make(opSin, Copy(u)))), u);
  return nullptr;
}

}  // namespace integration
