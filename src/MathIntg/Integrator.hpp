// Internal to the integrator: its rules, today's per operation code and the shapes that
// take their place where those find nothing (products, quotients, powers).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "Algebra/QPolynomial.hpp"
#include "MathDiff/Rules.hpp"
#include "MathIntg/MathIntg.hpp"

namespace integration {

using Node = TKoOperatorNode;
// The coefficients c0, c1, ... of a polynomial in the variable with numeric coefficients.
using Polynomial = std::vector<long double>;
// The same with exact coefficients, where the term gives them (numbers, + - * / and whole
// powers): what decides the kind of a quadratic's roots.
using ExactPolynomial = std::vector<algebra::Rational>;
// A quotient of exact polynomials, in lowest terms with a monic denominator.
struct QFraction {
  algebra::QPolynomial Num{algebra::Rational(1)};
  algebra::QPolynomial Den{algebra::Rational(1)};
};

// A sum of no terms is 0, of one term that term.
TKoNodePtr Collected(TKoNodePtr sum);
// Whether every constant in the subtree is finite.
bool AllFinite(const Node* node);
// Whether any variable occurs in the subtree.
bool HasVariable(const Node* node);
// Whether a variable other than the running one (upper case) occurs in the subtree.
bool HasOtherVariable(const Node* node, const std::string& upperVar);

class TIntegrator : calculus::TRuleContext {
 public:
  using TRuleContext::TRuleContext;

  // An antiderivative of node, or none when the rules find none.
  TKoNodePtr I(const Node* node) const;

  // Whether the antiderivative's difference quotients miss the integrand clearly at a point,
  // or it is defined at none of the points where the integrand is.
  bool Contradicted(const Node* node, const Node* antiderivative) const;
  // Methods.cpp: an antiderivative by the methods that recurse through the whole integrator
  // (substitution, parts, partial fractions), checked; none where they find none.
  TKoNodePtr ByMethods(const Node* node) const;

  // Whether the shapes beyond the classic ones are tried too (rational functions in full,
  // jumps, substitutions); the classic result, where there is one, is formed without them.
  bool Further = false;

 private:
  // The rule of the node's operation code.
  TKoNodePtr Rules(const Node* node) const;
  // The shapes, where the rule of the operation code found nothing.
  TKoNodePtr Shapes(const Node* node) const;
  TKoNodePtr ShapesOrNone(const Node* node) const;

  TKoNodePtr Var() const { return TKoOperatorNode::CreateVariable(dtExtended, VarName, Depot); }
  // An antiderivative of an equivalent term, which is freed afterwards.
  TKoNodePtr Rewritten(TKoNodePtr term) const { return I(term.get()); }
  // The antiderivative outer(u) of f(u) divided by u', which must be free of the variable.
  TKoNodePtr Chain(TKoNodePtr outer, const Node* u) const;
  TKoNodePtr ChainTemplate(const char* text, const Node* u) const {
    return Chain(Template(text, Copy(u)), u);
  }
  // u' when it is free of the variable, else none.
  TKoNodePtr ConstantSlope(const Node* u) const;
  // A function or power of an inner term whose derivative folds to 0 (2*x-2*x): the inner
  // term, and so the node, is a constant.
  bool HasConstantInner(const Node* node) const;
  // Whether the subtree holds a jump or kink of a term with the variable.
  bool HasJump(const Node* node) const;
  TKoNodePtr Sum(const Node* node) const;
  TKoNodePtr Product(const Node* node) const;
  TKoNodePtr Quotient(const Node* node) const;
  TKoNodePtr Power(const Node* node) const;

  // Shapes.cpp
  std::optional<Polynomial> PolynomialOf(const Node* node, std::size_t maxDegree) const {
    return PolynomialIn<long double>(node, maxDegree);
  }
  std::optional<ExactPolynomial> ExactPolynomialOf(const Node* node, std::size_t maxDegree) const {
    return PolynomialIn<algebra::Rational>(node, maxDegree);
  }
  template <class C>
  std::optional<std::vector<C>> PolynomialIn(const Node* node, std::size_t maxDegree) const;
  bool ConstantIn(const Node* node, long double& value) const;
  static bool ConstantIn(const Node* node, algebra::Rational& value);
  TKoNodePtr Monomial(long double c, std::size_t k) const;
  TKoNodePtr PolynomialTree(const Polynomial& p) const;
  TKoNodePtr Times(long double p, long double q, TKoNodePtr node) const;
  TKoNodePtr Root(long double v) const;
  TKoNodePtr Over(TKoNodePtr node, TKoNodePtr d) const;
  TKoNodePtr PolynomialIntegral(const Polynomial& p) const;
  TKoNodePtr ProductShapes(const Node* node) const;
  TKoNodePtr PolynomialTimes(const std::vector<const Node*>& factors) const;
  TKoNodePtr RepeatedByParts(const Polynomial& p, TKoNodePtr f) const;
  TKoNodePtr QuotientShapes(const Node* node) const;
  TKoNodePtr Distributed(const Node* product, const Node* sum) const;
  TKoNodePtr PowerShapes(const Node* node) const;
  TKoNodePtr Rational(const Polynomial& numerator, const Polynomial& denominator,
                      const std::optional<ExactPolynomial>& exact) const;
  TKoNodePtr ReciprocalQuadratic(const Polynomial& q,
                                 const std::optional<ExactPolynomial>& exact) const;
  TKoNodePtr ReciprocalSqrtQuadratic(const Polynomial& q,
                                     const std::optional<ExactPolynomial>& exact) const;
  TKoNodePtr ByParts(const Polynomial& p, const Node* f) const;
  TKoNodePtr ExpTimesTrig(const Node* e, const Node* trig) const;
  TKoNodePtr InverseTimesPolynomial(const Node* f, const Polynomial& p) const;
  TKoNodePtr LnPower(const Node* ln, std::int32_t n) const;
  TKoNodePtr SqrtQuadratic(const Polynomial& q, const std::optional<ExactPolynomial>& exact) const;
  bool IsRootOfVar(const Node* node) const;
  TKoNodePtr RootSubstitution(const Node* node) const;
  TKoNodePtr PowersOfVar(const std::vector<const Node*>& factors) const;
  TKoNodePtr TrigProduct(const std::vector<const Node*>& factors) const;
  TKoNodePtr TrigPower(const Node* f, std::int32_t n) const;
  TKoNodePtr Substitution(const std::vector<const Node*>& factors,
                          const std::vector<const Node*>& constants) const;
  TKoNodePtr SubstitutedAntiderivative(const Node* g, const Node*& inner) const;
  TKoNodePtr Substitute(const Node* tree, const Node* u) const;
  bool ValueAt(const Node* node, long double x, long double& value) const;

  // RationalFunctions.cpp and Steps.cpp: the further shapes, each result checked.
  TKoNodePtr ClosedShapes(const Node* node) const;
  TKoNodePtr FurtherShapes(const Node* node) const;
  TKoNodePtr RationalShape(const Node* node, bool polynomials) const;
  TKoNodePtr QScaled(const algebra::Rational& c, TKoNodePtr node) const;
  TKoNodePtr Checked(const Node* node, TKoNodePtr antiderivative) const;
  // As Checked, and refused where the antiderivative is undefined at a point where the
  // integrand is defined.
  TKoNodePtr Verified(const Node* node, TKoNodePtr antiderivative) const;
  enum class TSlopeCheck;
  bool LogarithmFactor(const Node* term, long double x, long double& factor) const;
  TSlopeCheck SlopeAt(const Node* node, const Node* f, long double x, long double value,
                      long double h, long double tolerance) const;
  TKoNodePtr StepShapes(const Node* node) const;
  TKoNodePtr StepOfLinear(const Node* node) const;
  TKoNodePtr PowerOfAbs(const Node* node) const;
  TKoNodePtr StepProduct(const Node* node) const;
  TKoNodePtr StepTimes(const Node* step, const Node* rest) const;
  TKoNodePtr PerfectSquarePower(const Node* node) const;
  // A kernel maps the nodes it stands for to a quotient in the new variable t.
  using Kernel = std::optional<QFraction> (TIntegrator::*)(const Node*) const;
  std::optional<QFraction> RationalIn(const Node* node, Kernel kernel) const;
  std::optional<QFraction> VariableKernel(const Node* node) const;
  std::optional<QFraction> ExpKernel(const Node* node) const;
  std::optional<QFraction> TrigKernel(const Node* node) const;
  std::optional<QFraction> RootKernel(const Node* node) const;
  TKoNodePtr RationalIntegral(QFraction f) const;
  bool HermiteReduced(algebra::QPolynomial& a, algebra::QPolynomial& d, TKoOperatorNode& sum) const;
  TKoNodePtr SignedQuotient(const algebra::QPolynomial& top, TKoNodePtr below) const;
  TKoNodePtr LogPart(const algebra::QPolynomial& a, const algebra::QPolynomial& d) const;
  TKoNodePtr NumericLogPart(const algebra::QPolynomial& a, const algebra::QPolynomial& d) const;
  TKoNodePtr QNumber(const algebra::Rational& q) const;
  TKoNodePtr QPolynomialTree(const algebra::QPolynomial& p) const;
  TKoNodePtr ScaledBy(long double c, TKoNodePtr node) const;
  TKoNodePtr ExpSubstitution(const Node* node) const;
  TKoNodePtr HalfAngleSubstitution(const Node* node) const;
  TKoNodePtr ContinuedAcrossHalfTurns(const Node* node, TKoNodePtr f) const;
  TKoNodePtr RootSubstitutionOfLinear(const Node* node) const;
  // Algebraic.cpp
  std::optional<algebra::Rational> HalfPowerOfQuadratic(const Node* factor,
                                                        ExactPolynomial& q) const;
  TKoNodePtr PolynomialOverSqrt(algebra::QPolynomial p, const ExactPolynomial& q) const;
  TKoNodePtr SqrtQuadraticShape(const Node* node) const;
  TKoNodePtr OverPowerOfSqrt(const algebra::QPolynomial& p, const ExactPolynomial& q,
                             std::size_t n) const;
  TKoNodePtr QuotientOverSqrt(const algebra::QPolynomial& a, const algebra::QPolynomial& b,
                              const ExactPolynomial& q) const;
  TKoNodePtr InverseByParts(const Node* node) const;
  // Linearized.cpp
  TKoNodePtr ExpTrigLinearized(const Node* node) const;
  TKoNodePtr TangentPower(const Node* node) const;
  TKoNodePtr Resubstituted(const Node* tree, const Node* t, bool expKernel) const;
  TKoNodePtr KernelSubstitution(const Node* node) const;
  TKoNodePtr RootOfLinear(const ExactPolynomial& base, long n) const;
  TKoNodePtr ExpKernelSubstitution(const Node* node) const;
  TKoNodePtr LogKernelSubstitution(const Node* node) const;
  TKoNodePtr RootKernelSubstitution(const Node* node) const;
  template <class Replace>
  TKoNodePtr Replaced(const Node* tree, Replace replace) const;

  // The kernel of the substitution under way: u = exp(Slope*x), t = tan(v/2) with
  // v = Slope*x + Offset, t = (Slope*x + Offset)^(1/RootIndex).
  mutable algebra::Rational Slope;
  mutable algebra::Rational Offset;
  mutable long RootIndex = 1;

  // How many integrations by parts are under way, one inside the other.
  mutable std::int32_t PartsDepth = 0;
  // How many kernel substitutions are under way, one inside the other.
  mutable std::int32_t SubstitutionDepth = 0;
  // Counts a nesting up for its lifetime.
  struct Nested {
    std::int32_t& Depth;
    explicit Nested(std::int32_t& depth) : Depth(++depth) {}
    ~Nested() { --Depth; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;
  };
};

}  // namespace integration
