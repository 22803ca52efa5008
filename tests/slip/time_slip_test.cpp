#include "slip/time_slip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "slip/slip_fit.h"

namespace corvantis::slip {
namespace {

constexpr double kLaunchMs = 43210037.4;  // first motion, between fixes
constexpr double kRadiusM = 6371000.0;
constexpr double kPi = 3.141592653589793;

// A drive along a meridian: standing for 10 s, then the profile's distance
// and speed (seconds after first motion), until it ends.
struct Drive {
  std::function<double(double)> distanceM;
  std::function<double(double)> speedMps;
  double durationS = 20.0;
  bool standsFirst = true;  // false: the profile holds before first motion too
};

std::vector<MotionFix> sample(const Drive& drive, int rateHz, bool withSpeed, bool withPositions = true) {
  std::vector<MotionFix> fixes;
  const double period = 1000.0 / rateHz;
  for (double t = 43200000.0; t <= kLaunchMs + drive.durationS * 1000.0; t += period) {
    const double tau = (t - kLaunchMs) / 1000.0;
    const bool moving = tau > 0 || !drive.standsFirst;
    MotionFix fix;
    fix.timeMs = t;
    fix.hasPosition = withPositions;
    fix.latitudeDeg = 48.0 + (moving ? drive.distanceM(tau) : 0.0) / kRadiusM * 180.0 / kPi;
    fix.longitudeDeg = 11.0;
    fix.hasSpeed = withSpeed;
    fix.speedMps = moving ? drive.speedMps(tau) : 0.0;
    fixes.push_back(fix);
  }
  return fixes;
}

// Constant acceleration from rest.
Drive constantAcceleration(double a) {
  return {[a](double t) { return 0.5 * a * t * t; }, [a](double t) { return a * t; }, 14.0};
}

// Instant the constant-acceleration drive covers d metres.
double atDistanceMs(double a, double d) { return std::sqrt(2.0 * d / a) * 1000.0; }

TEST(TimeSlip, IdealConstantAccelerationToTheMillisecond) {
  const double a = 4.5;
  for (const int rate : {5, 10, 20}) {
    for (const bool withSpeed : {true, false}) {
      SCOPED_TRACE(::testing::Message() << rate << " Hz, " << (withSpeed ? "speed over ground" : "positions"));
      const std::vector<TimeSlip> slips = timeSlips(sample(constantAcceleration(a), rate, withSpeed), {});
      ASSERT_EQ(slips.size(), 1u);
      const TimeSlip& slip = slips[0];
      EXPECT_EQ(slip.source, withSpeed ? SpeedSource::SpeedOverGround : SpeedSource::Positions);
      // Every fix exact, but at 5 Hz a take-up could hide between two of them.
      const double bound = rate >= 10 ? 1.0 : 2.0;
      EXPECT_NEAR(slip.launchMs, kLaunchMs, bound);
      EXPECT_DOUBLE_EQ(slip.clockStartMs, slip.launchMs);
      for (const char* key : {"60ft", "330ft", "1/8", "1000ft", "1/4"}) {
        const MarkResult* mark = slip.mark(key);
        ASSERT_TRUE(mark != nullptr && mark->reached) << key;
        EXPECT_NEAR(mark->timeMs, atDistanceMs(a, mark->definition->distanceM), bound) << key;
      }
      for (const char* key : {"0-60", "0-100kph"}) {
        const MarkResult* mark = slip.mark(key);
        ASSERT_TRUE(mark->reached) << key;
        EXPECT_NEAR(mark->timeMs, mark->definition->speedMps / a * 1000.0, bound) << key;
      }
      // Trap: 66 ft over the time between the two passings.
      const MarkResult* eighth = slip.mark("1/8");
      ASSERT_TRUE(eighth->hasTrap);
      const double trueTrap = kTrapLengthM / ((atDistanceMs(a, 201.168) - atDistanceMs(a, 201.168 - kTrapLengthM)) / 1000.0);
      EXPECT_NEAR(eighth->trapMps, trueTrap, 0.01);
    }
  }
}

TEST(TimeSlip, TakeUpOfTheDriveForceIsFoundFromTheSpeeds) {
  // Acceleration rising linearly to 6 m/s^2 over 0.3 s, then constant.
  const double a = 6.0, r = 0.3;
  Drive drive;
  drive.speedMps = [=](double t) { return t < r ? a * t * t / (2 * r) : a * (t - r / 2); };
  drive.distanceM = [=](double t) { return t < r ? a * t * t * t / (6 * r) : a * r * r / 6 + a * (t * t - r * t) / 2; };
  drive.durationS = 14.0;
  for (const int rate : {10, 20}) {
    const std::vector<TimeSlip> slips = timeSlips(sample(drive, rate, true), {});
    ASSERT_EQ(slips.size(), 1u);
    EXPECT_NEAR(slips[0].launchMs, kLaunchMs, 3.0) << rate << " Hz";
    // 60 ft: a r^2/6 + a (t^2 - r t)/2 = 18.288.
    const double t60 = (r + std::sqrt(r * r + 8.0 * (18.288 - a * r * r / 6) / a)) / 2.0;
    EXPECT_NEAR(slips[0].mark("60ft")->timeMs, t60 * 1000.0, 3.0) << rate << " Hz";
  }
}

TEST(TimeSlip, RolloutStartsTheClockAtOneFoot) {
  const double a = 4.5;
  SlipOptions options;
  options.rollout = true;
  for (const bool withSpeed : {true, false}) {
    const std::vector<TimeSlip> plain = timeSlips(sample(constantAcceleration(a), 10, withSpeed), {});
    const std::vector<TimeSlip> rolled = timeSlips(sample(constantAcceleration(a), 10, withSpeed), options);
    ASSERT_EQ(rolled.size(), 1u);
    const double oneFootMs = atDistanceMs(a, kRolloutM);
    EXPECT_TRUE(rolled[0].rollout);
    EXPECT_NEAR(rolled[0].rolloutMs, oneFootMs, 1.0);
    EXPECT_NEAR(rolled[0].clockStartMs - rolled[0].launchMs, oneFootMs, 1.0);
    for (size_t i = 0; i < rolled[0].marks.size(); ++i) {
      EXPECT_NEAR(rolled[0].marks[i].timeMs, plain[0].marks[i].timeMs - rolled[0].rolloutMs, 0.01);
    }
  }
}

TEST(TimeSlip, TrapSpeedOfAConstantSpeedFinish) {
  // 4 m/s^2 up to 30 m/s (reached at 112.5 m), then 30 m/s through both traps.
  const double a = 4.0, v = 30.0, tv = v / a, dv = 0.5 * a * tv * tv;
  Drive drive;
  drive.speedMps = [=](double t) { return t < tv ? a * t : v; };
  drive.distanceM = [=](double t) { return t < tv ? 0.5 * a * t * t : dv + v * (t - tv); };
  drive.durationS = 20.0;
  for (const bool withSpeed : {true, false}) {
    const std::vector<TimeSlip> slips = timeSlips(sample(drive, 10, withSpeed), {});
    ASSERT_EQ(slips.size(), 1u);
    for (const char* key : {"1/8", "1/4"}) {
      const MarkResult* mark = slips[0].mark(key);
      ASSERT_TRUE(mark->hasTrap) << key;
      EXPECT_NEAR(mark->trapMps, v, 0.01) << key << (withSpeed ? " speed" : " positions");
      EXPECT_NEAR(mark->timeMs, (tv + (mark->definition->distanceM - dv) / v) * 1000.0, 1.0) << key;
    }
    EXPECT_FALSE(slips[0].mark("0-60")->hasTrap);
  }
}

TEST(TimeSlip, NoStandingStartNoSlip) {
  struct Case {
    const char* name;
    Drive drive;
  };
  const Case cases[] = {
      // Rolling the whole log: never stands.
      {"cruise", {[](double t) { return 20.0 * t; }, [](double) { return 20.0; }, 20.0, false}},
      // Launches, but stops again after 10 m: no 60 ft.
      {"short", {[](double t) { return t < 2.0 ? 2.5 * t * t : 10.0; }, [](double t) { return t < 2.0 ? 5.0 * t : 0.0; }, 8.0}},
  };
  for (const Case& c : cases) {
    std::vector<MotionFix> fixes = sample(c.drive, 10, true);
    EXPECT_TRUE(timeSlips(fixes, {}).empty()) << c.name;
    for (MotionFix& fix : fixes) fix.hasSpeed = false;
    EXPECT_TRUE(timeSlips(fixes, {}).empty()) << c.name << " from positions";
  }
  EXPECT_TRUE(timeSlips({}, {}).empty());
}

TEST(TimeSlip, PatchyFixesAreReadSafely) {
  // Stands and launches hard again and again, with speeds or positions
  // missing at random and now and then a gap: whatever slips come out, every
  // one is a launch that covered 60 ft, with its marks in order.
  unsigned seed = 7;
  auto uniform = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 8) & 0xFFFF) / 65536.0;
  };
  std::vector<MotionFix> fixes;
  double distance = 0.0, speed = 0.0, t = 43200000.0;
  for (int i = 0; i < 6000; ++i) {
    const double phase = std::fmod(i / 10.0, 30.0);  // 10 s standing, 20 s going
    const double accel = phase < 10.0 ? 0.0 : phase < 22.0 ? 5.0 * uniform() + 1.0 : -8.0;
    speed = std::fmax(0.0, speed + accel * 0.1);
    if (phase < 10.0) speed = 0.0;
    distance += speed * 0.1;
    t += uniform() < 0.01 ? 3500.0 : 100.0;
    MotionFix fix;
    fix.timeMs = t;
    fix.hasPosition = uniform() < 0.9;
    fix.latitudeDeg = 48.0 + distance / kRadiusM * 180.0 / kPi;
    fix.longitudeDeg = 11.0;
    fix.hasSpeed = uniform() < 0.85;
    fix.speedMps = speed;
    if (fix.hasPosition || fix.hasSpeed) fixes.push_back(fix);
  }
  for (const bool rollout : {false, true}) {
    SlipOptions options;
    options.rollout = rollout;
    const std::vector<TimeSlip> slips = timeSlips(fixes, options);
    EXPECT_GE(slips.size(), 10u);
    for (const TimeSlip& slip : slips) {
      EXPECT_TRUE(slip.marks.front().reached);
      EXPECT_GE(slip.clockStartMs, slip.launchMs);
      double previous = 0.0;
      for (const char* key : {"60ft", "330ft", "1/8", "1000ft", "1/4"}) {
        const MarkResult* mark = slip.mark(key);
        if (!mark->reached) break;
        EXPECT_GT(mark->timeMs, previous) << key;
        previous = mark->timeMs;
      }
    }
  }
}

TEST(TimeSlip, LaunchFitNeedsMotionToFit) {
  std::vector<MotionObservation> standing;
  for (int i = 0; i < 40; ++i) standing.push_back({.tS = i * 0.1, .speedMps = 0.0, .speedVar = 1e-4, .alongM = 0.0, .alongVar = 1e-4});
  FitWindow window;
  window.onsetFromS = 1.0;
  window.onsetToS = 2.5;
  window.onsetDataEndS = 4.0;
  EXPECT_FALSE(fitLaunch(standing, window).has_value());
  EXPECT_FALSE(fitLaunch({}, window).has_value());
}

}  // namespace
}  // namespace corvantis::slip
