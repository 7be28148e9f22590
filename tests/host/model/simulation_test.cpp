// Running a membrane through the plug-in's entries: its figures, its hash and
// the divergence check.
#include "simulation.h"

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

}  // namespace
}  // namespace tumelin
