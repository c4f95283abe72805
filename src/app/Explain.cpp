// Why a term is a "Syntaxfehler": the term with a caret under the position the parser
// names, its reason, and hints for the common slips. Written to standard error only.
#include <algorithm>
#include <cctype>
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

constexpr const char* kTextLostSwitchBackslash =
    "Schalter beginnen mit \\ und sind in einfache Anf\374hrungsstriche einzuschlie\337en; "
    "gemeint ist wohl ";
constexpr const char* kTextNoFunction = " ist keine Funktion von tcalc";
constexpr const char* kTextMeantLower = "; gemeint ist wohl ";
constexpr const char* kTextOr = " oder ";
constexpr const char* kTextLogarithmBase =
    " hat nur ein Argument; den Logarithmus von x zur Basis b gibt ln(x)/ln(b).";
constexpr const char* kTextReadAs = " hat '";
constexpr const char* kTextReadAsEnd = "' als ";
constexpr const char* kTextReadAsMend = " gelesen; gemeint ist wohl ";
constexpr const char* kTextLateOptions =
    "Optionen stehen vor allen anderen Argumenten; gemeint ist wohl ";

// What a switch given alone reads from the next argument, and how a value of it is written.
struct TSwitchValue {
  char Letter;
  const char* Meaning;
  const char* Written;
};
constexpr TSwitchValue kSwitchValues[] = {
    {'D', "Ordnung", "1"},
    {'T', "Intervallende", "<Zahl>"},
    {'L', "Schrittweite", "<Zahl>"},
    {'X', "Variable", "<Name>"},
    {'V', "Zuweisung", "<Name>=<Wert>"},
};

// Names that other calculators, languages and German school books give to functions of
// tcalc, and what tcalc writes for them.
struct TOtherName {
  const char* Name;  // upper case
  const char* Meant;
};
constexpr TOtherName kOtherNames[] = {
    {"ASIN", "arcsin"},    {"ACOS", "arccos"},    {"ATAN", "arctan"},    {"ACOT", "arccot"},
    {"ASINH", "arcsinh"},  {"ACOSH", "arccosh"},  {"ATANH", "arctanh"},  {"ACOTH", "arccoth"},
    {"ARSINH", "arcsinh"}, {"ARCOSH", "arccosh"}, {"ARTANH", "arctanh"}, {"ARCOTH", "arccoth"},
    {"ARCTG", "arctan"},   {"TG", "tan"},         {"CTG", "cot"},        {"COTAN", "cot"},
    {"WURZEL", "sqrt"},    {"ROOT", "sqrt"},      {"LG", "log"},         {"LOG10", "log"},
    {"LOG2", "ld"},        {"LB", "ld"},          {"SIGN", "sgn"},       {"SIGNUM", "sgn"},
    {"CEILING", "ceil"},   {"FABS", "abs"},       {"BETRAG", "abs"},     {"RAND", "rnd"},
    {"RANDOM", "rnd"},     {"SEC", "1/cos"},      {"CSC", "1/sin"},      {"COSEC", "1/sin"},
    {"SINUS", "sin"},      {"COSINUS", "cos"},    {"TANGENS", "tan"},    {"KOTANGENS", "cot"},
};

// Names this far from a function name, counted in letters changed, added or left out, are
// taken for slips of it; short names only one letter away.
constexpr std::size_t kNearestDistance = 2;
constexpr std::size_t kShortName = 3;

bool IsLetter(char c) {
  return IsAsciiLetter(c);
}

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool IsNameChar(char c) {
  return IsLetter(c) || IsDigit(c);
}

// Letters to change, add or leave out to turn a into b, without regard to case.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = UpperCase(a.substr(i - 1, 1)) == UpperCase(b.substr(j - 1, 1));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// What a name that is no function of tcalc may have meant: the name tcalc gives it, else
// the function names nearest to it.
std::vector<std::string> NearestFunctions(const std::string& name) {
  const std::string upper = UpperCase(name);
  for (const TOtherName& other : kOtherNames)
    if (upper == other.Name) return {other.Meant};
  const TKoRealFunctionList& functions = SharedFunctionList();
  std::vector<std::string> nearest;
  std::size_t best = name.size() <= kShortName ? 1 : kNearestDistance;
  for (std::int32_t i = 0; i < functions.Count(); ++i) {
    const std::string function = Lower(functions.Name(i));
    const std::size_t distance = Distance(name, function);
    // a short name is near every short function name
    if (distance >= name.size() || distance > best) continue;
    if (distance < best) nearest.clear();
    best = distance;
    nearest.push_back(function);
  }
  return nearest;
}

// The index past the bracket that opens at open, or the term's end.
std::size_t PastBracket(const std::string& term, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < term.size(); ++i) {
    if (term[i] == '(') ++depth;
    if (term[i] == ')' && --depth == 0) return i + 1;
  }
  return term.size();
}

// A comma between the arguments of a logarithm's bracket, as in log(2,8).
bool CommaInBracket(const std::string& term, std::size_t open) {
  int depth = 0;
  const std::size_t end = PastBracket(term, open);
  for (std::size_t i = open; i < end; ++i) {
    if (term[i] == '(') ++depth;
    if (term[i] == ')') --depth;
    if (term[i] == ',' && depth == 1) return true;
  }
  return false;
}

// Each name followed by a bracket, with the position of the bracket.
std::vector<std::pair<std::string, std::size_t>> CalledNames(const std::string& term) {
  std::vector<std::pair<std::string, std::size_t>> called;
  for (std::size_t i = 0; i < term.size();) {
    const bool starts =
        IsLetter(term[i]) && (i == 0 || (!IsNameChar(term[i - 1]) && term[i - 1] != '.'));
    if (!starts) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < term.size() && IsNameChar(term[end])) ++end;
    std::size_t open = end;
    while (open < term.size() && term[open] == ' ') ++open;
    if (open < term.size() && term[open] == '(') called.emplace_back(term.substr(i, end - i), open);
    i = end;
  }
  return called;
}

// The hints for names used as functions: names that are none, and a logarithm given a base.
std::vector<std::string> CallHints(const std::string& term, bool& logarithmBase) {
  std::vector<std::string> hints;
  const TKoRealFunctionList& functions = SharedFunctionList();
  for (const auto& [name, open] : CalledNames(term)) {
    const std::int32_t index = functions.IndexOfFunction(UpperCase(name));
    if (index >= 0) {
      const std::string upper = UpperCase(name);
      if ((upper == "LOG" || upper == "LN" || upper == "LD") && CommaInBracket(term, open)) {
        logarithmBase = true;
        hints.push_back(name + kTextLogarithmBase);
      }
      continue;
    }
    std::string hint = name + kTextNoFunction;
    const std::vector<std::string> nearest = NearestFunctions(name);
    for (std::size_t i = 0; i < nearest.size(); ++i)
      hint += (i == 0 ? kTextMeantLower : kTextOr) + nearest[i];
    hints.push_back(hint + ".");
  }
  return hints;
}

// "d1 x^3" lost the backslashes of its switch: the first word a switch letter that takes a
// value and a number after it, or a flag letter alone.
std::string LostSwitch(const std::string& term) {
  const std::size_t blank = term.find(' ');
  if (blank == std::string::npos) return {};
  const std::string word = term.substr(0, blank);
  const std::string rest = Trim(term.substr(blank));
  if (rest.empty()) return {};
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
  long double number = 0;
  const bool valued = word.size() > 1 && (letter == 'd' || letter == 't' || letter == 'l') &&
                      ScanNumber(word.substr(1), number);
  const bool flag =
      (word.size() == 1 && std::string("cijmnsw").find(letter) != std::string::npos) ||
      Lower(word) == "ss";
  if (!valued && !flag) return {};
  return kTextLostSwitchBackslash + ("'\\" + word + "' '" + rest + "'.");
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

void ExplainUnknownNamesNow(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (!NamesCountAsZero(cmd)) return;
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

void ExplainSwallowedValuesNow(const TKoMathCommandLine& cmd) {
  std::fflush(stdout);
  for (const auto& [letter, argument] : cmd.Swallowed) {
    long double number = 0;
    // \d 0 asks for an order, however useless
    if (letter == 'D' && ScanNumber(argument, number)) continue;
    for (const TSwitchValue& value : kSwitchValues) {
      if (value.Letter != letter) continue;
      const std::string name = std::string("\\") + Lower(std::string(1, letter));
      std::string hint = kTextHint + name;
      hint.append(kTextReadAs).append(argument).append(kTextReadAsEnd).append(value.Meaning);
      hint.append(kTextReadAsMend).append("'").append(name).append(value.Written);
      hint.append("' '").append(argument).append("'");
      ErrorLine(hint);
    }
  }
}

void ExplainLateOptionsNow(const std::string& progName, const std::vector<std::string>& args) {
  const auto isOption = [](const std::string& arg) {
    return arg.size() > 2 && arg.rfind("--", 0) == 0 && IsLetter(arg[2]);
  };
  std::string options, others;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!isOption(args[i])) {
      others += " '" + args[i] + "'";
      continue;
    }
    options += " " + args[i];
    // the count of --digits as an argument of its own
    if (args[i] == "--digits" && i + 1 < args.size()) options += " " + args[++i];
  }
  if (options.empty()) return;
  std::fflush(stdout);
  ErrorLine(kTextHint + std::string(kTextLateOptions) + progName + options + others);
}

void ExplainSyntaxErrorNow(const TKoMathParser& parser) {
  std::fflush(stdout);
  // The arguments of the term are joined with blanks: the leading ones are not the user's.
  const std::size_t lead = parser.FunctionString.find_first_not_of(' ');
  const std::string term = lead == std::string::npos ? "" : parser.FunctionString.substr(lead);
  if (term.size() <= kLongestShownTerm) ShowTerm(term, parser.ReasonPos);
  if (!parser.Reason.empty()) ErrorLine(parser.Reason);
  bool logarithmBase = false;
  const std::vector<std::string> calls = CallHints(term, logarithmBase);
  for (const char* hint : Hints(term)) {
    // the comma of log(2,8) separates arguments, it is no decimal comma
    if (logarithmBase && hint == kTextDecimalComma) continue;
    ErrorLine(std::string(kTextHint) + hint);
  }
  for (const std::string& hint : calls) ErrorLine(kTextHint + hint);
  const std::string lost = LostSwitch(term);
  if (!lost.empty()) ErrorLine(kTextHint + lost);
}
