// What the stand-in host's tests share: INI files as the host opens them,
// the hand-written meshes, and surfaces drawn from a membrane's grid. It
// includes the headers those tests use, so that each test file names only
// the module it tests.
#pragma once

#include <gtest/gtest.h>
#include <tumelin/tumelin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "bits.h"
#include "child_process.h"
#include "cloth_types.h"
#include "dbl3d.h"
#include "file_set.h"
#include "formats.h"
#include "ini_file.h"
#include "loaded_plugin.h"
#include "membrane.h"
#include "membranes.h"
#include "mesh_check.h"
#include "obj_mesh.h"
#include "plugin_loader.h"
#include "profile_reader.h"
#include "records.h"
#include "render.h"
#include "run_outputs.h"
#include "scenario.h"
#include "settings.h"
#include "setup_rules.h"
#include "simulation.h"
#include "temp_file.h"
#include "text.h"

namespace tumelin {

using temp_file::TempFile;

// the file as the host opens it
inline IniFile OpenIni(const TempFile& file) {
  IniFile ini;
  std::string error;
  EXPECT_TRUE(ini.Open(file.Utf8(), &error)) << error;
  return ini;
}

// section "Membrane" read over the default parameters
inline MembraneParams ReadMembrane(const IniFile& ini) {
  Scenario scenario;
  std::string error;
  EXPECT_TRUE(ReadMembraneSection(ini, &scenario, &error)) << error;
  return scenario.params;
}

// UTF-8 text as the bytes of a UTF-16 file with its byte order mark, in this
// machine's byte order (little-endian on every x86 target)
inline std::string Utf16Bytes(std::string_view utf8) {
  const std::u16string text = u"\uFEFF" + Utf8ToUtf16(utf8);
  return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

// the hand-written test meshes: a cube of six quads and an icosahedron, both
// counter-clockwise seen from outside as OBJ files usually are
inline const std::string kCube = TUMELIN_TEST_DATA "/mesh/cube_quads.obj";
inline const std::string kIcosahedron = TUMELIN_EXAMPLES "/icosahedron.obj";

inline ObjMesh ReadMesh(const std::string& path) {
  ObjMesh mesh;
  std::string error;
  EXPECT_TRUE(ReadObjMesh(path, &mesh, &error)) << error;
  return mesh;
}

// the membrane's grid record as the plug-in's write-back fills it
inline std::vector<uint64_t> FilledGrid(const Membrane& m) {
  std::vector<uint64_t> record = GridRecord(m);
  TClothPointArray points = m.pointsVar;
  WriteSurfaceGrid(reinterpret_cast<TSurfaceGrid*>(record.data()), &points);
  return record;
}

// the membrane's surface as the renderer draws it, optionally scaled about
// `center` first
inline Image RenderScaled(const Membrane& m, const RenderOptions& options, double factor, TDbl3D center,
                          int w = 120, int h = 90) {
  auto storage = FilledGrid(m);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(storage.data());
  for (int32_t u = 0; u < m.columns; ++u) {
    for (int32_t v = 0; v < m.rows; ++v) {
      TDbl3D* cell = TumelinGridCell(grid, u, v);
      *cell = center + (*cell - center) * factor;
    }
  }
  return RenderSurface(grid, m.shape, w, h, options);
}

// a picture of one grey value
inline Image Blank(int w, int h, uint8_t value) {
  Image image;
  image.width = w, image.height = h;
  image.rgb.assign(static_cast<size_t>(w) * h * 3, value);
  return image;
}

}  // namespace tumelin
