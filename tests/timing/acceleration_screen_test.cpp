// The acceleration screen on the headless window system, driven tick by tick
// over fixes recorded into the real fix history.
#include "timing/acceleration_screen.h"

#include <gtest/gtest.h>

#include "common/units.h"
#include "tests/timing/screen_fixture.h"

namespace corvantis {
namespace {

using platform::headless::HeadlessDialog;
using Screen = AccelerationScreen;

class AccelerationScreenTest : public testing::TimingScreenTest {
 protected:
  // Standing for three fixes, then 10, 25, 40, 55 and 70 mph a second apart,
  // two ticks without a fix after each: a 0-60 run of 3.691 s (smoothed
  // speeds 15, 32.5, 47.5, 62.5: the launch falls 142 ms after the last
  // standing fix, 60 mph 833 ms after the 40 mph fix).
  void launchTo70(AccelerationScreen& screen) {
    for (int i = 0; i < 3; ++i) fixAndTicks(screen, 0.0, 2);
    for (double v : {10.0, 25.0, 40.0, 55.0, 70.0}) fixAndTicks(screen, v, 2);
  }
  RecordKey key(int from, int to) {
    return RecordKey{static_cast<uint16_t>(from), static_cast<uint16_t>(to)};
  }
};

TEST_F(AccelerationScreenTest, OpensWithTheSpeedsInTheUnitShown) {
  struct Case {
    int units;
    float from, to;
    const char* fromText;
    const char* toText;
  };
  const Case cases[] = {
      {units::kImperial, 0.0f, 60.0f, "0", "60"},
      {units::kMetric, 0.0f, 60.0f, "0", "97"},  // 96.56 kph, "%.0f"
      {units::kMetric, 62.13712f, 124.27424f, "100", "200"},
  };
  for (const Case& c : cases) {
    ctx.settings.units = c.units;
    ctx.settings.accelFrom = c.from;
    ctx.settings.accelTo = c.to;
    AccelerationScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      EXPECT_EQ(d.text(Screen::kFromSpeed), c.fromText);
      EXPECT_EQ(d.text(Screen::kToSpeed), c.toText);
      EXPECT_EQ(d.itemCount(Screen::kFromSpeed), 25);
      EXPECT_EQ(d.itemCount(Screen::kToSpeed), 28);
      EXPECT_EQ(d.control(Screen::kSpeedLine).textColour, (platform::Rgb{255, 0, 0}));
      EXPECT_EQ(d.control(Screen::kSpeedLine).font, ctx.fonts.large);
      EXPECT_EQ(d.control(Screen::kLastTime).font, ctx.fonts.medium);
      EXPECT_EQ(d.text(Screen::kManualButton), "Manual Run Start");
      EXPECT_EQ(d.text(Screen::kBestTime), "");
      EXPECT_EQ(d.fullScreenRequests(), 1);
    });
  }
}

TEST_F(AccelerationScreenTest, StatusAndSpeedLines) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    recordFix(0.0);
    recordFix(30.0);
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 30.0 mph *");
    EXPECT_EQ(d.text(Screen::kStatusLine), "fix quality: 1 (excellent)");
    tick(screen, false);
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 30.0 mph") << "no star without a new fix";

    ctx.settings.units = units::kMetric;
    ctx.gps.currentFix.satellites = 3;
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 48.3 kph *");
    EXPECT_EQ(d.text(Screen::kStatusLine), "Waiting for satellite fix...");

    ctx.gps.currentFix.deviceError = true;
    ctx.gps.currentFix.speed = 0.0f;
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kStatusLine), "GPS Device Error");
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 48.3 kph *") << "nothing else runs";
    EXPECT_FALSE(ctx.runState.armed);

    // The lines are set only when what they show changes: back from the
    // error to the very fix state shown before it, both read it again.
    ctx.gps.currentFix.deviceError = false;
    ctx.gps.currentFix.satellites = 3;
    ctx.gps.currentFix.speed = 30.0f;
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kStatusLine), "Waiting for satellite fix...");
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 48.3 kph *");
    ctx.gps.currentFix.satellites = -1;  // no sentence since a reopen: the line keeps what it shows
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kStatusLine), "Waiting for satellite fix...");
    ctx.gps.currentFix.satellites = 9;
    tick(screen, true);
    EXPECT_EQ(d.text(Screen::kStatusLine), "fix quality: 1 (excellent)");
  });
}

TEST_F(AccelerationScreenTest, TimesAndStoresAZeroToSixtyRun) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    for (int i = 0; i < 3; ++i) fixAndTicks(screen, 0.0, 2);
    EXPECT_TRUE(ctx.runState.armed);
    EXPECT_FALSE(ctx.runState.running);
    fixAndTicks(screen, 10.0);
    EXPECT_TRUE(ctx.runState.running);
    EXPECT_EQ(ctx.gps.history.count, 3) << "capture restarted at the launch";
    EXPECT_EQ(d.text(Screen::kManualButton), "Manual Run Stop");
    const std::string first = d.text(Screen::kLastTime);
    tick(screen, false);
    EXPECT_NE(d.text(Screen::kLastTime), first) << "the running time counts up between fixes";
    tick(screen, false);
    for (double v : {25.0, 40.0, 55.0, 70.0}) fixAndTicks(screen, v, 2);

    EXPECT_FALSE(ctx.runState.running);
    EXPECT_EQ(d.text(Screen::kLastTime), "3.691s");
    EXPECT_EQ(d.text(Screen::kBestTime), "3.691s");
    EXPECT_EQ(d.text(Screen::kAverageTime), "3.691s");
    EXPECT_EQ(d.text(Screen::kManualButton), "Manual Run Start");
    const RecordSet* set = ctx.records.findRecordSet(key(0, 60));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->runs[0].timeMs, 3691u);
    EXPECT_EQ(set->runs[0].stamp, 1700000000u);
    EXPECT_EQ(set->runs[0].traceCount, 7) << "two fixes before the launch to the finishing fix";
    EXPECT_LT(set->runs[0].trace[1].speed, 0.0f) << "the launch correction shows in the trace";
  });
}

TEST_F(AccelerationScreenTest, ARunThatFallsBackIsAbandoned) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    for (int i = 0; i < 2; ++i) fixAndTicks(screen, 0.0, 2);
    for (double v : {10.0, 25.0, 30.0}) fixAndTicks(screen, v, 2);
    EXPECT_NE(d.text(Screen::kLastTime), "");
    fixAndTicks(screen, 0.0, 2);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    EXPECT_FALSE(ctx.runState.running);
    EXPECT_TRUE(ctx.runState.armed);
    EXPECT_TRUE(ctx.records.sets().empty());
  });
}

// A gap of more than 5 s between two fixes of a run (a lost signal, or a
// receiver clock leaping ahead) stores nothing: the launch and the finish
// cannot be interpolated across it. The next run is timed as usual.
TEST_F(AccelerationScreenTest, AGapOverFiveSecondsDropsTheRun) {
  for (uint32_t gapMs : {5001u, 5u * 3600000u}) {
    SCOPED_TRACE(gapMs);
    AccelerationScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      for (int i = 0; i < 3; ++i) fixAndTicks(screen, 0.0, 2);
      for (double v : {10.0, 25.0}) fixAndTicks(screen, v, 2);
      recordFix(40.0, gapMs);
      tick(screen, true);
      EXPECT_FALSE(ctx.runState.running);
      EXPECT_EQ(d.text(Screen::kLastTime), "");
      for (double v : {55.0, 70.0}) fixAndTicks(screen, v, 2);
      EXPECT_TRUE(ctx.records.sets().empty()) << "passing 60 mph unarmed stores nothing";
      launchTo70(screen);
      const RecordSet* set = ctx.records.findRecordSet(key(0, 60));
      ASSERT_NE(set, nullptr);
      EXPECT_EQ(set->runs[0].timeMs, 3691u);
    });
    ctx.records.sets().clear();
  }
}

TEST_F(AccelerationScreenTest, TypedAndPickedSpeeds) {
  struct Case {
    const char* what;
    int units;
    float from, to;  // settings before
    int combo;
    const char* typed;  // nullptr: pick item `item`
    int item;
    float expectFrom, expectTo;
    const char* expectToText;
    RecordKey expectKey;
  };
  const Case cases[] = {
      {"metric 100 stores 62.13712 mph", units::kMetric, 0.0f, 60.0f, Screen::kToSpeed, "100", 0, 0.0f,
       62.13712f, "100", {0, 62}},
      {"to 20 under from 30 is raised", units::kImperial, 30.0f, 60.0f, Screen::kToSpeed, "20", 0, 30.0f, 40.0f,
       "40", {30, 40}},
      {"metric raise shows 125, not 110", units::kMetric, 62.13712f, 124.0f, Screen::kToSpeed, "50", 0,
       62.13712f, 78.23056f, "125", {62, 78}},
      {"from above to raises to", units::kImperial, 0.0f, 60.0f, Screen::kFromSpeed, "75", 0, 75.0f, 85.0f,
       "85", {75, 85}},
      {"equal speeds stay", units::kImperial, 30.0f, 60.0f, Screen::kToSpeed, "30", 0, 30.0f, 30.0f, "30",
       {30, 30}},
      {"picked item", units::kImperial, 0.0f, 60.0f, Screen::kToSpeed, nullptr, 7, 0.0f, 100.0f, "100",
       {0, 100}},
      {"fraction truncated in the key", units::kImperial, 0.0f, 60.0f, Screen::kToSpeed, "62.9", 0, 0.0f,
       62.9f, "62.9", {0, 62}},
  };
  for (const Case& c : cases) {
    ctx.settings.units = c.units;
    ctx.settings.accelFrom = c.from;
    ctx.settings.accelTo = c.to;
    AccelerationScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      if (c.typed != nullptr) {
        d.userType(c.combo, c.typed);
      } else {
        d.userSelect(c.combo, c.item);
      }
      EXPECT_EQ(ctx.settings.accelFrom, c.expectFrom) << c.what;
      EXPECT_EQ(ctx.settings.accelTo, c.expectTo) << c.what;
      EXPECT_EQ(d.text(Screen::kToSpeed), c.expectToText) << c.what;
      EXPECT_EQ(accelerationKey(ctx.settings.accelFrom, ctx.settings.accelTo), c.expectKey) << c.what;
    });
  }
}

TEST_F(AccelerationScreenTest, BestAndAverageFollowTheDefinition) {
  ctx.records.addRun(key(0, 60), 5000, 1, ctx.gps.history);
  ctx.records.addRun(key(0, 60), 6001, 1, ctx.gps.history);
  ctx.records.addRun(key(0, 100), 12000, 1, ctx.gps.history);
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    EXPECT_EQ(d.text(Screen::kBestTime), "5.000s");
    EXPECT_EQ(d.text(Screen::kAverageTime), "5.500s");
    d.userType(Screen::kToSpeed, "100");
    EXPECT_EQ(d.text(Screen::kBestTime), "12.000s");
    d.userType(Screen::kToSpeed, "80");
    EXPECT_EQ(d.text(Screen::kBestTime), "");
  });
}

TEST_F(AccelerationScreenTest, TextThatNamesNoSpeedTimesNothing) {
  for (const char* typed : {"abc", "", "-10", "40000", "nan"}) {
    AccelerationScreen screen(ctx);
    ctx.records.sets().clear();
    show(screen, [&](HeadlessDialog& d) {
      d.userType(Screen::kToSpeed, typed);
      EXPECT_EQ(d.text(Screen::kToSpeed), typed) << "the field keeps what was typed";
      EXPECT_EQ(ctx.settings.accelTo, 60.0f) << typed;
      launchTo70(screen);
      EXPECT_TRUE(ctx.records.sets().empty()) << typed;
      EXPECT_EQ(d.text(Screen::kLastTime), "") << typed;
      d.userType(Screen::kToSpeed, "60");
      launchTo70(screen);
      EXPECT_NE(ctx.records.findRecordSet(key(0, 60)), nullptr) << "timing again after " << typed;
    });
  }
}

TEST_F(AccelerationScreenTest, ChangingASpeedDropsTheRunInProgress) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    for (int i = 0; i < 2; ++i) fixAndTicks(screen, 0.0);
    for (double v : {10.0, 25.0}) fixAndTicks(screen, v, 1);
    d.userSelect(Screen::kToSpeed, 5);  // 80
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    EXPECT_FALSE(ctx.runState.armed);
    for (double v : {40.0, 55.0, 70.0, 90.0}) fixAndTicks(screen, v, 1);
    EXPECT_TRUE(ctx.records.sets().empty()) << "a dropped run is not finished later";
  });
}

TEST_F(AccelerationScreenTest, ForgetLastRun) {
  ctx.records.addRun(key(0, 60), 4000, 1, ctx.gps.history);
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    d.userClick(Screen::kForgetButton);
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->filledCount(), 1) << "empty field: nothing happens";

    launchTo70(screen);
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->filledCount(), 2);
    EXPECT_EQ(d.text(Screen::kAverageTime), "3.845s");
    d.userClick(Screen::kForgetButton);
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->filledCount(), 1) << "the run just made is removed";
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->runs[0].timeMs, 4000u);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    EXPECT_EQ(d.text(Screen::kAverageTime), "4.000s");

    // During a run: the run is aborted, the stored runs stay.
    for (int i = 0; i < 2; ++i) fixAndTicks(screen, 0.0);
    for (double v : {10.0, 25.0}) fixAndTicks(screen, v, 1);
    d.userClick(Screen::kForgetButton);
    EXPECT_FALSE(ctx.runState.running);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    for (double v : {40.0, 55.0, 70.0}) fixAndTicks(screen, v, 1);
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->filledCount(), 1);
  });
}

TEST_F(AccelerationScreenTest, AStopPressedThenForgottenDoesNotEndTheNextRun) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    for (int i = 0; i < 2; ++i) fixAndTicks(screen, 0.0);
    fixAndTicks(screen, 10.0, 1);
    d.userClick(Screen::kManualButton);  // stop requested...
    d.userClick(Screen::kForgetButton);  // ...and the run forgotten before the next tick
    launchTo70(screen);
    const RecordSet* set = ctx.records.findRecordSet(key(0, 60));
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->filledCount(), 1);
    EXPECT_EQ(set->runs[0].timeMs, 3691u) << "the next run is timed to its to-speed";
  });
}

TEST_F(AccelerationScreenTest, ManualStartAndStopAreTimedByTheTickClock) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    fixAndTicks(screen, 0.0, 3);
    d.userClick(Screen::kManualButton);
    EXPECT_TRUE(ctx.runState.manualStartPending);
    tick(screen, false);
    EXPECT_TRUE(ctx.runState.running) << "runs at once, whatever the speed";
    EXPECT_EQ(d.text(Screen::kManualButton), "Manual Run Stop");
    fixAndTicks(screen, 0.0, 9);  // still standing: the pending start keeps it running
    clock.advanceMs(37);
    d.userClick(Screen::kManualButton);
    tick(screen, false);
    // Twelve ticks of 100 ms and 37 ms from the press of start to the tick after the stop.
    EXPECT_EQ(ctx.records.findRecordSet(key(0, 60))->runs[0].timeMs, 1237u);
    EXPECT_EQ(d.text(Screen::kLastTime), "1.237s");
    EXPECT_EQ(d.text(Screen::kManualButton), "Manual Run Start");
  });
}

TEST_F(AccelerationScreenTest, ManualStopOfAThresholdStartedRunTimesFromTheLaunch) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    // An older manual run, started and stopped at a standstill, leaves its
    // tick-clock start behind (and must not leave the screen unable to arm).
    d.userClick(Screen::kManualButton);
    tick(screen, false);
    d.userClick(Screen::kManualButton);
    tick(screen, false);
    ASSERT_EQ(ctx.records.findRecordSet(key(0, 60))->filledCount(), 1);
    clock.advanceMs(600000);  // ten minutes later

    for (int i = 0; i < 2; ++i) fixAndTicks(screen, 0.0);
    for (double v : {10.0, 25.0}) fixAndTicks(screen, v, 2);
    d.userClick(Screen::kManualButton);
    tick(screen, false);
    // Launch 142 ms after the standing fix (as in the 0-60 run), stopped
    // 1 s and three ticks after the launch fix: 2300 - 142.
    const RecordSet* set = ctx.records.findRecordSet(key(0, 60));
    ASSERT_EQ(set->filledCount(), 2);
    EXPECT_EQ(set->runs[1].timeMs, 2158u);
  });
}

TEST_F(AccelerationScreenTest, ATimeOfZeroIsNeverStored) {
  AccelerationScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    // Start and stop within the same millisecond of the tick clock.
    d.userClick(Screen::kManualButton);
    screen.update(false);
    d.userClick(Screen::kManualButton);
    screen.update(false);
    EXPECT_FALSE(ctx.runState.running);
    EXPECT_TRUE(ctx.records.sets().empty());
    EXPECT_EQ(d.text(Screen::kLastTime), "");
  });
}

TEST_F(AccelerationScreenTest, GenericCancelClosesTheScreen) {
  AccelerationScreen screen(ctx);
  windows.pushModalScript([](HeadlessDialog& d) { d.userClick(2); });
  EXPECT_EQ(screen.showModal(), 2);
}

}  // namespace
}  // namespace corvantis
