// The INI reader and PluginExecZR71 on arbitrary bytes as a settings file:
// no crash, no read past a buffer (ASan), no value text longer than 2047
// characters, every field either its default or what its rule accepts, and
// the file exactly as it was.
//
// Input: the bytes of the file. The lookups are the six keys of section
// "Setup", also under a name that differs in case and blanks.
#include <tumelin/tumelin.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "profile_reader.h"
#include "settings.h"
#include "setup_rules.h"

extern "C" void PluginExecZR71(const char16_t* const* IniPathRef, void*, void*, void*, TClothSetup* Setup);

namespace {

using namespace tumelin;

[[noreturn]] void Fail(const char* what) {
  __builtin_printf("profile: %s\n", what);
  std::abort();
}

// one file per fuzzing process, rewritten for every input
const std::string& FilePath() {
  static const std::string path = "/tmp/tumelin_profile_fuzz_" + std::to_string(getpid()) + ".ini";
  return path;
}

std::string ReadBack(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  const std::u16string path = Utf8ToUtf16(FilePath());

  // lookups in buffers of several sizes: never more than the buffer holds
  for (const char16_t* section : {u"Setup", u" SETUP "}) {
    for (const SetupKey& key : kSetupKeys) {
      for (const std::size_t chars : {std::size_t{1}, std::size_t{7}, kProfileBufferChars}) {
        if (ReadProfileString(path, section, key.name, chars).size() > chars - 1)
          Fail("value longer than its buffer");
      }
    }
  }

  // the entry: every field is its default or the rule's verdict on the text
  TClothSetup setup;
  std::memset(&setup, 0xA5, sizeof setup);
  const char16_t* pathPointer = path.c_str();
  PluginExecZR71(&pathPointer, nullptr, nullptr, nullptr, &setup);
  for (const SetupKey& key : kSetupKeys) {
    const std::u16string text = LookupSetupValue(path, key.name);
    if (!HoldsVerdict(key, JudgeSetting(key, text, DecimalSeparator()), setup))
      Fail("field is not the verdict");
  }

  if (ReadBack(FilePath()) != bytes) Fail("the settings file changed");
  return 0;
}
