#include "process_id.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tumelin {

#ifdef _WIN32
long OwnProcessId() { return static_cast<long>(GetCurrentProcessId()); }

bool ProcessRunning(long pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  // one that exists but may not be opened runs under another account
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}
#else
long OwnProcessId() { return static_cast<long>(getpid()); }

bool ProcessRunning(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }
#endif

}  // namespace tumelin
