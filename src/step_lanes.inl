// The body of the step over lanes: the face normals and the passes that
// advance every free point, batching the points' links, terms and trial
// positions into lanes; the formulas they carry are force_model.inl and
// integrators.inl. Written once for any lane type of lanes.h (double, Pack2,
// Pack4). Not a header: step_lanes_sse2.cpp and step_lanes_avx.cpp include it
// once each and pick the lane type; everything here has internal linkage, so
// each of the two gets its own copy. The AVX one defines
// TUMELIN_STEP_LANES_AVX first, which compiles this file's functions for
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
#include "step_lanes.h"

#ifdef TUMELIN_STEP_LANES_AVX
TUMELIN_AVX_BEGIN
#endif

// the physics: the force on a point and the integrators' formulas
#include "force_model.inl"
#include "integrators.inl"

namespace tumelin {
namespace {

// one unsigned compare rejects negative and too-large indices alike
inline bool InRange(int32_t index, uint32_t bound) { return static_cast<uint32_t>(index) < bound; }

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

// ---- passes: one method over every point of a step -------------------------------
//
// A pass advances the free points a block at a time. For each block it
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
// written point by point, the model the passes are checked against).

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
// Z) what the first evaluation reads of each point (the sum of its faces'
// normals, its Vel) and the terms formed from it (the pressure push, the
// damping term). The component arrays have room to fill up the last lanes of
// the widest lane type.
struct Block {
  TClothPoint* point[kBlockPoints];
  int count;
  const TClothLink* links[kBlockPoints];
  int32_t linkCount[kBlockPoints];
  double normalSum[3][kBlockPoints + 3];
  double vel[3][kBlockPoints + 3];
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
  // per point and evaluation: the summed spring force
  double forceX_[kSlots], forceY_[kSlots], forceZ_[kSlots];
};

// the block's pushes and damping terms from the normal sums and velocities
// the first evaluation read, a lane width at a time
template <class T>
inline void FormTerms(const StepContext& step, Block& block) {
  for (int l = 0; l < kLaneWidth<T> - 1; ++l) {
    for (int c = 0; c < 3; ++c) block.normalSum[c][block.count + l] = block.vel[c][block.count + l] = 0.0;
  }
  for (int k = 0; k < block.count; k += kLaneWidth<T>) {
    const Lanes3<T> sum =
        LoadLanes<T>(block.normalSum[0] + k, block.normalSum[1] + k, block.normalSum[2] + k);
    StoreLanes(PressurePush(MeanNormal(sum), T(step.setup->ClothP)), block.push[0] + k, block.push[1] + k,
               block.push[2] + k);
    const Lanes3<T> vel = LoadLanes<T>(block.vel[0] + k, block.vel[1] + k, block.vel[2] + k);
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
      block.normalSum[0][k] = sum.X;
      block.normalSum[1][k] = sum.Y;
      block.normalSum[2][k] = sum.Z;
      block.vel[0][k] = point->Vel.X;
      block.vel[1][k] = point->Vel.Y;
      block.vel[2][k] = point->Vel.Z;
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
inline void PassEuler(const StepContext& step) {
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
inline void PassHeun(const StepContext& step) {
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
inline void PassRK4(const StepContext& step) {
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

// one step: the face normals, then the pass of the method, chosen once
template <class T>
inline void StepLanes(const StepContext& step, int32_t method) {
  // the face normals first: every evaluation of this step sees the normals
  // of the start-of-step positions
  UpdateFaceNormals<T>(step);
  switch (method) {
    case TUMELIN_METHOD_HEUN:
      PassHeun<T>(step);
      break;
    case TUMELIN_METHOD_RK4:
      PassRK4<T>(step);
      break;
    case TUMELIN_METHOD_EULER:
    default:
      // a value outside the methods is stored as read and steps as Euler
      PassEuler<T>(step);
      break;
  }
}

}  // namespace
}  // namespace tumelin

#ifdef TUMELIN_STEP_LANES_AVX
TUMELIN_AVX_END
#endif
