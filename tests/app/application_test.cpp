// The shell on headless screens: start-up, the screen loop, the
// configuration step and shutdown, with scripted users.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/main_menu_screen.h"
#include "config/configuration_screen.h"
#include "store/options_file.h"
#include "tests/app/app_harness.h"
#include "tests/support/nmea_text.h"

namespace corvantis::testing {
namespace {

using platform::MessageAnswer;
using platform::headless::HeadlessDialog;

bool slept(const RecordingClock& clock, uint32_t ms) {
  return std::find(clock.sleeps.begin(), clock.sleeps.end(), ms) != clock.sleeps.end();
}

// ---- First start (no options file) -------------------------------------

TEST(FirstStart, ConfigurationComesFirstAndCancelEndsWithoutWriting) {
  AppHarness app;
  app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kCancel); });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.screensShown(), std::vector<int>{kConfiguration});
  EXPECT_EQ(app.files.writes, 0);
  EXPECT_TRUE(app.port.openedNames.empty());
}

TEST(FirstStart, OkOpensThePortThenTheMainMenuAndExitSavesTheDefaults) {
  AppHarness app;
  app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kOk); });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kConfiguration, kMainMenu}));
  EXPECT_EQ(app.port.openedNames, std::vector<std::string>{"COM6:"});
  EXPECT_TRUE(slept(app.clock, 200));
  // Kept as soon as they were confirmed, and saved again at exit.
  EXPECT_EQ(app.files.writes, 2);
  EXPECT_EQ(app.files.files.at(AppHarness::kOptionsPath).size(), 52u);
}

TEST(FirstStart, ConfigurationIsShownAgainUntilAPortOpens) {
  AppHarness app;
  app.port.failOpen = true;
  app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kOk); });
  app.then([&app](HeadlessDialog& d) {
    app.port.failOpen = false;
    d.userSelect(ConfigurationScreen::kPortCombo, 2);
    d.userClick(ConfigurationScreen::kOk);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  app.run();
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kConfiguration, kConfiguration, kMainMenu}));
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_EQ(app.messages()[0].text, "Unable to open Comm port");
  EXPECT_EQ(app.port.openedNames.back(), "COM3:");
  EXPECT_EQ(app.savedSettings().port, 2);
}

TEST(FirstStart, ADamagedFileIsKeptAsideAndTheUserToldWhereBeforeConfiguration) {
  AppHarness app;
  app.files.files[AppHarness::kOptionsPath] = {48, 0, 0, 0, 1, 2, 3};  // ends early
  app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kCancel); });
  app.run();
  const std::string aside = std::string(AppHarness::kOptionsPath) + ".damaged-1";
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_NE(app.messages()[0].text.find(aside), std::string::npos) << app.messages()[0].text;
  EXPECT_EQ(app.messages()[0].icon, platform::MessageIcon::Error);
  EXPECT_EQ(app.screensShown(), std::vector<int>{kConfiguration});
  // Cancel at the first start still writes nothing; the damaged bytes stay aside.
  EXPECT_EQ(app.files.writes, 0);
  EXPECT_TRUE(app.files.exists(aside));
  EXPECT_FALSE(app.files.exists(AppHarness::kOptionsPath));
}

// A file that cannot be read (a passing permission problem) stays where it
// is with its data; the session runs on defaults and is not saved over it,
// and the user hears so at start and again at exit.
TEST(FirstStart, AnUnreadableFileIsLeftInPlaceAndTheSessionNotSaved) {
  AppHarness app;
  const std::vector<uint8_t> held = encodeOptions(Settings{}, RunRecords{}, LapDefinitions{});
  app.files.files[AppHarness::kOptionsPath] = held;
  app.files.unreadable[AppHarness::kOptionsPath] = "Permission denied";
  app.then([](HeadlessDialog& d) { d.userClick(ConfigurationScreen::kOk); });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(app.run(), 0);
  ASSERT_EQ(app.messages().size(), 2u);
  EXPECT_NE(app.messages()[0].text.find("Permission denied"), std::string::npos) << app.messages()[0].text;
  EXPECT_NE(app.messages()[0].text.find("will not save"), std::string::npos) << app.messages()[0].text;
  EXPECT_NE(app.messages()[1].text.find("were not saved"), std::string::npos) << app.messages()[1].text;
  EXPECT_EQ(app.files.writes, 0);
  EXPECT_EQ(app.files.files.at(AppHarness::kOptionsPath), held);
  EXPECT_EQ(app.files.files.size(), 1u) << "nothing moved aside";
}

TEST(StartUp, ALoadedFileOpensItsPortAndAFailedOpenStillRunsTheLoop) {
  for (bool openFails : {false, true}) {
    AppHarness app;
    Settings settings;
    settings.port = 2;
    settings.baudIndex = 1;
    app.storeOptionsFile(settings);
    app.port.failOpen = openFails;
    app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
    app.run();
    EXPECT_EQ(app.screensShown(), std::vector<int>{kMainMenu});
    EXPECT_EQ(app.port.openedNames, std::vector<std::string>{"COM3:"});
    EXPECT_EQ(app.messages().size(), openFails ? 1u : 0u);
    EXPECT_EQ(app.savedSettings().port, 2);
  }
}

TEST(StartUp, TheLayoutFollowsTheScreenShape) {
  struct Case {
    platform::Size screen;
    bool landscape;
  };
  for (const Case& c : {Case{{240, 320}, false}, Case{{320, 240}, true}, Case{{240, 240}, false}}) {
    AppHarness app(c.screen);
    app.storeOptionsFile(Settings{});
    app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
    app.run();
    EXPECT_EQ(app.ctx.landscape, c.landscape);
    EXPECT_EQ(app.screensShown(), std::vector<int>{c.landscape ? 149 : kMainMenu});
  }
}

// ---- The screen loop ---------------------------------------------------------

TEST(ScreenLoop, EachMainMenuResultLeadsToItsScreen) {
  struct Case {
    const char* what;
    std::function<void(HeadlessDialog&)> choose;
    std::vector<int> shown;  // screens shown, ending with the main menu's Exit
  };
  const auto click = [](int id) { return [id](HeadlessDialog& d) { d.userClick(id); }; };
  const std::vector<Case> cases = {
      {"acceleration", click(MainMenuScreen::kAccelerationButton), {kMainMenu, kAcceleration, kMainMenu}},
      {"distance", click(MainMenuScreen::kDistanceButton), {kMainMenu, kDistance, kMainMenu}},
      {"laps", click(MainMenuScreen::kLapsButton), {kMainMenu, kLapTiming, kMainMenu}},
      {"configuration", click(MainMenuScreen::kConfigurationButton), {kMainMenu, kConfiguration, kMainMenu}},
      {"records", click(MainMenuScreen::kRecordsButton), {kMainMenu, kRecords, kMainMenu}},
      {"out of range", [](HeadlessDialog& d) { d.end(99); }, {kMainMenu, kMainMenu}},
      {"zero", [](HeadlessDialog& d) { d.end(0); }, {kMainMenu, kMainMenu}},
      {"exit", click(MainMenuScreen::kExitButton), {kMainMenu}},
      {"generic OK", click(1), {kMainMenu}},
      {"generic Cancel", click(2), {kMainMenu}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AppHarness app;
    app.storeOptionsFile(Settings{});
    app.then(c.choose);
    if (c.shown.size() == 3) app.thenPassThrough();
    if (c.shown.size() > 1) app.then(click(MainMenuScreen::kExitButton));
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(app.screensShown(), c.shown);
    EXPECT_EQ(app.windows.pendingModalScripts(), 0u);
    EXPECT_EQ(app.files.writes, 1);
  }
}

TEST(ScreenLoop, EveryScreenChangeHoldsTheReceiverOffFor20Ticks) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  // Ticks that decode nothing for 20 ticks (what arrives meanwhile is
  // kept), then one that takes it.
  int second = 0;
  const auto expectHoldOff = [&app, &second](const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(app.ctx.gps.holdOffTicks, 20);
    const uint32_t fixMs = 43200000u + 1000u * static_cast<uint32_t>(second);
    app.port.feed(nmeaSentence("GPGGA,1200" + std::string(second < 10 ? "0" : "") + std::to_string(second) +
                               ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") + "$");
    ++second;
    EXPECT_EQ(app.windows.fireTimer(20), 20);
    EXPECT_NE(app.ctx.gps.history.newestFixTime(), fixMs);
    app.windows.fireTimer();
    EXPECT_EQ(app.ctx.gps.history.newestFixTime(), fixMs);
  };
  app.then([&](HeadlessDialog& d) {
    expectHoldOff("main menu at start");
    d.userClick(MainMenuScreen::kAccelerationButton);
  });
  app.then([&](HeadlessDialog& d) {
    expectHoldOff("acceleration screen");
    d.end(2);
  });
  app.then([&](HeadlessDialog& d) {
    expectHoldOff("main menu again");
    d.userClick(MainMenuScreen::kConfigurationButton);
  });
  app.then([&](HeadlessDialog& d) {
    EXPECT_FALSE(app.windows.manualTimer().running());  // no tick during configuration
    d.userClick(ConfigurationScreen::kOk);
  });
  app.then([&](HeadlessDialog& d) {
    expectHoldOff("main menu after configuration");
    d.userClick(MainMenuScreen::kExitButton);
  });
  app.run();
  EXPECT_EQ(app.windows.pendingModalScripts(), 0u);
}

// ---- The configuration step --------------------------------------------------

LapDefinitions threeTracks() {
  LapDefinitions laps;
  for (const char* name : {"North loop", "Club circuit", "Long track"}) {
    LapDefinition definition;
    definition.name = name;
    laps.definitions().push_back(definition);
  }
  return laps;
}

TEST(ConfigurationStep, CancelPutsBackPortRateAndUnitsButNotADeletedTrack) {
  AppHarness app;
  app.storeOptionsFile(Settings{}, threeTracks());
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kConfigurationButton); });
  app.then([&app](HeadlessDialog& d) {
    d.userSelect(ConfigurationScreen::kPortCombo, 2);
    d.userSelect(ConfigurationScreen::kRateCombo, 3);
    d.userSelect(ConfigurationScreen::kUnitsCombo, 1);
    d.userSelect(ConfigurationScreen::kLapList, 1);
    app.windows.pushMenuAnswer(ConfigurationScreen::kDeleteCommand);
    app.windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
    d.userHold(ConfigurationScreen::kLapList, {10, 20});
    d.userClick(ConfigurationScreen::kCancel);
  });
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  app.run();
  const Settings saved = app.savedSettings();
  EXPECT_EQ(saved.port, 5);
  EXPECT_EQ(saved.baudIndex, 0);
  EXPECT_EQ(saved.units, 0);
  EXPECT_EQ(saved.lapDefinitionCount, 2);
  ASSERT_EQ(app.ctx.lapDefinitions.count(), 2);
  EXPECT_EQ(app.ctx.lapDefinitions.at(1).name, "Long track");
  EXPECT_EQ(app.port.openedNames.size(), 1u);  // not reopened
  EXPECT_FALSE(slept(app.clock, 500));
}

TEST(ConfigurationStep, ThePortIsReopenedWhenPortOrRateChangedOrTheReceiverFailed) {
  struct Case {
    const char* what;
    bool openFailsAtStart;
    std::function<void(HeadlessDialog&)> edit;
    int button;
    std::vector<std::string> opened;  // every open, the one at start first
    uint32_t lastRate;
    bool waited500;
    bool deviceError = false;  // the receiver went silent before the screen
  };
  const std::vector<Case> cases = {
      {"units only", false, [](HeadlessDialog& d) { d.userSelect(ConfigurationScreen::kUnitsCombo, 1); },
       ConfigurationScreen::kOk, {"COM6:"}, 4800, false},
      {"rate, port open", false, [](HeadlessDialog& d) { d.userSelect(ConfigurationScreen::kRateCombo, 1); },
       ConfigurationScreen::kOk, {"COM6:", "COM6:"}, 9600, true},
      {"port, port open", false, [](HeadlessDialog& d) { d.userSelect(ConfigurationScreen::kPortCombo, 0); },
       ConfigurationScreen::kOk, {"COM6:", "COM1:"}, 4800, true},
      {"port, port closed after a failed open", true,
       [](HeadlessDialog& d) { d.userSelect(ConfigurationScreen::kPortCombo, 7); }, ConfigurationScreen::kOk,
       {"COM6:", "COM8:"}, 4800, false},
      {"port, then Cancel", false, [](HeadlessDialog& d) { d.userSelect(ConfigurationScreen::kPortCombo, 0); },
       ConfigurationScreen::kCancel, {"COM6:"}, 4800, false},
      {"nothing, port closed after a failed open", true, [](HeadlessDialog&) {}, ConfigurationScreen::kOk,
       {"COM6:", "COM6:"}, 4800, false},
      {"nothing, port closed, Cancel", true, [](HeadlessDialog&) {}, ConfigurationScreen::kCancel,
       {"COM6:"}, 0, false},
      {"nothing, receiver gone silent", false, [](HeadlessDialog&) {}, ConfigurationScreen::kOk,
       {"COM6:", "COM6:"}, 4800, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AppHarness app;
    app.storeOptionsFile(Settings{});
    app.port.failOpen = c.openFailsAtStart;
    int closesBefore = 0;
    app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kConfigurationButton); });
    app.then([&](HeadlessDialog& d) {
      app.port.failOpen = false;
      closesBefore = app.port.closeCount;
      app.ctx.gps.currentFix.deviceError = c.deviceError;
      c.edit(d);
      d.userClick(c.button);
    });
    app.then([&](HeadlessDialog& d) {
      EXPECT_TRUE(app.windows.manualTimer().running());
      EXPECT_EQ(app.port.closeCount - closesBefore, c.waited500 ? 1 : 0);
      d.userClick(MainMenuScreen::kExitButton);
    });
    app.run();
    EXPECT_EQ(app.port.openedNames, c.opened);
    // lastRate 0: no open got as far as its line settings.
    EXPECT_EQ(app.port.appliedRates.empty() ? 0u : app.port.appliedRates.back(), c.lastRate);
    EXPECT_EQ(slept(app.clock, 500), c.waited500);
    // A successful reopen clears the device error.
    EXPECT_EQ(app.ctx.gps.currentFix.deviceError, c.deviceError && c.opened.size() == 1);
  }
}

TEST(ConfigurationStep, WaitsForATickUnderWayBeforeShowingTheScreen) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  int sleepsWhileBusy = 0;
  app.clock.onSleep = [&](uint32_t) {
    if (app.ctx.gps.pumpBusy && ++sleepsWhileBusy == 3) app.ctx.gps.pumpBusy = false;
  };
  app.then([&](HeadlessDialog& d) {
    app.ctx.gps.pumpBusy = true;  // as if a tick were under way
    d.userClick(MainMenuScreen::kConfigurationButton);
  });
  app.then([&](HeadlessDialog& d) {
    EXPECT_FALSE(app.windows.manualTimer().running());
    EXPECT_EQ(app.clock.sleeps, (std::vector<uint32_t>{10, 10, 10}));
    d.userClick(ConfigurationScreen::kOk);
  });
  app.then([&](HeadlessDialog& d) {
    EXPECT_TRUE(app.windows.manualTimer().running());
    EXPECT_EQ(app.windows.manualTimer().periodMs(), 100u);
    d.userClick(MainMenuScreen::kExitButton);
  });
  app.run();
}

// ---- Shutdown -------------------------------------------------------------

TEST(Shutdown, StopsTheTimerWaitsForTheTickClosesThePortThenSavesOnce) {
  AppHarness app;
  Settings settings;
  settings.units = 1;
  app.storeOptionsFile(settings);
  bool timerRunningAtSave = true, portOpenAtSave = true, busyAtSave = true;
  app.files.onWrite = [&] {
    timerRunningAtSave = app.windows.manualTimer().running();
    portOpenAtSave = app.port.isOpen();
    busyAtSave = app.ctx.gps.pumpBusy;
  };
  app.clock.onSleep = [&](uint32_t ms) {
    if (ms == 10) app.ctx.gps.pumpBusy = false;
  };
  app.then([&](HeadlessDialog& d) { d.userClick(MainMenuScreen::kAccelerationButton); });
  app.then([&](HeadlessDialog& d) {
    EXPECT_EQ(app.files.writes, 0);  // nothing is written while the program runs
    d.end(2);
  });
  app.then([&](HeadlessDialog& d) {
    app.ctx.gps.pumpBusy = true;
    d.userClick(MainMenuScreen::kExitButton);
  });
  app.run();
  EXPECT_EQ(app.files.writes, 1);
  EXPECT_FALSE(timerRunningAtSave);
  EXPECT_FALSE(portOpenAtSave);
  EXPECT_FALSE(busyAtSave);
  EXPECT_EQ(app.clock.sleeps, std::vector<uint32_t>{10});
  EXPECT_EQ(app.port.closeCount, 1);
  EXPECT_EQ(app.savedSettings().units, 1);
}

TEST(Shutdown, AFailedSaveIsToldToTheUser) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.files.failWrites = true;
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  app.run();
  ASSERT_EQ(app.messages().size(), 1u);
  EXPECT_NE(app.messages()[0].text.find("could not be saved"), std::string::npos);
  EXPECT_NE(app.messages()[0].text.find("No space left on device"), std::string::npos);
  EXPECT_EQ(app.messages()[0].icon, platform::MessageIcon::Error);
}

// Nobody may be at the screen of a signalled program: a failed save is
// printed and the exit status says so, instead of a box waiting for a click.
TEST(Shutdown, ASignalledProgramPrintsAFailedSaveAndFails) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.files.failWrites = true;
  app.then([&app](HeadlessDialog&) {
    app.signalled = true;
    app.windows.requestQuit();
  });
  EXPECT_EQ(app.run(), Application::kExitSaveFailed);
  EXPECT_TRUE(app.messages().empty());
  ASSERT_EQ(app.printedErrors.size(), 1u);
  EXPECT_NE(app.printedErrors[0].find("could not be saved"), std::string::npos);
}

TEST(Shutdown, AQuitRequestEndsEveryScreenAndSaves) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kDistanceButton); });
  app.then([&app](HeadlessDialog&) {
    app.ctx.settings.units = 1;  // work in memory, not yet saved
    app.windows.requestQuit();   // the window closed, or SIGTERM
  });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kMainMenu, kDistance}));
  // Saved as the screen closed, and again at exit.
  EXPECT_EQ(app.files.writes, 2);
  EXPECT_EQ(app.savedSettings().units, 1);
  EXPECT_FALSE(app.port.isOpen());
}

// A signal may arrive while no screen shows (a message box at start): it is
// not lost, and no screen opens after it.
TEST(Shutdown, AQuitRequestBeforeAnyScreenIsKept) {
  for (bool withFile : {false, true}) {
    AppHarness app;
    if (withFile) app.storeOptionsFile(Settings{});
    app.ctx.quitRequested = true;
    EXPECT_EQ(app.run(), 0);
    EXPECT_TRUE(app.screensShown().empty());
    EXPECT_EQ(app.files.writes, withFile ? 1 : 0);
  }
}

TEST(Shutdown, AQuitRequestAtTheFirstStartWritesNothing) {
  AppHarness app;
  app.then([&app](HeadlessDialog&) { app.windows.requestQuit(); });
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.screensShown(), std::vector<int>{kConfiguration});
  EXPECT_EQ(app.files.writes, 0);
}

}  // namespace
}  // namespace corvantis::testing

namespace corvantis::testing {
namespace {

// Options of a program that brings its own receiver, as the demo does.
ApplicationOptions demoOptions() {
  ApplicationOptions options;
  options.optionsPath = AppHarness::kOptionsPath;
  options.firstStartWithDefaults = true;
  return options;
}

// The demo brings its own receiver: its first start asks for nothing.
TEST(FirstStart, WithDefaultsTheMainMenuComesFirstAndExitSavesTheDefaults) {
  AppHarness app;
  app.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  EXPECT_EQ(runApplication(app.ctx, app.files, demoOptions()), 0);
  EXPECT_EQ(app.screensShown(), std::vector<int>{kMainMenu});
  EXPECT_EQ(app.port.openedNames, std::vector<std::string>{"COM6:"});
  EXPECT_TRUE(app.messages().empty());
  EXPECT_EQ(app.files.files.at(AppHarness::kOptionsPath).size(), 52u);

  // A file that is there loads as always; a damaged one is told, then defaults.
  AppHarness damaged;
  damaged.files.files[AppHarness::kOptionsPath] = {48, 0, 0, 0, 1, 2, 3};
  damaged.then([](HeadlessDialog& d) { d.userClick(MainMenuScreen::kExitButton); });
  runApplication(damaged.ctx, damaged.files, demoOptions());
  EXPECT_EQ(damaged.screensShown(), std::vector<int>{kMainMenu});
  EXPECT_EQ(damaged.messages().size(), 1u);
}

}  // namespace
}  // namespace corvantis::testing
