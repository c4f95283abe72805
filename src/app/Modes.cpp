#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "Algebra/Algebra.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathFunc/MathFunc.hpp"
#include "MathIntg/MathIntg.hpp"
#include "MathPars/MathPars.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"

namespace {

// The headers of the extended output, around the term and the numbers they name.
constexpr const char* kTextThe = "Die ";
constexpr const char* kTextDerivativeOf = ". Ableitung von ";
constexpr const char* kTextAtPoint = " an der Stelle ";
constexpr const char* kTextIs = " ist:";
constexpr const char* kTextAreaOf = "Die Fl\344che von ";
constexpr const char* kTextLengthOf = "Die L\344nge von ";
constexpr const char* kTextInInterval = " im Intervall [";
constexpr const char* kTextIntervalEnd = "] betr\344gt:";
constexpr const char* kTextAntiderivativeOf = "Die Stammfunktion von ";
constexpr const char* kTextApproximationOf = "Der angen\344herte Wert von ";
constexpr const char* kTextAmountsTo = " betr\344gt:";

TKoMathParser& ParserOf(TKoMathTreeFunction& f) {
  return static_cast<TKoMathParser&>(*f.GetCreator());
}

void WriteHeader(const TKoMathCommandLine& cmd, const std::string& header) {
  if (cmd.ExtOutput) WriteLine(header);
}

// A numeric method's error text, or its value.
void WriteResult(TKoMathFunction& n) {
  if (!n.GetErrorText().empty()) NoteErrorLine();
  WriteLine(n.GetErrorText().empty() ? ValueToText(n.Value) : n.GetErrorText());
}

// A symbolic result: the creator's error text, failedText when the result could not be
// simplified, or the simplified result function.
std::string SymbolicText(const TKoFunctionCreator& creator, TKoMathTreeFunction& g, bool simplified,
                         const char* failedText) {
  if (creator.ErrorText.empty() && g.GetTree() && !simplified) {
    NoteErrorLine();
    return failedText;
  }
  if (!creator.ErrorText.empty() || !g.GetTree()) {
    NoteErrorLine();
    return creator.ErrorText.empty() ? kTextSyntaxError : creator.ErrorText;
  }
  return g.FunctionString();
}

// The point or start of a numeric method: the standard variable as given.
long double StartValue(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  return f.GetVarValue(cmd.XVar);
}

bool AccurateNumerics = false;
// The significant digits an extended value prints with.
constexpr std::int32_t kExtendedDigits = 17;
std::int32_t Digits = 0;
TPlotForm Plot = TPlotForm::kNone;
bool NotesOnTerminal = false;

constexpr const char* kTextEstimatedError = "Gesch\344tzter Fehler: ";
constexpr const char* kTextHintInexact =
    "Hinweis: Ergebnis vermutlich ungenau, gesch\344tzter Fehler ";
constexpr const char* kTextHintNoElementary = "Hinweis: keine elementare Stammfunktion";
constexpr const char* kTextHintRemedy = "; genauer mit --accurate oder kleinerem \\l";
constexpr const char* kTextHintDigits = "Hinweis: Ergebnis vermutlich nur auf ";
constexpr const char* kTextHintDigitsRemedy = " Stellen genau; genauer mit --accurate";
// A result of the fixed pieces gets the hint where its estimated error is above this share.
constexpr long double kHintAbove = 1e-10L;

// The notes on a terminal and --accurate are marked cold: GCC places them with the code a
// run seldom needs, and a short run maps no more pages of code than before them.

// An error estimate with one significant digit, rounded up: 2E-19.
[[gnu::cold]] std::string EstimateText(long double error) {
  if (!(error > 0)) return "0";
  int exponent = static_cast<int>(std::floor(std::log10(error)));
  long double digit =
      std::ceil(error / std::pow(10.0L, static_cast<long double>(exponent)) * (1 - 1e-15L));
  if (digit < 1) digit = 1;
  if (digit >= 10) {
    digit = 1;
    ++exponent;
  }
  return std::to_string(static_cast<int>(digit)) + "E" + (exponent < 0 ? "-" : "+") +
         std::to_string(std::abs(exponent));
}

// A line for the person at the terminal, after the result.
[[gnu::cold]] void WriteNote(const std::string& text) {
  std::fflush(stdout);
  std::fputs((ToConsole(text) + "\n").c_str(), stderr);
}

// Why a refusal of \i stands, where that is certain.
[[gnu::cold]] void WriteNoElementaryNote(TKoMathTreeFunction& f, const std::string& var) {
  if (f.GetTree() && integration::HasNoElementaryAntiderivative(f.GetTree(), var))
    WriteNote(kTextHintNoElementary);
}

// The integral and the arc length: from the standard variable's value to \t in pieces of \l.
void RunInterval(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                 TKoMathIntervalNumFunction& n, const std::string& title,
                 const std::string& separator) {
  n.OtherNotOwned = true;
  n.IntervalFrom = StartValue(cmd, f);
  n.IntervalTo = cmd.ToValue;
  n.SetIntervalStep(cmd.Intervall);
  n.SetRunningVar(cmd.XVar);
  n.EstimateError = NotesOnTerminal;
  n.Calculate();
  WriteHeader(cmd, title + f.FunctionString() + kTextInInterval + ValueToText(n.IntervalFrom) +
                       separator + ValueToText(cmd.ToValue) + kTextIntervalEnd);
  WriteResult(n);
  // The area is weighed against the integral of the absolute value, the length against itself.
  const long double weight = std::fmax(std::fabs(n.Value), n.Scale);
  if (NotesOnTerminal && n.GetErrorText().empty() && n.ErrorEstimate > kHintAbove * weight)
    WriteNote(kTextHintInexact + EstimateText(n.ErrorEstimate) + kTextHintRemedy);
}

// The same adaptively to full precision; derivative, for the arc length, is the term's
// derivative where it could be formed.
[[gnu::cold]] void RunAccurately(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                                 TKoMathFunction* derivative, const std::string& title,
                                 const std::string& separator) {
  TKoMathAccurateFunction n(&f);
  n.OtherNotOwned = true;
  n.IntervalFrom = StartValue(cmd, f);
  n.IntervalTo = cmd.ToValue;
  n.SetLargestPiece(cmd.Intervall, cmd.IntervallGiven);
  n.ArcLength = derivative != nullptr || separator == ";";
  n.Derivative = derivative;
  n.SetRunningVar(cmd.XVar);
  n.Calculate();
  WriteHeader(cmd, title + f.FunctionString() + kTextInInterval + ValueToText(n.IntervalFrom) +
                       separator + ValueToText(cmd.ToValue) + kTextIntervalEnd);
  WriteResult(n);
  if (NotesOnTerminal && n.GetErrorText().empty())
    WriteNote(kTextEstimatedError + EstimateText(n.ErrorEstimate));
}

// The quotients print 17 digits; where their error estimate reaches into those, a hint with
// the digits that are likely right.
[[gnu::cold]] void WriteDerivativeHint(long double value, long double error) {
  if (!(value != 0) || !std::isfinite(value) || !(error > 0)) return;
  const long double right = std::floor(std::log10(std::fabs(value) / (2 * error)));
  if (!(right < kExtendedDigits)) return;
  const int digits = right < 0 ? 0 : static_cast<int>(right);
  WriteNote(kTextHintDigits + std::to_string(digits) + kTextHintDigitsRemedy);
}

bool ReadableResults = false;
constexpr std::uint64_t kReadableWork = 10'000'000;

// The canonical form of a result tree where that is asked for and the form holds the tree.
std::optional<std::string> Readable(const TKoOperatorNode* tree, const std::string& var,
                                    algebra::Use use = algebra::Use::Reading) {
  if (!ReadableResults || !tree) return std::nullopt;
  // A result of tens of thousands of nodes (a high derivative) prints as it was formed
  // rather than take seconds for its shorter forms.
  const algebra::TWorkLimit limit(kReadableWork);
  return algebra::CanonicalText(tree, var, use);
}

// The canonical text of a text read back; none where it does not read or the form fails.
std::optional<std::string> FormedAgain(const std::string& text, const std::string& var,
                                       algebra::Use use) {
  try {
    TKoVarDepot depot;
    const TKoNodePtr tree = ParseTerm(text, &depot);
    const algebra::TWorkLimit limit(kReadableWork);
    return algebra::CanonicalText(tree.get(), var, use);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// A readable text read back and formed again while that makes it shorter: the forms of the
// read text are not always those of the tree it came from (a double angle inside a quotient).
// Where the next form is no shorter but at most a twentieth longer and prints itself again,
// it is taken: the canonical form of what is printed then prints it again.
std::string Polished(std::string text, const std::string& var, algebra::Use use) {
  // a whole number of more digits than 80 bits hold would not read back exactly
  constexpr std::size_t kMostDigits = 18;
  std::size_t run = 0;
  for (const char c : text) {
    run = std::isdigit(static_cast<unsigned char>(c)) != 0 ? run + 1 : 0;
    if (run > kMostDigits) return text;
  }
  constexpr int kRounds = 4;
  // a long text is left as it is: another round of its forms takes long
  constexpr std::size_t kLongest = 800;
  for (int round = 0; round < kRounds && text.size() <= kLongest; ++round) {
    std::optional<std::string> again = FormedAgain(text, var, use);
    if (!again || *again == text) break;
    if (again->size() < text.size()) {
      text = std::move(*again);
      continue;
    }
    if (again->size() <= text.size() + text.size() / 20 && FormedAgain(*again, var, use) == again)
      text = std::move(*again);
    break;
  }
  return text;
}

// Whether a term's text holds a number with a point or an exponent (0.5, 1e-3).
bool HasTypedDecimal(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '.') return true;
    const bool digitBefore = i > 0 && std::isdigit(static_cast<unsigned char>(text[i - 1])) != 0;
    if (digitBefore && (text[i] == 'e' || text[i] == 'E')) {
      std::size_t j = i + 1;
      if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
      if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) != 0) return true;
    }
  }
  return false;
}

std::string Level(const TKoMathCommandLine& cmd) {
  return std::to_string(cmd.DiffLevel);
}

}  // namespace

void SetReadableResults(bool readable) {
  ReadableResults = readable;
}

bool ReadableResultsWanted() {
  return ReadableResults;
}

void SetDigits(std::int32_t digits) {
  Digits = digits;
}

std::int32_t DigitsWanted() {
  return Digits;
}

void SetPlotForm(TPlotForm form) {
  Plot = form;
}

TPlotForm PlotForm() {
  return Plot;
}

void SetAccurateNumerics(bool accurate) {
  AccurateNumerics = accurate;
}

void SetNotesOnTerminal(bool notes) {
  NotesOnTerminal = notes;
}

bool SimplifiedWithinLimit(TKoMathTreeFunction& f) {
  try {
    f.Simplify();
    return true;
  } catch (const ETooMuchInstances&) {
    return false;
  }
}

TKoCalculusCreator& FormDerivative(TKoMathTreeFunction& g, TKoMathTreeFunction& f,
                                   const std::string& var, std::int32_t level) {
  auto differencer = std::make_unique<TKoMathDifferencer>(&g);
  TKoMathDifferencer& d = *differencer;
  g.SetCreator(std::move(differencer));
  d.SetSource(&f);
  d.SetRunningVarName(var);
  d.SetDiffLevel(level);
  d.Execute();
  return d;
}

TKoCalculusCreator& FormAntiderivative(TKoMathTreeFunction& g, TKoMathTreeFunction& f,
                                       const std::string& var) {
  auto integrator = std::make_unique<TKoMathIntegrator>(&g);
  TKoMathIntegrator& i = *integrator;
  g.SetCreator(std::move(integrator));
  i.SetSource(&f);
  i.SetRunningVarName(var);
  i.Execute();
  return i;
}

std::string DerivativeText(TKoMathTreeFunction& f, const std::string& var, std::int32_t level) {
  TKoMathTreeFunction g;
  bool formed = false;
  return DerivativeText(f, var, level, g, formed);
}

std::string DerivativeText(TKoMathTreeFunction& f, const std::string& var, std::int32_t level,
                           TKoMathTreeFunction& g, bool& formed) {
  const TKoCalculusCreator& differencer = FormDerivative(g, f, var, level);
  // The readable form starts from the raw result, whose numbers are still exact, or from the
  // source's own canonical form, whichever is shorter.
  std::optional<std::string> readable = Readable(g.GetTree(), var);
  if (ReadableResults && g.GetTree()) {
    const algebra::TWorkLimit limit(kReadableWork);
    const std::optional<std::string> other =
        algebra::CanonicalDerivativeText(f.GetTree(), var, level, f.FunctionString().size());
    if (other && (!readable || other->size() < readable->size())) readable = other;
  }
  const bool simplified = SimplifiedWithinLimit(g);
  std::string text = SymbolicText(differencer, g, simplified, kTextDiffFailed);
  formed = simplified && differencer.ErrorText.empty() && g.GetTree();
  if (!formed || !readable) return text;
  return Polished(*readable, var, algebra::Use::Reading);
}

std::string AntiderivativeText(TKoMathTreeFunction& f, const std::string& var) {
  TKoMathTreeFunction g;
  bool formed = false;
  return AntiderivativeText(f, var, g, formed);
}

std::string AntiderivativeText(TKoMathTreeFunction& f, const std::string& var,
                               TKoMathTreeFunction& g, bool& formed) {
  formed = false;
  if (!SimplifiedWithinLimit(f)) return kTextIntegrationFailed;
  const TKoCalculusCreator& integrator = FormAntiderivative(g, f, var);
  const algebra::Use use = HasTypedDecimal(f.FunctionString())
                               ? algebra::Use::Antiderivative
                               : algebra::Use::AntiderivativeOfWhole;
  const std::optional<std::string> readable = Readable(g.GetTree(), var, use);
  if (!SimplifiedWithinLimit(g)) return kTextIntegrationFailed;
  std::string text = SymbolicText(integrator, g, true, kTextIntegrationFailed);
  formed = integrator.ErrorText.empty() && g.GetTree();
  if (!formed || !readable) return text;
  return Polished(*readable, var, use);
}

void RunNumericDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (DigitsWanted()) return RunDerivativeToDigits(cmd, f, DigitsWanted(), true);
  // Seventeen digits, each of them right, where the derivative can be formed.
  if (AccurateNumerics) return RunDerivativeToDigits(cmd, f, kExtendedDigits, false);
  const long double x = StartValue(cmd, f);
  TKoMathDiffNumFunction n(&f);
  n.OtherNotOwned = true;
  n.SetDiffLevel(cmd.DiffLevel);
  n.SetRunningVar(cmd.XVar);
  n.Calculate();
  WriteHeader(cmd, kTextThe + Level(cmd) + kTextDerivativeOf + f.FunctionString() + kTextAtPoint +
                       ValueToText(x) + kTextIs);
  WriteResult(n);
  if (NotesOnTerminal && n.GetErrorText().empty()) WriteDerivativeHint(n.Value, n.ErrorEstimate);
}

bool ModeToDigits(const TKoMathCommandLine& cmd) {
  if (cmd.DiffLevel > 0) return cmd.Numerical;
  if (cmd.Stamm) return cmd.Numerical;
  return cmd.FuncLength && !cmd.Newton;
}

void RunSymbolicDerivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  ParserOf(f).Execute();
  const std::string result = DerivativeText(f, cmd.XVar, cmd.DiffLevel);
  WriteHeader(cmd, kTextThe + Level(cmd) + kTextDerivativeOf + f.FunctionString() + kTextIs);
  WriteLine(result);
}

void RunNumericIntegral(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (DigitsWanted()) return RunIntervalToDigits(cmd, f, false, kTextAreaOf, ",");
  if (AccurateNumerics) return RunAccurately(cmd, f, nullptr, kTextAreaOf, ",");
  TKoMathIntgNumFunction n(&f);
  RunInterval(cmd, f, n, kTextAreaOf, ",");
}

void RunAntiderivative(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  ParserOf(f).Execute();
  const std::string result = AntiderivativeText(f, cmd.XVar);
  WriteHeader(cmd, kTextAntiderivativeOf + f.FunctionString() + kTextIs);
  WriteLine(result);
  if (NotesOnTerminal && (result == kTextNoAntiderivative || result == kTextIntegrationFailed))
    WriteNoElementaryNote(f, cmd.XVar);
}

void RunNewton(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (DigitsWanted()) return RunNewtonToDigits(cmd, f);
  const long double x = StartValue(cmd, f);
  TKoMathNewtonFunction n(&f);
  n.OtherNotOwned = true;
  n.SetRunningVar(cmd.XVar);
  n.SetVarValue(cmd.XVar, x);
  n.Calculate();
  WriteHeader(cmd, kTextApproximationOf + f.FunctionString() + kTextAmountsTo);
  WriteResult(n);
}

void RunArcLength(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (DigitsWanted()) return RunIntervalToDigits(cmd, f, true, kTextLengthOf, ";");
  if (AccurateNumerics) {
    // The slope from the symbolic derivative where it can be formed.
    ParserOf(f).Execute();
    TKoMathTreeFunction g;
    bool formed = false;
    if (f.GetTree()) {
      try {
        const TKoCalculusCreator& differencer = FormDerivative(g, f, cmd.XVar, 1);
        formed = differencer.ErrorText.empty() && g.GetTree() && SimplifiedWithinLimit(g);
      } catch (const Exception&) {
        formed = false;
      }
    }
    return RunAccurately(cmd, f, formed ? &g : nullptr, kTextLengthOf, ";");
  }
  TKoMathLenNumFunction n(&f);
  RunInterval(cmd, f, n, kTextLengthOf, ";");
}

void RunSimplification(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  // Only a parse failure stops the simplification: the term is not evaluated first.
  TKoMathParser& parser = ParserOf(f);
  parser.Execute();
  if (!parser.ErrorText.empty() || !f.GetTree()) {
    NoteErrorLine();
    WriteLine(parser.ErrorText.empty() ? kTextSyntaxError : parser.ErrorText);
    return;
  }
  const std::string before = f.FunctionString();
  const std::optional<std::string> readable = Readable(f.GetTree(), cmd.XVar);
  const bool simplified = SimplifiedWithinLimit(f);
  if (cmd.ExtOutput) {
    WriteLine(before);
    WriteLine(" =");
  }
  if (!simplified) NoteErrorLine();
  if (!simplified) {
    WriteLine(kTextSimplifyFailed);
  } else {
    WriteLine(readable ? Polished(*readable, cmd.XVar, algebra::Use::Reading) : f.FunctionString());
  }
}

void RunEvaluation(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (DigitsWanted()) return RunEvaluationToDigits(cmd, f);
  f.Calculate();
  if (!f.GetErrorText().empty()) {
    NoteErrorLine();
    WriteLine(f.GetErrorText());
    return;
  }
  if (cmd.ExtOutput) {
    WriteLine(f.FunctionString());
    WriteLine(" =");
  }
  WriteLine(ValueToText(f.Value));
}
