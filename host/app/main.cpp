// tumelin-host: a command-line stand-in for the host application. It loads
// Tumelin.kwt, builds membranes, runs them and writes what it sees. This file
// is the command line and its dispatch; each command has a file of its own.
#include <tumelin/version.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <initializer_list>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "interrupt.h"
#include "membrane_options.h"
#include "plugin_loader.h"
#include "render.h"
#include "run_loop.h"

using namespace tumelin;

namespace {

int Fail(const std::string& message, int code) {
  std::cerr << "tumelin-host: error: " << message << std::endl;
  return code;
}

void AddSetOption(CLI::App* cmd, std::vector<std::string>* texts) {
  cmd->add_option("--set", *texts,
                  "KEY=VALUE for section [Setup], over the file's value (repeatable); the plug-in reads it "
                  "from a settings file written for the command and judges it by its own rules")
      ->type_name("KEY=VALUE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// the INI file of a command, named by --ini or standing alone: both forms
// on every command that takes one
void AddIniOption(CLI::App* cmd, std::string* ini, const std::string& help) {
  CLI::Option* named = cmd->add_option("--ini", *ini, help)->type_name("FILE");
  cmd->add_option("ini", *ini, "the INI file, as with --ini")->type_name("FILE")->excludes(named);
}

// the INI file, --set unless `set` is null, and every membrane option but
// those `without` names; their texts go to the scenario unparsed
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
          names, [given, key, text]() { (*given)[key] = text; }, option.help);
      continue;
    }
    cmd->add_option_function<std::string>(
           names, [given, key](const std::string& text) { (*given)[key] = text; }, option.help)
        ->type_name(option.valueName);
  }
}

void AddViewOption(CLI::App* cmd, std::string* view) {
  cmd->add_option("--view", *view, "camera direction AZIMUTH,ELEVATION in degrees (-55,28)")
      ->type_name("AZ,EL");
}

// the commands and their options; values land in `cl`
void DefineCommands(CLI::App* app, CommandLine* cl) {
  app->require_subcommand(1);
  app->set_version_flag("--version", "tumelin-host " TUMELIN_VERSION_STRING, "show the release and exit");
  app->add_option("--plugin", cl->pluginPath,
                  "the plug-in to load (default: Tumelin.kwt beside this program)");

  app->add_subcommand("info", "show the display name, registration strings, release and version stamp");

  auto* settings =
      app->add_subcommand("settings", "show what the plug-in makes of section [Setup] of an INI file");
  AddIniOption(settings, &cl->settingsFile, "the INI file (optional with --set)");
  AddSetOption(settings, &cl->settingsSet);

  auto* check =
      app->add_subcommand("check", "examine a membrane before it runs (exit 3 when problems are found)");
  AddScenarioOptions(check, &cl->checkIni, &cl->check, &cl->checkSet, {"steps", "every"});

  auto* run = app->add_subcommand("run", "run a membrane and write what it became");
  AddScenarioOptions(run, &cl->runIni, &cl->run, &cl->runSet, {});
  run->add_option("-o,--out", cl->outFolder,
                  "output folder for surface.obj, surface.png, figures.csv, plot.svg");
  run->add_option("--image", cl->imageSize, "picture size WIDTHxHEIGHT (800x600)");
  AddViewOption(run, &cl->view);
  run->add_option(
         "--frame", cl->frame,
         "fixed: one scale for every picture of the scenario, taken from the start shape; auto: each "
         "picture fitted to its own shape (fixed)")
      ->type_name("fixed|auto");
  run->add_flag("--animate", cl->animate,
                "also write animation.gif (and animation.mp4 where ffmpeg is installed) of the surface every "
                "K steps (--every K; without it about 100 frames)");
  run->add_flag("--hash", cl->printHash,
                "print the state hash at the end (docs/host-integration.md: The state hash)");

  auto* sweep = app->add_subcommand(
      "sweep", "run every combination of [Setup] values in parallel and put the results side by side");
  AddScenarioOptions(sweep, &cl->sweepIni, &cl->sweep, nullptr, {"every"});
  sweep
      ->add_option("--set", cl->sweepSet,
                   "KEY=V1,V2,... values of one [Setup] key (repeatable); with a decimal comma separate them "
                   "with ';': \"ClothP=0,2;0,5\"")
      ->required()
      ->type_name("KEY=LIST")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  sweep->add_option("-o,--out", cl->sweepOut, "output folder for sheet.png, sweep.csv and runs/ (sweep)");
  sweep->add_option("--thumb", cl->thumbSize, "size of each run's picture WIDTHxHEIGHT (240x180)");
  AddViewOption(sweep, &cl->sweepView);
  sweep->add_option("-j,--jobs", cl->jobs, "runs at the same time (default: one per processor)")
      ->check(CLI::Range(1, 256));

  auto* hash = app->add_subcommand("hash", "run several scenario INI files and print one hash per file");
  hash->add_option("files", cl->hashFiles, "scenario INI files (sections [Setup] and [Membrane])");
  hash->add_option("--ini", cl->hashIniFiles, "a scenario INI file, as one of FILES (repeatable)")
      ->type_name("FILE")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// the exit code of the one command given; throws UsageError for bad input
int Dispatch(const CLI::App& app, const CommandLine& cl) {
  const std::string pluginPath = cl.pluginPath.empty() ? DefaultPluginPath() : cl.pluginPath;
  if (app.got_subcommand("info")) return CommandInfo(pluginPath);
  if (app.got_subcommand("settings")) return CommandSettings(pluginPath, cl);
  if (app.got_subcommand("check")) return CommandCheck(cl);
  if (app.got_subcommand("run")) return CommandRun(pluginPath, cl);
  if (app.got_subcommand("sweep")) return CommandSweep(cl);
  if (app.got_subcommand("hash")) {
    std::vector<std::string> files = cl.hashIniFiles;
    files.insert(files.end(), cl.hashFiles.begin(), cl.hashFiles.end());
    if (files.empty()) throw UsageError{"hash: name one or more scenario INI files"};
    return CommandHash(pluginPath, files);
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  CatchInterrupts();
  CLI::App app{"tumelin-host: a stand-in for the host application of the Tumelin plug-in"};
  CommandLine cl;
  DefineCommands(&app, &cl);
  app.footer(kExitStatuses);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const std::string name = e.get_name();
    if (name == "CallForHelp" || name == "CallForAllHelp" || name == "CallForVersion") return app.exit(e);
    std::string message = e.what();
    for (char& c : message) {
      if (c == '\n') c = ' ';
    }
    return Fail(message, kExitUsage);
  }
  try {
    return Dispatch(app, cl);
  } catch (const UsageError& e) {
    return Fail(e.message, kExitUsage);
  } catch (const Diverged& e) {
    return Fail(e.message, kExitDiverged);
  } catch (const Interrupted& e) {
    return Fail(e.message, InterruptedExitStatus(InterruptSignal()));
  } catch (const std::exception& e) {
    return Fail(e.what(), kExitFailure);
  }
}
