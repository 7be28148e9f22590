// Child processes, one small abstraction over posix_spawn (Linux) and
// CreateProcess (Windows): start a program with its own argument list, its
// standard output and error into a file, and wait for its exit status.
// A sweep runs its runs this way; the animation runs ffmpeg this way.
#pragma once

#include <string>
#include <vector>

namespace tumelin {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // waits for a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // starts `program` (a path, or a bare name looked up on PATH) with
  // `arguments` (not counting the program itself); its standard output and
  // error go to the file `logPath`, its standard input is empty. false with
  // a one-line message when it cannot start, e.g. no such program
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& logPath, std::string* error);
  // waits for the child to end and returns its exit status (on Linux 128 +
  // the signal for a child a signal ended); -1 when none was started. Once
  // this program is asked to stop (interrupt.h), the child is asked too
  int Wait();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  long pid_ = -1;
#endif
};

// the path of the program now running, to start it again
std::string OwnProgramPath();
// processors this machine offers, at least 1
int ProcessorCount();

// the command line CreateProcess is given, quoted so that the child's
// runtime splits it back into exactly these words (used on Windows)
std::wstring WindowsCommandLine(const std::vector<std::wstring>& words);

}  // namespace tumelin
