// The distance screen on the headless window system, driven tick by tick
// over fixes recorded into the real fix history.
#include "timing/distance_screen.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/time_text.h"
#include "common/units.h"
#include "tests/timing/screen_fixture.h"

namespace corvantis {
namespace {

using platform::headless::HeadlessDialog;
using Screen = DistanceScreen;

// Mean speeds (mph) of a second each from a standing start: 397.9 m after
// the eleventh, 442.6 m after the twelfth.
const std::vector<double> kQuarterMileDrive = {20, 40, 60, 80, 100, 100, 100, 100, 100, 100, 90, 100};

class DistanceScreenTest : public testing::TimingScreenTest {
 protected:
  void standThenDrive(DistanceScreen& screen, const std::vector<double>& speeds) {
    for (int i = 0; i < 3; ++i) fixAndTicks(screen, 0.0, 2);
    for (double v : speeds) fixAndTicks(screen, v, 2);
  }
  int storedRuns(double distanceM) {
    const RecordSet* set = ctx.records.findRecordSet(distanceKey(distanceM));
    return set == nullptr ? 0 : set->filledCount();
  }
};

TEST_F(DistanceScreenTest, OpensWithTheDistancesOfTheUnitShown) {
  struct Case {
    int units;
    double distanceM;
    std::vector<std::string> items;
    int selection;
    const char* text;
    const char* unit;
  };
  const std::vector<Case> cases = {
      {units::kImperial, 402.336, {"220 (1/8 mile)", "440 (1/4 mile)"}, 1, "440 (1/4 mile)", "yards"},
      {units::kImperial, 201.168, {"220 (1/8 mile)", "440 (1/4 mile)"}, 0, "220 (1/8 mile)", "yards"},
      {units::kImperial, 91.44, {"220 (1/8 mile)", "440 (1/4 mile)"}, -1, "100", "yards"},
      {units::kImperial, 400.0, {"220 (1/8 mile)", "440 (1/4 mile)"}, -1, "437", "yards"},
      {units::kMetric, 400.0, {"400", "800"}, 0, "400", "meters"},
      {units::kMetric, 800.0, {"400", "800"}, 1, "800", "meters"},
      {units::kMetric, 1000.0, {"400", "800"}, -1, "1000", "meters"},
      {units::kMetric, 402.336, {"400", "800"}, -1, "402", "meters"},
  };
  for (const Case& c : cases) {
    ctx.settings.units = c.units;
    ctx.settings.distance = c.distanceM;
    ctx.runState.armed = true;
    ctx.runState.running = true;
    DistanceScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      ASSERT_EQ(d.itemCount(Screen::kTargetDistance), static_cast<int>(c.items.size()));
      for (size_t i = 0; i < c.items.size(); ++i) {
        EXPECT_EQ(d.itemText(Screen::kTargetDistance, static_cast<int>(i)), c.items[i]);
      }
      EXPECT_EQ(d.selection(Screen::kTargetDistance), c.selection) << c.distanceM;
      EXPECT_EQ(d.text(Screen::kTargetDistance), c.text) << c.distanceM;
      EXPECT_EQ(d.text(Screen::kUnitLabel), c.unit);
      EXPECT_FALSE(ctx.runState.armed);
      EXPECT_FALSE(ctx.runState.running);
      EXPECT_EQ(d.control(Screen::kDistanceLine).textColour, (platform::Rgb{255, 0, 0}));
      EXPECT_EQ(d.control(Screen::kSpeedLine).textColour, (platform::Rgb{255, 0, 0}));
      EXPECT_EQ(d.control(Screen::kDistanceLine).font, ctx.fonts.large);
      EXPECT_EQ(d.fullScreenRequests(), 1);
    });
  }
}

TEST_F(DistanceScreenTest, PickedAndTypedDistances) {
  struct Case {
    int units;
    const char* typed;  // nullptr: pick item `item`
    int item;
    double expectM;
    uint32_t expectKey;
    const char* reopenText;
  };
  const Case cases[] = {
      {units::kImperial, nullptr, 1, 402.336, 0x81925604u, "440 (1/4 mile)"},  // 22020 = 0x5604
      {units::kImperial, nullptr, 0, 201.168, 0x80C92B02u, "220 (1/8 mile)"},  // 11010 = 0x2B02
      {units::kMetric, nullptr, 1, 800.0, 0x83200000u, "800"},
      {units::kMetric, "1000", 0, 1000.0, 0x83E80000u, "1000"},
      {units::kImperial, "100", 0, 100.0 * 0.9144, 0x805B70A3u, "100"},  // 91.44 m shows 100 yards again
  };
  for (const Case& c : cases) {
    ctx.settings.units = c.units;
    ctx.settings.distance = 123.0;
    {
      DistanceScreen screen(ctx);
      show(screen, [&](HeadlessDialog& d) {
        if (c.typed != nullptr) {
          d.userType(Screen::kTargetDistance, c.typed);
        } else {
          d.userSelect(Screen::kTargetDistance, c.item);
        }
      });
    }
    EXPECT_EQ(ctx.settings.distance, c.expectM);
    EXPECT_EQ(distanceKey(ctx.settings.distance).value(), c.expectKey);
    DistanceScreen reopened(ctx);
    show(reopened, [&](HeadlessDialog& d) { EXPECT_EQ(d.text(Screen::kTargetDistance), c.reopenText); });
  }
}

TEST_F(DistanceScreenTest, PickingRefreshesBestAndAverageTypingDoesNot) {
  ctx.records.addRun(distanceKey(402.336), 12500, 1, ctx.gps.history);
  ctx.settings.distance = 201.168;
  DistanceScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    EXPECT_EQ(d.text(Screen::kBestTime), "");
    d.userSelect(Screen::kTargetDistance, 1);
    EXPECT_EQ(d.text(Screen::kBestTime), "12.500s");
    EXPECT_EQ(d.text(Screen::kAverageTime), "12.500s");
    d.userType(Screen::kTargetDistance, "100");
    EXPECT_EQ(d.text(Screen::kBestTime), "12.500s");
  });
}

TEST_F(DistanceScreenTest, TimesAQuarterMileFromAStandingStart) {
  DistanceScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    // Creeping: a speed on every tick never arms.
    recordFix(0.0);
    for (int i = 0; i < 4; ++i) fixAndTicks(screen, 3.0, 2);
    EXPECT_FALSE(ctx.runState.armed);
    EXPECT_EQ(d.text(Screen::kDistanceLine), "");

    fixAndTicks(screen, 0.0);
    EXPECT_TRUE(ctx.runState.armed);
    std::vector<std::string> distanceLines;
    std::vector<std::string> times;
    for (double v : kQuarterMileDrive) {
      fixAndTicks(screen, v);
      distanceLines.push_back(d.text(Screen::kDistanceLine));
      times.push_back(d.text(Screen::kLastTime));
      tick(screen, false);
      if (ctx.runState.running) {
        EXPECT_NE(d.text(Screen::kLastTime), times.back()) << "counts between fixes";
      }
    }
    EXPECT_EQ(distanceLines[0], "Dist: 10 yd");   // 8.94 m
    EXPECT_EQ(distanceLines[4], "Dist: 147 yd");  // 134.1 m
    EXPECT_EQ(distanceLines[10], "Dist: 435 yd");
    EXPECT_EQ(distanceLines[11], "Dist: 440 yd") << "never beyond the target";
    EXPECT_FALSE(ctx.runState.running);

    const RecordSet* set = ctx.records.findRecordSet(distanceKey(402.336));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->key, 0x81925604u);
    const uint32_t timeMs = set->runs[0].timeMs;
    // The target lies between the eleventh and twelfth moving fixes.
    EXPECT_GT(timeMs, 10000u);
    EXPECT_LT(timeMs, 12000u);
    EXPECT_EQ(d.text(Screen::kLastTime), times.back());
    EXPECT_EQ(d.text(Screen::kBestTime), times.back());
    fixAndTicks(screen, 100.0, 3);
    EXPECT_EQ(d.text(Screen::kLastTime), times.back()) << "the final time stays";
    EXPECT_EQ(set->filledCount(), 1);
  });
}

// A car that stops on the way starts the run over from where it stands:
// time and distance shown count from there, as the stored time does.
TEST_F(DistanceScreenTest, ARunThatStopsOnTheWayStartsOverFromTheNewStandstill) {
  ctx.settings.units = units::kMetric;
  ctx.settings.distance = 100.0;
  DistanceScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    standThenDrive(screen, {20, 40});
    EXPECT_EQ(d.text(Screen::kDistanceLine), "Dist: 27 m");
    EXPECT_EQ(d.text(Screen::kSpeedLine), "Speed: 64.4 kph");
    fixAndTicks(screen, 0.0, 2);
    EXPECT_FALSE(ctx.runState.running);
    EXPECT_TRUE(ctx.runState.armed);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    EXPECT_EQ(d.text(Screen::kDistanceLine), "");
    fixAndTicks(screen, 40.0);
    EXPECT_EQ(d.text(Screen::kDistanceLine), "Dist: 18 m") << "from the new standing point";
    EXPECT_EQ(d.text(Screen::kLastTime), formatRunTime(0));
    for (double v : {60.0, 80.0}) fixAndTicks(screen, v, 2);
    EXPECT_EQ(d.text(Screen::kDistanceLine), "Dist: 80 m");  // 80.47 m
    EXPECT_EQ(storedRuns(100.0), 0);
    fixAndTicks(screen, 80.0, 2);  // 116 m from the second start
    EXPECT_FALSE(ctx.runState.running);
    ASSERT_EQ(storedRuns(100.0), 1);
    // Standing fix to the crossing 19.5 m into the fourth second at about 40 m/s.
    const uint32_t timeMs = ctx.records.findRecordSet(distanceKey(100.0))->runs[0].timeMs;
    EXPECT_GT(timeMs, 3400u);
    EXPECT_LT(timeMs, 3600u);
    EXPECT_EQ(d.text(Screen::kLastTime), formatRunTime(timeMs));
  });
}

// Fixes more than 5 s apart (a lost signal, a receiver clock leaping hours
// ahead) leave a run that no interpolation can time: it is dropped, nothing
// is stored, and the next standing start times normally.
TEST_F(DistanceScreenTest, AGapOverFiveSecondsDropsTheRun) {
  ctx.settings.units = units::kMetric;
  ctx.settings.distance = 100.0;
  for (uint32_t gapMs : {5001u, 5u * 3600000u}) {
    SCOPED_TRACE(gapMs);
    DistanceScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      standThenDrive(screen, {20, 40});
      recordFix(60.0, gapMs);
      tick(screen, true);
      EXPECT_FALSE(ctx.runState.running);
      EXPECT_EQ(d.text(Screen::kLastTime), "");
      for (double v : {60.0, 60.0, 60.0}) fixAndTicks(screen, v);
      EXPECT_FALSE(ctx.runState.running) << "no new run without a standing start";
      EXPECT_EQ(storedRuns(100.0), 0);
      standThenDrive(screen, {40, 60, 80, 80});
      EXPECT_EQ(storedRuns(100.0), 1);
    });
    ctx.records.forgetLastRun(distanceKey(100.0));
  }
}

TEST_F(DistanceScreenTest, ForgetLastRun) {
  ctx.settings.units = units::kMetric;
  ctx.settings.distance = 100.0;
  DistanceScreen screen(ctx);
  show(screen, [&](HeadlessDialog& d) {
    d.userClick(Screen::kForgetButton);  // empty field: nothing
    standThenDrive(screen, {20, 40, 60});
    EXPECT_TRUE(ctx.runState.running);
    d.userClick(Screen::kForgetButton);
    EXPECT_FALSE(ctx.runState.running);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
    for (double v : {80.0, 80.0, 80.0}) fixAndTicks(screen, v, 2);
    EXPECT_EQ(storedRuns(100.0), 0) << "a run forgotten while running stores nothing";

    standThenDrive(screen, {20, 40, 60, 80, 80});
    standThenDrive(screen, {20, 40, 60, 80, 80});
    EXPECT_EQ(storedRuns(100.0), 2);
    d.userClick(Screen::kForgetButton);
    EXPECT_EQ(storedRuns(100.0), 1);
    EXPECT_EQ(d.text(Screen::kLastTime), "");
  });
}

TEST_F(DistanceScreenTest, ADistanceThatNamesNoRunTimesNothing) {
  struct Case {
    int units;
    const char* typed;
  };
  const Case cases[] = {{units::kMetric, "abc"},   {units::kMetric, "0"},      {units::kMetric, "-5"},
                        {units::kMetric, "32768"}, {units::kImperial, "40000"}, {units::kMetric, ""}};
  for (const Case& c : cases) {
    ctx.settings.units = c.units;
    ctx.settings.distance = 100.0;
    ctx.records.sets().clear();
    DistanceScreen screen(ctx);
    show(screen, [&](HeadlessDialog& d) {
      d.userType(Screen::kTargetDistance, c.typed);
      EXPECT_EQ(d.text(Screen::kTargetDistance), c.typed) << "the field keeps what was typed";
      EXPECT_EQ(ctx.settings.distance, 100.0) << c.typed;
      standThenDrive(screen, {20, 40, 60, 80, 80});
      EXPECT_TRUE(ctx.records.sets().empty()) << c.typed;
      d.userType(Screen::kTargetDistance, c.units == units::kMetric ? "100" : "110");
      standThenDrive(screen, {20, 40, 60, 80, 80});
      EXPECT_EQ(ctx.records.sets().size(), 1u) << "timing again after " << c.typed;
    });
  }
}

}  // namespace
}  // namespace corvantis
