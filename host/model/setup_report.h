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
  bool present = false;   // the plug-in read some text for the key
  std::string text;       // that text, as UTF-8
  std::string stored;     // what the plug-in wrote into the record
  std::string note;       // where it came from, or why the default stayed
  bool agrees = true;     // the record holds, bit for bit, what the rules give
  bool accepted = false;  // the rule took the text
  std::string reason;     // why it did not: DescribeVerdict's line, or that the key is missing
};

// one line per key, in the order the plug-in reads them; `stored` is the
// record the plug-in filled from the same file with the same separator
std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char16_t separator);
// the record the plug-in fills from section [Setup], as its rules give it
TClothSetup SetupByRules(const IniFile& ini, char16_t separator);
// ExplainSetup without a plug-in at hand: `stored` is SetupByRules
std::vector<SettingLine> ExplainSetup(const IniFile& ini, char16_t separator);

// one line per key that holds text the plug-in does not take, as a run
// warns about it: "[Setup] ClothP \"0,7\": malformed at column 2: ...;
// the plug-in keeps the default 0.5"
std::vector<std::string> UntakenSettings(const std::vector<SettingLine>& lines);

}  // namespace tumelin
