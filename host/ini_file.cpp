#include "ini_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace tumelin {

namespace {

constexpr size_t kMaxValueChars = 2047;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t' || text[a] == '\r')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t' || text[b - 1] == '\r')) --b;
  return text.substr(a, b - a);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Quote(char c) {
  if (c == '\t') return "a tab";
  return std::string("'") + c + "'";
}

}  // namespace

bool IniFile::Load(const std::string& path, std::string* error) {
  path_ = path;
  sections_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "INI file not found or unreadable: " + path;
    return false;
  }
  std::string line, section;
  bool first = true;
  while (std::getline(in, line)) {
    // a UTF-8 byte order mark on the first line
    if (first && line.size() >= 3 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      const size_t close = t.find(']');
      if (close != std::string::npos) {
        section = Lower(Trim(t.substr(1, close - 1)));
        sections_[section];
      }
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos || section.empty()) continue;
    std::string value = Trim(t.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    sections_[section].emplace_back(Lower(Trim(t.substr(0, eq))), value);
  }
  return true;
}

bool IniFile::HasSection(const std::string& section) const { return sections_.count(Lower(section)) != 0; }

const std::string* IniFile::Find(const std::string& section, const std::string& key) const {
  auto it = sections_.find(Lower(section));
  if (it == sections_.end()) return nullptr;
  const std::string wanted = Lower(key);
  for (const auto& entry : it->second) {
    if (entry.first == wanted) return &entry.second;
  }
  return nullptr;
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

Verdict JudgeReal(const std::string& fullText, char separator) {
  Verdict verdict;
  const std::string text = fullText.substr(0, kMaxValueChars);
  if (text.empty()) {
    verdict.reason = "empty value";
    return verdict;
  }
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
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

Verdict JudgeInteger(const std::string& fullText) {
  Verdict verdict;
  const std::string text = fullText.substr(0, kMaxValueChars);
  if (text.empty()) {
    verdict.reason = "empty value";
    return verdict;
  }
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
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
    const char* name;
    bool real;
    double defaultValue;
    double storedValue;
  };
  // in the order the plug-in reads them
  const Key keys[] = {
      {"ClothP", true, 0.5, stored.ClothP},
      {"ClothC", true, 1.0, stored.ClothC},
      {"ClothK0", true, 5.0, stored.ClothK0},
      {"ClothK1", true, 5.0, stored.ClothK1},
      {"ClothT0", false, 500.0, static_cast<double>(stored.ClothT0)},
      {"ClothMethod", false, 0.0, static_cast<double>(stored.ClothMethod)},
  };
  const bool hasSection = ini.HasSection("Setup");
  std::vector<SettingLine> lines;
  for (const Key& key : keys) {
    SettingLine line;
    line.key = key.name;
    line.stored = FormatDouble(key.storedValue);
    const std::string* text = ini.Find("Setup", key.name);
    const std::string dflt = FormatDouble(key.defaultValue);
    if (text == nullptr) {
      line.note = std::string("default ") + dflt + (hasSection ? ": key missing" : ": no section [Setup]");
    } else {
      line.present = true;
      line.text = *text;
      const Verdict v = key.real ? JudgeReal(*text, separator) : JudgeInteger(*text);
      if (v.wellFormed) {
        line.note = "read from the file";
        if (text->size() > kMaxValueChars) line.note += " (cut to its first 2047 characters)";
        // the plug-in disagrees with the host's reading of the rule
        const double scale = std::fabs(v.value) > 1.0 ? std::fabs(v.value) : 1.0;
        if (!(std::fabs(v.value - key.storedValue) <= 1e-15 * scale) &&
            !(std::isinf(v.value) && v.value == key.storedValue)) {
          line.note +=
              "; NOTE the text reads " + FormatDouble(v.value) + " but the plug-in stored another value";
        }
      } else {
        line.note = "default " + dflt + ": " + v.reason;
        if (key.storedValue != key.defaultValue) line.note += "; NOTE the plug-in stored a value anyway";
      }
    }
    lines.push_back(line);
  }
  return lines;
}

namespace {

bool ReadNumber(const IniFile& ini, const char* key, double* out, std::string* error) {
  const std::string* text = ini.Find("Membrane", key);
  if (text == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text->c_str(), &end);
  if (text->empty() || end == text->c_str() || *end != 0 || errno == ERANGE || !std::isfinite(value)) {
    *error = ini.Path() + ": [Membrane] " + key + " must be a number, not '" + *text + "'";
    return false;
  }
  *out = value;
  return true;
}

bool ReadWhole(const IniFile& ini, const char* key, int64_t* out, std::string* error) {
  const std::string* text = ini.Find("Membrane", key);
  if (text == nullptr) return true;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text->c_str(), &end, 10);
  if (text->empty() || end == text->c_str() || *end != 0 || errno == ERANGE || value < INT32_MIN ||
      value > INT32_MAX) {
    *error = ini.Path() + ": [Membrane] " + key + " must be a whole number, not '" + *text + "'";
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

bool ReadMembraneSection(const IniFile& ini, MembraneParams* params, ScenarioKeys* keys, std::string* error) {
  if (const std::string* shape = ini.Find("Membrane", "Shape")) {
    if (!ParseShape(Lower(*shape), &params->shape)) {
      *error = ini.Path() + ": [Membrane] Shape must be sphere, torus, sheet or tube, not '" + *shape + "'";
      return false;
    }
  }
  if (const std::string* pin = ini.Find("Membrane", "Pin")) {
    if (!ParsePin(Lower(*pin), &params->pin)) {
      *error = ini.Path() +
               ": [Membrane] Pin must be none, pole, poles, ring, ends, border, corners or points, not '" +
               *pin + "'";
      return false;
    }
  }
  if (const std::string* winding = ini.Find("Membrane", "Winding")) {
    const std::string w = Lower(*winding);
    if (w != "cw" && w != "ccw") {
      *error = ini.Path() + ": [Membrane] Winding must be cw or ccw, not '" + *winding + "'";
      return false;
    }
    params->clockwise = w == "cw";
  }
  if (const std::string* points = ini.Find("Membrane", "PinPoints")) {
    params->pinPoints.clear();
    std::stringstream list(*points);
    std::string item;
    while (std::getline(list, item, ',')) {
      item = Trim(item);
      char* end = nullptr;
      const long value = std::strtol(item.c_str(), &end, 10);
      if (item.empty() || *end != 0 || value < 0 || value > INT32_MAX) {
        *error = ini.Path() + ": [Membrane] PinPoints must list point indices, not '" + *points + "'";
        return false;
      }
      params->pinPoints.push_back(static_cast<int32_t>(value));
    }
  }
  int64_t columns = params->columns, rows = params->rows, pinRing = params->pinRing;
  const bool ok =
      ReadWhole(ini, "Columns", &columns, error) && ReadWhole(ini, "Rows", &rows, error) &&
      ReadWhole(ini, "PinRing", &pinRing, error) && ReadWhole(ini, "Steps", &keys->steps, error) &&
      ReadWhole(ini, "Every", &keys->every, error) && ReadNumber(ini, "Radius", &params->radius, error) &&
      ReadNumber(ini, "Flatten", &params->flatten, error) &&
      ReadNumber(ini, "MajorRadius", &params->majorRadius, error) &&
      ReadNumber(ini, "MinorRadius", &params->minorRadius, error) &&
      ReadNumber(ini, "Width", &params->width, error) && ReadNumber(ini, "Depth", &params->depth, error) &&
      ReadNumber(ini, "Length", &params->length, error);
  params->columns = static_cast<int32_t>(columns);
  params->rows = static_cast<int32_t>(rows);
  params->pinRing = static_cast<int32_t>(pinRing);
  return ok;
}

}  // namespace tumelin
