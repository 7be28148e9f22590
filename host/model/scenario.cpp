#include "scenario.h"

#include <filesystem>
#include <string_view>

#include "ini_file.h"
#include "plugin_loader.h"
#include "setup_rules.h"
#include "user_text.h"

namespace tumelin {

namespace {

// the host's own section: room for a long PinPoints list
constexpr size_t kMembraneBufferChars = 65536;
// columns and rows until a source gives them: then they suit the shape
constexpr int32_t kNotGiven = -1;

bool Given(const ScenarioChoices& given, const char* key) {
  const auto it = given.find(key);
  return it != given.end() && !it->second.empty();
}

// the mesh file of the scenario, and the points its group pinning names
bool ReadScenarioMesh(Scenario* s, std::string* error) {
  if (!s->gridSettings.empty()) {
    *error = s->gridSettings.front() + ": a setting of the grid shapes; it does not apply to a mesh";
    return false;
  }
  if (!ReadObjMesh(s->meshPath, &s->mesh, error)) return false;
  s->params.shape = Shape::kMesh;
  if (s->name.empty()) s->name = std::filesystem::u8path(s->meshPath).stem().u8string();
  if (s->params.pin == PinMode::kGroup) {
    const ObjGroup* group = FindGroup(s->mesh, s->params.pinGroup);
    if (group == nullptr) {
      std::string names;
      for (const ObjGroup& g : s->mesh.groups) names += (names.empty() ? "" : ", ") + g.name;
      *error = "pin group '" + s->params.pinGroup + "' is not in " + s->meshPath +
               (names.empty() ? " (it names no group)" : " (its groups: " + names + ")");
      return false;
    }
    s->params.pinPoints = group->vertices;
  }
  const int32_t points = static_cast<int32_t>(s->mesh.mesh.positions.size());
  *error = ValidatePinPoints(s->params.pinPoints, points, "the mesh " + s->meshPath);
  return error->empty();
}

}  // namespace

// an empty value counts as missing, as the plug-in counts it in [Setup]
bool ReadMembraneSection(const IniFile& ini, Scenario* scenario, std::string* error) {
  for (const MembraneOption& option : kMembraneOptions) {
    const std::string text = ini.Text(u"Membrane", Utf8ToUtf16(option.ini), kMembraneBufferChars);
    if (text.empty()) continue;
    const std::string where = ini.Path() + ": [Membrane] " + option.ini;
    if (!option.read(option, text, scenario, error)) {
      *error = where + ": " + *error;
      return false;
    }
    if (!OptionApplies(option, Shape::kMesh)) scenario->gridSettings.push_back(where);
  }
  // a mesh named by the file lies beside it
  const std::filesystem::path mesh = std::filesystem::u8path(scenario->meshPath);
  if (!scenario->meshPath.empty() && mesh.is_relative()) {
    scenario->meshPath = (std::filesystem::u8path(ini.Path()).parent_path() / mesh).u8string();
  }
  return true;
}

std::vector<SetupText> MembraneTexts(const Scenario& scenario) {
  std::vector<SetupText> lines;
  for (const MembraneOption& option : kMembraneOptions) {
    if (!OptionApplies(option, scenario.params.shape)) continue;
    const std::string text = option.write(scenario);
    if (!text.empty()) lines.push_back({option.ini, text});
  }
  return lines;
}

std::string SceneIniText(const Scenario& scenario, const TClothSetup& stored) {
  std::vector<SetupText> setup;
  for (const SetupKey& key : kSetupKeys) {
    setup.push_back({Utf16ToUtf8(key.name), key.rule == NumberRule::kFloat
                                                ? FormatDoubleWithoutSeparator(stored.*key.real)
                                                : std::to_string(stored.*key.integer)});
  }
  return IniText(
      {"tumelin-host: the scenario of this run as it ran; tumelin-host run --ini scene.ini runs it again",
       "[Setup] holds what the plug-in stored, written without a decimal separator: every locale reads it "
       "alike"},
      {{"Setup", setup}, {"Membrane", MembraneTexts(scenario)}});
}

std::vector<std::string> MembraneKeys() {
  std::vector<std::string> keys;
  for (const MembraneOption& option : kMembraneOptions) keys.push_back(option.ini);
  return keys;
}

bool ResolveScenario(const std::string& iniPath, const ScenarioChoices& given, Scenario* scenario,
                     std::string* error) {
  Scenario s;
  s.iniPath = iniPath;
  s.params.columns = kNotGiven;
  s.params.rows = kNotGiven;
  if (!iniPath.empty()) {
    IniFile ini;
    if (!ini.Open(iniPath, error) || !ReadMembraneSection(ini, &s, error)) return false;
    s.name = std::filesystem::u8path(iniPath).stem().u8string();
    // a shape given over a file's mesh runs that shape: the mesh and its
    // flip stay with the file
    if (Given(given, "shape") && !Given(given, "mesh") && !s.meshPath.empty()) {
      s.meshPath.clear();
      s.params.flip = false;
    }
  }
  for (const MembraneOption& option : kMembraneOptions) {
    if (!Given(given, option.key)) continue;
    const std::string flag = std::string("--") + option.flag;
    if (!option.read(option, given.at(option.key), &s, error)) {
      *error = flag + ": " + *error;
      return false;
    }
    if (!OptionApplies(option, Shape::kMesh)) s.gridSettings.push_back(flag);
  }
  // --pin-points, --pin-group or --pin-below alone pins what it names
  if (!Given(given, "pin")) {
    if (Given(given, "pinPoints")) s.params.pin = PinMode::kPoints;
    if (Given(given, "pinGroup")) s.params.pin = PinMode::kGroup;
    if (Given(given, "pinBelow")) s.params.pin = PinMode::kBelow;
  }
  if (!s.meshPath.empty() && !ReadScenarioMesh(&s, error)) return false;
  if (s.name.empty()) s.name = ShapeName(s.params.shape);
  // grid sizes that suit each shape when none is given
  if (s.params.columns == kNotGiven) s.params.columns = InfoOf(s.params.shape).columns;
  if (s.params.rows == kNotGiven) s.params.rows = InfoOf(s.params.shape).rows;
  *error = ValidateParams(s.params);
  if (!error->empty()) return false;
  *scenario = std::move(s);
  return true;
}

std::vector<std::string> ScenarioArguments(const ScenarioChoices& given) {
  std::vector<std::string> words;
  for (const MembraneOption& option : kMembraneOptions) {
    if (!Given(given, option.key)) continue;
    words.push_back(std::string("--") + option.flag);
    if (option.valueName != nullptr) words.push_back(given.at(option.key));
  }
  return words;
}

Membrane BuildScenarioMembrane(const Scenario& scenario) {
  return scenario.params.shape == Shape::kMesh ? BuildMembrane(scenario.params, scenario.mesh.mesh)
                                               : BuildMembrane(scenario.params);
}

}  // namespace tumelin
