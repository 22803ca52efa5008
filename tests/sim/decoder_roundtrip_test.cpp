// The program's own decoder reads a noise-free simulated log back to the
// simulated positions and times, to the resolution of the format.
#include <gtest/gtest.h>

#include <cmath>

#include "gps/nmea_decoder.h"
#include "tests/sim/sim_test_support.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

TEST(SimDecoderRoundTrip, DecodedFixesAreTheSimulatedOnes) {
  for (int decimals : {4, 7}) {
    SCOPED_TRACE(decimals);
    ReceiverOptions rx;
    rx.noise = false;
    rx.rateHz = 5;
    rx.minuteDecimals = decimals;
    const SimResult r = simulate(lapsScenario(), rx);
    // Half a unit of the last minute digit, in degrees, plus rounding.
    const double tolerance = 0.5 * std::pow(10.0, -decimals) / 60.0 + 1e-12;
    CurrentFix fix;
    auto history = std::make_unique<FixHistory>();
    std::size_t decoded = 0;
    const Epoch* previous = nullptr;
    for (const Epoch& e : r.epochs) {
      for (const std::string& s : testing::sentencesOf(e.text)) {
        const bool newFix = decodeSentence(s.c_str(), fix, *history);
        if (s.compare(0, 6, "$GPGGA") != 0) {
          EXPECT_FALSE(newFix);
          continue;
        }
        ASSERT_TRUE(newFix) << s;
        ++decoded;
        EXPECT_NEAR(fix.latitude, e.truePosition.latitudeDeg, tolerance) << s;
        EXPECT_NEAR(fix.longitude, e.truePosition.longitudeDeg, tolerance) << s;
        EXPECT_NEAR(history->newest().altitude, e.truePosition.altitudeM, 0.05 + 1e-4) << s;
        EXPECT_EQ(history->newestFixTime(), e.timeOfDayMs) << s;
        EXPECT_EQ(fix.satellites, e.satellites);
        EXPECT_EQ(fix.hdop, static_cast<int>(e.hdop * 10.0 + 0.5) / 10);
        // The program's speed is the mean over the interval since the fix
        // before; the simulated path gives the same, less the small
        // shortening of a chord across a corner.
        if (decimals == 7 && previous) {
          const double meanMph = (e.pathM - previous->pathM) / (e.driveTimeS - previous->driveTimeS) / kMphToMps;
          if (meanMph > 2.5) {
            EXPECT_NEAR(fix.speed, meanMph, 0.004 * meanMph + 0.02) << s;
          } else if (meanMph < 1.5) {
            EXPECT_EQ(fix.speed, 0.0f) << s;
          }
        }
      }
      previous = &e;
      if (history->count >= FixHistory::kCapacity - 1) history->startCapture(0);  // keep room
    }
    EXPECT_EQ(decoded, r.epochs.size());
    EXPECT_GT(decoded, 1000u);
  }
}

}  // namespace
}  // namespace corvantis::sim
