#include "slip/time_slip.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "slip/launch_fit.h"

namespace corvantis::slip {
namespace {

constexpr double kStandingMps = 0.5;     // under this a fix is standing
constexpr double kLaunchMps = 1.0;       // over this, after standing, the car has launched
constexpr double kMinStandingS = 1.0;    // standing this long before a launch counts
constexpr double kLaunchWithinS = 2.0;   // from the last standing fix to the launch fix
constexpr double kMaxGapS = 3.0;         // fixes further apart end a run
constexpr double kFitBeforeS = 2.0;      // the launch fit's window before the launch fix
constexpr double kFitAfterS = 1.2;       // and after it, fitting speeds
constexpr double kFitAfterPositionsS = 2.5;  // fitting distances
constexpr double kSmoothHalfWidthS = 0.25;
constexpr double kSmoothPositionsHalfWidthS = 0.75;
constexpr double kEarthRadiusM = 6371000.0;
constexpr double kDegToRad = 0.017453292519943295;

const std::vector<MarkDefinition> kMarks = {
    {"60ft", "60 ft", 18.288, 0.0, false},
    {"330ft", "330 ft", 100.584, 0.0, false},
    {"1/8", "1/8 mile", 201.168, 0.0, true},
    {"1000ft", "1000 ft", 304.8, 0.0, false},
    {"1/4", "1/4 mile", 402.336, 0.0, true},
    {"0-60", "0-60 mph", 0.0, 26.8224, false},
    {"0-100kph", "0-100 km/h", 0.0, 100.0 / 3.6, false},
};

// A fix on the slip's time axis (seconds from the log's first fix).
struct Point {
  double tS = 0.0;
  const MotionFix* fix = nullptr;
  double motionMps = NAN;  // for finding standing and launches
};

// Straight-line distance in metres between two positions, on a sphere of
// the Earth's mean radius plus the altitude (the program's own geodesy);
// over the few hundred metres of a strip a local flat frame is exact to far
// under a millimetre.
double distanceBetween(const MotionFix& a, const MotionFix& b) {
  const double radius = kEarthRadiusM + (a.altitudeM + b.altitudeM) * 0.5;
  const double meanLat = (a.latitudeDeg + b.latitudeDeg) * 0.5 * kDegToRad;
  const double north = (b.latitudeDeg - a.latitudeDeg) * kDegToRad * radius;
  const double east = (b.longitudeDeg - a.longitudeDeg) * kDegToRad * radius * std::cos(meanLat);
  return std::sqrt(north * north + east * east);
}

// Quadratic y = c0 + c1 (t - tc) + c2 (t - tc)^2 by least squares over the
// points [from, to]; answers c0 and c1 (a line through two points).
bool localFit(const std::vector<double>& t, const std::vector<double>& y, size_t from, size_t to, double tc,
              double& value, double& slope) {
  const size_t count = to - from + 1;
  if (count < 2) return false;
  const int n = count >= 3 ? 3 : 2;
  double m[3][3] = {}, r[3] = {};
  for (size_t j = from; j <= to; ++j) {
    const double d = t[j] - tc;
    const double basis[3] = {1.0, d, d * d};
    for (int a = 0; a < n; ++a) {
      r[a] += basis[a] * y[j];
      for (int b = 0; b < n; ++b) m[a][b] += basis[a] * basis[b];
    }
  }
  // Gaussian elimination (the system is small and well scaled: seconds).
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int row = c + 1; row < n; ++row) {
      if (std::fabs(m[row][c]) > std::fabs(m[p][c])) p = row;
    }
    if (std::fabs(m[p][c]) < 1e-15) return false;
    for (int k = 0; k < n; ++k) std::swap(m[c][k], m[p][k]);
    std::swap(r[c], r[p]);
    for (int row = c + 1; row < n; ++row) {
      const double f = m[row][c] / m[c][c];
      for (int k = c; k < n; ++k) m[row][k] -= f * m[c][k];
      r[row] -= f * r[c];
    }
  }
  double x[3] = {};
  for (int row = n - 1; row >= 0; --row) {
    double v = r[row];
    for (int k = row + 1; k < n; ++k) v -= m[row][k] * x[k];
    x[row] = v / m[row][row];
  }
  value = x[0];
  slope = x[1];
  return true;
}

// The neighbourhood of point k for smoothing: the points within halfWidthS,
// widened to at least one neighbour on each side where there is one.
void neighbourhood(const std::vector<double>& t, size_t k, double halfWidthS, size_t& from, size_t& to) {
  from = k;
  to = k;
  while (from > 0 && t[k] - t[from - 1] <= halfWidthS + 1e-9) --from;
  while (to + 1 < t.size() && t[to + 1] - t[k] <= halfWidthS + 1e-9) ++to;
  if (from == k && k > 0) --from;
  if (to == k && k + 1 < t.size()) ++to;
  if (to - from < 2) {  // at an end of the run: two on the one side
    if (from == k && to + 1 < t.size()) ++to;
    if (to == k && from > 0) --from;
  }
}

// The path of one launch: the fitted model up to the end of the fit window,
// then Hermite pieces through the knots.
class LaunchPath {
 public:
  LaunchPath(const LaunchModel& model, double modelEndS) : model_(model), modelEndS_(modelEndS) {}

  void addKnot(double tS, double sM, double vMps) {
    t_.push_back(tS);
    s_.push_back(sM);
    v_.push_back(vMps);
  }
  double endS() const { return t_.empty() ? modelEndS_ : t_.back(); }

  double distanceAt(double tS) const {
    if (tS <= modelEndS_ || t_.size() < 2) return model_.distanceAt(tS);
    const size_t i = interval(tS);
    return hermite(i, tS, false);
  }
  double speedAt(double tS) const {
    if (tS <= modelEndS_ || t_.size() < 2) return model_.speedAt(tS);
    return hermite(interval(tS), tS, true);
  }

  // First instant the distance (or the speed) reaches `target`.
  std::optional<double> reach(double target, bool speed) const {
    auto value = [&](double tS) { return speed ? speedAt(tS) : distanceAt(tS); };
    // Within the model: small steps, then bisection in the step that crosses.
    const double step = 0.02;
    double previous = model_.t0S;
    for (double tS = model_.t0S + step;; tS += step) {
      const double at = std::fmin(tS, modelEndS_);
      if (value(at) >= target) return bisect(value, previous, at, target);
      if (at >= modelEndS_) break;
      previous = at;
    }
    for (size_t i = 0; i + 1 < t_.size(); ++i) {
      const double a = speed ? v_[i] : s_[i];
      const double b = speed ? v_[i + 1] : s_[i + 1];
      if (a < target && b >= target) return bisect(value, t_[i], t_[i + 1], target);
    }
    return std::nullopt;
  }

 private:
  size_t interval(double tS) const {
    const auto it = std::upper_bound(t_.begin(), t_.end(), tS);
    size_t i = static_cast<size_t>(it - t_.begin());
    i = i == 0 ? 0 : i - 1;
    return std::min(i, t_.size() - 2);
  }
  double hermite(size_t i, double tS, bool derivative) const {
    const double h = t_[i + 1] - t_[i];
    const double u = (tS - t_[i]) / h;
    const double u2 = u * u, u3 = u2 * u;
    if (derivative) {
      return (6 * u2 - 6 * u) / h * s_[i] + (3 * u2 - 4 * u + 1) * v_[i] + (-6 * u2 + 6 * u) / h * s_[i + 1] +
             (3 * u2 - 2 * u) * v_[i + 1];
    }
    return (2 * u3 - 3 * u2 + 1) * s_[i] + (u3 - 2 * u2 + u) * h * v_[i] + (-2 * u3 + 3 * u2) * s_[i + 1] +
           (u3 - u2) * h * v_[i + 1];
  }
  template <typename F>
  static double bisect(const F& value, double lo, double hi, double target) {
    for (int k = 0; k < 60 && hi - lo > 1e-7; ++k) {
      const double mid = (lo + hi) * 0.5;
      if (value(mid) >= target) {
        hi = mid;
      } else {
        lo = mid;
      }
    }
    return hi;
  }

  LaunchModel model_;
  double modelEndS_;
  std::vector<double> t_, s_, v_;
};

// The speed used to find standing and launches at each point.
void motionSpeeds(std::vector<Point>& points) {
  for (size_t k = 0; k < points.size(); ++k) {
    const MotionFix& fix = *points[k].fix;
    if (fix.hasSpeed) {
      points[k].motionMps = fix.speedMps;
      continue;
    }
    if (!fix.hasPosition) continue;
    // Distance over the last second or more of fixes: long enough that the
    // rounding of the positions does not read as motion.
    for (size_t j = k; j-- > 0;) {
      const double dt = points[k].tS - points[j].tS;
      if (dt > kMaxGapS) break;
      if (!points[j].fix->hasPosition || dt < 1.0 - 1e-9) continue;
      points[k].motionMps = distanceBetween(*points[j].fix, fix) / dt;
      break;
    }
  }
}

struct RunSpan {
  size_t stillFrom = 0;  // first standing point of the stretch before the launch
  size_t lastStill = 0;  // last standing point
  size_t launch = 0;     // first point over the launch speed
  size_t end = 0;        // last point of the run
};

std::vector<RunSpan> findRuns(const std::vector<Point>& points) {
  std::vector<RunSpan> runs;
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t stillFrom = kNone, lastStill = kNone;
  for (size_t k = 0; k < points.size(); ++k) {
    if (k > 0 && points[k].tS - points[k - 1].tS > kMaxGapS) stillFrom = lastStill = kNone;
    const double v = points[k].motionMps;
    if (std::isnan(v)) continue;
    if (v < kStandingMps) {
      if (stillFrom == kNone) stillFrom = k;
      lastStill = k;
      continue;
    }
    const bool launched = v > kLaunchMps && stillFrom != kNone &&
                          points[lastStill].tS - points[stillFrom].tS >= kMinStandingS - 1e-9 &&
                          points[k].tS - points[lastStill].tS <= kLaunchWithinS + 1e-9;
    if (!launched) {
      if (lastStill != kNone && points[k].tS - points[lastStill].tS > kLaunchWithinS + 1e-9) stillFrom = lastStill = kNone;
      continue;
    }
    RunSpan run{stillFrom, lastStill, k, k};
    size_t i = k + 1;
    for (; i < points.size(); ++i) {
      if (points[i].tS - points[i - 1].tS > kMaxGapS) break;
      if (!std::isnan(points[i].motionMps) && points[i].motionMps < kStandingMps) break;
    }
    run.end = i < points.size() && points[i].tS - points[i - 1].tS <= kMaxGapS ? i : i - 1;
    runs.push_back(run);
    stillFrom = lastStill = kNone;
    k = run.end > k ? run.end - 1 : k;  // the stop may begin the next standing stretch
  }
  return runs;
}

std::optional<TimeSlip> slipOf(const std::vector<Point>& points, const RunSpan& run, double baseMs,
                               const SlipOptions& options) {
  const double tMove = points[run.launch].tS;
  const double tStill = points[run.lastStill].tS;
  const double windowStart = std::fmax(std::fmin(tMove - kFitBeforeS, tStill - 1.5), points[run.stillFrom].tS);
  size_t first = run.stillFrom;
  while (points[first].tS < windowStart - 1e-9) ++first;

  // The source: speeds over ground when most points of the run have one.
  int withSpeed = 0, withPosition = 0, total = 0;
  for (size_t k = first; k <= run.end; ++k, ++total) {
    withSpeed += points[k].fix->hasSpeed ? 1 : 0;
    withPosition += points[k].fix->hasPosition ? 1 : 0;
  }
  const bool doppler = withSpeed * 5 >= total * 4;
  if (!doppler && withPosition * 5 < total * 4) return std::nullopt;

  // Standing position: mean of the standing fixes of the last two seconds
  // that end a second before the launch fix (the car may already be
  // creeping in the last of them).
  MotionFix standing;
  if (!doppler) {
    double lat = 0.0, lon = 0.0, alt = 0.0;
    int count = 0;
    for (size_t k = run.stillFrom; k <= run.lastStill; ++k) {
      const double tS = points[k].tS;
      if (!points[k].fix->hasPosition || tS > tMove - 1.0 || tS < tMove - 3.0) continue;
      lat += points[k].fix->latitudeDeg;
      lon += points[k].fix->longitudeDeg;
      alt += points[k].fix->altitudeM;
      ++count;
    }
    if (count == 0) {
      standing = *points[run.stillFrom].fix;
    } else {
      standing.latitudeDeg = lat / count;
      standing.longitudeDeg = lon / count;
      standing.altitudeM = alt / count;
    }
  }

  // The values of the run's points: distance from the standing position, or speed.
  std::vector<double> ts, values;
  for (size_t k = first; k <= run.end; ++k) {
    const MotionFix& fix = *points[k].fix;
    if (doppler ? !fix.hasSpeed : !fix.hasPosition) continue;
    ts.push_back(points[k].tS);
    values.push_back(doppler ? fix.speedMps : distanceBetween(standing, fix));
  }
  if (ts.size() < 4) return std::nullopt;

  // The launch fit over the window.
  // (The launch fix itself may lack the value: the window starts at the next
  // one that has it, and a run without two such fixes after it has no fit.)
  size_t launchAt = 0;
  while (launchAt < ts.size() && ts[launchAt] < tMove) ++launchAt;
  if (launchAt == 0 || launchAt + 2 >= ts.size()) return std::nullopt;
  const double windowEndS = tMove + (doppler ? kFitAfterS : kFitAfterPositionsS);
  size_t windowEnd = launchAt;
  while (windowEnd + 1 < ts.size() && (ts[windowEnd + 1] <= windowEndS + 1e-9 || windowEnd < launchAt + 2)) {
    ++windowEnd;
  }
  std::vector<LaunchSample> samples;
  for (size_t j = 0; j <= windowEnd; ++j) samples.push_back({ts[j], values[j]});
  int movingSamples = 0;
  for (size_t j = launchAt; j <= windowEnd; ++j) ++movingSamples;
  const double spacing = (ts[windowEnd] - ts[0]) / static_cast<double>(windowEnd);
  FitLimits limits;
  // A standing fix can fall in the first tenths of a take-up (under 0.5 m/s).
  limits.t0MinS = std::fmax(ts[0], tStill - 1.0);
  limits.t0MaxS = tMove;
  // A take-up of a few tenths can show only in fixes this close together,
  // and through the noise of speeds only with several fixes inside it; how
  // far the fit follows them depends on their noise (launch_fit.h).
  limits.fitRamp = spacing <= 0.25;
  limits.rampShowsThroughNoise = spacing <= 0.15;
  limits.fitTrend = doppler && movingSamples >= 6;  // see the header, step 3
  const std::optional<LaunchModel> model =
      fitLaunch(samples, doppler ? FitQuantity::Speed : FitQuantity::Distance, limits);
  if (!model) return std::nullopt;

  // The path: the model over the window, knots through the fixes after it.
  LaunchPath path(*model, ts[windowEnd]);
  path.addKnot(ts[windowEnd], model->distanceAt(ts[windowEnd]), model->speedAt(ts[windowEnd]));
  if (doppler) {
    // Speeds, smoothed only where enough of them lie close together, and
    // the acceleration at each (central differences; the model's at the
    // window's end). Between two fixes the speed is taken as the cubic with
    // those ends, so the distance gained is h (v0 + v1) / 2 + h^2 (a0 - a1) / 12:
    // the trapezoid misses the bend of the speed, which at one fix a second
    // is worth a few hundredths of a second.
    std::vector<double> speeds(ts.size(), 0.0), accels(ts.size(), 0.0);
    speeds[windowEnd] = model->speedAt(ts[windowEnd]);
    for (size_t j = windowEnd + 1; j < ts.size(); ++j) {
      size_t from = 0, to = 0;
      neighbourhood(ts, j, kSmoothHalfWidthS, from, to);
      double value = values[j], slope = 0.0;
      if (to - from + 1 >= 5) localFit(ts, values, from, to, ts[j], value, slope);
      speeds[j] = value;
    }
    accels[windowEnd] = (model->speedAt(ts[windowEnd] + 0.001) - model->speedAt(ts[windowEnd] - 0.001)) / 0.002;
    for (size_t j = windowEnd + 1; j < ts.size(); ++j) {
      const size_t next = j + 1 < ts.size() ? j + 1 : j;
      accels[j] = (speeds[next] - speeds[j - 1]) / (ts[next] - ts[j - 1]);
    }
    double distance = model->distanceAt(ts[windowEnd]);
    for (size_t j = windowEnd + 1; j < ts.size(); ++j) {
      const double h = ts[j] - ts[j - 1];
      distance += h * (speeds[j - 1] + speeds[j]) * 0.5 + h * h * (accels[j - 1] - accels[j]) / 12.0;
      path.addKnot(ts[j], distance, speeds[j]);
    }
  } else {
    for (size_t j = windowEnd + 1; j < ts.size(); ++j) {
      size_t from = 0, to = 0;
      neighbourhood(ts, j, kSmoothPositionsHalfWidthS, from, to);
      double value = values[j], slope = 0.0;
      if (!localFit(ts, values, from, to, ts[j], value, slope)) continue;
      path.addKnot(ts[j], value - model->offsetM, slope);
    }
  }

  TimeSlip slip;
  slip.source = doppler ? SpeedSource::SpeedOverGround : SpeedSource::Positions;
  slip.launchMs = baseMs + model->t0S * 1000.0;
  slip.endMs = baseMs + points[run.end].tS * 1000.0;
  slip.rollout = options.rollout;
  double clockStartS = model->t0S;
  if (options.rollout) {
    const std::optional<double> oneFoot = path.reach(kRolloutM, false);
    if (!oneFoot) return std::nullopt;
    clockStartS = *oneFoot;
    slip.rolloutMs = (*oneFoot - model->t0S) * 1000.0;
  }
  slip.clockStartMs = baseMs + clockStartS * 1000.0;
  for (const MarkDefinition& definition : kMarks) {
    MarkResult mark;
    mark.definition = &definition;
    const bool speedMark = definition.speedMps > 0.0;
    const std::optional<double> at = path.reach(speedMark ? definition.speedMps : definition.distanceM, speedMark);
    if (at && *at <= path.endS()) {
      mark.reached = true;
      mark.timeMs = (*at - clockStartS) * 1000.0;
      if (definition.trap) {
        const std::optional<double> trapStart = path.reach(definition.distanceM - kTrapLengthM, false);
        if (trapStart && *at > *trapStart) {
          mark.hasTrap = true;
          mark.trapMps = kTrapLengthM / (*at - *trapStart);
        }
      }
    }
    slip.marks.push_back(mark);
  }
  if (!slip.marks.front().reached) return std::nullopt;  // not a run: it never covered 60 ft
  return slip;
}

}  // namespace

const std::vector<MarkDefinition>& markDefinitions() { return kMarks; }

const MarkResult* TimeSlip::mark(const std::string& key) const {
  for (const MarkResult& m : marks) {
    if (m.definition != nullptr && key == m.definition->key) return &m;
  }
  return nullptr;
}

std::vector<TimeSlip> timeSlips(const std::vector<MotionFix>& fixes, const SlipOptions& options) {
  std::vector<TimeSlip> slips;
  if (fixes.empty()) return slips;
  const double baseMs = fixes.front().timeMs;
  std::vector<Point> points;
  points.reserve(fixes.size());
  for (const MotionFix& fix : fixes) {
    Point p;
    p.tS = (fix.timeMs - baseMs) / 1000.0;
    p.fix = &fix;
    points.push_back(p);
  }
  motionSpeeds(points);
  for (const RunSpan& run : findRuns(points)) {
    if (std::optional<TimeSlip> slip = slipOf(points, run, baseMs, options)) slips.push_back(std::move(*slip));
  }
  return slips;
}

}  // namespace corvantis::slip
