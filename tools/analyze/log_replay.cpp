#include "tools/analyze/log_replay.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "gps/nmea_decoder.h"

namespace corvantis::analyze {
namespace {

constexpr uint64_t kTickMs = 100;
constexpr uint32_t kDayMs = 86400000u;
constexpr uint32_t kHalfDayMs = kDayMs / 2;
constexpr uint32_t kLatestTimeOfDayMs = kDayMs + 1000u;
// The port indexes the analyzer opens: any; the replay port ignores the name.
constexpr int kReplayPortIndex = 5;
constexpr int kReplayBaudIndex = 0;

// The time of day of a fix sentence ($GPGGA, or any talker's GGA under
// Talkers::Any) starting at `sentence`, if it has a usable one.
bool ggaTime(const uint8_t* sentence, std::size_t length, Talkers talkers, uint32_t& timeOfDayMs) {
  if (length < 6) return false;
  char text[96];
  const std::size_t n = length < sizeof text - 1 ? length : sizeof text - 1;
  std::memcpy(text, sentence, n);
  text[n] = '\0';
  if (talkers == Talkers::Any ? !isGgaOfAnyTalker(text) : std::memcmp(text, "$GPGGA", 6) != 0) return false;
  FieldBuffer field;
  if (!extractField(text, 1, field)) return false;
  timeOfDayMs = readTimeOfDay(field);
  return timeOfDayMs < kLatestTimeOfDayMs;
}

}  // namespace

bool readLogFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  bytes.clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(file) != 0;
  const int readErrno = errno;
  std::fclose(file);
  if (failed) {
    error = "cannot read " + path + ": " + std::strerror(readErrno);
    bytes.clear();
    return false;
  }
  return true;
}

ReplayPort::ReplayPort(const std::vector<uint8_t>& log, Talkers talkers) : bytes_(log) {
  bytes_.push_back('$');
  const std::size_t logSize = log.size();

  bool haveFirst = false;
  uint64_t previousCountedMs = 0;
  uint64_t dayOffsetMs = 0;
  uint64_t releaseMs = 0;
  for (std::size_t start = 0; start < logSize; ++start) {
    if (log[start] != '$') continue;
    std::size_t end = start + 1;
    while (end < logSize && log[end] != '$') ++end;
    uint32_t timeOfDayMs = 0;
    if (ggaTime(log.data() + start, end - start, talkers, timeOfDayMs)) {
      uint64_t countedMs = dayOffsetMs + timeOfDayMs;
      if (haveFirst && countedMs + kHalfDayMs < previousCountedMs) {
        dayOffsetMs += kDayMs;
        countedMs += kDayMs;
      }
      if (!haveFirst) {
        // The bytes before the first $GPGGA go with it.
        haveFirst = true;
        startMs_ = countedMs;
        releaseMs = countedMs;
      } else {
        groups_.push_back({start, releaseMs});
        if (countedMs > releaseMs) releaseMs = countedMs;
      }
      previousCountedMs = countedMs;
    }
    start = end - 1;
  }
  // The last group ends with the closing "$". A log without a timed
  // $GPGGA is one group released at once.
  groups_.push_back({bytes_.size(), releaseMs});
}

bool ReplayPort::open(const std::string&) {
  open_ = true;
  return true;
}

void ReplayPort::setNowMs(uint64_t nowMs) {
  while (nextGroup_ < groups_.size() && groups_[nextGroup_].releaseMs <= nowMs) {
    releasedEnd_ = groups_[nextGroup_].end;
    ++nextGroup_;
  }
}

platform::ReadResult ReplayPort::readByte(uint8_t& byte) {
  if (!open_) return platform::ReadResult::Failed;
  if (position_ >= releasedEnd_) return platform::ReadResult::Nothing;
  byte = bytes_[position_++];
  return platform::ReadResult::Byte;
}

uint32_t ReplayClock::calendarSeconds() {
  const uint64_t elapsedS = nowMs_ > calendarBaseAtMs_ ? (nowMs_ - calendarBaseAtMs_) / 1000 : 0;
  return static_cast<uint32_t>(calendarBase_ + elapsedS);
}

void ReplayClock::setCalendarBase(uint32_t calendarSeconds, uint64_t atMs) {
  calendarBase_ = calendarSeconds;
  calendarBaseAtMs_ = atMs;
}

platform::MessageAnswer StderrMessageBoxes::show(const std::string& text, platform::MessageIcon,
                                                 platform::MessageButtons buttons) {
  std::string oneLine = text;
  for (char& c : oneLine) {
    if (c == '\n') c = ' ';
  }
  std::cerr << "corvantis-analyze: " << oneLine << "\n";
  return buttons == platform::MessageButtons::Ok ? platform::MessageAnswer::Ok : platform::MessageAnswer::No;
}

Replay::Replay(const std::vector<uint8_t>& log, Talkers talkers) : port_(log, talkers), talkers_(talkers) {}

bool Replay::step(GpsInput& gps) {
  if (port_.exhausted()) return false;
  if (!opened_) {
    opened_ = true;
    gps.talkers = talkers_;
    gps.openPort(kReplayPortIndex, kReplayBaudIndex);
  } else if (gps.currentFix.deviceError || !gps.portOpen()) {
    // The user's answer to "GPS Device Error": reopen from the configuration screen.
    gps.openPort(kReplayPortIndex, kReplayBaudIndex);
    ++reopens_;
  }
  const uint64_t nowMs = port_.startMs() + static_cast<uint64_t>(ticks_) * kTickMs;
  clock_.setNowMs(nowMs);
  port_.setNowMs(nowMs);
  gps.pumpTick();
  ++ticks_;
  return true;
}

void Replay::run(GpsInput& gps) {
  while (step(gps)) {
  }
}

std::string fixCsvLine(const FixSample& fix) {
  char text[160];
  std::snprintf(text, sizeof text, "%u,%.9f,%.9f,%.9f,%.9f", static_cast<unsigned>(fix.time), fix.latitude,
                fix.longitude, static_cast<double>(fix.altitude), static_cast<double>(fix.speed));
  return text;
}

long writeFixesCsv(const std::vector<uint8_t>& log, std::string& out, Talkers talkers) {
  Replay replay(log, talkers);
  StderrMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(replay.port(), boxes);
  long fixes = 0;
  out += kFixCsvHeader;
  out += '\n';
  gps->afterTick = [&](bool newFix) {
    if (!newFix) return;
    out += fixCsvLine(gps->history.newest());
    out += '\n';
    ++fixes;
  };
  replay.run(*gps);
  return fixes;
}

}  // namespace corvantis::analyze
