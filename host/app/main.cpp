// tumelin-host: a command-line stand-in for the host application. It loads
// Tumelin.kwt, builds membranes, runs them and writes what it sees. This file
// is the command line and its dispatch; each command has a file of its own.
#include <tumelin/version.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_status.h"
#include "interrupt.h"
#include "run_loop.h"

namespace tumelin {
// each command's file defines its own
CommandAction DefineInfoCommand(CLI::App* app);
CommandAction DefineSettingsCommand(CLI::App* app);
CommandAction DefineCheckCommand(CLI::App* app);
CommandAction DefineRunCommand(CLI::App* app);
CommandAction DefineSweepCommand(CLI::App* app);
CommandAction DefineHashCommand(CLI::App* app);
}  // namespace tumelin

using namespace tumelin;

namespace {

int Fail(const std::string& message, int code) {
  std::cerr << "tumelin-host: error: " << message << std::endl;
  return code;
}

// every command, in the order --help lists them; a new command is a file
// that defines one more of these, declared above and listed here
const CommandDefinition kCommands[] = {
    DefineInfoCommand, DefineSettingsCommand, DefineCheckCommand,
    DefineRunCommand,  DefineSweepCommand,    DefineHashCommand,
};

}  // namespace

int main(int argc, char** argv) {
  CatchInterrupts();
  CLI::App app{"tumelin-host: a stand-in for the host application of the Tumelin plug-in"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "tumelin-host " TUMELIN_VERSION_STRING, "show the release and exit");
  std::string pluginPath;
  app.add_option("--plugin", pluginPath, "the plug-in to load (default: Tumelin.kwt beside this program)");
  // each definition adds one subcommand: the actions are in their order
  std::vector<CommandAction> actions;
  for (const CommandDefinition define : kCommands) actions.push_back(define(&app));
  const std::vector<CLI::App*> commands = app.get_subcommands([](CLI::App*) { return true; });
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
    for (size_t i = 0; i < commands.size(); ++i) {
      if (commands[i]->parsed()) return actions[i](pluginPath);
    }
    return 0;
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
