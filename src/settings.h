// Settings: the defaults and the loading of section "Setup" of an INI file
// into a TClothSetup record. The number rules and the table of keys are in
// setup_rules.h.
#pragma once

#include <tumelin/tumelin.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "decimal_separator.h"
#include "profile_reader.h"
#include "setup_rules.h"

namespace tumelin {

// value text of `key` in section "Setup" of the file, at most 2047 characters
std::u16string LookupSetupValue(const std::u16string& iniPath, std::u16string_view key);

// defaults, then every key of section "Setup" that holds a well-formed value;
// floats use `separator`
void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup, char16_t separator);
// the same with the separator captured at load
void LoadSetup(const std::u16string& IniPath, TClothSetup* Setup);

}  // namespace tumelin
