#pragma once
// A receiver's speed over ground is the length of its velocity, whose two
// axes each carry the noise. Near standstill that noise cannot cancel: a
// standing car reads a small speed, never a negative one, and a slow car
// reads a little fast. Weighed as the speed plus noise, a standing car's
// readings look like a creep, and first motion slides seconds early.
//
// Receivers differ: some write that length as it is, others hold 0 while
// the car stands or keep speed plus noise at or above 0. The standing
// readings before a launch tell which, and only readings that show lengths
// are weighed as such.
#include <vector>

#include "slip/motion_smoother.h"

namespace corvantis::slip {

// Whether the readings up to standingUntilS (the car standing) are told
// better as lengths of a velocity of noise than as 0 plus noise kept at or
// above 0. False with fewer than five of them.
bool standingReadsAsLengths(const std::vector<MotionObservation>& observations, double standingUntilS);

// Weighs every reading within a few noise widths of standstill as such a
// length: fills its lengthLogChance. Readings whose noise is finer than the
// rounding's quarter, or than 2 mm/s, are left as they are: there the
// rounding is what a reading tells.
void weighLowSpeedsAsLengths(std::vector<MotionObservation>& observations);

// The log of the reading's chance per unit of speed when the true speed is
// v (either sign), from its table.
double lengthLogChanceAt(const MotionObservation& o, double v);

}  // namespace corvantis::slip
