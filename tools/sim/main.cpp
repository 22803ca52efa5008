// corvantis-sim: writes a simulated NMEA drive and its true event times.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/sim/command_line.h"
#include "tools/sim/simulator.h"

namespace {

// Writes the whole text or reports why not; a partial file is an error too.
bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) {
    std::cerr << "corvantis-sim: cannot open " << path << " for writing\n";
    return false;
  }
  f.write(text.data(), static_cast<std::streamsize>(text.size()));
  f.close();
  if (!f) {
    std::cerr << "corvantis-sim: writing " << path << " failed\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvantis::sim;
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandLine cl;
  try {
    cl = parseCommandLine(args);
  } catch (const std::exception& e) {
    std::cerr << "corvantis-sim: " << e.what() << "\n";
    return 2;
  }
  if (cl.help) {
    std::cout << usageText();
    return 0;
  }
  SimResult result;
  try {
    Scenario scenario = scenarioByName(cl.scenario, cl.scenarioParams);
    if (cl.parking.parkS > 0.0) scenario = parkOnTheLine(scenario, cl.parking);
    result = simulate(scenario, cl.receiver, cl.drive);
    jitterStandingFixes(result, cl.receiver, cl.parking.jitterM, cl.receiver.seed);
  } catch (const std::exception& e) {
    std::cerr << "corvantis-sim: " << e.what() << "\n";
    return 1;
  }
  const std::string log = renderLog(result);
  if (cl.outputPath.empty() || cl.outputPath == "-") {
    std::cout.write(log.data(), static_cast<std::streamsize>(log.size()));
    std::cout.flush();
    if (!std::cout) {
      std::cerr << "corvantis-sim: writing the log to standard output failed\n";
      return 1;
    }
  } else if (!writeFile(cl.outputPath, log)) {
    return 1;
  }
  if (!cl.truthPath.empty() && !writeFile(cl.truthPath, renderTruth(result))) return 1;
  return 0;
}
