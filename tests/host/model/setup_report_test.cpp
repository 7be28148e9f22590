// The settings report: why each value stayed at its default, in agreement
// with the plug-in.
#include "setup_report.h"

#include "host_fixtures.h"

using namespace tumelin;

TEST(ExplainSetup, SaysWhyEachDefaultStayed) {
  const TempFile file("host_explain.ini", "[Setup]\nClothP=0,7\nClothC=\nClothK0=2e1\nClothT0=1.5\n");
  const IniFile ini = OpenIni(file);
  // what a plug-in with "." as its separator stores for this file
  const TClothSetup stored = {0.5, 20.0, 5.0, 1.0, 500, 0};
  const auto lines = ExplainSetup(ini, stored, u'.');
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].note, "default 0.5: malformed at column 2: ',' is not the decimal separator '.'");
  EXPECT_EQ(lines[1].note, "default 1: key missing or empty");       // ClothC
  EXPECT_EQ(lines[2].note, "read from the file");                    // ClothK0
  EXPECT_EQ(lines[3].note, "default 5: key missing or empty");       // ClothK1
  EXPECT_NE(lines[4].note.find("whole number"), std::string::npos);  // ClothT0
  EXPECT_FALSE(lines[1].present);
  EXPECT_TRUE(lines[2].present);
  // a plug-in that disagrees with the rule is pointed out, for empty text too
  const TClothSetup odd = {0.7, 5.0, 2.0, 1.0, 500, 0};
  const auto oddLines = ExplainSetup(ini, odd, u'.');
  EXPECT_FALSE(oddLines[0].agrees);
  EXPECT_FALSE(oddLines[3].agrees);
  EXPECT_TRUE(oddLines[1].agrees);
  EXPECT_NE(oddLines[0].note.find("NOTE"), std::string::npos);
}

TEST(ExplainSetup, ShowsTheValueCutAsThePlugInsBufferCutsIt) {
  // 0.000...01 whose last digit lies beyond the buffer
  const std::string value = "0." + std::string(2100, '0') + "1";
  const TempFile file("host_long.ini", "[Setup]\nClothC=\"" + value + "\"\n");
  const IniFile ini = OpenIni(file);
  const TClothSetup stored = {0.5, 5.0, 5.0, 0.0, 500, 0};
  const SettingLine line = ExplainSetup(ini, stored, u'.')[1];
  EXPECT_EQ(line.text, value.substr(0, kProfileBufferChars - 1));
  EXPECT_NE(line.note.find("cut"), std::string::npos) << line.note;
  EXPECT_EQ(line.note.find("NOTE"), std::string::npos) << line.note;
}

// the settings report and the plug-in read the same files alike: for every
// awkward text, in every key, the record holds bit for bit what the report's
// verdict says
TEST(ExplainSetup, AgreesWithThePlugInOnAwkwardTexts) {
  const Plugin& plugin = loaded::LoadedPlugin();
  std::string error;
  const std::string longDigits(400, '7');
  // clang-format off
  const std::vector<std::string> corpus = {
      "1e400", "-1e400", "1.8e308", "1.7976931348623157e308", "1.7976931348623159e308", longDigits,
      longDigits + ".5e-300", "0." + std::string(2100, '0') + "1", "1e-400", "-1e-400", "4.9e-324",
      "2.4703282292062328e-324", "1e-5000", "1e499", "1e500", "1,5", " 1.5 ", "1e", ".", "-", "0x10", "$10",
      "inf", "NaN", "1\t", "0x7FFFFFFF", "0x80000000", "$FFFFFFFF", "-$FFFFFFFF", "0x100000000",
      "x" + std::string(30, 'F'), "2147483647", "2147483648", "-2147483648", "-2147483649",
      "000000000000000000000012", "0x", "$", "1 ", "+-1"};
  // clang-format on
  const char16_t separator = ReadUserDecimalSeparator();
  for (const std::string& text : corpus) {
    std::string ini = "[Setup]\n";
    for (const SetupKey& key : kSetupKeys) ini += Utf16ToUtf8(key.name) + "=" + text + "\n";
    const TempFile file("tumelin_host_corpus.ini", ini);
    const TClothSetup stored = LoadSettings(plugin, PathForPlugin(file.Utf8()));
    for (const SettingLine& line : ExplainSetup(OpenIni(file), stored, separator)) {
      EXPECT_TRUE(line.agrees) << line.key << "=" << text.substr(0, 40) << ": " << line.note;
    }
    // the file the host writes from these texts gives the plug-in the same settings
    const IniFile original = OpenIni(file);
    const TempFile rewritten("tumelin_host_rewritten.ini", "");
    ASSERT_TRUE(WriteSetupIni(rewritten.Utf8(), MergeSetupTexts(&original, {}), &error)) << error;
    EXPECT_TRUE(SameBits(LoadSettings(plugin, PathForPlugin(rewritten.Utf8())), stored))
        << text.substr(0, 40);
  }

  // a value given as KEY=VALUE replaces the file's, in any letter case of the key
  SetupText given;
  ASSERT_TRUE(ParseSetupAssignment("clothp= 0.25", &given, &error)) << error;
  EXPECT_EQ(given.key, "ClothP");
  EXPECT_FALSE(ParseSetupAssignment(std::string("ClothP=1\0"
                                                "2",
                                                10),
                                    &given, &error));
  EXPECT_EQ(error, "the value of ClothP cannot hold a NUL character");
  EXPECT_FALSE(ParseSetupAssignment("ClothQ=1", &given, &error));
  EXPECT_EQ(error,
            "\"ClothQ\" is not a key of [Setup] (ClothP, ClothC, ClothK0, ClothK1, ClothT0, ClothMethod)");
  const TempFile base("tumelin_host_base.ini", "[Setup]\nClothP=0.9\nClothK0=7\n");
  const IniFile baseIni = OpenIni(base);
  const TempFile derived("tumelin_host_derived.ini", "");
  ASSERT_TRUE(WriteSetupIni(derived.Utf8(), MergeSetupTexts(&baseIni, {given}), &error)) << error;
  const TClothSetup setup = LoadSettings(plugin, PathForPlugin(derived.Utf8()));
  EXPECT_EQ(setup.ClothP, 0.25);
  EXPECT_EQ(setup.ClothK0, 7.0);
  EXPECT_EQ(setup.ClothC, 1.0);
}
