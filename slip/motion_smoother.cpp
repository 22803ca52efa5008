#include "slip/motion_smoother.h"

#include <algorithm>
#include <numbers>

#include "slip/low_speed.h"

namespace corvantis::slip {
namespace {

constexpr int kS = 0, kV = 1, kA = 2, kJ = 3, kC = 4;
constexpr size_t kSz = 0, kVz = 1, kAz = 2, kJz = 3, kCz = 4;  // the same, as indices
// An observation this many standard deviations from its prediction shows
// a turn of the acceleration (a gear change, wheelspin); the step before it
// is taken again with its wander this many times larger.
constexpr double kTurnSurprise = 4.0;
constexpr double kTurnBoost = 100.0;

double& at(StateMatrix& m, int r, int c) { return m[static_cast<size_t>(r * kStates + c)]; }
double at(const StateMatrix& m, int r, int c) { return m[static_cast<size_t>(r * kStates + c)]; }

StateMatrix multiply(const StateMatrix& a, const StateMatrix& b) {
  StateMatrix out{};
  for (int r = 0; r < kStates; ++r)
    for (int k = 0; k < kStates; ++k) {
      const double x = at(a, r, k);
      if (x == 0.0) continue;
      for (int c = 0; c < kStates; ++c) at(out, r, c) += x * at(b, k, c);
    }
  return out;
}

StateMatrix transpose(const StateMatrix& a) {
  StateMatrix out{};
  for (int r = 0; r < kStates; ++r)
    for (int c = 0; c < kStates; ++c) at(out, c, r) = at(a, r, c);
  return out;
}

void symmetrize(StateMatrix& m) {
  for (int r = 0; r < kStates; ++r)
    for (int c = r + 1; c < kStates; ++c) at(m, r, c) = at(m, c, r) = 0.5 * (at(m, r, c) + at(m, c, r));
}

// What drives the motion over one step: white jerk (the acceleration a
// random walk) and white snap (the jerk one), as densities.
struct Drive {
  double jerk = 0.0;  // m^2/s^5
  double snap = 0.0;  // m^2/s^7
};

// The transition of the moving states over d seconds: distance, speed and
// acceleration follow the jerk exactly.
StateMatrix transitionMatrix(double d) {
  StateMatrix f{};
  for (int i = 0; i < kStates; ++i) at(f, i, i) = 1.0;
  const double d2 = d * d;
  at(f, kS, kV) = d;
  at(f, kS, kA) = d2 / 2.0;
  at(f, kS, kJ) = d2 * d / 6.0;
  at(f, kV, kA) = d;
  at(f, kV, kJ) = d2 / 2.0;
  at(f, kA, kJ) = d;
  return f;
}

// Moves the moving state over d seconds: x = F x, P = F P F' + Q. F is the
// identity plus a strictly upper triangular chain, so both products are
// written out; Q is the integrated white jerk and snap: entry (i, k) of
// white noise of density q entering derivative `top` is
// q d^(pi+pk+1) / (pi! pk! (pi+pk+1)), pi = top - i.
void predictMoving(StateVector& x, StateMatrix& p, double d, const Drive& drive, double offsetDensity) {
  const double d2 = d * d, d3 = d2 * d;
  const double f01 = d, f02 = d2 / 2.0, f03 = d3 / 6.0, f12 = d, f13 = d2 / 2.0, f23 = d;
  x[kSz] += f01 * x[kVz] + f02 * x[kAz] + f03 * x[kJz];
  x[kVz] += f12 * x[kAz] + f13 * x[kJz];
  x[kAz] += f23 * x[kJz];
  // M = F P (rows of F combine rows of P).
  StateMatrix m = p;
  for (int c = 0; c < kStates; ++c) {
    at(m, kS, c) += f01 * at(p, kV, c) + f02 * at(p, kA, c) + f03 * at(p, kJ, c);
    at(m, kV, c) += f12 * at(p, kA, c) + f13 * at(p, kJ, c);
    at(m, kA, c) += f23 * at(p, kJ, c);
  }
  // P = M F' (columns of F' combine columns of M).
  p = m;
  for (int r = 0; r < kStates; ++r) {
    at(p, r, kS) += f01 * at(m, r, kV) + f02 * at(m, r, kA) + f03 * at(m, r, kJ);
    at(p, r, kV) += f12 * at(m, r, kA) + f13 * at(m, r, kJ);
    at(p, r, kA) += f23 * at(m, r, kJ);
  }
  const double d4 = d3 * d, d5 = d4 * d, d6 = d5 * d, d7 = d6 * d;
  if (drive.jerk > 0.0) {
    const double q = drive.jerk;
    at(p, kS, kS) += q * d5 / 20.0;
    at(p, kS, kV) += q * d4 / 8.0;
    at(p, kV, kS) += q * d4 / 8.0;
    at(p, kS, kA) += q * d3 / 6.0;
    at(p, kA, kS) += q * d3 / 6.0;
    at(p, kV, kV) += q * d3 / 3.0;
    at(p, kV, kA) += q * d2 / 2.0;
    at(p, kA, kV) += q * d2 / 2.0;
    at(p, kA, kA) += q * d;
  }
  if (drive.snap > 0.0) {
    const double q = drive.snap;
    const double e[4][4] = {{d7 / 252.0, d6 / 72.0, d5 / 30.0, d4 / 24.0},
                            {d6 / 72.0, d5 / 20.0, d4 / 8.0, d3 / 6.0},
                            {d5 / 30.0, d4 / 8.0, d3 / 3.0, d2 / 2.0},
                            {d4 / 24.0, d3 / 6.0, d2 / 2.0, d}};
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 4; ++k) at(p, i, k) += q * e[i][k];
  }
  at(p, kC, kC) += offsetDensity * d;
  symmetrize(p);
}

// The offset's wander over a moving step [fromS, toS], as a mean density:
// faster while a receiver lets go of a held position after the onset.
double offsetDensityOver(const MotionModel& m, double t0S, double fromS, double toS) {
  if (m.settleDensity <= 0.0 || !(toS > fromS)) return m.offsetDensity;
  const double settling = std::max(0.0, std::min(toS, t0S + m.settleS) - std::max(fromS, t0S));
  return m.offsetDensity + m.settleDensity * settling / (toS - fromS);
}

// The state moved by what an observation with prediction error variance s
// and covariance column ph with the state told: its mean by shift (in the
// observed quantity) and its variance along ph shrunk by the share shrink.
// The covariance update is the symmetric rank-one downdate, its diagonal
// held at or above 0 against rounding when an observation is nearly exact.
void applyObservation(StateVector& x, StateMatrix& p, const StateVector& ph, double s, double shift, double shrink) {
  // The gain once: this runs for every fix of every candidate onset.
  StateVector gain{};
  for (size_t k = 0; k < gain.size(); ++k) gain[k] = ph[k] / s;
  for (size_t k = 0; k < gain.size(); ++k) x[k] += gain[k] * shift;
  for (int a = 0; a < kStates; ++a) {
    const double scaled = shrink * ph[static_cast<size_t>(a)];
    for (int b = a; b < kStates; ++b) {
      const double v = at(p, a, b) - scaled * gain[static_cast<size_t>(b)];
      at(p, a, b) = at(p, b, a) = a == b ? std::max(v, 0.0) : v;
    }
  }
}

// A scalar observation of y = x[i] (+ x[j] when j >= 0) with noise of
// variance r: updates the state and answers its log-likelihood.
double update(StateVector& x, StateMatrix& p, int i, int j, double y, double r) {
  StateVector ph{};
  double predicted = x[static_cast<size_t>(i)];
  for (int k = 0; k < kStates; ++k) ph[static_cast<size_t>(k)] = at(p, k, i);
  if (j >= 0) {
    predicted += x[static_cast<size_t>(j)];
    for (int k = 0; k < kStates; ++k) ph[static_cast<size_t>(k)] += at(p, k, j);
  }
  const double s = r + ph[static_cast<size_t>(i)] + (j >= 0 ? ph[static_cast<size_t>(j)] : 0.0);
  if (!(s > 0.0)) return 0.0;
  const double innovation = y - predicted;
  applyObservation(x, p, ph, s, innovation, 1.0);
  return -0.5 * (innovation * innovation / s + std::log(2.0 * std::numbers::pi * s));
}

// log P(z > a) for a standard normal z, also where erfc underflows.
double logUpperTail(double a) {
  if (a == INFINITY) return -INFINITY;
  if (a < 35.0) return std::log(0.5 * std::erfc(a / std::numbers::sqrt2));
  return -0.5 * a * a - std::log(a) - 0.5 * std::log(2.0 * std::numbers::pi) + std::log1p(-1.0 / (a * a));
}

double logDensity(double z) { return -0.5 * z * z - 0.5 * std::log(2.0 * std::numbers::pi); }

// A standard normal z held between a and b: the log of the chance of that,
// and z's mean and variance there. Exact far into either tail, where the
// reading is most surprising.
struct Held {
  double logChance = 0.0, mean = 0.0, variance = 1.0;
};

Held heldBetween(double a, double b) {
  // Held far inside both ends: the bounds say nothing the normal did not.
  constexpr double kFarInside = 8.5;
  if (a < -kFarInside && b > kFarInside) return Held{};
  if (b <= 0.0) {
    Held h = heldBetween(-b, -a);
    h.mean = -h.mean;
    return h;
  }
  Held h;
  if (a >= 0.0) {
    const double upper = logUpperTail(a);
    h.logChance = upper + std::log1p(-std::exp(logUpperTail(b) - upper));
  } else {
    h.logChance = std::log(0.5 * (std::erf(b / std::numbers::sqrt2) - std::erf(a / std::numbers::sqrt2)));
  }
  if (!std::isfinite(h.logChance)) return Held{-INFINITY, 0.0, 0.0};
  const double ra = std::isfinite(a) ? std::exp(logDensity(a) - h.logChance) : 0.0;
  const double rb = std::isfinite(b) ? std::exp(logDensity(b) - h.logChance) : 0.0;
  h.mean = ra - rb;
  h.variance = std::clamp(1.0 + (std::isfinite(a) ? a * ra : 0.0) - (std::isfinite(b) ? b * rb : 0.0) - h.mean * h.mean,
                          0.0, 1.0);
  return h;
}

// A speed reading rounded to step, its noise beyond the rounding of
// variance r: the true speed plus that noise lies in the step about the
// reading. The state takes the mean and variance that leaves it (one
// Gaussian matched to them), and the answer is the log of the reading's
// chance per unit of speed, comparable with a bell curve's density.
double updateRounded(StateVector& x, StateMatrix& p, double y, double r, double step) {
  StateVector ph{};
  for (int k = 0; k < kStates; ++k) ph[static_cast<size_t>(k)] = at(p, k, kV);
  const double s = r + ph[kVz];
  if (!(s > 0.0)) return 0.0;
  // A prediction spread wider than the step smooths the rounding's edges
  // away: there the bell curve of its variance is as good.
  if (s > step * step) return update(x, p, kV, -1, y, r + step * step / 12.0);
  const double sd = std::sqrt(s);
  const Held h = heldBetween((y - 0.5 * step - x[kVz]) / sd, (y + 0.5 * step - x[kVz]) / sd);
  if (!std::isfinite(h.logChance)) return update(x, p, kV, -1, y, r + step * step / 12.0);
  applyObservation(x, p, ph, s, sd * h.mean, 1.0 - h.variance);
  return h.logChance - std::log(step);
}

// Where the rounding is coarse against the noise it is weighed as rounding;
// finer, a bell curve is the same to a fraction of a percent.
bool roundedCoarsely(const MotionObservation& o) {
  return o.speedStepMps > 0.0 && o.speedStepMps * o.speedStepMps / 12.0 > 0.1 * speedNoiseBeyondRounding(o);
}

constexpr int kLowSpeedGridPoints = 21;

// A reading near standstill weighed as a length (low_speed.h): the state's
// speed (either sign, a length sees none) weighed on a grid over where both
// its prediction and the reading allow it; the state takes the mean and
// variance that leaves (one Gaussian matched to them).
double updateLowSpeed(StateVector& x, StateMatrix& p, const MotionObservation& o) {
  const double mean = x[kVz], var = at(p, kV, kV);
  if (!(var > 1e-18)) return lowSpeedLogChanceAt(o, mean);
  const double sd = std::sqrt(var);
  const double lo = std::max(-o.lowSpeedTopMps, mean - 7.0 * sd), hi = std::min(o.lowSpeedTopMps, mean + 7.0 * sd);
  // A prediction far from anything the reading allows: the bell curve
  // tells that as well.
  if (!(hi > lo)) return update(x, p, kV, -1, o.speedMps, o.speedVar);
  const double dv = (hi - lo) / kLowSpeedGridPoints;
  double v[kLowSpeedGridPoints], w[kLowSpeedGridPoints], best = -INFINITY;
  for (int k = 0; k < kLowSpeedGridPoints; ++k) {
    v[k] = lo + (k + 0.5) * dv;
    w[k] = lowSpeedLogChanceAt(o, v[k]) - (v[k] - mean) * (v[k] - mean) / (2.0 * var);
    best = std::max(best, w[k]);
  }
  double total = 0.0, first = 0.0;
  for (int k = 0; k < kLowSpeedGridPoints; ++k) {
    w[k] = std::exp(w[k] - best);
    total += w[k];
    first += w[k] * v[k];
  }
  const double posteriorMean = first / total;
  double second = 0.0;
  for (int k = 0; k < kLowSpeedGridPoints; ++k) second += w[k] * (v[k] - posteriorMean) * (v[k] - posteriorMean);
  StateVector ph{};
  for (int k = 0; k < kStates; ++k) ph[static_cast<size_t>(k)] = at(p, k, kV);
  applyObservation(x, p, ph, var, posteriorMean - mean, std::clamp(1.0 - second / total / var, 0.0, 1.0));
  return best + std::log(total * dv / (std::sqrt(2.0 * std::numbers::pi) * sd));
}

double observeSpeed(StateVector& x, StateMatrix& p, const MotionObservation& o) {
  if (!o.lowSpeedLogChance.empty()) return updateLowSpeed(x, p, o);
  return roundedCoarsely(o) ? updateRounded(x, p, o.speedMps, speedNoiseBeyondRounding(o), o.speedStepMps)
                            : update(x, p, kV, -1, o.speedMps, o.speedVar);
}

double observe(StateVector& x, StateMatrix& p, const MotionObservation& o) {
  double logLikelihood = 0.0;
  if (!std::isnan(o.speedMps)) logLikelihood += observeSpeed(x, p, o);
  if (!std::isnan(o.alongM)) logLikelihood += update(x, p, kS, kC, o.alongM, o.alongVar);
  return logLikelihood;
}

// How far an observation lies from its prediction, in standard deviations
// (the larger of its speed and its position).
double surprise(const StateVector& x, const StateMatrix& p, const MotionObservation& o) {
  double z = 0.0;
  if (!std::isnan(o.speedMps)) z = std::max(z, std::fabs(o.speedMps - x[kVz]) / std::sqrt(at(p, kV, kV) + o.speedVar));
  if (!std::isnan(o.alongM)) {
    const double var = at(p, kS, kS) + 2.0 * at(p, kS, kC) + at(p, kC, kC) + o.alongVar;
    z = std::max(z, std::fabs(o.alongM - x[kSz] - x[kCz]) / std::sqrt(var));
  }
  return z;
}

// The standing car's log-likelihood of an observation, and its offset
// updated: the speed is exactly 0, the position the offset alone.
double observeStanding(double& offset, double& offsetVar, const MotionObservation& o) {
  double logLikelihood = 0.0;
  if (!std::isnan(o.speedMps)) {
    // The speed is exactly 0: the moving state held there.
    StateVector still{};
    StateMatrix certain{};
    logLikelihood += observeSpeed(still, certain, o);
  }
  if (!std::isnan(o.alongM)) {
    const double s = offsetVar + o.alongVar;
    if (s > 0.0) {
      const double innovation = o.alongM - offset;
      logLikelihood += -0.5 * (innovation * innovation / s + std::log(2.0 * std::numbers::pi * s));
      offset += offsetVar * innovation / s;
      offsetVar -= offsetVar * offsetVar / s;
    }
  }
  return logLikelihood;
}

// The state at the onset: standing, with the launch's priors; the offset
// as the standing observations left it.
void startMotion(StateVector& x, StateMatrix& p, const MotionModel& model, double accelMean, double accelSd,
                 double offset, double offsetVar, bool withJerk) {
  x = {};
  p = {};
  x[kAz] = accelMean;
  x[kCz] = offset;
  at(p, kA, kA) = accelSd * accelSd;
  if (withJerk) at(p, kJ, kJ) = model.onsetJerkSd * model.onsetJerkSd;
  at(p, kC, kC) = offsetVar;
}

// log P(x > least) for x normal with this mean and variance.
double logAbove(double mean, double variance, double least) {
  const double z = (mean - least) / std::sqrt(std::max(variance, 1e-18));
  return std::log(std::max(0.5 * std::erfc(-z / std::numbers::sqrt2), 1e-300));
}

// X = b m^-1 for the symmetric positive semi-definite m, by Cholesky. A
// state that m holds exactly (no variance: the jerk of a path without one,
// or the distance and speed at the onset) is left out: its row and column
// of the inverse are 0. False when m is not positive semi-definite.
bool rightDivide(const StateMatrix& b, const StateMatrix& m, StateMatrix& out) {
  StateMatrix l{};
  bool fixed[kStates] = {};
  double scale = 0.0;
  for (int j = 0; j < kStates; ++j) scale = std::max(scale, at(m, j, j));
  for (int j = 0; j < kStates; ++j) {
    double d = at(m, j, j);
    for (int k = 0; k < j; ++k) d -= at(l, j, k) * at(l, j, k);
    if (d <= 1e-14 * scale) {
      if (d < -1e-9 * scale) return false;
      fixed[j] = true;
      continue;
    }
    at(l, j, j) = std::sqrt(d);
    for (int i = j + 1; i < kStates; ++i) {
      double v = at(m, i, j);
      for (int k = 0; k < j; ++k) v -= at(l, i, k) * at(l, j, k);
      at(l, i, j) = v / at(l, j, j);
    }
  }
  // m = L L'; X m = b  <=>  m X' = b'; solved row by row of b.
  out = {};
  for (int r = 0; r < kStates; ++r) {
    double y[kStates] = {};
    for (int i = 0; i < kStates; ++i) {
      if (fixed[i]) continue;
      double v = at(b, r, i);
      for (int k = 0; k < i; ++k) v -= at(l, i, k) * y[k];
      y[i] = v / at(l, i, i);
    }
    for (int i = kStates - 1; i >= 0; --i) {
      if (fixed[i]) continue;
      double v = y[i];
      for (int k = i + 1; k < kStates; ++k) v -= at(l, k, i) * at(out, r, k);
      at(out, r, i) = v / at(l, i, i);
    }
  }
  return true;
}

}  // namespace

OnsetProfiler::OnsetProfiler(const std::vector<MotionObservation>& observations, const MotionModel& model)
    : observations_(observations), model_(model) {
  Standing s;
  s.offsetVar = model.offsetSd * model.offsetSd;
  s.tS = observations.empty() ? 0.0 : observations.front().tS;
  standing_.reserve(observations.size() + 1);
  standing_.push_back(s);
  for (const MotionObservation& o : observations) {
    s.offsetVar += model.offsetDensity * (o.tS - s.tS);
    s.tS = o.tS;
    s.logLikelihood += observeStanding(s.offset, s.offsetVar, o);
    standing_.push_back(s);
  }
}

double OnsetProfiler::standingLogLikelihood(double beforeS) const {
  const auto firstAfter = std::lower_bound(observations_.begin(), observations_.end(), beforeS,
                                           [](const MotionObservation& o, double t) { return o.tS < t; });
  return standing_[static_cast<size_t>(firstAfter - observations_.begin())].logLikelihood;
}

double OnsetProfiler::logLikelihood(double t0S, double launchPhaseS, double accelMean, double accelSd,
                                    double snapDensity) const {
  // Standing up to the onset: the observations before it, worked out once.
  const auto firstMoving = std::lower_bound(observations_.begin(), observations_.end(), t0S,
                                            [](const MotionObservation& o, double t) { return o.tS < t; });
  const size_t k = static_cast<size_t>(firstMoving - observations_.begin());
  const Standing& before = standing_[k];
  const double offsetVar = before.offsetVar + model_.offsetDensity * std::max(t0S - before.tS, 0.0);
  StateVector x;
  StateMatrix p;
  startMotion(x, p, model_, accelMean, accelSd, before.offset, offsetVar, true);
  double total = before.logLikelihood;

  // The launch phase, then the wander.
  const double phaseEnd = t0S + launchPhaseS;
  const Drive launch{0.0, snapDensity};
  const Drive after{model_.jerkDensity, 0.0};
  double now = t0S;
  bool inPhase = true;
  double phaseAccel = 0.0, phaseAccelVar = 0.0;
  auto endPhase = [&] {
    inPhase = false;
    phaseAccel = x[kAz];
    phaseAccelVar = at(p, kA, kA);
    // The take-up is over: the drive force holds, and the acceleration
    // wanders on from here.
    x[kJz] = 0.0;
    for (int i = 0; i < kStates; ++i) at(p, kJ, i) = at(p, i, kJ) = 0.0;
  };
  for (size_t i = k; i < observations_.size(); ++i) {
    const MotionObservation& o = observations_[i];
    if (inPhase && o.tS >= phaseEnd) {
      predictMoving(x, p, phaseEnd - now, launch, offsetDensityOver(model_, t0S, now, phaseEnd));
      now = phaseEnd;
      endPhase();
    }
    predictMoving(x, p, o.tS - now, inPhase ? launch : after, offsetDensityOver(model_, t0S, now, o.tS));
    now = o.tS;
    total += observe(x, p, o);
  }
  if (inPhase) {
    predictMoving(x, p, phaseEnd - now, launch, offsetDensityOver(model_, t0S, now, phaseEnd));
    endPhase();
  }
  if (model_.movingAccelMin > 0.0) {
    // The prior held to launches that accelerate by the phase's end (a
    // truncated prior): an onset is weighed by how surely the fixes after
    // it show such a launch, against how likely the prior thought one.
    const double priorVar = accelSd * accelSd + model_.onsetJerkSd * model_.onsetJerkSd * launchPhaseS * launchPhaseS;
    total += logAbove(phaseAccel, phaseAccelVar, model_.movingAccelMin) -
             logAbove(accelMean, priorVar, model_.movingAccelMin);
  }
  return total;
}

SmoothedMotion::SmoothedMotion(const std::vector<MotionObservation>& observations, double t0S, const MotionModel& model,
                               std::vector<double> extraTimesS)
    : t0_(t0S) {
  // The epochs from the onset on: the onset, every observation and every
  // extra instant.
  std::vector<double> epochs{t0S};
  for (const MotionObservation& o : observations)
    if (o.tS > t0S) epochs.push_back(o.tS);
  for (const double t : extraTimesS)
    if (t > t0S) epochs.push_back(t);
  const bool jumps = model.accelJumpAtS > t0S;
  if (jumps) epochs.push_back(model.accelJumpAtS);
  std::sort(epochs.begin(), epochs.end());
  epochs.erase(std::unique(epochs.begin(), epochs.end(), [](double a, double b) { return b - a < 1e-9; }), epochs.end());

  // Standing until the onset.
  double offset = 0.0, offsetVar = model.offsetSd * model.offsetSd, lastS = observations.empty() ? t0S : observations.front().tS;
  size_t next = 0;
  for (; next < observations.size() && observations[next].tS < t0S; ++next) {
    offsetVar += model.offsetDensity * (observations[next].tS - lastS);
    lastS = observations[next].tS;
    logLikelihood_ += observeStanding(offset, offsetVar, observations[next]);
  }
  offsetVar += model.offsetDensity * std::max(t0S - lastS, 0.0);
  StateVector x;
  StateMatrix p;
  startMotion(x, p, model, model.onsetAccelMean, model.onsetAccelSd, offset, offsetVar, false);

  // Forward through the epochs, keeping the filtered and predicted states.
  const Drive drive{model.jerkDensity, 0.0};
  const size_t n = epochs.size();
  std::vector<StateVector> filtered(n), predicted(n);
  std::vector<StateMatrix> filteredCov(n), predictedCov(n);
  for (size_t k = 0; k < n; ++k) {
    if (k > 0) {
      const double offsetDensity = offsetDensityOver(model, t0S, epochs[k - 1], epochs[k]);
      predictMoving(x, p, epochs[k] - epochs[k - 1], drive, offsetDensity);
      // A gear change, wheelspin or the clutch biting turns the
      // acceleration faster than its usual wander: where an observation is
      // far beyond what the step predicted, the step is taken again with
      // room for such a turn.
      if (next < observations.size() && observations[next].tS <= epochs[k] + 1e-9 &&
          surprise(x, p, observations[next]) > kTurnSurprise) {
        x = filtered[k - 1];
        p = filteredCov[k - 1];
        predictMoving(x, p, epochs[k] - epochs[k - 1], Drive{drive.jerk * kTurnBoost, 0.0}, offsetDensity);
      }
      if (jumps && std::fabs(epochs[k] - model.accelJumpAtS) < 1e-9) at(p, kA, kA) += model.accelJumpSd * model.accelJumpSd;
    }
    predicted[k] = x;
    predictedCov[k] = p;
    for (; next < observations.size() && observations[next].tS <= epochs[k] + 1e-9; ++next) {
      logLikelihood_ += observe(x, p, observations[next]);
    }
    filtered[k] = x;
    filteredCov[k] = p;
  }

  // Backward: the Rauch-Tung-Striebel smoother.
  times_ = epochs;
  mean_.assign(n, StateVector{});
  cov_.assign(n, StateMatrix{});
  gain_.assign(n, StateMatrix{});
  mean_[n - 1] = filtered[n - 1];
  cov_[n - 1] = filteredCov[n - 1];
  for (size_t k = n - 1; k-- > 0;) {
    const StateMatrix f = transitionMatrix(epochs[k + 1] - epochs[k]);
    StateMatrix gain{};
    if (!rightDivide(multiply(filteredCov[k], transpose(f)), predictedCov[k + 1], gain)) {
      times_.clear();
      return;
    }
    gain_[k] = gain;
    StateVector dx{};
    for (size_t i = 0; i < dx.size(); ++i) dx[i] = mean_[k + 1][i] - predicted[k + 1][i];
    mean_[k] = filtered[k];
    for (int r = 0; r < kStates; ++r)
      for (int c = 0; c < kStates; ++c) mean_[k][static_cast<size_t>(r)] += at(gain, r, c) * dx[static_cast<size_t>(c)];
    StateMatrix dp{};
    for (size_t i = 0; i < dp.size(); ++i) dp[i] = cov_[k + 1][i] - predictedCov[k + 1][i];
    cov_[k] = multiply(multiply(gain, dp), transpose(gain));
    for (size_t i = 0; i < dp.size(); ++i) cov_[k][i] += filteredCov[k][i];
    symmetrize(cov_[k]);
  }
}

int SmoothedMotion::epochAt(double tS) const {
  const auto it = std::lower_bound(times_.begin(), times_.end(), tS - 1e-9);
  if (it == times_.end() || *it > tS + 1e-9) return -1;
  return static_cast<int>(it - times_.begin());
}

StateMatrix SmoothedMotion::crossCovariance(size_t i, size_t j) const {
  if (i == j) return cov_[i];
  StateMatrix product{};
  for (int d = 0; d < kStates; ++d) at(product, d, d) = 1.0;
  for (size_t k = i; k < j; ++k) product = multiply(product, gain_[k]);
  return multiply(product, cov_[j]);
}

void SmoothedMotion::interpolate(double tS, double& s, double& v) const {
  s = v = 0.0;
  if (times_.empty() || tS <= t0_) return;
  if (tS >= times_.back()) {
    const StateVector& e = mean_.back();
    const double d = tS - times_.back();
    s = e[kSz] + e[kVz] * d + e[kAz] * d * d / 2.0;
    v = e[kVz] + e[kAz] * d;
    return;
  }
  const size_t k = static_cast<size_t>(std::upper_bound(times_.begin(), times_.end(), tS) - times_.begin()) - 1;
  const StateVector& a = mean_[k];
  const StateVector& b = mean_[k + 1];
  const double h = times_[k + 1] - times_[k];
  const double u = (tS - times_[k]) / h;
  const double u2 = u * u, u3 = u2 * u, u4 = u3 * u, u5 = u4 * u;
  // Quintic Hermite through distance, speed and acceleration at both ends:
  // the mean of integrated white jerk between two known states.
  const double h0 = 1 - 10 * u3 + 15 * u4 - 6 * u5, h1 = u - 6 * u3 + 8 * u4 - 3 * u5;
  const double h2 = (u2 - 3 * u3 + 3 * u4 - u5) / 2, h3 = (u3 - 2 * u4 + u5) / 2;
  const double h4 = -4 * u3 + 7 * u4 - 3 * u5, h5 = 10 * u3 - 15 * u4 + 6 * u5;
  s = h0 * a[kSz] + h1 * h * a[kVz] + h2 * h * h * a[kAz] + h3 * h * h * b[kAz] + h4 * h * b[kVz] + h5 * b[kSz];
  const double d0 = -30 * u2 + 60 * u3 - 30 * u4, d1 = 1 - 18 * u2 + 32 * u3 - 15 * u4;
  const double d2 = (2 * u - 9 * u2 + 12 * u3 - 5 * u4) / 2, d3 = (3 * u2 - 8 * u3 + 5 * u4) / 2;
  const double d4 = -12 * u2 + 28 * u3 - 15 * u4, d5 = 30 * u2 - 60 * u3 + 30 * u4;
  v = (d0 * a[kSz] + d1 * h * a[kVz] + d2 * h * h * a[kAz] + d3 * h * h * b[kAz] + d4 * h * b[kVz] + d5 * b[kSz]) / h;
}

double SmoothedMotion::distanceAt(double tS) const {
  double s = 0.0, v = 0.0;
  interpolate(tS, s, v);
  return s;
}

double SmoothedMotion::sdAt(double tS, int state) const {
  if (times_.empty() || tS <= t0_) return 0.0;
  auto sd = [&](size_t k) { return std::sqrt(std::max(at(cov_[k], state, state), 0.0)); };
  if (tS >= times_.back()) return sd(times_.size() - 1);
  const size_t k = static_cast<size_t>(std::upper_bound(times_.begin(), times_.end(), tS) - times_.begin()) - 1;
  const double f = (tS - times_[k]) / (times_[k + 1] - times_[k]);
  return sd(k) + f * (sd(k + 1) - sd(k));
}

double SmoothedMotion::speedAt(double tS) const {
  double s = 0.0, v = 0.0;
  interpolate(tS, s, v);
  return v;
}

double speedNoiseBeyondRounding(const MotionObservation& o) {
  // Never quite none: 1 mm/s.
  constexpr double kLeastSpeedNoiseVar = 1e-6;
  return std::max(o.speedVar - o.speedStepMps * o.speedStepMps / 12.0, kLeastSpeedNoiseVar);
}

}  // namespace corvantis::slip
