// Dynamics: face normals, the force model of one point, the stage providers,
// the three integrators and the step driver.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

namespace tumelin {

// fixed step length of every integrator; not a setting
inline constexpr double TimeStep = 0.005;

// largest magnitude an acceleration keeps before the damping is added
inline constexpr double kAccelerationLimit = 0.48;

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

// Host arrays are reached through the host variables PointsVar (#points,
// stride sizeof(TClothPoint)) and FacesVar (#faces, stride 40); both variables
// must exist, a null array in them is empty. Indices the host should keep valid
// are checked anyway: a link Target or a Faces entry outside its array is
// skipped, a face with a corner outside the point array gets the zero normal,
// and LinkCount never reaches past the Links array.

// face.Normal := FaceNormal of its corners' Pos
void UpdateFaceNormal(TClothPointArray* PointsVar, TClothFace* face);
// UpdateFaceNormal for every face in index order
void UpdateFaceNormals(TClothPointArray* PointsVar, TClothFaceArray* FacesVar);

// normalized sum of the stored normals of the point's adjacent faces
TDbl3D MeanFaceNormal(const TClothPoint* point, TClothFaceArray* FacesVar);
// a when |a| <= kAccelerationLimit (exactly the limit passes with its bits),
// else a rescaled to that length in the same direction
TDbl3D LimitAcceleration(TDbl3D a);

// acceleration of `point` at the trial position that `provider` yields from
// StageBlock: springs to the linked points' Pos, pressure along the mean face
// normal, mass 0.001, gravity 0.4 along -Z, LimitAcceleration, then damping by
// Vel (not limited, so the result may be longer than the limit).
// The provider is called once per evaluation, never without a used link.
TDbl3D ComputeAcceleration(TClothPointArray* PointsVar, const TClothPoint* point, TClothFaceArray* FacesVar,
                           TStageProvider provider, const TClothSetup* Setup);

// advance one free point into its NewPos and NewVel, keeping the stages in
// StageBlock/VelStageBlock (so never two at a time)
void StepEuler(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
               const TClothSetup* Setup);
void StepHeun(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
              const TClothSetup* Setup);
void StepRK4(TClothPointArray* PointsVar, TClothPoint* point, TClothFaceArray* FacesVar,
             const TClothSetup* Setup);

// one step of the whole membrane (the body of PluginExecZR72): face normals,
// then every point in index order (pinned: NewPos := Pos; free: the integrator
// ClothMethod selects, 1 Heun, 2 RK4, else Euler), then ShiftStates. Returns
// the number of points; a null PointsVar, FacesVar or Setup does nothing and
// returns 0.
int32_t StepMembrane(TClothPointArray* PointsVar, TClothFaceArray* FacesVar, const TClothSetup* Setup);

}  // namespace tumelin
