// Triangle meshes from Wavefront OBJ files, as far as a membrane needs them:
// vertices "v x y z" (a fourth number w, or colours after the position, are
// allowed and unused); faces "f" whose corners are "v", "v/vt", "v//vn" or
// "v/vt/vn", numbered from 1 or counted back from the last vertex read
// (-1); polygons split into fans from their first corner, the file's
// winding kept; groups ("g", several names allowed) and objects ("o"),
// whose names pinning can use; lines continued by a final backslash.
// Numbers are read correctly rounded and without regard to the locale, so
// that every build reads the same bits from the same digits. Normals,
// texture coordinates, materials, smoothing groups, lines and points do not
// shape a membrane and are passed over.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "membrane.h"

namespace tumelin {

// the vertices of the faces that a "g" or "o" line names
struct ObjGroup {
  std::string name;
  std::vector<int32_t> vertices;  // 0-based, ascending, each once
};

struct ObjMesh {
  Mesh mesh;  // vertex i of the file (from 0) is position i
  // per triangle: whether the edge opposite corner k lies on the outline of
  // the file's polygon (false for the diagonals of a fan)
  std::vector<std::array<bool, 3>> outline;
  std::vector<ObjGroup> groups;  // in the order the file first names them
};

// false with one line "file:line: what is wrong" for a file that cannot be
// read or holds something a membrane cannot be built from: a number that is
// not one (or not finite), a corner that names no vertex, a face with fewer
// than three corners or one vertex twice, binary bytes, no face at all
bool ReadObjMesh(const std::string& path, ObjMesh* mesh, std::string* error);
bool ReadObjMesh(const std::string& path, Mesh* mesh, std::string* error);

// the group of that name (exact spelling), or nullptr
const ObjGroup* FindGroup(const ObjMesh& mesh, const std::string& name);

}  // namespace tumelin
