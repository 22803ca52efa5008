#pragma once
// What the demo receiver plays, and where the demo keeps its data.
#include <string>

#include "tools/corvantis/nmea_replay.h"

namespace corvantis::demo {

// The simulator's demo drive (standing, an acceleration run, a quarter mile,
// laps of a circuit) as NMEA text at its real pace, one round long.
Drive demoDrive();

// demo-options.bin beside the user's options.bin, so that demo runs never
// mix with the user's own.
std::string demoOptionsPath();

}  // namespace corvantis::demo
