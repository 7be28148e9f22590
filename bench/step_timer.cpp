// A plain timer of the same step as step_bench, for builds that have no
// Google Benchmark (the Windows DLL under wine): one step through the loaded
// plug-in's PluginExecZR72 for each method on the same warm spheres,
// measured in thread CPU time as Google Benchmark measures it, in
// repetitions of at least --min-time seconds each; it prints the median ns
// per point-step of each, one line per case:
//   step/<method>/<grid> <ns per point-step>
//
// Usage: step_timer [--plugin=PATH] [--min-time=SECONDS] [--repetitions=N] [--grids=33,129,257]
#include <tumelin/tumelin.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_spheres.h"
#include "plugin_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

using namespace tumelin;
using namespace tumelin::bench;

// CPU time of the calling thread in seconds
double ThreadSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  const auto ticks = [](FILETIME t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) * 1e-7;  // 100 ns ticks
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

struct Options {
  std::string plugin = TUMELIN_PLUGIN_PATH;
  double minTime = 0.5;
  int32_t repetitions = 5;
  std::vector<int32_t> grids{kGrids.begin(), kGrids.end()};
};

// true when `arg` is `--name=value`; the value then in `value`
bool Flag(const char* arg, const char* name, std::string* value) {
  const std::string prefix = std::string("--") + name + "=";
  if (std::strncmp(arg, prefix.c_str(), prefix.size()) != 0) return false;
  *value = arg + prefix.size();
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string value;
    char* end = nullptr;
    if (Flag(argv[i], "plugin", &value)) {
      options->plugin = value;
    } else if (Flag(argv[i], "min-time", &value)) {
      options->minTime = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !(options->minTime > 0.0)) return false;
    } else if (Flag(argv[i], "repetitions", &value)) {
      const long n = std::strtol(value.c_str(), &end, 10);
      if (end == value.c_str() || *end != '\0' || n < 1 || n > 1000) return false;
      options->repetitions = static_cast<int32_t>(n);
    } else if (Flag(argv[i], "grids", &value)) {
      options->grids.clear();
      for (const char* p = value.c_str(); *p != '\0';) {
        const long grid = std::strtol(p, &end, 10);
        if (end == p || grid < 3 || grid > kMaxRows) return false;
        options->grids.push_back(static_cast<int32_t>(grid));
        p = *end == ',' ? end + 1 : end;
        if (*end != ',' && *end != '\0') return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

// median ns per point-step of `repetitions` runs of at least `minTime` each
double MedianNsPerPointStep(const Plugin& plugin, WarmSphere& sphere, const TClothSetup& setup,
                            const Options& options) {
  Membrane& m = sphere.membrane();
  std::vector<double> perPointStep;
  for (int32_t r = 0; r < options.repetitions; ++r) {
    sphere.Restore();
    int64_t steps = 0;
    const double start = ThreadSeconds();
    double elapsed = 0.0;
    while (elapsed < options.minTime) {
      for (int32_t k = 0; k < 8; ++k) plugin.execZR72(nullptr, &m.pointsVar, &m.facesVar, &setup);
      steps += 8;
      elapsed = ThreadSeconds() - start;
    }
    perPointStep.push_back(elapsed * 1e9 / (static_cast<double>(steps) * sphere.PointCount()));
  }
  sphere.Restore();
  std::sort(perPointStep.begin(), perPointStep.end());
  const size_t n = perPointStep.size();
  return n % 2 == 1 ? perPointStep[n / 2] : 0.5 * (perPointStep[n / 2 - 1] + perPointStep[n / 2]);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(
        stderr,
        "usage: step_timer [--plugin=PATH] [--min-time=SECONDS] [--repetitions=N] [--grids=33,129,257]\n");
    return 2;
  }
  Plugin plugin;
  std::string error;
  if (!plugin.Load(options.plugin, &error)) {
    std::fprintf(stderr, "step_timer: %s\n", error.c_str());
    return 1;
  }
  for (const int32_t grid : options.grids) {
    WarmSphere& sphere = SharedSphere(plugin, grid);
    for (const Method& method : kMethods) {
      const double ns =
          MedianNsPerPointStep(plugin, sphere, DefaultSetup(plugin, method.clothMethod), options);
      std::printf("step/%s/%s %.3f\n", method.name, GridName(grid).c_str(), ns);
      std::fflush(stdout);
    }
  }
  return 0;
}
