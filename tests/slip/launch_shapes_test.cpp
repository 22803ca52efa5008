// Exact launches of every shape at 10 Hz, and the ± against known noise.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "slip/time_slip.h"
#include "tests/slip/exact_launch.h"

namespace corvantis::slip {
namespace {

using testing::ExactLaunch;
using testing::fixesOf;
using testing::kLaunchMs;

struct Shape {
  const char* name;
  std::function<double(double)> accel;
  double firstMotionBoundMs;  // how close the fixes can put first motion
  double positionsBoundMs;    // the same from exact positions alone
};

// Each shape's true time of a mark, from first motion or from one foot.
double trueMarkMs(const ExactLaunch& launch, const MarkDefinition& d, bool fromRollout) {
  const bool speed = d.speedMps > 0.0;
  const double at = launch.reachS(speed ? d.speedMps : d.distanceM, speed);
  return (at - (fromRollout ? launch.reachS(kRolloutM, false) : 0.0)) * 1000.0;
}

TEST(LaunchShapes, EveryShapeAt10HzToTheMillisecondFromTheRollout) {
  const Shape shapes[] = {
      {"step", [](double) { return 6.0; }, 2.0, 15.0},
      {"take-up 0.3 s", [](double t) { return 6.0 * std::fmin(t / 0.3, 1.0); }, 10.0, 10.0},
      // A creep's first centimetres are its first motion, not a receiver's
      // wander: positions alone see it start.
      {"creep", [](double t) { return t < 0.5 ? 0.8 : 6.0; }, 10.0, 10.0},
      {"clutch slip", [](double t) { return t < 0.6 ? 3.0 : 7.0; }, 10.0, 10.0},
      {"wheelspin", [](double t) { return t < 0.2 ? 30.0 * t : t > 0.6 && t < 0.8 ? 2.5 : 6.0; }, 40.0, 15.0},
      {"gear change", [](double t) { return t > 2.5 && t < 2.75 ? 1.5 : 6.0; }, 2.0, 15.0},
      // Let in smoothly from the bite point: no jerk at first motion, and
      // the car moves by micrometres over the first fixes. The onset's
      // priors expect a launch to show itself sooner, so first motion is
      // found up to 45 ms late, inside its ±; from one foot all is exact.
      {"from the bite point", [](double t) { return 6.0 * std::fmin(t * t / 0.09, 1.0); }, 45.0, 45.0},
  };
  for (const Shape& shape : shapes) {
    const ExactLaunch launch(shape.accel);
    for (const bool withSpeed : {true, false}) {
      SCOPED_TRACE(::testing::Message() << shape.name << (withSpeed ? ", speed over ground" : ", positions"));
      for (const bool rollout : {false, true}) {
        SlipOptions options;
        options.rollout = rollout;
        const std::vector<TimeSlip> slips = timeSlips(fixesOf(launch, 10, withSpeed), options);
        ASSERT_EQ(slips.size(), 1u);
        const TimeSlip& slip = slips[0];
        EXPECT_NEAR(slip.launchMs, kLaunchMs, slip.launchPlusMinusMs);
        EXPECT_NEAR(slip.launchMs, kLaunchMs, withSpeed ? shape.firstMotionBoundMs : shape.positionsBoundMs);
        EXPECT_NEAR(slip.rolloutMs, launch.reachS(kRolloutM, false) * 1000.0, slip.rolloutPlusMinusMs);
        for (size_t m = 0; m < slip.marks.size(); ++m) {
          const MarkResult& mark = slip.marks[m];
          ASSERT_TRUE(mark.reached) << mark.definition->key;
          const double truth = trueMarkMs(launch, *mark.definition, rollout);
          EXPECT_NEAR(mark.timeMs, truth, mark.plusMinusMs) << mark.definition->key;
          // From the one-foot instant every mark of exact fixes is to the
          // millisecond, whatever the shape.
          const MarkResult& fromRollout = slip.rolloutMarks[m];
          EXPECT_NEAR(fromRollout.timeMs, trueMarkMs(launch, *mark.definition, true), withSpeed ? 1.0 : 2.0)
              << mark.definition->key;
        }
      }
    }
  }
}

// As a coarse receiver writes them: speeds to 0.1 kn, positions to 0.0001
// minute.
std::vector<MotionFix> coarselyRounded(std::vector<MotionFix> fixes) {
  constexpr double kRadiusM = 6371000.0, kPi = 3.141592653589793;
  const double minuteM = kRadiusM * kPi / 180.0 / 60.0;
  const double speedStepMps = 0.1 * 1852.0 / 3600.0;
  for (MotionFix& fix : fixes) {
    fix.speedMps = std::round(fix.speedMps / speedStepMps) * speedStepMps;
    fix.speedResolutionMps = speedStepMps;
    fix.latitudeDeg = std::round(fix.latitudeDeg * 600000.0) / 600000.0;
    fix.positionResolutionM = 0.0001 * minuteM;
  }
  return fixes;
}

TEST(LaunchShapes, ATakeUpBetweenTwoFixesIsAsLikelyAsTheStepItMatches) {
  // A take-up of 50 ms that ends before the next 10 Hz fix, and a step 25 ms
  // later: from then on the car is where it would be and as fast, so speeds
  // to 0.1 kn and positions to 0.0001 minute come out the same, and first
  // motion cannot be put within 10 ms of both. The slip says so: one first
  // motion for both, whose ± holds both and no more than the fixes allow.
  constexpr double kTakeUpS = 0.05;
  const ExactLaunch takeUp([](double t) { return 6.0 * std::fmin(t / kTakeUpS, 1.0); }, 4.0);
  const ExactLaunch step([](double t) { return t < kTakeUpS / 2.0 ? 0.0 : 6.0; }, 4.0);
  std::vector<double> launchMs;
  for (const ExactLaunch* launch : {&takeUp, &step}) {
    const std::vector<MotionFix> fixes = coarselyRounded(fixesOf(*launch, 10, true));
    const std::vector<TimeSlip> slips = timeSlips(fixes, {});
    ASSERT_EQ(slips.size(), 1u);
    for (const double truthMs : {kLaunchMs, kLaunchMs + kTakeUpS / 2.0 * 1000.0}) {
      EXPECT_NEAR(slips[0].launchMs, truthMs, slips[0].launchPlusMinusMs);
    }
    launchMs.push_back(slips[0].launchMs);
    // Not so wide that it says nothing: the fixes do bound it to about the
    // time between two of them.
    EXPECT_LT(slips[0].launchPlusMinusMs, 100.0);
  }
  EXPECT_NEAR(launchMs[0], launchMs[1], 2.0);
}

TEST(LaunchShapes, SpeedsRoundedToATenthOfAKnotAreReadAsRounded) {
  // At 25 Hz a take-up's first speeds read 0.0 kn while the car already
  // rolls at up to 0.05 kn: read as a bell curve about 0 they pull first
  // motion late; read as the step they are rounded to, they do not.
  for (const double takeUpS : {0.113, 0.2, 0.35}) {
    SCOPED_TRACE(takeUpS);
    const ExactLaunch launch([takeUpS](double t) { return 6.0 * std::fmin(t / takeUpS, 1.0); }, 4.0);
    const std::vector<MotionFix> fixes = coarselyRounded(fixesOf(launch, 25, true));
    const std::vector<TimeSlip> slips = timeSlips(fixes, {});
    ASSERT_EQ(slips.size(), 1u);
    EXPECT_NEAR(slips[0].launchMs, kLaunchMs, 10.0);
    EXPECT_NEAR(slips[0].launchMs, kLaunchMs, slips[0].launchPlusMinusMs);
  }
}

TEST(LaunchShapes, ASpeedReachedAsTheDriveIsCutForAGearChange) {
  // The clutch goes down just after the car reaches the mark's speed,
  // between two 10 Hz fixes, and the car coasts through the change: the
  // speed turns at once, which a smooth path would round off and so reach
  // the mark late.
  for (const char* key : {"0-60", "0-100kph"}) {
    SCOPED_TRACE(key);
    const MarkDefinition* definition = nullptr;
    for (const MarkDefinition& d : markDefinitions()) definition = std::string(d.key) == key ? &d : definition;
    const double cutS = ExactLaunch([](double) { return 6.0; }).reachS(definition->speedMps + 0.02, true);
    const ExactLaunch launch([cutS](double t) { return t > cutS && t < cutS + 0.25 ? -0.3 : 6.0; }, 8.0);
    SlipOptions options;
    options.rollout = true;
    const std::vector<TimeSlip> slips = timeSlips(fixesOf(launch, 10, true), options);
    ASSERT_EQ(slips.size(), 1u);
    const MarkResult* mark = slips[0].mark(key);
    ASSERT_TRUE(mark != nullptr && mark->reached);
    const double error = mark->timeMs - trueMarkMs(launch, *definition, true);
    EXPECT_LE(std::fabs(error), 5.0);
    EXPECT_LE(std::fabs(error), mark->plusMinusMs);
  }
}

TEST(LaunchShapes, ThePlusMinusHoldsTheTruthUnderKnownNoise) {
  // Speeds with 0.05 m/s of white noise and positions with 0.1 m, over many
  // draws of the same launch: the truth lies within the ± of nearly every
  // mark, and the ± is not so wide that it says nothing.
  const ExactLaunch launch([](double t) { return 6.0 * std::fmin(t / 0.2, 1.0); });
  std::mt19937 engine(20);
  std::normal_distribution<double> unit(0.0, 1.0);
  constexpr double kRadiusM = 6371000.0, kPi = 3.141592653589793;
  int marks = 0, held = 0;
  double sumPlusMinus = 0.0, sumSquaredError = 0.0;
  for (int draw = 0; draw < 16; ++draw) {
    std::vector<MotionFix> fixes = fixesOf(launch, 10, true);
    for (MotionFix& fix : fixes) {
      fix.speedMps = std::fmax(0.0, fix.speedMps + 0.05 * unit(engine));
      fix.latitudeDeg += 0.1 * unit(engine) / kRadiusM * 180.0 / kPi;
    }
    const std::vector<TimeSlip> slips = timeSlips(fixes, {});
    ASSERT_EQ(slips.size(), 1u) << draw;
    for (const MarkResult& mark : slips[0].rolloutMarks) {
      const double error = mark.timeMs - trueMarkMs(launch, *mark.definition, true);
      ++marks;
      held += std::fabs(error) <= mark.plusMinusMs ? 1 : 0;
      sumPlusMinus += mark.plusMinusMs;
      sumSquaredError += error * error;
    }
  }
  EXPECT_GE(held * 100, marks * 93) << held << " of " << marks;
  const double rmsError = std::sqrt(sumSquaredError / marks);
  EXPECT_LT(sumPlusMinus / marks, 5.0 * rmsError + 5.0);
}

TEST(LaunchShapes, AStandingCarsSpeedsWrittenAsLengthsAreNoCreep) {
  // A receiver that writes the length of its velocity reads a standing car
  // at a few hundredths of a metre a second, never at 0: 25 Hz speeds with
  // 0.05 m/s on each axis, to 0.01 kn, and positions with 0.1 m of noise.
  // Taken as the speed plus noise, those readings made a creep of seconds.
  const ExactLaunch launch([](double t) { return 6.0 * std::fmin(t / 0.2, 1.0); });
  std::mt19937 engine(25);
  std::normal_distribution<double> unit(0.0, 1.0);
  constexpr double kRadiusM = 6371000.0, kPi = 3.141592653589793;
  const double stepMps = 0.01 * 1852.0 / 3600.0;
  int marks = 0, held = 0, onsetsHeld = 0;
  for (int draw = 0; draw < 6; ++draw) {
    std::vector<MotionFix> fixes = fixesOf(launch, 25, true);
    for (MotionFix& fix : fixes) {
      const double length = std::hypot(fix.speedMps + 0.05 * unit(engine), 0.05 * unit(engine));
      fix.speedMps = std::round(length / stepMps) * stepMps;
      fix.speedResolutionMps = stepMps;
      fix.latitudeDeg += 0.1 * unit(engine) / kRadiusM * 180.0 / kPi;
    }
    const std::vector<TimeSlip> slips = timeSlips(fixes, {});
    ASSERT_EQ(slips.size(), 1u) << draw;
    const double onsetErrorMs = slips[0].launchMs - kLaunchMs;
    EXPECT_LT(std::fabs(onsetErrorMs), 200.0) << draw;
    onsetsHeld += std::fabs(onsetErrorMs) <= slips[0].launchPlusMinusMs ? 1 : 0;
    for (const MarkResult& mark : slips[0].rolloutMarks) {
      ++marks;
      held += std::fabs(mark.timeMs - trueMarkMs(launch, *mark.definition, true)) <= mark.plusMinusMs ? 1 : 0;
    }
  }
  EXPECT_GE(onsetsHeld, 5);
  EXPECT_GE(held * 100, marks * 90) << held << " of " << marks;
}

}  // namespace
}  // namespace corvantis::slip
