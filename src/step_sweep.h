// The sweeps: what the step driver (dynamics.cpp) hands them and the two
// instruction sets they are compiled for. One implementation, written over
// lane types in sweep_lanes.h, is compiled once per instruction set:
// sweep_sse2.cpp for the baseline of both targets, sweep_avx.cpp for AVX.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

namespace tumelin {

// what every sweep of one step reads: the host arrays and the settings,
// fetched once per step. A bound is the element count as an unsigned number
// (a null array or a negative header counts as empty).
struct StepContext {
  TClothPoint* points;
  int32_t pointCount;
  uint32_t pointBound;
  TClothFace* faces;
  int32_t faceCount;
  uint32_t faceBound;
  const TClothSetup* setup;
  double k0, k1;
};

// Every face's Normal from the start-of-step positions, then the free points
// of the step into NewPos and NewVel by the integrator `method` selects
// (TUMELIN_METHOD_*, any other value Euler); pinned points get NewPos := Pos. Both
// give the same bits.
// SSE2 pairs: runs on every CPU of both targets
void SweepSse2(const StepContext& step, int32_t method);
// AVX quadruples: only where the CPU and the operating system have AVX
void SweepAvx(const StepContext& step, int32_t method);

}  // namespace tumelin
