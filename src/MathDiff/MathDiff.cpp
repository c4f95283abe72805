#include "MathDiff/MathDiff.hpp"

#include <cmath>
#include <new>

#include "MathDiff/Rules.hpp"
#include "MathFunc/MathFunc.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

using nodes::Constant;
using nodes::Is;
using nodes::IsConstant;
using nodes::Make;

TKoNodePtr calculus::TRuleContext::Template(const char* text, TKoNodePtr arg0,
                                            TKoNodePtr arg1) const {
  return ParseTemplate(text, std::move(arg0), std::move(arg1), Depot, dtExtended);
}

TKoNodePtr calculus::TRuleContext::Equivalent(TOperation code, const TKoOperatorNode* u) const {
  if (code == opLog) return Make(opQuotient, Make(opLn, Copy(u)), Make(opLn, Constant(10)));
  if (code == opLd) return Make(opQuotient, Make(opLn, Copy(u)), Make(opLn, Constant(2)));
  if (code == opSqr) return Make(opPower, Copy(u), Constant(2));
  return Make(opPower, Copy(u), Constant(0.5L));  // sqrt
}

namespace {

using Node = TKoOperatorNode;

TKoNodePtr Reciprocal(TKoNodePtr x) {
  return Make(opQuotient, Constant(1), std::move(x));
}

// A product of one factor is that factor; of none, the constant 1.
TKoNodePtr Single(TKoNodePtr product) {
  if (product->ChildCount() == 1) return product->ExtractChild(0);
  if (product->ChildCount() == 0) return Constant(1);
  return product;
}

class TDeriver : calculus::TRuleContext {
 public:
  using TRuleContext::TRuleContext;

  // The derivative of node; none exactly when node does not depend on the variable.
  TKoNodePtr D(const Node* node) const;

 private:
  // The derivative of an equivalent term, which is freed afterwards.
  TKoNodePtr Rewritten(TKoNodePtr term) const { return D(term.get()); }
  // How many children depend on the variable; first receives the first one's index.
  std::int32_t DependentCount(const Node* node, std::int32_t& first) const;
  // A copy of child from alone, or a new node of the code over copies of children from..to.
  TKoNodePtr CopiesJoined(TOperation code, const Node* node, std::int32_t from,
                          std::int32_t to) const;

  TKoNodePtr Chain(TKoNodePtr outer, const Node* u) const;
  TKoNodePtr DerivedFactor(const Node* u) const { return IsVar(u) ? nullptr : D(u); }
  TKoNodePtr Sum(const Node* node) const;
  TKoNodePtr Product(const Node* node) const;
  TKoNodePtr Quotient(const Node* node) const;
  TKoNodePtr Power(const Node* node) const;
};

std::int32_t TDeriver::DependentCount(const Node* node, std::int32_t& first) const {
  std::int32_t count = 0;
  first = -1;
  for (std::int32_t i = 0; i < node->ChildCount(); ++i) {
    if (!Depends(node->Child(i))) continue;
    if (count++ == 0) first = i;
  }
  return count;
}

TKoNodePtr TDeriver::CopiesJoined(TOperation code, const Node* node, std::int32_t from,
                                  std::int32_t to) const {
  if (from == to) return Copy(node->Child(from));
  TKoNodePtr joined = Make(code);
  for (std::int32_t i = from; i <= to; ++i) joined->AddChild(Copy(node->Child(i)));
  return joined;
}

// d/dx f(u) -> f'(u)*u'
TKoNodePtr TDeriver::Chain(TKoNodePtr outer, const Node* u) const {
  if (IsVar(u)) return outer;
  return Template("{0}*{1}", std::move(outer), D(u));
}

// d/dx (u+v+c) -> u'+v'
TKoNodePtr TDeriver::Sum(const Node* node) const {
  TKoNodePtr sum = Make(opSum);
  for (const Node* child : node->Children) sum->AddChild(D(child));
  if (sum->ChildCount() == 1) return sum->ExtractChild(0);
  return sum;
}

TKoNodePtr TDeriver::Product(const Node* node) const {
  std::int32_t first = 0;
  const std::int32_t dependent = DependentCount(node, first);
  TKoNodePtr constants = Make(opProduct);
  for (const Node* child : node->Children)
    if (!Depends(child)) constants->AddChild(Copy(child));
  // d/dx c*u -> c*u'
  if (dependent == 1) {
    constants->AddChild(DerivedFactor(node->Child(first)));
    return Single(std::move(constants));
  }
  // d/dx c*u*v -> c*(u'*v+u*v')
  TKoNodePtr sum = Make(opSum);
  for (const Node* factor : node->Children) {
    if (!Depends(factor)) continue;
    TKoNodePtr term = Make(opProduct);
    for (const Node* other : node->Children)
      if (Depends(other)) term->AddChild(other == factor ? DerivedFactor(other) : Copy(other));
    sum->AddChild(Single(std::move(term)));
  }
  if (constants->ChildCount() == 0) return sum;
  constants->AddChild(std::move(sum));
  return constants;
}

TKoNodePtr TDeriver::Quotient(const Node* node) const {
  std::int32_t first = 0;
  const std::int32_t dependent = DependentCount(node, first);
  const Node* numerator = node->Child(0);
  // d/dx u/c -> u'/c
  if (dependent == 1 && first == 0) {
    TKoNodePtr quotient = Make(opQuotient, D(numerator));
    for (std::int32_t i = 1; i < node->ChildCount(); ++i) quotient->AddChild(Copy(node->Child(i)));
    return quotient;
  }
  TKoNodePtr denominator = CopiesJoined(opProduct, node, 1, node->ChildCount() - 1);
  TKoNodePtr derivedDenominator = D(denominator.get());
  // d/dx c/v -> -(c*v')/v^2
  if (first > 0) {
    TKoNodePtr top = IsConstant(numerator, 1)
                         ? std::move(derivedDenominator)
                         : Template("{0}*{1}", Copy(numerator), std::move(derivedDenominator));
    return Template("-{0}/{1}^2", std::move(top), std::move(denominator));
  }
  // d/dx u/v -> (u'*v-u*v')/v^2
  TKoNodePtr top = TKoOperatorNode::CreateSubtraction(
      Make(opProduct, D(numerator), Copy(denominator.get())),
      Make(opProduct, Copy(numerator), std::move(derivedDenominator)));
  return Make(opQuotient, std::move(top), Make(opPower, std::move(denominator), Constant(2)));
}

TKoNodePtr TDeriver::Power(const Node* node) const {
  const std::int32_t last = node->ChildCount() - 1;
  // d/dx c0^...^ck -> d/dx (c0^...^c(k-1))^ck where the exponents do not merge
  if (!calculus::PowerReadsAsProduct(node))
    return Rewritten(
        Make(opPower, CopiesJoined(opPower, node, 0, last - 1), Copy(node->Child(last))));
  const Node* base = node->Child(0);
  TKoNodePtr exponent = CopiesJoined(opProduct, node, 1, last);
  // d/dx u^v -> d/dx exp(v*ln(u))
  if (Depends(exponent.get()))
    return Rewritten(Template("exp({0}*ln({1}))", std::move(exponent), Copy(base)));
  // d/dx u^c -> c*u^(c-1)*u'
  TKoNodePtr result = Template("{0}*{1}^({0}-1)", std::move(exponent), Copy(base));
  TKoNodePtr inner = D(base);
  if (!IsConstant(inner.get(), 1)) result->AddChild(std::move(inner));
  return result;
}

// One case per operation code, each with its rule.
// NOLINTNEXTLINE(readability-function-size)
TKoNodePtr TDeriver::D(const Node* node) const {
  if (!Depends(node)) return nullptr;
  const Node* u = node->ChildCount() > 0 ? node->Child(0) : nullptr;
  const auto sqrU = [&] { return Make(opSqr, Copy(u)); };
  switch (node->Operation) {
    // d/dx x -> 1
    case opVariable:
      return Constant(1);
    // d/dx -u -> -u'
    case opNegation:
      return Make(opNegation, D(u));
    case opSum:
      return Sum(node);
    case opProduct:
      return Product(node);
    case opQuotient:
      return Quotient(node);
    case opPower:
      return Power(node);
    // d/dx exp(u) -> exp(u)*u'
    case opExp:
      return Chain(Make(opExp, Copy(u)), u);
    // d/dx ln(u) -> 1/u*u'
    case opLn:
      return Chain(Template("1/{0}", Copy(u)), u);
    // d/dx log(u), ld(u), sqr(u), sqrt(u) -> d/dx ln(u)/ln(10), ln(u)/ln(2), u^2, u^0.5
    case opLog:
    case opLd:
    case opSqr:
    case opSqrt:
      return Rewritten(Equivalent(node->Operation, u));
    // d/dx sin(u) -> cos(u)*u'
    case opSin:
      return Chain(Make(opCos, Copy(u)), u);
    // d/dx cos(u) -> -(sin(u)*u')
    case opCos:
      return Make(opNegation, Chain(Make(opSin, Copy(u)), u));
    // d/dx tan(u) -> d/dx sin(u)/cos(u)
    case opTan:
      return Rewritten(Make(opQuotient, Make(opSin, Copy(u)), Make(opCos, Copy(u))));
    // d/dx cot(u) -> d/dx cos(u)/sin(u)
    case opCot:
      return Rewritten(Make(opQuotient, Make(opCos, Copy(u)), Make(opSin, Copy(u))));
    // d/dx arcsin(u) -> 1/sqrt(1-sqr(u))*u'
    case opArcSin:
      return Chain(Reciprocal(Make(opSqrt, Node::CreateSubtraction(Constant(1), sqrU()))), u);
    // d/dx arccos(u) -> -1/sqrt(1-sqr(u))*u'
    case opArcCos:
      return Chain(Make(opQuotient, Constant(-1),
                        Make(opSqrt, Node::CreateSubtraction(Constant(1), sqrU()))),
                   u);
    // d/dx arctan(u) -> 1/(1+sqr(u))*u'
    case opArcTan:
      return Chain(Reciprocal(Make(opSum, Constant(1), sqrU())), u);
    // d/dx arccot(u) -> -(d/dx arctan(u))
    case opArcCot:
      return Make(opNegation, Rewritten(Make(opArcTan, Copy(u))));
    // d/dx sinh(u) -> cosh(u)*u'
    case opSinh:
      return Chain(Make(opCosh, Copy(u)), u);
    // d/dx cosh(u) -> sinh(u)*u'
    case opCosh:
      return Chain(Make(opSinh, Copy(u)), u);
    // d/dx tanh(u) -> 1/sqr(cosh(u))*u'
    case opTanh:
      return Chain(Reciprocal(Make(opSqr, Make(opCosh, Copy(u)))), u);
    // d/dx coth(u) -> -1/sqr(sinh(u))*u'
    case opCoth:
      return Chain(Make(opQuotient, Constant(-1), Make(opSqr, Make(opSinh, Copy(u)))), u);
    // d/dx arcsinh(u) -> 1/sqrt(sqr(u)+1)*u'
    case opArcSinh:
      return Chain(Reciprocal(Make(opSqrt, Make(opSum, sqrU(), Constant(1)))), u);
    // d/dx arccosh(u) -> 1/sqrt(sqr(u)-1)*u'
    case opArcCosh:
      return Chain(Reciprocal(Make(opSqrt, Node::CreateSubtraction(sqrU(), Constant(1)))), u);
    // d/dx arctanh(u), arccoth(u) -> 1/(1-sqr(u))*u'
    case opArcTanh:
    case opArcCoth:
      return Chain(Reciprocal(Node::CreateSubtraction(Constant(1), sqrU())), u);
    // d/dx abs(u) -> sgn(u)*u'; sgn(0) = 0 keeps it defined at the kink
    case opAbs:
      return Chain(Make(opSgn, Copy(u)), u);
    case opTrunc:
    case opRound:
    case opFrac:
    case opSgn:
    case opZero:
    case opHeav:
    case opCeil:
    case opFloor:
    case opPhase:
    case opRnd:
      calculus::RaiseNotContinuous(node);
    case opNone:
    case opConstant:
    case opReserved:
    case opFactorial:
    case opInfixMinus:
      break;
  }
  // A code without a rule has no derivative here; answering 0 would be wrong.
  throw EKoMathDifferencer(kTextNoDiffRule + node->DisplayName());
}

}  // namespace

bool calculus::PowerReadsAsProduct(const TKoOperatorNode* power) {
  for (std::int32_t i = 2; i < power->ChildCount(); ++i) {
    const Node* exponent = power->Child(i);
    if (!Is(exponent, opConstant)) return false;
    const long double v = exponent->LeafValue();
    if (!std::isfinite(v) || std::trunc(v) != v) return false;
  }
  return true;
}

TKoNodePtr DeriveTree(const TKoOperatorNode* root, const std::string& varName, TKoVarDepot* depot) {
  TKoNodePtr derivative = TDeriver(varName, depot).D(root);
  return derivative ? std::move(derivative) : Constant(0);
}

namespace {

// The source function as the creators need it: its tree, built by its creator when
// missing. None when it failed; text then tells why.
const TKoOperatorNode* BuiltSourceTree(TKoMathTreeFunction& source, std::string& text) {
  TKoFunctionCreator* creator = source.GetCreator();
  if (!source.GetTree() && creator) {
    try {
      creator->Execute();
    } catch (const Exception&) {
      // The creator's text tells what went wrong.
    } catch (const std::bad_alloc&) {
      // The creator's text tells what went wrong.
    }
  }
  text = source.GetErrorText();
  if (text.empty() && !source.GetTree() && creator) text = creator->ErrorText;
  return text.empty() ? source.GetTree() : nullptr;
}

// The variable a creator works by when it is given none: x when the source has it or has
// no variables at all, otherwise the source's first variable.
std::string ChooseRunningVar(TKoMathTreeFunction& source) {
  if (source.IndexOfVar("x") >= 0 || source.VarCount() == 0) return "x";
  return source.GetVarName(0);
}

}  // namespace

TKoCalculusCreator::TKoCalculusCreator(TKoMathTreeFunction* result, const char* failedText,
                                       const char* noResultText)
    : TKoFunctionCreator(result),
      Result(result),
      FailedText(failedText),
      NoResultText(noResultText) {}

void TKoCalculusCreator::SetSource(TKoMathTreeFunction* source) {
  Result->SetTree(nullptr);
  SourceFunction = source;
}

void TKoCalculusCreator::CopySettingsTo(TKoCalculusCreator& copy) const {
  copy.NotOwned = NotOwned;
  copy.SetSource(SourceFunction);
  copy.RunningVarName = RunningVarName;
}

void TKoCalculusCreator::Execute() {
  Result->SetTree(nullptr);
  std::string sourceText;
  const TKoOperatorNode* root =
      SourceFunction ? BuiltSourceTree(*SourceFunction, sourceText) : nullptr;
  if (!root) {
    ErrorText = sourceText.empty() ? FailedText : sourceText;
    return;
  }
  if (RunningVarName.empty()) RunningVarName = ChooseRunningVar(*SourceFunction);
  try {
    TKoNodePtr result = Form(root);
    ErrorText = result ? "" : NoResultText;
    Result->SetTree(std::move(result));
  } catch (const Exception&) {
    Result->SetTree(nullptr);
    ErrorText = FailedText;
  } catch (const std::bad_alloc&) {
    Result->SetTree(nullptr);
    ErrorText = FailedText;
  }
}

TKoMathDifferencer::TKoMathDifferencer(TKoMathTreeFunction* result)
    : TKoCalculusCreator(result, kTextDiffFailed, kTextDiffFailed) {}

void TKoMathDifferencer::SetDiffLevel(std::int32_t level) {
  if (level < 1) throw EKoIllegalDiffLevel(NoDerivativeText(level));
  if (level == DiffLevel) return;
  Result->SetTree(nullptr);
  DiffLevel = level;
}

std::unique_ptr<TKoFunctionCreator> TKoMathDifferencer::Clone(TKoMathFunction* target) const {
  auto* result = dynamic_cast<TKoMathTreeFunction*>(target);
  if (!result) throw EKoMathDifferencer(kTextDiffFailed);
  auto copy = std::make_unique<TKoMathDifferencer>(result);
  copy->SetDiffLevel(DiffLevel);
  CopySettingsTo(*copy);
  return copy;
}

TKoNodePtr TKoMathDifferencer::Form(const TKoOperatorNode* sourceRoot) {
  if (DiffLevel == 1) return DeriveTree(sourceRoot, RunningVarName, &Result->GetVarDepot());
  // Higher derivatives grow on a copy, so the source stays as it is. Where the levels
  // formed as they come exceed the node limit, simplifying each one may keep them small.
  // Where even those do, the canonical form combines like terms between the levels.
  TKoMathTreeFunction work;
  for (const bool simplified : {false, true}) {
    work.Assign(*SourceFunction);
    try {
      DeriveLevels(work, RunningVarName, DiffLevel, simplified);
      return work.GetTree()->Clone(&SourceFunction->GetVarDepot());
    } catch (const ETooMuchInstances&) {
      work.SetTree(nullptr);
    }
  }
  work.Assign(*SourceFunction);
  try {
    DeriveCanonicalLevels(work, RunningVarName, DiffLevel);
    return work.GetTree()->Clone(&SourceFunction->GetVarDepot());
  } catch (const ETooMuchInstances&) {
    work.SetTree(nullptr);
  }
  work.Assign(*SourceFunction);
  DeriveFormLevels(work, RunningVarName, DiffLevel);
  return work.GetTree()->Clone(&SourceFunction->GetVarDepot());
}
