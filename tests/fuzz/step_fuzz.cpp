// PluginExecZR72 and PluginExecZR73 on membranes and grid records decoded
// from arbitrary bytes: indices outside their arrays and negative ones,
// LinkCount beyond Links, count headers that claim fewer elements or a
// negative number, null arrays, NaN and infinite positions and settings,
// extreme grid counts. Every host buffer has guard bytes on both sides. No
// crash, no sanitizer report, no byte touched but the fields a step or a
// write-back writes, pinned points unmoved.
#include <fuzzer/FuzzedDataProvider.h>
#include <tumelin/tumelin.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

extern "C" int32_t PluginExecZR72(void*, TClothPointArray* PointsVar, TClothFaceArray* FacesVar,
                                  const TClothSetup* Setup);
extern "C" void PluginExecZR73(TSurfaceGrid* Grid, TClothPointArray* PointsVar);

namespace {

[[noreturn]] void Fail(const char* what) {
  __builtin_printf("step: %s\n", what);
  std::abort();
}

constexpr std::size_t kGuardBytes = 64;
constexpr uint8_t kGuardByte = 0xA5;

// bytes with kGuardBytes of pattern on both sides, 8-byte aligned
class Guarded {
 public:
  explicit Guarded(std::size_t bytes)
      : size_(bytes), words_(new uint64_t[(2 * kGuardBytes + bytes + 7) / 8]) {
    std::memset(words_.get(), kGuardByte, 2 * kGuardBytes + bytes);
  }
  unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(words_.get()) + kGuardBytes; }
  std::size_t Size() const { return size_; }
  std::vector<unsigned char> Snapshot() const {
    const auto* all = reinterpret_cast<const unsigned char*>(words_.get());
    return {all, all + 2 * kGuardBytes + size_};
  }
  // offsets in a snapshot of the guarded bytes themselves
  static std::size_t Offset(std::size_t byte) { return kGuardBytes + byte; }

 private:
  std::size_t size_;
  std::unique_ptr<uint64_t[]> words_;
};

// a host dynamic array: an 8-byte header word whose upper half is the count,
// then `held` elements; nothing at all (the null array) when held is 0
class GuardedArray {
 public:
  GuardedArray(std::size_t stride, int32_t held, int32_t header)
      : stride_(stride), held_(held), buffer_(8 + stride * static_cast<std::size_t>(held)) {
    std::memset(buffer_.Bytes(), 0, buffer_.Size());
    std::memcpy(buffer_.Bytes() + 4, &header, sizeof header);
  }
  void* Data() { return held_ > 0 ? buffer_.Bytes() + 8 : nullptr; }
  unsigned char* Element(int32_t i) { return buffer_.Bytes() + 8 + stride_ * static_cast<std::size_t>(i); }
  std::vector<unsigned char> Snapshot() const { return buffer_.Snapshot(); }
  // offset of byte `at` of element i in a snapshot
  std::size_t Offset(int32_t i, std::size_t at) const {
    return Guarded::Offset(8 + stride_ * static_cast<std::size_t>(i) + at);
  }
  int32_t Held() const { return held_; }

 private:
  std::size_t stride_;
  int32_t held_;
  Guarded buffer_;
};

// the count a header claims: mostly the truth, else fewer or a negative
// number (never more than the buffer holds: that lie no plug-in can catch)
int32_t Header(FuzzedDataProvider& in, int32_t held) {
  if (in.ConsumeIntegralInRange(0, 7) != 0) return held;
  const int32_t claim = in.ConsumeIntegral<int32_t>();
  return claim > held ? held : claim;
}

// an index: mostly -1 .. bound, sometimes any int32
int32_t Index(FuzzedDataProvider& in, int32_t bound) {
  if (in.ConsumeIntegralInRange(0, 7) == 0) return in.ConsumeIntegral<int32_t>();
  return in.ConsumeIntegralInRange<int32_t>(-1, bound);
}

double Real(FuzzedDataProvider& in, double scale) {
  const double special[] = {0.0,
                            -0.0,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            std::numeric_limits<double>::max(),
                            std::numeric_limits<double>::denorm_min(),
                            1e-310};
  switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0:
      return special[in.ConsumeIntegralInRange<std::size_t>(0, 7)];
    case 1:
      return in.ConsumeFloatingPoint<double>();
    default:
      return in.ConsumeFloatingPointInRange(-scale, scale);
  }
}

TDbl3D Vector(FuzzedDataProvider& in, double scale) {
  return {Real(in, scale), Real(in, scale), Real(in, scale)};
}

// a grid count: mostly small, sometimes any int32; column counts that a
// record could hold are kept to what the test's record holds
int32_t Count(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 3) == 0) return in.ConsumeIntegral<int32_t>();
  return in.ConsumeIntegralInRange(-2, 10);
}

constexpr int32_t kMaxPoints = 12;
constexpr int32_t kMaxColumns = 6;
constexpr std::size_t kPosFields = 96;  // Pos, NewPos, Vel, NewVel

struct Host {
  GuardedArray points;
  GuardedArray faces;
  std::vector<std::unique_ptr<GuardedArray>> links, faceLists;
  Guarded setup{sizeof(TClothSetup)};
  Guarded grid;
  int32_t gridColumns;

  Host(int32_t pointCount, int32_t pointHeader, int32_t faceCount, int32_t faceHeader, int32_t columns)
      : points(sizeof(TClothPoint), pointCount, pointHeader),
        faces(sizeof(TClothFace), faceCount, faceHeader),
        grid(TumelinGridBytes(columns)),
        gridColumns(columns) {}

  TClothPoint* Point(int32_t i) { return reinterpret_cast<TClothPoint*>(points.Element(i)); }
  TSurfaceGrid* Grid() { return reinterpret_cast<TSurfaceGrid*>(grid.Bytes()); }
};

std::unique_ptr<Host> Decode(FuzzedDataProvider& in) {
  const int32_t pointCount = in.ConsumeIntegralInRange(0, kMaxPoints);
  const int32_t pointHeader = Header(in, pointCount);
  const int32_t faceCount = in.ConsumeIntegralInRange(0, 8);
  const int32_t faceHeader = Header(in, faceCount);
  const uint8_t mode = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<uint8_t>()
                                                            : in.ConsumeIntegralInRange<uint8_t>(0, 4);
  int32_t countU = Count(in);
  const int32_t countV = Count(in);
  if (countU > kMaxColumns && countU <= TUMELIN_GRID_MAX_COLUMNS) countU = 1 + countU % kMaxColumns;
  const int32_t columns = countU >= 1 && countU <= kMaxColumns ? countU : 1;
  auto host = std::make_unique<Host>(pointCount, pointHeader, faceCount, faceHeader, columns);

  for (int32_t i = 0; i < pointCount; ++i) {
    TClothPoint* p = host->Point(i);
    p->Pos = Vector(in, 4.0);
    p->NewPos = in.ConsumeBool() ? TDbl3D{} : Vector(in, 4.0);
    p->Vel = Vector(in, 1.0);
    p->NewVel = in.ConsumeBool() ? TDbl3D{} : Vector(in, 1.0);
    p->Fixed = in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegral<uint8_t>() : 0;
    std::memset(p->Reserved0, 0x5A, sizeof p->Reserved0);
    const int32_t linkCount = in.ConsumeIntegralInRange(0, 4);
    auto links = std::make_unique<GuardedArray>(sizeof(TClothLink), linkCount, Header(in, linkCount));
    for (int32_t k = 0; k < linkCount; ++k) {
      auto* link = reinterpret_cast<TClothLink*>(links->Element(k));
      link->Target = Index(in, pointCount);
      link->Reserved0 = 0x5A5A5A5A;
      link->RestLength = Real(in, 2.0);
    }
    // LinkCount may claim more than Links holds, or a negative number
    p->LinkCount = in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegral<int32_t>()
                                                        : in.ConsumeIntegralInRange(-1, linkCount + 2);
    p->Links = static_cast<TClothLinkArray>(links->Data());
    const int32_t adjacent = in.ConsumeIntegralInRange(0, 4);
    auto faceList = std::make_unique<GuardedArray>(sizeof(int32_t), adjacent, Header(in, adjacent));
    for (int32_t k = 0; k < adjacent; ++k) {
      const int32_t face = Index(in, faceCount);
      std::memcpy(faceList->Element(k), &face, sizeof face);
    }
    p->Faces = static_cast<TFaceIndexArray>(faceList->Data());
    host->links.push_back(std::move(links));
    host->faceLists.push_back(std::move(faceList));
  }
  for (int32_t j = 0; j < faceCount; ++j) {
    auto* face = reinterpret_cast<TClothFace*>(host->faces.Element(j));
    face->P0 = Index(in, pointCount);
    face->P1 = Index(in, pointCount);
    face->P2 = Index(in, pointCount);
    face->Reserved0 = 0x5A5A5A5A;
    face->Normal = Vector(in, 1.0);
  }
  auto* setup = reinterpret_cast<TClothSetup*>(host->setup.Bytes());
  setup->ClothP = Real(in, 5.0);
  setup->ClothK0 = Real(in, 50.0);
  setup->ClothK1 = Real(in, 50.0);
  setup->ClothC = Real(in, 10.0);
  setup->ClothT0 = in.ConsumeIntegral<int32_t>();
  setup->ClothMethod = in.ConsumeIntegralInRange(0, 3) == 0
                           ? in.ConsumeIntegral<int32_t>()
                           : in.ConsumeIntegralInRange(0, TUMELIN_METHOD_COUNT);
  // the record's cells hold a pattern, its head the counts
  unsigned char* gridBytes = host->grid.Bytes();
  for (std::size_t b = 0; b < host->grid.Size(); ++b)
    gridBytes[b] = static_cast<unsigned char>(b * 131u + 7u);
  host->Grid()->Mode = mode;
  host->Grid()->CountU = countU;
  host->Grid()->CountV = countV;
  return host;
}

void ExpectSame(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after,
                const char* what) {
  if (before != after) Fail(what);
}

// a step may write Pos, NewPos, Vel and NewVel of the points in the array
// and the Normal of the faces in it; nothing else of any buffer
void CheckStep(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after,
               const GuardedArray& array, int32_t header, std::size_t writableFrom, std::size_t writableTo,
               const char* what) {
  const int32_t inArray = header > 0 ? header : 0;
  std::vector<bool> writable(before.size(), false);
  for (int32_t i = 0; i < inArray; ++i) {
    for (std::size_t b = writableFrom; b < writableTo; ++b) writable[array.Offset(i, b)] = true;
  }
  for (std::size_t b = 0; b < before.size(); ++b) {
    if (before[b] != after[b] && !writable[b]) Fail(what);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::unique_ptr<Host> host = Decode(in);
  const int steps = in.ConsumeIntegralInRange(1, 3);
  int32_t pointHeader = 0, faceHeader = 0;
  if (host->points.Held() > 0) std::memcpy(&pointHeader, host->points.Element(0) - 4, 4);
  if (host->faces.Held() > 0) std::memcpy(&faceHeader, host->faces.Element(0) - 4, 4);

  std::vector<TDbl3D> pinned;
  for (int32_t i = 0; i < host->points.Held(); ++i) pinned.push_back(host->Point(i)->Pos);
  const auto pointsBefore = host->points.Snapshot();
  const auto facesBefore = host->faces.Snapshot();
  std::vector<std::vector<unsigned char>> linksBefore, faceListsBefore;
  for (const auto& a : host->links) linksBefore.push_back(a->Snapshot());
  for (const auto& a : host->faceLists) faceListsBefore.push_back(a->Snapshot());
  const auto setupBefore = host->setup.Snapshot();
  const auto gridBefore = host->grid.Snapshot();

  TClothPointArray pointsVar = static_cast<TClothPointArray>(host->points.Data());
  TClothFaceArray facesVar = static_cast<TClothFaceArray>(host->faces.Data());
  const auto* setup = reinterpret_cast<const TClothSetup*>(host->setup.Bytes());
  for (int s = 0; s < steps; ++s) {
    const int32_t result = PluginExecZR72(nullptr, &pointsVar, &facesVar, setup);
    if (result != (pointHeader > 0 ? pointHeader : 0)) Fail("the step did not return the number of points");
  }

  CheckStep(pointsBefore, host->points.Snapshot(), host->points, pointHeader, 0, kPosFields,
            "a step wrote outside the points' state fields");
  CheckStep(facesBefore, host->faces.Snapshot(), host->faces, faceHeader, offsetof(TClothFace, Normal),
            sizeof(TClothFace), "a step wrote outside the faces' normals");
  for (std::size_t k = 0; k < host->links.size(); ++k) {
    ExpectSame(linksBefore[k], host->links[k]->Snapshot(), "a step wrote into Links");
    ExpectSame(faceListsBefore[k], host->faceLists[k]->Snapshot(), "a step wrote into Faces");
  }
  ExpectSame(setupBefore, host->setup.Snapshot(), "a step wrote into the settings");
  ExpectSame(gridBefore, host->grid.Snapshot(), "a step wrote into the grid");
  for (int32_t i = 0; i < std::max(pointHeader, 0); ++i) {
    if (host->Point(i)->Fixed != 0 && std::memcmp(&host->Point(i)->Pos, &pinned[i], sizeof(TDbl3D)) != 0)
      Fail("a pinned point moved");
  }

  // the write-back: cells (u, v) with u < CountU, v < CountV of the record
  // only, and no byte of any point
  const auto pointsAfterStep = host->points.Snapshot();
  const int32_t countU = host->Grid()->CountU;
  const int32_t countV = host->Grid()->CountV;
  PluginExecZR73(host->Grid(), &pointsVar);
  ExpectSame(pointsAfterStep, host->points.Snapshot(), "the write-back changed a point");
  const auto gridAfter = host->grid.Snapshot();
  for (std::size_t b = 0; b < gridAfter.size(); ++b) {
    if (gridAfter[b] == gridBefore[b]) continue;
    const std::size_t offset = b - kGuardBytes;
    if (b < kGuardBytes || offset < TUMELIN_GRID_POINTS_OFFSET || offset >= host->grid.Size())
      Fail("the write-back wrote outside the cells");
    const std::size_t cell = offset - TUMELIN_GRID_POINTS_OFFSET;
    const int64_t u = static_cast<int64_t>(cell / TUMELIN_GRID_COLUMN_BYTES);
    const int64_t v = static_cast<int64_t>(cell % TUMELIN_GRID_COLUMN_BYTES / sizeof(TDbl3D));
    if (u >= countU || v >= countV) Fail("the write-back wrote a cell beyond the counts");
  }
  return 0;
}
