#include "membrane_options.h"

#include <filesystem>
#include <limits>

#include "ini_file.h"
#include "scenario.h"
#include "user_text.h"

namespace tumelin {

namespace {

using Names = std::vector<std::string_view>;

Names WindingNames() { return {"cw", "ccw"}; }
Names YesNo() { return {"yes", "no"}; }

// the index of the option's choice that `text` names
bool ReadChoice(const MembraneOption& o, const std::string& text, int* index, std::string* error) {
  *index = FindName(o.choices(), text);
  if (*index < 0) *error = UnknownName(o.name, o.choices(), text);
  return *index >= 0;
}

// a choice stored as its enum, in the order of its names
template <typename Enum, Enum MembraneParams::*kField>
bool ReadEnum(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  int i = 0;
  if (!ReadChoice(o, text, &i, error)) return false;
  s->params.*kField = static_cast<Enum>(i);
  return true;
}

// a choice of two names: `*kField` is whether the text names the first
template <bool MembraneParams::*kField>
bool ReadTwoWay(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  int i = 0;
  if (!ReadChoice(o, text, &i, error)) return false;
  s->params.*kField = i == 0;
  return true;
}

template <std::string Scenario::*kField>
bool ReadScenarioText(const MembraneOption&, const std::string& text, Scenario* s, std::string*) {
  s->*kField = text;
  return true;
}

bool ReadPinGroup(const MembraneOption&, const std::string& text, Scenario* s, std::string*) {
  s->params.pinGroup = text;
  return true;
}

bool ReadPinPoints(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  return ReadPointList(o.name, text, &s->params.pinPoints, error);
}

template <double MembraneParams::*kField>
bool ReadRealField(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  return ReadReal(o.name, text, &(s->params.*kField), error);
}

// a whole number within the option's bounds, else those of its type
template <typename Int>
bool ReadBounded(const MembraneOption& o, const std::string& text, Int* field, std::string* error) {
  const double lo = o.min.value_or(double(std::numeric_limits<Int>::min()));
  int64_t value = 0;
  const int64_t hi = o.max ? int64_t(*o.max) : int64_t(std::numeric_limits<Int>::max());
  if (!ReadWhole(o.name, text, int64_t(lo), hi, &value, error)) return false;
  *field = static_cast<Int>(value);
  return true;
}

template <int32_t MembraneParams::*kField>
bool ReadGridWhole(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  return ReadBounded(o, text, &(s->params.*kField), error);
}

template <int64_t Scenario::*kField>
bool ReadRunWhole(const MembraneOption& o, const std::string& text, Scenario* s, std::string* error) {
  return ReadBounded(o, text, &(s->*kField), error);
}

std::string WriteShape(const Scenario& s) { return ShapeName(s.params.shape); }
std::string WritePin(const Scenario& s) { return PinName(s.params.pin); }
std::string WriteDefect(const Scenario& s) { return std::string(DefectNames()[size_t(s.params.defect)]); }
std::string WriteWinding(const Scenario& s) {
  return std::string(WindingNames()[s.params.clockwise ? 0 : 1]);
}
std::string WriteFlip(const Scenario& s) { return std::string(YesNo()[s.params.flip ? 0 : 1]); }
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
std::string WriteReal(const Scenario& s) {
  return FormatDoubleWithoutSeparator(s.params.*kField);
}

// "sphere (grid mode 0), torus (1), sheet (2) or tube (3)"
std::string ShapeHelp() {
  const size_t count = ShapeNames().size();
  std::string help;
  for (size_t i = 0; i < count; ++i) {
    help += (i == 0           ? ""
             : i + 1 == count ? " or "
                              : ", ") +
            std::string(kShapes[i].name) + (i == 0 ? " (grid mode " : " (") +
            std::to_string(kShapes[i].mode) + ")";
  }
  return help;
}

constexpr ShapeSet kSphere = ShapeBit(Shape::kSphere), kTorus = ShapeBit(Shape::kTorus),
                   kSheet = ShapeBit(Shape::kSheet), kTube = ShapeBit(Shape::kTube),
                   kMesh = ShapeBit(Shape::kMesh);
constexpr auto kInt = OptionType::kInt, kReal = OptionType::kReal, kChoice = OptionType::kChoice,
               kText = OptionType::kText;
constexpr std::nullopt_t kNone = std::nullopt;

}  // namespace

const std::vector<MembraneOption> kMembraneOptions = {
    {"shape", "Shape", "shape", "", "shape", ShapeHelp(), "TEXT", kChoice, kNone, kNone, "sphere", ShapeNames,
     kGridShapes, OptionRole::kShape, ReadEnum<Shape, &MembraneParams::shape>, WriteShape},
    {"mesh", "Mesh", "mesh", "", "mesh",
     "a Wavefront OBJ file to run instead of a grid shape: its vertices become points, its edges springs, "
     "its "
     "faces triangles in the file's winding; no grid write-back",
     "FILE", kText, kNone, kNone, "", nullptr, kMesh, OptionRole::kShape,
     ReadScenarioText<&Scenario::meshPath>, WriteMeshPath},
    {"flip", "Flip", "flip", "", "flip",
     "reverse every triangle: most OBJ files wind counter-clockwise seen from outside, which a positive "
     "ClothP "
     "draws in",
     nullptr, kChoice, kNone, kNone, "no", YesNo, kAllShapes, OptionRole::kShape,
     ReadTwoWay<&MembraneParams::flip>, WriteFlip},
    {"pin", "Pin", "pin", "", "pinning", PinHelp(), "TEXT", kChoice, kNone, kNone, "none", PinNames,
     kAllShapes, OptionRole::kPin, ReadEnum<PinMode, &MembraneParams::pin>, WritePin},
    {"winding", "Winding", "winding", "", "winding", "cw (default: clockwise seen from outside) or ccw",
     "TEXT", kChoice, kNone, kNone, "cw", WindingNames, kGridShapes, OptionRole::kShape,
     ReadTwoWay<&MembraneParams::clockwise>, WriteWinding},
    {"defect", "Defect", "defect", "", "defect", "build a fault on purpose: none, hole, seam or flip", "TEXT",
     kChoice, kNone, kNone, "none", DefectNames, kGridShapes, OptionRole::kShape,
     ReadEnum<Defect, &MembraneParams::defect>, WriteDefect},
    {"pinPoints", "PinPoints", "pin-points", "", "pin points",
     "comma-separated point indices for --pin points (a mesh's point i is its file's vertex i + 1)", "TEXT",
     kText, kNone, kNone, "", nullptr, kAllShapes, OptionRole::kPin, ReadPinPoints, WritePinPoints},
    {"pinGroup", "PinGroup", "pin-group", "", "pin group",
     "pin the vertices of the mesh's faces in this group (\"g\" or \"o\" of the OBJ file)", "NAME", kText,
     kNone, kNone, "", nullptr, kMesh, OptionRole::kPin, ReadPinGroup, WritePinGroup},
    // a sheet starts flat at z = 0: a height pins all of it or none
    {"pinBelow", "PinBelow", "pin-below", "", "pin below", "pin every point whose start z is at most Z", "Z",
     kReal, kNone, kNone, "0", nullptr, kAllShapes & ~kSheet, OptionRole::kPin,
     ReadRealField<&MembraneParams::pinBelow>, WritePinBelow},
    {"columns", "Columns", "columns", "u", "columns", "grid columns CountU; closed rings repeat column 0",
     "INT", kInt, 1, kMaxColumns, "33", nullptr, kGridShapes, OptionRole::kSize,
     ReadGridWhole<&MembraneParams::columns>, WriteGridWhole<&MembraneParams::columns>},
    {"rows", "Rows", "rows", "v", "rows", "grid rows CountV, 1 to 257", "INT", kInt, 1, kMaxRows, "17",
     nullptr, kGridShapes, OptionRole::kSize, ReadGridWhole<&MembraneParams::rows>,
     WriteGridWhole<&MembraneParams::rows>},
    // ValidateParams knows the rows a ring may be on
    {"pinRing", "PinRing", "pin-ring", "", "pin ring",
     "grid row pinned by --pin ring (default: the top ring)", "INT", kInt, kNone, kNone, "-1", nullptr,
     kGridShapes, OptionRole::kPin, ReadGridWhole<&MembraneParams::pinRing>,
     WriteGridWhole<&MembraneParams::pinRing>},
    {"steps", "Steps", "steps", "n", "steps", "steps to run", "INT", kInt, 0, double(kMaxSteps), "1000",
     nullptr, kAllShapes, OptionRole::kRun, ReadRunWhole<&Scenario::steps>, WriteSteps},
    {"every", "Every", "every", "", "steps between frames",
     "also write frames/step_NNNNNN.obj and .png every K steps", "INT", kInt, 1, kNone, "", nullptr,
     kAllShapes, OptionRole::kRun, ReadRunWhole<&Scenario::every>, WriteEvery},
    {"radius", "Radius", "radius", "", "radius", "sphere or tube radius", "FLOAT", kReal, 0, kNone, "1",
     nullptr, kSphere | kTube, OptionRole::kSize, ReadRealField<&MembraneParams::radius>,
     WriteReal<&MembraneParams::radius>},
    {"flatten", "Flatten", "flatten", "", "flatten",
     "sphere and torus: z scale of the start shape; below 1 starts flat", "FLOAT", kReal, 0, kNone, "1",
     nullptr, kSphere | kTorus, OptionRole::kSize, ReadRealField<&MembraneParams::flatten>,
     WriteReal<&MembraneParams::flatten>},
    {"majorRadius", "MajorRadius", "major-radius", "", "major radius", "torus: radius of the centre circle",
     "FLOAT", kReal, 0, kNone, "1", nullptr, kTorus, OptionRole::kSize,
     ReadRealField<&MembraneParams::majorRadius>, WriteReal<&MembraneParams::majorRadius>},
    {"minorRadius", "MinorRadius", "minor-radius", "", "minor radius", "torus: radius of the tube", "FLOAT",
     kReal, 0, kNone, "0.4", nullptr, kTorus, OptionRole::kSize, ReadRealField<&MembraneParams::minorRadius>,
     WriteReal<&MembraneParams::minorRadius>},
    {"width", "Width", "width", "", "width", "sheet size along x", "FLOAT", kReal, 0, kNone, "2", nullptr,
     kSheet, OptionRole::kSize, ReadRealField<&MembraneParams::width>, WriteReal<&MembraneParams::width>},
    {"depth", "Depth", "depth", "", "depth", "sheet size along y", "FLOAT", kReal, 0, kNone, "2", nullptr,
     kSheet, OptionRole::kSize, ReadRealField<&MembraneParams::depth>, WriteReal<&MembraneParams::depth>},
    {"length", "Length", "length", "", "length", "tube length along z", "FLOAT", kReal, 0, kNone, "2",
     nullptr, kTube, OptionRole::kSize, ReadRealField<&MembraneParams::length>,
     WriteReal<&MembraneParams::length>},
};

const MembraneOption* FindMembraneOption(std::string_view key) {
  for (const MembraneOption& option : kMembraneOptions) {
    if (key == option.key) return &option;
  }
  return nullptr;
}

bool OptionApplies(const MembraneOption& option, Shape shape) {
  return (option.shapes & ShapeBit(shape)) != 0;
}

std::string OptionHelp(const MembraneOption& option) {
  const bool number = option.type == OptionType::kInt || option.type == OptionType::kReal;
  return number && *option.def != '\0' ? option.help + " (" + option.def + ")" : option.help;
}

std::string SwitchText(const MembraneOption& option) { return std::string(option.choices().front()); }

}  // namespace tumelin
