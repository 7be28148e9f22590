// The rules by which settings text becomes numbers: the float and integer
// rules with the verdict each reaches, the table of the keys of section
// "Setup", and the decoding of the user's decimal separator. The plug-in
// stores what the verdicts accept; the stand-in host shows the same verdicts
// to explain what the plug-in did, so both take them from this one place.
#pragma once

#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tumelin {

// the two rules: reals (keys ClothP, ClothC, ClothK0, ClothK1) and int32
// (ClothT0, ClothMethod)
enum class NumberRule : uint8_t { kFloat, kInteger };

// what a number rule made of a value text
enum class VerdictKind : uint8_t {
  kEmpty,       // no text: the key, the section or the file is missing, or the value is empty
  kMalformed,   // the text breaks the rule at `column`
  kOutOfRange,  // well formed, but the number does not fit the field
  kAccepted,    // the field takes the value
};

// why a malformed text breaks its rule
enum class Flaw : uint8_t {
  kNone,
  kNoDigits,         // no digit (and, for reals, no separator) where the number starts
  kUnexpected,       // a character the rule has no place for
  kExponentStopped,  // exponent digits stop once the magnitude reaches 500: this digit is left over
  kNoHexDigits,      // a hexadecimal prefix without digits
};

struct NumberVerdict {
  NumberRule rule = NumberRule::kFloat;
  VerdictKind kind = VerdictKind::kEmpty;
  Flaw flaw = Flaw::kNone;
  std::size_t column = 0;  // malformed: index of the first character the rule could not take
  double real = 0.0;       // accepted by the float rule
  int32_t integer = 0;     // accepted by the integer rule

  bool Accepted() const { return kind == VerdictKind::kAccepted; }
};

// float rule: optional blanks and sign, digits with at most one `separator`,
// optional exponent, optional blanks; correctly rounded to double. A value
// beyond the double range (1e400) is out of range; one below it rounds as
// any other (1e-400 is 0).
NumberVerdict JudgeFloat(std::u16string_view text, char16_t separator);
// integer rule: optional blanks and sign, then decimal digits within int32,
// or hexadecimal after "$", "x", "X", "0x", "0X" within 32 bits (two's
// complement, then the sign); nothing may follow
NumberVerdict JudgeInteger(std::u16string_view text);

// the rule's value, or `fallback` for anything the rule does not accept
double ParseFloat(std::u16string_view text, double fallback, char16_t separator);
int32_t ParseInteger(std::u16string_view text, int32_t fallback);

// one line for a person: "accepted", "empty value", "beyond the double
// range", "malformed at column 2: ',' is not the decimal separator '.'", ...
std::string DescribeVerdict(const NumberVerdict& verdict, std::u16string_view text, char16_t separator);

// ---- the keys of section "Setup" ----------------------------------------------

struct SetupKey {
  const char16_t* name;  // the key in section "Setup"
  NumberRule rule;
  double TClothSetup::*real;      // the field, for reals
  int32_t TClothSetup::*integer;  // the field, for integers
  double realDefault;
  int32_t integerDefault;
};

// in the order they are read, which is not the order of the fields
inline constexpr SetupKey kSetupKeys[] = {
    {u"ClothP", NumberRule::kFloat, &TClothSetup::ClothP, nullptr, 0.5, 0},
    {u"ClothC", NumberRule::kFloat, &TClothSetup::ClothC, nullptr, 1.0, 0},
    {u"ClothK0", NumberRule::kFloat, &TClothSetup::ClothK0, nullptr, 5.0, 0},
    {u"ClothK1", NumberRule::kFloat, &TClothSetup::ClothK1, nullptr, 5.0, 0},
    {u"ClothT0", NumberRule::kInteger, nullptr, &TClothSetup::ClothT0, 0.0, 500},
    {u"ClothMethod", NumberRule::kInteger, nullptr, &TClothSetup::ClothMethod, 0.0, 0},
};

// writes the six defaults into every field of *Setup
void SetupDefaults(TClothSetup* Setup);
// the rule of `key` applied to `text`
NumberVerdict JudgeSetting(const SetupKey& key, std::u16string_view text, char16_t separator);
// writes the verdict's value into the key's field when the rule accepts it
void StoreSetting(const SetupKey& key, const NumberVerdict& verdict, TClothSetup* setup);
// true when the key's field holds exactly (bit for bit) what the verdict
// leaves there, starting from the default
bool HoldsVerdict(const SetupKey& key, const NumberVerdict& verdict, const TClothSetup& setup);

// ---- the decimal separator -------------------------------------------------------

// the first character of a UTF-8 separator text as one UTF-16 unit; "." for
// empty or broken text and for characters beyond the 16-bit range
char16_t DecodeSeparator(const char* utf8);
// the user's separator as the platform reports it, "." when it cannot be read
char16_t ReadUserDecimalSeparator();

}  // namespace tumelin
