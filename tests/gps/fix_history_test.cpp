#include "gps/fix_history.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace corvantis {
namespace {

constexpr double kDegreesPerMetreAtSeaLevel = 1.0 / (6371000.0 * 0.0174532925);

FixSample at(double latitude, double longitude, float altitude, uint32_t timeMs) {
  FixSample s;
  s.latitude = latitude;
  s.longitude = longitude;
  s.altitude = altitude;
  s.time = timeMs;
  return s;
}

// FixHistory holds 64 KiB of samples: keep it off the test's stack.
std::unique_ptr<FixHistory> freshHistory() { return std::make_unique<FixHistory>(); }

TEST(GreatCircleDistance, ReferenceDistances) {
  const struct {
    FixSample a, b;
    double distanceM, toleranceM;
  } cases[] = {
      {at(0, 0, 0, 0), at(0, 1, 0, 0), 111194.93, 0.005},
      {at(0, 0, 1000, 0), at(0, 1, 1000, 0), 111212.38, 0.005},
      {at(0, 1, 0, 0), at(0, 0, 0, 0), 111194.93, 0.005},  // symmetric
      // Identical positions are exactly 0, whatever the altitudes.
      {at(48.1173, 11.5, 500, 0), at(48.1173, 11.5, -20, 0), 0.0, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(greatCircleDistance(c.a, c.b), c.distanceM, c.toleranceM)
        << c.a.latitude << "," << c.a.longitude << " -> " << c.b.latitude << "," << c.b.longitude;
  }
}

TEST(SpeedBetween, MetresPerSecondToMph) {
  const double exactLatitudeStep = 26.8224 * kDegreesPerMetreAtSeaLevel;
  // 26.8224 m in one second is 60 mph through the 0.621371192 factor.
  EXPECT_NEAR(speedBetween(at(0, 0, 0, 1000), at(exactLatitudeStep, 0, 0, 2000)), 59.99999998, 1e-8);
  // The rounded latitude step is 26.82240014 m: 60.0000003 mph.
  EXPECT_NEAR(speedBetween(at(0, 0, 0, 1000), at(0.00024121964, 0, 0, 2000)), 60.0000003, 1e-7);
  // Order of the arguments does not matter: the later time is the later fix.
  EXPECT_NEAR(speedBetween(at(0.00024121964, 0, 0, 2000), at(0, 0, 0, 1000)), 60.0000003, 1e-7);
  // 0.8 m in a second is 1.79 mph: standing still.
  EXPECT_EQ(speedBetween(at(0, 0, 0, 1000), at(0.8 * kDegreesPerMetreAtSeaLevel, 0, 0, 2000)), 0.0);
  // Fixes at the same instant have no speed rather than NaN or infinity.
  EXPECT_EQ(speedBetween(at(0, 0, 0, 1000), at(0.001, 0, 0, 1000)), 0.0);
}

TEST(FixHistory, FirstFixStartsFromTwoStillFixes) {
  auto h = freshHistory();
  EXPECT_EQ(h->recordFix(48.1173, 11.516666, 545.4, 45319000), RecordOutcome::Recorded);
  EXPECT_EQ(h->oldest().time, 45317000u);
  EXPECT_EQ(h->previous().time, 45318000u);
  EXPECT_EQ(h->newest().time, 45319000u);
  for (const FixSample& s : h->recentFixes) {
    EXPECT_EQ(s.latitude, 48.1173);
    EXPECT_EQ(s.longitude, 11.516666);
    EXPECT_EQ(s.altitude, 545.4f);
  }
  EXPECT_EQ(h->newest().speed, 0.0f);
  EXPECT_EQ(h->count, 1);
  EXPECT_EQ(h->newestFixTime(), 45319000u);
}

TEST(FixHistory, FixesCloserThan100msAreRefused) {
  auto h = freshHistory();
  h->recordFix(0, 0, 0, 1000000);
  EXPECT_EQ(h->recordFix(0.001, 0, 0, 1000099), RecordOutcome::Refused);
  EXPECT_EQ(h->newestFixTime(), 1000000u);
  EXPECT_EQ(h->count, 1);
  EXPECT_EQ(h->recordFix(0.001, 0, 0, 1000100), RecordOutcome::Recorded);
  EXPECT_EQ(h->newestFixTime(), 1000100u);
  EXPECT_EQ(h->previous().time, 1000000u);
  EXPECT_EQ(h->oldest().time, 999000u);
  EXPECT_EQ(h->count, 2);
  EXPECT_GT(h->newest().speed, 2.0f);
  EXPECT_EQ(h->samples[1].time, 1000100u);
}

TEST(FixHistory, CountsDaysOnPastMidnight) {
  auto h = freshHistory();
  const uint32_t day = 86400000u;
  EXPECT_EQ(h->recordFix(0, 0, 0, day - 200), RecordOutcome::Recorded);
  EXPECT_EQ(h->recordFix(0, 0, 0, day - 100), RecordOutcome::Recorded);
  EXPECT_EQ(h->recordFix(0, 0.00001, 0, 0), RecordOutcome::Recorded);  // 00:00:00.000 of the next day
  EXPECT_EQ(h->newestFixTime(), day);
  EXPECT_EQ(h->recordFix(0, 0.00002, 0, 100), RecordOutcome::Recorded);
  EXPECT_EQ(h->newestFixTime(), day + 100);
  // A real speed across midnight, not a jump of a whole day.
  EXPECT_GT(h->newest().speed, 2.0f);
  EXPECT_LT(h->newest().speed, 50.0f);
  // A step back of less than 12 hours is a receiver jumping back: refused.
  EXPECT_EQ(h->recordFix(0, 0, 0, 0), RecordOutcome::Refused);
  // A time of day beyond 24 h (plus a leap second) cannot be: refused.
  EXPECT_EQ(h->recordFix(0, 0, 0, day + 1000), RecordOutcome::Refused);
  EXPECT_EQ(h->newestFixTime(), day + 100);
  EXPECT_EQ(h->count, 4);
}

TEST(FixHistory, OnlyAStepBackOfMoreThanHalfADayIsTheNextDay) {
  const uint32_t hour = 3600000u;
  auto h = freshHistory();
  h->recordFix(0, 0, 0, 13 * hour);
  EXPECT_EQ(h->recordFix(0, 0, 0, 1 * hour), RecordOutcome::Refused);  // exactly 12 h back
  EXPECT_EQ(h->recordFix(0, 0, 0, 1 * hour - 1), RecordOutcome::Recorded);  // 12 h + 1 ms back
  EXPECT_EQ(h->newestFixTime(), 25 * hour - 1);
  EXPECT_EQ(h->previous().time, 13 * hour);
}

TEST(FixHistory, CaptureRestartsWithTheThreeRecentFixes) {
  auto h = freshHistory();
  for (uint32_t i = 0; i < 10; ++i) h->recordFix(0.0001 * i, 0, 0, 1000000 + 100 * i);
  h->startCapture(1700000000u);
  EXPECT_EQ(h->count, 3);
  EXPECT_EQ(h->captureStamp(), 1700000000u);
  EXPECT_EQ(h->samples[0].time, 1000700u);
  EXPECT_EQ(h->samples[2].time, 1000900u);
  EXPECT_EQ(h->recordFix(0.001, 0, 0, 1001000), RecordOutcome::Recorded);
  EXPECT_EQ(h->count, 4);
  EXPECT_EQ(h->samples[3].time, 1001000u);
}

TEST(FixHistory, SmoothingExtrapolatesEachIntervalMean) {
  auto h = freshHistory();
  const float speeds[] = {10, 20, 30, 0, 40};
  const float smoothed[] = {10, 25, 35, 0, 60};
  for (int i = 0; i < 5; ++i) h->samples[i].speed = speeds[i];
  h->count = 5;
  h->stopCapture();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(h->samples[i].speed, smoothed[i]) << i;
}

TEST(FixHistory, FullHistoryStillMovesTheWindow) {
  auto h = freshHistory();
  uint32_t t = 1000000;
  for (int i = 0; i < FixHistory::kCapacity; ++i, t += 100) {
    ASSERT_EQ(h->recordFix(0.0001 * i, 0, 0, t), RecordOutcome::Recorded) << i;
  }
  EXPECT_EQ(h->count, FixHistory::kCapacity);
  EXPECT_EQ(h->recordFix(0.0001 * 2048, 0, 0, t), RecordOutcome::WindowOnly);
  EXPECT_EQ(h->newestFixTime(), t);
  EXPECT_GT(h->newest().speed, 2.0f);
  EXPECT_EQ(h->count, FixHistory::kCapacity);
  EXPECT_EQ(h->samples[FixHistory::kCapacity - 1].time, t - 100);
  // A count set out of range by a caller is never used as an index.
  h->count = 5000;
  EXPECT_EQ(h->recordFix(0, 0, 0, t + 100), RecordOutcome::WindowOnly);
  h->stopCapture();
  h->count = -3;
  EXPECT_EQ(h->recordFix(0, 0, 0, t + 200), RecordOutcome::Recorded);
  EXPECT_EQ(h->count, 1);
}

// A drive north at about 20 m/s, one fix a second from 12:00:00.
struct Drive {
  std::unique_ptr<FixHistory> h = freshHistory();
  static constexpr uint32_t kNoon = 12u * 3600000u;
  // Records the fix of second n (its true place), at the time given.
  RecordOutcome fix(int n, uint32_t timeOfDayMs) {
    return h->recordFix(47.0 + n * 20.0 * kDegreesPerMetreAtSeaLevel, 8.0, 0.0, timeOfDayMs);
  }
  RecordOutcome fix(int n) { return fix(n, kNoon + 1000u * static_cast<uint32_t>(n)); }
};

// One fix whose hour was damaged to one ahead: its successors are refused as
// earlier until, 3 s of their own time on, their timeline is taken and the
// stale fix goes; fixes keep coming at their true speed.
TEST(FixHistory, AClockJumpIsTakenAfterThreeSecondsOfRefusedFixes) {
  Drive d;
  for (int n = 0; n <= 3; ++n) ASSERT_EQ(d.fix(n), RecordOutcome::Recorded);
  const uint32_t breaks = d.h->timelineBreaks();
  ASSERT_EQ(d.fix(4, Drive::kNoon + 3600000u + 4000u), RecordOutcome::Recorded);  // the damaged hour
  EXPECT_EQ(d.h->timelineBreaks(), breaks + 1) << "an hour's step is a gap no run spans";
  for (int n = 5; n <= 7; ++n) EXPECT_EQ(d.fix(n), RecordOutcome::Refused) << n;
  EXPECT_EQ(d.fix(8), RecordOutcome::Recorded);
  EXPECT_EQ(d.h->timelineBreaks(), breaks + 2);
  EXPECT_EQ(d.h->newestFixTime(), Drive::kNoon + 8000u);
  EXPECT_EQ(d.h->previous().time, Drive::kNoon + 7000u);
  EXPECT_EQ(d.h->oldest().time, Drive::kNoon + 6000u);
  EXPECT_NEAR(d.h->newest().speed, 20.0 * 3.6 * 0.621371192, 0.01);
  EXPECT_NEAR(d.h->previous().speed, 20.0 * 3.6 * 0.621371192, 0.01);
  // The stale fix left the samples; the new one follows the fixes before it.
  ASSERT_EQ(d.h->count, 5);
  EXPECT_EQ(d.h->samples[3].time, Drive::kNoon + 3000u);
  EXPECT_EQ(d.h->samples[4].time, Drive::kNoon + 8000u);
  EXPECT_EQ(d.fix(9), RecordOutcome::Recorded);
  EXPECT_EQ(d.h->timelineBreaks(), breaks + 2);
}

TEST(FixHistory, RefusedFixesShowAJumpOnlyWhenTheyMoveOnForThreeSeconds) {
  struct Case {
    const char* name;
    std::vector<int> refusedMs;  // times after 12:00:00 of the fixes after one at 13:00:00
    bool jumped;
  };
  const Case cases[] = {
      {"2.9 s of refused fixes", {0, 1000, 2000, 2900}, false},
      {"3 s of refused fixes", {0, 1000, 2000, 3000}, true},
      {"10 Hz for 3 s", [] { std::vector<int> t; for (int i = 0; i <= 30; ++i) t.push_back(100 * i); return t; }(), true},
      {"one time repeated", {0, 0, 0, 0, 0, 0}, false},
      {"going back among themselves", {0, 1000, 2000, 500, 1500, 2500}, false},
      {"a repeat starts the count again", {0, 1000, 2000, 2000, 3000, 4000}, false},
      {"50 ms apart starts the count again", {0, 50, 1000, 2000, 3000}, false},
      {"3 s after the new start", {0, 50, 1000, 2000, 3050}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Drive d;
    ASSERT_EQ(d.fix(0, Drive::kNoon + 3600000u), RecordOutcome::Recorded);
    int recorded = 0;
    for (int ms : c.refusedMs) recorded += d.fix(0, Drive::kNoon + static_cast<uint32_t>(ms)) == RecordOutcome::Recorded;
    EXPECT_EQ(recorded, c.jumped ? 1 : 0);
    EXPECT_EQ(d.h->newestFixTime() < Drive::kNoon + 3600000u, c.jumped);
  }
}

// A receiver restarted with its clock some seconds back, and fixes before
// and after a long silence: each is a break in the timeline.
TEST(FixHistory, GapsLongerThanFiveSecondsBreakTheTimeline) {
  Drive d;
  ASSERT_EQ(d.fix(0), RecordOutcome::Recorded);
  EXPECT_EQ(d.h->timelineBreaks(), 0u) << "the first fix starts the timeline";
  d.fix(5);
  EXPECT_EQ(d.h->timelineBreaks(), 0u) << "exactly 5 s";
  d.fix(11);
  EXPECT_EQ(d.h->timelineBreaks(), 1u);
  d.fix(12);
  EXPECT_EQ(d.h->timelineBreaks(), 1u);
  // 5 hours ahead at once.
  d.fix(13, Drive::kNoon + 5u * 3600000u);
  EXPECT_EQ(d.h->timelineBreaks(), 2u);
}

}  // namespace
}  // namespace corvantis
