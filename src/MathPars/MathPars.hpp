// The parser: term text to operator tree. The tokenizer makes one node per
// token, the table-driven tree builder links them by precedence, and the parser
// creator fills a tree function; ParseTerm and ParseTemplate do the same for the
// calculus and let their exceptions pass.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "FncCreat/FncCreat.hpp"
#include "MathTree/MathTree.hpp"

class TKoMathTreeFunction;

TCALC_EXCEPTION(EKoMathParserError, EKoFunctionCreatorError);
TCALC_EXCEPTION(ESyntaxError, EKoMathParserError);
TCALC_EXCEPTION(EBadValue, EKoMathParserError);
TCALC_EXCEPTION(EBadToken, EKoMathParserError);
TCALC_EXCEPTION(EExpressionTooComplex, EKoMathParserError);
TCALC_EXCEPTION(EMissMatchingBracket, EKoMathParserError);
TCALC_EXCEPTION(EParserInternalError, EKoMathParserError);

// The parser's texts (Latin-1).
inline constexpr const char* kTextSyntaxError = "Syntaxfehler";
inline constexpr const char* kTextPlusAtEnd = "Plusoperator als letztes Zeichen nicht gestattet.";
inline constexpr const char* kTextValueExpected = "Numerischer Wert wurde erwartet: ";
inline constexpr const char* kTextIllegalChar = "Illegales Zeichen: ";
inline constexpr const char* kTextNoPlaceholderArg = "Kein Argument f\374r Platzhalter ";
// 'Operator "+" Error: Argument fehlt!'
inline constexpr const char* kTextOperator = "Operator \"";
inline constexpr const char* kTextArgumentMissing = "\" Error: Argument fehlt!";
inline constexpr const char* kTextNoArguments = "\" Error: Keine Argumente!";
inline constexpr const char* kTextMissingBracket = "Klammer zu fehlt!";
inline constexpr const char* kTextUnknownToken = "Fehler in Basisexpression: Unbekanntes Token!";
inline constexpr const char* kTextMissingOperator =
    "Syntaxfehler! Wahrscheinlich fehlt ein Operator!";
inline constexpr const char* kTextUnexpectedEnd = "Unerwartetes Ende des Ausdrucks!";
inline constexpr const char* kTextEmptyTerm = "Leerer Ausdruck!";
inline constexpr const char* kTextTooComplex = "Ausdruck zu komplex!";
inline constexpr const char* kTextNoTreeFunction = "Der Parser braucht eine Baumfunktion!";

// ---------------------------------------------------------------- tokenizer

// The text tells the token's class: "v" operand (number, variable or template
// copy), "f" function, "M" infix minus, "-" sign, "(", ")", "+", "*", "/", "^",
// "!", or an unresolved braced text.
struct TKoToken {
  std::string Text;
  // Owned by the list: the tree builder links the nodes in place and takes them all over
  // when the build succeeds; FreeTokenNodes frees those of a list that ended in no tree.
  TKoOperatorNode* Node = nullptr;
  std::int32_t Pos = 0;  // where the token begins in the tokenizer's text, from 1
};
using TKoTokenList = std::vector<TKoToken>;

// Template arguments: {0} ... {19} in a template text stand for copies of them.
inline constexpr std::size_t kMaxTemplateArgs = 20;
using TKoOpNodeArray = std::array<TKoNodePtr, kMaxTemplateArgs>;

class TKoMathAbstractTokenizer {
 public:
  explicit TKoMathAbstractTokenizer(TKoVarDepot* varDepot);
  virtual ~TKoMathAbstractTokenizer() = default;
  TKoMathAbstractTokenizer(const TKoMathAbstractTokenizer&) = delete;
  TKoMathAbstractTokenizer& operator=(const TKoMathAbstractTokenizer&) = delete;

  // Reads the token starting at the 1-based position pos of Text, moves pos past
  // it and returns its node (none for brackets and the dropped sign plus " ").
  virtual TKoNodePtr NextToken(std::int32_t& pos, std::string& token) = 0;
  // Trims the text and turns the decimal separator into ".".
  virtual std::string PrepareText(const std::string& s);
  virtual TKoTokenList Tokenize(const std::string& s);
  // Reads s, putting copies of the arguments in place of their placeholders. The
  // arguments are consumed; on failure no node is left over.
  TKoTokenList TokenizeWithArgs(const std::string& s, TKoOpNodeArray args);

  std::string Text;
  TKoVarDepot* VarDepot;  // not owned
  std::bitset<256> SkipChars;
  std::string PrevToken;
  std::int32_t ErrorPos = 0;  // 1-based position of the last illegal character
};

class TKoMathRealTokenizer : public TKoMathAbstractTokenizer {
 public:
  using TKoMathAbstractTokenizer::TKoMathAbstractTokenizer;
  TKoNodePtr NextToken(std::int32_t& pos, std::string& token) override;

 private:
  // A sign stands at the start of the term or after "("; elsewhere + and - are infix.
  bool InSignPosition() const { return PrevToken.empty() || PrevToken == "("; }
  TKoNodePtr ReadPlus(std::int32_t& pos, std::string& token);
  TKoNodePtr ReadTypedCharacter(std::int32_t& pos, std::string& token, char& c,
                                std::int32_t& width);
  TKoNodePtr ReadNumber(std::int32_t& pos, std::string& token);
  TKoNodePtr ReadName(std::int32_t& pos, std::string& token);
};

// Frees the nodes of a token list that ended in no tree and empties it.
void FreeTokenNodes(TKoTokenList& tokens);

// ---------------------------------------------------------------- tree builder

class TKoAbstractMathTreeBuilder {
 public:
  using TOperationExpression = TKoOperatorNode* (TKoAbstractMathTreeBuilder::*)(std::int32_t);

  static constexpr std::int32_t kMaxLevels = 100;
  // Brackets, function arguments and repeated postfix operators nest at most this deep,
  // so that the recursive descent stays far from the end of the stack.
  static constexpr std::int32_t kMaxNesting = 2000;
  // Level kinds of AddOperator.
  static constexpr std::int32_t kPrefix = -1;
  static constexpr std::int32_t kPostfix = 1;
  static constexpr std::int32_t kInfix = 2;

  TKoAbstractMathTreeBuilder() = default;
  virtual ~TKoAbstractMathTreeBuilder() = default;
  TKoAbstractMathTreeBuilder(const TKoAbstractMathTreeBuilder&) = delete;
  TKoAbstractMathTreeBuilder& operator=(const TKoAbstractMathTreeBuilder&) = delete;

  // Links the nodes of the list into one tree; none for an empty list. Takes over
  // every node of the list and empties it: each node ends in the tree or is freed,
  // also when the build fails.
  virtual TKoNodePtr Build(TKoTokenList& tokens);
  // After a failed build: the position of the token it failed at, kErrorAtEnd where the
  // term ended too early.
  static constexpr std::int32_t kErrorAtEnd = -1;
  std::int32_t ErrorPos = 0;

 protected:
  virtual void DefineOperators() = 0;
  void AddOperator(std::int32_t level, TOperation opCode, std::int32_t kind);

  // The level parsers work on nodes that the token list still answers for.
  TKoOperatorNode* ParseLevel(std::int32_t level);
  TKoOperatorNode* ParseInfixLevel(std::int32_t level);
  TKoOperatorNode* ParsePrefixLevel(std::int32_t level);
  TKoOperatorNode* ParsePostfixLevel(std::int32_t level);
  TKoOperatorNode* ParseBase();
  // The operation code of the current operator token; opNone for operands and at the end.
  TOperation CurrentOpCode() const;

  std::vector<std::vector<TOperation>> Levels;
  std::array<TOperationExpression, kMaxLevels> LevelParsers{};
  TKoTokenList* Tokens = nullptr;  // not owned; set during Build
  std::size_t Position = 0;

 private:
  bool InLevel(std::int32_t level, TOperation opCode) const;
  TKoOperatorNode* CurrentNode() const { return (*Tokens)[Position].Node; }
  // A later "+" of a+b+c is merged into the first; its own node is freed.
  void ReleaseCurrentNode();
  TKoOperatorNode* ParseBracket();
  TKoOperatorNode* ParseFunction();

  std::int32_t Nesting = 0;
};

class TKoRealMathTreeBuilder : public TKoAbstractMathTreeBuilder {
 public:
  TKoRealMathTreeBuilder() { DefineOperators(); }
  // Fails for an empty term; the result holds no infix minus.
  TKoNodePtr Build(TKoTokenList& tokens) override;
  // Rewrites every infix minus a-b-c into the sum a + (-b) + (-c).
  static TKoNodePtr ResolveMinus(TKoNodePtr node);

 protected:
  void DefineOperators() override;
};

// ---------------------------------------------------------------- parser

// Parses a term into a tree over depot; exceptions pass to the caller.
TKoNodePtr ParseTerm(const std::string& text, TKoVarDepot* depot);
// Parses a template in which {0} and {1} stand for copies of arg0 and arg1, which
// are consumed. The type is accepted for the callers' sake; trees are extended.
TKoNodePtr ParseTemplate(const std::string& text, TKoNodePtr arg0, TKoNodePtr arg1,
                         TKoVarDepot* depot, TDataType type);

// The texts of the numbers in the terms parsed while a record is set, by their nodes: the
// digits a term wrote, for arithmetic with more of them than a node holds.
using TKoNumberTexts = std::unordered_map<const TKoOperatorNode*, std::string>;
void RecordNumberTexts(TKoNumberTexts* record);

// Fills a tree function with the tree of FunctionString; a failure leaves no
// tree and the error text "Syntaxfehler".
class TKoMathParser : public TKoFunctionCreator {
 public:
  using TKoFunctionCreator::TKoFunctionCreator;

  // Never throws.
  void Execute() override;
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction* target) const override;
  // Clears the function's tree and error text; parsing waits for Execute.
  void SetFunctionString(const std::string& s);

  std::string FunctionString;
  std::int32_t ErrorPos = 0;   // of the last tokenizer failure; kept by later parses
  std::string Reason;          // the detailed message of the last failure, "" after success
  std::int32_t ReasonPos = 0;  // where the last failure was found, by tokenizer or builder

 private:
  TKoMathTreeFunction* Target() const;
};
