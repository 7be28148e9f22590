// Cloth simulation types: host array access, the grid point-numbering rules,
// the end-of-step state shift and the surface grid write-back.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

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

// how many points (0 .. N - 1) grid mode 0 to 3 reads with counts within the
// write-back's limits, in 64 bits so that no count can wrap into a small
// number; the host's membranes are built to this count
inline int64_t PointsRead(uint8_t mode, int32_t countU, int32_t countV) {
  const int64_t u = countU;
  const int64_t v = countV;
  switch (mode) {
    case TUMELIN_MODE_SPHERE:
      return v == 1 ? 1 : (v - 2) * (u - 1) + 2;
    case TUMELIN_MODE_TORUS:
      return (u - 1) * (v - 1);
    case TUMELIN_MODE_SHEET:
      return u * v;
    default:
      return (u - 1) * v;
  }
}

// makes NewPos/NewVel current for every point and clears them; returns the
// number of points
int32_t ShiftStates(TClothPointArray* PointsVar);

// copies the points' positions into the grid cells as Grid->Mode prescribes
void WriteSurfaceGrid(TSurfaceGrid* Grid, TClothPointArray* PointsVar);

}  // namespace tumelin
