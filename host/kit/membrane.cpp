#include "membrane.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "dbl3d.h"
#include "grid_points.h"
#include "user_text.h"

namespace tumelin {

namespace {

// each pinning, the shapes on which it pins something sensible, what the
// others lack, and the parameter that says what it pins
struct PinInfo {
  PinMode pin;
  const char* name;
  ShapeSet shapes;
  const char* needs;  // "needs a sphere; a torus has no poles"
  const char* lacks;
  const char* param;  // a MembraneParams field, by its name; empty for none
};

constexpr PinInfo kPins[] = {
    {PinMode::kNone, "none", kAllShapes, "", "", ""},
    {PinMode::kPole, "pole", ShapeBit(Shape::kSphere), "a sphere", "has no poles", ""},
    {PinMode::kPoles, "poles", ShapeBit(Shape::kSphere), "a sphere", "has no poles", ""},
    {PinMode::kRing, "ring", kGridShapes, "a grid shape", "has no rows", "pinRing"},
    {PinMode::kEnds, "ends", ShapeBit(Shape::kTube), "a tube", "has no open ends", ""},
    {PinMode::kBorder, "border", ShapeBit(Shape::kSheet), "a sheet", "has no border", ""},
    {PinMode::kCorners, "corners", ShapeBit(Shape::kSheet), "a sheet", "has no corners", ""},
    {PinMode::kPoints, "points", kAllShapes, "", "", "pinPoints"},
    {PinMode::kGroup, "group", ShapeBit(Shape::kMesh), "a mesh (--mesh) with named groups", "has no groups",
     "pinGroup"},
    // a sheet starts flat at z = 0: a height pins all of it or none
    {PinMode::kBelow, "below", kAllShapes & ~ShapeBit(Shape::kSheet), "a shape with height", "starts flat",
     "pinBelow"},
};

const PinInfo& Info(PinMode pin) { return kPins[static_cast<int>(pin)]; }

struct DefectInfo {
  Defect defect;
  const char* name;
};

constexpr DefectInfo kDefects[] = {
    {Defect::kNone, "none"}, {Defect::kHole, "hole"}, {Defect::kSeam, "seam"}, {Defect::kFlip, "flip"}};

// start positions in point order
std::vector<TDbl3D> Positions(const MembraneParams& params) {
  std::vector<TDbl3D> pos(static_cast<size_t>(PointCount(params.shape, params.columns, params.rows)));
  InfoOf(params.shape).place(params, &pos);
  return pos;
}

// the points `params` pins among these start positions
std::vector<int32_t> PinnedPoints(const MembraneParams& params, const std::vector<TDbl3D>& positions) {
  const int32_t n = PointCount(params.shape, params.columns, params.rows);
  const int32_t ring = params.columns - 1;
  std::vector<int32_t> pinned;
  auto pinRow = [&](int32_t v) {
    const int32_t width = InfoOf(params.shape).ringRows ? ring : params.columns;
    for (int32_t u = 0; u < width; ++u)
      pinned.push_back(CellPoint(params.shape, u, v, params.columns, params.rows));
  };
  switch (params.pin) {
    case PinMode::kNone:
      break;
    case PinMode::kPole:
      pinned.push_back(0);
      break;
    case PinMode::kPoles:
      pinned.push_back(0);
      pinned.push_back(n - 1);
      break;
    case PinMode::kRing:
      pinRow(params.pinRing >= 0 ? params.pinRing : InfoOf(params.shape).firstRing);
      break;
    case PinMode::kEnds:
      pinRow(0);
      pinRow(params.rows - 1);
      break;
    case PinMode::kBorder:
      for (int32_t v = 0; v < params.rows; ++v) {
        for (int32_t u = 0; u < params.columns; ++u) {
          if (u == 0 || v == 0 || u == params.columns - 1 || v == params.rows - 1)
            pinned.push_back(v * params.columns + u);
        }
      }
      break;
    case PinMode::kCorners:
      pinned = {0, params.columns - 1, (params.rows - 1) * params.columns, params.rows * params.columns - 1};
      break;
    case PinMode::kPoints:
    case PinMode::kGroup:
      pinned = params.pinPoints;
      break;
    case PinMode::kBelow:
      for (size_t i = 0; i < positions.size(); ++i) {
        if (positions[i].Z <= params.pinBelow) pinned.push_back(static_cast<int32_t>(i));
      }
      break;
  }
  return pinned;
}

}  // namespace

const char* ShapeName(Shape shape) { return InfoOf(shape).name; }

std::vector<std::string_view> ShapeNames() {
  std::vector<std::string_view> names;
  // a mesh comes from its file, not from a name
  for (int i = 0; i < static_cast<int>(Shape::kMesh); ++i) names.push_back(kShapes[i].name);
  return names;
}

bool ParseShape(const std::string& text, Shape* shape) {
  const int i = FindName(ShapeNames(), text);
  if (i >= 0) *shape = kShapes[i].shape;
  return i >= 0;
}

const char* PinName(PinMode pin) { return Info(pin).name; }
bool PinApplies(PinMode pin, Shape shape) { return (Info(pin).shapes & ShapeBit(shape)) != 0; }
const char* PinParam(PinMode pin) { return Info(pin).param; }

std::string PinHelp() {
  std::string help;
  for (const PinInfo& info : kPins) {
    help += std::string(help.empty() ? "" : ", ") + info.name;
    if (*info.needs != '\0') help += std::string(" for ") + info.needs;
  }
  return help;
}

std::vector<std::string_view> PinNames() {
  std::vector<std::string_view> names;
  for (const PinInfo& info : kPins) names.push_back(info.name);
  return names;
}

bool ParsePin(const std::string& text, PinMode* pin) {
  const int i = FindName(PinNames(), text);
  if (i >= 0) *pin = kPins[i].pin;
  return i >= 0;
}

std::vector<std::string_view> DefectNames() {
  std::vector<std::string_view> names;
  for (const DefectInfo& info : kDefects) names.push_back(info.name);
  return names;
}

bool ParseDefect(const std::string& text, Defect* defect) {
  const int i = FindName(DefectNames(), text);
  if (i >= 0) *defect = kDefects[i].defect;
  return i >= 0;
}

uint8_t GridMode(Shape shape) { return InfoOf(shape).mode; }
bool GridQuadsClockwise(Shape shape) { return InfoOf(shape).quadsClockwise; }
bool IsClosed(Shape shape) { return InfoOf(shape).closed; }

int32_t PointCount(Shape shape, int32_t columns, int32_t rows) {
  if (shape == Shape::kMesh) return 0;
  return static_cast<int32_t>(PointsRead(GridMode(shape), columns, rows));
}

int32_t CellPoint(Shape shape, int32_t u, int32_t v, int32_t columns, int32_t rows) {
  return InfoOf(shape).cell(u, v, columns, rows);
}

std::string ValidatePinPoints(const std::vector<int32_t>& points, int32_t count, const std::string& what) {
  for (int32_t p : points) {
    if (p < 0 || p >= count) {
      return "pinned point " + std::to_string(p) + " does not exist; " + what + " has points 0 to " +
             std::to_string(count - 1);
    }
  }
  return std::string();
}

namespace {

// the grid's counts: within the limits, and enough for the shape
std::string ValidateGrid(const MembraneParams& params) {
  const ShapeInfo& info = InfoOf(params.shape);
  const std::string name = info.name;
  if (params.rows < 1 || params.rows > kMaxRows) {
    return "rows must lie between 1 and " + std::to_string(kMaxRows) + ", not " + std::to_string(params.rows);
  }
  if (params.columns < 1 || params.columns > kMaxColumns) {
    return "columns must lie between 1 and " + std::to_string(kMaxColumns) + ", not " +
           std::to_string(params.columns);
  }
  if (params.rows < info.minRows) {
    return "a " + name + " needs at least " + std::to_string(info.minRows) + " rows, not " +
           std::to_string(params.rows);
  }
  if (params.columns < info.minColumns) {
    return "a " + name + " needs at least " + std::to_string(info.minColumns) + " columns, not " +
           std::to_string(params.columns);
  }
  return std::string();
}

// every size a positive number, the torus's tube thinner than its ring
std::string ValidateSizes(const MembraneParams& params) {
  auto positive = [](double x) { return std::isfinite(x) && x > 0.0; };
  if (!positive(params.radius) || !positive(params.flatten) || !positive(params.majorRadius) ||
      !positive(params.minorRadius) || !positive(params.width) || !positive(params.depth) ||
      !positive(params.length)) {
    return "sizes (radius, flatten, torus radii, width, depth, length) must be positive numbers";
  }
  if (params.shape == Shape::kTorus && !(params.minorRadius < params.majorRadius)) {
    return "the torus minor radius must be smaller than its major radius";
  }
  return std::string();
}

// the pinned ring: a row of the grid that is not a pole or a closing row
std::string ValidatePinRing(const MembraneParams& params, const std::string& name) {
  if (params.pinRing < -1) return "pin ring must be a grid row, not " + std::to_string(params.pinRing);
  const ShapeInfo& shape = InfoOf(params.shape);
  const int32_t lo = shape.firstRing, hi = params.rows - 1 - shape.ringsCut;
  if (params.pinRing >= 0 && (params.pinRing < lo || params.pinRing > hi)) {
    return "pin ring must be a row between " + std::to_string(lo) + " and " + std::to_string(hi) +
           " for this " + name;
  }
  return std::string();
}

// the pin mode fits the shape and names what it pins
std::string ValidatePin(const MembraneParams& params) {
  const std::string name = InfoOf(params.shape).name;
  const PinInfo& pin = Info(params.pin);
  if (!PinApplies(params.pin, params.shape)) {
    return "pin '" + std::string(pin.name) + "' needs " + pin.needs + "; a " + name + " " + pin.lacks;
  }
  switch (params.pin) {
    case PinMode::kRing:
      return ValidatePinRing(params, name);
    case PinMode::kPoints:
      if (params.pinPoints.empty()) return "pin 'points' needs a list of point indices";
      // a mesh's points are counted when its file is read
      if (params.shape != Shape::kMesh) {
        return ValidatePinPoints(params.pinPoints, PointCount(params.shape, params.columns, params.rows),
                                 "this " + name);
      }
      break;
    case PinMode::kGroup:
      if (params.pinGroup.empty()) return "pin 'group' needs the name of a group (--pin-group)";
      break;
    default:
      // the others pin what the shape has
      break;
  }
  return std::string();
}

}  // namespace

std::string ValidateParams(const MembraneParams& params) {
  // a mesh's counts come from its file
  std::string reason = params.shape == Shape::kMesh ? std::string() : ValidateGrid(params);
  if (reason.empty()) reason = ValidateSizes(params);
  if (reason.empty()) reason = ValidatePin(params);
  return reason;
}

std::vector<std::array<int32_t, 3>> GridTriangles(const MembraneParams& params, int32_t stride) {
  // quad (u, v) has corners a = (u, v), b = (u+1, v), c = (u+1, v+1),
  // d = (u, v+1); (a, b, d) and (b, c, d) are clockwise from outside on the
  // sphere and the tube (u runs counter-clockwise seen from above, v down)
  // and counter-clockwise on the torus (v runs up over the outer side) and
  // the sheet seen from +z
  const bool reverse = GridQuadsClockwise(params.shape) != params.clockwise;
  const int32_t cols = params.columns;
  const int32_t rows = params.rows;
  const int32_t k = stride > 1 ? stride : 1;
  std::vector<std::array<int32_t, 3>> tris;
  for (int32_t v = 0; v + 1 < rows; v += k) {
    const int32_t vNext = std::min(v + k, rows - 1);
    for (int32_t u = 0; u + 1 < cols; u += k) {
      const int32_t uNext = std::min(u + k, cols - 1);
      if (params.defect == Defect::kSeam && InfoOf(params.shape).ringRows && u == cols - 2) continue;
      if (params.defect == Defect::kHole && u == (cols - 1) / 2 && v == (rows - 1) / 2) continue;
      const int32_t a = CellPoint(params.shape, u, v, cols, rows);
      const int32_t b = CellPoint(params.shape, uNext, v, cols, rows);
      const int32_t c = CellPoint(params.shape, uNext, vNext, cols, rows);
      const int32_t d = CellPoint(params.shape, u, vNext, cols, rows);
      for (std::array<int32_t, 3> t : {std::array<int32_t, 3>{a, b, d}, std::array<int32_t, 3>{b, c, d}}) {
        // the pole rows collapse one triangle of each quad
        if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) continue;
        if (reverse) std::swap(t[1], t[2]);
        tris.push_back(t);
      }
    }
  }
  if (params.defect == Defect::kFlip && !tris.empty()) {
    std::swap(tris[tris.size() / 2][1], tris[tris.size() / 2][2]);
  }
  return tris;
}

Mesh ShapeMesh(const MembraneParams& params) { return Mesh{Positions(params), GridTriangles(params, 1)}; }

Membrane MembraneFromMesh(const Mesh& mesh) {
  const std::vector<TDbl3D>& pos = mesh.positions;
  const int32_t n = static_cast<int32_t>(pos.size());
  std::vector<std::vector<TClothLink>> links(static_cast<size_t>(n));
  std::vector<std::vector<int32_t>> faceLists(static_cast<size_t>(n));
  std::set<std::pair<int32_t, int32_t>> seen;
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    for (size_t k = 0; k < 3; ++k) {
      const int32_t i = mesh.triangles[t][k];
      const int32_t j = mesh.triangles[t][(k + 1) % 3];
      faceLists[static_cast<size_t>(i)].push_back(static_cast<int32_t>(t));
      if (!seen.emplace(std::min(i, j), std::max(i, j)).second) continue;
      const double rest = VecLength(VecSub(pos[static_cast<size_t>(j)], pos[static_cast<size_t>(i)]));
      links[static_cast<size_t>(i)].push_back(TClothLink{j, 0, rest});
      links[static_cast<size_t>(j)].push_back(TClothLink{i, 0, rest});
    }
  }

  Membrane m;
  m.points.Resize(n);
  for (int32_t i = 0; i < n; ++i) {
    m.links.emplace_back(links[static_cast<size_t>(i)]);
    m.faceLists.emplace_back(faceLists[static_cast<size_t>(i)]);
    TClothPoint& p = m.points[i];
    p.Pos = pos[static_cast<size_t>(i)];
    TumelinPointAttach(&p, m.links.back().Data(), m.faceLists.back().Data());
  }
  m.faces.Resize(static_cast<int32_t>(mesh.triangles.size()));
  for (int32_t t = 0; t < m.faces.Count(); ++t) {
    m.faces[t].P0 = mesh.triangles[static_cast<size_t>(t)][0];
    m.faces[t].P1 = mesh.triangles[static_cast<size_t>(t)][1];
    m.faces[t].P2 = mesh.triangles[static_cast<size_t>(t)][2];
  }
  m.pointsVar = m.points.Data();
  m.facesVar = m.faces.Data();
  return m;
}

namespace {

Membrane PinnedMembrane(const MembraneParams& params, Mesh mesh) {
  if (params.flip) {
    for (auto& t : mesh.triangles) std::swap(t[1], t[2]);
  }
  Membrane m = MembraneFromMesh(mesh);
  m.shape = params.shape;
  m.mode = GridMode(params.shape);
  for (int32_t p : PinnedPoints(params, mesh.positions)) m.points[p].Fixed = 1;
  return m;
}

}  // namespace

Membrane BuildMembrane(const MembraneParams& params) {
  Membrane m = PinnedMembrane(params, ShapeMesh(params));
  m.columns = params.columns;
  m.rows = params.rows;
  return m;
}

Membrane BuildMembrane(const MembraneParams& params, const Mesh& mesh) {
  MembraneParams asMesh = params;
  asMesh.shape = Shape::kMesh;
  return PinnedMembrane(asMesh, mesh);
}

std::vector<TDbl3D> PointPositions(const Membrane& membrane) {
  std::vector<TDbl3D> positions;
  positions.reserve(static_cast<size_t>(membrane.points.Count()));
  for (int32_t i = 0; i < membrane.points.Count(); ++i) positions.push_back(membrane.points[i].Pos);
  return positions;
}

}  // namespace tumelin
