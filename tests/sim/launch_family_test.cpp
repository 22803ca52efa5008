// The launches family: each kind puts the force down as it says, its seeds
// fall in two fixed halves, and its receivers write what they were drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/sim/command_line.h"
#include "tools/sim/launch_family.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

TEST(LaunchShape, ShareAndFirstReachingFollowTheTable) {
  LaunchShape shape;
  shape.shareAtS = {{0.0, 0.2}, {0.5, 0.2}, {0.7, 0.6}};
  struct Case {
    double tauS, share;
  };
  for (const Case& c : {Case{-1.0, 0.2}, Case{0.3, 0.2}, Case{0.6, 0.4}, Case{0.7, 0.6}, Case{0.71, 1.0}}) {
    EXPECT_NEAR(shape.shareAt(c.tauS), c.share, 1e-12) << c.tauS;
  }
  EXPECT_DOUBLE_EQ(shape.firstReaching(0.1), 0.0);  // already there
  EXPECT_NEAR(shape.firstReaching(0.4), 0.6, 1e-12);
  EXPECT_NEAR(shape.firstReaching(0.9), 0.7, 1e-12);  // full force after the table
  EXPECT_DOUBLE_EQ(LaunchShape{}.shareAt(0.0), 1.0);    // a step
}

// The acceleration of the car tau seconds after a run's first motion.
double accelAfterLaunch(const SimResult& r, size_t start, double tauS) {
  return r.trace.stateAt((r.truth.starts[start].launchMs - r.truth.startMs) / 1000.0 + tauS).aMps2;
}

TEST(LaunchFamily, EachKindPutsTheForceDownAsItSays) {
  struct Case {
    const char* kind;
    std::function<void(const SimResult&, size_t)> check;
  };
  const Case cases[] = {
      {"step", [](const SimResult& r, size_t s) { EXPECT_GT(accelAfterLaunch(r, s, 0.005), 4.0); }},
      {"ramp",
       [](const SimResult& r, size_t s) {
         EXPECT_LT(accelAfterLaunch(r, s, 0.002), accelAfterLaunch(r, s, 0.6) * 0.5 + 0.5);
       }},
      {"creep",
       [](const SimResult& r, size_t s) {
         const double a = accelAfterLaunch(r, s, 0.1);
         EXPECT_GT(a, 0.3);
         EXPECT_LT(a, 1.3);
       }},
      {"clutch slip", [](const SimResult& r, size_t s) { EXPECT_LT(accelAfterLaunch(r, s, 0.18), accelAfterLaunch(r, s, 1.5)); }},
      {"wheelspin", [](const SimResult& r, size_t s) { EXPECT_GT(accelAfterLaunch(r, s, 2.0), 0.0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    ScenarioParams params;
    params.runs = 2;
    params.familySeed = 11;
    params.launchKind = c.kind;
    ReceiverOptions receiver;
    receiver.rateHz = 10;
    const SimResult r = simulate(launchesScenario(params), receiver);
    ASSERT_EQ(r.truth.starts.size(), 2u);
    for (size_t s = 0; s < 2; ++s) {
      EXPECT_EQ(r.truth.starts[s].launch.rfind(c.kind, 0), 0u) << r.truth.starts[s].launch;
      EXPECT_TRUE(r.truth.starts[s].distanceMs(402.336).has_value());
      // The truth's first motion is where the speed leaves 0.
      const double t0 = (r.truth.starts[s].launchMs - r.truth.startMs) / 1000.0;
      EXPECT_EQ(r.trace.stateAt(t0 - 0.01).vMps, 0.0);
      EXPECT_GT(r.trace.stateAt(t0 + 0.05).vMps, 0.0);
      c.check(r, s);
    }
  }
  ScenarioParams unknown;
  unknown.launchKind = "burnout";
  EXPECT_THROW(launchesScenario(unknown), std::invalid_argument);
}

TEST(LaunchFamily, TakeUpRampsAreStraightOrSShaped) {
  // A clutch meeting the flywheel takes up S-shaped: a tenth of the way in
  // it gives a fortieth of the force a straight ramp's tenth does not. Let
  // in from the bite point, it starts from the force that just holds the
  // car, so the car moves off at once and with no jerk.
  Random rng(5);
  const VehicleParams car;
  const double holding = car.rollingForceN() / car.fullDriveForceN(0.0);
  int straight = 0, sShaped = 0, fromBite = 0;
  for (int i = 0; i < 80; ++i) {
    const LaunchShape shape = drawLaunchShape(rng, car, "ramp");
    const double r = shape.endS();
    if (r < 0.15) continue;
    const bool s = shape.description.find("S-shaped") != std::string::npos;
    const bool bite = shape.description.find("bite point") != std::string::npos;
    ++(bite ? fromBite : s ? sShaped : straight);
    SCOPED_TRACE(shape.description);
    const double from = bite ? holding : 0.0;
    EXPECT_NEAR(shape.shareAt(0.0), from, 1e-12);
    EXPECT_NEAR(shape.shareAt(0.1 * r), from + (1.0 - from) * (s ? 0.024 : 0.1), 0.01);
    EXPECT_NEAR(shape.shareAt(0.5 * r), from + (1.0 - from) * 0.5, 0.02);
    EXPECT_DOUBLE_EQ(shape.shareAt(r), 1.0);
    for (double t = 0.0; t < r; t += 0.005) EXPECT_LE(shape.shareAt(t), shape.shareAt(t + 0.005));
  }
  EXPECT_GT(straight, 5);
  EXPECT_GT(sShaped, 5);
  EXPECT_GT(fromBite, 5);
}

TEST(LaunchFamily, SeedsFallInTwoFixedHalvesAndDrawTheSameDrive) {
  int choosing = 0;
  for (uint64_t seed = 1; seed <= 400; ++seed) {
    choosing += familyHalf(seed) == FamilyHalf::Choosing ? 1 : 0;
    EXPECT_EQ(familyHalf(seed), familyHalf(seed));
  }
  EXPECT_GT(choosing, 160);
  EXPECT_LT(choosing, 240);
  ScenarioParams params;
  params.familySeed = 7;
  ReceiverOptions receiver;
  receiver.rateHz = 5;
  EXPECT_EQ(renderLog(simulate(launchesScenario(params), receiver)),
            renderLog(simulate(launchesScenario(params), receiver)));
}

TEST(LaunchFamily, ReceiversWriteTheSpeedsTheyWereDrawnWith) {
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    ReceiverOptions rx;
    rx.rateHz = 10;
    rx.seed = seed;
    Random rng(seed);
    drawFamilyReceiver(rng, rx);
    EXPECT_NO_THROW(rx.validate());
    EXPECT_LE(rx.fixNoiseM, 0.3);
    EXPECT_TRUE(rx.speedDecimals == 1 || rx.speedDecimals == 3);
    ScenarioParams params;
    params.familySeed = seed;
    const std::string log = renderLog(simulate(launchesScenario(params), rx));
    const size_t rmc = log.find(rx.talker + "RMC,");
    EXPECT_EQ(rmc != std::string::npos, rx.rmc) << seed;
    EXPECT_EQ(log.find(rx.talker + "VTG,") != std::string::npos, rx.vtg) << seed;
    if (rmc != std::string::npos) {
      // The speed field: its decimals as drawn.
      size_t field = rmc;
      for (int i = 0; i < 7; ++i) field = log.find(',', field) + 1;
      const std::string speed = log.substr(field, log.find(',', field) - field);
      EXPECT_EQ(speed.size() - speed.find('.') - 1, static_cast<size_t>(rx.speedDecimals)) << speed;
    }
  }
}

TEST(LaunchFamily, TheCommandLineReachesTheFamily) {
  const CommandLine cl = parseCommandLine({"launches", "--seed", "9", "--launch", "creep", "--speed-decimals", "1",
                                           "--no-rmc", "--vtg", "--fix-noise", "0.2"});
  EXPECT_EQ(cl.scenario, "launches");
  EXPECT_EQ(cl.scenarioParams.launchKind, "creep");
  EXPECT_EQ(cl.scenarioParams.familySeed, 9u);
  EXPECT_EQ(cl.receiver.speedDecimals, 1);
  EXPECT_FALSE(cl.receiver.rmc);
  EXPECT_DOUBLE_EQ(cl.receiver.fixNoiseM, 0.2);
  const CommandLine drawn = parseCommandLine({"launches", "--seed", "9", "--random-receiver", "--rate", "25"});
  EXPECT_EQ(drawn.receiver.rateHz, 25);
  EXPECT_EQ(drawn.receiver.whiteNoiseM, 0.0);  // the family's noise is per fix
  EXPECT_THROW(parseCommandLine({"launches", "--launch", "burnout"}), std::invalid_argument);
  EXPECT_THROW(parseCommandLine({"--speed-decimals", "7"}), std::invalid_argument);
}

}  // namespace
}  // namespace corvantis::sim
