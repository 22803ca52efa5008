#include "slip/nmea_motion.h"

#include <charconv>
#include <cmath>

namespace corvantis::slip {
namespace {

constexpr double kDayMs = 86400000.0;
constexpr double kHalfDayMs = 43200000.0;
constexpr double kKnotsToMps = 1852.0 / 3600.0;
constexpr double kKphToMps = 1.0 / 3.6;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool parseDecimal(std::string_view text, double& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// The step of a decimal's last digit: 0.1 for "12.3", 1 for "12".
double lastDigitStep(std::string_view text) {
  const size_t point = text.find('.');
  if (point == std::string_view::npos) return 1.0;
  return std::pow(10.0, -static_cast<double>(text.size() - point - 1));
}

bool allDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return !text.empty();
}

// The sentence type after the two-letter talker: "$GPRMC" and "$GNRMC" are both "RMC".
std::string_view typeOf(std::string_view tag) { return tag.size() == 5 ? tag.substr(2) : std::string_view(); }

struct EpochBuilder {
  std::vector<MotionFix> fixes;
  double dayOffsetMs = 0.0;
  bool lastTimeAccepted = false;  // whether the latest timed sentence joined an epoch

  // The epoch of a sentence stamped `timeOfDayMs`, or nullptr when it steps back.
  MotionFix* epochAt(double timeOfDayMs) {
    double t = timeOfDayMs + dayOffsetMs;
    if (!fixes.empty() && t + kHalfDayMs < fixes.back().timeMs) {
      dayOffsetMs += kDayMs;
      t += kDayMs;
    }
    lastTimeAccepted = false;
    if (!fixes.empty() && t < fixes.back().timeMs) return nullptr;
    if (fixes.empty() || t > fixes.back().timeMs) {
      MotionFix fix;
      fix.timeMs = t;
      fixes.push_back(fix);
    }
    lastTimeAccepted = true;
    return &fixes.back();
  }
};

void readGga(const std::vector<std::string_view>& f, EpochBuilder& epochs) {
  // 1 time, 2-3 latitude, 4-5 longitude, 6 quality, 7 satellites, 8 hdop, 9 altitude.
  double tod = 0.0;
  if (f.size() < 10 || !parseTimeOfDay(f[1], tod)) return;
  double quality = 0.0, lat = 0.0, lon = 0.0, alt = 0.0;
  if (!parseDecimal(f[6], quality) || quality == 0.0) return;
  if (!parseCoordinate(f[2], 2, f[3], lat) || !parseCoordinate(f[4], 3, f[5], lon)) return;
  if (!parseDecimal(f[9], alt)) alt = 0.0;
  MotionFix* fix = epochs.epochAt(tod);
  if (fix == nullptr) return;
  fix->hasPosition = true;
  fix->positionResolutionM = lastDigitStep(f[2]) * 1852.0;  // a minute of latitude is a nautical mile
  fix->latitudeDeg = lat;
  fix->longitudeDeg = lon;
  fix->altitudeM = alt;
}

void setSpeed(MotionFix* fix, double speedMps, double resolutionMps) {
  if (fix == nullptr || !(speedMps >= 0.0)) return;
  fix->hasSpeed = true;
  fix->speedMps = speedMps;
  fix->speedResolutionMps = resolutionMps;
}

void readRmc(const std::vector<std::string_view>& f, EpochBuilder& epochs) {
  // 1 time, 2 status, ..., 7 speed in knots; 12 mode (N: not valid), when present.
  double tod = 0.0, knots = 0.0;
  if (f.size() < 8 || !parseTimeOfDay(f[1], tod)) return;
  MotionFix* fix = epochs.epochAt(tod);
  if (f[2] != "A" || (f.size() > 12 && f[12] == "N")) return;
  if (parseDecimal(f[7], knots)) setSpeed(fix, knots * kKnotsToMps, lastDigitStep(f[7]) * kKnotsToMps);
}

void readVtg(const std::vector<std::string_view>& f, EpochBuilder& epochs) {
  // 5 speed in knots (6 "N"), 7 speed in km/h (8 "K"), 9 mode (N: not valid).
  if (epochs.fixes.empty() || !epochs.lastTimeAccepted || f.size() < 9) return;
  if (f.size() > 9 && f[9] == "N") return;
  double value = 0.0;
  if (parseDecimal(f[7], value)) {
    setSpeed(&epochs.fixes.back(), value * kKphToMps, lastDigitStep(f[7]) * kKphToMps);
  } else if (parseDecimal(f[5], value)) {
    setSpeed(&epochs.fixes.back(), value * kKnotsToMps, lastDigitStep(f[5]) * kKnotsToMps);
  }
}

}  // namespace

bool splitSentence(std::string_view sentence, std::vector<std::string_view>& fields) {
  fields.clear();
  if (sentence.empty() || sentence.front() != '$') return false;
  std::string_view body = sentence.substr(1);
  const size_t star = body.find('*');
  if (star != std::string_view::npos) {
    if (body.size() < star + 3) return false;  // a cut-off checksum
    const int high = hexValue(body[star + 1]);
    const int low = hexValue(body[star + 2]);
    if (high < 0 || low < 0) return false;
    unsigned sum = 0;
    for (size_t i = 0; i < star; ++i) sum ^= static_cast<unsigned char>(body[i]);
    if (sum != static_cast<unsigned>(high * 16 + low)) return false;
    body = body.substr(0, star);
  } else {
    while (!body.empty() && (body.back() == '\r' || body.back() == '\n')) body.remove_suffix(1);
    if (body.size() + 1 > kMaxSentenceChars) return false;  // too long for a sentence, and nothing vouches for it
  }
  const bool cut = body.size() + 1 > kMaxSentenceChars;
  if (cut) body = body.substr(0, kMaxSentenceChars - 1);
  size_t start = 0;
  while (true) {
    const size_t comma = body.find(',', start);
    fields.push_back(body.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (cut && fields.size() > 1) fields.pop_back();  // it may end inside the cut
  return true;
}

bool parseTimeOfDay(std::string_view field, double& ms) {
  if (field.size() < 6 || !allDigits(field.substr(0, 6))) return false;
  const int hours = (field[0] - '0') * 10 + (field[1] - '0');
  const int minutes = (field[2] - '0') * 10 + (field[3] - '0');
  const int seconds = (field[4] - '0') * 10 + (field[5] - '0');
  if (hours > 23 || minutes > 59 || seconds > 60) return false;
  double fraction = 0.0;
  if (field.size() > 6) {
    if (field[6] != '.' || (field.size() > 7 && !allDigits(field.substr(7)))) return false;
    double scale = 0.1;
    for (size_t i = 7; i < field.size(); ++i, scale *= 0.1) fraction += (field[i] - '0') * scale;
  }
  ms = ((hours * 60.0 + minutes) * 60.0 + seconds + fraction) * 1000.0;
  return true;
}

bool parseCoordinate(std::string_view field, int degreeDigits, std::string_view hemisphere, double& degrees) {
  const size_t digits = static_cast<size_t>(degreeDigits);
  if (field.size() <= digits + 1 || !allDigits(field.substr(0, digits))) return false;
  double whole = 0.0, minutes = 0.0;
  if (!parseDecimal(field.substr(0, digits), whole) || !parseDecimal(field.substr(digits), minutes)) return false;
  if (minutes < 0.0 || minutes >= 60.0) return false;
  degrees = whole + minutes / 60.0;
  if (hemisphere == "S" || hemisphere == "W") {
    degrees = -degrees;
  } else if (hemisphere != "N" && hemisphere != "E") {
    return false;
  }
  return degrees >= -180.0 && degrees <= 180.0;
}

std::vector<MotionFix> readMotion(std::string_view log) {
  EpochBuilder epochs;
  std::vector<std::string_view> fields;
  size_t at = log.find('$');
  while (at != std::string_view::npos) {
    // A sentence runs to its line end, or to the next "$" when the line was cut.
    size_t end = at + 1;
    while (end < log.size() && log[end] != '$' && log[end] != '\r' && log[end] != '\n') ++end;
    const std::string_view sentence = log.substr(at, end - at);
    at = log.find('$', end);
    if (!splitSentence(sentence, fields) || fields.empty()) continue;
    const std::string_view type = typeOf(fields[0]);
    if (type == "GGA") {
      readGga(fields, epochs);
    } else if (type == "RMC") {
      readRmc(fields, epochs);
    } else if (type == "VTG") {
      readVtg(fields, epochs);
    }
  }
  std::vector<MotionFix> out;
  out.reserve(epochs.fixes.size());
  for (const MotionFix& fix : epochs.fixes) {
    if (fix.hasPosition || fix.hasSpeed) out.push_back(fix);
  }
  return out;
}

}  // namespace corvantis::slip
