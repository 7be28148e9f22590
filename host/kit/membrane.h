// Membranes as a host hands them to the plug-in: host arrays of points,
// springs and faces built from a triangle mesh, and meshes for the four
// topologies of the surface grid, numbered exactly as each grid mode reads
// its points. One builder for the stand-in host, the tests and the
// benchmarks.
#pragma once

#include <tumelin/tumelin.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host_array.h"
#include "shapes.h"

namespace tumelin {

enum class PinMode { kNone, kPole, kPoles, kRing, kEnds, kBorder, kCorners, kPoints, kGroup, kBelow };
// deliberate faults for trying out the checks
enum class Defect { kNone, kHole, kSeam, kFlip };

// grid counts, as the TSurfaceGrid record holds them
inline constexpr int32_t kMaxRows = TUMELIN_GRID_ROWS;
inline constexpr int32_t kMaxColumns = 1024;

struct MembraneParams {
  Shape shape = Shape::kSphere;
  int32_t columns = 33;  // CountU; the closing column repeats column 0
  int32_t rows = 17;     // CountV, at most 257
  double radius = 1.0;   // sphere and tube
  double flatten = 1.0;  // sphere and torus: z scale of the start shape (pillow < 1)
  double majorRadius = 1.0;
  double minorRadius = 0.4;
  double width = 2.0;   // sheet along x
  double depth = 2.0;   // sheet along y
  double length = 2.0;  // tube along z
  PinMode pin = PinMode::kNone;
  int32_t pinRing = -1;            // grid row; -1 picks the top ring
  std::vector<int32_t> pinPoints;  // points, and the points of the group pinned by group
  std::string pinGroup;            // a mesh's group of that name
  double pinBelow = 0.0;           // pin below: every point whose start z is at most this
  bool clockwise = true;           // seen from outside; positive ClothP then inflates
  bool flip = false;               // reverse every triangle as built or read
  Defect defect = Defect::kNone;
};

// a triangle mesh: positions and corner indices into them
struct Mesh {
  std::vector<TDbl3D> positions;
  std::vector<std::array<int32_t, 3>> triangles;
};

// the host records of one membrane; the points' Links and Faces point into
// `links` and `faceLists`, and the host variables into `points` and `faces`
struct Membrane {
  Shape shape = Shape::kSphere;
  uint8_t mode = TUMELIN_MODE_SPHERE;
  int32_t columns = 0;  // the grid the points are numbered for
  int32_t rows = 0;
  HostArray<TClothPoint> points;
  HostArray<TClothFace> faces;
  std::vector<HostArray<TClothLink>> links;   // per point
  std::vector<HostArray<int32_t>> faceLists;  // per point
  // the host variables whose addresses go to the plug-in
  TClothPointArray pointsVar = nullptr;
  TClothFaceArray facesVar = nullptr;
};

// the names the command line and INI files use, in enum order; the parsers
// ignore case. The shape names are those of the grid shapes: a mesh is
// chosen by naming its file
const char* ShapeName(Shape shape);
std::vector<std::string_view> ShapeNames();
bool ParseShape(const std::string& text, Shape* shape);
const char* PinName(PinMode pin);
std::vector<std::string_view> PinNames();
// every pinning, each with what it needs: "none, pole for a sphere, ..."
std::string PinHelp();
bool ParsePin(const std::string& text, PinMode* pin);
// whether `pin` pins something sensible on `shape` (ValidateParams refuses
// the others), and the MembraneParams field that says what it pins
// ("pinRing", "pinPoints", "pinGroup", "pinBelow"; empty for none)
bool PinApplies(PinMode pin, Shape shape);
const char* PinParam(PinMode pin);
std::vector<std::string_view> DefectNames();
bool ParseDefect(const std::string& text, Defect* defect);
uint8_t GridMode(Shape shape);
bool IsClosed(Shape shape);

// points the grid mode reads for these counts, by the plug-in's own count;
// 0 for a mesh, whose points come from its file
int32_t PointCount(Shape shape, int32_t columns, int32_t rows);

// The point that grid cell (u, v) shows after the write-back, for every row
// of every mode: poles, seams and closing rows included. This is the one
// numbering kept apart from the plug-in's on purpose: it is written from
// the documented grid layout, not from the plug-in's index functions, so
// that checking the write-back against it checks something.
int32_t CellPoint(Shape shape, int32_t u, int32_t v, int32_t columns, int32_t rows);

// empty when these parameters can be built, else a one-line reason
std::string ValidateParams(const MembraneParams& params);

// whether grid quad (u, v) split as (u,v)-(u+1,v)-(u,v+1) and
// (u+1,v)-(u+1,v+1)-(u,v+1) runs clockwise seen from outside
bool GridQuadsClockwise(Shape shape);

// every triangle of a grid shape's quads as point indices, wound as asked
// (before a flip); with a stride k > 1 each quad spans k x k cells (the last
// ones fewer): a coarse surface over the same points, to draw a fine grid
// with fewer triangles
std::vector<std::array<int32_t, 3>> GridTriangles(const MembraneParams& params, int32_t stride);

// start positions and triangles of a grid shape, wound as asked; the
// parameters must have passed ValidateParams
Mesh ShapeMesh(const MembraneParams& params);

// host arrays for a mesh: one spring per distinct edge, listed at both ends
// in the order the triangles first name the edge, its start length as rest
// length; every point lists its faces in face order. Nothing is pinned.
Membrane MembraneFromMesh(const Mesh& mesh);

// Pos of every point, in point order
std::vector<TDbl3D> PointPositions(const Membrane& membrane);

// ShapeMesh, MembraneFromMesh, then the pinning; the parameters must have
// passed ValidateParams
Membrane BuildMembrane(const MembraneParams& params);
// a free mesh (shape kMesh) from a file's triangles: --flip and the pinning
// of `params` applied; its pinned points must exist in the mesh
// (ValidatePinPoints)
Membrane BuildMembrane(const MembraneParams& params, const Mesh& mesh);

// empty when every point of `points` is one of `count` points, else a
// one-line reason that names the first missing one and `what` has
std::string ValidatePinPoints(const std::vector<int32_t>& points, int32_t count, const std::string& what);

}  // namespace tumelin
