#pragma once
// The instant a car left rest, with its uncertainty: the likelihood of the
// observations for each candidate onset (motion_smoother.h) over a grid,
// the launch phase's length weighed over several candidates, taken as a
// posterior with a flat prior over the search range; its median is the
// onset and its 2.5 % and 97.5 % points bound it.
//
// No launch shape is assumed: a phase of ramp (of any slope, from any
// acceleration, steady or bending) followed by a free wander holds a step,
// a straight or S-shaped take-up, a creep or a slipping clutch alike, so
// where the fixes show the start the posterior is narrow whatever its
// shape, and where they cannot (a creep lost in noisy positions, a take-up
// shorter than the time between fixes) it is wide and says so.
//
// How fast the positions' offset and the acceleration wander differs from
// receiver to receiver and launch to launch: of a few of each, the most
// likely at a first estimate of the onset are taken, and the onset found
// again with them. Where the standing fixes can show the offset's wander it
// is the one most likely over the fixes before the first estimate's interval
// (the car surely standing): judged at the onset, a late onset would pass a
// creep's first centimetres off as wander.
#include <optional>
#include <vector>

#include "slip/motion_smoother.h"

namespace corvantis::slip {

struct OnsetSearch {
  double fromS = 0.0;  // the onset lies in [fromS, toS]
  double toS = 0.0;
  // The standing fixes show how fast the positions' offset wanders (see
  // FitWindow); otherwise it is judged at the first estimate of the onset.
  bool offsetFromStanding = false;
};

struct OnsetEstimate {
  double t0S = 0.0;     // posterior median
  double lowS = 0.0;    // 2.5 %
  double highS = 0.0;   // 97.5 %
  MotionModel model;    // with the wander these observations showed
  double halfWidthS() const { return std::fmax(t0S - lowS, highS - t0S); }
};

// The launch phases weighed, in seconds.
const std::vector<double>& launchPhasesS();
// How fast the positions' offset may wander (m^2/s): the candidates a
// receiver's is chosen from.
const std::vector<double>& offsetDensities();

// Nothing when the range is empty or no candidate gives a finite likelihood.
std::optional<OnsetEstimate> estimateOnset(const std::vector<MotionObservation>& observations,
                                           const OnsetSearch& search, const MotionModel& model);

}  // namespace corvantis::slip
