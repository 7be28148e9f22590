#include "child_process.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "interrupt.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace tumelin {

int ProcessorCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

std::wstring WindowsCommandLine(const std::vector<std::wstring>& words) {
  std::wstring line;
  for (const std::wstring& word : words) {
    if (!line.empty()) line += L' ';
    if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
      line += word;
      continue;
    }
    // backslashes are literal unless they precede a quote: then they double
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : word) {
      if (c == L'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
      backslashes = 0;
      line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
  }
  return line;
}

#ifdef _WIN32

namespace {

// one child starts at a time, so that no child inherits another's log file
std::mutex startMutex;

std::wstring Wide(const std::string& utf8) { return std::filesystem::u8path(utf8).wstring(); }

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& logPath, std::string* error) {
  std::vector<std::wstring> words = {Wide(program)};
  for (const std::string& a : arguments) words.push_back(Wide(a));
  std::wstring commandLine = WindowsCommandLine(words);
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  std::lock_guard<std::mutex> lock(startMutex);
  HANDLE log = CreateFileW(Wide(logPath).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) {
    *error = "cannot write " + logPath;
    return false;
  }
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = log;
  startup.hStdError = log;
  PROCESS_INFORMATION info = {};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &info);
  const DWORD code = GetLastError();
  CloseHandle(log);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (!started) {
    *error = "cannot start " + program + (code == ERROR_FILE_NOT_FOUND ? ": no such program" : "");
    return false;
  }
  CloseHandle(info.hThread);
  handle_ = info.hProcess;
  return true;
}

int ChildProcess::Wait() {
  if (handle_ == nullptr) return -1;
  // a child without a console gets no Ctrl+C: it is ended when this program stops
  constexpr DWORD kPollMs = 50;
  while (WaitForSingleObject(handle_, kPollMs) == WAIT_TIMEOUT) {
    if (InterruptSignal() != 0)
      TerminateProcess(handle_, static_cast<UINT>(InterruptedExitStatus(InterruptSignal())));
  }
  DWORD code = 0;
  GetExitCodeProcess(handle_, &code);
  CloseHandle(handle_);
  handle_ = nullptr;
  return static_cast<int>(code);
}

ChildProcess::~ChildProcess() { Wait(); }

std::string OwnProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return std::filesystem::path(path).u8string();
    }
    path.resize(path.size() * 2);
  }
}

#else

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& logPath, std::string* error) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  // a bare name is looked up on PATH, a path is taken as it is
  const int failed = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    *error =
        "cannot start " + program + ": " + (failed == ENOENT ? "no such program" : std::strerror(failed));
    return false;
  }
  pid_ = pid;
  return true;
}

int ChildProcess::Wait() {
  if (pid_ < 0) return -1;
  int status = 0;
  // polled, so that a stop request reaches the child whichever thread the
  // signal was delivered to; the pause grows to 50 ms for a long child
  bool asked = false;
  auto pause = std::chrono::microseconds(500);
  for (;;) {
    const pid_t ended = waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
    if (ended == static_cast<pid_t>(pid_) || (ended < 0 && errno != EINTR)) break;
    if (!asked && InterruptSignal() != 0) {
      kill(static_cast<pid_t>(pid_), SIGTERM);
      asked = true;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(50));
  }
  pid_ = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

ChildProcess::~ChildProcess() { Wait(); }

std::string OwnProgramPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.u8string();
}

#endif

}  // namespace tumelin
