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
  // the cube with one more option
  auto choices = [](const char* key, const char* text) {
    return ScenarioChoices{{"mesh", kCube}, {key, text}};
  };
  const Case cases[] = {
      {"list", choices("pinPoints", "0, 7"), {0, 7}},
      {"group", choices("pinGroup", "bottom"), {0, 1, 2, 3}},
      {"plane", choices("pinBelow", "-1"), {0, 1, 2, 3}},
      {"plane above all", choices("pinBelow", "1"), {0, 1, 2, 3, 4, 5, 6, 7}},
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
      {choices("pinPoints", "8"), "pinned point 8 does not exist"},
      {choices("pinGroup", "lid"), "pin group 'lid' is not in"},
      {choices("radius", "2"), "--radius: a setting of the grid shapes; it does not apply to a mesh"},
      {choices("pin", "ring"), "pin 'ring' needs a grid shape"},
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
  const ScenarioChoices sphere = {{"shape", "sphere"}};
  EXPECT_TRUE(ResolveScenario((dir / "lid.ini").u8string(), sphere, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kSphere);
  EXPECT_FALSE(s.params.flip);
}

// one setting's text on the command line and in section [Membrane]: both
// sources must take it alike, or refuse it with the same message after
// saying where it came from
struct SettingCase {
  const char* key;  // the option's key; its flag and its [Membrane] key are its row's
  const char* text;
  std::string error;  // after where it came from; empty: taken, and `holds` says what it set
  bool (*holds)(const Scenario&) = nullptr;
};

std::vector<SettingCase> SettingCases() {
  std::vector<SettingCase> cases = {
      // an empty value counts as not given
      {"shape", "", "", [](const Scenario& s) { return s.params.shape == Shape::kSphere; }},
      // names of choices, in any case
      {"shape", "TORUS", "", [](const Scenario& s) { return s.params.shape == Shape::kTorus; }},
      {"pin", "Poles", "", [](const Scenario& s) { return s.params.pin == PinMode::kPoles; }},
      {"winding", "CcW", "", [](const Scenario& s) { return !s.params.clockwise; }},
      {"defect", "Hole", "", [](const Scenario& s) { return s.params.defect == Defect::kHole; }},
      {"shape", "cube", "unknown shape 'cube' (choose sphere, torus, sheet or tube)"},
      {"pin", "pinned",
       "unknown pinning 'pinned' (choose none, pole, poles, ring, ends, border, corners, points, group or "
       "below)"},
      {"winding", "cww", "unknown winding 'cww' (choose cw or ccw)"},
      {"defect", "dent", "unknown defect 'dent' (choose none, hole, seam or flip)"},
      // numbers: a bound itself, below a bound, beyond any integer, trailing junk
      {"steps", "100000000", "", [](const Scenario& s) { return s.steps == kMaxSteps; }},
      {"steps", "-5", "steps must lie between 0 and 100000000, not -5"},
      {"every", "0", "steps between frames must be 1 or more, not 0"},
      {"columns", "12x", "columns must be a whole number, not '12x'"},
      {"rows", "99999999999999999999", "rows must lie between 1 and 257, not 99999999999999999999"},
      {"radius", "1e999", "radius must be a number with '.' as its decimal point, not '1e999'"},
      {"flatten", "0,5", "flatten must be a number with '.' as its decimal point, not '0,5'"},
      // point lists: blanks around items, but no empty item, junk or overflow
      {"pinPoints", "0, 4 ,8", "",
       [](const Scenario& s) {
         return s.params.pinPoints == std::vector<int32_t>{0, 4, 8};
       }},
  };
  for (const char* list : {"0,,3", "0,3,", "0,3x", "0,2147483648"}) {
    cases.push_back(
        {"pinPoints", list,
         std::string("pin points must list point indices separated by commas, not '") + list + "'"});
  }
  return cases;
}

// what one source made of the case's text
void ExpectSource(const SettingCase& c, bool taken, const Scenario& s, const std::string& error,
                  const std::string& where) {
  if (c.error.empty()) {
    ASSERT_TRUE(taken) << where << error;
    EXPECT_TRUE(c.holds(s)) << where;
  } else {
    EXPECT_FALSE(taken) << where;
    EXPECT_EQ(error, where + c.error);
  }
}

TEST(Scenario, BothSourcesReadEverySettingAlike) {
  for (const SettingCase& c : SettingCases()) {
    const MembraneOption* option = FindMembraneOption(c.key);
    ASSERT_NE(option, nullptr) << c.key;
    const std::string flag = std::string("--") + option->flag;
    SCOPED_TRACE(flag + " " + c.text);
    Scenario s;
    std::string error;
    ExpectSource(c, ResolveScenario("", {{c.key, c.text}}, &s, &error), s, error, flag + ": ");
    const TempFile file("tumelin_host_setting.ini",
                        std::string("[Membrane]\n") + option->ini + "=" + c.text + "\n");
    const bool taken = ResolveScenario(file.Utf8(), ScenarioChoices{}, &s, &error);
    ExpectSource(c, taken, s, error, file.Utf8() + ": [Membrane] " + option->ini + ": ");
  }
}

// the [Membrane] a run writes beside its outputs resolves to the same
// membrane, bit for bit, and writes itself again unchanged
TEST(Scenario, WrittenSectionResolvesToTheSameScenario) {
  const ScenarioChoices torus = {{"shape", "torus"},
                                 {"flatten", "0.30000000000000004"},
                                 {"pin", "ring"},
                                 {"pinRing", "3"},
                                 {"every", "7"}};
  const ScenarioChoices sheet = {{"shape", "sheet"}, {"defect", "hole"}, {"width", "2.5"}, {"steps", "0"}};
  // a sheet starts flat: a height to pin below needs another shape
  const ScenarioChoices tube = {{"shape", "tube"}, {"pinBelow", "-1e-310"}};
  const ScenarioChoices mesh = {{"mesh", std::string(TUMELIN_TEST_DATA) + "/mesh/cube_quads.obj"},
                                {"flip", "yes"},
                                {"pinGroup", "top"}};
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
  const ScenarioChoices given = {{"columns", "7"}};
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
  std::set<std::string> options;
  ScenarioChoices all;
  for (const MembraneOption& option : kMembraneOptions) {
    const std::vector<std::string> words = ScenarioArguments({{option.key, "text with, comma"}});
    all[option.key] = "x";
    ASSERT_GE(words.size(), 1u);
    EXPECT_EQ(words[0], std::string("--") + option.flag);
    EXPECT_TRUE(options.insert(words[0]).second) << words[0] << " twice";
    // a switch such as --flip goes alone
    if (option.valueName == nullptr) continue;
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1], "text with, comma");
  }
  EXPECT_EQ(ScenarioArguments(all).size(), 2 * kMembraneOptions.size() - 1);  // --flip alone
  // an empty text counts as not given, as in the file
  EXPECT_TRUE(ScenarioArguments({{"shape", ""}}).empty());
}

}  // namespace
}  // namespace tumelin
