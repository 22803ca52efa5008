// --accel FROM-TO / --distance D (and --timing for the stored definitions):
// the timing screens over the log, printing every run they stored.
#include <iostream>
#include <string>

#include "common/units.h"
#include "platform/posix/files.h"
#include "store/options_file.h"
#include "tools/analyze/modes.h"
#include "tools/analyze/timing_analysis.h"

namespace corvantis::analyze {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoRun = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitSaveFailed = 3;

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
  if (args.has("--options")) {
    // A file that cannot be read whole is an error here, not a fresh start:
    // writing back would replace the user's records.
    files.removeStaleTemporaries(optionsPath);
    const platform::FileRead read = readOptionsFile(files, optionsPath);
    if (read.status == platform::FileRead::Status::TooLarge) {
      err << "corvantis-analyze: " << optionsPath << " is not a readable options file (" << optionsReadProblem(read)
          << "); it was left as it is\n";
      return kExitBadInput;
    }
    if (read.status == platform::FileRead::Status::Ok) {
      const DecodeReport report = decodeOptions(read.bytes, session.settings, session.records, session.laps);
      if (!report.ok()) {
        err << "corvantis-analyze: " << optionsPath << " is not a readable options file (" << report.problem
            << "); it was left as it is\n";
        return kExitBadInput;
      }
    } else if (read.status != platform::FileRead::Status::NotFound) {
      err << "corvantis-analyze: cannot read " << optionsPath << ": " << read.error << "\n";
      return kExitBadInput;
    }
  }
  // The fields are read in the unit chosen here; the file keeps its own.
  const int32_t storedUnits = session.settings.units;
  session.settings.units = metric ? units::kMetric : units::kImperial;

  std::vector<StoredRun> runs;
  // Without either, both screens run with the definitions the settings hold.
  if (accel || !distance) {
    for (StoredRun& run : runAccelerationPass(log, session, speeds)) runs.push_back(std::move(run));
  }
  if (distance || !accel) {
    std::optional<std::string> typed;
    if (distance) typed = args.value("--distance");
    for (StoredRun& run : runDistancePass(log, session, typed)) runs.push_back(std::move(run));
  }
  for (const StoredRun& run : runs) out << (json ? runJson(run) : runText(run)) << "\n";

  if (args.has("--options")) {
    session.settings.units = storedUnits;
    const OptionsSave saved = saveOptions(files, optionsPath, session.settings, session.records, session.laps);
    if (!saved.ok) {
      err << "corvantis-analyze: " << saved.message << "\n";
      return kExitSaveFailed;
    }
  }
  return runs.empty() ? kExitNoRun : kExitDone;
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
