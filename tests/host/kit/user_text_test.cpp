// Reading what a user typed: near misses of names, picture sizes.
#include "user_text.h"

#include "host_fixtures.h"

using namespace tumelin;

TEST(UserText, NearestNameCatchesSlipsOnly) {
  const Names keys = {"Shape", "Columns", "Rows", "Pin", "PinPoints"};
  const std::pair<const char*, int> cases[] = {{"Colums", 1}, {"Pinn", 3},    {"rows", 2}, {"PinPoint", 4},
                                               {"shpae", -1}, {"Radius", -1}, {"", -1}};
  for (const auto& [text, nearest] : cases) EXPECT_EQ(NearestName(keys, text), nearest) << text;
}

TEST(UserText, ImageSizeIsTwoWholeSidesInRange) {
  const struct {
    const char* text;
    int width, height;  // 0: refused
  } cases[] = {{"200x150", 200, 150},    {"16X8192", 16, 8192}, {"15x100", 0, 0},  {"800x600x", 0, 0},
               {"99999999999x10", 0, 0}, {"x600", 0, 0},        {"800 x600", 0, 0}};
  for (const auto& c : cases) {
    int width = 0, height = 0;
    EXPECT_EQ(ParseImageSize(c.text, &width, &height), c.width != 0) << c.text;
    EXPECT_EQ(width, c.width) << c.text;
    EXPECT_EQ(height, c.height) << c.text;
  }
}
