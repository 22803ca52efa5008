#pragma once
// The analyzer's timing passes: the real acceleration or distance screen,
// shown on a headless dialog, with the log replayed through the real pump
// under the simulated clock, so that the runs found are the runs the device
// would have stored. Each replay starts from a fresh fix history and adds
// its runs to the session's records.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gps/nmea_decoder.h"
#include "tools/analyze/log_replay.h"
#include "store/lap_definitions.h"
#include "store/run_records.h"
#include "store/settings.h"

namespace corvantis::analyze {

// What the analyzer carries from pass to pass (and, with --options, from
// and back to the options file).
struct TimingSession {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  Talkers talkers = Talkers::GpsOnly;  // --any-talker

  // When the log's bytes are released, worked out by the first pass and
  // reused by the next ones over the same log (which must not change while
  // the session uses it).
  struct ScheduleCache {
    const uint8_t* logData = nullptr;
    std::size_t logSize = 0;
    Talkers talkers = Talkers::GpsOnly;
    std::shared_ptr<const ReplaySchedule> schedule;
  };
  ScheduleCache replaySchedule;
};

// One run a screen stored during a pass.
struct StoredRun {
  bool distance = false;       // a distance run, else an acceleration run
  uint32_t key = 0;            // the record key, (kind << 16) | parameter
  uint32_t timeMs = 0;
  std::string text;            // the time as the screen shows it
  std::string definition;      // the run definition as the screen's fields show it
  uint32_t storedAtFixMs = 0;  // newest fix time when it was stored (days counted on)
  uint32_t stamp = 0;          // calendar stamp stored with it
};

// Speeds and a distance as a user types them into the screens' fields, in
// the unit of session.settings.units. Empty: leave the field as it opens.
struct AccelerationDefinition {
  std::optional<std::string> from;
  std::optional<std::string> to;
};

// Checks typed values before a pass, so that a bad command line gets a
// clear message rather than a pass that can store nothing. Empty answer:
// fine; otherwise the reason.
std::string checkAccelerationDefinition(const std::string& from, const std::string& to, bool metric);
std::string checkDistanceDefinition(const std::string& distance, bool metric);

// "FROM-TO" split at the dash between the two numbers; false when there is none.
bool splitSpeedRange(const std::string& range, std::string& from, std::string& to);

// The distance, as typed into the distance screen's field (empty: as it opens).
struct DistanceDefinition {
  std::optional<std::string> distance;
};

// The timing screens one replay of a log shows, with what the user types
// into each; a screen left out is not shown.
struct TimingPassRequest {
  std::optional<AccelerationDefinition> acceleration;
  std::optional<DistanceDefinition> distance;
};

// The runs each screen stored, in the order it stored them.
struct TimingPassRuns {
  std::vector<StoredRun> acceleration;
  std::vector<StoredRun> distance;
};

// Shows the screens asked for over one replay of the log: the log is pumped
// and decoded once, the acceleration screen's input leads and the distance
// screen's fix history follows it reading by reading. Each screen keeps a
// context of its own (run state, capture, records of its definition), so the
// outcome, runs, records and settings alike, is that of an acceleration
// pass followed by a distance pass.
TimingPassRuns runTimingPasses(const std::vector<uint8_t>& log, TimingSession& session,
                               const TimingPassRequest& request);

// One screen over its own replay of the log.
std::vector<StoredRun> runAccelerationPass(const std::vector<uint8_t>& log, TimingSession& session,
                                           const AccelerationDefinition& definition);
std::vector<StoredRun> runDistancePass(const std::vector<uint8_t>& log, TimingSession& session,
                                       const std::optional<std::string>& distance);

// Output lines: "accel 0-60 mph: 4.861s", and the JSON object
// {"kind":"accel","key":60,"time_ms":4861,"text":"4.861s"}.
std::string runText(const StoredRun& run);
std::string runJson(const StoredRun& run);

// Calendar seconds (since 1970, UTC) of the first dated $--RMC sentence of
// the log, and its time of day in ms; false when the log has none. Run
// stamps of a replay follow the log's own date and time.
bool logCalendarStart(const std::vector<uint8_t>& log, uint32_t& calendarSeconds, uint32_t& timeOfDayMs);

}  // namespace corvantis::analyze
