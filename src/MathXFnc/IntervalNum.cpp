#include <cmath>
#include <limits>
#include <new>

#include "MathXFnc/MathXFnc.hpp"

namespace {

long double Sum(long double a, long double b) {
  return a + b;
}

// The integral of the parabola through the ends and the middle of [a, b].
long double Simpson(long double a, long double b, long double fa, long double fm, long double fb) {
  return (b - a) / 6 * (fa + 4 * fm + fb);
}

// The arc from P0 = (a, fa) through P1 = (m, fm) to P2 = (b, fb) on their circle. At P1
// the path turns by the angle t between the chords P0P1 and P1P2; by the inscribed
// angle theorem that arc subtends 2t at the centre and its radius is chord / (2 sin t),
// so it is chord * t / sin t long: the longer arc when t exceeds pi/2. This form by angles
// stays finite where slopes overflow. Collinear points give the chord, and so does a
// middle point that coincides with an end in a piece only a unit or two wide.
long double ArcByAngles(long double a, long double m, long double b, long double fa, long double fm,
                        long double fb) {
  const long double chord = std::hypot(b - a, fb - fa);
  const long double dx1 = m - a, dy1 = fm - fa;
  const long double dx2 = b - m, dy2 = fb - fm;
  if ((dx1 == 0 && dy1 == 0) || (dx2 == 0 && dy2 == 0)) return chord;
  const long double turn = std::fabs(std::atan2(dy2, dx2) - std::atan2(dy1, dx1));
  if (turn == 0) return chord;
  return chord * (turn / std::sin(turn));
}

// The same arc with one angle, as long as the squares stay normal numbers: sin t is the
// cross product of the chords over their lengths, t the angle of cross and dot product.
// Where the path nearly reverses (t near pi), the difference of two angles would lose the
// digits of pi - t that this keeps.
long double ArcThrough(long double a, long double m, long double b, long double fa, long double fm,
                       long double fb) {
  const long double dx = b - a, dy = fb - fa;
  const long double dx1 = m - a, dy1 = fm - fa;
  const long double dx2 = b - m, dy2 = fb - fm;
  const long double chordSquare = dx * dx + dy * dy;
  const long double lengthsSquare = (dx1 * dx1 + dy1 * dy1) * (dx2 * dx2 + dy2 * dy2);
  constexpr long double kLargest = std::numeric_limits<long double>::max();
  constexpr long double kSmallest = std::numeric_limits<long double>::min();
  if (!(lengthsSquare >= kSmallest && lengthsSquare <= kLargest && chordSquare >= kSmallest &&
        chordSquare <= kLargest))
    return ArcByAngles(a, m, b, fa, fm, fb);
  const long double chord = std::sqrt(chordSquare);
  const long double cross = std::fabs(dx1 * dy2 - dy1 * dx2);
  if (cross == 0) return chord;
  const long double sine = std::fmin(cross / std::sqrt(lengthsSquare), 1.0L);
  return chord * (std::atan2(cross, dx1 * dx2 + dy1 * dy2) / sine);
}

// Pieces between two reports of progress: a report costs nothing beside so many pieces.
constexpr std::int32_t kPiecesPerReport = 1 << 14;

// The refusal of an interval shorter than one step, with its three numbers.
std::string IllegalIntervalText(long double from, long double to, long double step) {
  return kTextIllegalInterval + DataToText(&from, dtExtended) + kTextIllegalIntervalTo +
         DataToText(&to, dtExtended) + kTextIllegalIntervalStep + DataToText(&step, dtExtended);
}

}  // namespace

void TKoMathIntervalNumFunction::SetIntervalStep(long double v) {
  if (!(v > 0)) throw EKoIllegalIntIntervall(kTextIntervalStepZero);
  IntervalStep = v;
}

std::int32_t TKoMathIntervalNumFunction::PieceCount() const {
  const long double length = IntervalTo - IntervalFrom;
  if (!(length > 0)) throw EKoIllegalIntIntervall(kTextIntervalReversed);
  const long double count = std::trunc(length / IntervalStep);
  if (count > std::numeric_limits<std::int32_t>::max())
    throw EKoIllegalIntIntervall(kTextTooManyPieces);
  if (count < 1)
    throw EKoIllegalIntIntervall(IllegalIntervalText(IntervalFrom, IntervalTo, IntervalStep));
  return static_cast<std::int32_t>(count);
}

// Each bound is taken from the start afresh, so rounding does not add up over the pieces.
long double TKoMathIntervalNumFunction::Bound(std::int32_t i) const {
  return IntervalFrom + static_cast<long double>(i) * IntervalStep;
}

void TKoMathIntervalNumFunction::Calculate() {
  Value = 0;
  try {
    BindRunningVar();
    const std::int32_t count = PieceCount();
    const TProgress progress;
    // A piece starts where the last one ended: its value there is the last one's end value,
    // unless each evaluation may draw a new random number.
    const bool reuse = HasProgram();
    ErrorEstimate = 0;
    Scale = 0;
    if (reuse && EstimateError) {
      Value = SumWithEstimate(count, progress);
    } else {
      long double f = reuse ? EvaluateAt(Bound(0)) : 0;
      for (std::int32_t i = 1; i <= count; ++i) {
        const long double a = Bound(i - 1), b = Bound(i);
        Value = CheckedOp(Sum, Value, reuse ? PieceValue(a, b, f, f) : PieceValue(a, b));
        if (i % kPiecesPerReport == 0) progress.Report(static_cast<double>(i) / count);
      }
      const long double last = Bound(count);
      if (last < IntervalTo)
        Value = CheckedOp(
            Sum, Value, reuse ? PieceValue(last, IntervalTo, f, f) : PieceValue(last, IntervalTo));
    }
  } catch (const Exception& e) {
    ReportFailure(e);
    return;
  } catch (const std::bad_alloc&) {
    ReportFailure();
    return;
  }
  DropProgram();
}

// The sum of the pieces as Calculate makes it, value for value, and beside it the same rule
// on pairs of pieces: their difference is about 15 times the error of the finer rule, whose
// error falls with the fourth power of the width.
long double TKoMathIntervalNumFunction::SumWithEstimate(std::int32_t count,
                                                        const TProgress& progress) {
  long double sum = 0;
  long double pairs = 0, coarse = 0, scale = 0;
  long double f = EvaluateAt(Bound(0));
  long double pairStart = f, pairMiddle = 0, firstOfPair = 0;
  for (std::int32_t i = 1; i <= count; ++i) {
    const long double a = Bound(i - 1), b = Bound(i);
    const long double fa = f;
    const long double piece = PieceValue(a, b, f, f);
    sum = CheckedOp(Sum, sum, piece);
    scale += ArcLength() ? piece : std::fabs(fa) * (b - a);
    if (i % 2 == 1) {
      pairMiddle = f;
      firstOfPair = piece;
    } else {
      pairs += firstOfPair + piece;
      coarse += CoarseValue(Bound(i - 2), a, b, pairStart, pairMiddle, f);
      pairStart = f;
    }
    if (i % kPiecesPerReport == 0) progress.Report(static_cast<double>(i) / count);
  }
  const long double last = Bound(count);
  if (last < IntervalTo) sum = CheckedOp(Sum, sum, PieceValue(last, IntervalTo, f, f));
  if (count >= 2 && std::isfinite(pairs) && std::isfinite(coarse)) {
    ErrorEstimate = std::fabs(pairs - coarse) / 15;
    Scale = scale;
  }
  return sum;
}

// The points in the order a, m, b; with fa known the first new one is m.
long double TKoMathIntgNumFunction::PieceValue(long double a, long double b, long double fa,
                                               long double& fb) {
  const long double m = (b + a) * 0.5L;
  const long double fm = EvaluateAt(m);
  fb = EvaluateAt(b);
  return CheckedOp(Simpson, a, b, fa, fm, fb);
}

// The points in the order a, b, m.
long double TKoMathLenNumFunction::PieceValue(long double a, long double b, long double fa,
                                              long double& fb) {
  const long double m = (b + a) * 0.5L;
  fb = EvaluateAt(b);
  const long double fm = EvaluateAt(m);
  return CheckedOp(ArcThrough, a, m, b, fa, fm, fb);
}

long double TKoMathIntgNumFunction::CoarseValue(long double a, long double m, long double b,
                                                long double fa, long double fm, long double fb) {
  static_cast<void>(m);
  return Simpson(a, b, fa, fm, fb);
}

long double TKoMathLenNumFunction::CoarseValue(long double a, long double m, long double b,
                                               long double fa, long double fm, long double fb) {
  return ArcThrough(a, m, b, fa, fm, fb);
}
