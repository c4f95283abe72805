#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <random>
#include <string>
#include <vector>

#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

std::int32_t LiveNodes() {
  return TKoOperatorNode::GetInstanceCount();
}

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

struct Failure {
  std::string className;
  std::string message;
  bool operator==(const Failure&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Failure& f) {
  return os << f.className << ": " << f.message;
}

template <class Call>
Failure FailureOf(Call call) {
  try {
    call();
  } catch (const Exception& e) {
    return {e.ClassName(), e.what()};
  }
  return {"none", ""};
}

// Operators as text and code, operands as text and name: "-#27 v=2 ^#26 v=2".
std::string TokenString(const TKoTokenList& tokens) {
  std::string s;
  for (const TKoToken& t : tokens) {
    if (!s.empty()) s += ' ';
    s += t.Text;
    if (!t.Node) continue;
    const bool operand = t.Text == "v" || t.Text == "f";
    s += operand ? "=" + t.Node->DisplayName() : "#" + std::to_string(t.Node->Operation);
  }
  return s;
}

std::string Tokens(const std::string& term, TKoOpNodeArray args = {}) {
  TKoVarDepot depot;
  TKoMathRealTokenizer tokenizer(&depot);
  TKoTokenList tokens = tokenizer.TokenizeWithArgs(term, std::move(args));
  std::string s = TokenString(tokens);
  FreeTokenNodes(tokens);
  return s;
}

// The tree as an S-expression: (+ a b c) is one sum node with three children.
std::string Sexpr(const TKoOperatorNode& node) {
  if (node.IsLeaf()) return node.DisplayName();
  std::string s = "(" + (node.Operation == opInfixMinus ? "M" : node.DisplayName());
  for (const TKoOperatorNode* child : node.Children) s += " " + Sexpr(*child);
  return s + ")";
}

std::string Tree(const std::string& term) {
  TKoVarDepot depot;
  return Sexpr(*ParseTerm(term, &depot));
}

Failure ParseFailure(const std::string& term) {
  TKoVarDepot depot;
  return FailureOf([&] { ParseTerm(term, &depot); });
}

struct Evaluation {
  long double value;
  std::string error;
};

Evaluation Evaluate(TKoOperatorNode& tree) {
  long double v = 0;
  tree.Calculate(&v);
  return {v, tree.ErrorText};
}

Evaluation Evaluate(const TKoNodePtr& tree) {
  return Evaluate(*tree);
}

// Restores the live-node limit however a test ends.
struct LimitGuard {
  ~LimitGuard() { TKoOperatorNode::SetMaxInstances(10000); }
};

// ---------------------------------------------------------------- tokenizer

TEST(Tokenizer, TokenClasses) {
  struct Case {
    const char* term;
    const char* tokens;
  };
  const Case cases[] = {
      {"-2^2", "-#27 v=2 ^#26 v=2"},
      {"3-2", "v=3 M#501 v=2"},
      {"2*-3", "v=2 *#24 M#501 v=3"},
      {"+2", "v=2"},
      {"+-2", "M#501 v=2"},
      {"( -3)", "( -#27 v=3 )"},
      {"(+2)", "( v=2 )"},
      {"2+", "v=2 +#22"},
      {"3 - - 2", "v=3 M#501 M#501 v=2"},
      {"2x", "v=2 v=x"},
      {"SIN(x)", "f=sin ( v=x )"},
      {"Sin(x)", "f=sin ( v=x )"},
      {"sinx", "v=sinx"},
      {"Int(a1b2)!", "f=trunc ( v=a1b2 ) !#200"},
      {"1e-3/2.5E+2", "v=0.001 /#25 v=250"},
      {".5*7.", "v=0.5 *#24 v=7"},
      {"1e2x", "v=100 v=x"},
      {"x\t*\ty ", "v=x *#24 v=y"},
      {"{x}", "{x}"},
      {"{-1}+{0", "{-1} +#22 {0"},
  };
  for (const Case& c : cases) {
    const std::int32_t start = LiveNodes();
    EXPECT_EQ(Tokens(c.term), c.tokens) << c.term;
    EXPECT_EQ(LiveNodes(), start) << c.term;
  }
}

TEST(Tokenizer, Failures) {
  struct Case {
    const char* term;
    Failure failure;
    std::int32_t errorPos;
  };
  const Case cases[] = {
      {"2e", {"EBadValue", "Numerischer Wert wurde erwartet: \"2e\""}, 0},
      {"  x+2e5.1 ", {"EBadValue", "Numerischer Wert wurde erwartet: \"x+2e5.1\""}, 0},
      {"1.2.3", {"EBadValue", "Numerischer Wert wurde erwartet: \"1.2.3\""}, 0},
      {"1e+", {"EBadValue", "Numerischer Wert wurde erwartet: \"1e+\""}, 0},
      {"1e2e", {"EBadValue", "Numerischer Wert wurde erwartet: \"1e2e\""}, 0},
      {"a*.", {"EBadValue", "Numerischer Wert wurde erwartet: \"a*.\""}, 0},
      {"3#", {"EBadToken", "Illegales Zeichen: #"}, 2},
      {" 3 + #", {"EBadToken", "Illegales Zeichen: #"}, 5},
      {"2,5", {"EBadToken", "Illegales Zeichen: ,"}, 2},
      {"a_b", {"EBadToken", "Illegales Zeichen: _"}, 2},
      {"x\344", {"EBadToken", "Illegales Zeichen: \344"}, 2},
      {"1}", {"EBadToken", "Illegales Zeichen: }"}, 2},
      {"+", {"ESyntaxError", "Plusoperator als letztes Zeichen nicht gestattet."}, 1},
      {"(+ ", {"ESyntaxError", "Plusoperator als letztes Zeichen nicht gestattet."}, 2},
      {"{0}", {"ESyntaxError", "Kein Argument f\374r Platzhalter {0}"}, 0},
      {"x*{19}", {"ESyntaxError", "Kein Argument f\374r Platzhalter {19}"}, 0},
  };
  for (const Case& c : cases) {
    const std::int32_t start = LiveNodes();
    TKoVarDepot depot;
    TKoMathRealTokenizer tokenizer(&depot);
    EXPECT_EQ(FailureOf([&] { tokenizer.Tokenize(c.term); }), c.failure) << c.term;
    EXPECT_EQ(tokenizer.ErrorPos, c.errorPos) << c.term;
    EXPECT_EQ(LiveNodes(), start) << c.term;
  }
}

// What a German keyboard or a pasted document gives reads as the ASCII sign it stands for.
TEST(Tokenizer, TypedCharacters) {
  struct Case {
    const char* term;
    const char* tokens;
  };
  const Case cases[] = {
      {"x\u00B2", "v=x ^#26 v=2"},
      {"x\u00B3+1", "v=x ^#26 v=3 +#22 v=1"},
      {"3\u00B74", "v=3 *#24 v=4"},
      {"2\u00D73", "v=2 *#24 v=3"},
      {"2\u22C53", "v=2 *#24 v=3"},
      {"6\u00F74", "v=6 /#25 v=4"},
      {"\u22121", "-#27 v=1"},
      {"2\u22121", "v=2 M#501 v=1"},
      {"(\u2212x)", "( -#27 v=x )"},
      {"2*\u03C0", "v=2 *#24 v=Pi"},
      {"a\u03C0", "v=a v=Pi"},
      {"\u221A2", "f=sqrt v=2"},
      {"\u221A(x\u00B2)", "f=sqrt ( v=x ^#26 v=2 )"},
  };
  for (const Case& c : cases) {
    const std::int32_t start = LiveNodes();
    EXPECT_EQ(Tokens(c.term), c.tokens) << c.term;
    EXPECT_EQ(LiveNodes(), start) << c.term;
  }
}

// Any other character beyond ASCII is named whole; a byte that begins no character alone.
TEST(Tokenizer, OtherCharactersAreNamedWhole) {
  struct Case {
    const char* term;
    const char* named;
    std::int32_t errorPos;
  };
  const Case cases[] = {
      {"x+\u00E9", "\u00E9", 3}, {"1\u2203", "\u2203", 2}, {"\U0001F600", "\U0001F600", 1},
      {"x\u00B9", "\u00B9", 2},  {"2\xC2", "\xC2", 2},     {"\xE2\x88x", "\xE2", 1},
      {"\xC0\x80", "\xC0", 1},
  };
  for (const Case& c : cases) {
    TKoVarDepot depot;
    TKoMathRealTokenizer tokenizer(&depot);
    const Failure expected{"EBadToken", std::string("Illegales Zeichen: ") + c.named};
    EXPECT_EQ(FailureOf([&] { tokenizer.Tokenize(c.term); }), expected) << c.term;
    EXPECT_EQ(tokenizer.ErrorPos, c.errorPos) << c.term;
  }
}

TEST(Tokenizer, PlaceholdersTakeCopiesAndConsumeTheArguments) {
  const std::int32_t start = LiveNodes();
  TKoVarDepot depot;
  TKoOpNodeArray args;
  args[0] = TKoOperatorNode::CreateVariable(dtExtended, "x", &depot);
  args[1] = TKoOperatorNode::CreateConstant(2.5L);
  const TKoOperatorNode* arg0 = args[0].get();
  TKoMathRealTokenizer tokenizer(&depot);
  TKoTokenList tokens = tokenizer.TokenizeWithArgs("{0}*{1}", std::move(args));
  EXPECT_EQ(TokenString(tokens), "v=x *#24 v=2.5");
  EXPECT_NE(tokens[0].Node, arg0);
  EXPECT_EQ(tokens[0].Node->VarDepot, &depot);
  EXPECT_EQ(LiveNodes(), start + 3);  // the arguments are gone, their copies remain
  FreeTokenNodes(tokens);

  // Only {1} has an argument this time.
  args = TKoOpNodeArray();
  args[1] = TKoOperatorNode::CreateConstant(1);
  EXPECT_EQ(FailureOf([&] { tokenizer.TokenizeWithArgs("{1}+{0}", std::move(args)); }),
            (Failure{"ESyntaxError", "Kein Argument f\374r Platzhalter {0}"}));
  EXPECT_EQ(LiveNodes(), start);
}

// ---------------------------------------------------------------- tree builder

TEST(TreeBuilder, Trees) {
  struct Case {
    const char* term;
    const char* tree;
  };
  const Case cases[] = {
      {"a+b+c", "(+ a b c)"},
      {"a*b/c", "(/ (* a b) c)"},
      {"a*b/c*d", "(* (/ (* a b) c) d)"},
      {"a*b*c/d/e", "(/ (* a b c) d e)"},
      {"-2^2", "(- (^ 2 2))"},
      {"-2+3", "(+ (- 2) 3)"},
      {"-a*b", "(- (* a b))"},
      {"2^3!", "(^ 2 (! 3))"},
      {"3!^2", "(^ (! 3) 2)"},
      {"3!!", "(! (! 3))"},
      {"2^3^2", "(^ 2 3 2)"},
      {"a-b+c", "(+ (+ a (- b)) c)"},
      {"a-b-c", "(+ a (- b) (- c))"},
      {"a+b-c", "(+ (+ a b) (- c))"},
      {"a-(b-c)", "(+ a (- (+ b (- c))))"},
      {"sin x^2", "(^ (sin x) 2)"},
      {"sin 2", "(sin 2)"},
      {"sin(-x)", "(sin (- x))"},
      {"Int(x)*ln(x)", "(* (trunc x) (ln x))"},
      {"2*(-3)", "(* 2 (- 3))"},
      {"(((1)))", "1"},
      {"+2", "2"},
      {"x", "x"},
  };
  for (const Case& c : cases) {
    const std::int32_t start = LiveNodes();
    EXPECT_EQ(Tree(c.term), c.tree) << c.term;
    EXPECT_EQ(LiveNodes(), start) << c.term;
  }
}

TEST(TreeBuilder, Failures) {
  struct Case {
    const char* term;
    Failure failure;
  };
  const Failure missingOperator{"ESyntaxError", "Syntaxfehler! Wahrscheinlich fehlt ein Operator!"};
  const Failure missingBracket{"EMissMatchingBracket", "Klammer zu fehlt!"};
  const Failure unknownToken{"ESyntaxError", "Fehler in Basisexpression: Unbekanntes Token!"};
  const Failure unexpectedEnd{"ESyntaxError", "Unerwartetes Ende des Ausdrucks!"};
  const Failure empty{"ESyntaxError", "Leerer Ausdruck!"};
  const Failure plusWithoutArgument{"EMissingNode", "Operator \"+\" Error: Argument fehlt!"};
  // The infix minus has no name of its own.
  const Failure minusWithoutArgument{"EMissingNode", "Operator \"\" Error: Argument fehlt!"};
  const Case cases[] = {
      {"2x", missingOperator},
      {"2(3)", missingOperator},
      {"2)", missingOperator},
      {"sin(x) 2", missingOperator},
      {"(-sin x!^2)*(3", missingBracket},
      {"(2", missingBracket},
      {"()", missingBracket},
      {"(1+(2*3)", missingBracket},
      {"3+)", plusWithoutArgument},
      {"3-)", minusWithoutArgument},
      {"(2*)", {"EMissingNode", "Operator \"*\" Error: Argument fehlt!"}},
      {"a+b+)", plusWithoutArgument},
      {"-)", {"EMissingNode", "Operator \"-\" Error: Argument fehlt!"}},
      {"2*-3", unknownToken},
      {"--2", unknownToken},
      {"2^-1", unknownToken},
      {"sin -x", unknownToken},
      {"*2", unknownToken},
      {"!", unknownToken},
      {"{x}", unknownToken},
      {"2+", unexpectedEnd},
      {"-", unexpectedEnd},
      {"sin", unexpectedEnd},
      {"", empty},
      {" \t ", empty},
      // Terms that would leave an operand out.
      {")", empty},
      {"())", empty},
      {")+2", plusWithoutArgument},
      {")-2", minusWithoutArgument},
      {"())*2", {"EMissingNode", "Operator \"*\" Error: Argument fehlt!"}},
      {"sin)", {"EMissingNode", "Operator \"sin\" Error: Argument fehlt!"}},
      {"sin())", {"EMissingNode", "Operator \"sin\" Error: Argument fehlt!"}},
      {")!", {"EMissingNode", "Operator \"!\" Error: Keine Argumente!"}},
      {")!!", {"EMissingNode", "Operator \"!\" Error: Keine Argumente!"}},
  };
  for (const Case& c : cases) {
    const std::int32_t start = LiveNodes();
    EXPECT_EQ(ParseFailure(c.term), c.failure) << c.term;
    EXPECT_EQ(LiveNodes(), start) << c.term;
  }
}

TEST(TreeBuilder, NestingIsLimited) {
  const Failure tooComplex{"EExpressionTooComplex", "Ausdruck zu komplex!"};
  const std::int32_t start = LiveNodes();
  const int limit = TKoAbstractMathTreeBuilder::kMaxNesting;
  EXPECT_EQ(Tree(Repeat("(", limit) + "1" + Repeat(")", limit)), "1");
  EXPECT_EQ(ParseFailure(Repeat("(", limit + 1) + "1" + Repeat(")", limit + 1)), tooComplex);
  EXPECT_EQ(ParseFailure(Repeat("(", 100000) + "1" + Repeat(")", 100000)), tooComplex);
  EXPECT_EQ(ParseFailure(Repeat("sin(", 4000) + "x" + Repeat(")", 4000)), tooComplex);
  EXPECT_EQ(ParseFailure(Repeat("sin ", limit + 1) + "x"), tooComplex);
  EXPECT_EQ(ParseFailure(Repeat("-(", 4000)), tooComplex);
  // Each repeated factorial is one level more, inside brackets too.
  EXPECT_EQ(ParseFailure("1" + Repeat("!", limit + 1)), tooComplex);
  EXPECT_EQ(ParseFailure("1" + Repeat("!", 9999)), tooComplex);
  EXPECT_EQ(ParseFailure(Repeat("(", 10) + "1" + Repeat("!", limit - 9) + Repeat(")", 10)),
            tooComplex);
  EXPECT_EQ(LiveNodes(), start);
  EXPECT_EQ(Tree(Repeat("(", 10) + "1" + Repeat("!", limit - 10) + Repeat(")", 10)).size(),
            Tree("1" + Repeat("!", limit - 10)).size());

  // A function and its bracket are two levels: 1000 of them reach the limit.
  TKoVarDepot depot;
  depot.SetVariable("x", dtExtended, 0.5L);
  TKoNodePtr sines = ParseTerm(Repeat("sin(", 1000) + "x" + Repeat(")", 1000), &depot);
  const Evaluation e = Evaluate(sines);
  EXPECT_EQ(e.error, "");
  EXPECT_NEAR(static_cast<double>(e.value), 0.0543745527404938, 1e-15);
  TKoNodePtr negations = ParseTerm(Repeat("-(", 1000) + "2" + Repeat(")", 1000), &depot);
  EXPECT_EQ(Evaluate(negations).value, 2);
}

TEST(TreeBuilder, TooManyNodesFailCleanly) {
  const std::int32_t start = LiveNodes();
  std::string sum = "1";
  for (int i = 0; i < 5000; ++i) sum += "+1";  // 10001 nodes
  EXPECT_EQ(ParseFailure(sum),
            (Failure{"ETooMuchInstances", "Too much instances of TKoOperatorNode!"}));
  EXPECT_EQ(LiveNodes(), start);
}

// Every node creation of a parse, the template copies and the rewriting of the
// infix minus included, is made to fail once; no node may be left or freed twice.
TEST(TreeBuilder, NodeLimitAtEveryStepLeavesNothingBehind) {
  LimitGuard restoreLimit;
  TKoVarDepot depot;
  bool failed = false;
  bool built = false;
  for (std::int32_t extra = 0; !built; ++extra) {
    TKoNodePtr arg0 = ParseTerm("a-b", &depot);
    TKoNodePtr arg1 = TKoOperatorNode::Create(dtExtended, opNegation);
    arg1->AddChild(TKoOperatorNode::CreateConstant(2));
    const std::int32_t start = LiveNodes();
    TKoOperatorNode::SetMaxInstances(start + extra);
    try {
      TKoNodePtr tree = ParseTemplate("{0}-{1}-(x-{0})/3!-c", std::move(arg0), std::move(arg1),
                                      &depot, dtExtended);
      built = true;
      EXPECT_EQ(Sexpr(*tree),
                "(+ (+ a (- b)) (- (- 2)) (- (/ (+ x (- (+ a (- b)))) (! 3))) (- c))");
    } catch (const ETooMuchInstances&) {
      failed = true;
    }
    TKoOperatorNode::SetMaxInstances(10000);
    EXPECT_EQ(LiveNodes(), start - 6) << extra;
    ASSERT_LT(extra, 100);
  }
  EXPECT_TRUE(failed);
}

// ---------------------------------------------------------------- parse routines

TEST(ParseTerm, Values) {
  struct Case {
    const char* term;
    long double value;
    long double relativeTolerance;
  };
  const Case cases[] = {
      {"32^4+sin(9)", 1048576.41211848524175657L, 1e-12L},
      {"2^3^2", 64, 0},
      {"-2^2", -4, 0},
      {"(-2)^2", 4, 0},
      {"2*(-3)", -6, 0},
      {"-2+3", 1, 0},
      {"a-b-c", 5, 0},
      {"a-b+c", 9, 0},
      {"a/b/c*2", 10.0L / 3 / 2 * 2, 1e-18L},
      {"3!^2", 36, 0},
      {"2^3!", 64, 0},
      {"-3!", -6, 0},
      {"1e-3*2.5E+2", 0.25L, 1e-18L},
      {"sin x^2", std::pow(std::sin(2.0L), 2.0L), 1e-18L},
      {"Pi", 3.14159265358979323846L, 1e-18L},
  };
  for (const Case& c : cases) {
    TKoVarDepot depot;
    depot.SetVariable("a", dtExtended, 10);
    depot.SetVariable("b", dtExtended, 3);
    depot.SetVariable("c", dtExtended, 2);
    depot.SetVariable("x", dtExtended, 2);
    depot.SetVariable("Pi", dtExtended, 3.14159265358979323846L);
    const Evaluation e = Evaluate(ParseTerm(c.term, &depot));
    EXPECT_EQ(e.error, "") << c.term;
    EXPECT_LE(std::fabs(e.value - c.value), c.relativeTolerance * std::fabs(c.value))
        << c.term << " = " << static_cast<double>(e.value);
  }
}

TEST(ParseTerm, NewNamesBecomeVariablesOfTheDepot) {
  TKoVarDepot depot;
  TKoNodePtr tree = ParseTerm("y*Y+zz", &depot);
  EXPECT_EQ(depot.VariableCount(), 2);
  EXPECT_EQ(depot.VariableAt(0)->Name, "y");
  depot.SetAsExtended("y", 3);
  depot.SetAsExtended("zz", 1);
  EXPECT_EQ(Evaluate(tree).value, 10);
}

TEST(ParseTemplate, ArgumentsAreOperandsWhateverTheirRoot) {
  struct Case {
    const char* text;
    const char* tree;
    Evaluation atFour;
  };
  // The first argument is the variable x, the second the negation -1.
  const Case cases[] = {
      {"{0}^{1}", "(^ x (- 1))", {0.25L, ""}},
      {"{1}+{0}", "(+ (- 1) x)", {3, ""}},
      {"{1}*{1}-{0}", "(+ (* (- 1) (- 1)) (- x))", {-3, ""}},
      {"{0}*{1}", "(* x (- 1))", {-4, ""}},
      {"{1}!", "(! (- 1))", {0, "Illegale Operationen"}},
  };
  for (const Case& c : cases) {
    TKoVarDepot depot;
    TKoNodePtr x = TKoOperatorNode::CreateVariable(dtExtended, "x", &depot);
    TKoNodePtr minusOne = TKoOperatorNode::Create(dtExtended, opNegation);
    minusOne->AddChild(TKoOperatorNode::CreateConstant(1));
    const std::int32_t start = LiveNodes();
    TKoNodePtr tree = ParseTemplate(c.text, std::move(x), std::move(minusOne), &depot, dtExtended);
    EXPECT_EQ(Sexpr(*tree), c.tree) << c.text;
    depot.SetAsExtended("x", 4);
    const Evaluation e = Evaluate(tree);
    EXPECT_EQ(e.value, c.atFour.value) << c.text;
    EXPECT_EQ(e.error, c.atFour.error) << c.text;
    tree.reset();
    EXPECT_EQ(LiveNodes(), start - 3) << c.text;  // the arguments were consumed
  }
}

TEST(ParseTemplate, FailureFreesTheArguments) {
  const std::int32_t start = LiveNodes();
  TKoVarDepot depot;
  for (const char* text : {"{0}*", "{0}*{2}", "{0}{1}", "{0}#"}) {
    EXPECT_NE(FailureOf([&] {
                ParseTemplate(text, TKoOperatorNode::CreateConstant(1),
                              TKoOperatorNode::CreateConstant(2), &depot, dtExtended);
              }).className,
              "none")
        << text;
    EXPECT_EQ(LiveNodes(), start) << text;
  }
}

// ---------------------------------------------------------------- parser facade

struct ParsedFunction {
  ParsedFunction() {
    auto owned = std::make_unique<TKoMathParser>(&function);
    parser = owned.get();
    function.SetCreator(std::move(owned));
  }
  void Execute(const std::string& term) {
    parser->SetFunctionString(term);
    parser->Execute();
  }
  TKoMathTreeFunction function;
  TKoMathParser* parser;
};

TEST(MathParser, FailuresLeaveNoTree) {
  const std::int32_t start = LiveNodes();
  for (const std::string& term : std::vector<std::string>{"", "   ", "3#", "(2", "2e", "{0}", ")",
                                                          "sin", Repeat("(", 100000) + "1"}) {
    ParsedFunction f;
    f.Execute("1+x");
    ASSERT_NE(f.function.GetTree(), nullptr);
    f.Execute(term);
    EXPECT_EQ(f.parser->ErrorText, "Syntaxfehler") << term;
    EXPECT_EQ(f.function.GetTree(), nullptr) << term;
    f.function.Calculate();
    EXPECT_EQ(f.function.GetErrorText(), "Syntaxfehler") << term;
  }
  EXPECT_EQ(LiveNodes(), start);
}

TEST(MathParser, ErrorPosIsKeptUntilTheNextTokenizerFailure) {
  ParsedFunction f;
  EXPECT_EQ(f.parser->ErrorPos, 0);
  f.Execute("3#");
  EXPECT_EQ(f.parser->ErrorPos, 2);
  f.Execute("(2");
  EXPECT_EQ(f.parser->ErrorText, "Syntaxfehler");
  EXPECT_EQ(f.parser->ErrorPos, 2);
  f.Execute("x*2");
  EXPECT_EQ(f.parser->ErrorText, "");
  EXPECT_EQ(f.parser->ErrorPos, 2);
  ASSERT_NE(f.function.GetTree(), nullptr);
  EXPECT_EQ(Sexpr(*f.function.GetTree()), "(* x 2)");
  f.Execute("1 + 2 + \374");
  EXPECT_EQ(f.parser->ErrorPos, 9);
}

TEST(MathParser, CalculateParsesLazily) {
  ParsedFunction f;
  f.function.AddVariable("x");
  f.function.SetVarValue("x", 3);
  f.parser->SetFunctionString("x^2-x");
  EXPECT_EQ(f.function.GetTree(), nullptr);
  f.function.Calculate();
  EXPECT_EQ(f.function.GetErrorText(), "");
  EXPECT_EQ(f.function.Value, 6);
  f.function.SetErrorText("alt");
  f.parser->SetFunctionString("2x");
  EXPECT_EQ(f.function.GetErrorText(), "");
  EXPECT_EQ(f.function.GetTree(), nullptr);
}

TEST(MathParser, CloneCopiesSettingsForAnotherFunction) {
  TKoMathTreeFunction source;
  TKoMathTreeFunction target;
  TKoMathParser parser(&source);
  parser.NotOwned = true;
  parser.FunctionString = "a+1";
  parser.Execute();
  parser.FunctionString = "3#";
  parser.Execute();
  ASSERT_EQ(parser.ErrorPos, 2);
  const auto clone = parser.Clone(&target);
  const auto* copy = dynamic_cast<const TKoMathParser*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->NotOwned);
  EXPECT_EQ(copy->FunctionString, "3#");
  EXPECT_EQ(copy->MathFunction, &target);
  EXPECT_EQ(copy->ErrorPos, 0);
  EXPECT_EQ(copy->ErrorText, "");
  parser.NotOwned = false;
  EXPECT_FALSE(parser.Clone(&target)->NotOwned);
}

// A function without a tree: the parser has nothing to fill.
class PlainFunction : public TKoMathFunction {
 public:
  long double GetVarValue(const std::string&) override { return 0; }
  void SetVarValue(const std::string&, long double) override {}
  long double GetVarValueAt(std::int32_t) override { return 0; }
  void SetVarValueAt(std::int32_t, long double) override {}
  std::string GetVarName(std::int32_t) override { return ""; }
  std::int32_t IndexOfVar(const std::string&) override { return -1; }
  std::int32_t VarCount() override { return 0; }
  const std::string& GetErrorText() override { return Error; }
  void SetErrorText(const std::string& text) override { Error = text; }
  void Calculate() override {}
  std::string Error = "alt";
};

TEST(MathParser, NeedsATreeFunction) {
  PlainFunction function;
  TKoMathParser parser(&function);
  parser.SetFunctionString("1");
  EXPECT_EQ(function.Error, "");
  parser.Execute();
  EXPECT_EQ(parser.ErrorText, "Syntaxfehler");
}

// ---------------------------------------------------------------- round trip

// Random terms of every shape the parser builds: operand chains, signs, powers,
// factorials (mostly of small constants), functions, brackets that are sometimes
// left out, and template arguments that bring negative constants.
class TermGenerator {
 public:
  explicit TermGenerator(unsigned seed) : Random(seed) {}

  std::string Term(int depth) {
    if (depth <= 0 || Pick(6) == 0) return Atom();
    switch (Pick(6)) {
      case 0:
        return Chain(depth, {"+", "-"});
      case 1:
        return Chain(depth, {"*", "/"});
      case 2:
        return Operand(depth) + "^" + (Pick(2) ? Atom() : Operand(depth - 1));
      case 3:
        return "-" + Operand(depth);
      case 4:
        if (Pick(3) == 0) return "(" + Term(depth - 1) + ")!";
        return std::to_string(Pick(7)) + (Pick(4) ? "!" : "!!");
      default:
        return Function() + (Pick(4) ? "(" + Term(depth - 1) + ")" : " " + Atom());
    }
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Random); }

  std::string Chain(int depth, const std::vector<std::string>& ops) {
    std::string text = Operand(depth);
    for (int i = Pick(3); i >= 0; --i)
      text += ops[static_cast<std::size_t>(Pick(2))] + Operand(depth);
    return text;
  }

  // Brackets are mostly kept; a left-out pair reads the text in another way or not at all.
  std::string Operand(int depth) {
    const std::string text = Term(depth - 1);
    return Pick(5) ? "(" + text + ")" : text;
  }

  std::string Atom() {
    static const char* const atoms[] = {
        "a", "b",    "x",  "x", "2",      "0.1", "0.7", "1.5",
        "3", "1e-3", "10", "7", "2.5E+2", "{0}", "{1}", "0.33333333333333333"};
    return atoms[Pick(static_cast<int>(std::size(atoms)))];
  }

  std::string Function() {
    static const char* const names[] = {
        "exp",  "ln",   "log",     "ld",      "sqr",     "sqrt",    "sin",  "cos",
        "tan",  "cot",  "arcsin",  "arccos",  "arctan",  "arccot",  "sinh", "cosh",
        "tanh", "coth", "arcsinh", "arccosh", "arctanh", "arccoth", "int",  "round",
        "frac", "sgn",  "abs",     "zero",    "ceil",    "floor",   "heav", "phase"};
    return names[Pick(static_cast<int>(std::size(names)))];
  }

  std::mt19937 Random;
};

long double Shift(std::mt19937& random) {
  return std::uniform_real_distribution<double>(-1e-16, 1e-16)(random);
}

// A copy whose constants are moved at random by up to one unit in the 16th digit.
TKoNodePtr PerturbedCopy(const TKoOperatorNode& node, std::mt19937& random) {
  if (node.Operation == opConstant)
    return TKoOperatorNode::CreateConstant(node.LeafValue() * (1 + Shift(random)));
  if (node.Operation == opVariable) return node.Clone(nullptr);
  TKoNodePtr copy = TKoOperatorNode::Create(dtExtended, node.Operation);
  for (const TKoOperatorNode* child : node.Children) copy->AddChild(PerturbedCopy(*child, random));
  return copy;
}

// How far the value moves when every constant and variable moves in its 16th digit.
// Rounding, such as that of a*(b/c) read back as a*b/c, moves it far less; a tree
// read back wrongly moves it far more, unless the term is ill-conditioned there.
struct Sensitivity {
  long double spread = 0;
  bool errorChanges = false;
};

Sensitivity SensitivityAt(const TKoOperatorNode& tree, const Evaluation& at, TKoVarDepot& depot,
                          std::mt19937& random) {
  Sensitivity s;
  std::vector<long double> values;
  values.reserve(static_cast<std::size_t>(depot.VariableCount()));
  for (std::int32_t i = 0; i < depot.VariableCount(); ++i)
    values.push_back(depot.VariableAt(i)->GetAsExtended());
  for (int run = 0; run < 4; ++run) {
    for (std::int32_t i = 0; i < depot.VariableCount(); ++i)
      depot.VariableAt(i)->SetAsExtended(values[static_cast<std::size_t>(i)] * (1 + Shift(random)));
    const Evaluation moved = Evaluate(PerturbedCopy(tree, random));
    s.errorChanges |= moved.error.empty() != at.error.empty();
    if (moved.error.empty() && at.error.empty())
      s.spread = std::max(s.spread, std::fabs(moved.value - at.value));
  }
  for (std::int32_t i = 0; i < depot.VariableCount(); ++i)
    depot.VariableAt(i)->SetAsExtended(values[static_cast<std::size_t>(i)]);
  return s;
}

// Parse, print, parse again: both trees agree on failing or not and on the value,
// to 1e-15 relative or within the rounding that the term amplifies.
TEST(RoundTrip, PrintedTermsReadBackToTheSameValue) {
  const std::int32_t start = LiveNodes();
  TermGenerator generator(20240607);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-3, 3);
  int compared = 0;
  int failures = 0;
  for (int i = 0; i < 10000 && failures < 20; ++i) {
    const std::string term = generator.Term(4);
    TKoMathTreeFunction f;
    try {
      f.SetTree(ParseTemplate(term, TKoOperatorNode::CreateConstant(-2.5L),
                              TKoOperatorNode::CreateConstant(-0.1L), f.VarDepot.get(),
                              dtExtended));
    } catch (const Exception&) {
      continue;
    }
    const std::string printed = f.FunctionString();
    TKoNodePtr second;
    try {
      second = ParseTerm(printed, f.VarDepot.get());
    } catch (const Exception& e) {
      ++failures;
      ADD_FAILURE() << term << " printed as " << printed << " does not read back: " << e.what();
      continue;
    }
    for (int point = 0; point < 3; ++point) {
      for (const char* name : {"a", "b", "x"})
        f.VarDepot->SetVariable(name, dtExtended, value(random));
      const Evaluation first = Evaluate(*f.GetTree());
      const Evaluation again = Evaluate(*second);
      const long double difference = std::fabs(first.value - again.value);
      if (first.error.empty() == again.error.empty() &&
          (!first.error.empty() || difference <= 1e-15L * std::fabs(first.value))) {
        ++compared;
        continue;
      }
      const Sensitivity s1 = SensitivityAt(*f.GetTree(), first, *f.VarDepot, random);
      const Sensitivity s2 = SensitivityAt(*second, again, *f.VarDepot, random);
      // At an edge of the domain (a whole exponent of a negative base, say) or where
      // a nudge moves the value by a thousandth, the two values say nothing.
      if (s1.errorChanges || s2.errorChanges) continue;
      const long double spread = std::max(s1.spread, s2.spread);
      if (first.error.empty() && again.error.empty() &&
          (difference <= spread || spread >= 1e-3L * std::fabs(first.value)))
        continue;
      ++failures;
      ADD_FAILURE() << std::setprecision(20) << term << "\n  printed " << printed << "\n  tree "
                    << Sexpr(*f.GetTree()) << "\n  read " << Sexpr(*second)
                    << "\n  a=" << f.GetVarValue("a") << " b=" << f.GetVarValue("b")
                    << " x=" << f.GetVarValue("x") << ": " << first.value << " [" << first.error
                    << "] vs " << again.value << " [" << again.error << "], spread " << spread;
      break;
    }
  }
  EXPECT_GT(compared, 20000);  // most terms read and compare
  EXPECT_EQ(LiveNodes(), start);
}

}  // namespace
