#include "store/lap_definitions.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

using testing::fillHistory;

// A store with one definition of 10 points and the given lap times.
LapDefinitions withLaps(const std::vector<uint32_t>& times) {
  LapDefinitions store;
  FixHistory history;
  fillHistory(history, 10);
  store.createDefinition(history, 0, nullptr, "Test");
  for (uint32_t t : times) store.addLapTime(0, t, 1000, 7, history);
  return store;
}

TEST(LapDefinitions, CreateCopiesTrackBoxSplitsAndName) {
  FixHistory history;
  fillHistory(history, 6);
  history.samples[3].longitude = 8.0;  // west of the rest
  history.samples[4].latitude = 46.0;  // south of the rest
  const TrackPoint anchors[] = {{8.5000002, 47.000016}, {8.5000004, 47.000032}};
  LapDefinitions store;
  EXPECT_EQ(store.createDefinition(history, 2, anchors, "Hockenheim"), 0);
  EXPECT_EQ(store.createDefinition(history, 0, nullptr, "Second"), 1);
  const LapDefinition& d = store.at(0);
  ASSERT_EQ(d.trackPointCount(), 6);
  EXPECT_EQ(d.track[5], (TrackPoint{history.samples[5].longitude, history.samples[5].latitude}));
  EXPECT_EQ(d.minLongitude, 8.0);
  EXPECT_EQ(d.maxLongitude, history.samples[5].longitude);
  EXPECT_EQ(d.minLatitude, 46.0);
  EXPECT_EQ(d.maxLatitude, history.samples[5].latitude);
  EXPECT_EQ(d.splitLineCount, 2);
  EXPECT_EQ(d.splitLines[1], anchors[1]);
  EXPECT_EQ(d.splitLines[2], TrackPoint{});
  EXPECT_EQ(d.name, "Hockenheim");
  EXPECT_EQ(d.lapCount, 0);
}

// A garbled fix can put a position off the earth into the history; a track
// never keeps one (its file would read as damaged), and every change to the
// store is counted for the save that follows it.
TEST(LapDefinitions, PositionsOffTheEarthStayOutOfANewTrack) {
  FixHistory history;
  fillHistory(history, 6);
  history.samples[1].latitude = 99.98;
  history.samples[2].longitude = -1e300;
  history.samples[4].latitude = std::numeric_limits<double>::quiet_NaN();
  LapDefinitions store;
  const uint64_t before = store.revision();
  store.createDefinition(history, 0, nullptr, "Garbled");
  EXPECT_GT(store.revision(), before);
  const LapDefinition& d = store.at(0);
  ASSERT_EQ(d.trackPointCount(), 3);
  EXPECT_EQ(d.track[1].latitude, history.samples[3].latitude);
  EXPECT_EQ(d.maxLatitude, history.samples[5].latitude);
  EXPECT_EQ(d.minLongitude, history.samples[0].longitude);
}

TEST(LapDefinitions, BoxOfOneLongitudeAndOfAnEmptyHistory) {
  FixHistory history;
  fillHistory(history, 4);
  for (int i = 0; i < 4; ++i) history.samples[static_cast<size_t>(i)].longitude = 9.25;
  LapDefinitions store;
  store.createDefinition(history, 0, nullptr, "");
  EXPECT_EQ(store.at(0).minLongitude, 9.25);
  EXPECT_EQ(store.at(0).maxLongitude, 9.25);
  // With no points the box is not taken from a stale sample.
  history.count = 0;
  store.createDefinition(history, 0, nullptr, "");
  EXPECT_EQ(store.at(1).trackPointCount(), 0);
  EXPECT_EQ(store.at(1).minLongitude, 0.0);
  EXPECT_EQ(store.at(1).maxLatitude, 0.0);
}

TEST(LapDefinitions, CountsAndNamesAreHeldToTheirLimits) {
  FixHistory history;
  fillHistory(history, 3);
  const TrackPoint anchors[7] = {};
  LapDefinitions store;
  store.createDefinition(history, 7, anchors, std::string(40, 'n') + "\xFF");
  EXPECT_EQ(store.at(0).splitLineCount, 5);
  EXPECT_EQ(store.at(0).name, std::string(31, 'n'));
  store.updateDefinition(0, history, -2, anchors, "bad \xC3");
  EXPECT_EQ(store.at(0).splitLineCount, 0);
  EXPECT_EQ(store.at(0).name, "bad \xEF\xBF\xBD");
}

TEST(LapDefinitions, UpdateRewritesPointsSplitsAndNameButKeepsBoxAndLaps) {
  LapDefinitions store = withLaps({70000});
  LapDefinition before = store.at(0);
  FixHistory history;
  fillHistory(history, 10);
  std::swap(history.samples[0], history.samples[9]);  // the editor reordered the points
  history.samples[4].longitude = 100.0;               // far outside the old box
  const TrackPoint anchor{history.samples[4].longitude, history.samples[4].latitude};
  store.updateDefinition(0, history, 1, &anchor, "Renamed");
  const LapDefinition& d = store.at(0);
  EXPECT_EQ(d.track[0].latitude, history.samples[0].latitude);
  EXPECT_EQ(d.track[4].longitude, 100.0);
  EXPECT_EQ(d.splitLines[0], anchor);
  EXPECT_EQ(d.name, "Renamed");
  EXPECT_EQ(d.maxLongitude, before.maxLongitude);
  EXPECT_EQ(d.lapCount, 1);
  EXPECT_EQ(d.laps[0].timeMs, 70000u);

  // A history longer than the track writes only the track's own points.
  fillHistory(history, 50);
  store.updateDefinition(0, history, 0, nullptr, "Renamed");
  EXPECT_EQ(store.at(0).trackPointCount(), 10);
}

TEST(LapDefinitions, DeleteShiftsLaterDefinitionsDown) {
  FixHistory history;
  fillHistory(history, 3);
  LapDefinitions store;
  for (const char* name : {"A", "B", "C"}) store.createDefinition(history, 0, nullptr, name);
  store.deleteDefinition(1);
  ASSERT_EQ(store.count(), 2);
  EXPECT_EQ(store.at(1).name, "C");
  store.deleteDefinition(1);
  ASSERT_EQ(store.count(), 1);
  EXPECT_EQ(store.at(0).name, "A");
  store.deleteDefinition(5);  // out of range: nothing happens
  store.deleteDefinition(-1);
  EXPECT_EQ(store.count(), 1);
}

TEST(LapDefinitions, QueriesOfNoDefinitionOrNoLapsAnswerZero) {
  const LapDefinitions store = withLaps({});
  for (int index : {-1, 0, 1, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(store.bestLapTime(index), 0u);
    EXPECT_EQ(store.averageLapTime(index), 0);
    EXPECT_EQ(store.lastLapTime(index), 0u);
  }
}

TEST(LapDefinitions, BestLastAndAverage) {
  const LapDefinitions store = withLaps({70000, 65000, 68000});
  EXPECT_EQ(store.bestLapTime(0), 65000u);
  EXPECT_EQ(store.lastLapTime(0), 68000u);
  EXPECT_EQ(store.averageLapTime(0), 67666);
}

TEST(LapDefinitions, AddLapTimeFillsTheEntry) {
  LapDefinitions store = withLaps({});
  FixHistory history;
  fillHistory(history, 25);
  ASSERT_TRUE(store.addLapTime(0, 61234, 45300000, 1765000000, history));
  const RunRecord& lap = store.at(0).laps[0];
  EXPECT_EQ(lap.timeMs, 61234u);
  EXPECT_EQ(lap.startTime, 45300000u);
  EXPECT_EQ(lap.stamp, 1765000000u);
  EXPECT_EQ(lap.traceCount, 25);
  EXPECT_EQ(lap.trace.size(), 25u);
  EXPECT_FALSE(store.addLapTime(0, 0, 1, 1, history)) << "0 is the empty-entry marker";
  EXPECT_FALSE(store.addLapTime(3, 5000, 1, 1, history));
  EXPECT_FALSE(store.addLapTime(-1, 5000, 1, 1, history));
  EXPECT_EQ(store.at(0).lapCount, 1);
}

// The drop rule at 100 laps, with its tie case.
TEST(LapDefinitions, HundredFirstLapDropsTheOldestUnlessItIsTheBest) {
  struct Case {
    const char* name;
    uint32_t entry0;
    uint32_t entryK;  // entry 50
    uint32_t others;
    bool entry0Kept;
  };
  const Case cases[] = {
      {"entry 0 the best: entry 1 goes", 60000, 70050, 70000, true},
      {"entry 0 not the best: entry 0 goes", 65000, 60000, 70000, false},
      {"entry 0 ties the best: entry 1 goes", 60000, 60000, 70000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> times(100, c.others);
    times[0] = c.entry0;
    times[1] = c.others + 1;  // tells entry 1 apart
    times[50] = c.entryK;
    LapDefinitions store = withLaps(times);
    FixHistory history;
    fillHistory(history, 33);
    ASSERT_TRUE(store.addLapTime(0, 99999, 5, 6, history));
    const LapDefinition& d = store.at(0);
    EXPECT_EQ(d.lapCount, 100);
    EXPECT_EQ(d.laps[99].timeMs, 99999u);
    EXPECT_EQ(d.laps[99].traceCount, 33);
    EXPECT_EQ(d.laps[98].traceCount, 10) << "the moved entries keep their traces";
    EXPECT_EQ(d.laps[0].timeMs, c.entry0Kept ? c.entry0 : c.others + 1);
    EXPECT_EQ(d.laps[1].timeMs, c.others);
    EXPECT_EQ(d.laps[49].timeMs, c.entryK);
    EXPECT_EQ(store.bestLapTime(0), std::min(c.entry0, c.entryK));
  }
}

}  // namespace
}  // namespace corvantis
