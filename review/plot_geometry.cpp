#include "review/plot_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/units.h"

namespace corvantis {

namespace {

// Pixels and axis values are held to +-1e6: far beyond any real run, yet far
// inside int, so that a garbled sample in a file can neither overflow an
// int nor make the tick loops run for long.
constexpr double kValueLimit = 1.0e6;
// The longest time axis: one day. A trace whose times run backwards or
// jump (a damaged file) would otherwise give a span of billions of ms.
constexpr int64_t kMaxSpanMs = 86400000;

// trunc() of a value into the limits above; NaN counts as 0.
int wholeOf(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::trunc(std::clamp(value, -kValueLimit, kValueLimit)));
}

// m/s^2 to thousandths of g (the plot's g is 9.8 m/s^2).
constexpr double kMetresPerS2ToMilliG = 0.1020408163265306 * 1000.0;
// A trace of damaged times could hold any number of samples at one instant:
// a window takes at most this many on each side.
constexpr size_t kSlopeMaxSamplesPerSide = 64;

// Fix time at which the speed passes b between samples a and c, in single
// precision (speed[a] <= b < speed[c]).
uint32_t crossingTime(float b, const TraceSample& a, const TraceSample& c) {
  const float r = (b - a.speed) / (c.speed - a.speed);
  const float offsetMs = r * static_cast<float>(c.time - a.time);
  return a.time + static_cast<uint32_t>(std::max(0, wholeOf(static_cast<double>(offsetMs))));
}

}  // namespace

std::vector<double> traceAccelerationMilliG(const std::vector<TraceSample>& trace, size_t n, int64_t halfWindowMs) {
  n = std::min(n, trace.size());
  std::vector<double> out(n, std::numeric_limits<double>::quiet_NaN());
  for (size_t j = 0; j < n; ++j) {
    const auto offsetMs = [&](size_t k) {
      return static_cast<int64_t>(trace[k].time) - static_cast<int64_t>(trace[j].time);
    };
    // The samples within the window, then more on the nearer side until
    // three are taken (the ends of the trace, a slow receiver).
    size_t first = j;
    size_t last = j;
    while (first > 0 && j - first < kSlopeMaxSamplesPerSide && std::llabs(offsetMs(first - 1)) <= halfWindowMs) --first;
    while (last + 1 < n && last - j < kSlopeMaxSamplesPerSide && std::llabs(offsetMs(last + 1)) <= halfWindowMs) ++last;
    while (last - first < 2 && (first > 0 || last + 1 < n)) {
      const bool before = first > 0 && (last + 1 >= n || std::llabs(offsetMs(first - 1)) <= std::llabs(offsetMs(last + 1)));
      if (before) --first;
      else ++last;
    }
    // Least-squares quadratic d = c0 + c1 t + c2 t^2 through the window's
    // distances, t in seconds and d in metres from sample j (small numbers,
    // well conditioned); the acceleration is 2 c2.
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, r0 = 0, r1 = 0, r2 = 0;
    for (size_t k = first; k <= last; ++k) {
      const double t = static_cast<double>(offsetMs(k)) / 1000.0;
      const double d = static_cast<double>(trace[k].distance) - static_cast<double>(trace[j].distance);
      const double t2 = t * t;
      s0 += 1.0;
      s1 += t;
      s2 += t2;
      s3 += t2 * t;
      s4 += t2 * t2;
      r0 += d;
      r1 += d * t;
      r2 += d * t2;
    }
    // Cramer's rule for c2 of [[s0 s1 s2] [s1 s2 s3] [s2 s3 s4]] c = r.
    const double det = s0 * (s2 * s4 - s3 * s3) - s1 * (s1 * s4 - s3 * s2) + s2 * (s1 * s3 - s2 * s2);
    const double detC2 = s0 * (s2 * r2 - s3 * r1) - s1 * (s1 * r2 - s2 * r1) + r0 * (s1 * s3 - s2 * s2);
    // Fewer than three distinct instants leave no curve to fit: a (tiny)
    // determinant against the size of its terms says so.
    if (!(std::fabs(det) > 1e-9 * s0 * s2 * s4)) continue;
    const double metresPerS2 = 2.0 * detC2 / det;
    out[j] = metresPerS2 * kMetresPerS2ToMilliG;
  }
  return out;
}

PlotFrame plotFrame(bool landscape) {
  PlotFrame frame;
  frame.height = landscape ? 140 : 170;
  frame.clientWidth = landscape ? 320 : 240;
  return frame;
}

PlotRanges computePlotRanges(int32_t key, const std::vector<const RunRecord*>& runs, int32_t units) {
  const bool metric = units == units::kMetric;
  // The from-speed of an acceleration run starts its clock; distance runs
  // start at the launch (speed leaving 0).
  const float b = key > 0 ? static_cast<float>(static_cast<uint32_t>(key) >> 16) : 0.0f;

  PlotRanges out;
  out.originsMs.assign(runs.size(), 0);
  int64_t spanMs = 0;
  int maxDistance = 0;
  int accelRange = 0;
  int maxSpeed = 0;
  bool first = true;
  for (size_t i = 0; i < runs.size(); ++i) {
    const RunRecord& run = *runs[i];
    const std::vector<TraceSample>& s = run.trace;
    const size_t n = std::min(s.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
    if (n == 0) continue;  // listed, but there is nothing to draw
    if (first) maxSpeed = wholeOf(s[0].speed);
    first = false;
    uint32_t origin = s[0].time;
    maxSpeed = std::max(maxSpeed, wholeOf(s[0].speed));
    for (size_t j = 1; j < n; ++j) {
      maxSpeed = std::max(maxSpeed, wholeOf(s[j].speed));
      if (s[j - 1].speed <= b && s[j].speed > b) origin = crossingTime(b, s[j - 1], s[j]);
    }
    // The axis holds the acceleration as plotted, in either direction.
    for (const double milliG : traceAccelerationMilliG(s, n)) accelRange = std::max(accelRange, wholeOf(std::fabs(milliG)));
    if (key == 0) origin = run.startTime;  // a lap's clock starts at its line crossing
    out.originsMs[i] = origin;
    spanMs = std::max(spanMs, static_cast<int64_t>(s[n - 1].time) - static_cast<int64_t>(origin));
    maxDistance = std::max(maxDistance, wholeOf(s[n - 1].distance));
  }

  if (!metric) maxDistance = wholeOf(static_cast<double>(maxDistance) * units::kMetresToYards);
  out.maxDistance = std::max(10, 10 * ((maxDistance + 11) / 10));
  spanMs = std::clamp<int64_t>(spanMs, 0, kMaxSpanMs);
  out.spanMs = static_cast<int>(std::max<int64_t>(1000, 1000 * ((spanMs + 999) / 1000)));
  out.accelRange = std::max(400, 400 * ((accelRange + 199) / 200));
  if (metric) maxSpeed = wholeOf(static_cast<double>(maxSpeed) * units::kMphToKph);
  out.maxSpeed = std::max(5, 5 * ((maxSpeed + 6) / 5));
  return out;
}

AxisTicks layOutTimeTicks(int& spanMs, int widthPx) {
  constexpr int kMinGapPx = 10;
  spanMs = std::max(spanMs, 1000);
  int stepCandidate = 1000;
  for (;;) {
    const int n = std::max(1, spanMs / stepCandidate);
    const int step = spanMs / n;
    if (n * step < spanMs) {
      spanMs += 5;  // stretch until the ticks divide the span evenly
      continue;
    }
    if (widthPx / n >= kMinGapPx || n == 1) {
      const int px = widthPx / n;
      return AxisTicks{n, step, px, widthPx - px * n};
    }
    stepCandidate += 1000;
  }
}

AxisTicks layOutValueTicks(int& maxValue, int unit, int heightPx) {
  constexpr int kMinGapPx = 12;
  unit = std::max(unit, 1);
  maxValue = std::max(maxValue, unit);
  int stepCandidate = unit;
  for (;;) {
    const int c = std::max(1, maxValue / stepCandidate);
    const int m = maxValue / c;
    if (c * m < maxValue) {
      maxValue += unit;
      continue;
    }
    if (heightPx / c >= kMinGapPx || c == 1) {
      const int py = heightPx / c;
      return AxisTicks{c, m, py, heightPx - py * c};
    }
    stepCandidate += unit;
  }
}

std::string timeTickLabel(int64_t atMs, bool wholeSeconds) {
  char text[32];
  if (wholeSeconds) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(atMs / 1000));
  } else {
    std::snprintf(text, sizeof text, "%lld.%.3lld", static_cast<long long>(atMs / 1000),
                  static_cast<long long>(atMs % 1000));
  }
  return text;
}

std::string accelerationLabel(int milliG) {
  const int magnitude = std::abs(milliG);
  char text[32];
  std::snprintf(text, sizeof text, milliG >= 0 ? "%i.%i" : "-%i.%i", magnitude / 1000, (magnitude % 1000) / 100);
  return text;
}

std::vector<CurvePoint> curvePoints(const RunRecord& run, uint32_t originMs, const CurveScale& scale) {
  const std::vector<TraceSample>& s = run.trace;
  const size_t n = std::min(s.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
  const int range = std::max(scale.range, 1);
  const double usedHeight = scale.usedHeightPx;

  std::vector<double> accelerationMilliG;
  if (scale.kind == PlotKind::Acceleration) accelerationMilliG = traceAccelerationMilliG(s, n);

  // Every sample's point before the cut at the time axis; y may be negative.
  std::vector<CurvePoint> raw;
  raw.reserve(n);
  for (size_t j = 0; j < n; ++j) {
    // Single precision, as the time axis was always drawn.
    const float along = (static_cast<float>(s[j].time) - static_cast<float>(originMs)) /
                        static_cast<float>(std::max(scale.spanMs, 1)) * static_cast<float>(scale.usedWidthPx);
    const int x = std::max(0, wholeOf(static_cast<double>(along)));
    int y = 0;
    switch (scale.kind) {
      case PlotKind::Speed: {
        double speed = s[j].speed;
        if (scale.metric) speed = speed * units::kMphToKph;
        y = wholeOf(speed * usedHeight / range);
        break;
      }
      case PlotKind::Distance: {
        double distance = s[j].distance;
        if (!scale.metric) distance = distance * units::kMetresToYards;
        y = wholeOf(distance * usedHeight / range);
        break;
      }
      case PlotKind::Acceleration: {
        const double milliG = accelerationMilliG[j];
        if (std::isnan(milliG)) continue;  // no time within its window: no acceleration
        // Zero acceleration at mid-height; braking goes below it.
        y = wholeOf(milliG * usedHeight / range) + scale.heightPx / 2;
        break;
      }
    }
    raw.push_back({x, y});
  }

  std::vector<CurvePoint> out;
  out.reserve(raw.size());
  for (size_t j = 0; j < raw.size(); ++j) {
    CurvePoint p = raw[j];
    if (p.y < 0) {
      if (j + 1 == raw.size()) break;  // the curve ends below the axis
      const CurvePoint next = raw[j + 1];
      if (next.y >= 0) {
        // Move to where the segment to the next point crosses the axis.
        const double t = (0.0 - p.y) / static_cast<double>(next.y - p.y);
        p.x += wholeOf(t * static_cast<double>(next.x - p.x));
      }
      // A segment wholly below the axis runs along it instead.
      p.y = 0;
    }
    out.push_back(p);
  }
  return out;
}

}  // namespace corvantis
