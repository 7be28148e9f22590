#include "mesh_check.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "geometry.h"
#include "user_text.h"

namespace tumelin {

namespace {

std::string EdgeList(const std::vector<std::pair<int32_t, int32_t>>& edges) {
  std::ostringstream out;
  const size_t shown = edges.size() < 4 ? edges.size() : 4;
  for (size_t i = 0; i < shown; ++i) out << (i ? ", " : "") << edges[i].first << "-" << edges[i].second;
  if (edges.size() > shown) out << ", ...";
  return out.str();
}

}  // namespace

bool MeshReport::Clean() const {
  return MeshProblems(*this).empty() &&
         (effect == PressureEffect::kInflates || effect == PressureEffect::kLifts);
}

std::vector<std::string> MeshProblems(const MeshReport& r) {
  std::vector<std::string> problems;
  if (r.euler != r.expectedEuler) {
    problems.push_back("euler characteristic " + std::to_string(r.euler) + " (expected " +
                       std::to_string(r.expectedEuler) + ")");
  }
  if (r.leaks) {
    problems.push_back(Count(static_cast<long long>(r.openEdges.size()), "open edge", "open edges") + " (" +
                       EdgeList(r.openEdges) + "): a seam or hole, the membrane leaks");
  }
  if (!r.nonManifoldEdges.empty()) {
    problems.push_back(Count(static_cast<long long>(r.nonManifoldEdges.size()), "edge", "edges") +
                       " on three or more triangles (" + EdgeList(r.nonManifoldEdges) + ")");
  }
  if (!r.misorientedEdges.empty()) {
    problems.push_back("winding is inconsistent across " +
                       Count(static_cast<long long>(r.misorientedEdges.size()), "edge", "edges") + " (" +
                       EdgeList(r.misorientedEdges) + ")");
  }
  if (r.degenerateFaces > 0)
    problems.push_back(Count(r.degenerateFaces, "triangle has", "triangles have") + " no area");
  if (r.isolatedPoints > 0) {
    problems.push_back(Count(r.isolatedPoints, "point lies", "points lie") +
                       " on no triangle: no spring holds " +
                       (r.isolatedPoints == 1 ? "it, it falls" : "them, they fall") + " freely");
  }
  problems.insert(problems.end(), r.linkProblems.begin(), r.linkProblems.end());
  return problems;
}

namespace {

using Edge = std::pair<int32_t, int32_t>;
// per undirected edge (low, high): how many triangles run it low->high and high->low
using EdgeUses = std::map<Edge, std::pair<int, int>>;

// counts every triangle's edges by direction, and the triangles without area
EdgeUses CountEdgeUses(const Membrane& m, MeshReport* r) {
  EdgeUses uses;
  for (int32_t f = 0; f < r->faces; ++f) {
    const int32_t c[3] = {m.faces[f].P0, m.faces[f].P1, m.faces[f].P2};
    const TDbl3D n = VecCross(VecSub(m.points[c[1]].Pos, m.points[c[0]].Pos),
                              VecSub(m.points[c[2]].Pos, m.points[c[0]].Pos));
    if (!(VecLength(n) > 0.0)) ++r->degenerateFaces;
    for (int k = 0; k < 3; ++k) {
      const int32_t i = c[k], j = c[(k + 1) % 3];
      auto& count = uses[{std::min(i, j), std::max(i, j)}];
      (i < j ? count.first : count.second) += 1;
    }
  }
  return uses;
}

// open, non-manifold and misoriented edges, the Euler characteristic, the
// points on no triangle, and whether the open edges are more than the border
void CheckTopology(const Membrane& m, const EdgeUses& uses, MeshReport* r) {
  r->edges = static_cast<int32_t>(uses.size());
  for (const auto& [edge, count] : uses) {
    const int total = count.first + count.second;
    if (total == 1) r->openEdges.push_back(edge);
    if (total > 2) r->nonManifoldEdges.push_back(edge);
    if (total == 2 && count.first != 1) r->misorientedEdges.push_back(edge);
  }
  r->euler = r->points - r->edges + r->faces;
  if (m.shape == Shape::kMesh) r->expectedEuler = r->euler;  // whatever the file's genus
  for (int32_t i = 0; i < r->points; ++i) {
    if (TumelinArrayCount(m.points[i].Faces) == 0) ++r->isolatedPoints;
    if (m.points[i].Fixed != 0) ++r->pinnedPoints;
  }
  // a closed shape has no border; an open one only its outer rows
  const int32_t border = InfoOf(m.shape).border(m.columns, m.rows);
  r->leaks = static_cast<int32_t>(r->openEdges.size()) != border;
}

// springs: every triangle edge once at each end, rest length = start length
void CheckSprings(const Membrane& m, const EdgeUses& uses, MeshReport* r) {
  std::map<Edge, int> linkEnds;
  for (int32_t i = 0; i < r->points; ++i) {
    const TClothPoint& p = m.points[i];
    if (p.LinkCount > TumelinArrayCount(p.Links)) {
      r->linkProblems.push_back("point " + std::to_string(i) + " counts more links than it lists");
    }
    for (int32_t k = 0; k < p.LinkCount && k < TumelinArrayCount(p.Links); ++k) {
      const int32_t j = p.Links[k].Target;
      if (j < 0 || j >= r->points) {
        r->linkProblems.push_back("point " + std::to_string(i) + " links to missing point " +
                                  std::to_string(j));
        continue;
      }
      linkEnds[{std::min(i, j), std::max(i, j)}] += 1;
      r->longestSpring = std::max(r->longestSpring, p.Links[k].RestLength);
    }
  }
  int32_t oneSided = 0, missing = 0;
  for (const auto& [edge, count] : uses) {
    auto it = linkEnds.find(edge);
    if (it == linkEnds.end())
      ++missing;
    else if (it->second != 2)
      ++oneSided;
  }
  if (missing > 0)
    r->linkProblems.push_back(Count(missing, "triangle edge carries", "triangle edges carry") + " no spring");
  if (oneSided > 0)
    r->linkProblems.push_back(Count(oneSided, "spring is", "springs are") + " not listed at both ends");
}

// which way a positive ClothP pushes: against each point's mean face normal
void JudgePressure(const Membrane& m, MeshReport* r) {
  std::vector<TDbl3D> normalSum(static_cast<size_t>(r->points), TDbl3D{0.0, 0.0, 0.0});
  std::vector<TDbl3D> volumeGrad(static_cast<size_t>(r->points), TDbl3D{0.0, 0.0, 0.0});
  TDbl3D centroid{0.0, 0.0, 0.0};
  for (int32_t i = 0; i < r->points; ++i) {
    centroid = {centroid.X + m.points[i].Pos.X, centroid.Y + m.points[i].Pos.Y,
                centroid.Z + m.points[i].Pos.Z};
  }
  if (r->points > 0) centroid = {centroid.X / r->points, centroid.Y / r->points, centroid.Z / r->points};
  for (int32_t f = 0; f < r->faces; ++f) {
    const int32_t c[3] = {m.faces[f].P0, m.faces[f].P1, m.faces[f].P2};
    const TDbl3D& a = m.points[c[0]].Pos;
    // the plug-in's own face normal, as its pressure sees it
    const TDbl3D n = FaceNormal(a, m.points[c[1]].Pos, m.points[c[2]].Pos);
    for (int k = 0; k < 3; ++k) {
      TDbl3D& s = normalSum[static_cast<size_t>(c[k])];
      s = {s.X + n.X, s.Y + n.Y, s.Z + n.Z};
      // d/dp_k of p0 . (p1 x p2) / 6 is (p_next x p_after) / 6
      const TDbl3D g = VecCross(m.points[c[(k + 1) % 3]].Pos, m.points[c[(k + 2) % 3]].Pos);
      TDbl3D& gs = volumeGrad[static_cast<size_t>(c[k])];
      gs = {gs.X + g.X / 6.0, gs.Y + g.Y / 6.0, gs.Z + g.Z / 6.0};
    }
  }
  r->signedVolume = SignedVolume(m.points.Data(), m.faces.Data(), r->faces);
  const ShapeFigure figure = InfoOf(m.shape).figure;
  double push = 0.0;
  for (int32_t i = 0; i < r->points; ++i) {
    if (m.points[i].Fixed != 0) continue;
    const TDbl3D n = VecNormalize(normalSum[static_cast<size_t>(i)]);
    const TDbl3D force{-n.X, -n.Y, -n.Z};
    const TDbl3D& p = m.points[i].Pos;
    // how the pressure moves the figure the shape is judged by
    switch (figure) {
      case ShapeFigure::kVolume:
        // rate of change of the enclosed volume, whatever the winding
        push += Dot(force, volumeGrad[static_cast<size_t>(i)]) * (r->signedVolume < 0.0 ? -1.0 : 1.0);
        break;
      case ShapeFigure::kMeanRadius:
        push += force.X * (p.X - centroid.X) + force.Y * (p.Y - centroid.Y);
        break;
      case ShapeFigure::kMeanHeight:
        push += force.Z;
        break;
      default:
        // a figure no pressure moves: the push stays as it is
        break;
    }
  }
  const bool sheet = figure == ShapeFigure::kMeanHeight;
  if (push > 0.0)
    r->effect = sheet ? PressureEffect::kLifts : PressureEffect::kInflates;
  else if (push < 0.0)
    r->effect = sheet ? PressureEffect::kPushesDown : PressureEffect::kDeflates;
}

}  // namespace

MeshReport CheckMembrane(const Membrane& m) {
  MeshReport r;
  r.points = m.points.Count();
  r.faces = m.faces.Count();
  r.expectedEuler = InfoOf(m.shape).euler;
  const EdgeUses uses = CountEdgeUses(m, &r);
  CheckTopology(m, uses, &r);
  CheckSprings(m, uses, &r);
  JudgePressure(m, &r);
  return r;
}

std::string FormatReport(const Membrane& m, const MeshReport& r, const std::vector<std::string>& warnings) {
  std::ostringstream out;
  const bool mesh = m.shape == Shape::kMesh;
  if (mesh) {
    out << "mesh (the file's own triangles, no grid): ";
  } else {
    out << ShapeName(m.shape) << " (grid mode " << int(m.mode) << ", " << m.columns << " x " << m.rows
        << " cells): ";
  }
  out << Count(r.points, "point", "points") << ", " << Count(r.edges, "edge", "edges") << ", "
      << Count(r.faces, "triangle", "triangles") << "\n";
  // what is as it should be; the defects follow
  if (r.euler == r.expectedEuler) {
    out << "  euler characteristic " << r.euler;
    if (!mesh) {
      out << " (as expected)";
    } else if (r.openEdges.empty() && r.nonManifoldEdges.empty() && r.euler % 2 == 0 && r.euler <= 2) {
      out << ": a closed surface of genus " << (2 - r.euler) / 2;
    }
    out << "\n";
  }
  if (r.openEdges.empty() && r.nonManifoldEdges.empty()) {
    out << "  every edge is shared by exactly two triangles\n";
  } else if (!r.openEdges.empty() && !r.leaks) {
    out << "  " << Count(static_cast<long long>(r.openEdges.size()), "open edge", "open edges") << " ("
        << EdgeList(r.openEdges) << "): the border of the open surface, as expected\n";
  }
  if (r.misorientedEdges.empty()) out << "  winding is consistent\n";
  for (const std::string& problem : MeshProblems(r)) out << "  " << problem << "\n";
  if (r.pinnedPoints > 0) out << "  " << Count(r.pinnedPoints, "point", "points") << " pinned\n";
  // a surface with a hole has no inside, and the sum over its triangles is
  // no volume of anything
  if (IsClosed(m.shape) && r.leaks) {
    out << "  no enclosed volume: the surface is open\n";
  } else if (IsClosed(m.shape)) {
    out << "  enclosed volume " << std::fabs(r.signedVolume) << "\n";
  }
  switch (r.effect) {
    case PressureEffect::kInflates:
      out << "  a positive ClothP inflates it\n";
      break;
    case PressureEffect::kDeflates:
      out << "  a positive ClothP deflates it (the triangles run counter-clockwise seen from outside"
          << (mesh ? ", as in most OBJ files; --flip reverses every face)\n" : ")\n");
      break;
    case PressureEffect::kLifts:
      out << "  a positive ClothP pushes the sheet up (+z)\n";
      break;
    case PressureEffect::kPushesDown:
      out << "  a positive ClothP pushes the sheet down (-z)\n";
      break;
    case PressureEffect::kNone:
      out << "  a positive ClothP has no net effect\n";
      break;
  }
  for (const std::string& warning : warnings) out << "  warning: " << warning << "\n";
  out << (r.Clean() && warnings.empty() ? "ok\n" : "problems found\n");
  return out.str();
}

}  // namespace tumelin
