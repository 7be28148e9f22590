#include "dynamics.h"

#include <cpuid.h>

#include <type_traits>

#include "cloth_types.h"
#include "dbl3d.h"
#include "lanes.h"

namespace tumelin {

namespace {

// element count of a host array as an unsigned bound (a negative header counts as empty)
uint32_t IndexBound(const void* first) {
  const int32_t count = ArrayCount(first);
  return count > 0 ? static_cast<uint32_t>(count) : 0u;
}

// one unsigned compare rejects negative and too-large indices alike
bool InRange(int32_t index, uint32_t bound) { return static_cast<uint32_t>(index) < bound; }

// v / s, three divisions
TDbl3D VecDivide(TDbl3D v, double s) { return {v.X / s, v.Y / s, v.Z / s}; }

}  // namespace

// ---- stage providers ------------------------------------------------------

TDbl3D TrialStart(const TDbl3D* stages) { return stages[0]; }

TDbl3D TrialPredictor(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[1], TimeStep)); }

TDbl3D TrialMid1(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[1], 0.5)); }

TDbl3D TrialMid2(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[2], 0.5)); }

TDbl3D TrialEnd3(const TDbl3D* stages) { return VecAdd(stages[0], stages[3]); }

// ---- face normals -----------------------------------------------------------

namespace {

// FaceNormal of the face's corners; a corner outside the point array leaves
// the face without a normal
TDbl3D FaceNormalOf(const TClothPoint* points, uint32_t pointBound, const TClothFace* face) {
  if (!InRange(face->P0, pointBound) || !InRange(face->P1, pointBound) || !InRange(face->P2, pointBound))
    return ZeroVector;
  return FaceNormal(points[face->P0].Pos, points[face->P1].Pos, points[face->P2].Pos);
}

}  // namespace

void UpdateFaceNormal(TClothPointArray* PointsVar, TClothFace* face) {
  const TClothPoint* points = *PointsVar;
  face->Normal = FaceNormalOf(points, IndexBound(points), face);
}

void UpdateFaceNormals(TClothPointArray* PointsVar, TClothFaceArray* FacesVar) {
  const TClothPoint* points = *PointsVar;
  const uint32_t pointBound = IndexBound(points);
  TClothFace* faces = *FacesVar;
  const int32_t faceCount = ArrayCount(faces);
  for (int32_t i = 0; i < faceCount; ++i) faces[i].Normal = FaceNormalOf(points, pointBound, &faces[i]);
}

// ---- force model ------------------------------------------------------------

namespace {

// the sum of the stored normals of the point's adjacent faces in list order;
// an index outside the face array is skipped
TDbl3D FaceNormalSum(const TClothPoint* point, const TClothFace* faces, uint32_t faceBound) {
  const int32_t adjacentCount = ArrayCount(point->Faces);
  TDbl3D sum = ZeroVector;
  for (int32_t i = 0; i < adjacentCount; ++i) {
    const int32_t face = point->Faces[i];
    if (!InRange(face, faceBound)) continue;
    VecAccumulate(sum, faces[face].Normal);
  }
  return sum;
}

// the links that take part: LinkCount, never reaching past the Links array
int32_t UsedLinkCount(const TClothPoint* point) {
  const int32_t linksHeld = ArrayCount(point->Links);
  return point->LinkCount > linksHeld ? linksHeld : point->LinkCount;
}

}  // namespace

TDbl3D MeanFaceNormal(const TClothPoint* point, TClothFaceArray* FacesVar) {
  const TClothFace* faces = *FacesVar;
  // zero when the point has no faces or their normals cancel
  return VecNormalize(FaceNormalSum(point, faces, IndexBound(faces)));
}

namespace {

// What a point brings to every evaluation of one step: the links that take
// part, the pressure push of 0.008 ClothP against the mean normal of its
// faces (the same size at every point whatever the area around it) and the
// damping term ClothC Vel.
struct TPointTerms {
  const TClothLink* links;
  int32_t linkCount;
  TDbl3D push;
  TDbl3D damping;
};

}  // namespace

// ---- integrators --------------------------------------------------------------

// Every stage moves only the point's own trial position: the neighbours' Pos,
// the face normals and the Vel of the damping term stay those of the start of
// the step. So the damping is explicit Euler in all three methods, and once
// the neighbours move, RK4 and Heun are both second order (see dynamics.h).
//
// The stage formulas below take the blocks they fill as arguments: the
// reference integrators hand them StageBlock and VelStageBlock, the step
// driver's sweeps blocks of their own that they copy out after each point.

namespace {

// semi-implicit Euler: the position moves with the new velocity
void EulerFinish(TClothPoint* point, TDbl3D a, TDbl3D pos, TDbl3D vel) {
  const TDbl3D newVel = VecAdd(VecScale(a, TimeStep), vel);
  point->NewVel = newVel;
  point->NewPos = VecAdd(VecScale(newVel, TimeStep), pos);
}

// predictor: rates at the start, s[1] the velocity that moves the trial position
void HeunBegin(TDbl3D* s, TDbl3D* v, TDbl3D pos, TDbl3D vel) {
  s[0] = pos;
  v[0] = vel;
  s[1] = v[0];
}

// a1 at pos, a2 at pos + h vel; mean of the two rates: ((r1 + r2) h) / 2 + start
void HeunFinish(TDbl3D* s, TDbl3D* v, TClothPoint* point, TDbl3D a1, TDbl3D a2) {
  v[1] = a1;
  v[2] = a2;
  s[2] = VecAdd(VecScale(v[1], TimeStep), v[0]);
  point->NewVel = VecAdd(VecDivide(VecScale(VecAdd(v[1], v[2]), TimeStep), 2.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecScale(VecAdd(s[1], s[2]), TimeStep), 2.0), s[0]);
}

// k1x = h vel
void Rk4Begin(TDbl3D* s, TDbl3D* v, TDbl3D pos, TDbl3D vel) {
  s[0] = pos;
  v[0] = vel;
  s[1] = VecScale(v[0], TimeStep);
}

// kNv = h aN, and the position term that follows from it:
// k2x = (k1v / 2 + vel) h, k3x = (k2v / 2 + vel) h, k4x = (vel + k3v) h
void Rk4Record(TDbl3D* s, TDbl3D* v, int stage, TDbl3D a) {
  v[stage] = VecScale(a, TimeStep);
  if (stage < 3) s[stage + 1] = VecScale(VecAdd(VecDivide(v[stage], 2.0), v[0]), TimeStep);
  if (stage == 3) s[4] = VecScale(VecAdd(v[0], v[3]), TimeStep);
}

// ((k2 + k3) 2 + k1 + k4) / 6 + start; inlined into the sweeps, which then
// divide in the registers of their own instruction set
[[gnu::always_inline]] inline void Rk4Finish(const TDbl3D* s, const TDbl3D* v, TClothPoint* point) {
  point->NewVel = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(v[2], v[3]), 2.0), v[1]), v[4]), 6.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(s[2], s[3]), 2.0), s[1]), s[4]), 6.0), s[0]);
}

// what every sweep of one step reads: the host arrays, the settings and the
// stepping thread's stage storage, fetched once per step
struct TStepContext {
  TClothPoint* points;
  int32_t pointCount;
  uint32_t pointBound;
  TClothFace* faces;
  int32_t faceCount;
  uint32_t faceBound;
  const TClothSetup* setup;
  double k0, k1;
  TDbl3D* stages;
  TDbl3D* velStages;
};

// the step's formulas over lanes, compiled for the baseline of both targets:
// double lanes for the reference functions, SSE2 pairs for the sweeps
namespace sse2 {
#include "step_lanes.h"
}  // namespace sse2

TPointTerms PointTerms(const TClothPoint* point, TClothFaceArray* FacesVar, const TClothSetup* Setup) {
  TPointTerms terms;
  terms.links = point->Links;
  terms.linkCount = UsedLinkCount(point);
  terms.push = sse2::Vector(sse2::PressurePush(sse2::Lanes(MeanFaceNormal(point, FacesVar)), Setup->ClothP));
  terms.damping = sse2::Vector(sse2::DampingTerm(sse2::Lanes(point->Vel), Setup->ClothC));
  return terms;
}

// the same sweeps compiled for AVX, four lanes: four spring entries at a time
// (Euler four links, Heun and RK4 two links at their two trial positions
// each), four points' pushes and damping terms, four accelerations, four
// face normals
namespace avx {
TUMELIN_AVX_BEGIN
#include "step_lanes.h"
TUMELIN_AVX_END
}  // namespace avx

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

// checked once, when the library is loaded
const bool kHasAvx = DetectAvx();

}  // namespace

TDbl3D LimitAcceleration(TDbl3D a) { return sse2::Vector(sse2::LimitedAcceleration(sse2::Lanes(a))); }

TDbl3D ComputeAcceleration(TClothPointArray* PointsVar, const TClothPoint* point, TClothFaceArray* FacesVar,
                           TStageProvider provider, const TClothSetup* Setup) {
  const TClothPoint* points = *PointsVar;
  const uint32_t pointBound = IndexBound(points);
  const TPointTerms terms = PointTerms(point, FacesVar, Setup);
  // StageBlock is constant during one evaluation, so one trial position
  // serves every link; without a link that takes part it is not asked for
  const TDbl3D trial = terms.linkCount > 0 ? provider(StageBlock) : ZeroVector;
  return sse2::AccelerationAt(points, pointBound, terms, trial, Setup->ClothK0, Setup->ClothK1);
}

void StepEuler(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
               const TClothSetup* Setup) {
  const TDbl3D pos = point->Pos;
  const TDbl3D vel = point->Vel;
  StageBlock[0] = pos;
  EulerFinish(point, ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup), pos, vel);
}

void StepHeun(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
              const TClothSetup* Setup) {
  TDbl3D* s = StageBlock;
  TDbl3D* v = VelStageBlock;
  HeunBegin(s, v, point->Pos, point->Vel);
  const TDbl3D a1 = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  // corrector: rates at pos + h vel
  const TDbl3D a2 = ComputeAcceleration(PointsVar, point, FacesVar, TrialPredictor, Setup);
  HeunFinish(s, v, point, a1, a2);
}

// fourth order for a point among pinned neighbours without damping; on a
// moving membrane no more accurate than StepHeun at twice the cost
void StepRK4(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
             const TClothSetup* Setup) {
  TDbl3D* s = StageBlock;
  TDbl3D* v = VelStageBlock;
  Rk4Begin(s, v, point->Pos, point->Vel);
  // k1v = h a(pos); k2v = h a(pos + k1x / 2); k3v = h a(pos + k2x / 2); k4v = h a(pos + k3x)
  Rk4Record(s, v, 1, ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup));
  Rk4Record(s, v, 2, ComputeAcceleration(PointsVar, point, FacesVar, TrialMid1, Setup));
  Rk4Record(s, v, 3, ComputeAcceleration(PointsVar, point, FacesVar, TrialMid2, Setup));
  Rk4Record(s, v, 4, ComputeAcceleration(PointsVar, point, FacesVar, TrialEnd3, Setup));
  Rk4Finish(s, v, point);
}

// ---- step driver --------------------------------------------------------------

bool AvxAvailable() { return kHasAvx; }

int32_t StepMembraneOn(TStepPath path, TClothPointArray* PointsVar, TClothFaceArray* FacesVar,
                       const TClothSetup* Setup) {
  if (PointsVar == nullptr || FacesVar == nullptr || Setup == nullptr) return 0;

  TClothPoint* points = *PointsVar;
  TClothFace* faces = *FacesVar;
  const TStepContext step{
      points, ArrayCount(points), IndexBound(points), faces,      ArrayCount(faces), IndexBound(faces),
      Setup,  Setup->ClothK0,     Setup->ClothK1,     StageBlock, VelStageBlock};
  // the face normals first: every evaluation of this step sees the normals
  // of the start-of-step positions
  if (path == TStepPath::kAvx && kHasAvx) {
    avx::Sweep<Pack4>(step, Setup->ClothMethod);
  } else {
    sse2::Sweep<Pack2>(step, Setup->ClothMethod);
  }

  // nothing wrote Pos or Vel until here: every point moved from the same snapshot
  return ShiftStates(PointsVar);
}

int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup) {
  return StepMembraneOn(kHasAvx ? TStepPath::kAvx : TStepPath::kSse2, PointsVar, FacesVar, Setup);
}

}  // namespace tumelin
