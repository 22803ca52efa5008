#include "tools/corvantis/demo_drive.h"

#include <chrono>
#include <cmath>
#include <filesystem>

#include "store/options_file.h"
#include "tools/sim/simulator.h"

namespace corvantis::demo {

Drive demoDrive() {
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;  // the most the 100 ms pump takes in: one fix a tick
  // Start at the present UTC time of day, so the receiver's clock reads as a
  // real one would.
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  receiver.startTimeOfDayMs = static_cast<uint32_t>(ms % 86400000) / 1000u * 1000u;
  const sim::SimResult result = sim::simulate(sim::demoScenario(), receiver);

  Drive drive;
  if (result.epochs.empty()) return drive;
  const double firstS = result.epochs.front().driveTimeS;
  for (const sim::Epoch& epoch : result.epochs) {
    const double atMs = std::round((epoch.driveTimeS - firstS) * 1000.0);
    drive.parts.push_back({static_cast<uint32_t>(atMs), epoch.text});
  }
  drive.roundMs = roundLengthMs(drive.parts);
  // The drive ends in the circuit's infield, away from the strip it starts on.
  closeTheLoop(drive);
  return drive;
}

std::string demoOptionsPath() {
  return (std::filesystem::path(defaultOptionsPath()).parent_path() / "demo-options.bin").string();
}

}  // namespace corvantis::demo
