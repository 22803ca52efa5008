#pragma once
// How one launch puts the drive force down: the share of the full drive
// force against the time since the throttle went down, and the gear changes
// of that run. The car's own take-up ramp is one such shape; a family of
// others (a step, a creep, a slipping clutch, wheelspin) is drawn in
// launch_family.h.
#include <string>
#include <utility>
#include <vector>

namespace corvantis::sim {

struct LaunchShape {
  // Share of the full drive force, piecewise linear through these points
  // (seconds since the throttle went down, share 0..1): the first point's
  // share holds before it, full force after the last. Empty: full at once.
  std::vector<std::pair<double, double>> shareAtS;
  // Gear changes of this run: upshift speeds, how long each takes and the
  // share of the drive force left meanwhile.
  std::vector<double> shiftSpeedsMps;
  double shiftTimeS = 0.2;
  double shiftForceShare = 0.25;
  std::string description;  // e.g. "creep 0.80 m/s2 for 0.55 s", for the truth

  double shareAt(double tauS) const;
  // When the last point of the table is passed: full force from then on.
  double endS() const { return shareAtS.empty() ? 0.0 : shareAtS.back().first; }
  // The first instant the share reaches `share` (0 when it starts there);
  // negative when it never does.
  double firstReaching(double share) const;
};

}  // namespace corvantis::sim
