// The host kit's deterministic trigonometry.
#include "det_math.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// the series is accurate to about one unit in the last place on [0, pi/4];
// 4e-16 allows that plus the rounding of the reference itself
constexpr double kTrigTol = 4e-16;

TEST(SinCosTurns, AgreesWithTheRuntimeToTheLastBits) {
  for (int64_t den : {3, 7, 16, 31, 32, 256, 512, 1023}) {
    for (int64_t num = -den; num <= 2 * den; ++num) {
      const double angle = 2.0 * 3.14159265358979323846 * static_cast<double>(num) / static_cast<double>(den);
      const SinCos sc = SinCosTurns(num, den);
      // the reference angle itself carries an error of a few ulp of 2 pi
      EXPECT_NEAR(sc.sin, std::sin(angle), kTrigTol + 4e-16 * std::fabs(angle)) << num << "/" << den;
      EXPECT_NEAR(sc.cos, std::cos(angle), kTrigTol + 4e-16 * std::fabs(angle)) << num << "/" << den;
    }
  }
}

TEST(SinCosTurns, QuadrantPointsAndSymmetriesAreExact) {
  EXPECT_EQ(SinCosTurns(0, 8).sin, 0.0);
  EXPECT_EQ(SinCosTurns(0, 8).cos, 1.0);
  EXPECT_EQ(SinCosTurns(2, 8).sin, 1.0);
  EXPECT_EQ(SinCosTurns(4, 8).cos, -1.0);
  EXPECT_EQ(SinCosTurns(6, 8).sin, -1.0);
  // integer reduction: a whole turn later gives the same bits
  for (int64_t num = 0; num < 40; ++num) {
    EXPECT_EQ(SinCosTurns(num, 40).sin, SinCosTurns(num + 40, 40).sin);
    EXPECT_EQ(SinCosTurns(num, 40).sin, -SinCosTurns(-num, 40).sin);
    EXPECT_EQ(SinCosTurns(num, 40).cos, SinCosTurns(-num, 40).cos);
  }
}

}  // namespace
}  // namespace tumelin
