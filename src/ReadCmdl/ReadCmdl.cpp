#include "ReadCmdl/ReadCmdl.hpp"

#include <charconv>
#include <string_view>

#include "MathTree/MathTree.hpp"
#include "util/util.hpp"

namespace {

constexpr const char* kTextIllegalValue = "Illegaler Parameterwert: ";

constexpr long double kEuler = 2.71828182845904523536028747135266250L;

// An order of derivation: the whole text a decimal number with an optional sign, within
// 32 bits and above 0. A sign '-', also after a '+', can only give an order refused here.
bool ScanOrder(std::string_view text, std::int32_t& order) {
  if (text.starts_with('+')) text.remove_prefix(1);
  std::int32_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc() || end != text.data() + text.size() || n <= 0) return false;
  order = n;
  return true;
}

// A name a term reads as a variable: a letter, then letters and digits, and no function's.
bool IsVariableName(const std::string& text) {
  if (text.empty() || !IsAsciiLetter(text[0])) return false;
  for (const char c : text)
    if (!IsAsciiLetter(c) && !IsDigit(c)) return false;
  return SharedFunctionList().IndexOfFunction(text) < 0;
}

std::string WithoutLeadingBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first);
}

}  // namespace

TKoMathCommandLine::TKoMathCommandLine(const std::vector<std::string>& args)
    : Variables{{"Pi", kPi, {}}, {"e", kEuler, {}}} {
  // The letter of a switch given alone, waiting for the next argument as its value.
  std::optional<char> pending;
  for (const std::string& arg : args) {
    // A shell can pass an empty argument; it carries nothing.
    if (arg.empty()) continue;
    if (arg[0] != '\\') {
      if (pending) {
        ReadSwitchValue(*pending, arg);
        pending.reset();
      } else {
        FuncStr += " " + arg;
      }
      continue;
    }
    if (arg.size() == 1) continue;
    const char letter = UpperCase(arg.substr(1, 1))[0];
    if (arg.size() == 2) {
      if (SetSwitch(letter)) {
        pending = letter;
      } else {
        pending.reset();
      }
      continue;
    }
    ReadSwitchValue(letter, arg.substr(2));
    pending.reset();
  }
}

std::int32_t TKoMathCommandLine::VarCount() const {
  return static_cast<std::int32_t>(Variables.size());
}

std::string TKoMathCommandLine::VarName(std::int32_t index) const {
  return Variables.at(static_cast<std::size_t>(index)).Name;
}

bool TKoMathCommandLine::VarValue(std::int32_t index, long double& value) const {
  const auto& cell = Variables.at(static_cast<std::size_t>(index)).Value;
  if (!cell) return false;
  value = *cell;
  return true;
}

bool TKoMathCommandLine::SetSwitch(char letter) {
  switch (letter) {
    case 'C':
      Simplify = true;
      return false;
    case 'I':
      Stamm = true;
      return false;
    case 'J':
      ShowInfo = true;
      return false;
    case 'M':
      Numerical = true;
      return false;
    case 'N':
      Newton = true;
      return false;
    case 'S':
      ExtOutput = true;
      return false;
    case 'W':
      FuncLength = true;
      return false;
    case 'D':
      // \d alone means the first derivative, unless an order follows.
      DiffLevel = 1;
      return true;
    default:
      return true;
  }
}

void TKoMathCommandLine::ReadSwitchValue(char letter, const std::string& value) {
  switch (letter) {
    case 'D':
      ScanOrder(value, DiffLevel);
      return;
    case 'L':
      ReadNumber(value, Intervall);
      IntervallGiven = true;
      return;
    case 'T':
      ReadNumber(value, ToValue);
      ToValueGiven = true;
      ToText = WithoutLeadingBlanks(value);
      return;
    case 'S':
      AllParams = UpperCase(value) == "S";
      return;
    case 'V':
      AddVariable(value);
      return;
    case 'X':
      // Anything else could never be the variable of a term: it is ignored.
      if (IsVariableName(value)) XVar = value;
      return;
    default:
      return;
  }
}

void TKoMathCommandLine::ReadNumber(const std::string& value, long double& target) {
  long double number = 0;
  if (!ScanNumber(WithoutLeadingBlanks(value), number)) {
    Errors.push_back(kTextIllegalValue + value);
    return;
  }
  target = number;
}

// name=number gives a variable with a value, a bare name one without.
void TKoMathCommandLine::AddVariable(const std::string& value) {
  const auto equals = value.find('=');
  if (equals == std::string::npos) {
    Variables.push_back({Trim(value), std::nullopt, {}});
    return;
  }
  const std::string numberText = Trim(value.substr(equals + 1));
  long double number = 0;
  if (!ScanNumber(numberText, number)) {
    Errors.push_back(kTextIllegalValue + numberText);
    return;
  }
  Variables.push_back({Trim(value.substr(0, equals)), number, numberText});
}
