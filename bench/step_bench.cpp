// Cost of one membrane step and of one grid write-back. The machines here are
// noisy, so read the figures as ratios: Heun and RK4 against Euler on the same
// membrane, and each size against the next, all from the same run.
#include <benchmark/benchmark.h>

#include <vector>

#include "cloth_types.h"
#include "membrane_builder.h"

namespace {

using namespace tumelin;

// a closed sphere of `longitudes` columns, one pinned pole, default settings
void StepSphere(benchmark::State& state, int32_t method) {
  const auto longitudes = static_cast<int32_t>(state.range(0));
  HostMembrane membrane(UvSphere(longitudes, 1.0, Winding::kClockwiseFromOutside));
  membrane.point(0).Fixed = 1;
  const TClothSetup setup{0.5, 5.0, 5.0, 1.0, 500, method};
  for (auto _ : state) benchmark::DoNotOptimize(membrane.Step(setup));
  state.SetItemsProcessed(state.iterations() * membrane.size());
  state.counters["points"] = membrane.size();
}

void BM_StepEuler(benchmark::State& state) { StepSphere(state, 0); }
void BM_StepHeun(benchmark::State& state) { StepSphere(state, 1); }
void BM_StepRK4(benchmark::State& state) { StepSphere(state, 2); }

BENCHMARK(BM_StepEuler)->RangeMultiplier(2)->Range(16, 128);
BENCHMARK(BM_StepHeun)->RangeMultiplier(2)->Range(16, 128);
BENCHMARK(BM_StepRK4)->RangeMultiplier(2)->Range(16, 128);

// the sphere grid of the same membranes: poles, rings and seam
void BM_WriteSurfaceGrid(benchmark::State& state) {
  const auto longitudes = static_cast<int32_t>(state.range(0));
  HostMembrane membrane(UvSphere(longitudes, 1.0, Winding::kClockwiseFromOutside));
  const int32_t countU = longitudes + 1;
  const int32_t countV = (membrane.size() - 2) / longitudes + 2;
  std::vector<std::uint64_t> record((TumelinGridBytes(countU) + 7) / 8, 0);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(record.data());
  grid->Mode = TUMELIN_MODE_SPHERE;
  grid->CountU = countU;
  grid->CountV = countV;
  for (auto _ : state) {
    WriteSurfaceGrid(grid, &membrane.pointsVar);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * countU * countV);
}

BENCHMARK(BM_WriteSurfaceGrid)->RangeMultiplier(2)->Range(16, 128);

}  // namespace
