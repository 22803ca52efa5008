// The options file follows the session as it goes: every change it keeps is
// in the file before the next tick, wherever the change was made, so that a
// crash or a power cut loses nothing already stored.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "review/records_screen.h"
#include "store/options_file.h"
#include "tests/app/app_harness.h"

namespace corvantis::testing {
namespace {

using platform::MessageAnswer;
using platform::headless::HeadlessDialog;

struct Saved {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
};

// What the file at the options path holds now.
Saved savedFile(AppHarness& app) {
  Saved saved;
  const auto found = app.files.files.find(AppHarness::kOptionsPath);
  if (found == app.files.files.end()) throw std::runtime_error("no options file");
  if (!decodeOptions(found->second, saved.settings, saved.records, saved.laps).ok()) {
    throw std::runtime_error("the options file does not load");
  }
  return saved;
}

FixHistory fewFixes() {
  FixHistory history;
  for (int i = 0; i < 4; ++i) {
    history.recordFix(8.5 + 1e-4 * i, 47.0 + 1e-4 * i, 400.0, 45319000u + 1000u * static_cast<uint32_t>(i));
  }
  return history;
}

// One track with two laps, as the file at start holds it.
void storeFileWithTrack(AppHarness& app) {
  LapDefinitions laps;
  const FixHistory history = fewFixes();
  laps.createDefinition(history, 0, nullptr, "Club");
  laps.addLapTime(0, 81000, 45319000, 1, history);
  laps.addLapTime(0, 82000, 45400000, 2, history);
  RunRecords records;
  records.addRun(RecordKey{0, 60}, 6100, 1, history);
  records.addRun(RecordKey{0, 60}, 6200, 2, history);
  Settings settings;
  keepCountsInStep(settings, records, laps);
  app.files.files[AppHarness::kOptionsPath] = encodeOptions(settings, records, laps);
}

TEST(SavingAsItHappens, AChangeOnAnyScreenIsInTheFileBeforeTheNextTick) {
  struct Case {
    const char* name;
    int button;  // the main menu's button that opens the screen
    std::function<void(AppHarness&)> change;
    std::function<bool(const Saved&)> saved;
  };
  const FixHistory history = fewFixes();
  const Case cases[] = {
      {"a run stored", MainMenuScreen::kAccelerationButton,
       [&](AppHarness& app) { app.ctx.records.addRun(RecordKey{0, 60}, 5900, 3, history); },
       [](const Saved& s) { return s.records.sets()[0].filledCount() == 3 && s.records.sets()[0].runs[2].timeMs == 5900; }},
      {"a run forgotten", MainMenuScreen::kAccelerationButton,
       [](AppHarness& app) { app.ctx.records.forgetLastRun(RecordKey{0, 60}); },
       [](const Saved& s) { return s.records.sets()[0].filledCount() == 1; }},
      {"the speeds of a run changed", MainMenuScreen::kAccelerationButton,
       [](AppHarness& app) { app.ctx.settings.accelTo = 100.0f; },
       [](const Saved& s) { return s.settings.accelTo == 100.0f; }},
      {"the distance changed", MainMenuScreen::kDistanceButton,
       [](AppHarness& app) { app.ctx.settings.distance = 201.168; },
       [](const Saved& s) { return s.settings.distance == 201.168; }},
      {"a lap stored", MainMenuScreen::kLapsButton,
       [&](AppHarness& app) { app.ctx.lapDefinitions.addLapTime(0, 80500, 45500000, 3, history); },
       [](const Saved& s) { return s.laps.at(0).lapCount == 3 && s.laps.at(0).laps[2].timeMs == 80500; }},
      {"a track recorded", MainMenuScreen::kLapsButton,
       [&](AppHarness& app) { app.ctx.lapDefinitions.createDefinition(history, 0, nullptr, "New"); },
       [](const Saved& s) { return s.laps.count() == 2 && s.laps.at(1).name == "New"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AppHarness app;
    storeFileWithTrack(app);
    app.then([&c](HeadlessDialog& d) { d.userClick(c.button); });
    app.then([&](HeadlessDialog& d) {
      app.windows.fireTimer();
      EXPECT_FALSE(c.saved(savedFile(app)));
      c.change(app);
      app.windows.fireTimer();
      EXPECT_TRUE(c.saved(savedFile(app)));
      d.end(MainMenuScreen::kExit);
    });
    app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(app.windows.pendingModalScripts(), 0u);
  }
}

TEST(SavingAsItHappens, TimesDeletedOnTheRecordsScreenAreSavedAtTheNextTick) {
  AppHarness app;
  storeFileWithTrack(app);
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kRecordsButton); });
  app.then([&app](HeadlessDialog& d) {
    // The first time of the run set, then the first lap of the track.
    d.userToggleRow(RecordsScreen::kTimesList, 0);
    app.windows.pushMenuAnswer(RecordsScreen::kDeleteCommand);
    d.userHold(RecordsScreen::kTimesList, {10, 10});
    app.windows.fireTimer();
    EXPECT_EQ(savedFile(app).records.sets()[0].filledCount(), 1);
    d.userSelect(RecordsScreen::kCategoryCombo, 1);
    d.userToggleRow(RecordsScreen::kTimesList, 0);
    app.windows.pushMenuAnswer(RecordsScreen::kDeleteCommand);
    d.userHold(RecordsScreen::kTimesList, {10, 10});
    app.windows.fireTimer();
    const Saved saved = savedFile(app);
    EXPECT_EQ(saved.laps.at(0).lapCount, 1);
    EXPECT_EQ(saved.laps.at(0).laps[0].timeMs, 82000u);
    d.userClick(RecordsScreen::kMainMenu);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  app.run();
  EXPECT_EQ(app.windows.pendingModalScripts(), 0u);
}

// The configuration screen runs with the timer stopped: a track deleted
// there is saved at once, with the settings from before the screen, whose
// own choices count only with OK.
TEST(SavingAsItHappens, ConfigurationSavesADeletedTrackAtOnceAndItsSettingsOnlyWithOk) {
  AppHarness app;
  storeFileWithTrack(app);
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kConfigurationButton); });
  app.then([&app](HeadlessDialog& d) {
    d.userSelect(ConfigurationScreen::kUnitsCombo, 1);
    d.userSelect(ConfigurationScreen::kLapList, 0);
    app.windows.pushMenuAnswer(ConfigurationScreen::kDeleteCommand);
    app.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
    d.userHold(ConfigurationScreen::kLapList, {10, 8});
    const Saved saved = savedFile(app);
    EXPECT_EQ(saved.laps.count(), 0);
    EXPECT_EQ(saved.settings.units, 0);
    d.userClick(ConfigurationScreen::kCancel);
  });
  app.then([&app](HeadlessDialog& d) {
    EXPECT_EQ(savedFile(app).settings.units, 0);
    d.userClick(MainMenuScreen::kConfigurationButton);
  });
  app.then([](HeadlessDialog& d) {
    d.userSelect(ConfigurationScreen::kUnitsCombo, 1);
    d.userClick(ConfigurationScreen::kOk);
  });
  app.then([&app](HeadlessDialog& d) {
    EXPECT_EQ(savedFile(app).settings.units, 1);
    d.userClick(MainMenuScreen::kExitButton);
  });
  app.run();
  EXPECT_EQ(app.windows.pendingModalScripts(), 0u);
}

// A failed save is told once; the session goes on, and each change tries
// again. Once a save works, a later failure is told again.
TEST(SavingAsItHappens, AFailedSaveIsToldOnceAndTheNextChangeTriesAgain) {
  AppHarness app;
  storeFileWithTrack(app);
  const FixHistory history = fewFixes();
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kAccelerationButton); });
  app.then([&](HeadlessDialog& d) {
    app.files.failWrites = true;
    const int before = app.files.writes;
    app.ctx.records.addRun(RecordKey{0, 60}, 5900, 3, history);
    EXPECT_EQ(app.files.writes, before + 1);
    ASSERT_EQ(app.messages().size(), 1u);
    EXPECT_NE(app.messages()[0].text.find("could not be saved"), std::string::npos) << app.messages()[0].text;
    EXPECT_NE(app.messages()[0].text.find("at the next change"), std::string::npos) << app.messages()[0].text;
    // No change, no new attempt; a change tries again, told no more.
    app.windows.fireTimer(5);
    EXPECT_EQ(app.files.writes, before + 1);
    app.ctx.records.addRun(RecordKey{0, 60}, 5800, 4, history);
    EXPECT_EQ(app.files.writes, before + 2);
    EXPECT_EQ(app.messages().size(), 1u);
    // The disk has room again: the next change holds everything so far.
    app.files.failWrites = false;
    app.ctx.settings.accelFrom = 5.0f;
    app.windows.fireTimer();
    const Saved saved = savedFile(app);
    EXPECT_EQ(saved.records.sets()[0].filledCount(), 4);
    EXPECT_EQ(saved.settings.accelFrom, 5.0f);
    app.files.failWrites = true;
    app.ctx.records.addRun(RecordKey{0, 60}, 5700, 5, history);
    EXPECT_EQ(app.messages().size(), 2u);
    app.files.failWrites = false;
    d.end(MainMenuScreen::kExit);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(savedFile(app).records.sets()[0].filledCount(), 5);
}

// A file that could not be read, or a damaged one that could not be moved
// aside, is left as it was: nothing of the session goes over it, and a
// program ended by a signal says so in its exit status.
TEST(SavingAsItHappens, AFileLeftInPlaceIsNeverWrittenAndASignalledExitFails) {
  const std::vector<uint8_t> damaged = {48, 0, 0, 0, 1, 2, 3};
  struct Case {
    const char* name;
    std::function<void(AppHarness&)> prepare;
  };
  const Case cases[] = {
      {"unreadable", [](AppHarness& app) { app.files.unreadable[AppHarness::kOptionsPath] = "Permission denied"; }},
      {"damaged and stuck", [](AppHarness& app) { app.files.failMoves = "Read-only file system"; }},
  };
  for (const Case& c : cases) {
    for (const bool signalled : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (signalled ? ", signalled" : ", closed"));
      AppHarness app;
      app.files.files[AppHarness::kOptionsPath] = damaged;
      c.prepare(app);
      app.ctx.gps.history = fewFixes();
      // Without a file it could read, the program asks for a port first.
      app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kOk); });
      app.then([&](HeadlessDialog& d) {
        app.ctx.records.addRun(RecordKey{0, 60}, 5900, 3, app.ctx.gps.history);
        app.windows.fireTimer(3);
        app.signalled = signalled;
        if (signalled) app.windows.requestQuit();
        else d.userClick(MainMenuScreen::kExitButton);
      });
      EXPECT_EQ(app.run(), signalled ? Application::kExitSaveFailed : 0);
      EXPECT_EQ(app.files.writes, 0);
      EXPECT_EQ(app.files.files.at(AppHarness::kOptionsPath), damaged);
      EXPECT_EQ(app.printedErrors.size(), signalled ? 1u : 0u);
    }
  }
}

// The session log's trouble (a full disk) is told once, and the session
// goes on reading the receiver.
TEST(SessionLogTrouble, IsToldOnceAndTheTicksGoOn) {
  struct TroubledLog final : platform::SessionLog {
    void append(std::span<const uint8_t> bytes) override { appended += bytes.size(); }
    std::string takeProblem() override { return std::exchange(problem, ""); }
    size_t appended = 0;
    std::string problem;
  } log;
  AppHarness app;
  storeFileWithTrack(app);
  app.sessionLog = &log;
  app.then([&](HeadlessDialog& d) {
    app.windows.fireTimer(Application::kHoldOffTicks + 1);
    log.problem = "The disk is full: the session log stops here. Timing goes on.";
    const long reads = app.port.readCount;
    app.windows.fireTimer(3);
    EXPECT_GT(app.port.readCount, reads);
    d.userClick(MainMenuScreen::kExitButton);
  });
  app.run();
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_EQ(app.messages()[0].text, "The disk is full: the session log stops here. Timing goes on.");
}

}  // namespace
}  // namespace corvantis::testing
