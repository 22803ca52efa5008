#pragma once
// What the records and plot screenshots show: an options file as a driver's
// would be after a morning out, made the way a user can make one. Simulated
// drives (standing 0-60 mph runs, quarter miles, laps of the built-in
// circuit) go through the log analyzer's timing passes, which run the real
// timing screens; the lap times, until the lap screen can time them, are
// stored through the lap store from the simulator's true crossings.
#include <cstdint>
#include <vector>

namespace corvantis::demo {

// The options file image (settings, record sets with traces, one lap track
// with its laps). Deterministic: the same bytes on every call.
std::vector<uint8_t> reviewOptionsFile();

}  // namespace corvantis::demo
