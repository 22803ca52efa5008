#include "gps/nmea_decoder.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace corvantis {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Copies at most `length` characters of `text` (stopping at its NUL) into a
// NUL-terminated buffer of kFieldBufferSize.
void copyPart(const char* text, std::size_t length, FieldBuffer& out) {
  std::size_t n = 0;
  while (n < length && n + 1 < kFieldBufferSize && text[n] != '\0') {
    out[n] = text[n];
    ++n;
  }
  out[n] = '\0';
}

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3) into degrees.
double readDegreesMinutes(const FieldBuffer& field, std::size_t degreeDigits) {
  FieldBuffer degrees;
  copyPart(field, degreeDigits, degrees);
  const std::size_t length = std::strlen(field);
  const char* minutes = field + (length < degreeDigits ? length : degreeDigits);
  return readDecimal(degrees) + readDecimal(minutes) * (1.0 / 60.0);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool checksumHolds(const char* text) {
  if (text[0] != '$') return false;
  // The sentence runs to the next "$" (which the pump leaves in place) or to
  // the end of the text.
  uint8_t sum = 0;
  const char* p = text + 1;
  for (; *p != '\0' && *p != '$' && *p != '*'; ++p) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(*p));
  if (*p != '*') return true;  // a sentence without checksum is taken as it is
  const int high = hexValue(p[1]);
  if (high < 0) return false;
  const int low = hexValue(p[2]);  // p[1] was a digit, so p[2] is still inside the text
  return low >= 0 && ((high << 4) | low) == sum;
}

uint32_t readTimeOfDay(const char* field) {
  FieldBuffer part;
  copyPart(field, 2, part);
  const int64_t hours = readInteger(part);
  copyPart(std::strlen(field) > 2 ? field + 2 : "", 2, part);
  const int64_t minutes = readInteger(part);
  copyPart(std::strlen(field) > 4 ? field + 4 : "", 2, part);
  const int64_t seconds = readInteger(part);
  int64_t fraction = 0;
  if (std::strlen(field) > 6 && field[6] == '.') {
    const char* digits = field + 7;
    fraction = readInteger(digits);
    switch (std::strlen(digits)) {
      case 1: fraction *= 100; break;
      case 2: fraction *= 10; break;
      case 3: break;
      case 4: fraction /= 10; break;
      case 5: fraction /= 100; break;
      default: break;
    }
  }
  const int64_t timeMs = ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
  // A 32-bit time of day, wrapping like the device's arithmetic.
  return static_cast<uint32_t>(static_cast<uint64_t>(timeMs));
}

int32_t readInteger(const char* text) {
  while (isBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t value = 0;
  for (; isDigit(*text); ++text) {
    value = value * 10 + (*text - '0');
    if (value > std::numeric_limits<int32_t>::max()) {
      return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
  }
  return static_cast<int32_t>(negative ? -value : value);
}

double readDecimal(const char* text) {
  while (isBlank(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  // The longest prefix of the form digits[.digits][e[sign]digits]; no
  // "nan", "inf" or hexadecimal forms, which a field never means.
  const char* end = text;
  bool anyDigit = false;
  while (isDigit(*end)) ++end, anyDigit = true;
  if (*end == '.') {
    ++end;
    while (isDigit(*end)) ++end, anyDigit = true;
  }
  if (!anyDigit) return 0.0;
  if (*end == 'e' || *end == 'E') {
    const char* exponent = end + 1;
    if (*exponent == '+' || *exponent == '-') ++exponent;
    if (isDigit(*exponent)) {
      end = exponent;
      while (isDigit(*end)) ++end;
    }
  }
  double value = 0.0;
  const auto result = std::from_chars(text, end, value, std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

bool extractField(const char* text, int index, FieldBuffer& out) {
  out[0] = '\0';
  if (index < 1 || text[0] == '\0') return false;
  const char* position = text;
  for (int i = 0; i < index; ++i) {
    position = std::strchr(position + 1, ',');
    if (position == nullptr) return false;
  }
  const char* start = position + 1;
  const char* end = std::strchr(start, ',');
  if (end == nullptr || end == start) return false;
  copyPart(start, static_cast<std::size_t>(end - start), out);
  return true;
}

bool isGgaOfAnyTalker(const char* text) {
  const auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  return text[0] == '$' && upper(text[1]) && upper(text[2]) && std::strncmp(text + 3, "GGA", 3) == 0;
}

bool decodeSentence(const char* text, CurrentFix& fix, FixHistory& history, Talkers talkers) {
  const bool gga = talkers == Talkers::Any ? isGgaOfAnyTalker(text) : std::strncmp(text, "$GPGGA", 6) == 0;
  if (!gga) return false;
  // A garbled sentence changes nothing, not even the satellites: one damaged
  // position reads as a jump of miles, one damaged time as an hour ahead.
  if (!checksumHolds(text)) return false;
  FieldBuffer field;
  if (!extractField(text, 6, field) || readInteger(field) == 0) {
    fix.satellites = 0;
    return false;
  }
  extractField(text, 7, field);
  fix.satellites = readInteger(field);

  extractField(text, 2, field);
  double latitude = readDegreesMinutes(field, 2);
  extractField(text, 4, field);
  double longitude = readDegreesMinutes(field, 3);
  extractField(text, 9, field);
  const double altitude = readDecimal(field);
  extractField(text, 3, field);
  if (field[0] == 'S') latitude = -latitude;
  extractField(text, 5, field);
  if (field[0] == 'W') longitude = -longitude;

  extractField(text, 8, field);
  const double hdop = std::trunc(readDecimal(field));
  // Truncation toward zero, kept inside the 32-bit range so the conversion is defined.
  if (hdop >= 2147483647.0) fix.hdop = std::numeric_limits<int32_t>::max();
  else if (hdop <= -2147483648.0) fix.hdop = std::numeric_limits<int32_t>::min();
  else fix.hdop = static_cast<int32_t>(hdop);

  extractField(text, 1, field);
  const uint32_t timeOfDayMs = readTimeOfDay(field);

  if (history.recordFix(latitude, longitude, altitude, timeOfDayMs) == RecordOutcome::Refused) return false;
  // The speed the newest fix carries (speedBetween newest and previous,
  // narrowed to a float); the window moved even when the
  // samples were full, so a waiting driver still sees the speed change.
  fix.speed = history.newest().speed;
  fix.latitude = latitude;
  fix.longitude = longitude;
  return true;
}

std::optional<std::string> gpsStatusText(const CurrentFix& fix) {
  if (fix.deviceError) return std::string("GPS Device Error");
  if (fix.satellites >= 0 && fix.satellites <= 3) return std::string("Waiting for satellite fix...");
  if (fix.satellites < 0) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "fix quality: %i", static_cast<int>(fix.hdop));
  std::string status(text);
  if (fix.hdop < 3) status += " (excellent)";
  else if (fix.hdop > 7) status += " (errornous)";
  return status;
}

}  // namespace corvantis
