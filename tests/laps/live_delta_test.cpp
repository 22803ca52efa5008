// What the lap screen shows of the delta over whole laps: none before a
// reference exists, the final difference for a few seconds after each lap,
// the live delta and prediction during it, stale without fixes; the
// reference replaced only by a faster lap, segment bests kept, both saved.
#include "laps/live_delta.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "tests/store/memory_files.h"
#include "tests/support/square_loop.h"

namespace corvantis {
namespace {

// The square loop with its bounding box and one split line.
LapDefinition squareTrack() {
  LapDefinition d = testing::squareLoop();
  d.minLongitude = 10.0;
  d.maxLongitude = 10.002;
  d.minLatitude = 50.0;
  d.maxLatitude = 50.002;
  d.splitLineCount = 1;
  d.splitLines[0] = d.track[40];  // the far corner
  return d;
}

// The car round the square, 0.0001 degree a fix, from 0.00005 before the
// line; msPerFix[k] sets the pace of lap k + 1, whose start crossing lies
// between fixes 80k and 80k + 1.
std::vector<FixSample> drive(int laps, const std::vector<uint32_t>& msPerFix) {
  std::vector<FixSample> fixes;
  uint32_t time = 36000000;
  for (int i = 0; i <= 80 * laps + 1; ++i) {
    const int k = i % 80;
    const double s = 0.0001 * (k % 20) - 0.00005;
    FixSample f;
    const int side = k / 20;
    f.longitude = side == 0 ? 10.0 + s : side == 1 ? 10.002 : side == 2 ? 10.002 - s : 10.0;
    f.latitude = side == 0 ? 50.0 : side == 1 ? 50.0 + s : side == 2 ? 50.002 : 50.002 - s;
    f.time = time;
    // As the fix history works it out: the speed since the fix before.
    f.speed = fixes.empty() ? 0.0f : static_cast<float>(speedBetween(f, fixes.back()));
    fixes.push_back(f);
    time += msPerFix[std::min(static_cast<size_t>(i / 80), msPerFix.size() - 1)];
  }
  fixes[0].speed = fixes[1].speed;  // already moving
  return fixes;
}

TEST(LiveDeltaTest, ShowsNothingThenTheFinalDifferenceThenTheLiveDeltaAndKeepsOnlyFasterLaps) {
  testing::MemoryFiles files;
  ReferenceLapStore store;
  store.keepIn(files, "/data/options.reference-laps");
  const LapDefinition track = squareTrack();
  const LineGeometry line = computeLineGeometry(track, startFinishLine(track));
  // Lap 1 at 100 ms a fix, lap 2 1 % slower, lap 3 2 % faster.
  const std::vector<FixSample> fixes = drive(3, {100, 101, 98});
  LiveDelta live(store);
  live.selectTrack(&track);
  EXPECT_FALSE(live.hasReference());

  uint32_t tick = 0;
  uint32_t lapStartMs = 0;
  std::vector<int32_t> finals;
  std::vector<LiveDelta::Shown> midLap;
  uint32_t bestSplitMs = UINT32_MAX;
  std::vector<uint32_t> lapMs, startMs;
  for (size_t i = 1; i < fixes.size(); ++i, tick += 100) {
    live.fix(fixes[i], tick);
    if (i % 80 != 1) {
      if (i % 80 == 61) midLap.push_back(live.shown(tick));
      continue;
    }
    // The step from fix i - 1 to i crosses the start/finish line.
    StepCrossing crossing;
    ASSERT_TRUE(liveCrossing(line, startFinishLine(track), fixes[i - 1], fixes[i], crossing));
    if (i > 1) {
      const uint32_t splitMs = fixes[i - 40].time - lapStartMs;
      bestSplitMs = std::min(bestSplitMs, splitMs);
      live.splitShown(0, splitMs);
      lapMs.push_back(crossing.instantMs - lapStartMs);
      live.lapStored(crossing.instantMs - lapStartMs, lapStartMs, 1781000000, lapStartMs % 86400000, tick);
      const LiveDelta::Shown final = live.shown(tick);
      if (final.kind == LiveDelta::Shown::Kind::Final) finals.push_back(final.deltaMs);
      EXPECT_EQ(live.shown(tick + LiveDelta::kFinalShownMs - 1).kind, final.kind);
    }
    lapStartMs = crossing.instantMs;
    startMs.push_back(lapStartMs);
    live.lapStarted(LiveStep{fixes[i - 1], fixes[i]});
  }
  // Lap 1 had nothing to be measured against; laps 2 and 3 against lap 1.
  ASSERT_EQ(finals.size(), 2u);
  ASSERT_EQ(lapMs.size(), 3u);
  EXPECT_EQ(finals[0], static_cast<int32_t>(lapMs[1] - lapMs[0]));
  EXPECT_EQ(finals[1], static_cast<int32_t>(lapMs[2] - lapMs[0]));
  EXPECT_NEAR(finals[0], 80, 40);    // about 1 % of 8 s
  EXPECT_NEAR(finals[1], -160, 40);  // about 2 %
  ASSERT_EQ(midLap.size(), 3u);
  EXPECT_EQ(midLap[0].kind, LiveDelta::Shown::Kind::None);
  // Three quarters round (the final difference shown for 5 s has gone), on
  // the fixes of lap 1 themselves: the time each lap took
  // to get there less lap 1's.
  const auto threeQuarters = [&](int lap) {
    return static_cast<int32_t>(fixes[static_cast<size_t>(80 * lap + 61)].time - startMs[static_cast<size_t>(lap)]) -
           static_cast<int32_t>(fixes[61].time - startMs[0]);
  };
  for (const int lap : {1, 2}) {
    const LiveDelta::Shown& shown = midLap[static_cast<size_t>(lap)];
    EXPECT_EQ(shown.kind, LiveDelta::Shown::Kind::Live);
    EXPECT_FALSE(shown.stale);
    EXPECT_NEAR(shown.deltaMs, threeQuarters(lap), 1) << lap;
    EXPECT_NEAR(shown.predictedMs, lapMs[0] + threeQuarters(lap), 1) << lap;
  }
  // After the final difference, the live delta; without fixes, stale.
  const uint32_t later = tick + LiveDelta::kFinalShownMs;
  EXPECT_EQ(live.shown(later).kind, LiveDelta::Shown::Kind::Live);
  EXPECT_TRUE(live.shown(later).stale);

  // Lap 3, the fastest, is the reference now, saved with the segment bests.
  ReferenceLapStore::Loaded saved = store.load(track);
  ASSERT_EQ(saved.status, ReferenceLapStore::Loaded::Status::Kept);
  EXPECT_NEAR(saved.kept.reference.lapTimeMs, 7840, 2);
  EXPECT_EQ(saved.kept.segments.splitCount, 1);
  EXPECT_EQ(saved.kept.segments.bestMs[0], bestSplitMs);
  EXPECT_EQ(live.theoreticalBestMs(7900), saved.kept.segments.bestMs[0] + saved.kept.segments.bestMs[1]);
  // Chosen again later: what was kept comes back.
  LiveDelta again(store);
  again.selectTrack(&track);
  EXPECT_TRUE(again.hasReference());
  EXPECT_TRUE(again.takeMessage().empty());
}

TEST(LiveDeltaTest, ADamagedKeptFileIsToldOnceAndAFailedSaveToo) {
  testing::MemoryFiles files;
  ReferenceLapStore store;
  store.keepIn(files, "/data/options.reference-laps");
  const LapDefinition track = squareTrack();
  files.files[store.pathFor(track)] = {'C', 'V', 'R', 'L', 1, 0};
  LiveDelta live(store);
  live.selectTrack(&track);
  EXPECT_NE(live.takeMessage().find("is damaged"), std::string::npos);
  EXPECT_TRUE(live.takeMessage().empty());
  EXPECT_FALSE(live.hasReference());

  files.failWrites = "Read-only file system";
  const std::vector<FixSample> fixes = drive(1, {100});
  const LineGeometry line = computeLineGeometry(track, startFinishLine(track));
  StepCrossing start, end;
  ASSERT_TRUE(liveCrossing(line, startFinishLine(track), fixes[0], fixes[1], start));
  live.lapStarted(LiveStep{fixes[0], fixes[1]});
  for (size_t i = 2; i < fixes.size(); ++i) live.fix(fixes[i], 0);
  ASSERT_TRUE(liveCrossing(line, startFinishLine(track), fixes[80], fixes[81], end));
  live.lapStored(end.instantMs - start.instantMs, start.instantMs, 0, 0, 0);
  EXPECT_NE(live.takeMessage().find("Read-only file system"), std::string::npos);
  EXPECT_TRUE(live.hasReference());  // kept for this run all the same
}

}  // namespace
}  // namespace corvantis

#include "laps/delta_panel.h"

namespace corvantis {
namespace {

TEST(DeltaPanelTest, DeltaTextsReadAtAGlance) {
  const struct {
    int32_t ms;
    const char* text;
  } cases[] = {
      {420, "+0.42"},        {-310, "\u22120.31"}, {0, "+0.00"},          {4, "+0.00"},     {5, "+0.01"},
      {-9994, "\u22129.99"}, {9996, "+10.0"},      {12345, "+12.3"},      {-99949, "\u221299.9"},
      {123456, "+123"},      {-1000000, "\u22121000"},
  };
  for (const auto& c : cases) EXPECT_EQ(deltaText(c.ms), c.text) << c.ms;
}

}  // namespace
}  // namespace corvantis
