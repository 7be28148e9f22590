// Unit tests of the stand-in host: deterministic trigonometry, membrane
// builders and their numbering, the mesh checks, the INI explanations, the
// scenario settings from both sources and the output writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "bits.h"
#include "det_math.h"
#include "host_array.h"
#include "ini_file.h"
#include "membrane.h"
#include "mesh_check.h"
#include "outputs.h"
#include "plugin_loader.h"
#include "render.h"
#include "scenario.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "simulation.h"
#include "temp_file.h"
#include "user_text.h"

namespace tumelin {
namespace {

// ---- deterministic trigonometry ----------------------------------------------

// the series is accurate to about one unit in the last place on [0, pi/4];
// 4e-16 allows that plus the rounding of the reference itself
constexpr double kTrigTol = 4e-16;

TEST(SinCosTurns, AgreesWithTheRuntimeToTheLastBits) {
  for (int64_t den : {3, 7, 16, 31, 32, 256, 512, 1023}) {
    for (int64_t num = -den; num <= 2 * den; ++num) {
      const double angle = 2.0 * 3.14159265358979323846 * static_cast<double>(num) / static_cast<double>(den);
      const SinCos sc = SinCosTurns(num, den);
      // the reference angle itself carries an error of a few ulp of 2 pi
      EXPECT_NEAR(sc.sin, std::sin(angle), kTrigTol + 4e-16 * std::fabs(angle)) << num << "/" << den;
      EXPECT_NEAR(sc.cos, std::cos(angle), kTrigTol + 4e-16 * std::fabs(angle)) << num << "/" << den;
    }
  }
}

TEST(SinCosTurns, QuadrantPointsAndSymmetriesAreExact) {
  EXPECT_EQ(SinCosTurns(0, 8).sin, 0.0);
  EXPECT_EQ(SinCosTurns(0, 8).cos, 1.0);
  EXPECT_EQ(SinCosTurns(2, 8).sin, 1.0);
  EXPECT_EQ(SinCosTurns(4, 8).cos, -1.0);
  EXPECT_EQ(SinCosTurns(6, 8).sin, -1.0);
  // integer reduction: a whole turn later gives the same bits
  for (int64_t num = 0; num < 40; ++num) {
    EXPECT_EQ(SinCosTurns(num, 40).sin, SinCosTurns(num + 40, 40).sin);
    EXPECT_EQ(SinCosTurns(num, 40).sin, -SinCosTurns(-num, 40).sin);
    EXPECT_EQ(SinCosTurns(num, 40).cos, SinCosTurns(-num, 40).cos);
  }
}

// ---- host arrays -------------------------------------------------------------

TEST(HostArray, CountSitsInTheFourBytesBeforeTheFirstElement) {
  HostArray<TClothLink> links(5);
  EXPECT_EQ(TumelinArrayCount(links.Data()), 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(links.Data()) % 8, 0u);
  HostArray<int32_t> empty(0);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(TumelinArrayCount(empty.Data()), 0);
}

// ---- membranes ---------------------------------------------------------------

MembraneParams Params(Shape shape, int32_t columns, int32_t rows) {
  MembraneParams params;
  params.shape = shape;
  params.columns = columns;
  params.rows = rows;
  return params;
}

// the write-back's numbering for a 5 x 4 grid, row by row, columns 0..4
TEST(GridNumbering, MatchesTheWriteBackForEveryMode) {
  const int32_t expected[4][4][5] = {
      // sphere
      {{0, 0, 0, 0, 0}, {1, 2, 3, 4, 1}, {5, 6, 7, 8, 5}, {9, 9, 9, 9, 9}},
      // torus
      {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8}, {0, 1, 2, 3, 0}},
      // sheet
      {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}, {10, 11, 12, 13, 14}, {15, 16, 17, 18, 19}},
      // tube
      {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8}, {12, 13, 14, 15, 12}},
  };
  const Shape shapes[4] = {Shape::kSphere, Shape::kTorus, Shape::kSheet, Shape::kTube};
  for (int s = 0; s < 4; ++s) {
    for (int32_t v = 0; v < 4; ++v) {
      for (int32_t u = 0; u < 5; ++u) {
        EXPECT_EQ(CellPoint(shapes[s], u, v, 5, 4), expected[s][v][u])
            << ShapeName(shapes[s]) << " cell " << u << "," << v;
      }
    }
  }
  EXPECT_EQ(PointCount(Shape::kSphere, 5, 4), 10);
  EXPECT_EQ(PointCount(Shape::kTorus, 5, 4), 12);
  EXPECT_EQ(PointCount(Shape::kSheet, 5, 4), 20);
  EXPECT_EQ(PointCount(Shape::kTube, 5, 4), 16);
}

class EveryShape : public ::testing::TestWithParam<std::tuple<Shape, int32_t, int32_t>> {};

TEST_P(EveryShape, IsCleanAndPressureInflatesIt) {
  const auto [shape, columns, rows] = GetParam();
  const Membrane m = BuildMembrane(Params(shape, columns, rows));
  ASSERT_EQ(m.points.Count(), PointCount(shape, columns, rows));
  const MeshReport r = CheckMembrane(m);
  EXPECT_TRUE(r.Clean()) << FormatReport(m, r);
  EXPECT_EQ(r.euler, r.expectedEuler);
  if (IsClosed(shape)) {
    EXPECT_TRUE(r.openEdges.empty());
    // clockwise from outside: the right-hand normals point in
    EXPECT_LT(r.signedVolume, 0.0);
    EXPECT_EQ(r.effect, PressureEffect::kInflates);
  }
  // every point takes part in some triangle
  for (int32_t i = 0; i < m.points.Count(); ++i) EXPECT_GT(TumelinArrayCount(m.points[i].Faces), 0) << i;
}

TEST_P(EveryShape, OtherWindingTurnsThePressureAround) {
  const auto [shape, columns, rows] = GetParam();
  MembraneParams params = Params(shape, columns, rows);
  params.clockwise = false;
  const MeshReport r = CheckMembrane(BuildMembrane(params));
  EXPECT_TRUE(r.misorientedEdges.empty());
  EXPECT_TRUE(r.effect == PressureEffect::kDeflates || r.effect == PressureEffect::kPushesDown);
}

TEST_P(EveryShape, SpringsRunAlongEveryEdgeFromBothEndsAtTheirStartLength) {
  const auto [shape, columns, rows] = GetParam();
  const Membrane m = BuildMembrane(Params(shape, columns, rows));
  std::set<std::pair<int32_t, int32_t>> edges;
  for (int32_t f = 0; f < m.faces.Count(); ++f) {
    const int32_t c[3] = {m.faces[f].P0, m.faces[f].P1, m.faces[f].P2};
    for (int k = 0; k < 3; ++k)
      edges.insert({std::min(c[k], c[(k + 1) % 3]), std::max(c[k], c[(k + 1) % 3])});
    for (int32_t corner : c) {
      const TClothPoint& p = m.points[corner];
      bool listed = false;
      for (int32_t k = 0; k < TumelinArrayCount(p.Faces); ++k) listed = listed || p.Faces[k] == f;
      EXPECT_TRUE(listed) << "face " << f << " missing from point " << corner;
    }
  }
  size_t linkEnds = 0;
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const TClothPoint& p = m.points[i];
    ASSERT_EQ(p.LinkCount, TumelinArrayCount(p.Links));
    for (int32_t k = 0; k < p.LinkCount; ++k) {
      const int32_t j = p.Links[k].Target;
      EXPECT_EQ(edges.count({std::min(i, j), std::max(i, j)}), 1u);
      const TDbl3D& a = p.Pos;
      const TDbl3D& b = m.points[j].Pos;
      const double len =
          std::sqrt(((b.X - a.X) * (b.X - a.X) + (b.Y - a.Y) * (b.Y - a.Y)) + (b.Z - a.Z) * (b.Z - a.Z));
      // the rest length is the start length, to the bit
      EXPECT_EQ(p.Links[k].RestLength, len);
      ++linkEnds;
    }
  }
  EXPECT_EQ(linkEnds, 2 * edges.size());
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EveryShape,
    ::testing::Values(std::make_tuple(Shape::kSphere, 4, 3), std::make_tuple(Shape::kSphere, 33, 17),
                      std::make_tuple(Shape::kSphere, 9, 257), std::make_tuple(Shape::kTorus, 4, 4),
                      std::make_tuple(Shape::kTorus, 25, 13), std::make_tuple(Shape::kSheet, 2, 2),
                      std::make_tuple(Shape::kSheet, 21, 11), std::make_tuple(Shape::kTube, 4, 2),
                      std::make_tuple(Shape::kTube, 25, 9)));

TEST(Membrane, DefectsAreFoundByTheCheck) {
  MembraneParams params = Params(Shape::kSphere, 17, 9);
  params.defect = Defect::kHole;
  MeshReport hole = CheckMembrane(BuildMembrane(params));
  EXPECT_TRUE(hole.leaks);
  // one quad missing: its four sides are open
  EXPECT_EQ(hole.openEdges.size(), 4u);
  params.defect = Defect::kSeam;
  MeshReport seam = CheckMembrane(BuildMembrane(params));
  EXPECT_TRUE(seam.leaks);
  EXPECT_NE(seam.euler, 2);
  params.defect = Defect::kFlip;
  MeshReport flip = CheckMembrane(BuildMembrane(params));
  EXPECT_FALSE(flip.leaks);
  EXPECT_EQ(flip.misorientedEdges.size(), 3u);
  EXPECT_FALSE(flip.Clean());
}

TEST(Membrane, PinningPicksThePointsItNames) {
  MembraneParams sphere = Params(Shape::kSphere, 9, 5);
  sphere.pin = PinMode::kPole;
  const Membrane balloon = BuildMembrane(sphere);
  for (int32_t i = 0; i < balloon.points.Count(); ++i) {
    EXPECT_EQ(balloon.points[i].Fixed != 0, i == 0);
    // the pinned pole is the top of the balloon
    EXPECT_LE(balloon.points[i].Pos.Z, balloon.points[0].Pos.Z);
  }
  MembraneParams sheet = Params(Shape::kSheet, 4, 3);
  sheet.pin = PinMode::kCorners;
  const Membrane cloth = BuildMembrane(sheet);
  std::set<int32_t> pinned;
  for (int32_t i = 0; i < cloth.points.Count(); ++i) {
    if (cloth.points[i].Fixed != 0) pinned.insert(i);
  }
  EXPECT_EQ(pinned, (std::set<int32_t>{0, 3, 8, 11}));
  MembraneParams tube = Params(Shape::kTube, 5, 3);
  tube.pin = PinMode::kEnds;
  const Membrane pipe = BuildMembrane(tube);
  int32_t count = 0;
  for (int32_t i = 0; i < pipe.points.Count(); ++i) count += pipe.points[i].Fixed != 0;
  EXPECT_EQ(count, 8);
}

TEST(Membrane, ValidationRejectsWhatTheGridCannotHold) {
  EXPECT_EQ(ValidateParams(Params(Shape::kSphere, 33, 257)), "");
  EXPECT_NE(ValidateParams(Params(Shape::kSphere, 33, 258)), "");
  EXPECT_NE(ValidateParams(Params(Shape::kSphere, 33, 0)), "");
  EXPECT_NE(ValidateParams(Params(Shape::kSphere, 3, 9)), "");
  EXPECT_NE(ValidateParams(Params(Shape::kTorus, 9, 3)), "");
  EXPECT_NE(ValidateParams(Params(Shape::kSheet, 1, 5)), "");
  MembraneParams params = Params(Shape::kSheet, 5, 5);
  params.pin = PinMode::kPole;
  EXPECT_NE(ValidateParams(params), "");
  params.pin = PinMode::kPoints;
  params.pinPoints = {0, 25};
  EXPECT_NE(ValidateParams(params), "");
  params.pinPoints = {0, 24};
  EXPECT_EQ(ValidateParams(params), "");
}

TEST(Membrane, FlattenScalesOnlyTheHeight) {
  MembraneParams round = Params(Shape::kSphere, 17, 9);
  MembraneParams pillow = round;
  pillow.flatten = 0.25;
  const Membrane a = BuildMembrane(round), b = BuildMembrane(pillow);
  for (int32_t i = 0; i < a.points.Count(); ++i) {
    EXPECT_EQ(a.points[i].Pos.X, b.points[i].Pos.X);
    EXPECT_EQ(a.points[i].Pos.Z * 0.25, b.points[i].Pos.Z);
  }
}

// ---- INI explanations -----------------------------------------------------------

// a file of exactly these bytes under a unique name, removed with the object
class TempIni : public temp_file::TempFile {
 public:
  using TempFile::TempFile;
  // the path as the host takes it from a user, UTF-8
  std::string Path() const { return TempFile::Path().u8string(); }
  // the file as the host opens it
  IniFile Open() const {
    IniFile ini;
    std::string error;
    EXPECT_TRUE(ini.Open(Path(), &error)) << error;
    return ini;
  }
};

// the text as UTF-16LE with its byte order mark (the text is ASCII or Latin-1)
std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// section "Membrane" read over the default parameters
MembraneParams ReadMembrane(const IniFile& ini) {
  Scenario scenario;
  std::string error;
  EXPECT_TRUE(ReadMembraneSection(ini, &scenario, &error)) << error;
  return scenario.params;
}

// the rules a hand-written parser tends to get wrong: a section name runs to
// the last "]", only the first section of a name counts, and ";" lines are
// keys like any other
TEST(IniFile, ReadsWhatTheProfileApiReads) {
  const TempIni file(
      "host_rules.ini",
      "; ClothK0=9\n[Setup]x]\nClothP=1\n[setup]\n clothp = \"0.7\" \nCLOTHP=0.9\n; ClothK1=9\n"
      "[Membrane]\nShape=torus\nColumns=12\n[Setup]\nClothC=2\n[Membrane]\nRows=99\n");
  const IniFile ini = file.Open();
  EXPECT_EQ(ini.Text(u"Setup", u"ClothP"), "0.7");
  EXPECT_EQ(ini.Text(u"Setup]x", u"ClothP"), "1");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothC"), "");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK0"), "");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK1"), "");
  const MembraneParams params = ReadMembrane(ini);
  EXPECT_EQ(params.shape, Shape::kTorus);
  EXPECT_EQ(params.columns, 12);
  EXPECT_EQ(params.rows, MembraneParams().rows);
}

TEST(IniFile, ReadsUtf16FilesAndGivesUtf8Text) {
  const TempIni file("host_utf16.ini",
                     Utf16Le(u"[Setup]\r\nClothK0=2.5\r\nClothT0=5\u00e9\r\n[Membrane]\r\nShape=Sheet\r\n"));
  const IniFile ini = file.Open();
  EXPECT_EQ(ini.Text(u"Setup", u"ClothK0"), "2.5");
  EXPECT_EQ(ini.Text(u"Setup", u"ClothT0"), "5\xC3\xA9");
  EXPECT_EQ(ReadMembrane(ini).shape, Shape::kSheet);
}

TEST(IniFile, OpenNamesAMissingFileOrAFolder) {
  IniFile ini;
  std::string error;
  const std::string missing = temp_file::UniquePath("host_none.ini").u8string();
  EXPECT_FALSE(ini.Open(missing, &error));
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  const std::string folder = std::filesystem::temp_directory_path().u8string();
  EXPECT_FALSE(ini.Open(folder, &error));
  EXPECT_NE(error.find(folder), std::string::npos) << error;
}

TEST(ExplainSetup, SaysWhyEachDefaultStayed) {
  const TempIni file("host_explain.ini", "[Setup]\nClothP=0,7\nClothC=\nClothK0=2e1\nClothT0=1.5\n");
  const IniFile ini = file.Open();
  // what a plug-in with "." as its separator stores for this file
  const TClothSetup stored = {0.5, 20.0, 5.0, 1.0, 500, 0};
  const auto lines = ExplainSetup(ini, stored, u'.');
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].note, "default 0.5: malformed at column 2: ',' is not the decimal separator '.'");
  EXPECT_EQ(lines[1].note, "default 1: key missing or empty");       // ClothC
  EXPECT_EQ(lines[2].note, "read from the file");                    // ClothK0
  EXPECT_EQ(lines[3].note, "default 5: key missing or empty");       // ClothK1
  EXPECT_NE(lines[4].note.find("whole number"), std::string::npos);  // ClothT0
  EXPECT_FALSE(lines[1].present);
  EXPECT_TRUE(lines[2].present);
  // a plug-in that disagrees with the rule is pointed out, for empty text too
  const TClothSetup odd = {0.7, 5.0, 2.0, 1.0, 500, 0};
  const auto oddLines = ExplainSetup(ini, odd, u'.');
  EXPECT_FALSE(oddLines[0].agrees);
  EXPECT_FALSE(oddLines[3].agrees);
  EXPECT_TRUE(oddLines[1].agrees);
  EXPECT_NE(oddLines[0].note.find("NOTE"), std::string::npos);
}

TEST(ExplainSetup, ShowsTheValueCutAsThePlugInsBufferCutsIt) {
  // 0.000...01 whose last digit lies beyond the buffer
  const std::string value = "0." + std::string(2100, '0') + "1";
  const TempIni file("host_long.ini", "[Setup]\nClothC=\"" + value + "\"\n");
  const IniFile ini = file.Open();
  const TClothSetup stored = {0.5, 5.0, 5.0, 0.0, 500, 0};
  const SettingLine line = ExplainSetup(ini, stored, u'.')[1];
  EXPECT_EQ(line.text, value.substr(0, IniFile::kPluginBufferChars - 1));
  EXPECT_NE(line.note.find("cut"), std::string::npos) << line.note;
  EXPECT_EQ(line.note.find("NOTE"), std::string::npos) << line.note;
}

// the settings report and the plug-in read the same files alike: for every
// awkward text, in every key, the record holds bit for bit what the report's
// verdict says
TEST(ExplainSetup, AgreesWithThePlugInOnAwkwardTexts) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load(TUMELIN_PLUGIN_PATH, &error)) << error;
  const std::string longDigits(400, '7');
  const std::vector<std::string> corpus = {"1e400",
                                           "-1e400",
                                           "1.8e308",
                                           "1.7976931348623157e308",
                                           "1.7976931348623159e308",
                                           longDigits,
                                           longDigits + ".5e-300",
                                           "0." + std::string(2100, '0') + "1",
                                           "1e-400",
                                           "-1e-400",
                                           "4.9e-324",
                                           "2.4703282292062328e-324",
                                           "1e-5000",
                                           "1e499",
                                           "1e500",
                                           "1,5",
                                           " 1.5 ",
                                           "1e",
                                           ".",
                                           "-",
                                           "0x10",
                                           "$10",
                                           "inf",
                                           "NaN",
                                           "1\t",
                                           "0x7FFFFFFF",
                                           "0x80000000",
                                           "$FFFFFFFF",
                                           "-$FFFFFFFF",
                                           "0x100000000",
                                           "x" + std::string(30, 'F'),
                                           "2147483647",
                                           "2147483648",
                                           "-2147483648",
                                           "-2147483649",
                                           "000000000000000000000012",
                                           "0x",
                                           "$",
                                           "1 ",
                                           "+-1"};
  const char16_t separator = ReadUserDecimalSeparator();
  for (const std::string& text : corpus) {
    std::string ini = "[Setup]\n";
    for (const SetupKey& key : SetupKeys) ini += Utf16ToUtf8(key.name) + "=" + text + "\n";
    const TempIni file("tumelin_host_corpus.ini", ini);
    const TClothSetup stored = LoadSettings(plugin, PathForPlugin(file.Path()));
    for (const SettingLine& line : ExplainSetup(file.Open(), stored, separator)) {
      EXPECT_TRUE(line.agrees) << line.key << "=" << text.substr(0, 40) << ": " << line.note;
    }
    // the file the host writes from these texts gives the plug-in the same settings
    const IniFile original = file.Open();
    const temp_file::TempFile rewritten("tumelin_host_rewritten.ini", "");
    ASSERT_TRUE(WriteSetupIni(rewritten.Path().u8string(), MergeSetupTexts(&original, {}), &error)) << error;
    EXPECT_TRUE(SameBits(LoadSettings(plugin, PathForPlugin(rewritten.Path().u8string())), stored))
        << text.substr(0, 40);
  }

  // a value given as KEY=VALUE replaces the file's, in any letter case of the key
  SetupText given;
  ASSERT_TRUE(ParseSetupAssignment("clothp= 0.25", &given, &error)) << error;
  EXPECT_EQ(given.key, "ClothP");
  EXPECT_FALSE(ParseSetupAssignment("ClothQ=1", &given, &error));
  EXPECT_EQ(error,
            "\"ClothQ\" is not a key of [Setup] (ClothP, ClothC, ClothK0, ClothK1, ClothT0, ClothMethod)");
  const TempIni base("tumelin_host_base.ini", "[Setup]\nClothP=0.9\nClothK0=7\n");
  const IniFile baseIni = base.Open();
  const temp_file::TempFile derived("tumelin_host_derived.ini", "");
  ASSERT_TRUE(WriteSetupIni(derived.Path().u8string(), MergeSetupTexts(&baseIni, {given}), &error)) << error;
  const TClothSetup setup = LoadSettings(plugin, PathForPlugin(derived.Path().u8string()));
  EXPECT_EQ(setup.ClothP, 0.25);
  EXPECT_EQ(setup.ClothK0, 7.0);
  EXPECT_EQ(setup.ClothC, 1.0);
}

// --set values reach the plug-in through a file written for the command;
// without them the plug-in reads the INI file itself
TEST(SetupFile, GivenValuesGoThroughAWrittenFileThatIsRemovedAfterwards) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load(TUMELIN_PLUGIN_PATH, &error)) << error;
  const TempIni base("tumelin_host_setup_base.ini", "[Setup]\nClothP=0.9\nClothK0=7\n");
  {
    SetupFile plain;
    ASSERT_TRUE(plain.Prepare(base.Path(), {}, &error)) << error;
    EXPECT_EQ(plain.Path(), base.Path());
    EXPECT_FALSE(plain.Written());
  }
  SetupText overP, badK1;
  ASSERT_TRUE(ParseSetupAssignment("ClothP=0.25", &overP, &error)) << error;
  ASSERT_TRUE(ParseSetupAssignment("ClothK1=0,5", &badK1, &error)) << error;
  for (const std::string& iniPath : {base.Path(), std::string()}) {
    std::string written;
    {
      SetupFile setup;
      ASSERT_TRUE(setup.Prepare(iniPath, {overP, badK1}, &error)) << error;
      written = setup.Path();
      EXPECT_TRUE(setup.Written());
      EXPECT_NE(written, base.Path());
      const TClothSetup read = LoadSettings(plugin, PathForPlugin(written));
      EXPECT_EQ(read.ClothP, 0.25);
      EXPECT_EQ(read.ClothK0, iniPath.empty() ? 5.0 : 7.0);
      // the plug-in judges the text as given: a decimal comma keeps the default
      EXPECT_EQ(read.ClothK1, 5.0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(written))) << written;
  }
  SetupFile missing;
  EXPECT_FALSE(missing.Prepare(base.Path() + ".none", {overP}, &error));
}

// ---- scenario settings ---------------------------------------------------------

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
    {&ScenarioChoices::defect, "--defect", nullptr, "Hole", nullptr,
     [](const Scenario& s) { return s.params.defect == Defect::kHole; }},
    {&ScenarioChoices::shape, "--shape", "Shape", "cube",
     "unknown shape 'cube' (choose sphere, torus, sheet or tube)"},
    {&ScenarioChoices::pin, "--pin", "Pin", "pinned",
     "unknown pinning 'pinned' (choose none, pole, poles, ring, ends, border, corners or points)"},
    {&ScenarioChoices::winding, "--winding", "Winding", "cww", "unknown winding 'cww' (choose cw or ccw)"},
    {&ScenarioChoices::defect, "--defect", nullptr, "dent",
     "unknown defect 'dent' (choose none, hole, seam or flip)"},
    // numbers: a bound itself, below a bound, beyond any integer, trailing junk
    {&ScenarioChoices::steps, "--steps", "Steps", "100000000", nullptr,
     [](const Scenario& s) { return s.steps == kMaxSteps; }},
    {&ScenarioChoices::steps, "--steps", "Steps", "-5", "steps must lie between 0 and 100000000, not -5"},
    {&ScenarioChoices::every, "--every", "Every", "-1", "every must be 0 or more, not -1"},
    {&ScenarioChoices::columns, "--columns", "Columns", "12x", "columns must be a whole number, not '12x'"},
    {&ScenarioChoices::rows, "--rows", "Rows", "99999999999999999999",
     "rows must lie between 1 and 257, not 99999999999999999999"},
    {&ScenarioChoices::radius, "--radius", "Radius", "1e999", "radius must be a number, not '1e999'"},
    {&ScenarioChoices::flatten, "--flatten", "Flatten", "0.5.", "flatten must be a number, not '0.5.'"},
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
    const TempIni file("tumelin_host_setting.ini", std::string("[Membrane]\n") + c.key + "=" + c.text + "\n");
    const bool taken = ResolveScenario(file.Path(), ScenarioChoices{}, &s, &error);
    ExpectSource(c, taken, s, error, file.Path() + ": [Membrane] " + c.key + ": ");
  }
}

TEST(Scenario, CommandLineOverridesTheFileOverTheDefaults) {
  const TempIni file("tumelin_host_layers.ini", "[Membrane]\nShape=sheet\nColumns=9\nSteps=20\n");
  ScenarioChoices given;
  given.columns = "7";
  Scenario s;
  std::string error;
  ASSERT_TRUE(ResolveScenario(file.Path(), given, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kSheet);
  EXPECT_EQ(s.params.columns, 7);
  // the rows no source gives suit the sheet
  EXPECT_EQ(s.params.rows, 21);
  EXPECT_EQ(s.steps, 20);
  // the scenario takes the file's name
  EXPECT_EQ(s.name, std::filesystem::u8path(file.Path()).stem().u8string());
}

TEST(UserText, ImageSizeIsTwoWholeSidesInRange) {
  const struct {
    const char* text;
    int width, height;  // 0: refused
  } cases[] = {{"200x150", 200, 150},    {"16X8192", 16, 8192}, {"15x100", 0, 0},  {"800x600x", 0, 0},
               {"99999999999x10", 0, 0}, {"x600", 0, 0},        {"800 x600", 0, 0}};
  for (const auto& c : cases) {
    int width = 0, height = 0;
    EXPECT_EQ(ParseImageSize(c.text, &width, &height), c.width != 0) << c.text;
    EXPECT_EQ(width, c.width) << c.text;
    EXPECT_EQ(height, c.height) << c.text;
  }
}

// ---- outputs -------------------------------------------------------------------

TEST(Fnv1a64, MatchesTheReferenceVectors) {
  EXPECT_EQ(Fnv1a64("", 0), 0xcbf29ce484222325ull);
  EXPECT_EQ(Fnv1a64("a", 1), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Fnv1a64("foobar", 6), 0x85944171f73967e8ull);
}

// a grid filled the way the write-back fills it
std::vector<uint64_t> FilledGrid(const Membrane& m) {
  std::vector<uint64_t> storage((TumelinGridBytes(m.columns) + 7) / 8, 0);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(storage.data());
  grid->Mode = m.mode;
  grid->CountU = m.columns;
  grid->CountV = m.rows;
  for (int32_t u = 0; u < m.columns; ++u) {
    for (int32_t v = 0; v < m.rows; ++v) {
      *TumelinGridCell(grid, u, v) = m.points[CellPoint(m.shape, u, v, m.columns, m.rows)].Pos;
    }
  }
  return storage;
}

TEST(GridMesh, ClosedSurfacesComeOutCounterClockwiseFromOutside) {
  for (Shape shape : {Shape::kSphere, Shape::kTorus}) {
    const Membrane m = BuildMembrane(Params(shape, 17, 9));
    auto storage = FilledGrid(m);
    const GridMesh mesh = MeshFromGrid(reinterpret_cast<TSurfaceGrid*>(storage.data()), shape);
    EXPECT_EQ(mesh.triangles.size(), static_cast<size_t>(m.faces.Count()));
    double volume = 0.0;
    for (const auto& t : mesh.triangles) {
      const TDbl3D& a = mesh.vertices[size_t(t[0])];
      const TDbl3D& b = mesh.vertices[size_t(t[1])];
      const TDbl3D& c = mesh.vertices[size_t(t[2])];
      volume += a.X * (b.Y * c.Z - b.Z * c.Y) + a.Y * (b.Z * c.X - b.X * c.Z) + a.Z * (b.X * c.Y - b.Y * c.X);
    }
    // same magnitude as the membrane's own triangles, opposite winding
    EXPECT_NEAR(volume / 6.0, -CheckMembrane(m).signedVolume, 1e-12) << ShapeName(shape);
  }
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// the names in a folder, sorted
std::vector<std::string> Listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

// a folder of its own, removed with the object
struct TempFolder {
  explicit TempFolder(const std::string& name) : path(temp_file::UniquePath(name)) {
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path path;
};

TEST(Outputs, AtomicWriteLeavesOnlyTheFinishedFile) {
  const TempFolder dir("host_atomic");
  std::string error;
  ASSERT_TRUE(WriteFileAtomic((dir.path / "a.txt").u8string(), "first", &error)) << error;
  ASSERT_TRUE(WriteFileAtomic((dir.path / "a.txt").u8string(), "second", &error)) << error;
  EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(FileText(dir.path / "a.txt"), "second");
  EXPECT_FALSE(WriteFileAtomic((dir.path / "missing" / "b.txt").u8string(), "x", &error));
}

// a set of outputs appears whole or not at all: the previous set stays when
// one file cannot be placed or the set is dropped before it is committed
TEST(Outputs, ASetAppearsWholeOrLeavesThePreviousOne) {
  const TempFolder dir("host_output_set");
  const auto path = [&](const char* name) { return (dir.path / name).u8string(); };
  std::string error;
  {
    OutputSet first;
    for (const char* name : {"a.obj", "b.png", "c.csv"})
      ASSERT_TRUE(first.Add(path(name), "old", &error)) << error;
    // nothing is in place before the commit
    for (const char* name : {"a.obj", "b.png", "c.csv"}) EXPECT_FALSE(std::filesystem::exists(path(name)));
    ASSERT_TRUE(first.Commit(&error)) << error;
  }
  const std::vector<std::string> oldSet = {"a.obj", "b.png", "c.csv"};
  EXPECT_EQ(Listing(dir.path), oldSet);

  // dropped: as if the run failed after writing two files
  {
    OutputSet dropped;
    ASSERT_TRUE(dropped.Add(path("a.obj"), "new", &error)) << error;
    ASSERT_TRUE(dropped.Add(path("b.png"), "new", &error)) << error;
  }
  EXPECT_EQ(Listing(dir.path), oldSet);

  // a folder where the last file belongs: the commit fails before any rename
  // and so does one whose rename fails after others were placed (a file
  // whose folder vanished)
  std::filesystem::create_directory(dir.path / "d.svg");
  {
    OutputSet blocked;
    for (const char* name : {"a.obj", "b.png", "c.csv", "d.svg"})
      ASSERT_TRUE(blocked.Add(path(name), "new", &error));
    EXPECT_FALSE(blocked.Commit(&error));
    EXPECT_NE(error.find("d.svg"), std::string::npos) << error;
  }
  std::filesystem::create_directory(dir.path / "sub");
  {
    OutputSet broken;
    for (const char* name : {"a.obj", "b.png"}) ASSERT_TRUE(broken.Add(path(name), "new", &error));
    ASSERT_TRUE(broken.Add((dir.path / "sub" / "e.csv").u8string(), "new", &error));
    std::filesystem::remove_all(dir.path / "sub");
    EXPECT_FALSE(broken.Commit(&error));
  }
  EXPECT_EQ(Listing(dir.path), (std::vector<std::string>{"a.obj", "b.png", "c.csv", "d.svg"}));
  for (const char* name : {"a.obj", "b.png", "c.csv"}) EXPECT_EQ(FileText(path(name)), "old") << name;
}

TEST(Render, DrawsTheSurfaceInTheMiddleAndBackgroundAtTheCorners) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  auto storage = FilledGrid(m);
  const Image image = RenderSurface(reinterpret_cast<TSurfaceGrid*>(storage.data()), Shape::kSphere, 64, 48);
  auto pixel = [&](int x, int y) { return &image.rgb[(static_cast<size_t>(y) * 64 + x) * 3]; };
  // the outside colour is warm: red above blue; the background is bluish
  EXPECT_GT(pixel(32, 24)[0], pixel(32, 24)[2]);
  EXPECT_LT(pixel(0, 0)[0], pixel(0, 0)[2]);
  const std::string png = EncodePng(image);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(Plot, ShowsTheVolumeOfClosedShapes) {
  std::vector<StepFigures> figures(3);
  for (int i = 0; i < 3; ++i) figures[size_t(i)].step = i, figures[size_t(i)].volume = 1.0 + i;
  const std::string svg = SvgPlot(figures, Shape::kSphere, "pillow");
  EXPECT_NE(svg.find("<polyline"), std::string::npos);
  EXPECT_NE(svg.find("enclosed volume"), std::string::npos);
  const std::string csv = CsvText(figures, Shape::kSphere);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
}

}  // namespace
}  // namespace tumelin
