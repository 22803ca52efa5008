#include "tools/corvantis/screenshots.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ui/context.h"
#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "platform/posix/clock.h"
#include "platform/qt/qt_window_system.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"

namespace corvantis::demo {

namespace {

// A receiver that never opens: the pictures need no port.
class NoPort : public platform::SerialPort {
 public:
  bool open(const std::string&) override { return false; }
  bool applyLineSettings(const platform::LineSettings&) override { return false; }
  bool applyTimeouts(const platform::Timeouts&) override { return false; }
  platform::ReadResult readByte(uint8_t&) override { return platform::ReadResult::Failed; }
  void close() override {}
  bool isOpen() const override { return false; }
};

// A few stored runs and tracks, and a receiver with a good fix, so that
// every screen shows what it shows in use.
void fillRepresentativeContent(AppContext& ctx) {
  const uint32_t stamp = 1796637300u;  // 2026-12-07 10:35
  const RecordKey accel = accelerationKey(ctx.settings.accelFrom, ctx.settings.accelTo);
  for (uint32_t timeMs : {6843u, 6521u, 6709u}) ctx.records.addRun(accel, timeMs, stamp, ctx.gps.history);
  const RecordKey quarter = distanceKey(ctx.settings.distance);
  for (uint32_t timeMs : {15112u, 14876u}) ctx.records.addRun(quarter, timeMs, stamp, ctx.gps.history);
  ctx.settings.recordSetCount = static_cast<int32_t>(ctx.records.sets().size());
  for (const char* name : {"Club circuit", "Hill loop"}) {
    LapDefinition track;
    track.name = name;
    ctx.lapDefinitions.definitions().push_back(track);
  }
  ctx.settings.lapDefinitionCount = ctx.lapDefinitions.count();
  ctx.gps.currentFix.satellites = 9;
  ctx.gps.currentFix.hdop = 1;
  ctx.gps.currentFix.speed = 0.0f;
}

// A standing start and six seconds of acceleration fed to the distance
// screen fix by fix, so that its picture shows a run under way.
void driveDistanceRun(AppContext& ctx, Screen& screen) {
  uint32_t timeMs = 45319000;
  double eastM = 0.0;
  for (const double mph : {0.0, 0.0, 0.0, 20.0, 40.0, 60.0, 80.0, 100.0, 110.8}) {
    eastM += mph * 0.44704;
    ctx.gps.history.recordFix(0.0, eastM / 6371000.0 / 0.0174532925, 0.0, timeMs);
    ctx.gps.currentFix.speed = ctx.gps.history.newest().speed;
    screen.update(true);
    timeMs += 1000;
  }
}

struct Shot {
  const char* name;
  std::function<std::unique_ptr<Screen>(AppContext&)> make;
};

}  // namespace

bool writeScreenshots(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "corvantis: cannot create %s: %s\n", dir.c_str(), error.message().c_str());
    return false;
  }
  const Shot shots[] = {
      {"main-menu", [](AppContext& c) { return std::make_unique<MainMenuScreen>(c); }},
      {"configuration", [](AppContext& c) { return std::make_unique<ConfigurationScreen>(c); }},
      {"acceleration", [](AppContext& c) { return std::make_unique<AccelerationScreen>(c); }},
      {"distance", [](AppContext& c) { return std::make_unique<DistanceScreen>(c); }},
  };
  bool allWritten = true;
  for (const bool landscape : {false, true}) {
    platform::qt::QtWindowSystem windows(platform::qt::QtWindowOptions{landscape, false});
    platform::PosixClock clock;
    NoPort port;
    AppContext ctx(windows, clock, port);
    ctx.landscape = landscape;
    fillRepresentativeContent(ctx);
    for (const Shot& shot : shots) {
      const std::unique_ptr<Screen> screen = shot.make(ctx);
      const std::string path =
          (std::filesystem::path(dir) / (std::string(shot.name) + (landscape ? "-landscape" : "-portrait") + ".png"))
              .string();
      windows.setAfterOpenHook([&](platform::Dialog& dialog) {
        if (std::string(shot.name) == "distance") driveDistanceRun(ctx, *screen);
        screen->update(false);  // one tick: the status line shows the fix
        if (!windows.saveScreenshot(path)) {
          std::fprintf(stderr, "corvantis: cannot write %s\n", path.c_str());
          allWritten = false;
        } else {
          std::printf("%s\n", path.c_str());
        }
        dialog.end(2);
      });
      screen->showModal();
    }
    windows.setAfterOpenHook({});
  }
  return allWritten;
}

}  // namespace corvantis::demo
