#include "ini_file.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "plugin_loader.h"
#include "profile_reader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace tumelin {

namespace {

// a buffer no value outgrows: for telling whether the plug-in's was too small
constexpr size_t kWholeValueChars = std::numeric_limits<size_t>::max();

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
  return text.substr(a, b - a);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Quote(char c) {
  if (c == '\t') return "a tab";
  return std::string("'") + c + "'";
}

// the opening both number rules share: empty text is malformed and blanks
// before the number are skipped; false when that already decides the verdict
bool SkipToNumber(const std::string& text, Verdict* verdict, size_t* i) {
  if (text.empty()) {
    verdict->reason = "empty value";
    return false;
  }
  *i = 0;
  while (*i < text.size() && text[*i] == ' ') ++*i;
  return true;
}

}  // namespace

bool IniFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  profilePath_ = PathForPlugin(path);
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::u8path(path);
  if (!std::filesystem::is_regular_file(file, ec) || !std::ifstream(file, std::ios::binary)) {
    *error = "INI file not found or unreadable: " + path;
    return false;
  }
  return true;
}

std::string IniFile::Text(std::u16string_view section, std::u16string_view key, size_t bufferChars) const {
  return Utf16ToUtf8(ReadProfileString(profilePath_, section, key, bufferChars));
}

char UserDecimalSeparator() {
#ifdef _WIN32
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 0 && buffer[0] > 0 &&
      buffer[0] < 0x80) {
    return static_cast<char>(buffer[0]);
  }
  return '.';
#else
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, user);
  const char result = radix != nullptr && radix[0] != 0 ? radix[0] : '.';
  freelocale(user);
  return result;
#endif
}

Verdict JudgeReal(const std::string& text, char separator) {
  Verdict verdict;
  size_t i = 0;
  if (!SkipToNumber(text, &verdict, &i)) return verdict;
  const size_t n = text.size();
  std::string normal;  // the same number in C notation
  if (i < n && (text[i] == '+' || text[i] == '-')) normal.push_back(text[i++]);
  bool consumed = false;
  while (i < n && IsDigit(text[i])) normal.push_back(text[i++]), consumed = true;
  if (i < n && text[i] == separator) {
    ++i;
    consumed = true;
    normal.push_back('.');
    while (i < n && IsDigit(text[i])) normal.push_back(text[i++]);
  }
  bool ok = consumed;
  if (ok && i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    std::string exponent = "e";
    if (i < n && (text[i] == '+' || text[i] == '-')) exponent.push_back(text[i++]);
    // exponent digits stop once the magnitude reaches 500
    long magnitude = 0;
    while (i < n && IsDigit(text[i]) && magnitude < 500) {
      magnitude = magnitude * 10 + (text[i] - '0');
      exponent.push_back(text[i++]);
    }
    if (exponent.size() == 1 || !IsDigit(exponent.back())) exponent += "0";
    normal += exponent;
  }
  const size_t stop = i;
  while (i < n && text[i] == ' ') ++i;
  if (ok && i == n) {
    verdict.wellFormed = true;
    if (normal == "." || normal == "+." || normal == "-.") normal.insert(normal.size() - 1, "0");
    verdict.value = std::strtod(normal.c_str(), nullptr);
    return verdict;
  }

  // malformed: name the likeliest cause
  const char other = separator == '.' ? ',' : '.';
  if (text.find(other) != std::string::npos) {
    std::string swapped = text;
    for (char& c : swapped) {
      if (c == other) c = separator;
    }
    if (text.find(separator) == std::string::npos && JudgeReal(swapped, separator).wellFormed) {
      verdict.reason = std::string(other == ',' ? "decimal comma" : "decimal point") +
                       ", but the plug-in's decimal separator is '" + separator + "'";
    } else {
      verdict.reason = "thousands separator or second separator";
    }
    return verdict;
  }
  const std::string lower = Lower(Trim(text));
  const size_t start = lower.find_first_not_of("+- ");
  if (start != std::string::npos &&
      (lower.compare(start, 3, "inf") == 0 || lower.compare(start, 3, "nan") == 0)) {
    verdict.reason = "INF and NAN are not numbers here";
  } else if (start != std::string::npos && (lower.compare(start, 2, "0x") == 0 || lower[start] == '$')) {
    verdict.reason = "hexadecimal is not accepted for reals";
  } else if (!consumed) {
    verdict.reason = "no digits";
  } else {
    verdict.reason = "unexpected " + Quote(text[stop]) + " at column " + std::to_string(stop + 1);
  }
  return verdict;
}

Verdict JudgeInteger(const std::string& text) {
  Verdict verdict;
  size_t i = 0;
  if (!SkipToNumber(text, &verdict, &i)) return verdict;
  const size_t n = text.size();
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const size_t digitsStart = i;
  uint64_t magnitude = 0;
  bool overflow = false;
  while (i < n && (hex ? std::isxdigit(static_cast<unsigned char>(text[i])) != 0 : IsDigit(text[i]))) {
    const char c = text[i++];
    const unsigned digit = IsDigit(c) ? unsigned(c - '0') : unsigned(std::tolower(c) - 'a' + 10);
    magnitude = magnitude * (hex ? 16u : 10u) + digit;
    if (magnitude > 0xFFFFFFFFull) overflow = true, magnitude = 0x100000000ull;
  }
  if (i == digitsStart) {
    verdict.reason = "no digits";
  } else if (i < n) {
    const char c = text[i];
    if (c == '.' || c == ',')
      verdict.reason = "not a whole number";
    else if (c == ' ')
      verdict.reason = "a blank after the digits";
    else
      verdict.reason = "unexpected " + Quote(c) + " at column " + std::to_string(i + 1);
  } else if (hex ? overflow : (negative ? magnitude > 2147483648ull : magnitude > 2147483647ull)) {
    verdict.reason = "outside the 32-bit integer range";
  } else {
    verdict.wellFormed = true;
    const int64_t signedMagnitude =
        hex ? static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(magnitude)))
            : int64_t(magnitude);
    verdict.value = static_cast<double>(negative ? -signedMagnitude : signedMagnitude);
  }
  return verdict;
}

std::string FormatDouble(double value) {
  char buffer[40];
  // whole numbers as integers, not 5e+02
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char separator) {
  struct Key {
    const char16_t* name;
    bool real;
    double defaultValue;
    double storedValue;
  };
  // in the order the plug-in reads them
  const Key keys[] = {
      {u"ClothP", true, 0.5, stored.ClothP},
      {u"ClothC", true, 1.0, stored.ClothC},
      {u"ClothK0", true, 5.0, stored.ClothK0},
      {u"ClothK1", true, 5.0, stored.ClothK1},
      {u"ClothT0", false, 500.0, static_cast<double>(stored.ClothT0)},
      {u"ClothMethod", false, 0.0, static_cast<double>(stored.ClothMethod)},
  };
  std::vector<SettingLine> lines;
  for (const Key& key : keys) {
    SettingLine line;
    line.key = Utf16ToUtf8(key.name);
    line.stored = FormatDouble(key.storedValue);
    line.text = ini.Text(u"Setup", key.name);
    line.present = !line.text.empty();
    const std::string dflt = FormatDouble(key.defaultValue);
    const Verdict v = key.real ? JudgeReal(line.text, separator) : JudgeInteger(line.text);
    if (v.wellFormed) {
      line.note = "read from the file";
      if (ini.Text(u"Setup", key.name, kWholeValueChars) != line.text) {
        line.note += " (cut to the characters the plug-in's buffer holds)";
      }
      // the plug-in disagrees with the host's reading of the rule
      const double scale = std::fabs(v.value) > 1.0 ? std::fabs(v.value) : 1.0;
      if (!(std::fabs(v.value - key.storedValue) <= 1e-15 * scale) &&
          !(std::isinf(v.value) && v.value == key.storedValue)) {
        line.note +=
            "; NOTE the text reads " + FormatDouble(v.value) + " but the plug-in stored another value";
      }
    } else {
      // a missing section, a missing key and an empty value read alike
      line.note = "default " + dflt + ": " + (line.present ? v.reason : "key missing or empty");
      if (key.storedValue != key.defaultValue) line.note += "; NOTE the plug-in stored a value anyway";
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tumelin
