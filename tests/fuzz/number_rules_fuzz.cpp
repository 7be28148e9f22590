// The float and integer rules against an oracle of their own: a regular
// expression decides whether a text is well formed, and the C library
// converts the digits the expression captured. Every accepted text must carry
// the correctly rounded value of its digits, every rejected one must break
// the expression (or lie beyond the field's range).
//
// Input: byte 0 picks the decimal separator, every further byte is one UTF-16
// character (bytes 0x80 and up stand for characters beyond ASCII, the Arabic
// decimal separator among them).
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "setup_rules.h"

namespace {

using namespace tumelin;

[[noreturn]] void Fail(const char* what) {
  __builtin_printf("number rules: %s\n", what);
  std::abort();
}

constexpr char16_t kSeparators[] = {u'.', u',', u'\u066B'};

char16_t Character(uint8_t byte) {
  if (byte < 0x80) return byte;
  // beyond ASCII: a few that look like blanks, separators or digits
  constexpr char16_t kWide[] = {u'\u00A0', u'\u066B', u'\u0660', u'\u2009', u'\uFF10', u'\u00B7'};
  return kWide[byte % 6];
}

// the text as narrow characters for the expressions: the separator becomes
// 'S', any other character that is not ASCII or that is an 'S' becomes '#',
// which no expression takes
std::string Narrow(const std::u16string& text, char16_t separator) {
  std::string out;
  for (const char16_t c : text) {
    if (c == separator) {
      out.push_back('S');
    } else if (c >= 0x80 || c == u'S' || c == 0) {
      out.push_back('#');
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// value of a digit string, saturated at 100000
long DigitsValue(const std::string& digits) {
  long value = 0;
  for (const char d : digits) value = std::min(value * 10 + (d - '0'), 100000L);
  return value;
}

void CheckFloat(const std::u16string& text, char16_t separator) {
  const NumberVerdict verdict = JudgeFloat(text, separator);
  if (text.empty()) {
    if (verdict.kind != VerdictKind::kEmpty) Fail("empty float text not reported empty");
    return;
  }
  static const std::regex kForm(" *([+-]?)([0-9]*)(S([0-9]*))?(([eE])([+-]?)([0-9]*))? *");
  std::smatch m;
  const std::string narrow = Narrow(text, separator);
  bool wellFormed = std::regex_match(narrow, m, kForm) && (m[2].length() > 0 || m[3].matched);
  // exponent digits are read while the magnitude so far is below 500: all of
  // them are read when the digits before the last one stay below 500
  if (wellFormed && m[8].length() > 1) {
    const std::string exponentDigits = m[8].str();
    if (DigitsValue(exponentDigits.substr(0, exponentDigits.size() - 1)) >= 500) wellFormed = false;
  }
  if (!wellFormed) {
    if (verdict.kind != VerdictKind::kMalformed) Fail("float text breaks the form but was not rejected");
    return;
  }
  const long exponent = (m[7].str() == "-" ? -1 : 1) * DigitsValue(m[8].str());
  const std::string decimal =
      m[1].str() + (m[2].length() > 0 ? m[2].str() : "0") + "." + m[4].str() + "e" + std::to_string(exponent);
  const double expected = std::strtod(decimal.c_str(), nullptr);
  if (std::isinf(expected)) {
    if (verdict.kind != VerdictKind::kOutOfRange) Fail("float beyond the double range not out of range");
    return;
  }
  if (!verdict.Accepted()) Fail("well-formed float rejected");
  if (std::memcmp(&verdict.real, &expected, sizeof expected) != 0) Fail("float not correctly rounded");
}

void CheckInteger(const std::u16string& text) {
  const NumberVerdict verdict = JudgeInteger(text);
  if (text.empty()) {
    if (verdict.kind != VerdictKind::kEmpty) Fail("empty integer text not reported empty");
    return;
  }
  static const std::regex kForm(" *([+-]?)(?:(\\$|0[xX]|[xX])([0-9A-Fa-f]+)|([0-9]+))");
  std::smatch m;
  const std::string narrow = Narrow(text, 0xFFFF);
  if (!std::regex_match(narrow, m, kForm)) {
    if (verdict.kind != VerdictKind::kMalformed) Fail("integer text breaks the form but was not rejected");
    return;
  }
  const bool negative = m[1].str() == "-";
  const std::string digits = m[2].matched ? m[3].str() : m[4].str();
  const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
  const std::string significant = digits.substr(first);
  bool inRange;
  int32_t expected = 0;
  if (m[2].matched) {
    uint32_t bits = 0;
    inRange = significant.size() <= 8;
    if (inRange) std::from_chars(significant.data(), significant.data() + significant.size(), bits, 16);
    expected = static_cast<int32_t>(negative ? 0u - bits : bits);
  } else {
    int64_t magnitude = 0;
    if (significant.size() <= 11) {
      std::from_chars(significant.data(), significant.data() + significant.size(), magnitude);
    } else {
      magnitude = INT64_MAX;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    inRange = value >= INT32_MIN && value <= INT32_MAX;
    expected = inRange ? static_cast<int32_t>(value) : 0;
  }
  if (!inRange) {
    if (verdict.kind != VerdictKind::kOutOfRange) Fail("integer beyond 32 bits not out of range");
    return;
  }
  if (!verdict.Accepted()) Fail("well-formed integer rejected");
  if (verdict.integer != expected) Fail("integer has the wrong value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // the expressions recurse per character; longer texts add nothing new
  if (size == 0 || size > 1024) return 0;
  const char16_t separator = kSeparators[data[0] % 3];
  std::u16string text;
  for (std::size_t i = 1; i < size; ++i) text.push_back(Character(data[i]));
  CheckFloat(text, separator);
  CheckInteger(text);
  return 0;
}
