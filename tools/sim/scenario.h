#pragma once
// Scripted drives by name: the road, where it lies on the globe, the car and
// the driver's script, and which events the truth reports.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/drive.h"
#include "tools/sim/geo.h"
#include "tools/sim/path.h"
#include "tools/sim/vehicle.h"

namespace corvantis::sim {

inline constexpr double kMphToMps = 1.609344 / 3.6;

// The circuit part of a scenario: lap distance u of the circuit is at path
// distance lapZeroPathM + u (+ whole laps) within [fromPathM, toPathM].
struct CircuitPlacement {
  Circuit circuit;
  double lapZeroPathM = 0.0;
  double fromPathM = 0.0;
  double toPathM = 0.0;
  std::vector<double> splitsM;  // lap distances of the split points, ascending, in (0, length)
};

struct Scenario {
  std::string name;
  GeoOrigin origin;  // latitude/longitude of the flat frame's (0, 0)
  Path path;
  std::vector<Phase> phases;
  VehicleParams car;
  std::vector<double> speedsMph;   // speeds whose first passing the truth reports
  std::vector<double> distancesM;  // distances from each standing start
  std::optional<CircuitPlacement> circuit;
};

// Knobs of the named scenarios; each scenario reads the ones that concern it.
struct ScenarioParams {
  VehicleParams car;
  std::optional<GeoOrigin> origin;  // default: each scenario's own place
  double headingDeg = 74.0;         // accel/quarter: direction of the strip (bearing)
  double altitudeM = 96.0;          // accel/quarter: altitude at the start
  double gradePercent = 0.0;        // accel/quarter: slope of the strip, uphill positive
  double waitS = 10.0;              // standstill before the first run (the program arms while standing)
  double betweenS = 12.0;           // standstill between runs
  double endWaitS = 5.0;            // standstill after the last stop
  int runs = 1;                     // accel/quarter: number of runs
  double toMph = 70.0;              // accel: lift and brake at this speed
  double distanceM = 402.336;       // quarter, demo: the distance run's length
  double overrunM = 30.0;           // quarter: full throttle this far past it before braking
  int laps = 0;                     // laps / demo: timed laps; 0: the scenario's own (laps 3, demo 2)
  std::vector<double> splitsM;      // laps / demo: split points (lap distance); empty: thirds of the lap
  std::vector<double> speedsMph{10, 20, 30, 40, 50, 60, 62.13711922373339, 70, 80, 90, 100, 110, 120};
  std::vector<double> distancesM{201.168, 402.336, 400.0, 800.0};
  uint64_t familySeed = 1;          // launches: draws the car and every launch
  std::string launchKind;           // launches: one kind of launch for every run ("": any, drawn per run)
};

// Names accepted by scenarioByName, in the order --help lists them.
const std::vector<std::string>& scenarioNames();

// accel: stand, launch, accelerate to toMph, brake, stop (runs times).
Scenario accelScenario(const ScenarioParams& params = {});
// quarter: standing runs over distanceM (a quarter mile by default).
Scenario quarterScenario(const ScenarioParams& params = {});
// laps: from the paddock along the access road onto the built-in circuit, an
// out lap, `laps` timed laps, then off into the infield and stop.
Scenario lapsScenario(const ScenarioParams& params = {});
// demo: one loop of a few minutes that ends where it starts: standing at the
// line, a flat-out launch down the access road's 1100 m straight (one
// 0-60 mph and one quarter mile), laps of the circuit (2 unless params say
// otherwise), a return road back to the line, and a stop there. toMph and
// overrunM have no part in it.
Scenario demoScenario(const ScenarioParams& params);
Scenario demoScenario();

// Throws std::invalid_argument for an unknown name or an impossible parameter.
Scenario scenarioByName(const std::string& name, const ScenarioParams& params);

// The built-in circuit: about 2.1 km, a dozen corners, gently rolling.
Circuit builtInCircuit(double baseAltitudeM);

}  // namespace corvantis::sim
