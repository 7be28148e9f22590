// Triangle meshes from Wavefront OBJ files: vertices ("v") and faces ("f"),
// polygons split into fans from their first corner, the file's winding kept.
#pragma once

#include <string>

#include "membrane.h"

namespace tumelin {

// false with one line "file:line: what is wrong" for a file that cannot be
// read or holds something a membrane cannot be built from
bool ReadObjMesh(const std::string& path, Mesh* mesh, std::string* error);

}  // namespace tumelin
