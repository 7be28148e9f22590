#include "obj_mesh.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <system_error>

#include "text.h"
#include "user_text.h"

namespace tumelin {

namespace {

constexpr int64_t kMaxVertices = std::numeric_limits<int32_t>::max();

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// the blank-separated words of a line
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t a = 0;
  while (a < line.size()) {
    while (a < line.size() && IsBlank(line[a])) ++a;
    std::size_t b = a;
    while (b < line.size() && !IsBlank(line[b])) ++b;
    if (b > a) words.push_back(line.substr(a, b - a));
    a = b;
  }
  return words;
}

bool ReadIndex(std::string_view text, long long* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

// a face corner "v", "v/vt", "v//vn" or "v/vt/vn": the vertex, 0-based, from
// a number counted from 1 or back from the last vertex read (-1). Empty on
// success, else what is wrong
std::string ReadCorner(std::string_view word, std::size_t vertexCount, int32_t* index) {
  std::string_view parts[3];
  std::size_t count = 0;
  for (std::size_t from = 0;; ++count) {
    const std::size_t slash = word.find('/', from);
    if (count == 3) return "face corner '" + std::string(word) + "' has more than three parts";
    parts[count] = word.substr(from, slash == std::string_view::npos ? std::string_view::npos : slash - from);
    if (slash == std::string_view::npos) break;
    from = slash + 1;
  }
  long long value = 0;
  // the texture and normal numbers are not used, but must be numbers
  for (std::size_t k = 1; k <= count && k < 3; ++k) {
    const bool mayBeEmpty = k == 1 && count == 2;  // "v//vn"
    if ((parts[k].empty() && !mayBeEmpty) || (!parts[k].empty() && !ReadIndex(parts[k], &value))) {
      return "face corner '" + std::string(word) + "' is not v, v/vt, v//vn or v/vt/vn";
    }
  }
  if (!ReadIndex(parts[0], &value) || value == 0) {
    return "face corner '" + std::string(word) + "' does not start with a vertex number";
  }
  const long long resolved = value > 0 ? value - 1 : static_cast<long long>(vertexCount) + value;
  if (resolved < 0 || resolved >= static_cast<long long>(vertexCount)) {
    return "face corner '" + std::string(word) + "' names vertex " + std::to_string(value) + ", but " +
           Count(static_cast<long long>(vertexCount), "vertex is", "vertices are") + " read so far";
  }
  *index = static_cast<int32_t>(resolved);
  return std::string();
}

// what a reader is in the middle of
struct Reader {
  ObjMesh result;
  std::vector<std::set<int32_t>> groupVertices;  // per entry of result.groups
  std::vector<std::size_t> current;              // groups the faces go to now
  std::size_t object = SIZE_MAX;                 // the "o" group among them

  std::size_t Group(const std::string& name) {
    for (std::size_t i = 0; i < result.groups.size(); ++i) {
      if (result.groups[i].name == name) return i;
    }
    result.groups.push_back({name, {}});
    groupVertices.emplace_back();
    return result.groups.size() - 1;
  }

  // the statements that shape a membrane; empty on success, else what is wrong
  std::string Statement(const std::vector<std::string_view>& words) {
    const std::string_view tag = words[0];
    if (tag == "v") {
      if (words.size() < 4) return "a vertex needs three numbers";
      double xyz[3];
      for (std::size_t k = 1; k < words.size(); ++k) {
        double value = 0.0;
        std::string problem;
        if (!ReadReal("a vertex coordinate", words[k], &value, &problem)) return problem;
        if (k <= 3) xyz[k - 1] = value;
      }
      if (static_cast<int64_t>(result.mesh.positions.size()) == kMaxVertices) {
        return "more vertices than a host array holds";
      }
      result.mesh.positions.push_back({xyz[0], xyz[1], xyz[2]});
    } else if (tag == "f") {
      std::vector<int32_t> corners;
      for (std::size_t k = 1; k < words.size(); ++k) {
        int32_t index = 0;
        const std::string problem = ReadCorner(words[k], result.mesh.positions.size(), &index);
        if (!problem.empty()) return problem;
        if (std::find(corners.begin(), corners.end(), index) != corners.end()) {
          return "face names vertex " + std::to_string(index + 1) + " twice";
        }
        corners.push_back(index);
      }
      if (corners.size() < 3) return "a face needs at least three corners";
      // a fan from the first corner; the edge opposite corner k of triangle
      // (c0, ck, ck+1) is an outline edge except for the fan's diagonals
      for (std::size_t k = 1; k + 1 < corners.size(); ++k) {
        result.mesh.triangles.push_back({corners[0], corners[k], corners[k + 1]});
        result.outline.push_back({true, k + 2 == corners.size(), k == 1});
      }
      for (const std::size_t g : current) groupVertices[g].insert(corners.begin(), corners.end());
    } else if (tag == "g") {
      current.clear();
      for (std::size_t k = 1; k < words.size(); ++k) current.push_back(Group(std::string(words[k])));
      if (object != SIZE_MAX) current.push_back(object);
    } else if (tag == "o") {
      if (words.size() < 2) return "an object needs a name";
      object = Group(std::string(words[1]));
      current = {object};
    }
    return std::string();
  }
};

}  // namespace

bool ReadObjMesh(const std::string& path, ObjMesh* mesh, std::string* error) {
  std::string bytes;
  if (!ReadFileBytes(path, &bytes)) {
    *error = path + ": mesh file not found or unreadable";
    return false;
  }
  Reader reader;
  long lineNumber = 0;  // of the first line of the statement being read
  long physical = 0;
  auto fail = [&](const std::string& what) {
    *error = path + ":" + std::to_string(lineNumber) + ": " + what;
    return false;
  };
  std::string statement;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    std::string_view line(bytes.data() + at, end - at);
    at = end + 1;
    ++physical;
    if (statement.empty()) lineNumber = physical;
    if (line.find('\0') != std::string_view::npos) return fail("binary bytes: not an OBJ text file");
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = line.substr(0, line.find('#'));
    // a backslash at the end joins the next line
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    if (!line.empty() && line.back() == '\\') {
      statement.append(line.substr(0, line.size() - 1)).push_back(' ');
      if (at < bytes.size()) continue;
    } else {
      statement.append(line);
    }
    const std::vector<std::string_view> words = Words(statement);
    if (!words.empty()) {
      const std::string problem = reader.Statement(words);
      if (!problem.empty()) return fail(problem);
    }
    statement.clear();
  }
  lineNumber = physical;
  if (reader.result.mesh.triangles.empty()) return fail("no faces");
  for (std::size_t g = 0; g < reader.result.groups.size(); ++g) {
    reader.result.groups[g].vertices.assign(reader.groupVertices[g].begin(), reader.groupVertices[g].end());
  }
  *mesh = std::move(reader.result);
  return true;
}

bool ReadObjMesh(const std::string& path, Mesh* mesh, std::string* error) {
  ObjMesh full;
  if (!ReadObjMesh(path, &full, error)) return false;
  *mesh = std::move(full.mesh);
  return true;
}

const ObjGroup* FindGroup(const ObjMesh& mesh, const std::string& name) {
  for (const ObjGroup& group : mesh.groups) {
    if (group.name == name) return &group;
  }
  return nullptr;
}

}  // namespace tumelin
