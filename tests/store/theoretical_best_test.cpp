// The theoretical best from segment times: split lines taken in the order a
// lap passes them, laps that do not make whole segments left out, and the
// sum never above the best lap driven.
#include "store/theoretical_best.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvantis {
namespace {

using Splits = std::array<uint32_t, LapDefinition::kMaxSplitLines>;
using Segments = std::array<uint32_t, kMaxLapSegments>;

// A round track of 100 points; the editor's list holds the split line on
// point 60 before the one on point 30.
LapDefinition twoSplitTrack() {
  LapDefinition d;
  for (int i = 0; i < 100; ++i) {
    const double a = 2.0 * 3.141592653589793 * i / 100;
    d.track.push_back({7.0 + 0.004 * std::sin(a), 47.0 - 0.002 * std::cos(a)});
  }
  d.splitLineCount = 2;
  d.splitLines[0] = d.track[60];
  d.splitLines[1] = d.track[30];
  return d;
}

TEST(TheoreticalBestTest, SumsTheBestOfEachSegmentInTheOrderTheLapPassesTheLines) {
  const LapDefinition d = twoSplitTrack();
  std::array<int, LapDefinition::kMaxSplitLines> order{};
  ASSERT_EQ(splitLinesInLapOrder(d, order), 2);
  EXPECT_EQ(order[0], 1);
  EXPECT_EQ(order[1], 0);

  struct Lap {
    Splits splitMs;  // by line index: line 0 (point 60), line 1 (point 30)
    uint32_t lapMs;
    bool makesSegments;
    Segments segmentMs;
  };
  const Lap laps[] = {
      {{41000, 20000}, 60000, true, {20000, 21000, 19000}},
      {{41500, 19500}, 61000, true, {19500, 22000, 19500}},
      {{40000, 20500}, 59800, true, {20500, 19500, 19800}},
      // A line not passed, lines passed out of order, a split at or after
      // the finish, a lap of no time: no segments, no bests.
      {{0, 15000}, 50000, false, {}},
      {{15000, 30000}, 50000, false, {}},
      {{50000, 20000}, 50000, false, {}},
      {{41000, 20000}, 0, false, {}},
  };
  SegmentBests bests = segmentsFor(d);
  EXPECT_EQ(bests.splitCount, 2);
  EXPECT_EQ(bests.splitAnchors[0], d.track[30]);
  EXPECT_EQ(theoreticalBest(bests, 0), 0u);
  for (const Lap& lap : laps) {
    Segments segments{};
    ASSERT_EQ(lapSegments(d, lap.splitMs, lap.lapMs, segments), lap.makesSegments) << lap.lapMs;
    if (!lap.makesSegments) continue;
    EXPECT_EQ(segments, lap.segmentMs);
    improveSegments(bests, segments);
  }
  EXPECT_EQ(bests.bestMs, (Segments{19500, 19500, 19000}));
  EXPECT_EQ(theoreticalBest(bests, 59800), 58000u);
  // Laps stored before the segments were kept may have been faster.
  EXPECT_EQ(theoreticalBest(bests, 57900), 57900u);
  // A segment without a time yet: only the best lap says anything.
  bests.bestMs[2] = 0;
  EXPECT_EQ(theoreticalBest(bests, 59800), 59800u);
  // The same laps again improve nothing.
  Segments again{};
  ASSERT_TRUE(lapSegments(d, laps[0].splitMs, laps[0].lapMs, again));
  bests.bestMs[2] = 19000;
  EXPECT_FALSE(improveSegments(bests, again));
}

TEST(TheoreticalBestTest, WithoutSplitLinesItIsTheBestLap) {
  LapDefinition d = twoSplitTrack();
  d.splitLineCount = 0;
  SegmentBests bests = segmentsFor(d);
  for (const uint32_t lapMs : {61000u, 59500u, 60200u}) {
    Segments segments{};
    ASSERT_TRUE(lapSegments(d, Splits{}, lapMs, segments));
    EXPECT_EQ(segments[0], lapMs);
    improveSegments(bests, segments);
  }
  EXPECT_EQ(theoreticalBest(bests, 0), 59500u);
  EXPECT_EQ(theoreticalBest(bests, 60000), 59500u);
}

TEST(TheoreticalBestTest, BestsBelongToTheSplitLinesTheyWereTimedWith) {
  LapDefinition d = twoSplitTrack();
  const SegmentBests bests = segmentsFor(d);
  EXPECT_TRUE(sameSplitLines(bests, d));
  // Listed the other way round in the editor: the same lines.
  std::swap(d.splitLines[0], d.splitLines[1]);
  EXPECT_TRUE(sameSplitLines(bests, d));
  d.splitLines[0] = d.track[31];
  EXPECT_FALSE(sameSplitLines(bests, d));
  d.splitLines[0] = d.track[30];
  d.splitLineCount = 1;
  EXPECT_FALSE(sameSplitLines(bests, d));
}

}  // namespace
}  // namespace corvantis

namespace corvantis {
namespace {

TEST(TheoreticalBestTest, ATrackShowsItOnlyWhenEverySegmentOfItsPresentLinesHasATime) {
  LapDefinition d = twoSplitTrack();
  KeptLaps kept;
  kept.segments = segmentsFor(d);
  EXPECT_EQ(trackTheoreticalBest(d, nullptr, 60000), 0u);
  EXPECT_EQ(trackTheoreticalBest(d, &kept, 60000), 0u);
  kept.segments.bestMs = {19500, 19500, 19000, 0, 0, 0};
  EXPECT_EQ(trackTheoreticalBest(d, &kept, 60000), 58000u);
  // A split line moved since: those times belong to other segments.
  d.splitLines[0] = d.track[61];
  EXPECT_EQ(trackTheoreticalBest(d, &kept, 60000), 0u);
  // No split lines: the best lap, kept or stored.
  d.splitLineCount = 0;
  EXPECT_EQ(trackTheoreticalBest(d, nullptr, 60000), 60000u);
  KeptLaps whole;
  whole.segments = segmentsFor(d);
  whole.segments.bestMs[0] = 59000;
  EXPECT_EQ(trackTheoreticalBest(d, &whole, 60000), 59000u);
}

}  // namespace
}  // namespace corvantis
