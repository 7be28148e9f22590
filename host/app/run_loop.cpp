#include "run_loop.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "animation.h"
#include "interrupt.h"
#include "progress.h"
#include "run_outputs.h"
#include "simulation.h"

namespace tumelin {

namespace {

// what the run loop leaves behind
struct RunRecord {
  std::vector<StepFigures> figures;  // one per step from step 0, when files are written
  StepFigures last;                  // after the last step
  double seconds = 0.0;              // in the plug-in's step entry, drawing and checks excluded
};

void AddAnimationFrame(const Image& picture, Animation* animation) {
  std::string error;
  if (!animation->Add(picture, &error)) throw std::runtime_error(error);
}

// throws Diverged when `problem` says what diverged at `step`, naming
// `cause` when the settings foretold it
void ThrowIfDiverged(const std::string& problem, int64_t step, const std::string& cause) {
  if (problem.empty()) return;
  throw Diverged{DivergenceMessage(problem, step, cause) + "; no files written"};
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
    if (InterruptSignal() != 0) {
      progress.Finish();
      StopIfInterrupted("at step " + std::to_string(step) + "; nothing written");
    }
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

}  // namespace

// one scenario from start to end with the settings file at `setupPath`
// (empty: none); its files appear together, only after the run succeeded.
// `cause` is named should the run diverge. Returns the final state's hash
uint64_t RunScenario(const Plugin& plugin, const Scenario& s, const std::string& setupPath,
                     const RunOutput& out, bool verbose, const std::string& cause) {
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
}  // namespace tumelin
