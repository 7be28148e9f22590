#include "grid_mesh.h"

#include <utility>

#include "bits.h"
#include "geometry.h"

namespace tumelin {

GridMesh MeshFromGrid(const TSurfaceGrid* grid, Shape shape) {
  GridMesh mesh;
  const int32_t cols = grid->CountU, rows = grid->CountV;
  auto* g = const_cast<TSurfaceGrid*>(grid);
  mesh.vertices.reserve(static_cast<size_t>(cols) * static_cast<size_t>(rows));
  for (int32_t u = 0; u < cols; ++u) {
    for (int32_t v = 0; v < rows; ++v) mesh.vertices.push_back(*TumelinGridCell(g, u, v));
  }
  const bool reverse = GridQuadsClockwise(shape);
  auto at = [rows](int32_t u, int32_t v) { return u * rows + v; };
  for (int32_t u = 0; u + 1 < cols; ++u) {
    for (int32_t v = 0; v + 1 < rows; ++v) {
      const int32_t a = at(u, v), b = at(u + 1, v), c = at(u + 1, v + 1), d = at(u, v + 1);
      // in (a, b, d) the diagonal b-d lies opposite a; in (b, c, d) opposite c
      const std::array<int32_t, 3> tris[2] = {{a, b, d}, {b, c, d}};
      const std::array<bool, 3> lines[2] = {{false, true, true}, {true, false, true}};
      for (int k = 0; k < 2; ++k) {
        std::array<int32_t, 3> t = tris[k];
        std::array<bool, 3> line = lines[k];
        const auto& p = mesh.vertices;
        if (SameBits(p[size_t(t[0])], p[size_t(t[1])]) || SameBits(p[size_t(t[1])], p[size_t(t[2])]) ||
            SameBits(p[size_t(t[0])], p[size_t(t[2])])) {
          continue;
        }
        if (reverse) {
          std::swap(t[1], t[2]);
          std::swap(line[1], line[2]);
        }
        mesh.triangles.push_back(t);
        mesh.gridEdge.push_back(line);
      }
    }
  }
  return mesh;
}

GridMesh MeshFromMembrane(const Membrane& m, const std::vector<std::array<bool, 3>>& outline) {
  GridMesh mesh;
  for (int32_t i = 0; i < m.points.Count(); ++i) mesh.vertices.push_back(m.points[i].Pos);
  const bool reverse = SignedVolume(m) < 0.0;
  for (int32_t t = 0; t < m.faces.Count(); ++t) {
    std::array<int32_t, 3> corners = {m.faces[t].P0, m.faces[t].P1, m.faces[t].P2};
    std::array<bool, 3> line = static_cast<size_t>(t) < outline.size()
                                   ? outline[static_cast<size_t>(t)]
                                   : std::array<bool, 3>{true, true, true};
    if (reverse) {
      std::swap(corners[1], corners[2]);
      std::swap(line[1], line[2]);
    }
    mesh.triangles.push_back(corners);
    mesh.gridEdge.push_back(line);
  }
  return mesh;
}

}  // namespace tumelin
