// The sign chart of a term over a closed interval, in interval arithmetic: its zeros, each
// proven single where the term is monotone around it, the points where it has no value or
// jumps, and the signs of the stretches between. Nothing on the chart is guessed: what the
// budget could not decide is a stretch of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MathDigs/Interval.hpp"

namespace digits {

// The term, its derivative (or nullptr) and how to read their leaves.
struct TChartTerm {
  const TKoOperatorNode* Term = nullptr;
  const TKoOperatorNode* Slope = nullptr;
  const TKoDigitsLeaves* Leaves = nullptr;
  std::string Variable;  // upper case
};

// The sign of a stretch, or that it has no value there.
enum class TSign : std::int8_t { kNegative = -1, kUnknown = 0, kPositive = 1, kNone = 2 };

// A place on the chart.
struct TMark {
  enum TKind : std::uint8_t {
    kZero,       // a zero: proven single, at a point where the value is exactly 0, or a sign
                 // change of a continuous term within a few bits
    kSingular,   // a tiny stretch holding a pole, a jump or a gap of the term
    kCluster,    // a tiny stretch where the term comes within its error of 0 unproven
    kNone,       // a stretch without a value, with the tiny stretches of its ends
    kUnknown,    // a stretch the budget did not decide
    kVanishing,  // a stretch where the term is exactly 0
  };
  TKind Kind = kZero;
  std::shared_ptr<TInterval> Where;
  bool Simple = false;   // a zero where the term is monotone
  bool Exact = false;    // a zero at a point where the value is exactly 0
  int Multiplicity = 0;  // of a zero, where known; -1 for one known to be multiple
  TSign Before = TSign::kUnknown;
  TSign After = TSign::kUnknown;
};

struct TChart {
  std::vector<TMark> Marks;       // left to right
  TSign First = TSign::kUnknown;  // the sign from the start to the first mark
  bool Complete = true;           // no stretch left undecided
};

// How an evaluation of a range came out.
enum class TFound : std::uint8_t { kValue, kNone, kUndecided };

class TCharter {
 public:
  TCharter(const TChartTerm& term, mpfr_prec_t bits);
  // Pieces that reach into one of the places and are narrower than width are left undecided.
  void Avoid(std::vector<std::shared_ptr<TInterval>> places, long double width) {
    Avoided = std::move(places);
    AvoidedWidth = width;
  }
  // The chart from from to to; budget bounds the evaluations.
  TChart Chart(mpfr_srcptr from, mpfr_srcptr to, std::size_t budget);
  // The enclosure of a tree of the same leaves over a range of the variable.
  TFound Enclose(const TKoOperatorNode* tree, mpfi_srcptr range, mpfi_ptr out);
  TFound EncloseAt(const TKoOperatorNode* tree, mpfr_srcptr x, mpfi_ptr out);
  // Where the term's value at x is exactly 0.
  bool ExactZeroAt(const TKoOperatorNode* tree, mpfr_srcptr x);
  mpfr_prec_t Precision() const { return Bits; }
  std::size_t Evaluations() const { return Count; }

 private:
  struct TLeaf;
  void Process(const std::shared_ptr<TInterval>& piece, std::vector<TLeaf>& leaves,
               std::vector<std::shared_ptr<TInterval>>& next);
  bool Monotone(mpfi_srcptr piece, TLeaf& leaf);
  bool Centred(mpfi_srcptr piece, mpfi_srcptr slope, TLeaf& leaf);
  TSign SignAt(mpfr_srcptr x, bool* exactZero);
  // Narrower than below bits of its magnitude, or than the chart's points.
  bool Tiny(mpfi_srcptr piece, mpfr_prec_t below = 0) const;
  void Split(mpfi_srcptr piece, std::vector<std::shared_ptr<TInterval>>& next);
  TChart Joined(std::vector<TLeaf>& leaves);
  void Refine(TMark& zero);
  void SettleCluster(TMark& mark);
  bool ExactZeroIn(mpfi_ptr where);

  TChartTerm Source;
  mpfr_prec_t Bits;
  TEvaluator Evaluator;
  std::size_t Count = 0;
  std::vector<std::shared_ptr<TInterval>> Avoided;
  long double AvoidedWidth = 0;
};

// The nearest extended value of the middle of x, as a point of the bits.
void MiddleAsExtended(mpfi_srcptr x, mpfr_ptr out);

}  // namespace digits
