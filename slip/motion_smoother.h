#pragma once
// The motion of a standing start as a random process, fitted to what the
// receiver reported: a smoothing spline in time, computed by a Kalman
// filter and a Rauch-Tung-Striebel smoother.
//
// Until the onset t0 the car stands: distance, speed, acceleration and jerk
// are exactly 0. At t0 the launch phase begins: the acceleration starts
// from a value drawn from a wide prior (near 0 for a take-up ramp or a
// creep, large for a step) and changes at a steady rate drawn from a wide
// prior too (the ramp of the drive force), with only a little wander. When
// the phase ends the jerk drops to 0 (the take-up is over) and from then on
// the acceleration wanders as integrated white jerk, which follows gear
// changes, wheelspin and a clutch biting. The launch phase's length is not
// known: launch_onset.h weighs several.
//
// Observations: the receiver's speed over ground (Doppler) and the distance
// along the strip from a reference point near the standing position, each
// with its noise variance. The positions carry an offset from the true
// standing point that wanders slowly (the receiver's bias), a state of its
// own. The onset is not a state: for each candidate the filter gives the
// likelihood of the observations (the prediction-error decomposition).
#include <array>
#include <cmath>
#include <vector>

namespace corvantis::slip {

struct MotionObservation {
  double tS = 0.0;
  double speedMps = NAN;   // NaN: no speed at this epoch
  double speedVar = 0.0;   // (m/s)^2, the rounding included
  // The step the receiver rounds the speed to (0: finer than its noise).
  // A rounded speed says the true one lies in the step about it, evenly
  // likely anywhere there: near standstill and through the take-up that
  // tells far more than a bell curve of the same variance does.
  double speedStepMps = 0.0;
  double alongM = NAN;     // NaN: no position
  double alongVar = 0.0;   // m^2
  // A reading near standstill weighed as the length of the receiver's
  // velocity (low_speed.h): the log of its chance per unit of speed for true
  // speeds evenly from 0 to lowSpeedTopMps. Empty: the speed plus its noise,
  // as above.
  std::vector<double> lowSpeedLogChance{};
  double lowSpeedTopMps = 0.0;
};

// The variance of a speed's noise beyond its rounding: the measured
// scatter less the rounding's share, and never quite none.
double speedNoiseBeyondRounding(const MotionObservation& o);

struct MotionModel {
  double launchPhaseS = 0.3;        // from the onset
  double launchSnapDensity = 1.0;   // m^2/s^7: how far the take-up's ramp may bend
  double onsetAccelMean = 4.0;      // m/s^2, the prior of the acceleration at the onset
  double onsetAccelSd = 5.0;
  double onsetJerkSd = 100.0;       // m/s^3, of the take-up's ramp
  // A launch accelerates: at the end of the launch phase the acceleration
  // is at least this (m/s^2; 0: any). Without it, an onset long before the
  // car moved would pass for a launch whose phase gave no drive at all.
  double movingAccelMin = 0.3;
  double jerkDensity = 300.0;       // m^2/s^5, the acceleration's wander after the launch phase
  double offsetSd = 2.0;            // m, prior of the positions' offset from the reference
  double offsetDensity = 0.004;     // m^2/s, how fast that offset wanders
  // A receiver that holds its position while the car stands lets go of it
  // over the first seconds of motion: meanwhile the offset wanders this
  // much faster (m^2/s; 0: it held nothing).
  double settleDensity = 0.0;
  double settleS = 3.0;
  // A gear change cut or restored the drive at this instant (NaN: nowhere):
  // the acceleration may jump there, by about this much (m/s^2, one sigma).
  double accelJumpAtS = NAN;
  double accelJumpSd = 0.0;
};

// State: distance from the standing position (m), speed, acceleration,
// jerk, and the positions' offset.
inline constexpr int kStates = 5;
using StateVector = std::array<double, kStates>;
using StateMatrix = std::array<double, kStates * kStates>;

// The log-likelihood of the observations (in time order) for each
// candidate onset. The standing part before a candidate is shared by all
// candidates and worked out once.
class OnsetProfiler {
 public:
  OnsetProfiler(const std::vector<MotionObservation>& observations, const MotionModel& model);
  // For an onset at t0S, a launch phase of this length, a prior of the
  // acceleration at the onset (mean, sd) and how far the phase's ramp may
  // bend (the model's own when not given).
  double logLikelihood(double t0S, double launchPhaseS, double accelMean, double accelSd, double snapDensity) const;
  double logLikelihood(double t0S, double launchPhaseS, double accelMean, double accelSd) const {
    return logLikelihood(t0S, launchPhaseS, accelMean, accelSd, model_.launchSnapDensity);
  }
  double logLikelihood(double t0S, double launchPhaseS) const {
    return logLikelihood(t0S, launchPhaseS, model_.onsetAccelMean, model_.onsetAccelSd);
  }
  double logLikelihood(double t0S) const { return logLikelihood(t0S, model_.launchPhaseS); }
  // Of the observations before this instant alone, the car standing
  // through them all.
  double standingLogLikelihood(double beforeS) const;

 private:
  struct Standing {
    double offset = 0.0, offsetVar = 0.0, logLikelihood = 0.0, tS = 0.0;
  };
  const std::vector<MotionObservation>& observations_;
  MotionModel model_;
  std::vector<Standing> standing_;  // [k]: after the first k observations, all taken as standing
};

// The smoothed motion from the onset on, at every observation epoch after it
// and at the extra instants asked for (which carry no observation). The
// model's launch phase is its plain continuation here: the onset is known,
// and the path follows the fixes through the take-up as after it.
class SmoothedMotion {
 public:
  SmoothedMotion() = default;
  SmoothedMotion(const std::vector<MotionObservation>& observations, double t0S, const MotionModel& model,
                 std::vector<double> extraTimesS = {});

  bool valid() const { return !times_.empty(); }
  double onsetS() const { return t0_; }
  // Of all the observations, for this onset and model.
  double logLikelihood() const { return logLikelihood_; }
  double endS() const { return times_.empty() ? t0_ : times_.back(); }

  // Distance from the standing position and speed at any instant (0 before
  // the onset; extrapolated from the last epoch after the end); between
  // epochs the quintic through both ends' distance, speed and acceleration.
  double distanceAt(double tS) const;
  double speedAt(double tS) const;
  // The standard deviation of a state (0 distance, 1 speed) at any
  // instant, linear between the epochs' own.
  double sdAt(double tS, int state) const;

  const std::vector<double>& times() const { return times_; }
  const StateVector& state(size_t epoch) const { return mean_[epoch]; }
  const StateMatrix& covariance(size_t epoch) const { return cov_[epoch]; }
  // The epoch at exactly this instant, or -1.
  int epochAt(double tS) const;
  // Covariance of the states at two epochs (i <= j).
  StateMatrix crossCovariance(size_t i, size_t j) const;

 private:
  void interpolate(double tS, double& s, double& v) const;

  double t0_ = 0.0;
  double logLikelihood_ = 0.0;
  std::vector<double> times_;
  std::vector<StateVector> mean_;
  std::vector<StateMatrix> cov_;
  std::vector<StateMatrix> gain_;  // the smoother's gain from epoch k to k + 1
};

}  // namespace corvantis::slip
