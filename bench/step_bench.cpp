// Cost of one membrane step and of one grid write-back. The machines here are
// noisy, so read the figures as ratios: Heun and RK4 against Euler on the same
// membrane, and each size against the next, all from the same run.
#include <benchmark/benchmark.h>

#include <vector>

#include "cloth_types.h"
#include "dynamics.h"
#include "float_environment.h"
#include "membrane.h"

namespace {

using namespace tumelin;

// a closed sphere with poles on a `columns` x (columns / 2 + 1) grid, built by
// the host kit's builder, wound to inflate
Membrane Sphere(int64_t columns) {
  MembraneParams params;
  params.columns = static_cast<int32_t>(columns);
  params.rows = static_cast<int32_t>(columns / 2 + 1);
  return BuildMembrane(params);
}

// one pinned pole, default settings
void StepSphere(benchmark::State& state, int32_t method) {
  Membrane membrane = Sphere(state.range(0));
  membrane.points[0].Fixed = 1;
  const TClothSetup setup{0.5, 5.0, 5.0, 1.0, 500, method};
  for (auto _ : state)
    benchmark::DoNotOptimize(StepMembrane(&membrane.pointsVar, &membrane.facesVar, &setup));
  state.SetItemsProcessed(state.iterations() * membrane.points.Count());
  state.counters["points"] = membrane.points.Count();
}

void BM_StepEuler(benchmark::State& state) { StepSphere(state, 0); }
void BM_StepHeun(benchmark::State& state) { StepSphere(state, 1); }
void BM_StepRK4(benchmark::State& state) { StepSphere(state, 2); }

BENCHMARK(BM_StepEuler)->Arg(17)->Arg(33)->Arg(65)->Arg(129);
BENCHMARK(BM_StepHeun)->Arg(17)->Arg(33)->Arg(65)->Arg(129);
BENCHMARK(BM_StepRK4)->Arg(17)->Arg(33)->Arg(65)->Arg(129);

// the sphere grid of the same membranes: poles, rings and seam
void BM_WriteSurfaceGrid(benchmark::State& state) {
  Membrane membrane = Sphere(state.range(0));
  std::vector<std::uint64_t> record((TumelinGridBytes(membrane.columns) + 7) / 8, 0);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(record.data());
  grid->Mode = membrane.mode;
  grid->CountU = membrane.columns;
  grid->CountV = membrane.rows;
  for (auto _ : state) {
    WriteSurfaceGrid(grid, &membrane.pointsVar);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * membrane.columns * membrane.rows);
}

BENCHMARK(BM_WriteSurfaceGrid)->Arg(17)->Arg(33)->Arg(65)->Arg(129);

// what each working entry adds to its call: saving the host's floating-point
// environment, setting the plug-in's and restoring the host's (a few
// instructions; compare with BM_StepEuler/17, the cheapest step measured)
void BM_FloatEnvironmentGuard(benchmark::State& state) {
  for (auto _ : state) {
    const FloatEnvironmentGuard environment;
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_FloatEnvironmentGuard);

}  // namespace
