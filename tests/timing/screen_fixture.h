#pragma once
// A timing screen shown on the headless window system, with a drive fed into
// the real fix history: each fix moves due east along the equator at the
// given mean speed, and the current fix follows the newest recorded one as
// the decoder leaves it.
#include <gtest/gtest.h>

#include <functional>

#include "ui/context.h"
#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"

namespace corvantis::testing {

class TimingScreenTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kT0 = 45319000;

  TimingScreenTest() {
    ctx.gps.currentFix.satellites = 8;
    ctx.gps.currentFix.hdop = 1;
    clock.setTickMs(500000);
    clock.setCalendarSeconds(1700000000);
  }

  // Shows the screen; body runs as the user with the open dialog, then the
  // screen is closed with Main Menu.
  template <typename ScreenT>
  void show(ScreenT& screen, const std::function<void(platform::headless::HeadlessDialog&)>& body) {
    windows.pushModalScript([&](platform::headless::HeadlessDialog& dialog) {
      body(dialog);
      dialog.userClick(1);
    });
    EXPECT_EQ(screen.showModal(), 1);
  }

  // One fix stepMs after the previous one, having moved at speedMph on
  // average since it (a speed of 0 stays in place).
  void recordFix(double speedMph, uint32_t stepMs = 1000) {
    if (fixTime_ != 0) {
      fixTime_ += stepMs;
      eastM_ += speedMph * 0.44704 * stepMs * 0.001;
    } else {
      fixTime_ = kT0;
    }
    const double longitude = eastM_ / 6371000.0 / 0.0174532925;
    ctx.gps.history.recordFix(0.0, longitude, 0.0, fixTime_);
    ctx.gps.currentFix.speed = ctx.gps.history.newest().speed;
  }

  // One tick of the pump after 100 ms, with or without a new fix.
  template <typename ScreenT>
  void tick(ScreenT& screen, bool newFix) {
    clock.advanceMs(100);
    screen.update(newFix);
  }

  // A fix followed by its tick, then ticksAfter ticks without one.
  template <typename ScreenT>
  void fixAndTicks(ScreenT& screen, double speedMph, int ticksAfter = 0) {
    recordFix(speedMph);
    tick(screen, true);
    for (int i = 0; i < ticksAfter; ++i) tick(screen, false);
  }

  platform::headless::HeadlessWindowSystem windows;
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};

 private:
  uint32_t fixTime_ = 0;
  double eastM_ = 0.0;
};

}  // namespace corvantis::testing
