#include "tools/analyze/log_replay.h"

#include <sys/stat.h>

#include <algorithm>
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
  // Only the sentence's first 95 bytes, up to a NUL, are looked at.
  constexpr std::size_t kLookedAt = 95;
  if (length > kLookedAt) length = kLookedAt;
  if (const void* nul = std::memchr(sentence, '\0', length)) {
    length = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - sentence);
  }
  if (length < 6) return false;
  const char* text = reinterpret_cast<const char*>(sentence);
  const bool gga = talkers == Talkers::Any ? (text[0] == '$' && text[1] >= 'A' && text[1] <= 'Z' && text[2] >= 'A' &&
                                              text[2] <= 'Z' && std::memcmp(text + 3, "GGA", 3) == 0)
                                           : std::memcmp(text, "$GPGGA", 6) == 0;
  if (!gga) return false;
  // Field 1 as extractField gives it: between the first two commas (the
  // search starting after the "$"), non-empty, its first 31 characters.
  const char* end = text + length;
  const auto* first = static_cast<const char*>(std::memchr(text + 1, ',', length - 1));
  if (first == nullptr) return false;
  const auto* second = static_cast<const char*>(std::memchr(first + 1, ',', static_cast<std::size_t>(end - first - 1)));
  if (second == nullptr || second == first + 1) return false;
  FieldBuffer field;
  const std::size_t size = std::min<std::size_t>(static_cast<std::size_t>(second - first - 1), kFieldBufferSize - 1);
  std::memcpy(field, first + 1, size);
  field[size] = '\0';
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
  // Room for the whole file at once: a vector grown chunk by chunk holds up
  // to twice the log while it moves, and the log is the analyzer's largest
  // piece of memory. The size is a hint; the file is read to its end.
  struct stat info {};
  if (::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    // Straight into its place, without a copy through a smaller buffer.
    bytes.resize(static_cast<std::size_t>(info.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
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

std::shared_ptr<const ReplaySchedule> scheduleOf(std::span<const uint8_t> log, Talkers talkers) {
  auto schedule = std::make_shared<ReplaySchedule>();
  const std::size_t logSize = log.size();
  bool haveFirst = false;
  uint64_t previousCountedMs = 0;
  uint64_t dayOffsetMs = 0;
  uint64_t releaseMs = 0;
  const uint8_t* const begin = log.data();
  const auto nextDollar = [&](std::size_t from) {
    if (from >= logSize) return logSize;
    const auto* found = static_cast<const uint8_t*>(std::memchr(begin + from, '$', logSize - from));
    return found == nullptr ? logSize : static_cast<std::size_t>(found - begin);
  };
  for (std::size_t start = nextDollar(0); start < logSize;) {
    const std::size_t end = nextDollar(start + 1);
    uint32_t timeOfDayMs = 0;
    if (ggaTime(begin + start, end - start, talkers, timeOfDayMs)) {
      uint64_t countedMs = dayOffsetMs + timeOfDayMs;
      if (haveFirst && countedMs + kHalfDayMs < previousCountedMs) {
        dayOffsetMs += kDayMs;
        countedMs += kDayMs;
      }
      if (!haveFirst) {
        // The bytes before the first $GPGGA go with it.
        haveFirst = true;
        schedule->startMs = countedMs;
        releaseMs = countedMs;
      } else {
        schedule->groups.push_back({start, releaseMs});
        if (countedMs > releaseMs) releaseMs = countedMs;
      }
      previousCountedMs = countedMs;
    }
    start = end;
  }
  // The last group ends with the closing "$". A log without a timed
  // $GPGGA is one group released at once.
  schedule->groups.push_back({logSize + 1, releaseMs});
  return schedule;
}

ReplayPort::ReplayPort(const std::vector<uint8_t>& log, Talkers talkers)
    : log_(log), schedule_(scheduleOf(log_, talkers)) {}

ReplayPort::ReplayPort(std::vector<uint8_t>&& log, Talkers talkers)
    : owned_(std::move(log)), log_(owned_), schedule_(scheduleOf(log_, talkers)) {}

ReplayPort::ReplayPort(const std::vector<uint8_t>& log, std::shared_ptr<const ReplaySchedule> schedule)
    : log_(log), schedule_(std::move(schedule)) {}

bool ReplayPort::open(const std::string&) {
  open_ = true;
  return true;
}

void ReplayPort::setNowMs(uint64_t nowMs) {
  const auto& groups = schedule_->groups;
  while (nextGroup_ < groups.size() && groups[nextGroup_].releaseMs <= nowMs) {
    releasedEnd_ = groups[nextGroup_].end;
    ++nextGroup_;
  }
}

platform::ReadResult ReplayPort::readByte(uint8_t& byte) {
  if (!open_) return platform::ReadResult::Failed;
  if (position_ >= releasedEnd_) return platform::ReadResult::Nothing;
  byte = position_ < log_.size() ? log_[position_] : static_cast<uint8_t>('$');
  ++position_;
  return platform::ReadResult::Byte;
}

platform::ReadResult ReplayPort::readAvailable(std::span<const uint8_t>& bytes, uint32_t) {
  static constexpr uint8_t kClosingDollar = '$';
  bytes = {};
  if (!open_) return platform::ReadResult::Failed;
  if (position_ >= releasedEnd_) return platform::ReadResult::Nothing;
  if (position_ < log_.size()) {
    const std::size_t end = releasedEnd_ < log_.size() ? releasedEnd_ : log_.size();
    bytes = log_.subspan(position_, end - position_);
  } else {
    bytes = std::span<const uint8_t>(&kClosingDollar, 1);
  }
  return platform::ReadResult::Byte;
}

void ReplayPort::consume(std::size_t count) {
  position_ += std::min(count, releasedEnd_ - position_);
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

Replay::Replay(std::vector<uint8_t>&& log, Talkers talkers) : port_(std::move(log), talkers), talkers_(talkers) {}

Replay::Replay(const std::vector<uint8_t>& log, std::shared_ptr<const ReplaySchedule> schedule, Talkers talkers)
    : port_(log, std::move(schedule)), talkers_(talkers) {}

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
