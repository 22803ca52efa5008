// --timeslip [--rollout] [--json] LOG: a drag-strip time slip of every
// standing start in the log, with the meter's own stored 0-60 mph and
// quarter mile of the same launch beside it.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "slip/nmea_motion.h"
#include "slip/time_slip.h"
#include "common/units.h"
#include "store/settings.h"
#include "common/time_text.h"
#include "tools/analyze/modes.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoSlip = 1;
constexpr double kMpsToMph = 1.0 / 0.44704;
constexpr double kMpsToKph = 3.6;
constexpr double kDayMs = 86400000.0;

// The meter's own runs of one launch, as its screens stored them.
struct StoredTimes {
  std::optional<uint32_t> zeroToSixtyMs;
  std::optional<uint32_t> quarterMileMs;
};

// A stored run belongs to the launch during whose run it was stored.
std::optional<uint32_t> storedFor(const std::vector<StoredRun>& runs, const slip::TimeSlip& slip,
                                  const slip::TimeSlip* next) {
  for (const StoredRun& run : runs) {
    const double at = run.storedAtFixMs;
    if (at < slip.launchMs - 2000.0 || at > slip.endMs + 2000.0) continue;
    if (next != nullptr && at >= next->launchMs - 2000.0) continue;
    return run.timeMs;
  }
  return std::nullopt;
}

std::string timeOfDay(double ms) {
  const long long whole = std::llround(ms) % static_cast<long long>(kDayMs);
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", whole / 3600000, whole / 60000 % 60,
                whole / 1000 % 60, whole % 1000);
  return text;
}

const char* sourceText(slip::SpeedSource source) {
  return source == slip::SpeedSource::SpeedOverGround ? "speed over ground" : "positions";
}

// A ± as the slip shows it: rounded up to the millisecond, so that it
// never claims more than the fit gives.
long long plusMinusMs(double ms) { return static_cast<long long>(std::ceil(ms - 1e-9)); }

std::string markText(const slip::MarkResult& mark) {
  char text[64];
  std::snprintf(text, sizeof text, "%7.3f s ± %.3f", std::llround(mark.timeMs) / 1000.0,
                plusMinusMs(mark.plusMinusMs) / 1000.0);
  return text;
}

std::string trapText(const slip::MarkResult& mark, bool metric) {
  const double factor = metric ? kMpsToKph : kMpsToMph;
  char text[64];
  std::snprintf(text, sizeof text, "  %6.2f %s ± %.2f", mark.trapMps * factor, metric ? "km/h" : "mph",
                std::ceil(mark.trapPlusMinusMps * factor * 100.0 - 1e-9) / 100.0);
  return text;
}

std::string plainSlip(const slip::TimeSlip& slip, const StoredTimes& stored, bool metric) {
  std::string out;
  char line[200];
  std::snprintf(line, sizeof line, "Time slip, launch at %s UTC ± %.3f s, clock from %s\n",
                timeOfDay(slip.launchMs).c_str(), plusMinusMs(slip.launchPlusMinusMs) / 1000.0,
                slip.rollout ? "a one-foot rollout" : "first motion");
  out += line;
  // Where the fixes cannot show when the car left rest, the times from the
  // one-foot rollout carry the slip, beside those asked for.
  const bool rolloutColumn = !slip.rollout && !slip.firstMotionSeen;
  if (rolloutColumn) {
    out += "  first motion cannot be seen in these fixes: trust the times from the one-foot rollout\n";
  }
  std::snprintf(line, sizeof line, "  %-12s %7.3f s ± %.3f after first motion\n", "rollout",
                std::llround(slip.rolloutMs) / 1000.0, plusMinusMs(slip.rolloutPlusMinusMs) / 1000.0);
  out += line;
  for (size_t i = 0; i < slip.marks.size(); ++i) {
    const slip::MarkResult& mark = slip.marks[i];
    if (!mark.reached) {
      std::snprintf(line, sizeof line, "  %-12s %7s\n", mark.definition->label, "--");
      out += line;
      continue;
    }
    std::string text = "  " + std::string(mark.definition->label);
    text.resize(15, ' ');
    text += markText(mark);
    if (mark.hasTrap) text += trapText(mark, metric);
    if (rolloutColumn && i < slip.rolloutMarks.size() && slip.rolloutMarks[i].reached) {
      text += "   (from rollout " + markText(slip.rolloutMarks[i]).substr(1) + ")";
    }
    out += text + "\n";
  }
  // In the meter's own time format, as its screens show them.
  auto storedText = [](const std::optional<uint32_t>& ms) { return ms ? formatRunTime(*ms) : std::string("none"); };
  out += "  stored by the meter: 0-60 mph " + storedText(stored.zeroToSixtyMs) + ", 1/4 mile " +
         storedText(stored.quarterMileMs) + "\n";
  if (slip.source == slip::SpeedSource::SpeedOverGround) {
    out += "  from the receiver's speed over ground ($--RMC/$--VTG) and positions\n";
  } else if (slip.speedsDisagreed) {
    out += "  from the receiver's positions: its speeds over ground disagreed with them throughout\n";
  } else {
    out += "  from the receiver's positions (the log has no speed over ground)\n";
  }
  if (slip.droppedSpeeds > 0) {
    std::snprintf(line, sizeof line, "  %d speed%s over ground dropped: impossible against physics or the positions\n",
                  slip.droppedSpeeds, slip.droppedSpeeds == 1 ? "" : "s");
    out += line;
  }
  out += "  (± : 95 % interval)\n";
  return out;
}

std::string jsonMarks(const std::vector<slip::MarkResult>& marks) {
  std::string out = "{";
  bool first = true;
  char text[96];
  for (const slip::MarkResult& mark : marks) {
    if (!mark.reached) continue;
    if (!first) out += ",";
    first = false;
    out += "\"" + std::string(mark.definition->key) + "\":{\"time_ms\":" + std::to_string(std::llround(mark.timeMs)) +
           ",\"pm_ms\":" + std::to_string(plusMinusMs(mark.plusMinusMs));
    if (mark.hasTrap) {
      std::snprintf(text, sizeof text, ",\"trap_kph\":%.2f,\"trap_pm_kph\":%.2f", mark.trapMps * kMpsToKph,
                    std::ceil(mark.trapPlusMinusMps * kMpsToKph * 100.0 - 1e-9) / 100.0);
      out += text;
    }
    out += "}";
  }
  return out + "}";
}

std::string jsonSlip(const slip::TimeSlip& slip, const StoredTimes& stored) {
  std::string out = "{\"kind\":\"timeslip\",\"launch_ms\":" + std::to_string(std::llround(slip.launchMs)) +
                    ",\"launch_pm_ms\":" + std::to_string(plusMinusMs(slip.launchPlusMinusMs)) +
                    ",\"marks\":" + jsonMarks(slip.marks);
  auto storedJson = [](const std::optional<uint32_t>& ms) { return ms ? std::to_string(*ms) : std::string("null"); };
  out += ",\"stored\":{\"0-60\":" + storedJson(stored.zeroToSixtyMs) + ",\"1/4\":" + storedJson(stored.quarterMileMs) +
         "}";
  out += std::string(",\"clock\":\"") + (slip.rollout ? "rollout" : "first motion") + "\"";
  out += ",\"rollout_ms\":" + std::to_string(std::llround(slip.rolloutMs)) +
         ",\"rollout_pm_ms\":" + std::to_string(plusMinusMs(slip.rolloutPlusMinusMs));
  out += std::string(",\"first_motion_seen\":") + (slip.firstMotionSeen ? "true" : "false");
  if (!slip.rollout && !slip.firstMotionSeen) out += ",\"rollout_marks\":" + jsonMarks(slip.rolloutMarks);
  out += std::string(",\"source\":\"") + sourceText(slip.source) + "\"";
  out += std::string(",\"speeds_disagreed\":") + (slip.speedsDisagreed ? "true" : "false");
  out += ",\"speeds_dropped\":" + std::to_string(slip.droppedSpeeds) + "}";
  return out;
}

int runTimeSlip(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream& err) {
  slip::SlipOptions options;
  options.rollout = args.has("--rollout");
  const std::string_view text(reinterpret_cast<const char*>(log.data()), log.size());
  const std::vector<slip::MotionFix> fixes = slip::readMotion(text);
  const std::vector<slip::TimeSlip> slips = slip::timeSlips(fixes, options);
  if (slips.empty()) {
    err << "corvantis-analyze: no standing start of 60 ft or more in the log\n";
    return kExitNoSlip;
  }

  // The meter's own times: the screens over the same log, 0-60 mph and 440
  // yards, in Imperial whatever the slip shows, exactly as they store them.
  TimingSession session;
  loadSettingsDefaults(session.settings);
  session.settings.units = units::kImperial;
  TimingPassRequest request;
  request.acceleration = AccelerationDefinition{"0", "60"};
  request.distance = DistanceDefinition{"440"};
  const TimingPassRuns meter = runTimingPasses(log, session, request);
  const std::vector<StoredRun>& accel = meter.acceleration;
  const std::vector<StoredRun>& quarter = meter.distance;

  const bool json = args.has("--json");
  const bool metric = args.has("--metric");
  for (size_t i = 0; i < slips.size(); ++i) {
    const slip::TimeSlip* next = i + 1 < slips.size() ? &slips[i + 1] : nullptr;
    StoredTimes stored;
    stored.zeroToSixtyMs = storedFor(accel, slips[i], next);
    stored.quarterMileMs = storedFor(quarter, slips[i], next);
    if (json) {
      out << jsonSlip(slips[i], stored) << "\n";
    } else {
      if (i > 0) out << "\n";
      out << plainSlip(slips[i], stored, metric);
    }
  }
  return kExitDone;
}

const ModeRegistration registration({
    "--timeslip", nullptr,
    "a drag-strip time slip of every standing start: 60 ft, 330 ft, 1/8 mile, 1000 ft, 1/4 mile, trap speeds,"
    " 0-60 mph and 0-100 km/h, each with the half-width of its 95 % interval, with the meter's stored 0-60 and"
    " 1/4 mile beside them (--json: one object a launch; --metric: trap speeds in km/h)",
    runTimeSlip});
const OptionRegistration rolloutOption({"--rollout", nullptr, "time slips: start the clock after the first foot, as drag strips do"});

}  // namespace
}  // namespace corvantis::analyze
