#include "util/util.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

char DecimalSeparator = '.';

void RaiseInvalidArgument() {
  throw EInvalidArgument(kTextInvalidArgument);
}

const char* FloatFailureText(int flags, long double r) {
  if (flags & FE_INVALID) return kTextInvalidOp;
  if (flags & FE_DIVBYZERO) return kTextZeroDivide;
  if (flags & FE_OVERFLOW) return kTextOverflow;
  // No flag: an operand was already infinite or not a number.
  return std::isnan(r) ? kTextInvalidOp : kTextOverflow;
}

void RaiseFloatFailure(int flags, long double r) {
  const char* text = FloatFailureText(flags, r);
  if (text == kTextInvalidOp) throw EInvalidOp(text);
  if (text == kTextZeroDivide) throw EZeroDivide(text);
  throw EOverflow(text);
}

std::int32_t DataTypeSize(TDataType dataType) {
  switch (dataType) {
    case dtByte:
    case dtShort:
      return 1;
    case dtWord:
    case dtSmall:
      return 2;
    case dtLong:
    case dtSingle:
      return 4;
    case dtInt64:
    case dtComp:
    case dtReal:
    case dtDouble:
      return 8;
    case dtExtended:
      return 10;
  }
  return 0;
}

namespace {

// Scientific text with a fixed number of decimals and exponent digits, such as
// 3.1415926535897932E+0000; the printf conversion rounds correctly.
std::string ScientificText(long double v, int decimals, int expDigits) {
  if (std::isnan(v)) return "Nan";
  if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.*Le", decimals, v);
  std::string s(buf);
  const auto e = s.find('e');
  std::string mantissa = s.substr(0, e);
  const char sign = s[e + 1];
  std::string digits = s.substr(e + 2);
  while (static_cast<int>(digits.size()) < expDigits) digits.insert(digits.begin(), '0');
  return mantissa + "E" + sign + digits;
}

bool ScanInteger(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return false;
    v = v * 10 + (text[i] - '0');
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

std::string DataToText(const void* value, TDataType dataType) {
  std::string s;
  switch (dataType) {
    case dtByte:
      return std::to_string(Load<std::uint8_t>(value));
    case dtWord:
      return std::to_string(Load<std::uint16_t>(value));
    case dtShort:
      return std::to_string(Load<std::int8_t>(value));
    case dtSmall:
      return std::to_string(Load<std::int16_t>(value));
    case dtLong:
      return std::to_string(Load<std::int32_t>(value));
    case dtInt64:
      return std::to_string(Load<std::int64_t>(value));
    case dtComp:
      s = ScientificText(static_cast<long double>(Load<std::int64_t>(value)), 14, 4);
      break;
    case dtSingle:
      s = ScientificText(Load<float>(value), 9, 2);
      break;
    case dtReal:
    case dtDouble:
      s = ScientificText(Load<double>(value), 14, 3);
      break;
    case dtExtended:
      s = ScientificText(Load<long double>(value), 16, 4);
      break;
  }
  NiceFloatText(s);
  return s;
}

namespace {

// Exponent form: strips the exponent's leading zeros and the mantissa's trailing zeros. ePos
// is the place of the "E", p the 1-based place of the first point (0: none).
void StripExponentForm(std::string& s, std::size_t ePos, long p) {
  std::size_t d = ePos + 1;
  if (d < s.size() && (s[d] == '+' || s[d] == '-')) ++d;
  std::size_t z = d;
  while (z < s.size() && s[z] == '0') ++z;
  if (z == s.size()) {
    s.erase(d);
    if (!s.empty() && s.back() == '0') {
      s.erase(ePos);
    } else {
      s.push_back('0');
    }
  } else {
    s.erase(d, z - d);
  }
  const auto ePos2 = s.find('E');
  const std::size_t mantEnd = ePos2 == std::string::npos ? s.size() : ePos2;
  if (p > 0 && static_cast<std::size_t>(p - 1) < mantEnd) {
    std::size_t last = mantEnd;
    while (last > static_cast<std::size_t>(p) && s[last - 1] == '0') --last;
    if (last == static_cast<std::size_t>(p)) last = static_cast<std::size_t>(p - 1);
    s.erase(last, mantEnd - last);
  }
  if (!s.empty() && s.back() == '.') s.pop_back();
}

}  // namespace

void NiceFloatText(std::string& text) {
  std::string s = Trim(text);
  const bool negative = !s.empty() && s[0] == '-';
  const auto ePos = s.find('E');
  if (ePos != std::string::npos) {
    // 1-based positions as in the rule: e of the "E", p of the first point (0: none).
    const long e = static_cast<long>(ePos) + 1;
    const auto pPos = s.find('.');
    const long p = pPos == std::string::npos ? 0 : static_cast<long>(pPos) + 1;
    const std::string expText = s.substr(ePos + 1);
    std::int64_t x = 0;
    const bool plainPossible = p > 0 && p <= e && expText.find('.') == std::string::npos &&
                               ScanInteger(expText, x) && x >= INT32_MIN && x <= INT32_MAX;
    bool done = false;
    if (plainPossible && x >= 0 && x < e - p) {
      s.erase(static_cast<std::size_t>(p - 1), 1);
      s.insert(static_cast<std::size_t>(p - 1 + x), 1, '.');
      s.erase(static_cast<std::size_t>(e - 1));
      while (!s.empty() && s.back() == '0' && s.find('.') != std::string::npos) s.pop_back();
      if (!s.empty() && s.back() == '.') s.pop_back();
      done = true;
    } else if (plainPossible && x >= -3 && x <= -1) {
      s.erase(static_cast<std::size_t>(e - 1));
      s.erase(static_cast<std::size_t>(p - 1), 1);
      if (negative) s.erase(0, 1);
      s.insert(0, static_cast<std::size_t>(-x), '0');
      if (negative) s.insert(0, 1, '-');
      s.insert(static_cast<std::size_t>(p - 1), 1, '.');
      while (!s.empty() && s.back() == '0') s.pop_back();
      if (!s.empty() && s.back() == '.') s.pop_back();
      done = true;
    }
    if (!done) StripExponentForm(s, ePos, p);
  }
  if (s == "-0") s = "0";
  text = s;
}

std::size_t Utf8CharAt(const std::string& text, std::size_t i, char32_t& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0FU;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07U;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0U) != 0x80U) return 0;
    value = (value << 6) | (next & 0x3FU);
  }
  // overlong forms, surrogates and codes past the last one are no characters
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < least[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
  code = value;
  return length;
}

bool ScanNumber(const std::string& text, long double& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  // The syntax is checked above; the C library only converts (the "C" locale is never changed).
  const long double v = std::strtold(text.c_str(), nullptr);
  if (std::isinf(v)) return false;
  value = v;
  return true;
}

void TextToData(const std::string& text, void* value, TDataType dataType) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const std::string body = text.substr(i);
  long double f = 0;
  if (!ScanNumber(body, f)) f = 0;
  std::int64_t w = 0;
  if (!ScanInteger(body, w)) w = 0;
  switch (dataType) {
    case dtByte:
      Store(value, static_cast<std::uint8_t>(w));
      break;
    case dtWord:
      Store(value, static_cast<std::uint16_t>(w));
      break;
    case dtShort:
      Store(value, static_cast<std::int8_t>(w));
      break;
    case dtSmall:
      Store(value, static_cast<std::int16_t>(w));
      break;
    case dtLong:
      Store(value, static_cast<std::int32_t>(w));
      break;
    case dtInt64:
      Store(value, w);
      break;
    case dtComp:
      Store(value, static_cast<std::int64_t>(std::llroundl(f)));
      break;
    case dtSingle:
      Store(value, static_cast<float>(f));
      break;
    case dtReal:
    case dtDouble:
      Store(value, static_cast<double>(f));
      break;
    case dtExtended:
      Store(value, f);
      break;
  }
}

std::int64_t RoundHalfUp(double x) {
  const double s = x + 0.5;
  // Beyond the 64-bit range the whole number saturates instead of wrapping.
  if (!(s > -9.2233720368547758e18)) return std::numeric_limits<std::int64_t>::min();
  if (!(s < 9.2233720368547758e18)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(s);
}

std::string BoolDigit(bool b) {
  return b ? "1" : "0";
}

std::string GeneralNumberText(long double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*Lg", digits, v);
  std::string s(buf);
  const auto e = s.find('e');
  if (e == std::string::npos) return s;
  // 1.5e+20 as 1.5E+20, without the exponent's leading zeros.
  std::string exponent = s.substr(e + 2);
  while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
  return s.substr(0, e) + "E" + s[e + 1] + exponent;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

namespace {

char UpperCaseLetter(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string UpperCase(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = UpperCaseLetter(c);
  return r;
}

bool EqualsUpperCase(const std::string& name, const std::string& upper) {
  if (name.size() != upper.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (UpperCaseLetter(name[i]) != upper[i]) return false;
  return true;
}

namespace {

TProgressHook gProgressHook = nullptr;
int gProgressDepth = 0;

}  // namespace

void SetProgressHook(TProgressHook hook) {
  gProgressHook = hook;
}

TProgress::TProgress() : Outermost(gProgressDepth++ == 0) {
  Report(0);
}

TProgress::~TProgress() {
  Report(1);
  --gProgressDepth;
}

void TProgress::Report(double fraction) const {
  if (Outermost && gProgressHook) gProgressHook(fraction);
}
