// What the plug-in made of section "Setup" of an INI file, key by key: the
// text it read, the value it stored and why. The verdicts come from the
// plug-in's own rules (setup_rules.h), so the report cannot drift from them.
#pragma once

#include <tumelin/tumelin.h>

#include <string>
#include <vector>

#include "ini_file.h"

namespace tumelin {

struct SettingLine {
  std::string key;
  bool present = false;  // the plug-in read some text for the key
  std::string text;      // that text, as UTF-8
  std::string stored;    // what the plug-in wrote into the record
  std::string note;      // where it came from, or why the default stayed
  bool agrees = true;    // the record holds, bit for bit, what the rules give
};

// one line per key, in the order the plug-in reads them; `stored` is the
// record the plug-in filled from the same file with the same separator
std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char16_t separator);

}  // namespace tumelin
