#include "dbl3d.h"

#include <cmath>

namespace tumelin {

double VecLength(TDbl3D v) { return std::sqrt((v.X * v.X + v.Y * v.Y) + v.Z * v.Z); }

TDbl3D VecNormalize(TDbl3D v) {
  const double len = VecLength(v);
  // a NaN length fails this test too
  if (!(len > 0.0)) return ZeroVector;
  return {v.X / len, v.Y / len, v.Z / len};
}

TDbl3D FaceNormal(TDbl3D a, TDbl3D b, TDbl3D c) {
  // unit edges from the first corner, so only the angle at a matters
  const TDbl3D u = VecNormalize(VecSub(b, a));
  const TDbl3D w = VecNormalize(VecSub(c, a));
  return {u.Y * w.Z - u.Z * w.Y, u.Z * w.X - u.X * w.Z, u.X * w.Y - u.Y * w.X};
}

}  // namespace tumelin
