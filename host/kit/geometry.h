// Geometry on host records for the host's own figures, checks and pictures,
// built on the plug-in's vector module so that both compute alike.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

#include "dbl3d.h"
#include "membrane.h"

namespace tumelin {

// a . b = (a.x b.x + a.y b.y) + a.z b.z, grouped as VecLength groups its
// squares; the plug-in itself needs no dot product
inline double Dot(TDbl3D a, TDbl3D b) { return (a.X * b.X + a.Y * b.Y) + a.Z * b.Z; }

// shorthand for the host's drawing and measuring code
inline TDbl3D operator+(TDbl3D a, TDbl3D b) { return VecAdd(a, b); }
inline TDbl3D operator-(TDbl3D a, TDbl3D b) { return VecSub(a, b); }
inline TDbl3D operator*(TDbl3D v, double s) { return VecScale(v, s); }

// signed volume enclosed by the faces: sum of p0 . (p1 x p2) / 6, positive
// when the corners run counter-clockwise seen from outside
inline double SignedVolume(const TClothPoint* points, const TClothFace* faces, int32_t faceCount) {
  double sum = 0.0;
  for (int32_t f = 0; f < faceCount; ++f) {
    sum += Dot(points[faces[f].P0].Pos, VecCross(points[faces[f].P1].Pos, points[faces[f].P2].Pos));
  }
  return sum / 6.0;
}
inline double SignedVolume(const Membrane& m) {
  return SignedVolume(m.points.Data(), m.faces.Data(), m.faces.Count());
}

// total area of the faces: sum of |(p1 - p0) x (p2 - p0)| / 2
inline double SurfaceArea(const Membrane& m) {
  double area = 0.0;
  for (int32_t t = 0; t < m.faces.Count(); ++t) {
    const TDbl3D a = m.points[m.faces[t].P0].Pos;
    area += 0.5 * VecLength(VecCross(m.points[m.faces[t].P1].Pos - a, m.points[m.faces[t].P2].Pos - a));
  }
  return area;
}

}  // namespace tumelin
