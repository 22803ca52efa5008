// corvantis-receiver: sets a GPS receiver's fix rate (and its baud rate and
// sentences) for timing, and checks the result by counting its fixes.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "tools/receiver/command_line.h"
#include "tools/receiver/posix_line.h"
#include "tools/receiver/receiver_setup.h"

int main(int argc, char** argv) {
  using namespace corvantis::receiver;
  CommandLine line;
  std::string error;
  if (!parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line, error)) {
    std::fprintf(stderr, "corvantis-receiver: %s\n", error.c_str());
    return kExitUsage;
  }
  if (line.help) {
    std::cout << usageText();
    return kExitDone;
  }
  if (line.version) {
    std::cout << "corvantis-receiver 1.0.0\n";
    return kExitDone;
  }
  PosixReceiverLine receiverLine(line.devicePath);
  if (!receiverLine.open(line.request.searchBauds.front(), error)) {
    std::fprintf(stderr, "corvantis-receiver: %s\n", error.c_str());
    return kExitUsage;
  }
  std::cout << "port: " << line.devicePath << std::endl;
  ReceiverSetup setup(receiverLine, [](const std::string& text) { std::cout << text << std::endl; });
  const SetupResult result = setup.run(line.request);
  if (result.exitCode != kExitDone) {
    std::fprintf(stderr, "corvantis-receiver: %s\n", result.message.c_str());
    return result.exitCode;
  }
  std::cout << "done: corvantis reads this receiver at its full rate";
  if (line.request.baud) std::cout << " (set its configuration screen to " << *line.request.baud << " baud)";
  std::cout << std::endl;
  return kExitDone;
}
