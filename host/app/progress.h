// The line on the terminal that says how far a run or a sweep is.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tumelin {

bool IsTerminal(FILE* stream);
// a line on the terminal that says how far a job is; for a run it appears
// only after a few seconds, and never when stderr is not a terminal
class Progress {
 public:
  static constexpr std::chrono::seconds kRunDelay{2};
  explicit Progress(bool enabled, std::chrono::seconds delay = kRunDelay)
      : enabled_(enabled && IsTerminal(stderr)), delay_(delay) {}
  // `text` is drawn when the job has run long enough and the last drawing
  // is a tenth of a second old, or when `force`
  void Show(const std::string& text, bool force = false) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_) return;
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\r%-72.72s", text.c_str());
    std::fflush(stderr);
  }
  void Finish() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%72s\r", "");
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  std::chrono::seconds delay_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), last_{};
};
// "[########.......]  42%  step 420/1000"
std::string StepBar(int64_t done, int64_t total);

}  // namespace tumelin
