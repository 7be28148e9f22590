// The plug-in linked into a program rather than loaded: a WebAssembly module
// has no library to load, so the preview and its benchmark link the
// plug-in's entries (plugin_main.cpp) and bind them as a host binds a
// loaded library's.
#pragma once

#include "plugin_loader.h"

namespace tumelin {

// the six entries of the linked plug-in, bound once
const Plugin& LinkedPlugin();

// the decimal separator the linked plug-in reads its settings with from now
// on: the one start-up captures in a host, set here so that the page can read
// as a host in another locale does
void UseLinkedSeparator(char16_t separator);

}  // namespace tumelin
