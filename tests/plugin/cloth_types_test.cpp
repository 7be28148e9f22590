#include "cloth_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "bits.h"
#include "host_array.h"
#include "records.h"

using namespace tumelin;

namespace {

// count host points with Pos = (i, -i, i/2) and every other field non-zero
// so a stray write shows. with no points the array is still live, not null:
// its buffer holds one point and its header says 0.
HostArray<TClothPoint> MakePoints(int32_t count) {
  std::vector<TClothPoint> list(static_cast<size_t>(std::max(count, 1)), TClothPoint{});
  for (int32_t i = 0; i < count; ++i) {
    TClothPoint& p = list[i];
    const double d = static_cast<double>(i);
    p.Pos = {d, -d, 0.5 * d};
    p.NewPos = {100.0 + d, 1.0, 2.0};
    p.Vel = {200.0 + d, 3.0, 4.0};
    p.NewVel = {300.0 + d, 5.0, 6.0};
    p.Fixed = static_cast<uint8_t>(i & 1);
    p.LinkCount = i;
  }
  HostArray<TClothPoint> points(list);
  SetCountHeader(points, count);
  return points;
}

// A host surface record with a given number of columns and guard bytes after
// it, every byte filled with a pattern that differs from cell to cell.
class HostGrid {
 public:
  // bytes after the last column that belong to no record
  static constexpr size_t kGuardBytes = 2 * TUMELIN_GRID_COLUMN_BYTES;

  HostGrid(uint8_t mode, int32_t countU, int32_t countV, int32_t columns)
      : columns_(columns), storage_((TumelinGridBytes(columns) + kGuardBytes) / sizeof(double)) {
    auto* bytes = reinterpret_cast<unsigned char*>(storage_.data());
    for (size_t i = 0; i < Size(); ++i) bytes[i] = static_cast<unsigned char>(i * 131u + 7u);
    Grid()->Mode = mode;
    Grid()->CountU = countU;
    Grid()->CountV = countV;
  }

  TSurfaceGrid* Grid() { return reinterpret_cast<TSurfaceGrid*>(storage_.data()); }
  // the record and its guard bytes
  size_t Size() const { return TumelinGridBytes(columns_) + kGuardBytes; }
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

// what a cell of an expected row holds when it holds no point
constexpr int32_t kKeeps = -1;        // its own bytes
constexpr int32_t kOldCellZero = -2;  // what cell (0, 0) held before the call

// The record as it must read after the call: starts from the record before
// the call and takes the cell writes the test expects.
class Expected {
 public:
  explicit Expected(HostGrid& grid) : before_(grid.Bytes()), bytes_(before_) {}

  // cell (u, v) holds Pos of point i
  void Point(int32_t u, int32_t v, const TClothPoint& p) { std::memcpy(At(u, v), &p.Pos, sizeof(TDbl3D)); }
  // cells (0, v), (1, v), ... hold the points listed, kKeeps or kOldCellZero
  void Row(int32_t v, const std::vector<int32_t>& cells, const HostArray<TClothPoint>& points) {
    for (int32_t u = 0; u < static_cast<int32_t>(cells.size()); ++u) {
      if (cells[u] == kOldCellZero) {
        std::memcpy(At(u, v), before_.data() + TUMELIN_GRID_POINTS_OFFSET, sizeof(TDbl3D));
      } else if (cells[u] != kKeeps) {
        Point(u, v, points[cells[u]]);
      }
    }
  }

  // compares the whole record and names the first cell that differs
  ::testing::AssertionResult Matches(HostGrid& grid) const {
    const std::vector<unsigned char> actual = grid.Bytes();
    for (size_t i = 0; i < bytes_.size(); ++i) {
      if (actual[i] == bytes_[i]) continue;
      if (i < TUMELIN_GRID_POINTS_OFFSET)
        return ::testing::AssertionFailure() << "header byte " << i << " changed";
      if (i >= TumelinGridBytes(grid.Columns()))
        return ::testing::AssertionFailure() << "guard byte " << i << " beyond the record changed";
      const auto [u, v] = GridCellOf(i);
      return ::testing::AssertionFailure() << "cell (" << u << ", " << v << ") differs";
    }
    return ::testing::AssertionSuccess();
  }

 private:
  unsigned char* At(int32_t u, int32_t v) {
    return reinterpret_cast<unsigned char*>(
        TumelinGridCell(reinterpret_cast<TSurfaceGrid*>(bytes_.data()), u, v));
  }

  const std::vector<unsigned char> before_;
  std::vector<unsigned char> bytes_;
};

// runs the write-back and checks that the grid did not change at all
::testing::AssertionResult LeavesGridAlone(HostGrid& grid, TClothPointArray* pointsVar) {
  const Expected unchanged(grid);
  WriteSurfaceGrid(grid.Grid(), pointsVar);
  return unchanged.Matches(grid);
}

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();

}  // namespace

// ---- cell by cell: the worked example and small counts ------------------
// Each case hands over exactly the points the mode reads (none where it
// reads none), so a miscounted guard refuses to write and the case fails.

// the points handed over are the null array
constexpr int32_t kNullArray = -1;

struct GridCase {
  const char* name;
  uint8_t mode;
  int32_t countU;
  int32_t countV;
  int32_t columns;                         // columns the record holds
  int32_t pointCount;                      // a live array of that many, or kNullArray
  std::vector<std::vector<int32_t>> rows;  // rows 0, 1, ... from column 0; later rows keep
};

void PrintTo(const GridCase& c, std::ostream* out) { *out << c.name; }
std::string CaseName(const ::testing::TestParamInfo<GridCase>& info) { return info.param.name; }

class WriteBackTest : public ::testing::TestWithParam<GridCase> {};

// cells beyond the listed ones keep their bytes, and no point field changes
TEST_P(WriteBackTest, EveryCellAndNothingElse) {
  const GridCase& c = GetParam();
  HostArray<TClothPoint> points = MakePoints(std::max(c.pointCount, 0));
  TClothPointArray pointsVar = c.pointCount == kNullArray ? nullptr : points.Data();
  HostGrid grid(c.mode, c.countU, c.countV, c.columns);
  Expected expected(grid);
  for (size_t v = 0; v < c.rows.size(); ++v) expected.Row(static_cast<int32_t>(v), c.rows[v], points);
  const std::vector<unsigned char> pointsBefore = RecordBytes(points);

  WriteSurfaceGrid(grid.Grid(), &pointsVar);

  EXPECT_TRUE(expected.Matches(grid));
  EXPECT_EQ(RecordBytes(points), pointsBefore) << "a point field changed";
}

// a case: name, mode, U, V, columns, points handed over, point index per row

// every cell of U = 5 and V = 4, written out by hand: the deliberate
// independent check of the grid numbering (every other test takes it from
// the shipping code). Two spare columns beyond U must keep their bytes, and
// so must rows 4-256.
// clang-format off
const GridCase kWorkedExamples[] = {
    {"Mode0", 0, 5, 4, 7, 10, {{0, 0, 0, 0, 0}, {1, 2, 3, 4, 1}, {5, 6, 7, 8, 5},      {9, 9, 9, 9, 9}}},
    {"Mode1", 1, 5, 4, 7, 12, {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8},    {0, 1, 2, 3, 0}}},
    {"Mode2", 2, 5, 4, 7, 20, {{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}, {10, 11, 12, 13, 14}, {15, 16, 17, 18, 19}}},
    {"Mode3", 3, 5, 4, 7, 16, {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {8, 9, 10, 11, 8},    {12, 13, 14, 15, 12}}},
};

const GridCase kSmallCounts[] = {
    {"SphereSingleRowIsThePoleOnly",             0, 4, 1, 4, 1, {{0, 0, 0, 0}}},
    {"SphereTwoRowsAreTwoPolesWithoutRing",      0, 4, 2, 4, 2, {{0, 0, 0, 0}, {1, 1, 1, 1}}},
    // the rings have no columns; their seam copies copy the one cell onto itself
    {"SphereOneColumnWritesOnlyThePoles",        0, 1, 4, 2, 2, {{0}, {kKeeps}, {kKeeps}, {1}}},
    {"SphereTwoColumnsRepeatColumnZero",         0, 2, 4, 3, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
    {"TorusSingleRowChangesNothing",             1, 4, 1, 4, 0, {}},
    // the closing row copies row 0 after its seam is made
    {"TorusTwoRowsRepeatRowZeroWithItsSeam",     1, 4, 2, 4, 3, {{0, 1, 2, 0}, {0, 1, 2, 0}}},
    // no point is read, so the null array will do; cell (0, 0) still closes
    {"TorusOneColumnCopiesCellZeroToTheLastRow", 1, 1, 4, 2, kNullArray,
                                                 {{kKeeps}, {kKeeps}, {kKeeps}, {kOldCellZero}}},
    {"SheetOneColumn",                           2, 1, 4, 2, 4, {{0}, {1}, {2}, {3}}},
    {"SheetOneRow",                              2, 4, 1, 5, 4, {{0, 1, 2, 3}}},
    {"TubeOneColumnChangesNothing",              3, 1, 3, 2, 0, {}},
    {"TubeTwoColumnsRepeatColumnZero",           3, 2, 3, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
    {"TubeSingleRowIsOneRing",                   3, 4, 1, 4, 3, {{0, 1, 2, 0}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(WorkedExample, WriteBackTest, ::testing::ValuesIn(kWorkedExamples), CaseName);
INSTANTIATE_TEST_SUITE_P(SmallCounts, WriteBackTest, ::testing::ValuesIn(kSmallCounts), CaseName);

class WorkedExampleTest : public ::testing::TestWithParam<GridCase> {};

// exactly the points the mode reads suffice; one fewer and nothing is written
TEST_P(WorkedExampleTest, OnePointShortWritesNothing) {
  const GridCase& c = GetParam();
  HostArray<TClothPoint> points = MakePoints(c.pointCount);
  SetCountHeader(points, c.pointCount - 1);
  TClothPointArray pointsVar = points.Data();
  HostGrid grid(c.mode, c.countU, c.countV, c.countU);
  EXPECT_TRUE(LeavesGridAlone(grid, &pointsVar));
}

INSTANTIATE_TEST_SUITE_P(AllModes, WorkedExampleTest, ::testing::ValuesIn(kWorkedExamples), CaseName);

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
    HostArray<TClothPoint> points = MakePoints(c.pointsRead);
    TClothPointArray pointsVar = points.Data();
    HostGrid grid(c.mode, kU, kV, kU + 1);
    const std::vector<unsigned char> before = grid.Bytes();
    WriteSurfaceGrid(grid.Grid(), &pointsVar);
    for (int32_t u = 0; u < kU; ++u) {
      EXPECT_TRUE(SameBits(*grid.Cell(u, 256), points[c.lastRow[u]].Pos)) << "cell (" << u << ", 256)";
    }
    const std::vector<unsigned char> after = grid.Bytes();
    const size_t spare = TumelinGridBytes(kU);
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

  HostArray<TClothPoint> points = MakePoints(4);
  TClothPointArray pointsVar = points.Data();
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
    WriteSurfaceGrid(grid.Grid(), &pointsVar);
    const int32_t firstCell[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    const int32_t sphereCell[4][2] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}};
    for (int32_t i = 0; i < 4; ++i) {
      const int32_t* at = mode == 0 ? sphereCell[i] : firstCell[i];
      EXPECT_TRUE(SameBits(*grid.Cell(at[0], at[1]), points[i].Pos)) << "point " << i;
    }
  }
}

// ---- calls outside the record's limits -----------------------------------

// the points a guard case hands over: this many, with the header saying
// `header`; or the null array; or no variable at all
constexpr int32_t kNoVariable = -2;

struct GuardCase {
  const char* what;
  std::vector<int> modes;
  std::vector<std::pair<int32_t, int32_t>> counts;  // U x V
  int32_t columns;                                  // columns the record holds
  int32_t points;                                   // or kNullArray, kNoVariable
  std::optional<int32_t> header = std::nullopt;
};

// every count and mode the write-back must refuse leaves the record alone
TEST(Guards, CallsOutsideTheRecordsLimitsWriteNothing) {
  const GuardCase cases[] = {
      {"a sheet without rows or columns",
       {2},
       {{0, 0}, {0, -7}, {0, 3}, {-1, 0}, {-1, -7}, {-1, 3}, {3, 0}, {3, -7}},
       3,
       kNullArray},
      {"a mode beyond three", {4, 5, 128, 255}, {{5, 4}}, 5, 100},
      {"counts below one in a mode with seams",
       {0, 1, 3},
       {{0, 4}, {4, 0}, {-1, 4}, {4, -3}, {0, 0}},
       5,
       100},
      {"more than 257 rows", {0, 1, 2, 3}, {{2, 258}, {2, kInt32Max}}, 2, 2000},
      {"a negative point count", {0, 1, 2, 3}, {{3, 3}}, 3, 3, -5},
      {"the null array", {0, 1, 2, 3}, {{3, 3}}, 3, kNullArray},
      // the sphere's single row still reads point 0
      {"the null array for a sphere's pole", {0}, {{4, 1}}, 4, kNullArray},
      // point counts that wrap in 32 bits: 2^31 - 1 columns times 2 rows is
      // -2, (2^31 - 2)(3 - 1) is -4; the grid has 2 columns, so a false pass
      // crashes
      {"a huge column count", {2, 3}, {{kInt32Max, 2}}, 2, 8},
      {"a huge column count", {1}, {{kInt32Max, 3}}, 2, 8},
      {"a huge column count", {0}, {{kInt32Max, 4}, {kInt32Max, 257}}, 2, 8},
      {"no point variable", {0, 1, 2, 3}, {{1, 4}}, 1, kNoVariable},
  };
  for (const GuardCase& c : cases) {
    HostArray<TClothPoint> points = MakePoints(std::max(c.points, 0));
    if (c.header) SetCountHeader(points, *c.header);
    TClothPointArray pointsVar = c.points == kNullArray ? nullptr : points.Data();
    for (const int mode : c.modes) {
      for (const auto& [countU, countV] : c.counts) {
        HostGrid grid(static_cast<uint8_t>(mode), countU, countV, c.columns);
        EXPECT_TRUE(LeavesGridAlone(grid, c.points == kNoVariable ? nullptr : &pointsVar))
            << c.what << ", mode " << mode << ", " << countU << " x " << countV;
      }
    }
  }
  // no record: nothing to write, nothing read
  HostArray<TClothPoint> points = MakePoints(20);
  TClothPointArray pointsVar = points.Data();
  WriteSurfaceGrid(nullptr, &pointsVar);
  WriteSurfaceGrid(nullptr, nullptr);
}

// Every count the host can store, at and around each limit: either the grid
// stays as it was, or only cells (u, v) with u < CountU and v < CountV of the
// record change. The record holds 4 columns; column counts from 5 up to the
// largest record are the host's to back with storage and are left out.
TEST(Guards, ExtremeCountsWriteOnlyCellsWithinTheCounts) {
  constexpr int32_t kColumns = 4;
  const int32_t counts[] = {
      kInt32Min,     kInt32Min + 1, -2, -1, 0, 1, 2, 4, 256, 257, 258, TUMELIN_GRID_MAX_COLUMNS + 1,
      kInt32Max - 1, kInt32Max};
  // enough for a full 4 x 257 sheet, the most any fitting case reads
  HostArray<TClothPoint> points = MakePoints(kColumns * TUMELIN_GRID_ROWS);
  TClothPointArray pointsVar = points.Data();
  for (const int mode : {0, 1, 2, 3, 4, 255}) {
    for (const int32_t countU : counts) {
      if (countU > kColumns && countU <= TUMELIN_GRID_MAX_COLUMNS) continue;
      for (const int32_t countV : counts) {
        HostGrid grid(static_cast<uint8_t>(mode), countU, countV, kColumns);
        const std::vector<unsigned char> before = grid.Bytes();
        WriteSurfaceGrid(grid.Grid(), &pointsVar);
        const std::vector<unsigned char> after = grid.Bytes();
        for (size_t i = 0; i < after.size(); ++i) {
          if (after[i] == before[i]) continue;
          const auto [u, v] = GridCellOf(i);
          ASSERT_TRUE(i >= TUMELIN_GRID_POINTS_OFFSET && static_cast<int64_t>(u) < countU &&
                      static_cast<int64_t>(v) < countV && u < kColumns)
              << "mode " << mode << ", " << countU << " x " << countV << ": byte " << i << " changed";
        }
      }
    }
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
  HostArray<TClothPoint> points = MakePoints(5);
  TClothPointArray pointsVar = points.Data();
  const std::vector<TClothPoint> old(points.Data(), points.Data() + 5);

  EXPECT_EQ(ShiftStates(&pointsVar), 5);

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
