#include <gtest/gtest.h>

#include "MthTrFnc/MthTrFnc.hpp"

namespace {

using Nodes = std::initializer_list<TKoOperatorNode*>;

TKoOperatorNode* Op(TOperation code, Nodes children) {
  TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
  for (TKoOperatorNode* child : children) node->AddChild(-1, child);
  return node.release();
}

TKoOperatorNode* C(long double v) {
  return TKoOperatorNode::CreateConstant(v).release();
}

class TreeFunctionTest : public testing::Test {
 protected:
  TKoOperatorNode* V(const char* name) {
    return TKoOperatorNode::CreateVariable(dtExtended, name, f.VarDepot.get()).release();
  }
  std::string Text(TKoOperatorNode* tree) {
    f.SetTree(TKoNodePtr(tree));
    return f.FunctionString();
  }
  TKoMathTreeFunction f;
};

TEST_F(TreeFunctionTest, RendersWithTheFewestBracketsThatReadBack) {
  struct Case {
    TKoOperatorNode* tree;
    const char* text;
  } cases[] = {
      {Op(opSum, {V("a"), Op(opNegation, {V("b")})}), "a-b"},
      {Op(opSum, {V("a"), C(-3)}), "a-3"},
      {Op(opSum, {Op(opNegation, {V("a")}), V("b")}), "-a+b"},
      {Op(opSum, {V("a"), Op(opSum, {Op(opNegation, {V("b")}), V("c")})}), "a-b+c"},
      {Op(opNegation, {Op(opPower, {C(2), C(2)})}), "-2^2"},
      {Op(opPower, {Op(opNegation, {C(2)}), C(2)}), "(-2)^2"},
      {Op(opPower, {C(-2), C(2)}), "(-2)^2"},
      {Op(opProduct, {C(2), C(-3)}), "2*(-3)"},
      {C(-3), "-3"},
      {Op(opProduct, {C(-3), V("x")}), "-3*x"},
      {Op(opQuotient, {V("a"), Op(opProduct, {V("b"), V("c")})}), "a/(b*c)"},
      {Op(opQuotient, {Op(opQuotient, {V("a"), V("b")}), V("c")}), "a/b/c"},
      {Op(opPower, {Op(opPower, {V("a"), V("b")}), V("c")}), "a^b^c"},
      {Op(opPower, {V("a"), Op(opPower, {V("b"), V("c")})}), "a^(b^c)"},
      {Op(opProduct, {Op(opNegation, {V("x")}), V("y")}), "-x*y"},
      {Op(opSum, {V("a"), Op(opProduct, {Op(opNegation, {V("x")}), V("y")})}), "a+(-x)*y"},
      {Op(opProduct, {Op(opSum, {V("a"), V("b")}), V("c")}), "(a+b)*c"},
      {Op(opFactorial, {Op(opSum, {V("n"), C(1)})}), "(n+1)!"},
      {Op(opFactorial, {C(3)}), "3!"},
      {Op(opFactorial, {C(-3)}), "(-3)!"},
      {Op(opNegation, {Op(opFactorial, {C(3)})}), "-3!"},
      {Op(opNegation, {C(-2)}), "-(-2)"},
      {Op(opNegation, {Op(opNegation, {V("x")})}), "-(-x)"},
      {Op(opSin, {Op(opSum, {V("x"), C(1)})}), "sin(x+1)"},
      {Op(opArcTan, {V("x"), V("y")}), "arctan(x, y)"},
      {Op(opPower, {Op(opSin, {V("x")}), C(2)}), "sin(x)^2"},
      {Op(opPower, {V("x"), Op(opNegation, {C(1)})}), "x^(-1)"},
      {Op(opTrunc, {C(0.1L)}), "trunc(0.1)"},
  };
  for (auto& c : cases) EXPECT_EQ(Text(c.tree), c.text);
}

TEST_F(TreeFunctionTest, RenderFailureIsReported) {
  EXPECT_EQ(f.FunctionString(), "");
  f.SetTree(TKoNodePtr(Op(opSin, {})));
  try {
    f.FunctionString();
    FAIL();
  } catch (const EKoMathTreeFunction& e) {
    EXPECT_STREQ(e.what(), "Fehler in Funktionsstringerstellung!");
  }
}

// Counts its builds; puts the constant 7 into its function.
class CountingCreator : public TKoFunctionCreator {
 public:
  using TKoFunctionCreator::TKoFunctionCreator;
  ~CountingCreator() override {
    if (Destroyed) ++*Destroyed;
  }
  void Execute() override {
    ++Builds;
    static_cast<TKoMathTreeFunction*>(MathFunction)->SetTree(TKoOperatorNode::CreateConstant(7));
  }
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override {
    return std::make_unique<CountingCreator>(target);
  }
  int Builds = 0;
  int* Destroyed = nullptr;
};

TEST_F(TreeFunctionTest, BuildsItsTreeOnceThroughTheCreator) {
  f.Calculate();
  EXPECT_EQ(f.Value, 0);
  EXPECT_EQ(f.GetErrorText(), "");
  auto* creator = new CountingCreator(&f);
  f.SetCreator(creator);
  f.Calculate();
  f.Calculate();
  EXPECT_EQ(f.Value, 7);
  EXPECT_EQ(creator->Builds, 1);
}

// A creator marked as not owned is shared by an assignment and freed by neither function;
// an owned one is copied, and each function frees its own.
TEST_F(TreeFunctionTest, OnlyOwnedCreatorsAreCopiedAndFreed) {
  int destroyed = 0;
  auto shared = std::make_unique<CountingCreator>(nullptr);
  shared->NotOwned = true;
  shared->Destroyed = &destroyed;
  {
    TKoMathTreeFunction g, h;
    g.SetCreator(shared.get());
    g.AssignTo(h);
    EXPECT_EQ(h.GetCreator(), shared.get());
    g.SetCreator(nullptr);
  }
  EXPECT_EQ(destroyed, 0);
  {
    TKoMathTreeFunction g, h;
    auto* owned = new CountingCreator(&g);
    owned->Destroyed = &destroyed;
    g.SetCreator(owned);
    g.AssignTo(h);
    EXPECT_NE(h.GetCreator(), owned);
    EXPECT_EQ(h.GetCreator()->MathFunction, &h);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST_F(TreeFunctionTest, AssignmentCopiesTreeAndVariables) {
  f.AddVariable("x");
  f.SetVarValue("X", 2);
  f.SetTree(TKoNodePtr(Op(opProduct, {V("x"), C(3)})));
  TKoMathTreeFunction g;
  g.Assign(f);
  f.SetVarValue("x", 5);
  g.Calculate();
  EXPECT_EQ(g.Value, 6);
  EXPECT_EQ(g.GetVarName(0), "x");
  EXPECT_EQ(g.GetVarName(1), "");
  EXPECT_EQ(g.GetVarName(-1), "");
  EXPECT_THROW(g.GetVarValue("y"), ENotExistingVariable);
  f.Calculate();
  EXPECT_EQ(f.Value, 15);
}

TEST_F(TreeFunctionTest, AssignmentToAFunctionThatLacksANameFails) {
  TKoMathTreeFunction empty, target;
  empty.TKoMathFunction::AssignTo(target);  // nothing to copy, nothing raised
  f.AddVariable("q");
  try {
    f.TKoMathFunction::AssignTo(target);
    FAIL();
  } catch (const ENotExistingVariable& e) {
    EXPECT_STREQ(e.what(), "Variable q existiert nicht!");
  }
}

TEST(ValueToText, UsesTheDecimalSeparator) {
  EXPECT_EQ(ValueToText(2.5L), "2.5");
  DecimalSeparator = ',';
  EXPECT_EQ(ValueToText(2.5L), "2,5");
  DecimalSeparator = '.';
}

}  // namespace
