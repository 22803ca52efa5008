#include "timing/run_timing.h"

#include <cmath>
#include <limits>

#include "common/units.h"

namespace corvantis {

namespace {

// A run time worked out in wide signed arithmetic: the fix-clock sums of the
// formulas can fall below zero (a start found after the end, a crossing found
// before the launch), which unsigned arithmetic would turn into a huge time.
// Such a time, and a time of 0 (the empty-slot marker of the store), mean
// nothing and are not given.
std::optional<uint32_t> positiveTime(int64_t timeMs) {
  if (timeMs <= 0 || timeMs > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(timeMs);
}

// Entries of samples in use; count is plain shared data that the lap parts
// also set, so it is never trusted as an index.
int capturedCount(const FixHistory& history) {
  if (history.count < 0) return 0;
  return history.count > FixHistory::kCapacity ? FixHistory::kCapacity : history.count;
}

// d: the last index j (1..n-1) at which the speed rose from at or below
// fromMph to above it; 1 when it never did.
int lastUpwardCrossing(const FixHistory& history, float fromMph) {
  int d = 1;
  const int n = capturedCount(history);
  for (int j = 1; j < n; ++j) {
    if (history.samples[j - 1].speed <= fromMph && history.samples[j].speed > fromMph) d = j;
  }
  return d;
}

}  // namespace

uint32_t timeAtSpeed(float speedMph, const FixSample& a, const FixSample& b) {
  if (speedMph <= a.speed) return a.time;
  if (speedMph >= b.speed) return b.time;
  // Both speed differences in single precision, widened; the ratio and the
  // product in double; the interval as an unsigned difference.
  const double above = static_cast<double>(static_cast<float>(speedMph - a.speed));
  const double span = static_cast<double>(static_cast<float>(b.speed - a.speed));
  const double r = above / span;
  const double intervalMs = static_cast<double>(static_cast<uint32_t>(b.time - a.time));
  // 0 < r <= 1 here, so the truncated product fits the interval.
  return a.time + static_cast<uint32_t>(std::trunc(r * intervalMs));
}

void applyLaunchCorrection(FixHistory& history, int d) {
  // The extrapolation needs fixes d - 1, d and d + 1.
  if (d < 1 || d + 1 >= capturedCount(history)) return;
  FixSample* s = history.samples.data();
  if (s[d - 1].speed != 0.0f) return;
  const float dt1 = static_cast<float>(s[d].time - s[d - 1].time) * 0.001f;
  const float dt2 = static_cast<float>(s[d + 1].time - s[d].time) * 0.001f;
  if (!(dt2 > 0.0f)) return;  // recorded fixes are always 100 ms apart; loaded data may not be
  const float e = s[d].speed - (dt1 / dt2) * (s[d + 1].speed - s[d].speed);
  s[d - 1].speed = (e <= 0.0f) ? e : 0.0f;
}

std::optional<uint32_t> accelerationRunTime(FixHistory& history, float fromMph, float toMph) {
  const int n = capturedCount(history);
  if (n < 2) return std::nullopt;
  const FixSample* s = history.samples.data();
  int d = 1;
  int c = n - 2;
  for (int j = 1; j < n; ++j) {
    if (s[j - 1].speed <= fromMph && s[j].speed > fromMph) {
      d = j;
    } else if (s[j - 1].speed <= toMph && s[j].speed > toMph) {
      c = j - 1;
    }
  }
  applyLaunchCorrection(history, d);
  const uint32_t start = timeAtSpeed(fromMph, s[d - 1], s[d]);
  const uint32_t end = timeAtSpeed(toMph, s[c], s[c + 1]);
  return positiveTime(static_cast<int64_t>(end) - static_cast<int64_t>(start));
}

DistanceRunResult distanceRun(FixHistory& history, double targetM) {
  using Outcome = DistanceRunResult::Outcome;
  const int n = capturedCount(history);
  if (n < 2) return {Outcome::NotReached, 0};
  const FixSample* s = history.samples.data();
  int d = 1;
  int e = -1;  // no crossing segment yet
  double r = 0.0;
  double q = 0.0;
  for (int j = 0; j + 1 < n; ++j) {
    if (s[j].speed <= 0.0f && s[j + 1].speed > 0.0f) {
      d = j + 1;
    } else {
      // Straight-line distances from the last standing fix, in this argument
      // order (the haversine is not bit-symmetric in its arguments).
      const double d0 = greatCircleDistance(s[j], s[d - 1]);
      const double d1 = greatCircleDistance(s[j + 1], s[d - 1]);
      if (d0 <= targetM && d1 > targetM) {
        e = j;
        r = d0;
        q = d1;
      }
    }
  }
  // Without a segment that crosses the target there is no finish instant to
  // interpolate (the only candidate would be past the last captured fix).
  if (e < 0) return {Outcome::NotReached, 0};

  applyLaunchCorrection(history, d);
  const double ve = static_cast<double>(s[e].speed) * units::kMphToKph;
  const double rem = targetM - r;
  const double f = rem / (q - r);
  const double vx =
      f * static_cast<double>(static_cast<float>(s[e + 1].speed - s[e].speed)) * units::kMphToKph + ve;
  const uint32_t launch = timeAtSpeed(0.0f, s[d - 1], s[d]);
  const double avg =
      (vx * units::kKphToMetresPerSecond + ve * units::kKphToMetresPerSecond) * 0.5;
  // A mean speed that is not forward gives no finish instant.
  if (!(avg > 0.0)) return {Outcome::NoTime, 0};
  const double restMs = 1000.0 * rem / avg;
  if (!(restMs < static_cast<double>(std::numeric_limits<int32_t>::max()))) return {Outcome::NoTime, 0};
  const int64_t finish = static_cast<int64_t>(s[e].time) + static_cast<int64_t>(std::trunc(restMs));
  const std::optional<uint32_t> timeMs = positiveTime(finish - static_cast<int64_t>(launch));
  if (!timeMs) return {Outcome::NoTime, 0};
  return {Outcome::Timed, *timeMs};
}

std::optional<uint32_t> distanceRunTime(FixHistory& history, double targetM) {
  const DistanceRunResult result = distanceRun(history, targetM);
  if (result.outcome != DistanceRunResult::Outcome::Timed) return std::nullopt;
  return result.timeMs;
}

std::optional<uint32_t> timeSinceLaunch(FixHistory& history, float fromMph, uint32_t stopFixTimeMs) {
  if (capturedCount(history) < 2) return std::nullopt;
  const int d = lastUpwardCrossing(history, fromMph);
  applyLaunchCorrection(history, d);
  const uint32_t start = timeAtSpeed(fromMph, history.samples[d - 1], history.samples[d]);
  return positiveTime(static_cast<int64_t>(stopFixTimeMs) - static_cast<int64_t>(start));
}

}  // namespace corvantis
