// Starting the host's own runs: command lines, exit status, output.
#include "child_process.h"

#include "host_fixtures.h"

using namespace tumelin;

TEST(ChildProcess, QuotesWindowsCommandLinesSoTheyParseBack) {
  struct Case {
    std::vector<std::wstring> words;
    std::wstring line;
  };
  const Case cases[] = {
      {{L"a.exe", L"run", L"--set", L"ClothP=0.5"}, L"a.exe run --set ClothP=0.5"},
      {{L"C:\\Program Files\\t.exe", L""}, L"\"C:\\Program Files\\t.exe\" \"\""},
      {{L"x", L"say \"hi\""}, L"x \"say \\\"hi\\\"\""},
      {{L"x", L"C:\\a b\\"}, L"x \"C:\\a b\\\\\""},
      {{L"x", L"a\\\\b"}, L"x a\\\\b"},
  };
  for (const Case& c : cases) EXPECT_TRUE(WindowsCommandLine(c.words) == c.line);
}

TEST(ChildProcess, ReportsExitStatusAndOutputAndAMissingProgram) {
  const auto log = temp_file::UniquePath("child.log");
  ChildProcess child;
  std::string error;
#ifdef _WIN32
  ASSERT_TRUE(child.Start("cmd.exe", {"/c", "echo hello& exit 3"}, log.u8string(), &error)) << error;
#else
  ASSERT_TRUE(child.Start("/bin/sh", {"-c", "echo hello; echo oops >&2; exit 3"}, log.u8string(), &error))
      << error;
#endif
  EXPECT_EQ(child.Wait(), 3);
  EXPECT_EQ(child.Wait(), -1);  // waited for already
  std::string output;
  EXPECT_TRUE(ReadFileBytes(log.u8string(), &output));
  EXPECT_EQ(output.substr(0, 5), "hello");
  // under wine the console may hold the log a moment longer: no throw here
  std::error_code ignored;
  std::filesystem::remove(log, ignored);

  ChildProcess missing;
  const auto missingLog = temp_file::UniquePath("missing_child.log");
  EXPECT_FALSE(missing.Start("tumelin-no-such-program", {}, missingLog.u8string(), &error));
  EXPECT_NE(error.find("tumelin-no-such-program"), std::string::npos);
  std::filesystem::remove(missingLog, ignored);
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_FALSE(OwnProgramPath().empty());
}
