#pragma once
// The run-time computations of the straight-line screens: the instant a
// speed was passed between two fixes, the launch correction for a standing
// start, and the times of acceleration and distance runs, all worked out from
// the captured fixes after stopCapture. Pure functions over a FixHistory (the
// launch correction writes its corrected speed back into the history, so that
// the stored trace shows it too).
//
// Every width and every order of operations here is deliberate: stored run
// times must come out to the millisecond whatever machine computes them, so
// single-precision steps stay float and double steps stay double.
#include <cstdint>
#include <optional>

#include "gps/fix_history.h"

namespace corvantis {

// The fix time (ms) at which the speed passed speedMph between fixes a and b,
// linearly interpolated; a.time when the speed is at or below a's, b.time
// when it is at or above b's.
uint32_t timeAtSpeed(float speedMph, const FixSample& a, const FixSample& b);

// Launch correction at launch index d (the first fix above the start speed):
// when the fix before it stood still (speed exactly 0), its speed is replaced
// by the speed extrapolated backward from fixes d and d + 1 (kept only when
// it is not above 0), so that the start instant can fall after that fix.
// Nothing happens when d is not a valid launch index or when there is no fix
// after d to extrapolate from (the launch was the last captured fix).
void applyLaunchCorrection(FixHistory& history, int d);

// Time of an acceleration run from fromMph to toMph over the captured fixes:
// the interpolated instant of the last upward crossing of toMph minus that of
// the last upward crossing of fromMph. Empty when the fixes give no time that
// means anything (fewer than two fixes, or an end not after the start).
std::optional<uint32_t> accelerationRunTime(FixHistory& history, float fromMph, float toMph);

// Time of a standing-start distance run over targetM metres: from the
// interpolated instant the speed left 0 to the instant the straight-line
// distance from the last standing fix reached the target, assuming constant
// acceleration along the segment that crosses it.
struct DistanceRunResult {
  enum class Outcome {
    Timed,       // timeMs holds the run time
    NotReached,  // no captured segment crosses the target, measured from the
                 // last standing fix: there is no finish to place (yet)
    NoTime,      // the fixes give no positive time
  };
  Outcome outcome = Outcome::NoTime;
  uint32_t timeMs = 0;
};
DistanceRunResult distanceRun(FixHistory& history, double targetM);
// The time alone; empty unless Timed.
std::optional<uint32_t> distanceRunTime(FixHistory& history, double targetM);

// Time from the interpolated instant the speed last rose above fromMph to
// stopFixTimeMs (a moment on the fix clock): the time of a run that the speed
// threshold started and the user stopped by hand. Empty when it is not
// positive.
std::optional<uint32_t> timeSinceLaunch(FixHistory& history, float fromMph, uint32_t stopFixTimeMs);

}  // namespace corvantis
