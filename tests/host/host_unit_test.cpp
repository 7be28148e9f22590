// Unit tests of the stand-in host: deterministic trigonometry, membrane
// builders and their numbering, the mesh checks, the INI explanations, the
// scenario settings from both sources and the output writers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#ifdef TUMELIN_HAVE_GIFLIB
#include <gif_lib.h>
#endif

#include "bits.h"
#include "child_process.h"
#include "det_math.h"
#include "geometry.h"
#include "host_array.h"
#include "ini_file.h"
#include "membrane.h"
#include "mesh_check.h"
#include "obj_mesh.h"
#include "outputs.h"
#include "plugin_file.h"
#include "plugin_loader.h"
#include "profile_reader.h"
#include "render.h"
#include "scenario.h"
#include "setup_report.h"
#include "setup_rules.h"
#include "simulation.h"
#include "sweep.h"
#include "temp_file.h"
#include "user_text.h"
#include "warnings.h"

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

// the count as raw bytes, read without the header's helpers
int32_t RawCount(const void* first) {
  int32_t count;
  std::memcpy(&count, static_cast<const unsigned char*>(first) - 4, sizeof count);
  return count;
}

TEST(HostArray, AllocatedArraysHoldTheirCountBeforeAnAlignedZeroedFirstElement) {
  struct Case {
    int32_t count;
    size_t elementSize;
  };
  for (const Case c : {Case{1, 1}, Case{3, 4}, Case{5, sizeof(TClothLink)}, Case{7, sizeof(TClothPoint)},
                       Case{1000, sizeof(TClothFace)}}) {
    void* first = TumelinArrayAlloc(c.count, c.elementSize);
    ASSERT_NE(first, nullptr) << c.count;
    EXPECT_EQ(RawCount(first), c.count);
    EXPECT_EQ(TumelinArrayCount(first), c.count);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 8, 0u) << c.count << " x " << c.elementSize;
    const auto* bytes = static_cast<const unsigned char*>(first);
    EXPECT_TRUE(std::all_of(bytes, bytes + c.count * c.elementSize, [](unsigned char b) { return b == 0; }));
    TumelinArraySetCount(first, -2);
    EXPECT_EQ(RawCount(first), -2);
    TumelinArrayFree(first);
  }
  // the empty array is null, and so is what cannot be allocated
  EXPECT_EQ(TumelinArrayAlloc(0, 8), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(-1, 8), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(4, 0), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(INT32_MAX, SIZE_MAX / 2), nullptr);
  EXPECT_EQ(TumelinArrayCount(nullptr), 0);
  TumelinArrayFree(nullptr);

  // the kit's arrays are the same allocation
  HostArray<TClothLink> links(5);
  EXPECT_EQ(RawCount(links.Data()), 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(links.Data()) % 8, 0u);
  EXPECT_EQ(HostArray<int32_t>(0).Data(), nullptr);
}

TEST(HostArray, APointsOwnArraysAreAttachedWithEveryLinkTakingPart) {
  TClothPoint point{};
  ASSERT_TRUE(TumelinPointAlloc(&point, 4, 6));
  EXPECT_EQ(point.LinkCount, 4);
  EXPECT_EQ(RawCount(point.Links), 4);
  EXPECT_EQ(RawCount(point.Faces), 6);
  TumelinPointFree(&point);
  EXPECT_EQ(point.Links, nullptr);
  EXPECT_EQ(point.Faces, nullptr);
  EXPECT_EQ(point.LinkCount, 0);
  // no springs, no faces: both arrays empty
  ASSERT_TRUE(TumelinPointAlloc(&point, 0, 0));
  EXPECT_EQ(point.Links, nullptr);
  EXPECT_EQ(point.Faces, nullptr);
}

TEST(SurfaceGrid, ColumnsFollowEachOtherAfterRow256AndStartZeroed) {
  TSurfaceGrid* grid = TumelinGridAlloc(TUMELIN_MODE_TUBE, 3, 9);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Mode, TUMELIN_MODE_TUBE);
  EXPECT_EQ(grid->CountU, 3);
  EXPECT_EQ(grid->CountV, 9);
  EXPECT_EQ(static_cast<void*>(TumelinGridCell(grid, 0, 0)),
            static_cast<void*>(reinterpret_cast<unsigned char*>(grid) + sizeof(TSurfaceGrid)));
  for (int32_t u = 0; u + 1 < 3; ++u)
    EXPECT_EQ(TumelinGridCell(grid, u, TUMELIN_GRID_ROWS - 1) + 1, TumelinGridCell(grid, u + 1, 0));
  const auto* bytes = reinterpret_cast<const unsigned char*>(grid);
  // past Mode, CountU and CountV: host bytes and cells all zero
  EXPECT_TRUE(std::all_of(bytes + 12, bytes + TumelinGridBytes(3), [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(TumelinGridCell(grid, 2, TUMELIN_GRID_ROWS - 1) + 1,
            reinterpret_cast<TDbl3D*>(reinterpret_cast<unsigned char*>(grid) + TumelinGridBytes(3)));
  std::free(grid);
  EXPECT_EQ(TumelinGridAlloc(TUMELIN_MODE_SHEET, 0, 1), nullptr);
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
  EXPECT_EQ(line.text, value.substr(0, kProfileBufferChars - 1));
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
    for (const SetupKey& key : kSetupKeys) ini += Utf16ToUtf8(key.name) + "=" + text + "\n";
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

// ---- own meshes ------------------------------------------------------------------

// the hand-written test meshes: a cube of six quads and an icosahedron, both
// counter-clockwise seen from outside as OBJ files usually are
const std::string kCube = TUMELIN_TEST_DATA "/mesh/cube_quads.obj";
const std::string kIcosahedron = TUMELIN_TEST_DATA "/mesh/icosahedron.obj";

ObjMesh ReadMesh(const std::string& path) {
  ObjMesh mesh;
  std::string error;
  EXPECT_TRUE(ReadObjMesh(path, &mesh, &error)) << error;
  return mesh;
}

// every corner style, a face counted back from the end, a continued line and
// the groups give the cube its six faces, each split into two triangles
TEST(ObjMesh, ReadsEveryCornerFormGroupsAndContinuedLines) {
  const ObjMesh cube = ReadMesh(kCube);
  ASSERT_EQ(cube.mesh.positions.size(), 8u);
  ASSERT_EQ(cube.mesh.triangles.size(), 12u);
  // f -6 -5 -1 -2 after eight vertices is the back quad 3 4 8 7
  EXPECT_EQ(cube.mesh.triangles[6], (std::array<int32_t, 3>{2, 3, 7}));
  EXPECT_EQ(cube.mesh.triangles[7], (std::array<int32_t, 3>{2, 7, 6}));
  // the fan's diagonal 2-7 is no outline edge; the quad's four sides are
  EXPECT_EQ(cube.outline[6], (std::array<bool, 3>{true, false, true}));
  EXPECT_EQ(cube.outline[7], (std::array<bool, 3>{true, true, false}));
  // "v -1 1 1 1.0": the fourth number is w, not a coordinate
  EXPECT_TRUE(SameBits(cube.mesh.positions[7], TDbl3D{-1.0, 1.0, 1.0}));
  const ObjGroup* top = FindGroup(cube, "top");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->vertices, (std::vector<int32_t>{4, 5, 6, 7}));
  const ObjGroup* object = FindGroup(cube, "cube");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->vertices.size(), 8u);
  EXPECT_EQ(FindGroup(cube, "Top"), nullptr);
}

// the decimal text of a vertex gives the nearest double on every build:
// halfway cases, the largest and smallest doubles, long mantissas
TEST(ObjMesh, ReadsTheCorrectlyRoundedDouble) {
  struct Case {
    const char* text;
    uint64_t bits;
  };
  const Case cases[] = {
      {"0.1", 0x3FB999999999999Aull},
      {"0.3", 0x3FD3333333333333ull},
      {"0.30000000000000004", 0x3FD3333333333334ull},
      {"8.589973e9", 0x42000004B0400000ull},
      {"1.7976931348623157e308", 0x7FEFFFFFFFFFFFFFull},
      {"2.2250738585072014e-308", 0x0010000000000000ull},
      {"4.9e-324", 0x0000000000000001ull},
      {"9007199254740993", 0x4340000000000000ull},  // halfway, to even
      {"9007199254740995", 0x4340000000000002ull},
      {"1.00000000000000011102230246251565404236316680908203125", 0x3FF0000000000000ull},
      {"1.00000000000000011102230246251565404236316680908203126", 0x3FF0000000000001ull},
      {"-0.0", 0x8000000000000000ull},
      {"+2.5", 0x4004000000000000ull},
  };
  std::string text;
  for (const Case& c : cases) text += "v " + std::string(c.text) + " 0 0\n";
  text += "f 1 2 3\n";
  const temp_file::TempFile file("host_rounding.obj", text);
  const ObjMesh mesh = ReadMesh(file.Path().u8string());
  ASSERT_EQ(mesh.mesh.positions.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    uint64_t bits = 0;
    std::memcpy(&bits, &mesh.mesh.positions[i].X, sizeof bits);
    EXPECT_EQ(bits, cases[i].bits) << cases[i].text;
  }
}

// a broken file gets one line naming the file, the line and the fault
TEST(ObjMesh, BadFilesGetOneLineWithFileLineAndWhat) {
  struct Case {
    std::string text;
    std::string message;  // after "PATH:"
  };
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const Case cases[] = {
      {tri + "f 1 2 4\n", "4: face corner '4' names vertex 4, but 3 vertices are read so far"},
      {tri + "f 1 2 -4\n", "4: face corner '-4' names vertex -4"},
      {tri + "f 0 1 2\n", "4: face corner '0' does not start with a vertex number"},
      {tri + "f 1 2\n", "4: a face needs at least three corners"},
      {tri + "f 1 2 1\n", "4: face names vertex 1 twice"},
      {tri + "f 1/ 2 3\n", "4: face corner '1/' is not v, v/vt, v//vn or v/vt/vn"},
      {tri + "f 1/1/1/1 2 3\n", "4: face corner '1/1/1/1' has more than three parts"},
      {"v 0 0\n", "1: a vertex needs three numbers"},
      {"# numbers\nv 0 0,5 0\n",
       "2: a vertex coordinate must be a number with '.' as its decimal point, not '0,5'"},
      {"v 0 0 nan\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not 'nan'"},
      {"v 0 0 1e400\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not '1e400'"},
      {"v 0 0 \\\n  x\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not 'x'"},
      {tri + "o\n", "4: an object needs a name"},
      {tri + std::string("f 1 2 3\0\n", 9), "4: binary bytes: not an OBJ text file"},
      {tri, "3: no faces"},
      {"", "0: no faces"},
  };
  for (const Case& c : cases) {
    const temp_file::TempFile file("host_bad.obj", c.text);
    ObjMesh mesh;
    std::string error;
    EXPECT_FALSE(ReadObjMesh(file.Path().u8string(), &mesh, &error)) << c.text;
    EXPECT_EQ(error.rfind(file.Path().u8string() + ":" + c.message, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  ObjMesh mesh;
  std::string error;
  EXPECT_FALSE(ReadObjMesh(TUMELIN_TEST_DATA "/mesh", &mesh, &error));
  EXPECT_NE(error.find("not found or unreadable"), std::string::npos) << error;
}

Membrane MeshMembrane(const std::string& path, bool flip) {
  MembraneParams params;
  params.flip = flip;
  return BuildMembrane(params, ReadMesh(path).mesh);
}

// the file's winding is kept: a closed OBJ mesh, counter-clockwise from
// outside, is drawn in by a positive ClothP until it is flipped
TEST(MeshMembrane, ClosedFileIsCleanOnlyFlippedAndFlippingInflatesIt) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load(TUMELIN_PLUGIN_PATH, &error)) << error;
  const TempIni settings("host_mesh_setup.ini", "[Setup]\nClothP=2\nClothMethod=2\n");
  const TClothSetup setup = LoadSettings(plugin, PathForPlugin(settings.Path()));
  for (const std::string& path : {kCube, kIcosahedron}) {
    for (const bool flip : {false, true}) {
      Membrane m = MeshMembrane(path, flip);
      EXPECT_EQ(m.shape, Shape::kMesh);
      const MeshReport report = CheckMembrane(m);
      EXPECT_TRUE(report.openEdges.empty() && report.nonManifoldEdges.empty() &&
                  report.misorientedEdges.empty());
      EXPECT_EQ(report.euler, 2) << path;
      EXPECT_EQ(report.effect, flip ? PressureEffect::kInflates : PressureEffect::kDeflates) << path;
      EXPECT_EQ(report.Clean(), flip) << FormatReport(m, report);
      Simulation sim(plugin, &m, setup);
      const double before = sim.Figures(0).volume;
      for (int step = 0; step < 200; ++step) sim.Step();
      EXPECT_EQ(sim.Figures(200).volume > before, flip) << path << (flip ? " flipped" : "");
    }
  }
}

// three triangles on one edge, an open fan, a vertex on no face
TEST(MeshMembrane, CheckNamesWhatKeepsAMeshFromHoldingPressure) {
  Mesh fin;
  fin.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {5, 5, 5}};
  fin.triangles = {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}};
  const MeshReport r = CheckMembrane(BuildMembrane(MembraneParams(), fin));
  EXPECT_EQ(r.nonManifoldEdges, (std::vector<std::pair<int32_t, int32_t>>{{0, 1}}));
  EXPECT_TRUE(r.leaks);
  EXPECT_EQ(r.isolatedPoints, 1);
  EXPECT_FALSE(r.Clean());
}

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
  const TempIni file("host_mesh_scenario.ini", "[Membrane]\nMesh=cube_quads.obj\nFlip=yes\n");
  const std::filesystem::path dir = temp_file::UniquePath("host_mesh_dir");
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(std::filesystem::u8path(kCube), dir / "cube_quads.obj");
  std::filesystem::copy_file(std::filesystem::u8path(file.Path()), dir / "lid.ini");
  Scenario s;
  std::string error;
  EXPECT_TRUE(ResolveScenario((dir / "lid.ini").u8string(), ScenarioChoices{}, &s, &error)) << error;
  EXPECT_EQ(s.params.shape, Shape::kMesh);
  EXPECT_TRUE(s.params.flip);
  EXPECT_EQ(s.name, "lid");
  std::filesystem::remove_all(dir);
}

// ---- warnings ---------------------------------------------------------------------

TEST(UserText, NearestNameCatchesSlipsOnly) {
  const Names keys = {"Shape", "Columns", "Rows", "Pin", "PinPoints"};
  const std::pair<const char*, int> cases[] = {{"Colums", 1}, {"Pinn", 3},    {"rows", 2}, {"PinPoint", 4},
                                               {"shpae", -1}, {"Radius", -1}, {"", -1}};
  for (const auto& [text, nearest] : cases) EXPECT_EQ(NearestName(keys, text), nearest) << text;
}

// each file fault in one line, with the nearest known key for a misspelt one
TEST(Warnings, NameWhatTheFileHidesFromThePlugIn) {
  struct Case {
    std::string text;
    std::vector<std::string> fragments;  // one per warning, in order
  };
  const Case cases[] = {
      {"[Setup]\nClothP=1\n[Membrane]\nShape=torus\n", {}},
      {"[Setup]\nClothP=1\n[setup]\nClothC=2\n", {"section [Setup] is written 2 times"}},
      {"[Setup]\nPinn=1\nClothk0=2\n[Membrane]\nColums=9\nRadius=2\n",
       {"[Setup] unknown key \"Pinn\", which the plug-in ignores",
        "[Membrane] unknown key \"Colums\", which the host ignores (did you mean Columns?)"}},
      {"[Setup]\nClothPP=1\n", {"unknown key \"ClothPP\", which the plug-in ignores (did you mean ClothP?)"}},
      {std::string("[Setup]\nClothP=1\n\0\x01\x02", 20), {"not a text file (a NUL byte at offset 17)"}},
      {Utf16Le(u"[Setup]\r\nClothP=1\r\n"), {}},
  };
  for (const Case& c : cases) {
    const TempIni file("host_warnings.ini", c.text);
    const std::vector<std::string> warnings = IniFileWarnings(file.Open());
    ASSERT_EQ(warnings.size(), c.fragments.size()) << c.text;
    for (size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_NE(warnings[i].find(c.fragments[i]), std::string::npos) << warnings[i];
      EXPECT_EQ(warnings[i].rfind(file.Path(), 0), 0u) << warnings[i];
    }
  }
}

// damping multiplies every speed by 1 - ClothC * 0.005 per step: the run
// diverges from 400 up and below 0, and that is what the plug-in shows
TEST(Warnings, DampingThatDivergesIsForetoldAndDoes) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load(TUMELIN_PLUGIN_PATH, &error)) << error;
  const std::pair<double, bool> cases[] = {{1.0, false},  {0.0, false},  {399.0, false},
                                           {400.0, true}, {700.0, true}, {-200.0, true}};
  for (const auto& [damping, diverges] : cases) {
    TClothSetup setup{};
    SetupDefaults(&setup);
    setup.ClothC = damping;
    EXPECT_EQ(!DampingWarning(setup).empty(), diverges) << damping;
    Membrane m = BuildMembrane(Params(Shape::kSphere, 9, 5));
    Simulation sim(plugin, &m, setup);
    bool diverged = false;
    for (int step = 1; step <= 3000 && !diverged; ++step) {
      sim.Step();
      diverged = !sim.Divergence(step).empty();
    }
    // 400 is the edge: speeds then flip sign each step and never shrink
    if (damping != 400.0) {
      EXPECT_EQ(diverged, diverges) << damping;
    }
  }
}

// a pressure whose acceleration squares beyond a double stops every point,
// and that is foretold; a little less and the membrane moves
TEST(Warnings, PressureThatFreezesIsForetoldAndDoes) {
  Plugin plugin;
  std::string error;
  ASSERT_TRUE(plugin.Load(TUMELIN_PLUGIN_PATH, &error)) << error;
  for (const double pressure : {1.6e153, 1.7e153, -1.7e153}) {
    TClothSetup setup{};
    SetupDefaults(&setup);
    setup.ClothP = pressure;
    Membrane m = BuildMembrane(Params(Shape::kSphere, 9, 5));
    Simulation sim(plugin, &m, setup);
    sim.Step();
    EXPECT_EQ(!OverflowWarnings(setup, 1.0).empty(), sim.Figures(1).maxSpeed == 0.0) << pressure;
  }
}

TEST(Warnings, PressureThatDrawsAClosedMembraneIn) {
  const MeshReport clockwise = CheckMembrane(BuildMembrane(Params(Shape::kSphere, 9, 5)));
  MembraneParams ccw = Params(Shape::kSphere, 9, 5);
  ccw.clockwise = false;
  const MeshReport counter = CheckMembrane(BuildMembrane(ccw));
  TClothSetup setup{};
  SetupDefaults(&setup);
  EXPECT_TRUE(ModelWarnings(setup, clockwise, true).empty());
  EXPECT_EQ(ModelWarnings(setup, counter, true).size(), 1u);
  setup.ClothP = -1.0;
  ASSERT_EQ(ModelWarnings(setup, clockwise, true).size(), 1u);
  EXPECT_NE(ModelWarnings(setup, clockwise, true)[0].find("deflates"), std::string::npos);
  EXPECT_TRUE(ModelWarnings(setup, counter, true).empty());
  // an open membrane has no volume to lose
  EXPECT_TRUE(ModelWarnings(setup, clockwise, false).empty());
}

// ---- the plug-in file --------------------------------------------------------------

std::string FileBytes(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// a truncated plug-in is refused before the loader maps it, wherever it is cut
TEST(PluginFile, EveryCutOfThePlugInIsRefusedBeforeLoading) {
  const std::string whole = FileBytes(TUMELIN_PLUGIN_PATH);
  ASSERT_GT(whole.size(), 4096u);
  EXPECT_EQ(CheckPluginBytes(whole, "Tumelin.kwt"), "");
  std::vector<size_t> lengths = {0, 1, 3, 19, 63, 64, 100, whole.size() - 1};
  for (size_t n = 128; n < whole.size(); n += whole.size() / 97) lengths.push_back(n);
  for (const size_t n : lengths) {
    const std::string message = CheckPluginBytes(whole.substr(0, n), "Tumelin.kwt");
    EXPECT_EQ(message.rfind("not a complete plug-in: Tumelin.kwt ", 0), 0u) << n << ": " << message;
  }
  // and the loader says so rather than mapping it
  const temp_file::TempFile cut("host_cut.kwt", whole.substr(0, whole.size() / 2));
  Plugin plugin;
  std::string error;
  EXPECT_FALSE(plugin.Load(cut.Path().u8string(), &error));
  EXPECT_NE(error.find("not a complete plug-in: "), std::string::npos) << error;
}

// the smallest headers of each format: a library of the other platform is
// named as such
TEST(PluginFile, ALibraryOfTheOtherPlatformIsNamed) {
  std::string elf(64, '\0');
  elf.replace(0, 6,
              "\x7F"
              "ELF\x02\x01");
  elf[18] = 62;  // x86-64
  std::string pe(64 + 24, '\0');
  pe.replace(0, 2, "MZ");
  pe[0x3C] = 64;
  pe.replace(64, 6, std::string("PE\0\0\x4C\x01", 6));  // i386
#ifdef _WIN32
  const std::string& ours = pe;
  const std::string& theirs = elf;
  const char* theirPlatform = "Linux x86-64 (ELF)";
#else
  const std::string& ours = elf;
  const std::string& theirs = pe;
  const char* theirPlatform = "Windows x86 (32-bit PE)";
#endif
  EXPECT_EQ(CheckPluginBytes(ours, "a.kwt"), "");
  EXPECT_EQ(CheckPluginBytes(theirs, "a.kwt"),
            std::string("not a complete plug-in: a.kwt is a library for ") + theirPlatform +
                "; this host runs on " + (theirs == pe ? "Linux x86-64 (ELF)" : "Windows x86 (32-bit PE)"));
#ifdef _WIN32
  // headers that pass, but no library the system loads: its own message,
  // with the file named where the message has its placeholder
  const temp_file::TempFile bare("host_bare.kwt", pe);
  Plugin plugin;
  std::string error;
  EXPECT_FALSE(plugin.Load(bare.Path().u8string(), &error));
  EXPECT_EQ(error.find('%'), std::string::npos) << error;
  EXPECT_NE(error.find("error "), std::string::npos) << error;
#endif
  // header fields that point past the end, whatever their size
  std::string wild = elf;
  wild.replace(40, 8, std::string(8, '\xFF'));  // e_shoff
  wild[60] = 1;
  EXPECT_NE(CheckPluginBytes(wild, "a.kwt").find("is cut off: its section headers lie past the end"),
            std::string::npos);
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
    const TempIni file("tumelin_host_setting.ini", std::string("[Membrane]\n") + c.key + "=" + c.text + "\n");
    const bool taken = ResolveScenario(file.Path(), ScenarioChoices{}, &s, &error);
    ExpectSource(c, taken, s, error, file.Path() + ": [Membrane] " + c.key + ": ");
  }
}

// the [Membrane] a run writes beside its outputs resolves to the same
// membrane, bit for bit, and writes itself again unchanged
TEST(Scenario, WrittenSectionResolvesToTheSameScenario) {
  ScenarioChoices torus, sheet, mesh;
  torus.shape = "torus", torus.flatten = "0.30000000000000004", torus.pin = "ring", torus.pinRing = "3";
  torus.every = "7";
  sheet.shape = "sheet", sheet.defect = "hole", sheet.pinBelow = "-1e-310", sheet.width = "2.5",
  sheet.steps = "0";
  mesh.mesh = std::string(TUMELIN_TEST_DATA) + "/mesh/cube_quads.obj", mesh.flip = "yes",
  mesh.pinGroup = "top";
  for (const ScenarioChoices& given : {torus, sheet, mesh}) {
    Scenario original, again;
    std::string error;
    ASSERT_TRUE(ResolveScenario("", given, &original, &error)) << error;
    const std::string text = IniText({}, {{"Membrane", MembraneTexts(original)}});
    const TempIni file("tumelin_host_scene.ini", text);
    ASSERT_TRUE(ResolveScenario(file.Path(), ScenarioChoices{}, &again, &error)) << error;
    EXPECT_EQ(IniText({}, {{"Membrane", MembraneTexts(again)}}), text);
    EXPECT_EQ(StateHash(BuildScenarioMembrane(again)), StateHash(BuildScenarioMembrane(original))) << text;
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

// a later run knows a temporary name by its form and its process
TEST(Outputs, TemporaryNamesCarryTheirProcess) {
  long pid = 0;
  const std::string own =
      std::filesystem::u8path(TemporaryPathBeside("dir/surface.obj")).filename().u8string();
  EXPECT_TRUE(IsTemporaryName(own, &pid) && pid == OwnProcessId() && ProcessRunning(pid)) << own;
  for (const char* foreign :
       {"surface.obj.tmp-12-0123abcd", ".a.tmp-12-0123abc", ".a.tmp--0123abcd", ".tmp-1-0123abcd"})
    EXPECT_FALSE(IsTemporaryName(foreign, &pid)) << foreign;
}

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
  const Image image =
      RenderSurface(reinterpret_cast<TSurfaceGrid*>(storage.data()), Shape::kSphere, 64, 48, RenderOptions{});
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

// ---- camera and framing --------------------------------------------------------

// the membrane's surface as the renderer draws it, optionally scaled about
// `center` first
Image RenderScaled(const Membrane& m, const RenderOptions& options, double factor, TDbl3D center, int w = 120,
                   int h = 90) {
  auto storage = FilledGrid(m);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(storage.data());
  for (int32_t u = 0; u < m.columns; ++u) {
    for (int32_t v = 0; v < m.rows; ++v) {
      TDbl3D* cell = TumelinGridCell(grid, u, v);
      *cell = center + (*cell - center) * factor;
    }
  }
  return RenderSurface(grid, m.shape, w, h, options);
}

// pixels whose colour is not the background's (which is bluish-grey, with
// red never above blue)
size_t ShapePixels(const Image& image) {
  size_t n = 0;
  for (size_t i = 0; i < image.rgb.size(); i += 3) n += image.rgb[i] > image.rgb[i + 2] + 8 ? 1 : 0;
  return n;
}

TEST(Framing, FixedKeepsOneScaleWhileAutoFitsEachPicture) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 33, 17));
  RenderOptions fixed;
  fixed.framing = FixedFraming(PointPositions(m));
  RenderOptions automatic;
  automatic.autoFrame = true;
  const TDbl3D c = fixed.framing.center;
  // a shape 1.2 times the size covers 1.44 times the pixels in a fixed
  // frame and about as many as before in a frame of its own; the bounds
  // allow for the pixels along the outline
  const double fixedRatio = static_cast<double>(ShapePixels(RenderScaled(m, fixed, 1.2, c))) /
                            static_cast<double>(ShapePixels(RenderScaled(m, fixed, 1.0, c)));
  const double autoRatio = static_cast<double>(ShapePixels(RenderScaled(m, automatic, 1.2, c))) /
                           static_cast<double>(ShapePixels(RenderScaled(m, automatic, 1.0, c)));
  EXPECT_NEAR(fixedRatio, 1.44, 0.08);
  EXPECT_NEAR(autoRatio, 1.0, 0.05);
  // the start shape with its room fits into the picture: no shape pixel on the border
  const Image start = RenderScaled(m, fixed, 1.0, c);
  for (int x = 0; x < start.width; ++x) {
    for (int y : {0, start.height - 1}) {
      const uint8_t* p = &start.rgb[(static_cast<size_t>(y) * start.width + x) * 3];
      EXPECT_LE(p[0], p[2] + 8) << x << "," << y;
    }
  }
}

TEST(Framing, SaysWhenAShapeGrowsOutOfIt) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  RenderOptions options;
  options.framing = FixedFraming(PointPositions(m));
  std::vector<TDbl3D> grown = PointPositions(m);
  EXPECT_FALSE(LeavesFrame(grown, 120, 90, options));
  // the room is 1.45 times the start size: twice the size leaves the frame
  for (TDbl3D& p : grown) p = options.framing.center + (p - options.framing.center) * 2.0;
  EXPECT_TRUE(LeavesFrame(grown, 120, 90, options) && OutgrowsFrame(grown, 120, 90, options));
  // the start shape fallen by its height leaves the frame without growing
  std::vector<TDbl3D> fallen = PointPositions(m);
  for (TDbl3D& p : fallen) p.Z -= 2.0;
  EXPECT_TRUE(LeavesFrame(fallen, 120, 90, options) && !OutgrowsFrame(fallen, 120, 90, options));
  options.autoFrame = true;
  EXPECT_FALSE(LeavesFrame(grown, 120, 90, options));
}

TEST(Framing, DependsOnTheStartShapeAlone) {
  const Membrane a = BuildMembrane(Params(Shape::kTorus, 33, 17));
  const Framing f = FixedFraming(PointPositions(a));
  // the torus of major radius 1 and minor radius 0.4 reaches 1.4 from its centre
  EXPECT_NEAR(f.radius, 1.4 * kFixedFramingRoom, 1e-9);
  EXPECT_LT(VecLength(f.center), 1e-12);
  // the order of the points does not matter
  std::vector<TDbl3D> reversed = PointPositions(a);
  std::reverse(reversed.begin(), reversed.end());
  EXPECT_TRUE(SameBits(FixedFraming(reversed).center, f.center));
  EXPECT_EQ(FixedFraming(reversed).radius, f.radius);
}

TEST(View, TurnsTheCameraAroundTheShape) {
  MembraneParams p = Params(Shape::kTube, 33, 9);
  const Membrane tube = BuildMembrane(p);
  RenderOptions options;
  options.framing = FixedFraming(PointPositions(tube));
  auto centre = [](const Image& image) {
    return &image.rgb[(static_cast<size_t>(image.height / 2) * image.width + image.width / 2) * 3];
  };
  // from the side the middle of the tube shows its warm outside; from below
  // the open end shows the cool inside
  options.view = {30, 0};
  const Image side = RenderScaled(tube, options, 1.0, options.framing.center);
  EXPECT_GT(centre(side)[0], centre(side)[2]);
  options.view = {30, -80};
  const Image below = RenderScaled(tube, options, 1.0, options.framing.center);
  EXPECT_LT(centre(below)[0], centre(below)[2]);
  // a whole turn later the camera is the same, bit for bit
  options.view = {390, -80};
  EXPECT_EQ(RenderScaled(tube, options, 1.0, options.framing.center).rgb, below.rgb);
}

TEST(View, ParsesAzimuthAndElevation) {
  struct Case {
    const char* text;
    bool ok;
    double azimuth, elevation;
  };
  const Case cases[] = {
      {"-55,28", true, -55, 28}, {"30,-20", true, 30, -20}, {" 0 , 89 ", true, 0, 89}, {"0,90", false, 0, 0},
      {"10", false, 0, 0},       {"a,b", false, 0, 0},      {"0,nan", false, 0, 0},
  };
  for (const Case& c : cases) {
    View v;
    std::string error;
    EXPECT_EQ(ParseView(c.text, &v, &error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v.azimuth, c.azimuth) << c.text;
      EXPECT_EQ(v.elevation, c.elevation) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

TEST(Png, DecodesWhatItEncodes) {
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  const Image image = RenderScaled(m, RenderOptions{}, 1.0, TDbl3D{0, 0, 0}, 40, 30);
  Image back;
  ASSERT_TRUE(DecodePng(EncodePng(image), &back));
  EXPECT_EQ(back.width, 40);
  EXPECT_EQ(back.height, 30);
  EXPECT_EQ(back.rgb, image.rgb);
  EXPECT_FALSE(DecodePng("not a picture", &back));
}

// ---- labels and the contact sheet ----------------------------------------------

Image Blank(int w, int h, uint8_t value) {
  Image image;
  image.width = w, image.height = h;
  image.rgb.assign(static_cast<size_t>(w) * h * 3, value);
  return image;
}

TEST(Font, EveryCharacterALabelNeedsHasAGlyphOfItsOwn) {
  const std::string needed = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ .,;=-+()/:_%";
  std::set<std::vector<uint8_t>> shapes;
  const uint8_t white[3] = {255, 255, 255};
  for (char c : needed) {
    EXPECT_TRUE(HasGlyph(c)) << c;
    Image cell = Blank(kGlyphWidth, kGlyphHeight, 0);
    DrawText(&cell, 0, 0, std::string(1, c), 1, white);
    // no two characters look alike (a copied row table would)
    EXPECT_TRUE(shapes.insert(cell.rgb).second) << "'" << c << "' looks like another character";
  }
  EXPECT_FALSE(HasGlyph('#'));
}

TEST(Font, DrawsInsideTheTextsBoxAndClipsAtTheEdges) {
  const uint8_t ink[3] = {1, 2, 3};
  for (int scale : {1, 2, 3}) {
    const std::string text = "ClothK0=20";
    Image image = Blank(200, 40, 255);
    DrawText(&image, 7, 5, text, scale, ink);
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        if (image.rgb[(static_cast<size_t>(y) * image.width + x) * 3] == 1) {
          minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
          maxY = std::max(maxY, y);
        }
      }
    }
    EXPECT_EQ(minX, 7) << scale;
    EXPECT_EQ(maxX, 7 + TextWidth(text, scale) - 1) << scale;
    EXPECT_EQ(minY, 5) << scale;
    EXPECT_LE(maxY, 5 + kGlyphHeight * scale - 1) << scale;
  }
  // text that runs past every edge is cut, not written outside the image
  Image small = Blank(8, 8, 255);
  DrawText(&small, -4, -3, "WWWWW", 2, ink);
  EXPECT_EQ(small.rgb.size(), 8u * 8u * 3u);
}

TEST(ContactSheet, PlacesEveryPictureWhereItsLayoutSaysAndMarksFailures) {
  std::vector<Tile> tiles;
  for (int i = 0; i < 5; ++i) {
    Tile t;
    t.picture = Blank(60, 40, static_cast<uint8_t>(10 + 40 * i));
    t.label = {"ClothP=0." + std::to_string(i), "volume 4"};
    tiles.push_back(t);
  }
  tiles[3].failed = true;
  tiles[4].picture = Image{};                       // a run that left no picture
  tiles[4].label.push_back("ClothK0=0.000001234");  // wider than a picture: widens every place
  const SheetLayout layout = LayoutSheet(tiles, 3, "sweep of pillow");
  const Image sheet = ContactSheet(tiles, 3, "sweep of pillow");
  EXPECT_EQ(sheet.width, layout.width);
  EXPECT_EQ(sheet.height, layout.height);
  ASSERT_EQ(layout.pictureOrigins.size(), tiles.size());
  auto at = [&](int x, int y) { return &sheet.rgb[(static_cast<size_t>(y) * sheet.width + x) * 3]; };
  // two rows of three places: the second row starts below the first's caption
  EXPECT_EQ(layout.pictureOrigins[3].first, layout.pictureOrigins[0].first);
  EXPECT_GT(layout.pictureOrigins[3].second, layout.pictureOrigins[0].second + layout.pictureHeight);
  EXPECT_GE(layout.placeWidth, TextWidth(tiles[4].label.back(), layout.labelScale));
  const int inset = (layout.placeWidth - layout.pictureWidth) / 2;
  for (size_t i = 0; i < 3; ++i) {
    const int x = layout.pictureOrigins[i].first + inset, y = layout.pictureOrigins[i].second;
    // the picture is copied pixel for pixel, corners included
    for (auto [dx, dy] : {std::pair{0, 0}, std::pair{59, 39}, std::pair{30, 20}}) {
      EXPECT_EQ(at(x + dx, y + dy)[0], tiles[i].picture.rgb[0]) << i;
    }
  }
  // the failed tile is framed and crossed in red: its corner and middle
  const int fx = layout.pictureOrigins[3].first + inset, fy = layout.pictureOrigins[3].second;
  for (auto [dx, dy] : {std::pair{0, 0}, std::pair{30, 20}}) {
    const uint8_t* p = at(fx + dx, fy + dy);
    EXPECT_GT(p[0], 150) << dx;
    EXPECT_LT(p[1], 80) << dx;
  }
  // a tile without a picture is grey, not black
  const int ex = layout.pictureOrigins[4].first + inset, ey = layout.pictureOrigins[4].second;
  EXPECT_GT(at(ex + 30, ey + 20)[0], 150);
  // every label is drawn in its caption: ink below each picture
  for (size_t i = 0; i < tiles.size(); ++i) {
    const auto [x, y] = layout.pictureOrigins[i];
    bool ink = false;
    for (int dy = layout.pictureHeight; dy < layout.tileHeight && !ink; ++dy) {
      for (int dx = 0; dx < layout.placeWidth && !ink; ++dx) ink = at(x + dx, y + dy)[0] < 100;
    }
    EXPECT_TRUE(ink) << i;
  }
}

// ---- animation -----------------------------------------------------------------

#ifdef TUMELIN_HAVE_GIFLIB
struct GifSource {
  const std::string* bytes;
  size_t at = 0;
};
int ReadGif(GifFileType* gif, GifByteType* data, int size) {
  auto* source = static_cast<GifSource*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(size), source->bytes->size() - source->at);
  std::memcpy(data, source->bytes->data() + source->at, n);
  source->at += n;
  return static_cast<int>(n);
}
#endif

TEST(GifAnimation, HoldsEveryFrameAtItsSizeAndLoops) {
  GifAnimation gif(4);
  std::string error, bytes;
  if (!CanWriteGif()) {
    EXPECT_FALSE(gif.Add(Blank(8, 8, 0), &error));
    EXPECT_NE(error.find("Linux build"), std::string::npos);
    return;
  }
  const Membrane m = BuildMembrane(Params(Shape::kSphere, 17, 9));
  for (double factor : {0.8, 1.0, 1.2}) {
    ASSERT_TRUE(gif.Add(RenderScaled(m, RenderOptions{}, factor, TDbl3D{0, 0, 0}, 48, 36), &error)) << error;
  }
  EXPECT_FALSE(gif.Add(Blank(10, 10, 0), &error));  // another size
  ASSERT_TRUE(gif.Finish(&bytes, &error)) << error;
  EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
  EXPECT_NE(bytes.find("NETSCAPE2.0"), std::string::npos);
#ifdef TUMELIN_HAVE_GIFLIB
  GifSource source{&bytes};
  int code = 0;
  GifFileType* read = DGifOpen(&source, ReadGif, &code);
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(DGifSlurp(read), GIF_OK);
  EXPECT_EQ(read->ImageCount, 3);
  EXPECT_EQ(read->SWidth, 48);
  EXPECT_EQ(read->SHeight, 36);
  GraphicsControlBlock control;
  ASSERT_EQ(DGifSavedExtensionToGCB(read, 2, &control), GIF_OK);
  EXPECT_EQ(control.DelayTime, 4);
  DGifCloseFile(read, &code);
#endif
}

// ---- sweeps --------------------------------------------------------------------

TEST(Sweep, ListsSplitAsTheUsersDecimalSeparatorAllows) {
  struct Case {
    const char* text;
    char16_t separator;
    std::vector<std::string> values;  // empty: refused
  };
  const Case cases[] = {
      {"ClothP=0.2,0.5,1", u'.', {"0.2", "0.5", "1"}},
      {"clothp = 0.2 ; 0.5", u'.', {"0.2", "0.5"}},
      {"ClothK0=5", u'.', {"5"}},
      {"ClothP=0,2;0,5;1", u',', {"0,2", "0,5", "1"}},
      {"ClothP=0,5", u',', {"0,5"}},
      {"ClothP=0.2,,1", u'.', {}},
      {"ClothP=0,2;0,5;1", u'.', {}},  // decimal commas, or five values
      {"ClothP=", u'.', {}},
      {"ClothP=0,2;", u',', {}},
      {"Pressure=1,2", u'.', {}},
      {"ClothP", u'.', {}},
  };
  for (const Case& c : cases) {
    SweepAxis axis;
    std::string error;
    const bool ok = ParseSweepAxis(c.text, c.separator, &axis, &error);
    EXPECT_EQ(ok, !c.values.empty()) << c.text;
    if (ok) {
      EXPECT_EQ(axis.key.substr(0, 5), "Cloth") << c.text;
      EXPECT_EQ(axis.values, c.values) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
}

// a scene file's numbers read back to the same bits under either separator
TEST(SceneIni, NumbersNeedNoDecimalSeparator) {
  const double values[] = {0.02,       0.1 + 0.2, -2.5e-7, 5e-324, -0.0, 1e300, 1.7976931348623157e308,
                           123456.789, 500};
  for (const double value : values) {
    const std::string text = FormatDoubleWithoutSeparator(value);
    EXPECT_EQ(text.find_first_of(".,"), std::string::npos) << text;
    for (const char16_t separator : {u'.', u','}) {
      EXPECT_TRUE(SameBits(ParseFloat(Utf8ToUtf16(text), 1.0, separator), value)) << text;
    }
  }
}

TEST(Sweep, CombinationsCoverTheProductOnceEach) {
  const std::vector<SweepAxis> axes = {
      {"ClothP", {"0.2", "0.5", "1"}}, {"ClothK0", {"5", "20"}}, {"ClothMethod", {"0", "1", "2", "3"}}};
  ASSERT_EQ(CombinationCount(axes), 24u);
  std::set<std::vector<std::string>> seen;
  for (size_t i = 0; i < 24; ++i) {
    const std::vector<SetupText> c = Combination(axes, i);
    ASSERT_EQ(c.size(), 3u);
    std::vector<std::string> values;
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(c[k].key, axes[k].key);
      values.push_back(c[k].value);
    }
    EXPECT_TRUE(seen.insert(values).second) << i;
  }
  // the last list varies fastest: neighbours differ in it
  EXPECT_EQ(Combination(axes, 0)[2].value, "0");
  EXPECT_EQ(Combination(axes, 1)[2].value, "1");
  EXPECT_EQ(Combination(axes, 1)[0].value, "0.2");
  EXPECT_EQ(CombinationCount({}), 1u);
}

TEST(Sweep, PoolRunsEveryJobExactlyOnce) {
  for (int workers : {1, 3, 64}) {
    std::vector<std::atomic<int>> runs(37);
    RunPool(runs.size(), workers, [&](size_t i) { ++runs[i]; });
    for (size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(runs[i].load(), 1) << i << " with " << workers;
  }
  RunPool(0, 4, [](size_t) { ADD_FAILURE() << "no job to run"; });
}

TEST(Sweep, CsvHasOneRowPerRunAndEveryOutcome) {
  const std::vector<SweepAxis> axes = {{"ClothP", {"0.5"}}, {"ClothC", {"1", "700", "bad"}}};
  const std::string figures = CsvText({StepFigures{}}, Shape::kSphere);
  std::vector<SweepRun> runs(3);
  for (size_t i = 0; i < 3; ++i) {
    runs[i].settings = Combination(axes, i);
    runs[i].started = true;
    runs[i].exitStatus = 0;
    runs[i].figures = LastCsvRow(figures);
  }
  runs[1].figures[2] = "-nan";  // the volume
  runs[2].exitStatus = 1;
  runs[2].figures.clear();
  runs[2].message =
      FirstComplaint("tumelin-host: warning: ClothP: \"x\"\ntumelin-host: error: step 5, point 3");
  EXPECT_EQ(runs[0].Status(), RunStatus::kOk);
  EXPECT_EQ(runs[1].Status(), RunStatus::kDiverged);
  EXPECT_EQ(runs[2].Status(), RunStatus::kFailed);
  EXPECT_EQ(runs[2].message, "error: step 5, point 3");

  const std::string csv = SweepCsv(axes, runs, Shape::kSphere);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  // every row has the header's number of fields (the message has a comma, quoted)
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  const auto fields = [](const std::string& l) {
    size_t n = 1;
    bool quoted = false;
    for (char c : l) quoted = c == '"' ? !quoted : quoted, n += (c == ',' && !quoted) ? 1 : 0;
    return n;
  };
  const size_t columns = fields(line);
  EXPECT_EQ(line.substr(0, 26), "run,ClothP,ClothC,status,e");
  while (std::getline(lines, line)) EXPECT_EQ(fields(line), columns) << line;
  EXPECT_NE(csv.find(",failed,1,"), std::string::npos);

  // the tiles say what was set and how it ended
  EXPECT_EQ(TileLabel(runs[0], Shape::kSphere),
            (std::vector<std::string>{"ClothP=0.5", "ClothC=1", "volume 0"}));
  EXPECT_EQ(TileLabel(runs[2], Shape::kSphere).back(), "failed, exit 1");
  EXPECT_EQ(TileLabel(runs[1], Shape::kSphere).back(), "diverged");
  EXPECT_EQ(SweepCountLine(3, 6, 1), "3 of 6 runs done, 1 failed");
}

// ---- child processes -----------------------------------------------------------

TEST(ChildProcess, QuotesWindowsCommandLinesSoTheyParseBack) {
  struct Case {
    std::vector<std::wstring> words;
    std::wstring line;
  };
  const Case cases[] = {
      {{L"a.exe", L"run", L"--set", L"ClothP=0.5"}, L"a.exe run --set ClothP=0.5"},
      {{L"C:\\Program Files\\t.exe", L""}, L"\"C:\\Program Files\\t.exe\" \"\""},
      {{L"x", L"say \"hi\""}, L"x \"say \\\"hi\\\"\""},
      {{L"x", L"C:\\a b\\"}, L"x \"C:\\a b\\\\\""},
      {{L"x", L"a\\\\b"}, L"x a\\\\b"},
  };
  for (const Case& c : cases) EXPECT_TRUE(WindowsCommandLine(c.words) == c.line);
}

TEST(ChildProcess, ReportsExitStatusAndOutputAndAMissingProgram) {
  const auto log = temp_file::UniquePath("child.log");
  ChildProcess child;
  std::string error;
#ifdef _WIN32
  ASSERT_TRUE(child.Start("cmd.exe", {"/c", "echo hello& exit 3"}, log.u8string(), &error)) << error;
#else
  ASSERT_TRUE(child.Start("/bin/sh", {"-c", "echo hello; echo oops >&2; exit 3"}, log.u8string(), &error))
      << error;
#endif
  EXPECT_EQ(child.Wait(), 3);
  EXPECT_EQ(child.Wait(), -1);  // waited for already
  std::ifstream in(log);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first.substr(0, 5), "hello");
  in.close();
  // under wine the console may hold the log a moment longer: no throw here
  std::error_code ignored;
  std::filesystem::remove(log, ignored);

  ChildProcess missing;
  const auto missingLog = temp_file::UniquePath("missing_child.log");
  EXPECT_FALSE(missing.Start("tumelin-no-such-program", {}, missingLog.u8string(), &error));
  EXPECT_NE(error.find("tumelin-no-such-program"), std::string::npos);
  std::filesystem::remove(missingLog, ignored);
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_FALSE(OwnProgramPath().empty());
}

}  // namespace
}  // namespace tumelin
