// A demo session of the real program, with no window, run faster than real
// time, for the test that kills it: the application with its options file
// on the disk (saved in the background as in the program), the demo drive
// replayed round after round through the real pump, a launch timed on the
// acceleration screen and then laps of the demo circuit on the lap screen,
// each round.
//
//   corv_kill_session_child OPTIONS_PATH TICK_MICROSECONDS ROUNDS
//
// (ROUNDS 0 only makes the file with the demo circuit, once for many
// sessions: its recording is the slow part of a start.)
//
// When the session starts (the demo circuit made), "session" is printed;
// then every run and lap, once the tick that stored it has ended, on
// standard output, one a line and flushed at once:
//   run KEY TIME_MS STAMP
//   lap TRACK TIME_MS START_TIME_MS
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "app/main_menu_screen.h"
#include "laps/lap_timing_screen.h"
#include "platform/headless/headless_window_system.h"
#include "platform/posix/files.h"
#include "timing/acceleration_screen.h"
#include "tools/analyze/log_replay.h"
#include "tools/corvantis/demo_drive.h"
#include "tools/corvantis/nmea_replay.h"
#include "tools/sim/simulator.h"

namespace {

using namespace corvantis;
using platform::headless::HeadlessDialog;

constexpr uint32_t kTickMs = 100;

// The simulated demo drive, closed into a loop, played `rounds` times with
// its fix times moved on each round; also where each round's laps begin.
struct Rounds {
  std::vector<uint8_t> log;
  uint32_t roundMs = 0;
  uint32_t firstMs = 0;          // time of day of the first fix
  uint32_t lapsFromMs = 0;       // into a round: the lap screen's part
};

Rounds demoRounds(int rounds) {
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  const sim::SimResult result = sim::simulate(sim::demoScenario(), receiver);
  demo::Drive drive = demo::driveFromLog(sim::renderLog(result));
  demo::closeTheLoop(drive);
  Rounds out;
  out.roundMs = drive.roundMs;
  out.firstMs = static_cast<uint32_t>(result.truth.startMs);
  // A little before the car reaches the circuit's line for the first time.
  out.lapsFromMs = static_cast<uint32_t>(result.truth.circuit->laps.front().startMs - result.truth.startMs) - 20000;
  for (int round = 0; round < rounds; ++round) {
    for (const demo::TimedText& part : drive.parts) {
      const std::string text = demo::shiftFixTimes(part.text, static_cast<uint32_t>(round) * drive.roundMs);
      out.log.insert(out.log.end(), text.begin(), text.end());
    }
  }
  return out;
}

// Prints what the stores hold that was not printed yet.
class StoredPrinter {
 public:
  explicit StoredPrinter(const AppContext& ctx) : ctx_(ctx) {}
  void printNew() {
    for (const RecordSet& set : ctx_.records.sets()) {
      for (int slot = 0; slot < set.filledCount(); ++slot) {
        const RunRecord& run = set.runs[static_cast<size_t>(slot)];
        if (runs_.insert({set.key, run.timeMs, run.stamp}).second) {
          std::printf("run %u %u %u\n", set.key, run.timeMs, run.stamp);
        }
      }
    }
    for (int track = 0; track < ctx_.lapDefinitions.count(); ++track) {
      const LapDefinition& definition = ctx_.lapDefinitions.at(track);
      for (int lap = 0; lap < definition.lapCount; ++lap) {
        const RunRecord& entry = definition.laps[static_cast<size_t>(lap)];
        if (laps_.insert({track, entry.timeMs, entry.startTime}).second) {
          std::printf("lap %d %u %u\n", track, entry.timeMs, entry.startTime);
        }
      }
    }
    std::fflush(stdout);
  }

 private:
  const AppContext& ctx_;
  std::set<std::tuple<uint32_t, uint32_t, uint32_t>> runs_;
  std::set<std::tuple<int, uint32_t, uint32_t>> laps_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corv_kill_session_child OPTIONS_PATH TICK_MICROSECONDS ROUNDS\n");
    return 2;
  }
  const std::string optionsPath = argv[1];
  const auto tickMicroseconds = static_cast<useconds_t>(std::atoi(argv[2]));
  const int rounds = std::atoi(argv[3]);

  platform::PosixFiles files;
  std::string error;
  if (!demo::seedDemoCircuit(files, optionsPath, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (rounds == 0) return 0;  // the file with the demo circuit is all that was asked
  const Rounds drive = demoRounds(rounds);
  analyze::ReplayPort port(drive.log);
  analyze::ReplayClock clock;
  clock.setCalendarBase(1796479620u, drive.firstMs);
  platform::headless::HeadlessWindowSystem windows;
  auto ctx = std::make_unique<AppContext>(windows, clock, port);
  StoredPrinter printer(*ctx);

  // One tick of simulated time, at the chosen pace.
  uint64_t nowMs = port.startMs();
  const auto tick = [&] {
    nowMs += kTickMs;
    clock.setNowMs(nowMs);
    port.setNowMs(nowMs);
    windows.fireTimer();
    printer.printNew();
    ::usleep(tickMicroseconds);
  };
  const auto intoRound = [&] { return static_cast<uint32_t>((nowMs - port.startMs()) % drive.roundMs); };

  // Each round: the acceleration screen until the car nears the circuit,
  // then the lap screen with the demo circuit to the end of the round.
  std::function<void()> queueRound;
  queueRound = [&] {
    windows.pushModalScript([](HeadlessDialog& menu) { menu.userClick(MainMenuScreen::kAccelerationButton); });
    windows.pushModalScript([&](HeadlessDialog& screen) {
      while (intoRound() < drive.lapsFromMs && !port.exhausted()) tick();
      screen.userClick(AccelerationScreen::kMainMenu);
    });
    windows.pushModalScript([](HeadlessDialog& menu) { menu.userClick(MainMenuScreen::kLapsButton); });
    windows.pushModalScript([&](HeadlessDialog& screen) {
      screen.userSelect(LapTimingScreen::kActiveLap, 0);
      while (intoRound() >= drive.lapsFromMs && !port.exhausted()) tick();
      screen.userClick(LapTimingScreen::kMainMenu);
      if (port.exhausted()) {
        windows.pushModalScript([](HeadlessDialog& menu) { menu.userClick(MainMenuScreen::kExitButton); });
      } else {
        queueRound();
      }
    });
  };
  queueRound();

  // The demo circuit is in the file and the drive is ready: the session starts.
  std::printf("session\n");
  std::fflush(stdout);
  ApplicationOptions options;
  options.optionsPath = optionsPath;
  options.firstStartWithDefaults = true;
  options.saveInBackground = true;
  return runApplication(*ctx, files, options);
}
