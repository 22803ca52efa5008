#include "tools/sim/nmea_format.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace corvantis::sim {
namespace {

int64_t pow10(int n) {
  int64_t p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

std::string formatAngle(double deg, int degreeDigits, int minuteDecimals) {
  if (minuteDecimals < 1 || minuteDecimals > 8) throw std::invalid_argument("minute decimals must be 1 to 8");
  const int64_t scale = pow10(minuteDecimals);
  const int64_t total = std::llround(std::fabs(deg) * 60.0 * static_cast<double>(scale));
  const int64_t wholeDeg = total / (60 * scale);
  const int64_t rest = total % (60 * scale);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%0*lld%02lld.%0*lld", degreeDigits, static_cast<long long>(wholeDeg),
                static_cast<long long>(rest / scale), minuteDecimals, static_cast<long long>(rest % scale));
  return buf;
}

}  // namespace

uint8_t nmeaChecksum(std::string_view body) {
  uint8_t x = 0;
  for (char c : body) {
    if (c == '$') continue;
    if (c == '*') break;
    x = static_cast<uint8_t>(x ^ static_cast<uint8_t>(c));
  }
  return x;
}

std::string frameSentence(std::string_view body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", nmeaChecksum(body));
  std::string s;
  s.reserve(body.size() + 7);
  s += '$';
  s += body;
  s += tail;
  return s;
}

std::string formatLatitude(double latitudeDeg, int minuteDecimals, char& hemisphere) {
  hemisphere = latitudeDeg < 0.0 ? 'S' : 'N';
  return formatAngle(latitudeDeg, 2, minuteDecimals);
}

std::string formatLongitude(double longitudeDeg, int minuteDecimals, char& hemisphere) {
  hemisphere = longitudeDeg < 0.0 ? 'W' : 'E';
  return formatAngle(longitudeDeg, 3, minuteDecimals);
}

std::string formatTimeOfDay(uint32_t timeOfDayMs, int decimals) {
  if (decimals < 0 || decimals > 3) throw std::invalid_argument("time decimals must be 0 to 3");
  const uint32_t ms = timeOfDayMs % 86400000u;
  const unsigned h = ms / 3600000u, m = (ms / 60000u) % 60u, s = (ms / 1000u) % 60u, frac = ms % 1000u;
  char buf[24];
  if (decimals == 0) {
    std::snprintf(buf, sizeof buf, "%02u%02u%02u", h, m, s);
  } else {
    const unsigned div = decimals == 1 ? 100u : decimals == 2 ? 10u : 1u;
    std::snprintf(buf, sizeof buf, "%02u%02u%02u.%0*u", h, m, s, decimals, frac / div);
  }
  return buf;
}

std::string formatDate(int year, int month, int day) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", day, month, ((year % 100) + 100) % 100);
  return buf;
}

std::string formatFixed(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  for (char& c : s)
    if (c == ',') c = '.';
  return s;
}

}  // namespace corvantis::sim
