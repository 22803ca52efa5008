// A timed lap made a reference: the crossing points and instants at both
// ends, the fixes between them, and the recorder that keeps a lap's fixes.
#include "laps/reference_recorder.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/square_loop.h"

namespace corvantis {
namespace {

// The start/finish line runs north-south through the loop's point 0.
LapDefinition squareTrack() { return testing::squareLoop(); }

// Fixes round the square every 100 ms, 0.0002 degree (15 to 22 m) a step
// and ten steps a side, from 0.00012 degree before the line.
std::vector<FixSample> lapFixes(int count) {
  std::vector<FixSample> fixes;
  double lon = 9.99988, lat = 50.0;
  for (int i = 0; i < count; ++i) {
    FixSample f;
    f.longitude = lon;
    f.latitude = lat;
    f.time = 43200000u + 100u * static_cast<uint32_t>(i);
    f.speed = 44.0f + 0.01f * static_cast<float>(i % 7);
    fixes.push_back(f);
    const int side = i / 10 % 4;
    if (side == 0) lon += 0.0002;
    if (side == 1) lat += 0.0002;
    if (side == 2) lon -= 0.0002;
    if (side == 3) lat -= 0.0002;
  }
  return fixes;
}

TEST(ReferenceRecorderTest, TheLiveCrossingIsTheInstantTheLapReplayMeasuresFrom) {
  const LapDefinition d = squareTrack();
  const LineGeometry line = computeLineGeometry(d, 0);
  const std::vector<FixSample> fixes = lapFixes(60);
  auto history = std::make_unique<FixHistory>();
  for (size_t i = 0; i < fixes.size(); ++i) history->samples[i] = fixes[i];
  history->count = static_cast<int>(fixes.size());

  StepCrossing crossing;
  ASSERT_TRUE(liveCrossing(line, 0, fixes[0], fixes[1], crossing));
  // The split target 0 of a track without splits is the start/finish line;
  // the replay's first crossing is this one.
  const LapTime replay = lapTimeFromHistory(d, 0, *history);
  ASSERT_GT(replay.timeMs, 0u);
  EXPECT_EQ(crossing.instantMs, replay.startMs);
  EXPECT_NEAR(crossing.position.longitude, 10.0, 1e-12);
  EXPECT_NEAR(crossing.position.latitude, 50.0, 1e-12);
  // Steps that do not cross: along the line's side, backwards, standing.
  EXPECT_FALSE(liveCrossing(line, 0, fixes[1], fixes[2], crossing));
  EXPECT_FALSE(liveCrossing(line, 0, fixes[1], fixes[0], crossing));
  EXPECT_FALSE(liveCrossing(line, 0, fixes[0], fixes[0], crossing));
}

TEST(ReferenceRecorderTest, APathRunsFromTheStartCrossingThroughEveryFixToTheEndCrossing) {
  const LapDefinition d = squareTrack();
  const LineGeometry line = computeLineGeometry(d, 0);
  const std::vector<FixSample> fixes = lapFixes(44);  // round once and 0.0002 past the line
  const uint32_t startMs = 43200000u + 40u;
  const uint32_t lapMs = 4000u;
  ReferenceLap lap;
  ASSERT_TRUE(buildReferenceLap(line, fixes, startMs, lapMs, lap));
  EXPECT_EQ(lap.lapTimeMs, lapMs);
  // The crossing, every fix after it and before the end, the crossing.
  ASSERT_EQ(lap.path.size(), 40u + 2u);
  EXPECT_EQ(lap.path.front(), (ReferencePoint{10.0, 50.0, 0}));
  for (size_t i = 1; i + 1 < lap.path.size(); ++i) {
    EXPECT_EQ(lap.path[i].longitude, fixes[i].longitude);
    EXPECT_EQ(lap.path[i].elapsedMs, fixes[i].time - startMs);
  }
  EXPECT_EQ(lap.path.back().elapsedMs, lapMs);
  EXPECT_NEAR(lap.path.back().longitude, 10.0, 1e-12);

  // Fixes that end before the lap does, or begin after it began.
  EXPECT_FALSE(buildReferenceLap(line, std::span(fixes).first(30), startMs, lapMs, lap));
  EXPECT_FALSE(buildReferenceLap(line, std::span(fixes).subspan(1), startMs, lapMs, lap));
  EXPECT_FALSE(buildReferenceLap(line, fixes, startMs, 0, lap));
}

TEST(ReferenceRecorderTest, TheRecorderKeepsALapsFixesInRoomReservedOnce) {
  LapPathRecorder recorder;
  FixSample fix;
  recorder.add(fix);
  EXPECT_TRUE(recorder.fixes().empty());  // no lap begun
  recorder.begin(fix, fix);
  const FixSample* room = recorder.fixes().data();
  for (int i = 2; i < kMaxReferencePoints; ++i) recorder.add(fix);
  EXPECT_TRUE(recorder.complete());
  EXPECT_EQ(recorder.fixes().size(), static_cast<size_t>(kMaxReferencePoints));
  EXPECT_EQ(recorder.fixes().data(), room);
  recorder.add(fix);  // a lap too long to be a reference
  EXPECT_FALSE(recorder.complete());
  EXPECT_EQ(recorder.fixes().data(), room);
  recorder.begin(fix, fix);
  EXPECT_TRUE(recorder.complete());
  recorder.stop();
  EXPECT_FALSE(recorder.complete());
}

}  // namespace
}  // namespace corvantis
