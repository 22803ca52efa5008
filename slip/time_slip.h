#pragma once
// Drag-strip time slips of every standing start in a log: 60 ft, 330 ft,
// 1/8 mile with trap speed, 1000 ft, 1/4 mile with trap speed, 0-60 mph and
// 0-100 km/h, with the clock started at first motion or after a one-foot
// rollout.
//
// The method, for each launch:
// 1. Standing starts. A fix is standing when its speed is under 0.5 m/s
//    (the receiver's speed over ground where the log has it, else the
//    distance covered over the last second of fixes); a launch is the
//    first fix over 1 m/s after at least a second of standing. The run
//    lasts until the car stands again, the fixes stop for more than 3 s, or
//    the log ends.
// 2. Distances: with speeds over ground, their integral from first motion
//    (the distance along the road); from positions alone, the straight-line
//    distance from the standing position, the mean of the standing fixes of
//    the two seconds that end a second before the launch fix (a drag strip
//    is straight, and the stored distance runs measure the same way).
// 3. First motion: the launch model (launch_fit.h) is fitted to the fixes
//    from two seconds before the launch fix on: to the receiver's speeds
//    over ground when most fixes of the run carry one (Doppler speeds are far
//    less noisy than speeds from positions), up to 1.2 s after the launch
//    fix; else to the distances, up to 2.5 s after it (about first gear),
//    since rounded positions need the longer reach to place the start, and
//    with the acceleration held constant after the take-up (a trend as well
//    would take up the rounding and move the start). The fitted model is the
//    path up to the end of that window.
// 4. Beyond it, the path runs through the fixes: each fix gives a distance
//    and a speed, joined by cubic Hermite pieces. With speeds over ground the
//    distance is their integral, fix to fix (a cubic speed between fixes, with
//    the accelerations of central differences at its ends), the speeds
//    smoothed by a quadratic over a quarter second each side where five or
//    more fall in it; from positions, each fix's distance and speed come from
//    a quadratic fitted to the fixes within three quarters of a second of it
//    (at least its two neighbours), which smooths the positions' rounding
//    and jitter.
// 5. A mark is the first instant the path reaches its distance or speed; a
//    trap speed is the mean speed over the last 66 ft before the mark
//    (66 ft over the time between the two instants); the rollout is the
//    instant the path has covered one foot.
// Times are reported from the clock start and rounded to the millisecond.
#include <string>
#include <vector>

#include "slip/nmea_motion.h"

namespace corvantis::slip {

enum class SpeedSource {
  SpeedOverGround,  // the receiver's Doppler speed ($--RMC / $--VTG)
  Positions,        // differences of the fixes' positions
};

struct MarkDefinition {
  const char* key;    // "60ft", "1/8", "0-60", ...
  const char* label;  // "60 ft", "1/8 mile", "0-60 mph", ...
  double distanceM;   // > 0: a distance mark
  double speedMps;    // > 0: a speed mark
  bool trap;          // report the trap speed over the last 66 ft
};

// In the order a slip lists them.
const std::vector<MarkDefinition>& markDefinitions();

inline constexpr double kRolloutM = 0.3048;    // one foot
inline constexpr double kTrapLengthM = 20.1168;  // 66 ft

struct MarkResult {
  const MarkDefinition* definition = nullptr;
  bool reached = false;
  double timeMs = 0.0;         // from the clock start
  bool hasTrap = false;
  double trapMps = 0.0;
};

struct TimeSlip {
  double launchMs = 0.0;        // first motion, ms since UTC midnight of the log's first fix (days counted on)
  double clockStartMs = 0.0;    // launchMs, or the instant of one foot with a rollout
  double rolloutMs = 0.0;       // first motion to one foot
  bool rollout = false;
  double endMs = 0.0;           // last fix of the run
  SpeedSource source = SpeedSource::Positions;
  std::vector<MarkResult> marks;  // one per markDefinitions() entry

  const MarkResult* mark(const std::string& key) const;
};

struct SlipOptions {
  bool rollout = false;  // start the clock after one foot, as drag strips do
};

// Every standing start of the fixes that covers at least 60 ft, in time order.
std::vector<TimeSlip> timeSlips(const std::vector<MotionFix>& fixes, const SlipOptions& options);

}  // namespace corvantis::slip
