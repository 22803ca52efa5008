#include "tools/analyze/timing_analysis.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "ui/context.h"
#include "common/time_text.h"
#include "common/units.h"
#include "platform/headless/headless_window_system.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "timing/timing_text.h"
#include "tools/analyze/log_replay.h"

namespace corvantis::analyze {
namespace {

using platform::headless::HeadlessDialog;
using platform::headless::HeadlessWindowSystem;

// The runs of one record set as (time, stamp) pairs: a change across a tick
// means the screen stored a run in it. A fixed-size value, compared on
// every tick without allocating.
struct SetSignature {
  int filled = 0;
  std::array<std::pair<uint32_t, uint32_t>, RecordSet::kSlots> runs{};
  bool operator==(const SetSignature&) const = default;
  bool empty() const { return filled == 0; }
  const std::pair<uint32_t, uint32_t>& back() const { return runs[static_cast<std::size_t>(filled - 1)]; }
};

SetSignature signature(const RunRecords& records, RecordKey key) {
  SetSignature signature;
  if (const RecordSet* set = records.findRecordSet(key)) {
    signature.filled = set->filledCount();
    for (int i = 0; i < signature.filled; ++i) {
      signature.runs[static_cast<std::size_t>(i)] = {set->runs[static_cast<std::size_t>(i)].timeMs,
                                                     set->runs[static_cast<std::size_t>(i)].stamp};
    }
  }
  return signature;
}

// The session's schedule for this log, worked out on first use.
std::shared_ptr<const ReplaySchedule> scheduleFor(const std::vector<uint8_t>& log, TimingSession& session) {
  TimingSession::ScheduleCache& cache = session.replaySchedule;
  if (!cache.schedule || cache.logData != log.data() || cache.logSize != log.size() ||
      cache.talkers != session.talkers) {
    cache.schedule = scheduleOf(log, session.talkers);
    cache.logData = log.data();
    cache.logSize = log.size();
    cache.talkers = session.talkers;
  }
  return cache.schedule;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

bool twoDigits(const std::string& text, size_t at, int& value) {
  if (at + 2 > text.size() || text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') {
    return false;
  }
  value = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return true;
}

// Where the pass's screen is shown and the log replayed: the same context,
// pump and screen as on the device, with the replay standing in for the
// serial port and the clock.
struct PassRig {
  explicit PassRig(const std::vector<uint8_t>& log, TimingSession& session)
      : replay(log, scheduleFor(log, session), session.talkers),
        ctx(std::make_unique<AppContext>(windows, replay.clock(), replay.port())) {
    ctx->settings = session.settings;
    ctx->records = std::move(session.records);
    uint32_t calendarSeconds = 0;
    uint32_t timeOfDayMs = 0;
    if (logCalendarStart(log, calendarSeconds, timeOfDayMs)) {
      replay.clock().setCalendarBase(calendarSeconds, timeOfDayMs);
    }
  }
  void finish(TimingSession& session) {
    session.settings = ctx->settings;
    session.records = std::move(ctx->records);
  }

  Replay replay;
  HeadlessWindowSystem windows;
  std::unique_ptr<AppContext> ctx;  // the fix history is large: not on the stack
};

// Shows the screen, lets `setup` act as the user on its fields, then replays
// the whole log with the screen live and collects every run it stores.
template <typename ScreenT>
std::vector<StoredRun> runPass(PassRig& rig, ScreenT& screen, bool distance,
                               const std::function<void(HeadlessDialog&)>& setup,
                               const std::function<RecordKey()>& currentKey,
                               const std::function<std::string(HeadlessDialog&)>& definitionText) {
  std::vector<StoredRun> runs;
  AppContext& ctx = *rig.ctx;
  std::string definition;
  ctx.gps.afterTick = [&](bool newFix) {
    if (!screen.live) return;
    const RecordKey key = currentKey();
    const auto before = signature(ctx.records, key);
    screen.update(newFix);
    const auto after = signature(ctx.records, key);
    if (after == before || after.empty()) return;
    StoredRun run;
    run.distance = distance;
    run.key = key.value();
    run.timeMs = after.back().first;
    run.stamp = after.back().second;
    run.text = formatRunTime(run.timeMs);
    run.definition = definition;
    run.storedAtFixMs = ctx.gps.history.newestFixTime();
    runs.push_back(run);
  };
  rig.windows.pushModalScript([&](HeadlessDialog& d) {
    setup(d);
    definition = definitionText(d);
    screen.live = true;
    rig.replay.run(ctx.gps);
    screen.live = false;
    d.userClick(1);  // Main Menu
  });
  screen.showModal();
  ctx.gps.afterTick = nullptr;
  return runs;
}

}  // namespace

bool splitSpeedRange(const std::string& range, std::string& from, std::string& to) {
  // The dash after the first character: a from-speed may carry a sign.
  const size_t dash = range.find('-', 1);
  if (dash == std::string::npos) return false;
  from = range.substr(0, dash);
  to = range.substr(dash + 1);
  return true;
}

std::string checkAccelerationDefinition(const std::string& from, const std::string& to, bool metric) {
  const auto fromTyped = parseTypedNumber(from);
  const auto toTyped = parseTypedNumber(to);
  if (!fromTyped || !toTyped) return "speeds must be numbers (FROM-TO, such as 0-60)";
  auto toMph = [&](float typed) {
    return metric ? static_cast<float>(static_cast<double>(typed) * units::kKphToMph) : typed;
  };
  if (!speedFitsKey(toMph(*fromTyped)) || !speedFitsKey(toMph(*toTyped))) {
    return "speeds must lie from 0 up to 32767 mph";
  }
  if (!(toMph(*toTyped) > toMph(*fromTyped))) return "the to-speed must be above the from-speed";
  return {};
}

std::string checkDistanceDefinition(const std::string& distance, bool metric) {
  const auto typed = parseTypedNumber(distance);
  if (!typed) return "the distance must be a number";
  double distanceM = static_cast<double>(*typed);
  if (!metric) distanceM = distanceM * units::kYardsToMetres;
  if (!distanceFitsKey(distanceM)) return "the distance must lie above 0 and below 32768 m";
  return {};
}

std::vector<StoredRun> runAccelerationPass(const std::vector<uint8_t>& log, TimingSession& session,
                                           const AccelerationDefinition& definition) {
  PassRig rig(log, session);
  AccelerationScreen screen(*rig.ctx);
  AppContext& ctx = *rig.ctx;
  const bool metric = ctx.settings.units == units::kMetric;
  auto runs = runPass(
      rig, screen, false,
      [&](HeadlessDialog& d) {
        if (definition.from) d.userType(AccelerationScreen::kFromSpeed, *definition.from);
        if (definition.to) d.userType(AccelerationScreen::kToSpeed, *definition.to);
      },
      [&] { return accelerationKey(ctx.settings.accelFrom, ctx.settings.accelTo); },
      [&](HeadlessDialog& d) {
        return d.text(AccelerationScreen::kFromSpeed) + "-" + d.text(AccelerationScreen::kToSpeed) +
               (metric ? " kph" : " mph");
      });
  rig.finish(session);
  return runs;
}

std::vector<StoredRun> runDistancePass(const std::vector<uint8_t>& log, TimingSession& session,
                                       const std::optional<std::string>& distance) {
  PassRig rig(log, session);
  DistanceScreen screen(*rig.ctx);
  AppContext& ctx = *rig.ctx;
  auto runs = runPass(
      rig, screen, true,
      [&](HeadlessDialog& d) {
        if (distance) d.userType(DistanceScreen::kTargetDistance, *distance);
      },
      [&] { return distanceKey(ctx.settings.distance); },
      [&](HeadlessDialog& d) {
        return d.text(DistanceScreen::kTargetDistance) + " " + d.text(DistanceScreen::kUnitLabel);
      });
  rig.finish(session);
  return runs;
}

std::string runText(const StoredRun& run) {
  return std::string(run.distance ? "distance " : "accel ") + run.definition + ": " + run.text;
}

std::string runJson(const StoredRun& run) {
  char text[160];
  std::snprintf(text, sizeof text, "{\"kind\":\"%s\",\"key\":%u,\"time_ms\":%u,\"text\":\"%s\"}",
                run.distance ? "distance" : "accel", static_cast<unsigned>(run.key),
                static_cast<unsigned>(run.timeMs), run.text.c_str());
  return text;
}

bool logCalendarStart(const std::vector<uint8_t>& log, uint32_t& calendarSeconds, uint32_t& timeOfDayMs) {
  const char* bytes = reinterpret_cast<const char*>(log.data());
  for (size_t at = 0; at + 6 <= log.size(); ++at) {
    if (bytes[at] != '$' || std::memcmp(bytes + at + 3, "RMC", 3) != 0) continue;
    size_t end = at + 1;
    while (end < log.size() && bytes[end] != '$' && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    const std::string sentence(bytes + at, end - at);
    // Fields: 1 time hhmmss(.ss), 2 status, ..., 9 date ddmmyy.
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = sentence.find(',', start)) != std::string::npos; start = comma + 1) {
      fields.push_back(sentence.substr(start, comma - start));
    }
    fields.push_back(sentence.substr(start));
    if (fields.size() < 10) continue;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    if (!twoDigits(fields[1], 0, hour) || !twoDigits(fields[1], 2, minute) || !twoDigits(fields[1], 4, second) ||
        !twoDigits(fields[9], 0, day) || !twoDigits(fields[9], 2, month) || !twoDigits(fields[9], 4, year)) {
      continue;
    }
    if (hour > 23 || minute > 59 || second > 60 || day < 1 || day > 31 || month < 1 || month > 12) continue;
    year += year < 80 ? 2000 : 1900;
    const int64_t seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    calendarSeconds = static_cast<uint32_t>(seconds);
    timeOfDayMs = static_cast<uint32_t>((hour * 3600 + minute * 60 + second) * 1000);
    return true;
  }
  return false;
}

}  // namespace corvantis::analyze
