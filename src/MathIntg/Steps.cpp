// Functions with jumps and kinks, integrated so that the antiderivative is continuous on the
// whole line; the powers of perfect squares (sqrt(x^2) = abs(x)); and the check that every
// further shape's result differentiates back to its integrand.
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "MathIntg/Integrator.hpp"

namespace integration {

using Q = algebra::Rational;
using nodes::Constant;
using nodes::Is;
using nodes::Make;

namespace {

// Points spread over both signs and a few scales, none near a whole or half number, where
// steps jump.
constexpr std::array<long double, 32> kCheckPoints = {
    0.3711L,  0.8123L,  1.2347L,  1.9031L, 2.4779L,  -0.5309L, -1.3717L, 4.6173L,
    -3.2891L, 0.0917L,  -0.1853L, 0.6377L, -0.8461L, 3.1173L,  -2.6651L, 6.2113L,
    -5.4339L, 0.9713L,  -0.9637L, 1.5883L, 8.1289L,  -7.8711L, 11.3217L, 0.2189L,
    -1.7213L, -2.2379L, -1.1537L, 2.7329L, -4.1873L, 1.1129L,  -0.3671L, 5.2771L};
constexpr std::size_t kLeastChecked = 3;
// The step of the difference quotients, relative to 1 + |x|.
constexpr long double kStep = 1e-4L;
// A wrong formula misses by far more; Richardson's quotient of an extended function is
// good to about 1e-17 of the size of the function's terms over the step. Where that is
// beyond 1e-8 of the integrand, the point says nothing (a result of huge terms that cancel
// has no digits left and is refused where no point is left).
constexpr long double kSameSlope = 1e-8L;
constexpr long double kQuotientRounding = 1e-17L;
// The wider step where the fine one leaves too few digits, and its looser agreement.
constexpr long double kWideStep = 100;
// The largest power of abs(u) integrated.
constexpr long kLargestStepPower = 24;
constexpr long double kWideSameSlope = 1e-6L;
// How much the integrand may change over the step where the quotients are compared.
constexpr long double kSmooth = 0.01L;
// The absolute error of a logarithm's value.
constexpr long double kLogRounding = 1e-18L;
// On a finer step a quotient keeps fewer digits than the noise estimate says: there a miss
// counts only beyond this share of the value and this many times the noise.
constexpr long double kClearMiss = 1e-3L;
constexpr long double kFinerNoise = 100;
// Where it is not, the step is made finer by this factor, at most this many times.
constexpr long double kFiner = 16;
constexpr int kMostFiner = 2;

// The antiderivative F(u) of a step function of u, continuous where the function jumps:
// on [n, n+1) floor(u) = n and F = n*u - n*(n+1)/2, which is n*(n+1)/2 at both ends.
const char* StepAntiderivative(TOperation code) {
  if (code == opAbs) return "{0}*abs({0})";
  if (code == opSgn) return "abs({0})";
  if (code == opHeav) return "{0}*heav({0})";
  if (code == opFloor) return "{0}*floor({0})-floor({0})*(floor({0})+1)/2";
  if (code == opCeil) return "{0}*ceil({0})-ceil({0})*(ceil({0})-1)/2";
  if (code == opTrunc) return "{0}*trunc({0})-trunc({0})*(trunc({0})+sgn({0}))/2";
  // round(u) = floor(u+0.5)
  if (code == opRound) return "({0}+0.5)*round({0})-round({0})*(round({0})+1)/2";
  // frac(u) = u - trunc(u)
  if (code == opFrac) return "sqr({0})/2-{0}*trunc({0})+trunc({0})*(trunc({0})+sgn({0}))/2";
  return nullptr;
}

// The terms of a sum, also below a product's or a negation's single sum.
std::vector<const TKoOperatorNode*> TermsOf(const TKoOperatorNode* f) {
  std::vector<const TKoOperatorNode*> terms;
  if (Is(f, opNegation) || Is(f, opQuotient)) return TermsOf(f->Child(0));
  if (Is(f, opProduct))
    for (const TKoOperatorNode* c : f->Children)
      if (Is(c, opSum)) return TermsOf(c);
  if (Is(f, opSum))
    for (const TKoOperatorNode* c : f->Children) {
      const std::vector<const TKoOperatorNode*> inner = TermsOf(c);
      if (inner.empty()) terms.push_back(c);
      terms.insert(terms.end(), inner.begin(), inner.end());
    }
  return terms;
}

bool IsLogarithm(const TKoOperatorNode* n) {
  return Is(n, opLn) || Is(n, opLog) || Is(n, opLd);
}

}  // namespace

// The factor of a logarithm in a term: the term itself, a negation of one, or a product or
// quotient with the logarithm among its factors (not a divisor); false where there is none.
bool TIntegrator::LogarithmFactor(const Node* term, long double x, long double& factor) const {
  if (IsLogarithm(term)) {
    factor = 1;
    return true;
  }
  if (Is(term, opNegation)) return LogarithmFactor(term->Child(0), x, factor);
  if (!Is(term, opProduct) && !Is(term, opQuotient)) return false;
  bool found = false;
  factor = 1;
  for (std::int32_t i = 0; i < term->ChildCount(); ++i) {
    const Node* c = term->Child(i);
    const bool divisor = Is(term, opQuotient) && i > 0;
    if (!found && !divisor && IsLogarithm(c)) {
      found = true;
      continue;
    }
    long double v = 0;
    if (!ValueAt(c, x, v)) return false;
    factor = divisor ? factor / v : factor * v;
  }
  return found && std::isfinite(factor);
}

// How a point compares: the quotient matches, misses, or says nothing (a pole or jump of the
// integrand within the step, the antiderivative undefined there, or too few digits left).
enum class TIntegrator::TSlopeCheck { Matches, Misses, Unusable };

TIntegrator::TSlopeCheck TIntegrator::SlopeAt(const Node* node, const Node* f, long double x,
                                              long double value, long double h,
                                              long double tolerance) const {
  // an integrand that changes fast (tan(7*x+5)^6) is smooth only on a finer step, whose
  // quotients keep fewer digits: there a match counts, and only a clear miss
  int finer = 0;
  for (;; ++finer) {
    long double below = 0, above = 0;
    if (!ValueAt(node, x - h, below) || !ValueAt(node, x + h, above)) return TSlopeCheck::Unusable;
    if (std::fabs(below - value) <= kSmooth * std::fabs(value) &&
        std::fabs(above - value) <= kSmooth * std::fabs(value))
      break;
    if (finer == kMostFiner) return TSlopeCheck::Unusable;
    h /= kFiner;
  }
  // the Richardson quotient of steps h and h/2, and its rounding noise
  const auto quotient = [&](long double step, long double& slope, long double& noise) {
    std::array<long double, 5> v{};
    const std::array<long double, 5> at = {x - step, x - step / 2, x, x + step / 2, x + step};
    for (std::size_t i = 0; i < at.size(); ++i)
      if (!ValueAt(f, at[i], v[i])) return false;
    const long double wide = (v[4] - v[0]) / (2 * step);
    const long double narrow = (v[3] - v[1]) / step;
    slope = (4 * narrow - wide) / 3;
    // the size of the antiderivative's terms: huge terms that cancel leave no digits
    long double size = std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[2]), std::fabs(v[4])));
    // a logarithm keeps only absolute digits: ln(1-1e-19) is 0 or -1e-19
    long double absolute = 0;
    for (const Node* term : TermsOf(f)) {
      long double t = 0;
      if (!ValueAt(term, x, t)) continue;
      size = std::fmax(size, std::fabs(t));
      long double factor = 0;
      if (LogarithmFactor(term, x, factor)) absolute += std::fabs(factor) * kLogRounding;
    }
    noise = (kQuotientRounding * size + absolute) / step;
    return true;
  };
  long double slope = 0, noise = 0;
  if (!quotient(h, slope, noise)) return TSlopeCheck::Unusable;
  // an integrand of 0 (a parameter of 0 in front) meets a slope of exactly 0
  if (value == 0 && slope == 0) return TSlopeCheck::Matches;
  if (noise > tolerance * std::fabs(value)) return TSlopeCheck::Unusable;
  const long double miss = std::fabs(slope - value);
  if (miss <= tolerance * std::fabs(value) + noise) return TSlopeCheck::Matches;
  if (finer == 0) return TSlopeCheck::Misses;
  // on a finer step a miss counts where a quarter of the step gives the same quotient and the
  // two miss the value clearly
  long double closer = 0, closerNoise = 0;
  if (!quotient(h / 4, closer, closerNoise)) return TSlopeCheck::Unusable;
  const long double spread = std::fabs(closer - slope);
  if (spread > kSameSlope * std::fabs(slope) + kFinerNoise * closerNoise)
    return TSlopeCheck::Unusable;
  return miss > kClearMiss * std::fabs(value) + kFinerNoise * closerNoise ? TSlopeCheck::Misses
                                                                          : TSlopeCheck::Unusable;
}

// The antiderivative where its difference quotients match the integrand at every point where
// both are defined (at least three), else none: a refusal, never a wrong term. Where a large
// antiderivative leaves the fine step too few digits, a step a hundred times wider is
// compared more loosely (its own truncation), and a miss there only leaves the point out.
TKoNodePtr TIntegrator::Checked(const Node* node, TKoNodePtr antiderivative) const {
  if (!antiderivative) return nullptr;
  const Node* f = antiderivative.get();
  std::size_t checked = 0;
  for (const long double x : kCheckPoints) {
    long double value = 0;
    if (!ValueAt(node, x, value)) continue;
    const long double h = kStep * (1 + std::fabs(x));
    TSlopeCheck check = SlopeAt(node, f, x, value, h, kSameSlope);
    if (check == TSlopeCheck::Misses) return nullptr;
    if (check == TSlopeCheck::Unusable)
      check = SlopeAt(node, f, x, value, kWideStep * h, kWideSameSlope);
    if (check == TSlopeCheck::Matches) ++checked;
  }
  return checked >= kLeastChecked ? std::move(antiderivative) : nullptr;
}

bool TIntegrator::Contradicted(const Node* node, const Node* f) const {
  std::size_t integrandDefined = 0, defined = 0;
  try {
    for (const long double x : kCheckPoints) {
      long double value = 0, v = 0;
      if (!ValueAt(node, x, value)) continue;
      ++integrandDefined;
      if (!ValueAt(f, x, v)) continue;
      ++defined;
      const long double h = kStep * (1 + std::fabs(x));
      if (SlopeAt(node, f, x, value, h, kSameSlope) == TSlopeCheck::Misses &&
          SlopeAt(node, f, x, value, kWideStep * h, kWideSameSlope) == TSlopeCheck::Misses)
        return true;
    }
  } catch (const ETooMuchInstances&) {
    // no room for the copies the evaluation makes: the result stands unchecked
    return false;
  }
  // a result in parameters may be undefined at their values now (1/(y+1)*x^(y+1) at y = -1)
  return integrandDefined >= kLeastChecked && defined == 0 && !HasOtherVariable(f, UpperVarName);
}

// Besides the points of Checked: near 0 and farther out, where a wrong branch shows.
constexpr std::array<long double, 10> kFurtherPoints = {0.0071L,  -0.0063L,  0.0413L,  -0.0377L,
                                                        13.9173L, -15.3271L, 17.2913L, -19.6877L,
                                                        0.4933L,  -0.6719L};

TKoNodePtr TIntegrator::Verified(const Node* node, TKoNodePtr antiderivative) const {
  if (!antiderivative) return nullptr;
  const Node* f = antiderivative.get();
  std::size_t checked = 0;
  const auto at = [&](long double x) {
    long double value = 0, below = 0, above = 0, v = 0;
    if (!ValueAt(node, x, value)) return true;
    const long double h = kStep * (1 + std::fabs(x));
    // defined around the point: so must the antiderivative be
    if (ValueAt(node, x - h, below) && ValueAt(node, x + h, above) && !ValueAt(f, x, v))
      return false;
    // a logarithm of a value near 1 keeps only absolute digits, which the fine step may not
    // see as noise: a miss there stands only where the wide step misses too
    TSlopeCheck check = SlopeAt(node, f, x, value, h, kSameSlope);
    if (check != TSlopeCheck::Matches)
      check = SlopeAt(node, f, x, value, kWideStep * h, kWideSameSlope);
    if (check == TSlopeCheck::Misses) return false;
    if (check == TSlopeCheck::Matches) ++checked;
    return true;
  };
  for (const long double x : kCheckPoints)
    if (!at(x)) return nullptr;
  for (const long double x : kFurtherPoints)
    if (!at(x)) return nullptr;
  return checked >= kLeastChecked ? std::move(antiderivative) : nullptr;
}

// ( (a*x+b)^2 )^(k/2) = |a|^k * abs(x + b/a)^k for odd k: x^2^0.5 is abs(x).
TKoNodePtr TIntegrator::PerfectSquarePower(const Node* node) const {
  if (!Is(node, opPower) || node->ChildCount() != 2 || node->Child(1)->DependsOn(VarName))
    return nullptr;
  const std::optional<Q> e = algebra::ExactValue(node->Child(1));
  if (!e || e->get_den() != 2 || abs(*e) > kLargestStepPower) return nullptr;
  const std::optional<ExactPolynomial> q = ExactPolynomialOf(node->Child(0), 2);
  if (!q || q->size() != 3 || (*q)[2] <= 0) return nullptr;
  const Q& a = (*q)[2];
  const Q& b = (*q)[1];
  const Q& c = (*q)[0];
  if (b * b != 4 * a * c) return nullptr;
  // (a*(x+h)^2)^(k/2) with h = b/(2a)
  const long k = e->get_num().get_si();
  TKoNodePtr linear = QPolynomialTree({Q(b / (2 * a)), Q(1)});
  TKoNodePtr power = Make(opAbs, std::move(linear));
  if (k != 1) power = Make(opPower, std::move(power), Constant(static_cast<long double>(k)));
  if (a != 1)
    power = Make(opProduct,
                 Make(opPower, QNumber(a),
                      Make(opQuotient, Constant(static_cast<long double>(k)), Constant(2))),
                 std::move(power));
  return I(power.get());
}

// int J(u)*g for J = sgn or heav of a linear u with root x0: J(u)*(G(x) - G(x0)), G = int g,
// continuous at x0; abs(u)*g = sgn(u)*(u*g).
TKoNodePtr TIntegrator::StepTimes(const Node* step, const Node* rest) const {
  const Node* u = step->Child(0);
  const std::optional<ExactPolynomial> w = ExactPolynomialOf(u, 1);
  if (!w || w->size() != 2) return nullptr;
  const Q root = -(*w)[0] / (*w)[1];
  TKoNodePtr g = Is(step, opAbs) ? Make(opProduct, Copy(rest), Copy(u)) : Copy(rest);
  TKoNodePtr antiderivative = I(g.get());
  if (!antiderivative) return nullptr;
  long double atRoot = 0;
  if (!ValueAt(antiderivative.get(), algebra::ToLongDouble(root), atRoot)) return nullptr;
  const TOperation code = Is(step, opHeav) ? opHeav : opSgn;
  TKoNodePtr shifted = std::move(antiderivative);
  if (atRoot != 0) {
    const std::optional<Q> exact = algebra::NearFraction(atRoot, 1000000);
    TKoNodePtr value =
        exact && algebra::ToLongDouble(*exact) == atRoot ? QNumber(*exact) : Constant(atRoot);
    shifted = Make(opSum, std::move(shifted), Make(opNegation, std::move(value)));
  }
  return Make(opProduct, Make(code, Copy(u)), std::move(shifted));
}

// The steps: each jump function of a linear term on its own, sums, and products of one
// sgn, heav or abs with terms free of jumps.
TKoNodePtr TIntegrator::StepShapes(const Node* node) const {
  if (Is(node, opSum)) return Sum(node);
  if (Is(node, opNegation)) {
    TKoNodePtr inner = I(node->Child(0));
    return inner ? Make(opNegation, std::move(inner)) : nullptr;
  }
  if (HasOtherVariable(node, UpperVarName)) return nullptr;
  if (calculus::IsJumpCode(node->Operation) && node->ChildCount() == 1) return StepOfLinear(node);
  if (Is(node, opPower) && node->ChildCount() == 2 && Is(node->Child(0), opAbs))
    return PowerOfAbs(node);
  return StepProduct(node);
}

// A step function of a linear u: F(u)/u' with F continuous.
TKoNodePtr TIntegrator::StepOfLinear(const Node* node) const {
  const Node* u = node->Child(0);
  const std::optional<ExactPolynomial> w = ExactPolynomialOf(u, 1);
  if (!w || w->size() != 2) return nullptr;
  // 1 but at one point
  if (Is(node, opZero)) return Var();
  const char* text = StepAntiderivative(node->Operation);
  if (!text) return nullptr;
  // F(u)/u', and abs's 1/2 with it
  const Q divisor = (*w)[1] * (Is(node, opAbs) ? 2 : 1);
  TKoNodePtr f = Template(text, Copy(u));
  if (divisor == 1) return f;
  if (divisor < 0) return Make(opNegation, Make(opQuotient, std::move(f), QNumber(-divisor)));
  return Make(opQuotient, std::move(f), QNumber(divisor));
}

// abs(u)^n = u^n for even n, abs(u)*u^(n-1) for odd n
TKoNodePtr TIntegrator::PowerOfAbs(const Node* node) const {
  const std::optional<Q> e = algebra::ExactValue(node->Child(1));
  if (!e || e->get_den() != 1 || abs(*e) > kLargestStepPower || *e == 0) return nullptr;
  const Node* u = node->Child(0)->Child(0);
  const long n = e->get_num().get_si();
  if (n % 2 == 0) return I(Make(opPower, Copy(u), Constant(static_cast<long double>(n))).get());
  if (n < 0) {
    // a pole at u's root that no antiderivative crosses: sgn(u)*int u^n on either side
    if (!ExactPolynomialOf(u, 1)) return nullptr;
    TKoNodePtr power = I(Make(opPower, Copy(u), Constant(static_cast<long double>(n))).get());
    if (!power) return nullptr;
    return Make(opProduct, Make(opSgn, Copy(u)), std::move(power));
  }
  TKoNodePtr rest = Make(opPower, Copy(u), Constant(static_cast<long double>(n - 1)));
  return StepTimes(node->Child(0), rest.get());
}

// One step among factors without jumps, divisors free of jumps.
TKoNodePtr TIntegrator::StepProduct(const Node* node) const {
  std::vector<const Node*> factors;
  TKoNodePtr rest = Make(opProduct);
  if (Is(node, opProduct)) {
    for (const Node* c : node->Children) factors.push_back(c);
  } else if (Is(node, opQuotient)) {
    factors.push_back(node->Child(0));
    for (std::int32_t i = 1; i < node->ChildCount(); ++i) {
      if (HasJump(node->Child(i))) return nullptr;
      rest->AddChild(Make(opQuotient, Constant(1), Copy(node->Child(i))));
    }
  } else {
    return nullptr;
  }
  const Node* step = nullptr;
  for (const Node* f : factors) {
    if (!HasJump(f)) {
      rest->AddChild(Copy(f));
      continue;
    }
    if (step) return nullptr;
    // abs(u)^n: abs(u) * u^(n-1) for odd n, u^n for even n
    const std::optional<Q> e = Is(f, opPower) && f->ChildCount() == 2 && Is(f->Child(0), opAbs)
                                   ? algebra::ExactValue(f->Child(1))
                                   : std::nullopt;
    if (e && e->get_den() == 1 && *e >= 1 && *e <= kLargestStepPower) {
      const Node* u = f->Child(0)->Child(0);
      const long n = e->get_num().get_si();
      if (n % 2 == 1) step = f->Child(0);
      rest->AddChild(
          Make(opPower, Copy(u), Constant(static_cast<long double>(n % 2 == 1 ? n - 1 : n))));
      if (n % 2 == 0) {
        for (const Node* other : factors)
          if (other != f && HasJump(other)) return nullptr;
        return I(rest.get());
      }
      continue;
    }
    // zero(u) of a linear u is 1 but at one point
    if (Is(f, opZero) && ExactPolynomialOf(f->Child(0), 1)) continue;
    step = f;
  }
  if (rest->ChildCount() == 0) rest->AddChild(Constant(1));
  if (rest->ChildCount() == 1) rest = rest->ExtractChild(0);
  if (!step) return I(rest.get());
  if (Is(step, opSgn) || Is(step, opHeav) || Is(step, opAbs)) return StepTimes(step, rest.get());
  // any other step times a constant
  if (rest->DependsOn(VarName)) return nullptr;
  TKoNodePtr integral = I(step);
  if (!integral) return nullptr;
  return Make(opProduct, std::move(rest), std::move(integral));
}

}  // namespace integration
