#include "linked_plugin.h"

#include "decimal_separator.h"

extern "C" {
const char16_t* PluginNameZR7();
int32_t PluginRgstZR6(const char16_t**, const char16_t**, const char16_t**, const char16_t**, int32_t*,
                      double*);
int32_t PluginRgstZR7(const char16_t**, const char16_t**, const char16_t**, const char16_t**, int32_t*,
                      double*);
void PluginExecZR71(const char16_t* const*, void*, void*, void*, TClothSetup*);
int32_t PluginExecZR72(void*, TClothPointArray*, TClothFaceArray*, const TClothSetup*);
void PluginExecZR73(TSurfaceGrid*, TClothPointArray*);
}

namespace tumelin {

void UseLinkedSeparator(char16_t separator) { CaptureDecimalSeparator(separator); }

const Plugin& LinkedPlugin() {
  static Plugin plugin;
  if (plugin.execZR72 == nullptr) {
    plugin.nameZR7 = &PluginNameZR7;
    plugin.rgstZR6 = &PluginRgstZR6;
    plugin.rgstZR7 = &PluginRgstZR7;
    plugin.execZR71 = &PluginExecZR71;
    plugin.execZR72 = &PluginExecZR72;
    plugin.execZR73 = &PluginExecZR73;
  }
  return plugin;
}

}  // namespace tumelin
