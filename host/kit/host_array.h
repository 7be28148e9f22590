// Host-owned dynamic arrays, laid out as the plug-in expects them: the host
// variable holds a pointer to the first element, the int32 element count
// sits in the 4 bytes just before it, and the empty array is a null pointer.
// The layout is the public header's: the storage comes from
// TumelinArrayAlloc() and the count is read and written by its helpers.
#pragma once

#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

namespace tumelin {

template <typename T>
class HostArray {
  static_assert(std::is_trivially_copyable_v<T>, "host arrays hold plain records");
  static_assert(alignof(T) <= TUMELIN_ARRAY_HEADER_BYTES, "elements start at an 8-byte boundary");

 public:
  // the empty array: Data() is null
  HostArray() = default;
  // `count` zero-filled elements
  explicit HostArray(int32_t count) { Resize(count); }
  explicit HostArray(const std::vector<T>& elements) {
    Resize(static_cast<int32_t>(elements.size()));
    if (count_ > 0) std::memcpy(static_cast<void*>(Data()), elements.data(), elements.size() * sizeof(T));
  }
  HostArray(std::initializer_list<T> elements) : HostArray(std::vector<T>(elements)) {}
  HostArray(HostArray&&) noexcept = default;
  HostArray& operator=(HostArray&&) noexcept = default;
  HostArray(const HostArray&) = delete;
  HostArray& operator=(const HostArray&) = delete;

  // zero-filled storage for `count` elements; 0 or less gives the null array
  void Resize(int32_t count) {
    count_ = count > 0 ? count : 0;
    first_.reset();
    if (count_ == 0) return;
    first_.reset(static_cast<T*>(TumelinArrayAlloc(count_, sizeof(T))));
    if (!first_) throw std::bad_alloc();
  }

  // elements the buffer holds; the header may be made to claim another number
  int32_t Count() const { return count_; }
  // the value of the host variable or field: the first element, or null
  T* Data() { return first_.get(); }
  const T* Data() const { return first_.get(); }
  T& operator[](std::size_t i) { return Data()[i]; }
  const T& operator[](std::size_t i) const { return Data()[i]; }

 private:
  struct Free {
    void operator()(T* first) const { TumelinArrayFree(first); }
  };

  std::unique_ptr<T, Free> first_;
  int32_t count_ = 0;
};

}  // namespace tumelin
