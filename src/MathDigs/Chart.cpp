#include "MathDigs/Chart.hpp"

#include <algorithm>
#include <chrono>
#include <limits>

namespace digits {

namespace {

// A stretch this many bits below its magnitude (and 1) is a point for the chart.
constexpr mpfr_prec_t kTinyBelowBits = 24;
// Where a piece is split, as a fraction of it.
constexpr double kSplitAt = 0.4995117;
// A chart ends after this long at most, whatever its budget, and looks at the clock after so
// many pieces.
constexpr long kChartMilliseconds = 1200;
constexpr std::size_t kClockEvery = 64;
// Interval Newton's steps for a single zero; a step that does not halve it is a bisection.
constexpr int kRefineSteps = 400;

mpfr_srcptr Low(mpfi_srcptr x) {
  return &x->left;
}
mpfr_srcptr High(mpfi_srcptr x) {
  return &x->right;
}

TSign SignOf(mpfi_srcptr v) {
  if (mpfr_sgn(Low(v)) > 0) return TSign::kPositive;
  if (mpfr_sgn(High(v)) < 0) return TSign::kNegative;
  return TSign::kUnknown;
}

bool IsDefinite(TSign s) {
  return s == TSign::kPositive || s == TSign::kNegative;
}

std::shared_ptr<TInterval> Range(mpfr_srcptr from, mpfr_srcptr to, mpfr_prec_t bits) {
  auto piece = std::make_shared<TInterval>(bits);
  mpfi_interv_fr(piece->get(), from, to);
  return piece;
}

}  // namespace

struct TCharter::TLeaf {
  enum TState : std::uint8_t { kSign, kZero, kSingular, kCluster, kNone, kUnknown, kVanishing };
  std::shared_ptr<TInterval> Piece;
  TState State = kUnknown;
  TSign Left = TSign::kUnknown;
  TSign Right = TSign::kUnknown;
  bool ZeroAtLow = false;  // the value at the piece's start is exactly 0
};

void MiddleAsExtended(mpfi_srcptr x, mpfr_ptr out) {
  if (mpfi_has_zero(x) > 0) {
    mpfr_set_ui(out, 0, MPFR_RNDN);
    return;
  }
  mpfi_mid(out, x);
  const long double near = mpfr_get_ld(out, MPFR_RNDN);
  mpfr_set_ld(out, near, MPFR_RNDN);
}

TCharter::TCharter(const TChartTerm& term, mpfr_prec_t bits)
    : Source(term), Bits(bits), Evaluator(*term.Leaves, bits, false) {
  Evaluator.SetWide(true);
}

TFound TCharter::Enclose(const TKoOperatorNode* tree, mpfi_srcptr range, mpfi_ptr out) {
  ++Count;
  Evaluator.SetRunningRange(Source.Variable, range);
  try {
    if (Evaluator.Evaluate(tree, out)) return TFound::kNone;
  } catch (const TUndecided&) {
    return TFound::kUndecided;
  }
  if (!mpfi_bounded_p(out) || mpfi_nan_p(out)) return TFound::kUndecided;
  return TFound::kValue;
}

TFound TCharter::EncloseAt(const TKoOperatorNode* tree, mpfr_srcptr x, mpfi_ptr out) {
  TInterval point(mpfr_get_prec(x));
  mpfi_set_fr(point.get(), x);
  return Enclose(tree, point.get(), out);
}

bool TCharter::ExactZeroAt(const TKoOperatorNode* tree, mpfr_srcptr x) {
  TInterval v(Bits);
  return EncloseAt(tree, x, v.get()) == TFound::kValue && mpfr_zero_p(Low(v.get())) &&
         mpfr_zero_p(High(v.get()));
}

// The sign at a point; exactZero tells a value of exactly 0.
TSign TCharter::SignAt(mpfr_srcptr x, bool* exactZero) {
  TInterval v(Bits);
  const TFound found = EncloseAt(Source.Term, x, v.get());
  *exactZero = false;
  if (found == TFound::kNone) return TSign::kNone;
  if (found != TFound::kValue) return TSign::kUnknown;
  *exactZero = mpfr_zero_p(Low(v.get())) && mpfr_zero_p(High(v.get()));
  return SignOf(v.get());
}

bool TCharter::Tiny(mpfi_srcptr piece, mpfr_prec_t below) const {
  TReal width(Bits);
  mpfr_sub(width, High(piece), Low(piece), MPFR_RNDU);
  if (mpfr_zero_p(width.get())) return true;
  mpfr_exp_t magnitude = 1;
  for (mpfr_srcptr end : {Low(piece), High(piece)})
    if (!mpfr_zero_p(end)) magnitude = std::max(magnitude, mpfr_get_exp(end));
  return mpfr_get_exp(width.get()) <= magnitude - (below ? below : Bits - kTinyBelowBits);
}

// The two halves, split a little beside the middle: the zeros and gaps of terms typed by hand
// lie at short numbers, and a split point is rarely one of them.
void TCharter::Split(mpfi_srcptr piece, std::vector<std::shared_ptr<TInterval>>& next) {
  TReal m(Bits);
  mpfr_sub(m, High(piece), Low(piece), MPFR_RNDN);
  mpfr_mul_d(m, m, kSplitAt, MPFR_RNDN);
  mpfr_add(m, m, Low(piece), MPFR_RNDN);
  if (mpfr_lessequal_p(m, Low(piece)) || mpfr_greaterequal_p(m, High(piece))) {
    mpfi_mid(m, piece);
    if (mpfr_lessequal_p(m, Low(piece)) || mpfr_greaterequal_p(m, High(piece))) return;
  }
  next.push_back(Range(Low(piece), m, Bits));
  next.push_back(Range(m, High(piece), Bits));
}

// The mean value form f(m) + f'(X) (X - m), which encloses the term near a double zero far
// more tightly than the term's own operations do: its sign, or none.
bool TCharter::Centred(mpfi_srcptr piece, mpfi_srcptr slope, TLeaf& leaf) {
  TReal m(Bits);
  mpfi_mid(m, piece);
  TInterval v(Bits);
  if (EncloseAt(Source.Term, m, v.get()) != TFound::kValue) return false;
  // Within the rounding of the value itself: a place of a multiple zero, as near as the bits
  // can tell.
  if (mpfi_has_zero(v.get()) > 0 && Tiny(piece, Bits / 3)) {
    leaf.State = TLeaf::kCluster;
    return true;
  }
  TInterval offset(Bits);
  mpfi_sub_fr(offset.get(), piece, m);
  mpfi_mul(offset.get(), offset.get(), slope);
  mpfi_add(v.get(), v.get(), offset.get());
  const TSign sign = SignOf(v.get());
  if (!IsDefinite(sign)) return false;
  leaf.State = TLeaf::kSign;
  leaf.Left = leaf.Right = sign;
  return true;
}

// A piece where the derivative keeps its sign holds at most one zero: one where the ends'
// signs differ. False where that does not decide it.
bool TCharter::Monotone(mpfi_srcptr piece, TLeaf& leaf) {
  if (!Source.Slope) return false;
  TInterval d(Bits);
  if (Enclose(Source.Slope, piece, d.get()) != TFound::kValue) return false;
  if (mpfi_has_zero(d.get()) > 0) return Centred(piece, d.get(), leaf);
  bool lowZero = false;
  bool highZero = false;
  const TSign left = SignAt(Low(piece), &lowZero);
  const TSign right = SignAt(High(piece), &highZero);
  // A zero at an end: the piece that starts there marks it.
  if (lowZero && IsDefinite(right)) {
    leaf.State = TLeaf::kSign;
    leaf.Left = leaf.Right = right;
    leaf.ZeroAtLow = true;
    return true;
  }
  if (highZero && IsDefinite(left)) {
    leaf.State = TLeaf::kSign;
    leaf.Left = leaf.Right = left;
    return true;
  }
  if (!IsDefinite(left) || !IsDefinite(right)) return false;
  leaf.State = left == right ? TLeaf::kSign : TLeaf::kZero;
  leaf.Left = left;
  leaf.Right = right;
  return true;
}

void TCharter::Process(const std::shared_ptr<TInterval>& piece, std::vector<TLeaf>& leaves,
                       std::vector<std::shared_ptr<TInterval>>& next) {
  TLeaf leaf;
  leaf.Piece = piece;
  const long double width =
      mpfr_get_ld(High(piece->get()), MPFR_RNDU) - mpfr_get_ld(Low(piece->get()), MPFR_RNDD);
  for (const auto& place : Avoided) {
    if (width < AvoidedWidth && mpfr_lessequal_p(Low(piece->get()), High(place->get())) &&
        mpfr_lessequal_p(Low(place->get()), High(piece->get()))) {
      leaves.push_back(std::move(leaf));
      return;
    }
  }
  TInterval v(Bits);
  const TFound found = Enclose(Source.Term, piece->get(), v.get());
  if (found == TFound::kNone) {
    leaf.State = TLeaf::kNone;
    leaf.Left = leaf.Right = TSign::kNone;
  } else if (found == TFound::kValue && mpfr_zero_p(Low(v.get())) && mpfr_zero_p(High(v.get()))) {
    leaf.State = TLeaf::kVanishing;
  } else if (found == TFound::kValue && mpfi_has_zero(v.get()) <= 0) {
    leaf.State = TLeaf::kSign;
    leaf.Left = leaf.Right = SignOf(v.get());
  } else if (found == TFound::kValue && Monotone(piece->get(), leaf)) {
    // decided by the ends
  } else if (Tiny(piece->get())) {
    leaf.State = found == TFound::kValue ? TLeaf::kCluster : TLeaf::kSingular;
  } else {
    const std::size_t before = next.size();
    Split(piece->get(), next);
    if (next.size() > before) return;
    leaf.State = found == TFound::kValue ? TLeaf::kCluster : TLeaf::kSingular;
  }
  leaves.push_back(std::move(leaf));
}

TChart TCharter::Chart(mpfr_srcptr from, mpfr_srcptr to, std::size_t budget) {
  std::vector<TLeaf> leaves;
  std::vector<std::shared_ptr<TInterval>> pending{Range(from, to, Bits)};
  const std::size_t limit = Count + budget;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kChartMilliseconds);
  bool late = false;
  // Breadth first: where the budget ends, every stretch is as fine as any other.
  while (!pending.empty()) {
    std::vector<std::shared_ptr<TInterval>> next;
    for (std::size_t i = 0; i < pending.size(); ++i) {
      if (!late && i % kClockEvery == 0) late = std::chrono::steady_clock::now() > deadline;
      if (Count >= limit || late) {
        TLeaf rest;
        rest.Piece = pending[i];
        leaves.push_back(rest);
        continue;
      }
      Process(pending[i], leaves, next);
    }
    pending.swap(next);
  }
  std::sort(leaves.begin(), leaves.end(), [](const TLeaf& a, const TLeaf& b) {
    return mpfr_less_p(Low(a.Piece->get()), Low(b.Piece->get()));
  });
  TChart chart = Joined(leaves);
  // Zeros at the interval's ends themselves.
  for (const bool atEnd : {false, true}) {
    mpfr_srcptr x = atEnd ? to : from;
    if (!ExactZeroAt(Source.Term, x)) continue;
    TMark zero;
    zero.Where = Range(x, x, Bits);
    zero.Exact = true;
    const auto at = atEnd ? chart.Marks.end() : chart.Marks.begin();
    bool known = false;
    for (const TMark& mark : chart.Marks)
      known = known || ((mark.Kind == TMark::kZero || mark.Kind == TMark::kVanishing) &&
                        mpfi_is_inside_fr(x, mark.Where->get()));
    if (known) continue;
    if (atEnd) {
      zero.Before = chart.Marks.empty() ? chart.First : chart.Marks.back().After;
    } else {
      zero.After = chart.First;
    }
    chart.Marks.insert(at, std::move(zero));
  }
  return chart;
}

namespace {

bool Touch(mpfi_srcptr a, mpfi_srcptr b) {
  return mpfr_greaterequal_p(High(a), Low(b)) != 0;
}

}  // namespace

namespace {

// Whether a leaf of the kind continues the last mark: stretches of one kind, and a stretch
// without a value with the tiny stretches at its ends.
bool Continues(const TMark& last, TMark::TKind kind) {
  if (last.Kind == TMark::kZero || last.After != TSign::kUnknown) return false;
  if (last.Kind == kind) return true;
  if (last.Kind == TMark::kNone) return kind == TMark::kSingular;
  return last.Kind == TMark::kSingular && kind == TMark::kNone;
}

}  // namespace

// Leaves of one sign join into stretches; zeros, tiny stretches and stretches without a value
// become marks, the tiny stretches beside one without a value part of it.
TChart TCharter::Joined(std::vector<TLeaf>& leaves) {
  TChart chart;
  TSign current = TSign::kUnknown;
  const auto setAfter = [&](TSign s) {
    if (!chart.Marks.empty() && chart.Marks.back().After == TSign::kUnknown)
      chart.Marks.back().After = s;
  };
  for (std::size_t i = 0; i < leaves.size(); ++i) {
    TLeaf& leaf = leaves[i];
    const bool signed_ = leaf.State == TLeaf::kSign || leaf.State == TLeaf::kZero;
    if (i == 0) {
      chart.First = signed_                      ? leaf.Left
                    : leaf.State == TLeaf::kNone ? TSign::kNone
                                                 : TSign::kUnknown;
    }
    if (leaf.ZeroAtLow) {
      TMark zero;
      zero.Where = std::make_shared<TInterval>(Bits);
      mpfi_set_fr(zero.Where->get(), Low(leaf.Piece->get()));
      zero.Exact = true;
      zero.Before = current;
      zero.After = leaf.Left;
      chart.Marks.push_back(std::move(zero));
    }
    if (signed_) {
      setAfter(leaf.Left);
      current = leaf.Right;
      if (leaf.State == TLeaf::kSign) continue;
      TMark zero;
      zero.Where = leaf.Piece;
      zero.Simple = true;
      zero.Before = leaf.Left;
      zero.After = leaf.Right;
      chart.Marks.push_back(std::move(zero));
      continue;
    }
    const TMark::TKind kind = leaf.State == TLeaf::kSingular    ? TMark::kSingular
                              : leaf.State == TLeaf::kCluster   ? TMark::kCluster
                              : leaf.State == TLeaf::kNone      ? TMark::kNone
                              : leaf.State == TLeaf::kVanishing ? TMark::kVanishing
                                                                : TMark::kUnknown;
    if (kind == TMark::kUnknown) chart.Complete = false;
    if (!chart.Marks.empty() && Continues(chart.Marks.back(), kind) &&
        Touch(chart.Marks.back().Where->get(), leaf.Piece->get())) {
      TMark& last = chart.Marks.back();
      mpfr_set(&last.Where->get()->right, High(leaf.Piece->get()), MPFR_RNDU);
      if (kind == TMark::kNone) last.Kind = TMark::kNone;
      continue;
    }
    setAfter(kind == TMark::kNone ? TSign::kNone : TSign::kUnknown);
    TMark mark;
    mark.Kind = kind;
    mark.Where = std::make_shared<TInterval>(Bits);
    mpfi_set(mark.Where->get(), leaf.Piece->get());
    mark.Before = current;
    chart.Marks.push_back(std::move(mark));
    current = kind == TMark::kNone ? TSign::kNone : TSign::kUnknown;
  }
  for (TMark& mark : chart.Marks) {
    if (mark.Kind == TMark::kZero && mark.Simple) Refine(mark);
    if (mark.Kind == TMark::kCluster) SettleCluster(mark);
  }
  return chart;
}

// A zero at a short binary number of the stretch: its middle rounded to fewer and fewer bits.
bool TCharter::ExactZeroIn(mpfi_ptr where) {
  TReal c(Bits);
  MiddleAsExtended(where, c);
  for (mpfr_prec_t bits = 64; bits >= 2; bits -= 2) {
    TReal shorter(bits);
    mpfr_set(shorter, c, MPFR_RNDN);
    if (!mpfi_is_inside_fr(shorter, where) || !ExactZeroAt(Source.Term, shorter)) continue;
    mpfi_set_fr(where, shorter);
    return true;
  }
  return false;
}

// A tiny stretch near 0: a zero where the value at a point in it is exactly 0, or where the
// continuous term changes its sign across it.
void TCharter::SettleCluster(TMark& mark) {
  if (ExactZeroIn(mark.Where->get())) {
    mark.Kind = TMark::kZero;
    mark.Exact = true;
    return;
  }
  if (IsDefinite(mark.Before) && IsDefinite(mark.After) && mark.Before != mark.After)
    mark.Kind = TMark::kZero;
}

// Interval Newton's steps, N = m - f(m)/f'(X), until the zero is known to the bits.
void TCharter::Refine(TMark& zero) {
  mpfi_ptr x = zero.Where->get();
  TReal m(Bits);
  TInterval value(Bits);
  TInterval slope(Bits);
  TInterval step(Bits);
  for (int i = 0; i < kRefineSteps && !Tiny(x); ++i) {
    TReal before(Bits);
    mpfi_diam_abs(before, x);
    mpfi_mid(m, x);
    if (EncloseAt(Source.Term, m, value.get()) != TFound::kValue) break;
    if (mpfr_zero_p(Low(value.get())) && mpfr_zero_p(High(value.get()))) {
      mpfi_set_fr(x, m);
      break;
    }
    bool narrowed = false;
    if (Enclose(Source.Slope, x, slope.get()) == TFound::kValue &&
        mpfi_has_zero(slope.get()) <= 0) {
      mpfi_div(step.get(), value.get(), slope.get());
      mpfi_fr_sub(step.get(), m, step.get());
      TInterval cut(Bits);
      mpfi_intersect(cut.get(), x, step.get());
      if (!mpfi_is_empty(cut.get())) {
        TReal after(Bits);
        mpfi_diam_abs(after, cut.get());
        mpfi_set(x, cut.get());
        mpfr_mul_2ui(after, after, 1, MPFR_RNDN);
        narrowed = mpfr_less_p(after, before) != 0;
      }
    }
    if (narrowed) continue;
    // A bisection: the zero lies on the side where the sign is not yet the one after it.
    const TSign s = SignOf(value.get());
    if (!IsDefinite(s)) break;
    if (s == zero.Before) {
      mpfr_set(&x->left, m, MPFR_RNDD);
    } else {
      mpfr_set(&x->right, m, MPFR_RNDU);
    }
  }
  // A zero at a short number: exactly there.
  if (ExactZeroIn(x)) zero.Exact = true;
}

}  // namespace digits
