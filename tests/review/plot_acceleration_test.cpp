// The plot's acceleration: the slope of the speed over a short window,
// worked out from the distances, on speed profiles whose acceleration is
// known exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "review/plot_geometry.h"

namespace corvantis::testing {
namespace {

constexpr double kG = 9.8;  // the plot's g

// A trace sampled every intervalMs for durationMs of a car whose
// acceleration (m/s^2) at t seconds is accelerationAt(t), integrated in
// 1 ms steps; jitterM moves each sampled distance by up to that much either
// way (a fixed pseudo-random sequence), as a receiver's position noise does.
std::vector<TraceSample> traceOf(const std::function<double(double)>& accelerationAt, uint32_t intervalMs,
                                 uint32_t durationMs, double jitterM = 0.0) {
  std::vector<TraceSample> trace;
  double speed = 0.0;
  double distance = 0.0;
  uint64_t state = 12345;
  for (uint32_t ms = 0; ms <= durationMs; ++ms) {
    if (ms % intervalMs == 0) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const double unit = static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
      trace.push_back({1000000u + ms, static_cast<float>(speed / 0.44704),
                       static_cast<float>(distance + jitterM * (2.0 * unit - 1.0))});
    }
    const double a = accelerationAt(ms / 1000.0);
    distance += speed * 0.001 + 0.5 * a * 0.000001;
    speed += a * 0.001;
  }
  return trace;
}

double secondsOf(const TraceSample& sample) { return (sample.time - 1000000u) / 1000.0; }

TEST(PlotAcceleration, ReadsTheTrueAccelerationAwayFromItsChanges) {
  struct Case {
    const char* what;
    std::function<double(double)> accelerationAt;
    uint32_t intervalMs;
  };
  const std::vector<Case> cases = {
      {"half a g at 10 Hz", [](double) { return 0.5 * kG; }, 100},
      {"half a g at 1 Hz", [](double) { return 0.5 * kG; }, 1000},
      {"half a g at 5 Hz", [](double) { return 0.5 * kG; }, 200},
      {"braking at 0.9 g", [](double t) { return t < 3.0 ? 1.0 * kG : -0.9 * kG; }, 100},
      {"a launch at 2 s", [](double t) { return t < 2.0 ? 0.0 : 0.6 * kG; }, 100},
      {"a shift at 3 s", [](double t) { return t < 3.0 ? 0.6 * kG : t < 3.4 ? 0.0 : 0.4 * kG; }, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<TraceSample> trace = traceOf(c.accelerationAt, c.intervalMs, 6000);
    const std::vector<double> milliG = traceAccelerationMilliG(trace, trace.size());
    ASSERT_EQ(milliG.size(), trace.size());
    int checked = 0;
    for (size_t j = 0; j < trace.size(); ++j) {
      // Every sample with one acceleration for 0.4 s either side reads it
      // (a window of the nearest neighbours at the slower rates) to well
      // under a pixel: a change at the edge of its window, too near the
      // edge to be fitted as a kink, tilts the curve by a few thousandths.
      const double t = secondsOf(trace[j]);
      const double reach = std::max(0.4, 1.0 * c.intervalMs / 1000.0) + 0.001;
      const double a = c.accelerationAt(t);
      if (c.accelerationAt(t - reach) != a || c.accelerationAt(t + reach) != a) continue;
      EXPECT_NEAR(milliG[j], a / kG * 1000.0, 10.0) << "at " << t << " s";
      ++checked;
    }
    EXPECT_GT(checked, static_cast<int>(trace.size()) / 2);
  }
}

TEST(PlotAcceleration, ALaunchAShiftAndBrakingStayVisible) {
  // A launch at 1 s, a 0.3 s shift at 3 s, braking from 5 s.
  const auto profile = [](double t) {
    if (t < 1.0) return 0.0;
    if (t < 3.0) return 0.7 * kG;
    if (t < 3.3) return 0.0;
    if (t < 5.0) return 0.45 * kG;
    return -0.9 * kG;
  };
  const std::vector<TraceSample> trace = traceOf(profile, 100, 7000);
  const std::vector<double> milliG = traceAccelerationMilliG(trace, trace.size());
  double lowestInShift = 1e9;
  double highestBefore = -1e9;
  for (size_t j = 0; j < trace.size(); ++j) {
    const double t = secondsOf(trace[j]);
    if (t >= 3.0 && t <= 3.3) lowestInShift = std::min(lowestInShift, milliG[j]);
    if (t >= 2.0 && t < 2.6) highestBefore = std::max(highestBefore, milliG[j]);
    // Between two accelerations the plot never leaves their span by more
    // than a pixel's worth.
    EXPECT_GE(milliG[j], -900.0 - 10.0) << t;
    EXPECT_LE(milliG[j], 700.0 + 10.0) << t;
    // A launch and braking are sharp: the step is read a fix after it, not
    // smeared over the window.
    if (std::fabs(t - 1.2) < 0.01 || std::fabs(t - 0.8) < 0.01 || std::fabs(t - 5.2) < 0.01 ||
        std::fabs(t - 4.8) < 0.01) {
      EXPECT_NEAR(milliG[j], profile(t) / kG * 1000.0, 20.0) << t;
    }
  }
  EXPECT_NEAR(highestBefore, 700.0, 10.0);
  EXPECT_LT(lowestInShift, 450.0);  // the shift's dip shows below the next gear's pull
}

TEST(PlotAcceleration, PositionNoiseAveragesOut) {
  // Positions to 0.0001 minute of arc are good to about 0.09 m either way:
  // the difference of consecutive speeds at 10 Hz reads whole g from that.
  const std::vector<TraceSample> trace = traceOf([](double) { return 0.3 * kG; }, 100, 30000, 0.09);
  const std::vector<double> milliG = traceAccelerationMilliG(trace, trace.size());
  double sumSquares = 0.0;
  for (double value : milliG) sumSquares += (value - 300.0) * (value - 300.0);
  const double rmsMilliG = std::sqrt(sumSquares / static_cast<double>(milliG.size()));
  EXPECT_LT(rmsMilliG, 100.0);
}

TEST(PlotAcceleration, ThroughPositionNoiseAStepStaysAStep) {
  // Full throttle to hard braking at 10 s, positions good to 0.09 m: the
  // window is wide for the noise, yet 0.3 s either side of the change the
  // plot reads each side's own acceleration, not their mix.
  const auto profile = [](double t) { return t < 10.0 ? 0.5 * kG : -0.8 * kG; };
  const std::vector<TraceSample> trace = traceOf(profile, 100, 20000, 0.09);
  const std::vector<double> milliG = traceAccelerationMilliG(trace, trace.size());
  for (size_t j = 0; j < trace.size(); ++j) {
    const double t = secondsOf(trace[j]);
    if (std::fabs(std::fabs(t - 10.0) - 0.3) < 0.01) {
      EXPECT_NEAR(milliG[j], profile(t) / kG * 1000.0, 150.0) << t;
    }
  }
}

TEST(PlotAcceleration, AReceiversLastJumpIsNoStepOfAcceleration) {
  // A run's last fix 2.8 m beyond where the car was (a receiver's jump, as
  // a real 0-60 mph log ends): one position, not a step of many g.
  std::vector<TraceSample> trace = traceOf([](double) { return 0.3 * kG; }, 100, 8000, 0.09);
  trace.back().distance += 2.8f;
  const std::vector<double> milliG = traceAccelerationMilliG(trace, trace.size());
  for (size_t j = 0; j < trace.size(); ++j) EXPECT_LT(std::fabs(milliG[j]), 1500.0) << secondsOf(trace[j]);
}

TEST(PlotAcceleration, DamagedTracesGiveNoPointRatherThanNonsense) {
  // Fewer than three instants, and distances that are no numbers.
  const std::vector<TraceSample> twoInstants = {{0, 0.0f, 0.0f}, {100, 1.0f, 0.1f}};
  for (double value : traceAccelerationMilliG(twoInstants, 2)) EXPECT_TRUE(std::isnan(value));
  std::vector<TraceSample> broken = traceOf([](double) { return 3.0; }, 100, 3000);
  broken[15].distance = std::nanf("");
  const std::vector<double> milliG = traceAccelerationMilliG(broken, broken.size());
  EXPECT_TRUE(std::isnan(milliG[15]));
  EXPECT_NEAR(milliG[0], 3.0 / kG * 1000.0, 2.0);  // out of the damaged sample's reach
  // n beyond the trace reads only the trace.
  EXPECT_EQ(traceAccelerationMilliG(broken, broken.size() + 10).size(), broken.size());
}

}  // namespace
}  // namespace corvantis::testing
