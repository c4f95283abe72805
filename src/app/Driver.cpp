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

bool gUtf8 = false;
std::size_t gErrorLines = 0;
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

void RunMode(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
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

void SetUtf8Output(bool utf8) {
  gUtf8 = utf8;
}

bool Utf8Output() {
  return gUtf8;
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
  for (std::int32_t i = 0; i < cmd.VarCount(); ++i) {
    const std::string name = cmd.VarName(i);
    f.AddVariable(name);
    long double v = 0;
    if (cmd.VarValue(i, v)) f.SetVarValue(name, v);
  }
  f.AddVariable(cmd.XVar);
  auto parser = std::make_unique<TKoMathParser>(&f);
  parser->SetFunctionString(cmd.FuncStr);
  const TKoMathParser& parsed = *parser;
  f.SetCreator(std::move(parser));
  return parsed;
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
  if (!cmd.Errors.empty()) {
    for (const std::string& message : cmd.Errors) WriteLine(message);
    NoteErrorLine();
    return 0;
  }
  if (cmd.AllParams) WriteParameters(cmd);
  const TKoMathParser& parsed = BindCommandLine(cmd, f);
  RunMode(cmd, f);
  ExplainSyntaxError(parsed);
  ExplainUnknownNames(cmd, f);
  return 0;
}
