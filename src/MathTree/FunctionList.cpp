#include <algorithm>
#include <array>
#include <iterator>

#include "MathTree/MathTree.hpp"

void TKoAbstractFunctionList::Build() {
  FillFunctions();
  NameIndex.clear();
  for (std::int32_t i = 0; i < Count(); ++i) NameIndex.emplace_back(UpperCase(Name(i)), i);
  std::sort(NameIndex.begin(), NameIndex.end());
}

std::int32_t TKoAbstractFunctionList::IndexOfFunction(const std::string& name) const {
  const std::string key = UpperCase(name);
  const auto it =
      std::lower_bound(NameIndex.begin(), NameIndex.end(), key,
                       [](const auto& entry, const std::string& k) { return entry.first < k; });
  return it != NameIndex.end() && it->first == key ? it->second : -1;
}

namespace {

// The names of the codes: the name a term may use (none for the operators), as listed in
// the help text, and the name printed for the code's nodes. A code with two names (Int,
// Trunc) prints as its first row says.
struct TNameRow {
  TOperation Code;
  const char* ListName;
  const char* DisplayName;
};

constexpr TNameRow kNames[] = {
    {opSum, nullptr, "+"},
    {opProduct, nullptr, "*"},
    {opQuotient, nullptr, "/"},
    {opPower, nullptr, "^"},
    {opNegation, nullptr, "-"},
    {opFactorial, nullptr, "!"},
    // The function names in the order of the help text.
    {opExp, "Exp", "exp"},
    {opLn, "Ln", "ln"},
    {opLog, "Log", "log"},
    {opLd, "Ld", "ld"},
    {opSqr, "Sqr", "sqr"},
    {opSqrt, "Sqrt", "sqrt"},
    {opSin, "Sin", "sin"},
    {opCos, "Cos", "cos"},
    {opTan, "Tan", "tan"},
    {opCot, "Cot", "cot"},
    {opArcSin, "ArcSin", "arcsin"},
    {opArcCos, "ArcCos", "arccos"},
    {opArcTan, "ArcTan", "arctan"},
    {opArcCot, "ArcCot", "arccot"},
    {opSinh, "Sinh", "sinh"},
    {opCosh, "Cosh", "cosh"},
    {opTanh, "Tanh", "tanh"},
    {opCoth, "Coth", "coth"},
    {opArcSinh, "ArcSinh", "arcsinh"},
    {opArcCosh, "ArcCosh", "arccosh"},
    {opArcTanh, "ArcTanh", "arctanh"},
    {opArcCoth, "ArcCoth", "arccoth"},
    {opTrunc, "Int", "trunc"},
    {opTrunc, "Trunc", "trunc"},
    {opRound, "Round", "round"},
    {opFrac, "Frac", "frac"},
    {opSgn, "Sgn", "sgn"},
    {opAbs, "Abs", "abs"},
    {opZero, "Zero", "zero"},
    {opCeil, "Ceil", "ceil"},
    {opFloor, "Floor", "floor"},
    {opHeav, "Heav", "heav"},
    {opPhase, "Phase", "phase"},
    {opRnd, "Rnd", "rnd"},
};

constexpr std::size_t CountListNames() {
  std::size_t n = 0;
  for (const TNameRow& row : kNames)
    if (row.ListName) ++n;
  return n;
}

// Every named row is a function of one argument.
constexpr bool ListNamesAreFunctions() {
  for (const TNameRow& row : kNames)
    if (row.ListName && !IsFunctionCode(row.Code)) return false;
  return true;
}

static_assert(CountListNames() == 34, "the term language has 34 function names");
static_assert(ListNamesAreFunctions());

// The row of each code's display name, found at compile time; -1 for codes without one.
constexpr std::size_t kCodeCount = opInfixMinus + 1;
constexpr auto kDisplayRow = [] {
  std::array<std::int8_t, kCodeCount> rows{};
  rows.fill(-1);
  for (std::size_t i = std::size(kNames); i-- > 0;)
    rows[kNames[i].Code] = static_cast<std::int8_t>(i);
  return rows;
}();

}  // namespace

void TKoRealFunctionList::FillFunctions() {
  for (const TNameRow& row : kNames)
    if (row.ListName) Add(row.ListName, row.Code);
}

const TKoRealFunctionList& SharedFunctionList() {
  static const TKoRealFunctionList list;
  return list;
}

std::string TKoOperatorNode::DisplayName() const {
  if (Operation == opConstant) return DataToText(ValueRef, DataType);
  if (Operation == opVariable) return Variable ? Variable->Name : std::string();
  const std::int8_t row = kDisplayRow[Operation];
  return row < 0 ? std::string() : kNames[row].DisplayName;
}
