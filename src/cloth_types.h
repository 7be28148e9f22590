// Cloth simulation types: host array access, the grid point-numbering rules,
// the end-of-step state shift and the surface grid write-back.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

#include "grid_points.h"

namespace tumelin {

// element count of a host dynamic array (0 for a null pointer)
inline int32_t ArrayCount(const void* first) { return TumelinArrayCount(first); }

// point index of grid cell (u, v) for a closed surface with two poles:
// 0 when v = 0, otherwise u + (v - 1)(n - 1) + 1
int32_t SphereIndex(int32_t u, int32_t v, int32_t n);
// point index of cell (u, v) of an open sheet: u + v n
int32_t SheetIndex(int32_t u, int32_t v, int32_t n);
// point index of cell (u, v) when column n - 1 repeats column 0: u + v(n - 1)
int32_t WrapIndex(int32_t u, int32_t v, int32_t n);

// makes NewPos/NewVel current for every point and clears them; returns the
// number of points
int32_t ShiftStates(TClothPointArray* PointsVar);

// copies the points' positions into the grid cells as Grid->Mode prescribes
void WriteSurfaceGrid(TSurfaceGrid* Grid, TClothPointArray* PointsVar);

}  // namespace tumelin
