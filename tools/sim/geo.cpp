#include "tools/sim/geo.h"

#include <cmath>
#include <numbers>

namespace corvantis::sim {
namespace {
constexpr double kDeg = std::numbers::pi / 180.0;
}

GeoPoint toGeo(const GeoOrigin& origin, double eastM, double northM, double altitudeM) {
  const double rho = std::hypot(eastM, northM);
  const double phi1 = origin.latitudeDeg * kDeg;
  const double lambda1 = origin.longitudeDeg * kDeg;
  GeoPoint p;
  p.altitudeM = altitudeM;
  if (rho == 0.0) {
    p.latitudeDeg = origin.latitudeDeg;
    p.longitudeDeg = origin.longitudeDeg;
    return p;
  }
  const double bearing = std::atan2(eastM, northM);
  const double delta = rho / (kEarthRadiusM + altitudeM);
  const double sinPhi2 = std::sin(phi1) * std::cos(delta) + std::cos(phi1) * std::sin(delta) * std::cos(bearing);
  const double phi2 = std::asin(sinPhi2);
  const double lambda2 = lambda1 + std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(phi1),
                                              std::cos(delta) - std::sin(phi1) * sinPhi2);
  p.latitudeDeg = phi2 / kDeg;
  double lon = lambda2 / kDeg;
  if (lon > 180.0) lon -= 360.0;
  if (lon <= -180.0) lon += 360.0;
  p.longitudeDeg = lon;
  return p;
}

double haversineM(const GeoPoint& a, const GeoPoint& b) {
  const double p1 = a.latitudeDeg * kDeg, p2 = b.latitudeDeg * kDeg;
  const double dp = p2 - p1;
  const double dl = (b.longitudeDeg - a.longitudeDeg) * kDeg;
  const double h = std::pow(std::sin(dp * 0.5), 2) + std::pow(std::sin(dl * 0.5), 2) * std::cos(p1) * std::cos(p2);
  const double c = 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
  return (kEarthRadiusM + (a.altitudeM + b.altitudeM) * 0.5) * c;
}

}  // namespace corvantis::sim
