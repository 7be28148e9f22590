#include "preview_scene.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <utility>

#include "formats.h"
#include "geometry.h"
#include "ini_file.h"
#include "linked_plugin.h"
#include "setup_rules.h"
#include "user_text.h"
#include "warnings.h"

namespace tumelin {

struct PreviewScene::State {
  Scenario scenario;
  Membrane membrane;
  TClothSetup setup{};
  MeshReport report;
  std::vector<std::string> warnings;       // the membrane's problems, then the settings'
  std::vector<std::string> setupWarnings;  // the settings' alone, as check lists them
  std::string cause;                       // named should the run diverge
  std::vector<PreviewSetting> settings;
  std::unique_ptr<Simulation> sim;
  Framing framing;
  int64_t steps = 0;
  std::chrono::steady_clock::duration stepping{};
  std::string diverged;
  // the figures of the state after `steps`, once they were wanted
  std::optional<StepFigures> figures;
  // every figures taken, in step order: what Export CSV writes
  std::vector<StepFigures> taken;
};

PreviewScene::PreviewScene(const Plugin& plugin) : plugin_(plugin), separator_(ReadUserDecimalSeparator()) {}
PreviewScene::~PreviewScene() = default;

bool PreviewScene::Choose(const std::string& key, const std::string& text) {
  if (FindMembraneOption(key) == nullptr) return false;
  if (text.empty()) {
    choices_.erase(key);
  } else {
    choices_[key] = text;
  }
  return true;
}

bool PreviewScene::Set(const std::string& assignment, std::string* error) {
  SetupText value;
  if (!ParseSetupAssignment(assignment, &value, error)) return false;
  // a key given again takes the new value, as the last --set does
  given_.erase(
      std::remove_if(given_.begin(), given_.end(), [&](const SetupText& g) { return g.key == value.key; }),
      given_.end());
  given_.push_back(value);
  return true;
}

void PreviewScene::Clear() {
  choices_.clear();
  given_.clear();
}

bool PreviewScene::Build(const std::string& iniPath, std::string* error) {
  auto next = std::make_unique<State>();
  if (!ResolveScenario(iniPath, choices_, &next->scenario, error)) return false;
  SetupFile setupFile;
  if (!setupFile.Prepare(iniPath, given_, error)) return false;
  next->membrane = BuildScenarioMembrane(next->scenario);
  next->report = CheckMembrane(next->membrane);
  tumelin::Warnings warnings;
  if (!WarningsFor(next->scenario, setupFile, next->report, &warnings, error, separator_)) return false;
  next->warnings = MeshProblems(next->report);
  next->warnings.insert(next->warnings.end(), warnings.lines.begin(), warnings.lines.end());
  next->setupWarnings = warnings.lines;
  next->cause = warnings.cause;

  const std::string& settingsPath = setupFile.Path();
  UseLinkedSeparator(separator_);
  next->setup = LoadSettings(plugin_, settingsPath.empty() ? std::u16string() : PathForPlugin(settingsPath));
  IniFile ini;
  if (!settingsPath.empty() && !ini.Open(settingsPath, error)) return false;
  for (const SettingLine& line : ExplainSetup(ini, next->setup, separator_)) {
    const bool given =
        std::any_of(given_.begin(), given_.end(), [&](const SetupText& g) { return g.key == line.key; });
    // a typed value reaches the plug-in through a file of its own: it was
    // taken as typed, not read from the scene's file
    PreviewSetting setting{line, given};
    const std::string fromFile = "read from the file";
    if (given && line.note.compare(0, fromFile.size(), fromFile) == 0) {
      setting.line.note.replace(0, fromFile.size(), "taken");
    }
    next->settings.push_back(setting);
  }

  next->framing = FixedFraming(PointPositions(next->membrane));
  next->sim = std::make_unique<Simulation>(plugin_, &next->membrane, next->setup);
  state_ = std::move(next);
  return true;
}

int64_t PreviewScene::Step(int64_t count) {
  State& s = *state_;
  int64_t done = 0;
  while (done < count && s.diverged.empty()) {
    const auto start = std::chrono::steady_clock::now();
    s.sim->Step();
    s.stepping += std::chrono::steady_clock::now() - start;
    ++s.steps;
    ++done;
    const std::string problem = s.sim->Divergence(s.steps);
    if (!problem.empty()) s.diverged = DivergenceMessage(problem, s.steps, s.cause);
  }
  if (done > 0) s.figures.reset();
  // the figures once per call: an overflowing figure ends the run as well
  if (s.diverged.empty() && done > 0) {
    const std::string problem = NonFiniteFigure(Figures());
    if (!problem.empty()) s.diverged = DivergenceMessage(problem, s.steps, s.cause);
  }
  return done;
}

int64_t PreviewScene::Steps() const { return state_->steps; }
double PreviewScene::EntrySeconds() const { return std::chrono::duration<double>(state_->stepping).count(); }
const std::string& PreviewScene::Diverged() const { return state_->diverged; }
StepFigures PreviewScene::Figures() const {
  State& s = *state_;
  if (!s.figures) {
    s.figures = s.sim->Figures(s.steps);
    if (s.taken.empty() || s.taken.back().step < s.steps) s.taken.push_back(*s.figures);
  }
  return *s.figures;
}
ShapeFigure PreviewScene::Figure() const { return FigureOf(state_->scenario.params.shape); }
uint64_t PreviewScene::Hash() const { return state_->sim->Hash(); }
const Scenario& PreviewScene::ScenarioState() const { return state_->scenario; }
const Membrane& PreviewScene::MembraneState() const { return state_->membrane; }
double PreviewScene::Pressure() const { return state_->setup.ClothP; }
const MeshReport& PreviewScene::Report() const { return state_->report; }
const std::vector<std::string>& PreviewScene::Warnings() const { return state_->warnings; }
std::vector<PreviewSetting> PreviewScene::Settings() const { return state_->settings; }
char16_t PreviewScene::Separator() const { return separator_; }

std::string PreviewScene::SurfaceObj() const {
  State& s = *state_;
  const std::string comment =
      "tumelin-host: " + s.scenario.name + " after " + Count(s.steps, "step", "steps");
  if (s.scenario.params.shape == Shape::kMesh) return ObjText(s.membrane, comment);
  s.sim->WriteGrid();
  return ObjText(s.sim->Grid(), s.scenario.params.shape, comment);
}

std::string PreviewScene::FiguresCsv() const {
  Figures();
  return CsvText(state_->taken, state_->scenario.params.shape);
}
Framing PreviewScene::StartFraming() const { return state_->framing; }

std::string PreviewScene::CheckText() const {
  return FormatReport(state_->membrane, state_->report, state_->setupWarnings);
}

std::string PreviewScene::SceneIni() const { return SceneIniText(state_->scenario); }

std::string PreviewScene::SceneIniAtStep() const {
  if (state_->steps == 0) return SceneIni();
  Scenario s = state_->scenario;
  s.steps = state_->steps;
  return SceneIniText(s);
}

std::string PreviewScene::SceneIniText(const Scenario& s) const {
  std::string text = tumelin::SceneIniText(s, state_->setup);
  // the page's mesh lives in the module's own file system: the saved file
  // names it by its file name, which a host reads beside the INI file
  if (!s.meshPath.empty()) {
    const std::string absolute = std::filesystem::absolute(std::filesystem::u8path(s.meshPath)).u8string();
    const std::string name = std::filesystem::u8path(s.meshPath).filename().u8string();
    const std::string line = "Mesh=" + absolute;
    const size_t at = text.find(line);
    if (at != std::string::npos) text.replace(at, line.size(), "Mesh=" + name);
  }
  return text;
}

std::vector<int32_t> PreviewScene::DrawTriangles(int32_t stride) const {
  const MembraneParams& params = state_->scenario.params;
  std::vector<int32_t> corners;
  if (stride <= 1 || params.shape == Shape::kMesh || params.defect != Defect::kNone) {
    const Membrane& m = state_->membrane;
    for (int32_t f = 0; f < m.faces.Count(); ++f)
      corners.insert(corners.end(), {m.faces[f].P0, m.faces[f].P1, m.faces[f].P2});
    return corners;
  }
  for (const std::array<int32_t, 3>& t : GridTriangles(params, stride)) {
    // a flipped membrane has every triangle reversed, as its faces have
    corners.insert(corners.end(), {t[0], params.flip ? t[2] : t[1], params.flip ? t[1] : t[2]});
  }
  return corners;
}

void PreviewScene::Surface(std::vector<float>* positions, std::vector<float>* normals) const {
  const Membrane& m = state_->membrane;
  const int32_t count = m.points.Count();
  positions->resize(size_t(count) * 3);
  normals->assign(size_t(count) * 3, 0.0f);
  for (int32_t i = 0; i < count; ++i) {
    const TDbl3D p = m.points[i].Pos;
    (*positions)[3 * i] = float(p.X), (*positions)[3 * i + 1] = float(p.Y),
                     (*positions)[3 * i + 2] = float(p.Z);
  }
  for (int32_t f = 0; f < m.faces.Count(); ++f) {
    const TClothFace& face = m.faces[f];
    const int32_t corner[3] = {face.P0, face.P1, face.P2};
    if (std::any_of(corner, corner + 3, [&](int32_t c) { return c < 0 || c >= count; })) continue;
    const TDbl3D p0 = m.points[face.P0].Pos;
    const TDbl3D n = VecCross(m.points[face.P1].Pos - p0, m.points[face.P2].Pos - p0);
    for (const int32_t c : corner) {
      (*normals)[3 * c] += float(n.X), (*normals)[3 * c + 1] += float(n.Y),
          (*normals)[3 * c + 2] += float(n.Z);
    }
  }
}

}  // namespace tumelin
