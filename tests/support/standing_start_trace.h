#pragma once
// A standing quarter mile's trace as the timing screens keep it: fixes
// 100 ms apart, two standing before the run, 5 m/s^2 from first motion
// (7 ms after the second fix), the distance added up fix to fix.
#include <cmath>
#include <cstdint>
#include <vector>

#include "store/run_records.h"

namespace corvantis::testing {

inline std::vector<TraceSample> standingQuarterMileTrace() {
  std::vector<TraceSample> trace;
  for (int i = 0;; ++i) {
    const double t = std::fmax(0.0, i * 0.1 - 0.107);
    const double distance = 2.5 * t * t;
    trace.push_back({45319000u + 100u * static_cast<uint32_t>(i), static_cast<float>(5.0 * t / 0.44704),
                     static_cast<float>(distance)});
    if (distance > 402.336) return trace;
  }
}

}  // namespace corvantis::testing
