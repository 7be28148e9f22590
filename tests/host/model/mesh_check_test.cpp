// What the mesh check finds in a membrane.
#include "mesh_check.h"

#include "host_fixtures.h"

using namespace tumelin;

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
  // counts of one read as one, and an open mesh claims no volume
  const std::string text = FormatReport(BuildMembrane(MembraneParams(), fin), r);
  for (const char* line : {"6 points, 7 edges, 3 triangles\n", "  1 edge on three or more triangles (0-1)\n",
                           "  1 point lies on no triangle: no spring holds it, it falls freely\n",
                           "  no enclosed volume: the surface is open\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " not in:\n" << text;
  }
  EXPECT_EQ(text.find("enclosed volume "), std::string::npos) << text;
}
