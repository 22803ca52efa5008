#pragma once
// Run state shared by the acceleration and the distance screen (only one of
// them is open at a time).
#include <cstdint>

namespace corvantis {

struct RunState {
  bool armed = false;               // seen at or below the start condition
  bool running = false;             // a run is being timed
  bool manualStartPending = false;  // manual start pressed; not re-armed until speed > from
  bool manualStopRequested = false; // the next tick finishes the run
  uint32_t startFixTime = 0;        // newest fix time when the run was armed
  uint32_t elapsedMs = 0;           // running time shown; 0 until the first running tick
  // The fix history's timeline break count when the run was armed: a run
  // whose fixes span a break (a clock jump, a gap over 5 s) is abandoned.
  uint32_t timelineBreaks = 0;
};

}  // namespace corvantis
