#include "dynamics.h"

#include "cloth_types.h"
#include "dbl3d.h"

namespace tumelin {

thread_local TDbl3D StageBlock[5];
thread_local TDbl3D VelStageBlock[5];

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

using TIntegrator = void (*)(TClothPointArray*, TClothPoint*, TClothFaceArray*, const TClothSetup*);

// 1 heun, 2 runge-kutta 4, anything else euler
TIntegrator SelectIntegrator(int32_t method) {
  switch (method) {
    case 1:
      return StepHeun;
    case 2:
      return StepRK4;
    default:
      return StepEuler;
  }
}

}  // namespace

// ---- stage providers ------------------------------------------------------

TDbl3D TrialStart(const TDbl3D* stages) { return stages[0]; }

TDbl3D TrialPredictor(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[1], TimeStep)); }

TDbl3D TrialMid1(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[1], 0.5)); }

TDbl3D TrialMid2(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[2], 0.5)); }

TDbl3D TrialEnd3(const TDbl3D* stages) { return VecAdd(stages[0], stages[3]); }

// ---- face normals -----------------------------------------------------------

void UpdateFaceNormal(TClothPointArray* PointsVar, TClothFace* face) {
  const TClothPoint* points = *PointsVar;
  const uint32_t pointBound = IndexBound(points);
  // a corner outside the point array leaves the face without a normal
  if (!InRange(face->P0, pointBound) || !InRange(face->P1, pointBound) || !InRange(face->P2, pointBound)) {
    face->Normal = ZeroVector;
    return;
  }
  face->Normal = FaceNormal(points[face->P0].Pos, points[face->P1].Pos, points[face->P2].Pos);
}

void UpdateFaceNormals(TClothPointArray* PointsVar, TClothFaceArray* FacesVar) {
  TClothFace* faces = *FacesVar;
  const int32_t faceCount = ArrayCount(faces);
  for (int32_t i = 0; i < faceCount; ++i) UpdateFaceNormal(PointsVar, &faces[i]);
}

// ---- force model ------------------------------------------------------------

TDbl3D MeanFaceNormal(const TClothPoint* point, TClothFaceArray* FacesVar) {
  const TClothFace* faces = *FacesVar;
  const uint32_t faceBound = IndexBound(faces);
  const int32_t adjacentCount = ArrayCount(point->Faces);
  TDbl3D sum = ZeroVector;
  for (int32_t i = 0; i < adjacentCount; ++i) {
    const int32_t face = point->Faces[i];
    if (!InRange(face, faceBound)) continue;
    VecAccumulate(sum, faces[face].Normal);
  }
  // zero when the point has no faces or their normals cancel
  return VecNormalize(sum);
}

TDbl3D LimitAcceleration(TDbl3D a) {
  // keeps the direction; strictly longer only, so exactly 0.48 keeps its bits
  if (VecLength(a) > AccelerationLimit) return VecScale(VecNormalize(a), AccelerationLimit);
  return a;
}

TDbl3D ComputeAcceleration(TClothPointArray* PointsVar, const TClothPoint* point, TClothFaceArray* FacesVar,
                           TStageProvider provider, const TClothSetup* Setup) {
  const TClothPoint* points = *PointsVar;
  const uint32_t pointBound = IndexBound(points);
  TDbl3D force = ZeroVector;

  // springs: LinkCount never reaches past the Links array
  int32_t linkCount = point->LinkCount;
  const int32_t linksHeld = ArrayCount(point->Links);
  if (linkCount > linksHeld) linkCount = linksHeld;
  if (linkCount > 0) {
    // StageBlock is constant during one evaluation, so one trial position serves every link
    const TDbl3D trial = provider(StageBlock);
    for (int32_t j = 0; j < linkCount; ++j) {
      const TClothLink& link = point->Links[j];
      if (!InRange(link.Target, pointBound)) continue;
      const TDbl3D toTarget = VecSub(points[link.Target].Pos, trial);
      const double extension = VecLength(toTarget) - link.RestLength;
      // a stretched spring pulls with K0; one at or below its rest length pushes with K1
      const double tension = extension > 0.0 ? extension * Setup->ClothK0 : extension * Setup->ClothK1;
      VecAccumulate(force, VecScale(VecNormalize(toTarget), tension));
    }
  }

  // pressure: a push of 0.008 ClothP against the mean normal of the adjacent
  // faces, the same size at every point whatever the area around it
  const TDbl3D normal = MeanFaceNormal(point, FacesVar);
  force.X = (normal.X * Setup->ClothP) * PressureScale + force.X;
  force.Y = (normal.Y * Setup->ClothP) * PressureScale + force.Y;
  force.Z = (normal.Z * Setup->ClothP) * PressureScale + force.Z;

  // a = F / m, gravity along -z
  const TDbl3D acceleration =
      LimitAcceleration({force.X / PointMass, force.Y / PointMass, force.Z / PointMass - Gravity});

  // damping by the start-of-step velocity, after the limit; explicit, so it
  // stops decaying at 0.005 ClothC = 2 and diverges above
  return VecSub(acceleration, VecScale(point->Vel, Setup->ClothC));
}

// ---- integrators --------------------------------------------------------------

// Every stage moves only the point's own trial position: the neighbours' Pos,
// the face normals and the Vel of the damping term stay those of the start of
// the step. So the damping is explicit Euler in all three methods, and once
// the neighbours move, RK4 and Heun are both second order (see dynamics.h).

void StepEuler(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
               const TClothSetup* Setup) {
  const TDbl3D pos = point->Pos;
  const TDbl3D vel = point->Vel;
  StageBlock[0] = pos;
  const TDbl3D a = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  // semi-implicit: the position moves with the new velocity
  point->NewVel = VecAdd(VecScale(a, TimeStep), vel);
  point->NewPos = VecAdd(VecScale(point->NewVel, TimeStep), pos);
}

void StepHeun(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
              const TClothSetup* Setup) {
  const TDbl3D pos = point->Pos;
  const TDbl3D vel = point->Vel;
  StageBlock[0] = pos;
  VelStageBlock[0] = vel;

  // predictor: rates at the start
  VelStageBlock[1] = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  StageBlock[1] = VelStageBlock[0];

  // corrector: rates at pos + h vel
  VelStageBlock[2] = ComputeAcceleration(PointsVar, point, FacesVar, TrialPredictor, Setup);
  StageBlock[2] = VecAdd(VecScale(VelStageBlock[1], TimeStep), vel);

  // mean of the two rates: ((r1 + r2) h) / 2 + start
  point->NewVel = VecAdd(VecDivide(VecScale(VecAdd(VelStageBlock[1], VelStageBlock[2]), TimeStep), 2.0), vel);
  point->NewPos = VecAdd(VecDivide(VecScale(VecAdd(StageBlock[1], StageBlock[2]), TimeStep), 2.0), pos);
}

// fourth order for a point among pinned neighbours without damping; on a
// moving membrane no more accurate than StepHeun at twice the cost
void StepRK4(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
             const TClothSetup* Setup) {
  StageBlock[0] = point->Pos;
  VelStageBlock[0] = point->Vel;

  // k1v = h a(pos); k1x = h vel
  TDbl3D a = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  VelStageBlock[1] = VecScale(a, TimeStep);
  StageBlock[1] = VecScale(VelStageBlock[0], TimeStep);

  // k2v = h a(pos + k1x / 2); k2x = (k1v / 2 + vel) h
  a = ComputeAcceleration(PointsVar, point, FacesVar, TrialMid1, Setup);
  VelStageBlock[2] = VecScale(a, TimeStep);
  StageBlock[2] = VecScale(VecAdd(VecDivide(VelStageBlock[1], 2.0), VelStageBlock[0]), TimeStep);

  // k3v = h a(pos + k2x / 2); k3x = (k2v / 2 + vel) h
  a = ComputeAcceleration(PointsVar, point, FacesVar, TrialMid2, Setup);
  VelStageBlock[3] = VecScale(a, TimeStep);
  StageBlock[3] = VecScale(VecAdd(VecDivide(VelStageBlock[2], 2.0), VelStageBlock[0]), TimeStep);

  // k4v = h a(pos + k3x); k4x = (vel + k3v) h
  a = ComputeAcceleration(PointsVar, point, FacesVar, TrialEnd3, Setup);
  VelStageBlock[4] = VecScale(a, TimeStep);
  StageBlock[4] = VecScale(VecAdd(VelStageBlock[0], VelStageBlock[3]), TimeStep);

  // ((k2 + k3) 2 + k1 + k4) / 6 + start
  const TDbl3D* kv = VelStageBlock;
  const TDbl3D* kx = StageBlock;
  point->NewVel =
      VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(kv[2], kv[3]), 2.0), kv[1]), kv[4]), 6.0), kv[0]);
  point->NewPos =
      VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(kx[2], kx[3]), 2.0), kx[1]), kx[4]), 6.0), kx[0]);
}

// ---- step driver --------------------------------------------------------------

int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup) {
  if (PointsVar == nullptr || FacesVar == nullptr || Setup == nullptr) return 0;

  // every evaluation of this step sees the normals of the start-of-step positions
  UpdateFaceNormals(PointsVar, FacesVar);

  const TIntegrator integrate = SelectIntegrator(Setup->ClothMethod);
  TClothPoint* points = *PointsVar;
  const int32_t pointCount = ArrayCount(points);
  for (int32_t i = 0; i < pointCount; ++i) {
    TClothPoint* point = &points[i];
    if (point->Fixed != 0) {
      // pinned: NewPos := Pos holds it in place. NewVel is not written, so the
      // shift makes whatever it holds the point's Vel: zero after any step
      // (ShiftStates clears it), or what the host put there before the first
      // step. The velocity the point had is dropped.
      point->NewPos = point->Pos;
      continue;
    }
    integrate(PointsVar, point, FacesVar, Setup);
  }

  // nothing wrote Pos or Vel until here: every point moved from the same snapshot
  return ShiftStates(PointsVar);
}

}  // namespace tumelin
