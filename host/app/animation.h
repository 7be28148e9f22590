// The animation of a run: animation.gif, built with giflib frame by frame,
// and animation.mp4, made by ffmpeg from the same frames where ffmpeg is
// installed (found on PATH and started as a child process).
#pragma once

#include <cstdint>
#include <string>

#include "render.h"

namespace tumelin {

inline constexpr int kAnimationFramesPerSecond = 25;
// frames an animation gets when no --every says how often
inline constexpr int64_t kDefaultAnimationFrames = 100;

// the steps between animation frames: `every` when given, else so many that
// the run gives about kDefaultAnimationFrames
int64_t AnimationEvery(int64_t steps, int64_t every);

class Animation {
 public:
  // the frames ffmpeg reads wait in a hidden folder inside `folder`
  explicit Animation(const std::string& folder);
  ~Animation();  // removes the waiting frames
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  // false with a message
  bool Add(const Image& frame, std::string* error);
  // the GIF file, and the MP4 file or an empty `mp4` with `note` saying why
  // there is none; false with a message when the GIF cannot be made
  bool Finish(std::string* gif, std::string* mp4, std::string* note, std::string* error);

 private:
  GifAnimation gif_;
  std::string frameFolder_;  // empty: frames for ffmpeg are not kept
  int64_t frames_ = 0;
};

}  // namespace tumelin
