// The smoother's arithmetic: exact paths come back exact, its covariances
// hang together, the onset's likelihood peaks at the onset, and the noise
// read from differences is the noise.
#include "slip/motion_smoother.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "slip/launch_onset.h"
#include "slip/slip_fit.h"

namespace corvantis::slip {
namespace {

constexpr double kOnsetS = 2.037;

// Standing until kOnsetS, then acceleration 1 + 6 t (a ramp of the force),
// observed exactly at 10 Hz.
std::vector<MotionObservation> rampObservations(bool speeds, bool positions) {
  std::vector<MotionObservation> out;
  for (int i = 0; i <= 60; ++i) {
    const double t = i * 0.1, tau = std::fmax(0.0, t - kOnsetS);
    MotionObservation o;
    o.tS = t;
    if (speeds) {
      o.speedMps = tau + 3.0 * tau * tau;
      o.speedVar = 1e-10;
    }
    if (positions) {
      o.alongM = 0.5 * tau * tau + tau * tau * tau + 0.25;  // the reference lies 0.25 m behind
      o.alongVar = 1e-10;
    }
    out.push_back(o);
  }
  return out;
}

TEST(MotionSmoother, AnExactPathComesBackBetweenTheFixesToo) {
  const SmoothedMotion path(rampObservations(true, true), kOnsetS, MotionModel{});
  ASSERT_TRUE(path.valid());
  // (Right after the onset the acceleration is only seen through the fixes
  // after it, and the smoother's is a little off there.)
  for (double t = kOnsetS + 0.5; t < 5.9; t += 0.137) {
    const double tau = t - kOnsetS;
    EXPECT_NEAR(path.speedAt(t), tau + 3.0 * tau * tau, 2e-3) << t;
    EXPECT_NEAR(path.distanceAt(t), 0.5 * tau * tau + tau * tau * tau, 2e-4) << t;
  }
  EXPECT_EQ(path.distanceAt(kOnsetS - 0.5), 0.0);
  EXPECT_EQ(path.epochAt(kOnsetS), 0);
  EXPECT_EQ(path.epochAt(kOnsetS + 0.01), -1);
}

TEST(MotionSmoother, CovariancesHangTogether) {
  std::vector<MotionObservation> noisy = rampObservations(true, false);
  std::mt19937 engine(4);
  std::normal_distribution<double> unit(0.0, 1.0);
  for (MotionObservation& o : noisy) {
    o.speedMps += 0.05 * unit(engine);
    o.speedVar = 0.0025;
  }
  const SmoothedMotion path(noisy, kOnsetS, MotionModel{}, {3.0, 5.0});
  const int i = path.epochAt(3.0), j = path.epochAt(5.0);
  ASSERT_GE(i, 0);
  ASSERT_GT(j, i);
  const StateMatrix same = path.crossCovariance(static_cast<size_t>(i), static_cast<size_t>(i));
  EXPECT_EQ(same, path.covariance(static_cast<size_t>(i)));
  const StateMatrix cross = path.crossCovariance(static_cast<size_t>(i), static_cast<size_t>(j));
  const double varI = path.covariance(static_cast<size_t>(i))[0], varJ = path.covariance(static_cast<size_t>(j))[0];
  // From speeds alone the distance is their sum: an error at 3 s is still
  // there at 5 s, so the two correlate, and the distance between them is
  // known better than either.
  EXPECT_GT(cross[0], 0.0);
  EXPECT_LE(cross[0] * cross[0], varI * varJ * (1.0 + 1e-9));
  EXPECT_LT(varI + varJ - 2.0 * cross[0], varJ);
}

TEST(MotionSmoother, TheOnsetsLikelihoodPeaksAtTheOnset) {
  for (const bool speeds : {true, false}) {
    const std::vector<MotionObservation> observations = rampObservations(speeds, !speeds);
    const std::optional<OnsetEstimate> onset = estimateOnset(observations, {1.0, 3.0}, MotionModel{});
    ASSERT_TRUE(onset.has_value()) << speeds;
    EXPECT_NEAR(onset->t0S, kOnsetS, 0.002) << speeds;
    EXPECT_LE(onset->lowS, kOnsetS);
    EXPECT_GE(onset->highS, kOnsetS);
  }
}

TEST(MotionSmoother, NoiseIsReadFromDifferencesThatCancelTheMotion) {
  std::mt19937 engine(9);
  std::normal_distribution<double> unit(0.0, 1.0);
  std::vector<double> t, smooth, noisy;
  for (int i = 0; i < 400; ++i) {
    t.push_back(i * 0.04);
    smooth.push_back(3.0 * t.back() * t.back() * t.back() - t.back());
    noisy.push_back(smooth.back() + 0.1 * unit(engine));
  }
  EXPECT_LT(noiseFromDifferences(t, smooth, 4), 1e-6);
  EXPECT_NEAR(noiseFromDifferences(t, noisy, 4), 0.1, 0.015);
  EXPECT_NEAR(noiseFromDifferences(t, noisy, 3), 0.1, 0.015);
  EXPECT_EQ(noiseFromDifferences({0.0, 0.1}, {1.0, 2.0}, 3), 0.0);  // too few to tell
}

}  // namespace
}  // namespace corvantis::slip
