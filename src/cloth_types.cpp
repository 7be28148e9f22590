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
    p.NewVel = kZeroVector;
    p.NewPos = kZeroVector;
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

// 348165: a 32-bit host's record is one object of at most 2^31 - 1 bytes,
// so more columns cannot be a record, and every cell offset fits 32 bits
constexpr int32_t kMaxGridColumns = TUMELIN_GRID_MAX_COLUMNS;

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

// true when the mode writes anything with these counts and every cell it
// names can lie in a record: 1 to 257 rows and 1 to kMaxGridColumns columns.
// a sheet with no rows or columns is empty; the modes with seams, poles or a
// closing row would write before the first column or row. every limit is
// checked here, before any loop, so no loop bound can overflow and no loop
// walks rows or columns that cannot exist
bool WritesWithinLimits(uint8_t mode, int32_t countU, int32_t countV) {
  if (mode > kModeTube) return false;  // modes 4-255 select nothing
  return countU >= 1 && countU <= kMaxGridColumns && countV >= 1 && countV <= kGridRows;
}

// closed surface: row 0 and row V - 1 are the poles, rings in between
void WriteSphere(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t u = 0; u < countU; ++u) CopyPoint(grid, u, 0, points, 0);
  for (int32_t v = 1; v + 1 < countV; ++v) {
    for (int32_t u = 0; u + 1 < countU; ++u) CopyPoint(grid, u, v, points, SphereIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
  const int32_t pole = SphereIndex(0, countV - 1, countU);
  for (int32_t u = 0; u < countU; ++u) CopyPoint(grid, u, countV - 1, points, pole);
}

// torus: the closing row repeats row 0 as it stands after every ring is written
void WriteTorus(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v + 1 < countV; ++v) {
    for (int32_t u = 0; u + 1 < countU; ++u) CopyPoint(grid, u, v, points, WrapIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
  for (int32_t u = 0; u < countU; ++u) CopyCell(grid, u, countV - 1, u, 0);
}

// open sheet: every cell its own point
void WriteSheet(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v < countV; ++v) {
    for (int32_t u = 0; u < countU; ++u) CopyPoint(grid, u, v, points, SheetIndex(u, v, countU));
  }
}

// tube: rings joined around, first and last row open
void WriteTube(TSurfaceGrid* grid, const TClothPoint* points, int32_t countU, int32_t countV) {
  for (int32_t v = 0; v < countV; ++v) {
    for (int32_t u = 0; u + 1 < countU; ++u) CopyPoint(grid, u, v, points, WrapIndex(u, v, countU));
    CopySeam(grid, countU, v);
  }
}

}  // namespace

void WriteSurfaceGrid(TSurfaceGrid* Grid, TClothPointArray* PointsVar) {
  if (Grid == nullptr || PointsVar == nullptr) return;
  const uint8_t mode = Grid->Mode;
  const int32_t countU = Grid->CountU;
  const int32_t countV = Grid->CountV;

  // a call that would write outside any record or read points that do not
  // exist leaves the grid as it is
  if (!WritesWithinLimits(mode, countU, countV)) return;
  const TClothPoint* points = *PointsVar;
  const int64_t needed = PointsRead(mode, countU, countV);
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
