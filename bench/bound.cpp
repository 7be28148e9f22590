#include "bound.h"

#include <cpuid.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tumelin::bench {

namespace {

// roots and quotients of these take the units' usual time (no zero, one or
// power of two, which some dividers finish early)
constexpr double kRadicands[4] = {0.7853981633974483, 1.4142135623730951, 2.718281828459045,
                                  0.5772156649015329};
constexpr double kDivisor = 0.0245436926061703;
// independent operations per loop pass
constexpr int64_t kChains = 4;

// loop passes that perform at least `operations` operations `lanes` at a time
int64_t Passes(int64_t operations, int64_t lanes) {
  return (operations + kChains * lanes - 1) / (kChains * lanes);
}

}  // namespace

OperationCount CountStepOperations(const Membrane& membrane, int32_t evaluations, int64_t cappedPoints) {
  OperationCount count;
  const int64_t faces = membrane.faces.Count();
  count.sqrts += 2 * faces;
  count.divisions += 6 * faces;
  for (int32_t i = 0; i < membrane.points.Count(); ++i) {
    const TClothPoint& point = membrane.points[static_cast<size_t>(i)];
    if (point.Fixed != 0) continue;
    if (TumelinArrayCount(point.Faces) > 0) {
      count.sqrts += 1;
      count.divisions += 3;
    }
    int64_t links = point.LinkCount;
    if (links > TumelinArrayCount(point.Links)) links = TumelinArrayCount(point.Links);
    if (links < 0) links = 0;
    count.sqrts += evaluations * (links + 1);
    count.divisions += evaluations * (3 * links + 3);
    if (evaluations == 4) count.divisions += 6;
  }
  count.divisions += 3 * evaluations * cappedPoints;
  return count;
}

int64_t CappedPoints(const TPluginExecZR72 step, Membrane& membrane, const TClothSetup& euler) {
  const std::vector<TClothPoint> before(membrane.points.Data(),
                                        membrane.points.Data() + membrane.points.Count());
  step(nullptr, &membrane.pointsVar, &membrane.facesVar, &euler);
  // a capped acceleration has the length 0.48 up to the rounding of its
  // reconstruction (about 1e-14 here); an uncapped one is shorter
  constexpr double kLimit = 0.48;
  constexpr double kSlack = 1e-9;
  int64_t capped = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].Fixed != 0) continue;
    const TDbl3D v0 = before[i].Vel;
    const TDbl3D v1 = membrane.points[i].Vel;
    const double x = (v1.X - v0.X) / kTimeStep + euler.ClothC * v0.X;
    const double y = (v1.Y - v0.Y) / kTimeStep + euler.ClothC * v0.Y;
    const double z = (v1.Z - v0.Z) / kTimeStep + euler.ClothC * v0.Z;
    if (std::sqrt(x * x + y * y + z * z) > kLimit - kSlack) ++capped;
  }
  std::copy(before.begin(), before.end(), membrane.points.Data());
  return capped;
}

// One kernel body for the three instruction forms: kChains independent
// roots per pass, then kChains independent quotients per pass. The empty asm
// statements make the operands look new in every pass and the results look
// used, so the compiler neither hoists nor drops an operation, and no pass
// waits for another.
#define TUMELIN_BOUND_KERNEL(V, lanes, Splat, Sqrt, Div)                  \
  V a = Splat(kRadicands[0]), b = Splat(kRadicands[1]);                   \
  V c = Splat(kRadicands[2]), d = Splat(kRadicands[3]);                   \
  V divisor = Splat(kDivisor);                                            \
  for (int64_t pass = Passes(count.sqrts, lanes); pass > 0; --pass) {     \
    asm volatile("" : "+x"(a), "+x"(b), "+x"(c), "+x"(d));                \
    const V ra = Sqrt(a), rb = Sqrt(b), rc = Sqrt(c), rd = Sqrt(d);       \
    asm volatile("" : : "x"(ra), "x"(rb), "x"(rc), "x"(rd));              \
  }                                                                       \
  for (int64_t pass = Passes(count.divisions, lanes); pass > 0; --pass) { \
    asm volatile("" : "+x"(a), "+x"(b), "+x"(c), "+x"(d), "+x"(divisor)); \
    const V qa = Div(a, divisor), qb = Div(b, divisor);                   \
    const V qc = Div(c, divisor), qd = Div(d, divisor);                   \
    asm volatile("" : : "x"(qa), "x"(qb), "x"(qc), "x"(qd));              \
  }

namespace {

inline __m128d ScalarSqrt(__m128d v) { return _mm_sqrt_sd(v, v); }

}  // namespace

// sqrtsd, divsd
void ScalarBound(OperationCount count) {
  TUMELIN_BOUND_KERNEL(__m128d, 1, _mm_set1_pd, ScalarSqrt, _mm_div_sd)
}

// sqrtpd, divpd
void Sse2Bound(OperationCount count) {
  TUMELIN_BOUND_KERNEL(__m128d, 2, _mm_set1_pd, _mm_sqrt_pd, _mm_div_pd)
}

// vsqrtpd, vdivpd on ymm registers
__attribute__((target("avx"))) void AvxBound(OperationCount count) {
  TUMELIN_BOUND_KERNEL(__m256d, 4, _mm256_set1_pd, _mm256_sqrt_pd, _mm256_div_pd)
}

#undef TUMELIN_BOUND_KERNEL

bool HasAvx() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const bool avx = (ecx & bit_AVX) != 0;
  const bool osxsave = (ecx & bit_OSXSAVE) != 0;
  if (!avx || !osxsave) return false;
  // the operating system saves the xmm and ymm state (XCR0 bits 1 and 2)
  unsigned xcr0Low = 0, xcr0High = 0;
  asm volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  return (xcr0Low & 6u) == 6u;
}

void MemoryTraffic(Membrane& membrane) {
  TClothPoint* points = membrane.pointsVar;
  TClothFace* faces = membrane.facesVar;
  const int32_t pointCount = TumelinArrayCount(points);
  const int32_t faceCount = TumelinArrayCount(faces);
  // the step's IEEE arithmetic must compute x * 0.0 (x may be infinite or
  // NaN), so every load below happens
  volatile double zeroSource = 0.0;
  const double zero = zeroSource;
  for (int32_t f = 0; f < faceCount; ++f) {
    const TDbl3D a = points[faces[f].P0].Pos, b = points[faces[f].P1].Pos, c = points[faces[f].P2].Pos;
    const double sum = ((a.X + a.Y) + (a.Z + b.X)) + ((b.Y + b.Z) + (c.X + (c.Y + c.Z)));
    faces[f].Normal = {sum * zero, 0.0, 0.0};
  }
  for (int32_t i = 0; i < pointCount; ++i) {
    TClothPoint& point = points[i];
    if (point.Fixed != 0) {
      point.NewPos = point.Pos;
      continue;
    }
    double sum = 0.0;
    const int32_t adjacent = TumelinArrayCount(point.Faces);
    for (int32_t k = 0; k < adjacent; ++k) {
      const TDbl3D normal = faces[point.Faces[k]].Normal;
      sum = sum + ((normal.X + normal.Y) + normal.Z);
    }
    for (int32_t j = 0; j < point.LinkCount; ++j) {
      const TDbl3D target = points[point.Links[j].Target].Pos;
      sum = sum + (((target.X + target.Y) + target.Z) + point.Links[j].RestLength);
    }
    // +0 for a finite sum, and x - (+0) is x for every x, -0 included
    const double nothing = std::fabs(sum * zero);
    point.NewPos = {point.Pos.X - nothing, point.Pos.Y, point.Pos.Z};
    point.NewVel = {point.Vel.X - nothing, point.Vel.Y, point.Vel.Z};
  }
  for (int32_t i = 0; i < pointCount; ++i) {
    TClothPoint& point = points[i];
    point.Pos = point.NewPos;
    point.Vel = point.NewVel;
    point.NewPos = {0.0, 0.0, 0.0};
    point.NewVel = {0.0, 0.0, 0.0};
  }
}

}  // namespace tumelin::bench
