// Cost of the crossing engine: the live test of one new fix against the six
// lines of a track with five split lines, one replay over a full 2048-fix
// capture (what a lap or split crossing costs), and the lap screen's test
// of whether the car is still on the track (every new fix while a lap is
// timed; arg 1: the car on the far side of the track, arg 0: 1 km off it).
//
//   build/release/bench/laps/laps_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "laps/lap_crossing.h"

namespace corvantis {
namespace {

// An oval of 400 points (about 2 km at 51.5 N) with five split lines.
LapDefinition ovalTrack() {
  LapDefinition d;
  constexpr int kPoints = 400;
  for (int i = 0; i < kPoints; ++i) {
    const double a = 2.0 * 3.141592653589793 * i / kPoints;
    d.track.push_back({-1.787 + 0.006 * std::sin(a), 51.572 - 0.003 * std::cos(a)});
  }
  d.splitLineCount = 5;
  for (int k = 0; k < 5; ++k) d.splitLines[static_cast<size_t>(k)] = d.track[static_cast<size_t>((k + 1) * 60)];
  return d;
}

// Fixes round the oval, 10 a second, at about 30 m/s.
std::vector<FixSample> fixesRound(const LapDefinition& d, int count) {
  std::vector<FixSample> fixes;
  const size_t n = d.track.size();
  for (int i = 0; i < count; ++i) {
    const double along = i * 0.6;  // track points a fix
    const size_t k = static_cast<size_t>(along);
    const double f = along - static_cast<double>(k);
    const TrackPoint& a = d.track[k % n];
    const TrackPoint& b = d.track[(k + 1) % n];
    FixSample s;
    s.longitude = a.longitude + (b.longitude - a.longitude) * f + 1e-6;
    s.latitude = a.latitude + (b.latitude - a.latitude) * f;
    s.speed = 67.0f;
    s.time = 45000000u + 100u * static_cast<uint32_t>(i);
    fixes.push_back(s);
  }
  return fixes;
}

void BM_LiveTestSixLines(benchmark::State& state) {
  const LapDefinition d = ovalTrack();
  LiveLapLines lines;
  lines.setDefinition(&d);
  const std::vector<FixSample> fixes = fixesRound(d, 4000);
  std::array<int, kMaxLapLines> crossed{};
  size_t i = 1;
  int crossings = 0;
  for (auto _ : state) {
    crossings += lines.test(fixes[i - 1], fixes[i], crossed);
    if (++i == fixes.size()) i = 1;
  }
  benchmark::DoNotOptimize(crossings);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LiveTestSixLines);

void BM_ReplayFullCapture(benchmark::State& state) {
  const LapDefinition d = ovalTrack();
  auto history = std::make_unique<FixHistory>();
  // Starts two fixes before the line: the capture holds the start crossing
  // and is full long before the lap ends, as a slow lap leaves it.
  std::vector<FixSample> fixes = fixesRound(d, 2700);
  const size_t start = fixes.size() - 2 - FixHistory::kCapacity + 700;
  for (int i = 0; i < FixHistory::kCapacity; ++i) {
    history->samples[static_cast<size_t>(i)] = fixes[(start + static_cast<size_t>(i)) % fixes.size()];
  }
  history->count = FixHistory::kCapacity;
  const LiveStep live{fixes[665], fixes[666]};
  const int target = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const LapTime t = lapTimeFromHistory(d, target, *history, &live);
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations() * FixHistory::kCapacity);
}
BENCHMARK(BM_ReplayFullCapture)->Arg(5)->Arg(0);

void BM_NearTrack(benchmark::State& state) {
  const LapDefinition d = ovalTrack();
  TrackPoint car = d.track[200];
  if (state.range(0) == 0) car.latitude += 0.01;
  bool near = false;
  for (auto _ : state) {
    near = nearTrack(d, car);
    benchmark::DoNotOptimize(near);
  }
  if (near != (state.range(0) == 1)) state.SkipWithError("the car is not where it should be");
}
BENCHMARK(BM_NearTrack)->Arg(1)->Arg(0);

}  // namespace
}  // namespace corvantis
