// The decimal separator the settings entry reads reals with. The plug-in
// captures the user's when it is loaded; a host that links the plug-in's
// code into itself instead of loading Tumelin.kwt (the preview's
// WebAssembly module) may set another, to read settings as a host in that
// locale does. Defined with the settings, in the plug-in's core.
#pragma once

namespace tumelin {

// the captured separator
char16_t DecimalSeparator();
// sets it; the load-time start-up calls it, and a linking host may
void CaptureDecimalSeparator(char16_t separator);

}  // namespace tumelin
