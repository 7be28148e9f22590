// The fixed numbers of the membrane model. None of them is a setting; the
// stand-in host reads them from here to compute its figures and warnings.
#pragma once

namespace tumelin {

// step length of every integrator, in model time units (a name of the
// plug-in's contract, kept as it is)
inline constexpr double TimeStep = 0.005;
// mass of every point; the summed force is divided by it
inline constexpr double kPointMass = 0.001;
// subtracted from the z component of the acceleration
inline constexpr double kGravity = 0.4;
// largest magnitude the acceleration keeps before damping is applied
inline constexpr double kAccelerationLimit = 0.48;
// the pressure force is kPressureScale * ClothP along the mean face normal
inline constexpr double kPressureScale = -0.008;

}  // namespace tumelin
