#pragma once
// A simulated drive, end to end: run a scenario's script through the car
// model, sample it with the receiver, and report the true instants.
//
//   using namespace corvantis::sim;
//   ReceiverOptions rx;
//   rx.rateHz = 10;
//   rx.noise = false;
//   SimResult r = simulate(quarterScenario(), rx);
//   // r.epochs[i].text: the bytes to write at r.epochs[i].timeOfDayMs
//   // r.truth.starts[0].distances: true quarter-mile instant, in ms
#include <string>
#include <vector>

#include "tools/sim/drive.h"
#include "tools/sim/receiver.h"
#include "tools/sim/scenario.h"
#include "tools/sim/truth.h"

namespace corvantis::sim {

struct SimResult {
  std::vector<Epoch> epochs;  // one per fix, in time order
  Truth truth;
  DriveTrace trace;           // the fine integration (drive time in seconds)
};

// Throws std::invalid_argument for options or a script that cannot be run.
SimResult simulate(const Scenario& scenario, const ReceiverOptions& receiver, const DriveOptions& drive = {});

// The whole log: every epoch's bytes in order.
std::string renderLog(const SimResult& result);
// The truth as JSON.
std::string renderTruth(const SimResult& result);

}  // namespace corvantis::sim
