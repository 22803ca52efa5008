// --lap NAME and --define-lap NAME: the lap timing screen over the log,
// timing the laps of a stored track or recording a new one from the drive.
#include <iostream>
#include <string>

#include "store/lap_name_text.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/analyze/lap_delta_output.h"
#include "tools/analyze/modes.h"
#include "tools/analyze/options_session.h"

namespace corvantis::analyze {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitNoResult = 1;
constexpr int kExitBadInput = 2;

int runLaps(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream& err) {
  if (!args.has("--options")) {
    err << "corvantis-analyze: --lap needs --options FILE (the file that holds the track)\n";
    return kExitBadInput;
  }
  const std::string path = args.value("--options");
  platform::PosixFiles files;
  TimingSession session;
  platform::FileLock optionsLock;
  if (const int status = loadOptionsSession(files, path, session, err, optionsLock); status != 0) return status;
  if (args.has("--any-talker")) session.talkers = Talkers::Any;
  const int index = findDefinition(session.laps, args.modeValue);
  if (index < 0) {
    err << "corvantis-analyze: " << path << " holds no lap named \"" << args.modeValue << "\"";
    if (session.laps.count() == 0) {
      err << " (it holds no lap at all)\n";
    } else {
      err << "; its laps are:\n";
      for (const LapDefinition& definition : session.laps.definitions()) err << "  " << definition.name << "\n";
    }
    return kExitBadInput;
  }
  const bool json = args.has("--json");
  LapDeltaRequest deltaRequest;
  if (!readLapDeltaRequest(args, session.laps.at(index), deltaRequest, err)) return kExitBadInput;
  const std::vector<LapPassEvent> events = runLapPass(log, session, index);
  int laps = 0;
  for (const LapPassEvent& event : events) {
    if (event.event.kind == LapEvent::Kind::Lap) ++laps;
  }
  if (json || deltaRequest.wanted()) {
    if (!writeLapDeltas(deltaRequest, log, session, index, events, out, err)) return kExitBadInput;
  } else {
    for (const LapPassEvent& event : events) out << lapEventText(event) << "\n";
  }
  if (!saveOptionsSession(files, path, session, err)) return kExitSaveFailed;
  return laps == 0 ? kExitNoResult : kExitDone;
}

int runDefineLap(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream& err) {
  if (!args.has("--options")) {
    err << "corvantis-analyze: --define-lap needs --options FILE (where the track is stored)\n";
    return kExitBadInput;
  }
  LapDefineRequest request;
  request.name = args.modeValue;
  // Characters, not bytes, as in the lap editor's name field: a name the
  // file cannot hold whole is refused rather than stored cut.
  if (request.name.empty() || limitLapName(request.name) != request.name) {
    err << "corvantis-analyze: a lap's name has 1 to " << LapDefinition::kMaxNameChars
        << " characters (fewer beyond the basic plane) of valid UTF-8\n";
    return kExitBadInput;
  }
  auto clockTime = [&](const char* option, const std::string& text, uint32_t& ms) {
    if (parseClockTime(text, ms)) return true;
    err << "corvantis-analyze: " << option << " needs a UTC time of day HH:MM:SS[.sss], not \"" << text << "\"\n";
    return false;
  };
  if (!args.has("--from") || !args.has("--to")) {
    err << "corvantis-analyze: --define-lap needs --from and --to (UTC times of day one loop apart)\n";
    return kExitBadInput;
  }
  if (!clockTime("--from", args.value("--from"), request.fromMs) ||
      !clockTime("--to", args.value("--to"), request.toMs)) {
    return kExitBadInput;
  }
  const std::vector<std::string> splits = args.values("--split");
  if (splits.size() > static_cast<size_t>(LapDefinition::kMaxSplitLines)) {
    err << "corvantis-analyze: a lap has at most " << LapDefinition::kMaxSplitLines << " split lines\n";
    return kExitBadInput;
  }
  for (const std::string& split : splits) {
    uint32_t ms = 0;
    if (!clockTime("--split", split, ms)) return kExitBadInput;
    request.splitsMs.push_back(ms);
  }

  const std::string path = args.value("--options");
  platform::PosixFiles files;
  TimingSession session;
  platform::FileLock optionsLock;
  if (const int status = loadOptionsSession(files, path, session, err, optionsLock); status != 0) return status;
  if (args.has("--any-talker")) session.talkers = Talkers::Any;
  const LapDefineResult result = runLapDefinePass(log, session, request);
  if (!result.created) {
    err << "corvantis-analyze: " << result.message << "\n";
    return kExitNoResult;  // the file is left as it was
  }
  const LapDefinition& made = session.laps.at(result.index);
  out << "lap \"" << made.name << "\": " << made.trackPointCount() << " track points, " << made.splitLineCount
      << " split lines\n";
  return saveOptionsSession(files, path, session, err) ? kExitDone : kExitSaveFailed;
}

const ModeRegistration lapMode({"--lap", "NAME",
                                "time laps and splits of the lap NAME of the --options file (the laps are added to it)",
                                runLaps});
const ModeRegistration defineLapMode({"--define-lap", "NAME",
                                      "record the track NAME from the drive between --from and --to, as on the lap"
                                      " screen, into the --options file",
                                      runDefineLap});
const OptionRegistration fromOption({"--from", "HH:MM:SS[.sss]", "--define-lap: start the recording at this UTC time"});
const OptionRegistration toOption({"--to", "HH:MM:SS[.sss]", "--define-lap: stop the recording at this UTC time"});
const OptionRegistration splitOption(
    {"--split", "HH:MM:SS[.sss]", "--define-lap: a split line where the car was at this UTC time (up to 5)"});

}  // namespace
}  // namespace corvantis::analyze
