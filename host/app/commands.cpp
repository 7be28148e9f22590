#include "commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "membrane_options.h"
#include "setup_rules.h"
#include "user_text.h"

namespace tumelin {

void AddSetOption(CLI::App* cmd, std::vector<std::string>* texts) {
  cmd->add_option("--set", *texts,
                  "KEY=VALUE for section [Setup], over the file's value (repeatable); the plug-in reads it "
                  "from a settings file written for the command and judges it by its own rules")
      ->type_name("KEY=VALUE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// both forms on every command that takes an INI file
void AddIniOption(CLI::App* cmd, std::string* ini, const std::string& help) {
  CLI::Option* named = cmd->add_option("--ini", *ini, help)->type_name("FILE");
  cmd->add_option("ini", *ini, "the INI file, as with --ini")->type_name("FILE")->excludes(named);
}

void AddScenarioOptions(CLI::App* cmd, std::string* ini, ScenarioChoices* given,
                        std::vector<std::string>* set, std::initializer_list<std::string_view> without) {
  AddIniOption(
      cmd, ini,
      "INI file: section [Setup] for the plug-in, section [Membrane] for the shape (optional; without "
      "it the plug-in's defaults apply)");
  // a sweep brings its own --set, with lists
  if (set != nullptr) AddSetOption(cmd, set);
  for (const MembraneOption& option : kMembraneOptions) {
    if (std::find(without.begin(), without.end(), option.key) != without.end()) continue;
    const std::string key = option.key;
    std::string names = std::string("--") + option.flag;
    if (*option.letter != '\0') names = std::string("-") + option.letter + "," + names;
    if (option.valueName == nullptr) {
      const std::string text = SwitchText(option);
      cmd->add_flag_callback(
          names, [given, key, text]() { (*given)[key] = text; }, OptionHelp(option));
      continue;
    }
    cmd->add_option_function<std::string>(
           names, [given, key](const std::string& text) { (*given)[key] = text; }, OptionHelp(option))
        ->type_name(option.valueName);
  }
}

void AddViewOption(CLI::App* cmd, std::string* view) {
  cmd->add_option("--view", *view, "camera direction AZIMUTH,ELEVATION in degrees (-55,28)")
      ->type_name("AZ,EL");
}

Scenario ResolveOrThrow(const std::string& iniPath, const ScenarioChoices& given) {
  Scenario s;
  std::string error;
  if (!ResolveScenario(iniPath, given, &s, &error)) throw UsageError{error};
  return s;
}

std::vector<SetupText> PrepareSetupOrThrow(SetupFile* setup, const std::string& iniPath,
                                           const std::vector<std::string>& texts) {
  std::vector<SetupText> given;
  std::string error;
  for (const std::string& text : texts) {
    SetupText value;
    if (!ParseSetupAssignment(text, &value, &error)) throw UsageError{"--set: " + error};
    given.push_back(value);
  }
  if (!setup->Prepare(iniPath, given, &error)) throw UsageError{error};
  return given;
}

void ParseImageSizeOrThrow(const std::string& option, const std::string& text, int* width, int* height) {
  if (!ParseImageSize(text, width, height)) {
    throw UsageError{option + " must be WIDTHxHEIGHT between " + std::to_string(kMinImageSide) + " and " +
                     std::to_string(kMaxImageSide) + ", not '" + text + "'"};
  }
}

void LoadPluginOrThrow(Plugin* plugin, const std::string& path) {
  std::string error;
  if (!plugin->Load(path.empty() ? DefaultPluginPath() : path, &error)) throw UsageError{error};
}

void AddFileOrThrow(OutputSet* files, const std::filesystem::path& path, const std::string& bytes) {
  std::string error;
  if (!files->Add(path.u8string(), bytes, &error)) throw std::runtime_error(error);
}

std::string PngOrThrow(const Image& image) {
  std::string png = EncodePng(image);
  if (png.empty()) throw std::runtime_error("cannot encode the PNG picture");
  return png;
}

bool NumberedName(const std::string& name, const std::string& prefix,
                  std::initializer_list<const char*> suffixes) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  size_t end = prefix.size();
  while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
  if (end == prefix.size()) return false;
  const std::string rest = name.substr(end);
  return std::any_of(suffixes.begin(), suffixes.end(), [&](const char* suffix) { return rest == suffix; });
}

void NoteAbandoned(const std::string& where, std::initializer_list<std::string> folders) {
  int removed = 0;
  for (const std::string& folder : folders) removed += RemoveAbandonedTemporaries(folder);
  if (removed > 0) {
    std::cerr << "tumelin-host: note: removed " << removed
              << (removed == 1 ? " temporary entry" : " temporary entries")
              << " that an interrupted command left in " << where << std::endl;
  }
}

Warnings WarningsOrThrow(const Scenario& s, const SetupFile& setup, const MeshReport& report) {
  Warnings w;
  std::string error;
  if (!WarningsFor(s, setup, report, &w, &error)) throw UsageError{error};
  return w;
}

}  // namespace tumelin
