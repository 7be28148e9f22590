// The fixed numbers of the membrane model. None of them is a setting; the
// stand-in host reads them from here to compute its figures and warnings.
#pragma once

namespace tumelin {

// step length of every integrator, in model time units
inline constexpr double TimeStep = 0.005;
// mass of every point; the summed force is divided by it
inline constexpr double PointMass = 0.001;
// subtracted from the z component of the acceleration
inline constexpr double Gravity = 0.4;
// largest magnitude the acceleration keeps before damping is applied
inline constexpr double AccelerationLimit = 0.48;
// the pressure force is PressureScale * ClothP along the mean face normal
inline constexpr double PressureScale = -0.008;

}  // namespace tumelin
