// The day-count encoding of dates: whole days since 1899-12-30 00:00 plus
// the elapsed fraction of the day. The plug-in encodes its version stamp
// with it; the stand-in host shows that stamp as a date again.
#pragma once

#include <cstdint>

namespace tumelin {

// days from 1899-12-30, where the count starts, to 1970-01-01
inline constexpr long kDayCountTo1970 = 25569;
inline constexpr long kMillisecondsPerDay = 86400000;

// days from 1970-01-01 to the given civil date (proleptic Gregorian)
inline long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

struct CivilDate {
  int64_t year, month, day;
};

// the civil date `days` after 1970-01-01, the inverse of DaysFromCivil
inline CivilDate CivilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace tumelin
