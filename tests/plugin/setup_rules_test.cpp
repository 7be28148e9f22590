#include "setup_rules.h"

#include <gtest/gtest.h>

#include <string>

using namespace tumelin;

namespace {

struct VerdictCase {
  NumberRule rule;
  const char16_t* text;
  const char* reason;
};

std::string Describe(const VerdictCase& c) {
  const NumberVerdict v = c.rule == NumberRule::kFloat ? JudgeFloat(c.text, u'.') : JudgeInteger(c.text);
  return DescribeVerdict(v, c.text, u'.');
}

}  // namespace

// what a person is told when a value does not count; the plug-in acts on
// the same verdicts, so the reason names the character the rule stopped at
TEST(Verdicts, NameTheColumnAndTheCause) {
  const VerdictCase cases[] = {
      {NumberRule::kFloat, u"0.5", "accepted"},
      {NumberRule::kFloat, u"", "empty value"},
      {NumberRule::kFloat, u"1e400", "beyond the double range"},
      {NumberRule::kFloat, u"0,7", "malformed at column 2: ',' is not the decimal separator '.'"},
      {NumberRule::kFloat, u"1.000.5", "malformed at column 6: a second decimal separator"},
      {NumberRule::kFloat, u"1e-5000", "malformed at column 7: exponent digits stop at a magnitude of 500"},
      {NumberRule::kFloat, u"0x10", "malformed at column 2: hexadecimal is not accepted for reals"},
      {NumberRule::kFloat, u" -inf", "malformed at column 3: INF and NAN are not numbers here"},
      {NumberRule::kFloat, u"0.9 ; note", "malformed at column 5: unexpected ';'"},
      {NumberRule::kFloat, u"1\t", "malformed at column 2: a tab (only blanks may stand around the number)"},
      {NumberRule::kFloat, u"- 1", "malformed at column 2: a blank inside the number"},
      {NumberRule::kFloat, u"+", "malformed at column 2: no digits"},
      {NumberRule::kInteger, u"2147483648", "outside the 32-bit integer range"},
      {NumberRule::kInteger, u"$100000000", "more than 32 bits"},
      {NumberRule::kInteger, u"1.5", "malformed at column 2: not a whole number"},
      {NumberRule::kInteger, u"7 ", "malformed at column 2: a blank after the digits"},
      {NumberRule::kInteger, u"0x", "malformed at column 3: no hexadecimal digits"},
      {NumberRule::kInteger, u"12abc", "malformed at column 3: unexpected 'a'"},
  };
  for (const VerdictCase& c : cases) EXPECT_EQ(Describe(c), c.reason);
}

// a locale's separator arrives as UTF-8 and is kept as one UTF-16 unit
TEST(Verdicts, SeparatorsOfOneTwoAndThreeBytesDecode) {
  EXPECT_EQ(DecodeSeparator(","), u',');
  EXPECT_EQ(DecodeSeparator("\xD9\xAB"), u'\u066B');      // arabic decimal separator
  EXPECT_EQ(DecodeSeparator("\xE2\x80\xA4"), u'\u2024');  // one dot leader
  EXPECT_EQ(JudgeFloat(u"1\u066B5", DecodeSeparator("\xD9\xAB")).real, 1.5);
  for (const char* broken : {"", "\xD9", "\xE2\x80", "\x80", "\xC1\xAC", "\xF0\x9F\x98\x80"}) {
    EXPECT_EQ(DecodeSeparator(broken), u'.') << broken;
  }
}
