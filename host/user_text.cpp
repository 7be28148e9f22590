#include "user_text.h"

#include <charconv>
#include <system_error>

namespace tumelin {

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
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

}  // namespace

int FindName(const Names& names, std::string_view text) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (SameName(names[i], text)) return static_cast<int>(i);
  }
  return -1;
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

}  // namespace tumelin
