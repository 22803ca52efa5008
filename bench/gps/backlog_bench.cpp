// One tick with 30 s of backlog from a chatty receiver (10 Hz, GSA and GSV
// of four satellite systems each epoch, about 1.5 KB a fix: 440 KB), as the
// first tick after the configuration screen or a long hold-off finds it:
// the pump alone, and with the acceleration screen's update for each of its
// 300 fixes (a 0-60 mph run among them, timed and stored).
//
//   build/release/bench/gps/backlog_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/gps/stream_port.h"
#include "gps/gps_input.h"
#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "timing/acceleration_screen.h"
#include "tools/sim/simulator.h"
#include "ui/context.h"

namespace corvantis {
namespace {

// The first 30 s of a chatty drive: 10 s standing, a launch to 70 mph,
// braking, standing again.
const std::string& backlog() {
  static const std::string text = [] {
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    receiver.fullSentenceSets = true;
    sim::ScenarioParams params;
    params.runs = 2;
    const sim::SimResult drive = sim::simulate(sim::accelScenario(params), receiver);
    std::string log;
    for (const sim::Epoch& epoch : drive.epochs) {
      if (epoch.driveTimeS >= 30.0) break;
      log += epoch.text;
    }
    return log + "$";
  }();
  return text;
}

// The state a fresh receiver finds: the same backlog can be taken again.
void startAfresh(GpsInput& gps, StreamPort& port) {
  port.rewind();
  gps.history = FixHistory();
  gps.currentFix = CurrentFix();
  gps.linePos = 0;
  gps.emptyTicks = 0;
}

void BM_BacklogTickPumpAlone(benchmark::State& state) {
  StreamPort port(backlog(), false);
  platform::headless::HeadlessWindowSystem windows;
  auto gps = std::make_unique<GpsInput>(port, windows.messageBoxes());
  gps->openPort(5, 0);
  long updates = 0;
  gps->afterTick = [&](bool newFix) { updates += newFix ? 1 : 0; };
  for (auto _ : state) {
    state.PauseTiming();
    startAfresh(*gps, port);
    updates = 0;
    state.ResumeTiming();
    gps->pumpTick();
  }
  state.counters["fixes"] = static_cast<double>(updates);
  state.counters["KB"] = static_cast<double>(backlog().size()) / 1024.0;
}
BENCHMARK(BM_BacklogTickPumpAlone)->Unit(benchmark::kMillisecond);

void BM_BacklogTickWithAccelerationScreen(benchmark::State& state) {
  StreamPort port(backlog(), false);
  platform::headless::HeadlessWindowSystem windows;
  testing::FakeClock clock;
  auto ctx = std::make_unique<AppContext>(windows, clock, port);
  loadSettingsDefaults(ctx->settings);
  AccelerationScreen screen(*ctx);
  ctx->gps.afterTick = [&](bool newFix) { screen.update(newFix); };
  ctx->gps.openPort(5, 0);
  windows.pushModalScript([&](platform::headless::HeadlessDialog& dialog) {
    screen.live = true;
    for (auto _ : state) {
      state.PauseTiming();
      startAfresh(ctx->gps, port);
      ctx->runState = RunState();
      clock.advanceMs(30000);
      state.ResumeTiming();
      ctx->gps.pumpTick();
    }
    screen.live = false;
    dialog.userClick(AccelerationScreen::kMainMenu);
  });
  screen.showModal();
  const RecordSet* set = ctx->records.findRecordSet(accelerationKey(0.0f, 60.0f));
  if (set == nullptr || set->filledCount() == 0) state.SkipWithError("no run was stored");
}
BENCHMARK(BM_BacklogTickWithAccelerationScreen)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvantis
