// What a plug-in file must be before a loader maps it: an ELF or PE library
// whose headers describe no byte past the end of the file (a truncated file
// would otherwise be mapped, and the first touch of its missing pages kills
// the host), built for this platform.
#pragma once

#include <string>

namespace tumelin {

// empty when the file at `path` is a whole library for this platform, else
// one line for a person that starts "not a complete plug-in: " and, for a
// library of the other platform, says which platform it is for
std::string CheckPluginFile(const std::string& path);
// the same for the bytes of such a file; `name` names it in the message
std::string CheckPluginBytes(const std::string& bytes, const std::string& name);

}  // namespace tumelin
