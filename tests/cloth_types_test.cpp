#include "cloth_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace tumelin;

namespace {

// A host point array owned by the test: element 0 of the storage is a spare
// record whose last four bytes hold the count, so the first point sits right
// after the count header and keeps the element alignment.
//
//   storage: [ spare ....... count ][ point 0 ][ point 1 ] ...
//                                    ^ the host variable points here
class HostPoints {
 public:
  explicit HostPoints(int32_t count) : storage_(new TClothPoint[static_cast<size_t>(count) + 1]) {
    std::memset(storage_.get(), 0, sizeof(TClothPoint) * (static_cast<size_t>(count) + 1));
    var_ = storage_.get() + 1;
    bytes_ = sizeof(TClothPoint) * (static_cast<size_t>(count) + 1);
    SetCount(count);
    // Pos = (i, -i, i/2); every other field non-zero so a stray write shows
    for (int32_t i = 0; i < count; ++i) {
      TClothPoint& p = var_[i];
      const double d = static_cast<double>(i);
      p.Pos = {d, -d, 0.5 * d};
      p.NewPos = {100.0 + d, 1.0, 2.0};
      p.Vel = {200.0 + d, 3.0, 4.0};
      p.NewVel = {300.0 + d, 5.0, 6.0};
      p.Fixed = static_cast<uint8_t>(i & 1);
      p.LinkCount = i;
    }
  }

  // the count header; may be set below the real size to fake a short array
  void SetCount(int32_t count) {
    std::memcpy(reinterpret_cast<unsigned char*>(var_) - sizeof(int32_t), &count, sizeof count);
  }

  TClothPointArray* Var() { return &var_; }
  TClothPoint& operator[](int32_t i) { return var_[i]; }

  std::vector<unsigned char> Bytes() const {
    const auto* first = reinterpret_cast<const unsigned char*>(storage_.get());
    return {first, first + bytes_};
  }

 private:
  std::unique_ptr<TClothPoint[]> storage_;
  TClothPointArray var_ = nullptr;
  size_t bytes_ = 0;
};

// A host surface record with a given number of columns, every byte filled
// with a pattern that differs from cell to cell.
class HostGrid {
 public:
  HostGrid(uint8_t mode, int32_t countU, int32_t countV, int32_t columns)
      : columns_(columns), storage_(TumelinGridBytes(columns) / sizeof(double)) {
    auto* bytes = reinterpret_cast<unsigned char*>(storage_.data());
    for (size_t i = 0; i < Size(); ++i) bytes[i] = static_cast<unsigned char>(i * 131u + 7u);
    Grid()->Mode = mode;
    Grid()->CountU = countU;
    Grid()->CountV = countV;
  }

  TSurfaceGrid* Grid() { return reinterpret_cast<TSurfaceGrid*>(storage_.data()); }
  size_t Size() const { return TumelinGridBytes(columns_); }
  int32_t Columns() const { return columns_; }
  TDbl3D* Cell(int32_t u, int32_t v) { return TumelinGridCell(Grid(), u, v); }

  std::vector<unsigned char> Bytes() {
    const auto* first = reinterpret_cast<const unsigned char*>(storage_.data());
    return {first, first + Size()};
  }

 private:
  int32_t columns_;
  std::vector<double> storage_;  // doubles keep the cells aligned
};

bool SameBits(const TDbl3D& a, const TDbl3D& b) { return std::memcmp(&a, &b, sizeof(TDbl3D)) == 0; }

// The record as it must read after the call: starts from the record before
// the call and takes the cell writes the test expects.
class Expected {
 public:
  explicit Expected(HostGrid& grid) : bytes_(grid.Bytes()) {}

  // cell (u, v) holds Pos of point i
  void Point(int32_t u, int32_t v, const TClothPoint& p) { std::memcpy(At(u, v), &p.Pos, sizeof(TDbl3D)); }
  // cells (0, v), (1, v), ... hold the points listed; -1 keeps a cell as it was
  void Row(int32_t v, std::vector<int32_t> indices, HostPoints& points) {
    for (int32_t u = 0; u < static_cast<int32_t>(indices.size()); ++u) {
      if (indices[u] >= 0) Point(u, v, points[indices[u]]);
    }
  }
  // cell (u, v) holds what cell (fromU, fromV) held before the call
  void Cell(int32_t u, int32_t v, HostGrid& before, int32_t fromU, int32_t fromV) {
    std::memcpy(At(u, v), before.Cell(fromU, fromV), sizeof(TDbl3D));
  }

  // compares the whole record and names the first cell that differs
  ::testing::AssertionResult Matches(HostGrid& grid) const {
    const std::vector<unsigned char> actual = grid.Bytes();
    for (size_t i = 0; i < bytes_.size(); ++i) {
      if (actual[i] == bytes_[i]) continue;
      if (i < TUMELIN_GRID_POINTS_OFFSET)
        return ::testing::AssertionFailure() << "header byte " << i << " changed";
      const size_t cell = i - TUMELIN_GRID_POINTS_OFFSET;
      return ::testing::AssertionFailure()
             << "cell (" << cell / TUMELIN_GRID_COLUMN_BYTES << ", "
             << cell % TUMELIN_GRID_COLUMN_BYTES / sizeof(TDbl3D) << ") differs";
    }
    return ::testing::AssertionSuccess();
  }

 private:
  unsigned char* At(int32_t u, int32_t v) {
    return bytes_.data() + TUMELIN_GRID_POINTS_OFFSET + static_cast<size_t>(TUMELIN_GRID_COLUMN_BYTES) * u +
           sizeof(TDbl3D) * v;
  }

  std::vector<unsigned char> bytes_;
};

// runs the write-back and checks that the grid did not change at all
::testing::AssertionResult LeavesGridAlone(HostGrid& grid, TClothPointArray* pointsVar) {
  const Expected unchanged(grid);
  WriteSurfaceGrid(grid.Grid(), pointsVar);
  return unchanged.Matches(grid);
}

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

}  // namespace

// ---- the worked example, U = 5 and V = 4 ---------------------------------

struct WorkedExample {
  uint8_t mode;
  int32_t pointsRead;
  int32_t table[4][5];  // point index of cell (u, v), row by row
};

void PrintTo(const WorkedExample& example, std::ostream* out) { *out << "mode " << int{example.mode}; }

class WorkedExampleTest : public ::testing::TestWithParam<WorkedExample> {};

// two spare columns beyond U = 5 must keep their bytes; so must rows 4-256
TEST_P(WorkedExampleTest, EveryCellAndNothingElse) {
  const WorkedExample& example = GetParam();
  HostPoints points(example.pointsRead);
  HostGrid grid(example.mode, 5, 4, 7);
  Expected expected(grid);
  for (int32_t v = 0; v < 4; ++v) {
    for (int32_t u = 0; u < 5; ++u) expected.Point(u, v, points[example.table[v][u]]);
  }
  const std::vector<unsigned char> pointsBefore = points.Bytes();

  WriteSurfaceGrid(grid.Grid(), points.Var());

  EXPECT_TRUE(expected.Matches(grid));
  EXPECT_EQ(points.Bytes(), pointsBefore) << "a point field changed";
}

// exactly the points the mode reads suffice; one fewer and nothing is written
TEST_P(WorkedExampleTest, OnePointShortWritesNothing) {
  const WorkedExample& example = GetParam();
  HostPoints points(example.pointsRead);
  points.SetCount(example.pointsRead - 1);
  HostGrid grid(example.mode, 5, 4, 5);
  EXPECT_TRUE(LeavesGridAlone(grid, points.Var()));
}

// the point index every cell receives, U = 5 and V = 4
// clang-format off
const WorkedExample kWorkedExamples[] = {
    {0, 10, {{0, 0, 0, 0, 0}, {1, 2, 3, 4, 1}, {5, 6, 7, 8, 5},      {9, 9, 9, 9, 9}}},
    {1, 12, {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8},    {0, 1, 2, 3, 0}}},
    {2, 20, {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}, {10, 11, 12, 13, 14}, {15, 16, 17, 18, 19}}},
    {3, 16, {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8},    {12, 13, 14, 15, 12}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(AllModes, WorkedExampleTest, ::testing::ValuesIn(kWorkedExamples),
                         [](const ::testing::TestParamInfo<WorkedExample>& info) {
                           return "Mode" + std::to_string(info.param.mode);
                         });

// ---- small counts --------------------------------------------------------
// Each case hands over exactly the points the mode reads (none where it
// reads none), so a miscounted guard refuses to write and the case fails.

TEST(SmallCounts, SphereSingleRowIsThePoleOnly) {
  HostPoints points(1);
  HostGrid grid(0, 4, 1, 4);
  Expected expected(grid);
  expected.Row(0, {0, 0, 0, 0}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, SphereTwoRowsAreTwoPolesWithoutRing) {
  HostPoints points(2);
  HostGrid grid(0, 4, 2, 4);
  Expected expected(grid);
  expected.Row(0, {0, 0, 0, 0}, points);
  expected.Row(1, {1, 1, 1, 1}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

// the rings have no columns; their seam copies copy the one cell onto itself
TEST(SmallCounts, SphereOneColumnWritesOnlyThePoles) {
  HostPoints points(2);
  HostGrid grid(0, 1, 4, 2);
  Expected expected(grid);
  expected.Row(0, {0}, points);
  expected.Row(3, {1}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, SphereTwoColumnsRepeatColumnZero) {
  HostPoints points(4);
  HostGrid grid(0, 2, 4, 3);
  Expected expected(grid);
  for (int32_t v = 0; v < 4; ++v) expected.Row(v, {v, v}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, TorusSingleRowChangesNothing) {
  HostPoints points(0);
  HostGrid grid(1, 4, 1, 4);
  EXPECT_TRUE(LeavesGridAlone(grid, points.Var()));
}

// the closing row copies row 0 after its seam is made
TEST(SmallCounts, TorusTwoRowsRepeatRowZeroWithItsSeam) {
  HostPoints points(3);
  HostGrid grid(1, 4, 2, 4);
  Expected expected(grid);
  expected.Row(0, {0, 1, 2, 0}, points);
  expected.Row(1, {0, 1, 2, 0}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

// no point is read, so an empty array will do; cell (0, 0) still closes
TEST(SmallCounts, TorusOneColumnCopiesCellZeroToTheLastRow) {
  HostGrid grid(1, 1, 4, 2);
  HostGrid before(1, 1, 4, 2);
  Expected expected(grid);
  expected.Cell(0, 3, before, 0, 0);
  TClothPointArray empty = nullptr;
  WriteSurfaceGrid(grid.Grid(), &empty);
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, SheetOneColumnOrOneRow) {
  HostPoints points(4);
  {
    HostGrid grid(2, 1, 4, 2);
    Expected expected(grid);
    for (int32_t v = 0; v < 4; ++v) expected.Row(v, {v}, points);
    WriteSurfaceGrid(grid.Grid(), points.Var());
    EXPECT_TRUE(expected.Matches(grid));
  }
  {
    HostGrid grid(2, 4, 1, 5);
    Expected expected(grid);
    expected.Row(0, {0, 1, 2, 3}, points);
    WriteSurfaceGrid(grid.Grid(), points.Var());
    EXPECT_TRUE(expected.Matches(grid));
  }
}

TEST(SmallCounts, SheetWithoutRowsOrColumnsReadsNothing) {
  TClothPointArray empty = nullptr;
  for (const int32_t countU : {0, -1, 3}) {
    for (const int32_t countV : {0, -7, 3}) {
      if (countU > 0 && countV > 0) continue;
      HostGrid grid(2, countU, countV, 3);
      EXPECT_TRUE(LeavesGridAlone(grid, &empty)) << countU << " x " << countV;
    }
  }
}

TEST(SmallCounts, TubeOneColumnChangesNothing) {
  HostPoints points(0);
  HostGrid grid(3, 1, 3, 2);
  EXPECT_TRUE(LeavesGridAlone(grid, points.Var()));
}

TEST(SmallCounts, TubeTwoColumnsRepeatColumnZero) {
  HostPoints points(3);
  HostGrid grid(3, 2, 3, 3);
  Expected expected(grid);
  for (int32_t v = 0; v < 3; ++v) expected.Row(v, {v, v}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, TubeSingleRowIsOneRing) {
  HostPoints points(3);
  HostGrid grid(3, 4, 1, 4);
  Expected expected(grid);
  expected.Row(0, {0, 1, 2, 0}, points);
  WriteSurfaceGrid(grid.Grid(), points.Var());
  EXPECT_TRUE(expected.Matches(grid));
}

TEST(SmallCounts, ModesBeyondThreeWriteNothing) {
  HostPoints points(100);
  for (const int mode : {4, 5, 128, 255}) {
    HostGrid grid(static_cast<uint8_t>(mode), 5, 4, 5);
    EXPECT_TRUE(LeavesGridAlone(grid, points.Var())) << "mode " << mode;
  }
}

// ---- the last row and bit-exact copies -----------------------------------

// 257 rows reach row 256, the last cell of every column; column 3 stays
TEST(FullColumns, RowCount257WritesRow256) {
  constexpr int32_t kU = 3;
  constexpr int32_t kV = 257;
  struct Case {
    uint8_t mode;
    int32_t pointsRead;
    int32_t lastRow[kU];
  };
  const Case cases[] = {
      {0, 255 * 2 + 2, {511, 511, 511}},  // the second pole
      {1, 2 * 256, {0, 1, 0}},            // row 0 again
      {2, 3 * 257, {768, 769, 770}},      // its own points
      {3, 2 * 257, {512, 513, 512}},      // the last ring
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << int{c.mode});
    HostPoints points(c.pointsRead);
    HostGrid grid(c.mode, kU, kV, kU + 1);
    const std::vector<unsigned char> before = grid.Bytes();
    WriteSurfaceGrid(grid.Grid(), points.Var());
    for (int32_t u = 0; u < kU; ++u) {
      EXPECT_TRUE(SameBits(*grid.Cell(u, 256), points[c.lastRow[u]].Pos)) << "cell (" << u << ", 256)";
    }
    const std::vector<unsigned char> after = grid.Bytes();
    const size_t spare = TUMELIN_GRID_POINTS_OFFSET + static_cast<size_t>(TUMELIN_GRID_COLUMN_BYTES) * kU;
    EXPECT_TRUE(std::equal(after.begin() + spare, after.end(), before.begin() + spare)) << "column 3 changed";
    EXPECT_TRUE(std::equal(after.begin(), after.begin() + TUMELIN_GRID_POINTS_OFFSET, before.begin()));
  }
}

// the copy must not pass through a floating-point register: a signalling
// NaN would come out quiet on x87
TEST(BitCopy, NanInfinityAndSignedZeroPassUnchanged) {
  auto fromBits = [](uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double signalling = fromBits(0x7FF0000000000001ull);
  const double quietPayload = fromBits(0xFFF8DEADBEEF0001ull);
  const double denormal = fromBits(0x0000000000000001ull);

  HostPoints points(4);
  points[0].Pos = {signalling, -inf, -0.0};
  points[1].Pos = {inf, quietPayload, denormal};
  points[2].Pos = {std::nan(""), 0.0, -denormal};
  points[3].Pos = {-quietPayload, signalling, inf};
  for (const int mode : {0, 1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    // a 2 x 2 sheet, a 3-column torus or tube and a 2-column sphere each read
    // points 0-3
    const int32_t countU = mode == 0 || mode == 2 ? 2 : 3;
    const int32_t countV = mode == 0 ? 4 : mode == 1 ? 3 : 2;
    HostGrid grid(static_cast<uint8_t>(mode), countU, countV, 3);
    WriteSurfaceGrid(grid.Grid(), points.Var());
    const int32_t firstCell[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    const int32_t sphereCell[4][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}};
    for (int32_t i = 0; i < 4; ++i) {
      const int32_t* at = mode == 0 ? sphereCell[i] : firstCell[i];
      EXPECT_TRUE(SameBits(*grid.Cell(at[0], at[1]), points[i].Pos)) << "point " << i;
    }
  }
}

// ---- calls outside the record's limits -----------------------------------

TEST(Guards, CountsBelowOneInModesWithSeamsWriteNothing) {
  HostPoints points(100);
  for (const int mode : {0, 1, 3}) {
    for (const auto& counts : {std::pair<int32_t, int32_t>{0, 4}, {4, 0}, {-1, 4}, {4, -3}, {0, 0}}) {
      HostGrid grid(static_cast<uint8_t>(mode), counts.first, counts.second, 5);
      EXPECT_TRUE(LeavesGridAlone(grid, points.Var()))
          << "mode " << mode << ", " << counts.first << " x " << counts.second;
    }
  }
}

TEST(Guards, MoreThan257RowsWriteNothing) {
  HostPoints points(2000);
  for (const int mode : {0, 1, 2, 3}) {
    for (const int32_t countV : {258, kInt32Max}) {
      HostGrid grid(static_cast<uint8_t>(mode), 2, countV, 2);
      EXPECT_TRUE(LeavesGridAlone(grid, points.Var())) << "mode " << mode << ", " << countV << " rows";
    }
  }
}

TEST(Guards, MissingPointsWriteNothing) {
  HostPoints points(3);
  points.SetCount(-5);
  for (const int mode : {0, 1, 2, 3}) {
    HostGrid grid(static_cast<uint8_t>(mode), 3, 3, 3);
    EXPECT_TRUE(LeavesGridAlone(grid, points.Var())) << "negative count, mode " << mode;
    TClothPointArray empty = nullptr;
    EXPECT_TRUE(LeavesGridAlone(grid, &empty)) << "null array, mode " << mode;
  }
  // the sphere's single row still reads point 0
  TClothPointArray empty = nullptr;
  HostGrid pole(0, 4, 1, 4);
  EXPECT_TRUE(LeavesGridAlone(pole, &empty));
}

// point counts that wrap in 32 bits: 2^31 - 1 columns times 2 rows is -2,
// (2^31 - 2)(3 - 1) is -4; the grid has 2 columns, so a false pass crashes
TEST(Guards, HugeColumnCountsDoNotWrapIntoAPass) {
  HostPoints points(8);
  const struct {
    uint8_t mode;
    int32_t countV;
  } cases[] = {{2, 2}, {1, 3}, {3, 2}, {0, 4}, {0, 257}};
  for (const auto& c : cases) {
    HostGrid grid(c.mode, kInt32Max, c.countV, 2);
    EXPECT_TRUE(LeavesGridAlone(grid, points.Var())) << "mode " << int{c.mode} << ", " << c.countV << " rows";
  }
}

TEST(Guards, NullArgumentsDoNothing) {
  HostPoints points(20);
  WriteSurfaceGrid(nullptr, points.Var());
  WriteSurfaceGrid(nullptr, nullptr);
  for (const int mode : {0, 1, 2, 3}) {
    HostGrid grid(static_cast<uint8_t>(mode), 1, 4, 1);
    EXPECT_TRUE(LeavesGridAlone(grid, nullptr)) << "mode " << mode;
  }
}

// ---- numbering rules -----------------------------------------------------

TEST(Numbering, SphereRowZeroIsThePoleForAnyColumn) {
  for (const int32_t u : {0, 3, -2, kInt32Max}) EXPECT_EQ(SphereIndex(u, 0, 5), 0) << u;
}

// signed 32-bit with no range check: results wrap, identically on every target
TEST(Numbering, ArithmeticIsSigned32Bit) {
  EXPECT_EQ(SheetIndex(0, 2, kInt32Max), -2);
  EXPECT_EQ(WrapIndex(-1, 0, 5), -1);
  EXPECT_EQ(WrapIndex(0, 2, kInt32Max), -4);
  EXPECT_EQ(SphereIndex(kInt32Max, 1, 9), std::numeric_limits<int32_t>::min());
}

// ---- end-of-step shift ---------------------------------------------------

TEST(ShiftStates, MakesTheNewStateCurrentAndClearsIt) {
  HostPoints points(5);
  std::vector<TClothPoint> old(5);
  for (int32_t i = 0; i < 5; ++i) old[i] = points[i];

  EXPECT_EQ(ShiftStates(points.Var()), 5);

  const TDbl3D zero{0.0, 0.0, 0.0};
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(SameBits(points[i].Pos, old[i].NewPos)) << i;
    EXPECT_TRUE(SameBits(points[i].Vel, old[i].NewVel)) << i;
    EXPECT_TRUE(SameBits(points[i].NewPos, zero)) << i;
    EXPECT_TRUE(SameBits(points[i].NewVel, zero)) << i;
    EXPECT_EQ(points[i].Fixed, old[i].Fixed);
    EXPECT_EQ(points[i].LinkCount, old[i].LinkCount);
  }
}

TEST(ShiftStates, EmptyArrayReturnsZero) {
  TClothPointArray empty = nullptr;
  EXPECT_EQ(ShiftStates(&empty), 0);
}
