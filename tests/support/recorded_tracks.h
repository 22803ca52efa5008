#pragma once
// Tracks recorded as a driver records them, for the lap tests that time a
// simulated drive or the real session through the analyzer.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/analyze/lap_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis::testing {

// The bytes of a simulated drive's log.
inline std::vector<uint8_t> logBytes(const sim::SimResult& result) {
  const std::string text = sim::renderLog(result);
  return {text.begin(), text.end()};
}

// Recorded from the drive's first timed lap: started as the car crosses the
// line, stopped ten seconds into the next lap, a split line where the car
// was as it passed each true split point.
inline analyze::LapDefineRequest firstLapRecording(const sim::CircuitTruth& truth, const std::string& name = "Sim Circuit") {
  const sim::LapTruth& first = truth.laps.at(0);
  analyze::LapDefineRequest request;
  request.name = name;
  request.fromMs = static_cast<uint32_t>(std::ceil(first.startMs));
  request.toMs = static_cast<uint32_t>(first.endMs) + 10000;
  for (const sim::DistancePassing& split : first.splits) request.splitsMs.push_back(static_cast<uint32_t>(split.ms));
  return request;
}

// The real 47N session recorded from its second lap: started as the other
// timer's line was crossed (05:12:35.699), stopped a little into the third
// (05:17:20), split lines at 05:13:30, 05:16:10 and 05:16:50 (early in the
// lap, and past the 2048 fixes a capture holds at its rate).
inline analyze::LapDefineRequest session47nRecording() {
  constexpr uint32_t kHourMs = 3600000, kMinuteMs = 60000;
  analyze::LapDefineRequest request;
  request.name = "Session 47N";
  request.fromMs = 5 * kHourMs + 12 * kMinuteMs + 35699;
  request.toMs = 5 * kHourMs + 17 * kMinuteMs + 20000;
  request.splitsMs = {5 * kHourMs + 13 * kMinuteMs + 30000, 5 * kHourMs + 16 * kMinuteMs + 10000,
                      5 * kHourMs + 16 * kMinuteMs + 50000};
  return request;
}

}  // namespace corvantis::testing
