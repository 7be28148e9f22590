#include <iostream>

#include "commands.h"
#include "run_loop.h"
#include "user_text.h"

namespace tumelin {

// the scenario and the picture size are checked before the plug-in loads
int CommandRun(const std::string& pluginPath, const CommandLine& cl) {
  const Scenario s = ResolveOrThrow(cl.runIni, cl.run);
  SetupFile setup;
  PrepareSetupOrThrow(&setup, cl.runIni, cl.runSet);
  RunOutput out;
  out.folder = cl.outFolder;
  out.hash = cl.printHash;
  ParseImageSizeOrThrow("--image", cl.imageSize, &out.imageWidth, &out.imageHeight);
  std::string error;
  if (!ParseView(cl.view, &out.render.view, &error)) throw UsageError{"--view: " + error};
  const int frame = FindName({"fixed", "auto"}, cl.frame);
  if (frame < 0) throw UsageError{"--frame: " + UnknownName("framing", {"fixed", "auto"}, cl.frame)};
  out.frameFixed = frame == 0;
  out.animate = cl.animate;
  if (out.animate && out.folder.empty()) throw UsageError{"--animate needs an output folder (--out)"};
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  NewFolders folders;
  out.folders = &folders;
  if (!out.folder.empty()) {
    if (!PrepareOutputFolder(out.folder, &folders, &error)) throw UsageError{error};
    NoteAbandoned(out.folder, {out.folder, (std::filesystem::u8path(out.folder) / "frames").u8string()});
  }
  // the membrane's defects as check reports them, then the settings'
  const MeshReport report = CheckMembrane(BuildScenarioMembrane(s));
  Warnings warnings = WarningsOrThrow(s, setup, report);
  if (!out.folder.empty() && s.every > s.steps) {
    warnings.lines.push_back("--every " + std::to_string(s.every) + " is more than the run's " +
                             Count(s.steps, "step", "steps") + ": no frames are written");
  }
  std::vector<std::string> lines = MeshProblems(report);
  lines.insert(lines.end(), warnings.lines.begin(), warnings.lines.end());
  for (const std::string& line : lines) std::cerr << "tumelin-host: warning: " << line << std::endl;
  RunScenario(plugin, s, setup.Path(), out, true, warnings.cause);
  return 0;
}

}  // namespace tumelin
