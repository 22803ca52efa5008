#include "slip/slip_fit.h"

#include <algorithm>
#include <cmath>

namespace corvantis::slip {
namespace {

constexpr double kZ95 = 1.959963984540054;
// The rounding of a slip's figures to the millisecond.
constexpr double kRoundingS = 0.0005;
// First motion this uncertain (95 % half-width) is not seen: the rollout
// figures carry the slip.
constexpr double kUnseenOnsetS = 0.1;

const std::vector<MarkDefinition> kMarks = {
    {"60ft", "60 ft", 18.288, 0.0, false},
    {"330ft", "330 ft", 100.584, 0.0, false},
    {"1/8", "1/8 mile", 201.168, 0.0, true},
    {"1000ft", "1000 ft", 304.8, 0.0, false},
    {"1/4", "1/4 mile", 402.336, 0.0, true},
    {"0-60", "0-60 mph", 0.0, 26.8224, false},
    {"0-100kph", "0-100 km/h", 0.0, 100.0 / 3.6, false},
};

// The model the onset is found with (motion_smoother.h).
const MotionModel kOnsetModel{};

// What the model's own 95 % intervals are widened by, so that over the
// launches family's choosing half they hold the truth for 95 % of marks in
// every group of fix rate and noise (bench/slip/slip_accuracy --calibrate).
// The model leaves out what receivers do beyond white noise and a slow
// bias (positions that follow one another, a held position let go, speed
// rounding), and more of that reaches a slip from positions alone.
struct Calibration {
  double onset;  // first motion's interval
  double path;   // a mark's own interval, given the clock start
};
constexpr Calibration kWithSpeeds{1.0, 1.3};
constexpr Calibration kPositionsAlone{1.5, 2.4};
// Trap speeds are given to 0.01 km/h or mph; a ± under this says nothing.
constexpr double kTrapFloorMps = 0.02;
// How fast the positions' offset changes while a receiver lets go of a held
// position: a few tenths of a metre over the first two or three seconds.
constexpr double kSettleDensity = 0.05;

// The path from a known onset: a prior of the acceleration at the onset as
// wide as the launch's, and of a few wanders of the positions' offset and
// of the acceleration the pair the whole run's fixes make most likely (gear
// changes want more than a steady pull; a receiver's bias may wander faster
// moving than the standing fixes showed, or a held position hide it).
MotionModel pathModel(const std::vector<MotionObservation>& observations, double t0S, const MotionModel& tuned) {
  MotionModel m = tuned;
  m.onsetAccelSd = 6.0;
  double best = -INFINITY;
  MotionModel chosen = m;
  const bool withPositions = std::any_of(observations.begin(), observations.end(),
                                         [](const MotionObservation& o) { return !std::isnan(o.alongM); });
  const std::vector<double> offsets = withPositions ? offsetDensities() : std::vector<double>{tuned.offsetDensity};
  for (const double offsetDensity : offsets) {
    m.offsetDensity = offsetDensity;
    for (const double jerkDensity : {10.0, 30.0, 100.0, 300.0, 1000.0, 3000.0}) {
      m.jerkDensity = jerkDensity;
      const double l = SmoothedMotion(observations, t0S, m).logLikelihood();
      if (l > best) {
        best = l;
        chosen = m;
      }
    }
  }
  return chosen;
}

// The first instant the smoothed path, moved by `sds` of its own standard
// deviations, reaches `target` (a distance, or a speed), searched epoch by
// epoch and, within each, in steps fine enough to see a speed that crosses
// and falls back between two fixes.
std::optional<double> reach(const SmoothedMotion& path, double target, bool speed, double sds = 0.0) {
  const std::vector<double>& t = path.times();
  auto value = [&](double at) {
    const double v = speed ? path.speedAt(at) : path.distanceAt(at);
    return sds == 0.0 ? v : v + sds * path.sdAt(at, speed ? 1 : 0);
  };
  constexpr int kSteps = 8;
  for (size_t k = 0; k + 1 < t.size(); ++k) {
    double lo = t[k];
    if (value(lo) >= target) return lo;
    for (int i = 1; i <= kSteps; ++i) {
      double hi = t[k] + (t[k + 1] - t[k]) * i / kSteps;
      if (value(hi) >= target) {
        for (int b = 0; b < 60 && hi - lo > 1e-7; ++b) {
          const double mid = 0.5 * (lo + hi);
          if (value(mid) >= target) {
            hi = mid;
          } else {
            lo = mid;
          }
        }
        return 0.5 * (lo + hi);
      }
      lo = hi;
    }
  }
  return std::nullopt;
}

// A gear change turns the acceleration at one instant, which the path's
// smooth wander can only round off: a speed reached next to one is found
// again with a jump of the acceleration allowed at each of several instants
// over the step the speed was reached in and the steps either side, weighed
// by how well each explains the fixes; taken where the fixes favour a jump
// over the smooth path. The instant it gives, and the half-width of the
// spread of instants across the jump's candidates (95 %).
struct TurnCrossing {
  double tS = 0.0;
  double halfS = 0.0;
};

constexpr double kGearJumpSd = 10.0;  // m/s^2: as much as the drive a gear change cuts
constexpr int kJumpPointsPerStep = 8;

std::optional<TurnCrossing> crossingAcrossTurn(const std::vector<MotionObservation>& observations,
                                               const SmoothedMotion& path, const MotionModel& model, double targetMps,
                                               double atS) {
  const std::vector<double>& t = path.times();
  size_t e = 0;
  while (e + 1 < t.size() && t[e + 1] <= atS) ++e;
  if (e + 1 >= t.size()) return std::nullopt;
  const size_t from = e == 0 ? 0 : e - 1, to = std::min(e + 2, t.size() - 1);
  struct Candidate {
    double crossingS, logLikelihood;
  };
  std::vector<Candidate> candidates;
  for (size_t k = from; k < to; ++k) {
    for (int i = 0; i < kJumpPointsPerStep; ++i) {
      MotionModel m = model;
      m.accelJumpAtS = t[k] + (t[k + 1] - t[k]) * (i + 0.5) / kJumpPointsPerStep;
      m.accelJumpSd = kGearJumpSd;
      const SmoothedMotion jumped(observations, path.onsetS(), m);
      if (!jumped.valid()) continue;
      const std::optional<double> at = reach(jumped, targetMps, true);
      if (at && std::isfinite(jumped.logLikelihood())) candidates.push_back({*at, jumped.logLikelihood()});
    }
  }
  if (candidates.empty()) return std::nullopt;
  // The jump, its instant equally likely anywhere over the three steps,
  // against the path without one: taken only where the fixes favour it.
  double best = -INFINITY;
  for (const Candidate& c : candidates) best = std::max(best, c.logLikelihood);
  double total = 0.0;
  for (const Candidate& c : candidates) total += std::exp(c.logLikelihood - best);
  if (!(best + std::log(total / static_cast<double>(candidates.size())) > path.logLikelihood())) return std::nullopt;
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.crossingS < b.crossingS; });
  std::vector<double> cdf;
  total = 0.0;
  for (const Candidate& c : candidates) {
    total += std::exp(c.logLikelihood - best);
    cdf.push_back(total);
  }
  auto quantile = [&](double q) {
    for (size_t i = 0; i < cdf.size(); ++i)
      if (cdf[i] >= q * total) return candidates[i].crossingS;
    return candidates.back().crossingS;
  };
  TurnCrossing out;
  out.tS = quantile(0.5);
  out.halfS = std::max(out.tS - quantile(0.025), quantile(0.975) - out.tS);
  return out;
}

double entry(const StateMatrix& m, int r, int c) { return m[static_cast<size_t>(r * kStates + c)]; }

// Where a mark was reached and how its instant moves with the path: the
// state index it is read from (distance 0, speed 1) and the rate it
// changes at there.
struct Crossing {
  double tS = 0.0;
  int epoch = -1;
  int component = 0;
  double rate = 0.0;
};

Crossing crossingAt(const SmoothedMotion& path, double tS, bool speed) {
  Crossing c;
  c.tS = tS;
  c.epoch = path.epochAt(tS);
  c.component = speed ? 1 : 0;
  if (c.epoch >= 0) {
    const StateVector& x = path.state(static_cast<size_t>(c.epoch));
    c.rate = speed ? x[2] : x[1];
  }
  return c;
}

// Variance of the instant of a crossing, or of the time between two
// (b after a), from the path's covariance: an error e in the crossed
// quantity moves its instant by -e / rate.
double crossingVariance(const SmoothedMotion& path, const Crossing& c) {
  if (c.epoch < 0 || !(std::fabs(c.rate) > 1e-6)) return INFINITY;
  const StateMatrix& p = path.covariance(static_cast<size_t>(c.epoch));
  return entry(p, c.component, c.component) / (c.rate * c.rate);
}

double spanVariance(const SmoothedMotion& path, const Crossing& a, const Crossing& b) {
  if (a.epoch < 0 || b.epoch < 0 || !(std::fabs(a.rate) > 1e-6) || !(std::fabs(b.rate) > 1e-6)) return INFINITY;
  const size_t i = static_cast<size_t>(std::min(a.epoch, b.epoch)), j = static_cast<size_t>(std::max(a.epoch, b.epoch));
  const StateMatrix cross = path.crossCovariance(i, j);
  const Crossing& first = a.epoch <= b.epoch ? a : b;
  const Crossing& second = a.epoch <= b.epoch ? b : a;
  const double covariance = entry(cross, first.component, second.component) / (first.rate * second.rate);
  const double v = crossingVariance(path, a) + crossingVariance(path, b) - 2.0 * covariance;
  return std::max(v, 0.0);
}

double halfWidth(double variance) { return kZ95 * std::sqrt(std::max(variance, 0.0)); }

double combine(double a, double b) { return std::sqrt(a * a + b * b); }

}  // namespace

const std::vector<MarkDefinition>& markDefinitions() { return kMarks; }

const MotionModel& slipModel() { return kOnsetModel; }

double noiseFromDifferences(const std::vector<double>& timesS, const std::vector<double>& values, int order) {
  // Binomial weights of the difference, and the variance they give white noise.
  std::vector<double> weights(static_cast<size_t>(order) + 1, 1.0);
  for (int k = 1; k <= order; ++k) weights[static_cast<size_t>(k)] = -weights[static_cast<size_t>(k - 1)] * (order - k + 1) / k;
  double gain = 0.0;
  for (const double w : weights) gain += w * w;
  std::vector<double> magnitudes;
  for (size_t i = static_cast<size_t>(order); i < values.size(); ++i) {
    // Only about even spacing: a gap turns the difference into motion.
    const double first = timesS[i - static_cast<size_t>(order) + 1] - timesS[i - static_cast<size_t>(order)];
    bool even = first > 0.0;
    for (size_t k = i - static_cast<size_t>(order) + 1; k <= i && even; ++k) {
      even = std::fabs((timesS[k] - timesS[k - 1]) - first) <= 0.1 * first;
    }
    if (!even) continue;
    double d = 0.0;
    for (int k = 0; k <= order; ++k) d += weights[static_cast<size_t>(k)] * values[i - static_cast<size_t>(k)];
    magnitudes.push_back(std::fabs(d));
  }
  if (magnitudes.empty()) return 0.0;
  const auto mid = magnitudes.begin() + static_cast<long>(magnitudes.size() / 2);
  std::nth_element(magnitudes.begin(), mid, magnitudes.end());
  return 1.4826 * *mid / std::sqrt(gain);
}

std::optional<LaunchFit> fitLaunch(const std::vector<MotionObservation>& observations, const FitWindow& window) {
  std::vector<MotionObservation> early;
  for (const MotionObservation& o : observations) {
    if (o.tS <= window.onsetDataEndS) early.push_back(o);
  }
  const bool withSpeeds = std::any_of(observations.begin(), observations.end(),
                                      [](const MotionObservation& o) { return !std::isnan(o.speedMps); });
  const Calibration& calibration = withSpeeds ? kWithSpeeds : kPositionsAlone;
  MotionModel onsetModel = kOnsetModel;
  if (window.heldPosition) onsetModel.settleDensity = kSettleDensity;
  if (!std::isnan(window.offsetSdM)) onsetModel.offsetSd = window.offsetSdM;
  const OnsetSearch search{window.onsetFromS, window.onsetToS, window.standingShowsWander};
  std::optional<OnsetEstimate> onset = estimateOnset(early, search, onsetModel);
  if (!onset) return std::nullopt;
  // A take-up that ended before the first fix after the onset leaves the
  // same fixes as a step half its length later: the car may have left rest
  // as early as the onset less the time to that fix.
  {
    double unseenS = 0.0;
    for (const MotionObservation& o : early) {
      if (o.tS > onset->t0S) {
        unseenS = o.tS - onset->t0S;
        break;
      }
    }
    const double t0 = onset->t0S;
    const double lo = std::min(onset->lowS, t0 - unseenS);
    onset->lowS = t0 - calibration.onset * (t0 - lo);
    onset->highS = t0 + calibration.onset * std::max(onset->highS - t0, 0.0);
  }
  const MotionModel model = pathModel(observations, onset->t0S, onset->model);

  // The path from the onset, its rollout and marks.
  const SmoothedMotion first(observations, onset->t0S, model);
  if (!first.valid()) return std::nullopt;
  const std::optional<double> rollout = reach(first, kRolloutM, false);
  if (!rollout) return std::nullopt;
  struct Found {
    std::optional<double> at, trapFrom;
    double turnHalfS = 0.0;  // of a speed reached across a gear change
  };
  std::vector<Found> found;
  std::vector<double> extra{*rollout};
  for (const MarkDefinition& d : kMarks) {
    Found f;
    const bool speed = d.speedMps > 0.0;
    f.at = reach(first, speed ? d.speedMps : d.distanceM, speed);
    if (speed && f.at) {
      if (const std::optional<TurnCrossing> turn = crossingAcrossTurn(observations, first, model, d.speedMps, *f.at)) {
        f.at = turn->tS;
        f.turnHalfS = turn->halfS;
      }
    }
    if (f.at && *f.at > first.endS()) f.at.reset();
    if (f.at) extra.push_back(*f.at);
    if (f.at && d.trap) {
      f.trapFrom = reach(first, d.distanceM - kTrapLengthM, false);
      if (f.trapFrom) extra.push_back(*f.trapFrom);
    }
    found.push_back(f);
  }
  if (!found.front().at) return std::nullopt;  // never covered 60 ft: not a run

  // The same path with epochs at those instants, for their covariances,
  // and the rollout's spread across the onset's interval.
  const SmoothedMotion path(observations, onset->t0S, model, extra);
  if (!path.valid()) return std::nullopt;
  double rolloutSpreadS = 0.0;
  for (const double t0 : {onset->lowS, onset->highS}) {
    const SmoothedMotion shifted(observations, t0, model);
    const std::optional<double> r = shifted.valid() ? reach(shifted, kRolloutM, false) : std::nullopt;
    if (r) rolloutSpreadS = std::max(rolloutSpreadS, std::fabs(*r - *rollout));
  }

  LaunchFit fit;
  fit.onset = *onset;
  fit.endS = path.endS();
  fit.rolloutS = *rollout;
  const Crossing oneFoot = crossingAt(path, *rollout, false);
  const double onsetHalf = onset->halfWidthS();
  const double k = calibration.path;
  fit.rolloutPlusMinusS = combine(k * halfWidth(crossingVariance(path, oneFoot)), rolloutSpreadS);
  fit.rolloutAfterOnsetPlusMinusS = combine(k * halfWidth(crossingVariance(path, oneFoot)), onsetHalf);
  fit.firstMotionSeen = onsetHalf <= kUnseenOnsetS;
  for (size_t m = 0; m < kMarks.size(); ++m) {
    const MarkDefinition& d = kMarks[m];
    MarkResult fromOnset, fromRollout;
    fromOnset.definition = fromRollout.definition = &d;
    if (found[m].at) {
      const bool speed = d.speedMps > 0.0;
      const Crossing mark = crossingAt(path, *found[m].at, speed);
      fromOnset.reached = fromRollout.reached = true;
      fromOnset.timeMs = (*found[m].at - onset->t0S) * 1000.0;
      fromRollout.timeMs = (*found[m].at - *rollout) * 1000.0;
      double ownHalf = k * halfWidth(crossingVariance(path, mark));
      double fromRolloutHalf = k * halfWidth(spanVariance(path, oneFoot, mark));
      if (speed) {
        // A speed the car holds near the mark (a gear change, the top of a
        // gear) may be first reached anywhere the speed's band allows: the
        // mark's interval runs from where the band's top first reaches it to
        // where its bottom does.
        const double sds = k * kZ95;
        const std::optional<double> early = reach(path, d.speedMps, true, sds);
        const std::optional<double> late = reach(path, d.speedMps, true, -sds);
        // Where the bottom never gets there, the fixes end the interval: the
        // path reached the speed before its last one.
        const double lateS = late ? std::min(*late, path.endS()) : path.endS();
        const double band = std::max({early ? *found[m].at - *early : 0.0, lateS - *found[m].at, found[m].turnHalfS});
        ownHalf = std::max(ownHalf, band);
        fromRolloutHalf = std::max(fromRolloutHalf, band);
      }
      fromOnset.plusMinusMs = (combine(ownHalf, onsetHalf) + kRoundingS) * 1000.0;
      fromRollout.plusMinusMs = (combine(fromRolloutHalf, rolloutSpreadS) + kRoundingS) * 1000.0;
      if (d.trap && found[m].trapFrom && *found[m].at > *found[m].trapFrom) {
        const double spanS = *found[m].at - *found[m].trapFrom;
        const double trap = kTrapLengthM / spanS;
        const double spanHalf = k * halfWidth(spanVariance(path, crossingAt(path, *found[m].trapFrom, false), mark));
        fromOnset.hasTrap = fromRollout.hasTrap = true;
        fromOnset.trapMps = fromRollout.trapMps = trap;
        fromOnset.trapPlusMinusMps = fromRollout.trapPlusMinusMps = std::max(trap * spanHalf / spanS, kTrapFloorMps);
      }
    }
    fit.fromFirstMotion.push_back(fromOnset);
    fit.fromRollout.push_back(fromRollout);
  }
  return fit;
}

}  // namespace corvantis::slip
