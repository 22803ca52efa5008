// --fixes LOG: every fix the device would have recorded from the log, as CSV.
#include <string>

#include "tools/analyze/log_replay.h"
#include "tools/analyze/modes.h"

namespace corvantis::analyze {
namespace {

int runFixes(const Arguments& args, const std::vector<uint8_t>& log, std::ostream& out, std::ostream&) {
  std::string csv;
  writeFixesCsv(log, csv, args.has("--any-talker") ? Talkers::Any : Talkers::GpsOnly);
  out << csv;
  return 0;
}

const ModeRegistration registration({
    "--fixes", nullptr,
    "print one CSV line per fix that moved the fix window: time_ms,latitude,longitude,altitude,speed_mph",
    runFixes});
// Read by every mode that replays a log.
const OptionRegistration anyTalkerOption({
    "--any-talker", nullptr,
    "take the GGA sentence of any talker ($GNGGA, $GLGGA, ...) as a $GPGGA"});

}  // namespace
}  // namespace corvantis::analyze
