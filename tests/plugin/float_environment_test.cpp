// The working entries under hosts whose threads run another floating-point
// environment: unmasked exceptions, flushed denormals, directed rounding. The
// results must be the default environment's bits, nothing may trap, and the
// host must find its environment (flags included) as it set it.
#include "float_environment.h"

#include <gtest/gtest.h>
#include <tumelin/tumelin.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "loaded_plugin.h"
#include "membranes.h"

#if defined(__i386__) || defined(__x86_64__)

namespace {

using namespace loaded;
using namespace tumelin;

struct Environment {
  const char* name;
  uint32_t mxcsr;
  uint16_t x87;  // set on 32-bit x86 only, where the plug-in returns doubles through it
  // x87 exception flags (status bits 0-5) raised before the call, 32-bit x86
  // only; x87 must mask them
  uint16_t x87Flags = 0;
};

// x87 control words: precision in bits 8-9, rounding in bits 10-11, masks in 0-5
const Environment kHostEnvironments[] = {
    // what hosts built with common Windows compilers run with: invalid,
    // zero-divide and overflow trap
    {"ExceptionsUnmasked", 0x1900, 0x1332},
    {"FlushToZeroDenormalsAreZero", 0x9FC0, 0x027F},
    {"RoundTowardZero", 0x7F80, 0x0E7F},
    {"RoundUp", 0x5F80, 0x0A7F},
    // every sticky flag raised before the call must still be raised after it
    {"FlagsRaised", 0x1FBF, 0x027F, 0x003F},
};

void PrintTo(const Environment& env, std::ostream* out) { *out << env.name; }

struct Observed {
  uint32_t mxcsr;
  uint16_t x87;
  uint16_t x87Status;  // flags, condition codes and stack top; 32-bit x86 only
};

#if defined(__i386__)
uint16_t ReadX87StatusWord() {
  uint16_t value;
  __asm__ volatile("fnstsw %0" : "=m"(value) : : "memory");
  return value;
}

// raises x87 exception flags through the environment's status word, so no
// instruction traps on the way
void RaiseX87Flags(uint16_t flags) {
  X87Environment env;
  __asm__ volatile("fnstenv %0" : "=m"(env) : : "memory");
  env.words[1] |= flags;
  __asm__ volatile("fldenv %0" : : "m"(env) : "memory");
}

Observed Read() { return {ReadMxcsr(), ReadX87ControlWord(), ReadX87StatusWord()}; }
#else
Observed Read() { return {ReadMxcsr(), ReadX87ControlWord(), 0}; }
#endif

// the environment as the hardware reads it once set (the x87 unit keeps
// reserved bit 6 of its control word set: 0x1332 reads 0x1372) and as the
// call left it
struct Around {
  Observed set;
  Observed left;
};

// runs `call` with the host's environment set; the test's own environment is
// back before anything checks
template <typename Call>
Around UnderEnvironment(const Environment& env, Call call) {
  const Observed own = Read();
#if defined(__i386__)
  // exactly the flags of the host's environment, none of earlier calls
  __asm__ volatile("fnclex" : : : "memory");
  WriteX87ControlWord(env.x87);
  if (env.x87Flags != 0) RaiseX87Flags(env.x87Flags);
#endif
  WriteMxcsr(env.mxcsr);
  Around around;
  around.set = Read();
  call();
  around.left = Read();
  WriteMxcsr(own.mxcsr);
#if defined(__i386__)
  __asm__ volatile("fnclex" : : : "memory");
#endif
  WriteX87ControlWord(own.x87);
  return around;
}

// the call must leave the environment exactly as the host set it
::testing::AssertionResult Unchanged(const Around& around) {
  const Observed& set = around.set;
  const Observed& left = around.left;
  const struct {
    const char* name;
    unsigned left, set;
  } words[] = {
    {"MXCSR", left.mxcsr, set.mxcsr},
#if defined(__i386__)
    {"x87 control", left.x87, set.x87},
    {"x87 status", left.x87Status, set.x87Status},
#endif
  };
  for (const auto& word : words) {
    if (word.left == word.set) continue;
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%04X instead of 0x%04X", word.name, word.left, word.set);
    return ::testing::AssertionFailure() << text;
  }
  return ::testing::AssertionSuccess();
}

// overflow (1e400), underflow (1e-400), a denormal that flushing would zero,
// and long digit strings whose correct rounding a directed mode changes
const char kIni[] =
    "[Setup]\n"
    "ClothP=1e400\n"
    "ClothC=1e-400\n"
    "ClothK0=0.10000000000000000000000000000000000000000000000000000000000000000000001\n"
    "ClothK1=2.2250738585072011e-310\n"
    "ClothT0=0x1F4\n"
    "ClothMethod=2\n";

// a small sphere stepped `steps` times by RK4, one point at NaN so that its
// comparisons raise invalid, and springs strong enough to overflow
struct HostRun {
  Membrane membrane = SphereMembrane(9, 5);
  TClothSetup setup{};
  std::vector<uint64_t> grid;

  explicit HostRun(const TClothSetup& loaded, bool provoke) : setup(loaded), grid(GridRecord(membrane)) {
    if (provoke) {
      membrane.points[3].Pos.X = std::numeric_limits<double>::quiet_NaN();
      setup.ClothK0 = 1e308;
      setup.ClothK1 = 1e308;
    }
  }
  void Step() { LoadedPlugin().execZR72(nullptr, &membrane.pointsVar, &membrane.facesVar, &setup); }
  void WriteBack() {
    LoadedPlugin().execZR73(reinterpret_cast<TSurfaceGrid*>(grid.data()), &membrane.pointsVar);
  }
};

constexpr int kSteps = 5;

class FloatEnvironmentTest : public ::testing::TestWithParam<Environment> {};

TEST_P(FloatEnvironmentTest, SettingsLoadGivesTheDefaultBits) {
  const TempFile ini("float_environment.ini", kIni);
  const std::u16string path = ini.Path().u16string();
  const TClothSetup expected = LoadThroughEntry(path);
  // the rules keep the default for 1e400 and take 1e-400 as 0
  ASSERT_EQ(expected.ClothP, 0.5);
  ASSERT_EQ(expected.ClothC, 0.0);
  ASSERT_GT(expected.ClothK1, 0.0);

  TClothSetup loaded;
  EXPECT_TRUE(Unchanged(UnderEnvironment(GetParam(), [&] { loaded = LoadThroughEntry(path); })));
  EXPECT_TRUE(SameBits(loaded, expected));
}

TEST_P(FloatEnvironmentTest, StepAndWriteBackGiveTheDefaultBits) {
  const TempFile ini("float_environment_step.ini", "[Setup]\nClothMethod=2\n");
  const TClothSetup setup = LoadThroughEntry(ini.Path().u16string());
  for (const bool provoke : {false, true}) {
    SCOPED_TRACE(provoke ? "NaN point, overflowing springs" : "default settings");
    HostRun expected(setup, provoke);
    for (int i = 0; i < kSteps; ++i) expected.Step();
    expected.WriteBack();

    HostRun run(setup, provoke);
    for (int i = 0; i < kSteps; ++i) {
      EXPECT_TRUE(Unchanged(UnderEnvironment(GetParam(), [&] { run.Step(); }))) << "step " << i;
    }
    EXPECT_TRUE(Unchanged(UnderEnvironment(GetParam(), [&] { run.WriteBack(); })));
    EXPECT_EQ(StateHash(run.membrane), StateHash(expected.membrane));
    EXPECT_EQ(run.grid, expected.grid);
  }
}

std::string EnvironmentName(const ::testing::TestParamInfo<Environment>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(HostThreads, FloatEnvironmentTest, ::testing::ValuesIn(kHostEnvironments),
                         EnvironmentName);

}  // namespace

#endif
