// What a simulated drive costs: the demo receiver builds one per round and
// the end-to-end tests build dozens.
#include <benchmark/benchmark.h>

#include "tools/sim/simulator.h"

namespace {

using namespace corvantis::sim;

void BM_DemoDrive(benchmark::State& state) {
  ReceiverOptions rx;
  rx.rateHz = static_cast<int>(state.range(0));
  const Scenario demo = demoScenario();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const SimResult r = simulate(demo, rx);
    bytes = renderLog(r).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["log_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DemoDrive)->Arg(1)->Arg(10)->Arg(25)->Unit(benchmark::kMillisecond);

void BM_QuarterIntegrationOnly(benchmark::State& state) {
  const Scenario q = quarterScenario();
  DriveOptions options;
  options.stepS = 1e-3 / static_cast<double>(state.range(0));
  for (auto _ : state) {
    const DriveTrace t = runDrive(q.path, q.car, q.phases, options);
    benchmark::DoNotOptimize(t.steps.size());
  }
}
BENCHMARK(BM_QuarterIntegrationOnly)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
