// Fuzz target: the term pipeline. A term is parsed, printed and read back (the same text
// and the same values), simplified (the same values where both are defined and the
// comparison is meaningful), put in the canonical form (read back, the same values, its own
// canonical form), derived at levels 1 to 3, integrated (the antiderivative's slope meets the
// integrand wherever both are defined) and evaluated. No
// exception but the node limit's may leave a function object, and no node stays alive.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "Algebra/Algebra.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathIntg/MathIntg.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "SymbolicHelpers.hpp"
#include "app/app.hpp"

namespace {

constexpr long double kPoints[] = {-1.75L, 0.5L, 2.25L};

void Check(bool condition) {
  if (!condition) std::abort();
}

// A term in x, parsed as the driver parses it.
using Term = symtest::Source;

bool ValueAt(TKoMathTreeFunction& f, long double x, long double& value) {
  if (f.IndexOfVar("x") >= 0) f.SetVarValue("x", x);
  f.Calculate();
  value = f.Value;
  return f.GetErrorText().empty();
}

bool Same(long double a, long double b) {
  return std::memcmp(&a, &b, 10) == 0 || (std::isnan(a) && std::isnan(b));
}

// Numbers of more than 17 digits are printed rounded, so the text read back may differ
// in value; whole numbers below 100 keep the simplifier's rearranging exact enough.
bool LongNumbers(const std::string& text) {
  int digits = 0;
  for (const char c : text) {
    digits = std::isdigit(static_cast<unsigned char>(c)) ? digits + 1 : (c == '.' ? digits : 0);
    if (digits > 17) return true;
  }
  return false;
}

// Whether every node of the tree passes the test.
template <typename Test>
bool Every(const TKoOperatorNode* node, const Test& test) {
  if (!test(node)) return false;
  for (std::int32_t i = 0; i < node->ChildCount(); ++i)
    if (!Every(node->Child(i), test)) return false;
  return true;
}

std::int32_t NodeCount(const TKoOperatorNode* node) {
  std::int32_t count = 0;
  Every(node, [&count](const TKoOperatorNode*) { return ++count > 0; });
  return count;
}

// A printed tree reads back; checked where the copy fits well within the live-node limit
// (reading a text holds its tokens and its tree at once).
void ReadsBack(const TKoMathTreeFunction& f) {
  const std::string printed = f.FunctionString();
  const bool fits = TKoOperatorNode::GetInstanceCount() + 3 * NodeCount(f.GetTree()) <
                    TKoOperatorNode::GetMaxInstances();
  Check(!fits || Term(printed).F.GetTree() != nullptr);
}

// rnd gives another value at every evaluation.
bool Repeatable(const TKoOperatorNode* node) {
  return Every(node, [](const TKoOperatorNode* n) { return n->Operation != opRnd; });
}

bool SmallWholeConstants(const TKoOperatorNode* node) {
  return Every(node, [](const TKoOperatorNode* n) {
    if (n->Operation != opConstant) return true;
    const long double v = n->LeafValue();
    return v == std::trunc(v) && std::fabs(v) <= 100;
  });
}

bool Multiplicative(const TKoOperatorNode* node) {
  return node->Operation == opProduct || node->Operation == opQuotient;
}

void AppendStructure(const TKoOperatorNode* node, bool flat, std::string& out);

// The factors above and below the line of products and quotients: a*(b/c) and a*b/c both
// have a and b above and c below. A divisor stays one factor: a/(b*c) keeps its brackets.
void CollectFactors(const TKoOperatorNode* node, std::string& above, std::string& below) {
  for (std::int32_t i = 0; i < node->ChildCount(); ++i) {
    const TKoOperatorNode* child = node->Child(i);
    if (node->Operation == opQuotient && i > 0) {
      AppendStructure(child, true, below);
      below += ",";
    } else if (Multiplicative(child)) {
      CollectFactors(child, above, below);
    } else {
      AppendStructure(child, true, above);
      above += ",";
    }
  }
}

// The tree as text of codes, constant bits and upper-case names. With flat, it is read as
// the printed text reads it: a sum in a sum and a power as the base of a power ((a^b)^c is
// a^b^c) are one chain, and products and quotients one line of factors.
void AppendStructure(const TKoOperatorNode* node, bool flat, std::string& out) {
  if (node->Operation == opConstant) {
    const long double v = node->LeafValue();
    unsigned char bytes[10] = {};
    std::memcpy(bytes, &v, sizeof bytes);
    for (const unsigned char b : bytes)
      out += "0123456789abcdef"[b >> 4] + std::string(1, "0123456789abcdef"[b & 15]);
    return;
  }
  if (node->Operation == opVariable) {
    for (const char c : node->Variable->Name)
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return;
  }
  if (flat && Multiplicative(node)) {
    std::string above, below;
    CollectFactors(node, above, below);
    out += "*(" + above + "/" + below + ")";
    return;
  }
  out += std::to_string(node->Operation) + "(";
  const auto appendChildren = [&](const TKoOperatorNode* n, const auto& self) -> void {
    for (std::int32_t i = 0; i < n->ChildCount(); ++i) {
      const TKoOperatorNode* child = n->Child(i);
      const bool chain = child->Operation == n->Operation &&
                         (n->Operation == opSum || (n->Operation == opPower && i == 0));
      if (flat && chain) {
        self(child, self);
      } else {
        AppendStructure(child, flat, out);
        out += ",";
      }
    }
  };
  appendChildren(node, appendChildren);
  out += ")";
}

std::string Structure(const TKoOperatorNode* node, bool flat) {
  std::string out;
  AppendStructure(node, flat, out);
  return out;
}

// The printed text reads back to the same text and, chains of sums and products aside,
// the same tree; where the tree is the same, to the same values bit for bit.
void ReadBack(Term& term, const std::string& text) {
  const std::string printed = term.F.FunctionString();
  ReadsBack(term.F);
  Term again(printed);
  if (again.F.GetTree() == nullptr) return;
  Check(again.F.FunctionString() == printed);
  if (LongNumbers(text) || !Repeatable(term.F.GetTree())) return;
  Check(Structure(term.F.GetTree(), true) == Structure(again.F.GetTree(), true));
  // Chains read back flat are computed in another order: values may differ in the last bits.
  if (Structure(term.F.GetTree(), false) != Structure(again.F.GetTree(), false)) return;
  for (const long double x : kPoints) {
    long double a = 0, b = 0;
    const bool definedA = ValueAt(term.F, x, a), definedB = ValueAt(again.F, x, b);
    Check(definedA == definedB);
    Check(!definedA || Same(a, b));
  }
}

void SimplifyKeepsValues(Term& term, const std::string& text) {
  Term simplified(text);
  if (!SimplifiedWithinLimit(simplified.F) || simplified.F.GetTree() == nullptr) return;
  ReadsBack(simplified.F);
  if (!SmallWholeConstants(term.F.GetTree()) || !Repeatable(term.F.GetTree())) return;
  for (const long double x : kPoints) {
    long double a = 0, b = 0;
    if (!ValueAt(term.F, x, a) || !ValueAt(simplified.F, x, b)) continue;
    if (!std::isfinite(a) || !std::isfinite(b) || std::fabs(a) > 1e6L) continue;
    Check(std::fabs(a - b) <= 1e-9L * (1 + std::fabs(a)));
  }
}

// Digits that a number's text may have and still read back to the value it was printed from.
bool ReadsBackExactly(const std::string& text) {
  int digits = 0;
  for (const char c : text) {
    digits = std::isdigit(static_cast<unsigned char>(c)) ? digits + 1 : 0;
    if (digits > 15) return false;
  }
  return text.find('E') == std::string::npos;
}

// The canonical form reads back, has the term's values where both are defined, and is its
// own canonical form.
void CanonicalKeepsValues(Term& term) {
  const std::optional<std::string> canonical = algebra::CanonicalText(term.F.GetTree(), "x");
  if (!canonical || canonical->size() > 2000) return;
  Term again(*canonical);
  Check(again.F.GetTree() != nullptr);
  if (ReadsBackExactly(*canonical))
    Check(algebra::CanonicalText(again.F.GetTree(), "x") == canonical);
  if (!SmallWholeConstants(term.F.GetTree())) return;
  for (const long double x : kPoints) {
    long double a = 0, b = 0;
    if (!ValueAt(term.F, x, a) || !ValueAt(again.F, x, b)) continue;
    if (!std::isfinite(a) || !std::isfinite(b) || std::fabs(a) > 1e6L) continue;
    Check(std::fabs(a - b) <= 1e-9L * (1 + std::fabs(a)));
  }
}

// Where the integrand is defined and smooth around x, the antiderivative's Richardson
// quotient meets it, unless the antiderivative's terms leave too few digits for the test.
constexpr long double kAntiderivativePoints[] = {-7.31L, -2.43L, -1.75L, -0.58L, 0.0071L,
                                                 0.31L,  0.5L,   1.29L,  2.25L,  4.61L};

void SlopeMeetsIntegrand(TKoMathTreeFunction& source, TKoMathTreeFunction& g) {
  for (const long double x : kAntiderivativePoints) {
    const long double h = 1e-4L * (1 + std::fabs(x));
    long double value = 0, below = 0, above = 0;
    if (!ValueAt(source, x, value) || !ValueAt(source, x - h, below) ||
        !ValueAt(source, x + h, above) || !std::isfinite(value) || std::fabs(value) > 1e8L ||
        std::fabs(below - value) > 0.01L * std::fabs(value) ||
        std::fabs(above - value) > 0.01L * std::fabs(value))
      continue;
    long double v[5] = {};
    bool defined = true;
    // the antiderivative reads the integrand's variables
    for (int i = 0; i < 5; ++i) {
      long double ignored = 0;
      ValueAt(source, x + (i - 2) * h / 2, ignored);
      g.Calculate();
      v[i] = g.Value;
      defined = defined && g.GetErrorText().empty() && std::isfinite(v[i]);
    }
    if (!defined) continue;
    const long double slope = (4 * (v[3] - v[1]) / h - (v[4] - v[0]) / (2 * h)) / 3;
    const long double size =
        std::fmax(std::fabs(v[0]), std::fmax(std::fabs(v[2]), std::fabs(v[4])));
    const long double noise = 1e-15L * size / h;
    if (noise > 1e-7L * std::fabs(value)) continue;
    Check(std::fabs(slope - value) <= 1e-6L * std::fabs(value) + 100 * noise + 1e-12L);
  }
}

// The derivative of the level of source, or with level 0 its antiderivative, into g;
// evaluated where it was formed.
void FormAndEvaluate(TKoMathTreeFunction& source, std::int32_t level) {
  TKoMathTreeFunction g;
  const TKoCalculusCreator& c =
      level > 0 ? FormDerivative(g, source, "x", level) : FormAntiderivative(g, source, "x");
  // an integrand said to have no elementary antiderivative gets none
  const bool none = level == 0 && source.GetTree() &&
                    integration::HasNoElementaryAntiderivative(source.GetTree(), "x");
  if (!c.ErrorText.empty() || g.GetTree() == nullptr) return;
  Check(!none);
  if (!SimplifiedWithinLimit(g)) return;
  ReadsBack(g);
  for (const long double x : kPoints) {
    long double value = 0;
    ValueAt(g, x, value);
  }
  if (level == 0 && Repeatable(source.GetTree())) SlopeMeetsIntegrand(source, g);
}

void TestTerm(const std::string& text) {
  const std::int32_t before = TKoOperatorNode::GetInstanceCount();
  {
    Term term(text);
    if (term.F.GetTree() == nullptr) {
      term.F.Calculate();
      Check(!term.F.GetErrorText().empty());
    } else {
      ReadBack(term, text);
      SimplifyKeepsValues(term, text);
      CanonicalKeepsValues(term);
      for (std::int32_t level = 1; level <= 3; ++level) FormAndEvaluate(term.F, level);
      Term integrand(text);
      if (SimplifiedWithinLimit(integrand.F)) FormAndEvaluate(integrand.F, 0);
    }
  }
  Check(TKoOperatorNode::GetInstanceCount() == before);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The canonical levels run their whole way on a smaller budget: as many paths, less time.
  SetCanonicalLevelWork(symtest::kFuzzCanonicalWork);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The pipeline gets the stack the program gives a run.
  RunOnLargeStack([&text] { TestTerm(text); });
  return 0;
}
