// The library's main module: the load-time start-up (capturing the user's
// decimal separator) and the six exported entries. The entries are thin: they
// hand out the strings and the version stamp of plugin_info, and forward to
// LoadSetup, StepMembrane and WriteSurfaceGrid, each under the fixed
// floating-point environment of float_environment.h.
#include <tumelin/tumelin.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "cloth_types.h"
#include "dynamics.h"
#include "float_environment.h"
#include "plugin_info.h"
#include "settings.h"

#ifdef _WIN32
#include <windows.h>
// exported through tumelin.def, which fixes the undecorated names and ordinals
#define TUMELIN_EXPORT extern "C"
#else
#define TUMELIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(_WIN32) && defined(__i386__)
// A 32-bit Windows host's stack is only 4-byte aligned, while the code behind
// the entries keeps doubles and SSE2 pairs in 16-byte aligned stack slots
// (and realigns from there for the 32-byte AVX spills): every entry realigns.
#define TUMELIN_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define TUMELIN_ALIGN_STACK
#endif

using namespace tumelin;

// ---- load-time start-up ---------------------------------------------------

#ifdef _WIN32
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    // the loading thread takes the user's locale, and the decimal separator
    // is read from it once
    SetThreadLocale(LOCALE_USER_DEFAULT);
    CaptureDecimalSeparator(ReadUserDecimalSeparator());
  }
  return TRUE;
}
#else
__attribute__((constructor)) static void CaptureLocaleAtLoad() {
  CaptureDecimalSeparator(ReadUserDecimalSeparator());
}
#endif

// ---- entries ----------------------------------------------------------------

namespace {

// writes the six registration slots; a null slot is skipped
int32_t WriteRegistration(const char16_t* prefix, const char16_t** rgstPrefix, const char16_t** rgstCode,
                          const char16_t** rgstToken, const char16_t** rgstName, int32_t* rgstInt,
                          double* rgstStamp) {
  if (rgstPrefix != nullptr) *rgstPrefix = prefix;
  if (rgstCode != nullptr) *rgstCode = kRegistrationCode;
  if (rgstToken != nullptr) *rgstToken = kRegistrationToken;
  if (rgstName != nullptr) *rgstName = kRegistrationName;
  if (rgstInt != nullptr) *rgstInt = 0;
  if (rgstStamp != nullptr) *rgstStamp = VersionStamp();
  return 0;
}

}  // namespace

TUMELIN_EXPORT TUMELIN_ALIGN_STACK const char16_t* TUMELIN_CALL PluginNameZR7() { return kDisplayName; }

TUMELIN_EXPORT TUMELIN_ALIGN_STACK int32_t TUMELIN_CALL PluginRgstZR6(const char16_t** RgstPrefix,
                                                                      const char16_t** RgstCode,
                                                                      const char16_t** RgstToken,
                                                                      const char16_t** RgstName,
                                                                      int32_t* RgstInt, double* RgstStamp) {
  return WriteRegistration(kRegistrationPrefixZR6, RgstPrefix, RgstCode, RgstToken, RgstName, RgstInt,
                           RgstStamp);
}

TUMELIN_EXPORT TUMELIN_ALIGN_STACK int32_t TUMELIN_CALL PluginRgstZR7(const char16_t** RgstPrefix,
                                                                      const char16_t** RgstCode,
                                                                      const char16_t** RgstToken,
                                                                      const char16_t** RgstName,
                                                                      int32_t* RgstInt, double* RgstStamp) {
  return WriteRegistration(kRegistrationPrefixZR7, RgstPrefix, RgstCode, RgstToken, RgstName, RgstInt,
                           RgstStamp);
}

TUMELIN_EXPORT TUMELIN_ALIGN_STACK void TUMELIN_CALL PluginExecZR71(const char16_t* const* IniPathRef, void*,
                                                                    void*, void*, TClothSetup* Setup) {
  if (Setup == nullptr) return;
  const FloatEnvironmentGuard environment;
  try {
    // the library works on its own copy of the host's path; a host that
    // passes no reference at all means "no file", as a null path does, and
    // gets the defaults rather than whatever the record held
    const char16_t* hostPath = IniPathRef != nullptr ? *IniPathRef : nullptr;
    const std::u16string path = hostPath != nullptr ? std::u16string(hostPath) : std::u16string();
    LoadSetup(path, Setup);
  } catch (...) {
    // out of memory while copying the path: no exception crosses the entry
    SetupDefaults(Setup);
  }
}

TUMELIN_EXPORT TUMELIN_ALIGN_STACK int32_t TUMELIN_CALL PluginExecZR72(void*, TClothPointArray* PointsVar,
                                                                       TClothFaceArray* FacesVar,
                                                                       const TClothSetup* Setup) {
  const FloatEnvironmentGuard environment;
  return StepMembrane(PointsVar, FacesVar, Setup);
}

TUMELIN_EXPORT TUMELIN_ALIGN_STACK void TUMELIN_CALL PluginExecZR73(TSurfaceGrid* Grid,
                                                                    TClothPointArray* PointsVar) {
  // a pure copy, but the host's flags come back as they were all the same
  const FloatEnvironmentGuard environment;
  WriteSurfaceGrid(Grid, PointsVar);
}
