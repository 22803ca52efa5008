// The receiver's fix rate, measured from the fixes' own times, and the hint
// that tells a driver with a slow receiver how to raise it.
#include "gps/fix_rate_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/nmea_text.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis {
namespace {

constexpr uint32_t kNoon = 43200000u;

// Feeds fix times until the watch answers; the rate and after how many fixes.
struct Outcome {
  std::optional<double> rateHz;
  int afterFixes = 0;
};
Outcome watch(const std::vector<uint32_t>& times) {
  FixRateWatch w;
  Outcome out;
  for (const uint32_t t : times) {
    ++out.afterFixes;
    if (auto rate = w.observe(t)) {
      out.rateHz = rate;
      // Told once: nothing after, whatever comes.
      for (uint32_t later = t + 1000; later < t + 30000; later += 1000) EXPECT_FALSE(w.observe(later));
      return out;
    }
  }
  return out;
}

std::vector<uint32_t> steady(uint32_t fromMs, uint32_t stepMs, int count) {
  std::vector<uint32_t> times;
  for (int i = 0; i < count; ++i) times.push_back((fromMs + stepMs * static_cast<uint32_t>(i)) % 86400000u);
  return times;
}

TEST(FixRateWatch, TellsOnceAfterTenSecondsAtFiveHertzOrSlower) {
  const struct {
    const char* what;
    std::vector<uint32_t> times;
    std::optional<double> rateHz;
    int afterFixes;
  } cases[] = {
      {"1 Hz", steady(kNoon, 1000, 30), 1.0, 11},
      {"2 Hz", steady(kNoon, 500, 60), 2.0, 21},
      {"5 Hz", steady(kNoon, 200, 80), 5.0, 51},
      {"1 Hz across midnight", steady(86395000u, 1000, 30), 1.0, 11},
      {"10 Hz", steady(kNoon, 100, 600), std::nullopt, 600},
      {"25 Hz", steady(kNoon, 40, 600), std::nullopt, 600},
      {"1 Hz for 9 s only", steady(kNoon, 1000, 10), std::nullopt, 10},
  };
  for (const auto& c : cases) {
    const Outcome got = watch(c.times);
    ASSERT_EQ(got.rateHz.has_value(), c.rateHz.has_value()) << c.what;
    if (c.rateHz) {
      EXPECT_DOUBLE_EQ(*got.rateHz, *c.rateHz) << c.what;
      EXPECT_EQ(got.afterFixes, c.afterFixes) << c.what;
    }
  }
}

TEST(FixRateWatch, GapsAndStepsBackAreNoRate) {
  // A 10 Hz receiver that loses its fix now and then: the gaps are no rate.
  std::vector<uint32_t> patchy;
  for (int second = 0; second < 120; second += 4) {
    for (const uint32_t t : steady(kNoon + second * 1000u, 100, 20)) patchy.push_back(t);
  }
  EXPECT_FALSE(watch(patchy).rateHz);
  // One fix every two seconds, a receiver far too slow to time with, is
  // gap after gap too: the device's own silence watch is what tells then.
  EXPECT_FALSE(watch(steady(kNoon, 2000, 60)).rateHz);
  // The clock stepping back restarts the measurement.
  std::vector<uint32_t> jumpy = steady(kNoon, 1000, 8);
  for (const uint32_t t : steady(kNoon - 60000, 1000, 11)) jumpy.push_back(t);
  const Outcome got = watch(jumpy);
  ASSERT_TRUE(got.rateHz);
  EXPECT_EQ(got.afterFixes, 19);
}

TEST(FixRateWatch, TheHintNamesTheRateAndTheCommand) {
  EXPECT_EQ(lowFixRateHint(1.0, "/dev/ttyACM0"),
            "the receiver delivers 1 fix a second: runs are timed between fixes, and at 1 Hz they read up to "
            "half a second off. Set it to 10 Hz with: corvantis-receiver --port /dev/ttyACM0 --rate 10");
  const std::string throughGpsd = lowFixRateHint(2.5, "");
  EXPECT_NE(throughGpsd.find("delivers 2.5 fixes a second"), std::string::npos);
  EXPECT_NE(throughGpsd.find("--port DEVICE --rate 10 (on the receiver's device, with gpsd stopped)"),
            std::string::npos);
}

TEST(FixRateWatch, ThePumpTellsOnceWhileFixesComeAtOneHertz) {
  testing::FakeSerialPort port;
  testing::ScriptedMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  gps->openPort(5, 0);
  std::vector<double> told;
  gps->onLowFixRate = [&](double hz) { told.push_back(hz); };
  for (int second = 0; second < 30; ++second) {
    char time[16];
    std::snprintf(time, sizeof time, "1200%02d.00", second);
    port.feed(testing::nmeaSentence(std::string("GPGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"));
    for (int tick = 0; tick < 10; ++tick) gps->pumpTick();
  }
  EXPECT_EQ(told, std::vector<double>{1.0});
}

}  // namespace
}  // namespace corvantis
