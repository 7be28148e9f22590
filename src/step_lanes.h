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

inline TLanes3<double> Lanes(TDbl3D v) { return {v.X, v.Y, v.Z}; }
inline TDbl3D Vector(TLanes3<double> v) { return {v.X, v.Y, v.Z}; }

template <class T>
inline constexpr int kLaneWidth = T::kWidth;
template <>
inline constexpr int kLaneWidth<double> = 1;

// the spring's pull on the trial position, unit(toTarget) * tension. The
// length is taken once and serves the extension and the direction; a
// stretched spring pulls with k0, one at or below its rest length pushes with
// k1, and a zero or NaN length gives the zero direction
template <class T>
inline T LengthOf(TLanes3<T> v) {
  return Sqrt((v.X * v.X + v.Y * v.Y) + v.Z * v.Z);
}

// VecNormalize over lanes, with the length at hand: v / length, three
// divisions, and the zero vector where the length is not strictly positive
template <class T>
inline TLanes3<T> DivideByLength(TLanes3<T> v, T length) {
  const auto hasLength = length > T(0.0);
  return {Select(hasLength, v.X / length, T(0.0)), Select(hasLength, v.Y / length, T(0.0)),
          Select(hasLength, v.Z / length, T(0.0))};
}

template <class T>
inline TLanes3<T> SpringTerm(TLanes3<T> toTarget, T restLength, T k0, T k1) {
  const T length = LengthOf(toTarget);
  const T extension = length - restLength;
  const T tension = Select(extension > T(0.0), extension * k0, extension * k1);
  const TLanes3<T> direction = DivideByLength(toTarget, length);
  return {direction.X * tension, direction.Y * tension, direction.Z * tension};
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
  const T length = LengthOf(a);
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
  } else if constexpr (kPoints == kLaneWidth<T>) {
    return T::Lanes(perPoint);
  } else {
    static_assert(2 * kPoints == kLaneWidth<T>, "one or two lanes per point");
    return T::Pairs(perPoint);
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

// ---- sweeps: one method over every point of a step -------------------------------

// Evaluations of kPoints points, each at two trial positions: trials[2k] and
// trials[2k + 1] of point k give accelerations[2k] and accelerations[2k + 1].
// The two positions of a point share its links, so with two lanes per point
// one square root and three divisions of each link serve both.
template <class T, int kPoints>
inline void EvaluateTwice(const TStepContext& step, const TPointTerms* terms, const TDbl3D* trials,
                          TDbl3D* accelerations) {
  static_assert(kLaneWidth<T> == 2 * kPoints, "two lanes per point");
  double x[kLaneWidth<T>], y[kLaneWidth<T>], z[kLaneWidth<T>];
  for (int lane = 0; lane < kLaneWidth<T>; ++lane) {
    x[lane] = trials[lane].X;
    y[lane] = trials[lane].Y;
    z[lane] = trials[lane].Z;
  }
  const TLanes3<T> a = AccelerationAt<T, kPoints>(step.points, step.pointBound, terms,
                                                  {T::Lanes(x), T::Lanes(y), T::Lanes(z)}, step.k0, step.k1);
  a.X.Store(x);
  a.Y.Store(y);
  a.Z.Store(z);
  for (int lane = 0; lane < kLaneWidth<T>; ++lane) accelerations[lane] = {x[lane], y[lane], z[lane]};
}

// Visits the points in index order: a pinned point gets NewPos := Pos at
// once, the free ones are gathered kBatch at a time and handed to
// advance(points, terms, count). The last batch is filled up with copies of
// its last point, whose results advance does not store.
template <int kBatch, class Advance>
inline void ForEachFreeBatch(const TStepContext& step, Advance advance) {
  TClothPoint* batch[kBatch];
  TPointTerms terms[kBatch];
  int count = 0;
  for (int32_t i = 0; i < step.pointCount; ++i) {
    TClothPoint* point = &step.points[i];
    if (point->Fixed != 0) {
      // pinned: NewPos := Pos holds it in place. NewVel is not written, so the
      // shift makes whatever it holds the point's Vel: zero after any step
      // (ShiftStates clears it), or what the host put there before the first
      // step. The velocity the point had is dropped.
      point->NewPos = point->Pos;
      continue;
    }
    batch[count] = point;
    terms[count] = PointTerms(point, step.facesVar, step.setup);
    if (++count == kBatch) {
      advance(batch, terms, count);
      count = 0;
    }
  }
  if (count == 0) return;
  for (int k = count; k < kBatch; ++k) {
    batch[k] = batch[count - 1];
    terms[k] = terms[count - 1];
  }
  advance(batch, terms, count);
}

// Euler: one evaluation per point, one lane per point
template <class T>
inline void SweepEuler(const TStepContext& step) {
  constexpr int kBatch = kLaneWidth<T>;
  ForEachFreeBatch<kBatch>(step, [&](TClothPoint* const* batch, const TPointTerms* terms, int count) {
    double x[kBatch], y[kBatch], z[kBatch];
    for (int k = 0; k < kBatch; ++k) {
      x[k] = batch[k]->Pos.X;
      y[k] = batch[k]->Pos.Y;
      z[k] = batch[k]->Pos.Z;
    }
    TDbl3D a[kBatch];
    const TLanes3<T> lanes = AccelerationAt<T, kBatch>(
        step.points, step.pointBound, terms, {T::Lanes(x), T::Lanes(y), T::Lanes(z)}, step.k0, step.k1);
    lanes.X.Store(x);
    lanes.Y.Store(y);
    lanes.Z.Store(z);
    for (int k = 0; k < kBatch; ++k) a[k] = {x[k], y[k], z[k]};
    for (int k = 0; k < count; ++k) {
      const TDbl3D pos = batch[k]->Pos;
      step.stages[0] = pos;
      EulerFinish(batch[k], a[k], pos, batch[k]->Vel);
    }
  });
}

// the stepping thread's stage storage := the first `used` elements of one
// point's local blocks, as the reference integrators leave it
inline void KeepStages(const TStepContext& step, const TDbl3D* s, const TDbl3D* v, int used) {
  for (int e = 0; e < used; ++e) {
    step.stages[e] = s[e];
    step.velStages[e] = v[e];
  }
}

// Heun: the trial positions pos and pos + h vel do not depend on each other
template <class T>
inline void SweepHeun(const TStepContext& step) {
  constexpr int kBatch = kLaneWidth<T> / 2;
  ForEachFreeBatch<kBatch>(step, [&](TClothPoint* const* batch, const TPointTerms* terms, int count) {
    TDbl3D s[kBatch][5], v[kBatch][5], trials[2 * kBatch], a[2 * kBatch];
    for (int k = 0; k < kBatch; ++k) {
      HeunBegin(s[k], v[k], batch[k]->Pos, batch[k]->Vel);
      trials[2 * k] = TrialStart(s[k]);
      trials[2 * k + 1] = TrialPredictor(s[k]);
    }
    EvaluateTwice<T, kBatch>(step, terms, trials, a);
    for (int k = 0; k < count; ++k) {
      HeunFinish(s[k], v[k], batch[k], a[2 * k], a[2 * k + 1]);
      KeepStages(step, s[k], v[k], 3);
    }
  });
}

// RK4: stages 1 and 2 need only the start, stages 3 and 4 only the results
// of 1 and 2, so they are evaluated in pairs
template <class T>
inline void SweepRK4(const TStepContext& step) {
  constexpr int kBatch = kLaneWidth<T> / 2;
  ForEachFreeBatch<kBatch>(step, [&](TClothPoint* const* batch, const TPointTerms* terms, int count) {
    TDbl3D s[kBatch][5], v[kBatch][5], trials[2 * kBatch], a[2 * kBatch];
    for (int k = 0; k < kBatch; ++k) {
      Rk4Begin(s[k], v[k], batch[k]->Pos, batch[k]->Vel);
      trials[2 * k] = TrialStart(s[k]);
      trials[2 * k + 1] = TrialMid1(s[k]);
    }
    EvaluateTwice<T, kBatch>(step, terms, trials, a);
    for (int k = 0; k < kBatch; ++k) {
      Rk4Record(s[k], v[k], 1, a[2 * k]);
      Rk4Record(s[k], v[k], 2, a[2 * k + 1]);
      trials[2 * k] = TrialMid2(s[k]);
      trials[2 * k + 1] = TrialEnd3(s[k]);
    }
    EvaluateTwice<T, kBatch>(step, terms, trials, a);
    for (int k = 0; k < count; ++k) {
      Rk4Record(s[k], v[k], 3, a[2 * k]);
      Rk4Record(s[k], v[k], 4, a[2 * k + 1]);
      Rk4Finish(s[k], v[k], batch[k]);
      KeepStages(step, s[k], v[k], 5);
    }
  });
}

// one step's sweep, the method chosen once: 1 Heun, 2 RK4, anything else Euler
template <class T>
inline void Sweep(const TStepContext& step, int32_t method) {
  switch (method) {
    case 1:
      SweepHeun<T>(step);
      break;
    case 2:
      SweepRK4<T>(step);
      break;
    default:
      SweepEuler<T>(step);
      break;
  }
}
