// The corvantis program: the Qt window, the termios serial port and the
// shell. Also the demo receiver (--demo, --nmea) and the screenshot mode.
#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/application.h"
#include "gps/fix_rate_watch.h"
#include "platform/posix/clock.h"
#include "platform/posix/gpsd_port.h"
#include "platform/posix/files.h"
#include "platform/posix/pseudo_terminal.h"
#include "platform/posix/serial_port.h"
#include "platform/posix/session_log.h"
#include "platform/qt/qt_window_system.h"
#include "platform/qt/window_scale.h"
#include "store/options_file.h"
#include "tools/corvantis/demo_drive.h"
#include "tools/corvantis/receiver_feeder.h"
#include "tools/corvantis/screenshots.h"

namespace {

using namespace corvantis;

constexpr const char* kVersion = "corvantis 1.0.0";
// Exit status when another program holds the options file.
constexpr int kExitOptionsInUse = 4;
// How long a start waits for the options file: long enough for a reader
// such as corvantis-records to finish, short enough to be an answer.
constexpr uint32_t kLockWaitMs = 2000;

struct CommandLine {
  bool demo = false;
  bool fullSentences = false;
  std::string nmeaLog;
  std::string optionsPath;
  std::optional<bool> landscape;
  std::optional<int> scale;  // --scale; otherwise from the screen
  bool fullScreen = false;
  bool anyTalker = false;
  bool gpsd = false;
  std::string gpsdHost = platform::kGpsdDefaultHost;
  uint16_t gpsdPort = platform::kGpsdDefaultPort;
  std::string screenshotDir;
  bool sessionLog = true;
  uint64_t sessionLogLimitBytes = platform::kDefaultSessionLogLimitBytes;
  bool help = false;
  bool version = false;
  platform::ComDeviceTable comDevices;
};

void printUsage(const CommandLine& line) {
  std::printf(
      "Usage: corvantis [OPTION]...\n"
      "A GPS vehicle performance meter: acceleration runs, distance runs and laps\n"
      "timed from the NMEA 0183 sentences of a GPS receiver on a serial device\n"
      "or through gpsd.\n"
      "\n"
      "  --demo             feed the program from a built-in simulated receiver\n"
      "                     (a drive of launches, a quarter mile and laps, played\n"
      "                     again and again); its data is kept in a file of its own\n"
      "  --full-sentences   with --demo: the simulated receiver sends the whole\n"
      "                     sentence set of a multi-system receiver each fix (GSA\n"
      "                     and GSV of four satellite systems, about 1.5 KB)\n"
      "  --nmea FILE        feed the program from a recorded NMEA log at its pace,\n"
      "                     again and again, like --demo\n"
      "  --options PATH     read and save the options file at PATH\n"
      "                     (default %s)\n"
      "  --com N=PATH       let port COMN (N = 1..8) be the device at PATH\n"
      "  --gpsd [HOST[:PORT]]  read the receiver through a running gpsd (default\n"
      "                     localhost:2947) instead of a serial device; the port and\n"
      "                     rate of the configuration screen then do not matter\n"
      "  --any-talker       take the GGA sentence of any talker ($GNGGA, $GLGGA,\n"
      "                     $GAGGA, $BDGGA, ...) as a $GPGGA: for receivers that\n"
      "                     combine several satellite systems\n"
      "  --portrait         use the portrait layouts (240 x 320)\n"
      "  --landscape        use the landscape layouts (320 x 240)\n"
      "  --scale N          enlarge the window N times (1..8); without it the window\n"
      "                     takes the largest whole scale that fits in about two\n"
      "                     thirds of the screen's height\n"
      "  --fullscreen       fill the display, as on a handheld\n"
      "  --no-log           keep no log of this session's receiver data\n"
      "  --log-limit SIZE   keep the session logs under SIZE together (such as 500M\n"
      "                     or 4G; default 2G), removing the oldest\n"
      "  --screenshots DIR  write a PNG of every screen in both layouts to DIR, then exit\n"
      "  --help             show this text and the port table, then exit\n"
      "  --version          show the version, then exit\n"
      "\n"
      "Ports (the configuration screen's COM1..COM8; change with --com):\n%s"
      "\n"
      "--demo and --nmea keep their runs in %s.\n"
      "Every run, lap, track and setting is saved as it is stored; closing the window,\n"
      "Ctrl+C and SIGTERM end the program normally and it saves once more. One\n"
      "program at a time holds an options file.\n"
      "With a receiver (not --demo or --nmea), every byte it sends is also kept in\n"
      "%s/YYYY-MM-DD_HHMMSSZ.nmea (UTC at the start),\n"
      "which corvantis-analyze can time again.\n"
      "Every message it shows also goes to standard error. Exit status: 0; 1 when\n"
      "the session could not be saved at the end of Ctrl+C or SIGTERM (the reason on\n"
      "standard error) or the program could not start; 2 for a mistake on the\n"
      "command line; 4 when another program holds the options file.\n",
      defaultOptionsPath().c_str(), line.comDevices.describe().c_str(), demo::demoOptionsPath().c_str(),
      defaultSessionsFolder().c_str());
}

// Answers false after telling what is wrong.
bool parse(int argc, char** argv, CommandLine& line) {
  const auto value = [&](int& i, const std::string& flag, std::string& out) {
    if (i + 1 >= argc) {
      std::fprintf(stderr, "corvantis: %s needs a value (see --help)\n", flag.c_str());
      return false;
    }
    out = argv[++i];
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string text;
    if (arg == "--demo") {
      line.demo = true;
    } else if (arg == "--full-sentences") {
      line.fullSentences = true;
    } else if (arg == "--nmea") {
      if (!value(i, arg, line.nmeaLog)) return false;
    } else if (arg == "--options") {
      if (!value(i, arg, line.optionsPath)) return false;
    } else if (arg == "--com") {
      if (!value(i, arg, text)) return false;
      // Exactly the port's digit before "=": "06" or "6:" name no port of the table.
      const bool oneDigit = text.size() >= 2 && text[0] >= '1' && text[0] <= '8' && text[1] == '=';
      if (!oneDigit || !platform::applyComOption(line.comDevices, text)) {
        std::fprintf(stderr, "corvantis: --com %s: expected N=PATH with N from 1 to 8\n", text.c_str());
        return false;
      }
    } else if (arg == "--gpsd") {
      line.gpsd = true;
      // The address is optional: a next argument that is no option is it.
      if (i + 1 < argc && argv[i + 1][0] != '-') {
        text = argv[++i];
        if (!platform::parseGpsdAddress(text, line.gpsdHost, line.gpsdPort)) {
          std::fprintf(stderr, "corvantis: --gpsd %s: expected HOST, HOST:PORT or [ADDRESS]:PORT\n", text.c_str());
          return false;
        }
      }
    } else if (arg == "--any-talker") {
      line.anyTalker = true;
    } else if (arg == "--portrait" || arg == "--landscape") {
      const bool landscape = arg == "--landscape";
      if (line.landscape && *line.landscape != landscape) {
        std::fprintf(stderr, "corvantis: --portrait and --landscape cannot be used together\n");
        return false;
      }
      line.landscape = landscape;
    } else if (arg == "--scale") {
      if (!value(i, arg, text)) return false;
      char* end = nullptr;
      const long n = std::strtol(text.c_str(), &end, 10);
      if (end == text.c_str() || *end != '\0' || n < 1 || n > 8) {
        std::fprintf(stderr, "corvantis: --scale %s: expected a whole number from 1 to 8\n", text.c_str());
        return false;
      }
      line.scale = static_cast<int>(n);
    } else if (arg == "--fullscreen") {
      line.fullScreen = true;
    } else if (arg == "--no-log") {
      line.sessionLog = false;
    } else if (arg == "--log-limit") {
      if (!value(i, arg, text)) return false;
      if (!platform::parseByteSize(text, line.sessionLogLimitBytes)) {
        std::fprintf(stderr, "corvantis: --log-limit %s: expected a size such as 500M or 2G\n", text.c_str());
        return false;
      }
    } else if (arg == "--screenshots") {
      if (!value(i, arg, line.screenshotDir)) return false;
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else {
      std::fprintf(stderr, "corvantis: unknown option %s (see --help)\n", arg.c_str());
      return false;
    }
  }
  if (line.fullSentences && !line.demo) {
    std::fprintf(stderr, "corvantis: --full-sentences goes with --demo\n");
    return false;
  }
  if (line.demo && !line.nmeaLog.empty()) {
    std::fprintf(stderr, "corvantis: --demo and --nmea cannot be used together\n");
    return false;
  }
  if (line.gpsd && (line.demo || !line.nmeaLog.empty())) {
    std::fprintf(stderr, "corvantis: --gpsd cannot be used with --demo or --nmea\n");
    return false;
  }
  return true;
}

bool haveDisplay() {
  const auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// SIGINT and SIGTERM reach the shell through a pipe that the event loop
// watches, so that the program ends through its normal shutdown (which
// saves) on the thread that runs the screens.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
  errno = saved;
}

bool installSignalPipe() {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

// Answers false with the reason in error.
bool readWholeFile(const std::string& path, std::string& text, std::string& error) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    error = "it is a directory";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  if (!static_cast<bool>(in) && !in.eof()) {
    error = "reading it failed";
    return false;
  }
  return true;
}

// Takes the options file for this program. False, after telling the user
// who holds it, when another program does.
bool holdOptionsFile(platform::PosixFiles& files, const std::string& path, platform::FileLock& lock,
                     platform::MessageBoxes& messages) {
  // The lock file lives beside the options file, in a folder a first start
  // has not made yet.
  if (const auto slash = path.find_last_of('/'); slash != std::string::npos && slash > 0) {
    files.createFolder(path.substr(0, slash));
  }
  const platform::FileLock::Result held =
      lock.acquire(path, platform::FileLock::Kind::Exclusive, "corvantis", kLockWaitMs);
  switch (held.status) {
    case platform::FileLock::Status::Held:
    case platform::FileLock::Status::NoLockFile: return true;
    case platform::FileLock::Status::Busy:
      // Shown (and printed) before any screen: starting on defaults instead
      // would time runs that no file keeps.
      messages.show("The options file " + path + " is in use by " + held.holder +
                        ". One program at a time keeps its runs in a file: use that one, or end it and start "
                        "Corvantis again.",
                    platform::MessageIcon::Error, platform::MessageButtons::Ok);
      return false;
    case platform::FileLock::Status::Unavailable: break;
  }
  std::fprintf(stderr, "corvantis: %s could not be locked (%s): another program may use it at the same time\n",
               path.c_str(), held.error.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::time_t sessionStartUtc = std::time(nullptr);
  CommandLine line;
  if (!parse(argc, argv, line)) return 2;
  if (line.help) {
    printUsage(line);
    return 0;
  }
  if (line.version) {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (!haveDisplay()) {
    if (line.screenshotDir.empty()) {
      std::fprintf(stderr,
                   "corvantis: there is no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset).\n"
                   "Run it inside a desktop session, or under a virtual X server:\n"
                   "    xvfb-run -a corvantis --demo\n"
                   "or with no window at all:\n"
                   "    QT_QPA_PLATFORM=offscreen corvantis --demo\n");
      return 1;
    }
    // Pictures need no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }

  // The feed of a demo or a log, read before any window opens so that a bad
  // log is told at once.
  std::optional<demo::Drive> drive;
  if (line.demo) {
    drive = demo::demoDrive(line.fullSentences);
  } else if (!line.nmeaLog.empty()) {
    std::string log;
    std::string error;
    if (!readWholeFile(line.nmeaLog, log, error)) {
      std::fprintf(stderr, "corvantis: cannot read the NMEA log %s: %s\n", line.nmeaLog.c_str(), error.c_str());
      return 2;
    }
    drive = demo::driveFromLog(log, line.anyTalker);
    if (drive->parts.empty()) {
      std::fprintf(stderr, "corvantis: %s holds no %s sentence with a time of day%s\n", line.nmeaLog.c_str(),
                   line.anyTalker ? "GGA" : "$GPGGA",
                   !line.anyTalker && !demo::driveFromLog(log, true).parts.empty() ? " (try --any-talker)" : "");
      return 2;
    }
    demo::closeTheLoop(*drive);
  }

  // Pictures keep the handheld's pixels; a factor the user's environment
  // sets (QT_SCALE_FACTOR) is left as it is.
  if (line.scale) {
    if (*line.scale != 1) platform::qt::applyScaleFactor(*line.scale);
  } else if (line.screenshotDir.empty() && std::getenv("QT_SCALE_FACTOR") == nullptr) {
    if (const auto screen = platform::qt::probeScreenSize(argc, argv)) {
      const bool landscape = line.landscape.value_or(screen->width > screen->height);
      const int scale = platform::qt::windowScaleFor(*screen, landscape);
      if (scale != 1) platform::qt::applyScaleFactor(scale);
    }
  }
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName("corvantis");

  if (!line.screenshotDir.empty()) {
    return demo::writeScreenshots(line.screenshotDir) ? 0 : 1;
  }

  std::string optionsPath = line.optionsPath;
  if (optionsPath.empty()) optionsPath = drive ? demo::demoOptionsPath() : defaultOptionsPath();
  platform::PosixFiles files;
  platform::qt::QtWindowSystem windows(platform::qt::QtWindowOptions{line.landscape, line.fullScreen});
  // Watched from here on, so that Ctrl+C also closes a message shown
  // before the screens (the one saying who holds the file).
  if (!installSignalPipe()) {
    std::perror("corvantis: cannot watch for SIGINT and SIGTERM");
    return 1;
  }
  QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
  bool signalled = false;
  AppContext* running = nullptr;
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&running, &signalled, &windows] {
    char bytes[16];
    while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    signalled = true;
    if (running != nullptr) {
      requestQuit(*running);
    } else {
      windows.endAllModal(2);
    }
  });
  // Held until the program ends: two programs on one file would each save
  // over the other's runs.
  platform::FileLock optionsLock;
  if (!holdOptionsFile(files, optionsPath, optionsLock, windows.messageBoxes())) return kExitOptionsInUse;

  platform::PseudoTerminal terminal;
  std::optional<demo::ReceiverFeeder> feeder;
  if (drive) {
    if (!terminal.open()) {
      std::fprintf(stderr, "corvantis: cannot create the demo receiver: %s\n", terminal.error().c_str());
      return 1;
    }
    // Whatever port the user picks, the demo receiver answers.
    for (int n = 1; n <= platform::kComPortCount; ++n) line.comDevices.setComDevice(n, terminal.devicePath());
    feeder.emplace(terminal, std::move(*drive), true);
    feeder->start();
  }

  if (line.demo) {
    // A new demo user finds the demo's circuit ready on the lap screen.
    std::string error;
    if (!demo::seedDemoCircuit(files, optionsPath, error)) std::fprintf(stderr, "corvantis: %s\n", error.c_str());
  }

  platform::PosixClock clock;
  std::unique_ptr<platform::SerialPort> port;
  if (line.gpsd) {
    port = std::make_unique<platform::GpsdPort>(line.gpsdHost, line.gpsdPort);
  } else {
    auto serial = std::make_unique<platform::PosixSerialPort>(line.comDevices);
    // The message box says "Unable to open Comm port"; the cause and its
    // cure on Linux go to stderr, once.
    serial->onPermissionDenied = [told = false](const std::string& path, const std::string& group) mutable {
      if (told) return;
      told = true;
      std::fprintf(stderr, "permission denied on %s: add your user to the %s group\n", path.c_str(), group.c_str());
    };
    port = std::move(serial);
  }
  // A real receiver's bytes are kept as they come; the demo and a played
  // log are data the user already has.
  std::optional<platform::PosixSessionLog> sessionLog;
  std::optional<platform::LoggedSerialPort> loggedPort;
  if (!feeder && line.sessionLog) {
    platform::SessionLogOptions logOptions;
    logOptions.folder = defaultSessionsFolder();
    logOptions.startUtc = sessionStartUtc;
    logOptions.limitBytes = line.sessionLogLimitBytes;
    sessionLog.emplace(logOptions);
    loggedPort.emplace(*port, *sessionLog);
  }
  AppContext context(windows, clock, loggedPort ? static_cast<platform::SerialPort&>(*loggedPort) : *port);
  if (line.anyTalker) context.gps.talkers = Talkers::Any;
  context.gps.onOtherTalkerOnly = [](const std::string& tag) {
    std::fprintf(stderr, "the receiver sends %s, not $GPGGA: start corvantis with --any-talker\n", tag.c_str());
  };
  // A receiver left at 1 to 5 Hz times runs far less well than it could:
  // the driver learns once how to raise it (not for the built-in feeds).
  if (!feeder) {
    context.gps.onLowFixRate = [&context, &line](double fixesPerSecond) {
      const std::string device =
          line.gpsd ? std::string() : line.comDevices.devicePath("COM" + std::to_string(context.settings.port + 1));
      std::fprintf(stderr, "%s\n", lowFixRateHint(fixesPerSecond, device).c_str());
    };
  }

  running = &context;

  // The demo and a played log bring their own receiver: they start on the main menu.
  ApplicationOptions options;
  options.optionsPath = optionsPath;
  options.landscape = line.landscape;
  options.firstStartWithDefaults = feeder.has_value();
  options.signalled = [&signalled] { return signalled; };
  options.saveInBackground = true;
  options.sessionLog = sessionLog ? &*sessionLog : nullptr;
  const int exitCode = runApplication(context, files, options);
  if (feeder) feeder->stop();
  return exitCode;
}
