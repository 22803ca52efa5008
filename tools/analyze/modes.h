#pragma once
// The analyzer's command line is a table of modes and options that each mode
// file fills in for itself: add a mode by adding a mode_<name>.cpp with a
// ModeRegistration (and OptionRegistrations for options it reads); main
// needs no change.
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace corvantis::analyze {

struct Arguments {
  std::string mode;       // e.g. "--fixes"
  std::string modeValue;  // the mode's value when it takes one ("0-60")
  std::string logPath;
  std::map<std::string, std::string> options;  // given options; value "" for a flag (the last one given)
  std::map<std::string, std::vector<std::string>> optionValues;  // every value of each option, in order

  bool has(const std::string& name) const { return options.count(name) != 0; }
  std::string value(const std::string& name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
  // Every value of an option given more than once ("--split A --split B").
  std::vector<std::string> values(const std::string& name) const {
    const auto it = optionValues.find(name);
    return it == optionValues.end() ? std::vector<std::string>() : it->second;
  }
};

struct Mode {
  const char* name;       // "--fixes"
  const char* valueName;  // nullptr, or the value it takes in the usage text ("FROM-TO")
  const char* help;       // one line
  // Works over the log's bytes; answers the exit status (0 success, 1 no
  // result, 2 bad input). Results go to `out`, messages to `err`.
  int (*run)(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream& err);
};

struct Option {
  const char* name;       // "--metric"
  const char* valueName;  // nullptr for a flag, else "FILE" and so on
  const char* help;
};

struct ModeRegistration {
  explicit ModeRegistration(const Mode& mode);
};
struct OptionRegistration {
  explicit OptionRegistration(const Option& option);
};

const std::vector<Mode>& registeredModes();
const std::vector<Option>& registeredOptions();

}  // namespace corvantis::analyze
