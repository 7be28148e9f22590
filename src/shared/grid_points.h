// How many points a surface grid reads: the write-back checks the point
// array against it, and the host builds its membranes to it.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>

namespace tumelin {

// how many points (0 .. N - 1) grid mode 0 to 3 reads with counts within the
// write-back's limits, in 64 bits so that no count can wrap into a small
// number; the host's membranes are built to this count
inline int64_t PointsRead(uint8_t mode, int32_t countU, int32_t countV) {
  const int64_t u = countU;
  const int64_t v = countV;
  switch (mode) {
    case TUMELIN_MODE_SPHERE:
      return v == 1 ? 1 : (v - 2) * (u - 1) + 2;
    case TUMELIN_MODE_TORUS:
      return (u - 1) * (v - 1);
    case TUMELIN_MODE_SHEET:
      return u * v;
    default:
      return (u - 1) * v;
  }
}

}  // namespace tumelin
