#include "store/run_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/store/store_fixtures.h"

namespace corvantis {
namespace {

using testing::fillHistory;

std::vector<uint32_t> timesOf(const RecordSet& set) {
  std::vector<uint32_t> times;
  for (const RunRecord& run : set.runs) times.push_back(run.timeMs);
  return times;
}

TEST(RecordKeys, DistanceKeysOfTheListedDistances) {
  struct Case {
    double metres;
    uint16_t kind;
    uint16_t parameter;
  };
  const Case cases[] = {
      {402.336, 0x8192, 22020},  // 440 yards
      {201.168, 0x80C9, 11010},  // 220 yards
      {400.0, 0x8190, 0},
      {800.0, 0x8320, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.metres);
    const RecordKey key = distanceKey(c.metres);
    EXPECT_EQ(key.kind, c.kind);
    EXPECT_EQ(key.parameter, c.parameter);
    EXPECT_TRUE(key.isDistance());
    EXPECT_LT(static_cast<int32_t>(key.value()), 0) << "distance keys read negative as signed";
    EXPECT_NEAR(distanceFromKey(key), c.metres, 0.5 / 65535.0);
  }
}

TEST(RecordKeys, DistanceFractionRoundsToTheNearestStep) {
  // 0.4/65535 rounds down, 0.6/65535 rounds up.
  EXPECT_EQ(distanceKey(100.0 + 0.4 / 65535.0).parameter, 0);
  EXPECT_EQ(distanceKey(100.0 + 0.6 / 65535.0).parameter, 1);
  // Just below the next metre the fraction tops out at the last step, never
  // spilling into the whole metres.
  const RecordKey top = distanceKey(std::nextafter(101.0, 0.0));
  EXPECT_EQ(top.kind, 0x8000 | 100);
  EXPECT_EQ(top.parameter, 65535);
}

TEST(RecordKeys, DistanceKeyRangeAndOutOfRangeInput) {
  EXPECT_TRUE(distanceFitsKey(0.001));
  EXPECT_TRUE(distanceFitsKey(32767.9));
  EXPECT_FALSE(distanceFitsKey(0.0));
  EXPECT_FALSE(distanceFitsKey(-5.0));
  EXPECT_FALSE(distanceFitsKey(32768.0));
  EXPECT_FALSE(distanceFitsKey(std::nan("")));
  // Outside the range the key is still formed without undefined conversions,
  // and keeps the distance flag.
  EXPECT_EQ(distanceKey(-5.0).value(), 0x80000000u);
  EXPECT_EQ(distanceKey(std::nan("")).value(), 0x80000000u);
  EXPECT_EQ(distanceKey(1e12).kind, 0xFFFF);
}

TEST(RecordKeys, AccelerationKeysTruncateTheStoredSpeeds) {
  EXPECT_EQ(accelerationKey(0.0f, 60.0f).value(), 60u);
  // 100 kph stored as mph: 62.137... truncates to 62.
  EXPECT_EQ(accelerationKey(0.0f, static_cast<float>(100 * 0.6213712096214294)), (RecordKey{0, 62}));
  EXPECT_EQ(accelerationKey(30.9f, 70.99f), (RecordKey{30, 70}));
  EXPECT_FALSE(accelerationKey(40000.0f, 60.0f).isDistance()) << "from-speed never reaches the distance flag";
  EXPECT_EQ(accelerationKey(-3.0f, std::nanf("")), (RecordKey{0, 0}));
  EXPECT_EQ(keyFromValue(0x81925604u), (RecordKey{0x8192, 0x5604}));
}

TEST(RunRecords, FirstRunCreatesASetAtTheEnd) {
  RunRecords store;
  FixHistory history;
  fillHistory(history, 5);
  ASSERT_TRUE(store.addRun(RecordKey{0, 60}, 5000, 111, history));
  ASSERT_TRUE(store.addRun(RecordKey{0, 100}, 9000, 222, history));
  ASSERT_EQ(store.sets().size(), 2u);
  EXPECT_EQ(store.sets()[1].key, 100u);
  EXPECT_EQ(store.bestTime(RecordKey{0, 100}), 9000u);
  EXPECT_EQ(store.averageTime(RecordKey{0, 100}), 9000);
  const RunRecord& run = store.sets()[1].runs[0];
  EXPECT_EQ(run.stamp, 222u);
  EXPECT_EQ(run.traceCount, 5);
  EXPECT_EQ(run.startTime, 0u);
}

TEST(RunRecords, ATimeOfZeroIsNeverStored) {
  RunRecords store;
  FixHistory history;
  fillHistory(history, 5);
  EXPECT_FALSE(store.addRun(RecordKey{0, 60}, 0, 1, history));
  EXPECT_TRUE(store.sets().empty());
  ASSERT_TRUE(store.addRun(RecordKey{0, 60}, 4000, 1, history));
  EXPECT_FALSE(store.addRun(RecordKey{0, 60}, 0, 1, history));
  EXPECT_EQ(store.sets()[0].filledCount(), 1);
}

// The drop rule when ten runs are stored: which slot goes for the eleventh.
TEST(RunRecords, EleventhRunDropsTheOldestUnlessItIsTheBest) {
  struct Case {
    const char* name;
    std::vector<uint32_t> ten;
    std::vector<uint32_t> after;  // after adding 20000
  };
  const std::vector<Case> cases = {
      {"best in slot 0: slot 1 goes",
       {5000, 6000, 7000, 8000, 9000, 10000, 11000, 12000, 13000, 14000},
       {5000, 7000, 8000, 9000, 10000, 11000, 12000, 13000, 14000, 20000}},
      {"best in slot 3: slot 0 goes",
       {9000, 8000, 8500, 4000, 9100, 9200, 9300, 9400, 9500, 9600},
       {8000, 8500, 4000, 9100, 9200, 9300, 9400, 9500, 9600, 20000}},
      {"slot 0 ties slot 4 for the best: slot 1 goes",
       {4000, 8000, 8500, 9000, 4000, 9200, 9300, 9400, 9500, 9600},
       {4000, 8500, 9000, 4000, 9200, 9300, 9400, 9500, 9600, 20000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunRecords store;
    FixHistory history;
    const RecordKey key{0, 60};
    for (size_t i = 0; i < c.ten.size(); ++i) {
      fillHistory(history, static_cast<int>(i) + 3);  // trace length tells the runs apart
      ASSERT_TRUE(store.addRun(key, c.ten[i], static_cast<uint32_t>(i), history));
    }
    fillHistory(history, 40);
    ASSERT_TRUE(store.addRun(key, 20000, 99, history));
    const RecordSet& set = *store.findRecordSet(key);
    EXPECT_EQ(timesOf(set), c.after);
    // Traces and stamps move with their runs.
    for (size_t i = 0; i + 1 < set.runs.size(); ++i) {
      EXPECT_EQ(set.runs[i].trace.size(), set.runs[i].stamp + 3) << i;
    }
    EXPECT_EQ(set.runs[9].traceCount, 40);
    EXPECT_EQ(set.runs[9].stamp, 99u);
  }
}

TEST(RunRecords, AverageTruncatesAndBestKeepsTheFirstOfTies) {
  RunRecords store;
  FixHistory history;
  const RecordKey key{0, 60};
  for (uint32_t t : {3000u, 3001u, 3001u}) store.addRun(key, t, 0, history);
  EXPECT_EQ(store.averageTime(key), 3000);
  EXPECT_EQ(store.bestTime(key), 3000u);
  EXPECT_EQ(store.bestTime(RecordKey{1, 2}), 0u);
  EXPECT_EQ(store.averageTime(RecordKey{1, 2}), 0);
}

TEST(RunRecords, AverageOfTimesBeyondTheSignedRangeStaysDefined) {
  RunRecords store;
  FixHistory history;
  const RecordKey key{0, 60};
  store.addRun(key, 0x7FFFFFFFu, 0, history);
  store.addRun(key, 0x7FFFFFFFu, 0, history);
  // The 32-bit sum wraps to -2 and halves to -1, as the stored sum always did.
  EXPECT_EQ(store.averageTime(key), -1);
}

TEST(RunRecords, ForgetLastRunShrinksThenRemovesTheSet) {
  RunRecords store;
  FixHistory history;
  fillHistory(history, 4);
  const RecordKey a{0, 60}, b{0, 100}, c = distanceKey(402.336);
  store.addRun(a, 5000, 0, history);
  for (uint32_t t : {7000u, 8000u, 9000u}) store.addRun(b, t, 0, history);
  store.addRun(c, 13000, 0, history);

  store.forgetLastRun(b);
  EXPECT_EQ(store.findRecordSet(b)->filledCount(), 2);
  // The forgotten run keeps its trace count: only its time marks it empty.
  EXPECT_EQ(store.findRecordSet(b)->runs[2].traceCount, 4);

  // A new run takes the freed slot with a trace of its own.
  fillHistory(history, 7);
  store.addRun(b, 6500, 5, history);
  EXPECT_EQ(store.findRecordSet(b)->runs[2].timeMs, 6500u);
  EXPECT_EQ(store.findRecordSet(b)->runs[2].traceCount, 7);

  store.forgetLastRun(a);  // the only run: the set goes, later sets move up
  ASSERT_EQ(store.sets().size(), 2u);
  EXPECT_EQ(store.sets()[0].key, b.value());
  EXPECT_EQ(store.sets()[1].key, c.value());

  store.forgetLastRun(RecordKey{9, 9});  // no such set: nothing happens
  EXPECT_EQ(store.sets().size(), 2u);
}

TEST(RunRecords, DeletingEveryRunThroughADummyRunRemovesTheSet) {
  // The records screen empties a set's slots, then adds a dummy run of 1 ms
  // and forgets it.
  RunRecords store;
  FixHistory history;
  const RecordKey key{0, 60};
  store.addRun(key, 5000, 0, history);
  store.addRun(key, 6000, 0, history);
  for (RunRecord& run : store.findRecordSet(key)->runs) run.timeMs = 0;
  store.addRun(key, 1, 0, history);
  EXPECT_EQ(store.findRecordSet(key)->runs[0].timeMs, 1u);
  store.forgetLastRun(key);
  EXPECT_EQ(store.findRecordSet(key), nullptr);
}

TEST(RunRecords, RemoveRecordSetTakesOnlyThatSetAndStoresNoRun) {
  RunRecords store;
  FixHistory history;
  fillHistory(history, 3);
  const RecordKey a{0, 60}, b{0, 100}, c = distanceKey(402.336);
  for (RecordKey key : {a, b, c}) store.addRun(key, 5000, 0, history);

  EXPECT_TRUE(store.removeRecordSet(1));
  ASSERT_EQ(store.sets().size(), 2u);
  EXPECT_EQ(store.sets()[0].key, a.value());
  EXPECT_EQ(store.sets()[1].key, c.value());  // the later set moved up
  EXPECT_EQ(store.bestTime(b), 0u);

  EXPECT_FALSE(store.removeRecordSet(2));  // no set there: nothing changes
  EXPECT_EQ(store.sets().size(), 2u);

  // Of two sets with one key, the one at the place given goes.
  store.sets().push_back(store.sets()[0]);
  store.sets().back().runs[0].timeMs = 4000;
  EXPECT_TRUE(store.removeRecordSet(0));
  ASSERT_EQ(store.sets().size(), 2u);
  EXPECT_EQ(store.sets()[1].runs[0].timeMs, 4000u);
}

TEST(BuildTrace, DistanceAccumulatesAlongThePath) {
  FixHistory history;
  fillHistory(history, 3);
  // Make the path bend back so that the sum differs from the straight line.
  history.samples[2].latitude = history.samples[0].latitude;
  RunRecord run;
  buildTrace(run, history);
  ASSERT_EQ(run.traceCount, 3);
  ASSERT_EQ(run.trace.size(), 3u);
  EXPECT_EQ(run.trace[0].distance, 0.0f);
  const double leg1 = greatCircleDistance(history.samples[0], history.samples[1]);
  const double leg2 = greatCircleDistance(history.samples[1], history.samples[2]);
  EXPECT_EQ(run.trace[1].distance, static_cast<float>(leg1));
  EXPECT_EQ(run.trace[2].distance, static_cast<float>(static_cast<double>(static_cast<float>(leg1)) + leg2));
  EXPECT_GT(run.trace[2].distance, 1.5f * greatCircleDistance(history.samples[0], history.samples[2]));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(run.trace[i].time, history.samples[i].time);
    EXPECT_EQ(run.trace[i].speed, history.samples[i].speed);
  }
}

TEST(BuildTrace, EmptyOrOutOfRangeHistory) {
  FixHistory history;
  RunRecord run;
  buildTrace(run, history);
  EXPECT_EQ(run.traceCount, 0);
  EXPECT_TRUE(run.trace.empty());
  history.count = -4;
  buildTrace(run, history);
  EXPECT_EQ(run.traceCount, 0);
  // A count past the array (the lap parts write it directly) reads no further.
  history.count = FixHistory::kCapacity + 50;
  buildTrace(run, history);
  EXPECT_EQ(run.traceCount, FixHistory::kCapacity);
}

}  // namespace
}  // namespace corvantis
