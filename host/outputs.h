// Result files: the surface as OBJ, the per-step figures as CSV and as an
// SVG plot. Every file is written under a temporary name and renamed, so a
// failed run never leaves half a file.
#pragma once

#include <tumelin/tumelin.h>

#include <array>
#include <string>
#include <vector>

#include "membrane.h"
#include "simulation.h"

namespace tumelin {

// writes `bytes` to `path` through a temporary file in the same folder
bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error);
// creates the folder when needed and proves it writable
bool PrepareOutputFolder(const std::string& folder, std::string* error);

// triangles of the grid cells, counter-clockwise seen from outside, with
// cells that repeat a point (seams, poles) collapsed away
struct GridMesh {
  std::vector<TDbl3D> vertices;  // cell (u, v) at u * rows + v
  std::vector<std::array<int32_t, 3>> triangles;
  std::vector<std::array<bool, 3>> gridEdge;  // edge opposite corner k is a grid line
};
GridMesh MeshFromGrid(const TSurfaceGrid* grid, Shape shape);

std::string ObjText(const TSurfaceGrid* grid, Shape shape, const std::string& comment);
std::string CsvText(const std::vector<StepFigures>& figures, Shape shape);
// volume over steps for closed shapes, mean height for the sheet, mean
// radius for the tube
std::string SvgPlot(const std::vector<StepFigures>& figures, Shape shape, const std::string& title);

}  // namespace tumelin
