// End to end: simulated circuit drives with known true lap and split times,
// and a real track session timed by the car's own logger, through the
// analyzer's lap passes (the real pump, decoder, fix history, lap screen,
// lap editor and store over the replayed log). The track is recorded from
// the drive itself, as a driver records it, one loop from the first timed
// lap's start; every lap must then be found and timed near the truth.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/analyze/lap_analysis.h"
#include "tools/analyze/log_replay.h"
#include "tools/sim/simulator.h"
#include "tests/support/recorded_tracks.h"

namespace corvantis {
namespace {

using analyze::LapDefineRequest;
using analyze::LapPassEvent;
using analyze::TimingSession;

constexpr int kTimedLaps = 3;

struct Timed {
  std::vector<double> lapErrorsMs;    // measured - true, per lap
  std::vector<double> splitErrorsMs;  // measured - true, per split of every lap
};

Timed timeSimulatedLaps(int rateHz, bool noise) {
  sim::ScenarioParams params;
  params.laps = kTimedLaps;
  sim::ReceiverOptions receiver;
  receiver.rateHz = rateHz;
  receiver.noise = noise;
  receiver.seed = 11 + static_cast<uint64_t>(rateHz);
  const sim::SimResult result = sim::simulate(sim::lapsScenario(params), receiver);
  const std::vector<uint8_t> log = testing::logBytes(result);
  const sim::CircuitTruth& truth = *result.truth.circuit;
  EXPECT_EQ(truth.laps.size(), static_cast<size_t>(kTimedLaps));
  const sim::LapTruth& first = truth.laps.at(0);
  const LapDefineRequest request = testing::firstLapRecording(truth);

  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  EXPECT_TRUE(made.created) << made.message;
  if (!made.created) return {};
  EXPECT_EQ(session.laps.at(made.index).splitLineCount, static_cast<int>(first.splits.size()));

  const std::vector<LapPassEvent> events = analyze::runLapPass(log, session, made.index);
  Timed timed;
  size_t lap = 0;
  for (const LapPassEvent& e : events) {
    if (lap >= truth.laps.size()) break;
    const sim::LapTruth& t = truth.laps[lap];
    if (e.event.kind == LapEvent::Kind::Lap) {
      timed.lapErrorsMs.push_back(static_cast<double>(e.event.timeMs) - t.timeMs());
      ++lap;
    } else if (static_cast<double>(e.atFixMs) > t.startMs && static_cast<size_t>(e.event.line) < t.splits.size()) {
      // (The out lap passes the split lines before any lap starts.)
      timed.splitErrorsMs.push_back(static_cast<double>(e.event.timeMs) - (t.splits[e.event.line].ms - t.startMs));
    }
  }
  EXPECT_EQ(session.laps.at(made.index).lapCount, kTimedLaps);
  return timed;
}

double worst(const std::vector<double>& errors) {
  double w = 0.0;
  for (double e : errors) w = std::fabs(e) > std::fabs(w) ? e : w;
  return w;
}

TEST(LapEndToEndTest, SimulatedCircuitAtEveryRateWithAndWithoutNoise) {
  std::printf("rate  noise  laps  worst lap error (ms)  splits  worst split error (ms)\n");
  for (const int rateHz : {1, 5, 10, 20}) {
    for (const bool noise : {false, true}) {
      SCOPED_TRACE(std::to_string(rateHz) + " Hz" + (noise ? " with noise" : ""));
      const Timed timed = timeSimulatedLaps(rateHz, noise);
      std::printf("%4d  %5s  %4zu  %20.0f  %6zu  %22.0f\n", rateHz, noise ? "yes" : "no", timed.lapErrorsMs.size(),
                  worst(timed.lapErrorsMs), timed.splitErrorsMs.size(), worst(timed.splitErrorsMs));
      ASSERT_EQ(timed.lapErrorsMs.size(), static_cast<size_t>(kTimedLaps));
      EXPECT_EQ(timed.splitErrorsMs.size(), static_cast<size_t>(2 * kTimedLaps));
      // The start/finish point is where the car was at the first fix of the
      // recording, so every lap is measured at one place: lap times come out
      // near the truth at every rate. Split lines sit on the recorded fix
      // nearest the true split point, up to one fix interval along the track.
      for (double e : timed.lapErrorsMs) EXPECT_LT(std::fabs(e), rateHz == 1 ? 150.0 : 50.0);
      for (double e : timed.splitErrorsMs) EXPECT_LT(std::fabs(e), 1000.0 / rateHz + 100.0);
    }
  }
}

// The logger's own lap times for the laps that ended at these UTC times.
struct LoggerLap {
  uint32_t timeMs;
  uint32_t endedAtMs;
};

TEST(LapEndToEndTest, RealSessionFindsEveryLapTheLoggerCounted) {
  const std::filesystem::path path = std::filesystem::path(CORV_SHARED_DATA_DIR) / "laps-real" / "session-47n.nmea";
  std::vector<uint8_t> log;
  std::string error;
  if (!std::filesystem::exists(path) || !analyze::readLogFile(path.string(), log, error)) {
    GTEST_SKIP() << "no real session at " << path;
  }
  const LoggerLap logger[] = {{268020, 18755699}, {268320, 19024000}, {277620, 19301699}, {259200, 19560801}};
  const LapDefineRequest request = testing::session47nRecording();
  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  ASSERT_TRUE(made.created) << made.message;
  std::vector<uint32_t> laps;
  std::vector<std::array<uint32_t, 3>> timed;  // kind (0 lap, 1 split), line, time
  for (const LapPassEvent& e : analyze::runLapPass(log, session, made.index)) {
    if (e.event.kind == LapEvent::Kind::Lap) laps.push_back(e.event.timeMs);
    timed.push_back({e.event.kind == LapEvent::Kind::Lap ? 0u : 1u,
                     e.event.kind == LapEvent::Kind::Lap ? 0u : static_cast<uint32_t>(e.event.line), e.event.timeMs});
  }
  ASSERT_EQ(laps.size(), std::size(logger));
  for (size_t i = 0; i < laps.size(); ++i) {
    std::printf("lap %zu: %u ms, the logger %u ms (%+d)\n", i + 1, laps[i], logger[i].timeMs,
                static_cast<int>(laps[i]) - static_cast<int>(logger[i].timeMs));
    // The logger places its own line and interpolates its own way, and
    // this log's fix times were rounded to 100 ms while the car passes the
    // line at about 11 m/s: moving a square-on line 4 m along the straight
    // moves lap 4 here by 128 ms. The recorded line sits about 4 m past the
    // logger's, and the car crosses it up to 9 m apart from lap to lap.
    EXPECT_LT(std::abs(static_cast<int>(laps[i]) - static_cast<int>(logger[i].timeMs)), 200);
  }

  // Every lap and split to the millisecond, pinned: the lines square to the
  // track over 15 m either side of their anchors. A change here needs a
  // reason in the commit that makes it. Each
  // lap, and each split past the capture's 2048 fixes, ends on the live
  // step; fixes land exactly on the split lines (positions on a 1e-6 degree
  // grid, the lines through recorded fixes). The third split, crossed
  // before any lap has started, shows nothing.
  const std::vector<std::array<uint32_t, 3>> expected = {
      {1, 0, 51071},  {1, 1, 214058}, {1, 2, 255802}, {0, 0, 267941},       // lap 1
      {1, 0, 53946},  {1, 1, 214042}, {1, 2, 254154}, {0, 0, 268317},       // lap 2
      {1, 0, 54128},  {1, 1, 218830}, {1, 2, 262839}, {0, 0, 277731},       // lap 3
      {1, 0, 54371},  {1, 1, 209540}, {1, 2, 246651}, {0, 0, 259042},       // lap 4
  };
  EXPECT_EQ(timed, expected);
}

}  // namespace
}  // namespace corvantis
