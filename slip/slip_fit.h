#pragma once
// The time slip of one launch from what was observed of it (a log's
// fixes, or a stored run's trace): first motion, the one-foot rollout,
// every mark and trap speed, each with the half-width of its 95 % interval.
//
// 1. First motion: the onset's posterior over the fixes around the launch
//    (launch_onset.h), its median and 95 % interval.
// 2. The path: the smoother (motion_smoother.h) over all the run's fixes
//    from that onset; marks are the first instants it reaches their
//    distance or speed, trap speeds 66 ft over the time between two
//    distance instants.
// 3. The ±: a mark's own uncertainty is its distance's (or speed's)
//    uncertainty over the speed (or acceleration) there, from the
//    smoother's covariance, taken against the clock start's with their
//    covariance; the clock start's own is the onset's interval, or for a
//    rollout the spread of the one-foot instant across it. Between fixes
//    the smoother's model stands for the unseen motion, so the ± grows with
//    the time between fixes, and the observations' variances carry their
//    last digit.
#include <cmath>
#include <optional>
#include <vector>

#include "slip/launch_onset.h"
#include "slip/motion_smoother.h"

namespace corvantis::slip {

struct MarkDefinition {
  const char* key;    // "60ft", "1/8", "0-60", ...
  const char* label;  // "60 ft", "1/8 mile", "0-60 mph", ...
  double distanceM;   // > 0: a distance mark
  double speedMps;    // > 0: a speed mark
  bool trap;          // report the trap speed over the last 66 ft
};

// In the order a slip lists them.
const std::vector<MarkDefinition>& markDefinitions();

inline constexpr double kRolloutM = 0.3048;      // one foot
inline constexpr double kTrapLengthM = 20.1168;  // 66 ft

struct MarkResult {
  const MarkDefinition* definition = nullptr;
  bool reached = false;
  double timeMs = 0.0;          // from the clock start
  double plusMinusMs = 0.0;     // half-width of its 95 % interval
  bool hasTrap = false;
  double trapMps = 0.0;
  double trapPlusMinusMps = 0.0;
};

struct LaunchFit {
  OnsetEstimate onset;              // seconds on the observations' axis
  double rolloutS = 0.0;            // the instant of one foot
  double rolloutPlusMinusS = 0.0;   // of that instant
  double rolloutAfterOnsetPlusMinusS = 0.0;  // of the time from first motion to it
  double endS = 0.0;                // the last observation
  std::vector<MarkResult> fromFirstMotion;
  std::vector<MarkResult> fromRollout;
  // Whether the fixes show when the car left rest closely enough to time
  // from it; when not, the rollout figures are the ones to trust.
  bool firstMotionSeen = true;
};

struct FitWindow {
  double onsetFromS = 0.0;  // the onset is searched in [onsetFromS, onsetToS]
  double onsetToS = 0.0;
  double onsetDataEndS = 0.0;  // observations up to here decide the onset
  // The receiver held its position while the car stood (its standing
  // positions are all one, though it is noisier moving): it lets go of it
  // over the first seconds of the run.
  bool heldPosition = false;
  // The standing fixes show how fast the positions' offset wanders: they
  // scatter, or they are fine enough that a wander would show and the
  // receiver did not hold them.
  bool standingShowsWander = false;
  // How far the positions' offset may lie from the standing position
  // (NaN: the model's own, for a reference taken anywhere near it).
  double offsetSdM = NAN;
};

// The observations in time order; nothing when they cannot carry a slip
// (no onset found, or the path never covers 60 ft).
std::optional<LaunchFit> fitLaunch(const std::vector<MotionObservation>& observations, const FitWindow& window);

// The model the slips use (exposed for the accuracy benchmark).
const MotionModel& slipModel();

// The noise of a series sampled about evenly, from its differences of this
// order (which cancel any smooth motion), robustly (a median): one sigma.
double noiseFromDifferences(const std::vector<double>& timesS, const std::vector<double>& values, int order);

}  // namespace corvantis::slip
