// The receiver's speed over ground: Doppler-like noise of the size asked
// for, never negative (kept at 0, or the length of the velocity), exact
// without noise, and the same in $--VTG.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sim_test_support.h"
#include "tools/sim/command_line.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

using testing::fieldsOf;
using testing::sentencesOf;

// Reported speed (m/s) of each epoch with a fix, from its RMC (and VTG).
struct Reported {
  double rmcMps = 0.0;
  double vtgMps = -1.0;
};

std::vector<Reported> reportedSpeeds(const SimResult& r, std::vector<double>& trueMps) {
  std::vector<Reported> out;
  for (const Epoch& e : r.epochs) {
    if (!e.hasFix) continue;
    Reported rep;
    for (const std::string& s : sentencesOf(e.text)) {
      const auto f = fieldsOf(s);
      if (f[0].size() == 5 && f[0].substr(2) == "RMC") rep.rmcMps = std::stod(f[7]) * 1852.0 / 3600.0;
      if (f[0].size() == 5 && f[0].substr(2) == "VTG") rep.vtgMps = std::stod(f[7]) / 3.6;
    }
    out.push_back(rep);
    trueMps.push_back(e.speedMps);
  }
  return out;
}

TEST(SimSpeedOverGround, NoiseOfTheSizeAskedForAndExactWithout) {
  // Standing, the speed plus one axis's noise kept at 0 averages
  // sigma/sqrt(2 pi); the length of the velocity, sigma sqrt(pi/2).
  struct Case {
    bool noise;
    double sigma;
    bool length;
    double standingMeanPerSigma;
  };
  for (const Case c : {Case{false, 0.05, false, 0.0}, Case{true, 0.05, false, 0.399}, Case{true, 0.2, false, 0.399},
                       Case{true, 0.05, true, 1.253}}) {
    ReceiverOptions rx;
    rx.rateHz = 10;
    rx.noise = c.noise;
    rx.speedNoiseMps = c.sigma;
    rx.speedIsLength = c.length;
    rx.vtg = true;
    std::vector<double> truth;
    const std::vector<Reported> reported = reportedSpeeds(simulate(quarterScenario(), rx), truth);
    ASSERT_FALSE(reported.empty());
    double sum2 = 0.0, standingSum = 0.0;
    int moving = 0, standing = 0;
    for (size_t i = 0; i < reported.size(); ++i) {
      ASSERT_GE(reported[i].rmcMps, 0.0);
      EXPECT_NEAR(reported[i].vtgMps, reported[i].rmcMps, 0.0006);  // the same measurement, two roundings
      if (truth[i] > 1.0) {
        sum2 += (reported[i].rmcMps - truth[i]) * (reported[i].rmcMps - truth[i]);
        ++moving;
      } else if (truth[i] == 0.0) {
        standingSum += reported[i].rmcMps;
        ++standing;
      }
    }
    const double rms = std::sqrt(sum2 / moving);
    if (c.noise) {
      EXPECT_NEAR(rms, c.sigma, c.sigma * 0.2) << moving << " moving fixes";
    } else {
      EXPECT_LT(rms, 0.0005);  // the format's 0.001 knot
    }
    ASSERT_GT(standing, 20);
    EXPECT_NEAR(standingSum / standing, c.standingMeanPerSigma * c.sigma, 0.2 * c.sigma + 0.0005) << standing;
  }
}

TEST(SimSpeedOverGround, CommandLineAndPositionsUnchanged) {
  const CommandLine cl = parseCommandLine({"quarter", "--speed-noise", "0.02", "--vtg", "--speed-length"});
  EXPECT_DOUBLE_EQ(cl.receiver.speedNoiseMps, 0.02);
  EXPECT_TRUE(cl.receiver.speedIsLength);
  EXPECT_TRUE(cl.receiver.vtg);
  EXPECT_THROW(parseCommandLine({"--speed-noise", "-1"}), std::invalid_argument);
  // The speed's own random stream: positions stay as they were with any speed noise.
  ReceiverOptions a, b;
  b.speedNoiseMps = 0.3;
  const SimResult ra = simulate(accelScenario(), a), rb = simulate(accelScenario(), b);
  ASSERT_EQ(ra.epochs.size(), rb.epochs.size());
  for (size_t i = 0; i < ra.epochs.size(); ++i) {
    EXPECT_EQ(ra.epochs[i].reportedPosition.latitudeDeg, rb.epochs[i].reportedPosition.latitudeDeg);
  }
}

}  // namespace
}  // namespace corvantis::sim
