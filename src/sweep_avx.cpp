// The sweeps four doubles at a time in AVX registers: sweep_lanes.h compiled
// for AVX. The step driver calls this only where CPUID and XGETBV say the CPU
// and the operating system have AVX.
#define TUMELIN_SWEEP_AVX
#include "sweep_lanes.h"

namespace tumelin {

TUMELIN_AVX_BEGIN
void SweepAvx(const StepContext& step, int32_t method) { Sweep<Pack4>(step, method); }
TUMELIN_AVX_END

}  // namespace tumelin
