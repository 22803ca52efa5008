#include "tools/corvantis/screenshots.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "ui/context.h"
#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "laps/lap_editor_screen.h"
#include "platform/posix/clock.h"
#include "platform/qt/qt_window_system.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "tools/sim/geo.h"
#include "tools/sim/scenario.h"

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

// The simulator's circuit as a driven lap leaves it in the fix history: a
// sample every 6 m, starting and ending at the start/finish point.
void recordCircuitLap(FixHistory& history) {
  const sim::Circuit circuit = sim::builtInCircuit(120.0);
  const sim::GeoOrigin origin{51.5720, -1.7870};
  const int n = std::min(static_cast<int>(circuit.lengthM() / 6.0), FixHistory::kCapacity - 1);
  history.count = n + 1;
  for (int i = 0; i <= n; ++i) {
    const sim::PathPoint p = circuit.at(circuit.lengthM() * i / n);
    const sim::GeoPoint g = sim::toGeo(origin, p.pose.xM, p.pose.yM, p.altitudeM);
    history.samples[static_cast<size_t>(i)].longitude = g.longitudeDeg;
    history.samples[static_cast<size_t>(i)].latitude = g.latitudeDeg;
  }
}

// The lap editor right after a lap was recorded, with two split lines placed
// and the lap named.
std::unique_ptr<Screen> editorOnARecordedLap(AppContext& ctx) {
  recordCircuitLap(ctx.gps.history);
  auto editor = std::make_unique<LapEditorScreen>(ctx, -1);
  const FixHistory& h = ctx.gps.history;
  for (int at : {h.count / 3, h.count * 2 / 3}) {
    editor->addSplitLine({h.samples[static_cast<size_t>(at)].longitude, h.samples[static_cast<size_t>(at)].latitude});
  }
  return editor;
}

void nameTheLap(platform::Dialog& dialog) {
  dialog.setText(LapEditorScreen::kNameField, "Club circuit");
  dialog.setEnabled(LapEditorScreen::kOk, true);
}

struct Shot {
  const char* name;
  std::function<std::unique_ptr<Screen>(AppContext&)> make;
  // What the user has done on the screen before the picture, if anything.
  std::function<void(platform::Dialog&)> dress = {};
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
      {"lap-editor", editorOnARecordedLap, nameTheLap},
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
        screen->update(false);  // one tick: the status line shows the fix
        if (shot.dress) shot.dress(dialog);
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
