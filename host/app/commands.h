// The commands of tumelin-host, one file each (info_command.cpp, ...), each
// owning its options, and what they share: the options several of them
// take, and the checks that turn bad input into a UsageError. A command
// returns its exit status.
#pragma once

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "file_set.h"
#include "ini_file.h"
#include "mesh_check.h"
#include "plugin_loader.h"
#include "render.h"
#include "scenario.h"
#include "simulation.h"
#include "warnings.h"

namespace CLI {
class App;
}

namespace tumelin {

// bad input: the command stops with kExitUsage and this message
struct UsageError {
  std::string message;
};

// what a command does once the command line is parsed, given the plug-in
// --plugin names (empty: the default); returns the exit status
using CommandAction = std::function<int(const std::string& pluginPath)>;
// adds a command with its options to `app`; the action runs it
using CommandDefinition = CommandAction (*)(CLI::App* app);

// options more than one command takes
// the INI file, named by --ini or standing alone
void AddIniOption(CLI::App* cmd, std::string* ini, const std::string& help);
// --set KEY=VALUE, repeatable
void AddSetOption(CLI::App* cmd, std::vector<std::string>* texts);
// the INI file, --set unless `set` is null, and every membrane option but
// those `without` names; their texts go to `given` unparsed
void AddScenarioOptions(CLI::App* cmd, std::string* ini, ScenarioChoices* given,
                        std::vector<std::string>* set, std::initializer_list<std::string_view> without);
void AddViewOption(CLI::App* cmd, std::string* view);

// the scenario of a command's INI file and options
Scenario ResolveOrThrow(const std::string& iniPath, const ScenarioChoices& given);
// the settings file a command's plug-in reads: the INI file, or one written
// with the --set values over it; returns the values given
std::vector<SetupText> PrepareSetupOrThrow(SetupFile* setup, const std::string& iniPath,
                                           const std::vector<std::string>& texts);
// WIDTHxHEIGHT of `option`
void ParseImageSizeOrThrow(const std::string& option, const std::string& text, int* width, int* height);
// the plug-in at `path`, or where it lies by default when `path` is empty
void LoadPluginOrThrow(Plugin* plugin, const std::string& path);

// one file of a set, in place only when the whole set is
void AddFileOrThrow(OutputSet* files, const std::filesystem::path& path, const std::string& bytes);
std::string PngOrThrow(const Image& image);
// `name` is prefix, at least one digit, then one of `suffixes`: this tool's
// names for what a run or a sweep writes only sometimes
bool NumberedName(const std::string& name, const std::string& prefix,
                  std::initializer_list<const char*> suffixes);
// what killed commands left in `folders` goes, with a note that names `where`
void NoteAbandoned(const std::string& where, std::initializer_list<std::string> folders);

// WarningsFor, a file it cannot open being bad input
Warnings WarningsOrThrow(const Scenario& s, const SetupFile& setup, const MeshReport& report);

}  // namespace tumelin
