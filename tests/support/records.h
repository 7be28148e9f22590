// The host records as bytes and bits, for tests that compare them before and
// after a call or make them disagree with themselves.
#pragma once

#include <gtest/gtest.h>
#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "host_array.h"

namespace tumelin {

// the bits of a double, for exact comparison and printing
inline uint64_t Bits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// whether a settings record holds exactly `want`, bit for bit (the record
// has no padding); a mismatch lists every field read
inline ::testing::AssertionResult SameSetup(const TClothSetup& got, const TClothSetup& want) {
  if (std::memcmp(&got, &want, sizeof got) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "read P " << got.ClothP << " K0 " << got.ClothK0 << " K1 " << got.ClothK1 << " C " << got.ClothC
         << " T0 " << got.ClothT0 << " Method " << got.ClothMethod;
}

// the header word and every element the buffer holds, padding included (empty
// for the null array)
template <typename T>
std::vector<unsigned char> RecordBytes(const HostArray<T>& array) {
  if (array.Data() == nullptr) return {};
  const auto* block = reinterpret_cast<const unsigned char*>(array.Data()) - TUMELIN_ARRAY_HEADER_BYTES;
  return {block, block + TUMELIN_ARRAY_HEADER_BYTES + sizeof(T) * static_cast<std::size_t>(array.Count())};
}

// makes the header disagree with the buffer (fewer elements, or negative)
template <typename T>
void SetCountHeader(HostArray<T>& array, int32_t count) {
  if (array.Data() != nullptr) TumelinArraySetCount(array.Data(), count);
}

// the cell (u, v) that byte `at` of a surface grid record lies in; `at` lies
// at or past TUMELIN_GRID_POINTS_OFFSET
inline std::pair<std::size_t, std::size_t> GridCellOf(std::size_t at) {
  const std::size_t offset = at - TUMELIN_GRID_POINTS_OFFSET;
  return {offset / TUMELIN_GRID_COLUMN_BYTES, offset % TUMELIN_GRID_COLUMN_BYTES / sizeof(TDbl3D)};
}

}  // namespace tumelin
