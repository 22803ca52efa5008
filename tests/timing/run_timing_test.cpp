// The run-time computations against hand-worked numbers and against the
// exact times of synthetic drives.
#include "timing/run_timing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace corvantis {
namespace {

constexpr uint32_t kT0 = 45319000;  // 12:35:19 UTC

FixSample sample(uint32_t timeMs, float speedMph) {
  FixSample s;
  s.time = timeMs;
  s.speed = speedMph;
  return s;
}

// A captured run with these speeds, one fix a second from kT0. The entry
// just past the run holds a wild speed and time, so that any read beyond the
// last captured fix shows in the result.
void fillHistory(FixHistory& history, const std::vector<float>& speeds, uint32_t stepMs = 1000) {
  history.count = static_cast<int>(speeds.size());
  for (size_t i = 0; i < speeds.size(); ++i) {
    history.samples[i] = sample(kT0 + static_cast<uint32_t>(i) * stepMs, speeds[i]);
  }
  history.samples[speeds.size()] = sample(1, 999.0f);
}

TEST(TimeAtSpeed, InterpolatesBetweenTwoFixesAndClampsOutside) {
  struct Case {
    float v, speedA, speedB;
    uint32_t expected;
  };
  const Case cases[] = {
      {10.0f, 10.0f, 20.0f, 1000},   // at a's speed: a's time
      {5.0f, 10.0f, 20.0f, 1000},    // below a
      {20.0f, 10.0f, 20.0f, 2000},   // at b's speed: b's time
      {25.0f, 10.0f, 20.0f, 2000},   // above b
      {15.0f, 10.0f, 20.0f, 1500},
      {60.0f, 57.5f, 61.5f, 1625},
      {10.0f, 8.5f, 14.0f, 1272},    // 272.7 ms truncated, not rounded
      {0.0f, -2.1f, 3.2f, 1396},     // 396.2 ms
      {0.0f, 0.0f, 3.2f, 1000},      // standing: the standing fix's time
  };
  for (const Case& c : cases) {
    EXPECT_EQ(timeAtSpeed(c.v, sample(1000, c.speedA), sample(2000, c.speedB)), c.expected)
        << c.v << " between " << c.speedA << " and " << c.speedB;
  }
  // The interval is the unsigned difference of fix times of the day.
  EXPECT_EQ(timeAtSpeed(15.0f, sample(kT0, 10.0f), sample(kT0 + 200, 20.0f)), kT0 + 100);
}

TEST(LaunchCorrection, ExtrapolatesTheStandingFixBackwardWhenItMovesLater) {
  FixHistory history;
  fillHistory(history, {0.0f, 0.0f, 3.2f, 8.5f, 14.0f});
  applyLaunchCorrection(history, 2);
  EXPECT_EQ(history.samples[1].speed, 3.2f - 1.0f * (8.5f - 3.2f));  // -2.1 in single precision
  EXPECT_EQ(history.samples[0].speed, 0.0f);
  EXPECT_EQ(timeAtSpeed(0.0f, history.samples[1], history.samples[2]), kT0 + 1000 + 396);
}

TEST(LaunchCorrection, LeavesTheHistoryAloneWhereItDoesNotApply) {
  struct Case {
    const char* what;
    std::vector<float> speeds;
    int d;
    float expected;  // speed of entry d - 1 afterwards
  };
  const std::vector<Case> cases = {
      {"extrapolation above 0 keeps 0", {0.0f, 0.0f, 5.0f, 6.0f}, 2, 0.0f},
      {"fix before the launch was moving", {0.0f, 1.5f, 5.0f, 12.0f}, 2, 1.5f},
      {"launch at the last captured fix", {0.0f, 0.0f, 0.0f, 5.0f}, 3, 0.0f},
      {"no launch index", {0.0f, 4.0f, 9.0f}, 0, 0.0f},
  };
  for (const Case& c : cases) {
    FixHistory history;
    fillHistory(history, c.speeds);
    applyLaunchCorrection(history, c.d);
    if (c.d >= 1) {
      EXPECT_EQ(history.samples[c.d - 1].speed, c.expected) << c.what;
    }
    for (size_t i = 0; i < c.speeds.size(); ++i) {
      if (static_cast<int>(i) != c.d - 1) {
        EXPECT_EQ(history.samples[i].speed, c.speeds[i]) << c.what;
      }
    }
  }
}

TEST(LaunchCorrection, UsesTheUnequalSpacingOfTheFixes) {
  FixHistory history;
  history.count = 4;
  history.samples[0] = sample(kT0, 0.0f);
  history.samples[1] = sample(kT0 + 1000, 0.0f);
  history.samples[2] = sample(kT0 + 1500, 4.0f);  // half an interval after the standing fix
  history.samples[3] = sample(kT0 + 2500, 14.0f);
  applyLaunchCorrection(history, 2);
  EXPECT_EQ(history.samples[1].speed, 4.0f - (0.5f / 1.0f) * 10.0f);  // -1.0
}

TEST(AccelerationRunTime, FromTheLaunchInstantToTheToSpeedCrossing) {
  FixHistory history;
  fillHistory(history, {0.0f, 0.0f, 3.2f, 8.5f, 14.0f});
  // start T1 + 396 (launch correction), end T3 + 272 (10 mph between 8.5 and 14).
  EXPECT_EQ(accelerationRunTime(history, 0.0f, 10.0f), std::optional<uint32_t>(3272 - 1396));
  EXPECT_LT(history.samples[1].speed, 0.0f) << "the correction is written into the history";
}

TEST(AccelerationRunTime, TakesTheLastCrossingOfEitherSpeed) {
  struct Case {
    const char* what;
    std::vector<float> speeds;
    float from, to;
    uint32_t expected;
  };
  const std::vector<Case> cases = {
      // A wobble above 10 and back: the run starts at the second crossing
      // (between entries 3 and 4, 5 / 10 of the way) and ends at 30 between
      // entries 5 and 6 (4 / 8 of the way).
      {"rolling start after a wobble", {5, 12, 9, 5, 15, 26, 34}, 10.0f, 30.0f, 5500 - 3500},
      // Passing 30, dropping back and passing it again: the last crossing ends the run.
      // (The first crossing of 20 is 10 / 12 of the way from entry 1 to 2.)
      {"to-speed passed twice", {0, 10, 22, 32, 28, 29, 40}, 20.0f, 30.0f, 5090 - 1833},
      // No crossing of the to-speed: the last segment (c = n - 2).
      {"to-speed never crossed", {0, 0, 10, 20, 29}, 0.0f, 30.0f, 4000 - 1000},
  };
  for (const Case& c : cases) {
    FixHistory history;
    fillHistory(history, c.speeds);
    EXPECT_EQ(accelerationRunTime(history, c.from, c.to), std::optional<uint32_t>(c.expected)) << c.what;
  }
}

TEST(AccelerationRunTime, GivesNoTimeThatIsZeroOrBelowZero) {
  struct Case {
    const char* what;
    std::vector<float> speeds;
    float from, to;
  };
  const std::vector<Case> cases = {
      {"already above the to-speed", {70.0f, 80.0f}, 0.0f, 60.0f},
      {"to-speed crossed before the from-speed", {5, 20, 70, 5, 20, 30}, 10.0f, 60.0f},
      {"a single fix", {0.0f}, 0.0f, 60.0f},
  };
  for (const Case& c : cases) {
    FixHistory history;
    fillHistory(history, c.speeds);
    EXPECT_EQ(accelerationRunTime(history, c.from, c.to), std::nullopt) << c.what;
  }
}

TEST(AccelerationRunTime, LaunchAtTheLastFixReadsNothingBeyondIt) {
  FixHistory history;
  fillHistory(history, {0.0f, 0.0f, 0.0f, 70.0f});
  // Start at the standing fix (no fix after the launch to extrapolate from),
  // end where 60 is passed between entries 2 and 3.
  EXPECT_EQ(accelerationRunTime(history, 0.0f, 60.0f), std::optional<uint32_t>(2857 - 2000));
  EXPECT_EQ(history.samples[2].speed, 0.0f);
}

TEST(TimeSinceLaunch, RunsFromTheInterpolatedLaunchToTheStopMoment) {
  FixHistory history;
  fillHistory(history, {0.0f, 0.0f, 3.2f, 8.5f, 14.0f});
  EXPECT_EQ(timeSinceLaunch(history, 0.0f, kT0 + 4500), std::optional<uint32_t>(4500 - 1396));
  EXPECT_EQ(timeSinceLaunch(history, 0.0f, kT0 + 1000), std::nullopt) << "stop before the launch";
}

// A straight drive due east along the equator at sea level, standing until
// launchMs, then at constant acceleration; fixes every stepMs recorded into
// the history as the receiver would deliver them, with capture started at
// the first moving fix as the distance screen does.
struct Drive {
  double accelMps2 = 5.0;
  uint32_t launchMs = kT0 + 2300;
  uint32_t stepMs = 1000;

  double distanceAt(uint32_t timeMs) const {
    if (timeMs <= launchMs) return 0.0;
    const double t = (timeMs - launchMs) * 0.001;
    return 0.5 * accelMps2 * t * t;
  }
  double longitudeAt(uint32_t timeMs) const {
    return distanceAt(timeMs) / 6371000.0 / 0.0174532925;
  }
  double trueTimeMs(double distanceM) const { return 1000.0 * std::sqrt(2.0 * distanceM / accelMps2); }

  // Records fixes until the straight-line distance from the last standing
  // fix reaches targetM, then stops the capture.
  void run(FixHistory& history, double targetM) const {
    bool capturing = false;
    for (uint32_t t = kT0; t < kT0 + 600000; t += stepMs) {
      history.recordFix(0.0, longitudeAt(t), 0.0, t);
      if (!capturing && history.newest().speed != 0.0f) {
        history.startCapture(0);
        capturing = true;
      }
      if (capturing &&
          greatCircleDistance(history.samples[history.count - 1], history.samples[1]) >= targetM) {
        history.stopCapture();
        return;
      }
    }
    FAIL() << "the drive never reached " << targetM << " m";
  }
};

TEST(DistanceRunTime, RecordedConstantAccelerationRunsLieJustUnderTheTruth) {
  // Through the real fix recording the run starts late: speeds under 2 mph
  // read as standing, and the first smoothed speed leans on that standing
  // 0, so the launch instant comes out up to about 0.2 s after the true one
  // with frequent fixes and up to about 0.4 s with one fix a second. The
  // time is never longer than the truth, and the launch phase moves it by
  // well under one fix interval.
  struct Case {
    uint32_t stepMs;
    double targetM;
    double lowMs, highMs;  // allowed error range, measured minus true
  };
  const Case cases[] = {
      {1000, 402.336, -500.0, 0.0}, {1000, 201.168, -500.0, 0.0}, {200, 402.336, -250.0, 0.0},
      {100, 402.336, -250.0, 0.0},  {100, 800.0, -250.0, 0.0},    {50, 400.0, -250.0, 0.0},
  };
  for (const Case& c : cases) {
    for (uint32_t phaseMs : {0u, 250u, 500u, 900u}) {
      Drive drive;
      drive.stepMs = c.stepMs;
      drive.launchMs = kT0 + 2 * c.stepMs + phaseMs % c.stepMs;
      FixHistory history;
      drive.run(history, c.targetM);
      const auto measured = distanceRunTime(history, c.targetM);
      ASSERT_TRUE(measured.has_value());
      const double errorMs = static_cast<double>(*measured) - drive.trueTimeMs(c.targetM);
      EXPECT_GE(errorMs, c.lowMs) << c.stepMs << " ms fixes, " << c.targetM << " m, phase " << phaseMs;
      EXPECT_LE(errorMs, c.highMs) << c.stepMs << " ms fixes, " << c.targetM << " m, phase " << phaseMs;
    }
  }
}

// Fixes a second apart at exactly known distances along the equator.
void fillEquatorRun(FixHistory& history, const std::vector<std::pair<float, double>>& speedAndDistance) {
  history.count = static_cast<int>(speedAndDistance.size());
  for (size_t i = 0; i < speedAndDistance.size(); ++i) {
    FixSample& s = history.samples[i];
    s = sample(kT0 + static_cast<uint32_t>(i) * 1000, speedAndDistance[i].first);
    s.longitude = speedAndDistance[i].second / 6371000.0 / 0.0174532925;
  }
  history.samples[speedAndDistance.size()] = sample(1, 999.0f);
}

TEST(DistanceRunTime, FinishIsExactForConstantAccelerationWithExactSpeeds) {
  // Standing at entry 1, then 3 m/s^2 with the exact speed of every fix: the
  // launch extrapolates to exactly 0 at entry 1 and the finish interpolation
  // is exact for constant acceleration, so the result is the true time to
  // within the truncation to whole milliseconds.
  const double accel = 3.0;
  for (double targetM : {100.0, 201.168, 402.336}) {
    std::vector<std::pair<float, double>> fixes = {{0.0f, 0.0}, {0.0f, 0.0}};
    for (int k = 1; k <= 20; ++k) {
      fixes.emplace_back(static_cast<float>(accel * k / 0.44704), 0.5 * accel * k * k);
    }
    FixHistory history;
    fillEquatorRun(history, fixes);
    const auto measured = distanceRunTime(history, targetM);
    ASSERT_TRUE(measured.has_value());
    EXPECT_NEAR(static_cast<double>(*measured), 1000.0 * std::sqrt(2.0 * targetM / accel), 2.0) << targetM;
  }
}

TEST(DistanceRunTime, SteadySpeedOverTheCrossingSegment) {
  // 10 m/s from entry 2 on; the standing fix is entry 1. Target 25.3 m lies
  // 5.3 m into the segment 2..3 at 10 m/s: 530 ms after entry 2, less the
  // launch at the standing fix (the extrapolation keeps its speed at 0).
  const float tenMps = static_cast<float>(10.0 / 0.44704);
  FixHistory history;
  fillEquatorRun(history, {{0.0f, 0.0}, {0.0f, 0.0}, {tenMps, 20.0}, {tenMps, 30.0}, {tenMps, 40.0}});
  const auto measured = distanceRunTime(history, 25.3);
  ASSERT_TRUE(measured.has_value());
  // 529 or 530 ms after entry 2: the distances carry rounding at the 1e-9 m level.
  EXPECT_NEAR(static_cast<double>(*measured), 2000.0 + 530.0 - 1000.0, 1.0);
}

TEST(DistanceRunTime, CountsFromTheLastLaunch) {
  // Launch, stop, launch again: the distance counts from the second standing fix.
  const float tenMps = static_cast<float>(10.0 / 0.44704);
  FixHistory history;
  fillEquatorRun(history, {{0.0f, 0.0},
                           {0.0f, 0.0},
                           {tenMps, 10.0},
                           {0.0f, 10.0},
                           {tenMps, 20.0},
                           {tenMps, 30.0},
                           {tenMps, 40.0}});
  const auto measured = distanceRunTime(history, 15.0);
  ASSERT_TRUE(measured.has_value());
  EXPECT_NEAR(static_cast<double>(*measured), 4000.0 + 500.0 - 3000.0, 1.0);
}

TEST(DistanceRunTime, StoresNothingWithoutASegmentThatCrossesTheTarget) {
  const float tenMps = static_cast<float>(10.0 / 0.44704);
  struct Case {
    const char* what;
    std::vector<std::pair<float, double>> fixes;
    double targetM;
  };
  const std::vector<Case> cases = {
      {"target beyond the last fix", {{0.0f, 0.0}, {0.0f, 0.0}, {tenMps, 10.0}, {tenMps, 20.0}}, 50.0},
      {"target inside the launch interval", {{0.0f, 0.0}, {0.0f, 0.0}, {tenMps, 10.0}, {tenMps, 20.0}}, 5.0},
      {"launch at the last fix", {{0.0f, 0.0}, {0.0f, 0.0}, {0.0f, 0.0}, {tenMps, 10.0}}, 5.0},
      {"a single fix", {{0.0f, 0.0}}, 5.0},
  };
  for (const Case& c : cases) {
    FixHistory history;
    fillEquatorRun(history, c.fixes);
    EXPECT_EQ(distanceRun(history, c.targetM).outcome, DistanceRunResult::Outcome::NotReached) << c.what;
    EXPECT_EQ(distanceRunTime(history, c.targetM), std::nullopt) << c.what;
  }
}

TEST(DistanceRunTime, ACrossingFoundBeforeTheLastLaunchGivesNoTime) {
  // The target is crossed from the first standing fix, then the car stops
  // and launches again: the finish would lie before the launch.
  const float tenMps = static_cast<float>(10.0 / 0.44704);
  FixHistory history;
  fillEquatorRun(history, {{0.0f, 0.0}, {0.0f, 0.0}, {tenMps, 10.0}, {tenMps, 20.0}, {0.0f, 20.0}, {tenMps, 21.0}});
  EXPECT_EQ(distanceRun(history, 15.0).outcome, DistanceRunResult::Outcome::NoTime);
}

}  // namespace
}  // namespace corvantis
