#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "commands.h"
#include "exit_status.h"

namespace tumelin {

namespace {

struct CheckOptions {
  std::string ini;
  ScenarioChoices given;
  std::vector<std::string> set;
};

// the plug-in is not loaded: its rules judge the settings
int Check(const CheckOptions& cl) {
  const Scenario s = ResolveOrThrow(cl.ini, cl.given);
  Membrane membrane = BuildScenarioMembrane(s);
  SetupFile setup;
  PrepareSetupOrThrow(&setup, cl.ini, cl.set);
  const MeshReport report = CheckMembrane(membrane);
  const Warnings warnings = WarningsOrThrow(s, setup, report);
  if (s.params.shape == Shape::kMesh) std::cout << "mesh file " << s.meshPath << "\n";
  std::cout << FormatReport(membrane, report, warnings.lines);
  return report.Clean() && warnings.lines.empty() ? 0 : kExitProblems;
}

}  // namespace

CommandAction DefineCheckCommand(CLI::App* app) {
  auto options = std::make_shared<CheckOptions>();
  auto* cmd =
      app->add_subcommand("check", "examine a membrane before it runs (exit 3 when problems are found)");
  AddScenarioOptions(cmd, &options->ini, &options->given, &options->set, {"steps", "every"});
  return [options](const std::string&) { return Check(*options); };
}

}  // namespace tumelin
