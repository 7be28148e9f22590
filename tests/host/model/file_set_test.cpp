// Files that appear together: written whole or not at all.
#include "file_set.h"

#include "host_fixtures.h"

namespace tumelin {
namespace {

// the names in a folder, sorted
std::vector<std::string> Listing(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().u8string());
  std::sort(names.begin(), names.end());
  return names;
}

// a later run knows a temporary name by its form and its process
TEST(Outputs, TemporaryNamesCarryTheirProcess) {
  long pid = 0;
  const std::string own =
      std::filesystem::u8path(TemporaryPathBeside("dir/surface.obj")).filename().u8string();
  EXPECT_TRUE(IsTemporaryName(own, &pid) && pid == OwnProcessId() && ProcessRunning(pid)) << own;
  for (const char* foreign :
       {"surface.obj.tmp-12-0123abcd", ".a.tmp-12-0123abc", ".a.tmp--0123abcd", ".tmp-1-0123abcd"})
    EXPECT_FALSE(IsTemporaryName(foreign, &pid)) << foreign;
}

TEST(Outputs, AtomicWriteLeavesOnlyTheFinishedFile) {
  const temp_file::TempFolder dir("host_atomic");
  std::string error;
  ASSERT_TRUE(WriteFileAtomic((dir.path / "a.txt").u8string(), "first", &error)) << error;
  ASSERT_TRUE(WriteFileAtomic((dir.path / "a.txt").u8string(), "second", &error)) << error;
  EXPECT_EQ(Listing(dir.path), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(temp_file::StateOf(dir.path / "a.txt").bytes, "second");
  EXPECT_FALSE(WriteFileAtomic((dir.path / "missing" / "b.txt").u8string(), "x", &error));
}

// a set of outputs appears whole or not at all: the previous set stays when
// one file cannot be placed or the set is dropped before it is committed
TEST(Outputs, ASetAppearsWholeOrLeavesThePreviousOne) {
  const temp_file::TempFolder dir("host_output_set");
  const auto path = [&](const char* name) { return (dir.path / name).u8string(); };
  std::string error;
  {
    OutputSet first;
    for (const char* name : {"a.obj", "b.png", "c.csv"})
      ASSERT_TRUE(first.Add(path(name), "old", &error)) << error;
    // nothing is in place before the commit
    for (const char* name : {"a.obj", "b.png", "c.csv"}) EXPECT_FALSE(std::filesystem::exists(path(name)));
    ASSERT_TRUE(first.Commit(&error)) << error;
  }
  const std::vector<std::string> oldSet = {"a.obj", "b.png", "c.csv"};
  EXPECT_EQ(Listing(dir.path), oldSet);

  // dropped: as if the run failed after writing two files
  {
    OutputSet dropped;
    ASSERT_TRUE(dropped.Add(path("a.obj"), "new", &error)) << error;
    ASSERT_TRUE(dropped.Add(path("b.png"), "new", &error)) << error;
  }
  EXPECT_EQ(Listing(dir.path), oldSet);

  // a folder where the last file belongs: the commit fails before any rename
  // and so does one whose rename fails after others were placed (a file
  // whose folder vanished)
  std::filesystem::create_directory(dir.path / "d.svg");
  {
    OutputSet blocked;
    for (const char* name : {"a.obj", "b.png", "c.csv", "d.svg"})
      ASSERT_TRUE(blocked.Add(path(name), "new", &error));
    EXPECT_FALSE(blocked.Commit(&error));
    EXPECT_NE(error.find("d.svg"), std::string::npos) << error;
  }
  std::filesystem::create_directory(dir.path / "sub");
  {
    OutputSet broken;
    for (const char* name : {"a.obj", "b.png"}) ASSERT_TRUE(broken.Add(path(name), "new", &error));
    ASSERT_TRUE(broken.Add((dir.path / "sub" / "e.csv").u8string(), "new", &error));
    std::filesystem::remove_all(dir.path / "sub");
    EXPECT_FALSE(broken.Commit(&error));
  }
  EXPECT_EQ(Listing(dir.path), (std::vector<std::string>{"a.obj", "b.png", "c.csv", "d.svg"}));
  for (const char* name : {"a.obj", "b.png", "c.csv"})
    EXPECT_EQ(temp_file::StateOf(dir.path / name).bytes, "old") << name;
}

}  // namespace
}  // namespace tumelin
