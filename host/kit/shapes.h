// The shapes a membrane takes: the four topologies of the surface grid and a
// free mesh of a file's own triangles. What differs between them is one row
// of kShapes (shapes.cpp): the grid mode, the smallest and the default grid,
// where its points start and how its grid is numbered, what its surface is
// (closed or not, its Euler number, its border) and the figure it is judged
// by. Adding a topology is one row there and the functions it names.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <vector>

namespace tumelin {

struct MembraneParams;

enum class Shape { kSphere, kTorus, kSheet, kTube, kMesh };
inline constexpr int kShapeCount = 5;

// the one figure a shape is judged by: the enclosed volume of a closed
// shape, the mean height of a sheet, the mean radius of a tube
enum class ShapeFigure { kVolume, kMeanHeight, kMeanRadius };

// a set of shapes, one bit each
using ShapeSet = uint32_t;
constexpr ShapeSet ShapeBit(Shape shape) { return 1u << static_cast<int>(shape); }
inline constexpr ShapeSet kGridShapes =
    ShapeBit(Shape::kSphere) | ShapeBit(Shape::kTorus) | ShapeBit(Shape::kSheet) | ShapeBit(Shape::kTube);
inline constexpr ShapeSet kAllShapes = kGridShapes | ShapeBit(Shape::kMesh);

// the grid mode of a membrane that has no grid
inline constexpr uint8_t kNoGridMode = 0xFF;

struct ShapeInfo {
  Shape shape;
  const char* name;  // as --shape and section [Membrane] write it
  uint8_t mode;      // TUMELIN_MODE_*, kNoGridMode for a mesh
  // the smallest grid that still encloses or spans something, and the grid
  // a scenario gets when none is given
  int32_t minColumns, minRows;
  int32_t columns, rows;
  bool closed;    // meant to enclose a volume (a mesh: the check says whether it does)
  bool ringRows;  // every row closes on itself: the last column repeats column 0
  int32_t euler;  // points - edges + faces of the surface; a mesh: its file's, 0 here
  int32_t (*border)(int32_t columns, int32_t rows);  // open edges of the whole surface
  bool quadsClockwise;  // grid quad (u,v)-(u+1,v)-(u,v+1) runs clockwise seen from outside
  // the rows a ring may be pinned on: firstRing to rows - 1 - ringsCut;
  // firstRing is the one pinned when none is named
  int32_t firstRing, ringsCut;
  ShapeFigure figure;
  bool axial;  // its mean radius is measured from the z axis through its centroid
  // the point that grid cell (u, v) shows after the write-back
  int32_t (*cell)(int32_t u, int32_t v, int32_t columns, int32_t rows);
  // start positions in point order; `positions` has the grid's point count
  void (*place)(const MembraneParams& params, std::vector<TDbl3D>* positions);
};

// every shape in enum order, the mesh last
extern const ShapeInfo kShapes[kShapeCount];
const ShapeInfo& InfoOf(Shape shape);

}  // namespace tumelin
