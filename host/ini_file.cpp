#include "ini_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "plugin_loader.h"
#include "profile_reader.h"

namespace tumelin {

bool IniFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  profilePath_ = PathForPlugin(path);
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::u8path(path);
  if (!std::filesystem::is_regular_file(file, ec) || !std::ifstream(file, std::ios::binary)) {
    *error = "INI file not found or unreadable: " + path;
    return false;
  }
  return true;
}

std::string IniFile::Text(std::u16string_view section, std::u16string_view key, size_t bufferChars) const {
  return Utf16ToUtf8(Text16(section, key, bufferChars));
}

std::u16string IniFile::Text16(std::u16string_view section, std::u16string_view key,
                               size_t bufferChars) const {
  return ReadProfileString(profilePath_, section, key, bufferChars);
}

std::string FormatDouble(double value) {
  char buffer[40];
  // whole numbers as integers, not 5e+02
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

}  // namespace tumelin
