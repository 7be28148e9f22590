// Dynamics: face normals, the force model of one point, the stage providers,
// the three integrators and the step driver.
#pragma once

#include <cstdint>

#include <tumelin/tumelin.h>

namespace tumelin {

// fixed step length of every integrator; not a setting
inline constexpr double TimeStep = 0.005;

// the integrators' stage storage at library scope: element 0 the start
// position (velocity), elements 1-4 the stage terms
extern TDbl3D StageBlock[5];
extern TDbl3D VelStageBlock[5];

// returns the trial position of the point under evaluation from StageBlock
using TStageProvider = TDbl3D (*)(const TDbl3D* stages);

TDbl3D TrialStart(const TDbl3D* stages);      // stages[0]
TDbl3D TrialPredictor(const TDbl3D* stages);  // stages[0] + 0.005 stages[1]
TDbl3D TrialMid1(const TDbl3D* stages);       // stages[0] + 0.5 stages[1]
TDbl3D TrialMid2(const TDbl3D* stages);       // stages[0] + 0.5 stages[2]
TDbl3D TrialEnd3(const TDbl3D* stages);       // stages[0] + stages[3]

// face.Normal := FaceNormal of its corners' Pos
void UpdateFaceNormal(TClothPointArray* PointsVar, TClothFace* face);
// UpdateFaceNormal for every face in index order
void UpdateFaceNormals(TClothPointArray* PointsVar, TClothFaceArray* FacesVar);

// normalized sum of the stored normals of the point's adjacent faces
TDbl3D MeanFaceNormal(const TClothPoint* point, TClothFaceArray* FacesVar);
// acceleration of `point` at the trial position that `provider` yields
TDbl3D ComputeAcceleration(TClothPointArray* PointsVar, const TClothPoint* point, TClothFaceArray* FacesVar,
                           TStageProvider provider, const TClothSetup* Setup);

// advance one free point into its NewPos and NewVel
void StepEuler(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar, const TClothSetup* Setup);
void StepHeun(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar, const TClothSetup* Setup);
void StepRK4(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar, const TClothSetup* Setup);

// one step of the whole membrane (the body of PluginExecZR72); returns the
// number of points
int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup);

}  // namespace tumelin
