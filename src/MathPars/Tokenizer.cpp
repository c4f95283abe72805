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

// The superscripts two and three, as typed for squares and cubes: 2 bytes each.
constexpr std::int32_t kSuperscriptWidth = 2;

// The power a superscript at the 1-based position pos stands for, or 0.
int SuperscriptAt(const std::string& text, std::int32_t pos) {
  const auto at = static_cast<std::size_t>(pos - 1);
  if (static_cast<unsigned char>(text[at]) != 0xC2 || at + 1 >= text.size()) return 0;
  switch (static_cast<unsigned char>(text[at + 1])) {
    case 0xB2:
      return 2;
    case 0xB3:
      return 3;
    default:
      return 0;
  }
}

// x² reads as x^2: a power and its constant.
void AppendPower(TKoTokenList& tokens, int power, std::int32_t pos) {
  Append(tokens, "^", TKoOperatorNode::Create(dtExtended, opPower), pos);
  TKoNodePtr exponent = TKoOperatorNode::CreateConstant(static_cast<long double>(power));
  if (NumberTexts) [[unlikely]]
    (*NumberTexts)[exponent.get()] = std::to_string(power);
  Append(tokens, "v", std::move(exponent), pos);
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
      if (const int power = SuperscriptAt(Text, pos)) {
        AppendPower(tokens, power, pos);
        pos += kSuperscriptWidth;
        PrevToken = "v";
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
  char c = Text[static_cast<std::size_t>(pos - 1)];
  token.assign(1, c);
  // the bytes of the character, more than one for a typed operator such as the sign ×
  std::int32_t width = 1;
  if (static_cast<unsigned char>(c) >= 0x80) {
    if (TKoNodePtr node = ReadTypedCharacter(pos, token, c, width)) return node;
    token.assign(1, c);
  }
  switch (c) {
    case '(':
    case ')':
      ++pos;
      return nullptr;
    case '*':
      pos += width;
      return TKoOperatorNode::Create(dtExtended, opProduct);
    case '/':
      pos += width;
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
      pos += width;
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

// What a keyboard or a document gives for the signs of a term: the dot and the cross as
// products, the division sign, the minus sign, pi and the root. Operators come back in c
// with their width, the others as their token; any other character is refused whole.
TKoNodePtr TKoMathRealTokenizer::ReadTypedCharacter(std::int32_t& pos, std::string& token, char& c,
                                                    std::int32_t& width) {
  const auto at = static_cast<std::size_t>(pos - 1);
  char32_t code = 0;
  const std::size_t length = Utf8CharAt(Text, at, code);
  const std::string typed = Text.substr(at, length == 0 ? 1 : length);
  width = static_cast<std::int32_t>(typed.size());
  switch (code) {
    case U'\u00B7':  // middle dot
    case U'\u00D7':  // multiplication sign
    case U'\u22C5':  // dot operator
      c = '*';
      return nullptr;
    case U'\u00F7':  // division sign
      c = '/';
      return nullptr;
    case U'\u2212':  // minus sign
      c = '-';
      return nullptr;
    case U'\u03C0':  // pi
      pos += width;
      token = "v";
      return TKoOperatorNode::CreateVariable(dtExtended, "Pi", VarDepot);
    case U'\u221A': {  // square root
      const TKoRealFunctionList& functions = SharedFunctionList();
      pos += width;
      token = "f";
      return TKoOperatorNode::Create(dtExtended,
                                     functions.FunctionCode(functions.IndexOfFunction("SQRT")));
    }
    default:
      ErrorPos = pos;
      throw EBadToken(kTextIllegalChar + typed);
  }
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
