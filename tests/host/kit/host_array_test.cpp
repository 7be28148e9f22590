// The arrays and records a host allocates for the plug-in, through the
// public header's helpers and the kit's arrays.
#include "host_array.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// the count as raw bytes, read without the header's helpers
int32_t RawCount(const void* first) {
  int32_t count;
  std::memcpy(&count, static_cast<const unsigned char*>(first) - 4, sizeof count);
  return count;
}

TEST(HostArray, AllocatedArraysHoldTheirCountBeforeAnAlignedZeroedFirstElement) {
  struct Case {
    int32_t count;
    size_t elementSize;
  };
  for (const Case c : {Case{1, 1}, Case{3, 4}, Case{5, sizeof(TClothLink)}, Case{7, sizeof(TClothPoint)},
                       Case{1000, sizeof(TClothFace)}}) {
    void* first = TumelinArrayAlloc(c.count, c.elementSize);
    ASSERT_NE(first, nullptr) << c.count;
    EXPECT_EQ(RawCount(first), c.count);
    EXPECT_EQ(TumelinArrayCount(first), c.count);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 8, 0u) << c.count << " x " << c.elementSize;
    const auto* bytes = static_cast<const unsigned char*>(first);
    EXPECT_TRUE(std::all_of(bytes, bytes + c.count * c.elementSize, [](unsigned char b) { return b == 0; }));
    TumelinArraySetCount(first, -2);
    EXPECT_EQ(RawCount(first), -2);
    TumelinArrayFree(first);
  }
  // the empty array is null, and so is what cannot be allocated
  EXPECT_EQ(TumelinArrayAlloc(0, 8), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(-1, 8), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(4, 0), nullptr);
  EXPECT_EQ(TumelinArrayAlloc(INT32_MAX, SIZE_MAX / 2), nullptr);
  EXPECT_EQ(TumelinArrayCount(nullptr), 0);
  TumelinArrayFree(nullptr);

  // the kit's arrays are the same allocation
  HostArray<TClothLink> links(5);
  EXPECT_EQ(RawCount(links.Data()), 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(links.Data()) % 8, 0u);
  EXPECT_EQ(HostArray<int32_t>(0).Data(), nullptr);
}

TEST(HostArray, APointsOwnArraysAreAttachedWithEveryLinkTakingPart) {
  TClothPoint point{};
  ASSERT_TRUE(TumelinPointAlloc(&point, 4, 6));
  EXPECT_EQ(point.LinkCount, 4);
  EXPECT_EQ(RawCount(point.Links), 4);
  EXPECT_EQ(RawCount(point.Faces), 6);
  TumelinPointFree(&point);
  EXPECT_EQ(point.Links, nullptr);
  EXPECT_EQ(point.Faces, nullptr);
  EXPECT_EQ(point.LinkCount, 0);
  // no springs, no faces: both arrays empty
  ASSERT_TRUE(TumelinPointAlloc(&point, 0, 0));
  EXPECT_EQ(point.Links, nullptr);
  EXPECT_EQ(point.Faces, nullptr);
}

TEST(SurfaceGrid, ColumnsFollowEachOtherAfterRow256AndStartZeroed) {
  TSurfaceGrid* grid = TumelinGridAlloc(TUMELIN_MODE_TUBE, 3, 9);
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->Mode, TUMELIN_MODE_TUBE);
  EXPECT_EQ(grid->CountU, 3);
  EXPECT_EQ(grid->CountV, 9);
  EXPECT_EQ(static_cast<void*>(TumelinGridCell(grid, 0, 0)),
            static_cast<void*>(reinterpret_cast<unsigned char*>(grid) + sizeof(TSurfaceGrid)));
  for (int32_t u = 0; u + 1 < 3; ++u)
    EXPECT_EQ(TumelinGridCell(grid, u, TUMELIN_GRID_ROWS - 1) + 1, TumelinGridCell(grid, u + 1, 0));
  const auto* bytes = reinterpret_cast<const unsigned char*>(grid);
  // past Mode, CountU and CountV: host bytes and cells all zero
  EXPECT_TRUE(std::all_of(bytes + 12, bytes + TumelinGridBytes(3), [](unsigned char b) { return b == 0; }));
  EXPECT_EQ(TumelinGridCell(grid, 2, TUMELIN_GRID_ROWS - 1) + 1,
            reinterpret_cast<TDbl3D*>(reinterpret_cast<unsigned char*>(grid) + TumelinGridBytes(3)));
  std::free(grid);
  EXPECT_EQ(TumelinGridAlloc(TUMELIN_MODE_SHEET, 0, 1), nullptr);
}

}  // namespace
}  // namespace tumelin
