// How close the run plot's acceleration is to the car's true acceleration:
// simulated drives with realistic receiver noise go through the analyzer's
// real screens, and every sample of each stored 0-60 mph run and each lap is
// plotted as the plot screen would and compared with the simulator's exact
// acceleration at that fix's instant. Also the largest acceleration plotted
// over the demo's drive.
//
//   build/release/bench/review/plot_acceleration_accuracy [--half-window MS] [--seeds N] [--rate HZ]
//       [--decimals N] [--noise 0|1] [--before] [--log FILE [--lap-from HH:MM:SS --lap-to HH:MM:SS]]
//
// --log adds a recorded log without truth: the largest acceleration plotted
// on each run it stores (and each lap, given the span to record the track
// from), now and before.
//
// --before measures the acceleration the plot drew before (the difference of
// two consecutive trace speeds); --decimals and --noise change the receiver
// (decimals of the minutes in positions, noise on or off).
//
// Seeds alternate between two halves: the odd seeds are the ones the window
// was chosen on, the even ones are only reported, so the figures of the
// second half are not tuned to the drives they measure.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/time_text.h"
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

// Plotted minus true acceleration (g) at every sample of a stored trace.
std::vector<double> runErrors(const RunRecord& run, const sim::SimResult& result, int64_t halfWindowMs,
                              double& largestPlottedG) {
  const size_t n = std::min(run.trace.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
  const std::vector<double> milliG =
      gBefore ? consecutiveDifferenceMilliG(run.trace, n) : traceAccelerationMilliG(run.trace, n, halfWindowMs);
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

// A recorded log (no truth): the largest acceleration the plot draws on
// each stored 0-60 mph run, quarter mile and, given the recording's UTC
// span (ms of the day), lap, against the difference of consecutive speeds
// the plot drew before.
void measureLog(const char* path, uint32_t lapFromMs, uint32_t lapToMs) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::printf("%s: cannot be read\n", path);
    return;
  }
  std::vector<uint8_t> log;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) log.push_back(static_cast<uint8_t>(c));
  std::fclose(file);
  const auto report = [](const char* what, const RunRecord& run) {
    const size_t n = std::min(run.trace.size(), static_cast<size_t>(std::max(run.traceCount, 0)));
    double now = 0.0, before = 0.0;
    for (const double g : traceAccelerationMilliG(run.trace, n)) if (!std::isnan(g)) now = std::max(now, std::fabs(g) / 1000.0);
    for (const double g : consecutiveDifferenceMilliG(run.trace, n)) if (!std::isnan(g)) before = std::max(before, std::fabs(g) / 1000.0);
    std::printf("| %s | %s | %zu | %.2f | %.2f |\n", what, formatRunTime(run.timeMs).c_str(), n, now, before);
  };
  std::printf("\n%s: largest acceleration plotted\n| run | time | samples | now (g) | before (g) |\n|---|---|---|---|---|\n", path);
  analyze::TimingSession session;
  loadSettingsDefaults(session.settings);
  analyze::runTimingPasses(log, session, {analyze::AccelerationDefinition{}, analyze::DistanceDefinition{}});
  for (const RecordSet& set : session.records.sets()) {
    for (int i = 0; i < set.filledCount(); ++i) report(keyFromValue(set.key).isDistance() ? "1/4 mile" : "0-60 mph", set.runs[static_cast<size_t>(i)]);
  }
  if (lapToMs <= lapFromMs) return;
  analyze::TimingSession laps;
  loadSettingsDefaults(laps.settings);
  analyze::LapDefineRequest request;
  request.name = "Recorded";
  request.fromMs = lapFromMs;
  request.toMs = lapToMs;
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, laps, request);
  if (!made.created) return;
  analyze::runLapPass(log, laps, made.index);
  const LapDefinition& lap = laps.laps.at(static_cast<size_t>(made.index));
  for (int i = 0; i < lap.lapCount; ++i) report("lap", lap.laps[static_cast<size_t>(i)]);
}

// "HH:MM:SS[.sss]" as ms of the day.
uint32_t dayMs(const char* text) {
  int h = 0, m = 0;
  double sec = 0.0;
  if (std::sscanf(text, "%d:%d:%lf", &h, &m, &sec) != 3) return 0;
  return static_cast<uint32_t>(std::lround((h * 3600 + m * 60 + sec) * 1000.0));
}

}  // namespace

int main(int argc, char** argv) {
  int64_t halfWindowMs = kSlopeHalfWindowMs;
  int seeds = 10;
  int rateHz = 10;
  const char* logPath = nullptr;
  uint32_t lapFromMs = 0, lapToMs = 0;
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
    else if (std::strcmp(flag, "--log") == 0) logPath = value;
    else if (std::strcmp(flag, "--lap-from") == 0) lapFromMs = dayMs(value);
    else if (std::strcmp(flag, "--lap-to") == 0) lapToMs = dayMs(value);
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
  if (logPath != nullptr) measureLog(logPath, lapFromMs, lapToMs);
  return 0;
}
