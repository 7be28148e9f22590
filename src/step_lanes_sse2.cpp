// The step two doubles at a time in SSE2 registers, the baseline of both
// targets.
#include "step_lanes.inl"

namespace tumelin {

void StepLanesSse2(const StepContext& step, int32_t method) { StepLanes<Pack2>(step, method); }

}  // namespace tumelin
