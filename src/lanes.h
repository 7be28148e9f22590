// Lane types of the step: one double, two doubles in an SSE2 register, or four
// in an AVX register (functions compiled for AVX only, see below). The
// WebAssembly build has the first two: its compiler maps the SSE2 pair
// operations used here one to one onto wasm SIMD's f64x2 instructions, which
// are correctly rounded in each lane as well.
// Every operation works lane by lane and is correctly rounded in each lane,
// so a formula written once over a lane type gives the same bits in every
// lane as the scalar double formula. A comparison yields a mask: a bool for
// a double, all-ones or all-zero lanes for a pack; Select picks by it.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
// x86 has the AVX path as well (step_lanes_avx.cpp)
#define TUMELIN_HAS_AVX_PATH 1
#else
#include <emmintrin.h>
#define TUMELIN_HAS_AVX_PATH 0
#endif

#include <cmath>

#if TUMELIN_HAS_AVX_PATH
// Code between TUMELIN_AVX_BEGIN and TUMELIN_AVX_END is compiled for AVX
// (GCC's target pragma; clang applies the target attribute to every function
// of the region instead).
#if defined(__clang__)
#define TUMELIN_AVX_BEGIN \
  _Pragma("clang attribute push(__attribute__((target(\"avx\"))), apply_to = function)")
#define TUMELIN_AVX_END _Pragma("clang attribute pop")
#else
#define TUMELIN_AVX_BEGIN _Pragma("GCC push_options") _Pragma("GCC target(\"avx\")")
#define TUMELIN_AVX_END _Pragma("GCC pop_options")
#endif
#endif

namespace tumelin {

// ---- one double ---------------------------------------------------------------

inline double Sqrt(double x) { return std::sqrt(x); }
inline double Select(bool mask, double a, double b) { return mask ? a : b; }

// ---- two doubles (SSE2, on both targets) ----------------------------------------

struct Pack2 {
  static constexpr int kWidth = 2;
  __m128d v;
  Pack2() = default;
  Pack2(__m128d value) : v(value) {}
  // the same value in both lanes
  Pack2(double value) : v(_mm_set1_pd(value)) {}
  static Pack2 Load(const double* lanes) { return _mm_loadu_pd(lanes); }
  // lane i := values[i], built in registers (no store-to-load round trip)
  static Pack2 Lanes(const double* values) { return _mm_set_pd(values[1], values[0]); }
  void Store(double* lanes) const { _mm_storeu_pd(lanes, v); }
};

inline Pack2 operator+(Pack2 a, Pack2 b) { return _mm_add_pd(a.v, b.v); }
inline Pack2 operator-(Pack2 a, Pack2 b) { return _mm_sub_pd(a.v, b.v); }
inline Pack2 operator*(Pack2 a, Pack2 b) { return _mm_mul_pd(a.v, b.v); }
inline Pack2 operator/(Pack2 a, Pack2 b) { return _mm_div_pd(a.v, b.v); }
// ordered compare: a NaN lane gives false, as for doubles
inline Pack2 operator>(Pack2 a, Pack2 b) { return _mm_cmpgt_pd(a.v, b.v); }
inline Pack2 Sqrt(Pack2 x) { return _mm_sqrt_pd(x.v); }
// mask lanes all ones take a, all zero take b
inline Pack2 Select(Pack2 mask, Pack2 a, Pack2 b) {
  return _mm_or_pd(_mm_and_pd(mask.v, a.v), _mm_andnot_pd(mask.v, b.v));
}

#if TUMELIN_HAS_AVX_PATH

// ---- four doubles (AVX) -----------------------------------------------------------
// Compiled for AVX whatever the target's baseline: only functions compiled for
// AVX themselves may use them, and only on a CPU whose operating system saves
// the 256-bit registers (the step driver checks CPUID and XGETBV once).

TUMELIN_AVX_BEGIN

struct Pack4 {
  static constexpr int kWidth = 4;
  __m256d v;
  Pack4() = default;
  Pack4(__m256d value) : v(value) {}
  Pack4(double value) : v(_mm256_set1_pd(value)) {}
  static Pack4 Load(const double* lanes) { return _mm256_loadu_pd(lanes); }
  static Pack4 Lanes(const double* values) {
    return _mm256_set_pd(values[3], values[2], values[1], values[0]);
  }
  // lanes 0 and 1 := values[0], lanes 2 and 3 := values[1]
  static Pack4 Pairs(const double* values) {
    return _mm256_set_m128d(_mm_set1_pd(values[1]), _mm_set1_pd(values[0]));
  }
  void Store(double* lanes) const { _mm256_storeu_pd(lanes, v); }
};

inline Pack4 operator+(Pack4 a, Pack4 b) { return _mm256_add_pd(a.v, b.v); }
inline Pack4 operator-(Pack4 a, Pack4 b) { return _mm256_sub_pd(a.v, b.v); }
inline Pack4 operator*(Pack4 a, Pack4 b) { return _mm256_mul_pd(a.v, b.v); }
inline Pack4 operator/(Pack4 a, Pack4 b) { return _mm256_div_pd(a.v, b.v); }
// ordered, non-signalling: a NaN lane gives false, as for doubles
inline Pack4 operator>(Pack4 a, Pack4 b) { return _mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ); }
inline Pack4 Sqrt(Pack4 x) { return _mm256_sqrt_pd(x.v); }
// bitwise like Pack2's (GCC splits a blendv of a compare result into lanes)
inline Pack4 Select(Pack4 mask, Pack4 a, Pack4 b) {
  return _mm256_or_pd(_mm256_and_pd(mask.v, a.v), _mm256_andnot_pd(mask.v, b.v));
}

TUMELIN_AVX_END

#endif

}  // namespace tumelin
