// The membranes every benchmark steps: closed spheres with poles from the
// host kit's builder, advanced through the loaded plug-in's own step entry to
// mid-inflation, with a snapshot so that each timing starts from the same
// state. Shared by the benchmark suite and its tests.
#pragma once

#include <tumelin/tumelin.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "membrane.h"
#include "plugin_loader.h"

namespace tumelin::bench {

// grid columns = rows: about 1 000, 16 000 and 65 000 points
inline constexpr std::array<int32_t, 3> kGrids = {33, 129, 257};
// steps of Euler from the start shape before any timing: mid-inflation
inline constexpr int32_t kWarmupSteps = 300;
// the fixed step of the plug-in, for the peer engine
inline constexpr double kTimeStep = 0.005;

struct Method {
  int32_t clothMethod;  // TUMELIN_METHOD_*
  int32_t evaluations;  // force evaluations per free point and step
  // the public header's name, which the benchmarks' names carry
  const char* Name() const { return TumelinMethodName(clothMethod); }
};
inline constexpr std::array<Method, TUMELIN_METHOD_COUNT> kMethods = {
    {{TUMELIN_METHOD_EULER, 1}, {TUMELIN_METHOD_HEUN, 2}, {TUMELIN_METHOD_RK4, 4}}};

// the names of kMethods in order as a JSON array of strings: the results
// script takes its methods from this, in the run's context
std::string MethodNamesJson();

// "33x33"
std::string GridName(int32_t grid);

// the plug-in's defaults (read through its settings entry from a file that
// does not exist) with the method set
TClothSetup DefaultSetup(const Plugin& plugin, int32_t clothMethod);

// a sphere on a grid x grid surface grid, wound to inflate, nothing pinned
Membrane BuildSphere(int32_t grid);

// a sphere advanced kWarmupSteps with Euler and the state it reached
class WarmSphere {
 public:
  WarmSphere(const Plugin& plugin, int32_t grid);

  Membrane& membrane() { return membrane_; }
  int32_t grid() const { return grid_; }
  int32_t PointCount() const { return membrane_.points.Count(); }
  // enclosed volume after the warm-up over that of the start shape
  double VolumeGain() const { return volumeGain_; }
  // back to the state the warm-up reached
  void Restore();

 private:
  int32_t grid_;
  Membrane membrane_;
  std::vector<TClothPoint> snapshot_;
  double volumeGain_ = 0.0;
};

// the warm sphere of this grid, built on first use and kept
WarmSphere& SharedSphere(const Plugin& plugin, int32_t grid);

}  // namespace tumelin::bench
