// Names for the files and folders tests write. Test programs run side by side
// (ctest -j, the other presets, other checkouts on the machine), so no name is
// fixed: each holds the process id and a counter.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "process_id.h"
#include "temporary_folder.h"
#include "text.h"

namespace temp_file {

// a fresh full path in the system's temporary folder, ending in name; nothing
// is created there. Under wine it is a Windows path (C:\...), full as the
// Windows profile API needs it.
inline std::filesystem::path UniquePath(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  return std::filesystem::temp_directory_path() / ("tumelin_" + std::to_string(tumelin::OwnProcessId()) +
                                                   "_" + std::to_string(counter++) + "_" + name);
}

// a file of exactly these bytes under a unique path, removed with the object
class TempFile {
 public:
  TempFile(const std::string& name, const std::string& bytes) : path_(UniquePath(name)) {
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // the path as the host takes it from a user
  std::string Utf8() const { return path_.u8string(); }

 private:
  std::filesystem::path path_;
};

// a folder of its own under a unique path, removed with everything in it
struct TempFolder : tumelin::TemporaryFolder {
  explicit TempFolder(const std::string& name) : TemporaryFolder(UniquePath(name)) {}
};

// the bytes and the modification time of a file: equal before and after a
// call shows that the call wrote nothing
struct FileState {
  std::string bytes;
  std::filesystem::file_time_type modified;

  bool operator==(const FileState& other) const { return bytes == other.bytes && modified == other.modified; }
};

inline FileState StateOf(const std::filesystem::path& path) {
  FileState state{{}, std::filesystem::last_write_time(path)};
  tumelin::ReadFileBytes(path.u8string(), &state.bytes);
  return state;
}

// sets the modification time two days back, so that a write within the same
// second still shows; returns the state with the stamp as the file system
// keeps it
inline FileState AgeFile(const std::filesystem::path& path) {
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(48));
  return StateOf(path);
}

}  // namespace temp_file
