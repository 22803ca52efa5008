#pragma once
// Drag-strip time slips of every standing start in a log: 60 ft, 330 ft,
// 1/8 mile with trap speed, 1000 ft, 1/4 mile with trap speed, 0-60 mph and
// 0-100 km/h, with the clock started at first motion or after a one-foot
// rollout, every figure with the half-width of its 95 % interval.
//
// For each launch:
// 1. Speeds over ground that physics or the positions rule out are dropped
//    (speed_check.h); a run whose speeds disagree with its positions
//    throughout is timed from the positions alone, and says so.
// 2. Standing starts: a fix is standing when its speed is under 0.5 m/s
//    (the receiver's speed over ground where it has a sound one, else the
//    distance covered over the last second of fixes); a launch is the first
//    fix over 1 m/s after at least a second of standing. The run lasts until
//    the car stands again, the fixes stop for more than 3 s, or the log ends.
// 3. What each fix tells: its speed over ground, and its distance along the
//    strip from the standing position (the mean of the standing fixes
//    before the launch): along the launch's direction near the start, where
//    the noise of a position must not read as distance, and the straight
//    line from the standing position beyond (as the stored distance runs
//    measure). Their noise is read from the run itself (differences that
//    cancel the motion), never below the last digit the receiver writes.
// 4. The slip from those (slip_fit.h): the onset's posterior, the smoothed
//    path, the marks and their ±.
#include <string>
#include <vector>

#include "slip/nmea_motion.h"
#include "slip/slip_fit.h"

namespace corvantis::slip {

enum class SpeedSource {
  SpeedOverGround,  // the receiver's Doppler speed ($--RMC / $--VTG), with its positions
  Positions,        // the positions alone
  StoredTrace,      // a stored run's trace: the distance between its fixes
};

struct TimeSlip {
  double launchMs = 0.0;          // first motion, ms since UTC midnight of the log's first fix (days counted on)
  double launchPlusMinusMs = 0.0;
  double clockStartMs = 0.0;      // launchMs, or the instant of one foot with a rollout
  double rolloutMs = 0.0;         // first motion to one foot
  double rolloutPlusMinusMs = 0.0;
  bool rollout = false;
  double endMs = 0.0;             // last fix of the run
  SpeedSource source = SpeedSource::Positions;
  bool speedsDisagreed = false;   // the log had speeds, but they disagreed with the positions throughout
  int droppedSpeeds = 0;          // speeds over ground of the run that failed the checks
  bool firstMotionSeen = true;    // false: the rollout figures carry the slip
  std::vector<MarkResult> marks;         // from the clock start, one per markDefinitions() entry
  std::vector<MarkResult> rolloutMarks;  // from the one-foot instant, whatever the clock

  const MarkResult* mark(const std::string& key) const;
};

struct SlipOptions {
  bool rollout = false;  // start the clock after one foot, as drag strips do
};

// Every standing start of the fixes that covers at least 60 ft, in time order.
std::vector<TimeSlip> timeSlips(const std::vector<MotionFix>& fixes, const SlipOptions& options);

// Fills a slip's clock and figures from a launch's fit; baseMs is the
// instant of the fit's time 0.
TimeSlip slipFromFit(const LaunchFit& fit, double baseMs, const SlipOptions& options);

}  // namespace corvantis::slip
