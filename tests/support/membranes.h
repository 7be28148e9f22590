// Membranes for the tests: built by the host kit's one builder, stepped
// through the core library directly (no loaded plug-in), and the surface
// grid record a host hands over for them.
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

// the builder's parameters for a grid shape of columns x rows, the rest default
inline MembraneParams Params(Shape shape, int32_t columns, int32_t rows) {
  MembraneParams params;
  params.shape = shape;
  params.columns = columns;
  params.rows = rows;
  return params;
}

// a closed sphere of radius 1 with two poles on a columns x rows grid
// (columns - 1 points per ring, rows - 2 rings), wound clockwise seen from
// outside unless asked otherwise, so that positive pressure inflates it
inline Membrane SphereMembrane(int32_t columns, int32_t rows, bool clockwise = true) {
  MembraneParams params = Params(Shape::kSphere, columns, rows);
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

// a zeroed surface grid record headed with the membrane's mode and counts,
// as doubles so that its cells are aligned
inline std::vector<uint64_t> GridRecord(const Membrane& m) {
  std::vector<uint64_t> record((TumelinGridBytes(m.columns) + 7) / 8, 0);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(record.data());
  grid->Mode = m.mode;
  grid->CountU = m.columns;
  grid->CountV = m.rows;
  return record;
}

}  // namespace tumelin
