#include "tools/corvantis/demo_drive.h"

#include <chrono>
#include <cmath>
#include <filesystem>

#include "store/options_file.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis::demo {

Drive demoDrive(bool fullSentenceSets, std::optional<uint32_t> startTimeOfDayMs) {
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;  // a fix a tick, what a driver sets the receiver to
  receiver.fullSentenceSets = fullSentenceSets;
  // Start at the present UTC time of day, so the receiver's clock reads as a
  // real one would.
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  receiver.startTimeOfDayMs = startTimeOfDayMs.value_or(static_cast<uint32_t>(ms % 86400000)) / 1000u * 1000u;
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

bool seedDemoCircuit(platform::Files& files, const std::string& path, std::string& error) {
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  // Judged by its size first: a file far larger than its counts allow is
  // damaged, and the program keeps it aside without reading it.
  const platform::FileRead read = readOptionsFile(files, path);
  if (read.status == platform::FileRead::Status::Ok) {
    if (!decodeOptions(read.bytes, session.settings, session.records, session.laps).ok()) return true;
    if (session.laps.count() > 0) return true;
  } else if (read.status != platform::FileRead::Status::NotFound) {
    return true;
  }

  // The drive as the demo plays it, from a fixed time of day: the track is
  // positions only.
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  const sim::SimResult result = sim::simulate(sim::demoScenario(), receiver);
  if (!result.truth.circuit || result.truth.circuit->laps.empty()) {
    error = "the demo drive has no lap to record the circuit from";
    return false;
  }
  std::string text;
  for (const sim::Epoch& epoch : result.epochs) text += epoch.text;
  const std::vector<uint8_t> log(text.begin(), text.end());

  // Recorded as a driver records it: started on the line, stopped a little
  // into the next lap, a split line where the car was at a third and at two
  // thirds of the lap.
  const sim::LapTruth& lap = result.truth.circuit->laps.front();
  analyze::LapDefineRequest request;
  request.name = kDemoCircuitName;
  request.fromMs = static_cast<uint32_t>(std::ceil(lap.startMs)) % 86400000u;
  request.toMs = (static_cast<uint32_t>(lap.endMs) + 10000u) % 86400000u;
  for (const sim::DistancePassing& split : lap.splits) {
    request.splitsMs.push_back(static_cast<uint32_t>(split.ms) % 86400000u);
  }
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  if (!made.created) {
    error = "cannot record the demo circuit: " + made.message;
    return false;
  }
  const OptionsSave saved = saveOptions(files, path, session.settings, session.records, session.laps);
  if (!saved.ok) {
    error = saved.message;
    return false;
  }
  return true;
}

std::string demoOptionsPath() {
  return (std::filesystem::path(defaultOptionsPath()).parent_path() / "demo-options.bin").string();
}

}  // namespace corvantis::demo
