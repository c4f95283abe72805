// Products of exp, sinh, cosh, sin and cos of linear terms and their whole powers, written
// as a sum of exp(a*x+b)*sin(c*x+d) and the like, which the classic shapes integrate.
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "MathIntg/Integrator.hpp"

namespace integration {

using algebra::QPolynomial;
using Q = algebra::Rational;
using nodes::Is;
using nodes::Make;

namespace {

constexpr long kLargestPower = 8;
constexpr std::size_t kMostTerms = 256;
constexpr long kLargestTangentPower = 24;

// c * exp(e) * (sin or cos)(a), without the trigonometric factor where trig is false.
struct Wave {
  Q C{1};
  QPolynomial E{Q(0)};
  bool Trig = false;
  bool Sine = false;
  QPolynomial A{Q(0)};
};

using Waves = std::vector<Wave>;

Wave Scaled(Wave w, const Q& f) {
  w.C *= f;
  return w;
}

// (sin or cos)(a) times (sin or cos)(b) as two waves of a-b and a+b.
void TrigTimes(const Wave& w, bool sine, const QPolynomial& b, Waves& out) {
  const QPolynomial minus = algebra::Difference(w.A, b);
  const QPolynomial plus = algebra::Sum(w.A, b);
  Wave first = w, second = w;
  first.A = minus;
  second.A = plus;
  const Q half(1, 2);
  if (w.Sine && sine) {
    // sin a sin b = (cos(a-b) - cos(a+b))/2
    first.Sine = second.Sine = false;
    out.push_back(Scaled(first, half));
    out.push_back(Scaled(second, -half));
  } else if (!w.Sine && !sine) {
    // cos a cos b = (cos(a-b) + cos(a+b))/2
    out.push_back(Scaled(first, half));
    out.push_back(Scaled(second, half));
  } else {
    // sin a cos b = (sin(a+b) + sin(a-b))/2, cos a sin b = (sin(a+b) - sin(a-b))/2
    first.Sine = second.Sine = true;
    out.push_back(Scaled(first, w.Sine ? half : Q(-half)));
    out.push_back(Scaled(second, half));
  }
}

// The waves times exp, sinh, cosh, sin or cos (code) of u.
Waves MultipliedBy(const Waves& waves, TOperation code, const QPolynomial& u) {
  Waves next;
  for (const Wave& w : waves) {
    if (code == opExp) {
      Wave v = w;
      v.E = algebra::Sum(v.E, u);
      next.push_back(v);
    } else if (code == opSinh || code == opCosh) {
      // (exp(u) -+ exp(-u))/2
      Wave up = w, down = w;
      up.E = algebra::Sum(up.E, u);
      down.E = algebra::Difference(down.E, u);
      next.push_back(Scaled(up, Q(1, 2)));
      next.push_back(Scaled(down, code == opSinh ? Q(-1, 2) : Q(1, 2)));
    } else if (!w.Trig) {
      Wave v = w;
      v.Trig = true;
      v.Sine = code == opSin;
      v.A = u;
      next.push_back(v);
    } else {
      TrigTimes(w, code == opSin, u, next);
    }
  }
  return next;
}

// The waves with sin(-a) = -sin(a), cos(-a) = cos(a), sin(0) = 0 and cos(0) = 1 applied and
// equal ones combined.
Waves Merged(const Waves& waves) {
  Waves merged;
  for (Wave w : waves) {
    if (w.Trig) {
      if (w.A.back() < 0) {
        w.A = algebra::Scaled(w.A, Q(-1));
        if (w.Sine) w.C = -w.C;
      }
      if (algebra::IsZero(w.A)) {
        if (w.Sine) w.C = 0;
        w.Trig = false;
        w.A = {Q(0)};
      }
    }
    if (w.C == 0) continue;
    bool found = false;
    for (Wave& m : merged) {
      if (m.E == w.E && m.Trig == w.Trig && m.Sine == w.Sine && m.A == w.A) {
        m.C += w.C;
        found = true;
        break;
      }
    }
    if (!found) merged.push_back(w);
  }
  return merged;
}

}  // namespace

TKoNodePtr TIntegrator::ExpTrigLinearized(const Node* node) const {
  std::vector<const Node*> factors;
  if (Is(node, opProduct)) {
    for (const Node* c : node->Children) factors.push_back(c);
  } else {
    factors.push_back(node);
  }
  Waves waves{Wave{}};
  std::size_t trig = 0;
  for (const Node* f : factors) {
    if (!f->DependsOn(VarName)) {
      const std::optional<Q> c = algebra::ExactValue(f);
      if (!c) return nullptr;
      for (Wave& w : waves) w.C *= *c;
      continue;
    }
    const Node* base = f;
    long n = 1;
    if (Is(f, opPower) && f->ChildCount() == 2) {
      const std::optional<Q> e = algebra::ExactValue(f->Child(1));
      if (!e || e->get_den() != 1 || *e < 1 || *e > kLargestPower) return nullptr;
      base = f->Child(0);
      n = e->get_num().get_si();
    }
    if (!(Is(base, opExp) || Is(base, opSinh) || Is(base, opCosh) || Is(base, opSin) ||
          Is(base, opCos)) ||
        base->ChildCount() != 1)
      return nullptr;
    const std::optional<ExactPolynomial> u = ExactPolynomialOf(base->Child(0), 1);
    if (!u) return nullptr;
    if (Is(base, opSin) || Is(base, opCos)) trig += static_cast<std::size_t>(n);
    for (long k = 0; k < n; ++k) {
      waves = MultipliedBy(waves, base->Operation, *u);
      if (waves.size() > kMostTerms) return nullptr;
    }
  }
  waves = Merged(waves);
  // a single wave is a classic shape already
  if (trig == 0 || waves.size() < 2) return nullptr;
  TKoNodePtr sum = Make(opSum);
  for (const Wave& w : waves) {
    if (w.C == 0) continue;
    TKoNodePtr product = Make(opProduct);
    if (!algebra::IsZero(w.E)) product->AddChild(Make(opExp, QPolynomialTree(w.E)));
    if (w.Trig) product->AddChild(Make(w.Sine ? opSin : opCos, QPolynomialTree(w.A)));
    if (product->ChildCount() == 0) product->AddChild(nodes::Constant(1));
    TKoNodePtr term = product->ChildCount() == 1 ? product->ExtractChild(0) : std::move(product);
    sum->AddChild(QScaled(w.C, std::move(term)));
  }
  return I(sum.get());
}

// int tan(u)^n = tan(u)^(n-1)/((n-1)*u') - int tan(u)^(n-2),
// int cot(u)^n = -cot(u)^(n-1)/((n-1)*u') - int cot(u)^(n-2), u linear
TKoNodePtr TIntegrator::TangentPower(const Node* node) const {
  if (!Is(node, opPower) || node->ChildCount() != 2) return nullptr;
  const Node* base = node->Child(0);
  if (!(Is(base, opTan) || Is(base, opCot)) || base->ChildCount() != 1) return nullptr;
  const std::optional<Q> e = algebra::ExactValue(node->Child(1));
  if (!e || e->get_den() != 1 || *e < 2 || *e > kLargestTangentPower) return nullptr;
  const Node* u = base->Child(0);
  if (!ConstantSlope(u)) return nullptr;
  const long n = e->get_num().get_si();
  TKoNodePtr lower =
      n == 2 ? Var()
      : n == 3
          ? I(base)
          : I(Make(opPower, Copy(base), nodes::Constant(static_cast<long double>(n - 2))).get());
  if (!lower) return nullptr;
  TKoNodePtr head =
      n == 2 ? Copy(base)
             : Make(opPower, Copy(base), nodes::Constant(static_cast<long double>(n - 1)));
  if (n > 2)
    head = Make(opQuotient, std::move(head), nodes::Constant(static_cast<long double>(n - 1)));
  head = Chain(std::move(head), u);
  if (Is(base, opCot)) head = Make(opNegation, std::move(head));
  return Make(opSum, std::move(head), Make(opNegation, std::move(lower)));
}

}  // namespace integration
