#include <algorithm>

#include "MathPars/MathPars.hpp"

namespace {

[[noreturn]] void RaiseArgumentMissing(const TKoOperatorNode& op) {
  throw EMissingNode(kTextOperator + op.DisplayName() + kTextArgumentMissing);
}

[[noreturn]] void RaiseNoArguments(const TKoOperatorNode& op) {
  throw EMissingNode(kTextOperator + op.DisplayName() + kTextNoArguments);
}

// Links without taking ownership: until the build succeeds the token list answers
// for every node, so a failed link must not free the child.
void Link(TKoOperatorNode* parent, TKoOperatorNode* child) {
  parent->Children.push_back(child);
}

void LinkFirst(TKoOperatorNode* parent, TKoOperatorNode* child) {
  parent->Children.insert(parent->Children.begin(), child);
}

bool IsOperand(const TKoToken& token) {
  return token.Text == "v" || token.Text == "f";
}

// Counts the nesting of brackets and function arguments.
class NestingGuard {
 public:
  explicit NestingGuard(std::int32_t& nesting) : Nesting(nesting) {
    if (++Nesting > TKoAbstractMathTreeBuilder::kMaxNesting)
      throw EExpressionTooComplex(kTextTooComplex);
  }
  ~NestingGuard() { --Nesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;

 private:
  std::int32_t& Nesting;
};

}  // namespace

void TKoAbstractMathTreeBuilder::AddOperator(std::int32_t level, TOperation opCode,
                                             std::int32_t kind) {
  const auto index = static_cast<std::size_t>(level);
  if (Levels.size() <= index) Levels.resize(index + 1);
  Levels[index].push_back(opCode);
  switch (kind) {
    case kPrefix:
      LevelParsers.at(index) = &TKoAbstractMathTreeBuilder::ParsePrefixLevel;
      break;
    case kPostfix:
      LevelParsers.at(index) = &TKoAbstractMathTreeBuilder::ParsePostfixLevel;
      break;
    case kInfix:
      LevelParsers.at(index) = &TKoAbstractMathTreeBuilder::ParseInfixLevel;
      break;
    default:
      break;
  }
}

TKoNodePtr TKoAbstractMathTreeBuilder::Build(TKoTokenList& tokens) {
  if (tokens.empty()) return nullptr;
  Tokens = &tokens;
  Position = 0;
  Nesting = 0;
  ErrorPos = 0;
  try {
    TKoOperatorNode* result = ParseLevel(0);
    if (Position < tokens.size()) throw ESyntaxError(kTextMissingOperator);
    if (!result) throw ESyntaxError(kTextEmptyTerm);
    tokens.clear();
    Tokens = nullptr;
    return TKoNodePtr(result);
  } catch (...) {
    ErrorPos = Position < tokens.size() ? tokens[Position].Pos : kErrorAtEnd;
    // Undo the links: every node is freed once, by its token. A "v" operand keeps
    // its children, which a template copy brings along and the builder never adds to.
    for (const TKoToken& token : tokens)
      if (token.Node && token.Text != "v") token.Node->OwnsChildren = false;
    FreeTokenNodes(tokens);
    Tokens = nullptr;
    throw;
  }
}

TKoOperatorNode* TKoAbstractMathTreeBuilder::ParseLevel(std::int32_t level) {
  if (static_cast<std::size_t>(level) == Levels.size()) return ParseBase();
  return (this->*LevelParsers[static_cast<std::size_t>(level)])(level);
}

bool TKoAbstractMathTreeBuilder::InLevel(std::int32_t level, TOperation opCode) const {
  const std::vector<TOperation>& codes = Levels[static_cast<std::size_t>(level)];
  return std::find(codes.begin(), codes.end(), opCode) != codes.end();
}

TOperation TKoAbstractMathTreeBuilder::CurrentOpCode() const {
  if (Position >= Tokens->size()) return opNone;
  const TKoToken& token = (*Tokens)[Position];
  // An operand's node may be a template copy of any root, a negation say: its
  // code is no operator here.
  if (!token.Node || IsOperand(token)) return opNone;
  return token.Node->Operation;
}

void TKoAbstractMathTreeBuilder::ReleaseCurrentNode() {
  TKoToken& token = (*Tokens)[Position];
  delete token.Node;
  token.Node = nullptr;
}

// left { op right }: a chain of one operator is one node with all operands; where
// the operator changes, the new node takes the chain so far as its first operand.
TKoOperatorNode* TKoAbstractMathTreeBuilder::ParseInfixLevel(std::int32_t level) {
  TKoOperatorNode* left = ParseLevel(level + 1);
  if (!InLevel(level, CurrentOpCode())) return left;
  TKoOperatorNode* result = CurrentNode();
  if (!left) RaiseArgumentMissing(*result);
  Link(result, left);
  for (;;) {
    ++Position;
    TKoOperatorNode* right = ParseLevel(level + 1);
    if (!right) RaiseArgumentMissing(*result);
    Link(result, right);
    if (!InLevel(level, CurrentOpCode())) return result;
    TKoOperatorNode* op = CurrentNode();
    if (op->Operation == result->Operation) {
      ReleaseCurrentNode();
    } else {
      LinkFirst(op, result);
      result = op;
    }
  }
}

// op operand: one sign, whose operand lies on the next level (-2^2 = -(2^2)).
TKoOperatorNode* TKoAbstractMathTreeBuilder::ParsePrefixLevel(std::int32_t level) {
  if (!InLevel(level, CurrentOpCode())) return ParseLevel(level + 1);
  TKoOperatorNode* result = CurrentNode();
  ++Position;
  TKoOperatorNode* operand = ParseLevel(level + 1);
  if (!operand) RaiseArgumentMissing(*result);
  Link(result, operand);
  return result;
}

// operand { op }: each repetition of the operator wraps the result (3!! = (3!)!).
TKoOperatorNode* TKoAbstractMathTreeBuilder::ParsePostfixLevel(std::int32_t level) {
  TKoOperatorNode* result = ParseLevel(level + 1);
  const TOperation op = CurrentOpCode();
  if (!InLevel(level, op)) return result;
  if (!result) RaiseNoArguments(*CurrentNode());
  // Each repetition nests the tree one level deeper, as a bracket does.
  std::int32_t repetitions = 0;
  while (CurrentOpCode() == op) {
    if (Nesting + ++repetitions > kMaxNesting) throw EExpressionTooComplex(kTextTooComplex);
    TKoOperatorNode* node = CurrentNode();
    Link(node, result);
    result = node;
    ++Position;
  }
  return result;
}

// "(" term ")" | ")" | function base | operand. A ")" where an operand is due
// gives none, which the caller reports.
TKoOperatorNode* TKoAbstractMathTreeBuilder::ParseBase() {
  if (Position >= Tokens->size()) throw ESyntaxError(kTextUnexpectedEnd);
  const TKoToken& token = (*Tokens)[Position];
  switch (token.Text.front()) {
    case '(':
      return ParseBracket();
    case ')':
      ++Position;
      return nullptr;
    case 'f':
      return ParseFunction();
    case 'v':
      ++Position;
      return token.Node;
    default:
      throw ESyntaxError(kTextUnknownToken);
  }
}

TKoOperatorNode* TKoAbstractMathTreeBuilder::ParseBracket() {
  NestingGuard guard(Nesting);
  ++Position;
  TKoOperatorNode* result = ParseLevel(0);
  if (Position >= Tokens->size() || (*Tokens)[Position].Text != ")")
    throw EMissMatchingBracket(kTextMissingBracket);
  ++Position;
  return result;
}

// A function takes one base expression: sin x^2 = (sin x)^2, and sin -x is an error.
TKoOperatorNode* TKoAbstractMathTreeBuilder::ParseFunction() {
  NestingGuard guard(Nesting);
  TKoOperatorNode* function = CurrentNode();
  ++Position;
  TKoOperatorNode* argument = ParseBase();
  if (!argument) RaiseArgumentMissing(*function);
  Link(function, argument);
  return function;
}

// Grammar, from the weakest binding level to the strongest:
//   term    = sum
//   sum     = sign { ("+" | "-") sign }        level 0, infix
//   sign    = [ "-" ] product                  level 1, prefix (only at the start or after "(")
//   product = power { ("*" | "/") power }      level 2, infix
//   power   = fact { "^" fact }                level 3, infix: 2^3^2 = (2^3)^2
//   fact    = base { "!" }                     level 4, postfix
//   base    = "(" term ")" | function base | number | variable | template argument
// Each infix chain of one operator becomes one node: a+b+c is +(a, b, c).
void TKoRealMathTreeBuilder::DefineOperators() {
  AddOperator(0, opSum, kInfix);
  AddOperator(0, opInfixMinus, kInfix);
  AddOperator(1, opNegation, kPrefix);
  AddOperator(2, opProduct, kInfix);
  AddOperator(2, opQuotient, kInfix);
  AddOperator(3, opPower, kInfix);
  AddOperator(4, opFactorial, kPostfix);
}

TKoNodePtr TKoRealMathTreeBuilder::Build(TKoTokenList& tokens) {
  TKoNodePtr tree = TKoAbstractMathTreeBuilder::Build(tokens);
  if (!tree) throw ESyntaxError(kTextEmptyTerm);
  return ResolveMinus(std::move(tree));
}

namespace {

// a - b - c: the sum a + (-b) + (-c). Each operand moves over only once its
// negation exists, so a failure frees every node once.
TKoNodePtr SumOfNegations(TKoNodePtr minus) {
  TKoNodePtr sum = TKoOperatorNode::Create(minus->DataType, opSum);
  sum->AddChild(minus->ExtractChild(0));
  while (minus->ChildCount() > 0) {
    TKoNodePtr negation = TKoOperatorNode::Create(minus->DataType, opNegation);
    negation->AddChild(minus->ExtractChild(0));
    sum->AddChild(std::move(negation));
  }
  return sum;
}

}  // namespace

TKoNodePtr TKoRealMathTreeBuilder::ResolveMinus(TKoNodePtr node) {
  if (node->Operation == opInfixMinus) node = SumOfNegations(std::move(node));
  for (TKoOperatorNode*& slot : node->Children) {
    // The slot is empty while its child is rewritten: a failure frees the child once.
    TKoNodePtr child(slot);
    slot = nullptr;
    slot = ResolveMinus(std::move(child)).release();
  }
  return node;
}
