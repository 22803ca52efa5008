#pragma once
// What the demo receiver plays, and where the demo keeps its data.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"
#include "tools/corvantis/nmea_replay.h"

namespace corvantis::demo {

// The simulator's demo drive (standing at the line, a flat-out launch
// through the quarter mile, laps of a circuit, back to the line) as NMEA text
// at its real pace, one round long, starting at the present UTC time of day
// (or at the one given, in whole seconds). With fullSentenceSets the
// receiver is as chatty as a multi-system one out of the box (about 1.5 KB
// a fix).
Drive demoDrive(bool fullSentenceSets = false, std::optional<uint32_t> startTimeOfDayMs = std::nullopt);

// demo-options.bin beside the user's options.bin, so that demo runs never
// mix with the user's own.
std::string demoOptionsPath();

// The name of the demo's lap track.
inline constexpr const char* kDemoCircuitName = "Demo Circuit";

// When the options file at `path` holds no lap definition (or does not exist
// yet), adds "Demo Circuit": recorded from the simulated drive's first lap
// through the lap screen's own recording, loop closing and lap editor, with
// a split line at each third of the lap, so that a new user who picks it on
// the lap screen sees laps and splits timed in the first round. A file that
// cannot be read whole is left for the program to deal with. False, with
// `error` set, when the track could not be made or saved.
bool seedDemoCircuit(platform::Files& files, const std::string& path, std::string& error);

}  // namespace corvantis::demo
