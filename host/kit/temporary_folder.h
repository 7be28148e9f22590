// A folder that is removed with all it holds when the object goes: a
// command's staging area, a test's scratch space.
#pragma once

#include <filesystem>
#include <system_error>

namespace tumelin {

struct TemporaryFolder {
  // makes `where` and the folders above it that are missing
  explicit TemporaryFolder(const std::filesystem::path& where) : path(where) {
    std::filesystem::create_directories(path);
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  std::filesystem::path path;
};

}  // namespace tumelin
