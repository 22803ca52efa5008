// The lap screen behind the real pump: when several fixes arrive in one tick
// (a backlog, a fast receiver), a line crossed between any two of them is
// found and timed as when the fixes come one a tick.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "laps/lap_timing_screen.h"
#include "tests/laps/lap_screen_fixture.h"
#include "tests/support/nmea_text.h"

namespace corvantis {
namespace {

using testing::SquareCircuit;

// The lap screen's fixture, one for each way of delivering the same fixes.
class PumpedLapScreen : public testing::LapScreenTest {
 public:
  void TestBody() override {}

  // The $GPGGA of the car at path position s, at kT0 + i seconds.
  static std::string ggaAt(double s, int i) {
    const TrackPoint p = SquareCircuit::at(s);
    const uint32_t ms = kT0 + static_cast<uint32_t>(i) * 1000u;
    char body[128];
    std::snprintf(body, sizeof body, "GPGGA,%02u%02u%02u.00,50%09.6f,N,010%09.6f,E,1,08,1.0,0.0,M,0.0,M,,",
                  ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u, (p.latitude - 50.0) * 60.0,
                  (p.longitude - 10.0) * 60.0);
    return testing::nmeaSentence(body);
  }

  // Drives fixes 0..count-1 (1 s apart, kStep of path each) through the
  // pump; each burst (first fix, count) arrives in one tick, every other
  // fix in a tick of its own. Answers the lap events.
  std::vector<LapEvent> driveThroughPump(int count, const std::vector<std::pair<int, int>>& bursts) {
    addSquareDefinition("Square", {12});
    LapTimingScreen screen(ctx);
    std::vector<LapEvent> events;
    screen.onLapEvent = [&](const LapEvent& e) { events.push_back(e); };
    ctx.gps.afterTick = [&](bool newFix) {
      if (screen.live) screen.update(newFix);
    };
    EXPECT_TRUE(ctx.gps.openPort(5, 0));
    show(screen, [&](platform::headless::HeadlessDialog& d) {
      d.userSelect(LapTimingScreen::kActiveLap, 0);
      for (int i = 0; i < count;) {
        int inTick = 1;
        for (const auto& [first, size] : bursts) {
          if (first == i) inTick = size;
        }
        for (int k = 0; k < inTick; ++k, ++i) port.feed(ggaAt(-0.0005 + i * kStep, i));
        // The fix fed last is decoded at the "$" of the next sentence.
        port.feed("$GPRMC,");
        clock.advanceMs(100);
        ctx.gps.pumpTick();
      }
    });
    return events;
  }
};

std::vector<LapEvent> lapEvents(const std::vector<std::pair<int, int>>& bursts) {
  auto rig = std::make_unique<PumpedLapScreen>();
  return rig->driveThroughPump(60, bursts);
}

TEST(LapTickDrain, ALineCrossedBetweenTheFirstAndSecondFixOfATickIsFound) {
  // The lap ends between fix 44 (0.00786 of path) and fix 45 (0.00805),
  // the perimeter being 0.008; the split line is passed near fixes 15 and 58.
  const std::vector<LapEvent> oneATick = lapEvents({});
  ASSERT_EQ(oneATick.size(), 3u);
  EXPECT_EQ(oneATick[0].kind, LapEvent::Kind::Split);
  ASSERT_EQ(oneATick[1].kind, LapEvent::Kind::Lap);
  EXPECT_EQ(oneATick[2].kind, LapEvent::Kind::Split);

  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> bursts;  // (first fix, fixes in that tick)
  };
  const Case cases[] = {
      {"the finish between the first and second fix of a tick", {{44, 6}}},
      {"the split and the finish in two bursts", {{14, 4}, {44, 2}}},
      {"a whole lap in one tick", {{2, 50}}},
  };
  for (const Case& c : cases) {
    const std::vector<LapEvent> events = lapEvents(c.bursts);
    ASSERT_EQ(events.size(), oneATick.size()) << c.what;
    for (std::size_t k = 0; k < events.size(); ++k) {
      EXPECT_EQ(events[k].kind, oneATick[k].kind) << c.what;
      EXPECT_EQ(events[k].timeMs, oneATick[k].timeMs) << c.what;
      EXPECT_EQ(events[k].startMs, oneATick[k].startMs) << c.what;
    }
  }
}

}  // namespace
}  // namespace corvantis
