#pragma once
// A receiver's speed over ground near standstill. Its noise cannot make the
// speed negative, so how a receiver keeps it at or above 0 shapes what a
// standing or creeping car reads:
// - the length of its velocity, whose two axes each carry the noise (most
//   receivers): a standing car reads a few hundredths of a metre a second,
//   never 0, and a slow car a little fast;
// - the size of the speed plus one axis's noise: small speeds, folded up
//   from below 0;
// - the speed plus noise kept at or above 0, or held at 0 while standing:
//   half or all of a standing car's readings are 0.
// Weighed as speed plus noise, lengths look like a creep, and first motion
// slides seconds early; so lengths are weighed as such. The other two are
// weighed as speed plus noise: a folded reading's bias is less than half a
// length's, and the launches benchmark (bench/slip/slip_unseen --folded)
// found its slips no better weighed as folded. The standing readings before
// a launch tell which form a receiver writes.
#include <vector>

#include "slip/motion_smoother.h"

namespace corvantis::slip {

enum class LowSpeedForm {
  KeptAtZero,  // speed plus noise kept at or above 0, or held at 0
  Length,      // the length of the velocity (the Rice distribution)
  Folded,      // the size of the speed plus one axis's noise (a folded bell curve)
};

// The form that tells the readings up to standingUntilS (the car standing)
// best, each at speed 0 with the run's noise. KeptAtZero with fewer than
// five readings, or where the noise is finer than the rounding's quarter or
// than 2 mm/s: there the rounding is what a reading tells.
LowSpeedForm standingSpeedForm(const std::vector<MotionObservation>& observations, double standingUntilS);

// Weighs every reading within a few noise widths of standstill as a length
// where the form is one: fills its lowSpeedLogChance.
void weighLowSpeeds(std::vector<MotionObservation>& observations, LowSpeedForm form);

// The log of the reading's chance per unit of speed when the true speed is
// v (either sign), from its table.
double lowSpeedLogChanceAt(const MotionObservation& o, double v);

}  // namespace corvantis::slip
