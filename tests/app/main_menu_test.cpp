// The main menu inside the running shell: fonts, and the status line as the
// receiver's data arrives through the real pump.
#include <gtest/gtest.h>

#include "app/main_menu_screen.h"
#include "tests/app/app_harness.h"

namespace corvantis::testing {
namespace {

using platform::headless::HeadlessDialog;
using M = MainMenuScreen;

constexpr const char* kNoFix = "$GPGGA,101500.0,,,,,0,00,,,M,,M,,*7D\r\n";
constexpr const char* kFix = "$GPGGA,101501.0,4807.038,N,01131.000,E,1,08,2.4,545.4,M,46.9,M,,*5F\r\n";

TEST(MainMenu, FontsFollowTheLayoutTable) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.then([&app](HeadlessDialog& d) {
    EXPECT_EQ(d.control(M::kStatusLine).font, app.ctx.fonts.small);
    for (int id : {M::kAccelerationButton, M::kDistanceButton, M::kConfigurationButton, M::kRecordsButton,
                   M::kExitButton}) {
      EXPECT_EQ(d.control(id).font, app.ctx.fonts.medium) << id;
    }
    EXPECT_FALSE(d.control(M::kLapsButton).fontSet);  // keeps the layout's own font
    EXPECT_EQ(d.fullScreenRequests(), 1);
    d.userClick(M::kExitButton);
  });
  app.run();
}

// The pump holds off for 2 s after every screen change; the screen that
// opens shows the receiver's state from its first frame all the same.
TEST(MainMenu, EveryScreenShowsTheStatusFromItsFirstFrame) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  const std::string fixQuality = "fix quality: 2 (excellent)";
  app.then([&app](HeadlessDialog& d) {
    app.windows.fireTimer(20);
    app.port.feed(kFix);
    app.port.feed("$");
    app.windows.fireTimer();
    d.userClick(M::kDistanceButton);
  });
  // Each screen checks its status line first thing, then leaves for the next.
  const int leaveWith[] = {1, M::kAccelerationButton, 1, M::kExitButton};
  for (int i = 0; i < 4; ++i) {
    app.then([&, i](HeadlessDialog& d) {
      EXPECT_EQ(d.text(1001), fixQuality) << "screen " << i + 1;
      d.userClick(leaveWith[i]);
    });
  }
  app.run();
  EXPECT_EQ(app.screensShown(), (std::vector<int>{kMainMenu, kDistance, kMainMenu, kAcceleration, kMainMenu}));
}

TEST(MainMenu, TheStatusLineFollowsTheReceiver) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.then([&app](HeadlessDialog& d) {
    const auto status = [&d] { return d.text(M::kStatusLine); };
    EXPECT_EQ(status(), "Connecting to GPS device ...");
    app.windows.fireTimer(20);  // the hold-off after the screen change
    app.windows.fireTimer(5);   // nothing decoded yet: the text stays
    EXPECT_EQ(status(), "Connecting to GPS device ...");

    app.port.feed(kNoFix);
    app.port.feed("$");  // a sentence is decoded when the next one begins
    app.windows.fireTimer();
    EXPECT_EQ(status(), "Waiting for satellite fix...");

    app.port.feed(std::string(kFix).substr(1));
    app.port.feed("$");
    app.windows.fireTimer();
    EXPECT_EQ(status(), "fix quality: 2 (excellent)");

    app.port.failReads = true;  // the receiver is unplugged
    app.windows.fireTimer();
    EXPECT_EQ(status(), "GPS Device Error");
    d.userClick(M::kExitButton);
  });
  app.run();
}

TEST(MainMenu, EveryShowingKeepsTheReceiversStatus) {
  AppHarness app;
  app.storeOptionsFile(Settings{});
  app.port.feed(std::string(kNoFix) + "$");
  app.then([&app](HeadlessDialog& d) {
    app.windows.fireTimer(21);
    EXPECT_EQ(d.text(M::kStatusLine), "Waiting for satellite fix...");
    d.userClick(M::kRecordsButton);
  });
  app.thenPassThrough();  // the records screen
  app.then([](HeadlessDialog& d) {
    EXPECT_EQ(d.text(M::kStatusLine), "Waiting for satellite fix...");
    d.userClick(M::kExitButton);
  });
  app.run();
}

}  // namespace
}  // namespace corvantis::testing
