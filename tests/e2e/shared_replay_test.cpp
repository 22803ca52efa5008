// Both timing screens over one replay of a log, the distance screen's fix
// history following the acceleration screen's input reading by reading,
// must leave exactly what an acceleration pass followed by a distance pass
// leaves: the same runs, the same records (traces, order of the sets) and
// the same settings. Drives clean, with flipped bits, and with a receiver
// that falls silent long enough for the device error and the reopen.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/analyze/log_replay.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

using analyze::StoredRun;
using analyze::TimingPassRequest;
using analyze::TimingSession;

std::vector<uint8_t> drive(double corrupt, uint64_t seed, int runs) {
  sim::ScenarioParams params;
  params.runs = runs;
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.seed = seed;
  receiver.corruptProbability = corrupt;
  const std::string text = sim::renderLog(sim::simulate(sim::quarterScenario(params), receiver));
  return {text.begin(), text.end()};
}

// The log with the lines from `from` (a fraction of its length) on left out
// for `lines` lines: at 10 Hz with about 32 lines a second, 600 lines are
// some 19 s of silence, past the device error's 10 s.
std::vector<uint8_t> withSilence(const std::vector<uint8_t>& log, double from, int lines) {
  std::vector<uint8_t> out;
  const auto cutAt = static_cast<std::size_t>(static_cast<double>(log.size()) * from);
  int dropped = 0;
  for (std::size_t at = 0; at < log.size(); ++at) {
    const bool dropping = at >= cutAt && dropped < lines;
    if (!dropping) out.push_back(log[at]);
    if (dropping && log[at] == '\n') ++dropped;
  }
  return out;
}

void expectSameRuns(const std::vector<StoredRun>& shared, const std::vector<StoredRun>& alone) {
  ASSERT_EQ(shared.size(), alone.size());
  for (std::size_t i = 0; i < alone.size(); ++i) {
    EXPECT_EQ(shared[i].key, alone[i].key) << i;
    EXPECT_EQ(shared[i].timeMs, alone[i].timeMs) << i;
    EXPECT_EQ(shared[i].stamp, alone[i].stamp) << i;
    EXPECT_EQ(shared[i].storedAtFixMs, alone[i].storedAtFixMs) << i;
    EXPECT_EQ(shared[i].definition, alone[i].definition) << i;
  }
}

void expectSameRecords(const RunRecords& shared, const RunRecords& alone) {
  ASSERT_EQ(shared.sets().size(), alone.sets().size());
  for (std::size_t s = 0; s < alone.sets().size(); ++s) {
    const RecordSet& a = shared.sets()[s];
    const RecordSet& b = alone.sets()[s];
    EXPECT_EQ(a.key, b.key) << "set " << s;
    for (std::size_t r = 0; r < RecordSet::kSlots; ++r) {
      EXPECT_EQ(a.runs[r].timeMs, b.runs[r].timeMs) << "set " << s << " run " << r;
      EXPECT_EQ(a.runs[r].stamp, b.runs[r].stamp) << "set " << s << " run " << r;
      ASSERT_EQ(a.runs[r].trace.size(), b.runs[r].trace.size()) << "set " << s << " run " << r;
      for (std::size_t t = 0; t < a.runs[r].trace.size(); ++t) {
        EXPECT_EQ(a.runs[r].trace[t].time, b.runs[r].trace[t].time);
        EXPECT_EQ(a.runs[r].trace[t].speed, b.runs[r].trace[t].speed);
        EXPECT_EQ(a.runs[r].trace[t].distance, b.runs[r].trace[t].distance);
      }
    }
  }
}

// A session whose records already hold runs of both definitions, the
// distance set first, and one of them full (as a file used for a season).
TimingSession seasonSession(const std::vector<uint8_t>& earlier) {
  TimingSession session;
  loadSettingsDefaults(session.settings);
  analyze::runDistancePass(earlier, session, std::string("440"));
  analyze::runAccelerationPass(earlier, session, {"0", "60"});
  analyze::runAccelerationPass(earlier, session, {"0", "60"});
  return session;
}

// Ticks of a replay that reopened the port after the device error.
long reopensOf(const std::vector<uint8_t>& log) {
  analyze::Replay replay(log);
  analyze::StderrMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(replay.port(), boxes);
  replay.run(*gps);
  return replay.reopens();
}

TEST(SharedReplay, BothScreensLeaveWhatTwoPassesLeave) {
  const std::vector<uint8_t> earlier = drive(0.0, 9, 6);
  const struct {
    const char* what;
    std::vector<uint8_t> log;
  } logs[] = {
      {"clean", drive(0.0, 1, 4)},
      {"flipped bits", drive(0.01, 2, 4)},
      {"silent for 15 s", withSilence(drive(0.0, 3, 4), 0.4, 600)},
  };
  const struct {
    const char* what;
    analyze::AccelerationDefinition speeds;
    std::optional<std::string> distance;
  } definitions[] = {
      {"as stored", {}, std::nullopt},           // both sets exist in the season's records
      {"new definitions", {"20", "50"}, "220"},  // neither exists: both sets are new
  };
  ASSERT_GT(reopensOf(logs[2].log), 0);
  for (const auto& log : logs) {
    for (const auto& definition : definitions) {
      SCOPED_TRACE(std::string(log.what) + ", " + definition.what);
      TimingSession alone = seasonSession(earlier);
      TimingSession shared = seasonSession(earlier);
      ASSERT_EQ(shared.records.findRecordSet(accelerationKey(0, 60))->filledCount(), RecordSet::kSlots);

      const auto accel = analyze::runAccelerationPass(log.log, alone, definition.speeds);
      const auto distance = analyze::runDistancePass(log.log, alone, definition.distance);
      TimingPassRequest request;
      request.acceleration = definition.speeds;
      request.distance = analyze::DistanceDefinition{definition.distance};
      const analyze::TimingPassRuns both = analyze::runTimingPasses(log.log, shared, request);

      ASSERT_FALSE(accel.empty());
      ASSERT_FALSE(distance.empty());
      expectSameRuns(both.acceleration, accel);
      expectSameRuns(both.distance, distance);
      expectSameRecords(shared.records, alone.records);
      EXPECT_EQ(shared.settings.accelFrom, alone.settings.accelFrom);
      EXPECT_EQ(shared.settings.accelTo, alone.settings.accelTo);
      EXPECT_EQ(shared.settings.distance, alone.settings.distance);
    }
  }
}

}  // namespace
}  // namespace corvantis
