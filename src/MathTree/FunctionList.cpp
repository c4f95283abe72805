#include <algorithm>

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

void TKoRealFunctionList::FillFunctions() {
  static const std::pair<const char*, TOperation> kFunctions[] = {
      {"Exp", opExp},         {"Ln", opLn},           {"Log", opLog},
      {"Ld", opLd},           {"Sqr", opSqr},         {"Sqrt", opSqrt},
      {"Sin", opSin},         {"Cos", opCos},         {"Tan", opTan},
      {"Cot", opCot},         {"ArcSin", opArcSin},   {"ArcCos", opArcCos},
      {"ArcTan", opArcTan},   {"ArcCot", opArcCot},   {"Sinh", opSinh},
      {"Cosh", opCosh},       {"Tanh", opTanh},       {"Coth", opCoth},
      {"ArcSinh", opArcSinh}, {"ArcCosh", opArcCosh}, {"ArcTanh", opArcTanh},
      {"ArcCoth", opArcCoth}, {"Int", opTrunc},       {"Trunc", opTrunc},
      {"Round", opRound},     {"Frac", opFrac},       {"Sgn", opSgn},
      {"Abs", opAbs},         {"Zero", opZero},       {"Ceil", opCeil},
      {"Floor", opFloor},     {"Heav", opHeav},       {"Phase", opPhase},
      {"Rnd", opRnd}};
  static_assert(std::size(kFunctions) == 34);
  for (const auto& [name, code] : kFunctions) Add(name, code);
}

const TKoRealFunctionList& SharedFunctionList() {
  static const TKoRealFunctionList list;
  return list;
}

std::string TKoOperatorNode::DisplayName() const {
  switch (static_cast<TOperation>(Operation)) {
    case opConstant:
      return DataToText(ValueRef, DataType);
    case opVariable:
      return Variable ? Variable->Name : std::string();
    case opSum:
      return "+";
    case opProduct:
      return "*";
    case opQuotient:
      return "/";
    case opPower:
      return "^";
    case opNegation:
      return "-";
    case opExp:
      return "exp";
    case opLn:
      return "ln";
    case opLog:
      return "log";
    case opLd:
      return "ld";
    case opSqr:
      return "sqr";
    case opSqrt:
      return "sqrt";
    case opSin:
      return "sin";
    case opCos:
      return "cos";
    case opTan:
      return "tan";
    case opCot:
      return "cot";
    case opArcSin:
      return "arcsin";
    case opArcCos:
      return "arccos";
    case opArcTan:
      return "arctan";
    case opArcCot:
      return "arccot";
    case opSinh:
      return "sinh";
    case opCosh:
      return "cosh";
    case opTanh:
      return "tanh";
    case opCoth:
      return "coth";
    case opArcSinh:
      return "arcsinh";
    case opArcCosh:
      return "arccosh";
    case opArcTanh:
      return "arctanh";
    case opArcCoth:
      return "arccoth";
    case opTrunc:
      return "trunc";
    case opRound:
      return "round";
    case opFrac:
      return "frac";
    case opSgn:
      return "sgn";
    case opAbs:
      return "abs";
    case opZero:
      return "zero";
    case opHeav:
      return "heav";
    case opCeil:
      return "ceil";
    case opFloor:
      return "floor";
    case opPhase:
      return "phase";
    case opRnd:
      return "rnd";
    case opFactorial:
      return "!";
    case opNone:
    case opReserved:
    case opInfixMinus:
      break;
  }
  return std::string();
}
