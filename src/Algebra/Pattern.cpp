// Levels whose numbers follow a polynomial: x*exp(x) derives to (x+n)*exp(x), x^2*sin(x) to
// a sum whose shape repeats every four levels and whose coefficients grow like n^2. The
// level asked for is then written down without running the levels before it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Algebra/Algebra.hpp"

namespace algebra {

namespace {

// Levels of one shape a pattern is taken from, and the largest degree of its numbers: the
// differences beyond the degree vanish at least kLevelsSeen - kLargestDegree - 1 = 5 times
// (x^6*exp(x) has coefficients of degree 6 in the level).
constexpr std::size_t kLevelsSeen = 12;
constexpr std::size_t kLargestDegree = 6;
constexpr std::int64_t kLongestPeriod = 4;
// Digits an extrapolated number may have: beyond them it has no extended value.
constexpr std::size_t kMostDigits = 4900;

// A number of a text and what it may become: a signed one carries the + or - before it; an
// unsigned one must stay at least 0, and above 0 where it divides.
struct Place {
  bool Signed = false;
  bool Divides = false;
};

// A level's text as its numbers and the text between them.
struct Shape {
  std::vector<std::string> Between;  // one more than numbers
  std::vector<Place> Places;
  std::vector<mpz_class> Numbers;
};

bool IsNamePart(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// None where a number is no whole number (a float or one with an exponent).
std::optional<Shape> ShapeOf(const std::string& text) {
  Shape shape;
  std::string between;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const bool startsNumber =
        std::isdigit(static_cast<unsigned char>(c)) != 0 && (i == 0 || !IsNamePart(text[i - 1]));
    if (!startsNumber) {
      between += c;
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
    if (end < text.size() &&
        (text[end] == '.' || text[end] == 'E' || text[end] == 'e' || IsNamePart(text[end])))
      return std::nullopt;
    Place place;
    mpz_class number(text.substr(i, end - i));
    // A sign between two terms belongs to the number after it.
    const std::size_t n = between.size();
    if (n >= 2 && (between[n - 1] == '+' || between[n - 1] == '-') &&
        (IsNamePart(between[n - 2]) || between[n - 2] == ')')) {
      place.Signed = true;
      if (between.back() == '-') number = -number;
      between.pop_back();
    }
    place.Divides = !between.empty() && between.back() == '/';
    shape.Between.push_back(between);
    between.clear();
    shape.Places.push_back(place);
    shape.Numbers.push_back(number);
    i = end;
  }
  shape.Between.push_back(between);
  return shape;
}

bool SameShape(const Shape& a, const Shape& b) {
  if (a.Between != b.Between || a.Places.size() != b.Places.size()) return false;
  for (std::size_t k = 0; k < a.Places.size(); ++k)
    if (a.Places[k].Signed != b.Places[k].Signed || a.Places[k].Divides != b.Places[k].Divides)
      return false;
  return true;
}

mpz_class Binomial(const mpz_class& t, std::size_t k) {
  mpz_class result = 1;
  for (std::size_t j = 0; j < k; ++j) result = result * (t - static_cast<long>(j)) / (j + 1);
  return result;
}

// The value at step t of a sequence whose differences beyond some degree vanish, from its
// first values; none where they do not.
std::optional<mpz_class> Continued(const std::vector<mpz_class>& values, const mpz_class& t) {
  std::vector<mpz_class> differences = values;
  std::vector<mpz_class> leading;
  for (std::size_t degree = 0; degree <= kLargestDegree + 1; ++degree) {
    bool zero = true;
    for (const mpz_class& d : differences) zero = zero && d == 0;
    if (zero) {
      mpz_class sum = 0;
      for (std::size_t k = 0; k < leading.size(); ++k) sum += leading[k] * Binomial(t, k);
      return sum;
    }
    if (degree == kLargestDegree + 1) break;
    leading.push_back(differences[0]);
    for (std::size_t k = 0; k + 1 < differences.size(); ++k)
      differences[k] = differences[k + 1] - differences[k];
    differences.pop_back();
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ExtrapolatedLevel(const std::vector<std::string>& texts,
                                             std::int64_t target) {
  const auto seen = static_cast<std::int64_t>(texts.size());
  if (target <= seen) return std::nullopt;
  for (std::int64_t period = 1; period <= kLongestPeriod; ++period) {
    // The last kLevelsSeen levels of target's class, lowest first (level n is texts[n-1]).
    std::int64_t last = seen - ((seen - target) % period + period) % period;
    if (last - (static_cast<std::int64_t>(kLevelsSeen) - 1) * period < 1) continue;
    std::vector<Shape> shapes;
    for (std::size_t k = 0; k < kLevelsSeen; ++k) {
      const std::int64_t levelNumber =
          last -
          (static_cast<std::int64_t>(kLevelsSeen) - 1 - static_cast<std::int64_t>(k)) * period;
      std::optional<Shape> shape = ShapeOf(texts[static_cast<std::size_t>(levelNumber - 1)]);
      if (!shape || (!shapes.empty() && !SameShape(*shape, shapes.front()))) break;
      shapes.push_back(std::move(*shape));
    }
    if (shapes.size() != kLevelsSeen) continue;
    const std::int64_t first = last - (static_cast<std::int64_t>(kLevelsSeen) - 1) * period;
    const mpz_class t = mpz_class(std::to_string((target - first) / period));
    const Shape& pattern = shapes.front();
    std::string text = pattern.Between[0];
    bool fits = true;
    for (std::size_t place = 0; fits && place < pattern.Places.size(); ++place) {
      std::vector<mpz_class> values;
      values.reserve(shapes.size());
      for (const Shape& s : shapes) values.push_back(s.Numbers[place]);
      const std::optional<mpz_class> value = Continued(values, t);
      const Place& where = pattern.Places[place];
      fits = value && mpz_sizeinbase(value->get_mpz_t(), 10) <= kMostDigits &&
             (where.Signed || *value >= 0) && (!where.Divides || *value != 0);
      if (!fits) break;
      if (where.Signed) text += *value < 0 ? "-" : "+";
      text += mpz_class(abs(*value)).get_str() + pattern.Between[place + 1];
    }
    if (fits) return text;
  }
  return std::nullopt;
}

}  // namespace algebra
