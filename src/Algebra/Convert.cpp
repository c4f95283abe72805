// The canonical form from operator trees, and its text.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "Algebra/QPolynomial.hpp"
#include "MathTree/NodeHelpers.hpp"

namespace algebra {

namespace {

using nodes::Is;

constexpr const char* kTextNotHeld = "Operation without a canonical form";
// Digits of an exact number's numerator or denominator that its text may have.
constexpr std::size_t kMostDigits = 4900;

// How tightly a text binds, to know where its user needs brackets: a sum, a term with a
// sign in front, a product or quotient, a power, and what never needs them.
enum Binding : std::uint8_t { kSum, kSigned, kProduct, kPower, kAtom };

struct Text {
  std::string Body;
  Binding Binds;
};

std::string Bracketed(const Text& t, Binding needed) {
  return t.Binds < needed ? "(" + t.Body + ")" : t.Body;
}

class Printer {
 public:
  // natural: a positive constant less one term first (1-x^2), as a person writes it.
  // distributed: a product's whole coefficient multiplied into its one sum, (4*x^2+2)*exp(x)
  // rather than 2*(2*x^2+1)*exp(x).
  explicit Printer(const std::string& mainVar, bool natural = false, bool distributed = false)
      : MainKey(UpperCase(mainVar)), Natural(natural), Distributed(distributed) {}

  Text Print(const Expr& e) const {
    switch (e->TheKind) {
      case Kind::Number:
        return PrintNumber(e->Value);
      case Kind::Symbol:
        return {e->Name, kAtom};
      case Kind::Function:
        return PrintFunction(e);
      case Kind::Power:
      case Kind::Product:
        return PrintProduct(e);
      case Kind::Sum:
        return PrintSum(e);
    }
    return {"", kAtom};
  }

 private:
  static Text PrintNumber(const Number& n) {
    if (!n.IsExact()) {
      long double v = n.Value();
      const std::string body = DataToText(&v, dtExtended);
      return {body, v < 0 ? kSigned : kAtom};
    }
    const Rational& q = n.Fraction();
    // Beyond the extended range the text would not read back.
    if (mpz_sizeinbase(q.get_num_mpz_t(), 10) > kMostDigits ||
        mpz_sizeinbase(q.get_den_mpz_t(), 10) > kMostDigits)
      throw EKoAlgebra(kTextOverflow);
    const Binding binds = q < 0 ? kSigned : q.get_den() == 1 ? kAtom : kProduct;
    return {q.get_str(), binds};
  }

  Text PrintFunction(const Expr& e) const {
    if (e->Code == opExp && e->Operands[0]->TheKind == Kind::Number && e->Operands[0]->Value.Is(1))
      return {"e", kAtom};
    const Text argument = Print(e->Operands[0]);
    if (e->Code == opFactorial) return {Bracketed(argument, kAtom) + "!", kAtom};
    return {TKoOperatorNode::Create(dtExtended, e->Code)->DisplayName() + "(" + argument.Body + ")",
            kAtom};
  }

  // base^exponent for a positive exponent; 1/2 is the square root.
  Text PrintPower(const Expr& base, const Expr& exponent) const {
    if (exponent->TheKind == Kind::Number && exponent->Value.Is(1)) return Print(base);
    if (exponent->TheKind == Kind::Number && exponent->Value.Compare(Number(Rational(1, 2))) == 0)
      return {"sqrt(" + Print(base).Body + ")", kAtom};
    if (exponent->TheKind == Kind::Number && !exponent->Value.IsExact() &&
        exponent->Value.Value() == 0.5L)
      return {"sqrt(" + Print(base).Body + ")", kAtom};
    // Powers chain from the left: a^b^c is (a^b)^c.
    return {Bracketed(Print(base), kPower) + "^" + Bracketed(Print(exponent), kAtom), kPower};
  }

  // The factor that carries the minus in front, the coefficient then negated: an odd power of
  // a sum that would lead with one (-(-x^2+2*x+1)/(x-1)^2 is (x^2-2*x-1)/(x-1)^2), or to be
  // read also a sum whose negation leads with a constant (-(6*x-7) is (7-6*x)). The sum is
  // printed negated. None where no factor does.
  const Term* NegatedFactor(const std::vector<Expr>& factors, Number& coefficient) const {
    if (coefficient.Sign() >= 0) return nullptr;
    for (const Expr& f : factors) {
      const Expr& base = f->TheKind == Kind::Power ? f->Operands[0] : f;
      const bool odd =
          f->TheKind != Kind::Power ||
          (f->Operands[1]->TheKind == Kind::Number && f->Operands[1]->Value.IsWhole() &&
           f->Operands[1]->Value.Fraction().get_num() % 2 != 0);
      if (base->TheKind != Kind::Sum || !odd || !LeadsNegative(base)) continue;
      coefficient = -coefficient;
      return f.get();
    }
    if (!Natural) return nullptr;
    for (const Expr& f : factors) {
      if (f->TheKind != Kind::Sum || !NaturallyFirst(Negated(f))) continue;
      coefficient = -coefficient;
      return f.get();
    }
    return nullptr;
  }

  // Where distributed, the one sum among the factors that takes in the numerator of an exact
  // coefficient other than 1; none otherwise.
  const Term* ScaledFactor(const std::vector<Expr>& factors, const Number& magnitude) const {
    const auto isSum = [](const Expr& f) { return f->TheKind == Kind::Sum; };
    if (!Distributed || !magnitude.IsExact() || magnitude.Fraction().get_num() == 1 ||
        std::count_if(factors.begin(), factors.end(), isSum) != 1)
      return nullptr;
    return std::find_if(factors.begin(), factors.end(), isSum)->get();
  }

  // The factors of a product (or one power): those with a negative numeric exponent below the
  // line, the coefficient's numerator in front and its denominator below.
  Text PrintProduct(const Expr& e) const {
    const std::vector<Expr> factors =
        e->TheKind == Kind::Product ? e->Operands : std::vector<Expr>{e};
    Number coefficient = e->TheKind == Kind::Product ? e->Value : Number(1);
    const Term* negated = NegatedFactor(factors, coefficient);
    std::vector<Text> above;
    std::vector<std::string> below;
    Number magnitude = coefficient.Sign() < 0 ? -coefficient : coefficient;
    const Term* scaled = ScaledFactor(factors, magnitude);
    if (magnitude.IsExact()) {
      const Rational& q = magnitude.Fraction();
      if (q.get_num() != 1 && !scaled) above.push_back(PrintNumber(Number(Rational(q.get_num()))));
      if (q.get_den() != 1) below.push_back(PrintNumber(Number(Rational(q.get_den()))).Body);
    } else {
      above.push_back(PrintNumber(magnitude));
    }
    const std::size_t numbersAbove = above.size();
    for (const Expr& f : Ordered(factors)) {
      Expr base = f->TheKind == Kind::Power ? f->Operands[0] : f;
      if (f.get() == negated) base = Negated(base);
      if (f.get() == scaled) base = Scaled(base, Number(Rational(magnitude.Fraction().get_num())));
      const Expr exponent = f->TheKind == Kind::Power ? f->Operands[1] : Num(Number(1));
      // an even power of a sum that would lead with a minus: (3*x^2-7*x+2)^2
      if (Natural && base->TheKind == Kind::Sum && exponent->TheKind == Kind::Number &&
          exponent->Value.IsWhole() && exponent->Value.Fraction().get_num() % 2 == 0 &&
          LeadsNegative(base) && !NaturallyFirst(base))
        base = Negated(base);
      if (exponent->TheKind == Kind::Number && exponent->Value.Sign() < 0) {
        below.push_back(Bracketed(PrintPower(base, Num(-exponent->Value)), kPower));
      } else {
        above.push_back(PrintPower(base, exponent));
      }
    }
    // A lone factor keeps its own binding: x^2, or a sum as the only factor above.
    std::string body;
    Binding binds = kProduct;
    if (above.empty()) {
      body = "1";
    } else if (above.size() == 1 && numbersAbove == 0 && below.empty()) {
      body = above[0].Body;
      binds = above[0].Binds;
    } else {
      std::vector<std::string> parts;
      parts.reserve(above.size());
      for (const Text& t : above) parts.push_back(Bracketed(t, kPower));
      body = Joined(parts, "*");
    }
    if (!below.empty()) {
      const std::string denominator = below.size() == 1 ? below[0] : "(" + Joined(below, "*") + ")";
      body += "/" + denominator;
      binds = kProduct;
    }
    if (coefficient.Sign() < 0) return {"-" + Bracketed({body, binds}, kProduct), kSigned};
    return {body, binds};
  }

  // The order of a sum's terms: by falling degree; of equal degree, added terms before
  // subtracted ones (a-b, not -b+a).
  struct Item {
    long double Degree;
    bool Subtracted;
    std::size_t Index;
  };
  std::vector<Item> Order(const Expr& e) const {
    std::vector<Item> order;
    for (std::size_t i = 0; i < e->Operands.size(); ++i)
      order.push_back({Degree(e->Operands[i]), e->Coefficients[i].Sign() < 0, i});
    std::stable_sort(order.begin(), order.end(), [](const Item& a, const Item& b) {
      if (a.Degree != b.Degree) return a.Degree > b.Degree;
      return !a.Subtracted && b.Subtracted;
    });
    return order;
  }

  // c*s for a sum s, every coefficient and the constant multiplied.
  static Expr Scaled(const Expr& sum, const Number& c) {
    Term t = *sum;
    t.Value = c * t.Value;
    for (Number& k : t.Coefficients) k = c * k;
    return std::make_shared<const Term>(std::move(t));
  }

  // -s for a sum s, every coefficient and the constant negated.
  static Expr Negated(const Expr& sum) {
    Term t = *sum;
    t.Value = -t.Value;
    for (Number& c : t.Coefficients) c = -c;
    return std::make_shared<const Term>(std::move(t));
  }

  // Whether the sum is a positive constant less one term, printed with the constant first.
  bool NaturallyFirst(const Expr& sum) const {
    const std::vector<Item> order = Order(sum);
    return Natural && order.size() == 1 && order.front().Subtracted && sum->Value.Sign() > 0;
  }

  // Whether the sum's text begins with a minus: its first term is subtracted.
  bool LeadsNegative(const Expr& sum) const {
    const std::vector<Item> order = Order(sum);
    return order.empty() ? sum->Value.Sign() < 0 : order.front().Subtracted;
  }

  Text PrintSum(const Expr& e) const {
    const std::vector<Item> order = Order(e);
    std::string body;
    if (NaturallyFirst(e)) {
      AppendTerm(body, Num(e->Value));
      AppendTerm(body, Mul({Num(e->Coefficients[0]), e->Operands[0]}));
      return {body, kSum};
    }
    for (const Item& item : order)
      AppendTerm(body, Mul({Num(e->Coefficients[item.Index]), e->Operands[item.Index]}));
    if (!e->Value.IsZero()) AppendTerm(body, Num(e->Value));
    return {body, kSum};
  }

  void AppendTerm(std::string& body, const Expr& term) const {
    const Text t = Print(term);
    if (body.empty()) {
      body = t.Body;
    } else if (t.Body[0] == '-') {
      body += t.Body;
    } else {
      body += "+" + t.Body;
    }
  }

  // The degree of a term in the main variable, for the order of a sum's terms.
  long double Degree(const Expr& e) const {
    if (e->TheKind == Kind::Symbol) return e->Key == MainKey ? 1 : 0;
    if (e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Symbol &&
        e->Operands[0]->Key == MainKey && e->Operands[1]->TheKind == Kind::Number)
      return e->Operands[1]->Value.Value();
    if (e->TheKind != Kind::Product) return 0;
    long double d = 0;
    for (const Expr& f : e->Operands) d += Degree(f);
    return d;
  }

  // The factors of a product as a person writes them: those free of the main variable, its
  // powers, sums and their powers, then the rest (a*x^2*(x+1)*exp(x)).
  std::vector<Expr> Ordered(const std::vector<Expr>& factors) const {
    const auto group = [this](const Expr& f) {
      if (!HasMain(f)) return 0;
      if (Degree(f) != 0) return 1;
      return f->TheKind == Kind::Sum ||
                     (f->TheKind == Kind::Power && f->Operands[0]->TheKind == Kind::Sum)
                 ? 2
                 : 3;
    };
    std::vector<std::pair<int, std::size_t>> order;
    for (std::size_t i = 0; i < factors.size(); ++i) order.emplace_back(group(factors[i]), i);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Expr> ordered;
    ordered.reserve(order.size());
    for (const auto& [g, i] : order) ordered.push_back(factors[i]);
    return ordered;
  }

  bool HasMain(const Expr& e) const {
    if (e->TheKind == Kind::Symbol) return e->Key == MainKey;
    return std::any_of(e->Operands.begin(), e->Operands.end(),
                       [this](const Expr& o) { return HasMain(o); });
  }

  static std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string s;
    for (const std::string& p : parts) s += (s.empty() ? "" : separator) + p;
    return s;
  }

  std::string MainKey;
  bool Natural = false;
  bool Distributed = false;
};

std::vector<Expr> Converted(const TKoOperatorNode* node, Numbers numbers) {
  std::vector<Expr> operands;
  for (const TKoOperatorNode* child : node->Children) operands.push_back(FromTree(child, numbers));
  return operands;
}

bool IsShort(const Rational& q) {
  return mpz_sizeinbase(q.get_num_mpz_t(), 10) <= kShortDecimal &&
         mpz_sizeinbase(q.get_den_mpz_t(), 10) <= kShortDecimal;
}

}  // namespace

Expr FromTree(const TKoOperatorNode* node, Numbers numbers) {
  const TOperation code = node->Operation;
  // A whole number is exact as it was typed, beyond 2^63 too (the shortest decimal that
  // reads back to it); a short decimal where asked; any other stays a float.
  if (code == opConstant) {
    const long double v = node->LeafValue();
    const bool whole = v == std::trunc(v);
    if (whole || numbers == Numbers::DecimalsExact)
      if (const std::optional<Rational> typed = DecimalOf(v))
        if (typed->get_den() == 1 || (!whole && IsShort(*typed))) return Num(Number(*typed));
    return Num(Number::Float(v));
  }
  if (code == opVariable) return Sym(node->Variable->Name);
  // Two draws of rnd are no one draw twice; codes without operands are no finished tree.
  if (code == opRnd || node->ChildCount() == 0) throw EKoAlgebra(kTextNotHeld);
  if (code == opSum) return Add(Converted(node, numbers));
  if (code == opNegation) return Mul({Num(Number(-1)), FromTree(node->Child(0), numbers)});
  if (code == opProduct) return Mul(Converted(node, numbers));
  if (code == opQuotient) {
    std::vector<Expr> operands = Converted(node, numbers);
    for (std::size_t i = 1; i < operands.size(); ++i)
      operands[i] = Pow(operands[i], Num(Number(-1)));
    return Mul(operands);
  }
  if (code == opPower) {
    const std::vector<Expr> operands = Converted(node, numbers);
    Expr power = operands[0];
    for (std::size_t i = 1; i < operands.size(); ++i) power = Pow(power, operands[i]);
    return power;
  }
  if (IsFunctionCode(code)) return Fn(code, FromTree(node->Child(0), numbers));
  throw EKoAlgebra(kTextNotHeld);
}

std::string ToText(const Expr& e, const std::string& mainVar) {
  return Printer(mainVar).Print(e).Body;
}

namespace {

// The text of a result to be read: 1-x^2 rather than -x^2+1.
std::string ReadingText(const Expr& e, const std::string& mainVar, Use use) {
  if (use == Use::Levels) return ToText(e, mainVar);
  std::string text = Printer(mainVar, true).Print(e).Body;
  // a long text is printed once: its forms are many, and a coefficient saves little in it
  constexpr std::size_t kLongest = 4000;
  if (text.size() > kLongest) return text;
  std::string distributed = Printer(mainVar, true, true).Print(e).Body;
  return distributed.size() < text.size() ? distributed : text;
}

}  // namespace

namespace {

// The expansion of a canonical term, formed once for the forms that start from it; for the
// levels with even powers of sines reduced again, as multiplying out makes new ones.
class TExpansion {
 public:
  TExpansion(Expr canonical, Use use) : Canonical(std::move(canonical)), TheUse(use) {}
  const Expr& operator()() {
    if (!Tried) {
      Tried = true;
      Expanded = Expand(Canonical);
      for (int pass = 0; TheUse == Use::Levels && pass < 3; ++pass) {
        const Expr reduced = SquaresReduced(Expanded);
        if (Compare(reduced, Expanded) == 0) break;
        Expanded = Expand(reduced);
      }
    }
    if (!Expanded) throw EKoAlgebra("Term too large to multiply out");
    return Expanded;
  }

 private:
  Expr Canonical;
  Use TheUse;
  Expr Expanded;
  bool Tried = false;
};

}  // namespace

namespace {

// A float is taken as the root of a fraction with a denominator up to this, where the two
// agree to this relative distance (a 17-digit constant of the integrator is no closer).
constexpr long kLargestRootDenominator = 1000;
constexpr long kLargestRootNumerator = 1'000'000;
constexpr long double kSameRoot = 1e-15L;

// k*sqrt(m) for sqrt(q), m square-free: sqrt(a/b) = sqrt(a*b)/b.
Expr RootOf(const Rational& q) {
  long n = q.get_num().get_si() * q.get_den().get_si();
  long outside = 1;
  for (long p = 2; p * p <= n; ++p)
    while (n % (p * p) == 0) {
      n /= p * p;
      outside *= p;
    }
  Rational k(outside, q.get_den().get_si());
  k.canonicalize();
  Expr factor = Num(Number(k));
  if (n == 1) return factor;
  return Mul({factor, Pow(Num(Number(n)), Num(Number(Rational(1, 2))))});
}

// The number, or the root of a fraction it is: a long decimal only, a typed 0.5 stays.
Expr ExactNumber(const Number& number) {
  if (number.IsExact()) return Num(number);
  const long double v = number.Value();
  const std::optional<Rational> typed = DecimalOf(v);
  if (!typed || IsShort(*typed) || v == 0) return Num(number);
  const std::optional<Rational> square = NearFraction(v * v, kLargestRootDenominator);
  if (!square || *square <= 0 || abs(square->get_num()) > kLargestRootNumerator ||
      std::fabs(std::sqrt(ToLongDouble(*square)) - std::fabs(v)) > kSameRoot * std::fabs(v))
    return Num(number);
  const Expr root = RootOf(*square);
  return v < 0 ? Mul({Num(Number(-1)), root}) : root;
}

Expr ExactRoots(const Expr& e) {
  if (e->TheKind == Kind::Number) return ExactNumber(e->Value);
  if (e->Operands.empty()) return e;
  // sqrt(3/4) as sqrt(3)/2: the square taken out of a root of a short fraction
  if (e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Number &&
      e->Operands[0]->Value.IsExact() && e->Operands[0]->Value.Sign() > 0 &&
      e->Operands[1]->TheKind == Kind::Number && e->Operands[1]->Value.IsExact()) {
    const Rational& q = e->Operands[0]->Value.Fraction();
    const Rational& p = e->Operands[1]->Value.Fraction();
    if (abs(p) == Rational(1, 2) && abs(q.get_num()) <= kLargestRootNumerator &&
        q.get_den() <= kLargestRootNumerator)
      return p > 0 ? RootOf(q) : RootOf(1 / q);
  }
  std::vector<Expr> operands;
  if (e->TheKind == Kind::Sum) {
    operands.push_back(ExactNumber(e->Value));
    for (std::size_t i = 0; i < e->Operands.size(); ++i)
      operands.push_back(Mul({ExactNumber(e->Coefficients[i]), ExactRoots(e->Operands[i])}));
    return Add(operands);
  }
  if (e->TheKind == Kind::Product) operands.push_back(ExactNumber(e->Value));
  for (const Expr& o : e->Operands) operands.push_back(ExactRoots(o));
  if (e->TheKind == Kind::Product) return Mul(operands);
  return WithOperands(e, operands);
}

}  // namespace

namespace {

// Whether a term is above 0, or at least 0, wherever it has a value: numbers, exp and cosh,
// even powers, roots, abs, and sums and products of them.
bool IsAtLeastZero(const Expr& e, bool strictly) {
  switch (e->TheKind) {
    case Kind::Number:
      return strictly ? e->Value.Sign() > 0 : e->Value.Sign() >= 0;
    case Kind::Symbol:
      return false;
    case Kind::Function:
      if (e->Code == opExp || e->Code == opCosh) return true;
      return !strictly && (e->Code == opAbs || e->Code == opArcCos || e->Code == opArcCot);
    case Kind::Power: {
      const Expr& p = e->Operands[1];
      if (IsAtLeastZero(e->Operands[0], strictly)) return true;
      if (p->TheKind != Kind::Number || !p->Value.IsExact()) return false;
      const Rational& q = p->Value.Fraction();
      // an even power, or a root: never below 0 where it has a value
      const bool even = q.get_den() == 1 && mpz_even_p(q.get_num().get_mpz_t()) != 0;
      return !strictly && (even || q.get_den() != 1);
    }
    case Kind::Product:
      if (e->Value.Sign() <= 0) return false;
      for (const Expr& f : e->Operands)
        if (!IsAtLeastZero(f, strictly)) return false;
      return true;
    case Kind::Sum: {
      if (e->Value.Sign() < 0 || (strictly && e->Value.Sign() == 0)) return false;
      for (std::size_t i = 0; i < e->Operands.size(); ++i)
        if (e->Coefficients[i].Sign() <= 0 || !IsAtLeastZero(e->Operands[i], false)) return false;
      return true;
    }
  }
  return false;
}

// ln(u) for the canonical u: ln(abs(u)) as ln(u) for u > 0, ln(u^r) as r*ln(u) for a root;
// none where neither applies.
std::optional<Expr> ShorterLn(const Expr& u) {
  if (u->TheKind == Kind::Function && u->Code == opAbs && IsAtLeastZero(u->Operands[0], true))
    return Fn(opLn, u->Operands[0]);
  if (u->TheKind == Kind::Power && u->Operands[1]->TheKind == Kind::Number &&
      u->Operands[1]->Value.IsExact() && u->Operands[1]->Value.Fraction().get_den() != 1)
    return Mul({u->Operands[1], Fn(opLn, u->Operands[0])});
  return std::nullopt;
}

// exp(p) for a product p with a factor ln(c) of a number c > 0: c^(p/ln(c)).
std::optional<Expr> PowerOfNumber(const Expr& p) {
  if (p->TheKind != Kind::Product) return std::nullopt;
  for (std::size_t i = 0; i < p->Operands.size(); ++i) {
    const Expr& f = p->Operands[i];
    if (f->TheKind != Kind::Function || f->Code != opLn ||
        f->Operands[0]->TheKind != Kind::Number || !f->Operands[0]->Value.IsExact() ||
        f->Operands[0]->Value.Sign() <= 0)
      continue;
    std::vector<Expr> rest{Num(p->Value)};
    for (std::size_t j = 0; j < p->Operands.size(); ++j)
      if (j != i) rest.push_back(p->Operands[j]);
    return Pow(f->Operands[0], Mul(rest));
  }
  // exp(c*ln(v)) as v^c, where ln(v) has a value and so v > 0
  if (p->Operands.size() == 1 && p->Value.IsExact() && p->Operands[0]->TheKind == Kind::Function &&
      p->Operands[0]->Code == opLn)
    return Pow(p->Operands[0]->Operands[0], Num(p->Value));
  return std::nullopt;
}

// A product's exponentials and their whole powers as one: exp(a)*exp(b)^2 as exp(a+2*b).
std::optional<Expr> JoinedExponentials(const Number& coefficient,
                                       const std::vector<Expr>& operands) {
  std::vector<Expr> exponents;
  std::vector<Expr> factors{Num(coefficient)};
  bool powers = false;
  for (const Expr& f : operands) {
    if (f->TheKind == Kind::Function && f->Code == opExp) {
      exponents.push_back(f->Operands[0]);
    } else if (f->TheKind == Kind::Power && f->Operands[0]->TheKind == Kind::Function &&
               f->Operands[0]->Code == opExp && f->Operands[1]->TheKind == Kind::Number) {
      exponents.push_back(Mul({f->Operands[1], f->Operands[0]->Operands[0]}));
      powers = true;
    } else {
      factors.push_back(f);
    }
  }
  if (exponents.size() < 2 && !powers) return std::nullopt;
  factors.push_back(Fn(opExp, Add(exponents)));
  return Mul(factors);
}

Expr LogsAndExps(const Expr& e);

// A sum with c*sinh(u)*R+c*cosh(u)*R as c*exp(u)*R and c*cosh(u)*R-c*sinh(u)*R as
// c*exp(-u)*R.
Expr HyperbolicPairsJoined(const Expr& e, std::vector<Expr> terms) {
  std::vector<Number> coefficients = e->Coefficients;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (coefficients[i].IsZero()) continue;
    const std::vector<Expr> factors =
        terms[i]->TheKind == Kind::Product ? terms[i]->Operands : std::vector<Expr>{terms[i]};
    for (const Expr& f : factors) {
      if (f->TheKind != Kind::Function || f->Code != opSinh) continue;
      const Expr partner = Substituted(terms[i], f, Fn(opCosh, f->Operands[0]));
      const auto j = static_cast<std::size_t>(
          std::find_if(terms.begin(), terms.end(),
                       [&](const Expr& t) { return Compare(t, partner) == 0; }) -
          terms.begin());
      if (j == terms.size() || j == i || coefficients[j].IsZero()) continue;
      const bool same = (coefficients[i] + -coefficients[j]).IsZero();
      if (!same && !(coefficients[i] + coefficients[j]).IsZero()) continue;
      const Expr u = same ? f->Operands[0] : Mul({Num(Number(-1)), f->Operands[0]});
      terms[i] = LogsAndExps(Substituted(terms[i], f, Fn(opExp, u)));
      coefficients[i] = coefficients[j];
      coefficients[j] = Number(0);
      break;
    }
  }
  std::vector<Expr> sum{Num(e->Value)};
  for (std::size_t i = 0; i < terms.size(); ++i)
    sum.push_back(Mul({Num(coefficients[i]), terms[i]}));
  return Add(sum);
}

// Logarithms and exponentials in their shortest forms, throughout, each with the value of the
// term wherever it has one: ln(abs(u)) as ln(u) for u > 0; ln(u^r) as r*ln(u) for a root;
// exp(ln(c)*u) as c^u; exp(a)*exp(b) as exp(a+b); c*sinh(u)+c*cosh(u) as c*exp(u) and
// c*cosh(u)-c*sinh(u) as c*exp(-u).
Expr LogsAndExps(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(LogsAndExps(o));
  std::optional<Expr> shorter;
  if (e->TheKind == Kind::Function && e->Code == opLn) shorter = ShorterLn(operands[0]);
  if (e->TheKind == Kind::Function && e->Code == opExp) shorter = PowerOfNumber(operands[0]);
  if (e->TheKind == Kind::Product) shorter = JoinedExponentials(e->Value, operands);
  // exp(u)^n alone as exp(n*u)
  if (e->TheKind == Kind::Power && operands[0]->TheKind == Kind::Function &&
      operands[0]->Code == opExp && operands[1]->TheKind == Kind::Number)
    shorter = Fn(opExp, Mul({operands[1], operands[0]->Operands[0]}));
  if (shorter) return *shorter;
  if (e->TheKind == Kind::Sum) return HyperbolicPairsJoined(e, operands);
  return WithOperands(e, operands);
}

// a+b*f(u)^2 as one power where the Pythagorean identity of sin, cos, sinh or cosh makes it
// one, throughout: 1-sin(u)^2 as cos(u)^2, cosh(u)^2-1 as sinh(u)^2. The canonical form keeps
// those sums, which the forms of the higher levels write on purpose.
Expr PythagoreanSums(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(PythagoreanSums(o));
  if (e->TheKind != Kind::Sum) return WithOperands(e, operands);
  const Number& a = e->Value;
  if (operands.size() == 1 && a.IsExact() && !a.IsZero() && e->Coefficients[0].IsExact()) {
    const Expr& t = operands[0];
    const Number& b = e->Coefficients[0];
    if (t->TheKind == Kind::Power && t->Operands[1]->TheKind == Kind::Number &&
        t->Operands[1]->Value.Is(2) && t->Operands[0]->TheKind == Kind::Function) {
      const Expr& u = t->Operands[0]->Operands[0];
      const TOperation code = t->Operands[0]->Code;
      const bool opposite = (a + b).IsZero(), same = (a + -b).IsZero();
      const auto square = [&u](const Number& c, TOperation f) {
        return Mul({Num(c), Pow(Fn(f, u), Num(Number(2)))});
      };
      if (code == opSin && opposite) return square(a, opCos);
      if (code == opCos && opposite) return square(a, opSin);
      if (code == opCosh && opposite) return square(-a, opSinh);
      if (code == opSinh && same) return square(a, opCosh);
    }
  }
  std::vector<Expr> terms{Num(a)};
  for (std::size_t i = 0; i < operands.size(); ++i)
    terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
  return Add(terms);
}

// Products of sines and cosines as sums of them, throughout: sin(a)*cos(b) as
// (sin(a+b)+sin(a-b))/2 and the like, true for every a and b; sinh and cosh likewise.
// Factors of a product with a whole power up to kLargestWavePower count that many times;
// a product of more than kMostWaves such factors stays.
constexpr long kLargestWavePower = 4;
constexpr std::size_t kMostWaves = 6;

// The function of a factor that the sums take in, and how often; none for others.
const Term* WaveOf(const Expr& f, bool hyperbolic, long& times) {
  const bool power = f->TheKind == Kind::Power;
  const Expr& base = power ? f->Operands[0] : f;
  if (base->TheKind != Kind::Function) return nullptr;
  const TOperation code = base->Code;
  if (hyperbolic ? code != opSinh && code != opCosh : code != opSin && code != opCos)
    return nullptr;
  times = 1;
  if (power) {
    const Expr& p = f->Operands[1];
    if (p->TheKind != Kind::Number || !p->Value.IsWhole() || p->Value.Sign() <= 0 ||
        p->Value.Compare(Number(kLargestWavePower)) > 0)
      return nullptr;
    times = p->Value.Fraction().get_num().get_si();
  }
  return base.get();
}

// a*b for two waves: sin, cos (or sinh, cosh) of the sum and the difference.
Expr WaveProduct(const Expr& a, const Expr& b) {
  const Expr& u = a->Operands[0];
  const Expr& v = b->Operands[0];
  const Expr half = Num(Number(Rational(1, 2)));
  const Expr minusHalf = Num(Number(Rational(-1, 2)));
  const Expr sum = Add({u, v});
  const Expr difference = Add({u, Mul({Num(Number(-1)), v})});
  const bool hyperbolic = a->Code == opSinh || a->Code == opCosh;
  const TOperation s = hyperbolic ? opSinh : opSin;
  const TOperation c = hyperbolic ? opCosh : opCos;
  const bool aSine = a->Code == s;
  const bool bSine = b->Code == s;
  // sin(u)*sin(v) = (cos(u-v)-cos(u+v))/2, sinh(u)*sinh(v) = (cosh(u+v)-cosh(u-v))/2
  if (aSine && bSine)
    return hyperbolic ? Add({Mul({half, Fn(c, sum)}), Mul({minusHalf, Fn(c, difference)})})
                      : Add({Mul({half, Fn(c, difference)}), Mul({minusHalf, Fn(c, sum)})});
  // sin(u)*cos(v) = (sin(u+v)+sin(u-v))/2
  if (aSine) return Add({Mul({half, Fn(s, sum)}), Mul({half, Fn(s, difference)})});
  // cos(u)*sin(v) = (sin(u+v)-sin(u-v))/2
  if (bSine) return Add({Mul({half, Fn(s, sum)}), Mul({minusHalf, Fn(s, difference)})});
  // cos(u)*cos(v) = (cos(u+v)+cos(u-v))/2
  return Add({Mul({half, Fn(c, sum)}), Mul({half, Fn(c, difference)})});
}

// A sum of waves (or one wave, or a number) times one more wave, term by term.
Expr TimesWave(const Expr& waves, const Expr& wave) {
  if (waves->TheKind == Kind::Function) return WaveProduct(waves, wave);
  if (waves->TheKind != Kind::Sum) return Mul({waves, wave});
  std::vector<Expr> terms{Mul({Num(waves->Value), wave})};
  for (std::size_t i = 0; i < waves->Operands.size(); ++i) {
    const Expr& term = waves->Operands[i];
    // a term is a wave, or a number times one
    const Expr product = term->TheKind == Kind::Product && term->Operands.size() == 1
                             ? Mul({Num(term->Value), TimesWave(term->Operands[0], wave)})
                             : TimesWave(term, wave);
    terms.push_back(Mul({Num(waves->Coefficients[i]), product}));
  }
  return Add(terms);
}

// Whether a product somewhere in the term has two different waves as factors: only then can
// sums of waves be shorter.
bool HasWaveProducts(const Expr& e) {
  if (e->TheKind == Kind::Product)
    for (const bool hyperbolic : {false, true}) {
      const Term* first = nullptr;
      for (const Expr& f : e->Operands) {
        long times = 0;
        const Term* wave = WaveOf(f, hyperbolic, times);
        if (wave && first && wave != first) return true;
        if (wave && !first) first = wave;
      }
    }
  return std::any_of(e->Operands.begin(), e->Operands.end(),
                     [](const Expr& o) { return HasWaveProducts(o); });
}

Expr Linearized(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  bool changed = false;
  for (const Expr& o : e->Operands) {
    operands.push_back(Linearized(o));
    changed = changed || operands.back() != o;
  }
  bool merged = false;
  std::vector<Expr> factors{Num(e->Value)};
  for (const bool hyperbolic : {false, true}) {
    if (e->TheKind != Kind::Product) break;
    std::vector<Expr> waves;
    std::vector<Expr> others;
    for (const Expr& f : operands) {
      long times = 0;
      const Term* wave = WaveOf(f, hyperbolic, times);
      if (!wave) {
        others.push_back(f);
        continue;
      }
      const Expr& base = f->TheKind == Kind::Power ? f->Operands[0] : f;
      for (long i = 0; i < times; ++i) waves.push_back(base);
    }
    // one wave, or one power of one, stays
    if (waves.size() < 2 || waves.size() > kMostWaves || others.size() + 1 == operands.size())
      continue;
    Expr product = waves[0];
    for (std::size_t i = 1; i < waves.size(); ++i) product = TimesWave(product, waves[i]);
    factors.push_back(product);
    operands = others;
    merged = true;
  }
  if (!merged) return changed ? WithOperands(e, operands) : e;
  factors.insert(factors.end(), operands.begin(), operands.end());
  return Expand(Mul(factors));
}

// The same within the terms of sums only: 3*sin(x)^2*(sin(x)*sin(3*x)+cos(x)*cos(3*x)) as
// 3*sin(x)^2*cos(2*x).
Expr LinearizedTerms(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands)
    operands.push_back(e->TheKind == Kind::Sum ? Linearized(o) : LinearizedTerms(o));
  return WithOperands(e, operands);
}

// sin(u)^k*cos(u)^k as sin(2*u)^k/2^k and c*cos(u)^2-c*sin(u)^2 as c*cos(2*u), throughout:
// the double angles, true for every u.
Expr DoubleAngled(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(DoubleAngled(o));
  const auto power = [](const Expr& f, TOperation code, Expr& argument, Number& k) {
    const Expr& base = f->TheKind == Kind::Power ? f->Operands[0] : f;
    if (base->TheKind != Kind::Function || base->Code != code) return false;
    k = f->TheKind == Kind::Power ? f->Operands[1]->Value : Number(1);
    if (f->TheKind == Kind::Power &&
        (f->Operands[1]->TheKind != Kind::Number || !f->Operands[1]->Value.IsWhole()))
      return false;
    argument = base->Operands[0];
    return true;
  };
  if (e->TheKind == Kind::Product) {
    for (std::size_t i = 0; i < operands.size(); ++i)
      for (std::size_t j = 0; j < operands.size(); ++j) {
        Expr u, v;
        Number k, l;
        if (i == j || !power(operands[i], opSin, u, k) || !power(operands[j], opCos, v, l) ||
            k.Compare(l) != 0 || Compare(u, v) != 0)
          continue;
        std::vector<Expr> factors{Num(e->Value), Pow(Fn(opSin, Mul({Num(Number(2)), u})), Num(k)),
                                  Pow(Num(Number(2)), Num(-k))};
        for (std::size_t m = 0; m < operands.size(); ++m)
          if (m != i && m != j) factors.push_back(operands[m]);
        return Mul(factors);
      }
    return Mul([&] {
      std::vector<Expr> all{Num(e->Value)};
      all.insert(all.end(), operands.begin(), operands.end());
      return all;
    }());
  }
  if (e->TheKind == Kind::Sum) {
    std::vector<Expr> terms{Num(e->Value)};
    std::vector<bool> used(operands.size(), false);
    for (std::size_t i = 0; i < operands.size(); ++i)
      for (std::size_t j = 0; j < operands.size() && !used[i]; ++j) {
        Expr u, v;
        Number k, l;
        if (i == j || used[j] || !power(operands[i], opCos, u, k) || !k.Is(2) ||
            !power(operands[j], opSin, v, l) || !l.Is(2) || Compare(u, v) != 0 ||
            !(e->Coefficients[i] + e->Coefficients[j]).IsZero())
          continue;
        used[i] = used[j] = true;
        terms.push_back(Mul({Num(e->Coefficients[i]), Fn(opCos, Mul({Num(Number(2)), u}))}));
      }
    // c*cosh(u)^2+c*sinh(u)^2 as c*cosh(2*u)
    for (std::size_t i = 0; i < operands.size(); ++i)
      for (std::size_t j = 0; j < operands.size() && !used[i]; ++j) {
        Expr u, v;
        Number k, l;
        if (i == j || used[j] || !power(operands[i], opCosh, u, k) || !k.Is(2) ||
            !power(operands[j], opSinh, v, l) || !l.Is(2) || Compare(u, v) != 0 ||
            e->Coefficients[i].Compare(e->Coefficients[j]) != 0)
          continue;
        used[i] = used[j] = true;
        terms.push_back(Mul({Num(e->Coefficients[i]), Fn(opCosh, Mul({Num(Number(2)), u}))}));
      }
    for (std::size_t i = 0; i < operands.size(); ++i)
      if (!used[i]) terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
    return Add(terms);
  }
  return WithOperands(e, operands);
}

// The squares of sin, cos, sinh and cosh in the terms of sums as double angles, the sums
// multiplied out: 54*sinh(u)^2-162*cosh(u)^2 as -54*cosh(2*u)-108. A square alone stays.
Expr SquaresLinearized(const Expr& e, bool inSum = false) {
  if (e->Operands.empty()) return e;
  if (inSum && e->TheKind == Kind::Power && e->Operands[0]->TheKind == Kind::Function &&
      e->Operands[1]->TheKind == Kind::Number && e->Operands[1]->Value.IsExact() &&
      e->Operands[1]->Value.Is(2)) {
    const Expr& f = e->Operands[0];
    const Expr twice = Mul({Num(Number(2)), f->Operands[0]});
    const Number half(Rational(1, 2));
    if (f->Code == opSin) return Add({Num(half), Mul({Num(-half), Fn(opCos, twice)})});
    if (f->Code == opCos) return Add({Num(half), Mul({Num(half), Fn(opCos, twice)})});
    if (f->Code == opSinh) return Add({Num(-half), Mul({Num(half), Fn(opCosh, twice)})});
    if (f->Code == opCosh) return Add({Num(half), Mul({Num(half), Fn(opCosh, twice)})});
  }
  const bool sum = e->TheKind == Kind::Sum;
  // the factors of a term of a sum count as in the sum
  const bool inside = sum || (inSum && e->TheKind == Kind::Product);
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  bool changed = false;
  for (const Expr& o : e->Operands) {
    operands.push_back(SquaresLinearized(o, inside));
    changed = changed || operands.back() != o;
  }
  if (!changed) return e;
  if (!sum) {
    if (e->TheKind != Kind::Product) return WithOperands(e, operands);
    operands.push_back(Num(e->Value));
    return Mul(operands);
  }
  std::vector<Expr> terms{Num(e->Value)};
  for (std::size_t i = 0; i < operands.size(); ++i)
    terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
  return Expand(Add(terms));
}

// log(u) as ln(u)/ln(10) and ld(u) as ln(u)/ln(2), throughout: the factors ln(10) of a
// derivative then cancel.
Expr NaturalLogs(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(NaturalLogs(o));
  // of a number it stays: ld(2) is a number of its own, whose float neighbours ld(2.0000001)
  // would not cancel the same way
  if (e->TheKind == Kind::Function && (e->Code == opLog || e->Code == opLd) &&
      operands[0]->TheKind != Kind::Number)
    return Mul({Fn(opLn, operands[0]),
                Pow(Fn(opLn, Num(Number(e->Code == opLog ? 10 : 2))), Num(Number(-1)))});
  if (e->TheKind == Kind::Sum) {
    std::vector<Expr> terms{Num(e->Value)};
    for (std::size_t i = 0; i < operands.size(); ++i)
      terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
    return Add(terms);
  }
  if (e->TheKind == Kind::Product) {
    operands.push_back(Num(e->Value));
    return Mul(operands);
  }
  return WithOperands(e, operands);
}

// tan, cot, tanh and coth as quotients, and where exponentials is set exp of a negative term
// as a reciprocal: the kernels of the zero test, which knows no identity between functions.
Expr AsQuotients(const Expr& e, bool exponentials = true) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(AsQuotients(o, exponentials));
  if (e->TheKind != Kind::Function) {
    if (e->TheKind == Kind::Product) {
      operands.push_back(Num(e->Value));
      return Mul(operands);
    }
    if (e->TheKind == Kind::Sum) {
      std::vector<Expr> terms{Num(e->Value)};
      for (std::size_t i = 0; i < operands.size(); ++i)
        terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
      return Add(terms);
    }
    return WithOperands(e, operands);
  }
  const Expr& u = operands[0];
  const auto over = [&u](TOperation top, TOperation bottom) {
    return Mul({Fn(top, u), Pow(Fn(bottom, u), Num(Number(-1)))});
  };
  if (e->Code == opTan) return over(opSin, opCos);
  if (e->Code == opCot) return over(opCos, opSin);
  if (e->Code == opTanh) return over(opSinh, opCosh);
  if (e->Code == opCoth) return over(opCosh, opSinh);
  if (exponentials && e->Code == opExp &&
      (u->TheKind == Kind::Product || u->TheKind == Kind::Number) && u->Value.Sign() < 0)
    return Pow(Fn(opExp, Mul({Num(Number(-1)), u})), Num(Number(-1)));
  return WithOperands(e, operands);
}

// The other way round: in each product sin(u)^k/cos(u)^k as tan(u)^k, cos(u)^k/sin(u)^k as
// cot(u)^k, and the same of sinh and cosh, for the larger k that both powers hold. After
// AsQuotients, the terms with cot(u) and those with cos(u)/sin(u) have met in one sum.
Expr Tangents(const Expr& e) {
  if (e->Operands.empty()) return e;
  std::vector<Expr> operands;
  operands.reserve(e->Operands.size());
  for (const Expr& o : e->Operands) operands.push_back(Tangents(o));
  if (e->TheKind != Kind::Product) {
    if (e->TheKind == Kind::Sum) {
      std::vector<Expr> terms{Num(e->Value)};
      for (std::size_t i = 0; i < operands.size(); ++i)
        terms.push_back(Mul({Num(e->Coefficients[i]), operands[i]}));
      return Add(terms);
    }
    return WithOperands(e, operands);
  }
  // a factor f(u)^k with a whole k: f's code, its argument and k
  const auto power = [](const Expr& f, TOperation& code, Expr& argument, long& k) {
    const Expr& base = f->TheKind == Kind::Power ? f->Operands[0] : f;
    if (base->TheKind != Kind::Function) return false;
    k = 1;
    if (f->TheKind == Kind::Power) {
      const Expr& exponent = f->Operands[1];
      if (exponent->TheKind != Kind::Number || !exponent->Value.IsWhole() ||
          !exponent->Value.Fraction().get_num().fits_slong_p())
        return false;
      k = exponent->Value.Fraction().get_num().get_si();
    }
    code = base->Code;
    argument = base->Operands[0];
    return true;
  };
  static constexpr struct {
    TOperation Top, Bottom, Quotient;
  } kPairs[] = {{opSin, opCos, opTan},
                {opCos, opSin, opCot},
                {opSinh, opCosh, opTanh},
                {opCosh, opSinh, opCoth}};
  std::vector<Expr> factors{Num(e->Value)};
  std::vector<bool> used(operands.size(), false);
  for (std::size_t i = 0; i < operands.size(); ++i) {
    TOperation top = opNone;
    Expr u;
    long k = 0;
    if (used[i] || !power(operands[i], top, u, k) || k <= 0) continue;
    for (std::size_t j = 0; j < operands.size() && !used[i]; ++j) {
      TOperation bottom = opNone;
      Expr v;
      long l = 0;
      if (i == j || used[j] || !power(operands[j], bottom, v, l) || l >= 0 || Compare(u, v) != 0)
        continue;
      for (const auto& pair : kPairs) {
        if (pair.Top != top || pair.Bottom != bottom) continue;
        const long both = std::min(k, -l);
        used[i] = used[j] = true;
        factors.push_back(Pow(Fn(pair.Quotient, u), Num(Number(both))));
        factors.push_back(Pow(Fn(top, u), Num(Number(k - both))));
        factors.push_back(Pow(Fn(bottom, u), Num(Number(l + both))));
        break;
      }
    }
  }
  for (std::size_t i = 0; i < operands.size(); ++i)
    if (!used[i]) factors.push_back(operands[i]);
  return Mul(factors);
}

// The largest term tried as an identity: the zero test multiplies out.
constexpr std::size_t kLargestIdentity = 120;

// Whether a term vanishes as a rational function of sin, cos, sinh, cosh and the rest, with
// sin^2 as 1-cos^2 and sinh^2 as cosh^2-1.
bool Vanishes(const Expr& e) {
  try {
    const Expr reduced = ZeroTested(SquaresReduced(AsQuotients(e)));
    return reduced->TheKind == Kind::Number && reduced->Value.IsZero();
  } catch (const EKoAlgebra&) {
    return false;
  }
}

// Whether the tree reads the variable e at its own value, Euler's number, other than as the
// variable of the result.
bool ReadsEuler(const TKoOperatorNode* node, const std::string& mainVar) {
  constexpr long double kEuler = 2.71828182845904523536028747135266250L;
  if (node->Operation == opVariable)
    return node->Variable && EqualsUpperCase(node->Variable->Name, "E") &&
           !EqualsUpperCase(mainVar, "E") && node->Variable->GetAsExtended() == kEuler;
  for (const TKoOperatorNode* child : node->Children)
    if (ReadsEuler(child, mainVar)) return true;
  return false;
}

// e as exp(1), so that e^u is exp(u) and ln(e) is 1.
Expr WithEuler(const Expr& e, const TKoOperatorNode* node, const std::string& mainVar) {
  if (!ReadsEuler(node, mainVar)) return e;
  return Substituted(e, Sym("e"), Fn(opExp, Num(Number(1))));
}

}  // namespace

namespace {

// The sizes of the terms given the forms that rarely shorten a larger one and take long for
// it: those over common denominators, and the cheaper ones.
constexpr std::size_t kLargestForDenominators = 150;
constexpr std::size_t kLargestForAllForms = 200;

// The forms of a canonical term that may print shorter, each formed on demand, and the
// terms that several of them start from formed once.
class TForms {
 public:
  TForms(const Expr& canonical, const std::string& mainVar, Use use)
      : Canonical(canonical),
        MainVar(mainVar),
        Expansion(canonical, use),
        Waves(HasWaveProducts(canonical)),
        // the forms that rarely shorten a large term, and then take long for it
        Small(canonical->Size <= kLargestForAllForms),
        Smaller(canonical->Size <= kLargestForDenominators) {}

  static constexpr std::size_t kReadingForms = 18;
  static constexpr std::size_t kLevelForms = 5;

  // The forms for reading; where one does not apply, the canonical term itself.
  Expr Reading(std::size_t i) {
    switch (i) {
      case 0:
        return Expansion();
      case 1:
        return Collected(Canonical);
      case 2:
        return Together();
      case 3:
        return CollectedExpansion();
      case 4:
        return algebra::Together(Expansion(), MainVar);
      case 5:
        return DoubleAngled(Canonical);
      case 6:
        return DoubleAngled(Expansion());
      case 7:
        return Waves ? Linearized(Canonical) : Canonical;
      case 8:
        return HasWaveProducts(CollectedExpansion()) ? LinearizedTerms(CollectedExpansion())
                                                     : Canonical;
      case 9:
        return Waves ? LinearizedTerms(Canonical) : Canonical;
      case 10:
        return LogsAndExps(Expansion());
      // cot(u) beside cos(u)/sin(u): the two meet as quotients
      case 11:
        return Small ? Tangents(Quotients()) : Canonical;
      case 12:
        if (!Small) return Canonical;
        return Tangents(Compare(Quotients(), Canonical) != 0
                            ? algebra::Together(Quotients(), MainVar)
                            : Together());
      case 13:
        return Small ? TogetherThroughout(Canonical, MainVar) : Canonical;
      case 14:
        return Smaller ? SquaresLinearized(Together()) : Canonical;
      case 15:
        return CollectedThroughout(Canonical);
      case 16:
        return Small ? Naturals() : Canonical;
      default:
        return Smaller && Compare(Naturals(), Canonical) != 0
                   ? algebra::Together(Naturals(), MainVar)
                   : Canonical;
    }
  }

  // For the levels, the forms that keep them small: multiplied out, over common denominators,
  // each kind of term apart.
  Expr Level(std::size_t i) {
    switch (i) {
      case 0:
        return Expansion();
      case 1:
        return Collected(Canonical);
      case 2:
        return Collected(Expansion());
      case 3:
        return algebra::Together(Expansion(), MainVar, false);
      default:
        return TogetherByKind(Expansion(), MainVar, false);
    }
  }

 private:
  const Expr& Once(Expr& slot, const std::function<Expr()>& form) {
    if (!slot) slot = form();
    return slot;
  }
  const Expr& CollectedExpansion() {
    return Once(CollectedExpanded, [this] { return Collected(Expansion()); });
  }
  const Expr& Together() {
    return Once(Joined, [this] { return algebra::Together(Canonical, MainVar); });
  }
  // tan, cot, tanh and coth as quotients
  const Expr& Quotients() {
    return Once(AsQuotient, [this] { return AsQuotients(Canonical, false); });
  }
  const Expr& Naturals() {
    return Once(Natural, [this] { return NaturalLogs(Canonical); });
  }

  const Expr& Canonical;
  const std::string& MainVar;
  TExpansion Expansion;
  const bool Waves, Small, Smaller;
  Expr CollectedExpanded, Joined, AsQuotient, Natural;
};

// The shortest text of a canonical term among its forms, the first of equal length.
std::string ShortestText(const Expr& canonical, const std::string& mainVar, Use use) {
  // identities between functions: 0 and 1
  if (use != Use::Levels && canonical->TheKind != Kind::Number &&
      canonical->Size <= kLargestIdentity) {
    if (Vanishes(canonical)) return std::string("0");
    if (Vanishes(Add({canonical, Num(Number(-1))}))) return std::string("1");
  }
  std::string text = ReadingText(canonical, mainVar, use);
  TForms forms(canonical, mainVar, use);
  const bool levels = use == Use::Levels;
  for (std::size_t i = 0; i < (levels ? TForms::kLevelForms : TForms::kReadingForms); ++i) {
    try {
      const std::string other =
          ReadingText(levels ? forms.Level(i) : forms.Reading(i), mainVar, use);
      if (other.size() < text.size()) text = other;
    } catch (const EKoAlgebra&) {
      // Too large to multiply out: that form is left out.
    }
  }
  return text;
}

}  // namespace

std::optional<std::string> CanonicalText(const TKoOperatorNode* node, const std::string& mainVar,
                                         Use use) {
  try {
    // A level that vanishes shows as 0 over its common denominator among the forms.
    Expr canonical;
    if (use == Use::Levels) {
      canonical = SquaresReduced(FromTree(node, Numbers::DecimalsExact));
    } else {
      const bool exact = use == Use::AntiderivativeOfWhole;
      canonical = WithEuler(FromTree(node, exact ? Numbers::DecimalsExact : Numbers::WholeExact),
                            node, mainVar);
      if (use != Use::Reading) canonical = ExactRoots(canonical);
      // shorter everywhere: the other forms start from it
      canonical = ZeroTested(PythagoreanSums(LogsAndExps(canonical)));
    }
    return ShortestText(canonical, mainVar, use);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> CanonicalDerivativeText(const TKoOperatorNode* source,
                                                   const std::string& mainVar, std::int32_t level,
                                                   std::size_t sourceLength) {
  if (level < 1 || level > kLargestCanonicalLevel) return std::nullopt;
  try {
    Expr e = ZeroTested(WithEuler(FromTree(source), source, mainVar));
    if (ToText(e, mainVar).size() >= sourceLength) return std::nullopt;
    const std::string key = Sym(mainVar)->Key;
    for (std::int32_t current = 1; current <= level; ++current) {
      e = Derivative(e, key);
      // A level free of the variable ends the sequence: every later one is 0.
      if (current < level && !DependsOn(e, key)) return std::string("0");
    }
    return ShortestText(ZeroTested(PythagoreanSums(LogsAndExps(e))), mainVar, Use::Reading);
  } catch (const Exception&) {
    return std::nullopt;
  }
}

}  // namespace algebra
