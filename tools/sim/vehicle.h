#pragma once
// The car's longitudinal and lateral limits. Defaults look like an ordinary
// rear-driven sports car of about 215 kW at the wheels: 0-60 mph in about
// 5 s, the quarter mile in about 13 s.
#include <vector>

namespace corvantis::sim {

inline constexpr double kGravity = 9.80665;  // m/s^2

struct VehicleParams {
  double massKg = 1550.0;           // with driver
  double powerW = 215000.0;         // at the wheels, above the traction-limited speeds
  double tractionG = 0.62;          // drive force limit of the driven wheels, as a fraction of weight
  double dragAreaM2 = 0.62;         // drag coefficient times frontal area
  double airDensityKgM3 = 1.2;
  double rollingCoefficient = 0.012;
  double lateralGripG = 1.0;        // the tyres' lateral limit
  double cornerUse = 0.9;           // share of the lateral grip the driver uses
  double brakeG = 0.8;              // the driver's firm braking
  double maxBrakeG = 1.05;          // what the brakes and tyres can do
  double launchRampS = 0.25;        // clutch take-up: drive force rises from 0 over this time
  double brakeRampS = 0.15;         // brake pressure build-up
  std::vector<double> shiftSpeedsMps{18.0, 29.0, 41.0, 53.0};  // upshift points at full throttle
  double shiftTimeS = 0.2;
  double shiftForceShare = 0.25;    // drive force left during a shift (a quick gearbox keeps pulling)
  double minSpeedForPowerMps = 0.5; // keeps power / speed finite at the launch

  // Drive force available at full throttle at speed v (m/s), before shifts and ramps.
  double fullDriveForceN(double speedMps) const;
  double dragForceN(double speedMps) const { return 0.5 * airDensityKgM3 * dragAreaM2 * speedMps * speedMps; }
  double rollingForceN() const { return rollingCoefficient * massKg * kGravity; }
  // The fastest the driver takes a curve of this radius.
  double cornerSpeedMps(double radiusM) const;
  // The tyres' limit for that radius (the driver stays below it).
  double gripLimitMps(double radiusM) const;
};

}  // namespace corvantis::sim
