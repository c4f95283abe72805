#include <new>

#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

TKoMathUseOtherFunction::~TKoMathUseOtherFunction() {
  if (!OtherNotOwned) delete OtherFunction;
}

long double TKoMathUseOtherFunction::GetVarValue(const std::string& name) {
  return OtherFunction->GetVarValue(name);
}

void TKoMathUseOtherFunction::SetVarValue(const std::string& name, long double v) {
  OtherFunction->SetVarValue(name, v);
}

long double TKoMathUseOtherFunction::GetVarValueAt(std::int32_t index) {
  return OtherFunction->GetVarValueAt(index);
}

void TKoMathUseOtherFunction::SetVarValueAt(std::int32_t index, long double v) {
  OtherFunction->SetVarValueAt(index, v);
}

std::string TKoMathUseOtherFunction::GetVarName(std::int32_t index) {
  return OtherFunction->GetVarName(index);
}

std::int32_t TKoMathUseOtherFunction::IndexOfVar(const std::string& name) {
  return OtherFunction->IndexOfVar(name);
}

std::int32_t TKoMathUseOtherFunction::VarCount() {
  return OtherFunction->VarCount();
}

const std::string& TKoMathUseOtherFunction::GetErrorText() {
  return OtherFunction->GetErrorText();
}

void TKoMathUseOtherFunction::SetErrorText(const std::string& text) {
  OtherTextMayBeSet = true;
  OtherFunction->SetErrorText(text);
}

void TKoMathUseOtherFunction::SetRunningVar(const std::string& name) {
  RunningVarName = name;
  RunningIndex = OtherFunction->IndexOfVar(name);
}

void TKoMathUseOtherFunction::BindRunningVar() {
  if (RunningVarName.empty()) return;
  try {
    OtherFunction->Calculate();
  } catch (const Exception&) {
    // Only the build matters here; the evaluations meet any failure again and report it.
  } catch (const std::bad_alloc&) {
    // Only the build matters here; the evaluations meet any failure again and report it.
  }
  OtherFunction->SetErrorText("");
  RunningIndex = OtherFunction->IndexOfVar(RunningVarName);
  CompileProgram();
}

void TKoMathUseOtherFunction::CompileProgram() {
  DropProgram();
  auto* tree = dynamic_cast<TKoMathTreeFunction*>(OtherFunction);
  if (!tree || RunningIndex < 0 || RunningIndex >= tree->VarCount()) return;
  TKoSingleVariable* running = tree->GetVarDepot().VariableAt(RunningIndex);
  if (running->DataType != dtExtended || !Program.Compile(tree->GetTree())) return;
  ProgramOwner = tree;
  RunningValue = &running->Value;
  OtherTextMayBeSet = !tree->GetErrorText().empty();
}

void TKoMathUseOtherFunction::DropProgram() {
  Program.Clear();
  ProgramOwner = nullptr;
  RunningValue = nullptr;
}

void TKoMathUseOtherFunction::ReportFailure(const Exception& e) {
  if (dynamic_cast<const EKoIllegalIntIntervall*>(&e) || GetErrorText().empty())
    SetErrorText(e.message());
  ReportFailure();
}

void TKoMathUseOtherFunction::ReportFailure() {
  if (GetErrorText().empty()) SetErrorText(kTextNumCalcFailed);
  DropProgram();
}

void TKoMathUseOtherFunction::RaiseEvaluationFailed() {
  throw EKoEvaluationFailed(OtherFunction->GetErrorText());
}

void TKoMathUseOtherFunction::ClearProgramOwnerText() {
  ProgramOwner->SetErrorText("");
  OtherTextMayBeSet = false;
}

bool TKoMathUseOtherFunction::TryEvaluateSlowly(long double x, long double& v) {
  OtherTextMayBeSet = true;
  OtherFunction->SetVarValueAt(RunningIndex, x);
  OtherFunction->Calculate();
  if (!OtherFunction->GetErrorText().empty()) [[unlikely]]
    return false;
  v = OtherFunction->Value;
  return true;
}

TKoMathIteratedFunction::TKoMathIteratedFunction(TKoMathFunction* other)
    : TKoMathUseOtherFunction(other) {
  RunningIndex = -1;
}

void TKoMathIteratedFunction::Calculate() {
  BindRunningVar();
  if (RunningIndex < 0) throw EKoNoRunningVarIndex(kTextNoRunningVarIndex);
}
