// A reader for INI ("profile") files that answers one lookup the way the
// Windows GetPrivateProfileStringW call does. The plug-in uses it where that
// call does not exist; the stand-in host uses it everywhere, so that it reads
// a settings file exactly as the plug-in does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text.h"

namespace tumelin {

// buffer size, in UTF-16 characters, of one INI lookup of the plug-in; values
// arrive cut to one character less
inline constexpr std::size_t kProfileBufferChars = 2048;

// Value text of `key` in `section` of the file at `path`, as the Windows
// profile API would copy it into a buffer of `bufferChars` characters (so at
// most bufferChars - 1 characters). The empty text when the file, the section
// or the key is missing. The file is only read.
std::u16string ReadProfileString(const std::u16string& path, std::u16string_view section,
                                 std::u16string_view key, std::size_t bufferChars = kProfileBufferChars);

// The key names of section `section` in file order, as the profile API lists
// them when asked for a null key: only the first section of that name (any
// letter case) counts; only "key=value" lines are listed, and not those
// whose key starts with ";" (though a lookup finds such a key); a key
// written twice is listed twice. Empty when the file or the section is
// missing.
std::vector<std::u16string> ReadProfileKeyNames(const std::u16string& path, std::u16string_view section);
// The section names in file order, as the profile API lists them when asked
// for a null section, each line "[name]" once, so a name written twice is
// listed twice; "[]" is not listed.
std::vector<std::u16string> ReadProfileSectionNames(const std::u16string& path);

}  // namespace tumelin
