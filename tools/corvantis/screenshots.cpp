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
#include "review/plot_screen.h"
#include "review/records_screen.h"
#include "store/options_file.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "tools/corvantis/review_content.h"

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

struct Shot {
  const char* name;
  std::function<std::unique_ptr<Screen>(AppContext&)> make;
};

// The runs of a stored set, at most count of them from the first.
std::vector<const RunRecord*> runsOf(const RecordSet& set, int count) {
  std::vector<const RunRecord*> runs;
  for (int i = 0; i < set.filledCount() && i < count; ++i) runs.push_back(&set.runs[static_cast<size_t>(i)]);
  return runs;
}

// The records and plot screens, filled from the review options file: the
// records list with two times selected, the plot of several runs and of one.
std::vector<Shot> reviewShots(const AppContext& ctx) {
  std::vector<Shot> shots;
  shots.push_back({"records", [](AppContext& c) { return std::make_unique<RecordsScreen>(c); }});
  const auto& sets = ctx.records.sets();
  if (!sets.empty()) {
    shots.push_back({"plot", [](AppContext& c) {
                       const RecordSet& set = c.records.sets().front();
                       return std::make_unique<PlotScreen>(c, static_cast<int32_t>(set.key), "", runsOf(set, 3));
                     }});
  }
  for (size_t i = 0; i < sets.size(); ++i) {
    if (!keyFromValue(sets[i].key).isDistance()) continue;
    shots.push_back({"plot-one-run", [i](AppContext& c) {
                       const RecordSet& set = c.records.sets()[i];
                       return std::make_unique<PlotScreen>(c, static_cast<int32_t>(set.key), "", runsOf(set, 1));
                     }});
    break;
  }
  if (ctx.lapDefinitions.count() > 0 && ctx.lapDefinitions.at(0).lapCount >= 2) {
    shots.push_back({"plot-laps", [](AppContext& c) {
                       const LapDefinition& track = c.lapDefinitions.at(0);
                       return std::make_unique<PlotScreen>(c, 0, track.name,
                                                           std::vector<const RunRecord*>{&track.laps[0], &track.laps[1]});
                     }});
  }
  return shots;
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
  };
  bool allWritten = true;
  const std::vector<uint8_t> reviewFile = reviewOptionsFile();
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
    AppContext review(windows, clock, port);
    review.landscape = landscape;
    loadSettingsDefaults(review.settings);
    if (!decodeOptions(reviewFile, review.settings, review.records, review.lapDefinitions).ok()) {
      std::fprintf(stderr, "corvantis: the records screenshots' options file does not read back\n");
      allWritten = false;
    }
    for (const Shot& shot : reviewShots(review)) {
      const std::unique_ptr<Screen> screen = shot.make(review);
      const std::string path =
          (std::filesystem::path(dir) / (std::string(shot.name) + (landscape ? "-landscape" : "-portrait") + ".png"))
              .string();
      windows.setAfterOpenHook([&](platform::Dialog& dialog) {
        if (std::string(shot.name) == "records") {
          // Two times selected, as before plotting them.
          for (int row : {0, 2}) dialog.setSelected(RecordsScreen::kTimesList, row, true);
          screen->onCommand(RecordsScreen::kTimesList, platform::Notification::SelectionChanged);
        }
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
