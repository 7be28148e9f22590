#include "ini_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "plugin_loader.h"
#include "profile_reader.h"


namespace tumelin {

namespace {

// the host's own section: room for a long PinPoints list
constexpr size_t kMembraneBufferChars = 65536;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t a = 0, b = text.size();
  while (a < b && (text[a] == ' ' || text[a] == '\t')) ++a;
  while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) --b;
  return text.substr(a, b - a);
}

}  // namespace

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

std::u16string IniFile::Text16(std::u16string_view section, std::u16string_view key, size_t bufferChars) const {
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

namespace {

// value text of `key` in section "Membrane"; empty when the key is missing
std::string MembraneText(const IniFile& ini, std::u16string_view key) {
  return ini.Text(u"Membrane", key, kMembraneBufferChars);
}

std::string MembraneError(const IniFile& ini, std::u16string_view key, const std::string& rule,
                          const std::string& text) {
  return ini.Path() + ": [Membrane] " + Utf16ToUtf8(key) + " must be " + rule + ", not '" + text + "'";
}

bool ReadNumber(const IniFile& ini, std::u16string_view key, double* out, std::string* error) {
  const std::string text = MembraneText(ini, key);
  if (text.empty()) return true;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != 0 || errno == ERANGE || !std::isfinite(value)) {
    *error = MembraneError(ini, key, "a number", text);
    return false;
  }
  *out = value;
  return true;
}

bool ReadWhole(const IniFile& ini, std::u16string_view key, int64_t* out, std::string* error) {
  const std::string text = MembraneText(ini, key);
  if (text.empty()) return true;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != 0 || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
    *error = MembraneError(ini, key, "a whole number", text);
    return false;
  }
  *out = value;
  return true;
}

}  // namespace

// an empty value counts as missing, as the plug-in counts it in [Setup]
bool ReadMembraneSection(const IniFile& ini, MembraneParams* params, ScenarioKeys* keys, std::string* error) {
  const std::string shape = MembraneText(ini, u"Shape");
  if (!shape.empty() && !ParseShape(Lower(shape), &params->shape)) {
    *error = MembraneError(ini, u"Shape", "sphere, torus, sheet or tube", shape);
    return false;
  }
  const std::string pin = MembraneText(ini, u"Pin");
  if (!pin.empty() && !ParsePin(Lower(pin), &params->pin)) {
    *error = MembraneError(ini, u"Pin", "none, pole, poles, ring, ends, border, corners or points", pin);
    return false;
  }
  const std::string winding = MembraneText(ini, u"Winding");
  if (!winding.empty()) {
    const std::string w = Lower(winding);
    if (w != "cw" && w != "ccw") {
      *error = MembraneError(ini, u"Winding", "cw or ccw", winding);
      return false;
    }
    params->clockwise = w == "cw";
  }
  const std::string points = MembraneText(ini, u"PinPoints");
  if (!points.empty()) {
    params->pinPoints.clear();
    std::stringstream list(points);
    std::string item;
    while (std::getline(list, item, ',')) {
      item = Trim(item);
      char* end = nullptr;
      const long value = std::strtol(item.c_str(), &end, 10);
      if (item.empty() || *end != 0 || value < 0 || value > INT32_MAX) {
        *error = MembraneError(ini, u"PinPoints", "a list of point indices", points);
        return false;
      }
      params->pinPoints.push_back(static_cast<int32_t>(value));
    }
  }
  int64_t columns = params->columns, rows = params->rows, pinRing = params->pinRing;
  const bool ok =
      ReadWhole(ini, u"Columns", &columns, error) && ReadWhole(ini, u"Rows", &rows, error) &&
      ReadWhole(ini, u"PinRing", &pinRing, error) && ReadWhole(ini, u"Steps", &keys->steps, error) &&
      ReadWhole(ini, u"Every", &keys->every, error) && ReadNumber(ini, u"Radius", &params->radius, error) &&
      ReadNumber(ini, u"Flatten", &params->flatten, error) &&
      ReadNumber(ini, u"MajorRadius", &params->majorRadius, error) &&
      ReadNumber(ini, u"MinorRadius", &params->minorRadius, error) &&
      ReadNumber(ini, u"Width", &params->width, error) && ReadNumber(ini, u"Depth", &params->depth, error) &&
      ReadNumber(ini, u"Length", &params->length, error);
  params->columns = static_cast<int32_t>(columns);
  params->rows = static_cast<int32_t>(rows);
  params->pinRing = static_cast<int32_t>(pinRing);
  return ok;
}

}  // namespace tumelin
