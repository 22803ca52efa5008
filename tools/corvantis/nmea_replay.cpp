#include "tools/corvantis/nmea_replay.h"

#include <cctype>
#include <cstdio>

namespace corvantis::demo {

namespace {

constexpr uint32_t kDayMs = 86400000u;
constexpr uint32_t kHalfDayMs = kDayMs / 2;
constexpr std::string_view kFixSentence = "$GPGGA,";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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

Drive driveFromLog(std::string_view log) {
  Drive drive;
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
    if (sentence.substr(0, kFixSentence.size()) == kFixSentence) {
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

std::string shiftFixTimes(std::string_view text, uint32_t shiftMs) {
  std::string out(text);
  const uint32_t shiftSeconds = (shiftMs / 1000u) % 86400u;
  for (size_t at = out.find(kFixSentence); at != std::string::npos;
       at = out.find(kFixSentence, at + 1)) {
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

}  // namespace corvantis::demo
