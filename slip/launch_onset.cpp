#include "slip/launch_onset.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <limits>
#include <system_error>
#include <thread>

namespace corvantis::slip {
namespace {

constexpr double kCoarseStepS = 0.005;
constexpr double kFineStepS = 0.0005;
constexpr int kMostFinePoints = 400;
constexpr size_t kMostThreads = 8;
// Candidates this far below the best in log-likelihood carry no weight.
constexpr double kNegligibleLog = 25.0;

const std::vector<double> kPhasesS{0.04, 0.08, 0.12, 0.17, 0.23, 0.3, 0.4, 0.5, 0.65};
// How the drive force meets the road at the onset, equally likely: from
// nothing along a steady ramp (the throttle opened), at once (a step, a
// creep, a clutch already slipping), or from nothing along a ramp that
// bends as it rises (a clutch meeting the flywheel, S-shaped: the first
// hundredth of a second moves the car by far less than a steady ramp), as
// mean and sd of the acceleration and how far the ramp may bend.
struct Start {
  double accelMean, accelSd;
  double snapDensity;  // m^2/s^7: how far the phase's ramp may bend
};
const std::vector<Start> kStarts{{0.0, 0.3, 1.0}, {4.0, 5.0, 1.0}, {0.0, 0.3, 3000.0}};
const std::vector<double> kOffsetDensities{1e-9, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 4e-3, 1.6e-2};
const std::vector<double> kJerkDensities{100.0, 300.0, 1000.0, 3000.0};

struct Candidate {
  double tS;
  double logLikelihood;
};

// log of the mean of exp(values), without overflow.
double logMeanExp(const std::vector<double>& values) {
  double best = -std::numeric_limits<double>::infinity();
  for (const double v : values) best = std::max(best, v);
  if (!std::isfinite(best)) return best;
  double sum = 0.0;
  for (const double v : values) sum += std::exp(v - best);
  return best + std::log(sum / static_cast<double>(values.size()));
}

// The likelihood of one onset, the launch phase's length and how it starts
// marginalised (their candidates equally likely).
double marginal(const OnsetProfiler& profiler, double t0S) {
  std::vector<double> each;
  each.reserve(kPhasesS.size() * kStarts.size());
  for (const double phase : kPhasesS)
    for (const Start& start : kStarts)
      each.push_back(profiler.logLikelihood(t0S, phase, start.accelMean, start.accelSd, start.snapDensity));
  return logMeanExp(each);
}

std::vector<Candidate> profile(const OnsetProfiler& profiler, double fromS, double toS, double stepS) {
  const int steps = static_cast<int>(std::ceil((toS - fromS) / stepS - 1e-9));
  std::vector<Candidate> grid(static_cast<size_t>(steps) + 1);
  for (int i = 0; i <= steps; ++i) grid[static_cast<size_t>(i)].tS = std::min(fromS + i * stepS, toS);
  // Every candidate's filters run apart from the others', so the grid is
  // shared out among the cores, each taking the next candidate left: a
  // log's launches slip that much sooner, with the same figures.
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < grid.size(); i = next++) grid[i].logLikelihood = marginal(profiler, grid[i].tS);
  };
  const size_t helpers = std::min<size_t>(std::max(std::thread::hardware_concurrency(), 1u), kMostThreads) - 1;
  std::vector<std::future<void>> running;
  try {
    while (running.size() < helpers) running.push_back(std::async(std::launch::async, work));
  } catch (const std::system_error&) {
    // No more threads to be had: those started and this one do it all.
  }
  work();
  for (auto& r : running) r.get();
  std::vector<Candidate> out;
  out.reserve(grid.size());
  for (const Candidate& c : grid) {
    if (std::isfinite(c.logLikelihood)) out.push_back(c);
  }
  return out;
}

// The instant where the posterior's distribution reaches p, from its
// density on the grid (linear between points).
double quantile(const std::vector<Candidate>& grid, const std::vector<double>& cdf, double p) {
  for (size_t i = 1; i < grid.size(); ++i) {
    if (cdf[i] >= p) {
      const double span = cdf[i] - cdf[i - 1];
      const double f = span > 0.0 ? (p - cdf[i - 1]) / span : 0.0;
      return grid[i - 1].tS + f * (grid[i].tS - grid[i - 1].tS);
    }
  }
  return grid.back().tS;
}

// The posterior over the search range for one model.
std::optional<OnsetEstimate> posterior(const std::vector<MotionObservation>& observations, const OnsetSearch& search,
                                       const MotionModel& model) {
  const OnsetProfiler profiler(observations, model);
  const std::vector<Candidate> coarse = profile(profiler, search.fromS, search.toS, kCoarseStepS);
  if (coarse.empty()) return std::nullopt;
  double best = -std::numeric_limits<double>::infinity();
  for (const Candidate& c : coarse) best = std::max(best, c.logLikelihood);
  // Finely over every coarse candidate that carries weight, and a coarse
  // step either side of them.
  double lo = search.toS, hi = search.fromS;
  for (const Candidate& c : coarse) {
    if (c.logLikelihood < best - kNegligibleLog) continue;
    lo = std::min(lo, c.tS - kCoarseStepS);
    hi = std::max(hi, c.tS + kCoarseStepS);
  }
  lo = std::max(lo, search.fromS);
  hi = std::min(hi, search.toS);
  const double step = std::max(kFineStepS, (hi - lo) / kMostFinePoints);
  std::vector<Candidate> fine = hi > lo ? profile(profiler, lo, hi, step) : std::vector<Candidate>{};
  if (fine.size() < 2) fine = coarse;
  OnsetEstimate e;
  e.model = model;
  if (fine.size() < 2) {
    e.t0S = e.lowS = e.highS = fine.front().tS;
    return e;
  }
  best = -std::numeric_limits<double>::infinity();
  for (const Candidate& c : fine) best = std::max(best, c.logLikelihood);
  std::vector<double> cdf(fine.size(), 0.0);
  for (size_t i = 1; i < fine.size(); ++i) {
    const double w0 = std::exp(fine[i - 1].logLikelihood - best), w1 = std::exp(fine[i].logLikelihood - best);
    cdf[i] = cdf[i - 1] + 0.5 * (w0 + w1) * (fine[i].tS - fine[i - 1].tS);
  }
  const double total = cdf.back();
  if (!(total > 0.0)) return std::nullopt;
  for (double& c : cdf) c /= total;
  e.t0S = quantile(fine, cdf, 0.5);
  e.lowS = quantile(fine, cdf, 0.025);
  e.highS = quantile(fine, cdf, 0.975);
  return e;
}

}  // namespace

const std::vector<double>& launchPhasesS() { return kPhasesS; }
const std::vector<double>& offsetDensities() { return kOffsetDensities; }

std::optional<OnsetEstimate> estimateOnset(const std::vector<MotionObservation>& observations,
                                           const OnsetSearch& search, const MotionModel& model) {
  if (!(search.toS >= search.fromS) || observations.empty()) return std::nullopt;
  const std::optional<OnsetEstimate> first = posterior(observations, search, model);
  if (!first) return std::nullopt;
  // The offset's wander: where the standing fixes show it, the one most
  // likely over them; otherwise weighed with the acceleration's at the onset.
  std::vector<double> offsets = kOffsetDensities;
  if (search.offsetFromStanding && observations.front().tS < first->lowS) {
    double bestStanding = -std::numeric_limits<double>::infinity();
    for (const double offsetDensity : kOffsetDensities) {
      MotionModel m = model;
      m.offsetDensity = offsetDensity;
      const double l = OnsetProfiler(observations, m).standingLogLikelihood(first->lowS);
      if (l > bestStanding) {
        bestStanding = l;
        offsets = {offsetDensity};
      }
    }
  }
  MotionModel tuned = model;
  double best = -std::numeric_limits<double>::infinity();
  for (const double offsetDensity : offsets) {
    for (const double jerkDensity : kJerkDensities) {
      MotionModel m = model;
      m.offsetDensity = offsetDensity;
      m.jerkDensity = jerkDensity;
      const double l = marginal(OnsetProfiler(observations, m), first->t0S);
      if (l > best) {
        best = l;
        tuned = m;
      }
    }
  }
  return posterior(observations, search, tuned);
}

}  // namespace corvantis::slip
