// Bit-exact comparison and hashing of host records: results of the two
// builds are compared bit for bit, never within a tolerance.
#pragma once

#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "membrane.h"

namespace tumelin {

// bitwise equality of vectors and records without padding: -0.0 differs
// from 0.0, equal NaNs match
template <typename T>
bool SameBits(const T& a, const T& b) {
  static_assert(std::is_trivially_copyable_v<T>, "compares plain records");
  return std::memcmp(&a, &b, sizeof a) == 0;
}

inline constexpr uint64_t kFnvOffset = 14695981039346656037ull;

// FNV-1a, 64 bit, continuing from `hash`
inline uint64_t Fnv1a64(const void* data, std::size_t size, uint64_t hash = kFnvOffset) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

// the state hash, as docs/host-integration.md defines it ("The state hash")
inline uint64_t StateHash(const Membrane& m) {
  uint64_t hash = kFnvOffset;
  for (int32_t i = 0; i < m.points.Count(); ++i) {
    hash = Fnv1a64(&m.points[i].Pos, sizeof(TDbl3D), hash);
    hash = Fnv1a64(&m.points[i].Vel, sizeof(TDbl3D), hash);
  }
  return hash;
}

}  // namespace tumelin
