// The sweeps two doubles at a time in SSE2 registers, the baseline of both
// targets.
#include "sweep_lanes.h"

namespace tumelin {

void SweepSse2(const StepContext& step, int32_t method) { Sweep<Pack2>(step, method); }

}  // namespace tumelin
