#include "interrupt.h"

#include <csignal>

namespace tumelin {

namespace {

// written by the handler, read by the loops: a lock-free atomic type is
// async-signal-safe
volatile std::sig_atomic_t requested = 0;

extern "C" void RecordSignal(int signal) { requested = signal; }

}  // namespace

void CatchInterrupts() {
  for (const int signal : {SIGINT, SIGTERM}) {
#ifdef _WIN32
    if (std::signal(signal, RecordSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
#else
    struct sigaction previous = {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = RecordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
#endif
  }
}

int InterruptSignal() { return requested; }

void StopIfInterrupted(const std::string& what) {
  const int signal = requested;
  if (signal == 0) return;
  throw Interrupted{std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + " " + what};
}

int InterruptedExitStatus(int signal) { return 128 + signal; }

}  // namespace tumelin
