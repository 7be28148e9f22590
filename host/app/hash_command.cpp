#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "commands.h"
#include "run_loop.h"
#include "user_text.h"

namespace tumelin {

namespace {

// every scenario is checked before the first one runs
int Hash(const std::string& pluginPath, const std::vector<std::string>& files) {
  std::vector<Scenario> scenarios;
  for (const std::string& file : files) scenarios.push_back(ResolveOrThrow(file, ScenarioChoices{}));
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  for (const Scenario& s : scenarios) {
    const uint64_t hash = RunScenario(plugin, s, s.iniPath, RunOutput{}, false);
    std::cout << HexHash(hash) << "  " << s.name << "  " << Count(s.steps, "step", "steps") << std::endl;
  }
  return 0;
}

struct HashOptions {
  std::vector<std::string> files, iniFiles;
};

}  // namespace

CommandAction DefineHashCommand(CLI::App* app) {
  auto o = std::make_shared<HashOptions>();
  auto* hash = app->add_subcommand("hash", "run several scenario INI files and print one hash per file");
  hash->add_option("files", o->files, "scenario INI files (sections [Setup] and [Membrane])");
  hash->add_option("--ini", o->iniFiles, "a scenario INI file, as one of FILES (repeatable)")
      ->type_name("FILE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  return [o](const std::string& pluginPath) {
    std::vector<std::string> files = o->iniFiles;
    files.insert(files.end(), o->files.begin(), o->files.end());
    if (files.empty()) throw UsageError{"hash: name one or more scenario INI files"};
    return Hash(pluginPath, files);
  };
}

}  // namespace tumelin
