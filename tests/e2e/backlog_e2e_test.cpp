// The timing screens store the same runs, to the trace, whether the fixes
// come one a tick or many in one tick (a backlog after a pause, a chatty or
// fast receiver): every fix reaches the screen's update in order.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "store/settings.h"
#include "tools/sim/simulator.h"
#include "ui/context.h"

namespace corvantis {
namespace {

struct StoredTimes {
  std::vector<uint32_t> timesMs;
  std::vector<std::vector<uint32_t>> traceTimes;
  std::vector<std::vector<float>> traceSpeeds;
  friend bool operator==(const StoredTimes&, const StoredTimes&) = default;
};

// Plays a drive into a screen through the real pump: `epochsPerTick` of the
// receiver's epochs arrive between two ticks (1: the steady state of a
// 10 Hz receiver; 30: three seconds of backlog each tick). Answers the runs
// the screen stored.
template <typename ScreenType>
StoredTimes play(const sim::SimResult& drive, int epochsPerTick, RecordKey key) {
  platform::headless::HeadlessWindowSystem windows;
  testing::FakeClock clock;
  clock.setCalendarSeconds(1780000000);
  testing::FakeSerialPort port;
  auto ctx = std::make_unique<AppContext>(windows, clock, port);
  loadSettingsDefaults(ctx->settings);
  ScreenType screen(*ctx);
  ctx->gps.afterTick = [&](bool newFix) {
    if (screen.live) screen.update(newFix);
  };
  ctx->gps.openPort(5, 0);
  windows.pushModalScript([&](platform::headless::HeadlessDialog& dialog) {
    screen.live = true;
    std::size_t next = 0;
    while (next < drive.epochs.size()) {
      for (int k = 0; k < epochsPerTick && next < drive.epochs.size(); ++k, ++next) {
        port.feed(drive.epochs[next].text);
        clock.advanceMs(static_cast<uint32_t>(1000 / drive.truth.rateHz));
      }
      ctx->gps.pumpTick();
      // Caught up: the newest fix on the screen is the newest that arrived
      // (its GGA is decoded at the "$" of the sentence after it), or one the
      // history kept less than 100 ms before it.
      const sim::Epoch& newest = drive.epochs[next - 1];
      if (newest.hasFix) {
        EXPECT_LT(newest.timeOfDayMs - ctx->gps.history.newestFixTime(), 100u) << "epoch " << next - 1;
      }
    }
    port.feed("$");
    ctx->gps.pumpTick();
    screen.live = false;
    dialog.userClick(1);
  });
  screen.showModal();
  StoredTimes stored;
  if (const RecordSet* set = ctx->records.findRecordSet(key)) {
    for (int i = 0; i < set->filledCount(); ++i) {
      const RunRecord& run = set->runs[static_cast<std::size_t>(i)];
      stored.timesMs.push_back(run.timeMs);
      std::vector<uint32_t> times;
      std::vector<float> speeds;
      for (const TraceSample& s : run.trace) {
        times.push_back(s.time);
        speeds.push_back(s.speed);
      }
      stored.traceTimes.push_back(times);
      stored.traceSpeeds.push_back(speeds);
    }
  }
  return stored;
}

sim::SimResult drive(const char* scenario, int rateHz, bool fullSentences) {
  sim::ScenarioParams params;
  params.runs = 3;
  sim::ReceiverOptions rx;
  rx.rateHz = rateHz;
  rx.fullSentenceSets = fullSentences;
  return sim::simulate(sim::scenarioByName(scenario, params), rx);
}

TEST(BacklogEndToEnd, ABacklogStoresTheRunsOfFixesThatCameOneATick) {
  // Default definitions: 0-60 mph and a quarter mile.
  const RecordKey accel = accelerationKey(0.0f, 60.0f);
  const RecordKey quarter = distanceKey(402.336);
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "every system's sentences" : "GGA, GSA and RMC");
    const sim::SimResult accelDrive = drive("accel", 10, full);
    const StoredTimes steady = play<AccelerationScreen>(accelDrive, 1, accel);
    ASSERT_EQ(steady.timesMs.size(), 3u);
    for (const int perTick : {2, 30, 1000}) {
      EXPECT_TRUE(play<AccelerationScreen>(accelDrive, perTick, accel) == steady) << perTick;
    }
    const sim::SimResult quarterDrive = drive("quarter", 10, full);
    const StoredTimes steadyQuarter = play<DistanceScreen>(quarterDrive, 1, quarter);
    ASSERT_EQ(steadyQuarter.timesMs.size(), 3u);
    EXPECT_TRUE(play<DistanceScreen>(quarterDrive, 30, quarter) == steadyQuarter);
  }
}

TEST(BacklogEndToEnd, AFastReceiverInBacklogStoresWhatItStoresInRealTime) {
  // 25 Hz: the history keeps one fix in three; two or three arrive a tick.
  const RecordKey accel = accelerationKey(0.0f, 60.0f);
  const sim::SimResult fast = drive("accel", 25, false);
  const StoredTimes realTime = play<AccelerationScreen>(fast, 2, accel);
  ASSERT_EQ(realTime.timesMs.size(), 3u);
  EXPECT_TRUE(play<AccelerationScreen>(fast, 75, accel) == realTime);
}

}  // namespace
}  // namespace corvantis
