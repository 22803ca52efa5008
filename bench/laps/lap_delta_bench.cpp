// Cost of the live delta: one fix placed on a 2048-point reference path (a
// winding lap of about 4.5 km sampled every 2.2 m), and the allocations that
// placing makes (none are allowed).
//
//   build/release/bench/laps/lap_delta_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "laps/lap_delta.h"

#include "bench/laps/allocation_count.h"

namespace corvantis {
namespace {

constexpr int kReferencePoints = 2048;
constexpr double kPi = 3.141592653589793;

// A closed, winding loop: a circle of 700 m radius with a ripple of 60 m.
TrackPoint loopAt(double u) {
  const double a = 2.0 * kPi * u;
  const double r = 700.0 + 60.0 * std::sin(9.0 * a);
  const double metresPerDegree = 111195.0;
  return TrackPoint{-1.5 + r * std::sin(a) / (metresPerDegree * std::cos(52.0 * kPi / 180.0)),
                    52.0 - r * std::cos(a) / metresPerDegree};
}

ReferenceLap reference() {
  ReferenceLap lap;
  lap.lapTimeMs = 150000;
  for (int i = 0; i < kReferencePoints; ++i) {
    const double u = static_cast<double>(i) / (kReferencePoints - 1);
    const TrackPoint p = loopAt(u);
    lap.path.push_back({p.longitude, p.latitude, static_cast<uint32_t>(std::lround(u * lap.lapTimeMs))});
  }
  return lap;
}

// The next lap at 10 fixes a second, a little slower, 1.5 m off the
// reference's line.
std::vector<FixSample> lapFixes() {
  std::vector<FixSample> fixes;
  const int count = 1515;
  for (int i = 1; i < count; ++i) {
    const double u = static_cast<double>(i) / count;
    const TrackPoint p = loopAt(u);
    FixSample f;
    f.longitude = p.longitude + 1.5 / 68000.0 * std::sin(i * 0.37);
    f.latitude = p.latitude;
    f.time = 36000000u + 100u * static_cast<uint32_t>(i);
    fixes.push_back(f);
  }
  return fixes;
}

void BM_DeltaPerFix(benchmark::State& state) {
  const ReferenceLap lap = reference();
  const std::vector<FixSample> fixes = lapFixes();
  LapDelta delta;
  delta.setReference(&lap);
  const TrackPoint start{lap.path.front().longitude, lap.path.front().latitude};
  delta.startLap(36000000u, start);
  size_t i = 0;
  double sum = 0.0;
  long stale = 0;
  const long allocationsBefore = allocationCount();
  for (auto _ : state) {
    const DeltaReading& r = delta.update(fixes[i]);
    sum += r.deltaMs;
    stale += r.stale ? 1 : 0;
    if (++i == fixes.size()) {
      i = 0;
      delta.startLap(36000000u, start);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["allocations_per_fix"] =
      benchmark::Counter(static_cast<double>(allocationCount() - allocationsBefore) /
                         static_cast<double>(state.iterations()));
  state.counters["stale_share"] = benchmark::Counter(static_cast<double>(stale) / state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DeltaPerFix);

// The worst fix: the first after a receiver gave none for half the lap,
// when the window spans every segment from the lap's start to well past
// the car.
void BM_DeltaRejoinAfterHalfALapWithoutFixes(benchmark::State& state) {
  const ReferenceLap lap = reference();
  const std::vector<FixSample> fixes = lapFixes();
  LapDelta delta;
  delta.setReference(&lap);
  const TrackPoint start{lap.path.front().longitude, lap.path.front().latitude};
  const FixSample& rejoin = fixes[fixes.size() / 2];
  double sum = 0.0;
  for (auto _ : state) {
    delta.startLap(36000000u, start);
    sum += delta.update(rejoin).deltaMs;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DeltaRejoinAfterHalfALapWithoutFixes);

}  // namespace
}  // namespace corvantis
