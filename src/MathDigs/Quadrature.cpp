// Integrals and arc lengths to any number of digits: on each piece between the points where
// the integrand may jump or kink, Fejer's second rule with the intervals doubled from level
// to level (each level keeps the nodes of the one before), and toward an end where the
// integrand runs off the tanh-sinh rule, its step halved from level to level; a piece whose
// rules do not settle is halved. A value counts once two levels agree beyond the digits.
// Terms that draw random numbers never come here: their extended integral is refused.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

#include "MathDigs/Interval.hpp"
#include "MathDigs/MathDigs.hpp"
#include "MathPars/MathPars.hpp"

namespace digits {

namespace {

// Digits beyond those asked for that two levels must agree on, and bits beyond those of
// the digits that every value is computed with (sums of many terms, nodes near an end).
constexpr int kMarginDigits = 10;
constexpr mpfr_prec_t kExtraBits = 32;
// Fejer levels from this many intervals on [-1, 1] up to the last; tanh-sinh levels up to a
// step of 2^-kLastTanhSinhLevel.
constexpr int kFirstFejer = 8;
constexpr int kLastFejer = 256;
constexpr int kLastTanhSinhLevel = 9;
// The first tanh-sinh level reaches at most this t; its terms count down to this share of
// the tolerance.
constexpr long kFarthestT = 10;
constexpr long double kNegligibleShare = 1e-3L;
// Halvings of a piece, and evaluations of the integrand times its bits in all.
constexpr int kMostHalvings = 24;
constexpr double kMostWork = 3e7;
// Breaks refined one by one: beyond this many the work is not worth starting.
constexpr std::size_t kMostBreaks = 4096;
// The extended result may be off by this share of the value beside its estimate.
constexpr long double kExtendedShare = 1e-14L;

// MPFR's macros want the pointers themselves.
int Sign(mpfr_srcptr v) {
  return mpfr_sgn(v);
}
bool IsZero(mpfr_srcptr v) {
  return mpfr_zero_p(v) != 0;
}
bool IsNumber(mpfr_srcptr v) {
  return mpfr_number_p(v) != 0;
}
mpfr_exp_t Exponent(mpfr_srcptr v) {
  return mpfr_get_exp(v);
}

// A vector of MPFR numbers of one precision.
class TReals {
 public:
  TReals(std::size_t count, mpfr_prec_t bits) : Values(count) {
    for (__mpfr_struct& v : Values) mpfr_init2(&v, bits);
  }
  ~TReals() {
    for (__mpfr_struct& v : Values) mpfr_clear(&v);
  }
  TReals(const TReals&) = delete;
  TReals& operator=(const TReals&) = delete;
  TReals(TReals&&) = delete;
  TReals& operator=(TReals&&) = delete;
  mpfr_ptr operator[](std::size_t i) { return &Values[i]; }
  mpfr_srcptr operator[](std::size_t i) const { return &Values[i]; }
  std::size_t size() const { return Values.size(); }

 private:
  std::vector<__mpfr_struct> Values;
};

// Fejer's second rule with n intervals: nodes cos(k*pi/n) for k = 1 .. n-1 with the
// weights 4*sin(t)/n * sum over j = 1 .. n/2 of sin((2j-1)*t)/(2j-1), t = k*pi/n.
struct TFejerRule {
  TFejerRule(int n, mpfr_prec_t bits)
      : Nodes(static_cast<std::size_t>(n), bits), Weights(static_cast<std::size_t>(n), bits) {
    const std::size_t size = 2 * static_cast<std::size_t>(n);
    const auto half = static_cast<std::size_t>(n / 2);
    TReals sines(size, bits);
    TReals inverse(half + 1, bits);
    // Sines of the first quarter turn; the rest by symmetry.
    TReal angle(bits);
    for (std::size_t m = 0; m <= half; ++m) {
      mpfr_const_pi(angle, MPFR_RNDN);
      mpfr_mul_ui(angle, angle, m, MPFR_RNDN);
      mpfr_div_ui(angle, angle, static_cast<unsigned long>(n), MPFR_RNDN);
      mpfr_sin(sines[m], angle, MPFR_RNDN);
    }
    for (std::size_t m = half + 1; m < size; ++m) {
      if (m <= 2 * half) {
        mpfr_set(sines[m], sines[2 * half - m], MPFR_RNDN);
      } else {
        mpfr_neg(sines[m], sines[m - 2 * half], MPFR_RNDN);
      }
    }
    for (std::size_t j = 1; j < inverse.size(); ++j) {
      mpfr_set_ui(inverse[j], 1, MPFR_RNDN);
      mpfr_div_ui(inverse[j], inverse[j], 2 * j - 1, MPFR_RNDN);
    }
    TReal sum(bits);
    TReal term(bits);
    // Nodes and weights are symmetric about the middle: cos(k*pi/n) = sin((n/2-k)*pi/n).
    for (std::size_t k = 1; k <= half; ++k) {
      mpfr_set(Nodes[k], sines[half - k], MPFR_RNDN);
      mpfr_neg(Nodes[2 * half - k], Nodes[k], MPFR_RNDN);
      mpfr_set_ui(sum, 0, MPFR_RNDN);
      for (std::size_t j = 1; j < inverse.size(); ++j) {
        mpfr_mul(term, sines[((2 * j - 1) * k) % size], inverse[j], MPFR_RNDN);
        mpfr_add(sum, sum, term, MPFR_RNDN);
      }
      mpfr_mul(sum, sum, sines[k], MPFR_RNDN);
      mpfr_mul_ui(sum, sum, 4, MPFR_RNDN);
      mpfr_div_ui(Weights[k], sum, static_cast<unsigned long>(n), MPFR_RNDN);
      mpfr_set(Weights[2 * half - k], Weights[k], MPFR_RNDN);
    }
  }
  TReals Nodes;
  TReals Weights;
};

struct TPieceResult {
  bool Settled = false;
  long double Error = 0;     // estimated absolute error of the value
  long double Absolute = 0;  // the integral of the absolute value, for the rounding
  long double Spread = 0;    // the values' own uncertainty, weighed as they are
};

class TQuadrature {
 public:
  TQuadrature(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
              const std::string& variable, mpfr_prec_t bits, long double tolerance)
      : Task(task),
        Evaluator(leaves, bits, true),
        Variable(variable),
        Bits(bits),
        Tolerance(tolerance),
        Point(bits),
        Value(bits),
        Diameter(std::numeric_limits<long double>::digits) {}

  // The integral over [a, b] into sum, its error into error; false where it cannot be
  // made certain.
  bool Integrate(mpfr_srcptr a, mpfr_srcptr b, mpfr_ptr sum, long double& error);

 private:
  bool At(mpfr_srcptr x, mpfr_ptr y);
  bool Piece(mpfr_srcptr a, mpfr_srcptr b, long double tolerance, int depth, mpfr_ptr sum,
             long double& error);
  TPieceResult Fejer(mpfr_srcptr a, mpfr_srcptr b, long double tolerance, mpfr_ptr sum,
                     bool& algebraic);
  TPieceResult TanhSinh(mpfr_srcptr a, mpfr_srcptr b, long double tolerance, mpfr_ptr sum);
  bool FejerLevel(int n, mpfr_srcptr middle, mpfr_srcptr radius, TReals& values,
                  std::vector<long double>& widths, mpfr_ptr level, TPieceResult& result);
  void TanhSinhNode(long j, int k, mpfr_srcptr radius, mpfr_ptr weight, mpfr_ptr distance);
  bool AddTanhSinhPair(mpfr_srcptr a, mpfr_srcptr b, bool middle, mpfr_srcptr weight,
                       mpfr_srcptr distance, mpfr_ptr total, TPieceResult& result);
  const TFejerRule& Rule(int n);
  bool OverBudget() const {
    return static_cast<double>(Evaluations) * static_cast<double>(Bits) > kMostWork;
  }

  const TKoDigitsIntegral& Task;
  TEvaluator Evaluator;
  const std::string& Variable;
  const mpfr_prec_t Bits;
  const long double Tolerance;
  TReal Point;
  TInterval Value;
  TReal Diameter;
  std::map<int, std::unique_ptr<TFejerRule>> Rules;
  std::int64_t Evaluations = 0;
  long double Width = 0;     // the width of the last value's enclosure
  long double LastTerm = 0;  // the larger of the last two tanh-sinh terms
  bool Failed = false;
};

long double Magnitude(mpfr_srcptr v) {
  return std::fabs(mpfr_get_ld(v, MPFR_RNDN));
}

// The integrand at x into y (the middle of its enclosure); false where it has no value.
bool TQuadrature::At(mpfr_srcptr x, mpfr_ptr y) {
  ++Evaluations;
  Evaluator.SetRunning(Variable, x);
  try {
    if (Evaluator.Evaluate(Task.Term, Value.get())) return false;
  } catch (const TUndecided&) {
    return false;
  }
  if (Task.ArcLength) {
    mpfi_sqr(Value.get(), Value.get());
    mpfi_add_ui(Value.get(), Value.get(), 1);
    mpfi_sqrt(Value.get(), Value.get());
  }
  if (!mpfi_bounded_p(Value.get())) return false;
  mpfi_mid(y, Value.get());
  mpfi_diam_abs(Diameter, Value.get());
  Width = mpfr_get_ld(Diameter, MPFR_RNDU);
  return IsNumber(y);
}

const TFejerRule& TQuadrature::Rule(int n) {
  std::unique_ptr<TFejerRule>& rule = Rules[n];
  if (!rule) rule = std::make_unique<TFejerRule>(n, Bits);
  return *rule;
}

// One Fejer level of n intervals on the piece middle +- radius into level: the nodes new at
// this level are evaluated, the others keep their values (and widths) from the one before.
bool TQuadrature::FejerLevel(int n, mpfr_srcptr middle, mpfr_srcptr radius, TReals& values,
                             std::vector<long double>& widths, mpfr_ptr level,
                             TPieceResult& result) {
  const TFejerRule& rule = Rule(n);
  const auto count = static_cast<std::size_t>(n);
  const std::size_t stride = static_cast<std::size_t>(kLastFejer) / count;
  TReal term(Bits);
  mpfr_set_ui(level, 0, MPFR_RNDN);
  long double absolute = 0;
  long double spread = 0;
  for (std::size_t k = 1; k < count; ++k) {
    const std::size_t slot = k * stride;
    if (n == kFirstFejer || k % 2 == 1) {
      mpfr_fma(Point, rule.Nodes[k], radius, middle, MPFR_RNDN);
      if (!At(Point, values[slot])) return false;
      widths[slot] = Width;
    }
    mpfr_mul(term, rule.Weights[k], values[slot], MPFR_RNDN);
    absolute += Magnitude(term);
    spread += Magnitude(rule.Weights[k]) * widths[slot];
    mpfr_add(level, level, term, MPFR_RNDN);
  }
  mpfr_mul(level, level, radius, MPFR_RNDN);
  result.Absolute = absolute * Magnitude(radius);
  result.Spread = spread * Magnitude(radius);
  return true;
}

// Slow and steady: each of the last differences of the levels a similar share of the one
// before, as toward an end where the integrand runs off.
bool Algebraic(const std::vector<long double>& differences) {
  const std::size_t count = differences.size();
  if (count < 3) return false;
  const long double r1 = differences[count - 1] / differences[count - 2];
  const long double r2 = differences[count - 2] / differences[count - 3];
  return r1 > 1e-3L && r1 < 0.9L && r2 > 1e-3L && r2 < 0.9L && r1 < 8 * r2 && r2 < 8 * r1;
}

// Fejer levels on [a, b] until two agree within tolerance; algebraic tells whether the
// differences of the levels shrank slowly and steadily.
TPieceResult TQuadrature::Fejer(mpfr_srcptr a, mpfr_srcptr b, long double tolerance, mpfr_ptr sum,
                                bool& algebraic) {
  TReal middle(Bits);
  TReal radius(Bits);
  mpfr_add(middle, a, b, MPFR_RNDN);
  mpfr_div_2ui(middle, middle, 1, MPFR_RNDN);
  mpfr_sub(radius, b, a, MPFR_RNDN);
  mpfr_div_2ui(radius, radius, 1, MPFR_RNDN);
  TReals values(static_cast<std::size_t>(kLastFejer), Bits);
  std::vector<long double> widths(static_cast<std::size_t>(kLastFejer));
  TReal level(Bits);
  TReal previous(Bits);
  TReal term(Bits);
  std::vector<long double> differences;
  TPieceResult result;
  algebraic = false;
  for (int n = kFirstFejer; n <= kLastFejer && !OverBudget(); n *= 2) {
    if (!FejerLevel(n, middle, radius, values, widths, level, result)) {
      Failed = true;
      return result;
    }
    mpfr_sub(term, level, previous, MPFR_RNDN);
    mpfr_swap(previous, level);
    if (n == kFirstFejer) continue;
    differences.push_back(Magnitude(term));
    if (differences.back() <= tolerance) {
      mpfr_set(sum, previous, MPFR_RNDN);
      result.Settled = true;
      result.Error = differences.back();
      return result;
    }
  }
  algebraic = Algebraic(differences);
  return result;
}

// The tanh-sinh node at t = j/2^k of a piece of the radius: its weight pi/2*cosh(t)/cosh(u)^2
// and its distance radius/(exp(u)*cosh(u)) to the nearer end, u = pi/2*sinh(t).
void TQuadrature::TanhSinhNode(long j, int k, mpfr_srcptr radius, mpfr_ptr weight,
                               mpfr_ptr distance) {
  TReal t(Bits), u(Bits), e(Bits), c(Bits), halfPi(Bits);
  mpfr_const_pi(halfPi, MPFR_RNDN);
  mpfr_div_2ui(halfPi, halfPi, 1, MPFR_RNDN);
  mpfr_set_si(t, j, MPFR_RNDN);
  mpfr_div_2ui(t, t, static_cast<unsigned long>(k), MPFR_RNDN);
  mpfr_sinh(u, t, MPFR_RNDN);
  mpfr_mul(u, u, halfPi, MPFR_RNDN);
  mpfr_exp(e, u, MPFR_RNDN);
  mpfr_cosh(c, u, MPFR_RNDN);
  mpfr_cosh(weight, t, MPFR_RNDN);
  mpfr_mul(weight, weight, halfPi, MPFR_RNDN);
  mpfr_div(weight, weight, c, MPFR_RNDN);
  mpfr_div(weight, weight, c, MPFR_RNDN);
  mpfr_mul(distance, e, c, MPFR_RNDN);
  mpfr_ui_div(distance, 1, distance, MPFR_RNDN);
  mpfr_mul(distance, distance, radius, MPFR_RNDN);
}

// The node at the distance from each end (the middle once) added to total with its
// weight; false where the integrand has no value there.
bool TQuadrature::AddTanhSinhPair(mpfr_srcptr a, mpfr_srcptr b, bool middle, mpfr_srcptr weight,
                                  mpfr_srcptr distance, mpfr_ptr total, TPieceResult& result) {
  TReal y(Bits), term(Bits);
  for (int side = 0; side < (middle ? 1 : 2); ++side) {
    if (side == 0) {
      mpfr_add(Point, a, distance, MPFR_RNDN);
    } else {
      mpfr_sub(Point, b, distance, MPFR_RNDN);
    }
    // A node that rounds to an end adds nothing the bits could tell.
    if (mpfr_equal_p(Point, a) || mpfr_equal_p(Point, b)) continue;
    if (!At(Point, y)) return false;
    mpfr_mul(term, weight, y, MPFR_RNDN);
    LastTerm = side == 0 ? Magnitude(term) : std::fmax(LastTerm, Magnitude(term));
    result.Absolute += Magnitude(term);
    result.Spread += Magnitude(weight) * Width;
    mpfr_add(total, total, term, MPFR_RNDN);
  }
  return true;
}

// Tanh-sinh levels on [a, b]: x = a + r*(1 + tanh(pi/2*sinh(t))), the distances to the
// ends computed on their own, so that nodes come as near to an end as the bits can tell.
TPieceResult TQuadrature::TanhSinh(mpfr_srcptr a, mpfr_srcptr b, long double tolerance,
                                   mpfr_ptr sum) {
  TReal radius(Bits);
  mpfr_sub(radius, b, a, MPFR_RNDN);
  mpfr_div_2ui(radius, radius, 1, MPFR_RNDN);
  // Beyond this t the nodes lie within 2^-2bits of the piece's width of an end.
  // (In long double: the double logarithms bring resolvers that every run would call.)
  const long double last =
      std::asinh(2 * static_cast<long double>(Bits) * std::numbers::ln2_v<long double> /
                 std::numbers::pi_v<long double>);
  TReal weight(Bits), distance(Bits);
  TReal level(Bits), previous(Bits), total(Bits), term(Bits);
  mpfr_set_ui(total, 0, MPFR_RNDN);
  TPieceResult result;
  // The first level goes on beyond last while its terms still count (x^-0.9 toward 0),
  // and every later level as far.
  long reach = std::lround(std::ceil(last));
  for (int k = 0; k <= kLastTanhSinhLevel && !OverBudget(); ++k) {
    const long steps = reach << k;
    for (long j = k == 0 ? 0 : 1; j <= steps || (k == 0 && j <= kFarthestT); j += k == 0 ? 1 : 2) {
      if (k == 0 && j > steps) {
        if (!(LastTerm * Magnitude(radius) > tolerance * kNegligibleShare)) break;
        reach = j;
      }
      TanhSinhNode(j, k, radius, weight, distance);
      if (!AddTanhSinhPair(a, b, j == 0, weight, distance, total, result)) {
        Failed = true;
        return result;
      }
    }
    mpfr_mul(level, total, radius, MPFR_RNDN);
    mpfr_div_2ui(level, level, static_cast<unsigned long>(k), MPFR_RNDN);
    mpfr_sub(term, level, previous, MPFR_RNDN);
    mpfr_swap(previous, level);
    const long double difference = Magnitude(term);
    if (k < 3 || difference > tolerance) continue;
    mpfr_set(sum, previous, MPFR_RNDN);
    result.Settled = true;
    result.Error = difference;
    result.Absolute *= Magnitude(radius) * std::ldexp(1.0L, -k);
    result.Spread *= Magnitude(radius) * std::ldexp(1.0L, -k);
    return result;
  }
  return result;
}

// One piece: Fejer's rule, tanh-sinh where the integrand seems to run off toward an end,
// else the two halves with half the tolerance each.
bool TQuadrature::Piece(mpfr_srcptr a, mpfr_srcptr b, long double tolerance, int depth,
                        mpfr_ptr sum, long double& error) {
  bool algebraic = false;
  TPieceResult result = Fejer(a, b, tolerance, sum, algebraic);
  if (!result.Settled && !Failed && algebraic) result = TanhSinh(a, b, tolerance, sum);
  if (Failed) return false;
  if (result.Settled) {
    // Each sum's rounding: a few units of the last bit of its terms' magnitudes per node.
    error += result.Error + result.Spread +
             result.Absolute * std::ldexp(1.0L, -static_cast<int>(Bits) + 16);
    return true;
  }
  if (depth >= kMostHalvings || OverBudget()) return false;
  TReal middle(Bits);
  mpfr_add(middle, a, b, MPFR_RNDN);
  mpfr_div_2ui(middle, middle, 1, MPFR_RNDN);
  if (mpfr_lessequal_p(middle, a) || mpfr_greaterequal_p(middle, b)) return false;
  TReal right(Bits);
  if (!Piece(a, middle, tolerance / 2, depth + 1, sum, error)) return false;
  if (!Piece(middle, b, tolerance / 2, depth + 1, right, error)) return false;
  mpfr_add(sum, sum, right, MPFR_RNDN);
  return true;
}

bool TQuadrature::Integrate(mpfr_srcptr a, mpfr_srcptr b, mpfr_ptr sum, long double& error) {
  return Piece(a, b, Tolerance, 0, sum, error);
}

// The point where the break's argument meets its target, refined from the extended one by
// regula falsi (Illinois) at full precision; false where no change of sign brackets it and
// the extended point is not the break itself.
class TBreakRefiner {
 public:
  TBreakRefiner(const TKoDigitsLeaves& leaves, const std::string& variable, mpfr_prec_t bits)
      : Evaluator(leaves, bits, true), Variable(variable), Bits(bits) {}

  bool Refine(const TKoDigitsBreak& b, mpfr_ptr x) {
    TReal target(Bits);
    mpfr_set_ld(target, b.Target, MPFR_RNDN);
    if (b.OfPi) {
      TReal pi(Bits);
      mpfr_const_pi(pi, MPFR_RNDN);
      mpfr_mul(target, target, pi, MPFR_RNDN);
    }
    TReal l(Bits), r(Bits), gl(Bits), gr(Bits), g(Bits), step(Bits);
    mpfr_set_ld(x, b.Approximate, MPFR_RNDN);
    if (!Gap(b.Argument, x, target, g)) return false;
    if (IsZero(g)) return true;
    // A bracket a few units of the extended last place wide, widened where it holds none.
    const long double unit = std::fmax(std::fabs(b.Approximate), 1e-4000L) * 0x1p-60L;
    for (long double width = unit; width < unit * 0x1p20L; width *= 16) {
      mpfr_set_ld(step, width, MPFR_RNDN);
      mpfr_sub(l, x, step, MPFR_RNDN);
      mpfr_add(r, x, step, MPFR_RNDN);
      if (!Gap(b.Argument, l, target, gl) || !Gap(b.Argument, r, target, gr)) return false;
      if (Sign(gl) * Sign(gr) <= 0) return Solve(b.Argument, target, l, r, gl, gr, x);
    }
    return false;
  }

 private:
  bool Gap(const TKoOperatorNode* argument, mpfr_srcptr x, mpfr_srcptr target, mpfr_ptr g) {
    Evaluator.SetRunning(Variable, x);
    TInterval v(Bits);
    try {
      if (Evaluator.Evaluate(argument, v.get())) return false;
    } catch (const TUndecided&) {
      return false;
    }
    mpfi_mid(g, v.get());
    mpfr_sub(g, g, target, MPFR_RNDN);
    return IsNumber(g);
  }

  bool Solve(const TKoOperatorNode* argument, mpfr_srcptr target, mpfr_ptr l, mpfr_ptr r,
             mpfr_ptr gl, mpfr_ptr gr, mpfr_ptr x) {
    if (IsZero(gl)) return mpfr_set(x, l, MPFR_RNDN), true;
    if (IsZero(gr)) return mpfr_set(x, r, MPFR_RNDN), true;
    TReal g(Bits), q(Bits), width(Bits);
    int side = 0;
    for (int i = 0; i < 4 * static_cast<int>(Bits); ++i) {
      // x = l - gl*(r-l)/(gr-gl), a halving every fourth step.
      mpfr_sub(width, r, l, MPFR_RNDN);
      if (i % 4 == 3) {
        mpfr_div_2ui(q, width, 1, MPFR_RNDN);
        mpfr_add(x, l, q, MPFR_RNDN);
      } else {
        mpfr_sub(q, gr, gl, MPFR_RNDN);
        mpfr_div(q, gl, q, MPFR_RNDN);
        mpfr_mul(q, q, width, MPFR_RNDN);
        mpfr_sub(x, l, q, MPFR_RNDN);
      }
      if (!mpfr_greater_p(x, l) || !mpfr_less_p(x, r)) {
        mpfr_div_2ui(q, width, 1, MPFR_RNDN);
        mpfr_add(x, l, q, MPFR_RNDN);
        if (!mpfr_greater_p(x, l) || !mpfr_less_p(x, r)) return true;
      }
      if (!Gap(argument, x, target, g)) return false;
      if (IsZero(g)) return true;
      if (Sign(g) == Sign(gl)) {
        mpfr_swap(l, x);
        mpfr_set(gl, g, MPFR_RNDN);
        if (side == -1) mpfr_div_2ui(gr, gr, 1, MPFR_RNDN);
        side = -1;
      } else {
        mpfr_swap(r, x);
        mpfr_set(gr, g, MPFR_RNDN);
        if (side == 1) mpfr_div_2ui(gl, gl, 1, MPFR_RNDN);
        side = 1;
      }
      // Within the last bits of the point: done.
      mpfr_sub(width, r, l, MPFR_RNDN);
      if (!IsZero(l) && Exponent(width) < Exponent(l) - static_cast<mpfr_exp_t>(Bits) + 4) {
        mpfr_set(x, l, MPFR_RNDN);
        return true;
      }
    }
    return false;
  }

  TEvaluator Evaluator;
  const std::string& Variable;
  const mpfr_prec_t Bits;
};

// A bound as written: a number with all its digits, a constant term (pi/2) to the bits, else
// the extended value.
void SetBound(mpfr_ptr x, const std::string& text, long double value,
              const TKoDigitsLeaves& leaves) {
  if (!text.empty() && mpfr_set_str(x, text.c_str(), 10, MPFR_RNDN) == 0) return;
  mpfr_set_ld(x, value, MPFR_RNDN);
  if (text.empty()) return;
  TKoVarDepot depot;
  TKoNodePtr tree;
  try {
    tree = ParseTerm(text, &depot);
  } catch (const Exception&) {
    return;
  }
  if (!tree) return;
  const mpfr_prec_t bits = mpfr_get_prec(x);
  try {
    TEvaluator evaluator(leaves, bits, true);
    TInterval v(bits);
    if (evaluator.Evaluate(tree.get(), v.get()) == nullptr && digits::Narrow(v.get(), bits))
      mpfi_mid(x, v.get());
  } catch (const TUndecided&) {
    // the extended value stays
  }
}

// The ends of the pieces: the bounds and the refined breaks between them, ascending.
bool PieceEnds(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
               const std::string& variable, mpfr_prec_t bits, TReals& ends, std::size_t& count) {
  SetBound(ends[0], task.FromText, task.From, leaves);
  count = 1;
  TBreakRefiner refiner(leaves, variable, bits);
  for (const TKoDigitsBreak& b : task.Breaks) {
    if (!refiner.Refine(b, ends[count])) return false;
    ++count;
  }
  SetBound(ends[count], task.ToText, task.To, leaves);
  ++count;
  std::vector<mpfr_ptr> order;
  for (std::size_t i = 0; i < count; ++i) order.push_back(ends[i]);
  std::sort(order.begin() + 1, order.end() - 1,
            [](mpfr_ptr x, mpfr_ptr y) { return mpfr_less_p(x, y) != 0; });
  TReals sorted(count, bits);
  std::size_t kept = 0;
  for (mpfr_ptr p : order) {
    if (kept > 0 && !mpfr_greater_p(p, sorted[kept - 1])) continue;
    mpfr_set(sorted[kept++], p, MPFR_RNDN);
  }
  // A break beyond the upper bound: the bounds decide, as for the extended value.
  if (!mpfr_equal_p(sorted[kept - 1], order.back())) return false;
  for (std::size_t i = 0; i < kept; ++i) mpfr_set(ends[i], sorted[i], MPFR_RNDN);
  count = kept;
  return true;
}

std::optional<TKoDigitsOutcome> AtBits(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
                                       const std::string& variable, std::int32_t digits,
                                       mpfr_prec_t bits);

}  // namespace

}  // namespace digits

TKoDigitsOutcome IntegralToDigits(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
                                  const std::string& variable, std::int32_t digits) {
  using namespace digits;
  TKoDigitsOutcome refused{kTextNotDecidable, true};
  if (digits > kMostIntegralDigits || !task.Term || !(task.Estimate != 0) ||
      !std::isfinite(task.Estimate) || task.Breaks.size() > kMostBreaks)
    return refused;
  WidenExponents();
  // Nodes near an end other than 0 keep only the bits of their distance beside the end's:
  // where the first bits do not settle, twice as many.
  const mpfr_prec_t first = BitsFor(digits) + kExtraBits;
  for (mpfr_prec_t bits = first; bits <= 2 * first; bits *= 2) {
    std::optional<TKoDigitsOutcome> outcome = AtBits(task, leaves, variable, digits, bits);
    if (outcome) return *outcome;
  }
  return refused;
}

namespace digits {
namespace {

std::optional<TKoDigitsOutcome> AtBits(const TKoDigitsIntegral& task, const TKoDigitsLeaves& leaves,
                                       const std::string& variable, std::int32_t digits,
                                       mpfr_prec_t bits) {
  TReals ends(task.Breaks.size() + 2, bits);
  std::size_t count = 0;
  if (!PieceEnds(task, leaves, variable, bits, ends, count)) return std::nullopt;
  const long double scale = std::fabs(task.Estimate);
  const long double tolerance = scale *
                                std::pow(10.0L, -static_cast<long double>(digits + kMarginDigits)) /
                                static_cast<long double>(count);
  TQuadrature quadrature(task, leaves, variable, bits, tolerance);
  TReal total(bits), piece(bits);
  mpfr_set_ui(total, 0, MPFR_RNDN);
  long double error = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (!quadrature.Integrate(ends[i], ends[i + 1], piece, error)) return std::nullopt;
    mpfr_add(total, total, piece, MPFR_RNDN);
  }
  // The extended value must agree: a part of the integrand both missed is unlikely.
  const long double value = mpfr_get_ld(total, MPFR_RNDN);
  if (!(std::fabs(value - task.Estimate) <=
        8 * task.EstimateError + kExtendedShare * std::fabs(value)))
    return TKoDigitsOutcome{kTextNotDecidable, true};
  // The digits where the whole enclosure rounds alike.
  TReal low(bits), high(bits), bound(bits);
  mpfr_set_ld(bound, error, MPFR_RNDU);
  mpfr_sub(low, total, bound, MPFR_RNDD);
  mpfr_add(high, total, bound, MPFR_RNDU);
  if (Sign(low) != Sign(high)) return std::nullopt;
  const TDecimal rounded = Rounded(low, digits);
  if (!(rounded == Rounded(high, digits))) return std::nullopt;
  return TKoDigitsOutcome{DigitsText(rounded.Digits, rounded.Exponent, digits), false};
}

}  // namespace
}  // namespace digits
