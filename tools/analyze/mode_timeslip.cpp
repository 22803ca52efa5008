// --timeslip [--rollout] [--json] LOG: a drag-strip time slip of every
// standing start in the log, with the meter's own stored 0-60 mph and
// quarter mile of the same launch beside it.
#include <optional>
#include <string>
#include <string_view>

#include "slip/nmea_motion.h"
#include "slip/slip_text.h"
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
      auto storedJson = [](const std::optional<uint32_t>& ms) { return ms ? std::to_string(*ms) : std::string("null"); };
      out << slip::jsonSlipText(slips[i], ",\"stored\":{\"0-60\":" + storedJson(stored.zeroToSixtyMs) +
                                              ",\"1/4\":" + storedJson(stored.quarterMileMs) + "}")
          << "\n";
    } else {
      if (i > 0) out << "\n";
      // In the meter's own time format, as its screens show them.
      auto storedText = [](const std::optional<uint32_t>& ms) { return ms ? formatRunTime(*ms) : std::string("none"); };
      out << slip::plainSlipText(slips[i], metric,
                                 {"stored by the meter: 0-60 mph " + storedText(stored.zeroToSixtyMs) + ", 1/4 mile " +
                                  storedText(stored.quarterMileMs)});
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
