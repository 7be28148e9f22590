// Text and file helpers the plug-in and the stand-in host share: ASCII case
// folding, UTF-8 and UTF-16 conversion, byte-order marks, and reading a
// whole file. The profile reader and the number rules build on them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tumelin {

// A to Z as a to z; every other character as it is (é stays é)
template <typename Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

// equal but for the letter case of A to Z
template <typename Char>
bool SameAsciiFolded(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// one UTF-8 sequence at bytes[*i], its code point in *c and *i past it;
// false (and *i unchanged) when malformed, overlong, a surrogate or beyond
// U+10FFFF
bool NextUtf8(std::string_view bytes, std::size_t* i, char32_t* c);

// UTF-8 bytes appended to *out as UTF-16; a malformed sequence becomes
// U+FFFD when `replaceMalformed`, else ends the decoding with false
bool DecodeUtf8(std::string_view bytes, bool replaceMalformed, std::u16string* out);

// UTF-16 text as UTF-8; a surrogate without its partner becomes the three
// bytes of its own code (so paths that hold one still name their file)
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 text as UTF-16; a malformed sequence becomes U+FFFD
std::u16string Utf8ToUtf16(std::string_view text);

// the byte-order mark a text starts with
enum class ByteOrderMark { kNone, kUtf8, kUtf16Le, kUtf16Be };
ByteOrderMark FindByteOrderMark(std::string_view bytes);

// The whole file, opened for reading only and shared; false when it cannot
// be opened or is no regular file. A FIFO, a device or a folder reads as a
// missing file: reading one to its end could wait forever or never end.
bool ReadFileBytes(const std::u16string& path, std::string* bytes);
// the same for a path in UTF-8
bool ReadFileBytes(const std::string& path, std::string* bytes);

}  // namespace tumelin
