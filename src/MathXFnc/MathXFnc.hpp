// Numeric methods: function objects that compute a number from many evaluations of
// another function at chosen values of one of its variables, the running variable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MathFunc/MathFunc.hpp"
#include "MathTree/MathTree.hpp"
#include "util/util.hpp"

TCALC_EXCEPTION(EKoNoRunningVarIndex, Exception);
TCALC_EXCEPTION(EKoDiffNull, Exception);
TCALC_EXCEPTION(EKoNoResult, Exception);
TCALC_EXCEPTION(EKoIllegalDiffNumLevel, Exception);
TCALC_EXCEPTION(EKoIllegalIntIntervall, Exception);
// The wrapped function reported an error text at an evaluation point; the message is that text.
TCALC_EXCEPTION(EKoEvaluationFailed, Exception);

inline constexpr const char* kTextNoRunningVarIndex = "No index for a running variable was set!";
inline constexpr const char* kTextNewtonDiffNull = "Ableitung im Newtonverfahren ist Null!";
inline constexpr const char* kTextNewtonNoResult = "Newtonverfahren konvergiert nicht!";
inline constexpr const char* kTextNewtonFailed = "Fehler in Newton-Verfahren!";
inline constexpr const char* kTextNumDiffFailed = "Fehler bei der numerischen Differenzierung";
inline constexpr const char* kTextNumCalcFailed = "Fehler bei der numerischen Berechnung!";
inline constexpr const char* kTextIntervalStepZero =
    "Intervall bei der numerischen Integration ist \"0\"!";
inline constexpr const char* kTextIntervalReversed =
    "Intervallende muss gr\366\337er als Intervallanfang sein!";
// "Numerisch gibt es h\366chstens die 8. Ableitung!"
inline constexpr const char* kTextNumDiffMaxLevel = "Numerisch gibt es h\366chstens die ";
inline constexpr const char* kTextNumDiffMaxLevelEnd = ". Ableitung!";
// 'Illegale Intervallangaben: "von":0  "bis":1  "Intervall":2'
inline constexpr const char* kTextIllegalInterval = "Illegale Intervallangaben: \"von\":";
inline constexpr const char* kTextIllegalIntervalTo = "  \"bis\":";
inline constexpr const char* kTextIllegalIntervalStep = "  \"Intervall\":";
inline constexpr const char* kTextTooManyPieces =
    "Zu viele Teilintervalle bei der numerischen Integration!";
inline constexpr const char* kTextIntegralDiverges = "Das Integral divergiert!";
inline constexpr const char* kTextLengthInfinite = "Die L\344nge ist unendlich!";
inline constexpr const char* kTextNotDefinedInInterval =
    "Die Funktion ist im Intervall nicht \374berall definiert!";

struct TQuadratureResult;

// Wraps another function and forwards its whole variable interface to it; a numeric
// function therefore shares the wrapped function's variables and error text.
class TKoMathUseOtherFunction : public TKoMathFunction {
 public:
  explicit TKoMathUseOtherFunction(TKoMathFunction* other) : OtherFunction(other) {}
  ~TKoMathUseOtherFunction() override;

  long double GetVarValue(const std::string& name) override;
  void SetVarValue(const std::string& name, long double v) override;
  long double GetVarValueAt(std::int32_t index) override;
  void SetVarValueAt(std::int32_t index, long double v) override;
  std::string GetVarName(std::int32_t index) override;
  std::int32_t IndexOfVar(const std::string& name) override;
  std::int32_t VarCount() override;
  const std::string& GetErrorText() override;
  void SetErrorText(const std::string& text) override;
  void Calculate() override = 0;

  // Binds the running variable by name. Its index is looked up again at every
  // Calculate, after the wrapped function is built: parsing the term adds variables
  // whose names may sort before this one.
  virtual void SetRunningVar(const std::string& name);
  // The wrapped function's value with the running variable at x, which it keeps.
  // An error text of the wrapped function raises EKoEvaluationFailed and stays set.
  long double EvaluateAt(long double x);
  // The same without raising: false when the wrapped function reported an error text.
  bool TryEvaluateAt(long double x, long double& v);

  TKoMathFunction* OtherFunction;
  std::int32_t RunningIndex = 0;
  bool OtherNotOwned = false;  // true: the wrapped function belongs to the caller

 protected:
  // Builds the wrapped function once and looks the running variable's index up again. A
  // wrapped tree function gets its tree's program, which the evaluations run until
  // DropProgram: a Calculate drops it before it returns, so that a tree changed later is
  // never evaluated through an old program.
  void BindRunningVar();
  void DropProgram();
  // Reports a failure of a numeric method through the error text: an interval's own text, or
  // the text the evaluations left (the exception's where there is none), else the general
  // one. The program is dropped either way.
  void ReportFailure(const Exception& e);
  void ReportFailure();
  // Whether the evaluations run a program: its tree draws no random numbers, so a second
  // evaluation at the same point gives the same value and the same error.
  bool HasProgram() const { return ProgramOwner != nullptr; }
  // The running variable's value in the wrapped tree while it has a program, else nullptr.
  long double* RunningSlot() const { return RunningValue; }
  const std::string& GetRunningVar() const { return RunningVarName; }

 private:
  void CompileProgram();
  [[noreturn]] void RaiseEvaluationFailed();
  void ClearProgramOwnerText();
  bool TryEvaluateSlowly(long double x, long double& v);

  std::string RunningVarName;
  TKoEvalProgram Program;
  TKoMathFunction* ProgramOwner = nullptr;  // the wrapped function while it has a program
  long double* RunningValue = nullptr;      // the running variable's value in its tree
  bool OtherTextMayBeSet = false;           // the wrapped function's error text may not be empty
};

// Inline: the numeric methods evaluate millions of times, and a value passed on through
// calls is copied through memory each time.
inline bool TKoMathUseOtherFunction::TryEvaluateAt(long double x, long double& v) {
  if (ProgramOwner) [[likely]] {
    *RunningValue = x;
    if (Program.Run(v)) [[likely]] {
      // As the tree's own evaluation leaves the function after a success.
      ProgramOwner->Value = v;
      if (OtherTextMayBeSet) [[unlikely]]
        ClearProgramOwnerText();
      return true;
    }
  }
  return TryEvaluateSlowly(x, v);
}

inline long double TKoMathUseOtherFunction::EvaluateAt(long double x) {
  long double v = 0;
  if (!TryEvaluateAt(x, v)) [[unlikely]]
    RaiseEvaluationFailed();
  return v;
}

// The values of another function at points of its running variable, through its program;
// Calculate binds the variable and compiles the program.
class TKoMathPointValues : public TKoMathUseOtherFunction {
 public:
  explicit TKoMathPointValues(TKoMathFunction* other) : TKoMathUseOtherFunction(other) {
    OtherNotOwned = true;
  }
  ~TKoMathPointValues() override { DropProgram(); }
  TKoMathPointValues(const TKoMathPointValues&) = delete;
  TKoMathPointValues& operator=(const TKoMathPointValues&) = delete;
  void Calculate() override { BindRunningVar(); }
  using TKoMathUseOtherFunction::RunningSlot;
};

// Base of the iterative methods: iteration limit and a guard against a missing running
// variable.
class TKoMathIteratedFunction : public TKoMathUseOtherFunction {
 public:
  explicit TKoMathIteratedFunction(TKoMathFunction* other);
  // Binds the running variable; raises EKoNoRunningVarIndex when it is unknown.
  void Calculate() override;

  std::int32_t MaxIterations = 1000;  // 0: no limit
};

// A zero of the wrapped function by Newton's iteration from the running variable's
// value, with a difference quotient as derivative.
class TKoMathNewtonFunction : public TKoMathIteratedFunction {
 public:
  explicit TKoMathNewtonFunction(TKoMathFunction* other) : TKoMathIteratedFunction(other) {}
  void Calculate() override;

  long double NewtonStep = 1e-10L;  // relative to max(1, |x|), to |x| near 0

 private:
  long double Slope(long double x, long double f, long double h);
  bool IsZeroAt(long double x);
  long double Iterate();
  // Whether f = f(x) is clearly smaller than the function's values a tiny step away on
  // either side where it is defined.
  bool SmallerThanAround(long double x, long double f);
};

// Above this level no digit of a numeric derivative can be relied on.
inline constexpr std::int32_t kMaxNumDiffLevel = 8;

// The n-th derivative of the wrapped function at the running variable's value, by
// extrapolated centred difference quotients.
class TKoMathDiffNumFunction : public TKoMathUseOtherFunction {
 public:
  explicit TKoMathDiffNumFunction(TKoMathFunction* other) : TKoMathUseOtherFunction(other) {}
  // Raises EKoIllegalDiffNumLevel for n < 1; a level above kMaxNumDiffLevel is
  // refused by Calculate through the error text.
  void SetDiffLevel(std::int32_t n);
  std::int32_t GetDiffLevel() const { return DiffLevel; }
  void Calculate() override;
  // After a value: the estimated error of the extrapolation it came from.
  long double ErrorEstimate = 0;

 private:
  struct TQuotient {
    long double Value = 0;
    long double Noise = 0;  // bound of the rounding of the function values in it
    bool Exact = true;      // every point met without rounding
  };
  // One step's best estimate after the descent has weighed it.
  struct TWeighedStep {
    long double Value;
    long double Error;
    long double Noise;  // the rounding bound of the value
    bool Converged;     // error below a small share of the value
  };
  bool CentredQuotient(long double x0, long double f0, long double h, TQuotient& q);
  std::vector<TWeighedStep> Descend(long double x0, long double f0);
  long double Extrapolated(long double x0, long double f0);

  std::int32_t DiffLevel = 1;
};

// Cuts [IntervalFrom, IntervalTo] into pieces of IntervalStep from the start, plus a
// shorter last piece, and sums the pieces' values.
class TKoMathIntervalNumFunction : public TKoMathUseOtherFunction {
 public:
  explicit TKoMathIntervalNumFunction(TKoMathFunction* other) : TKoMathUseOtherFunction(other) {}
  // Raises EKoIllegalIntIntervall for a step that is not positive.
  void SetIntervalStep(long double v);
  long double GetIntervalStep() const { return IntervalStep; }
  void Calculate() override;
  // The contribution of the piece from a to b (a below b).
  long double PieceValue(long double a, long double b) {
    long double fb = 0;
    return PieceValue(a, b, EvaluateAt(a), fb);
  }
  // The same with fa, the value at a, known; fb gets the value at b for the next piece.
  virtual long double PieceValue(long double a, long double b, long double fa, long double& fb) = 0;
  // The rule on a piece twice as wide from the values at its ends and its middle m.
  virtual long double CoarseValue(long double a, long double m, long double b, long double fa,
                                  long double fm, long double fb) = 0;

  long double IntervalFrom = 0;
  long double IntervalTo = 0;
  // With EstimateError set, Calculate estimates the error of its value from the same rule
  // on pieces twice as wide, whose points it has already computed (Richardson): ErrorEstimate
  // and Scale, the integral of the absolute value (for the length the length), which the
  // error is to be weighed against; both 0 where no estimate could be made.
  bool EstimateError = false;
  long double ErrorEstimate = 0;
  long double Scale = 0;

 private:
  std::int32_t PieceCount() const;
  long double Bound(std::int32_t i) const;
  long double SumWithEstimate(std::int32_t count, const TProgress& progress);
  virtual bool ArcLength() const { return false; }

  long double IntervalStep = 0.1L;
};

// The definite integral by Simpson's rule on each piece.
class TKoMathIntgNumFunction : public TKoMathIntervalNumFunction {
 public:
  using TKoMathIntervalNumFunction::PieceValue;
  using TKoMathIntervalNumFunction::TKoMathIntervalNumFunction;
  long double PieceValue(long double a, long double b, long double fa, long double& fb) override;
  long double CoarseValue(long double a, long double m, long double b, long double fa,
                          long double fm, long double fb) override;
};

// The arc length of the graph: on each piece the arc of the circle through the
// function's values at its ends and its middle.
class TKoMathLenNumFunction : public TKoMathIntervalNumFunction {
 public:
  using TKoMathIntervalNumFunction::PieceValue;
  using TKoMathIntervalNumFunction::TKoMathIntervalNumFunction;
  long double PieceValue(long double a, long double b, long double fa, long double& fb) override;
  long double CoarseValue(long double a, long double m, long double b, long double fa,
                          long double fm, long double fb) override;

 private:
  bool ArcLength() const override { return true; }
};

// The points of (from, to) where the tree's value may jump, kink, run off or end: where the
// argument of a step function (abs, sgn, heav, zero, phase, floor, ceil, int, round, frac)
// meets its jumps, a divisor, the argument of a logarithm or root or the base of a power
// meets 0, tan and cot meet their poles and arcsin, arccos, artanh, arcoth and arcosh the
// ends of their domains. running is the variable's value that the tree's variable nodes
// read; it is restored. Ascending, without repeats. complete, where given, tells whether
// all were found: a term may jump more often than a run can follow.
std::vector<long double> BreakPoints(const TKoOperatorNode* root, const std::string& var,
                                     long double* running, long double from, long double to,
                                     bool* complete = nullptr);
// A point of BreakPoints with what makes it one: there Argument, a subtree, meets Target,
// or Target times pi where OfPi is set (the poles of tan and cot).
struct TKoBreakCause {
  long double Point;
  const TKoOperatorNode* Argument;
  long double Target;
  bool OfPi;
};
// The same points with their causes, ascending; a point with two causes comes twice.
std::vector<TKoBreakCause> BreakCauses(const TKoOperatorNode* root, const std::string& var,
                                       long double* running, long double from, long double to,
                                       bool* complete = nullptr);

// The definite integral or the arc length of the graph from IntervalFrom to IntervalTo,
// adaptively to the precision of the extended type: cut where the term may jump or kink,
// approached with extrapolation toward points where it runs off. Where the integral
// diverges or the term has no value on a part of the interval, the error text says so.
class TKoMathAccurateFunction : public TKoMathUseOtherFunction {
 public:
  explicit TKoMathAccurateFunction(TKoMathFunction* other) : TKoMathUseOtherFunction(other) {}
  // Raises EKoIllegalIntIntervall for a width that is not positive, as the fixed pieces do.
  void SetLargestPiece(long double v, bool given);
  void Calculate() override;

  long double IntervalFrom = 0;
  long double IntervalTo = 0;
  // With ArcLength the length of the graph; Derivative, where given, is the wrapped
  // function's derivative by the running variable (not owned), else a numeric one is taken.
  bool ArcLength = false;
  TKoMathFunction* Derivative = nullptr;
  // After a value: its estimated absolute error.
  long double ErrorEstimate = 0;

 private:
  void Report(const TQuadratureResult& result, const std::string& failure);

  long double LargestPiece = 0;  // 0: none
};
