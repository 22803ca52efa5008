#include "tools/analyze/timing_analysis.h"

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

// One screen's part of a replay: a window system and a context of its own,
// so that its run state, capture, settings and records are its own, as in a
// replay of its own. Every context reads the replay's clock; only the
// leading one reads its port.
struct ScreenPass {
  ScreenPass(Replay& replay, bool isDistance)
      : distance(isDistance), ctx(std::make_unique<AppContext>(windows, replay.clock(), replay.port())) {}

  bool distance;
  HeadlessWindowSystem windows;
  std::unique_ptr<AppContext> ctx;  // the fix history is large: not on the stack
  std::unique_ptr<Screen> screen;
  // The user's typing into the screen's fields, once it shows.
  std::function<void(HeadlessDialog&)> setup;
  // The run definition: its record key and its text as the fields show it.
  std::function<RecordKey()> currentKey;
  std::function<std::string(HeadlessDialog&)> definitionText;

  RecordKey key;
  std::string definition;
  std::vector<StoredRun> runs;

  // The end of a tick on this screen: its update, and the run it stored.
  void tick(bool newFix) {
    if (!screen->live) return;
    const uint64_t storedBefore = ctx->records.storedRunCount();
    screen->update(newFix);
    if (ctx->records.storedRunCount() == storedBefore) return;
    const RecordSet* set = ctx->records.findRecordSet(key);
    if (set == nullptr || set->filledCount() == 0) return;
    const RunRecord& newest = set->runs[static_cast<std::size_t>(set->filledCount() - 1)];
    StoredRun run;
    run.distance = distance;
    run.key = key.value();
    run.timeMs = newest.timeMs;
    run.stamp = newest.stamp;
    run.text = formatRunTime(run.timeMs);
    run.definition = definition;
    run.storedAtFixMs = ctx->gps.history.newestFixTime();
    runs.push_back(std::move(run));
  }
};

std::unique_ptr<ScreenPass> accelerationPass(Replay& replay, const AccelerationDefinition& definition) {
  auto pass = std::make_unique<ScreenPass>(replay, false);
  AppContext& ctx = *pass->ctx;
  pass->screen = std::make_unique<AccelerationScreen>(ctx);
  pass->setup = [definition](HeadlessDialog& d) {
    if (definition.from) d.userType(AccelerationScreen::kFromSpeed, *definition.from);
    if (definition.to) d.userType(AccelerationScreen::kToSpeed, *definition.to);
  };
  pass->currentKey = [&ctx] { return accelerationKey(ctx.settings.accelFrom, ctx.settings.accelTo); };
  pass->definitionText = [&ctx](HeadlessDialog& d) {
    return d.text(AccelerationScreen::kFromSpeed) + "-" + d.text(AccelerationScreen::kToSpeed) +
           (ctx.settings.units == units::kMetric ? " kph" : " mph");
  };
  return pass;
}

std::unique_ptr<ScreenPass> distancePass(Replay& replay, const DistanceDefinition& definition) {
  auto pass = std::make_unique<ScreenPass>(replay, true);
  AppContext& ctx = *pass->ctx;
  pass->screen = std::make_unique<DistanceScreen>(ctx);
  pass->setup = [definition](HeadlessDialog& d) {
    if (definition.distance) d.userType(DistanceScreen::kTargetDistance, *definition.distance);
  };
  pass->currentKey = [&ctx] { return distanceKey(ctx.settings.distance); };
  pass->definitionText = [](HeadlessDialog& d) {
    return d.text(DistanceScreen::kTargetDistance) + " " + d.text(DistanceScreen::kUnitLabel);
  };
  return pass;
}

// The screens of one replay, shown one inside the other as a user would
// open them in turn; the replay runs inside the last one.
class SharedReplay {
 public:
  SharedReplay(const std::vector<uint8_t>& log, TimingSession& session)
      : session_(session), replay_(log, scheduleFor(log, session), session.talkers) {
    uint32_t calendarSeconds = 0;
    uint32_t timeOfDayMs = 0;
    if (logCalendarStart(log, calendarSeconds, timeOfDayMs)) {
      replay_.clock().setCalendarBase(calendarSeconds, timeOfDayMs);
    }
  }

  Replay& replay() { return replay_; }
  void add(std::unique_ptr<ScreenPass> pass) { passes_.push_back(std::move(pass)); }

  void run() {
    if (passes_.empty()) return;
    GpsInput& leader = passes_.front()->ctx->gps;
    leader.onGgaReading = [this](const GgaReading& reading) {
      for (std::size_t i = 1; i < passes_.size(); ++i) {
        GpsInput& follower = passes_[i]->ctx->gps;
        applyGga(reading, follower.currentFix, follower.history);
      }
    };
    leader.afterTick = [this, &leader](bool newFix) {
      for (std::size_t i = 0; i < passes_.size(); ++i) {
        // The pump's own part of the state (a device error) as well.
        if (i > 0) passes_[i]->ctx->gps.currentFix = leader.currentFix;
        passes_[i]->tick(newFix);
      }
    };
    passes_.front()->ctx->records = std::move(session_.records);
    show(0);
    leader.afterTick = nullptr;
    leader.onGgaReading = nullptr;
    session_.settings = passes_.back()->ctx->settings;
    session_.records = std::move(passes_.front()->ctx->records);
    // A following screen stored only under its own definition: its set
    // goes back where it was, or after the leader's new ones.
    for (std::size_t i = 1; i < passes_.size(); ++i) {
      RecordSet* own = passes_[i]->ctx->records.findRecordSet(passes_[i]->key);
      if (own == nullptr) continue;
      if (RecordSet* shared = session_.records.findRecordSet(passes_[i]->key)) {
        *shared = std::move(*own);
      } else {
        session_.records.sets().push_back(std::move(*own));
      }
    }
  }

  // The runs the i-th screen stored, handed over once the replay is done.
  std::vector<StoredRun> takeRuns(std::size_t i) { return std::move(passes_[i]->runs); }

 private:
  void show(std::size_t i) {
    if (i == passes_.size()) {
      replay_.run(passes_.front()->ctx->gps);
      return;
    }
    ScreenPass& pass = *passes_[i];
    // Each screen opens with the settings as the one before it left them.
    pass.ctx->settings = i == 0 ? session_.settings : passes_[i - 1]->ctx->settings;
    pass.windows.pushModalScript([this, i, &pass](HeadlessDialog& d) {
      pass.setup(d);
      pass.definition = pass.definitionText(d);
      pass.key = pass.currentKey();
      // The screens' definitions differ, so a following screen needs only
      // its own definition's runs, which no screen before it touches.
      if (i > 0) pass.ctx->records = runsOf(passes_.front()->ctx->records, pass.key);
      pass.screen->live = true;
      show(i + 1);
      pass.screen->live = false;
      d.userClick(1);  // Main Menu
    });
    pass.screen->showModal();
  }

  static RunRecords runsOf(const RunRecords& records, RecordKey key) {
    RunRecords only;
    if (const RecordSet* set = records.findRecordSet(key)) only.sets().push_back(*set);
    return only;
  }

  TimingSession& session_;
  Replay replay_;
  std::vector<std::unique_ptr<ScreenPass>> passes_;
};

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

TimingPassRuns runTimingPasses(const std::vector<uint8_t>& log, TimingSession& session,
                               const TimingPassRequest& request) {
  SharedReplay shared(log, session);
  if (request.acceleration) shared.add(accelerationPass(shared.replay(), *request.acceleration));
  if (request.distance) shared.add(distancePass(shared.replay(), *request.distance));
  shared.run();
  TimingPassRuns runs;
  std::size_t next = 0;
  if (request.acceleration) runs.acceleration = shared.takeRuns(next++);
  if (request.distance) runs.distance = shared.takeRuns(next++);
  return runs;
}

std::vector<StoredRun> runAccelerationPass(const std::vector<uint8_t>& log, TimingSession& session,
                                           const AccelerationDefinition& definition) {
  TimingPassRequest request;
  request.acceleration = definition;
  return runTimingPasses(log, session, request).acceleration;
}

std::vector<StoredRun> runDistancePass(const std::vector<uint8_t>& log, TimingSession& session,
                                       const std::optional<std::string>& distance) {
  TimingPassRequest request;
  request.distance = DistanceDefinition{distance};
  return runTimingPasses(log, session, request).distance;
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
