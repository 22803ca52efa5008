#include "tools/sim/vehicle.h"

#include <algorithm>
#include <cmath>

namespace corvantis::sim {

double VehicleParams::fullDriveForceN(double speedMps) const {
  const double traction = tractionG * massKg * kGravity;
  const double power = powerW / std::max(speedMps, minSpeedForPowerMps);
  return std::min(traction, power);
}

double VehicleParams::cornerSpeedMps(double radiusM) const {
  return std::sqrt(cornerUse * lateralGripG * kGravity * radiusM);
}

double VehicleParams::gripLimitMps(double radiusM) const {
  return std::sqrt(lateralGripG * kGravity * radiusM);
}

}  // namespace corvantis::sim
