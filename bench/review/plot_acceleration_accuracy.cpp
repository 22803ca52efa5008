// How close the run plot's acceleration is to the car's true acceleration:
// simulated drives with realistic receiver noise go through the analyzer's
// real screens, and every sample of each stored 0-60 mph run and each lap is
// plotted as the plot screen would and compared with the simulator's exact
// acceleration at that fix's instant. Also the largest acceleration plotted
// over the demo's drive.
//
//   build/release/bench/review/plot_acceleration_accuracy [--half-window MS] [--seeds N] [--rate HZ]
//       [--decimals N] [--noise 0|1] [--before]
//
// --before measures the acceleration the plot drew before (the difference of
// two consecutive trace speeds); --decimals and --noise change the receiver
// (decimals of the minutes in positions, noise on or off).
//
// Seeds alternate between two halves: the odd seeds are the ones the window
// was chosen on, the even ones are only reported, so the figures of the
// second half are not tuned to the drives they measure.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "review/plot_geometry.h"
#include "store/settings.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace {

using namespace corvantis;
namespace sim = corvantis::sim;

// The plot's own g (its labels use 1 g = 9.8 m/s^2).
constexpr double kMetresPerS2PerG = 9.8;

struct Errors {
  double sumSquares = 0.0;
  size_t samples = 0;
  std::vector<double> perRunRms;
  double largestPlottedG = 0.0;

  void addRun(const std::vector<double>& errorsG) {
    double sum = 0.0;
    for (double e : errorsG) sum += e * e;
    sumSquares += sum;
    samples += errorsG.size();
    if (!errorsG.empty()) perRunRms.push_back(std::sqrt(sum / static_cast<double>(errorsG.size())));
  }
  double rms() const { return samples == 0 ? NAN : std::sqrt(sumSquares / static_cast<double>(samples)); }
  double worstRunRms() const { return perRunRms.empty() ? NAN : *std::max_element(perRunRms.begin(), perRunRms.end()); }
};

std::vector<uint8_t> logOf(const sim::SimResult& result) {
  const std::string text = sim::renderLog(result);
  return {text.begin(), text.end()};
}

bool gBefore = false;  // --before: the difference of consecutive speeds the plot drew before
bool gNoise = true;
int gDecimals = 4;

// The acceleration the plot drew before: the difference of two consecutive
// trace speeds over their interval, in single precision as it was drawn.
std::vector<double> consecutiveDifferenceMilliG(const std::vector<TraceSample>& s, size_t n) {
  std::vector<double> out(n, NAN);
  for (size_t j = 1; j < n; ++j) {
    if (s[j].time == s[j - 1].time) continue;
    const float mphPerS = (s[j].speed - s[j - 1].speed) * 1000.0f / static_cast<float>(s[j].time - s[j - 1].time);
    const auto metresPerS2 = static_cast<float>(static_cast<double>(mphPerS) * 1.609344 * 0.2777777777777778);
    out[j] = static_cast<double>(metresPerS2) * 0.10204081 * 1000.0;
  }
  return out;
}

double gKinkLambda = -1.0;  // --kink L: one-kink local model, BMA with penalty L
int gKinkMode = 0;         // 0: model averaging, 1: hard choice

// Least squares of d over basis columns (up to 4), returns RSS and coefficients.
bool solveLsq(const std::vector<std::array<double, 4>>& x, const std::vector<double>& y, int p, std::array<double, 4>& c,
              double& rss) {
  double a[4][5] = {};
  for (size_t i = 0; i < y.size(); ++i) {
    for (int r = 0; r < p; ++r) {
      for (int q = 0; q < p; ++q) a[r][q] += x[i][r] * x[i][q];
      a[r][4] += x[i][r] * y[i];
    }
  }
  // Gaussian elimination with partial pivoting.
  int perm[4] = {0, 1, 2, 3};
  (void)perm;
  for (int col = 0; col < p; ++col) {
    int piv = col;
    for (int r = col + 1; r < p; ++r) if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
    if (std::fabs(a[piv][col]) < 1e-12) return false;
    for (int q = 0; q < 5; ++q) std::swap(a[col][q], a[piv][q]);
    for (int r = 0; r < p; ++r) {
      if (r == col) continue;
      const double f = a[r][col] / a[col][col];
      for (int q = col; q < 5; ++q) a[r][q] -= f * a[col][q];
    }
  }
  for (int r = 0; r < p; ++r) c[r] = a[r][4] / a[r][r];
  rss = 0.0;
  for (size_t i = 0; i < y.size(); ++i) {
    double f = 0.0;
    for (int r = 0; r < p; ++r) f += c[r] * x[i][r];
    rss += (y[i] - f) * (y[i] - f);
  }
  return true;
}

std::vector<double> kinkAccelerationMilliG(const std::vector<TraceSample>& trace, size_t n, int64_t halfWindowMs) {
  std::vector<double> out(n, NAN);
  // Noise of the distances: median of the quadratic fits' residual variance.
  std::vector<double> variances;
  struct Window { size_t first, last; };
  std::vector<Window> windows(n);
  for (size_t j = 0; j < n; ++j) {
    size_t first = j, last = j;
    auto off = [&](size_t k) { return static_cast<int64_t>(trace[k].time) - static_cast<int64_t>(trace[j].time); };
    while (first > 0 && std::llabs(off(first - 1)) <= halfWindowMs) --first;
    while (last + 1 < n && std::llabs(off(last + 1)) <= halfWindowMs) ++last;
    while (last - first < 3 && (first > 0 || last + 1 < n)) {
      if (first > 0 && (last + 1 >= n || std::llabs(off(first - 1)) <= std::llabs(off(last + 1)))) --first; else ++last;
    }
    windows[j] = {first, last};
  }
  std::vector<std::array<double, 4>> x;
  std::vector<double> y, ts;
  for (size_t j = 0; j < n; ++j) {
    const auto [first, last] = windows[j];
    x.clear(); y.clear(); ts.clear();
    for (size_t k = first; k <= last; ++k) {
      const double t = (static_cast<double>(trace[k].time) - static_cast<double>(trace[j].time)) / 1000.0;
      ts.push_back(t);
      x.push_back({1.0, t, t * t, 0.0});
      y.push_back(static_cast<double>(trace[k].distance) - static_cast<double>(trace[j].distance));
    }
    std::array<double, 4> c{};
    double rss = 0.0;
    if (y.size() > 4 && solveLsq(x, y, 3, c, rss)) variances.push_back(rss / static_cast<double>(y.size() - 3));
  }
  if (variances.empty()) return out;
  std::nth_element(variances.begin(), variances.begin() + variances.size() / 2, variances.end());
  const double sigma2 = std::max(variances[variances.size() / 2], 1e-6);
  for (size_t j = 0; j < n; ++j) {
    const auto [first, last] = windows[j];
    x.clear(); y.clear(); ts.clear();
    for (size_t k = first; k <= last; ++k) {
      const double t = (static_cast<double>(trace[k].time) - static_cast<double>(trace[j].time)) / 1000.0;
      ts.push_back(t);
      x.push_back({1.0, t, t * t, 0.0});
      y.push_back(static_cast<double>(trace[k].distance) - static_cast<double>(trace[j].distance));
    }
    std::array<double, 4> c{};
    double rss0 = 0.0;
    if (!solveLsq(x, y, 3, c, rss0)) continue;
    double bestLog = -rss0 / (2 * sigma2);
    double sumW = 1.0;                   // relative to model 0
    double sumWA = 2.0 * c[2];
    double hardA = 2.0 * c[2];
    double hardBest = -rss0 / (2 * sigma2);
    // Candidate kinks between the third sample and the third last.
    std::vector<std::pair<double, double>> models;  // log weight, accel
    if (y.size() >= 6) {
      for (size_t k = 1; k + 2 < y.size(); ++k) {
        for (int half = 0; half < 2; ++half) {
          const double tau = half == 0 ? ts[k] : 0.5 * (ts[k] + ts[k + 1]);
          for (size_t i = 0; i < y.size(); ++i) x[i][3] = ts[i] > tau ? (ts[i] - tau) * (ts[i] - tau) : 0.0;
          std::array<double, 4> ck{};
          double rss1 = 0.0;
          if (!solveLsq(x, y, 4, ck, rss1)) continue;
          const double a = 2.0 * ck[2] + (0.0 > tau ? 2.0 * ck[3] : (0.0 == tau ? ck[3] : 0.0));
          const double logW = -rss1 / (2 * sigma2) - gKinkLambda;
          models.push_back({logW, a});
          if (logW > hardBest) { hardBest = logW; hardA = a; }
        }
      }
    }
    double m = bestLog;
    for (auto& [lw, a] : models) m = std::max(m, lw);
    sumW = std::exp(bestLog - m);
    sumWA = sumW * 2.0 * c[2];
    for (auto& [lw, a] : models) {
      const double w = std::exp(lw - m);
      sumW += w;
      sumWA += w * a;
    }
    const double a = gKinkMode == 1 ? hardA : sumWA / sumW;
    out[j] = a / 9.8 * 1000.0;
  }
  return out;
}

// Plotted minus true acceleration (g) at every sample of a stored trace.
std::vector<double> runErrors(const RunRecord& run, const sim::SimResult& result, int64_t halfWindowMs,
                              double& largestPlottedG) {
  const size_t n = std::min(run.trace.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
  const std::vector<double> milliG =
      gBefore ? consecutiveDifferenceMilliG(run.trace, n)
      : gKinkLambda >= 0.0 ? kinkAccelerationMilliG(run.trace, n, halfWindowMs)
                           : traceAccelerationMilliG(run.trace, n, halfWindowMs);
  std::vector<double> errors;
  for (size_t j = 0; j < n; ++j) {
    if (std::isnan(milliG[j])) continue;
    const double plottedG = milliG[j] / 1000.0;
    largestPlottedG = std::max(largestPlottedG, std::fabs(plottedG));
    const double driveS = (static_cast<double>(run.trace[j].time) - result.truth.startMs) / 1000.0;
    const double trueG = result.trace.stateAt(driveS).aMps2 / kMetresPerS2PerG;
    errors.push_back(plottedG - trueG);
  }
  return errors;
}

sim::ReceiverOptions receiverFor(int rateHz, uint64_t seed) {
  sim::ReceiverOptions receiver;
  receiver.rateHz = rateHz;
  receiver.seed = seed;
  receiver.noise = gNoise;
  receiver.minuteDecimals = gDecimals;
  return receiver;  // the simulator's realistic noise: its defaults
}

void measureRuns(uint64_t seed, int rateHz, int64_t halfWindowMs, Errors& errors) {
  sim::ScenarioParams params;
  params.runs = 3;
  params.toMph = 70.0;
  const sim::SimResult result = sim::simulate(sim::accelScenario(params), receiverFor(rateHz, seed));
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  analyze::runAccelerationPass(logOf(result), session, analyze::AccelerationDefinition{});
  for (const RecordSet& set : session.records.sets()) {
    for (int i = 0; i < set.filledCount(); ++i) {
      errors.addRun(runErrors(set.runs[static_cast<size_t>(i)], result, halfWindowMs, errors.largestPlottedG));
    }
  }
}

// Records the circuit from the first timed lap, then times every lap.
bool timeLaps(const sim::SimResult& result, analyze::TimingSession& session, int& index) {
  const sim::LapTruth& first = result.truth.circuit->laps.at(0);
  analyze::LapDefineRequest request;
  request.name = "Sim Circuit";
  request.fromMs = static_cast<uint32_t>(std::ceil(first.startMs));
  request.toMs = static_cast<uint32_t>(first.endMs) + 10000;
  for (const sim::DistancePassing& split : first.splits) request.splitsMs.push_back(static_cast<uint32_t>(split.ms));
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(logOf(result), session, request);
  if (!made.created) {
    std::fprintf(stderr, "track not recorded: %s\n", made.message.c_str());
    return false;
  }
  index = made.index;
  analyze::runLapPass(logOf(result), session, index);
  return true;
}

void measureLaps(const sim::Scenario& scenario, uint64_t seed, int rateHz, int64_t halfWindowMs, Errors& errors) {
  const sim::SimResult result = sim::simulate(scenario, receiverFor(rateHz, seed));
  analyze::TimingSession session;
  int index = -1;
  if (!timeLaps(result, session, index)) return;
  const LapDefinition& lap = session.laps.at(static_cast<size_t>(index));
  for (int i = 0; i < lap.lapCount; ++i) {
    errors.addRun(runErrors(lap.laps[static_cast<size_t>(i)], result, halfWindowMs, errors.largestPlottedG));
  }
}

// The demo's drive as the program plays it: its 0-60 mph, its quarter mile
// and its laps, the largest acceleration any of them plots.
double demoLargestG(int64_t halfWindowMs) {
  const sim::SimResult result = sim::simulate(sim::demoScenario(), receiverFor(10, 1));
  double largest = 0.0;
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  analyze::runTimingPasses(logOf(result), session, {analyze::AccelerationDefinition{}, analyze::DistanceDefinition{}});
  for (const RecordSet& set : session.records.sets()) {
    for (int i = 0; i < set.filledCount(); ++i) runErrors(set.runs[static_cast<size_t>(i)], result, halfWindowMs, largest);
  }
  analyze::TimingSession laps;
  int index = -1;
  if (timeLaps(result, laps, index)) {
    const LapDefinition& lap = laps.laps.at(static_cast<size_t>(index));
    for (int i = 0; i < lap.lapCount; ++i) runErrors(lap.laps[static_cast<size_t>(i)], result, halfWindowMs, largest);
  }
  return largest;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t halfWindowMs = kSlopeHalfWindowMs;
  int seeds = 10;
  int rateHz = 10;
  for (int i = 1; i < argc; ++i) {
    const char* flag = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "0";
    if (std::strcmp(flag, "--before") == 0) {
      gBefore = true;
      continue;
    }
    if (std::strcmp(flag, "--half-window") == 0) halfWindowMs = std::atoll(value);
    else if (std::strcmp(flag, "--seeds") == 0) seeds = std::atoi(value);
    else if (std::strcmp(flag, "--rate") == 0) rateHz = std::atoi(value);
    else if (std::strcmp(flag, "--decimals") == 0) gDecimals = std::atoi(value);
    else if (std::strcmp(flag, "--noise") == 0) gNoise = std::atoi(value) != 0;
    else if (std::strcmp(flag, "--kink") == 0) gKinkLambda = std::atof(value);
    else if (std::strcmp(flag, "--kink-mode") == 0) gKinkMode = std::atoi(value);
    else {
      std::fprintf(stderr, "unknown option %s\n", flag);
      return 2;
    }
    ++i;
  }
  std::printf("%s, %d Hz, %d seeds a half, positions to %d decimals of a minute%s\n",
              gBefore ? "before: consecutive speed differences" : "quadratic through the distances", rateHz, seeds,
              gDecimals, gNoise ? "" : ", no noise");
  if (!gBefore) std::printf("half window %lld ms\n", static_cast<long long>(halfWindowMs));
  std::printf("| half | drive | runs | RMS (g) | worst run RMS (g) | largest plotted (g) |\n|---|---|---|---|---|---|\n");
  for (int half = 0; half < 2; ++half) {
    Errors runs;
    Errors laps;
    for (int k = 0; k < seeds; ++k) {
      const uint64_t seed = static_cast<uint64_t>(2 * k + 1 + half);  // odd: choosing, even: reported
      measureRuns(seed, rateHz, halfWindowMs, runs);
      sim::ScenarioParams params;
      params.laps = 2;
      measureLaps(sim::lapsScenario(params), seed, rateHz, halfWindowMs, laps);
    }
    const char* name = half == 0 ? "choosing" : "reported";
    std::printf("| %s | 0-60 mph | %zu | %.3f | %.3f | %.2f |\n", name, runs.perRunRms.size(), runs.rms(),
                runs.worstRunRms(), runs.largestPlottedG);
    std::printf("| %s | lap | %zu | %.3f | %.3f | %.2f |\n", name, laps.perRunRms.size(), laps.rms(),
                laps.worstRunRms(), laps.largestPlottedG);
  }
  std::printf("demo drive: largest plotted %.2f g\n", demoLargestG(halfWindowMs));
  return 0;
}
