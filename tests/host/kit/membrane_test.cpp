// The kit's membrane builders: numbering, topology, springs, pinning.
#include "membrane.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// the builders number their points as the plug-in's write-back reads them
TEST(GridNumbering, MatchesTheWriteBackForEveryMode) {
  for (const Shape shape : {Shape::kSphere, Shape::kTorus, Shape::kSheet, Shape::kTube}) {
    Membrane m = BuildMembrane(Params(shape, 5, 4));
    ASSERT_EQ(m.points.Count(), PointCount(shape, 5, 4));
    // point i at (i, 0, 0): each cell names the point written into it
    for (int32_t i = 0; i < m.points.Count(); ++i) m.points[i].Pos = {static_cast<double>(i), 0.0, 0.0};
    auto record = FilledGrid(m);
    for (int32_t v = 0; v < 4; ++v) {
      for (int32_t u = 0; u < 5; ++u) {
        EXPECT_EQ(TumelinGridCell(reinterpret_cast<TSurfaceGrid*>(record.data()), u, v)->X,
                  CellPoint(shape, u, v, 5, 4))
            << ShapeName(shape) << " cell " << u << "," << v;
      }
    }
  }
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
      // the rest length is the start length, to the bit
      EXPECT_EQ(p.Links[k].RestLength, VecLength(VecSub(m.points[j].Pos, p.Pos)));
      ++linkEnds;
    }
  }
  EXPECT_EQ(linkEnds, 2 * edges.size());
}

// the preview draws a fine grid over every k-th grid line while it plays:
// that coarse surface is as closed and as wound as the full one
TEST_P(EveryShape, CoarseGridIsClosedAndWoundAsTheFullOne) {
  const auto [shape, columns, rows] = GetParam();
  const MembraneParams params = Params(shape, columns, rows);
  const MeshReport full = CheckMembrane(BuildMembrane(params));
  for (const int32_t stride : {2, 3}) {
    if (columns <= 2 * stride || rows <= 2 * stride) continue;
    Membrane coarse = MembraneFromMesh(Mesh{ShapeMesh(params).positions, GridTriangles(params, stride)});
    coarse.shape = shape;
    const MeshReport r = CheckMembrane(coarse);
    const std::string what = std::string(ShapeName(shape)) + " stride " + std::to_string(stride);
    EXPECT_TRUE(r.nonManifoldEdges.empty() && r.misorientedEdges.empty()) << what;
    EXPECT_EQ(r.openEdges.empty(), full.openEdges.empty()) << what;
    EXPECT_EQ(r.signedVolume < 0.0, full.signedVolume < 0.0) << what;
    EXPECT_LT(r.faces, full.faces) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EveryShape,
    ::testing::Values(std::make_tuple(Shape::kSphere, 4, 3), std::make_tuple(Shape::kSphere, 33, 17),
                      std::make_tuple(Shape::kSphere, 9, 257), std::make_tuple(Shape::kTorus, 4, 4),
                      std::make_tuple(Shape::kTorus, 25, 13), std::make_tuple(Shape::kSheet, 2, 2),
                      std::make_tuple(Shape::kSheet, 21, 11), std::make_tuple(Shape::kTube, 4, 2),
                      std::make_tuple(Shape::kTube, 25, 9)));

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

// a pinning offered for a shape pins some of its points, never all of them
TEST(Membrane, APinningThatAppliesPinsSomePoints) {
  for (const Shape shape : {Shape::kSphere, Shape::kTorus, Shape::kSheet, Shape::kTube}) {
    for (const std::string_view name : PinNames()) {
      MembraneParams params = Params(shape, 9, 5);
      params.pinPoints = {0};
      if (!ParsePin(std::string(name), &params.pin) || !PinApplies(params.pin, shape) || name == "none")
        continue;
      ASSERT_EQ(ValidateParams(params), "") << name;
      const Membrane m = BuildMembrane(params);
      int32_t pinned = 0;
      for (int32_t i = 0; i < m.points.Count(); ++i) pinned += m.points[i].Fixed != 0;
      EXPECT_TRUE(pinned > 0 && pinned < m.points.Count())
          << ShapeName(shape) << " " << name << ": " << pinned;
    }
  }
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

// the file's winding is kept: a closed OBJ mesh, counter-clockwise from
// outside, is drawn in by a positive ClothP until it is flipped
TEST(MeshMembrane, ClosedFileIsCleanOnlyFlippedAndFlippingInflatesIt) {
  const Plugin& plugin = loaded::LoadedPlugin();
  const TempFile settings("host_mesh_setup.ini", "[Setup]\nClothP=2\nClothMethod=2\n");
  const TClothSetup setup = LoadSettings(plugin, PathForPlugin(settings.Utf8()));
  for (const std::string& path : {kCube, kIcosahedron}) {
    MembraneParams params;
    for (const bool flip : {false, true}) {
      params.flip = flip;
      Membrane m = BuildMembrane(params, ReadMesh(path).mesh);
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

}  // namespace
}  // namespace tumelin
