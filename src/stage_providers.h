// The stage providers: each gives the trial position of the point under
// evaluation from its position stages (stages[0] the start position, then
// the stage terms of its integrator). The passes call them for every point;
// they are scalar and compiled for the baseline wherever they are included.
#pragma once

#include <tumelin/tumelin.h>

#include "dbl3d.h"
#include "model_constants.h"

namespace tumelin {

using TStageProvider = TDbl3D (*)(const TDbl3D* stages);

// every integrator's first evaluation: the start position
inline TDbl3D TrialStart(const TDbl3D* stages) { return stages[0]; }
// Heun's corrector: pos + h vel
inline TDbl3D TrialPredictor(const TDbl3D* stages) {
  return VecAdd(stages[0], VecScale(stages[1], TimeStep));
}
// RK4: pos + k1x / 2, pos + k2x / 2, pos + k3x
inline TDbl3D TrialMid1(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[1], 0.5)); }
inline TDbl3D TrialMid2(const TDbl3D* stages) { return VecAdd(stages[0], VecScale(stages[2], 0.5)); }
inline TDbl3D TrialEnd3(const TDbl3D* stages) { return VecAdd(stages[0], stages[3]); }

}  // namespace tumelin
