// The arithmetic bound of one step: the square roots and divisions that the
// formulas of a step need on a given membrane, counted from its records, and
// kernels that perform that many of them with no dependency between any two,
// as scalar, packed SSE2 (2 lanes) and 4-wide AVX instructions. What the
// kernels cost is the least a step can cost on this CPU.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

#include "bench_spheres.h"
#include "membrane.h"

namespace tumelin::bench {

struct OperationCount {
  int64_t sqrts = 0;
  int64_t divisions = 0;
};

// What one step of `membrane` needs with `evaluations` force evaluations per
// free point (1 Euler, 2 Heun, 4 RK4), of which `cappedPoints` free points
// hit the acceleration limit:
// - per face: the face normal normalises both edges (2 roots, 6 divisions);
// - per free point with faces: the mean normal's normalisation, once per step
//   since it does not depend on the trial position (1 root, 3 divisions);
// - per used link and evaluation: the length, reused for the direction
//   (1 root, 3 divisions);
// - per evaluation: the division by the mass (3 divisions) and the limit's
//   length (1 root), and for a capped point its normalisation (3 divisions);
// - RK4 only: the final division by 6 of position and velocity (6 divisions);
//   divisions by 2 are exact multiplications by 0.5 and count nothing.
OperationCount CountStepOperations(const Membrane& membrane, int32_t evaluations, int64_t cappedPoints);

// free points whose acceleration before damping reaches the limit, read
// from one Euler step through the plug-in's entry: with a = (NewVel - Vel) / h
// the limited acceleration is a + ClothC * Vel, of length 0.48 when capped.
// The membrane's state is left as it was.
int64_t CappedPoints(const TPluginExecZR72 step, Membrane& membrane, const TClothSetup& euler);

// the kernels: every square root and division independent of the others,
// so that only the units' throughput limits them
void ScalarBound(OperationCount count);
void Sse2Bound(OperationCount count);
// needs HasAvx()
void AvxBound(OperationCount count);
// the CPU and the operating system support 256-bit AVX (CPUID and XGETBV)
bool HasAvx();

// The memory floor of one step: every load and store a step of `membrane`
// makes on the host's records, in the step's order, with next to no
// arithmetic (each value read is added once): the faces' corners and
// normals, each point's record, its face list and those faces' normals, its
// links and their targets' Pos, NewPos and NewVel written, then the shift.
// The values written are those already there (sums times zero, which the
// compiler must compute), so the membrane's state keeps every bit; the face
// normals are left zero, as a step recomputes them first.
void MemoryTraffic(Membrane& membrane);

}  // namespace tumelin::bench
