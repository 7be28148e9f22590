// The commands of tumelin-host, one file each (info_command.cpp, ...), and
// what they share: the command line as parsed, and the checks that turn bad
// input into a UsageError. A command returns its exit status.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "ini_file.h"
#include "mesh_check.h"
#include "outputs.h"
#include "plugin_loader.h"
#include "render.h"
#include "scenario.h"
#include "warnings.h"

namespace tumelin {

// bad input: the command stops with kExitUsage and this message
struct UsageError {
  std::string message;
};

// what the command line asked for, filled in by CLI11
struct CommandLine {
  std::string pluginPath;
  std::string settingsFile;
  std::string checkIni, runIni;
  ScenarioChoices check, run;
  // --set KEY=VALUE of each command, in the order given
  std::vector<std::string> settingsSet, checkSet, runSet;
  std::string outFolder, imageSize = "800x600";
  std::string view = "-55,28", frame = "fixed";
  bool printHash = false, animate = false;
  // sweep
  std::string sweepIni, sweepOut = "sweep", thumbSize = "240x180", sweepView = "-55,28";
  ScenarioChoices sweep;
  std::vector<std::string> sweepSet;
  int jobs = 0;
  std::vector<std::string> hashFiles, hashIniFiles;
};

// the scenario of a command's INI file and options
Scenario ResolveOrThrow(const std::string& iniPath, const ScenarioChoices& given);
// the settings file a command's plug-in reads: the INI file, or one written
// with the --set values over it; returns the values given
std::vector<SetupText> PrepareSetupOrThrow(SetupFile* setup, const std::string& iniPath,
                                           const std::vector<std::string>& texts);
// WIDTHxHEIGHT of `option`
void ParseImageSizeOrThrow(const std::string& option, const std::string& text, int* width, int* height);
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

int CommandInfo(const std::string& pluginPath);
int CommandSettings(const std::string& pluginPath, const CommandLine& cl);
int CommandCheck(const CommandLine& cl);
int CommandRun(const std::string& pluginPath, const CommandLine& cl);
int CommandSweep(const CommandLine& cl);
int CommandHash(const std::string& pluginPath, const std::vector<std::string>& files);

}  // namespace tumelin
