// The step four doubles at a time in AVX registers: step_lanes.inl compiled
// for AVX. The step driver calls this only where CPUID and XGETBV say the CPU
// and the operating system have AVX.
#define TUMELIN_STEP_LANES_AVX
#include "step_lanes.inl"

namespace tumelin {

TUMELIN_AVX_BEGIN
void StepLanesAvx(const StepContext& step, int32_t method) { StepLanes<Pack4>(step, method); }
TUMELIN_AVX_END

}  // namespace tumelin
