// Host-owned dynamic arrays, laid out as the plug-in expects them: the host
// variable holds a pointer to the first element, the int32 element count
// sits in the 4 bytes just before it, and the empty array is a null pointer.
// Elements start at an 8-byte boundary (the header is one 8-byte word whose
// upper half holds the count), so every double in a record is aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

namespace tumelin {

template <typename T>
class HostArray {
  static_assert(std::is_trivially_copyable_v<T>, "host arrays hold plain records");
  static_assert(alignof(T) <= sizeof(std::uint64_t), "elements start at an 8-byte boundary");

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
    words_.reset();
    if (count_ == 0) return;
    const std::size_t words = 1 + (sizeof(T) * static_cast<std::size_t>(count_) + 7) / 8;
    words_.reset(new std::uint64_t[words]());
    SetCountHeader(count_);
  }

  // elements the buffer holds; the header may be made to claim another number
  int32_t Count() const { return count_; }
  // the value of the host variable or field: the first element, or null
  T* Data() { return words_ ? reinterpret_cast<T*>(words_.get() + 1) : nullptr; }
  const T* Data() const { return words_ ? reinterpret_cast<const T*>(words_.get() + 1) : nullptr; }
  T& operator[](std::size_t i) { return Data()[i]; }
  const T& operator[](std::size_t i) const { return Data()[i]; }

  // the int32 before the first element (0 for the null array)
  int32_t CountHeader() const {
    int32_t count = 0;
    if (words_) std::memcpy(&count, HeaderBytes(), sizeof count);
    return count;
  }
  // the header word and every element the buffer holds, padding included, as
  // bytes (empty for the null array): what a test compares before and after
  std::vector<unsigned char> RecordBytes() const {
    if (!words_) return {};
    const auto* first = reinterpret_cast<const unsigned char*>(words_.get());
    return {first, first + sizeof(std::uint64_t) + sizeof(T) * static_cast<std::size_t>(count_)};
  }
  // lets a test make the header disagree with the buffer (fewer, or negative)
  void SetCountHeader(int32_t count) {
    if (words_) std::memcpy(HeaderBytes(), &count, sizeof count);
  }

 private:
  unsigned char* HeaderBytes() const {
    return reinterpret_cast<unsigned char*>(words_.get() + 1) - sizeof(int32_t);
  }

  std::unique_ptr<std::uint64_t[]> words_;
  int32_t count_ = 0;
};

}  // namespace tumelin
