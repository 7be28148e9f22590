// The force model of one point, written once over any lane type of lanes.h:
// every lane computes the same formula with the same grouping, so a lane
// gives the bits of the scalar formula (the reference step in the tests).
// Not a header: step_lanes.inl includes it inside its instruction-set region.

namespace tumelin {
namespace {

// lanes of vectors: X, Y and Z each hold one component of every lane
template <class T>
struct Lanes3 {
  T X, Y, Z;
};

// |v| = sqrt((x*x + y*y) + z*z)
template <class T>
inline T LengthOf(Lanes3<T> v) {
  return Sqrt((v.X * v.X + v.Y * v.Y) + v.Z * v.Z);
}

// VecNormalize with the length at hand: v / length, three divisions, and the
// zero vector where the length is not strictly positive (zero or NaN)
template <class T>
inline Lanes3<T> DivideByLength(Lanes3<T> v, T length) {
  const auto hasLength = length > T(0.0);
  return {Select(hasLength, v.X / length, T(0.0)), Select(hasLength, v.Y / length, T(0.0)),
          Select(hasLength, v.Z / length, T(0.0))};
}

// u x w
template <class T>
inline Lanes3<T> CrossOf(Lanes3<T> u, Lanes3<T> w) {
  return {u.Y * w.Z - u.Z * w.Y, u.Z * w.X - u.X * w.Z, u.X * w.Y - u.Y * w.X};
}

// FaceNormal: unit(e1) x unit(e2) of the edges from the first corner. Its
// length is sin of the angle between them, the face's weight in the mean
// normal of each corner.
template <class T>
inline Lanes3<T> FaceNormalOfEdges(Lanes3<T> e1, Lanes3<T> e2) {
  return CrossOf(DivideByLength(e1, LengthOf(e1)), DivideByLength(e2, LengthOf(e2)));
}

// Hooke's law with two stiffnesses: F = k (|d| - L) d / |d| for d the vector
// from the trial position to the linked point and L the rest length, k = k0
// when stretched (|d| > L, a pull towards the target) and k1 otherwise (a
// push away). The length is taken once and serves the extension and the
// direction; a zero or NaN length gives no direction and so no force.
template <class T>
inline Lanes3<T> SpringTerm(Lanes3<T> toTarget, T restLength, T k0, T k1) {
  const T length = LengthOf(toTarget);
  const T extension = length - restLength;
  const T tension = Select(extension > T(0.0), extension * k0, extension * k1);
  const Lanes3<T> direction = DivideByLength(toTarget, length);
  return {direction.X * tension, direction.Y * tension, direction.Z * tension};
}

// the point's mean face normal: the normalized sum of its faces' normals
template <class T>
inline Lanes3<T> MeanNormal(Lanes3<T> normalSum) {
  return DivideByLength(normalSum, LengthOf(normalSum));
}

// F = (N ClothP) (-0.008): a force per point, not per area. Faces wound
// clockwise seen from outside have normals that point inwards, so with the
// negative scale a positive ClothP pushes outwards and inflates.
template <class T>
inline Lanes3<T> PressurePush(Lanes3<T> meanNormal, T clothP) {
  return {(meanNormal.X * clothP) * T(kPressureScale), (meanNormal.Y * clothP) * T(kPressureScale),
          (meanNormal.Z * clothP) * T(kPressureScale)};
}

// the damping term ClothC Vel, taken off the limited acceleration: explicit
// in every method, so without other forces a step multiplies Vel by
// (1 - h ClothC)
template <class T>
inline Lanes3<T> DampingTerm(Lanes3<T> vel, T clothC) {
  return {vel.X * clothC, vel.Y * clothC, vel.Z * clothC};
}

// Newton: a = F / m, with gravity g along -z
template <class T>
inline Lanes3<T> AccelerationOf(Lanes3<T> force) {
  return {force.X / T(kPointMass), force.Y / T(kPointMass), force.Z / T(kPointMass) - T(kGravity)};
}

// a when |a| <= kAccelerationLimit, else (a / |a|) * kAccelerationLimit;
// strictly longer only, so exactly the limit keeps its bits
template <class T>
inline Lanes3<T> LimitedAcceleration(Lanes3<T> a) {
  const T length = LengthOf(a);
  const auto over = length > T(kAccelerationLimit);
  return {Select(over, (a.X / length) * T(kAccelerationLimit), a.X),
          Select(over, (a.Y / length) * T(kAccelerationLimit), a.Y),
          Select(over, (a.Z / length) * T(kAccelerationLimit), a.Z)};
}

// the acceleration at a trial position: a = limit((push + F) / m - g) - c Vel
// for F the summed spring force; push and damping are the point's own for
// the whole step
template <class T>
inline Lanes3<T> FinishedAcceleration(Lanes3<T> springForce, Lanes3<T> push, Lanes3<T> damping) {
  const Lanes3<T> force{push.X + springForce.X, push.Y + springForce.Y, push.Z + springForce.Z};
  const Lanes3<T> a = LimitedAcceleration(AccelerationOf(force));
  return {a.X - damping.X, a.Y - damping.Y, a.Z - damping.Z};
}

}  // namespace
}  // namespace tumelin
