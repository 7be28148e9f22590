// The WebAssembly module of the browser preview: the plug-in linked in
// (linked_plugin.h) and PreviewScene offered to the page's script as the
// class Scene. Strings cross as UTF-8; the surface crosses as views of the
// module's memory, valid until the next call.
#include <emscripten/bind.h>
#include <emscripten/val.h>
#include <tumelin/tumelin.h>

#include <optional>
#include <string>
#include <vector>

#include "ini_file.h"
#include "linked_plugin.h"
#include "look.h"
#include "membrane_options.h"
#include "preview_scene.h"

namespace tumelin {
namespace {

using emscripten::val;

val Vector(TDbl3D v) {
  val array = val::array();
  array.call<void>("push", v.X, v.Y, v.Z);
  return array;
}

// an array of strings from any list of them
template <typename List>
val Strings(const List& lines) {
  val array = val::array();
  for (const auto& line : lines) array.call<void>("push", std::string(line));
  return array;
}

class Scene {
 public:
  Scene() : scene_(LinkedPlugin()) {}

  bool choose(const std::string& key, const std::string& text) { return scene_.Choose(key, text); }
  std::string set(const std::string& assignment) {
    std::string error;
    return scene_.Set(assignment, &error) ? std::string() : error;
  }
  void clear() { scene_.Clear(); }

  // "" when built, else the message; the triangles and the pins are fixed
  // from here on
  std::string build(const std::string& iniPath) {
    std::string error;
    if (!scene_.Build(iniPath, &error)) return error;
    const Membrane& m = scene_.MembraneState();
    triangles_ = scene_.DrawTriangles(1);
    coarse_.clear();
    pinned_.clear();
    for (int32_t i = 0; i < m.points.Count(); ++i) pinned_.push_back(m.points[i].Fixed != 0 ? 1 : 0);
    scene_.Surface(&positions_, &normals_);
    return std::string();
  }

  double step(double count) {
    const double done = double(scene_.Step(int64_t(count)));
    scene_.Surface(&positions_, &normals_);
    return done;
  }
  double steps() const { return double(scene_.Steps()); }
  double entrySeconds() const { return scene_.EntrySeconds(); }
  std::string diverged() const { return scene_.Diverged(); }
  std::string hash() const { return HexHash(scene_.Hash()); }

  val figures() const {
    const StepFigures f = scene_.Figures();
    val o = val::object();
    o.set("step", double(f.step));
    o.set("volume", f.volume);
    o.set("area", f.area);
    o.set("meanRadius", f.meanRadius);
    o.set("meanHeight", f.meanHeight);
    o.set("maxSpeed", f.maxSpeed);
    o.set("kineticEnergy", f.kineticEnergy);
    o.set("maxStretch", f.maxStretch);
    o.set("maxCompression", f.maxCompression);
    // the one figure the shape is judged by, as the host's summary names it
    o.set("figure", FigureValue(f, scene_.Figure()));
    o.set("figureWord", std::string(FigureWord(scene_.Figure())));
    return o;
  }

  val settings() const {
    val array = val::array();
    for (const PreviewSetting& s : scene_.Settings()) {
      val o = val::object();
      o.set("key", s.line.key);
      o.set("present", s.line.present);
      o.set("text", s.line.text);
      o.set("stored", s.line.stored);
      o.set("note", s.line.note);
      o.set("accepted", s.line.accepted);
      o.set("reason", s.line.reason);
      o.set("given", s.given);
      array.call<void>("push", o);
    }
    return array;
  }
  std::string separator() const { return Utf16ToUtf8(std::u16string(1, scene_.Separator())); }
  // ',' reads the settings as a host whose decimal separator is a comma,
  // anything else as one whose separator is a point, from the next build on
  void useSeparator(const std::string& text) { scene_.SetSeparator(text == "," ? u',' : u'.'); }
  std::string surfaceObj() const { return scene_.SurfaceObj(); }
  std::string figuresCsv() const { return scene_.FiguresCsv(); }
  val warnings() const { return Strings(scene_.Warnings()); }
  std::string checkText() const { return scene_.CheckText(); }
  std::string sceneIni() const { return scene_.SceneIni(); }
  std::string sceneIniAtStep() const { return scene_.SceneIniAtStep(); }

  val scenario() const {
    const Scenario& s = scene_.ScenarioState();
    val o = val::object();
    o.set("name", s.name);
    o.set("shape", std::string(ShapeName(s.params.shape)));
    o.set("mesh", s.meshPath);  // the mesh file in the module's file system; empty for a grid shape
    o.set("steps", double(s.steps));
    o.set("closed", IsClosed(s.params.shape) && !scene_.Report().leaks);
    // which way the triangles run seen from outside (a free mesh: as its
    // enclosed volume says)
    const bool clockwise = s.params.shape == Shape::kMesh ? scene_.Report().signedVolume < 0.0
                                                          : s.params.clockwise != s.params.flip;
    o.set("clockwise", clockwise);
    const Framing framing = scene_.StartFraming();
    o.set("center", Vector(framing.center));
    o.set("radius", framing.radius);
    return o;
  }

  int pointCount() const { return int(positions_.size() / 3); }
  val positions() const { return val(emscripten::typed_memory_view(positions_.size(), positions_.data())); }
  val normals() const { return val(emscripten::typed_memory_view(normals_.size(), normals_.data())); }
  val triangles() const { return val(emscripten::typed_memory_view(triangles_.size(), triangles_.data())); }
  // PreviewScene::DrawTriangles, valid until the next call of this or build()
  val coarseTriangles(int stride) {
    coarse_ = scene_.DrawTriangles(stride);
    return val(emscripten::typed_memory_view(coarse_.size(), coarse_.data()));
  }
  val pinned() const { return val(emscripten::typed_memory_view(pinned_.size(), pinned_.data())); }
  // one value per point for the colour map, in a buffer kept between calls:
  // "strain" (length / rest length - 1 of the point's most strained spring,
  // with its sign), "pressure" (the power of its pressure push), anything
  // else the speed
  val pointValues(const std::string& kind) {
    if (kind == "strain") {
      PointStrains(scene_.MembraneState(), &values_);
    } else if (kind == "pressure") {
      PointPressurePowers(scene_.MembraneState(), scene_.Pressure(), &values_);
    } else {
      PointSpeeds(scene_.MembraneState(), &values_);
    }
    return val(emscripten::typed_memory_view(values_.size(), values_.data()));
  }

 private:
  PreviewScene scene_;
  std::vector<float> positions_, normals_, values_;
  std::vector<int32_t> triangles_, coarse_;
  std::vector<uint8_t> pinned_;
};

// the host's camera for a view in degrees: the unit vectors towards the eye,
// to the right and up the picture
val CameraAxes(double azimuth, double elevation) {
  const Camera c = CameraFor(View{azimuth, elevation});
  val o = val::object();
  o.set("toEye", Vector(c.toEye));
  o.set("right", Vector(c.right));
  o.set("up", Vector(c.up));
  return o;
}

val DefaultView() {
  const View view;
  val o = val::object();
  o.set("azimuth", view.azimuth);
  o.set("elevation", view.elevation);
  o.set("maxElevation", kMaxElevation);
  return o;
}

val Weights(look::CameraWeights w) {
  val o = val::object();
  o.set("toEye", w.toEye);
  o.set("right", w.right);
  o.set("up", w.up);
  return o;
}

// the colours and lights the host's pictures are shaded with, for the
// page's shader: the preview looks as run's PNG files do
val Look() {
  val o = val::object();
  o.set("keyLight", Weights(look::kKeyLight));
  o.set("fillLight", Weights(look::kFillLight));
  o.set("outside", Vector(look::kOutside));
  o.set("inside", Vector(look::kInside));
  o.set("ambient", look::kAmbient);
  o.set("diffuse", look::kDiffuse);
  o.set("fill", look::kFill);
  o.set("highlight", look::kHighlight);
  o.set("highlightPower", look::kHighlightPower);
  return o;
}

std::string PluginName() { return Utf16ToUtf8(LinkedPlugin().nameZR7()); }
val SetupKeys() { return Strings(SetupKeyNames()); }
// the integrators' names, index = TUMELIN_METHOD_*
val MethodNames() {
  val names = val::array();
  for (int32_t method = 0; method < TUMELIN_METHOD_COUNT; ++method)
    names.call<void>("push", std::string(TumelinMethodName(method)));
  return names;
}
val Number(const std::optional<double>& x) { return x ? val(*x) : val::null(); }

const char* TypeName(OptionType type) {
  switch (type) {
    case OptionType::kInt:
      return "int";
    case OptionType::kReal:
      return "real";
    case OptionType::kChoice:
      return "choice";
    default:
      // free text, and any type the page does not know yet
      return "text";
  }
}

// kMembraneOptions, in order: [{key, ini, flag, help, type, min, max, def,
// choices, shapes}]
val MembraneOptions() {
  val options = val::array();
  for (const MembraneOption& option : kMembraneOptions) {
    std::vector<std::string> shapes;
    for (const ShapeInfo& shape : kShapes) {
      if (OptionApplies(option, shape.shape)) shapes.push_back(shape.name);
    }
    val o = val::object();
    o.set("key", std::string(option.key));
    o.set("ini", std::string(option.ini));
    o.set("flag", std::string(option.flag));
    o.set("help", OptionHelp(option));
    o.set("type", std::string(TypeName(option.type)));
    o.set("min", Number(option.min));
    o.set("max", Number(option.max));
    o.set("def", std::string(option.def));
    o.set("choices", option.choices != nullptr ? Strings(option.choices()) : val::array());
    o.set("shapes", Strings(shapes));
    options.call<void>("push", o);
  }
  return options;
}

// the name of a figure as figures() names its value
const char* FigureKey(ShapeFigure figure) {
  switch (figure) {
    case ShapeFigure::kMeanHeight:
      return "meanHeight";
    case ShapeFigure::kMeanRadius:
      return "meanRadius";
    default:
      return "volume";
  }
}

// kShapes, the mesh last: [{name, mode, sizes, pins, pinOptions, figure}]; a
// size is an option key, a pin a pin mode's name, pinOptions the option key
// each pin reads ('' for none)
val Shapes() {
  val shapes = val::array();
  for (const ShapeInfo& shape : kShapes) {
    std::vector<std::string> sizes, pins;
    val pinOptions = val::object();
    for (const MembraneOption& option : kMembraneOptions) {
      if (option.role == OptionRole::kSize && OptionApplies(option, shape.shape)) sizes.push_back(option.key);
    }
    for (const std::string_view name : PinNames()) {
      PinMode pin = PinMode::kNone;
      if (!ParsePin(std::string(name), &pin) || !PinApplies(pin, shape.shape)) continue;
      pins.emplace_back(name);
      pinOptions.set(std::string(name), std::string(PinParam(pin)));
    }
    val o = val::object();
    o.set("name", std::string(shape.name));
    o.set("mode", int(shape.mode));
    o.set("sizes", Strings(sizes));
    o.set("pins", Strings(pins));
    o.set("pinOptions", pinOptions);
    o.set("figure", std::string(FigureKey(shape.figure)));
    shapes.call<void>("push", o);
  }
  return shapes;
}

}  // namespace
}  // namespace tumelin

EMSCRIPTEN_BINDINGS(tumelin_preview) {
  using tumelin::Scene;
  emscripten::class_<Scene>("Scene")
      .constructor<>()
      .function("choose", &Scene::choose)
      .function("set", &Scene::set)
      .function("clear", &Scene::clear)
      .function("build", &Scene::build)
      .function("step", &Scene::step)
      .function("steps", &Scene::steps)
      .function("entrySeconds", &Scene::entrySeconds)
      .function("diverged", &Scene::diverged)
      .function("hash", &Scene::hash)
      .function("figures", &Scene::figures)
      .function("settings", &Scene::settings)
      .function("separator", &Scene::separator)
      .function("useSeparator", &Scene::useSeparator)
      .function("surfaceObj", &Scene::surfaceObj)
      .function("figuresCsv", &Scene::figuresCsv)
      .function("warnings", &Scene::warnings)
      .function("checkText", &Scene::checkText)
      .function("sceneIni", &Scene::sceneIni)
      .function("sceneIniAtStep", &Scene::sceneIniAtStep)
      .function("scenario", &Scene::scenario)
      .function("pointCount", &Scene::pointCount)
      .function("positions", &Scene::positions)
      .function("normals", &Scene::normals)
      .function("triangles", &Scene::triangles)
      .function("coarseTriangles", &Scene::coarseTriangles)
      .function("pinned", &Scene::pinned)
      .function("pointValues", &Scene::pointValues);
  emscripten::function("cameraAxes", &tumelin::CameraAxes);
  emscripten::function("defaultView", &tumelin::DefaultView);
  emscripten::function("look", &tumelin::Look);
  emscripten::function("pluginName", &tumelin::PluginName);
  emscripten::function("membraneOptions", &tumelin::MembraneOptions);
  emscripten::function("shapes", &tumelin::Shapes);
  emscripten::function("setupKeys", &tumelin::SetupKeys);
  emscripten::function("methodNames", &tumelin::MethodNames);
}
