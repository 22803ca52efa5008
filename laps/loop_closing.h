#pragma once
// Closing a recorded drive into a lap track: the fixes recorded between
// "Start Lap Define" and "Stop Lap Define" are trimmed to one loop that
// starts and ends at the same point, which becomes the start/finish point.
#include "gps/fix_history.h"

namespace corvantis {

// Works on history.samples 0 .. count - 1. Drops sample 0 and any samples
// after it without a position, then looks for the first place where the path
// passes its start again heading the way it left: with strides 1 to 9 over
// the samples (each pass starting afresh), a step where the direction from the start point to the path
// turns by more than a right angle, moving along the starting direction.
// There the track ends; its first and last points both take the midpoint of
// the start and that sample. False, with the samples trimmed but not closed,
// when the drive never comes back past its start in the starting direction,
// holds too few samples, or its first two kept samples give no direction.
bool closeLoop(FixHistory& history);

}  // namespace corvantis
