// The step over lanes: the force model, the face normals, the integrators'
// stages and the sweeps that advance every free point, written once for any
// lane type of lanes.h (double, Pack2, Pack4). sweep_sse2.cpp and
// sweep_avx.cpp include it once each and pick the lane type; everything here
// has internal linkage, so each of the two gets its own copy. The AVX one
// defines TUMELIN_SWEEP_AVX first, which compiles this file's functions for
// AVX: a region here rather than -mavx for the whole file, which would also
// compile the inline functions of every header it includes (the vector
// module, the lane types, the standard library) for AVX, and the linker
// keeps one copy of each for both paths.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <type_traits>

#include "cloth_types.h"
#include "dbl3d.h"
#include "lanes.h"
#include "model_constants.h"
#include "stage_providers.h"
#include "step_sweep.h"

#ifdef TUMELIN_SWEEP_AVX
TUMELIN_AVX_BEGIN
#endif

namespace tumelin {
namespace {

// one unsigned compare rejects negative and too-large indices alike
inline bool InRange(int32_t index, uint32_t bound) { return static_cast<uint32_t>(index) < bound; }

// lanes of vectors: X, Y and Z each hold one component of every lane
template <class T>
struct Lanes3 {
  T X, Y, Z;
};

template <class T>
inline constexpr int kLaneWidth = T::kWidth;
template <>
inline constexpr int kLaneWidth<double> = 1;

// lane i of each component := v[i], from vectors stored one after the other
template <class T>
inline Lanes3<T> LoadLanes(const double* x, const double* y, const double* z) {
  if constexpr (kLaneWidth<T> == 1) {
    return {*x, *y, *z};
  } else {
    return {T::Lanes(x), T::Lanes(y), T::Lanes(z)};
  }
}

template <class T>
inline void StoreLanes(Lanes3<T> v, double* x, double* y, double* z) {
  if constexpr (kLaneWidth<T> == 1) {
    *x = v.X;
    *y = v.Y;
    *z = v.Z;
  } else {
    v.X.Store(x);
    v.Y.Store(y);
    v.Z.Store(z);
  }
}

// |v| = sqrt((x*x + y*y) + z*z)
template <class T>
inline T LengthOf(Lanes3<T> v) {
  return Sqrt((v.X * v.X + v.Y * v.Y) + v.Z * v.Z);
}

// VecNormalize over lanes, with the length at hand: v / length, three
// divisions, and the zero vector where the length is not strictly positive
template <class T>
inline Lanes3<T> DivideByLength(Lanes3<T> v, T length) {
  const auto hasLength = length > T(0.0);
  return {Select(hasLength, v.X / length, T(0.0)), Select(hasLength, v.Y / length, T(0.0)),
          Select(hasLength, v.Z / length, T(0.0))};
}

// VecCross over lanes
template <class T>
inline Lanes3<T> CrossOf(Lanes3<T> u, Lanes3<T> w) {
  return {u.Y * w.Z - u.Z * w.Y, u.Z * w.X - u.X * w.Z, u.X * w.Y - u.Y * w.X};
}

// FaceNormal over lanes: unit(e1) x unit(e2) of the edges from the first corner
template <class T>
inline Lanes3<T> FaceNormalOfEdges(Lanes3<T> e1, Lanes3<T> e2) {
  return CrossOf(DivideByLength(e1, LengthOf(e1)), DivideByLength(e2, LengthOf(e2)));
}

// the spring's pull on the trial position, unit(toTarget) * tension. The
// length is taken once and serves the extension and the direction; a
// stretched spring pulls with k0, one at or below its rest length pushes with
// k1, and a zero or NaN length gives the zero direction
template <class T>
inline Lanes3<T> SpringTerm(Lanes3<T> toTarget, T restLength, T k0, T k1) {
  const T length = LengthOf(toTarget);
  const T extension = length - restLength;
  const T tension = Select(extension > T(0.0), extension * k0, extension * k1);
  const Lanes3<T> direction = DivideByLength(toTarget, length);
  return {direction.X * tension, direction.Y * tension, direction.Z * tension};
}

// the pressure push against the mean normal: (N ClothP) (-0.008)
template <class T>
inline Lanes3<T> PressurePush(Lanes3<T> meanNormal, T clothP) {
  return {(meanNormal.X * clothP) * T(kPressureScale), (meanNormal.Y * clothP) * T(kPressureScale),
          (meanNormal.Z * clothP) * T(kPressureScale)};
}

// the damping term ClothC Vel
template <class T>
inline Lanes3<T> DampingTerm(Lanes3<T> vel, T clothC) {
  return {vel.X * clothC, vel.Y * clothC, vel.Z * clothC};
}

// a = F / m, gravity along -z
template <class T>
inline Lanes3<T> AccelerationOf(Lanes3<T> force) {
  return {force.X / T(kPointMass), force.Y / T(kPointMass), force.Z / T(kPointMass) - T(kGravity)};
}

// a when |a| <= kAccelerationLimit, else (a / |a|) * kAccelerationLimit; strictly
// longer only, so exactly the limit keeps its bits
template <class T>
inline Lanes3<T> LimitedAcceleration(Lanes3<T> a) {
  const T length = LengthOf(a);
  const auto over = length > T(kAccelerationLimit);
  return {Select(over, (a.X / length) * T(kAccelerationLimit), a.X),
          Select(over, (a.Y / length) * T(kAccelerationLimit), a.Y),
          Select(over, (a.Z / length) * T(kAccelerationLimit), a.Z)};
}

// from the summed spring force: the pressure push added as push + F, mass and
// gravity, the limit, then the damping by the start-of-step velocity
template <class T>
inline Lanes3<T> FinishedAcceleration(Lanes3<T> springForce, Lanes3<T> push, Lanes3<T> damping) {
  const Lanes3<T> force{push.X + springForce.X, push.Y + springForce.Y, push.Z + springForce.Z};
  const Lanes3<T> a = LimitedAcceleration(AccelerationOf(force));
  return {a.X - damping.X, a.Y - damping.Y, a.Z - damping.Z};
}

// ---- face normals of a step ---------------------------------------------------------

// lane k := address[k][offset], read straight into the lanes
template <class T>
inline T GatherLanes(const double* const* address, int offset) {
  if constexpr (kLaneWidth<T> == 1) {
    return address[0][offset];
  } else {
    double values[kLaneWidth<T>];
    for (int k = 0; k < kLaneWidth<T>; ++k) values[k] = address[k][offset];
    return T::Lanes(values);
  }
}

// the face normals of faces[first .. first + width - 1], width at most a lane
// width (kFull: exactly one). A face with a corner outside the point array
// takes all three corners at the origin, so its edges and its normal are zero.
template <class T, bool kFull>
inline void FaceNormalGroup(const TClothPoint* points, uint32_t pointBound, TClothFace* faces, int32_t first,
                            int width) {
  constexpr int kW = kLaneWidth<T>;
  static constexpr double kOrigin[3] = {0.0, 0.0, 0.0};
  const double* corner[3][kW];
  for (int k = 0; k < kW; ++k) {
    const bool inGroup = kFull || k < width;
    const TClothFace& face = faces[first + (inGroup ? k : 0)];
    const bool valid = inGroup && InRange(face.P0, pointBound) && InRange(face.P1, pointBound) &&
                       InRange(face.P2, pointBound);
    corner[0][k] = valid ? &points[face.P0].Pos.X : kOrigin;
    corner[1][k] = valid ? &points[face.P1].Pos.X : kOrigin;
    corner[2][k] = valid ? &points[face.P2].Pos.X : kOrigin;
  }
  Lanes3<T> at[3];
  for (int c = 0; c < 3; ++c)
    at[c] = {GatherLanes<T>(corner[c], 0), GatherLanes<T>(corner[c], 1), GatherLanes<T>(corner[c], 2)};
  const Lanes3<T> e1{at[1].X - at[0].X, at[1].Y - at[0].Y, at[1].Z - at[0].Z};
  const Lanes3<T> e2{at[2].X - at[0].X, at[2].Y - at[0].Y, at[2].Z - at[0].Z};
  double normal[3][kW];
  StoreLanes(FaceNormalOfEdges(e1, e2), normal[0], normal[1], normal[2]);
  for (int k = 0; k < (kFull ? kW : width); ++k)
    faces[first + k].Normal = {normal[0][k], normal[1][k], normal[2][k]};
}

// UpdateFaceNormals: every face's Normal := FaceNormal of its corners' Pos,
// kLaneWidth faces at a time
template <class T>
inline void UpdateFaceNormals(const StepContext& step) {
  constexpr int kW = kLaneWidth<T>;
  const int32_t end = step.faceCount;
  int32_t first = 0;
  for (; end - first >= kW; first += kW)
    FaceNormalGroup<T, true>(step.points, step.pointBound, step.faces, first, kW);
  if (first < end) FaceNormalGroup<T, false>(step.points, step.pointBound, step.faces, first, end - first);
}

// ---- what a point brings to every evaluation ------------------------------------------

// the sum of the stored normals of the point's adjacent faces in list order;
// an index outside the face array is skipped. Normalised, it is the mean
// normal the pressure pushes against.
inline TDbl3D FaceNormalSum(const TClothPoint* point, const TClothFace* faces, uint32_t faceBound) {
  const int32_t adjacentCount = ArrayCount(point->Faces);
  TDbl3D sum = kZeroVector;
  for (int32_t i = 0; i < adjacentCount; ++i) {
    const int32_t face = point->Faces[i];
    if (!InRange(face, faceBound)) continue;
    VecAccumulate(sum, faces[face].Normal);
  }
  return sum;
}

// the links that take part: LinkCount, never reaching past the Links array
inline int32_t UsedLinkCount(const TClothPoint* point) {
  const int32_t linksHeld = ArrayCount(point->Links);
  return point->LinkCount > linksHeld ? linksHeld : point->LinkCount;
}

// ---- integrators: the stages of one point ---------------------------------------------
//
// Every stage moves only the point's own trial position: the neighbours' Pos,
// the face normals and the Vel of the damping term stay those of the start of
// the step. So the damping is explicit Euler in all three methods, and once
// the neighbours move, RK4 and Heun are both second order (see dynamics.h).
// Each point keeps its stages in blocks of five vectors of its own: s the
// position side (s[0] the start position), v the velocity side (v[0] the
// start velocity); the stage providers (stage_providers.h) read s.

// v / s, three divisions
inline TDbl3D VecDivide(TDbl3D v, double s) { return {v.X / s, v.Y / s, v.Z / s}; }

// semi-implicit Euler: the position moves with the new velocity
inline void EulerFinish(TClothPoint* point, TDbl3D a, TDbl3D pos, TDbl3D vel) {
  const TDbl3D newVel = VecAdd(VecScale(a, TimeStep), vel);
  point->NewVel = newVel;
  point->NewPos = VecAdd(VecScale(newVel, TimeStep), pos);
}

// predictor-corrector from the rate a1 at pos and a2 at pos + h vel: the mean
// of the rates at both ends, ((r1 + r2) h) / 2 + start, for the velocity
// (rates a1, a2) and the position (rates vel, vel + h a1)
inline void HeunFinish(TClothPoint* point, TDbl3D a1, TDbl3D a2) {
  const TDbl3D pos = point->Pos, vel = point->Vel;
  const TDbl3D predicted = VecAdd(VecScale(a1, TimeStep), vel);
  point->NewVel = VecAdd(VecDivide(VecScale(VecAdd(a1, a2), TimeStep), 2.0), vel);
  point->NewPos = VecAdd(VecDivide(VecScale(VecAdd(vel, predicted), TimeStep), 2.0), pos);
}

// k1x = h vel
inline void Rk4Begin(TDbl3D* s, TDbl3D* v, TDbl3D pos, TDbl3D vel) {
  s[0] = pos;
  v[0] = vel;
  s[1] = VecScale(v[0], TimeStep);
}

// kNv = h aN, and the position term that follows from it:
// k2x = (k1v / 2 + vel) h, k3x = (k2v / 2 + vel) h, k4x = (vel + k3v) h
inline void Rk4Record(TDbl3D* s, TDbl3D* v, int stage, TDbl3D a) {
  v[stage] = VecScale(a, TimeStep);
  if (stage < 3) s[stage + 1] = VecScale(VecAdd(VecDivide(v[stage], 2.0), v[0]), TimeStep);
  if (stage == 3) s[4] = VecScale(VecAdd(v[0], v[3]), TimeStep);
}

// ((k2 + k3) 2 + k1 + k4) / 6 + start
inline void Rk4Finish(const TDbl3D* s, const TDbl3D* v, TClothPoint* point) {
  point->NewVel = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(v[2], v[3]), 2.0), v[1]), v[4]), 6.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(s[2], s[3]), 2.0), s[1]), s[4]), 6.0), s[0]);
}

// ---- sweeps: one method over every point of a step -------------------------------
//
// A sweep advances the free points a block at a time. For each block it
// - lists every used link of every point, once per evaluation, as an entry:
//   the vector from the trial position to the target's Pos and the rest
//   length; on the first evaluation it also takes each point's terms (its
//   links, the sum of its faces' normals and its Vel);
// - computes the entries' spring terms a full lane width at a time and adds
//   them up per point and evaluation in link order;
// - normalises the mean normals and forms the pushes and damping terms, then
//   finishes the accelerations, both a lane width at a time;
// - integrates point by point.
// Every lane computes the per-point formula, so each point gets the same bits
// whatever shares its lanes (tests/support/reference_step.h holds the step
// written point by point, the model the sweeps are checked against).

inline constexpr int kBlockPoints = 16;
// entries computed together; a point with more links goes over several rounds
inline constexpr int kEntryCapacity = 128;

// a lane width's multiple at least n
template <class T>
inline constexpr int RoundUp(int n) {
  return (n + kLaneWidth<T> - 1) / kLaneWidth<T> * kLaneWidth<T>;
}

// The free points of one block in index order and what they bring to every
// evaluation of the step: the links that take part, and per component (X, Y,
// Z) the pressure push and the damping term of each point.
struct Block {
  TClothPoint* point[kBlockPoints];
  int count;
  const TClothLink* links[kBlockPoints];
  int32_t linkCount[kBlockPoints];
  // with room to fill up the last lanes of the widest lane type
  double push[3][kBlockPoints + 3];
  double damping[3][kBlockPoints + 3];
};

// accelerations per point and evaluation, one array per component
template <int kSlotCount>
struct Accelerations {
  double x[kSlotCount], y[kSlotCount], z[kSlotCount];
  TDbl3D operator[](int i) const { return {x[i], y[i], z[i]}; }
};

// The spring entries of the evaluations of one block: kEvals trial positions
// per point, entry e of a link belongs to trial e. Forces of (point k, trial
// e) accumulate in element k kEvals + e.
template <class T, int kEvals>
class SpringEntries {
 public:
  static constexpr int kSlots = kBlockPoints * kEvals;

  SpringEntries(const StepContext& step) : k0_(step.k0), k1_(step.k1) {
    for (int i = 0; i < kSlots; ++i) forceX_[i] = forceY_[i] = forceZ_[i] = 0.0;
  }

  // the springs of point k at its trial positions trials[0 .. kEvals - 1]
  void AddPoint(const TClothPoint* points, uint32_t pointBound, int k, const TClothLink* links,
                int32_t linkCount, const TDbl3D* trials) {
    // in locals: the entries' stores could otherwise alias every double read here
    double trialX[kEvals], trialY[kEvals], trialZ[kEvals];
    for (int e = 0; e < kEvals; ++e) {
      trialX[e] = trials[e].X;
      trialY[e] = trials[e].Y;
      trialZ[e] = trials[e].Z;
    }
    const Evals toX = LoadEvals(trialX), toY = LoadEvals(trialY), toZ = LoadEvals(trialZ);
    int count = count_;
    int used = 0;
    for (int32_t j = 0; j < linkCount; ++j) {
      const int32_t target = links[j].Target;
      if (!InRange(target, pointBound)) continue;
      const double restLength = links[j].RestLength;
      const TDbl3D pos = points[target].Pos;
      StoreEvals(Evals(pos.X) - toX, x_ + count);
      StoreEvals(Evals(pos.Y) - toY, y_ + count);
      StoreEvals(Evals(pos.Z) - toZ, z_ + count);
      StoreEvals(Evals(restLength), rest_ + count);
      count += kEvals;
      ++used;
      if (count > kEntryCapacity - kEvals) {
        count_ = count;
        EndRun(k, used);
        used = 0;
        Flush();
        count = 0;
      }
    }
    count_ = count;
    EndRun(k, used);
  }

  // every spring term added into its point's force, in link order
  void Flush() {
    const int padded = RoundUp<T>(count_);
    // a fixed number of zeros, not a call to memset from every flush
    for (int l = 0; l < kLaneWidth<T> - 1; ++l)
      x_[count_ + l] = y_[count_ + l] = z_[count_ + l] = rest_[count_ + l] = 0.0;
    for (int i = 0; i < padded; i += kLaneWidth<T>) {
      const Lanes3<T> term =
          SpringTerm<T>({Load(x_ + i), Load(y_ + i), Load(z_ + i)}, Load(rest_ + i), T(k0_), T(k1_));
      StoreLanes(term, x_ + i, y_ + i, z_ + i);
    }
    int i = 0;
    for (int r = 0; r < runs_; ++r) {
      const int slot = runPoint_[r] * kEvals;
      Evals fx = LoadEvals(forceX_ + slot), fy = LoadEvals(forceY_ + slot), fz = LoadEvals(forceZ_ + slot);
      const int links = runLinks_[r];
      for (int l = 0; l < links; ++l, i += kEvals) {
        fx = fx + LoadEvals(x_ + i);
        fy = fy + LoadEvals(y_ + i);
        fz = fz + LoadEvals(z_ + i);
      }
      StoreEvals(fx, forceX_ + slot);
      StoreEvals(fy, forceY_ + slot);
      StoreEvals(fz, forceZ_ + slot);
    }
    count_ = 0;
    runs_ = 0;
  }

  // the accelerations of the block's points: element k kEvals + e
  template <int kSlotCount>
  void Finish(const Block& block, Accelerations<kSlotCount>& accelerations) {
    static_assert(kLaneWidth<T> % kEvals == 0, "whole points in a lane width");
    constexpr int kPoints = kLaneWidth<T> / kEvals;
    const int slots = RoundUp<T>(block.count * kEvals);
    for (int i = 0; i < slots; i += kLaneWidth<T>) {
      const int k = i / kEvals;
      const Lanes3<T> push{Spread<kPoints>(block.push[0] + k), Spread<kPoints>(block.push[1] + k),
                           Spread<kPoints>(block.push[2] + k)};
      const Lanes3<T> damping{Spread<kPoints>(block.damping[0] + k), Spread<kPoints>(block.damping[1] + k),
                              Spread<kPoints>(block.damping[2] + k)};
      const Lanes3<T> a =
          FinishedAcceleration(LoadLanes<T>(forceX_ + i, forceY_ + i, forceZ_ + i), push, damping);
      StoreLanes(a, accelerations.x + i, accelerations.y + i, accelerations.z + i);
    }
  }

 private:
  static_assert(kEvals == 1 || kEvals == 2, "one or two evaluations per point");
  // the kEvals entries of one link side by side: a double, or an SSE2 pair
  // for two evaluations (lane e for evaluation e)
  using Evals = std::conditional_t<kEvals == 2, Pack2, double>;
  static Evals LoadEvals(const double* first) {
    if constexpr (kEvals == 2) {
      return Pack2::Load(first);
    } else {
      return *first;
    }
  }
  static void StoreEvals(Evals value, double* first) {
    if constexpr (kEvals == 2) {
      value.Store(first);
    } else {
      *first = value;
    }
  }

  static T Load(const double* lanes) { return T::Load(lanes); }

  // one value per point spread over the lanes of its kEvals evaluations
  template <int kPoints>
  static T Spread(const double* perPoint) {
    if constexpr (kPoints == 1) {
      return T(perPoint[0]);
    } else if constexpr (kPoints == kLaneWidth<T>) {
      return T::Lanes(perPoint);
    } else {
      static_assert(2 * kPoints == kLaneWidth<T>, "one or two lanes per point");
      return T::Pairs(perPoint);
    }
  }

  void EndRun(int k, int links) {
    if (links == 0) return;
    runPoint_[runs_] = k;
    runLinks_[runs_] = links;
    ++runs_;
  }

  double k0_, k1_;
  // entries: toTarget, then the spring term in its place; with room to fill
  // up the last lanes
  double x_[kEntryCapacity + kLaneWidth<T>], y_[kEntryCapacity + kLaneWidth<T>],
      z_[kEntryCapacity + kLaneWidth<T>], rest_[kEntryCapacity + kLaneWidth<T>];
  int count_ = 0;
  // consecutive entries of one point
  int runPoint_[kEntryCapacity], runLinks_[kEntryCapacity];
  int runs_ = 0;
  // per point and evaluation: the spring force, then the acceleration
  double forceX_[kSlots], forceY_[kSlots], forceZ_[kSlots];
};

// the block's pushes and damping terms from the normal sums and velocities
// that the first evaluation left in their place, a lane width at a time
template <class T>
inline void FormTerms(const StepContext& step, Block& block) {
  for (int l = 0; l < kLaneWidth<T> - 1; ++l) {
    for (int c = 0; c < 3; ++c) block.push[c][block.count + l] = block.damping[c][block.count + l] = 0.0;
  }
  for (int k = 0; k < block.count; k += kLaneWidth<T>) {
    const Lanes3<T> sum = LoadLanes<T>(block.push[0] + k, block.push[1] + k, block.push[2] + k);
    StoreLanes(PressurePush(DivideByLength(sum, LengthOf(sum)), T(step.setup->ClothP)), block.push[0] + k,
               block.push[1] + k, block.push[2] + k);
    const Lanes3<T> vel = LoadLanes<T>(block.damping[0] + k, block.damping[1] + k, block.damping[2] + k);
    StoreLanes(DampingTerm(vel, T(step.setup->ClothC)), block.damping[0] + k, block.damping[1] + k,
               block.damping[2] + k);
  }
}

// The accelerations of every point of the block at kEvals trial positions
// each. The first evaluation of a step (kFirst) takes the points' terms on
// the way, each right before its links, so their loads overlap.
template <class T, int kEvals, bool kFirst>
inline void EvaluateBlock(const StepContext& step, Block& block, const TDbl3D* trials,
                          Accelerations<kBlockPoints * kEvals>& accelerations) {
  SpringEntries<T, kEvals> entries(step);
  const int count = block.count;
  for (int k = 0; k < count; ++k) {
    if constexpr (kFirst) {
      const TClothPoint* point = block.point[k];
      block.links[k] = point->Links;
      block.linkCount[k] = UsedLinkCount(point);
      const TDbl3D sum = FaceNormalSum(point, step.faces, step.faceBound);
      block.push[0][k] = sum.X;
      block.push[1][k] = sum.Y;
      block.push[2][k] = sum.Z;
      block.damping[0][k] = point->Vel.X;
      block.damping[1][k] = point->Vel.Y;
      block.damping[2][k] = point->Vel.Z;
    }
    entries.AddPoint(step.points, step.pointBound, k, block.links[k], block.linkCount[k],
                     trials + k * kEvals);
  }
  entries.Flush();
  if constexpr (kFirst) FormTerms<T>(step, block);
  entries.Finish(block, accelerations);
}

// Visits the points in index order: a pinned point gets NewPos := Pos at
// once, the free ones are gathered into blocks handed to advance(block).
template <class Advance>
inline void ForEachFreeBlock(const StepContext& step, Advance advance) {
  Block block;
  block.count = 0;
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
    block.point[block.count++] = point;
    if (block.count == kBlockPoints) {
      advance(block);
      block.count = 0;
    }
  }
  if (block.count > 0) advance(block);
}

// Euler: one evaluation per point
template <class T>
inline void SweepEuler(const StepContext& step) {
  ForEachFreeBlock(step, [&](Block& block) {
    TDbl3D trials[kBlockPoints];
    Accelerations<kBlockPoints> a;
    for (int k = 0; k < block.count; ++k) trials[k] = block.point[k]->Pos;
    EvaluateBlock<T, 1, true>(step, block, trials, a);
    for (int k = 0; k < block.count; ++k) EulerFinish(block.point[k], a[k], trials[k], block.point[k]->Vel);
  });
}

// Heun: the trial positions pos and pos + h vel do not depend on each other
template <class T>
inline void SweepHeun(const StepContext& step) {
  ForEachFreeBlock(step, [&](Block& block) {
    // trials zeroed only to tell the compiler that nothing unset is read
    TDbl3D trials[2 * kBlockPoints] = {};
    Accelerations<2 * kBlockPoints> a;
    for (int k = 0; k < block.count; ++k) {
      // the predictor's stages: the start position and the velocity that moves it
      const TDbl3D stages[2] = {block.point[k]->Pos, block.point[k]->Vel};
      trials[2 * k] = TrialStart(stages);
      trials[2 * k + 1] = TrialPredictor(stages);
    }
    EvaluateBlock<T, 2, true>(step, block, trials, a);
    for (int k = 0; k < block.count; ++k) HeunFinish(block.point[k], a[2 * k], a[2 * k + 1]);
  });
}

// RK4: stages 1 and 2 need only the start, stages 3 and 4 only the results
// of 1 and 2, so they are evaluated in pairs
template <class T>
inline void SweepRK4(const StepContext& step) {
  ForEachFreeBlock(step, [&](Block& block) {
    TDbl3D s[kBlockPoints][5], v[kBlockPoints][5], trials[2 * kBlockPoints] = {};
    Accelerations<2 * kBlockPoints> a;
    for (int k = 0; k < block.count; ++k) {
      Rk4Begin(s[k], v[k], block.point[k]->Pos, block.point[k]->Vel);
      trials[2 * k] = TrialStart(s[k]);
      trials[2 * k + 1] = TrialMid1(s[k]);
    }
    EvaluateBlock<T, 2, true>(step, block, trials, a);
    for (int k = 0; k < block.count; ++k) {
      Rk4Record(s[k], v[k], 1, a[2 * k]);
      Rk4Record(s[k], v[k], 2, a[2 * k + 1]);
      trials[2 * k] = TrialMid2(s[k]);
      trials[2 * k + 1] = TrialEnd3(s[k]);
    }
    EvaluateBlock<T, 2, false>(step, block, trials, a);
    for (int k = 0; k < block.count; ++k) {
      Rk4Record(s[k], v[k], 3, a[2 * k]);
      Rk4Record(s[k], v[k], 4, a[2 * k + 1]);
      Rk4Finish(s[k], v[k], block.point[k]);
    }
  });
}

// one step's face normals and sweep, the method chosen once
template <class T>
inline void Sweep(const StepContext& step, int32_t method) {
  // the face normals first: every evaluation of this step sees the normals
  // of the start-of-step positions
  UpdateFaceNormals<T>(step);
  switch (method) {
    case TUMELIN_METHOD_HEUN:
      SweepHeun<T>(step);
      break;
    case TUMELIN_METHOD_RK4:
      SweepRK4<T>(step);
      break;
    case TUMELIN_METHOD_EULER:
    default:
      // a value outside the methods is stored as read and steps as Euler
      SweepEuler<T>(step);
      break;
  }
}

}  // namespace
}  // namespace tumelin

#ifdef TUMELIN_SWEEP_AVX
TUMELIN_AVX_END
#endif
