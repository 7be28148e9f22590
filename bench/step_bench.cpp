// The step of the loaded plug-in against the arithmetic bound and a peer
// engine, in one run: one step through the exported entry PluginExecZR72 for
// each method on the warm spheres, the bound of that same step (scalar,
// packed SSE2, 4-wide AVX where the CPU has it), Bullet's soft body on the
// same mesh where it was built in (by default and with collisions off), the
// write-back through PluginExecZR73 and the bare cost of an entry call. The
// machines here are shared and noisy: read the figures as ratios within one
// run (scripts/bench.sh does).
//
// Usage: step_bench [--plugin=PATH] [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_spheres.h"
#include "bound.h"
#include "counters.h"
#include "float_environment.h"
#ifdef TUMELIN_BENCH_PEER
#include "bullet_peer.h"
#endif
#include "plugin_loader.h"

namespace {

using namespace tumelin;
using namespace tumelin::bench;

void StepOurs(benchmark::State& state, const Plugin* plugin, int32_t grid, Method method) {
  WarmSphere& sphere = SharedSphere(*plugin, grid);
  sphere.Restore();
  Membrane& m = sphere.membrane();
  const TClothSetup setup = DefaultSetup(*plugin, method.clothMethod);
  const TPluginExecZR72 step = plugin->execZR72;
  for (auto _ : state) benchmark::DoNotOptimize(step(nullptr, &m.pointsVar, &m.facesVar, &setup));
  state.counters["ns_per_point_step"] = NsPer(sphere.PointCount());
  state.counters["points"] = sphere.PointCount();
  state.counters["volume_gain"] = sphere.VolumeGain();
  sphere.Restore();
}

enum class Form { kScalar, kSse2, kAvx };

void StepBound(benchmark::State& state, const Plugin* plugin, int32_t grid, Method method, Form form) {
  WarmSphere& sphere = SharedSphere(*plugin, grid);
  sphere.Restore();
  const int64_t capped = CappedPoints(plugin->execZR72, sphere.membrane(), DefaultSetup(*plugin, 0));
  const OperationCount count = CountStepOperations(sphere.membrane(), method.evaluations, capped);
  for (auto _ : state) {
    switch (form) {
      case Form::kScalar:
        ScalarBound(count);
        break;
      case Form::kSse2:
        Sse2Bound(count);
        break;
      case Form::kAvx:
        AvxBound(count);
        break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_point_step"] = NsPer(sphere.PointCount());
  state.counters["sqrts"] = static_cast<double>(count.sqrts);
  state.counters["divisions"] = static_cast<double>(count.divisions);
  state.counters["capped_share"] = static_cast<double>(capped) / sphere.PointCount();
}

// the step's loads and stores on the same sphere without its arithmetic
void StepMemory(benchmark::State& state, const Plugin* plugin, int32_t grid) {
  WarmSphere& sphere = SharedSphere(*plugin, grid);
  sphere.Restore();
  for (auto _ : state) {
    MemoryTraffic(sphere.membrane());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_point_step"] = NsPer(sphere.PointCount());
  sphere.Restore();
}

// the grid of the same spheres: poles, rings and seam
void WriteBack(benchmark::State& state, const Plugin* plugin, int32_t grid) {
  WarmSphere& sphere = SharedSphere(*plugin, grid);
  sphere.Restore();
  Membrane& m = sphere.membrane();
  std::vector<std::uint64_t> record((TumelinGridBytes(m.columns) + 7) / 8, 0);
  auto* surface = reinterpret_cast<TSurfaceGrid*>(record.data());
  surface->Mode = m.mode;
  surface->CountU = m.columns;
  surface->CountV = m.rows;
  const TPluginExecZR73 write = plugin->execZR73;
  for (auto _ : state) {
    write(surface, &m.pointsVar);
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_point"] = NsPer(sphere.PointCount());
  state.counters["points"] = sphere.PointCount();
}

// a step of the empty membrane: what calling the entry costs by itself
void EntryCall(benchmark::State& state, const Plugin* plugin) {
  TClothPointArray points = nullptr;
  TClothFaceArray faces = nullptr;
  const TClothSetup setup = DefaultSetup(*plugin, 0);
  const TPluginExecZR72 step = plugin->execZR72;
  for (auto _ : state) benchmark::DoNotOptimize(step(nullptr, &points, &faces, &setup));
  state.counters["ns_per_call"] = NsPer(1);
}

// what each working entry adds to its call: saving the host's floating-point
// environment, setting the plug-in's and restoring the host's
void FloatGuard(benchmark::State& state) {
  for (auto _ : state) {
    const FloatEnvironmentGuard environment;
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_call"] = NsPer(1);
}

// "model name" of /proc/cpuinfo, else empty
std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) break;
    const size_t start = line.find_first_not_of(' ', colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return std::string();
}

void RegisterAll(const Plugin* plugin) {
  const bool avx = HasAvx();
  for (const int32_t grid : kGrids) {
    const std::string size = GridName(grid);
    for (const Method& method : kMethods) {
      const std::string tail = std::string(method.Name()) + "/" + size;
      benchmark::RegisterBenchmark(("step/" + tail).c_str(), StepOurs, plugin, grid, method);
      benchmark::RegisterBenchmark(("bound/scalar/" + tail).c_str(), StepBound, plugin, grid, method,
                                   Form::kScalar);
      benchmark::RegisterBenchmark(("bound/sse2/" + tail).c_str(), StepBound, plugin, grid, method,
                                   Form::kSse2);
      if (avx)
        benchmark::RegisterBenchmark(("bound/avx/" + tail).c_str(), StepBound, plugin, grid, method,
                                     Form::kAvx);
    }
    benchmark::RegisterBenchmark(("memory/" + size).c_str(), StepMemory, plugin, grid);
#ifdef TUMELIN_BENCH_PEER
    RegisterPeerBenchmarks(grid);
#endif
    benchmark::RegisterBenchmark(("writeback/" + size).c_str(), WriteBack, plugin, grid);
  }
  benchmark::RegisterBenchmark("entry/empty", EntryCall, plugin);
  benchmark::RegisterBenchmark("entry/float_guard", FloatGuard);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string path = TUMELIN_PLUGIN_PATH;
  for (int i = 1; i < argc; ++i) {
    const char* prefix = "--plugin=";
    if (std::strncmp(argv[i], prefix, std::strlen(prefix)) == 0) {
      path = argv[i] + std::strlen(prefix);
    } else {
      std::fprintf(stderr, "step_bench: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  Plugin plugin;
  std::string error;
  if (!plugin.Load(path, &error)) {
    std::fprintf(stderr, "step_bench: %s\n", error.c_str());
    return 1;
  }
  benchmark::AddCustomContext("cpu_model", CpuModel());
  benchmark::AddCustomContext("avx", HasAvx() ? "yes" : "no");
#ifdef TUMELIN_BENCH_PEER
  benchmark::AddCustomContext("peer", PeerName());
#else
  benchmark::AddCustomContext("peer", "none (Bullet not found at configure time)");
#endif
  benchmark::AddCustomContext("plugin", path);
  benchmark::AddCustomContext("methods", MethodNamesJson());
  RegisterAll(&plugin);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
