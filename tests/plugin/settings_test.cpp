#include "settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records.h"
#include "temp_file.h"

using namespace tumelin;

namespace {

// a value no rule ever produces, so a returned fallback is recognisable
constexpr double kFallback = -77.0;
constexpr int32_t kIntFallback = 500;

double Float(std::u16string_view text, char16_t separator = u'.') {
  return ParseFloat(text, kFallback, separator);
}
int32_t Integer(std::u16string_view text) { return ParseInteger(text, kIntFallback); }
// the ASCII of a case's text, to name it in a failure
std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace

TEST(FloatRule, AcceptsTheDocumentedForms) {
  // each value, and the texts that read as it
  const std::pair<double, std::vector<std::u16string_view>> cases[] = {
      {0.5, {u"0.5", u".5"}}, {-1.25e-3, {u"  -1.25e-3  "}},
      {5.0, {u"5."}},         {20.0, {u"2E+1", u"2e1"}},
      {1.0, {u"1e", u"1e+"}}, {0.0, {u"."}},
      {7.0, {u"+7"}},         {7.25, {u"007.2500"}},
      {-0.0, {u"-0"}},
  };
  for (const auto& [value, texts] : cases) {
    for (std::u16string_view text : texts) EXPECT_EQ(Bits(Float(text)), Bits(value)) << Narrow(text);
  }
}

TEST(FloatRule, RejectsMalformedText) {
  for (const char16_t* text : {u"", u"-", u"+", u"e5", u"1,000.5", u"- 1", u"1 2", u"1\t", u"\t1", u"0x10",
                               u"INF", u"inf", u"NAN", u"1e5x", u"1..2", u"1e-5000", u"1.5e+-2", u"1 e5"}) {
    EXPECT_EQ(Float(text), kFallback) << Narrow(text);
  }
}

TEST(FloatRule, OnlyTheCapturedSeparatorIsAccepted) {
  EXPECT_EQ(Float(u"0,7", u'.'), kFallback);
  EXPECT_EQ(Float(u"0.7", u','), kFallback);
  EXPECT_EQ(Float(u"0,7", u','), 0.7);
  EXPECT_EQ(Float(u",", u','), 0.0);
  // a separator outside ASCII, as some locales have
  EXPECT_EQ(Float(u"1\u066B5", u'\u066B'), 1.5);
}

TEST(FloatRule, ExponentDigitsStopAtFiveHundred) {
  // 4, 9, 9 are read (499 < 500), then 9 makes 4999 and reading stops
  EXPECT_EQ(Float(u"1e-4999"), 0.0);
  EXPECT_EQ(Float(u"1e-49990"), kFallback);
  // 5, 0, 0: the second 0 reaches 500 and the last 0 is left over
  EXPECT_EQ(Float(u"1e-5000"), kFallback);
  EXPECT_EQ(Float(u"1e-500"), 0.0);
  // leading zeros keep the magnitude at zero, so they never stop the reading
  EXPECT_EQ(Float(u"1e0000000000002"), 100.0);
  // digits count against the exponent: 123e-2 and 1.23 are one number
  EXPECT_EQ(Bits(Float(u"123e-2")), Bits(1.23));
  EXPECT_EQ(Bits(Float(u"0.000123e4")), Bits(1.23));
}

TEST(FloatRule, RoundsToTheNearestDoubleAndKeepsOverflowOut) {
  EXPECT_EQ(Bits(Float(u"0.1")), Bits(0.1));
  EXPECT_EQ(Bits(Float(u"2.2250738585072014e-308")), Bits(2.2250738585072014e-308));
  EXPECT_EQ(Bits(Float(u"1.7976931348623157e308")), Bits(1.7976931348623157e308));
  // halfway between 1 and its successor, one digit further decides
  EXPECT_EQ(Bits(Float(u"1.00000000000000011102230246251565404236316680908203125")), Bits(1.0));
  EXPECT_EQ(Bits(Float(u"1.000000000000000111022302462515654042363166809082031251")),
            Bits(1.0000000000000002));
  // beyond the double range: treated as malformed
  EXPECT_EQ(Float(u"1e400"), kFallback);
  EXPECT_EQ(Float(u"-1e400"), kFallback);
  EXPECT_EQ(Float(u"1e-400"), 0.0);
}

TEST(IntegerRule, AcceptsDecimalAndHexadecimalForms) {
  // each value, and the texts that read as it
  const std::pair<int32_t, std::vector<std::u16string_view>> cases[] = {
      {500, {u"0x1F4", u"$1f4", u"x1F4", u"X1F4", u"0X1f4"}},
      {7, {u"  7", u"+7", u"0007"}},
      {-7, {u"-7"}},
      {0, {u"0"}},
      {2147483647, {u"2147483647"}},
      {INT32_MIN, {u"-2147483648", u"$80000000"}},
      {-1, {u"$FFFFFFFF"}},
      {1, {u"-$FFFFFFFF", u"$000000000001"}},
      {-16, {u"-x10"}},
  };
  for (const auto& [value, texts] : cases) {
    for (std::u16string_view text : texts) EXPECT_EQ(Integer(text), value) << Narrow(text);
  }
}

TEST(IntegerRule, RejectsWhatBreaksTheForm) {
  for (const char16_t* text :
       {u"", u"2147483648", u"-2147483649", u"99999999999999999999", u"1.5", u"12abc", u"7 ", u"- 7", u"+",
        u"-", u"$", u"0x", u"$100000000", u"$1G", u"0x-1", u"1e3", u"\t7", u"x 1"}) {
    EXPECT_EQ(Integer(text), kIntFallback) << Narrow(text);
  }
}

TEST(Defaults, EveryFieldIsWritten) {
  TClothSetup setup;
  std::memset(&setup, 0xFF, sizeof setup);
  SetupDefaults(&setup);
  EXPECT_TRUE(SameSetup(setup, {0.5, 5.0, 5.0, 1.0, 500, 0}));
}

class LoadSetupTest : public ::testing::Test {
 protected:
  // a fresh file of these bytes, removed with the next one or the test
  std::u16string Write(const std::string& contents) {
    return file_.emplace("settings_test.ini", contents).Path().u16string();
  }

  TClothSetup Load(const std::u16string& path, char16_t separator = u'.') {
    TClothSetup setup;
    std::memset(&setup, 0xA5, sizeof setup);
    LoadSetup(path, &setup, separator);
    return setup;
  }

 private:
  std::optional<temp_file::TempFile> file_;
};

TEST_F(LoadSetupTest, EachKeyFallsBackOnItsOwn) {
  const TClothSetup setup =
      Load(Write("[Other]\nClothP=9\n"
                 "[setup]\nclothp=0,7\nClothC=0.25\nClothK0=2e1\nClothK1=\nClothT0=1.5\nClothMethod=7\n"));
  EXPECT_EQ(setup.ClothP, 0.5);   // comma where the separator is a point
  EXPECT_EQ(setup.ClothC, 0.25);  // read although a neighbour was malformed
  EXPECT_EQ(setup.ClothK0, 20.0);
  EXPECT_EQ(setup.ClothK1, 5.0);    // empty value
  EXPECT_EQ(setup.ClothT0, 500);    // not an integer
  EXPECT_EQ(setup.ClothMethod, 7);  // stored as read; the step picks Euler
}

TEST_F(LoadSetupTest, TheSeparatorDecidesWhichDecimalFormIsRead) {
  const std::u16string path = Write("[Setup]\nClothP=0,7\nClothC=0.7\n");
  const TClothSetup comma = Load(path, u',');
  EXPECT_EQ(comma.ClothP, 0.7);
  EXPECT_EQ(comma.ClothC, 1.0);
  const TClothSetup point = Load(path, u'.');
  EXPECT_EQ(point.ClothP, 0.5);
  EXPECT_EQ(point.ClothC, 0.7);
}

TEST_F(LoadSetupTest, LongValuesAreCutTo2047Characters) {
  // 2046 zeros and a 5 fill the 2047 characters that are read; the junk
  // behind them would make the value malformed if it arrived
  const std::string digits = std::string(2046, '0') + "5";
  const std::string junk(3000 - digits.size(), 'x');
  const TClothSetup setup =
      Load(Write("[Setup]\nClothP=" + digits + junk + "\nClothT0=" + digits + junk + "\n"));
  EXPECT_EQ(setup.ClothP, 5.0);
  EXPECT_EQ(setup.ClothT0, 5);
  EXPECT_EQ(LookupSetupValue(Write("[Setup]\nClothK0=" + std::string(3000, '1') + "\n"), u"ClothK0"),
            std::u16string(2047, u'1'));
}

TEST_F(LoadSetupTest, ASecondLoadStartsFromTheDefaults) {
  TClothSetup setup;
  LoadSetup(Write("[Setup]\nClothP=3\nClothMethod=1\n"), &setup, u'.');
  EXPECT_EQ(setup.ClothP, 3.0);
  LoadSetup(Write("[Setup]\nClothMethod=2\n"), &setup, u'.');
  EXPECT_EQ(setup.ClothP, 0.5);
  EXPECT_EQ(setup.ClothMethod, 2);
}
