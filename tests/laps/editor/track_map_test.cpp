// The editor's map arithmetic, checked to the pixel. The track box is made
// of binary fractions of a degree so that every expected pixel below is
// worked out by hand, not by the formula under test: the offsets are chosen
// half a pixel or more from a whole pixel, where truncation toward zero,
// flooring and rounding all part ways.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "laps/lap_editor_screen.h"
#include "laps/track_map.h"

namespace corvantis::testing {
namespace {

// Box 1/128 degree east-west by 1/256 north-south, south-west corner at
// (10, 50): the range is 1/128 and the pan at open (1/256, 1/512).
constexpr double kWest = 10.0;
constexpr double kSouth = 50.0;
constexpr double kAcross = 1.0 / 128;
constexpr double kUp = 1.0 / 256;
constexpr double kCentreLon = kWest + kAcross / 2;
constexpr double kCentreLat = kSouth + kUp / 2;

std::vector<FixSample> boxCorners() {
  std::vector<FixSample> samples(4);
  samples[0].longitude = kWest, samples[0].latitude = kSouth;
  samples[1].longitude = kWest + kAcross, samples[1].latitude = kSouth;
  samples[2].longitude = kWest + kAcross, samples[2].latitude = kSouth + kUp;
  samples[3].longitude = kWest, samples[3].latitude = kSouth + kUp;
  return samples;
}

TrackMap fitted(const MapArea& area) {
  TrackMap map(area);
  const auto samples = boxCorners();
  map.fit(samples.data(), static_cast<int>(samples.size()));
  return map;
}

TEST(TrackMap, ProjectIsExactToThePixelInBothLayouts) {
  // At zoom 0.9 an offset of 1/512 degree is 0.9 * width * 128 / 512
  // pixels across and 0.9 * height * 128 / 512 up.
  struct Case {
    const char* what;
    MapArea area;
    double dLon, dLat;
    int x, y;
  };
  constexpr double d = 1.0 / 512;
  const std::vector<Case> cases = {
      // portrait: centre (95, 134); 40.5 px across, 36.675 px up
      {"portrait centre", LapEditorScreen::kPortraitMap, 0, 0, 95, 134},
      {"portrait north-east", LapEditorScreen::kPortraitMap, d, d, 95 + 40, 134 - 36},
      {"portrait south-west", LapEditorScreen::kPortraitMap, -d, -d, 95 - 40, 134 + 36},
      // landscape: centre (97, 105); 41.625 px across, 34.875 px up
      {"landscape centre", LapEditorScreen::kLandscapeMap, 0, 0, 97, 105},
      {"landscape north-east", LapEditorScreen::kLandscapeMap, d, d, 97 + 41, 105 - 34},
      {"landscape south-west", LapEditorScreen::kLandscapeMap, -d, -d, 97 - 41, 105 + 34},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TrackMap map = fitted(c.area);
    const platform::Point p = map.project(kCentreLon + c.dLon, kCentreLat + c.dLat);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
  }
}

TEST(TrackMap, TheLargerExtentFillsNinetyPercentOfItsSide) {
  const TrackMap map = fitted(LapEditorScreen::kPortraitMap);
  EXPECT_DOUBLE_EQ(map.range(), kAcross);
  const platform::Point west = map.project(kWest, kCentreLat);
  const platform::Point east = map.project(kWest + kAcross, kCentreLat);
  // 0.9 * 180 = 162 pixels, less at most one for each truncated end.
  EXPECT_NEAR(east.x - west.x, 162, 2);
  EXPECT_EQ(95 - west.x, east.x - 95);
}

TEST(TrackMap, UnprojectReadsTheVerticalFromTheBottomEdgeOnePixelLow) {
  for (const MapArea& area : {LapEditorScreen::kPortraitMap, LapEditorScreen::kLandscapeMap}) {
    const TrackMap map = fitted(area);
    const platform::Point centre{area.left + area.width / 2, area.top + area.height / 2};
    const TrackPoint world = map.unproject(centre);
    EXPECT_DOUBLE_EQ(world.longitude, kCentreLon);
    // One pixel of latitude north of the centre, as the odd heights give.
    EXPECT_NEAR(world.latitude - kCentreLat, kAcross / area.height / TrackMap::kInitialZoom, 1e-12);
  }
}

TEST(TrackMap, ZoomStepsStopAtTheirLimits) {
  struct Case {
    int ins, outs;
    double zoom;
  };
  const std::vector<Case> cases = {
      {0, 1, 0.9},                        // never wider than the first fit
      {13, 0, 0.9 * std::pow(1.25, 13)},  // 16.37..., still under the cap
      {14, 0, 20.0},                      // 0.9 * 1.25^14 = 20.46... is capped
      {30, 0, 20.0},
      {14, 1, 16.0},
      {1, 1, 0.9},
  };
  for (const Case& c : cases) {
    TrackMap map = fitted(LapEditorScreen::kPortraitMap);
    for (int i = 0; i < c.ins; ++i) map.zoomIn();
    for (int i = 0; i < c.outs; ++i) map.zoomOut();
    EXPECT_NEAR(map.zoom(), c.zoom, 1e-12) << c.ins << " in, " << c.outs << " out";
  }
}

TEST(TrackMap, ZoomKeepsTheCentreAndADragMovesTheMapWithThePointer) {
  TrackMap map = fitted(LapEditorScreen::kLandscapeMap);
  map.zoomIn();
  map.zoomIn();
  EXPECT_EQ(map.project(kCentreLon, kCentreLat).x, 97);
  EXPECT_EQ(map.project(kCentreLon, kCentreLat).y, 105);
  const platform::Point before = map.project(kWest, kSouth);
  for (const platform::Point drag : {platform::Point{30, -20}, platform::Point{-45, 17}}) {
    const MapPan start = map.pan();
    map.dragFrom(start, drag.x, drag.y);
    const platform::Point after = map.project(kWest, kSouth);
    EXPECT_NEAR(after.x - before.x, drag.x, 1);
    EXPECT_NEAR(after.y - before.y, drag.y, 1);
    map.dragFrom(start, 0, 0);  // back where the drag began
    EXPECT_EQ(map.pan(), start);
  }
}

TEST(TrackMap, FitSkipsSamplesWithoutAPosition) {
  std::vector<FixSample> samples(2);  // no position yet: longitude 0
  for (const FixSample& s : boxCorners()) samples.push_back(s);
  TrackMap map(LapEditorScreen::kPortraitMap);
  map.fit(samples.data(), static_cast<int>(samples.size()));
  EXPECT_EQ(map.minLongitude(), kWest);
  EXPECT_EQ(map.maxLongitude(), kWest + kAcross);
  EXPECT_EQ(map.minLatitude(), kSouth);
  EXPECT_EQ(map.maxLatitude(), kSouth + kUp);
  EXPECT_EQ(map.pan(), (MapPan{kAcross / 2, kUp / 2}));
}

TEST(TrackMap, ADegenerateTrackOrAFarPointGivesPixelsNotUndefinedValues) {
  std::vector<FixSample> same(3);
  for (FixSample& s : same) s.longitude = kWest, s.latitude = kSouth;
  TrackMap map(LapEditorScreen::kPortraitMap);
  map.fit(same.data(), 3);
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.project(kWest, kSouth).x, 95);  // 0 / 0 lands at the centre
  EXPECT_EQ(map.project(kWest, kSouth).y, 134);

  map = fitted(LapEditorScreen::kPortraitMap);
  for (int i = 0; i < 14; ++i) map.zoomIn();
  const platform::Point far = map.project(kWest + 1.0e6, kSouth - 1.0e6);
  EXPECT_GT(far.x, 1 << 20);
  EXPECT_GT(far.y, 1 << 20);
}

TEST(SnapToSamples, NearestSampleWinsAndTiesGoToTheLowestIndex) {
  std::vector<FixSample> samples(4);
  const double positions[4][2] = {{1.0, 1.0}, {3.0, 1.0}, {1.0, 1.0}, {2.0, 4.0}};
  for (size_t i = 0; i < 4; ++i) samples[i].longitude = positions[i][0], samples[i].latitude = positions[i][1];
  struct Case {
    TrackPoint tapped;
    int index;
  };
  const std::vector<Case> cases = {
      {{2.0, 1.0}, 0},   // halfway between 0 and 1
      {{1.1, 0.9}, 0},   // on 0 and its twin 2
      {{2.9, 1.2}, 1},
      {{2.0, 3.0}, 3},
  };
  for (const Case& c : cases) {
    TrackPoint p = c.tapped;
    EXPECT_EQ(snapToSamples(samples.data(), 4, p), c.index);
    EXPECT_EQ(p.longitude, positions[c.index][0]);
    EXPECT_EQ(p.latitude, positions[c.index][1]);
  }
  TrackPoint untouched{5.0, 5.0};
  EXPECT_EQ(snapToSamples(samples.data(), 0, untouched), -1);
  EXPECT_EQ(untouched, (TrackPoint{5.0, 5.0}));
}

}  // namespace
}  // namespace corvantis::testing
