#include "tools/corvantis/screenshots.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "ui/context.h"
#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "platform/posix/clock.h"
#include "platform/qt/qt_window_system.h"
#include "laps/lap_timing_screen.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/sim/simulator.h"

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
  // A track recorded from a simulated lap, as a driver records one, with
  // two split lines and a few laps; and a second name.
  {
    sim::ScenarioParams params;
    params.laps = 1;
    sim::ReceiverOptions receiver;
    receiver.rateHz = 10;
    receiver.noise = false;
    const sim::SimResult drive = sim::simulate(sim::lapsScenario(params), receiver);
    const std::string text = sim::renderLog(drive);
    const sim::LapTruth& lap = drive.truth.circuit->laps.at(0);
    analyze::LapDefineRequest request{"Club circuit", static_cast<uint32_t>(lap.startMs) + 1,
                                      static_cast<uint32_t>(lap.endMs) + 10000, {}};
    for (const sim::DistancePassing& split : lap.splits) request.splitsMs.push_back(static_cast<uint32_t>(split.ms));
    analyze::TimingSession session;
    session.settings = ctx.settings;
    if (analyze::runLapDefinePass(std::vector<uint8_t>(text.begin(), text.end()), session, request).created) {
      ctx.lapDefinitions = std::move(session.laps);
      for (uint32_t timeMs : {79412u, 78955u, 79120u}) ctx.lapDefinitions.addLapTime(0, timeMs, 43312145u, stamp, ctx.gps.history);
    }
  }
  LapDefinition hill;
  hill.name = "Hill loop";
  ctx.lapDefinitions.definitions().push_back(hill);
  ctx.settings.lapDefinitionCount = ctx.lapDefinitions.count();
  ctx.gps.currentFix.satellites = 9;
  ctx.gps.currentFix.hdop = 1;
  ctx.gps.currentFix.speed = 0.0f;
}

struct Shot {
  const char* name;
  std::function<std::unique_ptr<Screen>(AppContext&)> make;
  // What the user does on the screen before the picture (optional).
  std::function<void(AppContext&, Screen&, platform::Dialog&)> use = nullptr;
};

// On the lap screen: the first track picked, and the car driven along it
// from a little before the line past the first split line.
void driveTheFirstTrack(AppContext& ctx, Screen& screen, platform::Dialog& dialog) {
  if (ctx.lapDefinitions.count() == 0 || ctx.lapDefinitions.at(0).track.size() < 2) return;
  dialog.setSelection(LapTimingScreen::kActiveLap, 0);
  screen.onCommand(LapTimingScreen::kActiveLap, platform::Notification::SelectionChanged);
  const std::vector<TrackPoint>& track = ctx.lapDefinitions.at(0).track;
  const size_t n = track.size();
  uint32_t timeMs = 43300000;
  for (size_t k = n - 20; k < n + n * 2 / 5; ++k) {
    const TrackPoint& p = track[k % n];
    ctx.gps.history.recordFix(p.latitude, p.longitude, 140.0, timeMs);
    ctx.gps.currentFix.speed = ctx.gps.history.newest().speed;
    timeMs += 100;
    screen.update(true);
  }
}

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
      {"lap-timing", [](AppContext& c) { return std::make_unique<LapTimingScreen>(c); }, driveTheFirstTrack},
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
        if (shot.use) shot.use(ctx, *screen, dialog);
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
