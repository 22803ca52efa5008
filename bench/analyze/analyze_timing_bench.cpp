// Throughput of corvantis-analyze's timing passes: a one-hour 10 Hz drive
// (50 standing-start quarter miles a minute and a bit apart, with a default
// receiver's noise and sentences) through the real pump, decoder, fix
// history, screen and store, in megabytes of log a second.
//
//   build/release/bench/analyze/analyze_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Peak memory is that of the program over the same drive:
//   corvantis-sim quarter --runs 50 --between 52 --rate 10 -o hour.nmea
//   /usr/bin/time -v corvantis-analyze --accel 0-60 --distance 440 hour.nmea
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

// Simulated once for every benchmark.
const std::vector<uint8_t>& hourLog() {
  static const std::vector<uint8_t> log = [] {
    sim::ScenarioParams params;
    params.runs = 50;
    params.betweenS = 52.0;
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    const std::string text = sim::renderLog(sim::simulate(sim::quarterScenario(params), receiver));
    return std::vector<uint8_t>(text.begin(), text.end());
  }();
  return log;
}

void BM_AccelerationPass(benchmark::State& state) {
  const std::vector<uint8_t>& log = hourLog();
  size_t runs = 0;
  for (auto _ : state) {
    analyze::TimingSession session;
    loadSettingsDefaults(session.settings);
    runs = analyze::runAccelerationPass(log, session, {"0", "60"}).size();
    benchmark::DoNotOptimize(runs);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(log.size()));
  state.counters["runs"] = static_cast<double>(runs);
  state.counters["log_MB"] = static_cast<double>(log.size()) / 1e6;
}
BENCHMARK(BM_AccelerationPass)->Unit(benchmark::kMillisecond);

void BM_DistancePass(benchmark::State& state) {
  const std::vector<uint8_t>& log = hourLog();
  size_t runs = 0;
  for (auto _ : state) {
    analyze::TimingSession session;
    loadSettingsDefaults(session.settings);
    runs = analyze::runDistancePass(log, session, std::string("440")).size();
    benchmark::DoNotOptimize(runs);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(log.size()));
  state.counters["runs"] = static_cast<double>(runs);
}
BENCHMARK(BM_DistancePass)->Unit(benchmark::kMillisecond);

// Both screens as corvantis-analyze --accel 0-60 --distance 440 runs them:
// over one replay, the log pumped and decoded once.
void BM_BothScreensOneReplay(benchmark::State& state) {
  const std::vector<uint8_t>& log = hourLog();
  analyze::TimingPassRequest request;
  request.acceleration = analyze::AccelerationDefinition{"0", "60"};
  request.distance = analyze::DistanceDefinition{"440"};
  size_t runs = 0;
  for (auto _ : state) {
    analyze::TimingSession session;
    loadSettingsDefaults(session.settings);
    const analyze::TimingPassRuns timed = analyze::runTimingPasses(log, session, request);
    runs = timed.acceleration.size() + timed.distance.size();
    benchmark::DoNotOptimize(runs);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(log.size()));
  state.counters["runs"] = static_cast<double>(runs);
}
BENCHMARK(BM_BothScreensOneReplay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvantis
