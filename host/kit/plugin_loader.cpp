#include "plugin_loader.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "plugin_file.h"
#include "text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace tumelin {

namespace {

#ifdef _WIN32
std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// the system's message for the last error, with the file name where the
// message has its placeholder ("%1 is not a valid Win32 application")
std::string LastErrorText(const std::string& file) {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string wide(reinterpret_cast<const char16_t*>(buffer), n);
  LocalFree(buffer);
  std::string text = Utf16ToUtf8(std::u16string_view(wide));
  for (std::size_t at = text.find("%1"); at != std::string::npos; at = text.find("%1", at + file.size())) {
    text.replace(at, 2, file);
  }
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == '.' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text + " (error " + std::to_string(code) + ")";
}
#endif

void* FindEntry(void* handle, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

template <typename Fn>
bool Bind(void* handle, const char* name, Fn* slot, const std::string& path, std::string* error) {
  void* entry = FindEntry(handle, name);
  if (entry == nullptr) {
    *error = "plug-in " + path + " lacks the entry " + name;
    return false;
  }
  *slot = reinterpret_cast<Fn>(entry);
  return true;
}

}  // namespace

Plugin::~Plugin() {
  if (handle_ == nullptr) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

bool Plugin::Load(const std::string& path, std::string* error) {
  path_ = path;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), ec)) {
    *error = "plug-in file not found: " + path;
    return false;
  }
  // a truncated library would be mapped all the same, and fail at the first
  // touch of a missing page
  *error = CheckPluginFile(path);
  if (!error->empty()) return false;
#ifdef _WIN32
  // the loader's search rules want backslashes
  std::wstring widePath = Widen(path);
  for (wchar_t& c : widePath) {
    if (c == L'/') c = L'\\';
  }
  handle_ = LoadLibraryW(widePath.c_str());
  if (handle_ == nullptr) {
    *error = "cannot load plug-in " + path + ": " + LastErrorText(path);
    return false;
  }
#else
  // a path without a slash would make dlopen search the library path
  const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    *error = "cannot load plug-in " + path + ": " + (reason != nullptr ? reason : "unknown error");
    return false;
  }
#endif
  return Bind(handle_, TUMELIN_EXPORT_NAME_ZR7, &nameZR7, path, error) &&
         Bind(handle_, TUMELIN_EXPORT_RGST_ZR6, &rgstZR6, path, error) &&
         Bind(handle_, TUMELIN_EXPORT_RGST_ZR7, &rgstZR7, path, error) &&
         Bind(handle_, TUMELIN_EXPORT_EXEC_ZR71, &execZR71, path, error) &&
         Bind(handle_, TUMELIN_EXPORT_EXEC_ZR72, &execZR72, path, error) &&
         Bind(handle_, TUMELIN_EXPORT_EXEC_ZR73, &execZR73, path, error);
}

std::string DefaultPluginPath() {
#ifdef _WIN32
  wchar_t buffer[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
  std::filesystem::path exe(std::wstring(buffer, n));
#else
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
  const std::filesystem::path beside = exe.parent_path() / "Tumelin.kwt";
  // an installed host: the plug-in lives in the plug-in folder of the install
  const std::filesystem::path installed =
      exe.parent_path() / std::filesystem::u8path(TUMELIN_PLUGIN_FROM_HOST) / "Tumelin.kwt";
  std::error_code missing;
  if (!std::filesystem::exists(beside, missing) && std::filesystem::exists(installed, missing))
    return installed.lexically_normal().u8string();
  return beside.u8string();
}

std::string Utf16ToUtf8(const char16_t* text) {
  return text == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(text));
}

std::u16string PathForPlugin(const std::string& path) {
  std::error_code ec;
  // the Windows profile API looks a bare name up in the Windows folder
  std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), ec);
  if (ec) full = std::filesystem::u8path(path);
  return full.u16string();
}

}  // namespace tumelin
