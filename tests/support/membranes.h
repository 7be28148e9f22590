// Membranes for the tests of the plug-in's core: built by the host kit's one
// builder, stepped through the core library directly (no loaded plug-in).
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <vector>

#include "bits.h"
#include "dynamics.h"
#include "geometry.h"
#include "host_array.h"
#include "membrane.h"

namespace tumelin {

// a closed sphere of radius 1 with two poles on a columns x rows grid
// (columns - 1 points per ring, rows - 2 rings), wound clockwise seen from
// outside unless asked otherwise, so that positive pressure inflates it
inline Membrane SphereMembrane(int32_t columns, int32_t rows, bool clockwise = true) {
  MembraneParams params;
  params.shape = Shape::kSphere;
  params.columns = columns;
  params.rows = rows;
  params.clockwise = clockwise;
  return BuildMembrane(params);
}

// one step of the whole membrane through the core
inline int32_t Step(Membrane& m, const TClothSetup& setup) {
  return StepMembrane(&m.pointsVar, &m.facesVar, &setup);
}

inline std::vector<TDbl3D> Positions(const Membrane& m) {
  std::vector<TDbl3D> positions;
  for (int32_t i = 0; i < m.points.Count(); ++i) positions.push_back(m.points[i].Pos);
  return positions;
}

}  // namespace tumelin
