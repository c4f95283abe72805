#include <cstring>

#include "MathTree/MathTree.hpp"

std::int32_t TKoOperatorNode::InstanceCount = 0;
std::int32_t TKoOperatorNode::MaxInstances = 10000;
std::uint32_t TKoOperatorNode::DependencePasses = 0;

TKoOperatorNode::InstanceGuard::InstanceGuard() {
  if (InstanceCount >= MaxInstances) throw ETooMuchInstances(kTextTooMuchInstances);
  ++InstanceCount;
}

TKoOperatorNode::InstanceGuard::~InstanceGuard() {
  --InstanceCount;
}

void TKoOperatorNode::SetMaxInstances(std::int32_t n) {
  MaxInstances = n;
  if (n < InstanceCount) throw ETooMuchInstances(kTextTooMuchInstances);
}

std::int32_t TKoOperatorNode::OperandCount(TOperation operation) {
  if (IsLeafCode(operation)) return 0;
  if (IsChainCode(operation)) return 2147483647;
  if (operation == opNegation || IsFunctionCode(operation)) return 1;
  return -1;
}

TKoOperatorNode::TKoOperatorNode(TDataType dataType, TOperation operation)
    : Operation(operation), DataType(dataType), DataSize(DataTypeSize(dataType)) {
  // Only extended trees are ever built; other types have no arithmetic here.
  if (dataType != dtExtended) throw EUnsupportedDatatype(kTextUnknownDataType);
}

TKoNodePtr TKoOperatorNode::Create(TDataType dataType, TOperation operation) {
  TKoNodePtr node(new TKoOperatorNode(dataType, operation));
  // Codes without a routine of their own take the fold that accepts no second operand.
  if (IsFunctionCode(operation)) {
    node->CalcProc = kCalcFunction;
  } else if (operation == opNegation) {
    node->CalcProc = kCalcNegation;
  } else if (operation == opSum) {
    node->CalcProc = kCalcSum;
  } else if (operation == opProduct) {
    node->CalcProc = kCalcProduct;
  } else if (operation == opQuotient) {
    node->CalcProc = kCalcQuotient;
  } else if (operation == opPower) {
    node->CalcProc = kCalcPower;
  } else {
    node->CalcProc = kCalcNone;
  }
  return node;
}

TKoNodePtr TKoOperatorNode::CreateConstant(TDataType dataType, const void* value) {
  TKoNodePtr node(new TKoOperatorNode(dataType, opConstant));
  std::memcpy(&node->ConstValue, value, static_cast<std::size_t>(node->DataSize));
  node->ValueRef = &node->ConstValue;
  return node;
}

TKoNodePtr TKoOperatorNode::CreateConstant(long double value) {
  return CreateConstant(dtExtended, &value);
}

TKoNodePtr TKoOperatorNode::CreateVariable(TDataType dataType, const std::string& name,
                                           TKoVarDepot* depot) {
  TKoNodePtr node(new TKoOperatorNode(dataType, opVariable));
  node->VarDepot = depot;
  node->Variable = depot->FindOrAdd(name, dataType);
  // The node reads the value in its own type.
  if (node->Variable->DataType != dataType) throw EWrongDataType(kTextVariableType + name);
  node->ValueRef = &node->Variable->Value;
  return node;
}

TKoNodePtr TKoOperatorNode::CreateVariableWithValue(TDataType dataType, const std::string& name,
                                                    const void* value, TKoVarDepot* depot) {
  TKoNodePtr node(new TKoOperatorNode(dataType, opVariable));
  node->VarDepot = depot;
  node->Variable = depot->FindOrAddWithValue(name, value, dataType);
  node->ValueRef = &node->Variable->Value;
  return node;
}

TKoNodePtr TKoOperatorNode::CreateSubtraction(TKoNodePtr left, TKoNodePtr right) {
  TKoNodePtr sum = Create(left->DataType, opSum);
  TKoNodePtr negation = Create(left->DataType, opNegation);
  negation->AddChild(std::move(right));
  sum->AddChild(std::move(left));
  sum->AddChild(std::move(negation));
  return sum;
}

TKoOperatorNode::~TKoOperatorNode() {
  if (OwnsChildren)
    for (TKoOperatorNode* child : Children) delete child;
}

void TKoOperatorNode::AddChild(std::int32_t index, TKoOperatorNode* child) {
  TKoNodePtr owned(child);
  if (!child || !TakesOperands(Operation)) return;
  if (index >= 0 && static_cast<std::size_t>(index) <= Children.size()) {
    Children.insert(Children.begin() + index, child);
  } else {
    Children.push_back(child);
  }
  static_cast<void>(owned.release());  // the list holds it now
}

void TKoOperatorNode::DeleteChild(std::int32_t index) {
  if (!TakesOperands(Operation)) return;
  ExtractChild(index);
}

TKoNodePtr TKoOperatorNode::ExtractChild(std::int32_t index) {
  TKoNodePtr child(Children.at(static_cast<std::size_t>(index)));
  Children.erase(Children.begin() + index);
  return child;
}

TKoNodePtr TKoOperatorNode::Clone(TKoVarDepot* depot) const {
  if (Operation == opConstant) return CreateConstant(DataType, ValueRef);
  if (Operation == opVariable)
    return CreateVariableWithValue(DataType, Variable->Name, ValueRef, depot ? depot : VarDepot);
  TKoNodePtr copy = Create(DataType, Operation);
  copy->Children.reserve(Children.size());
  for (const TKoOperatorNode* child : Children)
    if (child) copy->AddChild(child->Clone(depot));
  return copy;
}

bool TKoOperatorNode::DependsOn(const std::string& name) const {
  if (Operation == opVariable) return UpperCase(name) == UpperCase(Variable->Name);
  for (const TKoOperatorNode* child : Children)
    if (child && child->DependsOn(name)) return true;
  return false;
}

bool TKoOperatorNode::DependsOnUpper(const std::string& upperName, std::uint32_t pass) const {
  if (DependencePass == pass) return DependenceAnswer;
  bool answer = false;
  if (Operation == opVariable) {
    answer = EqualsUpperCase(Variable->Name, upperName);
  } else {
    for (const TKoOperatorNode* child : Children)
      if (child && child->DependsOnUpper(upperName, pass)) {
        answer = true;
        break;
      }
  }
  DependencePass = pass;
  DependenceAnswer = answer;
  return answer;
}
