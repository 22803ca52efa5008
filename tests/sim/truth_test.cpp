// The truth against the fine simulation it comes from, and against the log.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/sim/sim_test_support.h"
#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

double driveS(const SimResult& r, double ms) { return (ms - r.truth.startMs) / 1000.0; }

// Every reported instant, put back into the fine integration, gives the
// speed or distance it claims, and the launch is the last instant at rest.
void expectTruthMatchesTrace(const SimResult& r, const Scenario& sc) {
  ASSERT_FALSE(r.truth.starts.empty());
  for (const StandingStart& s : r.truth.starts) {
    const double t0 = driveS(r, s.launchMs);
    EXPECT_EQ(r.trace.stateAt(t0 - 1e-4).vMps, 0.0);
    EXPECT_GT(r.trace.stateAt(t0 + 1e-4).vMps, 0.0);
    EXPECT_NEAR(r.trace.stateAt(t0).sM, s.pathM, 1e-9);
    for (const SpeedPassing& p : s.speeds) {
      EXPECT_NEAR(r.trace.stateAt(driveS(r, p.firstMs)).vMps, p.mph * kMphToMps, 1e-9) << p.mph << " mph";
      EXPECT_LT(r.trace.stateAt(driveS(r, p.firstMs) - 1e-3).vMps, p.mph * kMphToMps);
      EXPECT_GE(p.lastUpwardMs, p.firstMs);
    }
    for (const DistancePassing& d : s.distances) {
      const MotionState m = r.trace.stateAt(driveS(r, d.ms));
      EXPECT_NEAR(m.sM - s.pathM, d.distanceM, 1e-7) << d.distanceM << " m";
      EXPECT_NEAR(m.vMps, d.speedMps, 1e-9);
    }
    if (s.stopMs) {
      EXPECT_EQ(r.trace.stateAt(driveS(r, *s.stopMs) + 1e-4).vMps, 0.0);
      EXPECT_GT(r.trace.stateAt(driveS(r, *s.stopMs) - 1e-3).vMps, 0.0);
    }
  }
  if (sc.circuit) {
    ASSERT_TRUE(r.truth.circuit);
    const CircuitPlacement& cp = *sc.circuit;
    const double len = cp.circuit.lengthM();
    for (double ms : r.truth.circuit->startFinishCrossingsMs) {
      const double lap = (r.trace.stateAt(driveS(r, ms)).sM - cp.lapZeroPathM) / len;
      EXPECT_NEAR(lap, std::round(lap), 1e-9);
    }
    for (const LapTruth& lap : r.truth.circuit->laps) {
      // The lap covers exactly the circuit's length.
      EXPECT_NEAR(r.trace.stateAt(driveS(r, lap.endMs)).sM - r.trace.stateAt(driveS(r, lap.startMs)).sM, len, 1e-6);
      ASSERT_EQ(lap.splits.size(), cp.splitsM.size());
      for (const DistancePassing& sp : lap.splits) {
        EXPECT_GT(sp.ms, lap.startMs);
        EXPECT_LT(sp.ms, lap.endMs);
        EXPECT_NEAR(r.trace.stateAt(driveS(r, sp.ms)).sM - r.trace.stateAt(driveS(r, lap.startMs)).sM, sp.distanceM, 1e-6);
      }
    }
  }
}

TEST(SimTruth, AgreesWithTheFineSimulation) {
  ScenarioParams p;
  p.runs = 3;
  ReceiverOptions rx;
  for (const Scenario& sc : {accelScenario(p), quarterScenario(p), lapsScenario(p), demoScenario()}) {
    SCOPED_TRACE(sc.name);
    expectTruthMatchesTrace(simulate(sc, rx), sc);
  }
}

TEST(SimTruth, ReportsEveryRunOfTheScript) {
  ScenarioParams p;
  p.runs = 3;
  const SimResult accel = simulate(accelScenario(p), {});
  ASSERT_EQ(accel.truth.starts.size(), 3u);
  for (const StandingStart& s : accel.truth.starts) {
    ASSERT_TRUE(s.stopMs);
    EXPECT_NEAR(s.topSpeedMps / kMphToMps, 70.0, 0.5);
    ASSERT_FALSE(s.speeds.empty());
    EXPECT_EQ(s.speeds.back().mph, 70.0);
    EXPECT_EQ(s.speedMs(70.0), s.speeds.back().firstMs);
    EXPECT_FALSE(s.speedMs(80.0));
    EXPECT_TRUE(s.distances.empty() || s.distances.front().distanceM == 201.168);
  }
  // Demo: one standing start at the line, flat out through the quarter mile
  // and on round the circuit without stopping; two timed laps; the loop
  // ends at rest where it started.
  const SimResult demo = simulate(demoScenario(), {});
  ASSERT_EQ(demo.truth.starts.size(), 1u);
  const StandingStart& launch = demo.truth.starts[0];
  EXPECT_TRUE(launch.straightPath);
  ASSERT_TRUE(launch.speedMs(60.0));
  ASSERT_TRUE(launch.distanceMs(402.336));
  ASSERT_TRUE(launch.distanceMs(800.0));
  for (const DistancePassing& d : launch.distances) EXPECT_NEAR(d.straightLineM, d.distanceM, 1e-3);
  ASSERT_TRUE(launch.stopMs);
  const Pose start = demoScenario().path.at(0.0).pose;
  const Pose end = demoScenario().path.at(demoScenario().path.lengthM()).pose;
  EXPECT_NEAR(end.xM, start.xM, 1e-6);
  EXPECT_NEAR(end.yM, start.yM, 1e-6);
  EXPECT_NEAR(std::remainder(end.headingRad - start.headingRad, 2.0 * 3.141592653589793), 0.0, 1e-9);
  ASSERT_TRUE(demo.truth.circuit);
  EXPECT_EQ(demo.truth.circuit->laps.size(), 2u);
  EXPECT_EQ(demo.truth.circuit->startFinishCrossingsMs.size(), 3u);
  const double minutes = (demo.truth.endMs - demo.truth.startMs) / 60000.0;
  EXPECT_GT(minutes, 2.0);
  EXPECT_LT(minutes, 8.0);
  // A quarter run reports the distance it was asked for even when it is not in the list.
  p.runs = 1;
  p.distanceM = 300.0;
  p.distancesM = {100.0};
  const SimResult q = simulate(quarterScenario(p), {});
  ASSERT_EQ(q.truth.starts[0].distances.size(), 2u);
  EXPECT_EQ(q.truth.starts[0].distances[1].distanceM, 300.0);
}

// What an independent reader of the log sees: with noise off, the distance
// from the standing fix passes each true distance between the two fixes
// around its instant, and the speed between the fixes around a true speed
// instant brackets it.
TEST(SimTruth, AgreesWithTheLoggedPositions) {
  for (int rate : {1, 10, 25}) {
    SCOPED_TRACE(rate);
    ReceiverOptions rx;
    rx.noise = false;
    rx.rateHz = rate;
    rx.minuteDecimals = 7;
    rx.timeDecimals = 3;
    const SimResult r = simulate(quarterScenario(), rx);
    struct Fix {
      double ms;
      GeoPoint p;
    };
    std::vector<Fix> fixes;
    for (const std::string& s : testing::sentencesOf(renderLog(r))) {
      const auto f = testing::fieldsOf(s);
      if (f[0] != "GPGGA") continue;
      const std::string& t = f[1];
      const double ms = ((std::stoi(t.substr(0, 2)) * 60 + std::stoi(t.substr(2, 2))) * 60) * 1000.0 + std::stod(t.substr(4)) * 1000.0;
      fixes.push_back({ms, {testing::degreesOf(f[2], 2, f[3]), testing::degreesOf(f[4], 3, f[5]), std::stod(f[9])}});
    }
    const StandingStart& s = r.truth.starts.at(0);
    const GeoPoint standing = fixes.front().p;
    for (const DistancePassing& d : s.distances) {
      std::size_t k = 0;
      while (k + 1 < fixes.size() && fixes[k + 1].ms < d.ms) ++k;
      ASSERT_LT(k + 1, fixes.size());
      EXPECT_LE(haversineM(standing, fixes[k].p), d.distanceM + 0.02) << d.distanceM;
      EXPECT_GE(haversineM(standing, fixes[k + 1].p), d.distanceM - 0.02) << d.distanceM;
      // Interpolating between the two fixes lands within a few centimetres at 25 Hz.
      if (rate == 25) {
        const double a = haversineM(standing, fixes[k].p), b = haversineM(standing, fixes[k + 1].p);
        const double ms = fixes[k].ms + (d.distanceM - a) / (b - a) * (fixes[k + 1].ms - fixes[k].ms);
        EXPECT_NEAR(ms, d.ms, 1.0);
      }
    }
    for (const SpeedPassing& p : s.speeds) {
      std::size_t k = 0;
      while (k + 1 < fixes.size() && fixes[k + 1].ms < p.firstMs) ++k;
      ASSERT_GE(k, 1u);
      ASSERT_LT(k + 2, fixes.size());
      const double before = haversineM(fixes[k - 1].p, fixes[k].p) / (fixes[k].ms - fixes[k - 1].ms) * 1000.0;
      const double after = haversineM(fixes[k + 1].p, fixes[k + 2].p) / (fixes[k + 2].ms - fixes[k + 1].ms) * 1000.0;
      EXPECT_LT(before, p.mph * kMphToMps) << p.mph;
      EXPECT_GT(after, p.mph * kMphToMps) << p.mph;
    }
  }
}

TEST(SimTruth, CrossesUtcMidnight) {
  ReceiverOptions rx;
  rx.startTimeOfDayMs = 86400000u - 5000u;  // 23:59:55
  rx.startDate = {2024, 12, 31};
  rx.rateHz = 5;
  const SimResult r = simulate(quarterScenario(), rx);
  const StandingStart& s = r.truth.starts.at(0);
  EXPECT_GT(s.launchMs, 86400000.0);  // the launch comes after midnight
  EXPECT_NEAR(timeOfDayMs(s.launchMs), s.launchMs - 86400000.0, 1e-6);
  bool before = false, after = false;
  uint32_t previous = 0;
  for (const Epoch& e : r.epochs) {
    if (e.dayMs < 86400000u) {
      before = true;
      EXPECT_EQ(e.date, (UtcDate{2024, 12, 31}));
      EXPECT_EQ(e.timeOfDayMs, e.dayMs);
    } else {
      EXPECT_EQ(e.date, (UtcDate{2025, 1, 1}));
      EXPECT_EQ(e.timeOfDayMs, e.dayMs - 86400000u);
      if (!after) {
        EXPECT_EQ(previous, 86400000u - 200u);
        EXPECT_EQ(e.timeOfDayMs, 0u);
        EXPECT_NE(e.text.find("GGA,000000.00,"), std::string::npos);
        EXPECT_NE(e.text.find(",010125,"), std::string::npos);
      }
      after = true;
    }
    previous = e.timeOfDayMs;
  }
  EXPECT_TRUE(before);
  EXPECT_TRUE(after);
  EXPECT_NE(renderLog(r).find("GGA,235959.80,"), std::string::npos);
  EXPECT_NE(renderLog(r).find(",311224,"), std::string::npos);
}

TEST(SimTruth, JsonCarriesTheInstants) {
  ReceiverOptions rx;
  rx.dropoutsPerMinute = 4.0;
  const SimResult r = simulate(demoScenario(), rx);
  const std::string json = renderTruth(r);
  int depth = 0;
  for (char c : json) {
    if (c == '{' || c == '[') ++depth;
    if (c == '}' || c == ']') --depth;
    ASSERT_GE(depth, 0);
  }
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(json.find("nan"), std::string::npos);
  EXPECT_EQ(json.find("inf"), std::string::npos);
  EXPECT_NE(json.find("\"scenario\": \"demo\""), std::string::npos);
  char quarter[64];
  std::snprintf(quarter, sizeof quarter, "\"ms\": %.3f", r.truth.starts.at(0).distances.at(1).ms);
  EXPECT_NE(json.find(quarter), std::string::npos);
  ASSERT_FALSE(r.truth.dropouts.empty());
  EXPECT_NE(json.find("\"fromMs\""), std::string::npos);
}

}  // namespace
}  // namespace corvantis::sim
