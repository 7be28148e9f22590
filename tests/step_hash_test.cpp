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
#include "membrane_builder.h"

using namespace tumelin;

namespace {

// FNV-1a, 64 bit
struct Fnv1a {
  uint64_t value = 14695981039346656037ull;
  void Add(const TDbl3D& v) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&v);
    for (std::size_t i = 0; i < sizeof v; ++i) value = (value ^ bytes[i]) * 1099511628211ull;
  }
};

// a UV sphere of 16 columns and 7 rings (two poles, 114 points) built with
// + - * / and sqrt only, moved off its rest shape and set moving by integer
// formulas, with both poles and four ring points pinned; with these settings
// about a sixth of the points are over the acceleration limit at any time
uint64_t HashAfter200Steps(int32_t method) {
  HostMembrane m(UvSphere(16, 1.0, Winding::kClockwiseFromOutside));
  for (int32_t i = 0; i < m.size(); ++i) {
    TClothPoint& p = m.point(i);
    p.Pos = VecScale(p.Pos, 1.0 + 0.01 * (i % 7));
    p.Vel = {0.01 * (i % 3), -0.02 * (i % 5), 0.005 * (i % 11)};
  }
  for (int32_t pinned : {0, 9, 40, 71, 100, m.size() - 1}) m.point(pinned).Fixed = 1;
  const TClothSetup setup{0.004, 0.006, 0.003, 0.8, 500, method};
  for (int step = 0; step < 200; ++step) m.Step(setup);

  Fnv1a hash;
  for (int32_t i = 0; i < m.size(); ++i) {
    hash.Add(m.point(i).Pos);
    hash.Add(m.point(i).Vel);
  }
  for (int32_t f = 0; f < m.faceCount(); ++f) hash.Add(m.face(f).Normal);
  return hash.value;
}

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%016" PRIx64, v);
  return text;
}

TEST(StepHash, EulerHeunAndRk4GiveTheSameBitsOnEveryBuild) {
  EXPECT_EQ(Hex(HashAfter200Steps(0)), "0x4293d98689775e74") << "Euler";
  EXPECT_EQ(Hex(HashAfter200Steps(1)), "0x802ac20471adc0f9") << "Heun";
  EXPECT_EQ(Hex(HashAfter200Steps(2)), "0x203e8ad4bc0d6058") << "RK4";
}

}  // namespace
