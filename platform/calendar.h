#pragma once
// Breakdown of a calendar stamp (seconds since 1970, device clock) into the
// day, month, year, hour and minute that the records screen shows.
#include <cstdint>

namespace corvantis::platform {

struct CalendarTime {
  int day = 1;     // 1..31
  int month = 1;   // 1..12
  int year = 1970; // full year
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

// Proleptic Gregorian calendar of the number itself (no time zone applied:
// the stamp already holds local wall-clock time).
CalendarTime breakDownStamp(uint32_t stampSeconds);

}  // namespace corvantis::platform
