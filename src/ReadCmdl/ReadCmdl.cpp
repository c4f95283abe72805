#include "ReadCmdl/ReadCmdl.hpp"

#include <charconv>
#include <memory>
#include <string_view>

#include "MathPars/MathPars.hpp"
#include "MathTree/MathTree.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
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

bool IsConstantName(const std::string& name) {
  const std::string upper = UpperCase(name);
  return upper == "PI" || upper == "E";
}

}  // namespace

TKoMathCommandLine::TKoMathCommandLine(const std::vector<std::string>& args)
    : Variables{{"Pi", kPi, {}, {}}, {"e", kEuler, {}, {}}} {
  // The letter of a switch given alone, waiting for the next argument as its value.
  std::optional<char> pending;
  for (const std::string& arg : args) {
    // A shell can pass an empty argument; it carries nothing.
    if (arg.empty()) continue;
    if (arg[0] != '\\') {
      if (pending) {
        if (!ReadSwitchValue(*pending, arg)) Swallowed.push_back({*pending, arg});
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

bool TKoMathCommandLine::ReadSwitchValue(char letter, const std::string& value) {
  switch (letter) {
    case 'D':
      return ScanOrder(value, DiffLevel);
    case 'L':
      IntervallGiven = true;
      return ReadNumber(value, Intervall);
    case 'T':
      ToValueGiven = true;
      ToText = WithoutLeadingBlanks(value);
      return ReadNumber(value, ToValue);
    case 'S':
      AllParams = UpperCase(value) == "S";
      return true;
    case 'V':
      return AddVariable(value);
    case 'X':
      // Anything else could never be the variable of a term: it is ignored.
      if (!IsVariableName(value)) return false;
      XVar = value;
      return true;
    default:
      // a letter that no switch uses: no value is one
      return true;
  }
}

// A value such as pi/2 or 2*3, computed as a term is, with Pi and e as given so far; false
// when it names any other variable or rnd, does not parse or cannot be computed.
bool TKoMathCommandLine::ReadConstantTerm(const std::string& text, long double& value) const {
  TKoMathTreeFunction f;
  for (const TKoCmdlVariable& variable : Variables) {
    if (!IsConstantName(variable.Name) || !variable.Value) continue;
    f.AddVariable(variable.Name);
    f.SetVarValue(variable.Name, *variable.Value);
  }
  f.AddVariable("Pi");
  f.AddVariable("e");
  const std::int32_t constants = f.VarCount();
  auto parser = std::make_unique<TKoMathParser>(&f);
  parser->SetFunctionString(text);
  f.SetCreator(std::move(parser));
  // rnd is no constant: its draw is given back to the term's sequence
  const std::uint64_t draws = RandomDraws();
  f.Calculate();
  if (RandomDraws() != draws) {
    ReplayRandomSequence(draws);
    return false;
  }
  if (!f.GetErrorText().empty() || !f.GetTree() || f.VarCount() != constants) return false;
  value = f.Value;
  return true;
}

// A number as written, else a constant term.
bool TKoMathCommandLine::ReadValue(const std::string& text, long double& value) const {
  return ScanNumber(text, value) || ReadConstantTerm(text, value);
}

bool TKoMathCommandLine::ReadNumber(const std::string& value, long double& target) {
  long double number = 0;
  if (!ReadValue(WithoutLeadingBlanks(value), number)) {
    Errors.push_back(kTextIllegalValue + value);
    return false;
  }
  target = number;
  return true;
}

// name=number gives a variable with a value, a bare name one without.
bool TKoMathCommandLine::AddVariable(const std::string& value) {
  const auto equals = value.find('=');
  if (equals == std::string::npos) {
    Variables.push_back({Trim(value), std::nullopt, {}, {}});
    return IsVariableName(Trim(value));
  }
  const std::string numberText = Trim(value.substr(equals + 1));
  long double number = 0;
  if (ScanNumber(numberText, number)) {
    Variables.push_back({Trim(value.substr(0, equals)), number, numberText, {}});
    return true;
  }
  // A term's value has no text: its digits are those of the extended type.
  if (!ReadConstantTerm(numberText, number)) {
    Errors.push_back(kTextIllegalValue + numberText);
    return false;
  }
  Variables.push_back({Trim(value.substr(0, equals)), number, {}, numberText});
  return true;
}
