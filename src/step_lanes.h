// The force model over lanes: the formulas of one evaluation written once for
// any lane type of lanes.h (double, Pack2). dynamics.cpp includes this file
// inside a namespace of its own for each instruction set it compiles the step
// for, so it has no include guard and includes nothing itself: every name it
// uses (TDbl3D, the lane types, TPointTerms, InRange, the model constants)
// is declared before the inclusion.

// lanes of vectors: X, Y and Z each hold one component of every lane
template <class T>
struct TLanes3 {
  T X, Y, Z;
};

template <class T>
inline constexpr int kLaneWidth = T::kWidth;
template <>
inline constexpr int kLaneWidth<double> = 1;

// the spring's pull on the trial position, unit(toTarget) * tension. The
// length is taken once and serves the extension and the direction; a
// stretched spring pulls with k0, one at or below its rest length pushes with
// k1, and a zero or NaN length gives the zero direction
template <class T>
inline TLanes3<T> SpringTerm(TLanes3<T> toTarget, T restLength, T k0, T k1) {
  const T length = Sqrt((toTarget.X * toTarget.X + toTarget.Y * toTarget.Y) + toTarget.Z * toTarget.Z);
  const T extension = length - restLength;
  const T tension = Select(extension > T(0.0), extension * k0, extension * k1);
  const auto hasLength = length > T(0.0);
  return {Select(hasLength, toTarget.X / length, T(0.0)) * tension,
          Select(hasLength, toTarget.Y / length, T(0.0)) * tension,
          Select(hasLength, toTarget.Z / length, T(0.0)) * tension};
}

// a = F / m, gravity along -z
template <class T>
inline TLanes3<T> AccelerationOf(TLanes3<T> force) {
  return {force.X / T(PointMass), force.Y / T(PointMass), force.Z / T(PointMass) - T(Gravity)};
}

// a when |a| <= AccelerationLimit, else (a / |a|) * AccelerationLimit; strictly
// longer only, so exactly the limit keeps its bits
template <class T>
inline TLanes3<T> LimitedAcceleration(TLanes3<T> a) {
  const T length = Sqrt((a.X * a.X + a.Y * a.Y) + a.Z * a.Z);
  const auto over = length > T(AccelerationLimit);
  return {Select(over, (a.X / length) * T(AccelerationLimit), a.X),
          Select(over, (a.Y / length) * T(AccelerationLimit), a.Y),
          Select(over, (a.Z / length) * T(AccelerationLimit), a.Z)};
}

// one value per point spread over the lanes of its evaluations: with
// kPoints points each point owns kLaneWidth / kPoints neighbouring lanes
template <class T, int kPoints>
inline T Spread(const double* perPoint) {
  if constexpr (kPoints == 1) {
    return T(perPoint[0]);
  } else {
    constexpr int kSpan = kLaneWidth<T> / kPoints;
    double lanes[kLaneWidth<T>];
    for (int lane = 0; lane < kLaneWidth<T>; ++lane) lanes[lane] = perPoint[lane / kSpan];
    return T::Load(lanes);
  }
}

// The acceleration at the trial positions in `trial`, lane by lane, of
// kPoints points (terms[k] for point k): springs to the linked points' Pos,
// the pressure push, mass and gravity, the limit, then the damping. A link
// whose Target is outside the point array contributes nothing; with one point
// per call it is skipped, with several its lanes keep their force as it was.
template <class T, int kPoints>
inline TLanes3<T> AccelerationAt(const TClothPoint* points, uint32_t pointBound, const TPointTerms* terms,
                                 TLanes3<T> trial, T k0, T k1) {
  TLanes3<T> force{T(0.0), T(0.0), T(0.0)};
  int32_t mostLinks = 0;
  for (int k = 0; k < kPoints; ++k)
    mostLinks = terms[k].linkCount > mostLinks ? terms[k].linkCount : mostLinks;
  for (int32_t j = 0; j < mostLinks; ++j) {
    if constexpr (kPoints == 1) {
      const TClothLink& link = terms[0].links[j];
      if (!InRange(link.Target, pointBound)) continue;
      const TDbl3D target = points[link.Target].Pos;
      const TLanes3<T> term = SpringTerm<T>(
          {T(target.X) - trial.X, T(target.Y) - trial.Y, T(target.Z) - trial.Z}, T(link.RestLength), k0, k1);
      force = {force.X + term.X, force.Y + term.Y, force.Z + term.Z};
    } else {
      double x[kPoints], y[kPoints], z[kPoints], rest[kPoints], used[kPoints];
      for (int k = 0; k < kPoints; ++k) {
        const bool inUse = j < terms[k].linkCount && InRange(terms[k].links[j].Target, pointBound);
        const TDbl3D target = inUse ? points[terms[k].links[j].Target].Pos : ZeroVector;
        x[k] = target.X;
        y[k] = target.Y;
        z[k] = target.Z;
        rest[k] = inUse ? terms[k].links[j].RestLength : 0.0;
        used[k] = inUse ? 1.0 : 0.0;
      }
      const TLanes3<T> term = SpringTerm<T>(
          {Spread<T, kPoints>(x) - trial.X, Spread<T, kPoints>(y) - trial.Y, Spread<T, kPoints>(z) - trial.Z},
          Spread<T, kPoints>(rest), k0, k1);
      const T inUse = Spread<T, kPoints>(used) > T(0.0);
      force = {Select(inUse, force.X + term.X, force.X), Select(inUse, force.Y + term.Y, force.Y),
               Select(inUse, force.Z + term.Z, force.Z)};
    }
  }

  double push[3][kPoints], damping[3][kPoints];
  for (int k = 0; k < kPoints; ++k) {
    push[0][k] = terms[k].push.X;
    push[1][k] = terms[k].push.Y;
    push[2][k] = terms[k].push.Z;
    damping[0][k] = terms[k].damping.X;
    damping[1][k] = terms[k].damping.Y;
    damping[2][k] = terms[k].damping.Z;
  }
  // pressure, written as (N ClothP) (-0.008) + F
  force = {Spread<T, kPoints>(push[0]) + force.X, Spread<T, kPoints>(push[1]) + force.Y,
           Spread<T, kPoints>(push[2]) + force.Z};
  const TLanes3<T> a = LimitedAcceleration(AccelerationOf(force));
  // damping by the start-of-step velocity, after the limit
  return {a.X - Spread<T, kPoints>(damping[0]), a.Y - Spread<T, kPoints>(damping[1]),
          a.Z - Spread<T, kPoints>(damping[2])};
}
