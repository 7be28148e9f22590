// Owning buffers laid out like the host's dynamic arrays: the variable holds
// a pointer to the first element, the int32 element count sits in the 4 bytes
// just before it, and the empty array is a null pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <vector>

namespace tumelin {

template <typename T>
class HostArray {
  static_assert(std::is_trivially_copyable_v<T>, "host arrays hold plain records");
  static_assert(alignof(T) <= sizeof(std::uint64_t), "elements start at an 8-byte boundary");

 public:
  // the empty array: data() is null
  HostArray() = default;
  HostArray(std::initializer_list<T> elements) : HostArray(std::vector<T>(elements)) {}
  explicit HostArray(const std::vector<T>& elements) {
    if (elements.empty()) return;
    capacity_ = elements.size();
    // word 0 is the header (count in its upper 4 bytes), the elements follow
    words_.assign(1 + (capacity_ * sizeof(T) + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    unsigned char* first = reinterpret_cast<unsigned char*>(words_.data() + 1);
    for (std::size_t i = 0; i < capacity_; ++i) new (first + i * sizeof(T)) T(elements[i]);
    SetCountHeader(static_cast<int32_t>(capacity_));
  }

  // what a host variable or field holds: the first element, or null
  T* data() { return words_.empty() ? nullptr : reinterpret_cast<T*>(words_.data() + 1); }
  const T* data() const { return words_.empty() ? nullptr : reinterpret_cast<const T*>(words_.data() + 1); }

  // elements the buffer really holds; the header may claim another number
  std::size_t capacity() const { return capacity_; }
  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }

  // the int32 before the first element (0 for the null array)
  int32_t CountHeader() const {
    int32_t count = 0;
    if (!words_.empty()) std::memcpy(&count, HeaderBytes(), sizeof count);
    return count;
  }
  // lets a test make the header disagree with the buffer (fewer, or negative)
  void SetCountHeader(int32_t count) {
    if (!words_.empty()) std::memcpy(HeaderBytes(), &count, sizeof count);
  }

 private:
  unsigned char* HeaderBytes() {
    return reinterpret_cast<unsigned char*>(words_.data() + 1) - sizeof(int32_t);
  }
  const unsigned char* HeaderBytes() const {
    return reinterpret_cast<const unsigned char*>(words_.data() + 1) - sizeof(int32_t);
  }

  std::vector<std::uint64_t> words_;
  std::size_t capacity_ = 0;
};

}  // namespace tumelin
