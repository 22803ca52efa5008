// --accel FROM-TO / --distance D (and --timing for the stored definitions):
// the timing screens over the log, printing every run they stored.
#include <iostream>
#include <string>

#include "common/units.h"
#include "platform/posix/files.h"
#include "tools/analyze/modes.h"
#include "tools/analyze/options_session.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoRun = 1;
constexpr int kExitBadInput = 2;

int runTiming(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream& err) {
  const bool metric = args.has("--metric");
  const bool json = args.has("--json");
  const bool accel = args.has("--accel");
  const bool distance = args.has("--distance");

  AccelerationDefinition speeds;
  if (accel) {
    std::string from, to;
    if (!splitSpeedRange(args.value("--accel"), from, to)) {
      err << "corvantis-analyze: --accel needs FROM-TO, such as 0-60\n";
      return kExitBadInput;
    }
    if (const std::string problem = checkAccelerationDefinition(from, to, metric); !problem.empty()) {
      err << "corvantis-analyze: --accel " << args.value("--accel") << ": " << problem << "\n";
      return kExitBadInput;
    }
    speeds.from = from;
    speeds.to = to;
  }
  if (distance) {
    if (const std::string problem = checkDistanceDefinition(args.value("--distance"), metric); !problem.empty()) {
      err << "corvantis-analyze: --distance " << args.value("--distance") << ": " << problem << "\n";
      return kExitBadInput;
    }
  }

  TimingSession session;
  loadSettingsDefaults(session.settings);
  if (args.has("--any-talker")) session.talkers = Talkers::Any;
  platform::PosixFiles files;
  const std::string optionsPath = args.value("--options");
  platform::FileLock optionsLock;
  if (args.has("--options")) {
    if (const int status = loadOptionsSession(files, optionsPath, session, err, optionsLock); status != 0) {
      return status;
    }
  }
  // The fields are read in the unit chosen here; the file keeps its own.
  const int32_t storedUnits = session.settings.units;
  session.settings.units = metric ? units::kMetric : units::kImperial;

  // Without either, both screens run with the definitions the settings hold.
  TimingPassRequest request;
  if (accel || !distance) request.acceleration = speeds;
  if (distance || !accel) {
    request.distance.emplace();
    if (distance) request.distance->distance = args.value("--distance");
  }
  const TimingPassRuns timed = runTimingPasses(log, session, request);
  for (const auto* runs : {&timed.acceleration, &timed.distance}) {
    for (const StoredRun& run : *runs) out << (json ? runJson(run) : runText(run)) << "\n";
  }

  if (args.has("--options")) {
    session.settings.units = storedUnits;
    if (!saveOptionsSession(files, optionsPath, session, err)) return kExitSaveFailed;
  }
  return timed.acceleration.empty() && timed.distance.empty() ? kExitNoRun : kExitDone;
}

const ModeRegistration registration({
    "--timing", nullptr,
    "run the timing screens over the log and print every run they stored (implied by --accel and --distance;"
    " alone: both screens with the stored definitions)",
    runTiming});
const OptionRegistration accelOption({"--accel", "FROM-TO", "time acceleration runs between these speeds (mph, kph with --metric)"});
const OptionRegistration distanceOption({"--distance", "D", "time standing-start runs over D (yards, metres with --metric)"});
const OptionRegistration metricOption({"--metric", nullptr, "read the speeds in kph and the distance in metres"});
const OptionRegistration optionsOption({"--options", "FILE", "add the runs to this options file (read first, written back)"});
const OptionRegistration jsonOption({"--json", nullptr, "one JSON object per run: kind, key, time_ms, text"});

}  // namespace
}  // namespace corvantis::analyze
