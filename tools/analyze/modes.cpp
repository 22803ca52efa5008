#include "tools/analyze/modes.h"

namespace corvantis::analyze {
namespace {

// Function-local tables: safe whatever order the mode files register in.
std::vector<Mode>& modeTable() {
  static std::vector<Mode> table;
  return table;
}
std::vector<Option>& optionTable() {
  static std::vector<Option> table;
  return table;
}

}  // namespace

ModeRegistration::ModeRegistration(const Mode& mode) { modeTable().push_back(mode); }
OptionRegistration::OptionRegistration(const Option& option) { optionTable().push_back(option); }
const std::vector<Mode>& registeredModes() { return modeTable(); }
const std::vector<Option>& registeredOptions() { return optionTable(); }

}  // namespace corvantis::analyze
