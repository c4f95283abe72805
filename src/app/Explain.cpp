// Why a term is a "Syntaxfehler": the term with a caret under the position the parser
// names, its reason, and hints for the common slips. Written to standard error only.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "MathPars/MathPars.hpp"
#include "MathTree/MathTree.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"
#include "util/util.hpp"

namespace {

bool gExplain = false;

// Longer terms are not shown again: a terminal full of term helps nobody.
constexpr std::size_t kLongestShownTerm = 200;

constexpr const char* kTextHint = "Hinweis: ";
constexpr const char* kTextImplicitProduct =
    "Multiplikation immer mit * schreiben, z.B. 2*x statt 2x.";
constexpr const char* kTextSignAfterOperator =
    "Ein Vorzeichen nach einem Operator in Klammern setzen, z.B. 2*(-3) statt 2*-3.";
constexpr const char* kTextDecimalComma = "Als Komma ist der Punkt anzugeben, z.B. 2.5.";
constexpr const char* kTextLostBackslash =
    "Schalter und Variablen beginnen mit \\ und sind in einfache Anf\374hrungsstriche "
    "einzuschlie\337en, z.B. '\\va=4'.";

constexpr const char* kTextUnknownName = " ist weder Funktion noch Variable und z\344hlt als 0.";
constexpr const char* kTextMeant = " Gemeint ist wohl ";

bool IsLetter(char c) {
  return IsAsciiLetter(c);
}

std::vector<const char*> Hints(const std::string& term) {
  std::vector<const char*> hints;
  bool implicit = false, sign = false, comma = false;
  for (std::size_t i = 0; i + 1 < term.size(); ++i) {
    const char a = term[i], b = term[i + 1];
    implicit = implicit || (IsDigit(a) && (IsLetter(b) || b == '(')) || (a == ')' && b == '(');
    sign = sign || ((a == '*' || a == '/' || a == '^') && (b == '-' || b == '+'));
    comma = comma || (IsDigit(a) && b == ',' && i + 2 < term.size() && IsDigit(term[i + 2]));
  }
  // "va=4" lost its backslash to the shell.
  const bool lost = term.size() > 2 && IsLetter(term[0]) && term.find('=') != std::string::npos;
  if (implicit) hints.push_back(kTextImplicitProduct);
  if (sign) hints.push_back(kTextSignAfterOperator);
  if (comma) hints.push_back(kTextDecimalComma);
  if (lost) hints.push_back(kTextLostBackslash);
  return hints;
}

// The hints name what the user typed: the term's own characters stay whole.
void ErrorLine(const std::string& text) {
  const std::string out = TypedToConsole(text) + "\n";
  std::fwrite(out.data(), 1, out.size(), stderr);
}

// The term and a caret under the position where the parser failed.
void ShowTerm(const std::string& term, std::int32_t errorPos) {
  ErrorLine("  " + term);
  // The tokenizer counts from the first character that is not a blank.
  const std::int64_t column = static_cast<std::int64_t>(errorPos) - 1;
  if (errorPos <= 0 || column < 0 || static_cast<std::size_t>(column) > term.size()) return;
  // one column per character: the bytes that continue a UTF-8 character take none
  std::size_t width = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(column); ++i)
    if ((static_cast<unsigned char>(term[i]) & 0xC0U) != 0x80U) ++width;
  ErrorLine("  " + std::string(width, ' ') + "^");
}

// Whether the mode computes with the term's values, so that a name without value is 0;
// the symbolic modes keep such names as they are.
bool NamesCountAsZero(const TKoMathCommandLine& cmd) {
  if (cmd.DiffLevel > 0 || cmd.Stamm) return cmd.Numerical;
  return cmd.Newton || cmd.FuncLength || !cmd.Simplify;
}

bool GivenByTheUser(const TKoMathCommandLine& cmd, const std::string& name) {
  const std::string upper = UpperCase(name);
  if (EqualsUpperCase(cmd.XVar, upper)) return true;
  for (std::int32_t i = 0; i < cmd.VarCount(); ++i)
    if (EqualsUpperCase(cmd.VarName(i), upper)) return true;
  return false;
}

// "ln2" for "ln(2)": the longest function name the name begins with, and the rest in brackets.
std::string MeantCall(const std::string& name) {
  const TKoRealFunctionList& functions = SharedFunctionList();
  const std::string upper = UpperCase(name);
  std::size_t longest = 0;
  for (std::int32_t i = 0; i < functions.Count(); ++i) {
    const std::string function = UpperCase(functions.Name(i));
    if (function.size() > longest && function.size() < upper.size() &&
        upper.compare(0, function.size(), function) == 0)
      longest = function.size();
  }
  if (longest == 0) return {};
  return name.substr(0, longest) + "(" + name.substr(longest) + ")";
}

}  // namespace

void ExplainUnknownNames(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (!gExplain || !f.GetTree() || !NamesCountAsZero(cmd)) return;
  std::fflush(stdout);
  for (std::int32_t i = 0; i < f.VarCount(); ++i) {
    const std::string name = f.GetVarName(i);
    if (GivenByTheUser(cmd, name)) continue;
    std::string hint = kTextHint + name + kTextUnknownName;
    const std::string meant = MeantCall(name);
    if (!meant.empty()) hint += kTextMeant + meant + ".";
    ErrorLine(hint);
  }
}

void SetExplain(bool explain) {
  gExplain = explain;
}

void ExplainSyntaxError(const TKoMathParser& parser) {
  if (!gExplain || parser.ErrorText != kTextSyntaxError) return;
  std::fflush(stdout);
  // The arguments of the term are joined with blanks: the leading ones are not the user's.
  const std::size_t lead = parser.FunctionString.find_first_not_of(' ');
  const std::string term = lead == std::string::npos ? "" : parser.FunctionString.substr(lead);
  if (term.size() <= kLongestShownTerm) ShowTerm(term, parser.ReasonPos);
  if (!parser.Reason.empty()) ErrorLine(parser.Reason);
  for (const char* hint : Hints(term)) ErrorLine(std::string(kTextHint) + hint);
}
