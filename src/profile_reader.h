// A reader for INI ("profile") files that answers one lookup the way the
// Windows GetPrivateProfileStringW call does, for platforms without it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tumelin {

// Value text of `key` in `section` of the file at `path`, as the Windows
// profile API would copy it into a buffer of `bufferChars` characters (so at
// most bufferChars - 1 characters). The empty text when the file, the section
// or the key is missing. The file is only read.
std::u16string ReadProfileString(const std::u16string& path, std::u16string_view section,
                                 std::u16string_view key, std::size_t bufferChars = 2048);

}  // namespace tumelin
