// The scenario a run resolves from the command line and section [Membrane].
#include "scenario.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// pinning a mesh by a list, a named group or a plane
TEST(MeshMembrane, PinsByListGroupAndPlane) {
  struct Case {
    const char* label;
    ScenarioChoices given;
    std::set<int32_t> pinned;
  };
  auto choices = [](std::optional<std::string> points, std::optional<std::string> group,
                    std::optional<std::string> below) {
    ScenarioChoices c;
    c.mesh = kCube;
    c.pinPoints = points, c.pinGroup = group, c.pinBelow = below;
    return c;
  };
  const Case cases[] = {
      {"list", choices("0, 7", std::nullopt, std::nullopt), {0, 7}},
      {"group", choices(std::nullopt, "bottom", std::nullopt), {0, 1, 2, 3}},
      {"plane", choices(std::nullopt, std::nullopt, "-1"), {0, 1, 2, 3}},
      {"plane above all", choices(std::nullopt, std::nullopt, "1"), {0, 1, 2, 3, 4, 5, 6, 7}},
  };
  for (const Case& c : cases) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(ResolveScenario("", c.given, &s, &error)) << c.label << ": " << error;
    EXPECT_EQ(s.name, "cube_quads");
    const Membrane m = BuildScenarioMembrane(s);
    std::set<int32_t> pinned;
    for (int32_t i = 0; i < m.points.Count(); ++i) {
      if (m.points[i].Fixed != 0) pinned.insert(i);
    }
    EXPECT_EQ(pinned, c.pinned) << c.label;
  }
  // what a mesh cannot be asked
  const std::pair<ScenarioChoices, std::string> refused[] = {
      {choices("8", std::nullopt, std::nullopt), "pinned point 8 does not exist"},
      {choices(std::nullopt, "lid", std::nullopt), "pin group 'lid' is not in"},
      {[&] {
         ScenarioChoices c = choices(std::nullopt, std::nullopt, std::nullopt);
         c.radius = "2";
         return c;
       }(),
       "--radius: a setting of the grid shapes; it does not apply to a mesh"},
      {[&] {
         ScenarioChoices c = choices(std::nullopt, std::nullopt, std::nullopt);
         c.pin = "ring";
         return c;
       }(),
       "pin 'ring' needs a grid shape"},
  };
  for (const auto& [given, message] : refused) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(ResolveScenario("", given, &s, &error));
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

// [Membrane] Mesh names a file beside the INI file
TEST(MeshMembrane, AMeshNamedInTheIniFileLiesBesideIt) {
  const TempFile file("host_mesh_scenario.ini", "[Membrane]\nMesh=cube_quads.obj\nFlip=yes\n");
  const temp_file::TempFolder folder("host_mesh_dir");
  const std::filesystem::path& dir = folder.path;
  std::filesystem::copy_file(std::filesystem::u8path(kCube), dir / "cube_quads.obj");
  std::filesystem::copy_file(std::filesystem::u8path(file.Utf8()), dir / "lid.ini");
  Scenario s;
  std::string error;
  EXPECT_TRUE(ResolveScenario((dir / "lid.ini").u8string(), ScenarioChoices{}, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kMesh);
  EXPECT_TRUE(s.params.flip);
  EXPECT_EQ(s.name, "lid");
  // a shape given over it runs that shape, without the mesh's flip
  ScenarioChoices sphere;
  sphere.shape = "sphere";
  EXPECT_TRUE(ResolveScenario((dir / "lid.ini").u8string(), sphere, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kSphere);
  EXPECT_FALSE(s.params.flip);
}

// one setting's text on the command line and, where it has a key, in section
// [Membrane]: both sources must take it alike, or refuse it with the same
// message after saying where it came from
struct SettingCase {
  std::optional<std::string> ScenarioChoices::*given;
  const char* option;
  const char* key;  // null: the command line only
  const char* text;
  const char* error;  // after where it came from; null: taken, and `holds` says what it set
  bool (*holds)(const Scenario&) = nullptr;
};

const SettingCase kSettingCases[] = {
    // an empty value counts as not given
    {&ScenarioChoices::shape, "--shape", "Shape", "", nullptr,
     [](const Scenario& s) { return s.params.shape == Shape::kSphere; }},
    // names of choices, in any case
    {&ScenarioChoices::shape, "--shape", "Shape", "TORUS", nullptr,
     [](const Scenario& s) { return s.params.shape == Shape::kTorus; }},
    {&ScenarioChoices::pin, "--pin", "Pin", "Poles", nullptr,
     [](const Scenario& s) { return s.params.pin == PinMode::kPoles; }},
    {&ScenarioChoices::winding, "--winding", "Winding", "CcW", nullptr,
     [](const Scenario& s) { return !s.params.clockwise; }},
    {&ScenarioChoices::defect, "--defect", "Defect", "Hole", nullptr,
     [](const Scenario& s) { return s.params.defect == Defect::kHole; }},
    {&ScenarioChoices::shape, "--shape", "Shape", "cube",
     "unknown shape 'cube' (choose sphere, torus, sheet or tube)"},
    {&ScenarioChoices::pin, "--pin", "Pin", "pinned",
     "unknown pinning 'pinned' (choose none, pole, poles, ring, ends, border, corners, points, group or "
     "below)"},
    {&ScenarioChoices::winding, "--winding", "Winding", "cww", "unknown winding 'cww' (choose cw or ccw)"},
    {&ScenarioChoices::defect, "--defect", "Defect", "dent",
     "unknown defect 'dent' (choose none, hole, seam or flip)"},
    // numbers: a bound itself, below a bound, beyond any integer, trailing junk
    {&ScenarioChoices::steps, "--steps", "Steps", "100000000", nullptr,
     [](const Scenario& s) { return s.steps == kMaxSteps; }},
    {&ScenarioChoices::steps, "--steps", "Steps", "-5", "steps must lie between 0 and 100000000, not -5"},
    {&ScenarioChoices::every, "--every", "Every", "0", "steps between frames must be 1 or more, not 0"},
    {&ScenarioChoices::columns, "--columns", "Columns", "12x", "columns must be a whole number, not '12x'"},
    {&ScenarioChoices::rows, "--rows", "Rows", "99999999999999999999",
     "rows must lie between 1 and 257, not 99999999999999999999"},
    {&ScenarioChoices::radius, "--radius", "Radius", "1e999",
     "radius must be a number with '.' as its decimal point, not '1e999'"},
    {&ScenarioChoices::flatten, "--flatten", "Flatten", "0,5",
     "flatten must be a number with '.' as its decimal point, not '0,5'"},
    // point lists: blanks around items, but no empty item, junk or overflow
    {&ScenarioChoices::pinPoints, "--pin-points", "PinPoints", "0, 4 ,8", nullptr,
     [](const Scenario& s) {
       return s.params.pinPoints == std::vector<int32_t>{0, 4, 8};
     }},
    {&ScenarioChoices::pinPoints, "--pin-points", "PinPoints", "0,,3",
     "pin points must list point indices separated by commas, not '0,,3'"},
    {&ScenarioChoices::pinPoints, "--pin-points", "PinPoints", "0,3,",
     "pin points must list point indices separated by commas, not '0,3,'"},
    {&ScenarioChoices::pinPoints, "--pin-points", "PinPoints", "0,3x",
     "pin points must list point indices separated by commas, not '0,3x'"},
    {&ScenarioChoices::pinPoints, "--pin-points", "PinPoints", "0,2147483648",
     "pin points must list point indices separated by commas, not '0,2147483648'"},
};

// what one source made of the case's text
void ExpectSource(const SettingCase& c, bool taken, const Scenario& s, const std::string& error,
                  const std::string& where) {
  if (c.error == nullptr) {
    ASSERT_TRUE(taken) << where << error;
    EXPECT_TRUE(c.holds(s)) << where;
  } else {
    EXPECT_FALSE(taken) << where;
    EXPECT_EQ(error, where + c.error);
  }
}

TEST(Scenario, BothSourcesReadEverySettingAlike) {
  for (const SettingCase& c : kSettingCases) {
    SCOPED_TRACE(std::string(c.option) + " " + c.text);
    ScenarioChoices given;
    given.*c.given = c.text;
    Scenario s;
    std::string error;
    ExpectSource(c, ResolveScenario("", given, &s, &error), s, error, std::string(c.option) + ": ");
    if (c.key == nullptr) continue;
    const TempFile file("tumelin_host_setting.ini",
                        std::string("[Membrane]\n") + c.key + "=" + c.text + "\n");
    const bool taken = ResolveScenario(file.Utf8(), ScenarioChoices{}, &s, &error);
    ExpectSource(c, taken, s, error, file.Utf8() + ": [Membrane] " + c.key + ": ");
  }
}

// the [Membrane] a run writes beside its outputs resolves to the same
// membrane, bit for bit, and writes itself again unchanged
TEST(Scenario, WrittenSectionResolvesToTheSameScenario) {
  ScenarioChoices torus, sheet, tube, mesh;
  torus.shape = "torus", torus.flatten = "0.30000000000000004", torus.pin = "ring", torus.pinRing = "3";
  torus.every = "7";
  sheet.shape = "sheet", sheet.defect = "hole", sheet.width = "2.5", sheet.steps = "0";
  // a sheet starts flat: a height to pin below needs another shape
  tube.shape = "tube", tube.pinBelow = "-1e-310";
  mesh.mesh = std::string(TUMELIN_TEST_DATA) + "/mesh/cube_quads.obj", mesh.flip = "yes",
  mesh.pinGroup = "top";
  for (const ScenarioChoices& given : {torus, sheet, tube, mesh}) {
    Scenario original, again;
    std::string error;
    ASSERT_TRUE(ResolveScenario("", given, &original, &error)) << error;
    const std::string text = IniText({}, {{"Membrane", MembraneTexts(original)}});
    const TempFile file("tumelin_host_scene.ini", text);
    ASSERT_TRUE(ResolveScenario(file.Utf8(), ScenarioChoices{}, &again, &error)) << error;
    EXPECT_EQ(IniText({}, {{"Membrane", MembraneTexts(again)}}), text);
    EXPECT_EQ(StateHash(BuildScenarioMembrane(again)), StateHash(BuildScenarioMembrane(original))) << text;
  }
}

TEST(Scenario, CommandLineOverridesTheFileOverTheDefaults) {
  const TempFile file("tumelin_host_layers.ini", "[Membrane]\nShape=sheet\nColumns=9\nSteps=20\n");
  ScenarioChoices given;
  given.columns = "7";
  Scenario s;
  std::string error;
  ASSERT_TRUE(ResolveScenario(file.Utf8(), given, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kSheet);
  EXPECT_EQ(s.params.columns, 7);
  // the rows no source gives suit the sheet
  EXPECT_EQ(s.params.rows, 21);
  EXPECT_EQ(s.steps, 20);
  // the scenario takes the file's name
  EXPECT_EQ(s.name, std::filesystem::u8path(file.Utf8()).stem().u8string());
}

// a sweep hands its scenario options to every run: each comes back once,
// under its own option, with its text as given
TEST(Scenario, ArgumentsGiveEveryChoiceAgain) {
  using Field = std::optional<std::string> ScenarioChoices::*;
  const Field fields[] = {
      &ScenarioChoices::mesh,     &ScenarioChoices::flip,        &ScenarioChoices::pinGroup,
      &ScenarioChoices::pinBelow, &ScenarioChoices::shape,       &ScenarioChoices::pin,
      &ScenarioChoices::winding,  &ScenarioChoices::defect,      &ScenarioChoices::pinPoints,
      &ScenarioChoices::columns,  &ScenarioChoices::rows,        &ScenarioChoices::pinRing,
      &ScenarioChoices::steps,    &ScenarioChoices::every,       &ScenarioChoices::radius,
      &ScenarioChoices::flatten,  &ScenarioChoices::majorRadius, &ScenarioChoices::minorRadius,
      &ScenarioChoices::width,    &ScenarioChoices::depth,       &ScenarioChoices::length};
  std::set<std::string> options;
  ScenarioChoices all;
  for (Field f : fields) {
    ScenarioChoices one;
    one.*f = "text with, comma";
    all.*f = "x";
    const std::vector<std::string> words = ScenarioArguments(one);
    ASSERT_GE(words.size(), 1u);
    EXPECT_EQ(words[0].substr(0, 2), "--");
    EXPECT_TRUE(options.insert(words[0]).second) << words[0] << " twice";
    // a flag such as --flip goes alone
    if (words[0] == "--flip") continue;
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1], "text with, comma");
  }
  EXPECT_EQ(ScenarioArguments(all).size(), 2 * std::size(fields) - 1);  // --flip alone
  // an empty text counts as not given, as in the file
  ScenarioChoices empty;
  empty.shape = "";
  EXPECT_TRUE(ScenarioArguments(empty).empty());
}

}  // namespace
}  // namespace tumelin
