// The demo as a new user meets it: its options file gets "Demo Circuit"
// recorded from its own drive, and one round of the drive stores one
// 0-60 mph, one quarter mile, and laps with split times on that circuit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/options_file.h"
#include "tests/store/memory_files.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/corvantis/demo_drive.h"
#include "tools/corvantis/nmea_replay.h"
#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

constexpr const char* kPath = "/demo/demo-options.bin";

TEST(DemoCircuitTest, ANewDemoTimesLapsAndSplitsInItsFirstRound) {
  testing::MemoryFiles files;
  std::string error;
  ASSERT_TRUE(demo::seedDemoCircuit(files, kPath, error)) << error;
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  ASSERT_TRUE(decodeOptions(files.files.at(kPath), session.settings, session.records, session.laps).ok());
  ASSERT_EQ(session.laps.count(), 1);
  EXPECT_EQ(session.laps.at(0).name, demo::kDemoCircuitName);
  EXPECT_EQ(session.laps.at(0).splitLineCount, 2);
  EXPECT_EQ(session.settings.lapDefinitionCount, 1);

  // A file that already holds a track is left as it is.
  const std::vector<uint8_t> seeded = files.files.at(kPath);
  ASSERT_TRUE(demo::seedDemoCircuit(files, kPath, error));
  EXPECT_EQ(files.files.at(kPath), seeded);

  // One round of the drive as the demo plays it (another noise, another time).
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.seed = 99;
  receiver.startTimeOfDayMs = 8u * 3600000u;
  const std::string text = sim::renderLog(sim::simulate(sim::demoScenario(), receiver));
  const std::vector<uint8_t> log(text.begin(), text.end());

  const auto accel = analyze::runAccelerationPass(log, session, {std::string("0"), std::string("60")});
  const auto quarter = analyze::runDistancePass(log, session, std::string("440"));
  ASSERT_EQ(accel.size(), 1u);
  ASSERT_EQ(quarter.size(), 1u);
  EXPECT_LT(accel[0].timeMs, 8000u);
  EXPECT_LT(quarter[0].timeMs, 17000u);

  int laps = 0, splits = 0;
  for (const analyze::LapPassEvent& e : analyze::runLapPass(log, session, 0)) {
    if (e.event.kind == LapEvent::Kind::Lap) {
      ++laps;
      EXPECT_NEAR(e.event.timeMs, 79400.0, 1000.0);
    } else if (e.event.timeMs != 0) {
      ++splits;
    }
  }
  EXPECT_EQ(laps, 2);
  EXPECT_EQ(splits, 4);
}

// Two rounds of the demo as it plays them, with Demo Circuit picked: the
// driver sees a running lap time only from a start/finish crossing on the
// circuit until the car leaves it, and split times only of the lap timed.
// (The start/finish line stays armed after the last lap, and the launch of
// the next round, on the road beside the line, crosses its far extension.)
TEST(DemoCircuitTest, ThisTimeShowsOnlyTheLapsOnTheCircuit) {
  testing::MemoryFiles files;
  std::string error;
  ASSERT_TRUE(demo::seedDemoCircuit(files, kPath, error)) << error;
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  ASSERT_TRUE(decodeOptions(files.files.at(kPath), session.settings, session.records, session.laps).ok());
  const demo::Drive drive = demo::demoDrive(false, 9u * 3600000u);
  std::string text;
  for (uint32_t round = 0; round < 2; ++round) {
    for (const demo::TimedText& part : drive.parts) text += demo::shiftFixTimes(part.text, round * drive.roundMs);
  }
  const std::vector<uint8_t> log(text.begin(), text.end());

  // What the driver sees after each update: a running time (and the lap it
  // counts), a split time.
  struct Seen {
    bool timing;
    uint32_t elapsedMs;
    bool thisTime;
    bool split;
  };
  std::vector<Seen> seen;
  const auto events =
      analyze::runLapPass(log, session, 0, [&](const LapTimingScreen& screen, const platform::Dialog& d) {
        bool split = false;
        for (int k = 0; k < 2; ++k) split = split || !d.text(LapTimingScreen::kFirstSplit + k).empty();
        seen.push_back({screen.timingLap(), screen.elapsedMs(), !d.text(LapTimingScreen::kRunningTime).empty(), split});
      });
  std::vector<uint32_t> laps;
  int splits = 0;
  for (const analyze::LapPassEvent& e : events) {
    if (e.event.kind == LapEvent::Kind::Lap) {
      laps.push_back(e.event.timeMs);
    } else {
      ++splits;
    }
  }
  ASSERT_EQ(laps.size(), 4u);
  for (uint32_t lap : laps) EXPECT_NEAR(lap, 79400.0, 1000.0);
  EXPECT_EQ(splits, 8);  // two in each lap, none in the out laps

  // The running time only ever counts a lap of the circuit, and it shows in
  // exactly two stretches, one a round: from each round's first crossing
  // until the car leaves the circuit after its laps.
  int stretches = 0;
  bool showing = false;
  for (const Seen& s : seen) {
    EXPECT_EQ(s.thisTime, s.timing);
    if (s.timing) {
      EXPECT_LT(s.elapsedMs, 90000u);
    } else {
      EXPECT_FALSE(s.split);
    }
    if (!showing && s.timing) ++stretches;
    showing = s.timing;
  }
  EXPECT_EQ(stretches, 2);
}

}  // namespace
}  // namespace corvantis
