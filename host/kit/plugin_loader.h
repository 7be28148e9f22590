// Loads Tumelin.kwt the way a host does: by path, with the six entries bound
// by name through the public header and nothing linked.
#pragma once

#include <tumelin/tumelin.h>

#include <string>

namespace tumelin {

class Plugin {
 public:
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // opens the library and binds every entry; false with a message naming
  // the missing file or entry
  bool Load(const std::string& path, std::string* error);
  const std::string& Path() const { return path_; }

  TPluginNameZR7 nameZR7 = nullptr;
  TPluginRgstZR6 rgstZR6 = nullptr;
  TPluginRgstZR7 rgstZR7 = nullptr;
  TPluginExecZR71 execZR71 = nullptr;
  TPluginExecZR72 execZR72 = nullptr;
  TPluginExecZR73 execZR73 = nullptr;

 private:
  void* handle_ = nullptr;
  std::string path_;
};

// Tumelin.kwt in the folder of the running executable
std::string DefaultPluginPath();

// a NUL-terminated UTF-16 string from the plug-in as UTF-8 for printing;
// empty for a null pointer
std::string Utf16ToUtf8(const char16_t* text);
// a path as the plug-in's INI reader takes it: absolute, UTF-16
std::u16string PathForPlugin(const std::string& path);

}  // namespace tumelin
