#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "tools/sim/scenario.h"

#include "tools/sim/launch_family.h"

namespace corvantis::sim {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

// Where the built-in places lie: a drag strip on an airfield-like plain east
// of the prime meridian, and the circuit in rolling country west of it, so
// both hemispheres letters of the longitude are exercised.
constexpr GeoOrigin kStripOrigin{48.9150, 2.6130};
constexpr GeoOrigin kCircuitOrigin{51.5720, -1.7870};
constexpr double kCircuitAltitudeM = 142.0;

// The access road runs parallel to the main straight, on its outside, far
// enough away that a start/finish line laid across the straight (about 37 m
// each side of the track) never reaches it; it joins the straight through an
// S-bend after the start/finish point, and the way out leaves into the
// infield through another.
constexpr double kSideRoadOffsetM = 50.0;
constexpr double kSBendRadiusM = 150.0;
constexpr double kSBendClearM = 40.0;  // from the start/finish point to either S-bend
constexpr double kAccessCapMps = 80.0 / 3.6;
constexpr double kExitCapMps = 50.0 / 3.6;
constexpr double kExitStraightM = 80.0;
constexpr double kPitThrottle = 0.45;

void checkParams(const ScenarioParams& p) {
  if (!(p.waitS >= 2.0)) throw std::invalid_argument("the first wait must be at least 2 s (the program arms while standing)");
  if (!(p.betweenS >= 2.0)) throw std::invalid_argument("the wait between runs must be at least 2 s");
  if (!(p.endWaitS >= 0.0)) throw std::invalid_argument("the final wait cannot be negative");
  if (p.runs < 1 || p.runs > 50) throw std::invalid_argument("runs must be 1 to 50");
  if (p.laps < 0 || p.laps > 20) throw std::invalid_argument("laps must be 1 to 20");
  if (!(p.toMph >= 5.0 && p.toMph <= 200.0)) throw std::invalid_argument("the run's top speed must be 5 to 200 mph");
  if (!(p.distanceM >= 10.0 && p.distanceM <= 5000.0)) throw std::invalid_argument("the run distance must be 10 to 5000 m");
  if (!(p.overrunM >= 0.0 && p.overrunM <= 1000.0)) throw std::invalid_argument("the overrun must be 0 to 1000 m");
  if (!(std::fabs(p.gradePercent) <= 10.0)) throw std::invalid_argument("the strip's grade must be within 10 %");
  if (p.origin && (!(std::fabs(p.origin->latitudeDeg) <= 85.0) || !(std::fabs(p.origin->longitudeDeg) <= 180.0)))
    throw std::invalid_argument("the origin must lie within 85 degrees of the equator and 180 of Greenwich");
  for (double v : p.speedsMph)
    if (!(v > 0.0 && v < 300.0)) throw std::invalid_argument("truth speeds must be above 0 and below 300 mph");
  for (double d : p.distancesM)
    if (!(d > 0.0 && d < 100000.0)) throw std::invalid_argument("truth distances must be above 0 m");
}

// A scenario of this name with the parameters' car, truth marks and origin
// (defaultOrigin when none is given); its path is the caller's to lay.
Scenario newScenario(const std::string& name, const ScenarioParams& p, const GeoOrigin& defaultOrigin) {
  Scenario sc;
  sc.name = name;
  sc.origin = p.origin.value_or(defaultOrigin);
  sc.car = p.car;
  sc.speedsMph = p.speedsMph;
  sc.distancesM = p.distancesM;
  return sc;
}

Scenario stripScenario(const std::string& name, const ScenarioParams& p, const Phase& run, double perRunM) {
  checkParams(p);
  Scenario sc = newScenario(name, p, kStripOrigin);
  const double length = perRunM * p.runs + 200.0;
  sc.path.setStart(Pose{0.0, 0.0, p.headingDeg * kDeg}, p.altitudeM);
  sc.path.addStraight(length, p.altitudeM + length * p.gradePercent / 100.0);
  sc.phases.push_back(Phase::wait(p.waitS));
  for (int i = 0; i < p.runs; ++i) {
    if (i > 0) sc.phases.push_back(Phase::wait(p.betweenS));
    sc.phases.push_back(run);
  }
  sc.phases.push_back(Phase::wait(p.endWaitS));
  return sc;
}

// The S-bend moves the road sideways by 2 R (1 - cos a) while it runs 2 R sin a.
double sBendAngleDeg() { return std::acos(1.0 - kSideRoadOffsetM / (2.0 * kSBendRadiusM)) / kDeg; }
double sBendRunM() { return 2.0 * kSBendRadiusM * std::sin(sBendAngleDeg() * kDeg); }

// Access road (stripM of strip, then the S-bend) onto the circuit, an out
// lap, `laps` timed laps, and out into the infield. Returns the path distance
// where the strip ends (the access road's straight) for the strip runs.
Scenario circuitScenario(const std::string& name, const ScenarioParams& p, double accessStraightM,
                         const std::vector<Phase>& stripPhases, int defaultLaps) {
  checkParams(p);
  Scenario sc = newScenario(name, p, kCircuitOrigin);
  Circuit circuit = builtInCircuit(kCircuitAltitudeM);
  const PathPoint sf = circuit.at(0.0);
  const double h = sf.pose.headingRad;
  const double dirX = std::sin(h), dirY = std::cos(h);
  const double rightX = std::cos(h), rightY = -std::sin(h);
  const double angle = sBendAngleDeg(), run = sBendRunM();
  // Where the car joins the circuit, and the S-bend's start on the access road.
  const double mergeU = kSBendClearM + run;
  const double bendStartX = sf.pose.xM + kSBendClearM * dirX + kSideRoadOffsetM * rightX;
  const double bendStartY = sf.pose.yM + kSBendClearM * dirY + kSideRoadOffsetM * rightY;
  const double alt = circuit.altitudeAt(mergeU);
  Path& path = sc.path;
  path.setStart(Pose{bendStartX - accessStraightM * dirX, bendStartY - accessStraightM * dirY, h}, alt - 1.5);
  path.addStraight(accessStraightM, alt - 0.8, kAccessCapMps);
  path.addArc(kSBendRadiusM, -angle, alt - 0.3, kAccessCapMps);  // left, towards the circuit
  path.addArc(kSBendRadiusM, angle, alt, kAccessCapMps);         // and straight again, on it
  const double circuitFrom = path.lengthM();
  const double laps = static_cast<double>(p.laps > 0 ? p.laps : defaultLaps);
  const double exitU = kSBendClearM;  // after the last start/finish crossing
  circuit.appendTo(path, mergeU, circuit.lengthM() * (laps + 1.0) + exitU);
  const double circuitTo = path.lengthM();
  const double exitAlt = circuit.altitudeAt(exitU);
  path.addArc(kSBendRadiusM, -angle, exitAlt + 0.2, kExitCapMps);  // left, into the infield
  path.addArc(kSBendRadiusM, angle, exitAlt + 0.4, kExitCapMps);
  path.addStraight(kExitStraightM, exitAlt + 0.5, kExitCapMps);

  CircuitPlacement place{circuit, circuitFrom - mergeU, circuitFrom, circuitTo, p.splitsM};
  if (place.splitsM.empty()) place.splitsM = {circuit.lengthM() / 3.0, circuit.lengthM() * 2.0 / 3.0};
  std::sort(place.splitsM.begin(), place.splitsM.end());
  for (double s : place.splitsM)
    if (!(s > 0.0 && s < circuit.lengthM()))
      throw std::invalid_argument("split points must lie within the lap (0 to " + std::to_string(circuit.lengthM()) + " m)");
  sc.circuit = place;

  sc.phases.push_back(Phase::wait(p.waitS));
  for (const Phase& ph : stripPhases) sc.phases.push_back(ph);
  sc.phases.push_back(Phase::driveTo(circuitFrom, false, kPitThrottle));
  sc.phases.push_back(Phase::driveTo(circuitTo, false, 1.0));
  sc.phases.push_back(Phase::driveTo(path.lengthM(), true, kPitThrottle));
  sc.phases.push_back(Phase::wait(p.endWaitS));
  return sc;
}

// Road the car needs to reach `speedMps` at full throttle and brake to rest,
// with room to spare; a speed the car cannot reach is refused here, with its
// top speed, rather than after simulating a road's worth of creeping.
double runRoadM(const VehicleParams& car, double speedMps) {
  double distance = 0.0;
  constexpr double dv = 0.25;
  for (double v = 0.0; v < speedMps; v += dv) {
    const double a = (car.fullDriveForceN(v) - car.dragForceN(v) - car.rollingForceN()) / car.massKg;
    if (a < 0.05) {
      throw std::invalid_argument("the car cannot reach " + std::to_string(static_cast<int>(speedMps / kMphToMps)) +
                                  " mph: it tops out at about " + std::to_string(static_cast<int>(v / kMphToMps)) + " mph");
    }
    distance += (v + 0.5 * dv) * dv / a;
  }
  return 1.3 * distance + speedMps * speedMps / (2.0 * 0.7 * car.brakeG * kGravity) + 100.0;
}

}  // namespace

Circuit builtInCircuit(double baseAltitudeM) {
  // Corner points of the lap (metres, x east, y north, before scaling) with
  // the radius each corner is rounded to; driven anticlockwise, the last edge
  // back to the first corner is the main straight.
  static const std::vector<CornerPoint> raw{
      {700, 0, 60},    {820, 140, 45},  {660, 250, 35}, {720, 380, 50},  {520, 430, 40},  {420, 300, 30},
      {260, 390, 45},  {110, 290, 55},  {-40, 390, 40}, {-210, 260, 35}, {-140, 110, 30}, {-260, 0, 25}};
  constexpr double kScale = 0.72;
  std::vector<CornerPoint> corners;
  for (const CornerPoint& c : raw) corners.push_back({c.xM * kScale, c.yM * kScale, c.radiusM});
  return Circuit(corners, 0.17, baseAltitudeM, 4.0);
}

const std::vector<std::string>& scenarioNames() {
  static const std::vector<std::string> names{"accel", "quarter", "laps", "demo", "launches"};
  return names;
}

Scenario accelScenario(const ScenarioParams& p) {
  checkParams(p);
  const double v = p.toMph * kMphToMps;
  return stripScenario("accel", p, Phase::runToSpeed(v), runRoadM(p.car, v));
}

Scenario quarterScenario(const ScenarioParams& p) {
  Scenario sc = stripScenario("quarter", p, Phase::runToDistance(p.distanceM + p.overrunM),
                              p.distanceM + p.overrunM + 600.0);
  if (std::find(sc.distancesM.begin(), sc.distancesM.end(), p.distanceM) == sc.distancesM.end())
    sc.distancesM.push_back(p.distanceM);
  return sc;
}

Scenario lapsScenario(const ScenarioParams& p) { return circuitScenario("laps", p, 300.0, {}, 3); }

Scenario demoScenario(const ScenarioParams& p) {
  checkParams(p);
  // One clean loop that ends where it starts, so that it can be played again
  // and again: standing at the line on the access road, a flat-out launch
  // through the quarter mile down the road's straight, the S-bend onto the
  // circuit, its laps, out to the access road's line through an S-bend to
  // the right, a U-turn onto a return road further out, back past the start,
  // a U-turn onto the access road, and a stop at the line. The car stands
  // only at the line, so each loop gives one 0-60 mph, one quarter mile and
  // nothing else a timing screen would store.
  Scenario sc = newScenario("demo", p, kCircuitOrigin);
  Circuit circuit = builtInCircuit(kCircuitAltitudeM);
  const PathPoint sf = circuit.at(0.0);
  const double h = sf.pose.headingRad;
  const double dirX = std::sin(h), dirY = std::cos(h);
  const double rightX = std::cos(h), rightY = -std::sin(h);
  const double angle = sBendAngleDeg(), run = sBendRunM();
  constexpr double kStripM = 1100.0;       // the access road's straight, line to S-bend
  constexpr double kUTurnRadiusM = 25.0;
  constexpr double kBeforeUTurnM = 20.0;   // straight between the exit S-bend and the first U-turn
  constexpr double kAfterUTurnM = 30.0;    // straight between the second U-turn and the line
  if (kStripM < p.distanceM + 200.0) throw std::invalid_argument("the demo's distance run must end at least 200 m before the circuit");

  const double mergeU = kSBendClearM + run;
  const double bendStartX = sf.pose.xM + kSBendClearM * dirX + kSideRoadOffsetM * rightX;
  const double bendStartY = sf.pose.yM + kSBendClearM * dirY + kSideRoadOffsetM * rightY;
  const double alt = circuit.altitudeAt(mergeU);
  const double startAlt = alt - 1.5;
  Path& path = sc.path;
  path.setStart(Pose{bendStartX - kStripM * dirX, bendStartY - kStripM * dirY, h}, startAlt);
  path.addStraight(kStripM, alt - 0.8);  // no cap: the launch is flat out
  path.addArc(kSBendRadiusM, -angle, alt - 0.3, kAccessCapMps);  // left, towards the circuit
  path.addArc(kSBendRadiusM, angle, alt, kAccessCapMps);         // and straight again, on it
  const double circuitFrom = path.lengthM();
  const double laps = static_cast<double>(p.laps > 0 ? p.laps : 2);
  const double exitU = kSBendClearM;  // after the last start/finish crossing
  circuit.appendTo(path, mergeU, circuit.lengthM() * (laps + 1.0) + exitU);
  const double circuitTo = path.lengthM();
  const double exitAlt = circuit.altitudeAt(exitU);
  path.addArc(kSBendRadiusM, angle, exitAlt - 0.2, kExitCapMps);   // right, out to the access road's line
  path.addArc(kSBendRadiusM, -angle, exitAlt - 0.4, kExitCapMps);
  path.addStraight(kBeforeUTurnM, exitAlt - 0.5, kExitCapMps);
  path.addArc(kUTurnRadiusM, 180.0, exitAlt - 0.6, kExitCapMps);  // onto the return road
  // Back along the return road to just past the line, level with the start.
  const double returnM = kSBendClearM + run + kBeforeUTurnM - (kSBendClearM - kStripM) + kAfterUTurnM;
  path.addStraight(returnM, startAlt, kAccessCapMps);
  path.addArc(kUTurnRadiusM, 180.0, startAlt, kExitCapMps);  // onto the access road, facing the circuit
  path.addStraight(kAfterUTurnM, startAlt, kExitCapMps);

  CircuitPlacement place{circuit, circuitFrom - mergeU, circuitFrom, circuitTo, p.splitsM};
  if (place.splitsM.empty()) place.splitsM = {circuit.lengthM() / 3.0, circuit.lengthM() * 2.0 / 3.0};
  std::sort(place.splitsM.begin(), place.splitsM.end());
  for (double s : place.splitsM)
    if (!(s > 0.0 && s < circuit.lengthM()))
      throw std::invalid_argument("split points must lie within the lap (0 to " + std::to_string(circuit.lengthM()) + " m)");
  sc.circuit = place;

  sc.phases.push_back(Phase::wait(p.waitS));
  sc.phases.push_back(Phase::driveTo(circuitFrom, false, 1.0));  // launch, quarter mile, onto the circuit
  sc.phases.push_back(Phase::driveTo(circuitTo, false, 1.0));
  sc.phases.push_back(Phase::driveTo(path.lengthM(), true, kPitThrottle));
  sc.phases.push_back(Phase::wait(p.endWaitS));
  return sc;
}

Scenario demoScenario() {
  const ScenarioParams defaults;
  return demoScenario(defaults);
}

Scenario scenarioByName(const std::string& name, const ScenarioParams& params) {
  if (name == "accel") return accelScenario(params);
  if (name == "quarter") return quarterScenario(params);
  if (name == "laps") return lapsScenario(params);
  if (name == "demo") return demoScenario(params);
  if (name == "launches") return launchesScenario(params);
  throw std::invalid_argument("unknown scenario \"" + name + "\" (accel, quarter, laps, demo or launches)");
}

}  // namespace corvantis::sim
