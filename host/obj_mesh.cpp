#include "obj_mesh.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <vector>

namespace tumelin {

namespace {

// the next blank-separated word of `line` from `*at`; empty at the end
std::string_view NextWord(std::string_view line, std::size_t* at) {
  std::size_t a = *at;
  while (a < line.size() && (line[a] == ' ' || line[a] == '\t')) ++a;
  std::size_t b = a;
  while (b < line.size() && line[b] != ' ' && line[b] != '\t') ++b;
  *at = b;
  return line.substr(a, b - a);
}

// correctly rounded and locale-free, so both builds read the same bits
bool ReadReal(std::string_view word, double* value) {
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *value);
  return ec == std::errc() && end == word.data() + word.size();
}

// a face corner "v", "v/vt", "v//vn" or "v/vt/vn": the vertex number,
// 1-based or negative (counted back from the last vertex read)
bool ReadCorner(std::string_view word, std::size_t vertexCount, int32_t* index) {
  const std::string_view number = word.substr(0, word.find('/'));
  long long value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size() || value == 0) return false;
  const long long resolved = value > 0 ? value - 1 : static_cast<long long>(vertexCount) + value;
  if (resolved < 0 || resolved >= static_cast<long long>(vertexCount)) return false;
  *index = static_cast<int32_t>(resolved);
  return true;
}

}  // namespace

bool ReadObjMesh(const std::string& path, Mesh* mesh, std::string* error) {
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::u8path(path);
  std::ifstream in(file, std::ios::binary);
  if (!std::filesystem::is_regular_file(file, ec) || !in) {
    *error = path + ": mesh file not found or unreadable";
    return false;
  }
  Mesh result;
  std::string text;
  long lineNumber = 0;
  auto fail = [&](const std::string& what) {
    *error = path + ":" + std::to_string(lineNumber) + ": " + what;
    return false;
  };
  while (std::getline(in, text)) {
    ++lineNumber;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::string_view line(text);
    std::size_t at = 0;
    const std::string_view tag = NextWord(line, &at);
    if (tag == "v") {
      double xyz[3];
      for (double& c : xyz) {
        if (!ReadReal(NextWord(line, &at), &c)) return fail("a vertex needs three numbers");
      }
      result.positions.push_back({xyz[0], xyz[1], xyz[2]});
    } else if (tag == "f") {
      std::vector<int32_t> corners;
      for (std::string_view word = NextWord(line, &at); !word.empty(); word = NextWord(line, &at)) {
        int32_t index = 0;
        if (!ReadCorner(word, result.positions.size(), &index)) {
          return fail("face corner '" + std::string(word) + "' names no vertex read so far");
        }
        corners.push_back(index);
      }
      if (corners.size() < 3) return fail("a face needs at least three corners");
      for (std::size_t k = 1; k + 1 < corners.size(); ++k) {
        result.triangles.push_back({corners[0], corners[k], corners[k + 1]});
      }
    }
    // everything else (comments, normals, texture coordinates, groups,
    // materials) does not shape a membrane
  }
  if (result.positions.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    return fail("more vertices than a host array holds");
  }
  if (result.triangles.empty()) return fail("no faces");
  *mesh = std::move(result);
  return true;
}

}  // namespace tumelin
