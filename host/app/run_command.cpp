#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "commands.h"
#include "run_loop.h"
#include "user_text.h"

namespace tumelin {

namespace {

struct RunOptions {
  std::string ini;
  ScenarioChoices given;
  std::vector<std::string> set;
  std::string outFolder, imageSize = "800x600";
  std::string view = "-55,28", frame = "fixed";
  bool printHash = false, animate = false;
};

// the scenario and the picture size are checked before the plug-in loads
int Run(const std::string& pluginPath, const RunOptions& cl) {
  const Scenario s = ResolveOrThrow(cl.ini, cl.given);
  SetupFile setup;
  PrepareSetupOrThrow(&setup, cl.ini, cl.set);
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

}  // namespace

CommandAction DefineRunCommand(CLI::App* app) {
  auto o = std::make_shared<RunOptions>();
  auto* run = app->add_subcommand("run", "run a membrane and write what it became");
  AddScenarioOptions(run, &o->ini, &o->given, &o->set, {});
  run->add_option("-o,--out", o->outFolder,
                  "output folder for surface.obj, surface.png, figures.csv, plot.svg");
  run->add_option("--image", o->imageSize, "picture size WIDTHxHEIGHT (800x600)");
  AddViewOption(run, &o->view);
  run->add_option(
         "--frame", o->frame,
         "fixed: one scale for every picture of the scenario, taken from the start shape; auto: each "
         "picture fitted to its own shape (fixed)")
      ->type_name("fixed|auto");
  run->add_flag("--animate", o->animate,
                "also write animation.gif (and animation.mp4 where ffmpeg is installed) of the surface every "
                "K steps (--every K; without it about 100 frames)");
  run->add_flag("--hash", o->printHash,
                "print the state hash at the end (docs/host-integration.md: The state hash)");
  return [o](const std::string& pluginPath) { return Run(pluginPath, *o); };
}

}  // namespace tumelin
