#pragma once
// Launches of a known shape, integrated finely from their acceleration, and
// a receiver's fixes of them: exact positions along a meridian and exact
// speeds, after ten seconds of standing.
#include <cmath>
#include <functional>
#include <vector>

#include "slip/nmea_motion.h"

namespace corvantis::slip::testing {

inline constexpr double kLaunchMs = 43210037.4;  // first motion, between fixes
inline constexpr double kStandS = 10.0;

class ExactLaunch {
 public:
  // accel: m/s^2 at tau seconds after first motion (before drag).
  ExactLaunch(std::function<double(double)> accel, double durationS = 16.0) {
    constexpr double kStepS = 1e-4;
    double s = 0.0, v = 0.0;
    for (double tau = 0.0; tau <= durationS; tau += kStepS) {
      tau_.push_back(tau);
      s_.push_back(s);
      v_.push_back(v);
      const double a = accel(tau + kStepS / 2.0) * (1.0 - v / 90.0);  // the pull fades with speed
      s += v * kStepS + 0.5 * a * kStepS * kStepS;
      v += a * kStepS;
    }
  }
  double distanceAt(double tau) const { return at(s_, tau); }
  double speedAt(double tau) const { return at(v_, tau); }
  // Seconds after first motion when the distance (or speed) first reaches target.
  double reachS(double target, bool speed) const {
    const std::vector<double>& y = speed ? v_ : s_;
    for (size_t i = 1; i < y.size(); ++i) {
      if (y[i] >= target) return tau_[i - 1] + (tau_[i] - tau_[i - 1]) * (target - y[i - 1]) / (y[i] - y[i - 1]);
    }
    return NAN;
  }
  double durationS() const { return tau_.back(); }

 private:
  double at(const std::vector<double>& y, double tau) const {
    if (tau <= 0.0) return 0.0;
    const size_t i = std::min(static_cast<size_t>(tau / 1e-4), y.size() - 2);
    const double f = (tau - tau_[i]) / (tau_[i + 1] - tau_[i]);
    return y[i] + f * (y[i + 1] - y[i]);
  }
  std::vector<double> tau_, s_, v_;
};

inline std::vector<MotionFix> fixesOf(const ExactLaunch& launch, int rateHz, bool withSpeed, bool withPositions = true) {
  constexpr double kRadiusM = 6371000.0, kPi = 3.141592653589793;
  std::vector<MotionFix> fixes;
  const double periodMs = 1000.0 / rateHz;
  const double startMs = std::floor((kLaunchMs - kStandS * 1000.0) / periodMs) * periodMs;
  for (double t = startMs; t <= kLaunchMs + launch.durationS() * 1000.0; t += periodMs) {
    const double tau = (t - kLaunchMs) / 1000.0;
    MotionFix fix;
    fix.timeMs = t;
    fix.hasPosition = withPositions;
    fix.latitudeDeg = 48.0 + launch.distanceAt(tau) / kRadiusM * 180.0 / kPi;
    fix.longitudeDeg = 11.0;
    fix.hasSpeed = withSpeed;
    fix.speedMps = launch.speedAt(tau);
    fixes.push_back(fix);
  }
  return fixes;
}

}  // namespace corvantis::slip::testing
