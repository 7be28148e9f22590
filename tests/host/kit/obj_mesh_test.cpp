// The OBJ reader: every corner form, correctly rounded numbers, and one
// line for each broken file.
#include "obj_mesh.h"

#include "host_fixtures.h"

using namespace tumelin;

// every corner style, a face counted back from the end, a continued line and
// the groups give the cube its six faces, each split into two triangles
TEST(ObjMesh, ReadsEveryCornerFormGroupsAndContinuedLines) {
  const ObjMesh cube = ReadMesh(kCube);
  ASSERT_EQ(cube.mesh.positions.size(), 8u);
  ASSERT_EQ(cube.mesh.triangles.size(), 12u);
  // f -6 -5 -1 -2 after eight vertices is the back quad 3 4 8 7
  EXPECT_EQ(cube.mesh.triangles[6], (std::array<int32_t, 3>{2, 3, 7}));
  EXPECT_EQ(cube.mesh.triangles[7], (std::array<int32_t, 3>{2, 7, 6}));
  // the fan's diagonal 2-7 is no outline edge; the quad's four sides are
  EXPECT_EQ(cube.outline[6], (std::array<bool, 3>{true, false, true}));
  EXPECT_EQ(cube.outline[7], (std::array<bool, 3>{true, true, false}));
  // "v -1 1 1 1.0": the fourth number is w, not a coordinate
  EXPECT_TRUE(SameBits(cube.mesh.positions[7], TDbl3D{-1.0, 1.0, 1.0}));
  const ObjGroup* top = FindGroup(cube, "top");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->vertices, (std::vector<int32_t>{4, 5, 6, 7}));
  const ObjGroup* object = FindGroup(cube, "cube");
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->vertices.size(), 8u);
  EXPECT_EQ(FindGroup(cube, "Top"), nullptr);
}

// the decimal text of a vertex gives the nearest double on every build:
// halfway cases, the largest and smallest doubles, long mantissas
TEST(ObjMesh, ReadsTheCorrectlyRoundedDouble) {
  struct Case {
    const char* text;
    uint64_t bits;
  };
  const Case cases[] = {
      {"0.1", 0x3FB999999999999Aull},
      {"0.3", 0x3FD3333333333333ull},
      {"0.30000000000000004", 0x3FD3333333333334ull},
      {"8.589973e9", 0x42000004B0400000ull},
      {"1.7976931348623157e308", 0x7FEFFFFFFFFFFFFFull},
      {"2.2250738585072014e-308", 0x0010000000000000ull},
      {"4.9e-324", 0x0000000000000001ull},
      {"9007199254740993", 0x4340000000000000ull},  // halfway, to even
      {"9007199254740995", 0x4340000000000002ull},
      {"1.00000000000000011102230246251565404236316680908203125", 0x3FF0000000000000ull},
      {"1.00000000000000011102230246251565404236316680908203126", 0x3FF0000000000001ull},
      {"-0.0", 0x8000000000000000ull},
      {"+2.5", 0x4004000000000000ull},
  };
  std::string text;
  for (const Case& c : cases) text += "v " + std::string(c.text) + " 0 0\n";
  text += "f 1 2 3\n";
  const TempFile file("host_rounding.obj", text);
  const ObjMesh mesh = ReadMesh(file.Utf8());
  ASSERT_EQ(mesh.mesh.positions.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Bits(mesh.mesh.positions[i].X), cases[i].bits) << cases[i].text;
  }
}

// a broken file gets one line naming the file, the line and the fault
TEST(ObjMesh, BadFilesGetOneLineWithFileLineAndWhat) {
  struct Case {
    std::string text;
    std::string message;  // after "PATH:"
  };
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const Case cases[] = {
      {tri + "f 1 2 4\n", "4: face corner '4' names vertex 4, but 3 vertices are read so far"},
      {tri + "f 1 2 -4\n", "4: face corner '-4' names vertex -4"},
      {tri + "f 0 1 2\n", "4: face corner '0' does not start with a vertex number"},
      {tri + "f 1 2\n", "4: a face needs at least three corners"},
      {tri + "f 1 2 1\n", "4: face names vertex 1 twice"},
      {tri + "f 1/ 2 3\n", "4: face corner '1/' is not v, v/vt, v//vn or v/vt/vn"},
      {tri + "f 1/1/1/1 2 3\n", "4: face corner '1/1/1/1' has more than three parts"},
      {"v 0 0\n", "1: a vertex needs three numbers"},
      {"# numbers\nv 0 0,5 0\n",
       "2: a vertex coordinate must be a number with '.' as its decimal point, not '0,5'"},
      {"v 0 0 nan\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not 'nan'"},
      {"v 0 0 1e400\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not '1e400'"},
      {"v 0 0 \\\n  x\n", "1: a vertex coordinate must be a number with '.' as its decimal point, not 'x'"},
      {tri + "o\n", "4: an object needs a name"},
      {tri + std::string("f 1 2 3\0\n", 9), "4: binary bytes: not an OBJ text file"},
      {tri, "3: no faces"},
      {"", "0: no faces"},
  };
  for (const Case& c : cases) {
    const TempFile file("host_bad.obj", c.text);
    ObjMesh mesh;
    std::string error;
    EXPECT_FALSE(ReadObjMesh(file.Utf8(), &mesh, &error)) << c.text;
    EXPECT_EQ(error.rfind(file.Utf8() + ":" + c.message, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  ObjMesh mesh;
  std::string error;
  EXPECT_FALSE(ReadObjMesh(TUMELIN_TEST_DATA "/mesh", &mesh, &error));
  EXPECT_NE(error.find("not found or unreadable"), std::string::npos) << error;
}
