// End to end: the live delta over whole sessions, through the analyzer's
// lap pass (the real pump, decoder, fix history and lap screen). Where the
// truth is known, at every split line and at the finish, the delta at the
// crossing instant must be this lap's split (lap) time less the reference
// lap's. Simulated laps of varied pace at 10 Hz with receiver noise, and a
// real track session whose track is recorded from the drive itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/analyze/lap_delta_analysis.h"
#include "tools/analyze/log_replay.h"
#include "laps/lap_timing_screen.h"
#include "tools/sim/simulator.h"
#include "tests/support/recorded_tracks.h"

namespace corvantis {
namespace {

using analyze::DeltaAnalysis;
using analyze::LapDeltas;
using analyze::LapPassEvent;
using analyze::TimingSession;

struct Accuracy {
  std::vector<double> splitErrorsMs;   // delta at a split crossing - (split - reference split)
  std::vector<double> finishErrorsMs;  // delta at the end crossing - (lap - reference lap)
  std::vector<double> predictedErrorsMs[3];  // at 25, 50, 75 % of the reference path: predicted - lap time
};

double worst(const std::vector<double>& errors) {
  double w = 0.0;
  for (double e : errors) w = std::max(w, std::fabs(e));
  return w;
}
double meanAbsolute(const std::vector<double>& errors) {
  double sum = 0.0;
  for (double e : errors) sum += std::fabs(e);
  return errors.empty() ? 0.0 : sum / static_cast<double>(errors.size());
}

// The predicted lap time where the car passed `share` of the reference path.
bool predictedAt(const LapDeltas& deltas, double lengthM, double share, double& predictedMs) {
  const double x = lengthM * share;
  const analyze::DeltaRow* before = nullptr;
  for (const analyze::DeltaRow& row : deltas.rows) {
    if (!row.reading.placed || row.reading.stale) continue;
    if (row.reading.alongM >= x) {
      if (before == nullptr) return false;
      const double f = (x - before->reading.alongM) / (row.reading.alongM - before->reading.alongM);
      predictedMs = before->reading.predictedMs + (row.reading.predictedMs - before->reading.predictedMs) * f;
      return true;
    }
    before = &row;
  }
  return false;
}

Accuracy measure(const LapDefinition& track, const std::vector<uint8_t>& log, const std::vector<LapPassEvent>& events) {
  const std::vector<FixSample> fixes = analyze::logFixes(log, Talkers::GpsOnly);
  const DeltaAnalysis analysis = analyze::analyseDeltas(track, fixes, events, nullptr);
  // Split times of every lap by line.
  std::vector<std::map<int, uint32_t>> splitTimes;
  for (const LapDeltas& d : analysis.deltas) {
    std::map<int, uint32_t> byLine;
    for (const analyze::SplitDelta& s : d.splits) byLine[s.line] = events[s.event].event.timeMs;
    splitTimes.push_back(byLine);
  }
  // The laps with no reference have no split deltas of their own: take
  // their split times from the events between their start and end.
  for (size_t k = 0; k < analysis.deltas.size(); ++k) {
    if (!splitTimes[k].empty()) continue;
    const analyze::TimedLap& lap = analysis.laps[k];
    for (size_t e = 0; e < lap.event; ++e) {
      if (events[e].event.kind == LapEvent::Kind::Split && events[e].atFixMs > lap.startMs) {
        splitTimes[k][events[e].event.line] = events[e].event.timeMs;
      }
    }
  }
  Accuracy accuracy;
  for (size_t k = 0; k < analysis.deltas.size(); ++k) {
    const LapDeltas& d = analysis.deltas[k];
    if (d.referenceLap <= 0) continue;
    const size_t r = static_cast<size_t>(d.referenceLap - 1);
    for (const analyze::SplitDelta& s : d.splits) {
      EXPECT_TRUE(s.known) << "lap " << k + 1 << " split " << s.line;
      const auto ref = splitTimes[r].find(s.line);
      if (!s.known || ref == splitTimes[r].end()) continue;
      const double truth = static_cast<double>(events[s.event].event.timeMs) - ref->second;
      accuracy.splitErrorsMs.push_back(s.deltaMs - truth);
    }
    EXPECT_TRUE(d.finishDeltaMs.has_value()) << "lap " << k + 1;
    if (d.finishDeltaMs) {
      accuracy.finishErrorsMs.push_back(*d.finishDeltaMs -
                                        (static_cast<double>(d.lap->timeMs) - d.referenceTimeMs));
    }
    LapDelta engine;
    engine.setReference(&analysis.laps[r].path);
    for (int q = 0; q < 3; ++q) {
      double predicted = 0.0;
      if (predictedAt(d, engine.referenceLengthM(), 0.25 * (q + 1), predicted)) {
        accuracy.predictedErrorsMs[q].push_back(predicted - d.lap->timeMs);
      }
    }
  }
  return accuracy;
}

void report(const char* name, const Accuracy& a) {
  std::printf("%s: %zu splits, worst %.1f ms, mean %.1f ms; %zu finishes, worst %.1f ms, mean %.1f ms\n", name,
              a.splitErrorsMs.size(), worst(a.splitErrorsMs), meanAbsolute(a.splitErrorsMs), a.finishErrorsMs.size(),
              worst(a.finishErrorsMs), meanAbsolute(a.finishErrorsMs));
  for (int q = 0; q < 3; ++q) {
    std::printf("  predicted at %d %%: %zu laps, mean |error| %.0f ms, worst %.0f ms\n", 25 * (q + 1),
                a.predictedErrorsMs[q].size(), meanAbsolute(a.predictedErrorsMs[q]), worst(a.predictedErrorsMs[q]));
  }
}

// The built-in circuit at 10 Hz with noise: an out lap, then timed laps
// whose driver uses a different share of the car's power in each half lap.
struct SimulatedSession {
  uint64_t seed;
  std::vector<double> throttles;  // two a timed lap
};

Accuracy simulatedSession(const SimulatedSession& s) {
  sim::ScenarioParams params;
  params.laps = static_cast<int>(s.throttles.size() / 2);
  params.splitsM = {480.0, 1020.0, 1610.0};
  sim::Scenario scenario = sim::lapsScenario(params);
  const sim::CircuitPlacement& place = *scenario.circuit;
  const double lapM = place.circuit.lengthM();
  // The phase that drives every lap at full throttle, split at each half lap.
  std::vector<sim::Phase> phases;
  for (const sim::Phase& phase : scenario.phases) {
    if (phase.kind != sim::Phase::Kind::DriveTo || phase.toPathM != place.toPathM) {
      phases.push_back(phase);
      continue;
    }
    for (size_t h = 0; h < s.throttles.size(); ++h) {
      const double at = place.lapZeroPathM + lapM * (1.0 + 0.5 * static_cast<double>(h + 1));
      phases.push_back(sim::Phase::driveTo(at, false, s.throttles[h]));
    }
    phases.push_back(phase);
  }
  scenario.phases = phases;
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.seed = s.seed;
  const sim::SimResult result = sim::simulate(scenario, receiver);
  const std::vector<uint8_t> log = testing::logBytes(result);
  const analyze::LapDefineRequest request = testing::firstLapRecording(*result.truth.circuit);
  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  EXPECT_TRUE(made.created) << made.message;
  if (!made.created) return {};
  const std::vector<LapPassEvent> events = analyze::runLapPass(log, session, made.index);
  return measure(session.laps.at(made.index), log, events);
}

// The lap screen itself over a session: it keeps the first lap as the
// reference, shows each later lap's final difference at the line (its time
// less the fastest lap's before it, as the analyzer gives it) and the live
// delta during it, as the analyzer works it out.
TEST(LapDeltaEndToEndTest, TheLapScreenShowsWhatTheAnalyzerMeasures) {
  sim::ScenarioParams params;
  params.laps = 3;
  sim::Scenario scenario = sim::lapsScenario(params);
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.seed = 5;
  const sim::SimResult result = sim::simulate(scenario, receiver);
  const std::vector<uint8_t> log = testing::logBytes(result);
  const analyze::LapDefineRequest request = testing::firstLapRecording(*result.truth.circuit);
  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  ASSERT_TRUE(made.created) << made.message;

  std::vector<int32_t> finals;
  std::vector<uint32_t> referenceMs;  // the screen's reference lap time after each lap measured
  const std::vector<LapPassEvent> events =
      analyze::runLapPass(log, session, made.index, [&](const LapTimingScreen& screen, const platform::Dialog&) {
        const LiveDelta& delta = screen.delta();
        if (delta.measuredLaps() > static_cast<int>(finals.size())) {
          finals.push_back(delta.lastLapDeltaMs());
          referenceMs.push_back(delta.kept().reference.lapTimeMs);
        }
      });
  const std::vector<FixSample> fixes = analyze::logFixes(log, Talkers::GpsOnly);
  const DeltaAnalysis analysis = analyze::analyseDeltas(session.laps.at(made.index), fixes, events, nullptr);
  ASSERT_EQ(analysis.deltas.size(), 3u);
  ASSERT_EQ(finals.size(), 2u);
  uint32_t fastestMs = analysis.laps[0].timeMs;
  for (size_t k = 1; k < 3; ++k) {
    const LapDeltas& d = analysis.deltas[k];
    // Against the fastest lap before it, which the screen keeps.
    EXPECT_EQ(d.referenceTimeMs, fastestMs);
    EXPECT_EQ(finals[k - 1], static_cast<int32_t>(d.lap->timeMs) - static_cast<int32_t>(fastestMs));
    fastestMs = std::min(fastestMs, d.lap->timeMs);
    EXPECT_EQ(referenceMs[k - 1], fastestMs);
  }
}

TEST(LapDeltaEndToEndTest, SimulatedLapsOfVariedPaceAtTenHzWithNoise) {
  const std::vector<SimulatedSession> sessions = {
      {31, {0.80, 0.80, 1.00, 1.00, 0.90, 0.95, 1.00, 0.85}},
      {57, {1.00, 0.85, 0.85, 1.00, 0.95, 0.95, 0.80, 1.00}},
  };
  Accuracy all;
  for (const SimulatedSession& s : sessions) {
    const Accuracy a = simulatedSession(s);
    report(("seed " + std::to_string(s.seed)).c_str(), a);
    EXPECT_EQ(a.splitErrorsMs.size(), 3u * 3u);
    EXPECT_EQ(a.finishErrorsMs.size(), 3u);
    for (const double e : a.splitErrorsMs) EXPECT_LT(std::fabs(e), 20.0);
    for (const double e : a.finishErrorsMs) EXPECT_LT(std::fabs(e), 20.0);
  }
}

TEST(LapDeltaEndToEndTest, RealSessionRecordedWithThreeSplits) {
  const std::filesystem::path path = std::filesystem::path(CORV_SHARED_DATA_DIR) / "laps-real" / "session-47n.nmea";
  std::vector<uint8_t> log;
  std::string error;
  if (!std::filesystem::exists(path) || !analyze::readLogFile(path.string(), log, error)) {
    GTEST_SKIP() << "no real session at " << path;
  }
  const analyze::LapDefineRequest request = testing::session47nRecording();
  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  ASSERT_TRUE(made.created) << made.message;
  const std::vector<LapPassEvent> events = analyze::runLapPass(log, session, made.index);
  const Accuracy a = measure(session.laps.at(made.index), log, events);
  report("session 47N", a);
  // Four laps: the three after the first each measured against the fastest
  // before them, at three splits and the finish. The laps cross the line up
  // to 9 m apart along it, at 47 degrees north: the reference's ends must be
  // measured across the line as it runs, or the finish is 39 ms off.
  EXPECT_EQ(a.splitErrorsMs.size(), 3u * 3u);
  EXPECT_EQ(a.finishErrorsMs.size(), 3u);
  for (const double e : a.splitErrorsMs) EXPECT_LT(std::fabs(e), 20.0);
  for (const double e : a.finishErrorsMs) EXPECT_LT(std::fabs(e), 20.0);
}

}  // namespace
}  // namespace corvantis
