// Slips of stored runs from the traces the meter's own screens keep.
#include "slip/stored_run_slip.h"

#include <gtest/gtest.h>

#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis::slip {
namespace {

struct Stored {
  sim::SimResult drive;
  analyze::TimingSession session;
};

// Quarter miles through the analyzer's timing passes: the records the
// screens stored, traces and all.
Stored storedQuarterMiles(int rateHz, bool noise) {
  sim::ScenarioParams params;
  params.runs = 2;
  params.speedsMph = {60.0};
  params.distancesM = {kRolloutM, 18.288, 201.168, 402.336};
  sim::ReceiverOptions receiver;
  receiver.rateHz = rateHz;
  receiver.noise = noise;
  receiver.seed = 5;
  Stored s{sim::simulate(sim::quarterScenario(params), receiver), {}};
  const std::string log = sim::renderLog(s.drive);
  const std::vector<uint8_t> bytes(log.begin(), log.end());
  loadSettingsDefaults(s.session.settings);
  analyze::runAccelerationPass(bytes, s.session, {"0", "60"});
  analyze::runDistancePass(bytes, s.session, std::string("440"));
  return s;
}

TEST(StoredRunSlip, FromTheTraceOfEachStoredQuarterMile) {
  for (const bool noise : {false, true}) {
    SCOPED_TRACE(noise ? "receiver noise" : "no noise");
    const Stored s = storedQuarterMiles(10, noise);
    const RecordSet* quarter = s.session.records.findRecordSet(distanceKey(402.336));
    ASSERT_NE(quarter, nullptr);
    ASSERT_EQ(quarter->filledCount(), 2);
    for (int r = 0; r < 2; ++r) {
      const RunRecord& run = quarter->runs[static_cast<size_t>(r)];
      const sim::StandingStart& truth = s.drive.truth.starts[static_cast<size_t>(r)];
      const std::optional<TimeSlip> slip = slipOfStoredRun(distanceKey(402.336), run, {});
      ASSERT_TRUE(slip.has_value()) << r;
      EXPECT_EQ(slip->source, SpeedSource::StoredTrace);
      EXPECT_NEAR(slip->launchMs, sim::timeOfDayMs(truth.launchMs), slip->launchPlusMinusMs);
      const double oneFootMs = *truth.distanceMs(kRolloutM);
      for (const auto& [key, metres] : {std::pair{"60ft", 18.288}, std::pair{"1/8", 201.168}, std::pair{"1/4", 402.336}}) {
        const MarkResult* mark = slip->mark(key);
        ASSERT_TRUE(mark != nullptr && mark->reached) << key;
        EXPECT_NEAR(mark->timeMs, *truth.distanceMs(metres) - truth.launchMs, mark->plusMinusMs) << key;
        const MarkResult& fromRollout = slip->rolloutMarks[static_cast<size_t>(mark - slip->marks.data())];
        EXPECT_NEAR(fromRollout.timeMs, *truth.distanceMs(metres) - oneFootMs, fromRollout.plusMinusMs) << key;
        if (!noise) {
          EXPECT_NEAR(fromRollout.timeMs, *truth.distanceMs(metres) - oneFootMs, 30.0) << key;
        }
      }
      // The trap at the quarter mile, from the trace's last fixes.
      const MarkResult* q = slip->mark("1/4");
      ASSERT_TRUE(q->hasTrap);
      EXPECT_GT(q->trapMps, 30.0);
    }
  }
}

TEST(StoredRunSlip, RunsWithoutAStandingStartOrATraceHaveNone) {
  const Stored s = storedQuarterMiles(10, false);
  const RecordSet* quarter = s.session.records.findRecordSet(distanceKey(402.336));
  ASSERT_NE(quarter, nullptr);
  const RunRecord& run = quarter->runs[0];
  struct Case {
    const char* name;
    RecordKey key;
    RunRecord record;
    NoSlip why;
  };
  RunRecord traceless = run;
  traceless.trace.clear();
  traceless.traceCount = 0;
  RunRecord standing = run;  // a trace that never leaves its first fix
  for (TraceSample& sample : standing.trace) sample.distance = 0.0f;
  const Case cases[] = {
      {"a roll-on from 30 mph", accelerationKey(30.0f, 70.0f), run, NoSlip::NotFromStandstill},
      {"no trace", distanceKey(402.336), traceless, NoSlip::NoTrace},
      {"never moves", distanceKey(402.336), standing, NoSlip::NoLaunch},
  };
  for (const Case& c : cases) {
    NoSlip why = NoSlip::NoTrace;
    EXPECT_FALSE(slipOfStoredRun(c.key, c.record, {}, &why).has_value()) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
    EXPECT_NE(std::string(noSlipText(why)), "") << c.name;
  }
}

}  // namespace
}  // namespace corvantis::slip
