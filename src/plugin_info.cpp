#include "plugin_info.h"

namespace tumelin {

namespace {

// days from 1970-01-01 to the given civil date (proleptic Gregorian)
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

}  // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  // day count since 1899-12-30, which lies 25569 days before 1970-01-01
  const long days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + 25569;
  const double fraction =
      static_cast<double>(hour * 3600000 + minute * 60000 + second * 1000 + millisecond) / 86400000.0;
  return static_cast<double>(days) + fraction;
}

double VersionStamp() { return EncodeDateTime(2012, 4, 3, 14, 15, 9, 0); }

}  // namespace tumelin
