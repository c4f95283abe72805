#include "MathIntg/MathIntg.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>

#include "MathIntg/Integrator.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace integration {

using nodes::Constant;
using nodes::Is;
using nodes::Make;

TKoNodePtr TIntegrator::I(const Node* node) const {
  if (Further && HasJump(node)) {
    try {
      return Checked(node, StepShapes(node));
    } catch (const Exception&) {
      return nullptr;
    }
  }
  try {
    if (TKoNodePtr today = Rules(node)) return today;
  } catch (const EKoMathIntegrator&) {
    // An inner term that is not linear: a shape may still fit the node as a whole.
    if (TKoNodePtr shaped = ShapesOrNone(node)) return shaped;
    throw;
  }
  return ShapesOrNone(node);
}

// Where no shape fits, the refusal of today's rule stands, whatever a shape's attempt
// ran into on the way.
TKoNodePtr TIntegrator::ShapesOrNone(const Node* node) const {
  TKoNodePtr shaped;
  try {
    // a quotient of polynomials as a whole, not in the pieces the classic shapes make
    // the closed shapes before the classic ones, which would take such a term apart
    if (Further) shaped = Checked(node, ClosedShapes(node));
    if (shaped) return shaped;
    shaped = Shapes(node);
  } catch (const Exception&) {
    shaped = nullptr;
  }
  if (shaped || !Further) return shaped;
  try {
    return Checked(node, FurtherShapes(node));
  } catch (const Exception&) {
    return nullptr;
  }
}

TKoNodePtr TIntegrator::ConstantSlope(const Node* u) const {
  try {
    TKoNodePtr slope = DeriveTree(u, VarName, Depot);
    if (slope->DependsOn(VarName)) return nullptr;
    return slope;
  } catch (const Exception&) {
    // A term without a derivative has no slope either.
    return nullptr;
  }
}

TKoNodePtr TIntegrator::Chain(TKoNodePtr outer, const Node* u) const {
  if (IsVar(u)) return outer;
  TKoNodePtr inner = DeriveTree(u, VarName, Depot);
  if (inner->DependsOn(VarName)) throw EKoMathIntegrator(kTextIntegrationTooComplex);
  return Template("{0}/{1}", std::move(outer), std::move(inner));
}

bool TIntegrator::HasConstantInner(const Node* node) const {
  if (node->ChildCount() == 0) return false;
  const bool function = IsFunctionCode(node->Operation);
  if (!function && !(Is(node, opPower) && calculus::PowerReadsAsProduct(node))) return false;
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (node->Child(i)->DependsOn(VarName)) return false;
  const Node* u = node->Child(0);
  if (IsVar(u)) return false;
  try {
    TKoNodePtr inner = DeriveTree(u, VarName, Depot);
    // Only a derivative of numbers alone: a parameter that is 0 now may not be later.
    if (HasVariable(inner.get())) return false;
    long double value = 0;
    inner->Calculate(&value);
    return inner->ErrorText.empty() && value == 0;
  } catch (const Exception&) {
    // An inner term without a derivative is left to the node's own rule.
    return false;
  }
}

bool TIntegrator::HasJump(const Node* node) const {
  if (calculus::IsJumpCode(node->Operation) && node->DependsOn(VarName) && !HasConstantInner(node))
    return true;
  for (const Node* child : node->Children)
    if (HasJump(child)) return true;
  return false;
}

// int u+v -> int u + int v
TKoNodePtr TIntegrator::Sum(const Node* node) const {
  TKoNodePtr sum = Make(opSum);
  for (const Node* child : node->Children) {
    TKoNodePtr term = I(child);
    if (!term) return nullptr;
    sum->AddChild(std::move(term));
  }
  return sum;
}

// int a*u*b -> a*b*(int u); two factors with the variable have no rule
TKoNodePtr TIntegrator::Product(const Node* node) const {
  TKoNodePtr product = Make(opProduct);
  const Node* dependent = nullptr;
  for (const Node* child : node->Children) {
    if (!child->DependsOn(VarName)) {
      product->AddChild(Copy(child));
    } else if (dependent) {
      return nullptr;
    } else {
      dependent = child;
    }
  }
  TKoNodePtr integrated = I(dependent);
  if (!integrated) return nullptr;
  product->AddChild(std::move(integrated));
  return product;
}

// int u/c -> (int u)/c; a divisor with the variable has no rule
TKoNodePtr TIntegrator::Quotient(const Node* node) const {
  for (std::int32_t i = 1; i < node->ChildCount(); ++i)
    if (node->Child(i)->DependsOn(VarName)) return nullptr;
  TKoNodePtr integrated = I(node->Child(0));
  if (!integrated) return nullptr;
  TKoNodePtr quotient = Make(opQuotient, std::move(integrated));
  for (std::int32_t i = 1; i < node->ChildCount(); ++i) quotient->AddChild(Copy(node->Child(i)));
  return quotient;
}

namespace {

// The nodes of a subtree, counted up to limit.
std::size_t NodesUpTo(const Node* node, std::size_t limit) {
  std::size_t count = 1;
  for (const Node* child : node->Children) {
    if (count >= limit) break;
    count += NodesUpTo(child, limit - count);
  }
  return count;
}

// A source at least this large that ran the rules out of nodes keeps the refusal: a sum of
// two thousand sines has a short canonical form, yet its antiderivative has no room.
constexpr std::size_t kLargestSourceOutOfNodes = 1000;

}  // namespace

bool AllFinite(const Node* node) {
  if (Is(node, opConstant)) return std::isfinite(node->LeafValue());
  for (const Node* child : node->Children)
    if (!AllFinite(child)) return false;
  return true;
}

bool HasVariable(const Node* node) {
  if (Is(node, opVariable)) return true;
  for (const Node* child : node->Children)
    if (HasVariable(child)) return true;
  return false;
}

// An exponent of constants only that is worth -1 (x^(-1), x^(1-2)).
bool IsMinusOne(TKoOperatorNode& term) {
  if (HasVariable(&term)) return false;
  long double value = 0;
  term.Calculate(&value);
  return term.ErrorText.empty() && value == -1;
}

TKoNodePtr TIntegrator::Power(const Node* node) const {
  // (c0^c1)^c2 with a broken exponent has no rule
  if (!calculus::PowerReadsAsProduct(node)) return nullptr;
  const Node* base = node->Child(0);
  TKoNodePtr exponent = Make(opProduct);
  for (std::int32_t i = 1; i < node->ChildCount(); ++i) exponent->AddChild(Copy(node->Child(i)));
  if (exponent->ChildCount() == 1) exponent = exponent->ExtractChild(0);
  // int u^v -> int exp(v*ln(u))
  if (exponent->DependsOn(VarName))
    return Rewritten(Make(opExp, Make(opProduct, std::move(exponent), Make(opLn, Copy(base)))));
  // int u^(-1) is ln(abs(u)), which these rules cannot build
  if (IsMinusOne(*exponent)) return nullptr;
  // int u^c -> 1/(c+1)*u^(c+1)/u'
  TKoNodePtr raised = Make(opSum, std::move(exponent), Constant(1));
  TKoNodePtr factor = Make(opQuotient, Constant(1), Copy(raised.get()));
  return Chain(Make(opProduct, std::move(factor), Make(opPower, Copy(base), std::move(raised))),
               base);
}

// One case per operation code, each with its rule.
// NOLINTNEXTLINE(readability-function-size)
TKoNodePtr TIntegrator::Rules(const Node* node) const {
  // int c -> c*x
  if (!node->DependsOn(VarName) || HasConstantInner(node))
    return Make(opProduct, Copy(node), Var());
  const Node* u = node->ChildCount() > 0 ? node->Child(0) : nullptr;
  switch (node->Operation) {
    // int x -> 0.5*x^2
    case opVariable:
      return Make(opProduct, Constant(0.5L), Make(opPower, Copy(node), Constant(2)));
    // int -u -> -(int u)
    case opNegation: {
      TKoNodePtr integrated = I(u);
      if (!integrated) return nullptr;
      return Make(opNegation, std::move(integrated));
    }
    case opSum:
      return Sum(node);
    case opProduct:
      return Product(node);
    case opQuotient:
      return Quotient(node);
    case opPower:
      return Power(node);
    // int exp(u) -> exp(u)/u'
    case opExp:
      return Chain(Make(opExp, Copy(u)), u);
    // int ln(u) -> (u*ln(u)-u)/u'
    case opLn:
      return ChainTemplate("{0}*ln({0})-{0}", u);
    // int log(u), ld(u), sqr(u), sqrt(u) -> int ln(u)/ln(10), ln(u)/ln(2), u^2, u^0.5
    case opLog:
    case opLd:
    case opSqr:
    case opSqrt:
      return Rewritten(Equivalent(node->Operation, u));
    // int sin(u) -> -(cos(u)/u')
    case opSin:
      return Make(opNegation, Chain(Make(opCos, Copy(u)), u));
    // int cos(u) -> sin(u)/u'
    case opCos:
      return Chain(Make(opSin, Copy(u)), u);
    // int sinh(u) -> cosh(u)/u'
    case opSinh:
      return Chain(Make(opCosh, Copy(u)), u);
    // int cosh(u) -> sinh(u)/u'
    case opCosh:
      return Chain(Make(opSinh, Copy(u)), u);
    // int arcsin(u) -> (u*arcsin(u)+sqrt(1-u^2))/u'
    case opArcSin:
      return ChainTemplate("{0}*arcsin({0})+sqrt(1-sqr({0}))", u);
    // int arccos(u) -> (u*arccos(u)-sqrt(1-u^2))/u'
    case opArcCos:
      return ChainTemplate("{0}*arccos({0})-sqrt(1-sqr({0}))", u);
    // int arctan(u) -> (u*arctan(u)-ln(1+u^2)/2)/u'
    case opArcTan:
      return ChainTemplate("{0}*arctan({0})-0.5*ln(1+sqr({0}))", u);
    // int arccot(u) -> (u*arccot(u)+ln(1+u^2)/2)/u'
    case opArcCot:
      return ChainTemplate("{0}*arccot({0})+0.5*ln(1+sqr({0}))", u);
    // int tanh(u) -> ln(cosh(u))/u'
    case opTanh:
      return ChainTemplate("ln(cosh({0}))", u);
    // int coth(u) -> ln(abs(sinh(u)))/u', written so that it stays differentiable
    case opCoth:
      return ChainTemplate("0.5*ln(sqr(sinh({0})))", u);
    // int arcsinh(u) -> (u*arcsinh(u)-sqrt(u^2+1))/u'
    case opArcSinh:
      return ChainTemplate("{0}*arcsinh({0})-sqrt(sqr({0})+1)", u);
    // int arccosh(u) -> (u*arccosh(u)-sqrt(u^2-1))/u'
    case opArcCosh:
      return ChainTemplate("{0}*arccosh({0})-sqrt(sqr({0})-1)", u);
    // int arctanh(u) -> (u*arctanh(u)+ln(1-u^2)/2)/u'
    case opArcTanh:
      return ChainTemplate("{0}*arctanh({0})+0.5*ln(1-sqr({0}))", u);
    // int arccoth(u) -> (u*arccoth(u)+ln(u^2-1)/2)/u'
    case opArcCoth:
      return ChainTemplate("{0}*arccoth({0})+0.5*ln(sqr({0})-1)", u);
    case opTrunc:
    case opRound:
    case opFrac:
    case opSgn:
    case opAbs:
    case opZero:
    case opHeav:
    case opCeil:
    case opFloor:
    case opPhase:
    case opRnd:
      calculus::RaiseNotContinuous(node);
    // tan and cot would need ln(abs(...)); the factorial has no antiderivative at all
    case opTan:
    case opCot:
    case opNone:
    case opConstant:
    case opReserved:
    case opFactorial:
    case opInfixMinus:
      break;
  }
  return nullptr;
}

}  // namespace integration

TKoMathIntegrator::TKoMathIntegrator(TKoMathTreeFunction* result)
    : TKoCalculusCreator(result, kTextIntegrationFailed, kTextNoAntiderivative) {}

std::unique_ptr<TKoFunctionCreator> TKoMathIntegrator::Clone(TKoMathFunction* target) const {
  auto* result = dynamic_cast<TKoMathTreeFunction*>(target);
  if (!result) throw EKoMathIntegrator(kTextIntegrationFailed);
  auto copy = std::make_unique<TKoMathIntegrator>(result);
  CopySettingsTo(*copy);
  return copy;
}

namespace {

// The shapes try the term at a few values of the running variable; its value is put back
// when the antiderivative is formed, so the source keeps the values it had.
class TRunningValueKeeper {
 public:
  TRunningValueKeeper(TKoVarDepot& depot, const std::string& name) : Depot(depot), Name(name) {
    Kept = Depot.IndexOfVariable(Name) >= 0;
    if (Kept) Depot.GetValue(Name, &Value);
  }
  ~TRunningValueKeeper() {
    if (Kept) Depot.SetValue(Name, &Value);
  }
  TRunningValueKeeper(const TRunningValueKeeper&) = delete;
  TRunningValueKeeper& operator=(const TRunningValueKeeper&) = delete;

 private:
  TKoVarDepot& Depot;
  const std::string& Name;
  bool Kept = false;
  long double Value = 0;  // room for a value of any type
};

}  // namespace

TKoNodePtr TKoMathIntegrator::Form(const TKoOperatorNode* sourceRoot) {
  // The rules read the source tree and copy what they keep: the result is bound to the
  // source's variables, and only the result's nodes count beside the source's.
  TKoVarDepot& depot = SourceFunction->GetVarDepot();
  const TRunningValueKeeper keeper(depot, RunningVarName);
  integration::TIntegrator integrator(RunningVarName, &depot);
  // The classic rules and shapes first, so that what they give stays as it was; the
  // further shapes only where they find nothing.
  std::exception_ptr refusal;
  bool outOfNodes = false;
  try {
    // a constant that overflowed (a coefficient of 1e4000 squared) is no antiderivative
    if (TKoNodePtr classic = integrator.I(sourceRoot)) {
      if (!integration::AllFinite(classic.get())) return nullptr;
      // one that its own derivative contradicts (a division by a slope of 0) is none either
      if (!integrator.Contradicted(sourceRoot, classic.get())) return classic;
    }
  } catch (const ETooMuchInstances&) {
    outOfNodes = true;
    refusal = std::current_exception();
  } catch (const Exception&) {
    refusal = std::current_exception();
  }
  integrator.Further = true;
  try {
    if (TKoNodePtr further = integrator.I(sourceRoot))
      if (integration::AllFinite(further.get()) &&
          !integrator.Contradicted(sourceRoot, further.get()))
        return further;
  } catch (const Exception&) {
    // the classic refusal stands, unless the methods find one
  }
  // a large source beyond the node limit keeps the refusal, however short the methods' form
  // would be; a small one whose rules only grew too far may still have one
  if (!outOfNodes || integration::NodesUpTo(sourceRoot, integration::kLargestSourceOutOfNodes) <
                         integration::kLargestSourceOutOfNodes)
    if (TKoNodePtr byMethods = integrator.ByMethods(sourceRoot)) return byMethods;
  if (refusal) std::rethrow_exception(refusal);
  return nullptr;
}
