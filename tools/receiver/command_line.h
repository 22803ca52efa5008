#pragma once
// corvantis-receiver's command line.
#include <string>
#include <vector>

#include "tools/receiver/receiver_setup.h"

namespace corvantis::receiver {

struct CommandLine {
  std::string devicePath;  // from --port, --com N, or COM6's device
  SetupRequest request;
  bool help = false;
  bool version = false;
};

// The rates a receiver can be set to here: a whole number of ms between
// fixes, from 1 to 25 Hz.
bool validRate(int rateHz);
// The baud rates both the receivers and corvantis's configuration screen offer.
bool validBaud(long baud);

// args without the program's name. Answers false with `error` set.
bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error);

std::string usageText();

}  // namespace corvantis::receiver
