#include "profile_reader.h"

#include <string>

#include "text.h"

namespace tumelin {

namespace {

// the blanks the profile API strips around names and values (and around the
// names it is asked for); other white space, U+00A0 among it, stays
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == 0x1A; }

bool IsLineEnd(char16_t c) { return c == u'\n' || c == u'\r'; }

std::u16string_view Trim(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// names and values are kept as C strings: a NUL ends them (after trimming,
// so "1 <NUL>x" is "1 ")
std::u16string_view CutAtNul(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

std::u16string_view CleanName(std::u16string_view text) { return CutAtNul(Trim(text)); }

// names compare without regard to ASCII letter case only (é and É differ)
bool SameName(std::u16string_view a, std::u16string_view b) { return SameAsciiFolded(a, b); }

// windows-1252 for 0x80-0x9F; the five unassigned bytes map to themselves
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// a BOM picks UTF-16LE, UTF-16BE or UTF-8; without one the text is UTF-8 when
// it is valid UTF-8 and windows-1252 otherwise (Windows reads such files in the
// ANSI code page, 1252 on western systems; for ASCII all of these agree)
std::u16string DecodeText(const std::string& bytes) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  std::u16string text;
  const ByteOrderMark mark = FindByteOrderMark(bytes);
  if (mark == ByteOrderMark::kUtf16Le || mark == ByteOrderMark::kUtf16Be) {
    const bool littleEndian = mark == ByteOrderMark::kUtf16Le;
    // a trailing odd byte is dropped
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      text.push_back(littleEndian ? static_cast<char16_t>(byte(i) | (byte(i + 1) << 8))
                                  : static_cast<char16_t>((byte(i) << 8) | byte(i + 1)));
    }
    return text;
  }
  if (mark == ByteOrderMark::kUtf8) {
    DecodeUtf8(std::string_view(bytes).substr(3), true, &text);
    return text;
  }
  text.reserve(bytes.size());
  if (DecodeUtf8(bytes, false, &text)) return text;
  text.clear();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char b = byte(i);
    text.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
  }
  return text;
}

// the value as the profile API copies it into a buffer of bufferChars: at
// most bufferChars - 1 characters; a value enclosed in a matching pair of
// quotes loses them. the closing quote is dropped by removing the last
// character copied whenever the buffer could hold everything after the
// opening quote, so a quoted value with exactly bufferChars - 1 characters
// between the quotes loses its last character too (observed behaviour, kept)
std::u16string CopyValue(std::u16string_view value, std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  const bool quoted =
      value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0];
  if (quoted) value.remove_prefix(1);
  std::u16string copy(value.substr(0, bufferChars - 1));
  if (quoted && bufferChars >= value.size() && !copy.empty()) copy.pop_back();
  return copy;
}

}  // namespace

namespace {

// one line of a profile file as the profile API sees it
struct ProfileLine {
  bool header = false;        // "[name]": the name runs to the last "]", text after it is ignored
  std::u16string_view name;   // the section's, or the key's
  bool hasValue = false;      // "key=value" splits at the first "="
  std::u16string_view value;  // as written, blanks trimmed
};

// every line that is not blank, in file order; any line that is neither a
// header nor "key=value" (a ";" or "#" comment among them) is a key
// without a value
template <typename Visit>
void ScanProfile(std::u16string_view all, Visit visit) {
  std::size_t lineStart = 0;
  while (lineStart < all.size()) {
    std::size_t lineEnd = lineStart;
    while (lineEnd < all.size() && !IsLineEnd(all[lineEnd])) ++lineEnd;
    const std::u16string_view line = Trim(all.substr(lineStart, lineEnd - lineStart));
    lineStart = lineEnd + 1;
    if (line.empty()) continue;
    ProfileLine parsed;
    const std::size_t close = line.rfind(u']');
    if (line[0] == u'[' && close != std::u16string_view::npos) {
      parsed.header = true;
      parsed.name = CleanName(line.substr(1, close - 1));
    } else {
      const std::size_t equals = line.find(u'=');
      parsed.name = CleanName(line.substr(0, equals));
      parsed.hasValue = equals != std::u16string_view::npos;
      if (parsed.hasValue) parsed.value = CleanName(line.substr(equals + 1));
    }
    if (!visit(parsed)) return;
  }
}

}  // namespace

std::u16string ReadProfileString(const std::u16string& path, std::u16string_view section,
                                 std::u16string_view key, std::size_t bufferChars) {
  std::string bytes;
  if (!ReadFileBytes(path, &bytes)) return {};
  const std::u16string text = DecodeText(bytes);
  const std::u16string_view wantedSection = CleanName(section);
  const std::u16string_view wantedKey = CleanName(key);

  // lines before the first section header form a section without a name;
  // only the first section of a name counts, and in it the first line of the
  // key, so the scan ends when that section does
  bool inSection = wantedSection.empty();
  std::u16string found;
  ScanProfile(text, [&](const ProfileLine& line) {
    if (line.header) {
      if (inSection) return false;
      inSection = SameName(line.name, wantedSection);
      return true;
    }
    if (!inSection || !SameName(line.name, wantedKey)) return true;
    if (line.hasValue) found = CopyValue(line.value, bufferChars);
    return false;
  });
  return found;
}

std::vector<std::u16string> ReadProfileKeyNames(const std::u16string& path, std::u16string_view section) {
  std::string bytes;
  if (!ReadFileBytes(path, &bytes)) return {};
  const std::u16string text = DecodeText(bytes);
  const std::u16string_view wantedSection = CleanName(section);
  bool inSection = wantedSection.empty();
  std::vector<std::u16string> names;
  ScanProfile(text, [&](const ProfileLine& line) {
    if (line.header) {
      if (inSection) return false;
      inSection = SameName(line.name, wantedSection);
    } else if (inSection && line.hasValue && (line.name.empty() || line.name[0] != u';')) {
      // listed are "key=value" lines; ";" starts a comment here
      names.emplace_back(line.name);
    }
    return true;
  });
  return names;
}

std::vector<std::u16string> ReadProfileSectionNames(const std::u16string& path) {
  std::string bytes;
  if (!ReadFileBytes(path, &bytes)) return {};
  std::vector<std::u16string> names;
  ScanProfile(DecodeText(bytes), [&](const ProfileLine& line) {
    // "[]" opens a section, but the list has no empty name
    if (line.header && !line.name.empty()) names.emplace_back(line.name);
    return true;
  });
  return names;
}

}  // namespace tumelin
