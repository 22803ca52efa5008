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

namespace {

// The geodesy, with the cosine of each latitude taken from cosOf: the fix
// history hands in a memo, since every fix's latitude is used again by the
// next fix's speed.
template <typename CosOf>
double distanceBetween(const FixSample& a, const FixSample& b, CosOf&& cosOf) {
  if (a.latitude == b.latitude && a.longitude == b.longitude) return 0.0;
  const double phiA = a.latitude * kRadiansPerDegree;
  const double phiB = b.latitude * kRadiansPerDegree;
  const double deltaPhi = phiB - phiA;
  const double deltaLambda = b.longitude * kRadiansPerDegree - a.longitude * kRadiansPerDegree;
  const double sinHalfPhi = std::sin(deltaPhi * 0.5);
  const double sinHalfLambda = std::sin(deltaLambda * 0.5);
  const double h = sinHalfPhi * sinHalfPhi + sinHalfLambda * sinHalfLambda * cosOf(phiB) * cosOf(phiA);
  const double c = 2.0 * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
  // The altitudes are summed as floats, as they are stored, and only the sum is widened.
  const float altitudeSum = a.altitude + b.altitude;
  const double radiusM = kEarthRadiusM + static_cast<double>(altitudeSum) * 0.5;
  return radiusM * c;
}

template <typename CosOf>
double speedOver(const FixSample& a, const FixSample& b, CosOf&& cosOf) {
  const FixSample& later = (b.time > a.time) ? b : a;
  const FixSample& earlier = (b.time > a.time) ? a : b;
  const double distanceM = distanceBetween(later, earlier, cosOf);
  const uint32_t intervalMs = later.time - earlier.time;
  // Two fixes at the same instant have no speed between them; without this
  // the division gives NaN or infinity, which would poison every later sum.
  if (intervalMs == 0) return 0.0;
  const double intervalS = static_cast<double>(intervalMs) * 0.001;
  const double speedMph = distanceM / intervalS * 3.6 * 0.621371192;
  if (speedMph < 2.0) return 0.0;  // under 2 mph reads as standing still
  return speedMph;
}

double plainCos(double radians) { return std::cos(radians); }

}  // namespace

double greatCircleDistance(const FixSample& a, const FixSample& b) { return distanceBetween(a, b, plainCos); }

double speedBetween(const FixSample& a, const FixSample& b) { return speedOver(a, b, plainCos); }

double FixHistory::CosineMemo::operator()(double radians) {
  for (const Entry& entry : entries) {
    if (entry.known && entry.radians == radians) return entry.cosine;
  }
  Entry& replaced = entries[next];
  next = 1 - next;
  replaced = Entry{true, radians, std::cos(radians)};
  return replaced.cosine;
}

void FixHistory::startWindow(std::array<FixSample, 3>& window, const FixSample& fix) {
  window[2] = fix;
  window[1] = fix;
  window[1].time = fix.time - 1000;
  window[0] = fix;
  window[0].time = fix.time - 2000;
  window[2].speed = 0.0f;
  window[1].speed = 0.0f;
  window[0].speed = 0.0f;
}

void FixHistory::shiftIn(std::array<FixSample, 3>& window, const FixSample& fix) {
  window[0] = window[1];
  window[1] = window[2];
  window[2] = fix;
  window[2].speed = narrowToFloat(speedOver(window[2], window[1], cosineMemo_));
}

bool FixHistory::followRefused(const FixSample& fix) {
  // Refused fixes that do not move on among themselves (a repeated time, or
  // one more corrupted fix) start the run of refusals again.
  if (!refusedRun_ || fix.time < refusedWindow_[2].time + kMinFixSpacingMs) {
    refusedRun_ = true;
    refusedSinceMs_ = fix.time;
    startWindow(refusedWindow_, fix);
    return false;
  }
  shiftIn(refusedWindow_, fix);
  return fix.time - refusedSinceMs_ >= kClockJumpMs;
}

RecordOutcome FixHistory::appendNewest() {
  // The lap parts set count directly; never trust it as an index.
  if (count < 0) count = 0;
  if (count >= kCapacity) return RecordOutcome::WindowOnly;
  samples[static_cast<size_t>(count)] = recentFixes[2];
  count += 1;
  return RecordOutcome::Recorded;
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
  FixSample fix;
  fix.latitude = latitude;
  fix.longitude = longitude;
  fix.altitude = narrowToFloat(altitude);
  fix.time = timeMs;

  if (firstFixPending_) {
    // The first fix starts from two still fixes at the same place one and
    // two seconds earlier, so its speed is 0.
    firstFixPending_ = false;
    dayOffsetMs_ = dayOffsetMs;
    startWindow(recentFixes, fix);
    return appendNewest();
  }

  if (timeMs < recentFixes[2].time + kMinFixSpacingMs) {
    if (timeMs >= recentFixes[2].time || !followRefused(fix)) return RecordOutcome::Refused;
    // The receiver's clock jumped back: its timeline is taken from the
    // refused fixes on, and the newest fix, ahead of it, goes.
    const FixSample stale = recentFixes[2];
    if (count > 0 && count <= kCapacity && samples[static_cast<size_t>(count - 1)].time == stale.time &&
        samples[static_cast<size_t>(count - 1)].latitude == stale.latitude &&
        samples[static_cast<size_t>(count - 1)].longitude == stale.longitude) {
      count -= 1;
    }
    recentFixes = refusedWindow_;
    refusedRun_ = false;
    timelineBreaks_ += 1;
    return appendNewest();
  }
  dayOffsetMs_ = dayOffsetMs;
  refusedRun_ = false;

  shiftIn(recentFixes, fix);
  if (recentFixes[2].time - recentFixes[1].time > kLongestGapMs) timelineBreaks_ += 1;
  return appendNewest();
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
