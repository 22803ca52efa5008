#include "tools/corvantis/review_content.h"

#include <cmath>
#include <string>

#include "store/options_file.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis::demo {

namespace {

// The morning of the drives: 2026-12-05, and its midnight in calendar seconds.
const sim::UtcDate kDriveDate{2026, 12, 5};
constexpr uint32_t kDriveDateSeconds = 1796428800u;

std::vector<uint8_t> simulatedLog(const sim::Scenario& scenario, uint32_t startTimeOfDayMs, uint64_t seed,
                                  sim::SimResult* keep = nullptr) {
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.startDate = kDriveDate;
  receiver.startTimeOfDayMs = startTimeOfDayMs;
  receiver.seed = seed;
  sim::SimResult result = sim::simulate(scenario, receiver);
  const std::string text = sim::renderLog(result);
  if (keep != nullptr) *keep = std::move(result);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Laps of the built-in circuit as the lap screen stores them: the track from
// the first timed lap's fixes, then every lap with the trace of its fixes.
void addCircuitLaps(analyze::TimingSession& session, uint32_t startTimeOfDayMs) {
  sim::ScenarioParams params;
  params.laps = 4;
  sim::SimResult drive;
  simulatedLog(sim::lapsScenario(params), startTimeOfDayMs, 11, &drive);

  FixHistory history;
  int track = -1;
  size_t next = 0;
  const std::vector<sim::Epoch>& epochs = drive.epochs;
  const auto recordUpTo = [&](double dayMs) {
    for (; next < epochs.size() && static_cast<double>(epochs[next].dayMs) <= dayMs; ++next) {
      const sim::Epoch& e = epochs[next];
      if (!e.hasFix) continue;
      history.recordFix(e.reportedPosition.latitudeDeg, e.reportedPosition.longitudeDeg, e.reportedPosition.altitudeM,
                        e.timeOfDayMs);
    }
  };
  for (const sim::LapTruth& lap : drive.truth.circuit->laps) {
    recordUpTo(lap.startMs);
    history.startCapture(kDriveDateSeconds + history.newestFixTime() / 1000u);
    recordUpTo(lap.endMs + 100.0);
    if (track < 0) track = session.laps.createDefinition(history, 0, nullptr, "Demo circuit");
    session.laps.addLapTime(track, static_cast<uint32_t>(std::llround(lap.timeMs())),
                            static_cast<uint32_t>(std::llround(lap.startMs)), history.captureStamp(), history);
  }
}

}  // namespace

std::vector<uint8_t> reviewOptionsFile() {
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);

  sim::ScenarioParams accel;
  accel.runs = 3;
  accel.toMph = 75.0;
  accel.betweenS = 70.0;  // a driver cools off and turns round between runs
  const std::vector<uint8_t> accelLog = simulatedLog(sim::accelScenario(accel), 10u * 3600000u + 30u * 60000u, 3);
  analyze::runAccelerationPass(accelLog, session, {std::string("0"), std::string("60")});
  analyze::runAccelerationPass(accelLog, session, {std::string("30"), std::string("70")});

  sim::ScenarioParams quarter;
  quarter.runs = 2;
  quarter.betweenS = 90.0;
  const std::vector<uint8_t> quarterLog = simulatedLog(sim::quarterScenario(quarter), 10u * 3600000u + 50u * 60000u, 5);
  analyze::runDistancePass(quarterLog, session, std::string("440"));
  analyze::runDistancePass(quarterLog, session, std::string("220"));

  addCircuitLaps(session, 11u * 3600000u + 10u * 60000u);
  return encodeOptions(session.settings, session.records, session.laps);
}

}  // namespace corvantis::demo
