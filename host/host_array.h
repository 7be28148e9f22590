// Host-owned dynamic arrays: a pointer to the first element with the int32
// element count in the 4 bytes before it, as the plug-in expects them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

namespace tumelin {

template <typename T>
class HostArray {
  static_assert(std::is_trivially_copyable<T>::value, "host arrays hold plain records");

 public:
  HostArray() = default;
  explicit HostArray(int32_t count) { Resize(count); }
  HostArray(HostArray&&) noexcept = default;
  HostArray& operator=(HostArray&&) noexcept = default;
  HostArray(const HostArray&) = delete;
  HostArray& operator=(const HostArray&) = delete;

  // zero-filled storage for `count` elements; count 0 gives the null array
  void Resize(int32_t count) {
    storage_.reset();
    first_ = nullptr;
    count_ = count > 0 ? count : 0;
    if (count_ == 0) return;
    // 8-byte header (a never-read word, then the count) keeps elements 8-aligned
    const std::size_t words = 1 + (sizeof(T) * static_cast<std::size_t>(count_) + 7) / 8;
    storage_.reset(new uint64_t[words]());
    auto* bytes = reinterpret_cast<unsigned char*>(storage_.get());
    std::memcpy(bytes + 4, &count_, sizeof count_);
    first_ = reinterpret_cast<T*>(bytes + 8);
  }

  int32_t Count() const { return count_; }
  // the value of the host variable: first element or null
  T* Data() { return first_; }
  const T* Data() const { return first_; }
  T& operator[](int32_t i) { return first_[i]; }
  const T& operator[](int32_t i) const { return first_[i]; }

 private:
  std::unique_ptr<uint64_t[]> storage_;
  T* first_ = nullptr;
  int32_t count_ = 0;
};

}  // namespace tumelin
