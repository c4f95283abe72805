#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <numbers>

#include "MathXFnc/MathXFnc.hpp"

namespace {

// The values of an argument at which its function jumps, kinks, runs off or ends: one or
// two single values, or Offset + k * Period for every whole k.
struct TTargets {
  long double Offset = 0;
  long double Period = 0;  // 0: the single values alone
  long double Singles[2] = {0, 0};
  int SingleCount = 0;
  bool PiPeriod = false;  // the period is pi: the targets are multiples of pi
};

constexpr long double kPi = std::numbers::pi_v<long double>;

TTargets Single(long double v) {
  TTargets t;
  t.Singles[0] = v;
  t.SingleCount = 1;
  return t;
}

TTargets PlusMinusOne() {
  TTargets t;
  t.Singles[0] = -1;
  t.Singles[1] = 1;
  t.SingleCount = 2;
  return t;
}

TTargets Periodic(long double offset, long double period) {
  TTargets t;
  t.Offset = offset;
  t.Period = period;
  return t;
}

bool IsWholeAndNotNegative(const TKoOperatorNode* node) {
  if (!node || node->Operation != opConstant) return false;
  const long double v = node->LeafValue();
  return v >= 0 && v == std::floor(v);
}

bool IsOneOf(TOperation op, std::initializer_list<TOperation> ops) {
  return std::find(ops.begin(), ops.end(), op) != ops.end();
}

// The targets of an operand of node, false where it has none.
bool TargetsOf(const TKoOperatorNode& node, std::int32_t operand, TTargets& t) {
  const TOperation op = node.Operation;
  // Every divisor, and the base of a power with one exponent unless that is a whole number
  // not below 0.
  const bool divisor = op == opQuotient && operand > 0;
  const bool base = op == opPower && operand == 0 && node.ChildCount() == 2 &&
                    !IsWholeAndNotNegative(node.Child(1));
  if (divisor || base ||
      IsOneOf(op, {opAbs, opSgn, opHeav, opZero, opPhase, opLn, opLog, opLd, opSqrt, opCoth})) {
    t = Single(0);
  } else if (IsOneOf(op, {opFloor, opCeil, opTrunc, opFrac, opFactorial})) {
    // x! of a non-whole x is Gamma(x+1), with poles at the negative whole numbers.
    t = Periodic(0, 1);
  } else if (op == opRound) {
    // round is floor(u + 0.5): it jumps at the halves.
    t = Periodic(0.5L, 1);
  } else if (op == opTan) {
    t = Periodic(kPi / 2, kPi);
    t.PiPeriod = true;
  } else if (op == opCot) {
    t = Periodic(0, kPi);
    t.PiPeriod = true;
  } else if (IsOneOf(op, {opArcSin, opArcCos, opArcTanh, opArcCoth})) {
    t = PlusMinusOne();
  } else if (op == opArcCosh) {
    t = Single(1);
  } else {
    return false;
  }
  return true;
}

// Cells the interval is sampled in per argument, and the most points in all.
constexpr int kCells = 1024;
constexpr std::size_t kMostPoints = 100000;
constexpr int kMostRootSteps = 200;
constexpr int kMostHalvings = 20000;

class TBreakFinder {
 public:
  TBreakFinder(const std::string& var, long double* running, long double from, long double to)
      : Var(var), Running(running), From(from), To(to) {}
  void Walk(const TKoOperatorNode& node);
  // Each point with the argument and the value it meets there.
  std::vector<TKoBreakCause> Causes;

 private:
  bool Value(long double x, long double& u) {
    *Running = x;
    return Program.Run(u) && std::isfinite(u);
  }
  void Search(const TTargets& t);
  void Cross(long double target, long double l, long double r, long double ul, long double ur);
  void Record(long double point, long double target);
  long double Root(long double target, long double l, long double r, long double gl,
                   long double gr);

  const std::string& Var;
  long double* Running;
  long double From;
  long double To;
  TKoEvalProgram Program;
  const TKoOperatorNode* Argument = nullptr;
  bool PiPeriod = false;
};

void TBreakFinder::Walk(const TKoOperatorNode& node) {
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) {
    const TKoOperatorNode* child = node.Child(i);
    if (!child) continue;
    Walk(*child);
    TTargets t;
    if (Causes.size() >= kMostPoints || !TargetsOf(node, i, t) || !child->DependsOn(Var)) continue;
    if (!Program.Compile(child)) continue;
    Argument = child;
    PiPeriod = t.PiPeriod;
    Search(t);
  }
}

// The targets the argument meets between the samples.
void TBreakFinder::Search(const TTargets& t) {
  long double previousX = From;
  long double previousU = 0;
  bool previousValid = Value(From, previousU);
  for (int i = 1; i <= kCells && Causes.size() < kMostPoints; ++i) {
    const long double x =
        i == kCells ? To : From + (To - From) * static_cast<long double>(i) / kCells;
    long double u = 0;
    const bool valid = Value(x, u);
    if (valid && previousValid) {
      for (int s = 0; s < t.SingleCount; ++s) Cross(t.Singles[s], previousX, x, previousU, u);
      if (t.Period > 0) {
        const long double low = std::fmin(previousU, u), high = std::fmax(previousU, u);
        const long double first = std::ceil((low - t.Offset) / t.Period);
        const long double last = std::floor((high - t.Offset) / t.Period);
        for (long double k = first; k <= last && Causes.size() < kMostPoints; ++k)
          Cross(t.Offset + k * t.Period, previousX, x, previousU, u);
      }
    }
    previousX = x;
    previousU = u;
    previousValid = valid;
  }
}

// The point between l and r where the argument, ul at l and ur at r, meets target.
void TBreakFinder::Cross(long double target, long double l, long double r, long double ul,
                         long double ur) {
  const long double gl = ul - target, gr = ur - target;
  if (gl == 0) {
    Record(l, target);
  } else if (gr == 0) {
    Record(r, target);
  } else if ((gl < 0) != (gr < 0)) {
    Record(Root(target, l, r, gl, gr), target);
  }
}

void TBreakFinder::Record(long double point, long double target) {
  // A multiple of pi as the multiple itself, which is a whole number or a half.
  const long double value = PiPeriod ? std::round(2 * target / kPi) / 2 : target;
  Causes.push_back({point, Argument, value, PiPeriod});
}

// Regula falsi with the Illinois weighting, a halving where it stalls, to the last place;
// halvings alone after so many steps.
long double TBreakFinder::Root(long double target, long double l, long double r, long double gl,
                               long double gr) {
  int side = 0;  // the end kept in the last step: -1 left, 1 right
  for (int step = 0; step < kMostRootSteps + kMostHalvings; ++step) {
    const long double middle = l / 2 + r / 2;
    if (middle <= l || middle >= r) break;
    // Where the argument is very flat (x^9 near 0) the secant stalls: then only halvings.
    long double x = step % 4 == 3 || step >= kMostRootSteps ? middle : l - gl * (r - l) / (gr - gl);
    if (!(x > l && x < r)) x = middle;
    long double u = 0;
    if (!Value(x, u)) return middle;
    const long double g = u - target;
    if (g == 0) return x;
    if ((g < 0) == (gl < 0)) {
      l = x;
      gl = g;
      if (side == -1) gr /= 2;
      side = -1;
    } else {
      r = x;
      gr = g;
      if (side == 1) gl /= 2;
      side = 1;
    }
  }
  return std::fabs(gl) <= std::fabs(gr) ? l : r;
}

}  // namespace

namespace {

// Every point of the arguments' targets with its cause, in the order the walk finds them.
std::vector<TKoBreakCause> FindCauses(const TKoOperatorNode* root, const std::string& var,
                                      long double* running, long double from, long double to,
                                      bool* complete) {
  if (complete) *complete = true;
  if (!root || !running || !(to > from)) return {};
  const long double saved = *running;
  TBreakFinder finder(var, running, from, to);
  finder.Walk(*root);
  *running = saved;
  if (complete) *complete = finder.Causes.size() < kMostPoints;
  return std::move(finder.Causes);
}

}  // namespace

std::vector<long double> BreakPoints(const TKoOperatorNode* root, const std::string& var,
                                     long double* running, long double from, long double to,
                                     bool* complete) {
  std::vector<long double> points;
  for (const TKoBreakCause& c : FindCauses(root, var, running, from, to, complete))
    points.push_back(c.Point);
  std::sort(points.begin(), points.end());
  std::vector<long double> inside;
  for (const long double p : points)
    if (p > from && p < to && (inside.empty() || p > inside.back())) inside.push_back(p);
  return inside;
}

std::vector<TKoBreakCause> BreakCauses(const TKoOperatorNode* root, const std::string& var,
                                       long double* running, long double from, long double to,
                                       bool* complete) {
  std::vector<TKoBreakCause> inside;
  for (const TKoBreakCause& c : FindCauses(root, var, running, from, to, complete))
    if (c.Point > from && c.Point < to) inside.push_back(c);
  std::stable_sort(
      inside.begin(), inside.end(),
      [](const TKoBreakCause& a, const TKoBreakCause& b) { return a.Point < b.Point; });
  // A target met at a sample is met by the cells on both sides.
  const auto same = [](const TKoBreakCause& a, const TKoBreakCause& b) {
    return a.Point == b.Point && a.Argument == b.Argument && a.Target == b.Target &&
           a.OfPi == b.OfPi;
  };
  inside.erase(std::unique(inside.begin(), inside.end(), same), inside.end());
  return inside;
}
