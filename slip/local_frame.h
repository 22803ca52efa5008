#pragma once
// Positions of a strip in metres: east and north of a point near the
// standing position, on a sphere of the Earth's mean radius plus the
// altitude (the program's own geodesy). Over the few hundred metres of a
// strip a local flat frame is exact to far under a millimetre.
#include "slip/nmea_motion.h"

namespace corvantis::slip {

struct EastNorth {
  double eastM = 0.0;
  double northM = 0.0;
};

class LocalFrame {
 public:
  LocalFrame() = default;
  LocalFrame(double latitudeDeg, double longitudeDeg, double altitudeM);
  EastNorth toLocal(const MotionFix& fix) const;

 private:
  double latitudeDeg_ = 0.0, longitudeDeg_ = 0.0;
  double metresPerDegNorth_ = 0.0, metresPerDegEast_ = 0.0;
};

// Straight-line distance between two fixes' positions, in metres.
double straightLineM(const MotionFix& a, const MotionFix& b);

}  // namespace corvantis::slip
