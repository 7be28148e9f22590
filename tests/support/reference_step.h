// The reference model of the step: the contract's step point by point with
// the vector module, one force evaluation at a time, the stages in StageBlock
// and VelStageBlock (read by the plug-in's own stage providers), every index
// taken as valid. The plug-in ships the passes
// of src/step_lanes.inl; dynamics_test holds them to this model's bits.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

#include "cloth_types.h"
#include "dbl3d.h"
#include "model_constants.h"
#include "stage_providers.h"

namespace tumelin::reference {

// the integrators' stage storage: element 0 the start position (velocity),
// elements 1-4 the stage terms; between calls the stages of the last point
inline TDbl3D StageBlock[5];
inline TDbl3D VelStageBlock[5];

// advances one free point into its NewPos and NewVel
using Integrator = void (*)(TClothPointArray*, TClothPoint*, TClothFaceArray*, const TClothSetup*);

// every face's Normal := FaceNormal of its corners' Pos
inline void UpdateFaceNormals(TClothPointArray* PointsVar, TClothFaceArray* FacesVar) {
  const TClothPoint* points = *PointsVar;
  for (int32_t i = 0; i < ArrayCount(*FacesVar); ++i) {
    TClothFace& face = (*FacesVar)[i];
    face.Normal = FaceNormal(points[face.P0].Pos, points[face.P1].Pos, points[face.P2].Pos);
  }
}

// the normalized sum of the stored normals of the point's faces
inline TDbl3D MeanFaceNormal(const TClothPoint* point, TClothFaceArray* FacesVar) {
  TDbl3D sum = kZeroVector;
  for (int32_t i = 0; i < ArrayCount(point->Faces); ++i)
    VecAccumulate(sum, (*FacesVar)[point->Faces[i]].Normal);
  return VecNormalize(sum);
}

// a, or a rescaled to kAccelerationLimit when strictly longer
inline TDbl3D LimitAcceleration(TDbl3D a) {
  return VecLength(a) > kAccelerationLimit ? VecScale(VecNormalize(a), kAccelerationLimit) : a;
}

// the point's acceleration at the trial position `provider` yields, asked
// for once per used link
inline TDbl3D ComputeAcceleration(TClothPointArray* PointsVar, const TClothPoint* point,
                                  TClothFaceArray* FacesVar, TStageProvider provider,
                                  const TClothSetup* Setup) {
  const TClothPoint* points = *PointsVar;
  // springs: a stretched one pulls with ClothK0, one at or below its rest length pushes with ClothK1
  TDbl3D f = kZeroVector;
  for (int32_t j = 0; j < point->LinkCount; ++j) {
    const TClothLink& link = point->Links[j];
    const TDbl3D toTarget = VecSub(points[link.Target].Pos, provider(StageBlock));
    const double extension = VecLength(toTarget) - link.RestLength;
    const double stiffness = extension > 0.0 ? Setup->ClothK0 : Setup->ClothK1;
    VecAccumulate(f, VecScale(VecNormalize(toTarget), extension * stiffness));
  }
  // pressure against the mean normal, mass and gravity, the limit, then damping
  const TDbl3D n = MeanFaceNormal(point, FacesVar);
  const double p = Setup->ClothP;
  f = {(n.X * p) * kPressureScale + f.X, (n.Y * p) * kPressureScale + f.Y, (n.Z * p) * kPressureScale + f.Z};
  const TDbl3D a{f.X / kPointMass, f.Y / kPointMass, f.Z / kPointMass - kGravity};
  return VecSub(LimitAcceleration(a), VecScale(point->Vel, Setup->ClothC));
}

// semi-implicit Euler: the position moves with the new velocity
inline void StepEuler(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
                      const TClothSetup* Setup) {
  StageBlock[0] = point->Pos;
  const TDbl3D a = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  point->NewVel = VecAdd(VecScale(a, TimeStep), point->Vel);
  point->NewPos = VecAdd(VecScale(point->NewVel, TimeStep), point->Pos);
}

// predictor-corrector: rates in VelStageBlock, velocities in StageBlock
inline void StepHeun(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
                     const TClothSetup* Setup) {
  TDbl3D* s = StageBlock;
  TDbl3D* v = VelStageBlock;
  s[0] = point->Pos;
  v[0] = point->Vel;
  v[1] = ComputeAcceleration(PointsVar, point, FacesVar, TrialStart, Setup);
  s[1] = v[0];
  v[2] = ComputeAcceleration(PointsVar, point, FacesVar, TrialPredictor, Setup);
  s[2] = VecAdd(VecScale(v[1], TimeStep), v[0]);
  point->NewVel = VecAdd(VecDivide(VecScale(VecAdd(v[1], v[2]), TimeStep), 2.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecScale(VecAdd(s[1], s[2]), TimeStep), 2.0), s[0]);
}

// classical RK4: increments already multiplied by h in both blocks
inline void StepRK4(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
                    const TClothSetup* Setup) {
  TDbl3D* s = StageBlock;
  TDbl3D* v = VelStageBlock;
  auto k = [&](TStageProvider trial) {
    return VecScale(ComputeAcceleration(PointsVar, point, FacesVar, trial, Setup), TimeStep);
  };
  s[0] = point->Pos;
  v[0] = point->Vel;
  v[1] = k(TrialStart);
  s[1] = VecScale(v[0], TimeStep);
  v[2] = k(TrialMid1);
  s[2] = VecScale(VecAdd(VecDivide(v[1], 2.0), v[0]), TimeStep);
  v[3] = k(TrialMid2);
  s[3] = VecScale(VecAdd(VecDivide(v[2], 2.0), v[0]), TimeStep);
  v[4] = k(TrialEnd3);
  s[4] = VecScale(VecAdd(v[0], v[3]), TimeStep);
  point->NewVel = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(v[2], v[3]), 2.0), v[1]), v[4]), 6.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(s[2], s[3]), 2.0), s[1]), s[4]), 6.0), s[0]);
}

// one step: face normals, every point in index order (pinned NewPos := Pos,
// free `integrate`), ShiftStates
inline void Step(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup,
                 Integrator integrate) {
  UpdateFaceNormals(PointsVar, FacesVar);
  for (int32_t i = 0; i < ArrayCount(*PointsVar); ++i) {
    TClothPoint* point = &(*PointsVar)[i];
    if (point->Fixed != 0) {
      point->NewPos = point->Pos;
    } else {
      integrate(PointsVar, point, FacesVar, Setup);
    }
  }
  ShiftStates(PointsVar);
}

}  // namespace tumelin::reference
