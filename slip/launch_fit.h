#pragma once
// The instant a car leaves rest, fitted from the first fixes of its motion.
//
// A launch is modelled as a smooth start from rest: the drive force takes
// up over a ramp of `rampS` seconds (clutch and tyres loading up), so the
// acceleration rises linearly from 0, and then follows a straight line in
// time, A + B * tau, which absorbs the slow fade of traction and the growing
// drag of the first second or two. With tau = t - t0:
//
//   a(tau) = ramp(tau) * (A + B * tau),   ramp = min(tau / rampS, 1), 0 before t0
//
// Speed and distance are its integrals, in closed form, so both a receiver's
// speed over ground and the distance from the standing position can be
// fitted. For a trial (t0, rampS) the model is linear in A and B (and in the
// distance offset C of the standing position), solved by least squares; the
// instant t0 and the ramp are found by a coarse then a fine search of the
// residual. A threshold on the speed (as in the stored runs, which read
// anything under 2 mph as standing) would start the clock a few tenths of a
// second late; the fit puts it where the motion began.
#include <optional>
#include <vector>

namespace corvantis::slip {

struct LaunchSample {
  double tS = 0.0;     // seconds on the slip's own time axis
  double value = 0.0;  // metres from the standing position, or m/s
};

enum class FitQuantity { Distance, Speed };

struct LaunchModel {
  double t0S = 0.0;     // first motion
  double rampS = 0.0;   // take-up time of the drive force; 0: full acceleration at once
  double accelA = 0.0;  // m/s^2 once the ramp is over, at tau = 0
  double accelB = 0.0;  // m/s^3, its change in time
  double offsetM = 0.0; // where the standing fixes lie relative to the standing position (distance fits)

  double speedAt(double tS) const;     // m/s, 0 before t0
  double distanceAt(double tS) const;  // metres from first motion (without the offset)
};

struct FitLimits {
  double t0MinS = 0.0;      // the search range of the first motion
  double t0MaxS = 0.0;
  double rampMaxS = 0.5;    // longest take-up searched
  // The take-up of a typical launch, and how far a car strays from it (one
  // sigma). Where the fixes show the take-up this only steadies the fit
  // against noise; where they cannot (positions rounded to a few
  // centimetres or more, or fixes a fifth of a second apart and more), the
  // take-up is taken as typical, since taking none would start every
  // clock half a take-up late.
  double typicalRampS = 0.25;
  double rampSigmaS = 0.1;
  bool fitRamp = true;      // false: rampS is the typical take-up
  // Whether noisy samples are close enough together to show the take-up
  // (several inside it); when not, only exact ones are followed and noisy
  // ones get the typical take-up.
  bool rampShowsThroughNoise = true;
  bool fitTrend = true;     // false: accelB stays 0
};

// Least-squares fit of the model to the samples. Nothing when the samples
// cannot carry a fit (too few after first motion, or no forward acceleration).
std::optional<LaunchModel> fitLaunch(const std::vector<LaunchSample>& samples, FitQuantity quantity,
                                     const FitLimits& limits);

}  // namespace corvantis::slip
