#pragma once
// One program's worth of fakes around an AppContext: the headless window
// system (scripted screens, message boxes and menus), a clock that records
// every sleep, the fake serial port and options files kept in memory.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/application.h"
#include "ui/context.h"
#include "platform/files.h"
#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"

namespace corvantis::testing {

// Every sleep, in order; onSleep runs after each (e.g. to let a tick end).
class RecordingClock : public FakeClock {
 public:
  void sleepMs(uint32_t durationMs) override {
    FakeClock::sleepMs(durationMs);
    sleeps.push_back(durationMs);
    if (onSleep) onSleep(durationMs);
  }
  std::vector<uint32_t> sleeps;
  std::function<void(uint32_t)> onSleep;
};

// Files in memory. Records every write; can be made to refuse writes.
class MemoryFiles : public platform::Files {
 public:
  platform::FileRead readWhole(const std::string& path) override;
  platform::FileResult writeAtomically(const std::string& path, std::span<const uint8_t> bytes) override;
  platform::FileResult moveAside(const std::string& path, const std::string& reason) override;
  platform::FileResult createFolder(const std::string& path) override;

  bool exists(const std::string& path) const { return files.count(path) != 0; }

  std::map<std::string, std::vector<uint8_t>> files;
  int writes = 0;
  bool failWrites = false;
  std::string failMoves;  // when set, a move aside fails with this reason
  std::map<std::string, std::string> unreadable;  // path -> the reason its read fails
  std::function<void()> onWrite;  // runs before each write is done
};

struct AppHarness {
  static constexpr const char* kOptionsPath = "/data/corvantis/options.bin";

  explicit AppHarness(platform::Size screen = {240, 320}) : windows(screen) {}

  // An options file holding these settings (counts from the stores).
  void storeOptionsFile(const Settings& settings, const LapDefinitions& laps = {});
  // The settings of the file saved at the path.
  Settings savedSettings() const;

  int run() {
    ApplicationOptions options;
    options.optionsPath = kOptionsPath;
    options.signalled = [this] { return signalled; };
    options.printError = [this](const std::string& line) { printedErrors.push_back(line); };
    options.sessionLog = sessionLog;
    return runApplication(ctx, files, options);
  }
  platform::SessionLog* sessionLog = nullptr;  // the session's receiver log, if any
  bool signalled = false;                  // the quit came from SIGINT/SIGTERM
  std::vector<std::string> printedErrors;  // lines meant for standard error

  // The resource ids of the screens shown, in order.
  std::vector<int> screensShown() const;
  // Queue a script for the next screen shown.
  void then(platform::headless::ModalScript script) { windows.pushModalScript(std::move(script)); }
  // A screen that the test only passes through (it ends with Cancel).
  void thenPassThrough() { windows.pushModalScript([](platform::headless::HeadlessDialog&) {}); }
  const std::vector<platform::headless::ShownMessageBox>& messages() {
    return windows.scriptedMessageBoxes().shown();
  }

  platform::headless::HeadlessWindowSystem windows;
  RecordingClock clock;
  FakeSerialPort port;
  MemoryFiles files;
  AppContext ctx{windows, clock, port};
};

// Resource ids of the portrait layouts.
inline constexpr int kMainMenu = 132;
inline constexpr int kConfiguration = 129;
inline constexpr int kAcceleration = 102;
inline constexpr int kDistance = 137;
inline constexpr int kLapTiming = 141;
inline constexpr int kRecords = 134;

}  // namespace corvantis::testing
