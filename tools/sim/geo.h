#pragma once
// Placing the local flat frame of a drive on the globe. The program measures
// distances with the haversine on a sphere of radius 6371000 m plus the mean
// altitude of the two fixes, so positions are placed on that same sphere: an
// azimuthal equidistant projection around the drive's origin keeps every
// distance from the origin exact and straight roads through it on great
// circles; other distances within a few kilometres differ from the flat frame
// by parts in 10^8.

namespace corvantis::sim {

inline constexpr double kEarthRadiusM = 6371000.0;

struct GeoPoint {
  double latitudeDeg = 0.0;
  double longitudeDeg = 0.0;  // east positive, in (-180, 180]
  double altitudeM = 0.0;     // above mean sea level
};

// latitude/longitude of the local frame's (0, 0).
struct GeoOrigin {
  double latitudeDeg = 0.0;
  double longitudeDeg = 0.0;
};

GeoPoint toGeo(const GeoOrigin& origin, double eastM, double northM, double altitudeM);

// Haversine distance on the sphere of radius 6371000 m + mean altitude, in
// metres; the same model the program uses (with exact degree conversion).
double haversineM(const GeoPoint& a, const GeoPoint& b);

}  // namespace corvantis::sim
