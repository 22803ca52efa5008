#pragma once
// A car parked on the start/finish line: the circuit drive stops just past
// the line after a timed lap and stands there a while before it drives on;
// and a receiver whose standing fixes wander (no static hold), as many do,
// so that the fixes of a parked car step back and forth over the line.
#include <cstdint>

#include "tools/sim/simulator.h"

namespace corvantis::sim {

struct ParkingParams {
  double parkS = 0.0;      // how long the car stands on the line; 0: no parking
  int afterLap = 0;        // the timed lap that ends on the parking; 0: the last one
  // Where the car comes to rest, metres past the true line (negative: short
  // of it). Past it, the car rolls over the line as it stops, which ends the
  // lap. A line recorded from a drive lies a metre or more from the true
  // one: parking on the recorded line means parking that far from it.
  double pastLineM = 0.5;
  double jitterM = 0.0;    // white position error of every standing fix, 1 sigma per axis
};

// The circuit scenario with the car brought to rest pastLineM past the
// start/finish line at the end of timed lap `afterLap`, standing `parkS`,
// then driving on round the rest of its laps. Throws std::invalid_argument
// for a scenario without a circuit, a lap it does not drive or a place more
// than 30 m from the line.
Scenario parkOnTheLine(Scenario circuitDrive, const ParkingParams& parking);

// Moves the position of every standing fix (true speed 0) by an error drawn
// afresh each fix, jitterM 1 sigma east and north, and writes the GGA and
// RMC sentences of those fixes again. The seed keeps it repeatable.
void jitterStandingFixes(SimResult& result, const ReceiverOptions& receiver, double jitterM, uint64_t seed);

}  // namespace corvantis::sim
