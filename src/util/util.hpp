// Value types, the exception base, floating-point failure detection and the
// conversions between typed values and text shared by the whole program.
#pragma once

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <string>

static_assert(std::numeric_limits<long double>::digits == 64,
              "tcalc computes in the 80-bit x87 extended format");

// Base of every exception of the program: a message and a class name for the
// unhandled-exception report.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  const std::string& message() const noexcept { return Message; }
  virtual const char* ClassName() const noexcept { return "Exception"; }

 private:
  std::string Message;
};

// Declares an exception class deriving from Base that reports its own name. The names are
// declarators and cannot stand in brackets.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TCALC_EXCEPTION(Name, Base)                                   \
  class Name : public Base {                                          \
   public:                                                            \
    using Base::Base;                                                 \
    const char* ClassName() const noexcept override { return #Name; } \
  }
// NOLINTEND(bugprone-macro-parentheses)

// The floating-point failures of the processor and the library's domain refusal.
TCALC_EXCEPTION(EMathError, Exception);
TCALC_EXCEPTION(EInvalidOp, EMathError);
TCALC_EXCEPTION(EZeroDivide, EMathError);
TCALC_EXCEPTION(EOverflow, EMathError);
TCALC_EXCEPTION(EInvalidArgument, EMathError);

inline constexpr const char* kTextInvalidOp = "Invalid floating point operation";
inline constexpr const char* kTextZeroDivide = "Division by zero";
inline constexpr const char* kTextOverflow = "Floating point overflow";
inline constexpr const char* kTextInvalidArgument = "Invalid argument";

[[noreturn]] void RaiseInvalidArgument();

// The message of the failure that the raised flags of a non-finite result r show.
const char* FloatFailureText(int flags, long double r);

// Throws the exception matching the raised flags of a non-finite result r.
[[noreturn]] void RaiseFloatFailure(int flags, long double r);

// A result that is not finite is a floating-point failure. Only then is the
// computation repeated with the flags cleared, to learn which one it was: testing
// the flags on every operation would cost more than the arithmetic itself. The
// repetition reads the operands through volatiles so that it is really done again.
inline long double ReadAgain(long double v) {
  volatile long double copy = v;
  return copy;
}

template <class Op, class... Args>
int RecomputeFlags(Op op, long double& r, Args... args) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile long double again = op(ReadAgain(args)...);
  const int flags = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  r = again;
  return flags;
}

// op(args...), or the exception of the floating-point failure when the result is not finite.
template <class Op, class... Args>
long double CheckedOp(Op op, Args... args) {
  const long double r = op(args...);
  if (std::isfinite(r)) [[likely]]
    return r;
  long double again = 0;
  const int flags = RecomputeFlags(op, again, args...);
  RaiseFloatFailure(flags, again);
}

// The message of the failure of op(args...), whose result was not finite.
template <class Op, class... Args>
const char* OpFailureText(Op op, Args... args) {
  long double r = 0;
  const int flags = RecomputeFlags(op, r, args...);
  return FloatFailureText(flags, r);
}

inline constexpr long double kPi = 3.14159265358979323846264338327950288L;

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A value of type T read from, or written to, the bytes at p, which need no alignment.
template <class T>
T Load(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void Store(void* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

enum TDataType : std::uint8_t {
  dtByte,
  dtWord,
  dtShort,
  dtSmall,
  dtLong,
  dtInt64,
  dtComp,
  dtSingle,
  dtReal,
  dtDouble,
  dtExtended
};

std::int32_t DataTypeSize(TDataType dataType);

// Display text of a typed value: integers plainly, floats in the plain-or-exponent form.
std::string DataToText(const void* value, TDataType dataType);

// Rewrites the scientific text of a float into its display form, in place.
void NiceFloatText(std::string& text);

// Reads text into a typed value; a text that is not a complete number stores 0.
void TextToData(const std::string& text, void* value, TDataType dataType);

// Reads a complete number of the program's syntax: optional sign, digits with an
// optional point, optional exponent. False for anything else, and for a value
// beyond the extended range.
bool ScanNumber(const std::string& text, long double& value);

// 0.5 added in double precision and truncated toward zero (not symmetric for negatives).
std::int64_t RoundHalfUp(double x);

std::string BoolDigit(bool b);

// The shortest text with at most digits significant digits, plain for ordinary magnitudes,
// else as 1.5E+20.
std::string GeneralNumberText(long double v, int digits);

// Removes the characters with codes 0 to 32 from both ends.
std::string Trim(const std::string& s);

// The length of the UTF-8 character of more than one byte that begins at index i of text,
// with its code; 0 where none begins (ASCII, or a byte that no valid sequence starts).
std::size_t Utf8CharAt(const std::string& text, std::size_t i, char32_t& code);

// Upper-case form of a name (ASCII letters only).
std::string UpperCase(const std::string& s);
// True when name reads upper in upper case; nothing is allocated.
bool EqualsUpperCase(const std::string& name, const std::string& upper);

// The decimal separator of number texts; the program never changes it from ".".
extern char DecimalSeparator;

// Long computations tell a hook how far they are, as the fraction done: 0 at the start, 1 at
// the end. The front end sets one for a terminal; without it a report tests a pointer.
using TProgressHook = void (*)(double fraction);
void SetProgressHook(TProgressHook hook);

// One long computation from construction to destruction. Only the outermost of nested ones
// reports, so a computation may run others inside.
class TProgress {
 public:
  TProgress();
  ~TProgress();
  TProgress(const TProgress&) = delete;
  TProgress& operator=(const TProgress&) = delete;
  void Report(double fraction) const;

 private:
  bool Outermost;
};
