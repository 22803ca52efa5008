#pragma once
// The driver and the fine integration of the car along its path. Every step
// holds the acceleration constant, so speed is linear and distance quadratic
// within it: any instant between steps is recovered exactly.
#include <limits>
#include <optional>
#include <vector>

#include "tools/sim/launch_shape.h"
#include "tools/sim/path.h"
#include "tools/sim/vehicle.h"

namespace corvantis::sim {

// One part of the driver's script.
struct Phase {
  enum class Kind {
    Wait,     // stand still (the car must be at rest)
    Run,      // full-throttle launch from rest until a speed or a distance, then brake to a stop
    DriveTo,  // drive along the path to a position, within corner, road and braking limits
  };
  Kind kind = Kind::Wait;
  double durationS = 0.0;                                        // Wait
  double untilSpeedMps = std::numeric_limits<double>::infinity();  // Run: lift and brake at this speed
  double untilDistanceM = std::numeric_limits<double>::infinity(); // Run: or this far from the start
  double toPathM = 0.0;                                          // DriveTo: path position to reach
  bool stopAtEnd = true;                                         // DriveTo: come to rest there
  double throttle = 1.0;                                         // share of the full drive force
  // Run: how this launch puts the force down and changes gear; none: the
  // car's own take-up ramp and shift points.
  std::optional<LaunchShape> launchShape;

  static Phase wait(double seconds);
  static Phase runToSpeed(double speedMps);
  static Phase runToDistance(double distanceM);
  static Phase driveTo(double pathM, bool stop, double throttle);
};

// State at `tS` (seconds from the start of the drive); the acceleration is
// constant over [tS, tS + dtS]. Forces in newtons, signed as they act on the
// car's motion (drive forward, the others against it; grade positive uphill).
struct Step {
  double tS = 0.0;
  double dtS = 0.0;
  double sM = 0.0;    // distance along the path
  double vMps = 0.0;  // speed along the path (horizontal)
  double aMps2 = 0.0;
  double driveN = 0.0;
  double brakeN = 0.0;
  double dragN = 0.0;
  double rollingN = 0.0;
  double gradeN = 0.0;
};

struct MotionState {
  double tS = 0.0;
  double sM = 0.0;
  double vMps = 0.0;
  double aMps2 = 0.0;
};

struct DriveTrace {
  std::vector<Step> steps;
  double endTimeS = 0.0;
  // Exact state at any time within the drive (clamped to it).
  MotionState stateAt(double tS) const;
};

struct DriveOptions {
  double stepS = 0.001;        // integration step; 1 ms or finer
  double envelopeGridM = 0.5;  // resolution of the driver's speed plan
};

// Integrates the whole script. Throws std::invalid_argument for a script
// that cannot be driven (a run starting while moving, a road too short for
// a run, a step that is not positive).
DriveTrace runDrive(const Path& path, const VehicleParams& car, const std::vector<Phase>& phases,
                    const DriveOptions& options = {});

}  // namespace corvantis::sim
