#pragma once
// NMEA 0183 field formats as receivers write them, and sentence framing.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvantis::sim {

// XOR of every byte between the "$" and the "*" (or the end).
uint8_t nmeaChecksum(std::string_view body);
// "$" + body + "*HH\r\n".
std::string frameSentence(std::string_view body);

// Latitude as ddmm.mmmm (minuteDecimals digits after the point) and its
// hemisphere letter; rounded once, in integers, so 59.99995 minutes carries
// into the degrees instead of printing 60.0000.
std::string formatLatitude(double latitudeDeg, int minuteDecimals, char& hemisphere);
// Longitude as dddmm.mmmm and E or W.
std::string formatLongitude(double longitudeDeg, int minuteDecimals, char& hemisphere);
// hhmmss with `decimals` digits of the second (0 to 3) from a time of day in ms.
std::string formatTimeOfDay(uint32_t timeOfDayMs, int decimals);
// ddmmyy.
std::string formatDate(int year, int month, int day);
// printf-style "%.*f" without the process locale's decimal comma.
std::string formatFixed(double value, int decimals);

}  // namespace corvantis::sim
