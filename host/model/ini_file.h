// The host's reading of INI files (section "Setup" is explained in
// setup_report.h, section "Membrane" is read in scenario.h).
// Every lookup goes through ReadProfileString, the reader that answers as
// the Windows profile API does, so the host sees the text the plug-in sees.
#pragma once

#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profile_reader.h"

namespace tumelin {

class IniFile {
 public:
  // false with a one-line message naming the file when it does not exist or
  // cannot be read (the profile API would quietly answer every lookup empty)
  bool Open(const std::string& path, std::string* error);
  // value text of `key` in `section` as the profile API copies it into a
  // buffer of `bufferChars` characters; empty when the section or the key is
  // missing, or the value is empty
  std::string Text(std::u16string_view section, std::u16string_view key,
                   std::size_t bufferChars = kProfileBufferChars) const;
  // the same text as the plug-in receives it, in UTF-16
  std::u16string Text16(std::u16string_view section, std::u16string_view key,
                        std::size_t bufferChars = kProfileBufferChars) const;
  // the key names of `section` and the section names, as the profile API
  // lists them for a null key or section (profile_reader.h)
  std::vector<std::string> KeyNames(std::u16string_view section) const;
  std::vector<std::string> SectionNames() const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::u16string profilePath_;  // as the plug-in is given it
};

// shortest decimal text that reads back as the same double
std::string FormatDouble(double value);
// the same digits without a decimal separator, which reads back as the same
// double under the plug-in's float rule whatever the user's separator, and
// with any C reader: a whole number ("500") or DIGITSeEXPONENT ("2e-2",
// "125e-3")
std::string FormatDoubleWithoutSeparator(double value);

// ---- settings a person gives beside the file --------------------------------

// one value text of section [Setup], in UTF-8
struct SetupText {
  std::string key;  // as the key table spells it
  std::string value;
};

// the keys of section [Setup] in the table's order and spelling, UTF-8
std::vector<std::string> SetupKeyNames();

// "KEY=VALUE" as a person types it (--set ClothP=0.8): KEY must name a key
// of section [Setup] (any letter case, as the plug-in reads it); VALUE is
// taken as it stands, to be judged by the plug-in. false with a one-line
// message
bool ParseSetupAssignment(std::string_view text, SetupText* out, std::string* error);

// the value texts the plug-in reads from `ini` (nullptr: no file) for every
// key of section [Setup], in the table's order, each replaced by the last of
// `overrides` that names it; keys with neither stay out
std::vector<SetupText> MergeSetupTexts(const IniFile* ini, const std::vector<SetupText>& overrides);

// one section of an INI file: its name and its key lines in order
struct IniSection {
  std::string name;
  std::vector<SetupText> lines;  // key and value text
};
// the text of an INI file: the comment lines (each after "; "), then every
// section, each line ending in CR LF; values as they stand
std::string IniText(const std::vector<std::string>& comments, const std::vector<IniSection>& sections);

// writes section [Setup] with `values` to `path` as a host writes a settings
// file for the plug-in: UTF-16LE with a byte-order mark, every value in
// quotes so that the plug-in reads the text exactly as given. false with a
// one-line message naming the file
bool WriteSetupIni(const std::string& path, const std::vector<SetupText>& values, std::string* error);

// The settings file the plug-in reads for one command: the INI file itself
// when no value is given beside it; otherwise a file written for the command
// in the system's temporary folder, holding the file's [Setup] texts under
// the given ones, and removed with the object.
class SetupFile {
 public:
  SetupFile() = default;
  ~SetupFile();
  SetupFile(const SetupFile&) = delete;
  SetupFile& operator=(const SetupFile&) = delete;

  // `iniPath` empty: no file of settings; false with a one-line message
  bool Prepare(const std::string& iniPath, const std::vector<SetupText>& given, std::string* error);
  // what the plug-in is to read; empty when it reads no file
  const std::string& Path() const { return path_; }
  // true when Path() is a file written for the command
  bool Written() const { return written_; }

 private:
  std::string path_;
  bool written_ = false;
};

}  // namespace tumelin
