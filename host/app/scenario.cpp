#include "scenario.h"

#include <filesystem>
#include <limits>
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
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();

// reads one setting's text into the scenario; false with a message that
// names the setting as `name`
using Reader = bool (*)(std::string_view name, const std::string& text, Scenario* s, std::string* error);

bool ReadShape(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  if (ParseShape(text, &s->params.shape)) return true;
  *error = UnknownName(name, ShapeNames(), text);
  return false;
}

bool ReadPin(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  if (ParsePin(text, &s->params.pin)) return true;
  *error = UnknownName(name, PinNames(), text);
  return false;
}

bool ReadDefect(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  if (ParseDefect(text, &s->params.defect)) return true;
  *error = UnknownName(name, DefectNames(), text);
  return false;
}

// a choice of two names: `*kField` is whether the text names the first
template <bool MembraneParams::*kField, const char* kTrue, const char* kFalse>
bool ReadTwoWay(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  const Names names = {kTrue, kFalse};
  const int i = FindName(names, text);
  if (i < 0) {
    *error = UnknownName(name, names, text);
    return false;
  }
  s->params.*kField = i == 0;
  return true;
}

constexpr char kCcw[] = "ccw", kCw[] = "cw", kNo[] = "no", kYes[] = "yes";
const Reader ReadWinding = ReadTwoWay<&MembraneParams::clockwise, kCw, kCcw>;
const Reader ReadFlip = ReadTwoWay<&MembraneParams::flip, kYes, kNo>;

bool ReadPinPoints(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  return ReadPointList(name, text, &s->params.pinPoints, error);
}

bool ReadMeshPath(std::string_view, const std::string& text, Scenario* s, std::string*) {
  s->meshPath = text;
  return true;
}

bool ReadPinGroup(std::string_view, const std::string& text, Scenario* s, std::string*) {
  s->params.pinGroup = text;
  return true;
}

bool ReadPinBelow(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  return ReadReal(name, text, &s->params.pinBelow, error);
}

template <int32_t MembraneParams::*kField, int64_t kLo, int64_t kHi>
bool ReadGridWhole(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  int64_t value = 0;
  if (!ReadWhole(name, text, kLo, kHi, &value, error)) return false;
  s->params.*kField = static_cast<int32_t>(value);
  return true;
}

template <int64_t Scenario::*kField, int64_t kLo, int64_t kHi>
bool ReadRunWhole(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  return ReadWhole(name, text, kLo, kHi, &(s->*kField), error);
}

template <double MembraneParams::*kField>
bool ReadSize(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  return ReadReal(name, text, &(s->params.*kField), error);
}

// the text of one setting that reads back as the resolved scenario has it;
// empty: the key is left out
using Writer = std::string (*)(const Scenario& s);

std::string WriteShape(const Scenario& s) { return ShapeName(s.params.shape); }
std::string WritePin(const Scenario& s) { return PinName(s.params.pin); }
std::string WriteDefect(const Scenario& s) { return std::string(DefectNames()[size_t(s.params.defect)]); }
std::string WriteWinding(const Scenario& s) { return s.params.clockwise ? kCw : kCcw; }
std::string WriteFlip(const Scenario& s) { return s.params.flip ? kYes : kNo; }
// a mesh path that holds wherever the file that names it lies
std::string WriteMeshPath(const Scenario& s) {
  return s.meshPath.empty() ? std::string()
                            : std::filesystem::absolute(std::filesystem::u8path(s.meshPath)).u8string();
}

std::string WritePinPoints(const Scenario& s) {
  std::string list;
  if (s.params.pin != PinMode::kPoints) return list;
  for (const int32_t point : s.params.pinPoints) list += (list.empty() ? "" : ",") + std::to_string(point);
  return list;
}

std::string WritePinGroup(const Scenario& s) {
  return s.params.pin == PinMode::kGroup ? s.params.pinGroup : std::string();
}

std::string WritePinBelow(const Scenario& s) {
  return s.params.pin == PinMode::kBelow ? FormatDoubleWithoutSeparator(s.params.pinBelow) : std::string();
}

template <int32_t MembraneParams::*kField>
std::string WriteGridWhole(const Scenario& s) {
  return std::to_string(s.params.*kField);
}

std::string WriteSteps(const Scenario& s) { return std::to_string(s.steps); }
// no frames: the key left out
std::string WriteEvery(const Scenario& s) { return s.every > 0 ? std::to_string(s.every) : std::string(); }

template <double MembraneParams::*kField>
std::string WriteSize(const Scenario& s) {
  return FormatDoubleWithoutSeparator(s.params.*kField);
}

struct Setting {
  const char* name;     // how messages name it
  const char* option;   // on the command line
  const char16_t* key;  // in section [Membrane]
  std::optional<std::string> ScenarioChoices::*given;
  Reader read;
  Writer write;
  bool gridOnly = false;  // means nothing to a mesh
  bool flag = false;      // on the command line the option alone, without a value
};

constexpr bool kGridOnly = true;

// in the order both sources are read: the first bad value is the one reported
const Setting kSettings[] = {
    {"shape", "--shape", u"Shape", &ScenarioChoices::shape, ReadShape, WriteShape, kGridOnly},
    {"mesh", "--mesh", u"Mesh", &ScenarioChoices::mesh, ReadMeshPath, WriteMeshPath},
    {"flip", "--flip", u"Flip", &ScenarioChoices::flip, ReadFlip, WriteFlip, false, true},
    {"pinning", "--pin", u"Pin", &ScenarioChoices::pin, ReadPin, WritePin},
    {"winding", "--winding", u"Winding", &ScenarioChoices::winding, ReadWinding, WriteWinding, kGridOnly},
    {"defect", "--defect", u"Defect", &ScenarioChoices::defect, ReadDefect, WriteDefect, kGridOnly},
    {"pin points", "--pin-points", u"PinPoints", &ScenarioChoices::pinPoints, ReadPinPoints, WritePinPoints},
    {"pin group", "--pin-group", u"PinGroup", &ScenarioChoices::pinGroup, ReadPinGroup, WritePinGroup},
    {"pin below", "--pin-below", u"PinBelow", &ScenarioChoices::pinBelow, ReadPinBelow, WritePinBelow},
    {"columns", "--columns", u"Columns", &ScenarioChoices::columns,
     ReadGridWhole<&MembraneParams::columns, 1, kMaxColumns>, WriteGridWhole<&MembraneParams::columns>,
     kGridOnly},
    {"rows", "--rows", u"Rows", &ScenarioChoices::rows, ReadGridWhole<&MembraneParams::rows, 1, kMaxRows>,
     WriteGridWhole<&MembraneParams::rows>, kGridOnly},
    // ValidateParams knows the rows a ring may be on
    {"pin ring", "--pin-ring", u"PinRing", &ScenarioChoices::pinRing,
     ReadGridWhole<&MembraneParams::pinRing, kInt32Min, kInt32Max>, WriteGridWhole<&MembraneParams::pinRing>,
     kGridOnly},
    {"steps", "--steps", u"Steps", &ScenarioChoices::steps, ReadRunWhole<&Scenario::steps, 0, kMaxSteps>,
     WriteSteps},
    {"steps between frames", "--every", u"Every", &ScenarioChoices::every,
     ReadRunWhole<&Scenario::every, 1, kNoLimit>, WriteEvery},
    {"radius", "--radius", u"Radius", &ScenarioChoices::radius, ReadSize<&MembraneParams::radius>,
     WriteSize<&MembraneParams::radius>, kGridOnly},
    {"flatten", "--flatten", u"Flatten", &ScenarioChoices::flatten, ReadSize<&MembraneParams::flatten>,
     WriteSize<&MembraneParams::flatten>, kGridOnly},
    {"major radius", "--major-radius", u"MajorRadius", &ScenarioChoices::majorRadius,
     ReadSize<&MembraneParams::majorRadius>, WriteSize<&MembraneParams::majorRadius>, kGridOnly},
    {"minor radius", "--minor-radius", u"MinorRadius", &ScenarioChoices::minorRadius,
     ReadSize<&MembraneParams::minorRadius>, WriteSize<&MembraneParams::minorRadius>, kGridOnly},
    {"width", "--width", u"Width", &ScenarioChoices::width, ReadSize<&MembraneParams::width>,
     WriteSize<&MembraneParams::width>, kGridOnly},
    {"depth", "--depth", u"Depth", &ScenarioChoices::depth, ReadSize<&MembraneParams::depth>,
     WriteSize<&MembraneParams::depth>, kGridOnly},
    {"length", "--length", u"Length", &ScenarioChoices::length, ReadSize<&MembraneParams::length>,
     WriteSize<&MembraneParams::length>, kGridOnly},
};

bool Given(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }

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
  for (const Setting& setting : kSettings) {
    const std::string text = ini.Text(u"Membrane", setting.key, kMembraneBufferChars);
    if (text.empty()) continue;
    const std::string where = ini.Path() + ": [Membrane] " + Utf16ToUtf8(setting.key);
    if (!setting.read(setting.name, text, scenario, error)) {
      *error = where + ": " + *error;
      return false;
    }
    if (setting.gridOnly) scenario->gridSettings.push_back(where);
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
  for (const Setting& setting : kSettings) {
    if (setting.gridOnly && scenario.params.shape == Shape::kMesh) continue;
    const std::string text = setting.write(scenario);
    if (!text.empty()) lines.push_back({Utf16ToUtf8(setting.key), text});
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
  for (const Setting& setting : kSettings) keys.push_back(Utf16ToUtf8(setting.key));
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
    if (Given(given.shape) && !Given(given.mesh) && !s.meshPath.empty()) {
      s.meshPath.clear();
      s.params.flip = false;
    }
  }
  for (const Setting& setting : kSettings) {
    const std::optional<std::string>& text = given.*setting.given;
    if (!Given(text)) continue;
    if (!setting.read(setting.name, *text, &s, error)) {
      *error = std::string(setting.option) + ": " + *error;
      return false;
    }
    if (setting.gridOnly) s.gridSettings.push_back(setting.option);
  }
  // --pin-points, --pin-group or --pin-below alone pins what it names
  if (!Given(given.pin)) {
    if (Given(given.pinPoints)) s.params.pin = PinMode::kPoints;
    if (Given(given.pinGroup)) s.params.pin = PinMode::kGroup;
    if (Given(given.pinBelow)) s.params.pin = PinMode::kBelow;
  }
  if (!s.meshPath.empty() && !ReadScenarioMesh(&s, error)) return false;
  if (s.name.empty()) s.name = ShapeName(s.params.shape);
  // grid sizes that suit each shape when none is given
  const bool sheet = s.params.shape == Shape::kSheet;
  if (s.params.columns == kNotGiven) s.params.columns = sheet ? 21 : 33;
  if (s.params.rows == kNotGiven) s.params.rows = sheet ? 21 : 17;
  *error = ValidateParams(s.params);
  if (!error->empty()) return false;
  *scenario = std::move(s);
  return true;
}

std::vector<std::string> ScenarioArguments(const ScenarioChoices& given) {
  std::vector<std::string> words;
  for (const Setting& setting : kSettings) {
    const std::optional<std::string>& text = given.*setting.given;
    if (!Given(text)) continue;
    words.push_back(setting.option);
    if (!setting.flag) words.push_back(*text);
  }
  return words;
}

Membrane BuildScenarioMembrane(const Scenario& scenario) {
  return scenario.params.shape == Shape::kMesh ? BuildMembrane(scenario.params, scenario.mesh.mesh)
                                               : BuildMembrane(scenario.params);
}

}  // namespace tumelin
