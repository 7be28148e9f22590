// The host's INI reader and writer, read as the profile API reads, and the
// file that carries --set values to the plug-in.
#include "ini_file.h"

#include "host_fixtures.h"

using namespace tumelin;

// the rules a hand-written parser tends to get wrong: a section name runs to
// the last "]", only the first section of a name counts, and ";" lines are
// keys like any other
TEST(IniFile, ReadsWhatTheProfileApiReads) {
  const TempFile file(
      "host_rules.ini",
      "; ClothK0=9\n[Setup]x]\nClothP=1\n[setup]\n clothp = \"0.7\" \nCLOTHP=0.9\n; ClothK1=9\n"
      "[Membrane]\nShape=torus\nColumns=12\n[Setup]\nClothC=2\n[Membrane]\nRows=99\n");
  const IniFile ini = OpenIni(file);
  EXPECT_EQ(ini.Text(u"Setup", u"ClothP"), "0.7");
  EXPECT_EQ(ini.Text(u"Setup]x", u"ClothP"), "1");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothC"), "");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK0"), "");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK1"), "");
  const MembraneParams params = ReadMembrane(ini);
  EXPECT_EQ(params.shape, Shape::kTorus);
  EXPECT_EQ(params.columns, 12);
  EXPECT_EQ(params.rows, MembraneParams().rows);
}

TEST(IniFile, ReadsUtf16FilesAndGivesUtf8Text) {
  const TempFile file(
      "host_utf16.ini",
      Utf16Bytes("[Setup]\r\nClothK0=2.5\r\nClothT0=5\xC3\xA9\r\n[Membrane]\r\nShape=Sheet\r\n"));
  const IniFile ini = OpenIni(file);
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK0"), "2.5");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothT0"), "5\xC3\xA9");
  EXPECT_EQ(ReadMembrane(ini).shape, Shape::kSheet);
}

TEST(IniFile, OpenNamesAMissingFileOrAFolder) {
  IniFile ini;
  std::string error;
  const std::string missing = temp_file::UniquePath("host_none.ini").u8string();
  EXPECT_FALSE(ini.Open(missing, &error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  const std::string folder = std::filesystem::temp_directory_path().u8string();
  EXPECT_FALSE(ini.Open(folder, &error));
  EXPECT_NE(error.find(folder), std::string::npos) << error;
}

// --set values reach the plug-in through a file written for the command;
// without them the plug-in reads the INI file itself
TEST(SetupFile, GivenValuesGoThroughAWrittenFileThatIsRemovedAfterwards) {
  const Plugin& plugin = loaded::LoadedPlugin();
  std::string error;
  const TempFile base("tumelin_host_setup_base.ini", "[Setup]\nClothP=0.9\nClothK0=7\n");
  {
    SetupFile plain;
    ASSERT_TRUE(plain.Prepare(base.Utf8(), {}, &error)) << error;
    EXPECT_EQ(plain.Path(), base.Utf8());
    EXPECT_FALSE(plain.Written());
  }
  SetupText overP, badK1;
  ASSERT_TRUE(ParseSetupAssignment("ClothP=0.25", &overP, &error)) << error;
  ASSERT_TRUE(ParseSetupAssignment("ClothK1=0,5", &badK1, &error)) << error;
  for (const std::string& iniPath : {base.Utf8(), std::string()}) {
    std::string written;
    {
      SetupFile setup;
      ASSERT_TRUE(setup.Prepare(iniPath, {overP, badK1}, &error)) << error;
      written = setup.Path();
      EXPECT_TRUE(setup.Written());
      EXPECT_NE(written, base.Utf8());
      const TClothSetup read = LoadSettings(plugin, PathForPlugin(written));
      EXPECT_EQ(read.ClothP, 0.25);
      EXPECT_EQ(read.ClothK0, iniPath.empty() ? 5.0 : 7.0);
      // the plug-in judges the text as given: a decimal comma keeps the default
      EXPECT_EQ(read.ClothK1, 5.0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(written))) << written;
  }
  SetupFile missing;
  EXPECT_FALSE(missing.Prepare(base.Utf8() + ".none", {overP}, &error));
}

// a scene file's numbers read back to the same bits under either separator
TEST(SceneIni, NumbersNeedNoDecimalSeparator) {
  const double values[] = {0.02,       0.1 + 0.2, -2.5e-7, 5e-324, -0.0, 1e300, 1.7976931348623157e308,
                           123456.789, 500};
  for (const double value : values) {
    const std::string text = FormatDoubleWithoutSeparator(value);
    EXPECT_EQ(text.find_first_of(".,"), std::string::npos) << text;
    for (const char16_t separator : {u'.', u','}) {
      EXPECT_TRUE(SameBits(ParseFloat(Utf8ToUtf16(text), 1.0, separator), value)) << text;
    }
  }
}
