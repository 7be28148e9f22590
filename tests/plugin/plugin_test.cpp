// Loads the built Tumelin.kwt the way a host does (by path, entries bound by
// name through the public header) and checks what crosses the boundary.
#include <gtest/gtest.h>
#include <tumelin/tumelin.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "loaded_plugin.h"
#include "membranes.h"
#include "records.h"
#include "settings.h"

namespace {

using namespace loaded;
using tumelin::Bits;
using tumelin::SameSetup;

std::u16string Text(const char16_t* s) { return s == nullptr ? std::u16string() : std::u16string(s); }

struct Registration {
  const char16_t* prefix = nullptr;
  const char16_t* code = nullptr;
  const char16_t* token = nullptr;
  const char16_t* name = nullptr;
  int32_t integer = -1;
  double stamp = 0.0;
  int32_t result = -1;
};

Registration Register(TPluginRgstZR6 entry) {
  Registration r;
  r.result = entry(&r.prefix, &r.code, &r.token, &r.name, &r.integer, &r.stamp);
  return r;
}

TEST(Exports, EverySixEntryIsBoundByName) {
  const tumelin::Plugin& e = LoadedPlugin();
  EXPECT_NE(e.nameZR7, nullptr);
  EXPECT_NE(e.rgstZR6, nullptr);
  EXPECT_NE(e.rgstZR7, nullptr);
  EXPECT_NE(e.execZR71, nullptr);
  EXPECT_NE(e.execZR72, nullptr);
  EXPECT_NE(e.execZR73, nullptr);
}

TEST(Registration, NameIsTenCharactersAndStable) {
  const char16_t* name = LoadedPlugin().nameZR7();
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(Text(name), u"Tumelin,52");
  EXPECT_EQ(name[10], u'\0');
  EXPECT_EQ(LoadedPlugin().nameZR7(), name);
}

TEST(Registration, GenerationsDifferOnlyInThePrefix) {
  const Registration r6 = Register(LoadedPlugin().rgstZR6);
  const Registration r7 = Register(LoadedPlugin().rgstZR7);
  EXPECT_EQ(r6.result, 0);
  EXPECT_EQ(r7.result, 0);
  EXPECT_EQ(Text(r6.prefix), u"KWDX-");
  EXPECT_EQ(Text(r7.prefix), u"QJ7");
  EXPECT_EQ(Text(r6.code), u"-TMLN");
  EXPECT_EQ(Text(r6.name), u"KW_Tumelin");
  EXPECT_EQ(r6.integer, 0);
  // slots 2 to 6 are the same objects and bits for both generations
  EXPECT_EQ(r6.code, r7.code);
  EXPECT_EQ(r6.token, r7.token);
  EXPECT_EQ(r6.name, r7.name);
  EXPECT_EQ(r6.integer, r7.integer);
  EXPECT_EQ(Bits(r6.stamp), Bits(r7.stamp));
}

TEST(Registration, TokenIsThirtyTwoAsciiLettersAndDigits) {
  const std::u16string token = Text(Register(LoadedPlugin().rgstZR7).token);
  ASSERT_EQ(token.size(), 32u);
  for (char16_t c : token) {
    const bool alphanumeric =
        (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    EXPECT_TRUE(alphanumeric) << static_cast<int>(c);
  }
}

TEST(Registration, RepeatedCallsHandOutTheSamePointersAndStampBits) {
  const Registration first = Register(LoadedPlugin().rgstZR6);
  const Registration second = Register(LoadedPlugin().rgstZR6);
  EXPECT_EQ(first.prefix, second.prefix);
  EXPECT_EQ(first.code, second.code);
  EXPECT_EQ(first.token, second.token);
  EXPECT_EQ(first.name, second.name);
  // 2012-04-03 14:15:09.000 as days since 1899-12-30
  EXPECT_EQ(Bits(first.stamp), 0x40E4055300DA740Eull);
  EXPECT_EQ(Bits(second.stamp), 0x40E4055300DA740Eull);
}

TEST(Registration, NullSlotsAreSkipped) {
  const char16_t* code = nullptr;
  double stamp = 0.0;
  EXPECT_EQ(LoadedPlugin().rgstZR7(nullptr, &code, nullptr, nullptr, nullptr, &stamp), 0);
  EXPECT_EQ(Text(code), u"-TMLN");
  EXPECT_EQ(Bits(stamp), 0x40E4055300DA740Eull);
}

TEST(SettingsEntry, NoPathGivesEveryDefault) {
  TClothSetup defaults;
  tumelin::SetupDefaults(&defaults);
  const char16_t* nullPath = nullptr;
  // a null string in the reference and a null reference both mean "no file";
  // the record's earlier contents (all zeros from a host's calloc, or a
  // pattern) must not survive
  const char16_t* const* const references[] = {&nullPath, nullptr};
  for (const char16_t* const* reference : references) {
    for (int fill : {0x00, 0xA5}) {
      TClothSetup setup;
      std::memset(&setup, fill, sizeof setup);
      // arguments 2 to 4 are never read, whatever they hold
      LoadedPlugin().execZR71(reference, reinterpret_cast<void*>(1), reinterpret_cast<void*>(-1), nullptr,
                              &setup);
      EXPECT_EQ(std::memcmp(&setup, &defaults, sizeof setup), 0)
          << (reference == nullptr ? "null reference" : "null path") << ", fill " << fill;
    }
  }
}

TEST(SettingsEntry, NullSetupIsIgnored) {
  const char16_t* path = u"x.ini";
  LoadedPlugin().execZR71(&path, nullptr, nullptr, nullptr, nullptr);
}

TEST(SettingsEntry, ReadsTheFileAndCopiesThePath) {
  const TempFile ini("plugin_test_read.ini",
                     "[setup]\r\nclothp=0.25\r\nClothK0 = 2e1\r\nClothT0=$1f4\r\nClothMethod=2\r\n");
  EXPECT_TRUE(SameSetup(LoadThroughEntry(ini.Path().u16string()), {0.25, 20.0, 5.0, 1.0, 500, 2}));
}

// Loading settings never writes the file, whatever it holds and whichever
// reader takes it: the entry (which on Windows flushes the profile cache),
// LoadSetup and the INI reader's lookups leave its bytes and modification
// time, and no handle stays open (on Windows an open file could not be
// removed).
TEST(SettingsEntry, NoReaderChangesTheFile) {
  std::string corpus;
  tumelin::ReadFileBytes(TUMELIN_TEST_DATA "/ini/basic_crlf.ini", &corpus);
  const std::string odd =
      "[Setup]\r\nClothP=1e400\r\nClothK0=0,5\r\nClothK1=1\r\nClothT0=$FFFFFFFF\r\n"
      "ClothMethod=x\r\nClothC=" +
      std::string(3000, '7') + "\r\n[Other]\r\nClothP=2\r\n";
  for (const std::string& contents : {corpus, odd}) {
    const temp_file::TempFolder folder("settings_untouched");
    const std::filesystem::path file = folder.path / "setup.ini";
    std::ofstream(file, std::ios::binary) << contents;
    const temp_file::FileState before = temp_file::AgeFile(file);
    const std::u16string path = tumelin::Utf8ToUtf16(file.u8string());
    for (int i = 0; i < 3; ++i) LoadThroughEntry(path);
    TClothSetup setup;
    tumelin::LoadSetup(path, &setup, u'.');
    for (const char16_t* key : {u"ClothP", u"ClothC", u"ClothK0", u"ClothK1", u"ClothT0", u"ClothMethod"})
      EXPECT_FALSE(tumelin::ReadProfileString(path, u"Setup", key).empty()) << tumelin::Utf16ToUtf8(key);
    EXPECT_EQ(tumelin::ReadProfileString(path, u"Missing", u"ClothP"), u"");
    EXPECT_EQ(tumelin::ReadProfileString(path, u"Setup", u"Missing"), u"");
    EXPECT_TRUE(temp_file::StateOf(file) == before);
    EXPECT_TRUE(std::filesystem::remove(file));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
  }
}

// the bytes of every host record a step reaches, padding included
struct HostRecords {
  std::vector<unsigned char> points, faces, setup;
  std::vector<std::vector<unsigned char>> links, faceLists;

  HostRecords(const tumelin::Membrane& m, const TClothSetup& s)
      : points(tumelin::RecordBytes(m.points)),
        faces(tumelin::RecordBytes(m.faces)),
        setup(reinterpret_cast<const unsigned char*>(&s), reinterpret_cast<const unsigned char*>(&s + 1)) {
    for (const auto& l : m.links) links.push_back(tumelin::RecordBytes(l));
    for (const auto& f : m.faceLists) faceLists.push_back(tumelin::RecordBytes(f));
  }
};

// bytes [from, to) of every element of a record may differ; no other byte
::testing::AssertionResult OnlyFieldsDiffer(const std::vector<unsigned char>& before,
                                            const std::vector<unsigned char>& after, std::size_t stride,
                                            std::size_t from, std::size_t to) {
  if (before.size() != after.size()) return ::testing::AssertionFailure() << "the record changed size";
  for (std::size_t b = 0; b < before.size(); ++b) {
    if (before[b] == after[b]) continue;
    // the 8-byte header word comes first
    const std::size_t at = (b - 8) % stride;
    if (b < 8 || at < from || at >= to)
      return ::testing::AssertionFailure()
             << "byte " << at << " of element " << (b - 8) / stride << " changed";
  }
  return ::testing::AssertionSuccess();
}

// A step writes Pos, NewPos, Vel, NewVel of the points and the faces'
// Normal, nothing else; a write-back writes only cells. Every byte of every
// record is compared, the padding filled with a pattern.
TEST(StepEntry, WritesOnlyTheStateFieldsAndTheNormals) {
  using namespace tumelin;
  Membrane m = SphereMembrane(9, 5);
  m.points[0].Fixed = 7;
  for (int32_t i = 0; i < m.points.Count(); ++i) std::memset(m.points[i].Reserved0, 0x5A, 3);
  for (int32_t j = 0; j < m.faces.Count(); ++j) m.faces[j].Reserved0 = 0x5A5A5A5A;
  for (auto& links : m.links) {
    for (int32_t k = 0; k < links.Count(); ++k) links[k].Reserved0 = 0x5A5A5A5A;
  }
  const TClothSetup setup =
      LoadThroughEntry(TempFile("plugin_test_fields.ini", "[Setup]\nClothMethod=2\n").Path().u16string());
  const HostRecords before(m, setup);

  for (int step = 0; step < 3; ++step) LoadedPlugin().execZR72(nullptr, &m.pointsVar, &m.facesVar, &setup);

  const HostRecords after(m, setup);
  EXPECT_TRUE(
      OnlyFieldsDiffer(before.points, after.points, sizeof(TClothPoint), 0, offsetof(TClothPoint, Fixed)));
  EXPECT_TRUE(OnlyFieldsDiffer(before.faces, after.faces, sizeof(TClothFace), offsetof(TClothFace, Normal),
                               sizeof(TClothFace)));
  EXPECT_EQ(after.setup, before.setup);
  EXPECT_EQ(after.links, before.links);
  EXPECT_EQ(after.faceLists, before.faceLists);

  // one spare column and the head must keep their pattern
  std::vector<unsigned char> record(TumelinGridBytes(m.columns + 1));
  for (std::size_t b = 0; b < record.size(); ++b) record[b] = static_cast<unsigned char>(b * 131u + 7u);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(record.data());
  grid->Mode = m.mode;
  grid->CountU = m.columns;
  grid->CountV = m.rows;
  const std::vector<unsigned char> gridBefore = record;
  const HostRecords beforeWriteBack(m, setup);
  LoadedPlugin().execZR73(grid, &m.pointsVar);
  EXPECT_EQ(HostRecords(m, setup).points, beforeWriteBack.points);
  for (std::size_t b = 0; b < record.size(); ++b) {
    const auto [u, v] = GridCellOf(b);
    const bool inUse = b >= TUMELIN_GRID_POINTS_OFFSET && u < static_cast<std::size_t>(m.columns) &&
                       v < static_cast<std::size_t>(m.rows);
    if (inUse) continue;
    ASSERT_EQ(record[b], gridBefore[b]) << "grid byte " << b;
  }
}

// A null PointsVar, FacesVar or Setup steps nothing and touches nothing. A
// null array in a variable is the empty array: without points no face has a
// corner (zero normals), without faces no point feels pressure but the step
// still runs. A null grid is written nothing.
TEST(StepEntry, NullArgumentsStepNothing) {
  const TPluginExecZR72 step = LoadedPlugin().execZR72;
  const TClothSetup setup{0.004, 0.05, 0.02, 0.5, 500, 0};
  const TDbl3D threes{3.0, 3.0, 3.0}, zero{0.0, 0.0, 0.0};
  tumelin::Membrane m = tumelin::SphereMembrane(9, 5);
  m.faces[0].Normal = threes;
  const TClothPoint before = m.points[1];
  EXPECT_EQ(step(nullptr, nullptr, &m.facesVar, &setup), 0);
  EXPECT_EQ(step(nullptr, &m.pointsVar, nullptr, &setup), 0);
  EXPECT_EQ(step(nullptr, &m.pointsVar, &m.facesVar, nullptr), 0);
  EXPECT_EQ(std::memcmp(&m.points[1], &before, sizeof before), 0);
  EXPECT_EQ(std::memcmp(&m.faces[0].Normal, &threes, sizeof threes), 0) << "untouched normal";

  TClothPointArray noPoints = nullptr;
  TClothFaceArray noFaces = nullptr;
  EXPECT_EQ(step(nullptr, &noPoints, &noFaces, &setup), 0);
  EXPECT_EQ(step(nullptr, &noPoints, &m.facesVar, &setup), 0);
  EXPECT_EQ(std::memcmp(&m.faces[0].Normal, &zero, sizeof zero), 0) << "no points";
  EXPECT_EQ(step(nullptr, &m.pointsVar, &noFaces, &setup), m.points.Count());
  EXPECT_NE(std::memcmp(&m.points[1].Vel, &before.Vel, sizeof before.Vel), 0) << "gravity acts";
  LoadedPlugin().execZR73(nullptr, &noPoints);
}

// A host's whole road through the entries: settings, steps, grid. The loaded
// plug-in must compute exactly what the core library computes.
TEST(HostRun, StepsAndGridThroughTheEntriesMatchTheCore) {
  using namespace tumelin;
  Membrane viaPlugin = SphereMembrane(9, 5);
  Membrane viaCore = SphereMembrane(9, 5);
  viaPlugin.points[0].Fixed = 1;
  viaCore.points[0].Fixed = 1;

  const TClothSetup setup = LoadThroughEntry(
      TempFile("plugin_test_run.ini", "[Setup]\nClothP=2\nClothMethod=2\n").Path().u16string());
  ASSERT_EQ(setup.ClothMethod, 2);

  const double volumeBefore = -SignedVolume(viaPlugin);
  for (int step = 0; step < 40; ++step) {
    ASSERT_EQ(LoadedPlugin().execZR72(nullptr, &viaPlugin.pointsVar, &viaPlugin.facesVar, &setup),
              viaPlugin.points.Count());
    Step(viaCore, setup);
  }
  for (int32_t i = 0; i < viaPlugin.points.Count(); ++i) {
    EXPECT_TRUE(SameBits(viaPlugin.points[i].Pos, viaCore.points[i].Pos)) << "point " << i;
    EXPECT_TRUE(SameBits(viaPlugin.points[i].Vel, viaCore.points[i].Vel)) << "point " << i;
  }
  // wound clockwise from outside, so positive pressure inflates it
  EXPECT_GT(-SignedVolume(viaPlugin), volumeBefore);

  // mode 0: pole row, rings with the seam, pole row
  std::vector<std::uint64_t> record = GridRecord(viaPlugin);
  auto* grid = reinterpret_cast<TSurfaceGrid*>(record.data());
  LoadedPlugin().execZR73(grid, &viaPlugin.pointsVar);
  for (int32_t v = 0; v < viaPlugin.rows; ++v) {
    for (int32_t u = 0; u < viaPlugin.columns; ++u) {
      const int32_t index = CellPoint(viaPlugin.shape, u, v, viaPlugin.columns, viaPlugin.rows);
      EXPECT_TRUE(SameBits(*TumelinGridCell(grid, u, v), viaPlugin.points[index].Pos)) << u << "," << v;
    }
  }
}

// Two threads host two different membranes at the same time through one
// loaded copy: each loads its own settings file into its own record, steps
// and writes its own grid after every step. Each must get the bits it gets
// when the runs go one after the other. The threads share nothing but the
// plug-in and a start flag.
TEST(ConcurrentHosts, TwoThreadsHostingTwoMembranesGetTheSequentialResults) {
  using namespace tumelin;
  struct Run {
    int32_t columns, rows, method;
    uint64_t hash = 0;
    std::vector<uint64_t> grid{};
  };
  // the same and different sizes and methods side by side
  std::vector<Run> pairs[] = {{{17, 9, 2}, {13, 7, 2}}, {{17, 9, 2}, {13, 7, 1}}, {{9, 5, 0}, {17, 9, 2}}};
  constexpr int kSteps = 300;
  auto hostAll = [](Run& run, const std::atomic<bool>* start) {
    Membrane m = SphereMembrane(run.columns, run.rows);
    m.points[0].Fixed = 1;
    const TempFile ini(
        "concurrent_" + std::to_string(run.columns) + "_" + std::to_string(run.method) + ".ini",
        "[Setup]\nClothK0=5\nClothMethod=" + std::to_string(run.method) + "\n");
    const std::u16string path = ini.Path().u16string();
    const char16_t* pathPointer = path.c_str();
    TClothSetup setup{};
    run.grid = GridRecord(m);
    auto* grid = reinterpret_cast<TSurfaceGrid*>(run.grid.data());
    if (start != nullptr)
      while (!start->load()) std::this_thread::yield();
    LoadedPlugin().execZR71(&pathPointer, nullptr, nullptr, nullptr, &setup);
    for (int step = 0; step < kSteps; ++step) {
      LoadedPlugin().execZR72(nullptr, &m.pointsVar, &m.facesVar, &setup);
      LoadedPlugin().execZR73(grid, &m.pointsVar);
    }
    run.hash = StateHash(m);
  };
  LoadedPlugin();  // loaded before the threads start
  for (std::vector<Run>& runs : pairs) {
    std::vector<Run> alone = runs;
    for (Run& run : alone) hostAll(run, nullptr);
    std::atomic<bool> start{false};
    std::thread first(hostAll, std::ref(runs[0]), &start);
    std::thread second(hostAll, std::ref(runs[1]), &start);
    start.store(true);
    first.join();
    second.join();
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].hash, alone[i].hash) << "membrane " << i << " method " << runs[i].method;
      EXPECT_EQ(runs[i].grid, alone[i].grid) << "grid " << i << " method " << runs[i].method;
    }
  }
}

#ifdef _WIN32
// Calls `fn` with `count` 32-bit arguments pushed right to left onto a stack
// that sits `misalign` bytes below a 32-byte boundary before the pushes, and
// reports how far the stack pointer moved across the call: 0 when the callee
// removed exactly its own arguments (stdcall).
extern "C" uint32_t CallMeasuringStack(const void* fn, const uint32_t* args, int32_t count, int32_t misalign,
                                       int32_t* stackDelta);
__asm__(R"(
  .text
  .globl _CallMeasuringStack
_CallMeasuringStack:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl 8(%ebp), %eax
  movl 12(%ebp), %esi
  movl 16(%ebp), %ecx
  andl $-32, %esp
  subl 20(%ebp), %esp
  movl %esp, %edi
1:
  testl %ecx, %ecx
  jz 2f
  decl %ecx
  pushl (%esi,%ecx,4)
  jmp 1b
2:
  call *%eax
  movl %esp, %ecx
  subl %edi, %ecx
  movl 24(%ebp), %edx
  movl %ecx, (%edx)
  leal -12(%ebp), %esp
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

uint32_t Arg(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

TEST(Stdcall, EveryEntryRemovesExactlyItsArguments) {
  const tumelin::Plugin& e = LoadedPlugin();
  int32_t delta = -1;

  CallMeasuringStack(reinterpret_cast<const void*>(e.nameZR7), nullptr, 0, 0, &delta);
  EXPECT_EQ(delta, 0) << "PluginNameZR7";

  const char16_t *s1, *s2, *s3, *s4;
  int32_t integer;
  double stamp;
  const uint32_t rgst[6] = {Arg(&s1), Arg(&s2), Arg(&s3), Arg(&s4), Arg(&integer), Arg(&stamp)};
  EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(e.rgstZR6), rgst, 6, 0, &delta), 0u);
  EXPECT_EQ(delta, 0) << "PluginRgstZR6";
  EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(e.rgstZR7), rgst, 6, 0, &delta), 0u);
  EXPECT_EQ(delta, 0) << "PluginRgstZR7";

  const char16_t* nullPath = nullptr;
  TClothSetup setup;
  const uint32_t exec71[5] = {Arg(&nullPath), 1, 2, 3, Arg(&setup)};
  CallMeasuringStack(reinterpret_cast<const void*>(e.execZR71), exec71, 5, 0, &delta);
  EXPECT_EQ(delta, 0) << "PluginExecZR71";

  TClothPointArray points = nullptr;
  TClothFaceArray faces = nullptr;
  const uint32_t exec72[4] = {7, Arg(&points), Arg(&faces), Arg(&setup)};
  EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(e.execZR72), exec72, 4, 0, &delta), 0u);
  EXPECT_EQ(delta, 0) << "PluginExecZR72";

  alignas(8) unsigned char grid[TUMELIN_GRID_POINTS_OFFSET + TUMELIN_GRID_COLUMN_BYTES] = {};
  grid[0] = 9;  // a mode that writes nothing
  const uint32_t exec73[2] = {Arg(grid), Arg(&points)};
  CallMeasuringStack(reinterpret_cast<const void*>(e.execZR73), exec73, 2, 0, &delta);
  EXPECT_EQ(delta, 0) << "PluginExecZR73";
}

// A host's stack is only 4-byte aligned, and the step's AVX code keeps 32-byte
// registers on the stack: at each of the eight misalignments of a 4-byte
// aligned stack, settings and steps must run and give the bits of a normal call.
TEST(Stdcall, EntriesRunAtEveryStackMisalignment) {
  using namespace tumelin;
  const tumelin::Plugin& e = LoadedPlugin();
  const char16_t* nullPath = nullptr;
  for (int32_t method : {TUMELIN_METHOD_EULER, TUMELIN_METHOD_HEUN, TUMELIN_METHOD_RK4}) {
    TClothSetup setup;
    e.execZR71(&nullPath, nullptr, nullptr, nullptr, &setup);
    setup.ClothMethod = method;
    Membrane aligned = SphereMembrane(17, 9);
    for (int step = 0; step < 3; ++step) e.execZR72(nullptr, &aligned.pointsVar, &aligned.facesVar, &setup);
    for (int32_t misalign = 0; misalign < 32; misalign += 4) {
      const std::string what =
          "method " + std::to_string(method) + " misaligned by " + std::to_string(misalign);
      TClothSetup loaded;
      int32_t delta = -1;
      const uint32_t exec71[5] = {Arg(&nullPath), 0, 0, 0, Arg(&loaded)};
      CallMeasuringStack(reinterpret_cast<const void*>(e.execZR71), exec71, 5, misalign, &delta);
      EXPECT_EQ(delta, 0) << what;
      loaded.ClothMethod = method;
      ASSERT_TRUE(SameBits(loaded, setup)) << what;
      Membrane m = SphereMembrane(17, 9);
      const uint32_t exec72[4] = {0, Arg(&m.pointsVar), Arg(&m.facesVar), Arg(&loaded)};
      for (int step = 0; step < 3; ++step) {
        EXPECT_EQ(CallMeasuringStack(reinterpret_cast<const void*>(e.execZR72), exec72, 4, misalign, &delta),
                  static_cast<uint32_t>(m.points.Count()))
            << what;
        EXPECT_EQ(delta, 0) << what;
      }
      EXPECT_EQ(StateHash(m), StateHash(aligned)) << what;
    }
  }
}

#endif

}  // namespace
