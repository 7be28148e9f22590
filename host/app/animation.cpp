#include "animation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "child_process.h"
#include "file_set.h"
#include "text.h"

namespace tumelin {

namespace fs = std::filesystem;

namespace {

std::string FramePath(const std::string& folder, int64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
  return (fs::u8path(folder) / name).u8string();
}

}  // namespace

int64_t AnimationEvery(int64_t steps, int64_t every) {
  if (every > 0) return every;
  return std::max<int64_t>(1, (steps + kDefaultAnimationFrames - 1) / kDefaultAnimationFrames);
}

Animation::Animation(const std::string& folder) : gif_(100 / kAnimationFramesPerSecond) {
  // a fresh hidden folder beside the outputs, gone with the object
  frameFolder_ = TemporaryPathBeside((fs::u8path(folder) / "animation-frames").u8string());
  std::error_code ec;
  if (!fs::create_directory(fs::u8path(frameFolder_), ec)) frameFolder_.clear();
}

Animation::~Animation() {
  std::error_code ignored;
  if (!frameFolder_.empty()) fs::remove_all(fs::u8path(frameFolder_), ignored);
}

bool Animation::Add(const Image& frame, std::string* error) {
  if (!gif_.Add(frame, error)) return false;
  if (!frameFolder_.empty()) {
    std::string ignored;
    // a frame that cannot wait for ffmpeg costs the MP4, not the run
    if (!WriteFileAtomic(FramePath(frameFolder_, frames_), EncodePng(frame), &ignored)) {
      std::error_code ec;
      fs::remove_all(fs::u8path(frameFolder_), ec);
      frameFolder_.clear();
    }
  }
  ++frames_;
  return true;
}

bool Animation::Finish(std::string* gif, std::string* mp4, std::string* note, std::string* error) {
  if (!gif_.Finish(gif, error)) return false;
  mp4->clear();
  if (frameFolder_.empty()) {
    *note = "no animation.mp4: the frames for ffmpeg could not be written";
    return true;
  }
  const std::string video = (fs::u8path(frameFolder_) / "animation.mp4").u8string();
  const std::string log = (fs::u8path(frameFolder_) / "ffmpeg.log").u8string();
  // H.264 needs even sides: pad by a pixel where one is odd
  const std::vector<std::string> arguments = {
      "-nostdin",   "-y",
      "-loglevel",  "error",
      "-framerate", std::to_string(kAnimationFramesPerSecond),
      "-i",         (fs::u8path(frameFolder_) / "frame_%06d.png").u8string(),
      "-vf",        "pad=ceil(iw/2)*2:ceil(ih/2)*2",
      "-c:v",       "libx264",
      "-pix_fmt",   "yuv420p",
      "-movflags",  "+faststart",
      video};
  ChildProcess ffmpeg;
  std::string startError;
  if (!ffmpeg.Start("ffmpeg", arguments, log, &startError)) {
    *note = "no animation.mp4: ffmpeg is not installed (" + startError + ")";
    return true;
  }
  const int status = ffmpeg.Wait();
  if (status != 0 || !ReadFileBytes(video, mp4) || mp4->empty()) {
    mp4->clear();
    std::string said;
    ReadFileBytes(log, &said);
    said = said.substr(0, said.find('\n'));
    *note = "no animation.mp4: ffmpeg failed (exit " + std::to_string(status) +
            (said.empty() ? "" : ": " + said) + ")";
  }
  return true;
}

}  // namespace tumelin
