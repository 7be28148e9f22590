// The surface as triangles to draw or write: the grid's cells as the
// write-back fills them, or a free mesh's own faces.
#pragma once

#include <tumelin/tumelin.h>

#include <array>
#include <cstdint>
#include <vector>

#include "membrane.h"

namespace tumelin {

// triangles of the grid cells, counter-clockwise seen from outside, with
// cells that repeat a point (seams, poles) collapsed away
struct GridMesh {
  std::vector<TDbl3D> vertices;  // cell (u, v) at u * rows + v
  std::vector<std::array<int32_t, 3>> triangles;
  std::vector<std::array<bool, 3>> gridEdge;  // edge opposite corner k is a grid line
};
GridMesh MeshFromGrid(const TSurfaceGrid* grid, Shape shape);
// a free mesh for drawing: its triangles turned counter-clockwise seen from
// outside when they enclose a volume clockwise; `outline` (one entry per
// triangle, as ObjMesh has it) says which edges to draw
GridMesh MeshFromMembrane(const Membrane& membrane, const std::vector<std::array<bool, 3>>& outline);

}  // namespace tumelin
