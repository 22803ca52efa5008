#include "gps/fix_history.h"

#include <cfloat>
#include <cmath>

namespace corvantis {
namespace {

constexpr uint32_t kMinFixSpacingMs = 100;
constexpr uint32_t kDayMs = 86400000u;
constexpr uint32_t kHalfDayMs = kDayMs / 2;
// A time of day never reaches this (23:59:60.999 of a leap second is the
// largest a receiver may send); anything beyond is a corrupt time field.
constexpr uint32_t kLatestTimeOfDayMs = kDayMs + 1000u;

// Degrees to radians with the 10-digit value the stored distances were made with.
constexpr double kRadiansPerDegree = 0.0174532925;
constexpr double kEarthRadiusM = 6371000.0;

// Narrowing that stays defined for any double: values beyond float range
// saturate at the largest float instead of relying on the conversion.
float narrowToFloat(double value) {
  if (value > FLT_MAX) return FLT_MAX;
  if (value < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(value);
}

}  // namespace

double greatCircleDistance(const FixSample& a, const FixSample& b) {
  if (a.latitude == b.latitude && a.longitude == b.longitude) return 0.0;
  const double phiA = a.latitude * kRadiansPerDegree;
  const double phiB = b.latitude * kRadiansPerDegree;
  const double deltaPhi = phiB - phiA;
  const double deltaLambda = b.longitude * kRadiansPerDegree - a.longitude * kRadiansPerDegree;
  const double sinHalfPhi = std::sin(deltaPhi * 0.5);
  const double sinHalfLambda = std::sin(deltaLambda * 0.5);
  const double h = sinHalfPhi * sinHalfPhi + sinHalfLambda * sinHalfLambda * std::cos(phiB) * std::cos(phiA);
  const double c = 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
  // The altitudes are summed as floats, as they are stored, and only the sum is widened.
  const float altitudeSum = a.altitude + b.altitude;
  const double radiusM = kEarthRadiusM + static_cast<double>(altitudeSum) * 0.5;
  return radiusM * c;
}

double speedBetween(const FixSample& a, const FixSample& b) {
  const FixSample& later = (b.time > a.time) ? b : a;
  const FixSample& earlier = (b.time > a.time) ? a : b;
  const double distanceM = greatCircleDistance(later, earlier);
  const uint32_t intervalMs = later.time - earlier.time;
  // Two fixes at the same instant have no speed between them; without this
  // the division gives NaN or infinity, which would poison every later sum.
  if (intervalMs == 0) return 0.0;
  const double intervalS = static_cast<double>(intervalMs) * 0.001;
  const double speedMph = distanceM / intervalS * 3.6 * 0.621371192;
  if (speedMph < 2.0) return 0.0;  // under 2 mph reads as standing still
  return speedMph;
}

RecordOutcome FixHistory::recordFix(double latitude, double longitude, double altitude, uint32_t timeOfDayMs) {
  if (timeOfDayMs >= kLatestTimeOfDayMs) return RecordOutcome::Refused;

  // Times are counted on from the first fix's day, so that a session that
  // runs past UTC midnight keeps increasing times. A time of day more than
  // 12 hours below the newest one is taken as the next day; a smaller step
  // back (a receiver restarting with an older time) is refused below.
  uint32_t dayOffsetMs = dayOffsetMs_;
  uint32_t timeMs = dayOffsetMs + timeOfDayMs;
  if (!firstFixPending_ && timeMs + kHalfDayMs < recentFixes[2].time) {
    dayOffsetMs += kDayMs;
    timeMs += kDayMs;
  }
  if (!firstFixPending_ && timeMs < recentFixes[2].time + kMinFixSpacingMs) return RecordOutcome::Refused;
  dayOffsetMs_ = dayOffsetMs;

  recentFixes[0] = recentFixes[1];
  recentFixes[1] = recentFixes[2];
  FixSample& newest = recentFixes[2];
  newest.latitude = latitude;
  newest.longitude = longitude;
  newest.altitude = narrowToFloat(altitude);
  newest.time = timeMs;

  if (firstFixPending_) {
    // The first fix starts from two still fixes at the same place one and
    // two seconds earlier, so its speed is 0.
    firstFixPending_ = false;
    recentFixes[1] = newest;
    recentFixes[1].time = timeMs - 1000;
    recentFixes[0] = newest;
    recentFixes[0].time = timeMs - 2000;
  }
  newest.speed = narrowToFloat(speedBetween(newest, recentFixes[1]));

  // The lap parts set count directly; never trust it as an index.
  if (count < 0) count = 0;
  if (count >= kCapacity) return RecordOutcome::WindowOnly;
  samples[static_cast<size_t>(count)] = newest;
  count += 1;
  return RecordOutcome::Recorded;
}

void FixHistory::startCapture(uint32_t calendarSeconds) {
  samples[0] = recentFixes[0];
  samples[1] = recentFixes[1];
  samples[2] = recentFixes[2];
  count = 3;
  captureStamp_ = calendarSeconds;
}

void FixHistory::stopCapture() {
  const int last = count > kCapacity ? kCapacity - 1 : count - 1;
  // Downward, so each step still sees the unsmoothed speed of the entry before it.
  for (int i = last; i >= 1; --i) {
    FixSample& sample = samples[static_cast<size_t>(i)];
    if (sample.speed != 0.0f) {
      sample.speed = sample.speed + 0.5f * (sample.speed - samples[static_cast<size_t>(i - 1)].speed);
    }
  }
}

}  // namespace corvantis
