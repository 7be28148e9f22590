// The rules for what a user types, on the command line and in the host's own
// INI section alike: names of choices matched without regard to case, whole
// numbers and reals in plain decimal with nothing before or after, point
// lists, picture sizes. A setting's messages name it the same way wherever
// its text came from; the caller says where.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// libc++ before version 17 (the WebAssembly build's) has neither
// floating-point from_chars nor to_chars
#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 170000
#define TUMELIN_NO_FLOAT_CHARCONV 1
#endif

namespace tumelin {

// the names of one choice's values, in the order messages list them
using Names = std::vector<std::string_view>;

// `text` without the spaces and tabs around it
std::string_view TrimBlanks(std::string_view text);

// position of `text` in `names`, ASCII case ignored; -1 when it is none
int FindName(const Names& names, std::string_view text);
// position of the name in `names` closest to `text` (ASCII case ignored,
// counted in letters inserted, deleted or replaced), when it is close enough
// to be a slip: at most one change in four letters, and at least one; -1
// when none is
int NearestName(const Names& names, std::string_view text);
// "unknown shape 'cube' (choose sphere, torus, sheet or tube)"
std::string UnknownName(std::string_view setting, const Names& names, std::string_view text);

// "1 edge", "3 edges": a count with the words that agree with it, a noun or
// a noun and its verb ("triangle has" / "triangles have")
std::string Count(long long n, std::string_view one, std::string_view many);

// Each reader stores the value and returns true, or returns false with a
// message that starts with the setting's name ("steps must lie between 0
// and 100000000, not -5").

// an optional sign and decimal digits, within lo..hi
bool ReadWhole(std::string_view setting, std::string_view text, int64_t lo, int64_t hi, int64_t* value,
               std::string* error);
// a finite number as C writes it, with '.' as the decimal point whatever
// the user's locale: the host's own numbers read alike everywhere, and a
// comma stays free to separate a list's items (--view -55,28)
bool ReadReal(std::string_view setting, std::string_view text, double* value, std::string* error);
// point indices 0 to 2147483647 separated by commas, blanks around each
bool ReadPointList(std::string_view setting, std::string_view text, std::vector<int32_t>* points,
                   std::string* error);

// "WIDTHxHEIGHT" (or with 'X'), each between kMinImageSide and kMaxImageSide
inline constexpr int kMinImageSide = 16;
inline constexpr int kMaxImageSide = 8192;
bool ParseImageSize(std::string_view text, int* width, int* height);

}  // namespace tumelin
