// Deterministic trigonometry for building membranes: + - * / only, so the
// Linux and the 32-bit Windows builds place every point bit for bit alike
// (the C runtimes' sin and cos may differ in the last bit).
#pragma once

#include <cstdint>

namespace tumelin {

struct SinCos {
  double sin;
  double cos;
};

// sine and cosine of the angle 2 pi * num / den (den > 0, any num)
SinCos SinCosTurns(int64_t num, int64_t den);

}  // namespace tumelin
