#include "file_set.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#include "process_id.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tumelin {

namespace fs = std::filesystem;

namespace {

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExW(fs::u8path(from).wstring().c_str(), fs::u8path(to).wstring().c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(fs::u8path(path), ignored);
}

// each entry with all it holds; how many went
int RemoveEntries(const std::vector<fs::path>& entries) {
  int removed = 0;
  for (const fs::path& entry : entries) {
    std::error_code removeError;
    fs::remove_all(entry, removeError);
    if (!removeError) ++removed;
  }
  return removed;
}

}  // namespace

std::string TemporaryPathBeside(const std::string& path) {
  static std::mt19937_64 rng(std::random_device{}());
  const fs::path target = fs::u8path(path);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".tmp-%ld-%08llx", OwnProcessId(),
                static_cast<unsigned long long>(rng() & 0xFFFFFFFFull));
  return (target.parent_path() / fs::u8path("." + target.filename().u8string() + suffix)).u8string();
}

bool IsTemporaryName(const std::string& name, long* pid) {
  constexpr size_t kHexDigits = 8;
  const size_t marker = name.rfind(".tmp-");
  const size_t dash = name.rfind('-');
  if (name.empty() || name[0] != '.' || marker == std::string::npos || marker < 2 ||
      dash != name.size() - kHexDigits - 1 || dash <= marker + 5) {
    return false;
  }
  const std::string digits = name.substr(marker + 5, dash - marker - 5);
  const std::string hex = name.substr(dash + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9 ||
      hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  *pid = std::stol(digits);
  return true;
}

int RemoveAbandonedTemporaries(const std::string& folder, const std::string& of) {
  std::error_code ec;
  std::vector<fs::path> abandoned;
  for (fs::directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().u8string();
    long pid = 0;
    if (!IsTemporaryName(name, &pid) || ProcessRunning(pid)) continue;
    if (!of.empty() && name.compare(0, of.size() + 6, "." + of + ".tmp-") != 0) continue;
    abandoned.push_back(it->path());
  }
  return RemoveEntries(abandoned);
}

OutputSet::~OutputSet() {
  for (const File& file : pending_) RemoveQuietly(file.temp);
}

bool OutputSet::Add(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temp = TemporaryPathBeside(path);
  std::ofstream out(fs::u8path(temp), std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  pending_.push_back({temp, path});
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  if (!out) {
    *error = "cannot write " + path + " (disk full?)";
    return false;
  }
  return true;
}

bool OutputSet::Commit(std::string* error) {
  // a folder in a file's place would stop the renames halfway: refuse first
  std::error_code ec;
  for (const File& file : pending_) {
    if (fs::is_directory(fs::u8path(file.path), ec)) {
      *error = "cannot write " + file.path + ": a folder of that name is in the way";
      return false;
    }
  }
  // the previous files step aside, so that a failed rename can bring them back
  std::vector<std::pair<std::string, std::string>> saved;  // (path, its copy aside)
  size_t placed = 0;
  auto undo = [&]() {
    for (size_t i = 0; i < placed; ++i) RemoveQuietly(pending_[i].path);
    for (const auto& [path, aside] : saved) ReplaceFile(aside, path);
  };
  for (const File& file : pending_) {
    if (!fs::exists(fs::u8path(file.path), ec)) continue;
    const std::string aside = TemporaryPathBeside(file.path);
    if (!ReplaceFile(file.path, aside)) {
      *error = "cannot replace " + file.path;
      undo();
      return false;
    }
    saved.emplace_back(file.path, aside);
  }
  for (; placed < pending_.size(); ++placed) {
    if (!ReplaceFile(pending_[placed].temp, pending_[placed].path)) {
      *error = "cannot rename the finished file into " + pending_[placed].path;
      undo();
      return false;
    }
  }
  for (const auto& entry : saved) RemoveQuietly(entry.second);
  pending_.clear();
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes, std::string* error) {
  OutputSet set;
  return set.Add(path, bytes, error) && set.Commit(error);
}

std::vector<std::string> OutputSet::Paths() const {
  std::vector<std::string> paths;
  for (const File& file : pending_) paths.push_back(file.path);
  return paths;
}

int RemoveEarlierOutputs(const std::string& folder, bool (*earlier)(const std::string& name),
                         const std::vector<std::string>& written) {
  std::error_code ec;
  const fs::path dir = fs::u8path(folder);
  if (!fs::is_directory(dir, ec)) return 0;
  // by name alone: `earlier` accepts names that only this folder holds
  std::vector<std::string> kept;
  for (const std::string& path : written) kept.push_back(fs::u8path(path).filename().u8string());
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().u8string();
    if (earlier(name) && std::find(kept.begin(), kept.end(), name) == kept.end()) stale.push_back(it->path());
  }
  return RemoveEntries(stale);
}

NewFolders::~NewFolders() {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    std::error_code ignored;
    if (fs::is_empty(fs::u8path(*it), ignored)) fs::remove(fs::u8path(*it), ignored);
  }
}

bool NewFolders::Create(const std::string& folder, std::string* error) {
  std::error_code ec;
  std::vector<fs::path> missing;
  for (fs::path dir = fs::u8path(folder); !dir.empty() && !fs::exists(dir, ec); dir = dir.parent_path()) {
    missing.push_back(dir);
    if (dir == dir.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && !fs::is_directory(*it)) {
      *error = "cannot create output folder " + it->u8string() + (ec ? ": " + ec.message() : "");
      return false;
    }
    created_.push_back(it->u8string());
  }
  return true;
}

bool PrepareOutputFolder(const std::string& folder, NewFolders* folders, std::string* error) {
  std::error_code ec;
  const fs::path dir = fs::u8path(folder);
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
    *error = "output folder " + folder + " exists and is not a folder";
    return false;
  }
  if (!folders->Create(folder, error)) return false;
  // a probe file proves the folder writable before any real output starts
  const std::string probe = (dir / ".tumelin-write-probe").u8string();
  {
    std::ofstream out(fs::u8path(probe), std::ios::binary);
    if (!out) {
      *error = "output folder " + folder + " is not writable";
      return false;
    }
  }
  fs::remove(fs::u8path(probe), ec);
  return true;
}

}  // namespace tumelin
