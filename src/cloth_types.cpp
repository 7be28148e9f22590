#include "cloth_types.h"

#include "dbl3d.h"

namespace tumelin {

int32_t ShiftStates(TClothPointArray* PointsVar) {
  TClothPoint* points = *PointsVar;
  const int32_t n = ArrayCount(points);
  for (int32_t i = 0; i < n; ++i) {
    TClothPoint& p = points[i];
    p.Pos = p.NewPos;
    p.Vel = p.NewVel;
    p.NewVel = ZeroVector;
    p.NewPos = ZeroVector;
  }
  return n;
}

// placeholder until the write-back lands
int32_t SphereIndex(int32_t u, int32_t v, int32_t n) { return v == 0 ? 0 : u + (v - 1) * (n - 1) + 1; }
int32_t SheetIndex(int32_t u, int32_t v, int32_t n) { return u + v * n; }
int32_t WrapIndex(int32_t u, int32_t v, int32_t n) { return u + v * (n - 1); }
void WriteSurfaceGrid(TSurfaceGrid*, TClothPointArray*) {}

}  // namespace tumelin
