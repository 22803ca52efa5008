#pragma once
// NMEA sentences for tests, with the checksum a receiver would send.
#include <cstdint>
#include <cstdio>
#include <string>

namespace corvantis::testing {

// "$" + body + "*" + the two-digit hex XOR of body + "\r\n".
inline std::string nmeaSentence(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", static_cast<unsigned>(sum));
  return "$" + body + tail;
}

}  // namespace corvantis::testing
