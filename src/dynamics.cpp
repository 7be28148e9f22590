#include "dynamics.h"

#include "cloth_types.h"
#include "lanes.h"
#include "step_lanes.h"

#if TUMELIN_HAS_AVX_PATH
#include <cpuid.h>
#endif

namespace tumelin {

namespace {

// element count of a host array as an unsigned bound (a negative header counts as empty)
uint32_t IndexBound(const void* first) {
  const int32_t count = ArrayCount(first);
  return count > 0 ? static_cast<uint32_t>(count) : 0u;
}

#if TUMELIN_HAS_AVX_PATH
// CPUID: the CPU has AVX and the operating system uses XSAVE; XGETBV: it saves
// the SSE and the upper AVX register halves on a task switch
bool DetectAvx() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  constexpr unsigned int kOsXsave = 1u << 27, kAvx = 1u << 28;
  if ((ecx & (kOsXsave | kAvx)) != (kOsXsave | kAvx)) return false;
  unsigned int low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  (void)high;
  constexpr unsigned int kSseAndAvxState = 0x6;
  return (low & kSseAndAvxState) == kSseAndAvxState;
}
#else
// WebAssembly: SIMD pairs only
bool DetectAvx() { return false; }
#endif

// checked once, when the library is loaded
const bool kHasAvx = DetectAvx();

}  // namespace

bool AvxAvailable() { return kHasAvx; }

int32_t StepMembraneOn(StepPath path, TClothPointArray* PointsVar, TClothFaceArray* FacesVar,
                       const TClothSetup* Setup) {
  if (PointsVar == nullptr || FacesVar == nullptr || Setup == nullptr) return 0;

  TClothPoint* points = *PointsVar;
  TClothFace* faces = *FacesVar;
  const StepContext step{points, ArrayCount(points), IndexBound(points),
                         faces,  ArrayCount(faces),  IndexBound(faces),
                         Setup,  Setup->ClothK0,     Setup->ClothK1};
  // the instruction set is picked once for the whole step
#if TUMELIN_HAS_AVX_PATH
  if (path == StepPath::kAvx && kHasAvx) {
    StepLanesAvx(step, Setup->ClothMethod);
  } else {
    StepLanesSse2(step, Setup->ClothMethod);
  }
#else
  (void)path;
  StepLanesSse2(step, Setup->ClothMethod);
#endif

  // nothing wrote Pos or Vel until here: every point moved from the same snapshot
  return ShiftStates(PointsVar);
}

int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup) {
  return StepMembraneOn(kHasAvx ? StepPath::kAvx : StepPath::kSse2, PointsVar, FacesVar, Setup);
}

}  // namespace tumelin
