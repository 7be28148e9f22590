#include "shapes.h"

#include "det_math.h"
#include "membrane.h"

namespace tumelin {

namespace {

TDbl3D Vec(double x, double y, double z) { return TDbl3D{x, y, z}; }

// pole 0 on top, rings downwards, the second pole at the bottom
void PlaceSphere(const MembraneParams& params, std::vector<TDbl3D>* positions) {
  std::vector<TDbl3D>& pos = *positions;
  const int32_t ring = params.columns - 1;  // distinct points per ring
  const double zScale = params.radius * params.flatten;
  pos[0] = Vec(0.0, 0.0, zScale);
  for (int32_t v = 1; v <= params.rows - 2; ++v) {
    const SinCos polar = SinCosTurns(v, 2 * static_cast<int64_t>(params.rows - 1));
    for (int32_t u = 0; u < ring; ++u) {
      const SinCos around = SinCosTurns(u, ring);
      pos[static_cast<size_t>(1 + (v - 1) * ring + u)] = Vec(
          params.radius * polar.sin * around.cos, params.radius * polar.sin * around.sin, zScale * polar.cos);
    }
  }
  pos.back() = Vec(0.0, 0.0, -zScale);
}

// rings of the tube cross-section, u around the z axis
void PlaceTorus(const MembraneParams& params, std::vector<TDbl3D>* positions) {
  const int32_t ring = params.columns - 1;
  for (int32_t v = 0; v < params.rows - 1; ++v) {
    const SinCos minor = SinCosTurns(v, params.rows - 1);
    const double r = params.majorRadius + params.minorRadius * minor.cos;
    for (int32_t u = 0; u < ring; ++u) {
      const SinCos major = SinCosTurns(u, ring);
      (*positions)[static_cast<size_t>(v * ring + u)] =
          Vec(r * major.cos, r * major.sin, params.flatten * params.minorRadius * minor.sin);
    }
  }
}

void PlaceSheet(const MembraneParams& params, std::vector<TDbl3D>* positions) {
  for (int32_t v = 0; v < params.rows; ++v) {
    for (int32_t u = 0; u < params.columns; ++u) {
      const double x = (static_cast<double>(u) / (params.columns - 1) - 0.5) * params.width;
      const double y = (static_cast<double>(v) / (params.rows - 1) - 0.5) * params.depth;
      (*positions)[static_cast<size_t>(v * params.columns + u)] = Vec(x, y, 0.0);
    }
  }
}

// rings from the top end downwards
void PlaceTube(const MembraneParams& params, std::vector<TDbl3D>* positions) {
  const int32_t ring = params.columns - 1;
  for (int32_t v = 0; v < params.rows; ++v) {
    const double z = (0.5 - static_cast<double>(v) / (params.rows - 1)) * params.length;
    for (int32_t u = 0; u < ring; ++u) {
      const SinCos around = SinCosTurns(u, ring);
      (*positions)[static_cast<size_t>(v * ring + u)] =
          Vec(params.radius * around.cos, params.radius * around.sin, z);
    }
  }
}

// a mesh's points come from its file
void PlaceNothing(const MembraneParams&, std::vector<TDbl3D>*) {}

// the top pole fills row 0, the bottom pole the last row
int32_t SphereCell(int32_t u, int32_t v, int32_t columns, int32_t rows) {
  const int32_t ring = columns - 1;  // distinct points of a closed ring
  if (v == 0) return 0;
  if (v == rows - 1) return (rows - 2) * ring + 1;  // after the top pole and every ring
  return (v - 1) * ring + u % ring + 1;
}

// the closing row repeats row 0, the closing column column 0
int32_t TorusCell(int32_t u, int32_t v, int32_t columns, int32_t rows) {
  return (v == rows - 1 ? 0 : v) * (columns - 1) + u % (columns - 1);
}

int32_t SheetCell(int32_t u, int32_t v, int32_t columns, int32_t) { return v * columns + u; }
int32_t TubeCell(int32_t u, int32_t v, int32_t columns, int32_t) {
  return v * (columns - 1) + u % (columns - 1);
}
int32_t NoCell(int32_t, int32_t, int32_t, int32_t) { return 0; }

int32_t NoBorder(int32_t, int32_t) { return 0; }
int32_t SheetBorder(int32_t columns, int32_t rows) { return 2 * (columns - 1) + 2 * (rows - 1); }
// the two end rings
int32_t TubeBorder(int32_t columns, int32_t) { return 2 * (columns - 1); }

}  // namespace

// a closed ring needs three distinct points, so four columns with the seam
const ShapeInfo kShapes[kShapeCount] = {
    {Shape::kSphere, "sphere", TUMELIN_MODE_SPHERE, 4, 3, 33, 17, true, true, 2, NoBorder, true, 1, 1,
     ShapeFigure::kVolume, false, SphereCell, PlaceSphere},
    {Shape::kTorus, "torus", TUMELIN_MODE_TORUS, 4, 4, 33, 17, true, true, 0, NoBorder, false, 0, 1,
     ShapeFigure::kVolume, false, TorusCell, PlaceTorus},
    {Shape::kSheet, "sheet", TUMELIN_MODE_SHEET, 2, 2, 21, 21, false, false, 1, SheetBorder, false, 0, 0,
     ShapeFigure::kMeanHeight, false, SheetCell, PlaceSheet},
    {Shape::kTube, "tube", TUMELIN_MODE_TUBE, 4, 2, 33, 17, false, true, 0, TubeBorder, true, 0, 0,
     ShapeFigure::kMeanRadius, true, TubeCell, PlaceTube},
    {Shape::kMesh, "mesh", kNoGridMode, 0, 0, 33, 17, true, false, 0, NoBorder, false, 0, 0,
     ShapeFigure::kVolume, false, NoCell, PlaceNothing},
};

const ShapeInfo& InfoOf(Shape shape) { return kShapes[static_cast<int>(shape)]; }

}  // namespace tumelin
