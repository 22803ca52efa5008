#include "platform/calendar.h"

namespace corvantis::platform {

CalendarTime breakDownStamp(uint32_t stampSeconds) {
  CalendarTime out;
  const uint32_t days = stampSeconds / 86400u;
  const uint32_t secondsOfDay = stampSeconds % 86400u;
  out.hour = static_cast<int>(secondsOfDay / 3600u);
  out.minute = static_cast<int>((secondsOfDay / 60u) % 60u);
  out.second = static_cast<int>(secondsOfDay % 60u);

  // Days since 1970-01-01 to a civil date (era-based, exact for every day).
  const int64_t z = static_cast<int64_t>(days) + 719468;
  const int64_t era = z / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  out.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0));
  return out;
}

}  // namespace corvantis::platform
