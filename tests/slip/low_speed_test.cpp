// Speeds over ground near standstill, weighed by how the receiver keeps them
// at or above 0: which form a receiver writes, and the chance of a reading.
#include "slip/low_speed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "slip/launch_onset.h"
#include "slip/slip_fit.h"

namespace corvantis::slip {
namespace {

constexpr double kNoiseMps = 0.05;
constexpr double kStepMps = 0.01 * 1852.0 / 3600.0;  // 0.01 kn

MotionObservation reading(double tS, double speedMps, double noiseMps = kNoiseMps) {
  MotionObservation o;
  o.tS = tS;
  o.speedMps = std::round(speedMps / kStepMps) * kStepMps;
  o.speedStepMps = kStepMps;
  o.speedVar = noiseMps * noiseMps + kStepMps * kStepMps / 12.0;
  return o;
}

TEST(LowSpeed, TheStandingReadingsTellHowTheReceiverKeepsThemAboveZero) {
  enum class Standing { Length, Folded, KeptAtZero, Held, Exact };
  const struct {
    Standing standing;
    LowSpeedForm form;
  } cases[] = {{Standing::Length, LowSpeedForm::Length},
               {Standing::Folded, LowSpeedForm::Folded},
               {Standing::KeptAtZero, LowSpeedForm::KeptAtZero},
               {Standing::Held, LowSpeedForm::KeptAtZero},
               {Standing::Exact, LowSpeedForm::KeptAtZero}};
  for (const auto& c : cases) {
    std::mt19937 engine(7);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::vector<MotionObservation> observations;
    for (int i = 0; i < 50; ++i) {
      const double n1 = kNoiseMps * unit(engine), n2 = kNoiseMps * unit(engine);
      const double speed = c.standing == Standing::Length       ? std::hypot(n1, n2)
                           : c.standing == Standing::Folded     ? std::fabs(n1)
                           : c.standing == Standing::KeptAtZero ? std::fmax(0.0, n1)
                                                                : 0.0;
      observations.push_back(reading(0.04 * i, speed, c.standing == Standing::Exact ? 0.0 : kNoiseMps));
    }
    EXPECT_EQ(standingSpeedForm(observations, 10.0), c.form) << static_cast<int>(c.standing);
    // Four readings are too few to tell.
    observations.resize(4);
    EXPECT_EQ(standingSpeedForm(observations, 10.0), LowSpeedForm::KeptAtZero);
  }
}

TEST(LowSpeed, ALengthsChanceIsItsDensity) {
  // A length at standstill has the density r/s^2 exp(-r^2/2s^2); far from
  // it, it nears the speed plus the noise of one axis, times sqrt(r/v).
  const auto bell = [](double r, double v) {
    return -0.5 * std::log(2.0 * 3.141592653589793 * kNoiseMps * kNoiseMps) - 0.5 * (r - v) * (r - v) / (kNoiseMps * kNoiseMps);
  };
  const auto rayleigh = [](double r) {
    return std::log(r / (kNoiseMps * kNoiseMps)) - r * r / (2.0 * kNoiseMps * kNoiseMps);
  };
  const struct {
    LowSpeedForm form;
    double readingMps, trueMps;
    std::function<double(double, double)> expected;
  } cases[] = {
      {LowSpeedForm::Length, 0.06, 0.0, [&](double r, double) { return rayleigh(r); }},
      {LowSpeedForm::Length, 0.25, 0.30, [&](double r, double v) { return bell(r, v) + 0.5 * std::log(r / v); }},
      {LowSpeedForm::Length, 0.25, -0.30, [&](double r, double v) { return bell(r, v) + 0.5 * std::log(r / v); }},
  };
  for (const auto& c : cases) {
    std::vector<MotionObservation> observations{reading(0.0, c.readingMps)};
    weighLowSpeeds(observations, c.form);
    const MotionObservation& o = observations[0];
    ASSERT_FALSE(o.lowSpeedLogChance.empty()) << c.readingMps;
    EXPECT_NEAR(lowSpeedLogChanceAt(o, c.trueMps), c.expected(o.speedMps, std::fabs(c.trueMps)), 0.01)
        << static_cast<int>(c.form) << " " << c.readingMps << " " << c.trueMps;
  }
  // A reading well clear of standstill, of an exact receiver, or below 0
  // stays the speed plus its noise; and every reading of a receiver that
  // writes no lengths.
  std::vector<MotionObservation> clear{reading(0.0, 0.5), reading(0.0, 0.0, 0.0), reading(0.0, -0.02)};
  weighLowSpeeds(clear, LowSpeedForm::Length);
  for (const MotionObservation& o : clear) EXPECT_TRUE(o.lowSpeedLogChance.empty()) << o.speedMps;
  for (const LowSpeedForm form : {LowSpeedForm::KeptAtZero, LowSpeedForm::Folded}) {
    std::vector<MotionObservation> other{reading(0.0, 0.02)};
    weighLowSpeeds(other, form);
    EXPECT_TRUE(other[0].lowSpeedLogChance.empty());
  }
}

TEST(LowSpeed, AStandingCarsLengthsDoNotMakeACreep) {
  // 25 Hz: four seconds standing, then 5 m/s^2 from 4.0 s; speeds the
  // velocity's length with 5 cm/s on each axis, positions with 15 cm. A
  // standing car's readings are all a little above 0: weighed as lengths,
  // they say the car stood.
  std::mt19937 engine(3);
  std::normal_distribution<double> unit(0.0, 1.0);
  std::vector<MotionObservation> observations;
  for (int i = 0; i < 150; ++i) {
    const double t = 0.04 * i, tau = std::fmax(0.0, t - 4.0);
    MotionObservation o = reading(t, std::hypot(5.0 * tau + kNoiseMps * unit(engine), kNoiseMps * unit(engine)));
    o.alongM = 2.5 * tau * tau + 0.15 * unit(engine);
    o.alongVar = 0.15 * 0.15;
    observations.push_back(o);
  }
  ASSERT_EQ(standingSpeedForm(observations, 3.5), LowSpeedForm::Length);
  weighLowSpeeds(observations, LowSpeedForm::Length);
  // Read as speed plus noise, these give an onset near 3.0 s, its 95 %
  // interval ending before 3.4 s.
  const std::optional<OnsetEstimate> onset = estimateOnset(observations, {1.0, 4.2, true}, slipModel());
  ASSERT_TRUE(onset.has_value());
  EXPECT_NEAR(onset->t0S, 4.0, 0.03);
  EXPECT_LE(onset->lowS, 4.0);
  EXPECT_GE(onset->highS, 4.0);
}

}  // namespace
}  // namespace corvantis::slip
