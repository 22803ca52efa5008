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

}  // namespace
}  // namespace corvantis
