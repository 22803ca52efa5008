#pragma once
// A family of standing starts and receivers for measuring time slips on
// launches of every kind drivers make, not only the car's own take-up:
// a step (full force at once), take-up ramps of any length up to half a
// second (some let in from the bite point, so the car moves off with no
// jerk), a creep before the launch proper, wheelspin that cuts the drive
// for a moment, a slipping (and sometimes juddering) clutch, and gear
// changes at any speed. Receivers vary as real ones do: position noise with
// a slowly wandering bias or none, Doppler speed noise, the resolution of
// speeds and positions, with or without speed sentences.
//
// Everything is drawn from a seed, so a drive is reproduced by its seed.
// The seeds fall into two fixed halves: one to choose a method on, the
// other only to report it, so that what is reported was not tuned to.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/launch_shape.h"
#include "tools/sim/random.h"
#include "tools/sim/receiver.h"
#include "tools/sim/scenario.h"
#include "tools/sim/vehicle.h"

namespace corvantis::sim {

enum class FamilyHalf { Choosing, Reported };
// The half a drive's seed belongs to (fixed by the seed alone).
FamilyHalf familyHalf(uint64_t seed);

// "step", "ramp", "creep", "wheelspin", "clutch slip".
const std::vector<std::string>& launchKinds();

// A car of the family: from an economy hatch to a drag-prepared car.
VehicleParams drawFamilyCar(Random& rng);
// A launch of this kind ("" or "any": a kind drawn at random), for this car.
// Throws std::invalid_argument for an unknown kind.
LaunchShape drawLaunchShape(Random& rng, const VehicleParams& car, const std::string& kind);
// A receiver's traits at its rate: noise (when rx.noise), resolutions and
// which speed sentences it writes. Rate, seed, start and damage stay.
void drawFamilyReceiver(Random& rng, ReceiverOptions& rx);

// launches: standing runs over params.distanceM (a quarter mile by
// default) as in "quarter", by a car drawn from the seed, each run's
// launch drawn from the family (of params.launchKind when given).
Scenario launchesScenario(const ScenarioParams& params);

}  // namespace corvantis::sim
