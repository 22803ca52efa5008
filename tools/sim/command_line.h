#pragma once
// The corvantis-sim command line, parsed into the library's options.
#include <string>
#include <vector>

#include "tools/sim/drive.h"
#include "tools/sim/parking.h"
#include "tools/sim/receiver.h"
#include "tools/sim/scenario.h"

namespace corvantis::sim {

struct CommandLine {
  bool help = false;
  std::string scenario = "demo";
  ScenarioParams scenarioParams;
  ReceiverOptions receiver;
  DriveOptions drive;
  ParkingParams parking;
  std::string outputPath;  // empty or "-": standard output
  std::string truthPath;   // empty: no truth file
};

// args without the program name. Throws std::invalid_argument with a
// message that names the bad option or value.
CommandLine parseCommandLine(const std::vector<std::string>& args);

std::string usageText();

}  // namespace corvantis::sim
