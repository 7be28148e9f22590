#include "dbl3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "bits.h"

using namespace tumelin;

namespace {

::testing::AssertionResult Is(const TDbl3D& got, const TDbl3D& want) {
  if (SameBits(got, want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << got.X << ", " << got.Y << ", " << got.Z << ") vs (" << want.X
                                       << ", " << want.Y << ", " << want.Z << ")";
}

TEST(VectorOps, SubtractsTheSecondFromTheFirstAndAccumulatesInPlace) {
  EXPECT_TRUE(Is(VecSub({5.0, 7.0, 9.0}, {1.0, 2.0, 3.0}), {4.0, 5.0, 6.0}));
  TDbl3D sum{1.0, 2.0, 3.0};
  VecAccumulate(sum, {0.5, -2.0, 4.0});
  EXPECT_TRUE(Is(sum, {1.5, 0.0, 7.0}));
}

TEST(VectorOps, NormalizeDividesThreeTimesAndNeedsAStrictlyPositiveLength) {
  // 3 / 5 is 0.6, while 3 * (1 / 5) rounds to 0.6000000000000001
  EXPECT_TRUE(Is(VecNormalize({3.0, 4.0, 0.0}), {0.6, 0.8, 0.0}));
  EXPECT_TRUE(Is(VecNormalize({0.0, 0.0, -2.0}), {0.0, 0.0, -1.0}));
  EXPECT_TRUE(Is(VecNormalize({0.0, 0.0, 0.0}), kZeroVector));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(Is(VecNormalize({nan, 1.0, 0.0}), kZeroVector));
}

TEST(FaceNormal, RightHandedForTheCornerOrder) {
  EXPECT_TRUE(Is(FaceNormal({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), {0.0, 0.0, 1.0}));
  EXPECT_TRUE(Is(FaceNormal({0, 0, 0}, {0, 1, 0}, {1, 0, 0}), {0.0, 0.0, -1.0}));
}

TEST(FaceNormal, LengthIsTheSineOfTheFirstCornerAngleWhateverTheEdgeLengths) {
  // unit edges: 5 and 0.01 long edges at a right angle give exactly 1
  EXPECT_TRUE(Is(FaceNormal({0, 0, 0}, {5, 0, 0}, {0, 0.01, 0}), {0.0, 0.0, 1.0}));
  // a couple of ulps of the sine
  constexpr double kSineTol = 1e-15;
  const TDbl3D equilateral = FaceNormal({0, 0, 0}, {2, 0, 0}, {1, std::sqrt(3.0), 0});
  EXPECT_NEAR(equilateral.Z, std::sqrt(3.0) / 2.0, kSineTol);
  const TDbl3D half = FaceNormal({0, 0, 0}, {3, 0, 0}, {3, 3, 0});
  EXPECT_NEAR(half.Z, std::sqrt(0.5), kSineTol);
  EXPECT_EQ(equilateral.X, 0.0);
  EXPECT_EQ(half.Y, 0.0);
  // a zero edge has no direction (a component may come out as -0)
  const TDbl3D degenerate = FaceNormal({1, 2, 3}, {1, 2, 3}, {4, 0, 0});
  EXPECT_EQ(degenerate.X, 0.0);
  EXPECT_EQ(degenerate.Y, 0.0);
  EXPECT_EQ(degenerate.Z, 0.0);
}

}  // namespace
