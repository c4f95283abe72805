#include <algorithm>
#include <charconv>

#include "MathPars/MathPars.hpp"

namespace {

TKoNumberTexts* NumberTexts = nullptr;

bool IsExponentMark(char c) {
  return c == 'E' || c == 'e';
}

// A number runs over digits, points and exponent marks; a sign belongs to it only
// right after an exponent mark. Whether the run is a number is decided afterwards.
bool ContinuesNumber(const std::string& text, std::size_t i) {
  const char c = text[i];
  if (IsDigit(c) || c == '.' || IsExponentMark(c)) return true;
  return (c == '+' || c == '-') && IsExponentMark(text[i - 1]);
}

// The index of a placeholder such as {3}; -1 for any other token.
int PlaceholderIndex(const std::string& token) {
  if (token.size() < 2 || token.front() != '{' || token.back() != '}') return -1;
  const char* first = token.data() + 1;
  const char* last = token.data() + token.size() - 1;
  int index = -1;
  const auto [end, error] = std::from_chars(first, last, index);
  if (error != std::errc() || end != last || first == last) return -1;
  return index;
}

TKoNodePtr PlaceholderCopy(const std::string& token, int index, const TKoOpNodeArray& args) {
  const auto i = static_cast<std::size_t>(index);
  if (i >= args.size() || !args[i]) throw ESyntaxError(kTextNoPlaceholderArg + token);
  return args[i]->Clone(nullptr);
}

void Append(TKoTokenList& tokens, std::string text, TKoNodePtr node, std::int32_t pos) {
  tokens.push_back({std::move(text), node.get(), pos});
  static_cast<void>(node.release());  // the list holds it now
}

}  // namespace

void FreeTokenNodes(TKoTokenList& tokens) {
  for (TKoToken& token : tokens) delete token.Node;
  tokens.clear();
}

TKoMathAbstractTokenizer::TKoMathAbstractTokenizer(TKoVarDepot* varDepot) : VarDepot(varDepot) {
  SkipChars.set('\t');
  SkipChars.set(' ');
}

std::string TKoMathAbstractTokenizer::PrepareText(const std::string& s) {
  std::string text = Trim(s);
  if (DecimalSeparator != '.') std::replace(text.begin(), text.end(), DecimalSeparator, '.');
  return text;
}

TKoTokenList TKoMathAbstractTokenizer::Tokenize(const std::string& s) {
  return TokenizeWithArgs(s, TKoOpNodeArray());
}

TKoTokenList TKoMathAbstractTokenizer::TokenizeWithArgs(const std::string& s, TKoOpNodeArray args) {
  TKoTokenList tokens;
  Text = PrepareText(s);
  const auto length = static_cast<std::int32_t>(Text.size());
  // Room for a token per character at most, taken once: a list that grows by doubling
  // holds two copies while it moves, and the pages never written are never touched.
  tokens.reserve(Text.size());
  try {
    for (std::int32_t pos = 1; pos <= length;) {
      if (SkipChars[static_cast<unsigned char>(Text[static_cast<std::size_t>(pos - 1)])]) {
        ++pos;
        continue;
      }
      std::string token;
      const std::int32_t start = pos;
      TKoNodePtr node = NextToken(pos, token);
      const int index = PlaceholderIndex(token);
      if (index >= 0) {
        Append(tokens, "v", PlaceholderCopy(token, index, args), start);
      } else if (token != " ") {
        Append(tokens, token, std::move(node), start);
      }
      PrevToken = token;
    }
  } catch (...) {
    FreeTokenNodes(tokens);
    throw;
  }
  return tokens;
}

TKoNodePtr TKoMathRealTokenizer::NextToken(std::int32_t& pos, std::string& token) {
  const char c = Text[static_cast<std::size_t>(pos - 1)];
  token.assign(1, c);
  switch (c) {
    case '(':
    case ')':
      ++pos;
      return nullptr;
    case '*':
      ++pos;
      return TKoOperatorNode::Create(dtExtended, opProduct);
    case '/':
      ++pos;
      return TKoOperatorNode::Create(dtExtended, opQuotient);
    case '^':
      ++pos;
      return TKoOperatorNode::Create(dtExtended, opPower);
    case '!':
      ++pos;
      return TKoOperatorNode::Create(dtExtended, opFactorial);
    case '+':
      return ReadPlus(pos, token);
    case '-':
      ++pos;
      if (InSignPosition()) return TKoOperatorNode::Create(dtExtended, opNegation);
      token = "M";
      return TKoOperatorNode::Create(dtExtended, opInfixMinus);
    case '{': {
      const std::size_t close = Text.find('}', static_cast<std::size_t>(pos));
      const std::size_t end = close == std::string::npos ? Text.size() : close + 1;
      token =
          Text.substr(static_cast<std::size_t>(pos - 1), end - static_cast<std::size_t>(pos - 1));
      pos = static_cast<std::int32_t>(end) + 1;
      return nullptr;
    }
    default:
      break;
  }
  if (IsDigit(c) || c == '.') return ReadNumber(pos, token);
  if (IsAsciiLetter(c)) return ReadName(pos, token);
  ErrorPos = pos;
  throw EBadToken(kTextIllegalChar + token);
}

TKoNodePtr TKoMathRealTokenizer::ReadPlus(std::int32_t& pos, std::string& token) {
  if (!InSignPosition()) {
    ++pos;
    return TKoOperatorNode::Create(dtExtended, opSum);
  }
  if (pos == static_cast<std::int32_t>(Text.size())) {
    ErrorPos = pos;
    throw ESyntaxError(kTextPlusAtEnd);
  }
  // A sign plus changes nothing; its token is dropped.
  token = " ";
  ++pos;
  return nullptr;
}

void RecordNumberTexts(TKoNumberTexts* record) {
  NumberTexts = record;
}

TKoNodePtr TKoMathRealTokenizer::ReadNumber(std::int32_t& pos, std::string& token) {
  const auto begin = static_cast<std::size_t>(pos - 1);
  std::size_t end = begin + 1;
  while (end < Text.size() && ContinuesNumber(Text, end)) ++end;
  long double value = 0;
  if (!ScanNumber(Text.substr(begin, end - begin), value))
    throw EBadValue(kTextValueExpected + ('"' + Text + '"'));
  token = "v";
  pos = static_cast<std::int32_t>(end) + 1;
  TKoNodePtr node = TKoOperatorNode::CreateConstant(value);
  if (NumberTexts) [[unlikely]]
    (*NumberTexts)[node.get()] = Text.substr(begin, end - begin);
  return node;
}

TKoNodePtr TKoMathRealTokenizer::ReadName(std::int32_t& pos, std::string& token) {
  const auto begin = static_cast<std::size_t>(pos - 1);
  std::size_t end = begin + 1;
  while (end < Text.size() && (IsAsciiLetter(Text[end]) || IsDigit(Text[end]))) ++end;
  const std::string name = Text.substr(begin, end - begin);
  pos = static_cast<std::int32_t>(end) + 1;
  const TKoRealFunctionList& functions = SharedFunctionList();
  const std::int32_t index = functions.IndexOfFunction(UpperCase(name));
  if (index >= 0) {
    token = "f";
    return TKoOperatorNode::Create(dtExtended, functions.FunctionCode(index));
  }
  token = "v";
  return TKoOperatorNode::CreateVariable(dtExtended, name, VarDepot);
}
