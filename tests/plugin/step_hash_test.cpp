// Bit identity across builds: one fixed membrane, 200 steps of each method,
// hashed. The Linux build and the 32-bit Windows build (under wine) must both
// give these constants; a change in any formula's grouping, a fused
// multiply-add or a wider intermediate shows up here.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "dynamics.h"
#include "membranes.h"
#include "obj_mesh.h"

using namespace tumelin;

namespace {

// a UV sphere of 16 columns and 7 rings (two poles, 114 points), read from
// a fixed mesh file, moved off its rest shape and set moving by integer
// formulas, with both poles and four ring points pinned; with these settings
// about a sixth of the points are over the acceleration limit at any time
uint64_t HashAfter200Steps(int32_t method) {
  Mesh mesh;
  std::string error;
  EXPECT_TRUE(ReadObjMesh(TUMELIN_TEST_DATA "/sphere_16x7.obj", &mesh, &error)) << error;
  Membrane m = MembraneFromMesh(mesh);
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    TClothPoint& p = m.points[i];
    p.Pos = VecScale(p.Pos, 1.0 + 0.01 * (i % 7));
    p.Vel = {0.01 * (i % 3), -0.02 * (i % 5), 0.005 * (i % 11)};
  }
  for (int32_t pinned : {0, 9, 40, 71, 100, m.points.Count() - 1}) m.points[pinned].Fixed = 1;
  const TClothSetup setup{0.004, 0.006, 0.003, 0.8, 500, method};
  for (int step = 0; step < 200; ++step) Step(m, setup);

  uint64_t hash = StateHash(m);
  for (int32_t f = 0; f < m.faces.Count(); ++f) hash = Fnv1a64(&m.faces[f].Normal, sizeof(TDbl3D), hash);
  return hash;
}

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%016" PRIx64, v);
  return text;
}

TEST(StepHash, EulerHeunAndRk4GiveTheSameBitsOnEveryBuild) {
  EXPECT_EQ(Hex(HashAfter200Steps(TUMELIN_METHOD_EULER)), "0x4293d98689775e74") << "Euler";
  EXPECT_EQ(Hex(HashAfter200Steps(TUMELIN_METHOD_HEUN)), "0x802ac20471adc0f9") << "Heun";
  EXPECT_EQ(Hex(HashAfter200Steps(TUMELIN_METHOD_RK4)), "0x203e8ad4bc0d6058") << "RK4";
}

}  // namespace
