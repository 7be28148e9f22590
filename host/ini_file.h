// The host's reading of INI files: the lookups, and section "Setup" with
// what the plug-in made of it (section "Membrane" is read in scenario.h).
// Every lookup goes through ReadProfileString, the reader that answers as
// the Windows profile API does, so the host sees the text the plug-in sees.
#pragma once

#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tumelin {

class IniFile {
 public:
  // the buffer the plug-in reads section "Setup" with
  static constexpr std::size_t kPluginBufferChars = 2048;

  // false with a one-line message naming the file when it does not exist or
  // cannot be read (the profile API would quietly answer every lookup empty)
  bool Open(const std::string& path, std::string* error);
  // value text of `key` in `section` as the profile API copies it into a
  // buffer of `bufferChars` characters; empty when the section or the key is
  // missing, or the value is empty
  std::string Text(std::u16string_view section, std::u16string_view key,
                   std::size_t bufferChars = kPluginBufferChars) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::u16string profilePath_;  // as the plug-in is given it
};

// the decimal separator the plug-in captures from the user's locale
char UserDecimalSeparator();

// why a value text is or is not taken by the plug-in's number rules
struct Verdict {
  bool wellFormed = false;
  std::string reason;  // for malformed text
  double value = 0.0;  // for well-formed reals, as the text reads
};
Verdict JudgeReal(const std::string& text, char separator);
Verdict JudgeInteger(const std::string& text);

struct SettingLine {
  std::string key;
  bool present = false;  // the plug-in read some text for the key
  std::string text;
  std::string stored;  // what the plug-in wrote into the record
  std::string note;    // where it came from, or why the default stayed
};
std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char separator);

// shortest decimal text that reads back as the same double
std::string FormatDouble(double value);

}  // namespace tumelin
