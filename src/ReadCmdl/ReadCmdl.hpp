// The command-line reader: switches, variable assignments and the term, read once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A variable named on the command line; without a value it exists but holds nothing.
struct TKoCmdlVariable {
  std::string Name;
  std::optional<long double> Value;
  // the number as written; empty for the constants Pi and e and for a term's value
  std::string Text;
  std::string Term;  // the constant term the value was computed from (\va=pi/2)
};

// Settings of one run, read from the arguments after the program path. Reading never
// fails: unusable values are ignored or collected as messages in Errors.
class TKoMathCommandLine {
 public:
  explicit TKoMathCommandLine(const std::vector<std::string>& args);

  std::int32_t VarCount() const;
  std::string VarName(std::int32_t index) const;
  // Copies the value of entry index into value when it has one.
  bool VarValue(std::int32_t index, long double& value) const;

  bool ShowInfo = false;
  bool ExtOutput = false;
  bool AllParams = false;
  std::string XVar = "x";
  std::int32_t DiffLevel = 0;
  bool Stamm = false;
  bool Newton = false;
  bool Numerical = false;
  bool FuncLength = false;
  bool Simplify = false;
  long double Intervall = 0.01L;
  bool IntervallGiven = false;  // \l was given
  long double ToValue = 0;
  bool ToValueGiven = false;  // \t was given
  std::string ToText;         // the text of \t's value as given
  std::string FuncStr;
  // Pi and e first; later entries of the same name follow and win when applied in order.
  std::vector<TKoCmdlVariable> Variables;
  std::vector<std::string> Errors;
  // A switch given alone took the next argument as its value, and that was none: most often
  // the value was forgotten and the term went in its place.
  struct TSwallowed {
    char Letter;  // upper case
    std::string Argument;
  };
  std::vector<TSwallowed> Swallowed;

 private:
  // Acts on a switch given alone; true when the letter waits for a value argument.
  bool SetSwitch(char letter);
  // Reads the value; false when it is none for the letter.
  bool ReadSwitchValue(char letter, const std::string& value);
  bool ReadNumber(const std::string& value, long double& target);
  bool ReadValue(const std::string& text, long double& value) const;
  bool ReadConstantTerm(const std::string& text, long double& value) const;
  bool AddVariable(const std::string& value);
};
