// The crossing engine: line geometry, the crossing test and the replay that
// turns crossings into lap and split times.
#include "laps/lap_crossing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvantis {
namespace {

// A track heading east through (10.0, 50.0), the last point 72 m behind it
// on the same parallel: the start/finish line runs north-south through
// point 0. Points 3 and 4 lie far away, so that only the line at point 0
// (and split lines placed on 1 or 2) matter.
LapDefinition eastboundTrack() {
  LapDefinition d;
  d.track = {{10.0, 50.0}, {10.001, 50.0}, {10.002, 50.0}, {10.002, 50.01}, {9.99, 50.01}, {9.999, 50.0}};
  return d;
}

TrackPoint at(double lon, double lat) { return TrackPoint{lon, lat}; }

TEST(LineGeometryTest, WorkedStartFinishLineRunsAcrossAnEastboundTrack) {
  const LineGeometry line = computeLineGeometry(eastboundTrack(), 0);
  ASSERT_TRUE(line.usable);
  EXPECT_EQ(line.trackDirection.x, 10.001 - 9.999);  // from behind to ahead, not normalised
  EXPECT_EQ(line.trackDirection.z, 0.0);
  EXPECT_EQ(line.lineDirection.x, 0.0);
  EXPECT_EQ(line.lineDirection.y, 0.0);
  EXPECT_EQ(line.lineDirection.z, 1.0);
  EXPECT_EQ(line.end1.x, 10.0);
  EXPECT_EQ(line.end1.z, -kLineHalfLength + 50.0);
  EXPECT_EQ(line.end2.x, 10.0);
  EXPECT_EQ(line.end2.z, kLineHalfLength + 50.0);
  EXPECT_EQ(kLineHalfLength, 1.0 / 3000.0);
}

TEST(LineGeometryTest, SplitLineFindsItsAnchorOnTheTrackAndWrapsAfterTheLastPoint) {
  LapDefinition d = eastboundTrack();
  d.splitLineCount = 2;
  d.splitLines[0] = d.track[2];  // the corner from east to north
  d.splitLines[1] = d.track[5];  // the last point: ahead of it lies point 0
  const LineGeometry corner = computeLineGeometry(d, 0);
  ASSERT_TRUE(corner.usable);
  EXPECT_EQ(corner.anchor, d.track[2]);
  EXPECT_EQ(corner.trackDirection.x, 10.002 - 10.001);
  EXPECT_EQ(corner.trackDirection.z, 50.01 - 50.0);
  const LineGeometry wrap = computeLineGeometry(d, 1);
  ASSERT_TRUE(wrap.usable);
  EXPECT_EQ(wrap.trackDirection.x, 10.0 - 9.99);
  EXPECT_EQ(wrap.trackDirection.z, 50.0 - 50.01);
  // Line index 2 is now the start/finish line.
  EXPECT_EQ(computeLineGeometry(d, 2).anchor, d.track[0]);
}

TEST(LineGeometryTest, LinesWithoutADirectionAreNeverCrossed) {
  LapDefinition repeated = eastboundTrack();
  for (TrackPoint& point : repeated.track) point = repeated.track[0];  // every point on one spot
  LapDefinition strayAnchor = eastboundTrack();
  strayAnchor.splitLineCount = 1;
  strayAnchor.splitLines[0] = at(10.0005, 50.0);  // on no track point
  for (const auto& [definition, lineIndex] :
       std::vector<std::pair<LapDefinition, int>>{{repeated, 0}, {strayAnchor, 0}, {eastboundTrack(), 7}}) {
    const LineGeometry line = computeLineGeometry(definition, lineIndex);
    EXPECT_FALSE(line.usable);
    int armed = -1;
    EXPECT_FALSE(testCrossing(line, lineIndex, at(9.9999, 50.0), at(10.0001, 50.0), armed, false, nullptr));
    EXPECT_EQ(armed, -1);
  }
}

// Metres east and north of (0, 0) on the equator to a track point, with
// the distance function's own constants, so that distances along either
// axis come out exact.
TrackPoint metres(double eastM, double northM) {
  constexpr double kDegreesPerMetre = 1.0 / 6371000.0 / 0.0174532925;
  return TrackPoint{eastM * kDegreesPerMetre, northM * kDegreesPerMetre};
}

// A 58 x 30 m rectangle of points 2 m apart, driven anticlockwise from the
// middle of its south side (x = 30 m): 15 points east to the corner, 15
// north, 29 west, 14 south and 15 east back towards point 0.
std::vector<TrackPoint> twoMetreLoop() {
  std::vector<TrackPoint> track;
  for (int x = 30; x <= 58; x += 2) track.push_back(metres(x, 0.0));
  for (int y = 2; y <= 30; y += 2) track.push_back(metres(58.0, y));
  for (int x = 56; x >= 0; x -= 2) track.push_back(metres(x, 30.0));
  for (int y = 28; y >= 2; y -= 2) track.push_back(metres(0.0, y));
  for (int x = 0; x <= 28; x += 2) track.push_back(metres(x, 0.0));
  return track;
}

TEST(LineGeometryTest, DirectionRunsBetweenTheFirstPointsFifteenMetresEitherSide) {
  std::vector<TrackPoint> corner;  // east to x = 40 m, then north
  for (int i = 0; i <= 20; ++i) corner.push_back(metres(2.0 * i, 0.0));
  for (int i = 1; i <= 20; ++i) corner.push_back(metres(40.0, 2.0 * i));
  std::vector<TrackPoint> small;  // a 6 m square: no point 15 m from another
  for (const auto& [x, y] : {std::pair{0.0, 0.0}, {6.0, 0.0}, {6.0, 6.0}, {0.0, 6.0}}) small.push_back(metres(x, y));
  const std::vector<TrackPoint> pair{metres(0.0, 0.0), metres(20.0, 0.0)};

  struct Case {
    const char* name;
    std::vector<TrackPoint> track;
    int anchor;
    int behind;  // the points the direction runs between
    int ahead;
  };
  const Case cases[] = {
      // 14 m is not far enough, 16 m is.
      {"on a straight", twoMetreLoop(), 40, 32, 48},
      {"at a corner", corner, 20, 12, 28},
      {"at the loop's seam, behind wraps to the last points", twoMetreLoop(), 0, 80, 8},
      {"at the last point, ahead wraps past point 0", twoMetreLoop(), 87, 79, 7},
      {"a track shorter than 30 m: the next point", small, 2, 2, 3},
      {"both ways reach one point: the next point", pair, 1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Vec3 v = lineTrackDirection(c.track, c.anchor);
    const TrackPoint& from = c.track[static_cast<size_t>(c.behind)];
    const TrackPoint& to = c.track[static_cast<size_t>(c.ahead)];
    EXPECT_EQ(v.x, to.longitude - from.longitude);
    EXPECT_EQ(v.y, 0.0);
    EXPECT_EQ(v.z, to.latitude - from.latitude);
  }
}

TEST(LineGeometryTest, AStartFinishPointJoinedTwoMetresToTheSideStillSquaresUp) {
  // The loop was closed between two passes 2 m apart sideways: point 1 lies
  // 2 m to the left of point 0 and only 1 m further on. From point 0 to
  // point 1 the line would run 63 degrees off square to the road.
  LapDefinition d;
  d.track = twoMetreLoop();
  d.track[0] = metres(31.0, -2.0);
  const LineGeometry line = computeLineGeometry(d, 0);
  ASSERT_TRUE(line.usable);
  const double offSquareDeg = std::atan2(std::fabs(line.lineDirection.x), std::fabs(line.lineDirection.z)) * 180.0 / M_PI;
  EXPECT_LT(offSquareDeg, 4.0);
  // A car on the road, heading east, crosses it once.
  LiveLapLines lines;
  lines.setDefinition(&d);
  std::array<int, kMaxLapLines> crossed{};
  int found = 0;
  FixSample previous;
  for (double x = 10.0; x <= 50.0; x += 3.0) {
    FixSample fix;
    fix.longitude = metres(x, 1.0).longitude;
    fix.latitude = metres(x, 1.0).latitude;
    if (x > 10.0) found += lines.test(previous, fix, crossed);
    previous = fix;
  }
  EXPECT_EQ(found, 1);
}

struct CrossingCase {
  const char* name;
  TrackPoint previous;
  TrackPoint newest;
  int armedBefore;
  bool backwardDisarms;
  bool crosses;
  int armedAfter;
};

TEST(CrossingTest, OneStepAgainstTheWorkedLine) {
  const double h = kLineHalfLength;
  const CrossingCase cases[] = {
      {"worked step east", at(9.9999, 50.0), at(10.0001, 50.0), -1, true, true, -1},
      {"worked step west", at(10.0001, 50.0), at(9.9999, 50.0), -1, true, false, -1},
      {"along the line", at(10.0, 49.9999), at(10.0, 50.0001), -1, true, false, -1},
      {"inside the circle, not yet across: arms", at(9.9998, 50.0), at(9.9999, 50.0), -1, true, false, 0},
      {"armed, across well outside the circle", at(9.9999, 50.0), at(10.01, 50.0), 0, false, true, -1},
      {"not armed, across outside the circle", at(9.9999, 50.0), at(10.01, 50.0), -1, false, false, -1},
      {"armed: the whole extension counts", at(9.9999, 50.0 + 3 * h), at(10.0001, 50.0 + 3 * h), 0, false, true, -1},
      {"backward keeps the arm live", at(9.9999, 50.0), at(9.9998, 50.0), 0, false, false, 0},
      {"backward disarms in the replay", at(9.9999, 50.0), at(9.9998, 50.0), 0, true, false, -1},
      {"backward leaves another line armed", at(9.9999, 50.0), at(9.9998, 50.0), 3, true, false, 3},
      {"arming replaces another armed line", at(9.9998, 50.0), at(9.9999, 50.0), 3, true, false, 0},
      // A fix exactly on the line crosses on the step that reaches it ...
      {"reaching the line", at(9.9999, 50.0), at(10.0, 50.0), -1, false, true, -1},
      {"reaching the line off the anchor", at(9.9999, 50.0001), at(10.0, 50.0002), -1, false, true, -1},
      // ... and not again on the step that leaves it.
      {"leaving the line", at(10.0, 50.0), at(10.0001, 50.0), -1, false, false, 0},
      {"beyond to further beyond", at(10.0001, 50.0), at(10.0002, 50.0), -1, false, false, 0},
  };
  const LineGeometry line = computeLineGeometry(eastboundTrack(), 0);
  for (const CrossingCase& c : cases) {
    SCOPED_TRACE(c.name);
    int armed = c.armedBefore;
    TrackPoint foot{-1.0, -1.0};
    EXPECT_EQ(testCrossing(line, 0, c.previous, c.newest, armed, c.backwardDisarms, &foot), c.crosses);
    EXPECT_EQ(armed, c.armedAfter);
    if (c.crosses) {
      // The foot point of the newest fix on the north-south line.
      EXPECT_DOUBLE_EQ(foot.longitude, 10.0);
      EXPECT_NEAR(foot.latitude, c.newest.latitude, 1e-12);
    }
  }
}

TEST(CrossingInstantTest, WorkedInterpolation) {
  FixSample before;
  before.speed = 60.0f;
  before.time = 45000000;
  FixSample after = before;
  after.speed = 66.0f;
  after.time = 45001000;
  uint32_t instant = 0;
  ASSERT_TRUE(crossingInstant(before, after, 12.5, 0.5, instant));
  EXPECT_EQ(instant, 45000454u);  // trunc(12500 / 27.49296 = 454.66)

  // Standing at both fixes: no time at all rather than a division by 0.
  before.speed = after.speed = 0.0f;
  EXPECT_FALSE(crossingInstant(before, after, 0.0, 0.0, instant));
}

TEST(LiveLapLinesTest, ReportsEveryLineCrossedOnOneStepSplitsFirst) {
  LapDefinition d = eastboundTrack();
  d.splitLineCount = 2;
  d.splitLines[0] = d.track[1];
  d.splitLines[1] = d.track[0];  // a split line on the start/finish point
  LiveLapLines lines;
  lines.setDefinition(&d);
  ASSERT_EQ(lines.lineCount(), 3);
  FixSample p;
  p.longitude = 9.9999;
  p.latitude = 50.0;
  FixSample c = p;
  std::array<int, kMaxLapLines> crossed{};
  // No movement: nothing, even with a line between nowhere and nowhere.
  EXPECT_EQ(lines.test(p, c, crossed), 0);
  c.longitude = 10.0001;
  ASSERT_EQ(lines.test(p, c, crossed), 2);
  EXPECT_EQ(crossed[0], 1);
  EXPECT_EQ(crossed[1], 2);
  // Driven the other way round, nothing is ever crossed.
  EXPECT_EQ(lines.test(c, p, crossed), 0);
  lines.setDefinition(nullptr);
  EXPECT_EQ(lines.test(p, c, crossed), 0);
}

TEST(LiveLapLinesTest, ALineThatCountedWaitsUntilTheCarHasLeftItsCircle) {
  // The rectangle's south side is a straight heading east: the start/finish
  // line at x = 30 m, a split line at x = 50 m. The circle reaches 37 m
  // either way from each anchor on the equator.
  LapDefinition d;
  d.track = twoMetreLoop();
  d.splitLineCount = 1;
  d.splitLines[0] = d.track[10];
  ASSERT_EQ(d.splitLines[0], metres(50.0, 0.0));
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> fixes;  // metres east, north
    std::vector<int> crossed;                      // lines counted, in order
  };
  const Case cases[] = {
      {"jitter on the start/finish line counts once",
       {{0, 0}, {20, 0}, {30.4, 0}, {29.7, 0.3}, {30.2, -0.2}, {29.5, 0.1}, {30.6, 0.4}, {29.9, 0}, {30.1, 0}},
       {1}},
      {"jitter on a split line counts once",
       {{40, 0}, {50.3, 0}, {49.6, 0.2}, {50.5, -0.4}, {49.8, 0}, {50.1, 0.3}},
       {0}},
      {"back over the line after leaving the circle counts again",
       {{20, 0}, {30.4, 0}, {29.7, 0}, {30.3, 0}, {70, 0}, {20, 0}, {25, 0}, {31, 0}},
       {1, 0, 1}},
      {"leaving the circle sideways counts too",
       {{20, 0}, {30.4, 0}, {30.4, 40}, {29, 0}, {30.5, 0}},
       {1, 1}},
      {"a fix short of leaving keeps the line waiting",
       {{20, 0}, {30.4, 0}, {30.4, 36}, {29, 0}, {30.5, 0}},
       {1}},
      {"a lap: split, start/finish, then both again",
       {{0, 0}, {20, 0}, {40, 0}, {60, 0}, {90, 0}, {0, 0}, {20, 0}, {40, 0}, {60, 0}},
       {1, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveLapLines lines;
    lines.setDefinition(&d);
    std::vector<int> counted;
    FixSample previous;
    for (size_t i = 0; i < c.fixes.size(); ++i) {
      FixSample fix;
      fix.longitude = metres(c.fixes[i].first, c.fixes[i].second).longitude;
      fix.latitude = metres(c.fixes[i].first, c.fixes[i].second).latitude;
      std::array<int, kMaxLapLines> crossed{};
      const int found = i > 0 ? lines.test(previous, fix, crossed) : 0;
      counted.insert(counted.end(), crossed.begin(), crossed.begin() + found);
      previous = fix;
    }
    EXPECT_EQ(counted, c.crossed);
  }
}

// --- The replay -----------------------------------------------------------

// Metres east along the equator to degrees, with the distance function's
// own constants, so that positions are exact distances apart.
double eastDegrees(double metres) { return metres / 6371000.0 / 0.0174532925; }

// An oval on the equator: the start/finish line is at longitude 0 heading
// east; a split line 100 m further on. Fixes are placed directly in the
// capture with the speeds they carry, so the expected instants are exact.
class ReplayTest : public ::testing::Test {
 public:
  ReplayTest() : history(std::make_unique<FixHistory>()) {
    definition.track = {{0.0, 0.0}, {eastDegrees(50.0), 0.0}, {eastDegrees(100.0), 0.0},
                        {eastDegrees(150.0), 0.0}, {eastDegrees(150.0), 0.01}, {eastDegrees(-50.0), 0.01},
                        {eastDegrees(-50.0), 0.0}};
    definition.splitLineCount = 1;
    definition.splitLines[0] = definition.track[2];
  }

  // A fix at `metres` east of the start/finish line at time t, going east at
  // speedMph (positions north of the line's circle when away is set).
  void add(double metres, uint32_t timeMs, float speedMph, bool away = false) {
    FixSample& s = history->samples[static_cast<size_t>(history->count++)];
    s = FixSample{};
    s.longitude = eastDegrees(metres);
    s.latitude = away ? 0.01 : 0.0;
    s.speed = speedMph;
    s.time = timeMs;
  }

  // Passes both lines at 26.8224 m/s (60 mph) with fixes one second apart,
  // the first `behindM` before the start/finish line.
  void passLines(uint32_t t0, double behindM) {
    for (int i = 0; i < 8; ++i) add(-behindM + 26.8224 * i, t0 + 1000u * static_cast<uint32_t>(i), 60.0f);
  }

  LapDefinition definition;
  std::unique_ptr<FixHistory> history;
};

TEST_F(ReplayTest, LapAndSplitAtConstantSpeedLandOnTheTrueInstants) {
  // 6.7056 m before the line at 60 mph: the crossing is 250 ms after it.
  passLines(45000000, 6.7056);
  add(3000.0, 45060000, 60.0f, true);  // round the far side of the oval
  passLines(45090000, 13.4112);        // 500 ms after the fix before it
  const LapTime lap = lapTimeFromHistory(definition, 1, *history);
  EXPECT_NEAR(static_cast<double>(lap.timeMs), 90250.0, 1.0);
  EXPECT_NEAR(static_cast<double>(lap.startMs), 45000250.0, 1.0);
  // The split line at 100 m: the last crossing before the lap's end counts.
  const LapTime split = lapTimeFromHistory(definition, 0, *history);
  EXPECT_NEAR(static_cast<double>(split.timeMs), 90000.0 + 500.0 + 100.0 / 26.8224 * 1000.0 - 250.0, 1.0);
  EXPECT_EQ(split.startMs, lap.startMs);
}

TEST_F(ReplayTest, JitterOnALineAfterItsCrossingChangesNoTime) {
  // The car parks on the line it has just crossed: its fixes wander back
  // and forth over it, each forward step a crossing of its own.
  const auto parkedOn = [this](double lineM, uint32_t t0) {
    const double jitterM[] = {-0.4, 0.3, -0.6, 0.2, -0.1, 0.5, -0.3, 0.4};
    for (size_t i = 0; i < std::size(jitterM); ++i) add(lineM + jitterM[i], t0 + 200u * static_cast<uint32_t>(i), 3.0f);
  };
  passLines(45000000, 6.7056);
  add(3000.0, 45060000, 60.0f, true);
  add(-26.8224, 45089000, 60.0f);  // braking onto the start/finish line
  add(-6.7056, 45090000, 40.0f);
  add(0.5, 45091000, 5.0f);
  const LapTime lap = lapTimeFromHistory(definition, 1, *history);
  ASSERT_GT(lap.timeMs, 90000u);
  parkedOn(0.0, 45092000);
  EXPECT_EQ(lapTimeFromHistory(definition, 1, *history).timeMs, lap.timeMs);

  // Parked on the split line: its time is the first crossing's.
  history->count = 0;
  passLines(45000000, 6.7056);
  history->count -= 3;  // stopped at the split line, 100 m on
  const LapTime split = lapTimeFromHistory(definition, 0, *history);
  ASSERT_GT(split.timeMs, 0u);
  parkedOn(100.0, 45005000);
  EXPECT_EQ(lapTimeFromHistory(definition, 0, *history).timeMs, split.timeMs);
}

TEST_F(ReplayTest, ALapStartsOnlyWhereTheReplayFindsItsStart) {
  struct Case {
    const char* name;
    std::function<void(ReplayTest&)> fill;  // the capture just restarted
    bool found;
    uint32_t startMs;
  };
  const Case cases[] = {
      {"over the line", [](ReplayTest& t) { t.passLines(45000000, 6.7056); }, true, 45000250},
      {"armed, across the far extension", [](ReplayTest& t) {
         t.add(-20.0, 45000000, 60.0f, true);
         t.add(-5.0, 45001000, 60.0f, true);
         t.add(20.0, 45002000, 60.0f, true);
       }, false, 0},
      {"standing", [](ReplayTest& t) {
         t.add(-1.0, 45000000, 0.0f);
         t.add(-0.5, 45001000, 0.0f);
         t.add(0.5, 45002000, 0.0f);
       }, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    history->count = 0;
    c.fill(*this);
    uint32_t startMs = 0;
    EXPECT_EQ(lapStartFromHistory(definition, *history, startMs), c.found);
    if (c.found) {
      EXPECT_NEAR(static_cast<double>(startMs), c.startMs, 1.0);
    }
  }
}

TEST_F(ReplayTest, AFixOnTheLineStartsTheLapOnThatFix) {
  passLines(45000000, 26.8224);  // fix 1 lies exactly on the line
  passLines(45080000, 26.8224);
  // Once, on the step that reaches it: crossing again on the step that
  // leaves it would end the lap a fix late.
  const LapTime lap = lapTimeFromHistory(definition, 1, *history);
  EXPECT_NEAR(static_cast<double>(lap.startMs), 45001000.0, 1.0);
  EXPECT_NEAR(static_cast<double>(lap.timeMs), 80000.0, 1.0);
}

TEST_F(ReplayTest, NothingToTime) {
  struct Case {
    const char* name;
    int target;
    std::function<void(ReplayTest&)> fill;
  };
  const Case cases[] = {
      {"empty capture", 1, [](ReplayTest&) {}},
      {"one start crossing only", 1, [](ReplayTest& t) { t.passLines(45000000, 6.7056); }},
      {"an end but no start: split passed, start/finish never", 0,
       [](ReplayTest& t) { for (int i = 0; i < 8; ++i) t.add(60.0 + 10.0 * i, 45000000 + 1000u * i, 60.0f); }},
      {"standing still across the line", 1,
       [](ReplayTest& t) {
         t.add(-1.0, 45000000, 0.0f);
         t.add(1.0, 45001000, 0.0f);
         t.add(3000.0, 45060000, 0.0f, true);
         t.add(-1.0, 45090000, 0.0f);
         t.add(1.0, 45091000, 0.0f);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    history->count = 0;
    c.fill(*this);
    EXPECT_EQ(lapTimeFromHistory(definition, c.target, *history).timeMs, 0u);
  }
}

TEST_F(ReplayTest, SplitPassedOnlyBeforeTheStartHasNoTime) {
  for (int i = 0; i < 8; ++i) add(60.0 + 10.0 * i, 45000000 + 1000u * i, 60.0f);  // split at 100 m
  add(3000.0, 45060000, 60.0f, true);
  passLines(45090000, 6.7056);  // start/finish, and the split again
  history->count -= 4;          // ... but the capture ends before the split
  EXPECT_EQ(lapTimeFromHistory(definition, 0, *history).timeMs, 0u);
}

TEST_F(ReplayTest, LapAcrossMidnightKeepsCountingOn) {
  passLines(86380000, 6.7056);
  add(3000.0, 86440000, 60.0f, true);
  passLines(86470000, 6.7056);  // the fix clock counts on past 86400000
  const LapTime lap = lapTimeFromHistory(definition, 1, *history);
  EXPECT_EQ(lap.timeMs, 90000u);
}

TEST_F(ReplayTest, LapLongerThanTheCaptureEndsOnTheLiveStep) {
  for (int i = 0; i < 3; ++i) add(-6.7056 + 26.8224 * i, 45000000 + 1000u * i, 60.0f);  // short of the split
  // A slow lap: the capture fills far from either line.
  uint32_t t = 45010000;
  while (history->count < FixHistory::kCapacity) add(3000.0 + history->count, t += 100, 20.0f, true);
  LiveStep live;
  live.previous.longitude = eastDegrees(-6.7056);
  live.previous.speed = 60.0f;
  live.previous.time = 45300000;
  live.newest = live.previous;
  live.newest.longitude = eastDegrees(-6.7056 + 26.8224);
  live.newest.time = 45301000;
  EXPECT_EQ(lapTimeFromHistory(definition, 1, *history).timeMs, 0u);
  const LapTime lap = lapTimeFromHistory(definition, 1, *history, &live);
  EXPECT_NEAR(static_cast<double>(lap.timeMs), 300000.0, 1.0);
  // The split line too, when its crossing is the live step.
  live.previous.longitude = eastDegrees(90.0);
  live.newest.longitude = eastDegrees(90.0 + 26.8224);
  const LapTime split = lapTimeFromHistory(definition, 0, *history, &live);
  EXPECT_NEAR(static_cast<double>(split.timeMs), 300000.0 + 10.0 / 26.8224 * 1000.0 - 250.0, 1.0);

  // A capture that is not full holds its own end or has none.
  history->count = 2000;
  EXPECT_EQ(lapTimeFromHistory(definition, 1, *history, &live).timeMs, 0u);

  // A full capture that holds the end crossing keeps it, whatever the live
  // step (here a start/finish crossing 100 s earlier) says.
  history->count = 0;
  passLines(45000000, 6.7056);
  t = 45010000;
  while (history->count < FixHistory::kCapacity - 8) add(3000.0 + history->count, t += 100, 20.0f, true);
  passLines(45400000, 6.7056);
  ASSERT_EQ(history->count, FixHistory::kCapacity);
  live.previous.longitude = eastDegrees(-6.7056);
  live.newest.longitude = eastDegrees(-6.7056 + 26.8224);
  EXPECT_EQ(lapTimeFromHistory(definition, 1, *history, &live).timeMs, 400000u);
}

}  // namespace
}  // namespace corvantis
