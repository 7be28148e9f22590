#include "scenario.h"

#include <filesystem>
#include <limits>
#include <string_view>

#include "plugin_loader.h"
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

// clockwise first: the index says whether
bool ReadWinding(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  const Names windings = {"cw", "ccw"};
  const int i = FindName(windings, text);
  if (i < 0) {
    *error = UnknownName(name, windings, text);
    return false;
  }
  s->params.clockwise = i == 0;
  return true;
}

bool ReadPinPoints(std::string_view name, const std::string& text, Scenario* s, std::string* error) {
  return ReadPointList(name, text, &s->params.pinPoints, error);
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

struct Setting {
  const char* name;     // how messages name it
  const char* option;   // on the command line
  const char16_t* key;  // in section [Membrane]; null: on the command line only
  std::optional<std::string> ScenarioChoices::*given;
  Reader read;
};

// in the order both sources are read: the first bad value is the one reported
const Setting kSettings[] = {
    {"shape", "--shape", u"Shape", &ScenarioChoices::shape, ReadShape},
    {"pinning", "--pin", u"Pin", &ScenarioChoices::pin, ReadPin},
    {"winding", "--winding", u"Winding", &ScenarioChoices::winding, ReadWinding},
    {"defect", "--defect", nullptr, &ScenarioChoices::defect, ReadDefect},
    {"pin points", "--pin-points", u"PinPoints", &ScenarioChoices::pinPoints, ReadPinPoints},
    {"columns", "--columns", u"Columns", &ScenarioChoices::columns,
     ReadGridWhole<&MembraneParams::columns, 1, kMaxColumns>},
    {"rows", "--rows", u"Rows", &ScenarioChoices::rows, ReadGridWhole<&MembraneParams::rows, 1, kMaxRows>},
    // ValidateParams knows the rows a ring may be on
    {"pin ring", "--pin-ring", u"PinRing", &ScenarioChoices::pinRing,
     ReadGridWhole<&MembraneParams::pinRing, kInt32Min, kInt32Max>},
    {"steps", "--steps", u"Steps", &ScenarioChoices::steps, ReadRunWhole<&Scenario::steps, 0, kMaxSteps>},
    {"every", "--every", u"Every", &ScenarioChoices::every, ReadRunWhole<&Scenario::every, 0, kNoLimit>},
    {"radius", "--radius", u"Radius", &ScenarioChoices::radius, ReadSize<&MembraneParams::radius>},
    {"flatten", "--flatten", u"Flatten", &ScenarioChoices::flatten, ReadSize<&MembraneParams::flatten>},
    {"major radius", "--major-radius", u"MajorRadius", &ScenarioChoices::majorRadius,
     ReadSize<&MembraneParams::majorRadius>},
    {"minor radius", "--minor-radius", u"MinorRadius", &ScenarioChoices::minorRadius,
     ReadSize<&MembraneParams::minorRadius>},
    {"width", "--width", u"Width", &ScenarioChoices::width, ReadSize<&MembraneParams::width>},
    {"depth", "--depth", u"Depth", &ScenarioChoices::depth, ReadSize<&MembraneParams::depth>},
    {"length", "--length", u"Length", &ScenarioChoices::length, ReadSize<&MembraneParams::length>},
};

bool Given(const std::optional<std::string>& text) { return text.has_value() && !text->empty(); }

}  // namespace

// an empty value counts as missing, as the plug-in counts it in [Setup]
bool ReadMembraneSection(const IniFile& ini, Scenario* scenario, std::string* error) {
  for (const Setting& setting : kSettings) {
    if (setting.key == nullptr) continue;
    const std::string text = ini.Text(u"Membrane", setting.key, kMembraneBufferChars);
    if (text.empty()) continue;
    if (!setting.read(setting.name, text, scenario, error)) {
      *error = ini.Path() + ": [Membrane] " + Utf16ToUtf8(setting.key) + ": " + *error;
      return false;
    }
  }
  return true;
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
  }
  for (const Setting& setting : kSettings) {
    const std::optional<std::string>& text = given.*setting.given;
    if (Given(text) && !setting.read(setting.name, *text, &s, error)) {
      *error = std::string(setting.option) + ": " + *error;
      return false;
    }
  }
  // --pin-points alone pins those points
  if (Given(given.pinPoints) && !Given(given.pin)) s.params.pin = PinMode::kPoints;
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
    if (Given(text)) words.insert(words.end(), {setting.option, *text});
  }
  return words;
}

}  // namespace tumelin
