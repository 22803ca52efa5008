#pragma once
// Speeds over ground that cannot be right never reach a slip. A receiver's
// Doppler speed is far better than speeds from positions, until it is not:
// a corrupted field that still checks (99999.9 kn), a unit mix-up that
// doubles every value, a value stuck from an earlier epoch. Each speed is
// held against physics (no car gains or sheds speed faster than about 2 g,
// so no jump a fix interval cannot hold) and against the positions around
// it; what fails is dropped. A run whose speeds disagree with its positions
// throughout is timed from its positions alone.
#include <cstddef>
#include <vector>

#include "slip/nmea_motion.h"

namespace corvantis::slip {

inline constexpr double kMaxCarAccelMps2 = 2.0 * 9.80665;
inline constexpr double kMaxCarSpeedMps = 180.0;  // beyond any car on a strip (650 km/h)

// Drops (hasSpeed = false) every speed that fails; answers how many.
int dropImpossibleSpeeds(std::vector<MotionFix>& fixes);

// Whether the speeds of fixes [from, to] tell the same distance as their
// positions: the integral of the speeds against the path the positions
// trace, over the stretch where the car moved. True when there is too
// little of either to judge.
bool speedsAgreeWithPositions(const std::vector<MotionFix>& fixes, size_t from, size_t to);

}  // namespace corvantis::slip
