#include "dynamics.h"

namespace tumelin {

TDbl3D StageBlock[5];
TDbl3D VelStageBlock[5];

// placeholder until the dynamics land
int32_t StepMembrane(TClothPointArray*, TClothFaceArray*, const TClothSetup*) { return 0; }

}  // namespace tumelin
