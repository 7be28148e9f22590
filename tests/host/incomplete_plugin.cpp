// A plug-in that exports every entry but PluginExecZR73, so the host's loader
// can be seen naming the missing entry.
#include <tumelin/tumelin.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
const char16_t kName[] = u"Incomplete,1";
}

EXPORT const char16_t* PluginNameZR7() { return kName; }
EXPORT int32_t PluginRgstZR6(const char16_t**, const char16_t**, const char16_t**, const char16_t**, int32_t*,
                             double*) {
  return 0;
}
EXPORT int32_t PluginRgstZR7(const char16_t**, const char16_t**, const char16_t**, const char16_t**, int32_t*,
                             double*) {
  return 0;
}
EXPORT void PluginExecZR71(const char16_t* const*, void*, void*, void*, TClothSetup*) {}
EXPORT int32_t PluginExecZR72(void*, TClothPointArray*, TClothFaceArray*, const TClothSetup*) { return 0; }
