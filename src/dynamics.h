// Dynamics: the step of the whole membrane. The driver is dynamics.cpp; the
// face normals, the force model and the three integrators live in
// sweep_lanes.h, compiled once per instruction set (step_sweep.h), and take their
// trial positions from the stage providers (stage_providers.h). tests/support/reference_step.h writes the
// same step point by point in the terms of the contract (StepEuler, StepHeun, StepRK4, ComputeAcceleration
// over StageBlock), and the tests hold the sweeps to its bits.
//
// What a step means for a membrane:
// - Every point is advanced on its own against a snapshot of the start of the
//   step: its neighbours' Pos, the face normals and its own Vel (for the
//   damping) stay frozen through all stages of its integrator; only its own
//   trial position changes. For an undamped point whose neighbours hold still
//   that is exact and RK4 is fourth order. On a membrane the neighbours move
//   during the step, and the frozen snapshot caps every method at second
//   order (the frozen Vel makes the damping first order). On a chain of two
//   free points on one spring, RK4 is no more accurate than Heun: over 400
//   steps the largest position error against the exact coupled motion is
//   2.0e-3 Euler (mostly gravity, which it takes to first order), 3.5e-4
//   Heun, 3.5e-4 RK4. RK4's four force evaluations buy little over Heun's two.
// - The damping is explicit, the same in all three integrators: without other
//   forces a step multiplies Vel by (1 - 0.005 ClothC). Above ClothC = 200 the
//   velocity changes sign every step; at ClothC = 400 (0.005 ClothC = 2) it no
//   longer decays, and above that it grows without bound: a unit sphere of
//   17x9 points reaches a volume of 3e142 in 300 steps at ClothC = 500 and
//   NaN at ClothC = 700.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

#include "model_constants.h"

namespace tumelin {

// The force on one point at a trial position: springs to the linked points'
// Pos, pressure along the mean face normal, mass 0.001, gravity 0.4 along -Z,
// the acceleration limit 0.48, then damping by Vel (not limited, so the
// result may be longer than the limit).
//
// The mean face normal is the normalized sum of the stored normals of the
// point's adjacent faces. A stored normal is not a unit vector: its length is
// the sine of the angle at the face's FIRST corner (FaceNormal), and that is
// the face's weight in the sum. So a right-angled first corner counts fully,
// an equilateral face 0.87, a sliver's sharp first corner almost not at all,
// and listing the same face from another corner (same winding) changes its
// weight, not its direction. Face areas play no part.
//
// The pressure push has the size 0.008 |ClothP| at every point that has a
// mean normal, whatever the area of the faces around it: it is a force per
// point, not per area. The same surface cut into a finer grid has more points
// pushing against springs of the same stiffness, so it inflates further (a
// unit sphere after 1000 steps at the defaults: 17x9 points about 4.0 in
// volume, 257x129 about 13.8).
//
// At the default settings nearly every evaluation is limited: the pressure
// alone asks for 4 (0.008 * 0.5 / 0.001), and a spring of stiffness 5 stretched
// by 1e-4 for 0.5. While it inflates, the 0.48 limit then sets how fast the
// membrane grows (after 50 steps a 65x33 sphere's volume is the same to
// within 0.02 % for stiffness 0.05, 0.5 and 5), and the damping keeps every
// speed below about 0.48 / ClothC. The stiffness decides where it comes to
// rest, and also how fast a membrane moving as a whole may move under Heun
// and RK4: their trial positions move one point against neighbours frozen at
// the start of the step, so the springs resist even a rigid fall, the stiffer
// the more (docs/settings.md measures it).
//
// Host arrays are reached through the host variables PointsVar (#points,
// stride sizeof(TClothPoint)) and FacesVar (#faces, stride 40); both variables
// must exist, a null array in them is empty. Indices the host should keep valid
// are checked anyway: a link Target or a Faces entry outside its array is
// skipped, a face with a corner outside the point array gets the zero normal,
// and LinkCount never reaches past the Links array.

// one step of the whole membrane (the body of PluginExecZR72): face normals,
// then every point in index order (pinned: NewPos := Pos, and its Vel becomes
// the NewVel it held, zero after a step; free: the integrator ClothMethod
// selects, TUMELIN_METHOD_*, any other value Euler), then ShiftStates. Returns the number
// of points; a null PointsVar, FacesVar or Setup does nothing and returns 0.
// The free points are advanced by sweeps that take each point's links, mean
// normal and damping term once per step and evaluate in SIMD lanes. Each
// point's stages live in the sweep's own locals: a step keeps nothing at
// library scope, so two threads may step two membranes at once.
int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup);

// The instruction set StepMembrane computes with: SSE2 pairs on every CPU of
// both targets, AVX quadruples where CPUID and XGETBV (checked once at load)
// say the CPU and the operating system have it. Both give the same bits.
enum class StepPath { kSse2, kAvx };
bool AvxAvailable();
// StepMembrane on the given path; kAvx runs on SSE2 where AVX is unavailable
int32_t StepMembraneOn(StepPath path, TClothPointArray* PointsVar, TClothFaceArray* FacesVar,
                       const TClothSetup* Setup);

}  // namespace tumelin
