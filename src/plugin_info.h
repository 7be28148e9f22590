// The constant strings and the version stamp that the name and registration
// entries hand out. The strings live in the library image and never change.
#pragma once

namespace tumelin {

inline constexpr char16_t kDisplayName[] = u"Tumelin,52";
inline constexpr char16_t kRegistrationPrefixZR6[] = u"KWDX-";
inline constexpr char16_t kRegistrationPrefixZR7[] = u"QJ7";
inline constexpr char16_t kRegistrationCode[] = u"-TMLN";
// one token for both host generations: 32 ASCII letters and digits
inline constexpr char16_t kRegistrationToken[] = u"TM7LN4QK2W9E5R3T8Y6U1P0A4S7D2F9G";
inline constexpr char16_t kRegistrationName[] = u"KW_Tumelin";

static_assert(sizeof(kDisplayName) / sizeof(char16_t) == 11, "display name is 10 characters");
static_assert(sizeof(kRegistrationToken) / sizeof(char16_t) == 33, "token is 32 characters");

// days since 1899-12-30 00:00 plus the elapsed fraction of the day
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// 2012-04-03 14:15:09.000, built from its fields on every call
double VersionStamp();

}  // namespace tumelin
