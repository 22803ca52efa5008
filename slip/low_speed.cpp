#include "slip/low_speed.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvantis::slip {
namespace {

// log(I0(z) e^-z) for z >= 0, I0 the modified Bessel function of order 0
// (Abramowitz and Stegun 9.8.1 and 9.8.2, good to a few parts in 1e7).
double logScaledBesselI0(double z) {
  if (z < 3.75) {
    const double t = (z / 3.75) * (z / 3.75);
    const double i0 =
        1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))));
    return std::log(i0) - z;
  }
  const double t = 3.75 / z;
  const double poly =
      0.39894228 +
      t * (0.01328592 +
           t * (0.00225319 +
                t * (-0.00157565 + t * (0.00916281 + t * (-0.02057706 + t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
  return std::log(poly) - 0.5 * std::log(z);
}

// log density of the length x > 0 of a velocity of length nu plus white
// noise of sd sigma on each axis (the Rice distribution).
double logLengthDensity(double x, double nu, double sigma) {
  const double s2 = sigma * sigma;
  return std::log(x / s2) - (x - nu) * (x - nu) / (2.0 * s2) + logScaledBesselI0(x * nu / s2);
}

// Readings further than this many noise widths from standstill are the
// speed plus noise as near as makes no difference (a length's bias there is
// a tenth of the noise).
constexpr double kLowReadingsBelowSds = 5.0;
// Speeds that scatter less than this are taken as exact near standstill
// (their scatter is then the noise floor's, not a length's).
constexpr double kLowNoiseAtLeastMps = 0.002;
constexpr int kTablePoints = 96;

// The chance of a reading rounded to step (width: never quite none) from a
// length of nu, sd sigma on each axis: the Rice distribution's mass over
// the lengths rounded to it. A reading of 0 stands for the half step above
// it, a length being never below 0.
double logLengthChance(double reading, double width, double nu, double sigma) {
  constexpr int kStepPoints = 8;
  const double from = std::max(0.0, reading - 0.5 * width), to = reading + 0.5 * width;
  double logs[kStepPoints], best = -INFINITY;
  for (int j = 0; j < kStepPoints; ++j) {
    logs[j] = logLengthDensity(from + (to - from) * (j + 0.5) / kStepPoints, nu, sigma);
    best = std::max(best, logs[j]);
  }
  double sum = 0.0;
  for (const double l : logs) sum += std::exp(l - best);
  return best + std::log(sum * (to - from) / kStepPoints);
}

// The chance that normal noise of sd sigma about 0 lies below x.
double normalBelow(double x, double sigma) { return 0.5 * std::erfc(-x / (sigma * std::numbers::sqrt2)); }

// The same reading's chance when it is the speed 0 plus normal noise kept
// at or above 0: a reading of 0 holds all the noise below its half step.
double logKeptChance(double reading, double width, double sigma) {
  const double to = normalBelow(reading + 0.5 * width, sigma);
  const double chance = reading - 0.5 * width <= 0.0 ? to : to - normalBelow(reading - 0.5 * width, sigma);
  return std::log(std::max(chance, 1e-300));
}

// And when it is the size of 0 plus normal noise: the bell curve's mass
// over the step and over its mirror below 0.
double logFoldedChance(double reading, double width, double sigma) {
  const double from = std::max(0.0, reading - 0.5 * width), to = reading + 0.5 * width;
  return std::log(std::max(2.0 * (normalBelow(to, sigma) - normalBelow(from, sigma)), 1e-300));
}

// The noise of a reading if its form can tell, else 0 (no reading, or one
// below 0, which no length is).
double lowSpeedNoiseSd(const MotionObservation& o) {
  if (!(o.speedMps >= 0.0)) return 0.0;
  const double sigma = std::sqrt(speedNoiseBeyondRounding(o));
  return sigma < std::max(0.25 * o.speedStepMps, kLowNoiseAtLeastMps) ? 0.0 : sigma;
}

double widthOf(const MotionObservation& o, double sigma) { return std::max(o.speedStepMps, 0.05 * sigma); }

}  // namespace

LowSpeedForm standingSpeedForm(const std::vector<MotionObservation>& observations, double standingUntilS) {
  double asLengths = 0.0, asFolded = 0.0, asKept = 0.0;
  int readings = 0;
  for (const MotionObservation& o : observations) {
    if (o.tS > standingUntilS) break;
    const double sigma = lowSpeedNoiseSd(o);
    if (sigma == 0.0) continue;
    const double width = widthOf(o, sigma);
    asLengths += logLengthChance(o.speedMps, width, 0.0, sigma);
    asFolded += logFoldedChance(o.speedMps, width, sigma);
    asKept += logKeptChance(o.speedMps, width, sigma);
    ++readings;
  }
  if (readings < 5 || (asKept >= asLengths && asKept >= asFolded)) return LowSpeedForm::KeptAtZero;
  return asLengths > asFolded ? LowSpeedForm::Length : LowSpeedForm::Folded;
}

void weighLowSpeeds(std::vector<MotionObservation>& observations, LowSpeedForm form) {
  for (MotionObservation& o : observations) {
    o.lowSpeedLogChance.clear();
    const double sigma = lowSpeedNoiseSd(o);
    if (form != LowSpeedForm::Length || sigma == 0.0 || o.speedMps > kLowReadingsBelowSds * sigma + o.speedStepMps)
      continue;
    const double width = widthOf(o, sigma);
    o.lowSpeedTopMps = o.speedMps + 0.5 * width + 8.0 * sigma;
    o.lowSpeedLogChance.resize(kTablePoints);
    for (int m = 0; m < kTablePoints; ++m) {
      // Per unit of speed, as a bell curve's density is.
      o.lowSpeedLogChance[static_cast<size_t>(m)] =
          logLengthChance(o.speedMps, width, o.lowSpeedTopMps * m / (kTablePoints - 1), sigma) - std::log(width);
    }
  }
}

double lowSpeedLogChanceAt(const MotionObservation& o, double v) {
  const double at = std::fabs(v) / o.lowSpeedTopMps * (kTablePoints - 1);
  if (at >= kTablePoints - 1) return o.lowSpeedLogChance.back();
  const size_t i = static_cast<size_t>(at);
  const double f = at - static_cast<double>(i);
  return o.lowSpeedLogChance[i] + f * (o.lowSpeedLogChance[i + 1] - o.lowSpeedLogChance[i]);
}

}  // namespace corvantis::slip
