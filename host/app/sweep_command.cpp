#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "child_process.h"
#include "commands.h"
#include "exit_status.h"
#include "interrupt.h"
#include "progress.h"
#include "setup_rules.h"
#include "sweep.h"
#include "temporary_folder.h"
#include "user_text.h"

namespace tumelin {

namespace {

struct SweepOptions {
  std::string pluginPath;  // as --plugin gave it, for the runs
  std::string ini, out = "sweep", thumbSize = "240x180", view = "-55,28";
  ScenarioChoices given;
  std::vector<std::string> set;  // KEY=LIST
  int jobs = 0;
};

constexpr size_t kMaxSweepRuns = 1000;

// "run_007" for run 7 of up to 999
std::string RunFolderName(size_t run, size_t total) {
  const int digits = static_cast<int>(std::to_string(total).size());
  char name[40];
  std::snprintf(name, sizeof name, "run_%0*zu", digits, run);
  return name;
}

// a name RunFolderName gives
bool IsRunFolderName(const std::string& name) { return NumberedName(name, "run_", {""}); }

std::string ReadFileOrEmpty(const std::filesystem::path& path) {
  std::string bytes;
  return ReadFileBytes(path.u8string(), &bytes) ? bytes : std::string();
}

// a run's log names the folder the run wrote to, which the sweep has since
// moved: the log names the folder where its files now are
void NameFinalFolderInLog(const std::filesystem::path& log, const std::string& written,
                          const std::string& now) {
  std::string text = ReadFileOrEmpty(log);
  bool changed = false;
  for (size_t at = text.find(written); at != std::string::npos; at = text.find(written, at + now.size())) {
    text.replace(at, written.size(), now);
    changed = true;
  }
  std::string ignored;
  if (changed) WriteFileAtomic(log.u8string(), text, &ignored);
}

// `from` in the place of `to`, which goes first with all it holds
bool MoveFolder(const std::filesystem::path& from, const std::filesystem::path& to, std::string* error) {
  std::error_code ec;
  std::filesystem::remove_all(to, ec);
  if (!ec) std::filesystem::rename(from, to, ec);
  if (ec) *error = "cannot move the run into " + to.u8string() + ": " + ec.message();
  return !ec;
}

}  // namespace

// the value lists of --set, each key once, at most kMaxSweepRuns combinations
std::vector<SweepAxis> SweepAxesOrThrow(const std::vector<std::string>& texts) {
  std::vector<SweepAxis> axes;
  std::string error;
  const char16_t separator = ReadUserDecimalSeparator();
  for (const std::string& text : texts) {
    SweepAxis axis;
    if (!ParseSweepAxis(text, separator, &axis, &error)) throw UsageError{"--set: " + error};
    for (const SweepAxis& other : axes) {
      if (other.key == axis.key) throw UsageError{"--set: " + axis.key + " is given twice; give one list"};
    }
    axes.push_back(axis);
  }
  const size_t total = CombinationCount(axes);
  if (total > kMaxSweepRuns) {
    throw UsageError{"--set: " + std::to_string(total) + " combinations; a sweep runs at most " +
                     std::to_string(kMaxSweepRuns)};
  }
  return axes;
}

// the contact sheet: one tile per run, the last axis across
Image SweepSheet(const Scenario& s, const std::vector<SweepAxis>& axes, const std::vector<SweepRun>& runs) {
  std::vector<Tile> tiles;
  for (const SweepRun& run : runs) {
    Tile tile;
    if (run.HasPicture() && !DecodePng(run.picture, &tile.picture)) tile.picture = Image{};
    tile.label = TileLabel(run, s.params.shape);
    tile.failed = run.Status() != RunStatus::kOk;
    tiles.push_back(std::move(tile));
  }
  std::string keys;
  for (const SweepAxis& a : axes) keys += (keys.empty() ? "" : " x ") + a.key;
  const int columns = axes.size() >= 2 ? static_cast<int>(axes.back().values.size())
                                       : static_cast<int>(std::min<size_t>(runs.size(), 6));
  return ContactSheet(tiles, columns, s.name + ": " + keys + ", " + Count(s.steps, "step", "steps"));
}

// one run of the sweep, `tumelin-host` at `self` with the `common`
// arguments and the run's settings, into `folder`; false when the sweep was
// interrupted meanwhile
bool RunOne(const std::string& self, const std::vector<std::string>& common,
            const std::filesystem::path& folder, SweepRun* run) {
  std::vector<std::string> arguments = common;
  for (const SetupText& v : run->settings)
    arguments.insert(arguments.end(), {"--set", v.key + "=" + v.value});
  arguments.insert(arguments.end(), {"--out", folder.u8string()});
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path log = folder / "run.log";
  ChildProcess child;
  std::string startError;
  run->started = child.Start(self, arguments, log.u8string(), &startError);
  run->exitStatus = run->started ? child.Wait() : -1;
  if (InterruptSignal() != 0) return false;
  run->message = run->started ? FirstComplaint(ReadFileOrEmpty(log)) : startError;
  if (run->exitStatus == 0) {
    run->figures = LastCsvRow(ReadFileOrEmpty(folder / "figures.csv"));
    if (run->figures.size() <= 1) run->figures.clear();  // the header alone, or nothing
    run->picture = ReadFileOrEmpty(folder / "surface.png");
  }
  return true;
}

namespace {

// what every run shares: the plug-in, the scenario, the camera, the picture
std::vector<std::string> CommonRunArguments(const SweepOptions& cl, int thumbWidth, int thumbHeight) {
  std::vector<std::string> common;
  if (!cl.pluginPath.empty()) common.insert(common.end(), {"--plugin", cl.pluginPath});
  common.push_back("run");
  if (!cl.ini.empty()) common.insert(common.end(), {"--ini", cl.ini});
  const std::vector<std::string> scenario = ScenarioArguments(cl.given);
  common.insert(common.end(), scenario.begin(), scenario.end());
  common.insert(common.end(), {"--image", std::to_string(thumbWidth) + "x" + std::to_string(thumbHeight),
                               "--view", cl.view, "--frame", "fixed"});
  return common;
}

// every run of `runs` into a folder of its own in `staging`, `workers` at a
// time, saying how many are done as they end; how many failed
size_t RunCombinations(const std::vector<SweepAxis>& axes, int workers, const std::string& self,
                       const std::vector<std::string>& common, const std::filesystem::path& staging,
                       std::vector<SweepRun>* runs) {
  const size_t total = runs->size();
  std::mutex report;
  size_t done = 0, failed = 0;
  // a sweep says from its first run on how many are done
  Progress progress(true, std::chrono::seconds{0});
  const bool terminal = IsTerminal(stderr);
  progress.Show("sweep: " + SweepCountLine(0, total, 0), true);
  RunPool(total, workers, [&](size_t i) {
    if (InterruptSignal() != 0) return;
    SweepRun& run = (*runs)[i];
    run.settings = Combination(axes, i);
    // a run stopped with the sweep is no result
    if (!RunOne(self, common, staging / RunFolderName(i + 1, total), &run)) return;
    std::lock_guard<std::mutex> lock(report);
    ++done;
    if (run.Status() != RunStatus::kOk) ++failed;
    if (terminal) {
      progress.Show("sweep: " + SweepCountLine(done, total, failed), true);
    } else {
      std::string what;
      for (const SetupText& v : run.settings) what += (what.empty() ? "" : " ") + v.key + "=" + v.value;
      std::cout << "sweep: " << SweepCountLine(done, total, failed) << " (" << what << ": "
                << StatusName(run.Status()) << ")" << std::endl;
    }
  });
  progress.Finish();
  return failed;
}

// sheet.png and sweep.csv written, and the runs moved from `staging` into
// runs/ in place of an earlier sweep's
void CommitSweep(const SweepOptions& cl, const Scenario& s, const std::vector<SweepAxis>& axes,
                 const std::vector<SweepRun>& runs, const std::filesystem::path& staging,
                 NewFolders* folders) {
  const std::filesystem::path out = std::filesystem::u8path(cl.out);
  const Image sheet = SweepSheet(s, axes, runs);
  OutputSet files;
  AddFileOrThrow(&files, out / "sheet.png", PngOrThrow(sheet));
  AddFileOrThrow(&files, out / "sweep.csv", SweepCsv(axes, runs, s.params.shape));
  StopIfInterrupted("during the sweep; its runs removed");
  std::string error;
  if (!folders->Create((out / "runs").u8string(), &error) || !files.Commit(&error)) {
    throw std::runtime_error(error);
  }
  folders->Keep();
  std::vector<std::string> runFolders;
  for (size_t i = 0; i < runs.size(); ++i) {
    const std::string name = RunFolderName(i + 1, runs.size());
    runFolders.push_back((out / "runs" / name).u8string());
    if (!MoveFolder(staging / name, out / "runs" / name, &error)) throw std::runtime_error(error);
    NameFinalFolderInLog(out / "runs" / name / "run.log", (staging / name).u8string(), runFolders.back());
  }
  const int removed = RemoveEarlierOutputs((out / "runs").u8string(), IsRunFolderName, runFolders);
  if (removed > 0) {
    std::cerr << "tumelin-host: note: removed " << removed << (removed == 1 ? " run folder" : " run folders")
              << " of an earlier sweep from runs in " << cl.out << std::endl;
  }
}

// every combination as a `tumelin-host run` of its own, as many at a time as
// there are processors; a run that fails is a marked tile, not a lost sweep
int Sweep(const SweepOptions& cl) {
  const Scenario s = ResolveOrThrow(cl.ini, cl.given);
  const std::vector<SweepAxis> axes = SweepAxesOrThrow(cl.set);
  const size_t total = CombinationCount(axes);
  std::string error;
  int thumbWidth = 0, thumbHeight = 0;
  ParseImageSizeOrThrow("--thumb", cl.thumbSize, &thumbWidth, &thumbHeight);
  View view;
  if (!ParseView(cl.view, &view, &error)) throw UsageError{"--view: " + error};
  // a plug-in that cannot load is one error, not a sheet of failed runs
  Plugin plugin;
  LoadPluginOrThrow(&plugin, cl.pluginPath);
  const std::string self = OwnProgramPath();
  if (self.empty()) throw std::runtime_error("cannot find this program's own path to start its runs");
  NewFolders folders;
  if (!PrepareOutputFolder(cl.out, &folders, &error)) throw UsageError{error};
  const std::filesystem::path out = std::filesystem::u8path(cl.out);
  NoteAbandoned(cl.out, {cl.out, (out / "runs").u8string()});
  // the runs go to a hidden folder first: the earlier sweep's runs stay
  // until this sweep is complete
  const TemporaryFolder staging(std::filesystem::u8path(TemporaryPathBeside((out / "runs").u8string())));

  const std::vector<std::string> common = CommonRunArguments(cl, thumbWidth, thumbHeight);
  const int workers = cl.jobs > 0 ? cl.jobs : ProcessorCount();
  std::vector<SweepRun> runs(total);
  const auto start = std::chrono::steady_clock::now();
  const size_t failed = RunCombinations(axes, workers, self, common, staging.path, &runs);
  StopIfInterrupted("during the sweep; its runs removed");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  CommitSweep(cl, s, axes, runs, staging.path, &folders);
  std::cout << "sweep of " << s.name << ": " << Count(static_cast<long long>(total), "run", "runs") << " in "
            << FormatDouble(std::round(seconds * 10) / 10) << " s, " << (total - failed) << " ok, " << failed
            << " failed; sheet.png and sweep.csv in " << cl.out << std::endl;
  return failed == 0 ? 0 : kExitProblems;
}

}  // namespace

CommandAction DefineSweepCommand(CLI::App* app) {
  auto o = std::make_shared<SweepOptions>();
  auto* sweep = app->add_subcommand(
      "sweep", "run every combination of [Setup] values in parallel and put the results side by side");
  AddScenarioOptions(sweep, &o->ini, &o->given, nullptr, {"every"});
  sweep
      ->add_option("--set", o->set,
                   "KEY=V1,V2,... values of one [Setup] key (repeatable); with a decimal comma separate them "
                   "with ';': \"ClothP=0,2;0,5\"")
      ->required()
      ->type_name("KEY=LIST")
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  sweep->add_option("-o,--out", o->out, "output folder for sheet.png, sweep.csv and runs/ (sweep)");
  sweep->add_option("--thumb", o->thumbSize, "size of each run's picture WIDTHxHEIGHT (240x180)");
  AddViewOption(sweep, &o->view);
  sweep->add_option("-j,--jobs", o->jobs, "runs at the same time (default: one per processor)")
      ->check(CLI::Range(1, 256));
  return [o](const std::string& pluginPath) {
    o->pluginPath = pluginPath;
    return Sweep(*o);
  };
}

}  // namespace tumelin
