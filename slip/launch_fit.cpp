#include "slip/launch_fit.h"

#include <cmath>
#include <limits>

namespace corvantis::slip {
namespace {

// The model's basis functions at tau for a ramp r: speed = A*r1 + B*r2,
// distance = A*s1 + B*s2 (see the header for the model).
struct Basis {
  double r1 = 0.0, r2 = 0.0, s1 = 0.0, s2 = 0.0;
};

Basis basisAt(double tau, double r) {
  Basis b;
  if (tau <= 0.0) return b;
  if (r <= 0.0) {
    b.r1 = tau;
    b.r2 = tau * tau / 2.0;
    b.s1 = tau * tau / 2.0;
    b.s2 = tau * tau * tau / 6.0;
  } else if (tau < r) {
    b.r1 = tau * tau / (2.0 * r);
    b.r2 = tau * tau * tau / (3.0 * r);
    b.s1 = tau * tau * tau / (6.0 * r);
    b.s2 = tau * tau * tau * tau / (12.0 * r);
  } else {
    b.r1 = tau - r / 2.0;
    b.r2 = r * r / 3.0 + (tau * tau - r * r) / 2.0;
    b.s1 = r * r / 6.0 + (tau * tau - r * tau) / 2.0;
    b.s2 = r * r * r / 12.0 - r * r * (tau - r) / 6.0 + (tau * tau * tau - r * r * r) / 6.0;
  }
  return b;
}

// Solves the n x n system m * x = y (n <= 3) by Gaussian elimination with
// pivoting. False when it is singular.
bool solve(int n, double m[3][3], double y[3], double x[3]) {
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int row = col + 1; row < n; ++row) {
      if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) pivot = row;
    }
    if (std::fabs(m[pivot][col]) < 1e-12) return false;
    if (pivot != col) {
      for (int k = 0; k < n; ++k) std::swap(m[col][k], m[pivot][k]);
      std::swap(y[col], y[pivot]);
    }
    for (int row = col + 1; row < n; ++row) {
      const double f = m[row][col] / m[col][col];
      for (int k = col; k < n; ++k) m[row][k] -= f * m[col][k];
      y[row] -= f * y[col];
    }
  }
  for (int row = n - 1; row >= 0; --row) {
    double v = y[row];
    for (int k = row + 1; k < n; ++k) v -= m[row][k] * x[k];
    x[row] = v / m[row][row];
  }
  return true;
}

struct Trial {
  double residual = std::numeric_limits<double>::infinity();
  LaunchModel model;
};

// The best A, B (and C) for a given start and ramp, and its residual.
Trial tryStart(const std::vector<LaunchSample>& samples, FitQuantity quantity, bool trend, double t0, double r) {
  // Unknowns in order: A, B (when trend), C (distance fits).
  const bool distance = quantity == FitQuantity::Distance;
  const int n = 1 + (trend ? 1 : 0) + (distance ? 1 : 0);
  double m[3][3] = {};
  double y[3] = {};
  auto row = [&](const Basis& b, double out[3]) {
    int k = 0;
    out[k++] = distance ? b.s1 : b.r1;
    if (trend) out[k++] = distance ? b.s2 : b.r2;
    if (distance) out[k++] = 1.0;
  };
  for (const LaunchSample& s : samples) {
    double a[3] = {};
    row(basisAt(s.tS - t0, r), a);
    for (int i = 0; i < n; ++i) {
      y[i] += a[i] * s.value;
      for (int j = 0; j < n; ++j) m[i][j] += a[i] * a[j];
    }
  }
  Trial trial;
  double x[3] = {};
  if (!solve(n, m, y, x)) return trial;
  trial.model.t0S = t0;
  trial.model.rampS = r;
  trial.model.accelA = x[0];
  trial.model.accelB = trend ? x[1] : 0.0;
  trial.model.offsetM = distance ? x[n - 1] : 0.0;
  if (!(trial.model.accelA > 0.0)) return trial;
  double residual = 0.0;
  for (const LaunchSample& s : samples) {
    double a[3] = {};
    row(basisAt(s.tS - t0, r), a);
    double fitted = 0.0;
    for (int i = 0; i < n; ++i) fitted += a[i] * x[i];
    residual += (s.value - fitted) * (s.value - fitted);
  }
  trial.residual = residual;
  return trial;
}

constexpr double kTieBreakPerS = 1e-9;
// A typical take-up shifts the path by a r^2 / 24, about 1.5 cm in all, and
// telling its length to within a few hundredths of a second takes distances
// good to a fraction of a millimetre; noisier ones (any receiver's rounded
// positions) only blur it.
constexpr double kTakeUpDistanceM = 0.0005;
// A residual variance under this is rounding: the samples are exact.
constexpr double kExactVariance = 1e-10;

// What the search minimises: the residual in units of the noise, plus how
// unlikely the take-up is (a Gaussian prior around the typical one).
struct Objective {
  double noiseVariance = 0.0;  // 0: the residual alone
  double typicalRampS = 0.0;
  double rampSigmaS = 0.0;
  double operator()(const Trial& trial) const {
    // Without a noise measure: the residual, and among fits that explain the
    // samples equally (a take-up that ends between two fixes) the shortest.
    if (noiseVariance <= 0.0) return trial.residual + kTieBreakPerS * trial.model.rampS;
    const double z = (trial.model.rampS - typicalRampS) / rampSigmaS;
    return trial.residual / noiseVariance + z * z;
  }
};

// Searches t0 in [t0Lo, t0Hi] and the ramp in [rLo, rHi] on a grid.
Trial searchGrid(const std::vector<LaunchSample>& samples, FitQuantity quantity, bool trend, const Objective& objective,
                 double t0Lo, double t0Hi, double t0Step, double rLo, double rHi, double rStep) {
  Trial best;
  double bestScore = std::numeric_limits<double>::infinity();
  for (double r = rLo; r <= rHi + rStep * 0.5; r += rStep) {
    for (double t0 = t0Lo; t0 <= t0Hi + t0Step * 0.5; t0 += t0Step) {
      const Trial trial = tryStart(samples, quantity, trend, t0, r < 0.0 ? 0.0 : r);
      if (!std::isfinite(trial.residual)) continue;
      const double score = objective(trial);
      if (score < bestScore) {
        bestScore = score;
        best = trial;
      }
    }
  }
  return best;
}

// Coarse to fine: 5 ms by 20 ms; then every take-up at 2 ms, each with the
// start 0.1 ms apart along the valley where t0 + take-up / 2 (the start of
// an equivalent full acceleration, which the fixes fix best) stays near the
// coarse best; then the start alone to 0.01 ms (the slips round to whole
// milliseconds).
Trial search(const std::vector<LaunchSample>& samples, FitQuantity quantity, const FitLimits& limits,
             const Objective& objective) {
  const bool ramp = limits.fitRamp;
  const double rLo = ramp ? 0.0 : limits.typicalRampS;
  const double rHi = ramp ? limits.rampMaxS : limits.typicalRampS;
  const double rStep = ramp ? 0.02 : 1.0;
  Trial best = searchGrid(samples, quantity, limits.fitTrend, objective, limits.t0MinS, limits.t0MaxS, 0.005, rLo,
                          rHi, rStep);
  if (!std::isfinite(best.residual)) return best;
  const auto clampT0 = [&](double t) { return std::fmin(std::fmax(t, limits.t0MinS), limits.t0MaxS); };
  const double equivalentStart = best.model.t0S + best.model.rampS / 2.0;
  Trial fine = best;
  double fineScore = objective(best);
  for (double r = rLo; r <= rHi + 0.001; r += ramp ? 0.002 : 1.0) {
    const double t0 = equivalentStart - r / 2.0;
    const Trial trial = searchGrid(samples, quantity, limits.fitTrend, objective, clampT0(t0 - 0.006),
                                   clampT0(t0 + 0.006), 0.0001, r, r, 1.0);
    if (std::isfinite(trial.residual) && objective(trial) < fineScore) {
      fineScore = objective(trial);
      fine = trial;
    }
  }
  const double r = fine.model.rampS;
  return searchGrid(samples, quantity, limits.fitTrend, objective, clampT0(fine.model.t0S - 0.0001),
                    clampT0(fine.model.t0S + 0.0001), 0.00001, r, r, 1.0);
}

}  // namespace

double LaunchModel::speedAt(double tS) const {
  const Basis b = basisAt(tS - t0S, rampS);
  return accelA * b.r1 + accelB * b.r2;
}

double LaunchModel::distanceAt(double tS) const {
  const Basis b = basisAt(tS - t0S, rampS);
  return accelA * b.s1 + accelB * b.s2;
}

std::optional<LaunchModel> fitLaunch(const std::vector<LaunchSample>& samples, FitQuantity quantity,
                                     const FitLimits& limits) {
  if (!(limits.t0MaxS >= limits.t0MinS)) return std::nullopt;
  int moving = 0;
  for (const LaunchSample& s : samples) {
    if (s.tS > limits.t0MinS) ++moving;
  }
  const int unknowns = 1 + (limits.fitTrend ? 1 : 0) + (quantity == FitQuantity::Distance ? 1 : 0);
  if (moving < unknowns + 1) return std::nullopt;

  // First by the residual alone; its size then tells the noise of the
  // samples, which weighs the residual against the take-up's prior.
  Trial best = search(samples, quantity, limits, Objective{});
  if (!std::isfinite(best.residual)) return std::nullopt;
  if (limits.fitRamp && limits.rampSigmaS > 0.0) {
    const int freedom = static_cast<int>(samples.size()) - unknowns - 2;
    const double variance = freedom > 0 ? best.residual / freedom : 0.0;
    // Exact samples need no prior: they show the take-up, or that it ended
    // before the first moving fix. Distances noisier than the few
    // centimetres a take-up adds cannot show it at all, nor can noisy speeds
    // with only one or two inside it: it is the typical one.
    const bool blurred = (quantity == FitQuantity::Distance && variance > kTakeUpDistanceM * kTakeUpDistanceM) ||
                         (!limits.rampShowsThroughNoise && variance > kExactVariance);
    if (blurred) {
      FitLimits typical = limits;
      typical.fitRamp = false;
      const Trial fixedRamp = search(samples, quantity, typical, Objective{});
      if (std::isfinite(fixedRamp.residual)) best = fixedRamp;
    } else if (variance > kExactVariance) {
      const Trial steadied = search(samples, quantity, limits, Objective{variance, limits.typicalRampS, limits.rampSigmaS});
      if (std::isfinite(steadied.residual)) best = steadied;
    }
  }
  return best.model;
}

}  // namespace corvantis::slip
