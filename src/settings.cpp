#include "settings.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>

#include "profile_reader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace tumelin {

namespace {

// 0 until the load-time start-up (or the first use) captures it
std::atomic<char16_t> capturedSeparator{0};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// correctly rounded decimal-to-double; both C runtimes used here (glibc, and
// mingw's own gdtoa-based strtod) round to nearest, so builds agree bit for bit
double DecimalToDouble(const std::string& text) {
#ifdef _WIN32
  return __mingw_strtod(text.c_str(), nullptr);
#else
  return std::strtod(text.c_str(), nullptr);
#endif
}

}  // namespace

char16_t ReadUserDecimalSeparator() {
#ifdef _WIN32
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 0 && buffer[0] != 0) {
    return static_cast<char16_t>(buffer[0]);
  }
  return u'.';
#else
  // the user's LC_ALL / LC_NUMERIC / LANG, without touching the global locale
  locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return u'.';
  char16_t result = u'.';
  const auto* radix = reinterpret_cast<const unsigned char*>(nl_langinfo_l(RADIXCHAR, user));
  if (radix != nullptr && radix[0] != 0) {
    // first UTF-8 character of the separator, as one UTF-16 unit
    const unsigned char b0 = radix[0];
    if (b0 < 0x80) {
      result = b0;
    } else if ((b0 & 0xE0) == 0xC0 && (radix[1] & 0xC0) == 0x80) {
      result = static_cast<char16_t>(((b0 & 0x1F) << 6) | (radix[1] & 0x3F));
    } else if ((b0 & 0xF0) == 0xE0 && (radix[1] & 0xC0) == 0x80 && (radix[2] & 0xC0) == 0x80) {
      result = static_cast<char16_t>(((b0 & 0x0F) << 12) | ((radix[1] & 0x3F) << 6) | (radix[2] & 0x3F));
    }
  }
  freelocale(user);
  return result;
#endif
}

void CaptureDecimalSeparator(char16_t separator) { capturedSeparator.store(separator); }

char16_t DecimalSeparator() {
  char16_t separator = capturedSeparator.load();
  if (separator == 0) {
    separator = ReadUserDecimalSeparator();
    capturedSeparator.store(separator);
  }
  return separator;
}

double ParseFloat(std::u16string_view text, double fallback, char16_t separator) {
  if (text.empty()) return fallback;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  std::string digits;
  bool consumed = false;
  while (i < n && IsDigit(text[i])) {
    digits.push_back(static_cast<char>(text[i++]));
    consumed = true;
  }
  long fractionDigits = 0;
  if (i < n && text[i] == separator) {
    ++i;
    consumed = true;
    while (i < n && IsDigit(text[i])) {
      digits.push_back(static_cast<char>(text[i++]));
      ++fractionDigits;
    }
  }
  if (!consumed) return fallback;
  long exponent = 0;
  if (i < n && (text[i] == u'E' || text[i] == u'e')) {
    ++i;
    bool negativeExponent = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
      negativeExponent = text[i] == u'-';
      ++i;
    }
    // digits stop once the magnitude reaches 500; a marker alone is e0
    while (i < n && IsDigit(text[i]) && exponent < 500) exponent = exponent * 10 + (text[i++] - u'0');
    if (negativeExponent) exponent = -exponent;
  }
  while (i < n && text[i] == u' ') ++i;
  if (i != n) return fallback;

  if (digits.empty()) digits = "0";
  std::string decimal;
  decimal.reserve(digits.size() + 16);
  if (negative) decimal.push_back('-');
  decimal += digits;
  decimal.push_back('e');
  decimal += std::to_string(exponent - fractionDigits);
  const double value = DecimalToDouble(decimal);
  // a well-formed value beyond the double range counts as malformed
  if (std::isinf(value)) return fallback;
  return value;
}

int32_t ParseInteger(std::u16string_view text, int32_t fallback) {
  if (text.empty()) return fallback;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  const std::u16string_view rest = text.substr(i);
  std::size_t prefix = 0;
  if (!rest.empty() && (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X')) {
    prefix = 1;
  } else if (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X')) {
    prefix = 2;
  }
  if (prefix > 0) {
    i += prefix;
    if (i == n) return fallback;
    uint64_t value = 0;
    for (; i < n; ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) return fallback;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return fallback;
    }
    // two's complement, then the sign: $FFFFFFFF is -1, -$FFFFFFFF is 1
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
  }
  if (i == n) return fallback;
  int64_t magnitude = 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) return fallback;
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > 2147483648LL) return fallback;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > 2147483647LL) return fallback;
  return static_cast<int32_t>(value);
}

void SetupDefaults(TClothSetup* Setup) {
  Setup->ClothP = 0.5;
  Setup->ClothK0 = 5.0;
  Setup->ClothK1 = 5.0;
  Setup->ClothC = 1.0;
  Setup->ClothT0 = 500;
  Setup->ClothMethod = 0;
}

std::u16string LookupSetupValue(const std::u16string& IniPath, std::u16string_view key) {
#ifdef _WIN32
  wchar_t buffer[ProfileBufferChars];
  const std::wstring wideKey(key.begin(), key.end());
  const DWORD copied = GetPrivateProfileStringW(L"Setup", wideKey.c_str(), L"", buffer, ProfileBufferChars,
                                                reinterpret_cast<const wchar_t*>(IniPath.c_str()));
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), copied);
#else
  return ReadProfileString(IniPath, u"Setup", key, ProfileBufferChars);
#endif
}

void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup, char16_t separator) {
  SetupDefaults(Setup);
  // an empty path names no file: every default stays
  if (IniPath.empty()) return;
  // keys are read in this order, which is not the order of the fields
  Setup->ClothP = ParseFloat(LookupSetupValue(IniPath, u"ClothP"), Setup->ClothP, separator);
  Setup->ClothC = ParseFloat(LookupSetupValue(IniPath, u"ClothC"), Setup->ClothC, separator);
  Setup->ClothK0 = ParseFloat(LookupSetupValue(IniPath, u"ClothK0"), Setup->ClothK0, separator);
  Setup->ClothK1 = ParseFloat(LookupSetupValue(IniPath, u"ClothK1"), Setup->ClothK1, separator);
  Setup->ClothT0 = ParseInteger(LookupSetupValue(IniPath, u"ClothT0"), Setup->ClothT0);
  Setup->ClothMethod = ParseInteger(LookupSetupValue(IniPath, u"ClothMethod"), Setup->ClothMethod);
#ifdef _WIN32
  // releasing the reader flushes the profile cache for the file; nothing is written
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, reinterpret_cast<const wchar_t*>(IniPath.c_str()));
#endif
}

void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup) { LoadSetup(IniPath, Setup, DecimalSeparator()); }

}  // namespace tumelin
