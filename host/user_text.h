// The rules for what a user types, on the command line and in the host's own
// INI section alike: names of choices matched without regard to case, whole
// numbers in plain decimal with nothing before or after, picture sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tumelin {

// the names of one choice's values, in the order messages list them
using Names = std::vector<std::string_view>;

// position of `text` in `names`, ASCII case ignored; -1 when it is none
int FindName(const Names& names, std::string_view text);

// "WIDTHxHEIGHT" (or with 'X'), each between kMinImageSide and kMaxImageSide
inline constexpr int kMinImageSide = 16;
inline constexpr int kMaxImageSide = 8192;
bool ParseImageSize(std::string_view text, int* width, int* height);

}  // namespace tumelin
