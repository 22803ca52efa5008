#include "slip/time_slip.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "slip/local_frame.h"
#include "slip/low_speed.h"
#include "slip/speed_check.h"

namespace corvantis::slip {
namespace {

constexpr double kStandingMps = 0.5;     // under this a fix is standing
constexpr double kLaunchMps = 1.0;       // over this, after standing, the car has launched
constexpr double kMinStandingS = 1.0;    // standing this long before a launch counts
constexpr double kLaunchWithinS = 2.0;   // from the last standing fix to the launch fix
constexpr double kMaxGapS = 3.0;         // fixes further apart end a run
constexpr double kStandsAgainS = 1.0;    // standing this long ends a run
// The fixes around a launch that decide its onset: from this long before
// the launch fix (a creep may have begun well before it) ...
constexpr double kWindowBeforeS = 4.0;
constexpr double kOnsetBeforeS = 2.5;
// ... to this long after it.
constexpr double kOnsetDataAfterS = 2.5;
// Standing fixes this close to the launch fix may already be creeping: the
// standing position is taken from those before.
constexpr double kStandingEndsBeforeS = 0.5;
// Beyond this distance the straight line from the standing position is the
// distance; nearer, the distance along the launch's direction.
constexpr double kAlongTrackM = 10.0;
// Standing positions all one show that the receiver's offset did not wander
// only where they are this fine: coarser, a wander hides in their rounding.
constexpr double kWanderShowsBelowM = 0.01;
// The launch's direction: from the standing position to the fixes this far out.
constexpr double kDirectionFromM = 20.0, kDirectionToM = 80.0;

// A fix on the slip's time axis (seconds from the log's first fix).
struct Point {
  double tS = 0.0;
  const MotionFix* fix = nullptr;
  double motionMps = NAN;  // for finding standing and launches
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
    // The velocity over the last second or more of fixes, fitted to every
    // position in it (a straight line in time, east and north): long enough
    // that the rounding of the positions does not read as motion, and from
    // all the fixes, so that a receiver's scatter from fix to fix (tenths of
    // a metre at 25 a second) does not read as a launch either.
    size_t from = k;
    for (size_t j = k; j-- > 0;) {
      const double dt = points[k].tS - points[j].tS;
      if (dt > kMaxGapS || points[j + 1].tS - points[j].tS > kMaxGapS) break;
      if (!points[j].fix->hasPosition) continue;
      from = j;
      if (dt >= 1.0 - 1e-9) break;
    }
    if (from == k || points[k].tS - points[from].tS < 1.0 - 1e-9) continue;
    const LocalFrame frame(fix.latitudeDeg, fix.longitudeDeg, fix.altitudeM);
    double n = 0.0, st = 0.0, stt = 0.0, se = 0.0, sn = 0.0, ste = 0.0, stn = 0.0;
    for (size_t j = from; j <= k; ++j) {
      if (!points[j].fix->hasPosition) continue;
      const EastNorth p = frame.toLocal(*points[j].fix);
      const double t = points[j].tS - points[k].tS;
      n += 1.0;
      st += t;
      stt += t * t;
      se += p.eastM;
      sn += p.northM;
      ste += t * p.eastM;
      stn += t * p.northM;
    }
    const double spread = stt - st * st / n;
    points[k].motionMps = std::hypot(ste - st * se / n, stn - st * sn / n) / spread;
  }
}

// Whether the car stands again from point i: it reads as standing there and
// for a second after (a speed from positions lags the car by up to a
// second as it pulls away, and must not end the run it is starting).
bool standsFrom(const std::vector<Point>& points, size_t i) {
  for (size_t j = i; j < points.size() && points[j].tS - points[i].tS <= kStandsAgainS + 1e-9; ++j) {
    if (j > i && points[j].tS - points[j - 1].tS > kMaxGapS) break;
    const double v = points[j].motionMps;
    if (std::isnan(v)) {
      if (j == i) return false;
      continue;
    }
    if (v >= kStandingMps) return false;
  }
  return true;
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
      if (standsFrom(points, i)) break;
    }
    run.end = i < points.size() && points[i].tS - points[i - 1].tS <= kMaxGapS ? i : i - 1;
    runs.push_back(run);
    stillFrom = lastStill = kNone;
    k = run.end > k ? run.end - 1 : k;  // the stop may begin the next standing stretch
  }
  return runs;
}

// Distances along the strip from the standing position of one run.
class StripDistance {
 public:
  // False when the run has no standing position.
  bool locate(const std::vector<Point>& points, size_t first, const RunSpan& run) {
    const double tMove = points[run.launch].tS;
    double lat = 0.0, lon = 0.0, alt = 0.0;
    int count = 0;
    for (size_t k = first; k <= run.lastStill; ++k) {
      const MotionFix& fix = *points[k].fix;
      if (!fix.hasPosition || points[k].tS > tMove - kStandingEndsBeforeS) continue;
      lat += fix.latitudeDeg;
      lon += fix.longitudeDeg;
      alt += fix.altitudeM;
      ++count;
    }
    if (count == 0) {
      for (size_t k = first; k <= run.launch && count == 0; ++k) {
        if (!points[k].fix->hasPosition) continue;
        lat = points[k].fix->latitudeDeg;
        lon = points[k].fix->longitudeDeg;
        alt = points[k].fix->altitudeM;
        count = 1;
      }
    }
    if (count == 0) return false;
    frame_ = LocalFrame(lat / count, lon / count, alt / count);
    // The launch's direction: towards the fixes a few tens of metres out,
    // or the furthest one of a short run.
    double east = 0.0, north = 0.0, furthest = 0.0;
    EastNorth far{};
    int out = 0;
    for (size_t k = run.launch; k <= run.end; ++k) {
      if (!points[k].fix->hasPosition) continue;
      const EastNorth p = frame_.toLocal(*points[k].fix);
      const double d = std::hypot(p.eastM, p.northM);
      if (d >= kDirectionFromM && d <= kDirectionToM) {
        east += p.eastM / d;
        north += p.northM / d;
        ++out;
      }
      if (d > furthest) {
        furthest = d;
        far = p;
      }
    }
    if (out == 0 && furthest > 0.0) {
      east = far.eastM;
      north = far.northM;
    }
    const double norm = std::hypot(east, north);
    if (norm > 0.0) {
      directionEast_ = east / norm;
      directionNorth_ = north / norm;
    }
    return true;
  }

  double of(const MotionFix& fix) const {
    const EastNorth p = frame_.toLocal(fix);
    const double line = std::hypot(p.eastM, p.northM);
    if (line > kAlongTrackM) return line;
    return p.eastM * directionEast_ + p.northM * directionNorth_;
  }

 private:
  LocalFrame frame_;
  double directionEast_ = 0.0, directionNorth_ = 0.0;
};

double varianceOf(double noiseSd, double resolution) {
  return std::max({noiseSd * noiseSd, resolution * resolution / 12.0, 1e-12});
}

// The slip of one run; points[k] stands for fixes[k].
std::optional<TimeSlip> slipOf(const std::vector<MotionFix>& fixes, const std::vector<Point>& points,
                               const RunSpan& run, double baseMs, const SlipOptions& options, int droppedSpeeds) {
  const double tMove = points[run.launch].tS;
  size_t first = run.stillFrom;
  while (points[first].tS < tMove - kWindowBeforeS - 1e-9) ++first;

  // The source: speeds over ground when most points of the run have one
  // that passed the checks, and they agree with the positions.
  int withSpeed = 0, withPosition = 0, total = 0;
  for (size_t k = first; k <= run.end; ++k, ++total) {
    withSpeed += fixes[k].hasSpeed ? 1 : 0;
    withPosition += fixes[k].hasPosition ? 1 : 0;
  }
  bool doppler = withSpeed * 5 >= total * 4;
  const bool disagreed = doppler && !speedsAgreeWithPositions(fixes, run.launch, run.end);
  if (disagreed) doppler = false;
  if (!doppler && withPosition * 5 < total * 4) return std::nullopt;

  StripDistance strip;
  const bool located = strip.locate(points, first, run);
  if (!doppler && !located) return std::nullopt;

  // Each fix's observations, and the noise of each kind read from the
  // moving part of the run.
  std::vector<double> speedTimes, speeds, alongTimes, alongs;
  std::vector<MotionObservation> observations;
  double speedResolution = 0.0, positionResolution = 0.0;
  for (size_t k = first; k <= run.end; ++k) {
    const MotionFix& fix = fixes[k];
    MotionObservation o;
    o.tS = points[k].tS;
    if (doppler && fix.hasSpeed) {
      o.speedMps = fix.speedMps;
      o.speedStepMps = fix.speedResolutionMps;
      speedResolution = std::max(speedResolution, fix.speedResolutionMps);
      if (k >= run.launch) {
        speedTimes.push_back(o.tS);
        speeds.push_back(o.speedMps);
      }
    }
    if (located && fix.hasPosition) {
      o.alongM = strip.of(fix);
      positionResolution = std::max(positionResolution, fix.positionResolutionM);
      if (k >= run.launch) {
        alongTimes.push_back(o.tS);
        alongs.push_back(o.alongM);
      }
    }
    if (!std::isnan(o.speedMps) || !std::isnan(o.alongM)) observations.push_back(o);
  }
  const double speedVar = varianceOf(noiseFromDifferences(speedTimes, speeds, 3), speedResolution);
  const double alongVar = varianceOf(noiseFromDifferences(alongTimes, alongs, 4), positionResolution);
  for (MotionObservation& o : observations) {
    o.speedVar = speedVar;
    o.alongVar = alongVar;
  }
  // Near standstill, readings as the receiver keeps them at or above 0, as
  // its standing readings show.
  if (doppler) weighLowSpeeds(observations, standingSpeedForm(observations, tMove - kStandingEndsBeforeS));

  // Standing positions all one while the moving ones scatter: the receiver
  // held its position.
  double standingLo = INFINITY, standingHi = -INFINITY;
  for (const MotionObservation& o : observations) {
    if (o.tS > tMove - kStandingEndsBeforeS || std::isnan(o.alongM)) continue;
    standingLo = std::min(standingLo, o.alongM);
    standingHi = std::max(standingHi, o.alongM);
  }
  FitWindow window;
  const bool stood = standingHi >= standingLo;
  const bool stoodAsOne = stood && standingHi - standingLo <= positionResolution;
  window.heldPosition = stoodAsOne && alongVar > 4.0 * positionResolution * positionResolution;
  window.standingShowsWander =
      stood && (!stoodAsOne || (positionResolution <= kWanderShowsBelowM && !window.heldPosition));
  window.onsetFromS = std::max(observations.front().tS, tMove - kOnsetBeforeS);
  window.onsetToS = tMove;
  window.onsetDataEndS = tMove + kOnsetDataAfterS;
  const std::optional<LaunchFit> fit = fitLaunch(observations, window);
  if (!fit) return std::nullopt;
  TimeSlip slip = slipFromFit(*fit, baseMs, options);
  slip.endMs = baseMs + points[run.end].tS * 1000.0;
  slip.source = doppler ? SpeedSource::SpeedOverGround : SpeedSource::Positions;
  slip.speedsDisagreed = disagreed;
  slip.droppedSpeeds = droppedSpeeds;
  return slip;
}

}  // namespace

const MarkResult* TimeSlip::mark(const std::string& key) const {
  for (const MarkResult& m : marks) {
    if (m.definition != nullptr && key == m.definition->key) return &m;
  }
  return nullptr;
}

TimeSlip slipFromFit(const LaunchFit& fit, double baseMs, const SlipOptions& options) {
  TimeSlip slip;
  slip.launchMs = baseMs + fit.onset.t0S * 1000.0;
  slip.launchPlusMinusMs = fit.onset.halfWidthS() * 1000.0;
  slip.rollout = options.rollout;
  slip.rolloutMs = (fit.rolloutS - fit.onset.t0S) * 1000.0;
  slip.rolloutPlusMinusMs = fit.rolloutAfterOnsetPlusMinusS * 1000.0;
  slip.clockStartMs = baseMs + (options.rollout ? fit.rolloutS : fit.onset.t0S) * 1000.0;
  slip.endMs = baseMs + fit.endS * 1000.0;
  slip.firstMotionSeen = fit.firstMotionSeen;
  slip.marks = options.rollout ? fit.fromRollout : fit.fromFirstMotion;
  slip.rolloutMarks = fit.fromRollout;
  return slip;
}

std::vector<TimeSlip> timeSlips(const std::vector<MotionFix>& fixes, const SlipOptions& options) {
  std::vector<TimeSlip> slips;
  if (fixes.empty()) return slips;
  std::vector<MotionFix> checked = fixes;
  dropImpossibleSpeeds(checked);
  const double baseMs = checked.front().timeMs;
  std::vector<Point> points;
  points.reserve(checked.size());
  for (const MotionFix& fix : checked) {
    Point p;
    p.tS = (fix.timeMs - baseMs) / 1000.0;
    p.fix = &fix;
    points.push_back(p);
  }
  motionSpeeds(points);
  for (const RunSpan& run : findRuns(points)) {
    int dropped = 0;
    for (size_t k = run.stillFrom; k <= run.end; ++k) dropped += fixes[k].hasSpeed && !checked[k].hasSpeed ? 1 : 0;
    if (std::optional<TimeSlip> slip = slipOf(checked, points, run, baseMs, options, dropped)) {
      slips.push_back(std::move(*slip));
    }
  }
  return slips;
}

}  // namespace corvantis::slip
