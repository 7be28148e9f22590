#include "text.h"

#include <cstdio>

#ifdef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tumelin {

namespace {

void AppendCodePoint(char32_t c, std::u16string* out) {
  if (c < 0x10000) {
    out->push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// the file at `path` (native: UTF-16 on Windows, bytes elsewhere), open for
// reading when it is a regular file; null otherwise
#ifdef _WIN32
FILE* OpenRegularFile(const std::u16string& path) {
  const std::wstring widePath(path.begin(), path.end());
  FILE* file = _wfopen(widePath.c_str(), L"rb");
  if (file == nullptr) return nullptr;
  struct _stat64 status;
  if (_fstat64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}
#else
FILE* OpenRegularFile(const std::string& path) {
  // without O_NONBLOCK, opening a FIFO waits for a writer
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return nullptr;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return nullptr;
  }
  FILE* file = fdopen(descriptor, "rb");
  if (file == nullptr) close(descriptor);
  return file;
}
#endif

// the rest of `file`, which is closed; false for no file
bool ReadAndClose(FILE* file, std::string* bytes) {
  if (file == nullptr) return false;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->append(chunk, got);
  std::fclose(file);
  return true;
}

}  // namespace

bool NextUtf8(std::string_view bytes, std::size_t* i, char32_t* c) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char b0 = byte(*i);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (b0 < 0x80) {
    *c = b0;
    ++*i;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2, value = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, value = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, value = b0 & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (*i + length > bytes.size()) return false;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(*i + k) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *c = value;
  *i += length;
  return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool DecodeUtf8(std::string_view bytes, bool replaceMalformed, std::u16string* out) {
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c;
    if (!NextUtf8(bytes, &i, &c)) {
      if (!replaceMalformed) return false;
      c = 0xFFFD;
      ++i;
    }
    AppendCodePoint(c, out);
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  DecodeUtf8(text, true, &out);
  return out;
}

ByteOrderMark FindByteOrderMark(std::string_view bytes) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) return ByteOrderMark::kUtf16Le;
  if (bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) return ByteOrderMark::kUtf16Be;
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) return ByteOrderMark::kUtf8;
  return ByteOrderMark::kNone;
}

#ifdef _WIN32
bool ReadFileBytes(const std::u16string& path, std::string* bytes) {
  return ReadAndClose(OpenRegularFile(path), bytes);
}
bool ReadFileBytes(const std::string& path, std::string* bytes) {
  return ReadAndClose(OpenRegularFile(Utf8ToUtf16(path)), bytes);
}
#else
bool ReadFileBytes(const std::u16string& path, std::string* bytes) {
  return ReadAndClose(OpenRegularFile(Utf16ToUtf8(path)), bytes);
}
bool ReadFileBytes(const std::string& path, std::string* bytes) {
  return ReadAndClose(OpenRegularFile(path), bytes);
}
#endif

}  // namespace tumelin
