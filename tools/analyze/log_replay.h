#pragma once
// Replay of a recorded NMEA log through the real sentence pump, under a
// simulated clock, so that what the analyzer reports is what the device
// would have seen.
//
// The replay rule: sentences start at each "$". The bytes of each $GPGGA
// sentence and of every sentence after it up to the next $GPGGA become
// readable at that sentence's UTC time of day; bytes before the first one
// at the first one's time. A $GPGGA with an empty (or impossible) time field
// opens no group of its own: its bytes go with the group before it. Ticks
// come every 100 ms of simulated time from the first $GPGGA's time; a read
// that finds no released byte answers "nothing" at once. After the last
// byte one "$" is released, so that the last sentence is decoded. When a
// tick ends with the device error raised (100 silent ticks, as on the
// device) and the log still holds bytes, the port is reopened before the
// next tick, as a user would from the configuration screen: the error and
// the silence count are cleared, the line buffer is kept.
//
// Release times count days on like the fix history: a time of day more
// than 12 hours below the previous group's is the next day; a smaller step
// back releases the group at once (times never run backwards).
//
// With Talkers::Any (--any-talker) the GGA sentence of any talker opens a
// group, as it is the fix sentence there.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "gps/nmea_decoder.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"

namespace corvantis::analyze {

// Reads a whole log. False with `error` set ("cannot open ...: reason").
bool readLogFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);

// When the bytes of a log become readable: the groups of the replay rule,
// each with its end and release time. Worked out once per log and talker
// rule; every replay of that log can share it.
struct ReplaySchedule {
  struct Group {
    std::size_t end;     // one past its last byte (the closing "$" is byte log.size())
    uint64_t releaseMs;  // never below the group before it
  };
  std::vector<Group> groups;
  uint64_t startMs = 0;  // simulated time of the first tick
};
std::shared_ptr<const ReplaySchedule> scheduleOf(std::span<const uint8_t> log, Talkers talkers);

// The log as a byte source that stands in for the serial port. Reads see
// only the bytes released by the simulated time set with setNowMs. The log
// is read where it lies, not copied: a log passed as an lvalue must outlive
// the port (a temporary is moved in and kept).
class ReplayPort : public platform::SerialPort {
 public:
  explicit ReplayPort(const std::vector<uint8_t>& log, Talkers talkers = Talkers::GpsOnly);
  explicit ReplayPort(std::vector<uint8_t>&& log, Talkers talkers = Talkers::GpsOnly);
  // With a schedule already worked out for this log.
  ReplayPort(const std::vector<uint8_t>& log, std::shared_ptr<const ReplaySchedule> schedule);
  ReplayPort(std::vector<uint8_t>&&, std::shared_ptr<const ReplaySchedule>) = delete;

  bool open(const std::string& name) override;
  bool applyLineSettings(const platform::LineSettings&) override { return open_; }
  bool applyTimeouts(const platform::Timeouts&) override { return open_; }
  platform::ReadResult readByte(uint8_t& byte) override;
  // Every released byte not yet read, at once (the closing "$" on its own).
  platform::ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) override;
  void consume(std::size_t count) override;
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }

  // Simulated time of the first tick (ms, days counted on from the first $GPGGA's day).
  uint32_t startMs() const { return static_cast<uint32_t>(schedule_->startMs); }
  void setNowMs(uint64_t nowMs);
  // Every byte of the log and the closing "$" have been read.
  bool exhausted() const { return position_ >= log_.size() + 1; }
  std::size_t bytesRead() const { return position_; }
  std::size_t groupCount() const { return schedule_->groups.size(); }
  const std::shared_ptr<const ReplaySchedule>& schedule() const { return schedule_; }

 private:
  std::vector<uint8_t> owned_;        // the log, when it was handed over as a temporary
  std::span<const uint8_t> log_;      // the log; the closing "$" follows it
  std::shared_ptr<const ReplaySchedule> schedule_;
  std::size_t nextGroup_ = 0;
  std::size_t releasedEnd_ = 0;
  std::size_t position_ = 0;
  bool open_ = false;
};

// The simulated clock: the tick counter is the replay's simulated time;
// calendar seconds are a fixed base plus the simulated seconds elapsed.
// Sleeping does not move simulated time (nothing waits in a replay).
class ReplayClock : public platform::Clock {
 public:
  uint32_t tickMs() override { return static_cast<uint32_t>(nowMs_); }
  void sleepMs(uint32_t) override {}
  uint32_t calendarSeconds() override;

  void setNowMs(uint64_t nowMs) { nowMs_ = nowMs; }
  uint64_t nowMs() const { return nowMs_; }
  void setCalendarBase(uint32_t calendarSeconds, uint64_t atMs);

 private:
  uint64_t nowMs_ = 0;
  uint32_t calendarBase_ = 0;
  uint64_t calendarBaseAtMs_ = 0;
};

// Message boxes of a program without a window: the text goes to stderr.
class StderrMessageBoxes : public platform::MessageBoxes {
 public:
  platform::MessageAnswer show(const std::string& text, platform::MessageIcon icon,
                               platform::MessageButtons buttons) override;
};

// Drives a GpsInput over a log: opens the port, ticks every 100 ms of
// simulated time until every byte is read, reopening after a device error.
// The GpsInput must have been built on port(); its afterTick hook sees every
// tick as on the device. The replay gives the GpsInput its own talker rule
// when it first opens the port, so that groups and fixes agree.
class Replay {
 public:
  // The log is read where it lies (see ReplayPort); a temporary is kept.
  explicit Replay(const std::vector<uint8_t>& log, Talkers talkers = Talkers::GpsOnly);
  explicit Replay(std::vector<uint8_t>&& log, Talkers talkers = Talkers::GpsOnly);
  // With a schedule already worked out for this log and rule.
  Replay(const std::vector<uint8_t>& log, std::shared_ptr<const ReplaySchedule> schedule, Talkers talkers);

  platform::SerialPort& port() { return port_; }
  ReplayClock& clock() { return clock_; }
  const ReplayPort& replayPort() const { return port_; }

  // Works one tick at the next simulated 100 ms step (the first call opens
  // the port). False, without ticking, once the log is exhausted.
  bool step(GpsInput& gps);
  // Steps until the log is exhausted.
  void run(GpsInput& gps);

  long ticks() const { return ticks_; }
  long reopens() const { return reopens_; }

 private:
  ReplayPort port_;
  ReplayClock clock_;
  Talkers talkers_;
  long ticks_ = 0;
  long reopens_ = 0;
  bool opened_ = false;
};

// One line of the --fixes output for the newest fix of `history`:
// time_ms,latitude,longitude,altitude,speed_mph.
std::string fixCsvLine(const FixSample& fix);
inline constexpr const char* kFixCsvHeader = "time_ms,latitude,longitude,altitude,speed_mph";

// Replays the log and writes the header and one line per fix that moved
// the fix window. Answers the number of fixes.
long writeFixesCsv(const std::vector<uint8_t>& log, std::string& out, Talkers talkers = Talkers::GpsOnly);

}  // namespace corvantis::analyze
