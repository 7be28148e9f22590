// The triangles of a surface grid, as the outputs write them.
#include "grid_mesh.h"

#include "host_fixtures.h"

using namespace tumelin;

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
