#include "review/plot_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

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
// A kink has three samples either side of it at the least, so that both
// sides have a curve of their own: one odd position at a trace's end (a
// receiver's last jump) must not pass for a step of acceleration.
constexpr size_t kKinkMinSamplesPerSide = 3;
constexpr size_t kKinkMinSamples = 2 * kKinkMinSamplesPerSide;
// A kink must buy this much log-likelihood (its instant and its step are
// two values more to fit): chosen with the half window on simulated drives.
constexpr double kKinkPenalty = 6.0;
// No car speeds up or brakes harder than this (g).
constexpr double kMaxCarG = 2.5;
// A position further than this many sigmas of the distances' noise from
// the best curve of its window (and further than kOutlierMinM) is a
// receiver's jump, not the car: the window is fitted again without it.
constexpr double kOutlierSigmas = 6.0;
constexpr double kOutlierMinM = 0.3;
// The distances' noise is never taken below a millimetre: an exact trace
// would otherwise let float rounding pick kinks.
constexpr double kMinDistanceNoiseM2 = 1e-6;

// Fix time at which the speed passes b between samples a and c, in single
// precision (speed[a] <= b < speed[c]).
uint32_t crossingTime(float b, const TraceSample& a, const TraceSample& c) {
  const float r = (b - a.speed) / (c.speed - a.speed);
  const float offsetMs = r * static_cast<float>(c.time - a.time);
  return a.time + static_cast<uint32_t>(std::max(0, wholeOf(static_cast<double>(offsetMs))));
}

}  // namespace

namespace {

// The window of samples about sample j: those within halfWindowMs, then
// more on the nearer side until three are taken (the ends of the trace, a
// slow receiver).
struct SlopeWindow {
  size_t first = 0, last = 0;
};
SlopeWindow slopeWindow(const std::vector<TraceSample>& trace, size_t n, size_t j, int64_t halfWindowMs) {
  const auto offsetMs = [&](size_t k) {
    return static_cast<int64_t>(trace[k].time) - static_cast<int64_t>(trace[j].time);
  };
  size_t first = j;
  size_t last = j;
  while (first > 0 && j - first < kSlopeMaxSamplesPerSide && std::llabs(offsetMs(first - 1)) <= halfWindowMs) --first;
  while (last + 1 < n && last - j < kSlopeMaxSamplesPerSide && std::llabs(offsetMs(last + 1)) <= halfWindowMs) ++last;
  while (last - first < 2 && (first > 0 || last + 1 < n)) {
    const bool before = first > 0 && (last + 1 >= n || std::llabs(offsetMs(first - 1)) <= std::llabs(offsetMs(last + 1)));
    if (before) --first;
    else ++last;
  }
  return {first, last};
}

// Least squares through a window's distances: d = c0 + c1 t + c2 t^2, and
// with a kink c3 (t - tau)^2 after tau (the acceleration steps by 2 c3 at
// tau, the speed stays whole). t in seconds and d in metres from the
// window's own sample: small numbers, well conditioned.
struct WindowFit {
  std::array<double, 4> c{};
  double squaredResidualsM2 = 0.0;
};
class WindowLeastSquares {
 public:
  // The window's samples but those `skip` marks (none when nullptr).
  void load(const std::vector<TraceSample>& trace, SlopeWindow window, size_t j,
            const std::vector<bool>* skip = nullptr) {
    t_.clear();
    d_.clear();
    plain_ = Sums{};
    for (size_t k = window.first; k <= window.last; ++k) {
      if (skip != nullptr && (*skip)[k]) continue;
      const double t = (static_cast<double>(trace[k].time) - static_cast<double>(trace[j].time)) / 1000.0;
      const double d = static_cast<double>(trace[k].distance) - static_cast<double>(trace[j].distance);
      t_.push_back(t);
      d_.push_back(d);
      const double x[3] = {1.0, t, t * t};
      for (int r = 0; r < 3; ++r) {
        for (int q = 0; q < 3; ++q) plain_.xx[r][q] += x[r] * x[q];
        plain_.xd[r] += x[r] * d;
      }
      plain_.dd += d * d;
    }
  }
  size_t size() const { return t_.size(); }
  double time(size_t i) const { return t_[i]; }
  // Sample i's distance less the curve's (tau NaN: no kink).
  double residualM(size_t i, const WindowFit& fit, double tau) const {
    const double after = t_[i] > tau ? t_[i] - tau : 0.0;
    return d_[i] - (fit.c[0] + fit.c[1] * t_[i] + fit.c[2] * t_[i] * t_[i] + fit.c[3] * after * after);
  }

  // Without a kink (tau NaN) or with one; nullopt when the window's instants
  // cannot decide the curve (fewer than the terms, or damaged values).
  std::optional<WindowFit> fit(double tau) const {
    Sums sums = plain_;
    int terms = 3;
    if (!std::isnan(tau)) {
      terms = 4;
      for (size_t i = 0; i < t_.size(); ++i) {
        if (!(t_[i] > tau)) continue;
        const double after = (t_[i] - tau) * (t_[i] - tau);
        const double x[4] = {1.0, t_[i], t_[i] * t_[i], after};
        for (int r = 0; r < 4; ++r) sums.xx[r][3] += x[r] * after;
        sums.xd[3] += after * d_[i];
      }
      for (int q = 0; q < 3; ++q) sums.xx[3][q] = sums.xx[q][3];
    }
    // Gauss-Jordan with partial pivoting on the normal equations; a pivot
    // tiny against the sums means too few distinct instants.
    double a[4][5] = {};
    double scale = 0.0;
    for (int r = 0; r < terms; ++r) {
      for (int q = 0; q < terms; ++q) a[r][q] = sums.xx[r][q];
      a[r][4] = sums.xd[r];
      scale = std::max(scale, a[r][r]);
    }
    for (int col = 0; col < terms; ++col) {
      int pivot = col;
      for (int r = col + 1; r < terms; ++r) {
        if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
      }
      if (!(std::fabs(a[pivot][col]) > 1e-9 * scale)) return std::nullopt;
      for (int q = 0; q < 5; ++q) std::swap(a[col][q], a[pivot][q]);
      for (int r = 0; r < terms; ++r) {
        if (r == col) continue;
        const double f = a[r][col] / a[col][col];
        for (int q = col; q < 5; ++q) a[r][q] -= f * a[col][q];
      }
    }
    WindowFit out;
    double explained = 0.0;
    for (int r = 0; r < terms; ++r) {
      out.c[static_cast<size_t>(r)] = a[r][4] / a[r][r];
      explained += out.c[static_cast<size_t>(r)] * sums.xd[r];
    }
    // The residuals' squares as d.d less what the curve explains; never
    // below 0 for the rounding of an exact fit.
    out.squaredResidualsM2 = std::max(0.0, sums.dd - explained);
    if (!std::isfinite(out.squaredResidualsM2)) return std::nullopt;
    return out;
  }

 private:
  struct Sums {
    double xx[4][4] = {};  // the terms' products, summed over the window
    double xd[4] = {};     // each term times the distance
    double dd = 0.0;
  };
  std::vector<double> t_, d_;
  Sums plain_;
};

// The window's acceleration at its own sample: every model weighs by its
// likelihood, a kink's less its penalty, and the acceleration is their
// weighted mean (the sample's own instant taken half from each side of a
// kink that falls on it). Also the likeliest model, to judge positions by.
struct WeighedModels {
  double metresPerS2 = 0.0;
  WindowFit best;
  double bestTau = std::numeric_limits<double>::quiet_NaN();
};
std::optional<WeighedModels> weighModels(const WindowLeastSquares& lsq, double noiseVarianceM2) {
  const auto plain = lsq.fit(NAN);
  if (!plain) return std::nullopt;
  WeighedModels out;
  out.best = *plain;
  double top = -plain->squaredResidualsM2 / (2.0 * noiseVarianceM2);
  // The best curve positions are judged by is one a car can drive; when
  // there is none, the plain one.
  const auto drivable = [](double metresPerS2) { return std::fabs(metresPerS2) <= kMaxCarG * 9.8; };
  double topDrivable = drivable(2.0 * plain->c[2]) ? top : -std::numeric_limits<double>::infinity();
  struct Weighed {
    double logWeight, metresPerS2;
  };
  std::vector<Weighed> models{{top, 2.0 * plain->c[2]}};
  if (lsq.size() >= kKinkMinSamples) {
    for (size_t k = kKinkMinSamplesPerSide - 1; k + kKinkMinSamplesPerSide < lsq.size(); ++k) {
      for (const double tau : {lsq.time(k), 0.5 * (lsq.time(k) + lsq.time(k + 1))}) {
        const auto kinked = lsq.fit(tau);
        if (!kinked) continue;
        const double step = tau < 0.0 ? 2.0 * kinked->c[3] : tau == 0.0 ? kinked->c[3] : 0.0;
        const double logWeight = -kinked->squaredResidualsM2 / (2.0 * noiseVarianceM2) - kKinkPenalty;
        models.push_back({logWeight, 2.0 * kinked->c[2] + step});
        top = std::max(top, logWeight);
        if (logWeight > topDrivable && drivable(2.0 * kinked->c[2]) && drivable(2.0 * (kinked->c[2] + kinked->c[3]))) {
          topDrivable = logWeight;
          out.best = *kinked;
          out.bestTau = tau;
        }
      }
    }
  }
  double weights = 0.0, weighted = 0.0;
  for (const Weighed& m : models) {
    const double w = std::exp(m.logWeight - top);
    weights += w;
    weighted += w * m.metresPerS2;
  }
  out.metresPerS2 = weighted / weights;
  return out;
}

}  // namespace

std::vector<double> traceAccelerationMilliG(const std::vector<TraceSample>& trace, size_t n, int64_t halfWindowMs) {
  n = std::min(n, trace.size());
  std::vector<double> out(n, std::numeric_limits<double>::quiet_NaN());
  std::vector<SlopeWindow> windows(n);
  for (size_t j = 0; j < n; ++j) windows[j] = slopeWindow(trace, n, j, halfWindowMs);

  // The noise of the distances: the median spread the plain curve leaves
  // in the windows (a change of acceleration inside a few of them does not
  // move a median).
  WindowLeastSquares lsq;
  std::vector<double> spreads;
  for (size_t j = 0; j < n; ++j) {
    lsq.load(trace, windows[j], j);
    if (lsq.size() < kKinkMinSamples) continue;
    if (const auto plain = lsq.fit(NAN)) spreads.push_back(plain->squaredResidualsM2 / static_cast<double>(lsq.size() - 3));
  }
  double noiseVarianceM2 = kMinDistanceNoiseM2;
  if (!spreads.empty()) {
    std::nth_element(spreads.begin(), spreads.begin() + static_cast<ptrdiff_t>(spreads.size() / 2), spreads.end());
    noiseVarianceM2 = std::max(noiseVarianceM2, spreads[spreads.size() / 2]);
  }

  std::vector<bool> jumped(n, false);  // samples the window at hand leaves out
  std::vector<size_t> indices;
  for (size_t j = 0; j < n; ++j) {
    lsq.load(trace, windows[j], j);
    std::optional<WeighedModels> models = weighModels(lsq, noiseVarianceM2);
    if (!models) continue;
    // Positions far off the best curve are left out, and the window fitted
    // again without them.
    indices.clear();
    const double limitM = std::max(kOutlierMinM, kOutlierSigmas * std::sqrt(noiseVarianceM2));
    size_t i = 0;
    for (size_t k = windows[j].first; k <= windows[j].last; ++k, ++i) {
      if (std::fabs(lsq.residualM(i, models->best, models->bestTau)) > limitM) indices.push_back(k);
    }
    if (!indices.empty()) {
      for (const size_t k : indices) jumped[k] = true;
      lsq.load(trace, windows[j], j, &jumped);
      for (const size_t k : indices) jumped[k] = false;
      models = weighModels(lsq, noiseVarianceM2);
      if (!models) continue;
    }
    out[j] = models->metresPerS2 * kMetresPerS2ToMilliG;
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
  out.accelerationsMilliG.assign(runs.size(), {});
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
    out.accelerationsMilliG[i] = traceAccelerationMilliG(s, n);
    for (const double milliG : out.accelerationsMilliG[i]) accelRange = std::max(accelRange, wholeOf(std::fabs(milliG)));
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

std::vector<CurvePoint> curvePoints(const RunRecord& run, uint32_t originMs, const CurveScale& scale,
                                    const std::vector<double>* accelerationMilliG) {
  const std::vector<TraceSample>& s = run.trace;
  const size_t n = std::min(s.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
  const int range = std::max(scale.range, 1);
  const double usedHeight = scale.usedHeightPx;

  std::vector<double> computed;
  if (scale.kind == PlotKind::Acceleration && (accelerationMilliG == nullptr || accelerationMilliG->size() != n)) {
    computed = traceAccelerationMilliG(s, n);
    accelerationMilliG = &computed;
  }

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
        const double milliG = (*accelerationMilliG)[j];
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
