// The host's own reading of INI files: section "Setup" to explain what the
// plug-in made of it, and section "Membrane" for the shape of a scenario.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "membrane.h"

namespace tumelin {

class IniFile {
 public:
  // false with a message when the file cannot be read
  bool Load(const std::string& path, std::string* error);
  bool HasSection(const std::string& section) const;
  // value text of the first occurrence, as the profile API returns it
  // (blanks around it removed, one pair of matching quotes taken off)
  const std::string* Find(const std::string& section, const std::string& key) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  // lower-case section -> (lower-case key, value) in file order
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections_;
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
  bool present = false;
  std::string text;
  std::string stored;  // what the plug-in wrote into the record
  std::string note;    // where it came from, or why the default stayed
};
std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char separator);

// shortest decimal text that reads back as the same double
std::string FormatDouble(double value);

// settings of a scenario from section "Membrane"; keys absent from the file
// leave the fields as they are; false with a one-line message
struct ScenarioKeys {
  int64_t steps = -1;
  int64_t every = -1;
};
bool ReadMembraneSection(const IniFile& ini, MembraneParams* params, ScenarioKeys* keys, std::string* error);

}  // namespace tumelin
