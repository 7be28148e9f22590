#include "settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace tumelin;

namespace {

constexpr double kFallback = -77.0;

double Float(const char16_t* text, char16_t separator = u'.') { return ParseFloat(text, kFallback, separator); }
int32_t Integer(const char16_t* text) { return ParseInteger(text, 500); }

}  // namespace

TEST(FloatRule, AcceptsTheDocumentedForms) {
  EXPECT_EQ(Float(u"0.5"), 0.5);
  EXPECT_EQ(Float(u"  -1.25e-3  "), -1.25e-3);
  EXPECT_EQ(Float(u".5"), 0.5);
  EXPECT_EQ(Float(u"5."), 5.0);
  EXPECT_EQ(Float(u"2E+1"), 20.0);
  EXPECT_EQ(Float(u"2e1"), 20.0);
  EXPECT_EQ(Float(u"1e"), 1.0);
  EXPECT_EQ(Float(u"."), 0.0);
  EXPECT_EQ(Float(u"+7"), 7.0);
}
