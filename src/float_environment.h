// The floating-point environment of the host's thread. The working entries
// compute under one fixed environment, whatever the host's thread uses, and
// give the host's back exactly as they found it.
//
// The arithmetic is SSE2 on both x86 targets, so MXCSR decides rounding,
// flushing and traps. On 32-bit x86 the x87 unit still carries every double
// that a function returns, so its control word matters too: a host built with
// exceptions unmasked there (0x1332) would trap on the first overflow.
// WebAssembly has one fixed environment (round to nearest, no flush, no
// traps, no flags), so there the guard does nothing.
#pragma once

#include <cstdint>

namespace tumelin {

#if defined(__i386__) || defined(__x86_64__)

// round to nearest, no flush-to-zero, no denormals-are-zero, every exception
// masked, no flag raised
inline constexpr uint32_t kComputeMxcsr = 0x1F80;

inline uint32_t ReadMxcsr() {
  uint32_t value;
  __asm__ volatile("stmxcsr %0" : "=m"(value) : : "memory");
  return value;
}
inline void WriteMxcsr(uint32_t value) { __asm__ volatile("ldmxcsr %0" : : "m"(value) : "memory"); }

inline uint16_t ReadX87ControlWord() {
  uint16_t value;
  __asm__ volatile("fnstcw %0" : "=m"(value) : : "memory");
  return value;
}
inline void WriteX87ControlWord(uint16_t value) { __asm__ volatile("fldcw %0" : : "m"(value) : "memory"); }

#endif

#if defined(__i386__)
// x87: double precision, round to nearest, every exception masked
inline constexpr uint16_t kComputeX87ControlWord = 0x027F;

// the x87 environment as fnstenv stores it in 32-bit protected mode: control
// word, status word (the flags), tag word and the last instruction's pointers
struct X87Environment {
  uint32_t words[7];
};
#endif

// Saves the caller's environment and sets the one the plug-in computes in;
// the destructor restores the caller's exactly, status flags included, so
// nothing the plug-in raised stays visible to the host. A few instructions
// each way. The compiler keeps the computation between the two: the work is
// in calls to other translation units, which an asm with a memory clobber
// does not let it move.
class FloatEnvironmentGuard {
 public:
#if defined(__i386__)
  FloatEnvironmentGuard() : mxcsr_(ReadMxcsr()) {
    // fnstenv also masks every x87 exception; the control word then sets
    // precision and rounding as well
    __asm__ volatile("fnstenv %0" : "=m"(x87_) : : "memory");
    WriteX87ControlWord(kComputeX87ControlWord);
    WriteMxcsr(kComputeMxcsr);
  }
  ~FloatEnvironmentGuard() {
    WriteMxcsr(mxcsr_);
    __asm__ volatile("fldenv %0" : : "m"(x87_) : "memory");
  }
#elif defined(__x86_64__)
  FloatEnvironmentGuard() : mxcsr_(ReadMxcsr()) { WriteMxcsr(kComputeMxcsr); }
  ~FloatEnvironmentGuard() { WriteMxcsr(mxcsr_); }
#else
  FloatEnvironmentGuard() {}
  ~FloatEnvironmentGuard() {}
#endif
  FloatEnvironmentGuard(const FloatEnvironmentGuard&) = delete;
  FloatEnvironmentGuard& operator=(const FloatEnvironmentGuard&) = delete;

 private:
#if defined(__i386__) || defined(__x86_64__)
  uint32_t mxcsr_;
#endif
#if defined(__i386__)
  X87Environment x87_;
#endif
};

}  // namespace tumelin
