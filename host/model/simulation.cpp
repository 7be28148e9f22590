#include "simulation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "bits.h"
#include "geometry.h"
#include "model_constants.h"
#include "user_text.h"

namespace tumelin {

namespace {

// filler of the host-owned bytes and of the spare column; the plug-in must
// leave both alone
constexpr unsigned char kHostFill = 0xA5;

// spelt alike by every C library
std::string Number(double x) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", x);
  return buffer;
}

bool Finite(const TDbl3D& v) { return std::isfinite(v.X) && std::isfinite(v.Y) && std::isfinite(v.Z); }

double Speed(const TDbl3D& v) { return std::sqrt(Dot(v, v)); }

}  // namespace

ShapeFigure FigureOf(Shape shape) { return InfoOf(shape).figure; }

double FigureValue(const StepFigures& figures, ShapeFigure figure) {
  switch (figure) {
    case ShapeFigure::kVolume:
      return figures.volume;
    case ShapeFigure::kMeanHeight:
      return figures.meanHeight;
    case ShapeFigure::kMeanRadius:
      break;
  }
  return figures.meanRadius;
}

const char* FigureColumn(ShapeFigure figure) {
  switch (figure) {
    case ShapeFigure::kVolume:
      return "volume";
    case ShapeFigure::kMeanHeight:
      return "mean_height";
    case ShapeFigure::kMeanRadius:
      break;
  }
  return "mean_radius";
}

const char* FigureWord(ShapeFigure figure) {
  switch (figure) {
    case ShapeFigure::kVolume:
      return "volume";
    case ShapeFigure::kMeanHeight:
      return "height";
    case ShapeFigure::kMeanRadius:
      break;
  }
  return "radius";
}

std::string DivergenceMessage(const std::string& problem, int64_t step, const std::string& cause) {
  return "the run diverged at step " + std::to_string(step) + ": " + problem +
         (cause.empty() ? std::string() : "; cause: " + cause);
}

std::string HexHash(uint64_t hash) {
  char buffer[20];
  std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(hash));
  return buffer;
}

std::string NonFiniteFigure(const StepFigures& f) {
  const std::pair<const char*, double> named[] = {
      {"volume", f.volume},          {"area", f.area},
      {"mean radius", f.meanRadius}, {"mean height", f.meanHeight},
      {"max speed", f.maxSpeed},     {"kinetic energy", f.kineticEnergy},
      {"max stretch", f.maxStretch}, {"max compression", f.maxCompression}};
  for (const auto& [name, value] : named) {
    if (!std::isfinite(value)) return std::string(name) + " " + Number(value);
  }
  return std::string();
}

TClothSetup LoadSettings(const Plugin& plugin, const std::u16string& iniPath) {
  TClothSetup setup;
  std::memset(&setup, 0, sizeof setup);
  const char16_t* path = iniPath.empty() ? nullptr : iniPath.c_str();
  plugin.execZR71(&path, nullptr, nullptr, nullptr, &setup);
  return setup;
}

Simulation::Simulation(const Plugin& plugin, Membrane* membrane, const TClothSetup& setup)
    : plugin_(plugin), membrane_(membrane), setup_(setup) {
  // one spare column past CountU shows whether the write-back stays inside
  const size_t bytes = TumelinGridBytes(membrane->columns + 1);
  gridStorage_.assign((bytes + 7) / 8, 0);
  auto* raw = reinterpret_cast<unsigned char*>(gridStorage_.data());
  std::memset(raw, kHostFill, bytes);
  grid_ = reinterpret_cast<TSurfaceGrid*>(raw);
  grid_->Mode = membrane->mode;
  std::memset(grid_->Reserved0, 0, sizeof grid_->Reserved0);
  grid_->CountU = membrane->columns;
  grid_->CountV = membrane->rows;
  const std::vector<TDbl3D> start = PointPositions(*membrane);
  if (!start.empty()) {
    TDbl3D lo = start.front(), hi = start.front();
    for (const TDbl3D& p : start) {
      lo = {std::min(lo.X, p.X), std::min(lo.Y, p.Y), std::min(lo.Z, p.Z)};
      hi = {std::max(hi.X, p.X), std::max(hi.Y, p.Y), std::max(hi.Z, p.Z)};
    }
    startSize_ = VecLength(hi - lo);
  }
  for (int32_t i = 0; i < membrane->points.Count(); ++i)
    startSpeed_ = std::max(startSpeed_, Speed(membrane->points[i].Vel));
}

int32_t Simulation::Step() {
  return plugin_.execZR72(nullptr, &membrane_->pointsVar, &membrane_->facesVar, &setup_);
}

void Simulation::WriteGrid() { plugin_.execZR73(grid_, &membrane_->pointsVar); }

std::string Simulation::CheckGrid() const {
  const auto* raw = reinterpret_cast<const unsigned char*>(grid_);
  for (size_t i = 12; i < TUMELIN_GRID_POINTS_OFFSET; ++i) {
    if (raw[i] != kHostFill)
      return "the write-back changed host-owned byte " + std::to_string(i) + " of the grid";
  }
  const Membrane& m = *membrane_;
  for (int32_t u = 0; u < m.columns; ++u) {
    for (int32_t v = 0; v < m.rows; ++v) {
      const int32_t p = CellPoint(m.shape, u, v, m.columns, m.rows);
      const TDbl3D* cell = TumelinGridCell(grid_, u, v);
      if (std::memcmp(cell, &m.points[p].Pos, sizeof(TDbl3D)) != 0) {
        return "grid cell (" + std::to_string(u) + ", " + std::to_string(v) + ") does not hold point " +
               std::to_string(p);
      }
    }
    // rows past CountV keep the host's contents
    const auto* rest = reinterpret_cast<const unsigned char*>(TumelinGridCell(grid_, u, m.rows));
    const size_t restBytes = sizeof(TDbl3D) * static_cast<size_t>(TUMELIN_GRID_ROWS - m.rows);
    for (size_t i = 0; i < restBytes; ++i) {
      if (rest[i] != kHostFill) return "the write-back changed a cell past row CountV - 1";
    }
  }
  const auto* spare = reinterpret_cast<const unsigned char*>(TumelinGridCell(grid_, m.columns, 0));
  for (size_t i = 0; i < TUMELIN_GRID_COLUMN_BYTES; ++i) {
    if (spare[i] != kHostFill) return "the write-back changed a cell past column CountU - 1";
  }
  return std::string();
}

StepFigures Simulation::Figures(int64_t step) const {
  const Membrane& m = *membrane_;
  StepFigures f;
  f.step = step;
  const int32_t n = m.points.Count();
  if (n == 0) return f;
  double cx = 0.0, cy = 0.0, cz = 0.0, speed2 = 0.0, sumSpeed2 = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const TClothPoint& p = m.points[i];
    cx += p.Pos.X, cy += p.Pos.Y, cz += p.Pos.Z;
    const double s2 = p.Vel.X * p.Vel.X + p.Vel.Y * p.Vel.Y + p.Vel.Z * p.Vel.Z;
    sumSpeed2 += s2;
    if (s2 > speed2) speed2 = s2;
  }
  cx /= n, cy /= n, cz /= n;
  double radius = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    const TDbl3D& p = m.points[i].Pos;
    const double dz = InfoOf(m.shape).axial ? 0.0 : p.Z - cz;
    radius += VecLength({p.X - cx, p.Y - cy, dz});
    for (int32_t k = 0; k < m.points[i].LinkCount; ++k) {
      const TClothLink& link = m.points[i].Links[k];
      if (!(link.RestLength > 0.0)) continue;
      const double ratio = VecLength(VecSub(m.points[link.Target].Pos, p)) / link.RestLength;
      if (ratio > f.maxStretch) f.maxStretch = ratio;
      if (ratio < f.maxCompression) f.maxCompression = ratio;
    }
  }
  f.meanRadius = radius / n;
  f.meanHeight = cz;
  f.maxSpeed = std::sqrt(speed2);
  f.kineticEnergy = 0.5 * kPointMass * sumSpeed2;
  f.area = SurfaceArea(m);
  if (IsClosed(m.shape)) f.volume = std::fabs(SignedVolume(m));
  return f;
}

void PointStrains(const Membrane& m, std::vector<float>* strains) {
  strains->assign(size_t(m.points.Count()), 0.0f);
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const TClothPoint& p = m.points[i];
    double strain = 0.0;
    for (int32_t k = 0; k < p.LinkCount; ++k) {
      const TClothLink& link = p.Links[k];
      if (!(link.RestLength > 0.0)) continue;
      const double s = VecLength(VecSub(m.points[link.Target].Pos, p.Pos)) / link.RestLength - 1.0;
      if (std::fabs(s) > std::fabs(strain)) strain = s;
    }
    (*strains)[size_t(i)] = float(strain);
  }
}

void PointSpeeds(const Membrane& m, std::vector<float>* speeds) {
  speeds->resize(size_t(m.points.Count()));
  for (int32_t i = 0; i < m.points.Count(); ++i) (*speeds)[size_t(i)] = float(VecLength(m.points[i].Vel));
}

void PointPressurePowers(const Membrane& m, double clothP, std::vector<float>* powers) {
  powers->assign(size_t(m.points.Count()), 0.0f);
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const HostArray<int32_t>& faces = m.faceLists[size_t(i)];
    TDbl3D sum{0.0, 0.0, 0.0};
    for (int32_t k = 0; k < faces.Count(); ++k) {
      if (faces[size_t(k)] >= 0 && faces[size_t(k)] < m.faces.Count())
        sum = sum + m.faces[size_t(faces[size_t(k)])].Normal;
    }
    const double length = VecLength(sum);
    if (length > 0.0)
      (*powers)[size_t(i)] = float(Dot(sum * (clothP * kPressureScale / length), m.points[i].Vel));
  }
}

uint64_t Simulation::Hash() const { return StateHash(*membrane_); }

// Every integrator's new velocity is (1 - ClothC * TimeStep) * Vel + TimeStep
// * A, with A the forces' acceleration, never longer than kAccelerationLimit.
// While the damping factor's magnitude is at most 1 (0 <= ClothC <= 2 /
// TimeStep) a speed therefore grows by at most TimeStep * kAccelerationLimit
// per step; a speed beyond twice that bound (the rest is room for rounding)
// comes from damping that amplifies every speed step after step. A run may
// still reach great speeds soundly, falling freely for hours without
// damping, so the limit is also never below a speed that carries a point
// across the whole start shape in one step: a faster point is not moving
// but flying apart, hundreds of steps before its numbers overflow.
double Simulation::SpeedLimit(int64_t step) const {
  const double forces = startSpeed_ + static_cast<double>(step) * TimeStep * kAccelerationLimit;
  return std::max(2.0 * forces, startSize_ / TimeStep);
}

std::string Simulation::Divergence(int64_t step) const {
  auto text = [](const TDbl3D& v) {
    return "(" + Number(v.X) + ", " + Number(v.Y) + ", " + Number(v.Z) + ")";
  };
  const Membrane& m = *membrane_;
  const double limit = SpeedLimit(step);
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    const TClothPoint& p = m.points[i];
    if (!Finite(p.Pos)) return "point " + std::to_string(i) + " has position " + text(p.Pos);
    if (!Finite(p.Vel)) return "point " + std::to_string(i) + " has velocity " + text(p.Vel);
    const double speed = Speed(p.Vel);
    if (speed > limit) {
      return "point " + std::to_string(i) + " moves at speed " + Number(speed) + ": one step carries it " +
             Number(speed * TimeStep) + ", farther than the start shape is across (" + Number(startSize_) +
             "), and the forces can add at most " +
             Number(static_cast<double>(step) * TimeStep * kAccelerationLimit) + " to a speed in " +
             Count(step, "step", "steps");
    }
  }
  return std::string();
}

}  // namespace tumelin
