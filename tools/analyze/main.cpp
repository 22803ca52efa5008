// corvantis-analyze: runs the GPS input (and the timing code, in the modes
// that use it) over a recorded NMEA log, without a window.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "gps/nmea_decoder.h"
#include "tools/analyze/log_replay.h"
#include "tools/analyze/modes.h"

namespace {

using corvantis::analyze::Arguments;
using corvantis::analyze::Mode;
using corvantis::analyze::Option;

constexpr int kExitBadInput = 2;

void printUsage(std::ostream& out) {
  out << "usage: corvantis-analyze [OPTION...] MODE LOG\n\n"
         "Replays a recorded NMEA 0183 log through the sentence pump and decoder\n"
         "with a simulated clock (a tick every 100 ms of the log's UTC time) and\n"
         "prints what the device would have recorded.\n\nmodes:\n";
  for (const Mode& mode : corvantis::analyze::registeredModes()) {
    std::string name = mode.name;
    if (mode.valueName != nullptr) name += std::string(" ") + mode.valueName;
    out << "  " << name << (name.size() < 22 ? std::string(22 - name.size(), ' ') : "  ") << mode.help << "\n";
  }
  out << "\noptions:\n";
  for (const Option& option : corvantis::analyze::registeredOptions()) {
    std::string name = option.name;
    if (option.valueName != nullptr) name += std::string(" ") + option.valueName;
    out << "  " << name << (name.size() < 22 ? std::string(22 - name.size(), ' ') : "  ") << option.help << "\n";
  }
  out << "  --help                show this text\n\n"
         "Exit status: 0 done, 1 the timing modes stored no run, 2 bad arguments, a log\n"
         "or an options file that cannot be read, 3 the options file could not be saved,\n"
         "4 another program held the options file (it is waited for a few seconds).\n";
}

const Mode* findMode(const std::string& name) {
  for (const Mode& mode : corvantis::analyze::registeredModes()) {
    if (name == mode.name) return &mode;
  }
  return nullptr;
}

const Option* findOption(const std::string& name) {
  for (const Option& option : corvantis::analyze::registeredOptions()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// The tag of the first GGA sentence of another talker in a log that holds
// no $GPGGA at all ("" otherwise): such a log gives no fix without --any-talker.
std::string otherTalkerOnly(const std::vector<uint8_t>& log) {
  std::string tag;
  for (std::size_t at = 0; at + 6 <= log.size(); ++at) {
    if (log[at] != '$') continue;
    const char text[7] = {'$', static_cast<char>(log[at + 1]), static_cast<char>(log[at + 2]),
                          static_cast<char>(log[at + 3]), static_cast<char>(log[at + 4]),
                          static_cast<char>(log[at + 5]), '\0'};
    if (std::strcmp(text, "$GPGGA") == 0) return {};
    if (tag.empty() && corvantis::isGgaOfAnyTalker(text)) tag = text;
  }
  return tag;
}

int usageError(const std::string& message) {
  std::cerr << "corvantis-analyze: " << message << "\n"
            << "Try 'corvantis-analyze --help'.\n";
  return kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  const Mode* mode = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      printUsage(std::cout);
      return 0;
    }
    std::string inlineValue;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const auto equals = arg.find('=');
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        hasInlineValue = true;
        arg.erase(equals);
      }
    }
    // The value of a mode or an option: "--name=VALUE" or the next argument.
    auto takeValue = [&](const char* valueName, std::string& value) {
      if (hasInlineValue) {
        value = inlineValue;
        return true;
      }
      if (i + 1 >= argc) {
        usageError(arg + " needs " + valueName);
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (const Mode* found = findMode(arg)) {
      if (mode != nullptr) return usageError("give one mode only (" + std::string(mode->name) + " and " + arg + ")");
      mode = found;
      args.mode = arg;
      if (found->valueName != nullptr && !takeValue(found->valueName, args.modeValue)) return kExitBadInput;
      if (found->valueName == nullptr && hasInlineValue) return usageError(arg + " takes no value");
    } else if (const Option* option = findOption(arg)) {
      std::string value;
      if (option->valueName != nullptr && !takeValue(option->valueName, value)) return kExitBadInput;
      if (option->valueName == nullptr && hasInlineValue) return usageError(arg + " takes no value");
      args.options[arg] = value;
      args.optionValues[arg].push_back(value);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else if (args.logPath.empty()) {
      args.logPath = arg;
    } else {
      return usageError("one log only (" + args.logPath + " and " + arg + ")");
    }
  }
  // --accel and --distance name the timing passes to run: they imply that mode.
  if (mode == nullptr && (args.has("--accel") || args.has("--distance"))) mode = findMode("--timing");
  if (mode == nullptr) return usageError("no mode given");
  if (args.logPath.empty()) return usageError("no log given");

  std::vector<uint8_t> log;
  std::string error;
  if (!corvantis::analyze::readLogFile(args.logPath, log, error)) {
    std::cerr << "corvantis-analyze: " << error << "\n";
    return kExitBadInput;
  }
  if (!args.has("--any-talker")) {
    if (const std::string tag = otherTalkerOnly(log); !tag.empty()) {
      std::cerr << "corvantis-analyze: the log holds " << tag << ", not $GPGGA: run it with --any-talker\n";
    }
  }
  const int status = mode->run(args, log, std::cout, std::cerr);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "corvantis-analyze: writing the output failed\n";
    return 1;
  }
  return status;
}
