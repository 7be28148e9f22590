// Vector module: the one vector type of the simulation and its operations.
// Every operation takes its operands by value and returns a new vector, so a
// caller may store a result over one of its own operands. All of it is
// inline: the step calls these for every spring of every evaluation, and the
// stand-in host builds rest lengths with the very same VecLength.
#pragma once

#include <tumelin/tumelin.h>

#include <cmath>

namespace tumelin {

// the origin; sums and the end-of-step clearing start from it
inline constexpr TDbl3D kZeroVector{0.0, 0.0, 0.0};

// a + b
inline TDbl3D VecAdd(TDbl3D a, TDbl3D b) { return {a.X + b.X, a.Y + b.Y, a.Z + b.Z}; }

// a := a + b, component by component in X, Y, Z order
inline void VecAccumulate(TDbl3D& a, TDbl3D b) {
  a.X = a.X + b.X;
  a.Y = a.Y + b.Y;
  a.Z = a.Z + b.Z;
}

// a - b
inline TDbl3D VecSub(TDbl3D a, TDbl3D b) { return {a.X - b.X, a.Y - b.Y, a.Z - b.Z}; }

// v * s
inline TDbl3D VecScale(TDbl3D v, double s) { return {v.X * s, v.Y * s, v.Z * s}; }

// v / s, three divisions
inline TDbl3D VecDivide(TDbl3D v, double s) { return {v.X / s, v.Y / s, v.Z / s}; }

// |v| = sqrt((x*x + y*y) + z*z)
inline double VecLength(TDbl3D v) { return std::sqrt((v.X * v.X + v.Y * v.Y) + v.Z * v.Z); }

// v / |v|, three divisions by the same length; the zero vector when the
// length is not strictly positive (zero or NaN)
inline TDbl3D VecNormalize(TDbl3D v) {
  const double len = VecLength(v);
  // a NaN length fails this test too
  if (!(len > 0.0)) return kZeroVector;
  return {v.X / len, v.Y / len, v.Z / len};
}

// u x w
inline TDbl3D VecCross(TDbl3D u, TDbl3D w) {
  return {u.Y * w.Z - u.Z * w.Y, u.Z * w.X - u.X * w.Z, u.X * w.Y - u.Y * w.X};
}

// unit(b - a) x unit(c - a): right-handed for a -> b -> c, length sin of the
// angle at a, zero when either edge has zero length
inline TDbl3D FaceNormal(TDbl3D a, TDbl3D b, TDbl3D c) {
  // unit edges from the first corner, so only the angle at a matters
  return VecCross(VecNormalize(VecSub(b, a)), VecNormalize(VecSub(c, a)));
}

}  // namespace tumelin
