// Configure in the running program: from the main menu to the configuration
// screen, into the lap editor on a stored track and back, then the options
// file saved at exit read back as it lies on disk.
#include <gtest/gtest.h>

#include <cmath>

#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "laps/lap_editor_screen.h"
#include "laps/track_map.h"
#include "store/options_file.h"
#include "tests/app/app_harness.h"

namespace corvantis::testing {
namespace {

using platform::MessageAnswer;
using platform::headless::HeadlessDialog;
using C = ConfigurationScreen;
using E = LapEditorScreen;

constexpr int kPoints = 36;

// A stored track of 36 points round a circle, two split lines, three laps.
LapDefinitions oneTrackWithLaps(FixHistory& history) {
  history.count = kPoints;
  for (int i = 0; i < kPoints; ++i) {
    const double a = 2.0 * M_PI * i / kPoints;
    history.samples[static_cast<size_t>(i)].longitude = -1.787 + 0.003 * std::cos(a);
    history.samples[static_cast<size_t>(i)].latitude = 51.572 + 0.002 * std::sin(a);
  }
  const TrackPoint anchors[2] = {{history.samples[9].longitude, history.samples[9].latitude},
                                 {history.samples[20].longitude, history.samples[20].latitude}};
  LapDefinitions laps;
  laps.createDefinition(history, 2, anchors, "Club circuit");
  for (uint32_t t : {93456u, 91234u, 92000u}) laps.addLapTime(0, t, 36000000, 1796637300u, history);
  history.count = 0;
  return laps;
}

TEST(ConfigureInTheProgram, AMovedStartFinishAndANewNameReachTheFileAndTheLapsAreGone) {
  AppHarness app;
  FixHistory scratch;
  const LapDefinitions stored = oneTrackWithLaps(scratch);
  const LapDefinition before = stored.at(0);
  app.storeOptionsFile(Settings{}, stored);
  constexpr int kNewStart = 7;

  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kConfigurationButton); });
  app.then([&](HeadlessDialog& d) {
    d.userSelect(C::kLapList, 0);
    app.then([&](HeadlessDialog& editor) {
      EXPECT_FALSE(app.windows.manualTimer().running());  // no fix lands in the track
      TrackMap map(E::kPortraitMap);
      map.fit(app.ctx.gps.history.samples.data(), app.ctx.gps.history.count);
      app.windows.pushMenuAnswer(resources::kCommandSetStartFinish);
      app.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
      editor.userHold(0, map.project(before.track[kNewStart]));
      {
        // The times driven from the old line are gone from the file at once,
        // with no tick running, whatever becomes of the rest of the edit.
        Settings settings;
        RunRecords records;
        LapDefinitions saved;
        ASSERT_TRUE(decodeOptions(app.files.files.at(AppHarness::kOptionsPath), settings, records, saved).ok());
        EXPECT_EQ(saved.at(0).lapCount, 0);
        EXPECT_EQ(saved.at(0).laps[0].timeMs, 0u);
      }
      editor.userType(E::kNameField, "Club circuit, pit exit start");
      editor.userClick(E::kOk);
    });
    // Scripts go to the screens in the order they open: the editor's, then
    // the main menu's after this screen.
    app.then([](HeadlessDialog& menu) { menu.userClick(MainMenuScreen::kExitButton); });
    app.windows.pushMenuAnswer(C::kConfigureCommand);
    d.userHold(C::kLapList, {10, 8});
    EXPECT_EQ(d.itemText(C::kLapList, 0), "Club circuit, pit exit start");
    d.userClick(C::kCancel);
  });
  app.run();
  EXPECT_EQ(app.windows.pendingModalScripts(), 0u);

  Settings settings;
  RunRecords records;
  LapDefinitions saved;
  const auto file = app.files.files.find(AppHarness::kOptionsPath);
  ASSERT_NE(file, app.files.files.end());
  ASSERT_TRUE(decodeOptions(file->second, settings, records, saved).ok());
  ASSERT_EQ(saved.count(), 1);
  const LapDefinition& d = saved.at(0);
  EXPECT_EQ(d.name, "Club circuit, pit exit start");
  EXPECT_EQ(d.lapCount, 0);
  for (const RunRecord& lap : d.laps) EXPECT_EQ(lap.timeMs, 0u);  // no old time left in any slot
  ASSERT_EQ(d.trackPointCount(), kPoints);
  for (int k = 0; k < kPoints; ++k) {
    EXPECT_EQ(d.track[static_cast<size_t>(k)], before.track[static_cast<size_t>((k + kNewStart) % kPoints)]) << k;
  }
  EXPECT_EQ(d.splitLineCount, 2);
  EXPECT_EQ(d.splitLines[0], before.track[9]);
  EXPECT_EQ(d.splitLines[1], before.track[20]);
  EXPECT_EQ(d.minLongitude, before.minLongitude);
  EXPECT_EQ(d.maxLatitude, before.maxLatitude);
}

}  // namespace
}  // namespace corvantis::testing
