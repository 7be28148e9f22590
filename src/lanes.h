// Lane types of the step: one double, or two doubles in an SSE2 register.
// Every operation works lane by lane and is correctly rounded in each lane,
// so a formula written once over a lane type gives the same bits in every
// lane as the scalar double formula. A comparison yields a mask: a bool for
// a double, all-ones or all-zero lanes for a pack; Select picks by it.
#pragma once

#include <emmintrin.h>

#include <cmath>

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

}  // namespace tumelin
