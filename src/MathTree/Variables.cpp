#include <algorithm>
#include <cstring>

#include "MathTree/MathTree.hpp"

TKoSingleVariable::TKoSingleVariable(std::string name, const void* initialValue, TDataType dataType)
    : Name(std::move(name)), DataType(dataType), DataSize(DataTypeSize(dataType)) {
  if (initialValue) std::memcpy(&Value, initialValue, static_cast<std::size_t>(DataSize));
}

std::unique_ptr<TKoSingleVariable> TKoSingleVariable::Clone() const {
  return std::make_unique<TKoSingleVariable>(Name, &Value, DataType);
}

void TKoSingleVariable::GetValue(void* dest) const {
  std::memcpy(dest, &Value, static_cast<std::size_t>(DataSize));
}

void TKoSingleVariable::SetValue(const void* source) {
  std::memcpy(&Value, source, static_cast<std::size_t>(DataSize));
}

long double TKoSingleVariable::GetAsExtended() const {
  switch (DataType) {
    case dtWord:
      return Load<std::uint16_t>(&Value);
    case dtSmall:
      return Load<std::int16_t>(&Value);
    case dtLong:
      return Load<std::int32_t>(&Value);
    case dtInt64:
    case dtComp:
      return static_cast<long double>(Load<std::int64_t>(&Value));
    case dtSingle:
      return Load<float>(&Value);
    case dtReal:
    case dtDouble:
      return Load<double>(&Value);
    case dtExtended:
      return Load<long double>(&Value);
    case dtByte:
    case dtShort:
      break;
  }
  throw EWrongDataType(kTextUnknownDataType);
}

void TKoSingleVariable::SetAsConverted(long double v) {
  // Whole-number types store the value rounded half up, taken as a 32-bit number.
  const auto whole = [v] { return static_cast<std::int32_t>(RoundHalfUp(static_cast<double>(v))); };
  switch (DataType) {
    case dtWord:
      Store(&Value, static_cast<std::uint16_t>(whole()));
      return;
    case dtSmall:
      Store(&Value, static_cast<std::int16_t>(whole()));
      return;
    case dtLong:
      Store(&Value, whole());
      return;
    case dtInt64:
    case dtComp:
      Store(&Value, static_cast<std::int64_t>(whole()));
      return;
    case dtSingle:
      Store(&Value, static_cast<float>(v));
      return;
    case dtReal:
    case dtDouble:
      Store(&Value, static_cast<double>(v));
      return;
    case dtExtended:
      Store(&Value, v);
      return;
    case dtByte:
    case dtShort:
      break;
  }
  throw EWrongDataType(kTextUnknownDataType);
}

const std::vector<TKoVarDepot::TItems::const_iterator>& TKoVarDepot::Positions() const {
  // Entries are only ever added (or all cleared), so another size means a change.
  if (Ordered.size() != Items.size()) {
    Ordered.clear();
    Ordered.reserve(Items.size());
    for (auto it = Items.begin(); it != Items.end(); ++it) Ordered.push_back(it);
  }
  return Ordered;
}

std::int32_t TKoVarDepot::IndexOfVariable(const std::string& name) const {
  const std::string key = UpperCase(name);
  const auto& positions = Positions();
  const auto at =
      std::lower_bound(positions.begin(), positions.end(), key,
                       [](TItems::const_iterator p, const std::string& k) { return p->first < k; });
  if (at == positions.end() || (*at)->first != key) return -1;
  return static_cast<std::int32_t>(at - positions.begin());
}

TKoSingleVariable& TKoVarDepot::Existing(const std::string& name) const {
  const auto it = Items.find(UpperCase(name));
  if (it == Items.end()) throw ENotExistingVariable(kTextVariable + name + kTextNotExisting);
  return *it->second;
}

TKoSingleVariable* TKoVarDepot::FindOrAdd(const std::string& name, TDataType dataType) {
  std::string key = UpperCase(name);
  auto it = Items.find(key);
  if (it == Items.end()) {
    auto var = std::make_unique<TKoSingleVariable>(name, nullptr, dataType);
    it = Items.emplace(std::move(key), std::move(var)).first;
  }
  return it->second.get();
}

TKoSingleVariable* TKoVarDepot::FindOrAddWithValue(const std::string& name, const void* value,
                                                   TDataType dataType) {
  std::string key = UpperCase(name);
  const auto it = Items.find(key);
  if (it == Items.end()) {
    auto var = std::make_unique<TKoSingleVariable>(name, value, dataType);
    return Items.emplace(std::move(key), std::move(var)).first->second.get();
  }
  // Nodes may point at the variable: it keeps its type and place.
  TKoSingleVariable* var = it->second.get();
  if (var->DataType != dataType) throw EWrongDataType(kTextVariableType + name);
  var->SetValue(value);
  return var;
}

TKoSingleVariable* TKoVarDepot::SetVariable(const std::string& name, TDataType dataType,
                                            long double v) {
  TKoSingleVariable* var = FindOrAdd(name, dataType);
  var->SetAsExtended(v);
  return var;
}

void TKoVarDepot::SetValue(const std::string& name, const void* source) {
  Existing(name).SetValue(source);
}

void TKoVarDepot::SetAsExtended(const std::string& name, long double v) {
  Existing(name).SetAsExtended(v);
}

void TKoVarDepot::GetValue(const std::string& name, void* dest) const {
  Existing(name).GetValue(dest);
}

long double TKoVarDepot::GetAsExtended(const std::string& name) const {
  return Existing(name).GetAsExtended();
}

std::unique_ptr<TKoVarDepot> TKoVarDepot::Clone() const {
  auto copy = std::make_unique<TKoVarDepot>();
  for (const auto& [key, var] : Items)
    copy->Items.emplace_hint(copy->Items.end(), key, var->Clone());
  return copy;
}
