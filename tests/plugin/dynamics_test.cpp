#include "dynamics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cloth_types.h"
#include "dbl3d.h"
#include "membranes.h"
#include "reference_step.h"
#include "setup_rules.h"

using namespace tumelin;
// the per-point step of the contract, which the shipping sweeps must match
using namespace tumelin::reference;

namespace {

// results the force model gives "as double arithmetic yields them" (0.1 from
// 0.0001 / 0.001 and the like): a few ulps of the 0.1-1 sized components
constexpr double kArithmeticTol = 1e-15;

TClothSetup MakeSetup(double p, double k0, double k1, double c, int32_t method = 0) {
  return TClothSetup{p, k0, k1, c, 500, method};
}

void ExpectVec(const TDbl3D& got, double x, double y, double z, double tol, const std::string& what = "") {
  EXPECT_NEAR(got.X, x, tol) << what;
  EXPECT_NEAR(got.Y, y, tol) << what;
  EXPECT_NEAR(got.Z, z, tol) << what;
}

void ExpectSameBits(const TDbl3D& got, const TDbl3D& want, const std::string& what) {
  EXPECT_TRUE(SameBits(got, want)) << what << ": (" << got.X << ", " << got.Y << ", " << got.Z << ") vs ("
                                   << want.X << ", " << want.Y << ", " << want.Z << ")";
}

// ---- a single evaluated point --------------------------------------------------

int providerCalls = 0;

// trial position (0, 0, 0), counting its calls
TDbl3D AtOrigin(const TDbl3D*) {
  ++providerCalls;
  return kZeroVector;
}

// point 0 is evaluated (its own Pos is never read); points 1.. are link
// targets; faces carry fixed normals and are all listed in point 0's Faces
struct Rig {
  explicit Rig(std::vector<TDbl3D> targets = {}, std::vector<TClothLink> linkList = {},
               std::vector<TDbl3D> normals = {})
      : targets(std::move(targets)), linkList(std::move(linkList)), normals(std::move(normals)) {}

  std::vector<TDbl3D> targets;
  std::vector<TClothLink> linkList;
  std::vector<TDbl3D> normals;
  std::optional<int32_t> linkCount;  // LinkCount; the number of links when unset
  TDbl3D vel = kZeroVector;

  TDbl3D Evaluate(const TClothSetup& setup, TStageProvider provider = AtOrigin) {
    std::vector<TClothPoint> pointList(1 + targets.size(), TClothPoint{});
    for (std::size_t i = 0; i < targets.size(); ++i) pointList[i + 1].Pos = targets[i];
    pointList[0].Pos = {9.0, 9.0, 9.0};
    pointList[0].Vel = vel;
    std::vector<TClothFace> faceList;
    std::vector<int32_t> adjacent;
    for (const TDbl3D& n : normals) {
      adjacent.push_back(static_cast<int32_t>(faceList.size()));
      faceList.push_back({0, 0, 0, 0, n});
    }
    links = HostArray<TClothLink>(linkList);
    faceIndices = HostArray<int32_t>(adjacent);
    pointList[0].Links = links.Data();
    pointList[0].Faces = faceIndices.Data();
    pointList[0].LinkCount = linkCount.value_or(static_cast<int32_t>(linkList.size()));
    points = HostArray<TClothPoint>(pointList);
    faces = HostArray<TClothFace>(faceList);
    TClothPointArray pointsVar = points.Data();
    TClothFaceArray facesVar = faces.Data();
    return ComputeAcceleration(&pointsVar, &points[0], &facesVar, provider, &setup);
  }

  HostArray<TClothPoint> points;
  HostArray<TClothFace> faces;
  HostArray<TClothLink> links;
  HostArray<int32_t> faceIndices;
};

TEST(ForceModel, GravityAloneThenDampingAfterTheLimit) {
  Rig rig;
  ExpectSameBits(rig.Evaluate(MakeSetup(0.5, 5.0, 5.0, 1.0)), {0.0, 0.0, -0.4}, "free fall");
  // |(-1, 0, -0.4)| > 0.48: the damping term is not limited
  rig.vel = {1.0, 0.0, 0.0};
  ExpectSameBits(rig.Evaluate(MakeSetup(0.0, 0.0, 0.0, 1.0)), {-1.0, 0.0, -0.4}, "damped");
}

TEST(ForceModel, StretchedSpringUsesK0CompressedUsesK1) {
  Rig stretched{{{2.0, 0.0, 0.0}}, {{1, 0, 1.0}}};
  ExpectVec(stretched.Evaluate(MakeSetup(0.0, 0.0001, 0.5, 0.0)), 0.1, 0.0, -0.4, kArithmeticTol);
  Rig compressed{{{0.5, 0.0, 0.0}}, {{1, 0, 1.0}}};
  ExpectVec(compressed.Evaluate(MakeSetup(0.0, 0.5, 0.0002, 0.0)), -0.1, 0.0, -0.4, kArithmeticTol);
  // a linked point at the trial position has no direction to pull in
  Rig coincident{{{0.0, 0.0, 0.0}}, {{1, 0, 1.0}}};
  ExpectSameBits(coincident.Evaluate(MakeSetup(0.0, 5.0, 5.0, 0.0)), {0.0, 0.0, -0.4}, "coincident");
}

TEST(ForceModel, LimitKeepsTheDirectionAndDampingComesAfter) {
  // before the limit a = (1, 0, -0.4), |a| = 1.077
  Rig rig{{{2.0, 0.0, 0.0}}, {{1, 0, 1.0}}};
  const TDbl3D limited = rig.Evaluate(MakeSetup(0.0, 0.001, 0.0, 1.0));
  ExpectVec(limited, 0.48 / std::sqrt(1.16), 0.0, -0.4 * 0.48 / std::sqrt(1.16), kArithmeticTol);
  EXPECT_NEAR(VecLength(limited), 0.48, kArithmeticTol);

  rig.vel = {0.0, 1.0, 0.0};
  const TDbl3D damped = rig.Evaluate(MakeSetup(0.0, 0.001, 0.0, 1.0));
  EXPECT_EQ(damped.X, limited.X);
  EXPECT_EQ(damped.Y, -1.0);
  EXPECT_EQ(damped.Z, limited.Z);
}

TEST(ForceModel, PressurePushesAgainstTheMeanNormalWhateverItsLength) {
  Rig side{{}, {}, {{1.0, 0.0, 0.0}}};
  ExpectVec(side.Evaluate(MakeSetup(0.025, 0.0, 0.0, 0.0)), -0.2, 0.0, -0.4, kArithmeticTol);
  // a half-length normal: a = (0, 0, -0.8) before the limit
  Rig down{{}, {}, {{0.0, 0.0, 0.5}}};
  ExpectVec(down.Evaluate(MakeSetup(0.05, 0.0, 0.0, 0.0)), 0.0, 0.0, -0.48, kArithmeticTol);
  Rig cancelling{{}, {}, {{0.0, 0.0, 1.0}, {0.0, 0.0, -1.0}}};
  ExpectSameBits(cancelling.Evaluate(MakeSetup(7.0, 0.0, 0.0, 0.0)), {0.0, 0.0, -0.4}, "cancelling normals");
}

TEST(ForceModel, LimitPassesExactly048AndRescalesOneUlpMore) {
  // off-axis vectors whose computed length is 0.48 (or one ulp more) and
  // which rescaling to 0.48 would change in their bits: an axis-aligned
  // vector rescales onto itself and would prove nothing
  const double longer = std::nextafter(kAccelerationLimit, 1.0);
  auto find = [](double length) -> std::optional<TDbl3D> {
    for (int k = 0; k < 30; ++k) {
      TDbl3D v{0.1 + 0.01 * k, 0.2, 0.0};
      v.Z = -std::sqrt(length * length - v.X * v.X - v.Y * v.Y);
      for (int ulp = 0; ulp < 8; ++ulp) v.Z = std::nextafter(v.Z, 0.0);
      for (int ulp = -8; ulp < 8; ++ulp, v.Z = std::nextafter(v.Z, -1.0)) {
        if (VecLength(v) == length && !SameBits(VecScale(VecNormalize(v), kAccelerationLimit), v)) return v;
      }
    }
    return std::nullopt;
  };
  const std::optional<TDbl3D> atLimit = find(kAccelerationLimit), past = find(longer);
  ASSERT_TRUE(atLimit && past) << "no candidate found";
  ExpectSameBits(LimitAcceleration(*atLimit), *atLimit, "exactly the limit");

  const TDbl3D limited = LimitAcceleration(*past);
  EXPECT_FALSE(SameBits(limited, *past)) << "one ulp past the limit passed unchanged";
  EXPECT_NEAR(VecLength(limited), kAccelerationLimit, kArithmeticTol);
}

TEST(ForceModel, MeanNormalWeighsEachFaceBySineAtItsFirstCorner) {
  //   z                face A = 0 1 2 (z = 0): 90 degrees at 0, normal (0, 0, 1);
  //   |   3            listed 1 2 0: 45 degrees at 1, normal (0, 0, sin 45)
  //   |  /             face B = 0 2 3 (x = 0): 60 degrees at 0, normal (sin 60, 0, 0)
  //   | /
  //   0 ------ 2  y    mean = unit(nA + nB), in both listings; the mean of
  //    \               the unit normals would be unit(1, 0, 1)
  //     1  x
  HostArray<TClothPoint> points(std::vector<TClothPoint>(4, TClothPoint{}));
  points[1].Pos = {1.0, 0.0, 0.0};
  points[2].Pos = {0.0, 1.0, 0.0};
  points[3].Pos = {0.0, 0.5, std::sqrt(0.75)};
  HostArray<int32_t> adjacent{0, 1};
  points[0].Faces = adjacent.Data();
  TClothPointArray pointsVar = points.Data();
  const double sin60 = std::sqrt(0.75), sin45 = std::sqrt(0.5);
  struct Case {
    TClothFace a;
    double weightA;
  };
  for (const Case& c : {Case{{0, 1, 2, 0, kZeroVector}, 1.0}, Case{{1, 2, 0, 0, kZeroVector}, sin45}}) {
    HostArray<TClothFace> faces{c.a, {0, 2, 3, 0, kZeroVector}};
    TClothFaceArray facesVar = faces.Data();
    UpdateFaceNormals(&pointsVar, &facesVar);
    const double norm = std::sqrt(sin60 * sin60 + c.weightA * c.weightA);
    ExpectVec(MeanFaceNormal(&points[0], &facesVar), sin60 / norm, 0.0, c.weightA / norm, kArithmeticTol,
              "face A weighs " + std::to_string(c.weightA));
  }
}

TEST(ForceModel, OnlyTheFirstLinkCountLinksAct) {
  const std::vector<TDbl3D> targets{{0.2, 0.0, 0.0}, {0.0, 0.3, 0.0}, {5.0, 5.0, 5.0}};
  const std::vector<TClothLink> five{{1, 0, 0.1}, {2, 0, 0.5}, {3, 0, 0.0}, {3, 0, 0.0}, {3, 0, 0.0}};
  const TClothSetup setup = MakeSetup(0.0, 0.0003, 0.0002, 0.0);
  Rig firstTwo{targets, {five[0], five[1]}};
  Rig twoOfFive{targets, five};
  twoOfFive.linkCount = 2;
  ExpectSameBits(twoOfFive.Evaluate(setup), firstTwo.Evaluate(setup), "LinkCount 2 of 5");

  for (int32_t none : {0, -3}) {
    Rig unused{targets, five};
    unused.linkCount = none;
    providerCalls = 0;
    ExpectSameBits(unused.Evaluate(setup), {0.0, 0.0, -0.4}, "LinkCount " + std::to_string(none));
    EXPECT_EQ(providerCalls, 0) << "LinkCount " << none;
  }
  providerCalls = 0;
  firstTwo.Evaluate(setup);
  EXPECT_GT(providerCalls, 0);
}

// ---- face normals --------------------------------------------------------------

// The step's face pass, a lane width of faces at a time on either path, with
// every point pinned so that nothing moves: each face gets FaceNormal's bits
// of its corners' Pos (not NewPos) in corner order, for ordinary, sliver,
// degenerate and NaN corners, and the zero normal with a corner outside the
// point array.
TEST(FaceNormals, StepTakesFaceNormalOfTheCornerPos) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const TDbl3D corners[][3] = {
      {{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}},
      {{0.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {1.0, 0.0, 0.0}},
      {{0.1, 0.2, 0.3}, {1.7, -0.4, 0.9}, {-0.3, 2.2, 0.05}},
      {{1.0, 1.0, 1.0}, {1.0 + 1e-9, 1.0, 1.0}, {1.0, 1.0 + 3e-9, 1.0 + 1e-12}},
      {{0.0, 0.0, 0.0}, {1.0, 1e-17, 0.0}, {2.0, 0.0, 1e-300}},
      {{5.0, 5.0, 5.0}, {5.0, 5.0, 5.0}, {0.0, 1.0, 2.0}},
      {{5.0, 5.0, 5.0}, {0.0, 1.0, 2.0}, {5.0, 5.0, 5.0}},
      {{-1e150, 3e149, 2e150}, {1e150, -2e150, 4e149}, {3e149, 1e150, -1e150}},
      {{0.0, 0.0, 0.0}, {nan, 0.0, 1.0}, {1.0, 0.0, 0.0}},
      {{0.5, -0.25, 0.125}, {-0.0, 0.75, -1.5}, {2.5, 0.0, -0.0}},
  };
  constexpr int32_t kTriangles = static_cast<int32_t>(std::size(corners));
  const TDbl3D stale{3.0, 3.0, 3.0};
  const TClothSetup setup = MakeSetup(0.5, 5.0, 5.0, 1.0);
  for (StepPath path : {StepPath::kSse2, StepPath::kAvx}) {
    HostArray<TClothPoint> points(std::vector<TClothPoint>(3 * kTriangles, TClothPoint{}));
    std::vector<TClothFace> faceList;
    for (int32_t t = 0; t < kTriangles; ++t) {
      for (int c = 0; c < 3; ++c) {
        TClothPoint& corner = points[3 * t + c];
        corner.Pos = corners[t][c];
        corner.NewPos = {0.0, 0.0, 7.0};
        corner.Fixed = 1;
      }
      faceList.push_back({3 * t, 3 * t + 1, 3 * t + 2, 0, stale});
    }
    faceList.push_back({0, 1, 3 * kTriangles, 0, stale});
    faceList.push_back({-1, 1, 2, 0, stale});
    HostArray<TClothFace> faces(faceList);
    TClothPointArray pointsVar = points.Data();
    TClothFaceArray facesVar = faces.Data();
    StepMembraneOn(path, &pointsVar, &facesVar, &setup);
    const std::string on = path == StepPath::kAvx ? " AVX" : " SSE2";
    for (int32_t t = 0; t < kTriangles; ++t) {
      ExpectSameBits(faces[t].Normal, FaceNormal(corners[t][0], corners[t][1], corners[t][2]),
                     "triangle " + std::to_string(t) + on);
    }
    ExpectSameBits(faces[kTriangles].Normal, kZeroVector, "corner past the point array" + on);
    ExpectSameBits(faces[kTriangles + 1].Normal, kZeroVector, "negative corner" + on);
  }
}

// ---- integrators ---------------------------------------------------------------

struct Method {
  const char* name;
  Integrator step;
  int32_t clothMethod;
};

void PrintTo(const Method& m, std::ostream* os) { *os << m.name; }

const Method kEuler{"Euler", StepEuler, TUMELIN_METHOD_EULER};
const Method kHeun{"Heun", StepHeun, TUMELIN_METHOD_HEUN};
const Method kRK4{"RK4", StepRK4, TUMELIN_METHOD_RK4};

class Integrator : public ::testing::TestWithParam<Method> {};

// free point 1 on a zero-rest-length spring to point 0 at the origin, with
// K0 = K1 = 0.001 = the point mass: a(X) = -X - (0, 0, 0.4) while |a| <= 0.48,
// a unit oscillator in x and z
struct Oscillator {
  explicit Oscillator(TDbl3D pos, TDbl3D vel = kZeroVector) {
    std::vector<TClothPoint> list(2, TClothPoint{});
    list[0].Fixed = 1;
    list[1].Pos = pos;
    list[1].Vel = vel;
    list[1].LinkCount = 1;
    list[1].Links = links.Data();
    points = HostArray<TClothPoint>(list);
    pointsVar = points.Data();
  }
  TClothPoint& free() { return points[1]; }
  void Step(const Method& m) { m.step(&pointsVar, &points[1], &facesVar, &setup); }

  HostArray<TClothLink> links{{0, 0, 0.0}};
  HostArray<TClothPoint> points;
  TClothPointArray pointsVar = nullptr;
  TClothFaceArray facesVar = nullptr;
  TClothSetup setup = MakeSetup(0.0, 0.001, 0.001, 0.0);
};

// the spring's direction times length differs from -X by ulps of 0.25
// (5.6e-17); the step changes x by 6e-6
constexpr double kOscillatorTol = 1e-15;

TEST(Integrators, FirstOscillatorStep) {
  struct Case {
    Method method;
    double x, v;
  };
  // x0 = 0.25: a quarter of the unit-amplitude values
  for (const Case& c : {Case{kEuler, 0.24999375, -0.00125}, Case{kHeun, 0.249996875, -0.00125},
                        Case{kRK4, 0.24999687500651, -0.0012499947916675}}) {
    Oscillator osc({0.25, 0.0, 0.0});
    osc.Step(c.method);
    EXPECT_NEAR(osc.free().NewPos.X, c.x, kOscillatorTol) << c.method.name;
    EXPECT_NEAR(osc.free().NewVel.X, c.v, kOscillatorTol) << c.method.name;
  }
  // one RK4 step misses cos / -sin by its local error, h^5 / 120 = 2.6e-14 at
  // unit amplitude
  constexpr double kRk4LocalErrorTol = 0.25 * 3e-14;
  Oscillator osc({0.25, 0.0, 0.0});
  osc.Step(kRK4);
  EXPECT_NEAR(osc.free().NewPos.X, 0.25 * std::cos(TimeStep), kRk4LocalErrorTol);
  EXPECT_NEAR(osc.free().NewVel.X, -0.25 * std::sin(TimeStep), kRk4LocalErrorTol);
}

TEST(Integrators, AccuracyAgainstTheExactOscillatorIsRk4ThenHeunThenEuler) {
  // one free point on a pinned anchor, undamped: nothing the step freezes at
  // its start (the anchor's Pos, Vel in the damping) changes during the step,
  // so each method shows its full order. With a moving neighbour RK4 falls to
  // Heun's accuracy (OnACoupledChainRk4IsNoBetterThanHeun).
  // x = 0.25 cos t, z = 0.4 (cos t - 1); |a| = 0.47 |cos t| stays under the limit
  auto maxError = [](const Method& m) {
    Oscillator osc({0.25, 0.0, 0.0});
    osc.setup.ClothMethod = m.clothMethod;
    double worst = 0.0;
    for (int step = 1; step <= 400; ++step) {
      StepMembrane(&osc.pointsVar, &osc.facesVar, &osc.setup);
      const double t = step * TimeStep;
      worst = std::max(worst, std::fabs(osc.free().Pos.X - 0.25 * std::cos(t)));
      worst = std::max(worst, std::fabs(osc.free().Pos.Z - 0.4 * (std::cos(t) - 1.0)));
    }
    return worst;
  };
  const double euler = maxError(kEuler), heun = maxError(kHeun), rk4 = maxError(kRK4);
  // first, second and fourth order in h = 0.005: each at least 10x better
  EXPECT_LT(heun, euler / 10.0) << heun << " vs " << euler;
  EXPECT_LT(rk4, heun / 10.0) << rk4 << " vs " << heun;
}

// two free points on one spring, no faces, undamped:
//
//   0 -------------- 1    rest length 0.3, stretched to 0.5 along x; K0 = K1 =
//   vel (0, -0.1, 0)      the point mass; vel (0, 0.1, 0) at 1. |a| stays at
//                         or below 0.45, under the limit
struct Chain {
  Chain() {
    std::vector<TClothPoint> list(2, TClothPoint{});
    for (int i = 0; i < 2; ++i) {
      list[i].Pos = {0.5 * i, 0.0, 0.0};
      list[i].Vel = {0.0, i == 0 ? -0.1 : 0.1, 0.0};
      list[i].LinkCount = 1;
      list[i].Links = links[i].Data();
    }
    points = HostArray<TClothPoint>(list);
    pointsVar = points.Data();
  }

  // the coupled system: classical RK4 on both points together at h / 20, the
  // force model evaluated with both points at their stage states
  void ReferenceStep() {
    constexpr int kSubsteps = 20;
    constexpr double dt = TimeStep / kSubsteps;
    constexpr double kFraction[4] = {0.0, 0.5, 0.5, 1.0};  // of the previous stage's increment
    constexpr double kWeight[4] = {1.0 / 6.0, 2.0 / 6.0, 2.0 / 6.0, 1.0 / 6.0};
    for (int sub = 0; sub < kSubsteps; ++sub) {
      const TDbl3D x[2] = {points[0].Pos, points[1].Pos}, v[2] = {points[0].Vel, points[1].Vel};
      TDbl3D dx[2] = {}, dv[2] = {}, sumX[2] = {}, sumV[2] = {};
      for (int s = 0; s < 4; ++s) {
        for (int i = 0; i < 2; ++i) {
          points[i].Pos = VecAdd(x[i], VecScale(dx[i], kFraction[s]));
          points[i].Vel = VecAdd(v[i], VecScale(dv[i], kFraction[s]));
        }
        for (int i = 0; i < 2; ++i) {
          StageBlock[0] = points[i].Pos;
          dv[i] = VecScale(ComputeAcceleration(&pointsVar, &points[i], &facesVar, TrialStart, &setup), dt);
          dx[i] = VecScale(points[i].Vel, dt);
          VecAccumulate(sumX[i], VecScale(dx[i], kWeight[s]));
          VecAccumulate(sumV[i], VecScale(dv[i], kWeight[s]));
        }
      }
      for (int i = 0; i < 2; ++i) {
        points[i].Pos = VecAdd(x[i], sumX[i]);
        points[i].Vel = VecAdd(v[i], sumV[i]);
      }
    }
  }

  HostArray<TClothLink> links[2] = {{{1, 0, 0.3}}, {{0, 0, 0.3}}};
  HostArray<TClothPoint> points;
  TClothPointArray pointsVar = nullptr;
  TClothFaceArray facesVar = nullptr;
  TClothSetup setup = MakeSetup(0.0, 0.001, 0.001, 0.0);
};

TEST(Integrators, OnACoupledChainRk4IsNoBetterThanHeun) {
  // each point sees the other frozen at its start-of-step position, which
  // leaves RK4 second order like Heun; the reference itself is good to 1e-14
  auto maxError = [](const Method& m) {
    Chain chain, reference;
    chain.setup.ClothMethod = m.clothMethod;
    double worst = 0.0;
    for (int step = 0; step < 400; ++step) {
      StepMembrane(&chain.pointsVar, &chain.facesVar, &chain.setup);
      reference.ReferenceStep();
      for (int i = 0; i < 2; ++i) {
        worst = std::max(worst, VecLength(VecSub(chain.points[i].Pos, reference.points[i].Pos)));
      }
    }
    return worst;
  };
  // measured: 2.0e-3 Euler (mostly gravity, which it takes to first order),
  // 3.5e-4 Heun, 3.5e-4 RK4
  const double euler = maxError(kEuler), heun = maxError(kHeun), rk4 = maxError(kRK4);
  EXPECT_GT(rk4, 0.8 * heun) << rk4 << " vs " << heun;
  EXPECT_GT(euler, 3.0 * heun) << euler << " vs " << heun;
}

TEST(Integrators, TrialPositionsHandedToTheForceModel) {
  // a = -X - (0, 0, 0.4) lets the stored accelerations give the trial X back;
  // recovering X costs ulps of 0.4, the trial positions differ by 1e-4
  constexpr double kRecoverTol = 1e-14;
  const TDbl3D pos{0.1, 0.05, -0.02}, vel{0.3, -0.2, 0.1};
  auto trial = [](TDbl3D a) { return TDbl3D{-a.X, -a.Y, -a.Z - 0.4}; };
  auto expect = [&](TDbl3D got, TDbl3D want, const char* what) {
    ExpectVec(got, want.X, want.Y, want.Z, kRecoverTol, what);
  };

  Oscillator heun(pos, vel);
  heun.Step(kHeun);
  expect(trial(VelStageBlock[1]), pos, "heun first");
  expect(trial(VelStageBlock[2]), VecAdd(pos, VecScale(vel, TimeStep)), "heun predictor");

  Oscillator rk4(pos, vel);
  rk4.Step(kRK4);
  TDbl3D a[5];
  for (int i = 1; i <= 4; ++i) a[i] = VecScale(VelStageBlock[i], 1.0 / TimeStep);
  expect(trial(a[1]), pos, "rk4 first");
  expect(trial(a[2]), VecAdd(pos, VecScale(vel, 0.5 * TimeStep)), "rk4 pos + k1x/2");
  const TDbl3D k2x = VecScale(VecAdd(vel, VecScale(a[1], TimeStep / 2.0)), TimeStep);
  expect(trial(a[3]), VecAdd(pos, VecScale(k2x, 0.5)), "rk4 pos + k2x/2");
  const TDbl3D k3x = VecScale(VecAdd(vel, VecScale(a[2], TimeStep / 2.0)), TimeStep);
  expect(trial(a[4]), VecAdd(pos, k3x), "rk4 pos + k3x");
}

TEST_P(Integrator, PositionIndependentAccelerationGivesTheClosedForm) {
  // no links: a = (-0.2, 0, -0.4) from damping 0.2 of vel (1, 0, 0) and gravity,
  // the same in every stage
  Oscillator osc({0.0, 0.0, 0.0}, {1.0, 0.0, 0.0});
  osc.free().LinkCount = 0;
  osc.setup.ClothC = 0.2;
  osc.Step(GetParam());
  const double posFactor = GetParam().step == StepEuler ? 0.000025 : 0.0000125;
  ExpectVec(osc.free().NewVel, 1.0 - 0.005 * 0.2, 0.0, -0.005 * 0.4, kArithmeticTol);
  ExpectVec(osc.free().NewPos, 0.005 - posFactor * 0.2, 0.0, -posFactor * 0.4, kArithmeticTol);
}

TEST_P(Integrator, WritesOnlyNewPosAndNewVelOfItsPointWhateverTheStageStorageHeld) {
  auto run = [&](double fill) {
    for (int i = 0; i < 5; ++i) StageBlock[i] = VelStageBlock[i] = {fill, fill, fill};
    Oscillator osc({0.1, 0.2, 0.3}, {0.5, 0.0, -0.5});
    const TClothPoint anchorBefore = osc.points[0];
    TClothPoint freeBefore = osc.free();
    osc.Step(GetParam());
    EXPECT_EQ(std::memcmp(&osc.points[0], &anchorBefore, sizeof anchorBefore), 0);
    EXPECT_FALSE(SameBits(osc.free().NewPos, kZeroVector));
    EXPECT_FALSE(SameBits(osc.free().NewVel, kZeroVector));
    freeBefore.NewPos = osc.free().NewPos;
    freeBefore.NewVel = osc.free().NewVel;
    EXPECT_EQ(std::memcmp(&osc.free(), &freeBefore, sizeof freeBefore), 0);
    return std::vector<TDbl3D>{osc.free().NewPos, osc.free().NewVel};
  };
  const std::vector<TDbl3D> fresh = run(0.0);
  const std::vector<TDbl3D> stale = run(std::numeric_limits<double>::quiet_NaN());
  ExpectSameBits(stale[0], fresh[0], "NewPos");
  ExpectSameBits(stale[1], fresh[1], "NewVel");
}

// ---- step driver -----------------------------------------------------------------

// a UV sphere moved off its rest shape, with velocities and a few pins, all
// from a formula of the point index, so a renumbered copy can be made alike
void Disturb(Membrane& m, int32_t i, int32_t label) {
  TClothPoint& p = m.points[i];
  p.Pos = VecScale(p.Pos, 1.0 + 0.01 * (label % 7));
  p.Vel = {0.01 * (label % 3), -0.02 * (label % 5), 0.005 * label};
  p.Fixed = label % 9 == 4 ? 1 : 0;
  if (p.Fixed != 0) p.NewVel = {0.25, 0.5, -1.0};
}

const TClothSetup kMembraneSetup = MakeSetup(0.004, 0.05, 0.02, 0.5);

TEST(StepDriver, NullArgumentsDoNothing) {
  Membrane m = SphereMembrane(9, 5);
  m.faces[0].Normal = {3.0, 3.0, 3.0};
  const TClothPoint before = m.points[1];
  EXPECT_EQ(StepMembrane(nullptr, &m.facesVar, &kMembraneSetup), 0);
  EXPECT_EQ(StepMembrane(&m.pointsVar, nullptr, &kMembraneSetup), 0);
  EXPECT_EQ(StepMembrane(&m.pointsVar, &m.facesVar, nullptr), 0);
  EXPECT_EQ(std::memcmp(&m.points[1], &before, sizeof before), 0);
  ExpectSameBits(m.faces[0].Normal, {3.0, 3.0, 3.0}, "untouched normal");

  TClothPointArray noPoints = nullptr;
  TClothFaceArray noFaces = nullptr;
  EXPECT_EQ(StepMembrane(&noPoints, &noFaces, &kMembraneSetup), 0);
  // a null point array holds no corner of the faces
  EXPECT_EQ(StepMembrane(&noPoints, &m.facesVar, &kMembraneSetup), 0);
  ExpectSameBits(m.faces[0].Normal, kZeroVector, "no points");
  // points without a face array: no pressure, the step still runs
  EXPECT_EQ(StepMembrane(&m.pointsVar, &noFaces, &kMembraneSetup), m.points.Count());
  EXPECT_FALSE(SameBits(m.points[1].Vel, before.Vel)) << "gravity acts";
}

TEST(StepDriver, PinnedPointsHoldStillAndTakeTheirNewVel) {
  Membrane m = SphereMembrane(9, 5);
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    Disturb(m, i, i);
    m.points[i].Fixed = static_cast<uint8_t>(i % 2 == 0 ? 1 : 255);
    m.points[i].NewVel = i == 3 ? TDbl3D{0.25, 0.5, -1.0} : kZeroVector;
  }
  m.faces[0].Normal = {3.0, 3.0, 3.0};
  const std::vector<TDbl3D> before = Positions(m);
  EXPECT_EQ(Step(m, kMembraneSetup), m.points.Count());
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    ExpectSameBits(m.points[i].Pos, before[i], "pinned Pos " + std::to_string(i));
    ExpectSameBits(m.points[i].Vel, i == 3 ? TDbl3D{0.25, 0.5, -1.0} : kZeroVector,
                   "Vel " + std::to_string(i));
    ExpectSameBits(m.points[i].NewPos, kZeroVector, "NewPos cleared");
    ExpectSameBits(m.points[i].NewVel, kZeroVector, "NewVel cleared");
  }
  EXPECT_FALSE(SameBits(m.faces[0].Normal, {3.0, 3.0, 3.0})) << "normals are recomputed";
}

class Driver : public ::testing::TestWithParam<Method> {};

// the same mesh with point i renumbered to n - 1 - i; triangle order, corner
// order and so every point's link and face order stay as they were
Mesh Reversed(const Mesh& mesh) {
  const int32_t n = static_cast<int32_t>(mesh.positions.size());
  Mesh reversed;
  reversed.positions.assign(mesh.positions.rbegin(), mesh.positions.rend());
  for (auto t : mesh.triangles) reversed.triangles.push_back({n - 1 - t[0], n - 1 - t[1], n - 1 - t[2]});
  return reversed;
}

TEST_P(Driver, PointOrderDoesNotMatter) {
  MembraneParams params;
  params.columns = 9;
  params.rows = 5;
  const Mesh mesh = ShapeMesh(params);
  Membrane forward = MembraneFromMesh(mesh);
  Membrane backward = MembraneFromMesh(Reversed(mesh));
  const int32_t n = forward.points.Count();
  for (int32_t i = 0; i < n; ++i) {
    Disturb(forward, i, i);
    Disturb(backward, n - 1 - i, i);
  }
  TClothSetup setup = kMembraneSetup;
  setup.ClothMethod = GetParam().clothMethod;
  for (int step = 0; step < 3; ++step) {
    Step(forward, setup);
    Step(backward, setup);
  }
  for (int32_t i = 0; i < n; ++i) {
    ExpectSameBits(backward.points[n - 1 - i].Pos, forward.points[i].Pos, "Pos " + std::to_string(i));
    ExpectSameBits(backward.points[n - 1 - i].Vel, forward.points[i].Vel, "Vel " + std::to_string(i));
  }
  for (int32_t f = 0; f < forward.faces.Count(); ++f) {
    ExpectSameBits(backward.faces[f].Normal, forward.faces[f].Normal, "Normal " + std::to_string(f));
  }
}

TEST_P(Driver, ClosedSphereGrowsWhenClockwiseFromOutsideAndShrinksOtherwise) {
  // pressure 8 ClothP = 0.04 plus gravity stays under the 0.48 limit, so
  // gravity only translates the sphere and the volume follows the pressure
  TClothSetup setup = MakeSetup(0.005, 0.0005, 0.0005, 0.1, GetParam().clothMethod);
  for (bool clockwise : {true, false}) {
    Membrane m = SphereMembrane(17, 9, clockwise);
    // the signed volume is positive for counter-clockwise faces: check the mesh
    const double start = SignedVolume(m);
    ASSERT_EQ(start < 0.0, clockwise);
    for (int step = 0; step < 40; ++step) Step(m, setup);
    const double grown = std::fabs(SignedVolume(m)) - std::fabs(start);
    if (clockwise) {
      EXPECT_GT(grown, 0.0) << "volume change " << grown;
    } else {
      EXPECT_LT(grown, 0.0) << "volume change " << grown;
    }
  }
}

// A long run at the default settings stays finite and keeps its shape: the
// unit sphere neither blows up nor collapses, and it falls no faster than
// the acceleration limit allows against the damping. The AVX path (where
// the CPU has it) and the SSE2 path give the same bits after every step.
TEST_P(Driver, LongRunStaysFiniteAndBounded) {
  constexpr int kSteps = 3000;  // 15 time units
  // 17 x 9 points inflate from 3.93 to 3.97 in volume in 1000 steps: four
  // radii from the centre is far beyond any shape the settings lead to
  constexpr double kMaxRadius = 4.0;
  Membrane m = SphereMembrane(17, 9), onSse2 = SphereMembrane(17, 9);
  TClothSetup setup;
  SetupDefaults(&setup);
  setup.ClothMethod = GetParam().clothMethod;
  auto centre = [&m] {
    TDbl3D sum = kZeroVector;
    for (int32_t i = 0; i < m.points.Count(); ++i) VecAccumulate(sum, m.points[i].Pos);
    return VecScale(sum, 1.0 / m.points.Count());
  };
  const TDbl3D start = centre();
  for (int step = 1; step <= kSteps; ++step) {
    StepMembraneOn(StepPath::kAvx, &m.pointsVar, &m.facesVar, &setup);
    StepMembraneOn(StepPath::kSse2, &onSse2.pointsVar, &onSse2.facesVar, &setup);
    ASSERT_EQ(StateHash(m), StateHash(onSse2)) << "step " << step;
    if (step % 100 != 0) continue;
    const TDbl3D c = centre();
    for (int32_t i = 0; i < m.points.Count(); ++i) {
      const TDbl3D p = m.points[i].Pos;
      ASSERT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z))
          << "point " << i << ", step " << step;
      ASSERT_LT(VecLength(VecSub(p, c)), kMaxRadius) << "point " << i << ", step " << step;
    }
    // the limited acceleration 0.48 against damping ClothC: speeds stay below
    // 0.48 / ClothC, so the centre moves at most that far per time unit
    const double elapsed = step * TimeStep;
    EXPECT_LE(VecLength(VecSub(c, start)), kAccelerationLimit / setup.ClothC * elapsed) << "step " << step;
  }
}

// A membrane with everything the step must survive, drawn from a 9 x 5
// sphere (26 points): pins, a point without faces, zero and negative
// LinkCount, a zero-length spring (point 10 sits on its first neighbour), a
// point without links and a point with more springs than the step evaluates
// at once (point 12). With odd input, which changes nothing: Fixed bytes of
// 255, links past the point array and negative ones, face indices outside
// the face array, LinkCount beyond Links and on null Links, and two faces
// after the others with a corner outside the point array.
struct RoughMembrane {
  explicit RoughMembrane(bool oddInput) {
    for (int32_t i = 0; i < m.points.Count(); ++i) Disturb(m, i, i);
    TClothPoint* p = &m.points[0];
    p[7].Faces = nullptr;
    p[8].LinkCount = 0;
    p[9].LinkCount = -2;
    std::vector<TClothLink> many;
    while (many.size() < 300) many.insert(many.end(), p[12].Links, p[12].Links + p[12].LinkCount);
    manyLinks = HostArray<TClothLink>(many);
    p[12].Links = manyLinks.Data();
    p[12].LinkCount = static_cast<int32_t>(many.size());
    p[10].Pos = p[p[10].Links[0].Target].Pos;
    p[10].Fixed = 0;
    p[11].Links = nullptr;
    p[11].LinkCount = oddInput ? 3 : 0;
    if (!oddInput) return;
    for (int32_t i = 0; i < m.points.Count(); ++i) p[i].Fixed = p[i].Fixed != 0 ? 255 : 0;
    std::vector<TClothLink> links(p[5].Links, p[5].Links + p[5].LinkCount);
    links.insert(links.begin() + 1, TClothLink{m.points.Count(), 0, 0.5});
    links.insert(links.begin() + 2, TClothLink{INT32_MIN, 0, 0.0});
    links.push_back(TClothLink{-1, 0, 0.25});
    badLinks = HostArray<TClothLink>(links);
    p[5].Links = badLinks.Data();
    p[5].LinkCount = static_cast<int32_t>(links.size());
    std::vector<int32_t> adjacent(p[5].Faces, p[5].Faces + ArrayCount(p[5].Faces));
    adjacent.insert(adjacent.begin(), m.faces.Count() + 1);
    adjacent.insert(adjacent.begin() + 2, 1 << 30);
    adjacent.push_back(-3);
    badFaces = HostArray<int32_t>(adjacent);
    p[5].Faces = badFaces.Data();
    p[6].LinkCount += 10;
    std::vector<TClothFace> faces(m.facesVar, m.facesVar + m.faces.Count());
    faces.push_back({0, 1, m.points.Count() + 14, 0, {3.0, 3.0, 3.0}});
    faces.push_back({0, 1, -2, 0, {3.0, 3.0, 3.0}});
    moreFaces = HostArray<TClothFace>(faces);
    m.facesVar = moreFaces.Data();
  }

  Membrane m = SphereMembrane(9, 5);
  HostArray<TClothLink> badLinks, manyLinks;
  HostArray<int32_t> badFaces;
  HostArray<TClothFace> moreFaces;
};

void ExpectSameState(const Membrane& got, const Membrane& want, const std::string& what) {
  for (int32_t i = 0; i < want.points.Count(); ++i) {
    ExpectSameBits(got.pointsVar[i].Pos, want.pointsVar[i].Pos, what + " Pos " + std::to_string(i));
    ExpectSameBits(got.pointsVar[i].Vel, want.pointsVar[i].Vel, what + " Vel " + std::to_string(i));
  }
  for (int32_t f = 0; f < ArrayCount(want.facesVar); ++f)
    ExpectSameBits(got.facesVar[f].Normal, want.facesVar[f].Normal, what + " Normal " + std::to_string(f));
}

// every method has its own name; the name of a value a step takes as Euler says so
TEST(Methods, NamesSayWhatAStepDoes) {
  EXPECT_STREQ(TumelinMethodName(TUMELIN_METHOD_EULER), "semi-implicit Euler");
  EXPECT_STREQ(TumelinMethodName(TUMELIN_METHOD_HEUN), "Heun");
  EXPECT_STREQ(TumelinMethodName(TUMELIN_METHOD_RK4), "Runge-Kutta 4");
  for (const int32_t other : {int32_t{TUMELIN_METHOD_COUNT}, int32_t{-1}, INT32_MIN})
    EXPECT_NE(std::strstr(TumelinMethodName(other), "semi-implicit Euler"), nullptr) << other;
}

// The step driver's sweeps restructure the reference model's integrators
// (per-point terms once, evaluations in lanes) and take the odd input in
// their stride; every bit of the reference model on the membrane without it
// must stay.
// A ClothMethod outside TUMELIN_METHOD_* steps as Euler.
TEST(StepDriver, SweepsGiveTheBitsOfTheReferenceModel) {
  // mostly over the acceleration limit; partly; never (pressure 0.04 + gravity)
  const TClothSetup setups[] = {MakeSetup(0.5, 5.0, 5.0, 1.0), MakeSetup(0.004, 0.006, 0.003, 0.8),
                                MakeSetup(0.005, 0.0005, 0.0005, 0.1)};
  const Method unknown[] = {
      {"Euler", StepEuler, TUMELIN_METHOD_COUNT}, {"Euler", StepEuler, -1}, {"Euler", StepEuler, INT32_MIN}};
  for (const Method& c : {kEuler, kHeun, kRK4, unknown[0], unknown[1], unknown[2]}) {
    for (const TClothSetup& base : setups) {
      for (StepPath path : {StepPath::kSse2, StepPath::kAvx}) {
        TClothSetup setup = base;
        setup.ClothMethod = c.clothMethod;
        RoughMembrane swept(true), model(false);
        for (int step = 0; step < 4; ++step) {
          const std::string what = std::string(path == StepPath::kAvx ? "AVX" : "SSE2") + " method " +
                                   std::to_string(c.clothMethod) + " P=" + std::to_string(setup.ClothP) +
                                   " step " + std::to_string(step);
          EXPECT_EQ(StepMembraneOn(path, &swept.m.pointsVar, &swept.m.facesVar, &setup),
                    swept.m.points.Count());
          reference::Step(&model.m.pointsVar, &model.m.facesVar, &setup, c.step);
          ExpectSameState(swept.m, model.m, what);
        }
        const int32_t faceCount = swept.moreFaces.Count();
        ExpectSameBits(swept.moreFaces[faceCount - 2].Normal, kZeroVector, "corner past the point array");
        ExpectSameBits(swept.moreFaces[faceCount - 1].Normal, kZeroVector, "negative corner");
      }
    }
  }
}

std::string MethodName(const ::testing::TestParamInfo<Method>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(AllMethods, Integrator, ::testing::Values(kEuler, kHeun, kRK4), MethodName);
INSTANTIATE_TEST_SUITE_P(AllMethods, Driver, ::testing::Values(kEuler, kHeun, kRK4), MethodName);

}  // namespace
