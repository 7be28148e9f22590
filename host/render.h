// A small software rasteriser: the grid surface, shaded, from a fixed
// three-quarter view, encoded as PNG.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <string>
#include <vector>

#include "membrane.h"
#include "outputs.h"

namespace tumelin {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row-major, 3 bytes per pixel
};

// outside faces warm, inside faces (seen through openings) cool; grid lines
// drawn where the cells are large enough to show them
Image RenderSurface(const TSurfaceGrid* grid, Shape shape, int width, int height);
// the same for any triangles wound counter-clockwise seen from outside
Image RenderMesh(const GridMesh& mesh, int width, int height);

// PNG bytes of the image; empty on failure
std::string EncodePng(const Image& image);

}  // namespace tumelin
