// The step's two instruction-set paths side by side on the same spheres:
// SSE2 pairs and AVX quadruples (where the CPU has AVX). Both give the same
// bits; read the figures as the ratio AVX / SSE2 within one run.
#include <benchmark/benchmark.h>

#include "dynamics.h"
#include "membrane.h"

namespace {

using namespace tumelin;

// args: columns of the sphere grid, ClothMethod (TUMELIN_METHOD_*), path (0 SSE2, 1 AVX)
void BM_StepPath(benchmark::State& state) {
  const StepPath path = state.range(2) == 1 ? StepPath::kAvx : StepPath::kSse2;
  if (path == StepPath::kAvx && !AvxAvailable()) {
    state.SkipWithError("no AVX on this CPU");
    return;
  }
  MembraneParams params;
  params.columns = static_cast<int32_t>(state.range(0));
  params.rows = static_cast<int32_t>(state.range(0) / 2 + 1);
  Membrane membrane = BuildMembrane(params);
  membrane.points[0].Fixed = 1;
  const TClothSetup setup{0.5, 5.0, 5.0, 1.0, 500, static_cast<int32_t>(state.range(1))};
  for (int step = 0; step < 200; ++step)
    StepMembraneOn(path, &membrane.pointsVar, &membrane.facesVar, &setup);
  for (auto _ : state)
    benchmark::DoNotOptimize(StepMembraneOn(path, &membrane.pointsVar, &membrane.facesVar, &setup));
  state.counters["ns_per_point_step"] =
      benchmark::Counter(static_cast<double>(state.iterations() * membrane.points.Count()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_StepPath)
    ->ArgNames({"grid", "method", "avx"})
    ->ArgsProduct({{33, 129, 257}, {TUMELIN_METHOD_EULER, TUMELIN_METHOD_HEUN, TUMELIN_METHOD_RK4}, {0, 1}});

}  // namespace
