// A driver's track through the whole program: picked once on the lap
// screen, active again on every later visit and after a restart, the
// options file left exactly as it was.
#include <gtest/gtest.h>

#include "app/main_menu_screen.h"
#include "laps/lap_timing_screen.h"
#include "tests/app/app_harness.h"

namespace corvantis::testing {
namespace {

using platform::headless::HeadlessDialog;

LapDefinitions twoTracks() {
  LapDefinitions laps;
  FixHistory history;
  for (int track = 0; track < 2; ++track) {
    history.count = 0;
    for (int i = 0; i < 12; ++i) {
      history.samples[static_cast<size_t>(history.count++)] =
          FixSample{10.0 + 0.001 * track + 0.0002 * (i % 6), 50.0 + 0.0002 * (i / 6), 0.0f, 0.0f, 0, 0};
    }
    laps.createDefinition(history, 0, nullptr, track == 0 ? "Club" : "National");
  }
  return laps;
}

TEST(LapTrackVisit, ThePickedTrackStaysActiveAcrossVisitsAndARestart) {
  AppHarness app;
  Settings settings;
  loadSettingsDefaults(settings);
  settings.lapDefinitionCount = 2;
  app.storeOptionsFile(settings, twoTracks());
  const std::vector<uint8_t> optionsBefore = app.files.files[AppHarness::kOptionsPath];

  const auto toLaps = [](HeadlessDialog& d) { d.userClick(MainMenuScreen::kLapsButton); };
  app.then(toLaps);
  app.then([](HeadlessDialog& d) {
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), -1);
    d.userSelect(LapTimingScreen::kActiveLap, 1);
    d.userClick(LapTimingScreen::kMainMenu);
  });
  app.then(toLaps);
  app.then([](HeadlessDialog& d) {
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), 1);
    d.userClick(LapTimingScreen::kMainMenu);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kMainMenu, kLapTiming, kMainMenu, kLapTiming, kMainMenu}));
  EXPECT_EQ(app.files.files[AppHarness::kOptionsPath], optionsBefore);
  EXPECT_TRUE(app.files.exists("/data/corvantis/options.active-track"));

  AppHarness restarted;
  restarted.files.files = app.files.files;
  restarted.then(toLaps);
  restarted.then([](HeadlessDialog& d) {
    EXPECT_EQ(d.selection(LapTimingScreen::kActiveLap), 1);
    d.userClick(LapTimingScreen::kMainMenu);
  });
  restarted.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(restarted.run(), 0);
  EXPECT_EQ(restarted.screensShown(), (std::vector<int>{kMainMenu, kLapTiming, kMainMenu}));
}

}  // namespace
}  // namespace corvantis::testing
