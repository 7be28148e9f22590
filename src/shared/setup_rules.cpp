#include "setup_rules.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace tumelin {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

NumberVerdict Verdict(NumberRule rule, VerdictKind kind) {
  NumberVerdict verdict;
  verdict.rule = rule;
  verdict.kind = kind;
  return verdict;
}

NumberVerdict Malformed(NumberRule rule, Flaw flaw, std::size_t column) {
  NumberVerdict verdict;
  verdict.rule = rule;
  verdict.kind = VerdictKind::kMalformed;
  verdict.flaw = flaw;
  verdict.column = column;
  return verdict;
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

std::string Quoted(char16_t c) {
  if (c == u'\t') return "a tab";
  if (c == u' ') return "a blank";
  if (c < 0x20) return "control character " + std::to_string(static_cast<int>(c));
  return "'" + Utf16ToUtf8(std::u16string_view(&c, 1)) + "'";
}

bool StartsWithWord(std::u16string_view text, std::size_t at, std::u16string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (AsciiLower(text[at + k]) != word[k]) return false;
  }
  return true;
}

// why the character at `column` ends a real
std::string RealFlaw(std::u16string_view text, std::size_t column, char16_t separator) {
  const char16_t c = text[column];
  const bool afterZero = column > 0 && text[column - 1] == u'0';
  if (c == u'$' || ((c == u'x' || c == u'X') && afterZero)) return "hexadecimal is not accepted for reals";
  if (StartsWithWord(text, column, u"inf") || StartsWithWord(text, column, u"nan")) {
    return "INF and NAN are not numbers here";
  }
  if (c == u'.' || c == u',' || c == u'\u066B' || c == u'\u00B7') {
    if (c != separator) return Quoted(c) + " is not the decimal separator " + Quoted(separator);
    return "a second decimal separator";
  }
  if (c == u'\t') return "a tab (only blanks may stand around the number)";
  if (c == u' ') return "a blank inside the number";
  return "unexpected " + Quoted(c);
}

// why the character at `column` ends an integer
std::string IntegerFlaw(std::u16string_view text, std::size_t column) {
  const char16_t c = text[column];
  if (c == u'.' || c == u',' || c == u'e' || c == u'E') return "not a whole number";
  if (c == u' ' && column > 0 && HexDigitValue(text[column - 1]) >= 0) return "a blank after the digits";
  return "unexpected " + Quoted(c);
}

// both rules open alike: blanks (U+0020 only), then an optional sign; true
// for a minus
bool SkipBlanksAndSign(std::u16string_view text, std::size_t* i) {
  while (*i < text.size() && text[*i] == u' ') ++*i;
  if (*i < text.size() && (text[*i] == u'+' || text[*i] == u'-')) return text[(*i)++] == u'-';
  return false;
}

}  // namespace

NumberVerdict JudgeFloat(std::u16string_view text, char16_t separator) {
  if (text.empty()) return Verdict(NumberRule::kFloat, VerdictKind::kEmpty);
  const std::size_t n = text.size();
  std::size_t i = 0;
  const bool negative = SkipBlanksAndSign(text, &i);
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
  if (!consumed) return Malformed(NumberRule::kFloat, Flaw::kNoDigits, i);
  long exponent = 0;
  bool inExponent = false;
  if (i < n && (text[i] == u'E' || text[i] == u'e')) {
    inExponent = true;
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
  const std::size_t stop = i;
  while (i < n && text[i] == u' ') ++i;
  if (i != n) {
    const bool leftOver = inExponent && stop < n && IsDigit(text[stop]);
    return Malformed(NumberRule::kFloat, leftOver ? Flaw::kExponentStopped : Flaw::kUnexpected,
                     leftOver ? stop : i);
  }

  if (digits.empty()) digits = "0";
  std::string decimal;
  decimal.reserve(digits.size() + 16);
  if (negative) decimal.push_back('-');
  decimal += digits;
  decimal.push_back('e');
  decimal += std::to_string(exponent - fractionDigits);
  const double value = DecimalToDouble(decimal);
  // well formed, but beyond the double range: the field keeps its default
  NumberVerdict verdict =
      Verdict(NumberRule::kFloat, std::isinf(value) ? VerdictKind::kOutOfRange : VerdictKind::kAccepted);
  if (verdict.Accepted()) verdict.real = value;
  return verdict;
}

NumberVerdict JudgeInteger(std::u16string_view text) {
  if (text.empty()) return Verdict(NumberRule::kInteger, VerdictKind::kEmpty);
  const std::size_t n = text.size();
  std::size_t i = 0;
  const bool negative = SkipBlanksAndSign(text, &i);
  const std::u16string_view rest = text.substr(i);
  std::size_t prefix = 0;
  if (!rest.empty() && (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X')) {
    prefix = 1;
  } else if (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X')) {
    prefix = 2;
  }
  if (prefix > 0) {
    i += prefix;
    if (i == n) return Malformed(NumberRule::kInteger, Flaw::kNoHexDigits, i);
    uint64_t value = 0;
    for (; i < n; ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) return Malformed(NumberRule::kInteger, Flaw::kUnexpected, i);
      // saturates past 32 bits, so any number of digits is safe to read
      if (value <= 0xFFFFFFFFu) value = value * 16 + static_cast<uint64_t>(digit);
    }
    if (value > 0xFFFFFFFFu) return Verdict(NumberRule::kInteger, VerdictKind::kOutOfRange);
    // two's complement, then the sign: $FFFFFFFF is -1, -$FFFFFFFF is 1
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    NumberVerdict verdict = Verdict(NumberRule::kInteger, VerdictKind::kAccepted);
    verdict.integer = static_cast<int32_t>(bits);
    return verdict;
  }
  if (i == n || !IsDigit(text[i])) return Malformed(NumberRule::kInteger, Flaw::kNoDigits, i);
  int64_t magnitude = 0;
  for (; i < n; ++i) {
    if (!IsDigit(text[i])) return Malformed(NumberRule::kInteger, Flaw::kUnexpected, i);
    if (magnitude <= 2147483648LL) magnitude = magnitude * 10 + (text[i] - u'0');
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > 2147483647LL || value < -2147483648LL)
    return Verdict(NumberRule::kInteger, VerdictKind::kOutOfRange);
  NumberVerdict verdict = Verdict(NumberRule::kInteger, VerdictKind::kAccepted);
  verdict.integer = static_cast<int32_t>(value);
  return verdict;
}

double ParseFloat(std::u16string_view text, double fallback, char16_t separator) {
  const NumberVerdict verdict = JudgeFloat(text, separator);
  return verdict.Accepted() ? verdict.real : fallback;
}

int32_t ParseInteger(std::u16string_view text, int32_t fallback) {
  const NumberVerdict verdict = JudgeInteger(text);
  return verdict.Accepted() ? verdict.integer : fallback;
}

std::string DescribeVerdict(const NumberVerdict& verdict, std::u16string_view text, char16_t separator) {
  const bool real = verdict.rule == NumberRule::kFloat;
  switch (verdict.kind) {
    case VerdictKind::kAccepted:
      return "accepted";
    case VerdictKind::kEmpty:
      return "empty value";
    case VerdictKind::kOutOfRange: {
      if (real) return "beyond the double range";
      const bool hex = text.find_first_of(u"$xX") != std::u16string_view::npos;
      return hex ? "more than 32 bits" : "outside the 32-bit integer range";
    }
    case VerdictKind::kMalformed:
      break;
  }
  const std::string where = "malformed at column " + std::to_string(verdict.column + 1) + ": ";
  if (verdict.column >= text.size()) {
    return where + (verdict.flaw == Flaw::kNoHexDigits ? "no hexadecimal digits" : "no digits");
  }
  switch (verdict.flaw) {
    case Flaw::kExponentStopped:
      return where + "exponent digits stop at a magnitude of 500";
    case Flaw::kNoHexDigits:
      return where + "no hexadecimal digits";
    default:
      return where + (real ? RealFlaw(text, verdict.column, separator) : IntegerFlaw(text, verdict.column));
  }
}

void SetupDefaults(TClothSetup* Setup) {
  for (const SetupKey& key : kSetupKeys) {
    if (key.rule == NumberRule::kFloat) {
      Setup->*key.real = key.realDefault;
    } else {
      Setup->*key.integer = key.integerDefault;
    }
  }
}

NumberVerdict JudgeSetting(const SetupKey& key, std::u16string_view text, char16_t separator) {
  return key.rule == NumberRule::kFloat ? JudgeFloat(text, separator) : JudgeInteger(text);
}

void StoreSetting(const SetupKey& key, const NumberVerdict& verdict, TClothSetup* setup) {
  if (!verdict.Accepted()) return;
  if (key.rule == NumberRule::kFloat) {
    setup->*key.real = verdict.real;
  } else {
    setup->*key.integer = verdict.integer;
  }
}

bool HoldsVerdict(const SetupKey& key, const NumberVerdict& verdict, const TClothSetup& setup) {
  if (key.rule == NumberRule::kFloat) {
    const double expected = verdict.Accepted() ? verdict.real : key.realDefault;
    return std::memcmp(&(setup.*key.real), &expected, sizeof expected) == 0;
  }
  const int32_t expected = verdict.Accepted() ? verdict.integer : key.integerDefault;
  return setup.*key.integer == expected;
}

char16_t DecodeSeparator(const char* utf8) {
  if (utf8 == nullptr) return u'.';
  std::size_t at = 0;
  char32_t c = 0;
  const std::string_view text(utf8);
  if (text.empty() || !NextUtf8(text, &at, &c) || c > 0xFFFF) return u'.';
  return static_cast<char16_t>(c);
}

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
  const char16_t result = DecodeSeparator(nl_langinfo_l(RADIXCHAR, user));
  freelocale(user);
  return result;
#endif
}

}  // namespace tumelin
