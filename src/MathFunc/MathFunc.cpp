#include "MathFunc/MathFunc.hpp"

#include "util/util.hpp"

namespace {

constexpr const char* kTextNoDerivative = "Es gibt keine ";
constexpr const char* kTextNoDerivativeEnd = ". Ableitung!";

}  // namespace

void TKoMathFunction::AssignTo(TKoMathFunction& dest) {
  for (std::int32_t i = 0; i < VarCount(); ++i) dest.SetVarValue(GetVarName(i), GetVarValueAt(i));
}

// Every run that prints a number calls it: placed with the start-up code, whose pages a
// short run maps anyway.
[[gnu::hot]] std::string ValueToText(long double v) {
  std::string text = DataToText(&v, dtExtended);
  const auto point = text.find('.');
  if (point != std::string::npos) text[point] = DecimalSeparator;
  return text;
}

std::string NoDerivativeText(std::int32_t level) {
  return kTextNoDerivative + std::to_string(level) + kTextNoDerivativeEnd;
}
