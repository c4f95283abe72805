// The program driver: reads the arguments, runs exactly one mode and writes its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TKoCalculusCreator;
class TKoMathCommandLine;
class TKoMathParser;
class TKoMathTreeFunction;

// Writes text as console lines: the German letters in code page 437, a new line at
// every carriage return.
void WriteLine(const std::string& text);

// With a line set, WriteLine copies each text it writes into it; nullptr ends that.
void CaptureLastLine(std::string* line);

// The lines of \ss: the switches, the term and the variables of the command line.
void WriteParameters(const TKoMathCommandLine& cmd);

// The German letters in UTF-8 instead of code page 437 from now on.
// The same for a text that holds characters the user typed (UTF-8) beside the program's own
// Latin-1 letters: those characters in UTF-8, or as their code page 437 byte ('?' where it
// has none).
std::string TypedToConsole(const std::string& text);

void SetUtf8Output(bool utf8);
bool Utf8Output();
// An error text in place of a result: on standard output, or where an SVG document is asked
// for on standard error, so that the output holds no broken document; the run then ends with
// kStatusNoDocument.
void WriteErrorText(const std::string& text);
inline constexpr int kStatusNoDocument = 1;

// A line just written, or about to be, is an error text in place of a result.
void NoteErrorLine();
std::size_t ErrorLinesWritten();

// The text as the console receives it: the German letters in code page 437 (or UTF-8), a
// new line at every carriage return.
std::string ToConsole(const std::string& text);

// With explain set, a term that fails to parse is followed on standard error by the term, a
// caret under the failing position, the parser's reason and hints for common slips.
void SetExplain(bool explain);
void ExplainSyntaxError(const TKoMathParser& parser);
// With explain set, each switch given alone that took the next argument as its value where
// that was none is named with the mend.
void ExplainSwallowedValues(const TKoMathCommandLine& cmd);
// With explain set, options with two dashes among the other arguments, which are read as
// pieces of the term, are named with the command line that reads them as options.
void ExplainLateOptions(const std::string& progName, const std::vector<std::string>& args);
// With explain set, the names of a term that is computed with which are neither functions nor
// given variables, and are therefore 0, are named on standard error.
void ExplainUnknownNames(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
// The explanations themselves, only called where one is due: their code lies with that of
// the options, away from what every run maps.
void ExplainSyntaxErrorNow(const TKoMathParser& parser);
void ExplainSwallowedValuesNow(const TKoMathCommandLine& cmd);
void ExplainLateOptionsNow(const std::string& progName, const std::vector<std::string>& args);
void ExplainUnknownNamesNow(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);

// The progress line of a long computation: Update gets the seconds since its start and the
// fraction done (0 at the start, 1 at the end) and returns the text for the terminal, often
// none. The line appears once the computation is expected to take about a second and
// is cleared at the end.
class TProgressLine {
 public:
  std::string Update(double seconds, double fraction);

 private:
  std::size_t Shown = 0;  // length of the line on the terminal, 0 for none
  int Percent = -1;
};
// Blanks over a progress line that a computation left when it was stopped, with the ^C that
// the terminal wrote after it, and the cursor back at the start of the line.
std::string ProgressLineCleared();
// Long computations show their progress on standard error when it is a terminal.
void ShowProgressOnTerminal(bool terminal);

// File-name part of the program path.
std::string ProgramName(const std::string& path);

// Calls run with a stack deep enough for the deepest tree the live-node limit allows,
// whatever stack limit the program was started with.
void RunOnLargeStack(const std::function<void()>& run);

// The exit status of a run that an exception ended.
inline constexpr int kStatusUnhandled = 217;
// The report of an exception that no function object caught, on standard error; returns
// kStatusUnhandled. The run's objects are already freed when it is written.
int ReportUnhandled(const char* className, const char* message);
// Runs run and returns its status, or reports the exception that ends it.
int RunReportingFailures(const std::function<int()>& run);

// One run with the arguments after the program path; returns the exit status.
// Exceptions that no function object catches pass to the caller.
int RunDriver(const std::string& progName, const std::vector<std::string>& args);

// The whole run: options with two dashes before all other arguments (--help, --version,
// --utf8, --strict, --explain), the encoding, a term "-" that reads a term per line from standard
// input, then RunDriver; returns the exit status.
int RunFrontEnd(const std::string& progName, const std::vector<std::string>& args);

// The help text, as without arguments, and a row for each option; returns the status.
int RunHelp(const std::string& progName);

// A session on the terminal: each line read is the rest of a command line after switches,
// with the session's variables, defaults and the last value (ans); returns the status.
int RunSession(const std::string& progName, const std::vector<std::string>& switches);

// With readable set, the results of the symbolic modes and of the simplification are
// printed in the canonical form: like terms combined, exact fractions, powers of the
// variable falling.
void SetReadableResults(bool readable);
bool ReadableResultsWanted();

// Simplifies f; false when that exceeds the live-node limit, with f only partly simplified.
bool SimplifiedWithinLimit(TKoMathTreeFunction& f);

// The symbolic modes without output, for the driver and the tests alike. The Form routines
// attach to g a creator for f's derivative of the level (antiderivative) by var, run it and
// return it; g then holds the raw result, bound to f's variables, or no tree. g must be
// freed before f.
TKoCalculusCreator& FormDerivative(TKoMathTreeFunction& g, TKoMathTreeFunction& f,
                                   const std::string& var, std::int32_t level);
TKoCalculusCreator& FormAntiderivative(TKoMathTreeFunction& g, TKoMathTreeFunction& f,
                                       const std::string& var);
// The line a symbolic mode prints for its result: the simplified result, or the text in its
// place. The antiderivative is formed from f simplified, which f then stays.
std::string DerivativeText(TKoMathTreeFunction& f, const std::string& var, std::int32_t level);
std::string AntiderivativeText(TKoMathTreeFunction& f, const std::string& var);
// The same into g, which the caller frees before f; formed tells whether g holds the result
// (the text is no refusal or error text).
std::string DerivativeText(TKoMathTreeFunction& f, const std::string& var, std::int32_t level,
                           TKoMathTreeFunction& g, bool& formed);
std::string AntiderivativeText(TKoMathTreeFunction& f, const std::string& var,
                               TKoMathTreeFunction& g, bool& formed);

// With accurate set, the numeric integral and the arc length are computed adaptively to the
// precision of the extended type instead of on pieces of the width \l.
void SetAccurateNumerics(bool accurate);
// With notes set, the numeric integral and the arc length add a line on standard error: with
// accurate the estimated error, else a hint where the result is likely inexact.
void SetNotesOnTerminal(bool notes);

// With digits above 0, values and Newton's roots are computed to that many significant
// digits; the other modes note on standard error that they compute with 17.
void SetDigits(std::int32_t digits);
std::int32_t DigitsWanted();
void RunEvaluationToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunNewtonToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void WriteSeventeenDigitsNote();
// The integral (arc length) to the digits asked for, with the header of the mode.
void RunIntervalToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, bool arcLength,
                         const std::string& title, const std::string& separator);
// The numeric derivative from the symbolic one to digits digits; where those cannot be
// made certain, with toDigits the refusal, else the difference quotients' value.
void RunDerivativeToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                           std::int32_t digits, bool toDigits);
// Whether the mode of the command line computes to the digits of --digits.
bool ModeToDigits(const TKoMathCommandLine& cmd);

// With a form other than kNone, a run draws the graph of its term instead of its mode's
// result: as text on the console, or as an SVG document.
enum class TPlotForm : std::uint8_t { kNone, kText, kSvg };
void SetPlotForm(TPlotForm form);
TPlotForm PlotForm();
void RunPlot(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
namespace plot {
struct TMarked;
}
// The points the next graph marks, and the lines written before it (in an SVG document, its
// description): those of a discussion.
void SetPlotMarks(std::vector<plot::TMarked> marks, std::vector<std::string> description);
// The interval of the graph: from the standard variable's value to \t; with one of them
// only, 20 wide around the value or up to \t; with neither, -10 to 10.
void GraphInterval(const TKoMathCommandLine& cmd, long double start, long double& from,
                   long double& to);

// With analyze set, a run discusses its term over the interval of the graph: derivatives,
// gaps, zeros, extrema, inflection points, symmetry, monotony and the extreme values.
void SetAnalyze(bool analyze);
bool AnalyzeWanted();
// Whether the term is an equation in the variable: one "=" between two sides, the variable
// named in them.
bool IsEquation(const std::string& term, const std::string& var);
// The term of an equation as the difference of its sides, "(left)-(right)".
std::string EquationDifference(const std::string& term);
void RunAnalysis(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
// The solutions of an equation (f holds the difference of its sides) in the interval.
void RunEquation(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
// A command line whose term is an equation: f gets the difference of its sides, then its
// solutions or, with \n, Newton's root of it; returns f's parser.
const TKoMathParser& RunEquationLine(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);

// Gives f the variables of the command line and a parser of its term, not yet run; returns
// the parser.
const TKoMathParser& BindCommandLine(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
// The same for another term of the command line's variables.
const TKoMathParser& BindTerm(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                              const std::string& term);

// The modes; F holds the variables and the parser with the term.
void RunNumericDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunSymbolicDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunNumericIntegral(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunAntiderivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunNewton(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunArcLength(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunSimplification(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
void RunEvaluation(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f);
