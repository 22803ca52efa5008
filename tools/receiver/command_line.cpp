#include "tools/receiver/command_line.h"

#include <cstdlib>

#include "platform/posix/serial_port.h"

namespace corvantis::receiver {
namespace {

// The program's default port, COM6.
constexpr int kDefaultCom = 6;

bool wholeNumber(const std::string& text, long& value) {
  if (text.empty() || text.size() > 9) return false;
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

}  // namespace

bool validRate(int rateHz) { return rateHz >= 1 && rateHz <= 25 && 1000 % rateHz == 0; }

bool validBaud(long baud) {
  for (const long b : {4800L, 9600L, 19200L, 38400L, 57600L, 115200L}) {
    if (baud == b) return true;
  }
  return false;
}

bool parseCommandLine(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
  const platform::ComDeviceTable table;
  bool portGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value (see --help)";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    long number = 0;
    if (arg == "--port" || arg == "--com") {
      if (portGiven) {
        error = "give the port once, with --port or --com";
        return false;
      }
      portGiven = true;
      if (!value(text)) return false;
      if (arg == "--port") {
        line.devicePath = text;
      } else if (!wholeNumber(text, number) || number < 1 || number > platform::kComPortCount) {
        error = "--com " + text + ": expected a port number from 1 to 8";
        return false;
      } else {
        line.devicePath = table.devicePath("COM" + std::to_string(number) + ":");
      }
    } else if (arg == "--rate") {
      if (!value(text)) return false;
      if (!wholeNumber(text, number) || !validRate(static_cast<int>(number))) {
        error = "--rate " + text + ": expected 1, 2, 4, 5, 8, 10, 20 or 25 (fixes a second)";
        return false;
      }
      line.request.rateHz = static_cast<int>(number);
    } else if (arg == "--baud") {
      if (!value(text)) return false;
      if (!wholeNumber(text, number) || !validBaud(number)) {
        error = "--baud " + text + ": expected 4800, 9600, 19200, 38400, 57600 or 115200";
        return false;
      }
      line.request.baud = static_cast<uint32_t>(number);
    } else if (arg == "--lean") {
      line.request.lean = true;
    } else if (arg == "--save") {
      line.request.save = true;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else {
      error = "unknown option " + arg + " (see --help)";
      return false;
    }
  }
  if (!portGiven) line.devicePath = table.devicePath("COM" + std::to_string(kDefaultCom) + ":");
  return true;
}

std::string usageText() {
  return R"(usage: corvantis-receiver [--port DEV | --com N] [--rate HZ] [--baud B] [--lean] [--save]

Sets a GPS receiver up for timing runs and laps: finds it on its port (a
u-blox receiver by its UBX version answer; MediaTek, Quectel, GlobalTop and
other PMTK receivers by theirs), sets its fix rate and, if asked, its baud
rate and the sentences it sends, saves, and then counts the fixes that
arrive for two seconds. It says what it found, what it did and the rate it
measures.

  --port DEV   the receiver's device (default /dev/ttyACM0, corvantis's COM6)
  --com N      the device of corvantis's port COMN (1..8; see corvantis --help)
  --rate HZ    fixes a second: 1, 2, 4, 5, 8, 10, 20 or 25 (default 10)
  --baud B     move the receiver's serial line to B baud (4800, 9600, 19200,
               38400, 57600 or 115200); then set the same rate on corvantis's
               configuration screen. A receiver on USB keeps its speed whatever
               this says.
  --lean       turn off the GSV, GSA and GLL sentences, which the timing does
               not read, so that the line carries what matters
  --save       keep the settings over a power cycle (u-blox: written to the
               receiver's flash and battery-backed memory; PMTK receivers keep
               them by themselves while their backup battery lasts)
  --help       show this text
  --version    show the version

Why 10 Hz: runs are timed between fixes. Most USB receivers start at 1 Hz,
where a run's start and finish fall up to half a second from a fix, and the
times read that far off. At 10 Hz (the default) every run is timed as
closely as the program can. 20 Hz is as good: the program keeps fixes at
least 100 ms apart (closer ones make its speeds noisy), and the extra fixes
still serve the time slips and the session log. At 25 Hz the fixes it keeps
come every 120 ms, 8.3 a second. Mind the line: at 9600 baud a receiver
sending every sentence cannot keep up beyond a few fixes a second; add
--baud 115200 or --lean.

Exit status: 0 done; 1 no receiver answered, or it stopped answering;
2 bad arguments or a port that cannot be opened; 3 the receiver refused a
setting; 4 afterwards it does not send the rate asked for.
)";
}

}  // namespace corvantis::receiver
