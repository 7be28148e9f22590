#include "plugin_info.h"

#include "day_count.h"

namespace tumelin {

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const long days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kDayCountTo1970;
  const double fraction = static_cast<double>(hour * 3600000 + minute * 60000 + second * 1000 + millisecond) /
                          static_cast<double>(kMillisecondsPerDay);
  return static_cast<double>(days) + fraction;
}

double VersionStamp() { return EncodeDateTime(2012, 4, 3, 14, 15, 9, 0); }

}  // namespace tumelin
