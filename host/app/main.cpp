// tumelin-host: a command-line stand-in for the host application. It loads
// Tumelin.kwt, builds membranes, runs them and writes what it sees.
#include <tumelin/version.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define TUMELIN_ISATTY(fd) _isatty(fd)
#define TUMELIN_FILENO(f) _fileno(f)
#else
#include <unistd.h>
#define TUMELIN_ISATTY(fd) isatty(fd)
#define TUMELIN_FILENO(f) fileno(f)
#endif

#include "animation.h"
#include "child_process.h"
#include "exit_status.h"
#include "ini_file.h"
#include "interrupt.h"
#include "membrane.h"
#include "mesh_check.h"
#include "outputs.h"
#include "plugin_loader.h"
#include "profile_reader.h"
#include "render.h"
#include "scenario.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "simulation.h"
#include "sweep.h"
#include "user_text.h"
#include "warnings.h"

using namespace tumelin;

namespace {

struct UsageError {
  std::string message;
};

int Fail(const std::string& message, int code) {
  std::cerr << "tumelin-host: error: " << message << std::endl;
  return code;
}

// ---- the command line ---------------------------------------------------------

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

// an option whose text goes to the scenario unparsed; `typeName` is what the
// help shows for its value
void AddSettingText(CLI::App* cmd, const std::string& names, std::optional<std::string>* given,
                    const std::string& help, const char* typeName) {
  cmd->add_option_function<std::string>(
         names, [given](const std::string& text) { *given = text; }, help)
      ->type_name(typeName);
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

void AddScenarioOptions(CLI::App* cmd, std::string* ini, ScenarioChoices* given,
                        std::vector<std::string>* set, bool withSteps) {
  AddIniOption(
      cmd, ini,
      "INI file: section [Setup] for the plug-in, section [Membrane] for the shape (optional; without "
      "it the plug-in's defaults apply)");
  // a sweep brings its own --set, with lists
  if (set != nullptr) AddSetOption(cmd, set);
  AddSettingText(cmd, "--shape", &given->shape, "sphere (grid mode 0), torus (1), sheet (2) or tube (3)",
                 "TEXT");
  AddSettingText(cmd, "--mesh", &given->mesh,
                 "a Wavefront OBJ file to run instead of a grid shape: its vertices become points, its edges "
                 "springs, its faces triangles in the file's winding; no grid write-back",
                 "FILE");
  cmd->add_flag_callback(
      "--flip", [given]() { given->flip = "yes"; },
      "reverse every triangle: most OBJ files wind counter-clockwise seen from outside, which a positive "
      "ClothP draws in");
  AddSettingText(cmd, "-u,--columns", &given->columns, "grid columns CountU; closed rings repeat column 0",
                 "INT");
  AddSettingText(cmd, "-v,--rows", &given->rows, "grid rows CountV, 1 to 257", "INT");
  AddSettingText(cmd, "--radius", &given->radius, "sphere or tube radius (1)", "FLOAT");
  AddSettingText(cmd, "--flatten", &given->flatten,
                 "sphere and torus: z scale of the start shape; below 1 starts flat (1)", "FLOAT");
  AddSettingText(cmd, "--major-radius", &given->majorRadius, "torus: radius of the centre circle (1)",
                 "FLOAT");
  AddSettingText(cmd, "--minor-radius", &given->minorRadius, "torus: radius of the tube (0.4)", "FLOAT");
  AddSettingText(cmd, "--width", &given->width, "sheet size along x (2)", "FLOAT");
  AddSettingText(cmd, "--depth", &given->depth, "sheet size along y (2)", "FLOAT");
  AddSettingText(cmd, "--length", &given->length, "tube length along z (2)", "FLOAT");
  AddSettingText(cmd, "--pin", &given->pin,
                 "none, pole (sphere top), poles, ring, ends (tube), border, corners (sheet), points, group "
                 "(mesh), below",
                 "TEXT");
  AddSettingText(cmd, "--pin-ring", &given->pinRing, "grid row pinned by --pin ring (default: the top ring)",
                 "INT");
  AddSettingText(
      cmd, "--pin-points", &given->pinPoints,
      "comma-separated point indices for --pin points (a mesh's point i is its file's vertex i + 1)", "TEXT");
  AddSettingText(cmd, "--pin-group", &given->pinGroup,
                 "pin the vertices of the mesh's faces in this group (\"g\" or \"o\" of the OBJ file)",
                 "NAME");
  AddSettingText(cmd, "--pin-below", &given->pinBelow, "pin every point whose start z is at most Z", "Z");
  AddSettingText(cmd, "--winding", &given->winding, "cw (default: clockwise seen from outside) or ccw",
                 "TEXT");
  AddSettingText(cmd, "--defect", &given->defect, "build a fault on purpose: none, hole, seam or flip",
                 "TEXT");
  if (withSteps) AddSettingText(cmd, "-n,--steps", &given->steps, "steps to run (1000)", "INT");
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
  AddScenarioOptions(check, &cl->checkIni, &cl->check, &cl->checkSet, false);

  auto* run = app->add_subcommand("run", "run a membrane and write what it became");
  AddScenarioOptions(run, &cl->runIni, &cl->run, &cl->runSet, true);
  run->add_option("-o,--out", cl->outFolder,
                  "output folder for surface.obj, surface.png, figures.csv, plot.svg");
  AddSettingText(run, "--every", &cl->run.every, "also write frames/step_NNNNNN.obj and .png every K steps",
                 "INT");
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
  run->add_flag("--hash", cl->printHash, "print the FNV-1a 64 hash of every point's Pos and Vel at the end");

  auto* sweep = app->add_subcommand(
      "sweep", "run every combination of [Setup] values in parallel and put the results side by side");
  AddScenarioOptions(sweep, &cl->sweepIni, &cl->sweep, nullptr, true);
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

Scenario ResolveOrThrow(const std::string& iniPath, const ScenarioChoices& given) {
  Scenario s;
  std::string error;
  if (!ResolveScenario(iniPath, given, &s, &error)) throw UsageError{error};
  return s;
}

// the settings file a command's plug-in reads: the INI file, or one written
// with the --set values over it
// with --set values over it; returns the values given
std::vector<SetupText> PrepareSetupOrThrow(SetupFile* setup, const std::string& iniPath,
                                           const std::vector<std::string>& texts) {
  std::vector<SetupText> given;
  std::string error;
  for (const std::string& text : texts) {
    SetupText value;
    if (!ParseSetupAssignment(text, &value, &error)) throw UsageError{"--set: " + error};
    given.push_back(value);
  }
  if (!setup->Prepare(iniPath, given, &error)) throw UsageError{error};
  return given;
}

void ParseImageSizeOrThrow(const std::string& option, const std::string& text, int* width, int* height) {
  if (!ParseImageSize(text, width, height)) {
    throw UsageError{option + " must be WIDTHxHEIGHT between " + std::to_string(kMinImageSide) + " and " +
                     std::to_string(kMaxImageSide) + ", not '" + text + "'"};
  }
}

void LoadPluginOrThrow(Plugin* plugin, const std::string& path) {
  std::string error;
  if (!plugin->Load(path, &error)) throw UsageError{error};
}

// ---- progress ----------------------------------------------------------------

bool IsTerminal(FILE* stream) { return TUMELIN_ISATTY(TUMELIN_FILENO(stream)) != 0; }

// a line on the terminal that says how far a job is; for a run it appears
// only after a few seconds, and never when stderr is not a terminal
class Progress {
 public:
  static constexpr std::chrono::seconds kRunDelay{2};
  explicit Progress(bool enabled, std::chrono::seconds delay = kRunDelay)
      : enabled_(enabled && IsTerminal(stderr)), delay_(delay) {}
  // `text` is drawn when the job has run long enough and the last drawing
  // is a tenth of a second old, or when `force`
  void Show(const std::string& text, bool force = false) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_) return;
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%-72.72s", text.c_str());
    std::fflush(stderr);
  }
  void Finish() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%72s\r", "");
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  std::chrono::seconds delay_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_{};
};

// "[########.......]  42%  step 420/1000"
std::string StepBar(int64_t done, int64_t total) {
  const int width = 40;
  const int filled = total > 0 ? static_cast<int>(width * done / total) : width;
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(width - filled), '.') + "] " +
         std::to_string(total > 0 ? 100 * done / total : 100) + "%  step " + std::to_string(done) + "/" +
         std::to_string(total);
}

std::string HexHash(uint64_t hash) {
  char buffer[20];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
  return buffer;
}

// ---- a run -------------------------------------------------------------------

struct RunOutput {
  std::string folder;  // empty: write no files
  int imageWidth = 800, imageHeight = 600;
  RenderOptions render;  // its framing is set from the start shape
  bool frameFixed = true;
  bool animate = false;
  bool hash = false;
  // creates frames/ when a frame is due; what it created stays only with
  // the run's files
  NewFolders* folders = nullptr;
};

// what the run loop leaves behind
struct RunRecord {
  std::vector<StepFigures> figures;  // one per step from step 0, when files are written
  StepFigures last;                  // after the last step
  double seconds = 0.0;              // in the plug-in's step entry, drawing and checks excluded
};

// one file of the run's set, in place only when the whole set is
void AddFileOrThrow(OutputSet* files, const std::filesystem::path& path, const std::string& bytes) {
  std::string error;
  if (!files->Add(path.u8string(), bytes, &error)) throw std::runtime_error(error);
}

// the surface as OBJ text: the grid as the write-back fills it, or a free
// mesh as it stands
std::string SurfaceObj(Simulation* sim, const Scenario& s, const std::string& comment) {
  if (s.params.shape == Shape::kMesh) return ObjText(sim->MembraneState(), comment);
  sim->WriteGrid();
  return ObjText(sim->Grid(), s.params.shape, comment);
}

// the surface as a picture, with the run's camera and framing
Image SurfacePicture(const Simulation& sim, const Scenario& s, const RunOutput& out) {
  if (s.params.shape != Shape::kMesh) {
    return RenderSurface(sim.Grid(), s.params.shape, out.imageWidth, out.imageHeight, out.render);
  }
  std::vector<std::array<bool, 3>> outline = s.mesh.outline;
  // --flip swapped corners 1 and 2 of every triangle, and so the edges opposite them
  if (s.params.flip) {
    for (auto& edges : outline) std::swap(edges[1], edges[2]);
  }
  return RenderMesh(MeshFromMembrane(sim.MembraneState(), outline), out.imageWidth, out.imageHeight,
                    out.render);
}

// the picture of the surface as it is now: a grid is written back first
Image CurrentPicture(Simulation* sim, const Scenario& s, const RunOutput& out) {
  if (s.params.shape != Shape::kMesh) sim->WriteGrid();
  return SurfacePicture(*sim, s, out);
}

std::string PngOrThrow(const Image& image) {
  std::string png = EncodePng(image);
  if (png.empty()) throw std::runtime_error("cannot encode the PNG picture");
  return png;
}

// `name` is prefix, at least one digit, then one of `suffixes`: this tool's
// names for what a run or a sweep writes only sometimes
bool NumberedName(const std::string& name, const std::string& prefix,
                  std::initializer_list<const char*> suffixes) {
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  size_t end = prefix.size();
  while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
  if (end == prefix.size()) return false;
  const std::string rest = name.substr(end);
  return std::any_of(suffixes.begin(), suffixes.end(), [&](const char* suffix) { return rest == suffix; });
}

// a name WriteFrame gives
bool IsFrameName(const std::string& name) { return NumberedName(name, "step_", {".obj", ".png"}); }

// frames/step_NNNNNN.obj and .png: the surface after `step`, whose picture
// is `picture`
void WriteFrame(Simulation* sim, const Scenario& s, const RunOutput& out, int64_t step, const Image& picture,
                OutputSet* files) {
  char name[40];
  std::snprintf(name, sizeof name, "step_%06lld", static_cast<long long>(step));
  const std::filesystem::path frames = std::filesystem::u8path(out.folder) / "frames";
  std::string error;
  if (!out.folders->Create(frames.u8string(), &error)) throw std::runtime_error(error);
  AddFileOrThrow(files, frames / (std::string(name) + ".obj"),
                 SurfaceObj(sim, s, s.name + " after step " + std::to_string(step)));
  AddFileOrThrow(files, frames / (std::string(name) + ".png"), PngOrThrow(picture));
}

void AddAnimationFrame(const Image& picture, Animation* animation) {
  std::string error;
  if (!animation->Add(picture, &error)) throw std::runtime_error(error);
}

// a run whose state diverged: nothing after it means anything
struct Diverged {
  std::string message;
};

// throws Diverged when `problem` says what diverged at `step`, naming
// `cause` when the settings foretold it
void ThrowIfDiverged(const std::string& problem, int64_t step, const std::string& cause) {
  if (problem.empty()) return;
  throw Diverged{"the run diverged at step " + std::to_string(step) + ": " + problem +
                 (cause.empty() ? std::string() : "; cause: " + cause) + "; no files written"};
}

// every step of the scenario, with figures, frames (into `files`) and the
// animation's frames (from the start shape on) when files are written; a
// step that is both a frame and an animation frame is drawn once. Throws
// Diverged at the first step whose state or figures have diverged, and
// when the last figures have
RunRecord RunSteps(Simulation* sim, const Scenario& s, const RunOutput& out, bool verbose, OutputSet* files,
                   const std::string& cause, Animation* animation) {
  RunRecord record;
  const bool writeFiles = !out.folder.empty();
  const bool writeFrames = writeFiles && s.every > 0;
  const int64_t animationEvery = AnimationEvery(s.steps, s.every);
  if (writeFiles) record.figures.reserve(static_cast<size_t>(s.steps) + 1);
  if (writeFiles) record.figures.push_back(sim->Figures(0));
  if (animation != nullptr) AddAnimationFrame(CurrentPicture(sim, s, out), animation);

  Progress progress(verbose);
  std::chrono::steady_clock::duration stepping{};
  for (int64_t step = 1; step <= s.steps; ++step) {
    const auto stepStart = std::chrono::steady_clock::now();
    sim->Step();
    stepping += std::chrono::steady_clock::now() - stepStart;
    if (InterruptSignal() != 0) progress.Finish();
    StopIfInterrupted("at step " + std::to_string(step) + "; nothing written");
    std::string diverged = sim->Divergence(step);
    if (writeFiles) {
      record.figures.push_back(sim->Figures(step));
      if (diverged.empty()) diverged = NonFiniteFigure(record.figures.back());
    }
    if (!diverged.empty()) progress.Finish();
    ThrowIfDiverged(diverged, step, cause);
    const bool frame = writeFrames && step % s.every == 0;
    const bool animationFrame = animation != nullptr && step % animationEvery == 0;
    if (frame || animationFrame) {
      const Image picture = CurrentPicture(sim, s, out);
      if (frame) WriteFrame(sim, s, out, step, picture, files);
      if (animationFrame) AddAnimationFrame(picture, animation);
    }
    progress.Show(StepBar(step, s.steps), step == s.steps);
  }
  record.seconds = std::chrono::duration<double>(stepping).count();
  progress.Finish();
  record.last = writeFiles ? record.figures.back() : sim->Figures(s.steps);
  ThrowIfDiverged(NonFiniteFigure(record.last), s.steps, cause);
  return record;
}

// the result files of a finished run, into `files`
void WriteOutputs(Simulation* sim, const Scenario& s, const TClothSetup& setup,
                  const std::vector<StepFigures>& figures, const RunOutput& out, OutputSet* files,
                  Animation* animation) {
  const std::filesystem::path folder = std::filesystem::u8path(out.folder);
  const std::string comment = "tumelin-host: " + s.name + " after " + std::to_string(s.steps) + " steps";
  const std::string png = PngOrThrow(SurfacePicture(*sim, s, out));
  std::string gif, mp4, note, error;
  if (animation != nullptr && !animation->Finish(&gif, &mp4, &note, &error)) throw std::runtime_error(error);
  AddFileOrThrow(files, folder / "surface.obj", SurfaceObj(sim, s, comment));
  AddFileOrThrow(files, folder / "surface.png", png);
  AddFileOrThrow(files, folder / "figures.csv", CsvText(figures, s.params.shape));
  AddFileOrThrow(files, folder / "plot.svg", SvgPlot(figures, s.params.shape, s.name));
  AddFileOrThrow(files, folder / "scene.ini", SceneIniText(s, setup));
  if (!gif.empty()) AddFileOrThrow(files, folder / "animation.gif", gif);
  if (!mp4.empty()) AddFileOrThrow(files, folder / "animation.mp4", mp4);
  if (!note.empty()) std::cerr << "tumelin-host: note: " << note << std::endl;
}

// "NAME: SHAPE CxR (N points), S steps in T s (R steps/s), FIGURES, max speed V[; files in F]"
// with T the time the steps took in the plug-in
std::string SummaryLine(const Scenario& s, int32_t points, const StepFigures& last, double seconds,
                        const RunOutput& out) {
  std::ostringstream line;
  line << s.name << ": ";
  if (s.params.shape == Shape::kMesh) {
    line << "mesh " << s.meshPath;
  } else {
    line << ShapeName(s.params.shape) << " " << s.params.columns << "x" << s.params.rows;
  }
  line << " (" << points << " points), " << s.steps << " steps in "
       << FormatDouble(std::round(seconds * 1000) / 1000) << " s";
  if (seconds > 0) line << " (" << static_cast<long long>(std::llround(s.steps / seconds)) << " steps/s)";
  auto rounded = [](double x) { return FormatDouble(std::round(x * 1e6) / 1e6); };
  if (IsClosed(s.params.shape)) {
    line << ", volume " << rounded(last.volume);
  } else {
    const bool sheet = s.params.shape == Shape::kSheet;
    line << ", area " << rounded(last.area) << ", mean " << (sheet ? "height " : "radius ")
         << rounded(sheet ? last.meanHeight : last.meanRadius);
  }
  line << ", max speed " << rounded(last.maxSpeed);
  line << (out.folder.empty() ? std::string("; no files written (no --out)") : "; files in " + out.folder);
  return line.str();
}

// a name WriteOutputs gives an animation
bool IsAnimationName(const std::string& name) { return name == "animation.gif" || name == "animation.mp4"; }

// one scenario from start to end with the settings file at `setupPath`
// (empty: none); its files appear together, only after the run succeeded.
// `cause` is named should the run diverge. Returns the final state's hash
uint64_t RunScenario(const Plugin& plugin, const Scenario& s, const std::string& setupPath,
                     const RunOutput& out, bool verbose, const std::string& cause = std::string()) {
  Membrane membrane = BuildScenarioMembrane(s);
  const TClothSetup setup =
      LoadSettings(plugin, setupPath.empty() ? std::u16string() : PathForPlugin(setupPath));
  Simulation sim(plugin, &membrane, setup);
  RunOutput framed = out;
  // one scale for every picture of this scenario: from its start shape
  if (out.frameFixed) framed.render.framing = FixedFraming(PointPositions(membrane));
  framed.render.autoFrame = !out.frameFixed;
  std::optional<Animation> animation;
  if (out.animate && !out.folder.empty()) animation.emplace(out.folder);
  OutputSet files;
  const RunRecord record =
      RunSteps(&sim, s, framed, verbose, &files, cause, animation ? &*animation : nullptr);
  // a free mesh has no grid to write back
  if (s.params.shape != Shape::kMesh) {
    sim.WriteGrid();
    const std::string gridProblem = sim.CheckGrid();
    if (!gridProblem.empty() && verbose) std::cerr << "tumelin-host: warning: " << gridProblem << std::endl;
  }
  if (!out.folder.empty()) {
    const std::vector<TDbl3D> end = PointPositions(membrane);
    if (verbose && LeavesFrame(end, out.imageWidth, out.imageHeight, framed.render)) {
      const bool grew = OutgrowsFrame(end, out.imageWidth, out.imageHeight, framed.render);
      std::cerr << "tumelin-host: note: the membrane " << (grew ? "grew" : "moved")
                << " out of the fixed frame and is cut at the picture's border; --frame auto shows all of it"
                << std::endl;
    }
    WriteOutputs(&sim, s, setup, record.figures, framed, &files, animation ? &*animation : nullptr);
    StopIfInterrupted("while writing the files; nothing written");
    const std::vector<std::string> written = files.Paths();
    std::string error;
    if (!files.Commit(&error)) throw std::runtime_error(error);
    out.folders->Keep();
    const int removed = RemoveEarlierOutputs((std::filesystem::u8path(out.folder) / "frames").u8string(),
                                             IsFrameName, written) +
                        RemoveEarlierOutputs(out.folder, IsAnimationName, written);
    if (removed > 0 && verbose) {
      std::cerr << "tumelin-host: note: removed " << removed << (removed == 1 ? " file" : " files")
                << " of an earlier run in " << out.folder
                << " (frames, animation) that this run does not write" << std::endl;
    }
  }
  const uint64_t hash = sim.Hash();
  if (verbose) {
    std::cout << SummaryLine(s, membrane.points.Count(), record.last, record.seconds, out) << std::endl;
  }
  if (out.hash) std::cout << "hash " << HexHash(hash) << std::endl;
  return hash;
}

// ---- commands ----------------------------------------------------------------

std::string FormatStamp(double stamp) {
  // day count since 1899-12-30 plus the fraction of the day
  int64_t days = static_cast<int64_t>(std::floor(stamp));
  int64_t ms = std::llround((stamp - static_cast<double>(days)) * 86400000.0);
  if (ms >= 86400000) days += 1, ms -= 86400000;
  // civil date from days since 1970-01-01 (proleptic Gregorian)
  int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                static_cast<long long>(ms / 1000 % 60));
  return buffer;
}

int CommandInfo(const std::string& pluginPath) {
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  std::cout << "plug-in        " << plugin.Path() << "\n";
  std::cout << "display name   " << Utf16ToUtf8(plugin.nameZR7()) << "\n";
  double stamp = 0.0;
  for (int generation : {6, 7}) {
    const char16_t *prefix = nullptr, *code = nullptr, *token = nullptr, *name = nullptr;
    int32_t number = -1;
    const int32_t result =
        (generation == 6 ? plugin.rgstZR6 : plugin.rgstZR7)(&prefix, &code, &token, &name, &number, &stamp);
    std::cout << "generation " << generation << "   " << Utf16ToUtf8(prefix) << " " << Utf16ToUtf8(code)
              << " " << Utf16ToUtf8(token) << " " << Utf16ToUtf8(name) << " " << number << " (result "
              << result << ")\n";
  }
  // the release of this host, and the plug-in's fixed registration stamp, which no release changes
  std::cout << "release        " << TUMELIN_VERSION_STRING << " (tumelin-host)\n";
  std::cout << "version stamp  " << FormatStamp(stamp) << " (" << FormatDouble(stamp)
            << ", registration data, fixed)\n";
  return 0;
}

int CommandSettings(const std::string& pluginPath, const CommandLine& cl) {
  if (cl.settingsFile.empty() && cl.settingsSet.empty()) {
    throw UsageError{"settings: name an INI file, give --set KEY=VALUE, or both"};
  }
  SetupFile setup;
  const std::vector<SetupText> given = PrepareSetupOrThrow(&setup, cl.settingsFile, cl.settingsSet);
  IniFile ini;
  std::string error;
  if (!ini.Open(setup.Path(), &error)) throw UsageError{error};
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  const TClothSetup stored = LoadSettings(plugin, PathForPlugin(ini.Path()));
  const char16_t separator = ReadUserDecimalSeparator();
  const auto lines = ExplainSetup(ini, stored, separator);
  const std::string source = cl.settingsFile.empty() ? std::string("--set") : cl.settingsFile;
  std::cout << "settings of " << source << (setup.Written() && !cl.settingsFile.empty() ? " with --set" : "")
            << " (section [Setup]; decimal separator '" << Utf16ToUtf8(std::u16string_view(&separator, 1))
            << "')\n";
  size_t textWidth = 9, storedWidth = 6;
  for (const auto& line : lines) {
    textWidth = std::max(textWidth, line.present ? line.text.size() + 2 : 9);
    storedWidth = std::max(storedWidth, line.stored.size());
  }
  textWidth = std::min<size_t>(textWidth, 32);
  auto pad = [](std::string s, size_t w) {
    if (s.size() > w) s = s.substr(0, w - 3) + "...";
    return s + std::string(w - s.size() + 2, ' ');
  };
  std::cout << pad("key", 11) << pad("file text", textWidth) << pad("stored", storedWidth) << "why\n";
  for (const auto& line : lines) {
    const bool fromSet =
        std::any_of(given.begin(), given.end(), [&](const SetupText& g) { return g.key == line.key; });
    std::cout << pad(line.key, 11) << pad(line.present ? "\"" + line.text + "\"" : "(none)", textWidth)
              << pad(line.stored, storedWidth) << line.note << (fromSet ? " (given by --set)" : "") << "\n";
  }
  if (!cl.settingsFile.empty()) {
    IniFile file;
    if (!file.Open(cl.settingsFile, &error)) throw UsageError{error};
    for (const std::string& warning : IniFileWarnings(file)) std::cout << "warning: " << warning << "\n";
  }
  return 0;
}

// what a run is warned about, judged by the plug-in's rules without the
// plug-in: the scenario's INI file, the values of the settings file the
// plug-in reads, and the model's numbers on this membrane
struct Warnings {
  std::vector<std::string> lines;
  std::string damping;  // the line that foretells a divergence, if any
};

Warnings WarningsFor(const Scenario& s, const SetupFile& setup, const MeshReport& report) {
  Warnings w;
  std::string error;
  if (!s.iniPath.empty()) {
    IniFile ini;
    if (!ini.Open(s.iniPath, &error)) throw UsageError{error};
    w.lines = IniFileWarnings(ini);
  }
  TClothSetup values{};
  SetupDefaults(&values);
  if (!setup.Path().empty()) {
    IniFile ini;
    if (!ini.Open(setup.Path(), &error)) throw UsageError{error};
    const char16_t separator = ReadUserDecimalSeparator();
    for (const std::string& line : UntakenSettings(ExplainSetup(ini, separator))) w.lines.push_back(line);
    values = SetupByRules(ini, separator);
  }
  for (const std::string& line : ModelWarnings(values, report, IsClosed(s.params.shape) && !report.leaks)) {
    w.lines.push_back(line);
  }
  w.damping = DampingWarning(values);
  return w;
}

// the plug-in is not loaded: its rules judge the settings
int CommandCheck(const CommandLine& cl) {
  const Scenario s = ResolveOrThrow(cl.checkIni, cl.check);
  Membrane membrane = BuildScenarioMembrane(s);
  SetupFile setup;
  PrepareSetupOrThrow(&setup, cl.checkIni, cl.checkSet);
  const MeshReport report = CheckMembrane(membrane);
  const Warnings warnings = WarningsFor(s, setup, report);
  if (s.params.shape == Shape::kMesh) std::cout << "mesh file " << s.meshPath << "\n";
  std::cout << FormatReport(membrane, report, warnings.lines);
  return report.Clean() && warnings.lines.empty() ? 0 : kExitProblems;
}

// what killed commands left in `folders` goes, with a note that names `where`
void NoteAbandoned(const std::string& where, std::initializer_list<std::string> folders) {
  int removed = 0;
  for (const std::string& folder : folders) removed += RemoveAbandonedTemporaries(folder);
  if (removed > 0) {
    std::cerr << "tumelin-host: note: removed " << removed
              << (removed == 1 ? " temporary entry" : " temporary entries")
              << " that an interrupted command left in " << where << std::endl;
  }
}

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
  if (out.animate && !CanWriteGif()) throw UsageError{kNoGifMessage};
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
  Warnings warnings = WarningsFor(s, setup, report);
  if (!out.folder.empty() && s.every > s.steps) {
    warnings.lines.push_back("--every " + std::to_string(s.every) + " is more than the run's " +
                             std::to_string(s.steps) + " steps: no frames are written");
  }
  std::vector<std::string> lines = MeshProblems(report);
  lines.insert(lines.end(), warnings.lines.begin(), warnings.lines.end());
  for (const std::string& line : lines) std::cerr << "tumelin-host: warning: " << line << std::endl;
  RunScenario(plugin, s, setup.Path(), out, true, warnings.damping);
  return 0;
}

// ---- sweep -------------------------------------------------------------------

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

// a folder that is removed with all it holds when the object goes
struct TemporaryFolder {
  explicit TemporaryFolder(const std::string& where) : path(std::filesystem::u8path(where)) {
    std::filesystem::create_directory(path);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  std::filesystem::path path;
};

// `from` in the place of `to`, which goes first with all it holds
bool MoveFolder(const std::filesystem::path& from, const std::filesystem::path& to, std::string* error) {
  std::error_code ec;
  std::filesystem::remove_all(to, ec);
  if (!ec) std::filesystem::rename(from, to, ec);
  if (ec) *error = "cannot move the run into " + to.u8string() + ": " + ec.message();
  return !ec;
}

// every combination as a `tumelin-host run` of its own, as many at a time as
// there are processors; a run that fails is a marked tile, not a lost sweep
int CommandSweep(const CommandLine& cl) {
  const Scenario s = ResolveOrThrow(cl.sweepIni, cl.sweep);
  std::vector<SweepAxis> axes;
  std::string error;
  const char16_t separator = ReadUserDecimalSeparator();
  for (const std::string& text : cl.sweepSet) {
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
  int thumbWidth = 0, thumbHeight = 0;
  ParseImageSizeOrThrow("--thumb", cl.thumbSize, &thumbWidth, &thumbHeight);
  View view;
  if (!ParseView(cl.sweepView, &view, &error)) throw UsageError{"--view: " + error};
  // a plug-in that cannot load is one error, not a sheet of failed runs
  Plugin plugin;
  LoadPluginOrThrow(&plugin, cl.pluginPath.empty() ? DefaultPluginPath() : cl.pluginPath);
  const std::string self = OwnProgramPath();
  if (self.empty()) throw std::runtime_error("cannot find this program's own path to start its runs");
  NewFolders folders;
  if (!PrepareOutputFolder(cl.sweepOut, &folders, &error)) throw UsageError{error};
  const std::filesystem::path out = std::filesystem::u8path(cl.sweepOut);
  NoteAbandoned(cl.sweepOut, {cl.sweepOut, (out / "runs").u8string()});
  // the runs go to a hidden folder first: the earlier sweep's runs stay
  // until this sweep is complete
  const TemporaryFolder staging(TemporaryPathBeside((out / "runs").u8string()));

  // what every run shares: the plug-in, the scenario, the camera, the picture
  std::vector<std::string> common;
  if (!cl.pluginPath.empty()) common.insert(common.end(), {"--plugin", cl.pluginPath});
  common.push_back("run");
  if (!cl.sweepIni.empty()) common.insert(common.end(), {"--ini", cl.sweepIni});
  const std::vector<std::string> scenario = ScenarioArguments(cl.sweep);
  common.insert(common.end(), scenario.begin(), scenario.end());
  common.insert(common.end(), {"--image", std::to_string(thumbWidth) + "x" + std::to_string(thumbHeight),
                               "--view", cl.sweepView, "--frame", "fixed"});

  const int workers = cl.jobs > 0 ? cl.jobs : ProcessorCount();
  std::vector<SweepRun> runs(total);
  std::mutex report;
  size_t done = 0, failed = 0;
  // a sweep says from its first run on how many are done
  Progress progress(true, std::chrono::seconds{0});
  const bool terminal = IsTerminal(stderr);
  const auto start = std::chrono::steady_clock::now();
  progress.Show("sweep: " + SweepCountLine(0, total, 0), true);
  RunPool(total, workers, [&](size_t i) {
    if (InterruptSignal() != 0) return;
    SweepRun& run = runs[i];
    run.settings = Combination(axes, i);
    const std::filesystem::path folder = staging.path / RunFolderName(i + 1, total);
    std::vector<std::string> arguments = common;
    for (const SetupText& v : run.settings)
      arguments.insert(arguments.end(), {"--set", v.key + "=" + v.value});
    arguments.insert(arguments.end(), {"--out", folder.u8string()});
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path log = folder / "run.log";
    ChildProcess child;
    std::string startError;
    run.started = child.Start(self, arguments, log.u8string(), &startError);
    run.exitStatus = run.started ? child.Wait() : -1;
    // a run stopped with the sweep is no result
    if (InterruptSignal() != 0) return;
    run.message = run.started ? FirstComplaint(ReadFileOrEmpty(log)) : startError;
    if (run.exitStatus == 0) {
      run.figures = LastCsvRow(ReadFileOrEmpty(folder / "figures.csv"));
      if (run.figures.size() <= 1) run.figures.clear();  // the header alone, or nothing
      run.picture = ReadFileOrEmpty(folder / "surface.png");
    }
    std::lock_guard<std::mutex> lock(report);
    ++done;
    if (run.Status() != "ok") ++failed;
    if (terminal) {
      progress.Show("sweep: " + SweepCountLine(done, total, failed), true);
    } else {
      std::string what;
      for (const SetupText& v : run.settings) what += (what.empty() ? "" : " ") + v.key + "=" + v.value;
      std::cout << "sweep: " << SweepCountLine(done, total, failed) << " (" << what << ": " << run.Status()
                << ")" << std::endl;
    }
  });
  progress.Finish();
  StopIfInterrupted("during the sweep; its runs removed");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::vector<Tile> tiles;
  for (const SweepRun& run : runs) {
    Tile tile;
    if (run.HasPicture() && !DecodePng(run.picture, &tile.picture)) tile.picture = Image{};
    tile.label = TileLabel(run, s.params.shape);
    tile.failed = run.Status() != "ok";
    tiles.push_back(std::move(tile));
  }
  std::string keys;
  for (const SweepAxis& a : axes) keys += (keys.empty() ? "" : " x ") + a.key;
  const int columns = axes.size() >= 2 ? static_cast<int>(axes.back().values.size())
                                       : static_cast<int>(std::min<size_t>(total, 6));
  const Image sheet =
      ContactSheet(tiles, columns, s.name + ": " + keys + ", " + std::to_string(s.steps) + " steps");
  OutputSet files;
  AddFileOrThrow(&files, out / "sheet.png", PngOrThrow(sheet));
  AddFileOrThrow(&files, out / "sweep.csv", SweepCsv(axes, runs, s.params.shape));
  StopIfInterrupted("during the sweep; its runs removed");
  if (!folders.Create((out / "runs").u8string(), &error) || !files.Commit(&error)) {
    throw std::runtime_error(error);
  }
  folders.Keep();
  std::vector<std::string> runFolders;
  for (size_t i = 0; i < total; ++i) {
    const std::string name = RunFolderName(i + 1, total);
    runFolders.push_back((out / "runs" / name).u8string());
    if (!MoveFolder(staging.path / name, out / "runs" / name, &error)) throw std::runtime_error(error);
    NameFinalFolderInLog(out / "runs" / name / "run.log", (staging.path / name).u8string(),
                         runFolders.back());
  }
  const int removed = RemoveEarlierOutputs((out / "runs").u8string(), IsRunFolderName, runFolders);
  if (removed > 0) {
    std::cerr << "tumelin-host: note: removed " << removed << (removed == 1 ? " run folder" : " run folders")
              << " of an earlier sweep from runs in " << cl.sweepOut << std::endl;
  }
  std::cout << "sweep of " << s.name << ": " << total << " runs in "
            << FormatDouble(std::round(seconds * 10) / 10) << " s, " << (total - failed) << " ok, " << failed
            << " failed; sheet.png and sweep.csv in " << cl.sweepOut << std::endl;
  return failed == 0 ? 0 : kExitProblems;
}

// every scenario is checked before the first one runs
int CommandHash(const std::string& pluginPath, const std::vector<std::string>& files) {
  std::vector<Scenario> scenarios;
  for (const std::string& file : files) scenarios.push_back(ResolveOrThrow(file, ScenarioChoices{}));
  Plugin plugin;
  LoadPluginOrThrow(&plugin, pluginPath);
  for (const Scenario& s : scenarios) {
    const uint64_t hash = RunScenario(plugin, s, s.iniPath, RunOutput{}, false);
    std::cout << HexHash(hash) << "  " << s.name << "  " << s.steps << " steps" << std::endl;
  }
  return 0;
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
