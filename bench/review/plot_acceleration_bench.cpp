// Cost of the plot's acceleration: a full trace (2048 samples, 10 Hz) of a
// car that speeds up, shifts and brakes, its distances jittered by 10 cm.
// The plot screen works it out once per run when it opens.
//
//   build/release/bench/review/plot_acceleration_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "review/plot_geometry.h"

namespace corvantis {
namespace {

std::vector<TraceSample> fullTrace() {
  std::vector<TraceSample> trace;
  double speed = 0.0, distance = 0.0;
  uint64_t state = 7;
  for (int i = 0; i < 2048; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const double jitter = 0.1 * (static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5);
    trace.push_back({static_cast<uint32_t>(1000000 + 100 * i), static_cast<float>(speed / 0.44704),
                     static_cast<float>(distance + jitter)});
    const double phase = std::fmod(i * 0.1, 8.0);
    const double a = phase < 5.0 ? 4.0 : phase < 5.3 ? 0.0 : -7.0;
    speed = std::max(0.0, speed + a * 0.1);
    distance += speed * 0.1;
  }
  return trace;
}

void BM_TraceAcceleration(benchmark::State& state) {
  const std::vector<TraceSample> trace = fullTrace();
  for (auto _ : state) {
    benchmark::DoNotOptimize(traceAccelerationMilliG(trace, trace.size()));
  }
}
BENCHMARK(BM_TraceAcceleration)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvantis

BENCHMARK_MAIN();
