// Closed test membranes as a host would hand them over: a UV sphere built
// with + - * / and sqrt only (so every platform builds the same bits), springs
// on every edge listed at both ends, and every point's adjacent faces.
#pragma once

#include <tumelin/tumelin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "dbl3d.h"
#include "dynamics.h"
#include "host_arrays.h"

namespace tumelin {

struct Mesh {
  std::vector<TDbl3D> positions;
  std::vector<std::array<int32_t, 3>> triangles;  // corner indices into positions
};

enum class Winding { kCounterClockwiseFromOutside, kClockwiseFromOutside };

// UV sphere of `longitudes` (4, 8, 16, ...) columns and longitudes/2 - 1 rings:
//
//          N               point 0 = north pole (0, 0, r)
//        / | \             rings top to bottom, `longitudes` points each,
//   ring 1 +-+-+           counter-clockwise seen from +z
//        | |/| |           last point = south pole (0, 0, -r)
//   ring 2 +-+-+
//        \ | /
//          S
inline Mesh UvSphere(int32_t longitudes, double radius, Winding winding) {
  // cos and sin of the column angle 2 pi / longitudes by halving 90 degrees
  double stepCos = 0.0;
  double stepSin = 1.0;
  for (int32_t m = 4; m < longitudes; m *= 2) {
    const double c = std::sqrt((1.0 + stepCos) / 2.0);
    stepSin = std::sqrt((1.0 - stepCos) / 2.0);
    stepCos = c;
  }
  std::vector<std::array<double, 2>> circle(longitudes);
  circle[0] = {1.0, 0.0};
  for (int32_t k = 1; k < longitudes; ++k) {
    const auto [c, s] = circle[k - 1];
    circle[k] = {c * stepCos - s * stepSin, s * stepCos + c * stepSin};
  }

  Mesh mesh;
  const int32_t rings = longitudes / 2 - 1;
  mesh.positions.push_back({0.0, 0.0, radius});
  for (int32_t j = 1; j <= rings; ++j) {
    // polar angle j * 2 pi / longitudes: cos is the height, sin the ring radius
    const auto [z, r] = circle[j];
    for (int32_t k = 0; k < longitudes; ++k) {
      mesh.positions.push_back({radius * (r * circle[k][0]), radius * (r * circle[k][1]), radius * z});
    }
  }
  mesh.positions.push_back({0.0, 0.0, -radius});

  const int32_t south = static_cast<int32_t>(mesh.positions.size()) - 1;
  auto ring = [&](int32_t j, int32_t k) { return 1 + (j - 1) * longitudes + (k % longitudes); };
  for (int32_t k = 0; k < longitudes; ++k) mesh.triangles.push_back({0, ring(1, k), ring(1, k + 1)});
  for (int32_t j = 1; j < rings; ++j) {
    for (int32_t k = 0; k < longitudes; ++k) {
      mesh.triangles.push_back({ring(j, k), ring(j + 1, k), ring(j + 1, k + 1)});
      mesh.triangles.push_back({ring(j, k), ring(j + 1, k + 1), ring(j, k + 1)});
    }
  }
  for (int32_t k = 0; k < longitudes; ++k)
    mesh.triangles.push_back({south, ring(rings, k + 1), ring(rings, k)});

  if (winding == Winding::kClockwiseFromOutside) {
    for (auto& t : mesh.triangles) std::swap(t[1], t[2]);
  }
  return mesh;
}

// the same mesh with point i renumbered to n - 1 - i; triangle order, corner
// order and so every point's link and face order stay as they were
inline Mesh Reversed(const Mesh& mesh) {
  const int32_t n = static_cast<int32_t>(mesh.positions.size());
  Mesh reversed;
  reversed.positions.assign(mesh.positions.rbegin(), mesh.positions.rend());
  for (auto t : mesh.triangles) reversed.triangles.push_back({n - 1 - t[0], n - 1 - t[1], n - 1 - t[2]});
  return reversed;
}

// signed enclosed volume: positive when the faces run counter-clockwise seen from outside
inline double SignedVolume(const std::vector<TDbl3D>& p,
                           const std::vector<std::array<int32_t, 3>>& triangles) {
  double sum = 0.0;
  for (const auto& t : triangles) {
    const TDbl3D a = p[t[0]], b = p[t[1]], c = p[t[2]];
    sum += a.X * (b.Y * c.Z - b.Z * c.Y) + a.Y * (b.Z * c.X - b.X * c.Z) + a.Z * (b.X * c.Y - b.Y * c.X);
  }
  return sum / 6.0;
}

// host arrays for a mesh: springs on every edge, listed at both ends with the
// initial length as rest length, in the order the triangles first name them
class HostMembrane {
 public:
  explicit HostMembrane(const Mesh& mesh) : triangles_(mesh.triangles) {
    const std::size_t n = mesh.positions.size();
    std::vector<std::vector<TClothLink>> links(n);
    std::vector<std::vector<int32_t>> adjacent(n);
    std::set<std::pair<int32_t, int32_t>> edges;
    std::vector<TClothFace> faces;
    for (std::size_t f = 0; f < mesh.triangles.size(); ++f) {
      const auto& t = mesh.triangles[f];
      faces.push_back({t[0], t[1], t[2], 0, ZeroVector});
      for (int c = 0; c < 3; ++c) {
        adjacent[t[c]].push_back(static_cast<int32_t>(f));
        const int32_t a = t[c], b = t[(c + 1) % 3];
        if (!edges.insert({std::min(a, b), std::max(a, b)}).second) continue;
        links[a].push_back({b, 0, VecLength(VecSub(mesh.positions[b], mesh.positions[a]))});
        links[b].push_back({a, 0, VecLength(VecSub(mesh.positions[a], mesh.positions[b]))});
      }
    }
    std::vector<TClothPoint> points(n);
    for (std::size_t i = 0; i < n; ++i) {
      links_.emplace_back(links[i]);
      faceLists_.emplace_back(adjacent[i]);
      points[i] = TClothPoint{};
      points[i].Pos = mesh.positions[i];
      points[i].LinkCount = static_cast<int32_t>(links[i].size());
    }
    points_ = HostArray<TClothPoint>(points);
    for (std::size_t i = 0; i < n; ++i) {
      points_[i].Links = links_[i].data();
      points_[i].Faces = faceLists_[i].data();
    }
    faces_ = HostArray<TClothFace>(faces);
    pointsVar = points_.data();
    facesVar = faces_.data();
  }
  HostMembrane(const HostMembrane&) = delete;
  HostMembrane& operator=(const HostMembrane&) = delete;

  int32_t size() const { return static_cast<int32_t>(points_.capacity()); }
  TClothPoint& point(int32_t i) { return points_[i]; }
  TClothFace& face(int32_t i) { return faces_[i]; }
  int32_t faceCount() const { return static_cast<int32_t>(faces_.capacity()); }
  HostArray<TClothLink>& links(int32_t i) { return links_[i]; }
  HostArray<int32_t>& faceList(int32_t i) { return faceLists_[i]; }

  int32_t Step(const TClothSetup& setup) { return StepMembrane(&pointsVar, &facesVar, &setup); }

  std::vector<TDbl3D> Positions() const {
    std::vector<TDbl3D> p;
    for (std::size_t i = 0; i < points_.capacity(); ++i) p.push_back(points_[i].Pos);
    return p;
  }
  double SignedVolume() const { return tumelin::SignedVolume(Positions(), triangles_); }

  // the host variables the entry points receive the addresses of
  TClothPointArray pointsVar = nullptr;
  TClothFaceArray facesVar = nullptr;

 private:
  std::vector<std::array<int32_t, 3>> triangles_;
  HostArray<TClothPoint> points_;
  std::vector<HostArray<TClothLink>> links_;
  std::vector<HostArray<int32_t>> faceLists_;
  HostArray<TClothFace> faces_;
};

// bitwise equality of two doubles or vectors: -0.0 != 0.0, equal NaNs match
inline bool SameBits(const TDbl3D& a, const TDbl3D& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace tumelin
