#pragma once
// The lap timing screen on the headless window system, with a car driven
// round a square circuit into the real fix history, one fix a second.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "laps/lap_timing_screen.h"
#include "platform/headless/headless_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"
#include "ui/context.h"

namespace corvantis::testing {

// A square of 0.002 degree sides at 50 N 10 E, driven anticlockwise from the
// middle of its south side (heading east), where the start/finish is.
struct SquareCircuit {
  static constexpr double kLon0 = 10.0;
  static constexpr double kLat0 = 50.0;
  static constexpr double kSide = 0.002;
  static constexpr double kPerimeter = 4 * kSide;

  // Position s degrees of path after the start/finish point.
  static TrackPoint at(double s) {
    double u = std::fmod(s + kSide / 2, kPerimeter);
    if (u < 0) u += kPerimeter;
    if (u < kSide) return {kLon0 + u, kLat0};
    if (u < 2 * kSide) return {kLon0 + kSide, kLat0 + (u - kSide)};
    if (u < 3 * kSide) return {kLon0 + kSide - (u - 2 * kSide), kLat0 + kSide};
    return {kLon0, kLat0 + kSide - (u - 3 * kSide)};
  }
};

class LapScreenTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kT0 = 45319000;
  static constexpr double kStep = 0.00019;  // degrees of path a second

  LapScreenTest() {
    ctx.gps.currentFix.satellites = 8;
    ctx.gps.currentFix.hdop = 1;
    clock.setTickMs(500000);
    clock.setCalendarSeconds(1700000000);
  }

  // A definition of the square with its points every 0.0002 degree and
  // split lines at the given track point indexes.
  int addSquareDefinition(const std::string& name, std::initializer_list<int> splitPoints) {
    FixHistory& h = ctx.gps.history;
    h.count = 0;
    for (int i = 0; i < 40; ++i) {
      const TrackPoint p = SquareCircuit::at(i * 0.0002);
      h.samples[static_cast<size_t>(h.count++)] = FixSample{p.longitude, p.latitude, 0.0f, 0.0f, 0, 0};
    }
    std::array<TrackPoint, 5> anchors{};
    int n = 0;
    for (int index : splitPoints) {
      const FixSample& s = h.samples[static_cast<size_t>(index)];
      anchors[static_cast<size_t>(n++)] = TrackPoint{s.longitude, s.latitude};
    }
    const int made = ctx.lapDefinitions.createDefinition(h, n, anchors.data(), name);
    ctx.settings.lapDefinitionCount = ctx.lapDefinitions.count();
    h.count = 0;
    return made;
  }

  // Shows the screen; body runs as the user, then the screen is closed.
  void show(LapTimingScreen& screen, const std::function<void(platform::headless::HeadlessDialog&)>& body) {
    windows.pushModalScript([&](platform::headless::HeadlessDialog& dialog) {
      screen.live = true;
      body(dialog);
      screen.live = false;
      dialog.userClick(1);
    });
    EXPECT_EQ(screen.showModal(), 1);
  }

  // One fix at a position, a second after the last, and its tick; then
  // ticksAfter ticks without a fix.
  void fixAt(LapTimingScreen& screen, TrackPoint p, int ticksAfter = 0) {
    fixTime_ = fixTime_ == 0 ? kT0 : fixTime_ + 1000;
    ctx.gps.history.recordFix(p.latitude, p.longitude, 0.0, fixTime_);
    ctx.gps.currentFix.speed = ctx.gps.history.newest().speed;
    ctx.gps.currentFix.latitude = p.latitude;
    ctx.gps.currentFix.longitude = p.longitude;
    clock.advanceMs(100);
    screen.update(true);
    for (int i = 0; i < ticksAfter; ++i) {
      clock.advanceMs(100);
      screen.update(false);
    }
  }

  // Drives `seconds` fixes round the square from path position s.
  void drive(LapTimingScreen& screen, double& s, int seconds) {
    for (int i = 0; i < seconds; ++i) {
      fixAt(screen, SquareCircuit::at(s));
      s += kStep;
    }
  }

  platform::headless::HeadlessWindowSystem windows;
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};
  uint32_t fixTime_ = 0;
};

}  // namespace corvantis::testing
