#include "tools/corvantis/nmea_replay.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "tools/sim/nmea_format.h"

namespace corvantis::demo {

namespace {

constexpr uint32_t kDayMs = 86400000u;
constexpr uint32_t kHalfDayMs = kDayMs / 2;
constexpr std::string_view kFixSentence = "$GPGGA,";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

// A fix sentence starts at `at`: "$GPGGA," or, in a log played for
// --any-talker, the GGA sentence of any talker ("$GNGGA,"); all as long.
bool fixSentenceAt(std::string_view text, size_t at, bool anyTalker) {
  if (at + kFixSentence.size() > text.size() || text[at] != '$' || text.substr(at + 3, 4) != "GGA,") return false;
  return anyTalker ? isUpper(text[at + 1]) && isUpper(text[at + 2]) : text.substr(at + 1, 2) == "GP";
}

// The next fix sentence at or after `from`, npos when none.
size_t findFixSentence(std::string_view text, size_t from, bool anyTalker) {
  for (size_t at = text.find('$', from); at != std::string_view::npos; at = text.find('$', at + 1)) {
    if (fixSentenceAt(text, at, anyTalker)) return at;
  }
  return std::string_view::npos;
}

int twoDigits(std::string_view s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// The time field of a $GPGGA sentence that starts at `at`: [begin, end).
void timeField(std::string_view text, size_t at, size_t& begin, size_t& end) {
  begin = at + kFixSentence.size();
  end = begin;
  while (end < text.size() && text[end] != ',' && text[end] != '*' && text[end] != '$' &&
         text[end] != '\r' && text[end] != '\n') {
    ++end;
  }
}

}  // namespace

bool parseTimeOfDay(std::string_view field, uint32_t& timeOfDayMs) {
  if (field.size() < 6) return false;
  for (size_t i = 0; i < 6; ++i) {
    if (!isDigit(field[i])) return false;
  }
  const int hours = twoDigits(field, 0);
  const int minutes = twoDigits(field, 2);
  const int seconds = twoDigits(field, 4);
  if (hours > 23 || minutes > 59 || seconds > 60) return false;
  uint32_t ms = 0;
  if (field.size() > 6) {
    if (field[6] != '.') return false;
    uint32_t scale = 100;
    for (size_t i = 7; i < field.size(); ++i) {
      if (!isDigit(field[i])) return false;
      ms += static_cast<uint32_t>(field[i] - '0') * scale;
      scale /= 10;
    }
  }
  timeOfDayMs = static_cast<uint32_t>(hours) * 3600000u + static_cast<uint32_t>(minutes) * 60000u +
                static_cast<uint32_t>(seconds) * 1000u + ms;
  return true;
}

uint32_t roundLengthMs(const std::vector<TimedText>& parts) {
  if (parts.empty()) return 1000;
  uint32_t gapMs = 1000;
  for (size_t i = 1; i < parts.size(); ++i) {
    const uint32_t step = parts[i].atMs - parts[i - 1].atMs;
    if (step > 0 && step < gapMs) gapMs = step;
  }
  const uint32_t span = parts.back().atMs + gapMs;
  return (span + 999u) / 1000u * 1000u;
}

Drive driveFromLog(std::string_view log, bool anyTalker) {
  Drive drive;
  drive.anyTalker = anyTalker;
  std::string pending;  // bytes before the first timed $GPGGA
  bool started = false;
  uint32_t firstMs = 0;
  uint32_t dayOffsetMs = 0;
  uint32_t lastTimeMs = 0;
  size_t pos = 0;
  while (pos < log.size()) {
    size_t next = log.find('$', pos + 1);
    if (next == std::string_view::npos) next = log.size();
    const std::string_view sentence = log.substr(pos, next - pos);
    uint32_t timeMs = 0;
    bool opensGroup = false;
    if (fixSentenceAt(sentence, 0, anyTalker)) {
      size_t begin = 0, end = 0;
      timeField(log, pos, begin, end);
      opensGroup = parseTimeOfDay(log.substr(begin, end - begin), timeMs);
    }
    if (opensGroup) {
      if (!started) {
        started = true;
        firstMs = timeMs;
        lastTimeMs = timeMs;
        drive.parts.push_back({0, pending + std::string(sentence)});
      } else {
        uint32_t absolute = timeMs + dayOffsetMs;
        if (absolute + kHalfDayMs < lastTimeMs) {  // past midnight
          dayOffsetMs += kDayMs;
          absolute += kDayMs;
        }
        if (absolute < lastTimeMs) absolute = lastTimeMs;  // a step back: at once
        lastTimeMs = absolute;
        drive.parts.push_back({absolute - firstMs, std::string(sentence)});
      }
    } else if (started) {
      drive.parts.back().text.append(sentence);
    } else {
      pending.append(sentence);
    }
    pos = next;
  }
  drive.roundMs = drive.parts.empty() ? 0 : roundLengthMs(drive.parts);
  return drive;
}

std::string shiftFixTimes(std::string_view text, uint32_t shiftMs, bool anyTalker) {
  std::string out(text);
  const uint32_t shiftSeconds = (shiftMs / 1000u) % 86400u;
  for (size_t at = findFixSentence(out, 0, anyTalker); at != std::string::npos;
       at = findFixSentence(out, at + 1, anyTalker)) {
    size_t begin = 0, end = 0;
    timeField(out, at, begin, end);
    uint32_t timeMs = 0;
    if (!parseTimeOfDay(std::string_view(out).substr(begin, end - begin), timeMs)) continue;
    // Only the whole seconds move; the fraction is kept as written.
    const uint32_t seconds = (timeMs / 1000u + shiftSeconds) % 86400u;
    char hms[7];
    std::snprintf(hms, sizeof hms, "%02u%02u%02u", seconds / 3600u, seconds / 60u % 60u, seconds % 60u);
    out.replace(begin, 6, hms, 6);
    // Put right the checksum between "$" and "*".
    size_t star = end;
    while (star < out.size() && out[star] != '*' && out[star] != '$' && out[star] != '\r' &&
           out[star] != '\n') {
      ++star;
    }
    if (star + 2 < out.size() && out[star] == '*' && std::isxdigit(static_cast<unsigned char>(out[star + 1])) &&
        std::isxdigit(static_cast<unsigned char>(out[star + 2]))) {
      unsigned sum = 0;
      for (size_t i = at + 1; i < star; ++i) sum ^= static_cast<unsigned char>(out[i]);
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", sum & 0xFFu);
      out[star + 1] = hex[0];
      out[star + 2] = hex[1];
    }
  }
  return out;
}

namespace {

struct FixPosition {
  uint32_t timeOfDayMs = 0;
  double latitudeDeg = 0.0;
  double longitudeDeg = 0.0;
  double altitudeM = 0.0;
};

// "ddmm.mmmm" (degreeDigits 2) or "dddmm.mmmm" (3) as degrees.
bool parseAngle(std::string_view field, size_t degreeDigits, double& degrees) {
  if (field.size() < degreeDigits + 2) return false;
  // from_chars: a '.' whatever the process locale says.
  int whole = 0;
  double minutes = 0.0;
  const char* begin = field.data();
  const char* end = field.data() + field.size();
  const auto wholeRead = std::from_chars(begin, begin + degreeDigits, whole);
  const auto minutesRead = std::from_chars(begin + degreeDigits, end, minutes);
  if (wholeRead.ptr != begin + degreeDigits || minutesRead.ptr != end) return false;
  degrees = whole + minutes / 60.0;
  return true;
}

// The timed position of a fix sentence (its tag already checked) with a fix.
bool parseFix(std::string_view sentence, FixPosition& fix) {
  std::vector<std::string_view> fields;
  size_t begin = 0;
  const size_t end = std::min(sentence.find('*'), sentence.find('\r'));
  const std::string_view body = sentence.substr(0, end);
  while (begin <= body.size()) {
    size_t comma = body.find(',', begin);
    if (comma == std::string_view::npos) comma = body.size();
    fields.push_back(body.substr(begin, comma - begin));
    begin = comma + 1;
  }
  if (fields.size() < 10 || fields[6].empty() || fields[6] == "0") return false;
  if (!parseTimeOfDay(fields[1], fix.timeOfDayMs)) return false;
  if (!parseAngle(fields[2], 2, fix.latitudeDeg) || !parseAngle(fields[4], 3, fix.longitudeDeg)) return false;
  if (fields[3] == "S") fix.latitudeDeg = -fix.latitudeDeg;
  if (fields[5] == "W") fix.longitudeDeg = -fix.longitudeDeg;
  fix.altitudeM = 0.0;
  std::from_chars(fields[9].data(), fields[9].data() + fields[9].size(), fix.altitudeM);
  return true;
}

// Every fix of a text, in order.
std::vector<FixPosition> fixesIn(std::string_view text, bool anyTalker) {
  std::vector<FixPosition> fixes;
  for (size_t at = findFixSentence(text, 0, anyTalker); at != std::string_view::npos;
       at = findFixSentence(text, at + 1, anyTalker)) {
    size_t next = text.find('$', at + 1);
    if (next == std::string_view::npos) next = text.size();
    FixPosition fix;
    if (parseFix(text.substr(at, next - at), fix)) fixes.push_back(fix);
  }
  return fixes;
}

// Distance along the way of a trapezoid speed profile at time t.
double travelledAt(double t, double totalM, double peakMps, double accelerationMps2) {
  const double rampS = peakMps / accelerationMps2;
  const double rampM = 0.5 * peakMps * rampS;
  const double cruiseS = (totalM - 2.0 * rampM) / peakMps;
  if (t <= rampS) return 0.5 * accelerationMps2 * t * t;
  if (t <= rampS + cruiseS) return rampM + peakMps * (t - rampS);
  const double u = std::min(t - rampS - cruiseS, rampS);
  return totalM - rampM + peakMps * u - 0.5 * accelerationMps2 * u * u;
}

}  // namespace

double closeTheLoop(Drive& drive) {
  constexpr double kEarthRadiusM = 6371000.0;
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kNearEnoughM = 5.0;
  // The first and the last fix of the drive, and the time of day at which
  // the drive starts (that of its first part).
  std::optional<FixPosition> to, from;
  uint32_t firstTimeMs = 0;
  for (const TimedText& part : drive.parts) {
    const std::vector<FixPosition> fixes = fixesIn(part.text, drive.anyTalker);
    if (fixes.empty()) continue;
    if (!to) {
      to = fixes.front();
      firstTimeMs = (to->timeOfDayMs + kDayMs - part.atMs % kDayMs) % kDayMs;
    }
    from = fixes.back();
  }
  if (!to || !from) return 0.0;
  const double latitudeRad = from->latitudeDeg * kPi / 180.0;
  const double northM = (to->latitudeDeg - from->latitudeDeg) * kPi / 180.0 * kEarthRadiusM;
  const double eastM = (to->longitudeDeg - from->longitudeDeg) * kPi / 180.0 * kEarthRadiusM * std::cos(latitudeRad);
  const double totalM = std::hypot(northM, eastM);
  if (totalM < kNearEnoughM) return 0.0;

  uint32_t stepMs = 1000;
  for (size_t i = 1; i < drive.parts.size(); ++i) {
    const uint32_t gap = drive.parts[i].atMs - drive.parts[i - 1].atMs;
    if (gap > 0 && gap < stepMs) stepMs = gap;
  }
  const double a = kReturnAccelerationMps2;
  const double peakMps = std::min(kReturnSpeedMps, std::sqrt(totalM * a));
  const double durationS = totalM / peakMps + peakMps / a;
  const uint32_t lastAtMs = drive.parts.back().atMs;
  for (uint32_t k = 1;; ++k) {
    const double t = std::min(static_cast<double>(k) * stepMs * 0.001, durationS);
    const double share = travelledAt(t, totalM, peakMps, a) / totalM;
    const double latitude = from->latitudeDeg + share * (to->latitudeDeg - from->latitudeDeg);
    const double longitude = from->longitudeDeg + share * (to->longitudeDeg - from->longitudeDeg);
    const double altitude = from->altitudeM + share * (to->altitudeM - from->altitudeM);
    const uint32_t atMs = lastAtMs + k * stepMs;
    char ns = 'N', ew = 'E';
    const std::string lat = sim::formatLatitude(latitude, 5, ns);
    const std::string lon = sim::formatLongitude(longitude, 5, ew);
    const std::string body = "GPGGA," + sim::formatTimeOfDay((firstTimeMs + atMs) % kDayMs, 2) + "," + lat + "," +
                             ns + "," + lon + "," + ew + ",1,08,1.0," + sim::formatFixed(altitude, 1) +
                             ",M,47.0,M,,";
    drive.parts.push_back({atMs, sim::frameSentence(body)});
    if (t >= durationS) break;
  }
  drive.roundMs = roundLengthMs(drive.parts);
  return totalM;
}

}  // namespace corvantis::demo
