// The car and road model against physics and geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "tools/sim/simulator.h"

namespace corvantis::sim {
namespace {

double angleDiff(double a, double b) { return std::remainder(a - b, 2.0 * 3.141592653589793); }

DriveTrace driveOf(const Scenario& sc) { return runDrive(sc.path, sc.car, sc.phases); }

// Each segment starts where the one before it ends, heading the same way:
// the car never jumps.
void expectContinuous(const std::vector<Segment>& segments, bool closed) {
  for (std::size_t i = 0; i + 1 < segments.size() + (closed ? 1 : 0); ++i) {
    const Pose end = segments[i].end();
    const Pose next = segments[(i + 1) % segments.size()].start;
    EXPECT_NEAR(end.xM, next.xM, 1e-6) << "segment " << i;
    EXPECT_NEAR(end.yM, next.yM, 1e-6) << "segment " << i;
    EXPECT_NEAR(angleDiff(end.headingRad, next.headingRad), 0.0, 1e-9) << "segment " << i;
  }
}

TEST(SimModel, BuiltInCircuitClosesAndLooksLikeARealOne) {
  const Circuit c = builtInCircuit(100.0);
  expectContinuous(c.segments(), true);
  EXPECT_EQ(c.cornerCount(), 12);
  EXPECT_GT(c.lengthM(), 1800.0);
  EXPECT_LT(c.lengthM(), 2400.0);
  // Altitude is continuous over the lap's end.
  EXPECT_NEAR(c.at(c.lengthM() - 1e-9).altitudeM, c.at(0.0).altitudeM, 1e-6);
  // Total turning of a closed anticlockwise lap is one full turn left.
  double turn = 0.0;
  for (const Segment& s : c.segments())
    if (s.kind == Segment::Kind::Arc) turn += s.turn * s.lengthM / s.radiusM;
  EXPECT_NEAR(turn, -2.0 * 3.141592653589793, 1e-9);
}

// The lap never crosses or touches itself: points far apart along the lap
// stay a track's width and a verge apart.
TEST(SimModel, BuiltInCircuitKeepsClearOfItself) {
  const Circuit c = builtInCircuit(100.0);
  const double len = c.lengthM();
  std::vector<Pose> points;
  for (double u = 0.0; u < len; u += 2.0) points.push_back(c.at(u).pose);
  double nearest = 1e9;
  for (std::size_t i = 0; i < points.size(); ++i)
    for (std::size_t j = i + 1; j < points.size(); ++j) {
      const double apart = 2.0 * static_cast<double>(j - i);
      if (std::min(apart, len - apart) < 100.0) continue;
      nearest = std::min(nearest, std::hypot(points[i].xM - points[j].xM, points[i].yM - points[j].yM));
    }
  EXPECT_GT(nearest, 30.0);
}

TEST(SimModel, CornerThatDoesNotFitIsRefused) {
  EXPECT_THROW(Circuit({{0, 0, 500}, {100, 0, 500}, {50, 80, 500}}, 0.5, 0.0, 0.0), std::invalid_argument);
  EXPECT_THROW(Circuit({{0, 0, 5}, {100, 0, 5}}, 0.5, 0.0, 0.0), std::invalid_argument);
}

TEST(SimModel, ScenarioRoadsAreContinuous) {
  for (const Scenario& sc : {demoScenario(), lapsScenario(), accelScenario(), quarterScenario()}) {
    SCOPED_TRACE(sc.name);
    expectContinuous(sc.path.segments(), false);
    for (std::size_t i = 0; i + 1 < sc.path.segments().size(); ++i)
      EXPECT_NEAR(sc.path.segments()[i].endAltitudeM, sc.path.segments()[i + 1].startAltitudeM, 1e-9);
  }
}

// Work done by every force over each step equals the change of kinetic
// energy, distance is the integral of speed, and the drive force never
// exceeds what traction and power allow.
TEST(SimModel, EnergyDistanceAndForcesAreConsistent) {
  const Scenario sc = demoScenario();
  const DriveTrace tr = driveOf(sc);
  ASSERT_GT(tr.steps.size(), 1000u);
  double work = 0.0, gradeWork = 0.0, distance = 0.0;
  const double m = sc.car.massKg;
  for (std::size_t i = 0; i < tr.steps.size(); ++i) {
    const Step& st = tr.steps[i];
    const double v1 = st.vMps + st.aMps2 * st.dtS;
    const double ds = st.vMps * st.dtS + 0.5 * st.aMps2 * st.dtS * st.dtS;
    ASSERT_GE(st.vMps, 0.0);
    ASSERT_GE(v1, -1e-9);
    ASSERT_GE(ds, -1e-12);
    // Newton: the recorded forces give the recorded acceleration.
    const double net = st.driveN - st.brakeN - st.dragN - st.rollingN - st.gradeN;
    if (st.vMps > 0.0 || st.aMps2 > 0.0) {
      ASSERT_NEAR(net, m * st.aMps2, 1e-6 * m) << "step " << i;
    }
    ASSERT_LE(st.driveN, sc.car.fullDriveForceN(st.vMps) * (1.0 + 1e-9));
    ASSERT_LE(st.driveN * st.vMps, sc.car.powerW * (1.0 + 1e-9));
    ASSERT_LE(st.brakeN, sc.car.maxBrakeG * m * kGravity * (1.0 + 1e-9));
    work += (st.driveN - st.brakeN - st.dragN - st.rollingN) * ds;
    gradeWork += st.gradeN * ds;
    distance += ds;
    if (i + 1 < tr.steps.size()) {
      const Step& nx = tr.steps[i + 1];
      ASSERT_NEAR(nx.tS, st.tS + st.dtS, 1e-9);
      ASSERT_NEAR(nx.sM, st.sM + ds, 1e-9);
      ASSERT_NEAR(nx.vMps, std::max(0.0, v1), 1e-9);
    }
  }
  const Step& last = tr.steps.back();
  const double vEnd = last.vMps + last.aMps2 * last.dtS;
  const double sEnd = last.sM + last.vMps * last.dtS + 0.5 * last.aMps2 * last.dtS * last.dtS;
  EXPECT_NEAR(distance, sEnd, 1e-6);
  EXPECT_NEAR(sEnd, sc.path.lengthM(), 0.1);  // the drive ends at the end of the road
  EXPECT_NEAR(work - gradeWork, 0.5 * m * vEnd * vEnd, 1e-3 * m);
  // The slope's work is the change of potential energy.
  EXPECT_NEAR(gradeWork, m * kGravity * (sc.path.at(sEnd).altitudeM - sc.path.at(0.0).altitudeM), 0.01 * m * kGravity);
}

TEST(SimModel, NoCornerIsTakenAboveTheGripLimit) {
  const Scenario sc = lapsScenario();
  const DriveTrace tr = driveOf(sc);
  double fastestShare = 0.0;
  for (const Step& st : tr.steps) {
    const PathPoint p = sc.path.at(st.sM);
    if (p.curvature == 0.0) continue;
    const double r = 1.0 / std::fabs(p.curvature);
    ASSERT_LE(st.vMps, sc.car.gripLimitMps(r)) << "at " << st.sM << " m";
    ASSERT_LE(st.vMps, sc.car.cornerSpeedMps(r) + 1e-6);
    fastestShare = std::max(fastestShare, st.vMps / sc.car.cornerSpeedMps(r));
  }
  // And the driver does use the grip: corners are taken at the planned speed.
  EXPECT_GT(fastestShare, 0.99);
}

TEST(SimModel, DefaultCarLooksLikeAnOrdinarySportsCar) {
  ReceiverOptions rx;
  rx.noise = false;
  const SimResult r = simulate(quarterScenario(), rx);
  ASSERT_EQ(r.truth.starts.size(), 1u);
  const StandingStart& s = r.truth.starts[0];
  double zeroToSixty = 0.0, quarter = 0.0, trap = 0.0;
  for (const SpeedPassing& p : s.speeds)
    if (p.mph == 60.0) zeroToSixty = p.firstMs - s.launchMs;
  for (const DistancePassing& d : s.distances)
    if (d.distanceM == 402.336) {
      quarter = d.ms - s.launchMs;
      trap = d.speedMps / kMphToMps;
    }
  EXPECT_GT(zeroToSixty, 4500.0);
  EXPECT_LT(zeroToSixty, 5500.0);
  EXPECT_GT(quarter, 12500.0);
  EXPECT_LT(quarter, 13800.0);
  EXPECT_GT(trap, 100.0);
  EXPECT_LT(trap, 125.0);
}

// The 1 ms integration is fine enough: a ten times finer step moves the
// true instants by well under a millisecond.
TEST(SimModel, FinerStepsGiveTheSameInstants) {
  ReceiverOptions rx;
  rx.noise = false;
  const Scenario sc = quarterScenario();
  const SimResult coarse = simulate(sc, rx);
  const SimResult fine = simulate(sc, rx, DriveOptions{0.0001, 0.5});
  const StandingStart& a = coarse.truth.starts.at(0);
  const StandingStart& b = fine.truth.starts.at(0);
  EXPECT_NEAR(a.launchMs, b.launchMs, 0.01);
  for (double mph : {30.0, 60.0, 100.0}) EXPECT_NEAR(*a.speedMs(mph), *b.speedMs(mph), 0.5) << mph;
  for (double m : {201.168, 402.336}) EXPECT_NEAR(*a.distanceMs(m), *b.distanceMs(m), 0.5) << m;
}

// Top speed is where power meets drag and rolling resistance; a long run
// approaches it from below and never passes it.
TEST(SimModel, SpeedStaysBelowThePowerLimitedTopSpeed) {
  ScenarioParams p;
  p.car.powerW = 60000.0;
  p.car.shiftSpeedsMps.clear();
  p.distanceM = 4000.0;
  const Scenario sc = quarterScenario(p);
  const DriveTrace tr = driveOf(sc);
  // Solve P = (1/2 rho CdA v^2 + Crr m g) v for v by bisection.
  double lo = 0.0, hi = 200.0;
  for (int i = 0; i < 100; ++i) {
    const double v = 0.5 * (lo + hi);
    (sc.car.powerW > (sc.car.dragForceN(v) + sc.car.rollingForceN()) * v ? lo : hi) = v;
  }
  double top = 0.0;
  for (const Step& st : tr.steps) top = std::max(top, st.vMps);
  EXPECT_LT(top, lo);
  EXPECT_GT(top, 0.97 * lo);
}

TEST(SimModel, GearChangesSlowTheCarButKeepItAccelerating) {
  const Scenario sc = accelScenario();
  const DriveTrace tr = driveOf(sc);
  const double shift = sc.car.shiftSpeedsMps.at(0);
  double before = 0.0, during = 1e9;
  for (const Step& st : tr.steps) {
    if (st.brakeN > 0.0) break;  // the run, up to the braking
    if (st.vMps > 1.0) {
      ASSERT_GT(st.aMps2, 0.0);
    }
    if (st.vMps < shift) before = st.aMps2;
    if (st.vMps >= shift && st.vMps < shift + 1.0) during = std::min(during, st.aMps2);
  }
  EXPECT_LT(during, 0.5 * before);
}

TEST(SimModel, ImpossibleScriptsAreRefused) {
  auto message = [](const auto& f) {
    try {
      f();
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  ScenarioParams weak;
  weak.car.powerW = 20000.0;
  weak.toMph = 190.0;
  EXPECT_NE(message([&] { accelScenario(weak); }).find("tops out at about"), std::string::npos);
  Path longRoad;
  longRoad.addStraight(100000.0, 0.0);
  EXPECT_NE(message([&] { runDrive(longRoad, weak.car, {Phase::runToSpeed(80.0)}); }).find("tops out at about"),
            std::string::npos);
  Path bend;
  bend.addStraight(100.0, 0.0);
  bend.addArc(50.0, 90.0, 0.0);
  bend.addStraight(1000.0, 0.0);
  EXPECT_NE(message([&] { runDrive(bend, VehicleParams{}, {Phase::runToDistance(150.0)}); }).find("straight"),
            std::string::npos);
  // A distance run may well end near top speed.
  EXPECT_NO_THROW(runDrive(longRoad, weak.car, {Phase::runToDistance(3000.0)}));

  Path road;
  road.addStraight(100.0, 0.0);
  VehicleParams car;
  EXPECT_THROW(runDrive(road, car, {Phase::runToDistance(400.0)}), std::invalid_argument);
  EXPECT_THROW(runDrive(road, car, {Phase::wait(1.0)}, DriveOptions{0.002, 0.5}), std::invalid_argument);
  EXPECT_THROW(runDrive(road, car, {Phase::wait(-1.0)}), std::invalid_argument);
  EXPECT_THROW(runDrive(road, car, {Phase::driveTo(150.0, true, 1.0)}), std::invalid_argument);
}

// A start/finish or split line laid across the track there (37 m each side)
// must meet no other part of the road, or the program would see crossings
// that the truth does not have.
TEST(SimModel, TimingLinesMeetNoOtherRoad) {
  const Scenario sc = demoScenario();
  const CircuitPlacement& cp = *sc.circuit;
  const double len = cp.circuit.lengthM();
  std::vector<double> marks{0.0};
  for (double s : cp.splitsM) marks.push_back(s);
  for (double u : marks) {
    const Pose at = cp.circuit.at(u).pose;
    double nearest = 1e9;
    for (double s = 0.0; s <= sc.path.lengthM(); s += 1.0) {
      if (s >= cp.fromPathM && s <= cp.toPathM) {
        const double lapU = std::fmod(s - cp.lapZeroPathM, len);
        const double apart = std::min(std::fabs(lapU - u), len - std::fabs(lapU - u));
        if (apart < 80.0) continue;
      } else if (std::fabs(s - cp.fromPathM) < 1.0 || std::fabs(s - cp.toPathM) < 1.0) {
        continue;
      }
      const Pose p = sc.path.at(s).pose;
      nearest = std::min(nearest, std::hypot(p.xM - at.xM, p.yM - at.yM));
    }
    EXPECT_GT(nearest, 38.0) << "line at lap distance " << u;
  }
}

}  // namespace
}  // namespace corvantis::sim
