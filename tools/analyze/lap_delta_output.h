#pragma once
// What the lap mode prints about deltas (mode_lap_delta.cpp): --json with
// each event's delta, --delta-csv, --compare A,B, each against --reference
// FILE or the fastest lap timed before in the log.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "store/reference_lap.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/analyze/modes.h"

namespace corvantis::analyze {

struct LapDeltaRequest {
  bool deltaCsv = false;
  bool compare = false;
  int compareA = 0;
  int compareB = 0;
  bool metric = false;
  bool hasReference = false;
  ReferenceLap reference;  // --reference FILE
  bool wanted() const { return deltaCsv || compare; }
};

// Reads the delta options of the lap mode for the track; false, with the
// message written to err, when one is wrong (the pass has not run).
bool readLapDeltaRequest(const Arguments& args, const LapDefinition& track, LapDeltaRequest& request,
                         std::ostream& err);

// Prints what was asked (the JSON events when no CSV was). False, with the
// message written to err, when a compared lap is missing.
bool writeLapDeltas(const LapDeltaRequest& request, const std::vector<uint8_t>& log, const TimingSession& session,
                    int definitionIndex, const std::vector<LapPassEvent>& events, std::ostream& out,
                    std::ostream& err);

}  // namespace corvantis::analyze
