#include "cloth_types.h"

namespace tumelin {

// placeholder until the write-back lands
int32_t SphereIndex(int32_t u, int32_t v, int32_t n) { return v == 0 ? 0 : u + (v - 1) * (n - 1) + 1; }
int32_t SheetIndex(int32_t u, int32_t v, int32_t n) { return u + v * n; }
int32_t WrapIndex(int32_t u, int32_t v, int32_t n) { return u + v * (n - 1); }
int32_t ShiftStates(TClothPointArray*) { return 0; }
void WriteSurfaceGrid(TSurfaceGrid*, TClothPointArray*) {}

}  // namespace tumelin
