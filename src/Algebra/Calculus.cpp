// Calculus on the canonical form: the table of each function's facts, the derivative, the
// replacement of subterms and the polynomials of a term.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "Algebra/QPolynomial.hpp"

namespace algebra {

namespace {

Expr N(long n) {
  return Num(Number(n));
}

Expr Half(long n) {
  return Num(Number(Rational(n, 2)));
}

Expr Square(const Expr& u) {
  return Pow(u, N(2));
}

Expr Reciprocal(const Expr& u) {
  return Pow(u, N(-1));
}

Expr Negated(const Expr& u) {
  return Mul({N(-1), u});
}

// d/du exp(u) -> exp(u)
Expr DExp(const Expr& u) {
  return Fn(opExp, u);
}
// d/du ln(u) -> 1/u
Expr DLn(const Expr& u) {
  return Reciprocal(u);
}
// d/du log(u) -> 1/(u*ln(10))
Expr DLog(const Expr& u) {
  return Reciprocal(Mul({u, Fn(opLn, N(10))}));
}
// d/du ld(u) -> 1/(u*ln(2))
Expr DLd(const Expr& u) {
  return Reciprocal(Mul({u, Fn(opLn, N(2))}));
}
// d/du sin(u) -> cos(u)
Expr DSin(const Expr& u) {
  return Fn(opCos, u);
}
// d/du cos(u) -> -sin(u)
Expr DCos(const Expr& u) {
  return Negated(Fn(opSin, u));
}
// d/du tan(u) -> 1+tan(u)^2
Expr DTan(const Expr& u) {
  return Add({N(1), Square(Fn(opTan, u))});
}
// d/du cot(u) -> -1-cot(u)^2
Expr DCot(const Expr& u) {
  return Add({N(-1), Negated(Square(Fn(opCot, u)))});
}
// d/du arcsin(u) -> (1-u^2)^(-1/2)
Expr DArcSin(const Expr& u) {
  return Pow(Add({N(1), Negated(Square(u))}), Half(-1));
}
// d/du arccos(u) -> -(1-u^2)^(-1/2)
Expr DArcCos(const Expr& u) {
  return Negated(DArcSin(u));
}
// d/du arctan(u) -> 1/(1+u^2)
Expr DArcTan(const Expr& u) {
  return Reciprocal(Add({N(1), Square(u)}));
}
// d/du arccot(u) -> -1/(1+u^2)
Expr DArcCot(const Expr& u) {
  return Negated(DArcTan(u));
}
// d/du sinh(u) -> cosh(u)
Expr DSinh(const Expr& u) {
  return Fn(opCosh, u);
}
// d/du cosh(u) -> sinh(u)
Expr DCosh(const Expr& u) {
  return Fn(opSinh, u);
}
// d/du tanh(u) -> 1-tanh(u)^2
Expr DTanh(const Expr& u) {
  return Add({N(1), Negated(Square(Fn(opTanh, u)))});
}
// d/du coth(u) -> 1-coth(u)^2
Expr DCoth(const Expr& u) {
  return Add({N(1), Negated(Square(Fn(opCoth, u)))});
}
// d/du arcsinh(u) -> (u^2+1)^(-1/2)
Expr DArcSinh(const Expr& u) {
  return Pow(Add({Square(u), N(1)}), Half(-1));
}
// d/du arccosh(u) -> (u^2-1)^(-1/2), where arccosh is defined (u >= 1)
Expr DArcCosh(const Expr& u) {
  return Pow(Add({Square(u), N(-1)}), Half(-1));
}
// d/du arctanh(u), arccoth(u) -> 1/(1-u^2)
Expr DArcTanh(const Expr& u) {
  return Reciprocal(Add({N(1), Negated(Square(u))}));
}

constexpr std::array<FunctionFacts, 20> kFacts = {{
    {opExp, DExp, opLn, 0},
    {opLn, DLn, opExp, 0},
    {opLog, DLog, opNone, 0},
    {opLd, DLd, opNone, 0},
    {opSin, DSin, opNone, -1},
    {opCos, DCos, opNone, 1},
    {opTan, DTan, opNone, -1},
    {opCot, DCot, opNone, -1},
    {opArcSin, DArcSin, opSin, -1},
    {opArcCos, DArcCos, opCos, 0},
    {opArcTan, DArcTan, opTan, -1},
    {opArcCot, DArcCot, opCot, 0},
    {opSinh, DSinh, opArcSinh, -1},
    {opCosh, DCosh, opNone, 1},
    {opTanh, DTanh, opArcTanh, -1},
    {opCoth, DCoth, opArcCoth, -1},
    {opArcSinh, DArcSinh, opSinh, -1},
    {opArcCosh, DArcCosh, opCosh, 0},
    {opArcTanh, DArcTanh, opTanh, -1},
    {opArcCoth, DArcTanh, opCoth, -1},
}};

}  // namespace

const FunctionFacts* FactsOf(TOperation code) {
  for (const FunctionFacts& f : kFacts)
    if (f.Code == code) return &f;
  return nullptr;
}

bool DependsOn(const Expr& e, const std::string& key) {
  if (e->TheKind == Kind::Symbol) return e->Key == key;
  for (const Expr& o : e->Operands)
    if (DependsOn(o, key)) return true;
  return false;
}

Expr WithOperands(const Expr& e, const std::vector<Expr>& operands) {
  switch (e->TheKind) {
    case Kind::Number:
    case Kind::Symbol:
      return e;
    case Kind::Function:
      return Fn(e->Code, operands[0]);
    case Kind::Power:
      return Pow(operands[0], operands[1]);
    case Kind::Product: {
      std::vector<Expr> factors{Num(e->Value)};
      factors.insert(factors.end(), operands.begin(), operands.end());
      return Mul(factors);
    }
    case Kind::Sum: {
      std::vector<Expr> terms{Num(e->Value)};
      for (std::size_t i = 0; i < operands.size(); ++i)
        terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
      return Add(terms);
    }
  }
  return e;
}

Expr Substituted(const Expr& e, const Expr& from, const Expr& to) {
  if (Compare(e, from) == 0) return to;
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  bool changed = false;
  for (const Expr& o : e->Operands) {
    operands.push_back(Substituted(o, from, to));
    changed = changed || operands.back() != o;
  }
  return changed ? WithOperands(e, operands) : e;
}

Expr Derivative(const Expr& e, const std::string& key) {
  if (!DependsOn(e, key)) return N(0);
  switch (e->TheKind) {
    case Kind::Number:
      return N(0);
    // d/dx x -> 1
    case Kind::Symbol:
      return N(1);
    // d/dx f(u) -> f'(u)*u'
    case Kind::Function: {
      const FunctionFacts* facts = FactsOf(e->Code);
      if (!facts) throw EKoAlgebra("No derivative in the canonical form");
      return Mul({facts->Derivative(e->Operands[0]), Derivative(e->Operands[0], key)});
    }
    case Kind::Power: {
      const Expr& b = e->Operands[0];
      const Expr& p = e->Operands[1];
      // d/dx u^c -> c*u^(c-1)*u'
      if (!DependsOn(p, key)) return Mul({p, Pow(b, Add({p, N(-1)})), Derivative(b, key)});
      // d/dx u^v -> u^v*(v'*ln(u)+v*u'/u)
      return Mul({e, Add({Mul({Derivative(p, key), Fn(opLn, b)}),
                          Mul({p, Derivative(b, key), Reciprocal(b)})})});
    }
    // d/dx c*u*v -> c*(u'*v+u*v')
    case Kind::Product: {
      std::vector<Expr> terms;
      for (std::size_t i = 0; i < e->Operands.size(); ++i) {
        if (!DependsOn(e->Operands[i], key)) continue;
        std::vector<Expr> factors{Num(e->Value), Derivative(e->Operands[i], key)};
        for (std::size_t j = 0; j < e->Operands.size(); ++j)
          if (j != i) factors.push_back(e->Operands[j]);
        terms.push_back(Mul(factors));
      }
      return Add(terms);
    }
    // d/dx c+a*u+b*v -> a*u'+b*v'
    case Kind::Sum: {
      std::vector<Expr> terms;
      for (std::size_t i = 0; i < e->Operands.size(); ++i)
        terms.push_back(Mul({Num(e->Coefficients[i]), Derivative(e->Operands[i], key)}));
      return Add(terms);
    }
  }
  return N(0);
}

// ---------------------------------------------------------------- polynomials of a term

namespace {

// The largest degree of a polynomial read from a term.
constexpr std::size_t kLargestDegree = 400;

std::optional<QPolynomial> Constant(const Number& n) {
  if (!n.IsExact()) return std::nullopt;
  return QPolynomial{n.Fraction()};
}

}  // namespace

std::optional<QPolynomial> PolynomialIn(const Expr& e, const std::string& key) {
  if (!DependsOn(e, key)) {
    if (e->TheKind == Kind::Number) return Constant(e->Value);
    return std::nullopt;
  }
  switch (e->TheKind) {
    case Kind::Number:
    case Kind::Function:
      return std::nullopt;
    case Kind::Symbol:
      return QPolynomial{Rational(0), Rational(1)};
    case Kind::Power: {
      const Expr& p = e->Operands[1];
      if (p->TheKind != Kind::Number || !p->Value.IsWhole() || p->Value.Sign() < 0)
        return std::nullopt;
      const std::optional<QPolynomial> base = PolynomialIn(e->Operands[0], key);
      if (!base || !p->Value.Fraction().get_num().fits_ulong_p()) return std::nullopt;
      const unsigned long n = p->Value.Fraction().get_num().get_ui();
      if (n * Degree(*base) > kLargestDegree) return std::nullopt;
      return Raised(*base, n);
    }
    case Kind::Product: {
      std::optional<QPolynomial> product = Constant(e->Value);
      for (const Expr& f : e->Operands) {
        const std::optional<QPolynomial> factor = PolynomialIn(f, key);
        if (!product || !factor || Degree(*product) + Degree(*factor) > kLargestDegree)
          return std::nullopt;
        product = Product(*product, *factor);
      }
      return product;
    }
    case Kind::Sum: {
      std::optional<QPolynomial> sum = Constant(e->Value);
      for (std::size_t i = 0; i < e->Operands.size(); ++i) {
        const std::optional<QPolynomial> term = PolynomialIn(e->Operands[i], key);
        const std::optional<QPolynomial> c = Constant(e->Coefficients[i]);
        if (!sum || !term || !c) return std::nullopt;
        sum = Sum(*sum, Scaled(*term, (*c)[0]));
      }
      return sum;
    }
  }
  return std::nullopt;
}

Expr FromQPolynomial(const QPolynomial& p, const Expr& variable) {
  std::vector<Expr> terms;
  for (std::size_t k = 0; k < p.size(); ++k)
    if (p[k] != 0)
      terms.push_back(Mul({Num(Number(p[k])), Pow(variable, Num(Number(static_cast<long>(k))))}));
  return Add(terms);
}

}  // namespace algebra
