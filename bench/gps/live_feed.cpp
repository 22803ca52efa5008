// The whole program fed by a receiver in real time: a recorded or simulated
// NMEA log written into a pseudo-terminal at its own pace, each fix's
// sentences at that fix's time, by a second thread that drops what does not
// fit (as a UART drops what nobody reads in time); the program's shell, its
// real termios port, pump and screens (on windowless dialogs) read it under
// a 100 ms timer, showing the acceleration screen (optionally leaving it for
// the configuration screen for a while). It reports what the line dropped,
// whether the screen kept up, every run stored, and the CPU the program's
// thread used.
//
//   live_feed LOG [--gpsd] [--seconds S] [--configuration-at S --configuration-for S]
//
// With --gpsd the receiver is a stand-in gpsd on the loopback instead, read
// through the program's gpsd port (a socket buffers far more than a serial
// line, so a pause leaves a backlog rather than a loss).
//
// Measures, for instance (logs from corvantis-sim):
//   corvantis-sim accel --runs 3 --rate 10 --full-sentences -o chatty.nmea
//   live_feed chatty.nmea
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "gps/nmea_decoder.h"
#include "platform/headless/headless_window_system.h"
#include "platform/headless/manual_timer.h"
#include "platform/posix/clock.h"
#include "platform/posix/files.h"
#include "platform/posix/gpsd_port.h"
#include "platform/posix/pseudo_terminal.h"
#include "platform/posix/serial_port.h"
#include "store/run_records.h"
#include "timing/acceleration_screen.h"
#include "tools/corvantis/nmea_replay.h"
#include "ui/context.h"

namespace {

using namespace corvantis;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string log;
  bool gpsd = false;
  double seconds = 0.0;  // 0: the whole log
  double configurationAtS = -1.0;
  double configurationForS = 0.0;
};

// CPU seconds (user and system) of one thread, from /proc.
double threadCpuSeconds(long tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t paren = text.rfind(')');
  if (paren == std::string::npos) return 0.0;
  std::istringstream fields(text.substr(paren + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // Fields after the command: state is field 3; utime and stime are 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The receiver: the log's fix groups at their times into the terminal, or
// to the program's connection when it stands in for gpsd.
struct Feeder {
  platform::PseudoTerminal& terminal;
  int gpsdListener;  // -1: the terminal
  const demo::Drive& drive;
  double limitS;
  std::atomic<std::size_t> written{0};
  std::atomic<std::size_t> dropped{0};
  std::atomic<uint32_t> newestFixMs{0};  // the newest fix written whole
  std::atomic<bool> done{false};
  std::atomic<bool> stop{false};

  // The program's connection, once it came (and asked for NMEA).
  int client = -1;
  std::size_t deliver(const std::string& text) {
    if (gpsdListener < 0) return terminal.write(text);
    if (client < 0) {
      client = ::accept4(gpsdListener, nullptr, nullptr, SOCK_NONBLOCK);
      if (client < 0) return 0;
    }
    const ssize_t sent = ::send(client, text.data(), text.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    return sent < 0 ? 0 : static_cast<std::size_t>(sent);
  }

  void run(Clock::time_point start) {
    for (const demo::TimedText& part : drive.parts) {
      if (limitS > 0.0 && part.atMs > limitS * 1000.0) break;
      std::this_thread::sleep_until(start + std::chrono::milliseconds(part.atMs));
      if (stop) break;
      const std::size_t accepted = deliver(part.text);
      written += accepted;
      dropped += part.text.size() - accepted;
      if (accepted == part.text.size()) {
        GgaReading reading;
        const std::size_t dollar = part.text.find("$GPGGA");
        if (dollar != std::string::npos && readGga(part.text.c_str() + dollar, Talkers::GpsOnly, reading) &&
            reading.hasFix) {
          newestFixMs = reading.timeOfDayMs;
        }
      }
    }
    done = true;
  }
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto number = [&](double& out) {
      if (i + 1 >= argc) return false;
      out = std::atof(argv[++i]);
      return true;
    };
    if (arg == "--gpsd") {
      options.gpsd = true;
    } else if (arg == "--seconds") {
      if (!number(options.seconds)) return false;
    } else if (arg == "--configuration-at") {
      if (!number(options.configurationAtS)) return false;
    } else if (arg == "--configuration-for") {
      if (!number(options.configurationForS)) return false;
    } else if (!arg.empty() && arg[0] != '-' && options.log.empty()) {
      options.log = arg;
    } else {
      return false;
    }
  }
  return !options.log.empty();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: live_feed LOG [--gpsd] [--seconds S] [--configuration-at S --configuration-for S]\n");
    return 2;
  }
  std::ifstream in(options.log, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const demo::Drive drive = demo::driveFromLog(text);
  if (drive.parts.empty()) {
    std::fprintf(stderr, "live_feed: %s holds no timed $GPGGA\n", options.log.c_str());
    return 2;
  }

  platform::PseudoTerminal terminal;
  if (!terminal.open()) {
    std::fprintf(stderr, "live_feed: %s\n", terminal.error().c_str());
    return 1;
  }
  platform::ComDeviceTable devices;
  for (int n = 1; n <= platform::kComPortCount; ++n) devices.setComDevice(n, terminal.devicePath());
  platform::headless::HeadlessWindowSystem windows;
  platform::PosixClock clock;
  // The stand-in gpsd listens on a free loopback port.
  int listener = -1;
  uint16_t gpsdPort = 0;
  if (options.gpsd) {
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("live_feed: the stand-in gpsd");
      return 1;
    }
    gpsdPort = ntohs(address.sin_port);
  }
  std::unique_ptr<platform::SerialPort> port;
  if (options.gpsd) {
    port = std::make_unique<platform::GpsdPort>("127.0.0.1", gpsdPort);
  } else {
    port = std::make_unique<platform::PosixSerialPort>(devices);
  }
  AppContext ctx(windows, clock, *port);
  platform::PosixFiles files;
  char folder[] = "/tmp/live-feed-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;

  // Every fix the history accepts, counted on a history that follows the
  // program's reading by reading.
  auto shadow = std::make_unique<FixHistory>();
  CurrentFix shadowFix;
  long accepted = 0;
  ctx.gps.onGgaReading = [&](const GgaReading& reading) {
    if (applyGga(reading, shadowFix, *shadow)) ++accepted;
  };

  Feeder feeder{terminal, listener, drive, options.seconds};
  const auto start = Clock::now();
  std::thread feed([&] { feeder.run(start); });
  const long tid = static_cast<long>(syscall(SYS_gettid));
  const double cpuBefore = threadCpuSeconds(tid);

  long ticks = 0;
  std::vector<uint32_t> storedMs;  // every run, as it was stored
  uint32_t worstLagMs = 0;
  long ticksBehind = 0;  // newest fix on screen more than one tick older than the newest written
  auto& timer = static_cast<platform::headless::ManualTimer&>(windows.timer());
  // Ticks every 100 ms while the acceleration screen shows, until `until`
  // (or the feed's end, and a second more for its last bytes).
  const auto tickUntil = [&](double untilS) {
    auto next = Clock::now();
    for (;;) {
      const double elapsedS = std::chrono::duration<double>(Clock::now() - start).count();
      if ((untilS >= 0.0 && elapsedS >= untilS) || (feeder.done && elapsedS > 1.0 + drive.parts.back().atMs / 1000.0) ||
          (options.seconds > 0.0 && elapsedS > options.seconds + 1.0)) {
        return;
      }
      next += std::chrono::milliseconds(100);
      std::this_thread::sleep_until(next);
      const uint32_t writtenFixMs = feeder.newestFixMs;
      const uint64_t storedBefore = ctx.records.storedRunCount();
      timer.fire();
      ++ticks;
      // A run stored in this tick is the newest of its set.
      if (ctx.records.storedRunCount() != storedBefore) {
        const RecordSet* set = ctx.records.findRecordSet(accelerationKey(ctx.settings.accelFrom, ctx.settings.accelTo));
        if (set != nullptr && set->filledCount() > 0) {
          storedMs.push_back(set->runs[static_cast<std::size_t>(set->filledCount() - 1)].timeMs);
        }
      }
      if (ctx.gps.history.count > 0 || ctx.gps.history.newestFixTime() != 0) {
        const uint32_t lag = writtenFixMs - ctx.gps.history.newestFixTime();
        if (lag < 86400000u) {
          if (lag > worstLagMs) worstLagMs = lag;
          if (lag > 100) ++ticksBehind;
        }
      }
    }
  };

  using platform::headless::HeadlessDialog;
  windows.pushModalScript([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kAccelerationButton); });
  if (options.configurationAtS >= 0.0) {
    windows.pushModalScript([&](HeadlessDialog& d) {
      tickUntil(options.configurationAtS);
      d.userClick(AccelerationScreen::kMainMenu);
    });
    windows.pushModalScript([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kConfigurationButton); });
    windows.pushModalScript([&](HeadlessDialog& d) {
      // The timer stands still while the configuration screen is open.
      std::this_thread::sleep_for(std::chrono::duration<double>(options.configurationForS));
      d.userClick(ConfigurationScreen::kCancel);
    });
    windows.pushModalScript([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kAccelerationButton); });
  }
  windows.pushModalScript([&](HeadlessDialog& d) {
    tickUntil(-1.0);
    d.userClick(AccelerationScreen::kMainMenu);
  });
  windows.pushModalScript([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });

  ApplicationOptions appOptions;
  appOptions.optionsPath = std::string(folder) + "/options.bin";
  appOptions.firstStartWithDefaults = true;
  runApplication(ctx, files, appOptions);
  const double cpuS = threadCpuSeconds(tid) - cpuBefore;
  const double wallS = std::chrono::duration<double>(Clock::now() - start).count();
  feeder.stop = true;
  feed.join();
  if (feeder.client >= 0) ::close(feeder.client);
  if (listener >= 0) ::close(listener);

  std::printf("log: %s, %zu fix groups, %.0f s, through %s\n", options.log.c_str(), drive.parts.size(), wallS,
              options.gpsd ? "a stand-in gpsd" : "a pseudo-terminal");
  std::printf("line: %zu bytes written, %zu dropped (%.1f %%)\n", feeder.written.load(), feeder.dropped.load(),
              100.0 * static_cast<double>(feeder.dropped) / static_cast<double>(feeder.written + feeder.dropped));
  std::printf("fixes accepted by the history: %ld\n", accepted);
  std::printf("ticks: %ld; newest fix on screen at most %u ms older than the newest written; %ld ticks more than "
              "100 ms behind\n",
              ticks, worstLagMs, ticksBehind);
  std::printf("cpu of the program's thread: %.2f s in %.0f s = %.2f %% of one core\n", cpuS, wallS,
              100.0 * cpuS / wallS);
  for (std::size_t i = 0; i < storedMs.size(); ++i) {
    std::printf("stored run %zu: %u.%03u s\n", i + 1, storedMs[i] / 1000, storedMs[i] % 1000);
  }
  if (storedMs.empty()) std::printf("no run stored\n");
  std::remove(appOptions.optionsPath.c_str());
  rmdir(folder);
  return 0;
}
