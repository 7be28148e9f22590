// The warnings a run gives before it starts, and that they come true.
#include "warnings.h"

#include "host_fixtures.h"

using namespace tumelin;

// each file fault in one line, with the nearest known key for a misspelt one
TEST(Warnings, NameWhatTheFileHidesFromThePlugIn) {
  struct Case {
    std::string text;
    std::vector<std::string> fragments;  // one per warning, in order
  };
  const Case cases[] = {
      {"[Setup]\nClothP=1\n[Membrane]\nShape=torus\n", {}},
      {"[Setup]\nClothP=1\n[setup]\nClothC=2\n", {"section [Setup] is written 2 times"}},
      {"[Setup]\nPinn=1\nClothk0=2\n[Membrane]\nColums=9\nRadius=2\n",
       {"[Setup] unknown key \"Pinn\", which the plug-in ignores",
        "[Membrane] unknown key \"Colums\", which the host ignores (did you mean Columns?)"}},
      {"[Setup]\nClothPP=1\n", {"unknown key \"ClothPP\", which the plug-in ignores (did you mean ClothP?)"}},
      {std::string("[Setup]\nClothP=1\n\0\x01\x02", 20), {"not a text file (a NUL byte at offset 17)"}},
      {Utf16Bytes("[Setup]\r\nClothP=1\r\n"), {}},
  };
  for (const Case& c : cases) {
    const TempFile file("host_warnings.ini", c.text);
    const std::vector<std::string> warnings = IniFileWarnings(OpenIni(file));
    ASSERT_EQ(warnings.size(), c.fragments.size()) << c.text;
    for (size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_NE(warnings[i].find(c.fragments[i]), std::string::npos) << warnings[i];
      EXPECT_EQ(warnings[i].rfind(file.Utf8(), 0), 0u) << warnings[i];
    }
  }
}

// damping multiplies every speed by 1 - ClothC * 0.005 per step: the run
// diverges from 400 up and below 0, and that is what the plug-in shows
TEST(Warnings, DampingThatDivergesIsForetoldAndDoes) {
  const Plugin& plugin = loaded::LoadedPlugin();
  const std::pair<double, bool> cases[] = {{1.0, false},  {0.0, false},  {399.0, false},
                                           {400.0, true}, {700.0, true}, {-200.0, true}};
  for (const auto& [damping, diverges] : cases) {
    TClothSetup setup{};
    SetupDefaults(&setup);
    setup.ClothC = damping;
    EXPECT_EQ(!DampingWarning(setup).empty(), diverges) << damping;
    Membrane m = BuildMembrane(Params(Shape::kSphere, 9, 5));
    Simulation sim(plugin, &m, setup);
    bool diverged = false;
    for (int step = 1; step <= 3000 && !diverged; ++step) {
      sim.Step();
      diverged = !sim.Divergence(step).empty();
    }
    // 400 is the edge: speeds then flip sign each step and never shrink
    if (damping != 400.0) {
      EXPECT_EQ(diverged, diverges) << damping;
    }
  }
}

// a pressure whose acceleration squares beyond a double stops every point,
// and that is foretold; a little less and the membrane moves
TEST(Warnings, PressureThatFreezesIsForetoldAndDoes) {
  const Plugin& plugin = loaded::LoadedPlugin();
  for (const double pressure : {1.6e153, 1.7e153, -1.7e153}) {
    TClothSetup setup{};
    SetupDefaults(&setup);
    setup.ClothP = pressure;
    Membrane m = BuildMembrane(Params(Shape::kSphere, 9, 5));
    Simulation sim(plugin, &m, setup);
    sim.Step();
    EXPECT_EQ(!OverflowWarnings(setup, 1.0).empty(), sim.Figures(1).maxSpeed == 0.0) << pressure;
  }
}

// the cause a divergence names is the warning that foretold it: an infinite
// pressure diverges in the first step, whatever the damping
TEST(Warnings, DivergenceNamesTheCauseThatApplies) {
  const struct {
    double pressure, damping;
    const char* cause;
  } cases[] = {{0.5, 1.0, ""},
               {0.5, 500.0, "ClothC 500:"},
               {1e308, 1.0, "ClothP 1e+308:"},
               {1e308, 500.0, "ClothP 1e+308:"},
               {1e200, 500.0, "ClothC 500:"}};
  for (const auto& c : cases) {
    TClothSetup setup{};
    SetupDefaults(&setup);
    setup.ClothP = c.pressure;
    setup.ClothC = c.damping;
    const std::string cause = DivergenceCause(setup, 1.0);
    EXPECT_EQ(cause.substr(0, std::string(c.cause).size()), c.cause) << cause;
    EXPECT_EQ(cause.empty(), *c.cause == 0);
  }
}

TEST(Warnings, PressureThatDrawsAClosedMembraneIn) {
  const MeshReport clockwise = CheckMembrane(BuildMembrane(Params(Shape::kSphere, 9, 5)));
  MembraneParams ccw = Params(Shape::kSphere, 9, 5);
  ccw.clockwise = false;
  const MeshReport counter = CheckMembrane(BuildMembrane(ccw));
  TClothSetup setup{};
  SetupDefaults(&setup);
  EXPECT_TRUE(ModelWarnings(setup, clockwise, true).empty());
  EXPECT_EQ(ModelWarnings(setup, counter, true).size(), 1u);
  setup.ClothP = -1.0;
  ASSERT_EQ(ModelWarnings(setup, clockwise, true).size(), 1u);
  EXPECT_NE(ModelWarnings(setup, clockwise, true)[0].find("deflates"), std::string::npos);
  EXPECT_TRUE(ModelWarnings(setup, counter, true).empty());
  // an open membrane has no volume to lose
  EXPECT_TRUE(ModelWarnings(setup, clockwise, false).empty());
}
