// The live delta: placing fixes on the reference path (straights, corners,
// the start/finish seam, a road that doubles back beside itself), the delta
// and prediction that follow, and fixes that cannot be placed.
#include "laps/lap_delta.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace corvantis {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kOriginLat = 52.0;
constexpr double kOriginLon = 5.0;
constexpr double kMetresPerDegree = 6371000.0 * kPi / 180.0;
constexpr uint32_t kLapStartMs = 36000000;  // 10:00:00

struct Metres {
  double x = 0.0;  // east
  double y = 0.0;  // north
};

TrackPoint toDegrees(Metres m) {
  return TrackPoint{kOriginLon + m.x / (kMetresPerDegree * std::cos(kOriginLat * kPi / 180.0)),
                    kOriginLat + m.y / kMetresPerDegree};
}

// Points every stepM along a polyline, and at each of its corners.
std::vector<Metres> resample(const std::vector<Metres>& corners, double stepM) {
  std::vector<Metres> out{corners.front()};
  for (size_t i = 1; i < corners.size(); ++i) {
    const double dx = corners[i].x - corners[i - 1].x, dy = corners[i].y - corners[i - 1].y;
    const double length = std::hypot(dx, dy);
    for (double s = stepM; s < length - 1e-9; s += stepM) {
      out.push_back({corners[i - 1].x + dx * s / length, corners[i - 1].y + dy * s / length});
    }
    out.push_back(corners[i]);
  }
  return out;
}

// The reference: the points driven at a steady speed.
ReferenceLap referenceAlong(const std::vector<Metres>& points, double speedMps) {
  ReferenceLap lap;
  double along = 0.0;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i > 0) along += std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
    const TrackPoint p = toDegrees(points[i]);
    lap.path.push_back({p.longitude, p.latitude, static_cast<uint32_t>(std::lround(along / speedMps * 1000.0))});
  }
  lap.lapTimeMs = lap.path.back().elapsedMs;
  return lap;
}

FixSample fixAt(Metres m, uint32_t elapsedMs) {
  const TrackPoint p = toDegrees(m);
  FixSample f;
  f.longitude = p.longitude;
  f.latitude = p.latitude;
  f.time = kLapStartMs + elapsedMs;
  return f;
}

FixSample fixAt(const ReferencePoint& p, uint32_t elapsedMs) {
  FixSample f;
  f.longitude = p.longitude;
  f.latitude = p.latitude;
  f.time = kLapStartMs + elapsedMs;
  return f;
}

// A 400 m by 200 m rectangle driven anticlockwise from the middle of its
// south side, back to where it started: 1200 m.
std::vector<Metres> rectangle() {
  return resample({{0, 0}, {200, 0}, {200, 200}, {-200, 200}, {-200, 0}, {0, 0}}, 3.0);
}

// Out along a straight, round a hairpin of radius 6 m (twelve chords) and
// back 12 m beside the way out.
constexpr double kHairpinChordM = 12.0 * 0.13052619222005157;  // 2 * 6 m * sin(pi / 24)
std::vector<Metres> hairpinTurn() {
  std::vector<Metres> turn;
  for (int k = 0; k <= 12; ++k) {
    const double a = -kPi / 2 + kPi * k / 12;
    turn.push_back({300 + 6 * std::cos(a), 6 + 6 * std::sin(a)});
  }
  return turn;
}
std::vector<Metres> hairpin() {
  std::vector<Metres> corners{{0, 0}};
  for (const Metres& m : hairpinTurn()) corners.push_back(m);
  corners.push_back({0, 12});
  return resample(corners, 2.0);
}

constexpr double kSpeedMps = 20.0;  // the reference's: 1 m is 50 ms
constexpr double kSkip = -1.0;      // a fix whose place is not checked

struct Placement {
  std::string name;
  std::vector<Metres> road;
  std::vector<Metres> drive;  // the car's fixes, a few metres apart
  // The reference's elapsed time where each fix should be placed, or kSkip;
  // nullptr: the car drives the road's own points.
  double (*expectedMs)(Metres);
};

TEST(LapDeltaTest, PlacesFixesWhereTheReferenceWasOnStraightsCornersTheSeamAndBesideItself) {
  const std::vector<Placement> cases = {
      // 3 m to the side of a straight still reads the distance along it.
      {"straight", rectangle(), resample({{0, 3}, {170, 3}}, 2.5), [](Metres m) { return m.x * 50; }},
      // Round a square corner on a 10 m radius: the cross-sections turn
      // through the corner, so only the way there and away is checked.
      {"corner",
       rectangle(),
       [] {
         std::vector<Metres> drive = resample({{150, 0}, {190, 0}}, 2.5);
         for (int k = 1; k < 18; ++k) {
           const double a = kPi / 2 * k / 18;
           drive.push_back({190 + 10 * std::sin(a), 10 - 10 * std::cos(a)});
         }
         for (const Metres& m : resample({{200, 10}, {200, 60}}, 2.5)) drive.push_back(m);
         return drive;
       }(),
       [](Metres m) {
         if (m.x < 185 || m.y > 15) return (m.y < 200 - m.x ? m.x : 200 + m.y) * 50;
         return kSkip;
       }},
      // The lap starts and ends at (0, 0): the first fixes are at the path's
      // beginning, never at its end, and the last ones at its end.
      {"seam", rectangle(), rectangle(), nullptr},
      // Out along the first leg 7 m towards the second, so 5 m from it, round
      // the hairpin, and back along the second leg 7 m towards the first:
      // each fix lies nearer the other pass than its own.
      {"beside itself",
       hairpin(),
       [] {
         std::vector<Metres> drive = resample({{0, 7}, {296, 7}}, 2.0);
         for (const Metres& m : hairpinTurn()) drive.push_back(m);
         for (const Metres& m : resample({{296, 5}, {0, 5}}, 2.0)) drive.push_back(m);
         return drive;
       }(),
       [](Metres m) {
         if (m.x > 280) return kSkip;  // the cross-sections turn with the road
         return (m.y == 7 ? m.x : 300 + 12 * kHairpinChordM + 300 - m.x) * 50;
       }},
  };
  for (const Placement& c : cases) {
    SCOPED_TRACE(c.name);
    const ReferenceLap reference = referenceAlong(c.road, kSpeedMps);
    LapDelta delta;
    delta.setReference(&reference);
    ASSERT_TRUE(delta.hasReference());
    delta.startLap(kLapStartMs, toDegrees(c.road.front()));
    int checked = 0;
    double previousMs = -1.0;
    for (size_t i = 0; i < c.drive.size(); ++i) {
      const Metres where = c.drive[i];
      const DeltaReading& r = delta.update(fixAt(where, static_cast<uint32_t>(i * 100)));
      ASSERT_FALSE(r.stale) << where.x << ", " << where.y;
      const double expected = c.expectedMs != nullptr ? c.expectedMs(where) : reference.path[i].elapsedMs;
      if (expected == kSkip) continue;
      // A car driving on is never placed back.
      EXPECT_GT(r.referenceElapsedMs, previousMs) << where.x << ", " << where.y;
      previousMs = r.referenceElapsedMs;
      ++checked;
      // Positions are exact to well under a millimetre; the reference's
      // times are whole milliseconds.
      EXPECT_NEAR(r.referenceElapsedMs, expected, 1.0) << where.x << ", " << where.y;
    }
    EXPECT_GT(checked, 20);
  }
}

TEST(LapDeltaTest, ALapLikeTheReferenceHasNoDeltaAndOneUniformlySlowerGrowsItsDeltaInProportion) {
  const ReferenceLap reference = referenceAlong(rectangle(), 25.0);
  for (const double slower : {1.0, 1.01}) {
    SCOPED_TRACE(slower);
    LapDelta delta;
    delta.setReference(&reference);
    delta.startLap(kLapStartMs, {reference.path.front().longitude, reference.path.front().latitude});
    for (size_t i = 1; i < reference.path.size(); ++i) {
      const ReferencePoint& p = reference.path[i];
      const auto elapsedMs = static_cast<uint32_t>(std::lround(p.elapsedMs * slower));
      const DeltaReading& r = delta.update(fixAt(p, elapsedMs));
      ASSERT_TRUE(r.placed);
      ASSERT_FALSE(r.stale);
      // 1 % of the time the reference took to get here, to the rounding.
      EXPECT_NEAR(r.deltaMs, (slower - 1.0) * p.elapsedMs, 0.51) << i;
      EXPECT_NEAR(r.predictedMs, reference.lapTimeMs + r.deltaMs, 1e-9);
    }
  }
}

// A reference that reaches the start/finish line (running north-south
// through the origin) at a slant, and a lap 300 ms slower that crosses it
// 6 m north of where the reference did: at the line the delta is the
// difference of the lap times only when the path's end is measured across
// the line itself (its own cross-section there is 20 degrees off).
TEST(LapDeltaTest, AtTheStartFinishLineTheDeltaIsTheLapTimesDifferenceWhereverAlongTheLineTheCarCrosses) {
  const ReferenceLap reference =
      referenceAlong(resample({{0, 0}, {200, 0}, {200, 200}, {-200, 200}, {-200, -60}, {-40, -14.6}, {0, 0}}, 3.0),
                     kSpeedMps);
  LineGeometry line;
  line.trackDirection = Vec3{1.0, 0.0, 0.0};
  line.lineDirection = Vec3{0.0, 0.0, 1.0};
  line.usable = true;
  for (const bool alongTheLine : {true, false}) {
    SCOPED_TRACE(alongTheLine);
    LapDelta delta;
    delta.setReference(&reference, alongTheLine ? &line : nullptr);
    delta.startLap(kLapStartMs, toDegrees({0, 6}));
    for (size_t i = 1; i + 1 < reference.path.size(); ++i) {
      delta.update(fixAt(reference.path[i], reference.path[i].elapsedMs + 300));
    }
    const DeltaReading& atLine = delta.update(fixAt(Metres{0, 6}, reference.lapTimeMs + 300));
    ASSERT_FALSE(atLine.stale);
    if (alongTheLine) EXPECT_NEAR(atLine.deltaMs, 300.0, 1.0);
    else EXPECT_GT(std::fabs(atLine.deltaMs - 300.0), 50.0);
  }
}

TEST(LapDeltaTest, FixesOffThePathOrMissingLeaveTheLastDeltaStandingMarkedStale) {
  const ReferenceLap reference = referenceAlong(rectangle(), 20.0);
  LapDelta delta;
  // Without a reference or a lap nothing is placed.
  EXPECT_TRUE(delta.update(fixAt(Metres{10, 0}, 600)).stale);
  EXPECT_FALSE(delta.reading().placed);
  delta.setReference(&reference);
  EXPECT_TRUE(delta.update(fixAt(Metres{10, 0}, 600)).stale);
  delta.startLap(kLapStartMs, toDegrees({0, 0}));

  const DeltaReading placed = delta.update(fixAt(Metres{50, 0}, 2600));
  ASSERT_FALSE(placed.stale);
  EXPECT_NEAR(placed.deltaMs, 100.0, 1.0);
  // 35 m off the straight (run wide into a car park): stale, delta kept.
  const DeltaReading off = delta.update(fixAt(Metres{60, -35}, 3200));
  EXPECT_TRUE(off.stale);
  EXPECT_TRUE(off.placed);
  EXPECT_EQ(off.deltaMs, placed.deltaMs);
  // No fix at all.
  delta.markStale();
  EXPECT_TRUE(delta.reading().stale);
  EXPECT_EQ(delta.reading().deltaMs, placed.deltaMs);
  // Back on the track 150 m further on after a gap: found where it rejoined.
  const DeltaReading back = delta.update(fixAt(Metres{200, 20}, 12000));
  ASSERT_FALSE(back.stale);
  EXPECT_NEAR(back.referenceElapsedMs, 11000.0, 2.0);
  EXPECT_NEAR(back.deltaMs, 1000.0, 2.0);
  // A new lap starts placing from the path's start again.
  delta.startLap(kLapStartMs + 70000, toDegrees({0, 0}));
  EXPECT_FALSE(delta.reading().placed);
  FixSample next = fixAt(Metres{20, 0}, 71000);
  EXPECT_NEAR(delta.update(next).deltaMs, 0.0, 1.0);
}

TEST(LapDeltaTest, EmptyOrOnePointReferencesPlaceNothing) {
  ReferenceLap one;
  one.lapTimeMs = 1000;
  one.path = {{kOriginLon, kOriginLat, 0}};
  LapDelta delta;
  delta.setReference(&one);
  EXPECT_FALSE(delta.hasReference());
  delta.setReference(nullptr);
  EXPECT_FALSE(delta.hasReference());
  delta.startLap(kLapStartMs, {kOriginLon, kOriginLat});
  EXPECT_FALSE(delta.update(fixAt(Metres{1, 0}, 100)).placed);
}

}  // namespace
}  // namespace corvantis
