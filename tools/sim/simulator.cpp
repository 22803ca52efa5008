#include "tools/sim/simulator.h"

namespace corvantis::sim {

SimResult simulate(const Scenario& scenario, const ReceiverOptions& receiver, const DriveOptions& drive) {
  receiver.validate();
  SimResult r;
  r.trace = runDrive(scenario.path, scenario.car, scenario.phases, drive);
  ReceiverOutput rx = sampleDrive(scenario, r.trace, receiver);
  r.epochs = std::move(rx.epochs);
  r.truth = extractTruth(scenario, r.trace, static_cast<double>(receiver.startTimeOfDayMs));
  r.truth.seed = receiver.seed;
  // The shaped runs' launches, in order: one standing start each.
  size_t start = 0;
  for (const Phase& phase : scenario.phases) {
    if (phase.kind != Phase::Kind::Run) continue;
    if (phase.launchShape && start < r.truth.starts.size()) r.truth.starts[start].launch = phase.launchShape->description;
    ++start;
  }
  r.truth.rateHz = receiver.rateHz;
  r.truth.startYear = receiver.startDate.year;
  r.truth.startMonth = receiver.startDate.month;
  r.truth.startDay = receiver.startDate.day;
  for (const auto& [from, to] : rx.dropoutsMs) r.truth.dropouts.push_back({from, to});
  r.truth.corruptedSentences = rx.corruptedSentences;
  r.truth.binaryBursts = rx.binaryBursts;
  return r;
}

std::string renderLog(const SimResult& result) {
  std::string s;
  for (const Epoch& e : result.epochs) s += e.text;
  return s;
}

std::string renderTruth(const SimResult& result) { return renderTruthJson(result.truth); }

}  // namespace corvantis::sim
