#include "user_text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "text.h"

namespace tumelin {

namespace {

bool SameName(std::string_view a, std::string_view b) { return SameAsciiFolded(a, b); }

// "a, b or c"
std::string ListNames(const Names& names) {
  std::string list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  return list;
}

// from_chars takes no '+'; one before a digit or a point is allowed here
std::string_view WithoutPlus(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

// the one integer parser: the whole text must be the number. errc() when it
// is one, result_out_of_range when it is a whole number beyond int64
std::errc ParseDecimal(std::string_view text, int64_t* value) {
  const std::string_view digits = WithoutPlus(text);
  if (digits.empty()) return std::errc::invalid_argument;
  const char* end = digits.data() + digits.size();
  const std::from_chars_result result = std::from_chars(digits.data(), end, *value);
  if (result.ptr != end) return std::errc::invalid_argument;
  return result.ec;
}

// the one real parser: the whole text must be the number, in from_chars'
// general form (no '+', no blank, no hexadecimal; "inf" and "nan" read).
// errc() when it is one
std::errc ParseReal(std::string_view text, double* value) {
#ifdef TUMELIN_NO_FLOAT_CHARCONV
  // no floating-point from_chars here: strtod, which rounds correctly in
  // that runtime and reads '.' in its C locale, once the text has been held
  // to the same form
  const bool decimal = std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
  });
  const std::string_view word = text.substr(text.empty() || text[0] != '-' ? 0 : 1);
  const bool special = word == "inf" || word == "infinity" || word == "nan";
  if (text.empty() || text[0] == '+' || !(decimal || special)) return std::errc::invalid_argument;
  const std::string terminated(text);
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(terminated.c_str(), &end);
  if (end != terminated.c_str() + terminated.size()) return std::errc::invalid_argument;
  return errno == ERANGE ? std::errc::result_out_of_range : std::errc();
#else
  const char* end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, *value);
  if (result.ptr != end) return std::errc::invalid_argument;
  return result.ec;
#endif
}

}  // namespace

int FindName(const Names& names, std::string_view text) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (SameName(names[i], text)) return static_cast<int>(i);
  }
  return -1;
}

int NearestName(const Names& names, std::string_view text) {
  int best = -1;
  size_t bestDistance = std::max<size_t>(1, text.size() / 4) + 1;
  for (size_t n = 0; n < names.size(); ++n) {
    // edit distance, one row at a time
    const std::string_view name = names[n];
    std::vector<size_t> row(name.size() + 1);
    for (size_t j = 0; j <= name.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= text.size(); ++i) {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= name.size(); ++j) {
        const size_t above = row[j];
        const size_t change = AsciiLower(text[i - 1]) == AsciiLower(name[j - 1]) ? 0 : 1;
        row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + change});
        diagonal = above;
      }
    }
    if (row[name.size()] < bestDistance) bestDistance = row[name.size()], best = static_cast<int>(n);
  }
  return best;
}

std::string Count(long long n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string UnknownName(std::string_view setting, const Names& names, std::string_view text) {
  return "unknown " + std::string(setting) + " '" + std::string(text) + "' (choose " + ListNames(names) + ")";
}

bool ReadWhole(std::string_view setting, std::string_view text, int64_t lo, int64_t hi, int64_t* value,
               std::string* error) {
  int64_t number = 0;
  const std::errc ec = ParseDecimal(text, &number);
  if (ec == std::errc::invalid_argument) {
    *error = std::string(setting) + " must be a whole number, not '" + std::string(text) + "'";
    return false;
  }
  if (ec != std::errc() || number < lo || number > hi) {
    *error = std::string(setting) + " must " +
             (hi == std::numeric_limits<int64_t>::max()
                  ? "be " + std::to_string(lo) + " or more"
                  : "lie between " + std::to_string(lo) + " and " + std::to_string(hi)) +
             ", not " + std::string(text);
    return false;
  }
  *value = number;
  return true;
}

bool ReadReal(std::string_view setting, std::string_view text, double* value, std::string* error) {
  const std::string_view digits = WithoutPlus(text);
  double number = 0.0;
  // "inf" and "nan" read as numbers; beyond the double range is an error
  if (digits.empty() || ParseReal(digits, &number) != std::errc() || !std::isfinite(number)) {
    *error = std::string(setting) + " must be a number with '.' as its decimal point, not '" +
             std::string(text) + "'";
    return false;
  }
  *value = number;
  return true;
}

bool ReadPointList(std::string_view setting, std::string_view text, std::vector<int32_t>* points,
                   std::string* error) {
  std::vector<int32_t> list;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string_view item = TrimBlanks(text.substr(start, comma - start));
    int64_t index = 0;
    // an empty item (",," or a comma at either end) is no index either
    if (ParseDecimal(item, &index) != std::errc() || index < 0 ||
        index > std::numeric_limits<int32_t>::max()) {
      *error = std::string(setting) + " must list point indices separated by commas, not '" +
               std::string(text) + "'";
      return false;
    }
    list.push_back(static_cast<int32_t>(index));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  *points = std::move(list);
  return true;
}

bool ParseImageSize(std::string_view text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string_view::npos) return false;
  int64_t w = 0, h = 0;
  if (ParseDecimal(text.substr(0, x), &w) != std::errc() ||
      ParseDecimal(text.substr(x + 1), &h) != std::errc())
    return false;
  if (w < kMinImageSide || h < kMinImageSide || w > kMaxImageSide || h > kMaxImageSide) return false;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace tumelin
