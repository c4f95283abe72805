// A function of named real variables that can be calculated.
#pragma once

#include <cstdint>
#include <string>

class TKoMathFunction {
 public:
  TKoMathFunction() = default;
  virtual ~TKoMathFunction() = default;
  TKoMathFunction(const TKoMathFunction&) = delete;
  TKoMathFunction& operator=(const TKoMathFunction&) = delete;

  // Assigning a source to this function calls the source's AssignTo with this one.
  void Assign(TKoMathFunction& source) { source.AssignTo(*this); }
  // Copies the variable values by name; dest must know every name.
  virtual void AssignTo(TKoMathFunction& dest);

  virtual long double GetVarValue(const std::string& name) = 0;
  virtual void SetVarValue(const std::string& name, long double v) = 0;
  virtual long double GetVarValueAt(std::int32_t index) = 0;
  virtual void SetVarValueAt(std::int32_t index, long double v) = 0;
  virtual std::string GetVarName(std::int32_t index) = 0;
  virtual std::int32_t IndexOfVar(const std::string& name) = 0;
  virtual std::int32_t VarCount() = 0;
  virtual const std::string& GetErrorText() = 0;
  virtual void SetErrorText(const std::string& text) = 0;
  // Computes the function at the current variable values into Value; sets the error text.
  virtual void Calculate() = 0;

  long double Value = 0;
};

// A result number as printed: the display text with the decimal separator.
std::string ValueToText(long double v);

// The refusal of a derivative of an order below 1, symbolic or numeric:
// "Es gibt keine 0. Ableitung!".
std::string NoDerivativeText(std::int32_t level);
