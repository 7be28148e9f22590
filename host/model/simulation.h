// Runs a membrane the way the host does: settings through PluginExecZR71,
// steps through PluginExecZR72, the surface through PluginExecZR73.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "membrane.h"
#include "plugin_loader.h"

namespace tumelin {

struct StepFigures {
  int64_t step = 0;
  double volume = 0.0;      // enclosed volume; closed shapes only
  double area = 0.0;        // surface area of the triangles
  double meanRadius = 0.0;  // mean distance from the centroid (tube: from its axis)
  double meanHeight = 0.0;  // mean z
  double maxSpeed = 0.0;
  double kineticEnergy = 0.0;
  double maxStretch = 1.0;      // largest length / rest length of any spring
  double maxCompression = 1.0;  // smallest length / rest length
};

// the figure the shape is judged by (ShapeInfo::figure)
ShapeFigure FigureOf(Shape shape);
double FigureValue(const StepFigures& figures, ShapeFigure figure);
// its column in figures.csv: "volume", "mean_height" or "mean_radius"
const char* FigureColumn(ShapeFigure figure);
// one word for it: "volume", "height" or "radius"
const char* FigureWord(ShapeFigure figure);

// the first figure that is not finite, as "volume nan" (an overflowing
// figure is infinite); empty when every figure is finite
std::string NonFiniteFigure(const StepFigures& figures);

// "the run diverged at step STEP: PROBLEM", and "; cause: CAUSE" when the
// settings foretold it
std::string DivergenceMessage(const std::string& problem, int64_t step, const std::string& cause);

// each point's strain, for colouring the surface: of the point's springs
// with a rest length, the length / rest length - 1 farthest from 0 (the
// first of equals), so a point's largest stretch or compression with its
// sign; 0 for a point without such a spring. Written in place, one per point
void PointStrains(const Membrane& m, std::vector<float>* strains);
// each point's speed, |Vel|, written in place
void PointSpeeds(const Membrane& m, std::vector<float>* speeds);
// the power of each point's pressure push, push . Vel, with the push as the
// last step formed it: kPressureScale ClothP along the sum of the Normal the
// plug-in wrote into the point's faces; positive where pressure drives the
// point on, negative where it holds the point back. Written in place
void PointPressurePowers(const Membrane& m, double clothP, std::vector<float>* powers);

// a state hash as 16 hexadecimal digits
std::string HexHash(uint64_t hash);

// settings through PluginExecZR71; an empty path loads from no file
TClothSetup LoadSettings(const Plugin& plugin, const std::u16string& iniPath);

class Simulation {
 public:
  Simulation(const Plugin& plugin, Membrane* membrane, const TClothSetup& setup);

  // one PluginExecZR72 call; returns what it reports
  int32_t Step();
  // PluginExecZR73 into the host's grid record
  void WriteGrid();
  // empty when the grid holds what the write-back should have put there
  std::string CheckGrid() const;

  const TSurfaceGrid* Grid() const { return grid_; }
  TSurfaceGrid* Grid() { return grid_; }
  StepFigures Figures(int64_t step) const;
  // the state hash (docs/host-integration.md, "The state hash")
  uint64_t Hash() const;
  // why the state after `step` steps has diverged, naming the first point
  // whose Pos or Vel is not finite ("point 12 has position (nan, 0.5, 1)")
  // or whose speed no sound run reaches (SpeedLimit); empty when it has not
  std::string Divergence(int64_t step) const;
  // the largest speed a run that does not diverge can have after `step`
  // steps; see the definition for why
  double SpeedLimit(int64_t step) const;
  const Membrane& MembraneState() const { return *membrane_; }

 private:
  const Plugin& plugin_;
  Membrane* membrane_;
  TClothSetup setup_;
  double startSize_ = 0.0;   // diagonal of the start shape's bounding box
  double startSpeed_ = 0.0;  // largest speed at the start
  std::vector<uint64_t> gridStorage_;
  TSurfaceGrid* grid_ = nullptr;
};

}  // namespace tumelin
