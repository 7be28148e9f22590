// The built Tumelin.kwt, loaded the way a host loads it: by path, with the
// six entries bound by name through the public header (the host kit's
// loader), once per test program.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "float_environment.h"
#include "plugin_loader.h"
#include "temp_file.h"

namespace loaded {

#ifdef _WIN32
// x87 control word and SSE control/status around the first load
inline uint16_t controlWordBefore = 0, controlWordAfter = 0;
inline uint32_t mxcsrBefore = 0, mxcsrAfter = 0;
#endif

// the plug-in, loaded once per process by the host kit's loader and kept loaded
inline const tumelin::Plugin& LoadedPlugin() {
  static tumelin::Plugin plugin;
  static const bool loaded = [] {
    std::string error;
#ifdef _WIN32
    // an unusual but valid control word shows whether loading resets it
    tumelin::WriteX87ControlWord(0x027F);
    controlWordBefore = tumelin::ReadX87ControlWord();
    mxcsrBefore = tumelin::ReadMxcsr();
#endif
    const bool ok = plugin.Load(TUMELIN_PLUGIN_PATH, &error);
#ifdef _WIN32
    controlWordAfter = tumelin::ReadX87ControlWord();
    mxcsrAfter = tumelin::ReadMxcsr();
#endif
    if (!ok) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    return ok;
  }();
  (void)loaded;
  return plugin;
}

// INI files go under a unique full path: the Windows profile API looks a
// bare name up in the Windows folder
using temp_file::TempFile;

inline TClothSetup LoadThroughEntry(const std::u16string& path) {
  TClothSetup setup;
  std::memset(&setup, 0xA5, sizeof setup);
  const char16_t* pathPointer = path.c_str();
  LoadedPlugin().execZR71(&pathPointer, nullptr, nullptr, nullptr, &setup);
  return setup;
}

}  // namespace loaded
