// The plug-in's step compiled to WebAssembly, timed under Node: the six entries
// linked in and bound as a host binds them, then for each method and warm
// sphere what step_bench's step/<method>/<grid> times natively: calls of
// PluginExecZR72 from the state the warm-up reached, restored before every
// run. Each benchmark first finds how many steps last the minimum time (from
// the warm state each try); its repetitions then run in a random order among
// all of them, restoring before each, and the median counts. The clock is
// steady_clock, which emscripten reads from Node's process.hrtime(): wall
// time, where the native suite counts thread CPU time.
//
// Usage: node tumelin_web_bench.js [--min_time=SECONDS] [--repetitions=N]
//                                  [--filter=TEXT]
// Writes Google Benchmark's JSON layout (the median aggregate of each
// benchmark) to standard output, so that write_results.py reads it as it
// reads step_bench's.
#include <tumelin/tumelin.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_spheres.h"
#include "linked_plugin.h"

namespace {

using namespace tumelin;
using namespace tumelin::bench;
using Clock = std::chrono::steady_clock;

struct Benchmark {
  std::string name;
  TPluginExecZR72 step;
  WarmSphere* sphere;
  TClothSetup setup;
  int64_t steps = 0;
  std::vector<double> nsPerPointStep;
};

// seconds that `steps` steps take from the warm state
double TimeSteps(Benchmark& b, int64_t steps) {
  b.sphere->Restore();
  Membrane& m = b.sphere->membrane();
  const TPluginExecZR72 step = b.step;
  int32_t sink = 0;
  const Clock::time_point start = Clock::now();
  for (int64_t i = 0; i < steps; ++i) sink += step(nullptr, &m.pointsVar, &m.facesVar, &b.setup);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (sink == 42) std::fputc(' ', stderr);  // keeps the calls' results live
  b.sphere->Restore();
  return seconds;
}

// the steps that last at least minTime, grown as Google Benchmark grows its
// iterations: by the shortfall with 40 % to spare, at most tenfold a try
int64_t FindSteps(Benchmark& b, double minTime) {
  int64_t steps = 1;
  for (;;) {
    const double seconds = TimeSteps(b, steps);
    if (seconds >= minTime) return steps;
    const double factor = seconds > 0 ? std::min(10.0, std::max(minTime * 1.4 / seconds, 1.0)) : 10.0;
    steps = std::max(steps + 1, static_cast<int64_t>(steps * factor + 0.5));
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void WriteJson(const std::vector<Benchmark>& benchmarks, double minTime, int repetitions) {
  std::printf("{\"context\": {\"executable\": \"tumelin_web_bench\", \"clock\": \"steady_clock (wall)\",\n");
  std::printf("  \"min_time\": %g, \"repetitions\": %d},\n \"benchmarks\": [", minTime, repetitions);
  for (size_t i = 0; i < benchmarks.size(); ++i) {
    const Benchmark& b = benchmarks[i];
    std::printf("%s\n  {\"name\": \"%s_median\", \"run_name\": \"%s\", \"run_type\": \"aggregate\", ",
                i == 0 ? "" : ",", b.name.c_str(), b.name.c_str());
    std::printf("\"aggregate_name\": \"median\", \"repetitions\": %d, \"iterations\": %lld,\n", repetitions,
                static_cast<long long>(b.steps));
    std::printf("   \"ns_per_point_step\": %.6g, \"points\": %d, \"volume_gain\": %.6g,\n",
                Median(b.nsPerPointStep), b.sphere->PointCount(), b.sphere->VolumeGain());
    std::printf("   \"ns_per_point_step_repetitions\": [");
    for (size_t r = 0; r < b.nsPerPointStep.size(); ++r)
      std::printf("%s%.6g", r == 0 ? "" : ", ", b.nsPerPointStep[r]);
    std::printf("]}");
  }
  std::printf("\n ]}\n");
}

}  // namespace

int main(int argc, char** argv) {
  double minTime = 0.2;
  int repetitions = 9;
  std::string filter;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--min_time=", 0) == 0) {
      minTime = std::atof(arg.c_str() + std::strlen("--min_time="));
    } else if (arg.rfind("--repetitions=", 0) == 0) {
      repetitions = std::atoi(arg.c_str() + std::strlen("--repetitions="));
    } else if (arg.rfind("--filter=", 0) == 0) {
      filter = arg.substr(std::strlen("--filter="));
    } else {
      std::fprintf(stderr, "tumelin_web_bench: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (!(minTime > 0) || repetitions < 1) {
    std::fprintf(stderr, "tumelin_web_bench: --min_time must be above 0 and --repetitions at least 1\n");
    return 2;
  }

  const Plugin& plugin = LinkedPlugin();
  std::vector<Benchmark> benchmarks;
  for (const int32_t grid : kGrids) {
    for (const Method& method : kMethods) {
      const std::string name = "step/" + std::string(method.Name()) + "/" + GridName(grid);
      if (name.find(filter) == std::string::npos) continue;
      Benchmark b;
      b.name = name;
      b.step = plugin.execZR72;
      b.sphere = &SharedSphere(plugin, grid);
      b.setup = DefaultSetup(plugin, method.clothMethod);
      benchmarks.push_back(b);
    }
  }
  if (benchmarks.empty()) {
    std::fprintf(stderr, "tumelin_web_bench: no benchmark matches %s\n", filter.c_str());
    return 1;
  }

  for (Benchmark& b : benchmarks) {
    b.steps = FindSteps(b, minTime);
    std::fprintf(stderr, "%s: %lld steps a run\n", b.name.c_str(), static_cast<long long>(b.steps));
  }
  std::vector<Benchmark*> runs;
  for (Benchmark& b : benchmarks)
    for (int r = 0; r < repetitions; ++r) runs.push_back(&b);
  std::shuffle(runs.begin(), runs.end(), std::mt19937(std::random_device{}()));
  for (Benchmark* b : runs) {
    const double seconds = TimeSteps(*b, b->steps);
    b->nsPerPointStep.push_back(seconds * 1e9 / (static_cast<double>(b->steps) * b->sphere->PointCount()));
  }
  WriteJson(benchmarks, minTime, repetitions);
  return 0;
}
