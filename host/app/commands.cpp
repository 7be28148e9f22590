#include "commands.h"

#include <algorithm>
#include <iostream>

#include "setup_rules.h"
#include "user_text.h"

namespace tumelin {

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
  if (!plugin->Load(path, &error)) throw UsageError{error};
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
