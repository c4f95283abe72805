#include <array>
#include <cctype>
#include <cstdio>
#include <memory>

#include "InfoAdd/InfoAdd.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"

namespace {

char ToCodePage437(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0xC4:
      return '\216';  // Ä
    case 0xD6:
      return '\231';  // Ö
    case 0xDC:
      return '\232';  // Ü
    case 0xDF:
      return '\341';  // ß
    case 0xE4:
      return '\204';  // ä
    case 0xF6:
      return '\224';  // ö
    case 0xFC:
      return '\201';  // ü
    default:
      return c;
  }
}

// The characters of the bytes 0x80 to 0xFF of code page 437.
constexpr std::array<char16_t, 128> kCodePage437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// A typed character as code page 437 gives it, '?' where it has none.
char CodePage437Byte(char32_t code) {
  for (std::size_t i = 0; i < kCodePage437.size(); ++i)
    if (kCodePage437[i] == code) return static_cast<char>(0x80 + i);
  return '?';
}

bool gUtf8 = false;
std::size_t gErrorLines = 0;
// error texts of this run written to standard error in place of a document
bool gNoDocument = false;
std::string* gLastLine = nullptr;

// A German letter (Latin-1) in UTF-8; every other byte as it is.
void AppendUtf8(std::string& out, char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (ToCodePage437(c) == c) {
    out += c;
    return;
  }
  out += static_cast<char>(0xC0 | (byte >> 6));
  out += static_cast<char>(0x80 | (byte & 0x3F));
}

void WriteRaw(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteHelp(const std::string& progName) {
  for (const std::string& row : HelpRowsBeforeNames(progName)) WriteLine(row);
  // The function names go straight to the console, one line joined by ", ".
  const TKoRealFunctionList& names = SharedFunctionList();
  std::string line;
  for (std::int32_t i = 0; i < names.Count(); ++i) line += (i ? ", " : "") + names.Name(i);
  WriteRaw(line);
  WriteLine("");
  WriteLine("");
  for (const std::string& row : HelpRowsAfterNames()) WriteLine(row);
}

// Shortest text with at most 15 significant digits, plain for ordinary magnitudes.
std::string GeneralFormat(long double v) {
  return GeneralNumberText(v, 15);
}

// The modes other than the value and Newton's root; false where none of them is asked for.
bool RunOtherMode(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (cmd.DiffLevel > 0) {
    if (cmd.Numerical) {
      RunNumericDerivative(cmd, f);
    } else {
      RunSymbolicDerivative(cmd, f);
    }
    return true;
  }
  if (cmd.Stamm) {
    if (cmd.Numerical) {
      RunNumericIntegral(cmd, f);
    } else {
      RunAntiderivative(cmd, f);
    }
    return true;
  }
  if (cmd.Newton || (!cmd.FuncLength && !cmd.Simplify)) return false;
  if (cmd.FuncLength) {
    RunArcLength(cmd, f);
  } else {
    RunSimplification(cmd, f);
  }
  return true;
}

// An equation is solved in the value mode and with --analyze; Newton's root is one of the
// difference of its sides.
bool SolvesEquations(const TKoMathCommandLine& cmd) {
  if (AnalyzeWanted()) return true;
  return PlotForm() == TPlotForm::kNone && cmd.DiffLevel <= 0 && !cmd.Stamm && !cmd.FuncLength &&
         !cmd.Simplify;
}

void RunMode(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (AnalyzeWanted()) return RunAnalysis(cmd, f);
  if (PlotForm() != TPlotForm::kNone) return RunPlot(cmd, f);
  if (RunOtherMode(cmd, f)) {
    // These compute with the extended type whatever digits were asked for.
    if (DigitsWanted() && !ModeToDigits(cmd)) WriteSeventeenDigitsNote();
    return;
  }
  if (cmd.Newton) return RunNewton(cmd, f);
  RunEvaluation(cmd, f);
}

}  // namespace

void WriteLine(const std::string& text) {
  if (gLastLine) *gLastLine = text;
  WriteRaw(ToConsole(text) + '\n');
}

void CaptureLastLine(std::string* line) {
  gLastLine = line;
}

void WriteParameters(const TKoMathCommandLine& cmd) {
  WriteLine("XVar =" + cmd.XVar);
  WriteLine("DiffLevel =" + std::to_string(cmd.DiffLevel));
  WriteLine("ToValue =" + GeneralFormat(cmd.ToValue));
  WriteLine("Intervall =" + GeneralFormat(cmd.Intervall));
  WriteLine("Stamm =" + BoolDigit(cmd.Stamm));
  WriteLine("Newton =" + BoolDigit(cmd.Newton));
  WriteLine("Numerical =" + BoolDigit(cmd.Numerical));
  WriteLine("FuncLength =" + BoolDigit(cmd.FuncLength));
  WriteLine("Simplify =" + BoolDigit(cmd.Simplify));
  WriteLine("FuncStr =" + cmd.FuncStr);
  WriteLine("VarCount =" + std::to_string(cmd.VarCount()));
  for (std::int32_t i = 0; i < cmd.VarCount(); ++i) {
    long double v = 0;
    const bool hasValue = cmd.VarValue(i, v);
    WriteLine("Var: " + cmd.VarName(i) + "=" + (hasValue ? GeneralFormat(v) : std::string()));
  }
}

std::string ToConsole(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (char c : text) {
    if (c == '\r') {
      out += '\n';
    } else if (gUtf8) {
      AppendUtf8(out, c);
    } else {
      out += ToCodePage437(c);
    }
  }
  return out;
}

std::string TypedToConsole(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size();) {
    char32_t code = 0;
    const std::size_t length = Utf8CharAt(text, i, code);
    if (length == 0) {
      out += ToConsole(text.substr(i, 1));
      ++i;
      continue;
    }
    if (gUtf8) {
      out.append(text, i, length);
    } else {
      out += CodePage437Byte(code);
    }
    i += length;
  }
  return out;
}

void SetUtf8Output(bool utf8) {
  gUtf8 = utf8;
}

bool Utf8Output() {
  return gUtf8;
}

void WriteErrorText(const std::string& text) {
  NoteErrorLine();
  if (PlotForm() != TPlotForm::kSvg) return WriteLine(text);
  gNoDocument = true;
  std::fflush(stdout);
  const std::string out = ToConsole(text) + '\n';
  std::fwrite(out.data(), 1, out.size(), stderr);
}

void NoteErrorLine() {
  ++gErrorLines;
}

std::size_t ErrorLinesWritten() {
  return gErrorLines;
}

std::string ProgramName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const TKoMathParser& BindCommandLine(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  return BindTerm(cmd, f, cmd.FuncStr);
}

const TKoMathParser& BindTerm(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                              const std::string& term) {
  for (std::int32_t i = 0; i < cmd.VarCount(); ++i) {
    const std::string name = cmd.VarName(i);
    f.AddVariable(name);
    long double v = 0;
    if (cmd.VarValue(i, v)) f.SetVarValue(name, v);
  }
  f.AddVariable(cmd.XVar);
  auto parser = std::make_unique<TKoMathParser>(&f);
  parser->SetFunctionString(term);
  const TKoMathParser& parsed = *parser;
  f.SetCreator(std::move(parser));
  return parsed;
}

namespace {
bool gAnalyze = false;
bool gExplain = false;
}  // namespace

void SetExplain(bool explain) {
  gExplain = explain;
}

void ExplainSyntaxError(const TKoMathParser& parser) {
  if (gExplain && parser.ErrorText == kTextSyntaxError) ExplainSyntaxErrorNow(parser);
}

void ExplainUnknownNames(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (gExplain && f.GetTree()) ExplainUnknownNamesNow(cmd, f);
}

void ExplainSwallowedValues(const TKoMathCommandLine& cmd) {
  if (gExplain && !cmd.Swallowed.empty()) ExplainSwallowedValuesNow(cmd);
}

void ExplainLateOptions(const std::string& progName, const std::vector<std::string>& args) {
  if (!gExplain) return;
  for (const std::string& arg : args)
    if (arg.rfind("--", 0) == 0) return ExplainLateOptionsNow(progName, args);
}

// Every run asks these: they stay with the code a short run maps anyway.
void SetAnalyze(bool analyze) {
  gAnalyze = analyze;
}

bool AnalyzeWanted() {
  return gAnalyze;
}

bool IsEquation(const std::string& term, const std::string& var) {
  const auto at = term.find('=');
  if (at == std::string::npos || term.find('=', at + 1) != std::string::npos) return false;
  // The unknown must occur as a name of its own: va=4 is a switch that lost its backslash.
  const auto isNameChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
  };
  for (std::size_t i = 0; i < term.size();) {
    if (!std::isalpha(static_cast<unsigned char>(term[i]))) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < term.size() && isNameChar(term[end])) ++end;
    if (UpperCase(term.substr(i, end - i)) == UpperCase(var)) return true;
    i = end;
  }
  return false;
}

namespace {

// The node limit as a run found it, again when the run ends: a higher derivative may raise it
// for its result, and a session or a test runs many command lines in one process.
class TNodeLimitOfRun {
 public:
  TNodeLimitOfRun() : Limit(TKoOperatorNode::GetMaxInstances()) {}
  ~TNodeLimitOfRun() {
    try {
      TKoOperatorNode::SetMaxInstances(Limit);
    } catch (const Exception&) {
      // nodes still alive beyond it; none are once the run's trees are gone
    }
  }
  TNodeLimitOfRun(const TNodeLimitOfRun&) = delete;
  TNodeLimitOfRun& operator=(const TNodeLimitOfRun&) = delete;

 private:
  std::int32_t Limit;
};

}  // namespace

int RunDriver(const std::string& progName, const std::vector<std::string>& args) {
  // before the function, so that its tree is gone when the limit returns
  const TNodeLimitOfRun limit;
  TKoMathTreeFunction f;
  if (args.empty()) {
    WriteHelp(progName);
    return 0;
  }
  const TKoMathCommandLine cmd(args);
  if (cmd.ShowInfo) {
    for (const std::string& entry : InfoAdds()) WriteLine(entry);
    return 0;
  }
  gNoDocument = false;
  if (!cmd.Errors.empty()) {
    for (const std::string& message : cmd.Errors) WriteErrorText(message);
    ExplainSwallowedValues(cmd);
    return gNoDocument ? kStatusNoDocument : 0;
  }
  if (cmd.AllParams) WriteParameters(cmd);
  const bool equation = IsEquation(cmd.FuncStr, cmd.XVar) && SolvesEquations(cmd);
  const TKoMathParser& parsed = equation ? RunEquationLine(cmd, f) : BindCommandLine(cmd, f);
  if (!equation) RunMode(cmd, f);
  ExplainSyntaxError(parsed);
  ExplainUnknownNames(cmd, f);
  ExplainSwallowedValues(cmd);
  ExplainLateOptions(progName, args);
  return gNoDocument ? kStatusNoDocument : 0;
}
