#pragma once
// Unit conversions of the display. Speeds are kept in mph and distances in
// metres everywhere; these factors turn them into what the user chose to see,
// and typed values back. Each factor has the exact value the stored files and
// the shown texts were made with: do not "improve" them.

namespace corvantis::units {

inline constexpr double kMphToKph = 1.609344;
inline constexpr double kKphToMph = 0.6213712096214294;
inline constexpr double kMetresToYards = 1.0936133;
inline constexpr double kYardsToMetres = 0.9144;
inline constexpr double kKphToMetresPerSecond = 0.2777777777777778;

// Units setting values.
inline constexpr int kImperial = 0;
inline constexpr int kMetric = 1;

inline double mphToKph(double speedMph) { return speedMph * kMphToKph; }
inline double kphToMph(double speedKph) { return speedKph * kKphToMph; }
inline double metresToYards(double distanceM) { return distanceM * kMetresToYards; }
inline double yardsToMetres(double distanceYd) { return distanceYd * kYardsToMetres; }
// mph -> km/h -> m/s, in that order of operations.
inline double mphToMetresPerSecond(double speedMph) {
  return speedMph * kMphToKph * kKphToMetresPerSecond;
}

}  // namespace corvantis::units
