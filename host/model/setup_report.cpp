#include "setup_report.h"

#include <limits>

#include "profile_reader.h"
#include "setup_rules.h"

namespace tumelin {

namespace {

// a buffer no value outgrows: for telling whether the plug-in's was too small
constexpr std::size_t kWholeValueChars = std::numeric_limits<std::size_t>::max();

std::string FieldText(const SetupKey& key, const TClothSetup& setup) {
  return key.rule == NumberRule::kFloat ? FormatDouble(setup.*key.real) : std::to_string(setup.*key.integer);
}

}  // namespace

TClothSetup SetupByRules(const IniFile& ini, char16_t separator) {
  TClothSetup byRules{};
  SetupDefaults(&byRules);
  for (const SetupKey& key : kSetupKeys) {
    StoreSetting(key, JudgeSetting(key, ini.Text16(u"Setup", key.name), separator), &byRules);
  }
  return byRules;
}

std::vector<SettingLine> ExplainSetup(const IniFile& ini, char16_t separator) {
  return ExplainSetup(ini, SetupByRules(ini, separator), separator);
}

std::vector<std::string> UntakenSettings(const std::vector<SettingLine>& lines) {
  std::vector<std::string> warnings;
  for (const SettingLine& line : lines) {
    if (!line.present || line.accepted) continue;
    warnings.push_back("[Setup] " + line.key + " \"" + line.text + "\": " + line.reason +
                       "; the plug-in keeps the default " + line.stored);
  }
  return warnings;
}

std::vector<SettingLine> ExplainSetup(const IniFile& ini, const TClothSetup& stored, char16_t separator) {
  TClothSetup defaults{};
  SetupDefaults(&defaults);
  std::vector<SettingLine> lines;
  for (const SetupKey& key : kSetupKeys) {
    const std::u16string text = ini.Text16(u"Setup", key.name);
    const NumberVerdict verdict = JudgeSetting(key, text, separator);
    SettingLine line;
    line.key = Utf16ToUtf8(key.name);
    line.text = Utf16ToUtf8(text);
    line.present = !text.empty();
    line.stored = FieldText(key, stored);
    line.accepted = verdict.Accepted();
    if (verdict.Accepted()) {
      line.note = "read from the file";
      if (ini.Text16(u"Setup", key.name, kWholeValueChars) != text) {
        line.note += " (cut to the characters the plug-in's buffer holds)";
      }
    } else {
      // a missing section, a missing key and an empty value read alike
      line.reason = line.present ? DescribeVerdict(verdict, text, separator) : "key missing or empty";
      line.note = "default " + FieldText(key, defaults) + ": " + line.reason;
    }
    line.agrees = HoldsVerdict(key, verdict, stored);
    if (!line.agrees) {
      TClothSetup expected = defaults;
      StoreSetting(key, verdict, &expected);
      line.note +=
          "; NOTE the rules give " + FieldText(key, expected) + " but the plug-in stored another value";
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace tumelin
