// The function object backed by an operator tree over its own variables.
#pragma once

#include <memory>
#include <string>

#include "FncCreat/FncCreat.hpp"
#include "MathFunc/MathFunc.hpp"
#include "MathTree/MathTree.hpp"

TCALC_EXCEPTION(EKoMathTreeFunction, Exception);

inline constexpr const char* kTextRenderFailed = "Fehler in Funktionsstringerstellung!";
inline constexpr const char* kTextSimplifyFailed = "Fehler im Vereinfachen";

class TKoMathTreeFunction : public TKoMathFunction {
 public:
  TKoMathTreeFunction();
  ~TKoMathTreeFunction() override;

  void AssignTo(TKoMathFunction& dest) override;

  long double GetVarValue(const std::string& name) override;
  void SetVarValue(const std::string& name, long double v) override;
  long double GetVarValueAt(std::int32_t index) override;
  void SetVarValueAt(std::int32_t index, long double v) override;
  std::string GetVarName(std::int32_t index) override;
  std::int32_t IndexOfVar(const std::string& name) override;
  std::int32_t VarCount() override;
  const std::string& GetErrorText() override { return ErrorText; }
  void SetErrorText(const std::string& text) override { ErrorText = text; }
  // Builds the tree through the creator when there is none, then evaluates it. Never throws.
  void Calculate() override;

  virtual void InitFunctionList() { FunctionList = &SharedFunctionList(); }

  // A new variable with value 0, or the existing one unchanged.
  void AddVariable(const std::string& name);
  // Frees the held creator unless it is not owned, then holds the new one.
  void SetCreator(TKoFunctionCreator* creator);
  void SetCreator(std::unique_ptr<TKoFunctionCreator> creator) { SetCreator(creator.release()); }
  TKoFunctionCreator* GetCreator() const { return Creator; }
  TKoOperatorNode* GetTree() const { return Tree.get(); }
  // Frees the current tree and takes the new one (or none).
  void SetTree(TKoNodePtr tree) { Tree = std::move(tree); }
  TKoVarDepot& GetVarDepot() { return *VarDepot; }

  // The tree as term text; "" without a tree.
  std::string FunctionString() const;
  void SimplifyOnce();
  // Repeats SimplifyOnce until the text no longer changes.
  void Simplify();

  std::unique_ptr<TKoVarDepot> VarDepot;
  std::string ErrorText;
  const TKoRealFunctionList* FunctionList = nullptr;

 private:
  TKoFunctionCreator* Creator = nullptr;  // freed here unless its NotOwned is set
  TKoNodePtr Tree;                        // over the variables of VarDepot
};
