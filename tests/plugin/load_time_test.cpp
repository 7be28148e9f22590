// What the plug-in does when it is loaded: it captures the user's decimal
// separator once, and on Windows it leaves the floating-point control as it
// found it. CTest runs this program once per locale and says which separator
// to expect.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "loaded_plugin.h"

namespace {

using namespace loaded;

TEST(LoadTimeLocale, FloatsUseTheUsersDecimalSeparator) {
  const char* expected = std::getenv("TUMELIN_EXPECT_SEPARATOR");
  ASSERT_NE(expected, nullptr) << "run through CTest, which sets the locale and TUMELIN_EXPECT_SEPARATOR";
  const TempFile ini("load_time_test.ini", "[Setup]\nClothP=0,7\nClothC=0.7\n");
  const TClothSetup setup = LoadThroughEntry(ini.Path().u16string());
  if (expected[0] == ',') {
    EXPECT_EQ(setup.ClothP, 0.7);
    EXPECT_EQ(setup.ClothC, 1.0);
  } else {
    EXPECT_EQ(setup.ClothP, 0.5);
    EXPECT_EQ(setup.ClothC, 0.7);
  }
}

#ifdef _WIN32
TEST(LoadTimeLocale, LoadingLeavesTheFloatingPointControlAsFound) {
  LoadedPlugin();
  EXPECT_EQ(controlWordAfter, controlWordBefore);
  EXPECT_EQ(mxcsrAfter, mxcsrBefore);
}
#endif

}  // namespace
