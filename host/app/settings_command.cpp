#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <memory>

#include "commands.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "warnings.h"

namespace tumelin {

namespace {

struct SettingsOptions {
  std::string file;
  std::vector<std::string> set;  // KEY=VALUE, in the order given
};

int Settings(const std::string& pluginPath, const SettingsOptions& cl) {
  if (cl.file.empty() && cl.set.empty()) {
    throw UsageError{"settings: name an INI file, give --set KEY=VALUE, or both"};
  }
  SetupFile setup;
  const std::vector<SetupText> given = PrepareSetupOrThrow(&setup, cl.file, cl.set);
  IniFile ini;
  std::string error;
  if (!ini.Open(setup.Path(), &error)) throw UsageError{error};
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  const TClothSetup stored = LoadSettings(plugin, PathForPlugin(ini.Path()));
  const char16_t separator = ReadUserDecimalSeparator();
  const auto lines = ExplainSetup(ini, stored, separator);
  const std::string source = cl.file.empty() ? std::string("--set") : cl.file;
  std::cout << "settings of " << source << (setup.Written() && !cl.file.empty() ? " with --set" : "")
            << " (section [Setup]; decimal separator '" << Utf16ToUtf8(std::u16string_view(&separator, 1))
            << "')\n";
  size_t textWidth = 9, storedWidth = 6;
  for (const auto& line : lines) {
    textWidth = std::max(textWidth, line.present ? line.text.size() + 2 : 9);
    storedWidth = std::max(storedWidth, line.stored.size());
  }
  textWidth = std::min<size_t>(textWidth, 32);
  auto pad = [](std::string s, size_t w) {
    if (s.size() > w) s = s.substr(0, w - 3) + "...";
    return s + std::string(w - s.size() + 2, ' ');
  };
  std::cout << pad("key", 11) << pad("file text", textWidth) << pad("stored", storedWidth) << "why\n";
  for (const auto& line : lines) {
    const bool fromSet =
        std::any_of(given.begin(), given.end(), [&](const SetupText& g) { return g.key == line.key; });
    std::cout << pad(line.key, 11) << pad(line.present ? "\"" + line.text + "\"" : "(none)", textWidth)
              << pad(line.stored, storedWidth) << line.note << (fromSet ? " (given by --set)" : "") << "\n";
  }
  if (!cl.file.empty()) {
    IniFile file;
    if (!file.Open(cl.file, &error)) throw UsageError{error};
    for (const std::string& warning : IniFileWarnings(file)) std::cout << "warning: " << warning << "\n";
  }
  return 0;
}

}  // namespace

CommandAction DefineSettingsCommand(CLI::App* app) {
  auto options = std::make_shared<SettingsOptions>();
  auto* cmd =
      app->add_subcommand("settings", "show what the plug-in makes of section [Setup] of an INI file");
  AddIniOption(cmd, &options->file, "the INI file (optional with --set)");
  AddSetOption(cmd, &options->set);
  return [options](const std::string& pluginPath) { return Settings(pluginPath, *options); };
}

}  // namespace tumelin
