#include <iostream>

#include "commands.h"
#include "exit_status.h"

namespace tumelin {

// the plug-in is not loaded: its rules judge the settings
int CommandCheck(const CommandLine& cl) {
  const Scenario s = ResolveOrThrow(cl.checkIni, cl.check);
  Membrane membrane = BuildScenarioMembrane(s);
  SetupFile setup;
  PrepareSetupOrThrow(&setup, cl.checkIni, cl.checkSet);
  const MeshReport report = CheckMembrane(membrane);
  const Warnings warnings = WarningsOrThrow(s, setup, report);
  if (s.params.shape == Shape::kMesh) std::cout << "mesh file " << s.meshPath << "\n";
  std::cout << FormatReport(membrane, report, warnings.lines);
  return report.Clean() && warnings.lines.empty() ? 0 : kExitProblems;
}

}  // namespace tumelin
