// Examines a membrane before it runs: closure, Euler characteristic,
// winding, edges on more than two triangles, link lists, and which way a
// positive ClothP pushes it. A grid shape must have the topology of its
// mode; a free mesh must be closed, and its genus is reported.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "membrane.h"

namespace tumelin {

enum class PressureEffect { kInflates, kDeflates, kLifts, kPushesDown, kNone };

struct MeshReport {
  int32_t points = 0;
  int32_t edges = 0;
  int32_t faces = 0;
  int32_t euler = 0;
  int32_t expectedEuler = 0;
  std::vector<std::pair<int32_t, int32_t>> openEdges;         // on one triangle only
  std::vector<std::pair<int32_t, int32_t>> nonManifoldEdges;  // on three or more
  std::vector<std::pair<int32_t, int32_t>> misorientedEdges;  // both triangles run it the same way
  std::vector<std::string> linkProblems;
  int32_t degenerateFaces = 0;
  int32_t isolatedPoints = 0;  // on no triangle: nothing holds them
  int32_t pinnedPoints = 0;
  double longestSpring = 0.0;  // the largest rest length of a link
  double signedVolume = 0.0;   // with the faces' own winding; < 0 when clockwise from outside
  PressureEffect effect = PressureEffect::kNone;

  // closed shapes must have no open edge; open ones may
  bool leaks = false;
  bool Clean() const;
};

MeshReport CheckMembrane(const Membrane& membrane);

// the membrane's defects, one line each, as check reports them and a run
// warns of them: a leak, edges on three or more triangles, inconsistent
// winding, triangles without area, points on no triangle, faults of the
// link lists, and a grid whose Euler characteristic is not its shape's
std::vector<std::string> MeshProblems(const MeshReport& report);

// the report as the check command prints it, with `warnings` (about the
// settings, one line each) before its last line, which says "ok" only when
// the membrane is clean and there is no warning
std::string FormatReport(const Membrane& membrane, const MeshReport& report,
                         const std::vector<std::string>& warnings = {});

}  // namespace tumelin
