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
#include "laps/lap_timing_screen.h"
#include "review/plot_screen.h"
#include "review/records_screen.h"
#include "store/options_file.h"
#include "timing/acceleration_screen.h"
#include "timing/distance_screen.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/corvantis/review_content.h"
#include "tools/sim/geo.h"
#include "tools/sim/scenario.h"
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

void nameTheLap(Screen&, platform::Dialog& dialog) {
  dialog.setText(LapEditorScreen::kNameField, "Club circuit");
  dialog.setEnabled(LapEditorScreen::kOk, true);
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
  // What the user has done on the screen before the picture, if anything.
  std::function<void(Screen&, platform::Dialog&)> dress = {};
  // The picture is of the message box the dressing opens, over the screen.
  bool ofMessageBox = false;
};

// The tick counter of the lap screen's picture: it follows the drive, so
// that the screen sees the time pass between fixes as it would on the road.
class DriveClock : public platform::Clock {
 public:
  explicit DriveClock(platform::Clock& real) : real_(real) {}
  uint32_t tickMs() override { return real_.tickMs() + drivenMs; }
  void sleepMs(uint32_t durationMs) override { real_.sleepMs(durationMs); }
  uint32_t calendarSeconds() override { return real_.calendarSeconds(); }
  uint32_t drivenMs = 0;

 private:
  platform::Clock& real_;
};

// The lap screen with the first track picked, one lap driven (it becomes
// the reference) and the next one under way a little slower, past its
// first split line: the delta, its bar, the prediction and the theoretical
// best show.
Shot lapTimingShot(AppContext& ctx, DriveClock& clock) {
  return {"lap-timing", [](AppContext& c) { return std::make_unique<LapTimingScreen>(c); },
          [&ctx, &clock](Screen& screen, platform::Dialog& dialog) {
            if (ctx.lapDefinitions.count() == 0 || ctx.lapDefinitions.at(0).track.size() < 2) return;
            dialog.setSelection(LapTimingScreen::kActiveLap, 0);
            screen.onCommand(LapTimingScreen::kActiveLap, platform::Notification::SelectionChanged);
            const std::vector<TrackPoint>& track = ctx.lapDefinitions.at(0).track;
            const size_t n = track.size();
            uint32_t timeMs = 43300000;
            for (size_t k = n - 20; k < 2 * n + n * 2 / 5; ++k) {
              const TrackPoint& p = track[k % n];
              ctx.gps.history.recordFix(p.latitude, p.longitude, 140.0, timeMs);
              ctx.gps.currentFix.speed = ctx.gps.history.newest().speed;
              const uint32_t stepMs = k < 2 * n ? 100 : 102;
              timeMs += stepMs;
              clock.drivenMs += stepMs;
              screen.update(true);
            }
          }};
}

// The runs of a stored set, at most count of them from the first.
std::vector<const RunRecord*> runsOf(const RecordSet& set, int count) {
  std::vector<const RunRecord*> runs;
  for (int i = 0; i < set.filledCount() && i < count; ++i) runs.push_back(&set.runs[static_cast<size_t>(i)]);
  return runs;
}

// The plot switched to another quantity, as the user picks it in its list.
std::function<void(Screen&, platform::Dialog&)> showQuantity(PlotKind kind) {
  return [kind](Screen& screen, platform::Dialog& dialog) {
    dialog.setSelection(PlotScreen::kQuantityList, static_cast<int>(kind));
    screen.onCommand(PlotScreen::kQuantityList, platform::Notification::SelectionChanged);
  };
}

// The records and plot screens, filled from the review options file: the
// records list with two times selected, the plot of several runs and of one.
std::vector<Shot> reviewShots(const AppContext& ctx) {
  std::vector<Shot> shots;
  shots.push_back({"records", [](AppContext& c) { return std::make_unique<RecordsScreen>(c); },
                   [](Screen& screen, platform::Dialog& dialog) {
                     // Two times selected, as before plotting them.
                     for (int row : {0, 2}) dialog.setSelected(RecordsScreen::kTimesList, row, true);
                     screen.onCommand(RecordsScreen::kTimesList, platform::Notification::SelectionChanged);
                   }});
  const auto& sets = ctx.records.sets();
  for (size_t i = 0; i < sets.size(); ++i) {
    if (!keyFromValue(sets[i].key).isDistance()) continue;
    // A quarter mile's time held: its Time Slip in a message box.
    shots.push_back({"records-time-slip", [](AppContext& c) { return std::make_unique<RecordsScreen>(c); },
                     [i](Screen& screen, platform::Dialog& dialog) {
                       dialog.setSelection(RecordsScreen::kCategoryCombo, static_cast<int>(i));
                       screen.onCommand(RecordsScreen::kCategoryCombo, platform::Notification::SelectionChanged);
                       dialog.setSelected(RecordsScreen::kTimesList, 0, true);
                       screen.onCommand(RecordsScreen::kTimesList, platform::Notification::SelectionChanged);
                       screen.onMenuCommand(RecordsScreen::kTimeSlipCommand);
                     },
                     true});
    break;
  }
  if (!sets.empty()) {
    const auto threeRuns = [](AppContext& c) {
      const RecordSet& set = c.records.sets().front();
      return std::make_unique<PlotScreen>(c, static_cast<int32_t>(set.key), "", runsOf(set, 3));
    };
    shots.push_back({"plot", threeRuns});
    shots.push_back({"plot-acceleration", threeRuns, showQuantity(PlotKind::Acceleration)});
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
    const auto twoLaps = [](AppContext& c) {
      const LapDefinition& track = c.lapDefinitions.at(0);
      return std::make_unique<PlotScreen>(c, 0, track.name,
                                          std::vector<const RunRecord*>{&track.laps[0], &track.laps[1]});
    };
    shots.push_back({"plot-laps", twoLaps});
    shots.push_back({"plot-laps-distance", twoLaps, showQuantity(PlotKind::Distance)});
    shots.push_back({"plot-laps-acceleration", twoLaps, showQuantity(PlotKind::Acceleration)});
  }
  return shots;
}

// Opens the shot's screen, dresses it, and writes its picture.
void shoot(platform::qt::QtWindowSystem& windows, const std::string& dir, bool landscape, const Shot& shot,
           AppContext& ctx, bool& allWritten) {
  const std::unique_ptr<Screen> screen = shot.make(ctx);
  const std::string path =
      (std::filesystem::path(dir) / (std::string(shot.name) + (landscape ? "-landscape" : "-portrait") + ".png"))
          .string();
  auto save = [&] {
    if (!windows.saveScreenshot(path)) {
      std::fprintf(stderr, "corvantis: cannot write %s\n", path.c_str());
      allWritten = false;
    } else {
      std::printf("%s\n", path.c_str());
    }
  };
  windows.setAfterOpenHook([&](platform::Dialog& dialog) {
    screen->update(false);  // one tick: the status line shows the fix
    if (shot.ofMessageBox) windows.setMessageBoxShownHook(save);
    if (shot.dress) shot.dress(*screen, dialog);
    if (!shot.ofMessageBox) save();
    dialog.end(2);
  });
  screen->showModal();
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
      {"lap-editor", editorOnARecordedLap, nameTheLap},
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
    for (const Shot& shot : shots) shoot(windows, dir, landscape, shot, ctx, allWritten);
    {
      // A fix history of its own: the drive's fixes stay out of the others' pictures.
      AppContext drive(windows, clock, port);
      drive.landscape = landscape;
      fillRepresentativeContent(drive);
      const Shot distance{"distance", [](AppContext& c) { return std::make_unique<DistanceScreen>(c); },
                          [&drive](Screen& screen, platform::Dialog&) { driveDistanceRun(drive, screen); }};
      shoot(windows, dir, landscape, distance, drive, allWritten);
    }
    {
      // A context of its own, with a clock that follows the drive.
      DriveClock driveClock(clock);
      AppContext laps(windows, driveClock, port);
      laps.landscape = landscape;
      fillRepresentativeContent(laps);
      shoot(windows, dir, landscape, lapTimingShot(laps, driveClock), laps, allWritten);
    }
    AppContext review(windows, clock, port);
    review.landscape = landscape;
    loadSettingsDefaults(review.settings);
    if (!decodeOptions(reviewFile, review.settings, review.records, review.lapDefinitions).ok()) {
      std::fprintf(stderr, "corvantis: the records screenshots' options file does not read back\n");
      allWritten = false;
    }
    for (const Shot& shot : reviewShots(review)) shoot(windows, dir, landscape, shot, review, allWritten);
    windows.setAfterOpenHook({});
  }
  return allWritten;
}

}  // namespace corvantis::demo
