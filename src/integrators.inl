// The integrators' formulas for one point: from the accelerations a pass
// evaluated at the trial positions of stage_providers.h, the point's NewVel
// and NewPos, with h = TimeStep. Each groups its sums exactly as the
// contract writes them, which fixes the result bits.
//
// Every stage moves only the point's own trial position: the neighbours' Pos,
// the face normals and the Vel of the damping term stay those of the start of
// the step. So the damping is explicit Euler in all three methods, and once
// the neighbours move, RK4 and Heun are both second order (see dynamics.h).
// RK4 keeps its stages in blocks of five vectors of its own: s the position
// side (s[0] the start position), v the velocity side (v[0] the start
// velocity); the stage providers read s.
// Not a header: step_lanes.inl includes it inside its instruction-set region.

namespace tumelin {
namespace {

// semi-implicit Euler: v' = h a + v, then the position moves with the new
// velocity, x' = h v' + x
inline void EulerFinish(TClothPoint* point, TDbl3D a, TDbl3D pos, TDbl3D vel) {
  const TDbl3D newVel = VecAdd(VecScale(a, TimeStep), vel);
  point->NewVel = newVel;
  point->NewPos = VecAdd(VecScale(newVel, TimeStep), pos);
}

// Heun's predictor-corrector: the mean of the rates at both ends of the step,
// ((r1 + r2) h) / 2 + start. For the velocity the rates are a1 at pos and a2
// at the predicted pos + h vel; for the position they are vel and the
// predicted velocity vel + h a1.
inline void HeunFinish(TClothPoint* point, TDbl3D a1, TDbl3D a2) {
  const TDbl3D pos = point->Pos, vel = point->Vel;
  const TDbl3D predicted = VecAdd(VecScale(a1, TimeStep), vel);
  point->NewVel = VecAdd(VecDivide(VecScale(VecAdd(a1, a2), TimeStep), 2.0), vel);
  point->NewPos = VecAdd(VecDivide(VecScale(VecAdd(vel, predicted), TimeStep), 2.0), pos);
}

// classical RK4 for x'' = a(x) as the pair (x, v): k1x = h vel, and the
// stage's trial positions pos + k1x / 2, pos + k2x / 2, pos + k3x follow
inline void Rk4Begin(TDbl3D* s, TDbl3D* v, TDbl3D pos, TDbl3D vel) {
  s[0] = pos;
  v[0] = vel;
  s[1] = VecScale(v[0], TimeStep);
}

// kNv = h aN, and the position term that follows from it: the velocity at
// the next stage's trial times h, k2x = (k1v / 2 + vel) h,
// k3x = (k2v / 2 + vel) h, k4x = (vel + k3v) h
inline void Rk4Record(TDbl3D* s, TDbl3D* v, int stage, TDbl3D a) {
  v[stage] = VecScale(a, TimeStep);
  if (stage < 3) s[stage + 1] = VecScale(VecAdd(VecDivide(v[stage], 2.0), v[0]), TimeStep);
  if (stage == 3) s[4] = VecScale(VecAdd(v[0], v[3]), TimeStep);
}

// Simpson's weights over the stages: ((k2 + k3) 2 + k1 + k4) / 6 + start
inline void Rk4Finish(const TDbl3D* s, const TDbl3D* v, TClothPoint* point) {
  point->NewVel = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(v[2], v[3]), 2.0), v[1]), v[4]), 6.0), v[0]);
  point->NewPos = VecAdd(VecDivide(VecAdd(VecAdd(VecScale(VecAdd(s[2], s[3]), 2.0), s[1]), s[4]), 6.0), s[0]);
}

}  // namespace
}  // namespace tumelin
