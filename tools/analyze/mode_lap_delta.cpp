// The delta outputs of --lap NAME: the live delta of every timed lap against
// its reference lap, as the lap screen shows it, for a spreadsheet or a plot.
#include <cstdlib>
#include <iostream>

#include "platform/posix/files.h"
#include "tools/analyze/lap_delta_analysis.h"
#include "tools/analyze/lap_delta_output.h"

namespace corvantis::analyze {
namespace {

bool lapNumber(const std::string& text, int& n) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  n = std::atoi(text.c_str());
  return n >= 1;
}

const OptionRegistration deltaCsvOption(
    {"--delta-csv", nullptr,
     "--lap: instead of the events, CSV time_ms,lap,elapsed_ms,delta_ms,predicted_ms for every fix of every timed lap"});
const OptionRegistration referenceOption(
    {"--reference", "FILE", "--lap: measure every lap against this kept reference lap, not the log's fastest before it"});
const OptionRegistration compareOption(
    {"--compare", "A,B", "--lap: laps A and B of the log side by side along the reference path, as CSV"});
const OptionRegistration csvOption({"--csv", nullptr, "--compare: CSV (its only form)"});

}  // namespace

bool readLapDeltaRequest(const Arguments& args, const LapDefinition& track, LapDeltaRequest& request,
                         std::ostream& err) {
  request.deltaCsv = args.has("--delta-csv");
  request.metric = args.has("--metric");
  if (args.has("--compare")) {
    const std::string value = args.value("--compare");
    const auto comma = value.find(',');
    if (comma == std::string::npos || !lapNumber(value.substr(0, comma), request.compareA) ||
        !lapNumber(value.substr(comma + 1), request.compareB)) {
      err << "corvantis-analyze: --compare needs two lap numbers of the log, A,B (from 1), not \"" << value << "\"\n";
      return false;
    }
    request.compare = true;
  }
  if (request.compare && (request.deltaCsv || args.has("--json"))) {
    err << "corvantis-analyze: --compare prints CSV of its own: give it without --delta-csv and --json\n";
    return false;
  }
  if (request.deltaCsv && args.has("--json")) {
    err << "corvantis-analyze: give --delta-csv or --json, not both\n";
    return false;
  }
  if (!args.has("--reference")) return true;
  const std::string path = args.value("--reference");
  platform::PosixFiles files;
  const platform::FileRead read = files.readWhole(path);
  if (read.status != platform::FileRead::Status::Ok) {
    err << "corvantis-analyze: cannot read the reference lap " << path << " ("
        << (read.error.empty() ? std::string("no such file") : read.error) << ")\n";
    return false;
  }
  TrackKey key;
  KeptLaps kept;
  std::string problem;
  if (!decodeKeptLaps(read.bytes, key, kept, problem)) {
    err << "corvantis-analyze: " << path << " is no reference lap that can be read: " << problem << "\n";
    return false;
  }
  const TrackKey trackKey = trackKeyOf(track);
  if (!key.sameTrack(trackKey) || key.startFinish != trackKey.startFinish) {
    err << "corvantis-analyze: the reference lap " << path << " was kept for another track, or before its"
        << " start/finish line moved\n";
    return false;
  }
  if (kept.reference.empty()) {
    err << "corvantis-analyze: " << path << " holds no reference lap yet (only segment times)\n";
    return false;
  }
  request.hasReference = true;
  request.reference = std::move(kept.reference);
  return true;
}

bool writeLapDeltas(const LapDeltaRequest& request, const std::vector<uint8_t>& log, const TimingSession& session,
                    int definitionIndex, const std::vector<LapPassEvent>& events, std::ostream& out,
                    std::ostream& err) {
  const LapDefinition& track = session.laps.at(definitionIndex);
  const std::vector<FixSample> fixes = logFixes(log, session.talkers);
  const ReferenceLap* kept = request.hasReference ? &request.reference : nullptr;
  const DeltaAnalysis analysis = analyseDeltas(track, fixes, events, kept);
  if (request.compare) {
    const ReferenceLap* along = kept != nullptr ? kept : fastestLapPath(analysis);
    std::string error = "the log holds no lap to compare along";
    const std::optional<std::string> csv =
        along == nullptr ? std::nullopt
                         : compareCsv(analysis, fixes, request.compareA, request.compareB, *along, request.metric, error);
    if (!csv) {
      err << "corvantis-analyze: " << error << "\n";
      return false;
    }
    out << *csv;
  } else if (request.deltaCsv) {
    out << deltaCsv(analysis);
  } else {
    for (const std::string& line : lapEventsJsonWithDelta(events, analysis)) out << line << "\n";
  }
  return true;
}

}  // namespace corvantis::analyze
