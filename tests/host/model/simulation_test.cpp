// Running a membrane through the plug-in's entries: its figures, its hash and
// the divergence check.
#include "simulation.h"

#include "geometry.h"
#include "host_fixtures.h"

namespace tumelin {
namespace {

// a tube's radius is measured from its axis: at the start it is the radius
// it was built with, however long the tube; a point that is not finite is named
TEST(Simulation, TubeRadiusIsTakenFromItsAxisAndABadPointIsNamed) {
  MembraneParams tube;
  tube.shape = Shape::kTube, tube.length = 5.0;
  Membrane m = BuildMembrane(tube);
  const Simulation sim(loaded::LoadedPlugin(), &m, TClothSetup{});
  // the points lie on the circle up to the rounding of their sines and cosines
  EXPECT_NEAR(FigureValue(sim.Figures(0), FigureOf(Shape::kTube)), tube.radius, 1e-12);
  EXPECT_EQ(sim.Divergence(0), "");
  m.points[3].Pos.Y = std::nan("");
  EXPECT_EQ(sim.Divergence(1).rfind("point 3 has position (", 0), 0u) << sim.Divergence(1);
}

// a sheet at rest has no strain; scaled by s about the origin every spring's
// length is s times its rest length, so every point shows s - 1, and a point
// whose strained spring is the farthest from rest shows it with its sign
TEST(Simulation, PointStrainsAreEachPointsMostStrainedSpring) {
  const struct {
    double scale;
    float strain;
  } cases[] = {{1.0, 0.0f}, {1.25, 0.25f}, {0.5, -0.5f}};
  for (const auto& c : cases) {
    MembraneParams sheet;
    sheet.shape = Shape::kSheet, sheet.columns = 5, sheet.rows = 4;
    Membrane m = BuildMembrane(sheet);
    for (int32_t i = 0; i < m.points.Count(); ++i) m.points[i].Pos = m.points[i].Pos * c.scale;
    std::vector<float> strains;
    PointStrains(m, &strains);
    ASSERT_EQ(strains.size(), size_t(m.points.Count()));
    for (const float s : strains) EXPECT_NEAR(s, c.strain, 1e-6) << "scale " << c.scale;
  }
  MembraneParams sheet;
  sheet.shape = Shape::kSheet, sheet.columns = 5, sheet.rows = 4;
  Membrane m = BuildMembrane(sheet);
  const TClothLink& link = m.points[0].Links[0];
  m.points[link.Target].Pos = m.points[0].Pos + (m.points[link.Target].Pos - m.points[0].Pos) * 0.25;
  std::vector<float> strains;
  PointStrains(m, &strains);
  EXPECT_NEAR(strains[0], -0.75f, 1e-6);
  // the pressure push along the faces' normals, whatever their length, dotted with the velocity
  for (int32_t f = 0; f < m.faces.Count(); ++f) m.faces[f].Normal = {0.0, 0.0, 0.5 + f};
  for (int32_t i = 0; i < m.points.Count(); ++i) m.points[i].Vel = {1.0, 0.0, 2.0};
  PointPressurePowers(m, 3.0, &strains);
  for (const float p : strains) EXPECT_NEAR(p, 3.0 * kPressureScale * 2.0, 1e-9);
}

}  // namespace
}  // namespace tumelin
