// SIGINT and SIGTERM (Ctrl+C, a closed console on Windows) as a request to
// stop: the handler only records the signal, and the command's loops ask
// for it between steps, stop, and let what they made be removed on the way
// out, so that an interrupted command leaves its folders as it found them.
#pragma once

#include <string>

namespace tumelin {

// installs the handler for both signals; a signal that was ignored when the
// program started (a background job of a script) stays ignored
void CatchInterrupts();
// the signal that asked to stop, 0 while none did
int InterruptSignal();

// what a command throws once it sees the request
struct Interrupted {
  std::string message;
};
// throws Interrupted, its message ending in `what`, when a signal asked to stop
void StopIfInterrupted(const std::string& what);

// the exit status of a program that stops for signal `signal`: 128 + signal
int InterruptedExitStatus(int signal);

}  // namespace tumelin
