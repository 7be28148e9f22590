// The built Tumelin.kwt, loaded the way a host loads it: by path, with the
// six entries bound by name through the public header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <tumelin/tumelin.h>

#include "temp_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace loaded {


#ifdef _WIN32
using Module = HMODULE;
#else
using Module = void*;
#endif

struct Entries {
  TPluginNameZR7 name = nullptr;
  TPluginRgstZR6 rgst6 = nullptr;
  TPluginRgstZR7 rgst7 = nullptr;
  TPluginExecZR71 exec71 = nullptr;
  TPluginExecZR72 exec72 = nullptr;
  TPluginExecZR73 exec73 = nullptr;
};

#ifdef _WIN32
// x87 control word and SSE control/status around the first load
inline uint16_t controlWordBefore = 0, controlWordAfter = 0;
inline uint32_t mxcsrBefore = 0, mxcsrAfter = 0;

inline uint16_t ReadControlWord() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw;
}
inline void WriteControlWord(uint16_t cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }
inline uint32_t ReadMxcsr() {
  uint32_t value;
  __asm__ volatile("stmxcsr %0" : "=m"(value));
  return value;
}
#endif

inline void* Bind(Module module, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(module, name));
#else
  return dlsym(module, name);
#endif
}

// the plug-in, loaded once per process and kept loaded
inline const Entries& Plugin() {
  static const Entries entries = [] {
    Entries e;
#ifdef _WIN32
    std::string path = TUMELIN_PLUGIN_PATH;
    for (char& c : path)
      if (c == '/') c = '\\';
    const std::wstring widePath(path.begin(), path.end());
    // an unusual but valid control word shows whether loading resets it
    WriteControlWord(0x027F);
    controlWordBefore = ReadControlWord();
    mxcsrBefore = ReadMxcsr();
    Module module = LoadLibraryW(widePath.c_str());
    controlWordAfter = ReadControlWord();
    mxcsrAfter = ReadMxcsr();
#else
    Module module = dlopen(TUMELIN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
#endif
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s\n", TUMELIN_PLUGIN_PATH);
      std::abort();
    }
    e.name = reinterpret_cast<TPluginNameZR7>(Bind(module, TUMELIN_EXPORT_NAME_ZR7));
    e.rgst6 = reinterpret_cast<TPluginRgstZR6>(Bind(module, TUMELIN_EXPORT_RGST_ZR6));
    e.rgst7 = reinterpret_cast<TPluginRgstZR7>(Bind(module, TUMELIN_EXPORT_RGST_ZR7));
    e.exec71 = reinterpret_cast<TPluginExecZR71>(Bind(module, TUMELIN_EXPORT_EXEC_ZR71));
    e.exec72 = reinterpret_cast<TPluginExecZR72>(Bind(module, TUMELIN_EXPORT_EXEC_ZR72));
    e.exec73 = reinterpret_cast<TPluginExecZR73>(Bind(module, TUMELIN_EXPORT_EXEC_ZR73));
    return e;
  }();
  return entries;
}

using temp_file::TempFile;

// an INI file under a unique full path (the Windows profile API looks a bare
// name up in the Windows folder), removed with the returned object
inline TempFile WriteIni(const char* fileName, const std::string& contents) {
  return TempFile(fileName, contents);
}

inline TClothSetup LoadThroughEntry(const std::u16string& path) {
  TClothSetup setup;
  std::memset(&setup, 0xA5, sizeof setup);
  const char16_t* pathPointer = path.c_str();
  Plugin().exec71(&pathPointer, nullptr, nullptr, nullptr, &setup);
  return setup;
}

}  // namespace loaded
