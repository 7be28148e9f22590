#include "cloth_types.h"

#include <algorithm>
#include <cstring>

#include "dbl3d.h"

namespace tumelin {

int32_t ShiftStates(TClothPointArray* PointsVar) {
  TClothPoint* points = *PointsVar;
  // a negative count header is an empty array
  const int32_t n = std::max(ArrayCount(points), 0);
  for (int32_t i = 0; i < n; ++i) {
    TClothPoint& p = points[i];
    p.Pos = p.NewPos;
    p.Vel = p.NewVel;
    p.NewVel = ZeroVector;
    p.NewPos = ZeroVector;
  }
  return n;
}

namespace {

// signed 32-bit arithmetic that wraps instead of overflowing, so the
// numbering rules are defined for every argument and equal on every target
int32_t Wrap(uint32_t value) { return static_cast<int32_t>(value); }
uint32_t Bits(int32_t value) { return static_cast<uint32_t>(value); }

}  // namespace

int32_t SphereIndex(int32_t u, int32_t v, int32_t n) {
  if (v == 0) return 0;
  // u + (v - 1)(n - 1) + 1
  return Wrap(Bits(u) + (Bits(v) - 1u) * (Bits(n) - 1u) + 1u);
}

// u + v n
int32_t SheetIndex(int32_t u, int32_t v, int32_t n) { return Wrap(Bits(u) + Bits(v) * Bits(n)); }

// u + v(n - 1)
int32_t WrapIndex(int32_t u, int32_t v, int32_t n) { return Wrap(Bits(u) + Bits(v) * (Bits(n) - 1u)); }

namespace {

constexpr uint8_t kModeSphere = TUMELIN_MODE_SPHERE;
constexpr uint8_t kModeTorus = TUMELIN_MODE_TORUS;
constexpr uint8_t kModeSheet = TUMELIN_MODE_SHEET;
constexpr uint8_t kModeTube = TUMELIN_MODE_TUBE;
constexpr int32_t kGridRows = TUMELIN_GRID_ROWS;

// the counts break the record's limits: nothing may be written
constexpr int64_t kOutOfBounds = -1;

// C(u, v) := P(i), a 24-byte bit copy (no load into a floating-point register)
void CopyPoint(TSurfaceGrid* grid, int32_t u, int32_t v, const TClothPoint* points, int32_t i) {
  std::memcpy(TumelinGridCell(grid, u, v), &points[i].Pos, sizeof(TDbl3D));
}

// C(toU, toV) := C(fromU, fromV); both may be the same cell
void CopyCell(TSurfaceGrid* grid, int32_t toU, int32_t toV, int32_t fromU, int32_t fromV) {
  std::memmove(TumelinGridCell(grid, toU, toV), TumelinGridCell(grid, fromU, fromV), sizeof(TDbl3D));
}

// the seam copy of row v: C(U - 1, v) := C(0, v)
void CopySeam(TSurfaceGrid* grid, int32_t countU, int32_t v) { CopyCell(grid, countU - 1, v, 0, v); }

// how many points (0 .. N - 1) a mode reads, in 64 bits so that no count can
// wrap into a small number; kOutOfBounds when a row beyond 257 or, in the
// modes with seams, poles or a closing row, a column or row before the first
// would be written. the columns are not checked: the host knows its record.
int64_t PointsRead(uint8_t mode, int32_t countU, int32_t countV) {
  const int64_t u = countU;
  const int64_t v = countV;
  switch (mode) {
    case kModeSphere:
    case kModeTorus:
    case kModeTube:
      if (u < 1 || v < 1 || v > kGridRows) return kOutOfBounds;
      if (mode == kModeSphere) return v == 1 ? 1 : (v - 2) * (u - 1) + 2;
      if (mode == kModeTorus) return (u - 1) * (v - 1);
      return (u - 1) * v;
    case kModeSheet:
      if (u <= 0 || v <= 0) return 0;
      if (v > kGridRows) return kOutOfBounds;
      return u * v;
    default:
      return 0;
  }
}

// closed surface: row 0 and row V - 1 are the poles, rings in between
void WriteSphere(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t u = 0; u <= countU - 1; ++u) CopyPoint(grid, u, 0, points, 0);
  for (int32_t v = 1; v <= countV - 2; ++v) {
    for (int32_t u = 0; u <= countU - 2; ++u) CopyPoint(grid, u, v, points, SphereIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
  const int32_t pole = SphereIndex(0, countV - 1, countU);
  for (int32_t u = 0; u <= countU - 1; ++u) CopyPoint(grid, u, countV - 1, points, pole);
}

// torus: the closing row repeats row 0 as it stands after every ring is written
void WriteTorus(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v <= countV - 2; ++v) {
    for (int32_t u = 0; u <= countU - 2; ++u) CopyPoint(grid, u, v, points, WrapIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
  for (int32_t u = 0; u <= countU - 1; ++u) CopyCell(grid, u, countV - 1, u, 0);
}

// open sheet: every cell its own point
void WriteSheet(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v <= countV - 1; ++v) {
    for (int32_t u = 0; u <= countU - 1; ++u) CopyPoint(grid, u, v, points, SheetIndex(u, v, countU));
  }
}

// tube: rings joined around, first and last row open
void WriteTube(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v <= countV - 1; ++v) {
    for (int32_t u = 0; u <= countU - 2; ++u) CopyPoint(grid, u, v, points, WrapIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
}

}  // namespace

void WriteSurfaceGrid(TSurfaceGrid* Grid, TClothPointArray* PointsVar) {
  if (Grid == nullptr || PointsVar == nullptr) return;
  const uint8_t mode = Grid->Mode;
  const int32_t countU = Grid->CountU;
  const int32_t countV = Grid->CountV;

  // a call that would write outside the record or read points that do not
  // exist leaves the grid as it is
  const int64_t needed = PointsRead(mode, countU, countV);
  if (needed == kOutOfBounds) return;
  const TClothPoint* points = *PointsVar;
  if (needed > 0 && (points == nullptr || ArrayCount(points) < needed)) return;

  switch (mode) {
    case kModeSphere:
      WriteSphere(Grid, points, countU, countV);
      break;
    case kModeTorus:
      WriteTorus(Grid, points, countU, countV);
      break;
    case kModeSheet:
      WriteSheet(Grid, points, countU, countV);
      break;
    case kModeTube:
      WriteTube(Grid, points, countU, countV);
      break;
    default:
      // modes 4-255 select nothing
      break;
  }
}

}  // namespace tumelin
