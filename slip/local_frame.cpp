#include "slip/local_frame.h"

#include <cmath>

namespace corvantis::slip {
namespace {

constexpr double kEarthRadiusM = 6371000.0;
constexpr double kDegToRad = 0.017453292519943295;

}  // namespace

LocalFrame::LocalFrame(double latitudeDeg, double longitudeDeg, double altitudeM)
    : latitudeDeg_(latitudeDeg), longitudeDeg_(longitudeDeg) {
  const double radius = kEarthRadiusM + altitudeM;
  metresPerDegNorth_ = kDegToRad * radius;
  metresPerDegEast_ = kDegToRad * radius * std::cos(latitudeDeg * kDegToRad);
}

EastNorth LocalFrame::toLocal(const MotionFix& fix) const {
  double dLon = fix.longitudeDeg - longitudeDeg_;
  if (dLon > 180.0) dLon -= 360.0;
  if (dLon < -180.0) dLon += 360.0;
  return {dLon * metresPerDegEast_, (fix.latitudeDeg - latitudeDeg_) * metresPerDegNorth_};
}

double straightLineM(const MotionFix& a, const MotionFix& b) {
  const double radius = kEarthRadiusM + (a.altitudeM + b.altitudeM) * 0.5;
  const double meanLat = (a.latitudeDeg + b.latitudeDeg) * 0.5 * kDegToRad;
  double dLon = b.longitudeDeg - a.longitudeDeg;
  if (dLon > 180.0) dLon -= 360.0;
  if (dLon < -180.0) dLon += 360.0;
  const double north = (b.latitudeDeg - a.latitudeDeg) * kDegToRad * radius;
  const double east = dLon * kDegToRad * radius * std::cos(meanLat);
  return std::sqrt(north * north + east * east);
}

}  // namespace corvantis::slip
