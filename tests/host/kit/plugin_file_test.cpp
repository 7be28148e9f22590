// A plug-in file is checked before the loader maps it.
#include "plugin_file.h"

#include "host_fixtures.h"

using namespace tumelin;

// a truncated plug-in is refused before the loader maps it, wherever it is cut
TEST(PluginFile, EveryCutOfThePlugInIsRefusedBeforeLoading) {
  std::string whole;
  ASSERT_TRUE(ReadFileBytes(std::string(TUMELIN_PLUGIN_PATH), &whole));
  ASSERT_GT(whole.size(), 4096u);
  EXPECT_EQ(CheckPluginBytes(whole, "Tumelin.kwt"), "");
  std::vector<size_t> lengths = {0, 1, 3, 19, 63, 64, 100, whole.size() - 1};
  for (size_t n = 128; n < whole.size(); n += whole.size() / 97) lengths.push_back(n);
  for (const size_t n : lengths) {
    const std::string message = CheckPluginBytes(whole.substr(0, n), "Tumelin.kwt");
    EXPECT_EQ(message.rfind("not a complete plug-in: Tumelin.kwt ", 0), 0u) << n << ": " << message;
  }
  // and the loader says so rather than mapping it
  const TempFile cut("host_cut.kwt", whole.substr(0, whole.size() / 2));
  Plugin plugin;
  std::string error;
  EXPECT_FALSE(plugin.Load(cut.Utf8(), &error));
  EXPECT_NE(error.find("not a complete plug-in: "), std::string::npos) << error;
}

// the smallest headers of each format: a library of the other platform is
// named as such
TEST(PluginFile, ALibraryOfTheOtherPlatformIsNamed) {
  std::string elf(64, '\0');
  elf.replace(0, 6,
              "\x7F"
              "ELF\x02\x01");
  elf[18] = 62;  // x86-64
  std::string pe(64 + 24, '\0');
  pe.replace(0, 2, "MZ");
  pe[0x3C] = 64;
  pe.replace(64, 6, std::string("PE\0\0\x4C\x01", 6));  // i386
#ifdef _WIN32
  const std::string& ours = pe;
  const std::string& theirs = elf;
  const char* theirPlatform = "Linux x86-64 (ELF)";
#else
  const std::string& ours = elf;
  const std::string& theirs = pe;
  const char* theirPlatform = "Windows x86 (32-bit PE)";
#endif
  EXPECT_EQ(CheckPluginBytes(ours, "a.kwt"), "");
  EXPECT_EQ(CheckPluginBytes(theirs, "a.kwt"),
            std::string("not a complete plug-in: a.kwt is a library for ") + theirPlatform +
                "; this host runs on " + (theirs == pe ? "Linux x86-64 (ELF)" : "Windows x86 (32-bit PE)"));
#ifdef _WIN32
  // headers that pass, but no library the system loads: its own message,
  // with the file named where the message has its placeholder
  const TempFile bare("host_bare.kwt", pe);
  Plugin plugin;
  std::string error;
  EXPECT_FALSE(plugin.Load(bare.Utf8(), &error));
  EXPECT_EQ(error.find('%'), std::string::npos) << error;
  EXPECT_NE(error.find("error "), std::string::npos) << error;
#endif
  // header fields that point past the end, whatever their size
  std::string wild = elf;
  wild.replace(40, 8, std::string(8, '\xFF'));  // e_shoff
  wild[60] = 1;
  EXPECT_NE(CheckPluginBytes(wild, "a.kwt").find("is cut off: its section headers lie past the end"),
            std::string::npos);
}
