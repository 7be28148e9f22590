// Names for the files and folders tests write. Test programs run side by side
// (ctest -j, the other presets, other checkouts on the machine), so no name is
// fixed: each holds the process id and a counter.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace temp_file {

// a fresh full path in the system's temporary folder, ending in name; nothing
// is created there. Under wine it is a Windows path (C:\...), full as the
// Windows profile API needs it.
inline std::filesystem::path UniquePath(const std::string& name) {
  static std::atomic<unsigned> counter{0};
#ifdef _WIN32
  const long pid = _getpid();
#else
  const long pid = getpid();
#endif
  return std::filesystem::temp_directory_path() /
         ("tumelin_" + std::to_string(pid) + "_" + std::to_string(counter++) + "_" + name);
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

 private:
  std::filesystem::path path_;
};

}  // namespace temp_file
