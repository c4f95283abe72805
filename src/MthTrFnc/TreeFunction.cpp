#include <new>

#include "MthTrFnc/MthTrFnc.hpp"

TKoMathTreeFunction::TKoMathTreeFunction() : VarDepot(std::make_unique<TKoVarDepot>()) {
  InitFunctionList();
}

TKoMathTreeFunction::~TKoMathTreeFunction() {
  // The tree member goes before the depot its variable nodes point into.
  SetCreator(nullptr);
}

long double TKoMathTreeFunction::GetVarValue(const std::string& name) {
  return VarDepot->GetAsExtended(name);
}

void TKoMathTreeFunction::SetVarValue(const std::string& name, long double v) {
  VarDepot->SetAsExtended(name, v);
}

long double TKoMathTreeFunction::GetVarValueAt(std::int32_t index) {
  return VarDepot->VariableAt(index)->GetAsExtended();
}

void TKoMathTreeFunction::SetVarValueAt(std::int32_t index, long double v) {
  VarDepot->VariableAt(index)->SetAsExtended(v);
}

std::string TKoMathTreeFunction::GetVarName(std::int32_t index) {
  if (index < 0 || index >= VarCount()) return std::string();
  return VarDepot->VariableAt(index)->Name;
}

std::int32_t TKoMathTreeFunction::IndexOfVar(const std::string& name) {
  return VarDepot->IndexOfVariable(name);
}

std::int32_t TKoMathTreeFunction::VarCount() {
  return VarDepot->VariableCount();
}

void TKoMathTreeFunction::Calculate() {
  Value = 0;
  if (!Tree && Creator) {
    try {
      Creator->Execute();
    } catch (const Exception&) {
      // The creator's text tells what went wrong.
    } catch (const std::bad_alloc&) {
      // The creator's text tells what went wrong.
    }
    ErrorText = Creator->ErrorText;
  }
  if (!Tree) return;
  Tree->Calculate(&Value);
  // The numeric methods calculate thousands of times: copy the text only when it changes.
  if (!Tree->ErrorText.empty() || !ErrorText.empty()) ErrorText = Tree->ErrorText;
}

void TKoMathTreeFunction::AddVariable(const std::string& name) {
  VarDepot->FindOrAdd(name, dtExtended);
}

void TKoMathTreeFunction::SetCreator(TKoFunctionCreator* creator) {
  if (Creator && !Creator->NotOwned && Creator != creator) delete Creator;
  Creator = creator;
}

void TKoMathTreeFunction::AssignTo(TKoMathFunction& dest) {
  auto* target = dynamic_cast<TKoMathTreeFunction*>(&dest);
  if (!target) {
    TKoMathFunction::AssignTo(dest);
    return;
  }
  if (target == this) return;
  // The old tree is bound to the old depot: free it first.
  target->SetTree(nullptr);
  target->VarDepot = VarDepot->Clone();
  target->ErrorText = ErrorText;
  if (!Creator) {
    target->SetCreator(nullptr);
  } else if (Creator->NotOwned) {
    target->SetCreator(Creator);
  } else {
    target->SetCreator(Creator->Clone(target));
  }
  if (Tree) target->SetTree(Tree->Clone(target->VarDepot.get()));
}
