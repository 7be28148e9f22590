// The benchmarks' own arithmetic: the operation count of the bound, the
// capped points read back from a step, and the warm spheres' snapshot. A
// wrong count or a state that drifts between timings would skew every
// figure of the results table without failing anything else.
#include <gtest/gtest.h>

#include <vector>

#include "bench_spheres.h"
#include "bits.h"
#include "bound.h"
#include "loaded_plugin.h"

using namespace tumelin;
using namespace tumelin::bench;

namespace {

//   2
//   | \      one triangle: three points, each with two links and the face
//   0--1
Membrane Triangle() { return MembraneFromMesh(Mesh{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}); }

TEST(StepOperations, CountsFacesPointsLinksAndEvaluations) {
  Membrane m = Triangle();
  m.points[2].Fixed = 1;  // a pinned point costs nothing
  // face: 2 roots, 6 divisions; each of the 2 free points: the mean normal
  // (1, 3) once, then per evaluation 2 links (2, 6), mass and limit (1, 3)
  const OperationCount euler = CountStepOperations(m, 1, 0);
  EXPECT_EQ(euler.sqrts, 2 + 2 * (1 + 3));
  EXPECT_EQ(euler.divisions, 6 + 2 * (3 + 9));
  // RK4 adds its 6 divisions by 6 per point, a capped point 3 per evaluation
  const OperationCount rk4 = CountStepOperations(m, 4, 1);
  EXPECT_EQ(rk4.sqrts, 2 + 2 * (1 + 4 * 3));
  EXPECT_EQ(rk4.divisions, 6 + 2 * (3 + 4 * 9 + 6) + 4 * 3);
}

TEST(StepOperations, CountsOnlyTheLinksAndFacesThatTakePart) {
  Membrane m = Triangle();
  const OperationCount all = CountStepOperations(m, 1, 0);
  // LinkCount beyond the array is clamped to it, below zero means none
  m.points[0].LinkCount = 5;
  EXPECT_EQ(CountStepOperations(m, 1, 0).sqrts, all.sqrts);
  m.points[0].LinkCount = -1;
  EXPECT_EQ(CountStepOperations(m, 1, 0).sqrts, all.sqrts - 2);
  EXPECT_EQ(CountStepOperations(m, 1, 0).divisions, all.divisions - 6);
  // a point without faces has no mean normal to normalise
  m.points[0].LinkCount = 2;
  m.points[1].Faces = nullptr;
  EXPECT_EQ(CountStepOperations(m, 1, 0).sqrts, all.sqrts - 1);
  EXPECT_EQ(CountStepOperations(m, 1, 0).divisions, all.divisions - 3);
}

TEST(StepOperations, GrowWithTheEvaluationsOnlyByTheirPerEvaluationPart) {
  const Membrane m = BuildSphere(17);
  const OperationCount one = CountStepOperations(m, 1, 10);
  const OperationCount two = CountStepOperations(m, 2, 10);
  const OperationCount four = CountStepOperations(m, 4, 10);
  EXPECT_EQ(four.sqrts - two.sqrts, 2 * (two.sqrts - one.sqrts));
  EXPECT_EQ(four.divisions - two.divisions, 2 * (two.divisions - one.divisions) + 6 * m.points.Count());
}

// two points: 0 pinned at the origin, 1 free, joined by one spring
Membrane Pair(TDbl3D free, TDbl3D velocity, double restLength) {
  Membrane m;
  m.points.Resize(2);
  m.links.emplace_back(HostArray<TClothLink>{TClothLink{1, 0, restLength}});
  m.links.emplace_back(HostArray<TClothLink>{TClothLink{0, 0, restLength}});
  for (int32_t i = 0; i < 2; ++i) {
    m.points[i].Links = m.links[static_cast<size_t>(i)].Data();
    m.points[i].LinkCount = 1;
  }
  m.points[0].Fixed = 1;
  m.points[1].Pos = free;
  m.points[1].Vel = velocity;
  m.pointsVar = m.points.Data();
  return m;
}

TEST(CappedPoints, ReadsTheLimitBeforeTheDamping) {
  const TClothSetup euler = DefaultSetup(loaded::LoadedPlugin(), 0);
  ASSERT_EQ(euler.ClothC, 1.0);
  // a spring at rest: gravity alone asks for 0.4, under the limit, though
  // the damping of the speed 1 that follows makes the result longer
  Membrane resting = Pair({1, 0, 0}, {1, 0, 0}, 1.0);
  EXPECT_EQ(CappedPoints(loaded::LoadedPlugin().execZR72, resting, euler), 0);
  // stretched by 1: 5 / 0.001 before the limit
  Membrane stretched = Pair({2, 0, 0}, {0, 0, 0}, 1.0);
  EXPECT_EQ(CappedPoints(loaded::LoadedPlugin().execZR72, stretched, euler), 1);
}

TEST(CappedPoints, LeavesTheStateAsItWas) {
  Membrane m = BuildSphere(9);
  const uint64_t before = StateHash(m);
  const TClothSetup euler = DefaultSetup(loaded::LoadedPlugin(), 0);
  EXPECT_GT(CappedPoints(loaded::LoadedPlugin().execZR72, m, euler), 0);
  EXPECT_EQ(StateHash(m), before);
}

// the memory floor's replica of a step moves nothing: the shared sphere
// stays the warm one for the benchmarks after it
TEST(MemoryTraffic, LeavesEveryPositionAndVelocityAsItWas) {
  WarmSphere sphere(loaded::LoadedPlugin(), 9);
  Membrane& m = sphere.membrane();
  m.points[3].Pos.X = -0.0;
  m.points[3].Vel.X = -0.0;
  m.points[4].Fixed = 1;
  m.points[4].Vel = {0.0, 0.0, 0.0};
  const uint64_t before = StateHash(m);
  for (int pass = 0; pass < 3; ++pass) MemoryTraffic(m);
  EXPECT_EQ(StateHash(m), before);
}

TEST(WarmSphere, EveryTimingStartsFromTheSameState) {
  WarmSphere sphere(loaded::LoadedPlugin(), 9);
  WarmSphere again(loaded::LoadedPlugin(), 9);
  const uint64_t warm = StateHash(sphere.membrane());
  EXPECT_EQ(StateHash(again.membrane()), warm);
  // mid-inflation: blown up, not at rest
  EXPECT_GT(sphere.VolumeGain(), 1.0);
  const TClothSetup rk4 = DefaultSetup(loaded::LoadedPlugin(), 2);
  Membrane& m = sphere.membrane();
  for (int32_t step = 0; step < 5; ++step)
    loaded::LoadedPlugin().execZR72(nullptr, &m.pointsVar, &m.facesVar, &rk4);
  EXPECT_NE(StateHash(m), warm);
  sphere.Restore();
  EXPECT_EQ(StateHash(m), warm);
}

TEST(Avx, DetectionAgreesWithTheCompilersOwn) {
  __builtin_cpu_init();
  EXPECT_EQ(HasAvx(), __builtin_cpu_supports("avx") != 0);
}

}  // namespace
