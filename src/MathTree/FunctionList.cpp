#include <algorithm>
#include <array>
#include <iterator>

#include "MathTree/MathTree.hpp"

std::int32_t TKoAbstractFunctionList::IndexOfFunction(const std::string& name) const {
  const std::string key = UpperCase(name);
  const std::span<const TIndexEntry> index = NameIndex();
  const auto it = std::lower_bound(
      index.begin(), index.end(), std::string_view(key),
      [](const TIndexEntry& entry, std::string_view k) { return entry.Upper < k; });
  return it != index.end() && it->Upper == key ? it->Position : -1;
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

// The function names in upper case, sorted, with their positions in the list: built by the
// compiler, so that a run starts without sorting them.
constexpr std::size_t kLongestName = 8;
struct TUpperName {
  std::array<char, kLongestName> Text;
  std::size_t Length;
  std::int32_t Position;
};

constexpr auto kUpperNames = [] {
  std::array<TUpperName, CountListNames()> names{};
  std::size_t n = 0;
  for (const TNameRow& row : kNames) {
    if (!row.ListName) continue;
    TUpperName& name = names[n];
    name.Position = static_cast<std::int32_t>(n);
    for (const char* c = row.ListName; *c; ++c)
      name.Text[name.Length++] = *c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c;
    ++n;
  }
  std::sort(names.begin(), names.end(), [](const TUpperName& a, const TUpperName& b) {
    return std::string_view(a.Text.data(), a.Length) < std::string_view(b.Text.data(), b.Length);
  });
  return names;
}();

}  // namespace

std::span<const TKoAbstractFunctionList::TIndexEntry> TKoRealFunctionList::NameIndex() const {
  static constexpr auto kIndex = [] {
    std::array<TIndexEntry, kUpperNames.size()> index{};
    for (std::size_t i = 0; i < index.size(); ++i)
      index[i] = {std::string_view(kUpperNames[i].Text.data(), kUpperNames[i].Length),
                  kUpperNames[i].Position};
    return index;
  }();
  return kIndex;
}

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
