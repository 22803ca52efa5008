// Accuracy of the time slips against the simulator's exact truth: for each
// fix rate and receiver, standing-start quarter miles through the slip, every
// mark compared with the true instant measured from the true first motion
// (and, with --rollout, from the true instant of one foot). Prints one table
// row per receiver, mark and speed source.
//
//   build/release/bench/slip/slip_accuracy [--runs N] [--rollout] [--take-up S]
//
// --take-up gives the car another clutch take-up than the simulator's own
// (0.25 s), to see how far the slips lean on the typical take-up.
//
// Each row: the mark, how many launches reached it, the median, 95th
// percentile and largest absolute error (ms; trap speeds in mph), and the
// share within the goal (10 ms without noise, 50 ms or 0.5 mph with it).
// "positions" rows are the same logs with the speed over ground taken out;
// "stored" rows are the meter's own stored runs of the same launches.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "slip/nmea_motion.h"
#include "slip/time_slip.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace {

using corvantis::slip::MotionFix;
using corvantis::slip::SlipOptions;
using corvantis::slip::TimeSlip;
namespace sim = corvantis::sim;

constexpr double kMpsToMph = 1.0 / 0.44704;

struct Config {
  int rateHz;
  bool noise;
  uint64_t seed;
};

struct Errors {
  std::vector<double> values;
  void add(double v) { values.push_back(std::fabs(v)); }
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
  return v[std::min(i, v.size() - 1)];
}

void printRow(const char* receiver, const char* source, const std::string& mark, const Errors& e, double goal,
              const char* unit) {
  const auto within = std::count_if(e.values.begin(), e.values.end(), [&](double v) { return v <= goal; });
  std::printf("| %-22s | %-9s | %-13s | %3zu | %8.2f | %8.2f | %8.2f | %4s | %5.1f %% |\n", receiver, source,
              mark.c_str(), e.values.size(), percentile(e.values, 0.5), percentile(e.values, 0.95),
              percentile(e.values, 1.0), unit, e.values.empty() ? 0.0 : 100.0 * static_cast<double>(within) / static_cast<double>(e.values.size()));
}

// Time of the true passing of a distance from the standing position.
double trueDistanceMs(const sim::StandingStart& s, double metres) {
  const auto at = s.distanceMs(metres);
  return at ? *at : NAN;
}

// Time of the true first passing of a speed (the truth lists them in mph).
double trueSpeedMs(const sim::StandingStart& s, double mps) {
  for (const sim::SpeedPassing& p : s.speeds) {
    if (std::fabs(p.mph * 0.44704 - mps) < 1e-6) return p.firstMs;
  }
  return NAN;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 20;
  bool rollout = false;
  double takeUpS = -1.0;  // the car's clutch take-up; below 0: the simulator's own
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--take-up") == 0 && i + 1 < argc) takeUpS = std::atof(argv[++i]);
    if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--rollout") == 0) rollout = true;
  }
  const std::vector<Config> configs = {{10, false, 1}, {10, true, 11}, {20, true, 21}, {5, true, 5}, {1, true, 3},
                                       {20, false, 2}, {5, false, 6}, {1, false, 4}};
  std::printf("| receiver | source | mark | n | median | p95 | max | unit | within goal |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const Config& config : configs) {
    sim::ScenarioParams params;
    params.runs = runs;
    if (takeUpS >= 0.0) params.car.launchRampS = takeUpS;
    params.speedsMph = {60.0, 62.13711922373339};
    params.distancesM.clear();
    for (const auto& mark : corvantis::slip::markDefinitions()) {
      if (mark.distanceM <= 0.0) continue;
      params.distancesM.push_back(mark.distanceM);
      if (mark.trap) params.distancesM.push_back(mark.distanceM - corvantis::slip::kTrapLengthM);
    }
    params.distancesM.push_back(corvantis::slip::kRolloutM);
    params.distancesM.push_back(402.336);  // the scenario's own distance, listed once
    std::sort(params.distancesM.begin(), params.distancesM.end());
    params.distancesM.erase(std::unique(params.distancesM.begin(), params.distancesM.end()), params.distancesM.end());
    sim::ReceiverOptions receiver;
    receiver.rateHz = config.rateHz;
    receiver.noise = config.noise;
    receiver.seed = config.seed;
    const sim::SimResult result = sim::simulate(sim::quarterScenario(params), receiver);
    const std::string log = sim::renderLog(result);
    char name[64];
    std::snprintf(name, sizeof name, "%d Hz %s", config.rateHz, config.noise ? "realistic noise" : "no noise");
    const double timeGoal = config.noise ? 50.0 : 10.0;

    // The meter's own stored times of the same launches, for comparison.
    {
      const std::vector<uint8_t> bytes(log.begin(), log.end());
      corvantis::analyze::TimingSession session;
      corvantis::loadSettingsDefaults(session.settings);
      const auto accel = corvantis::analyze::runAccelerationPass(bytes, session, {"0", "60"});
      const auto quarter = corvantis::analyze::runDistancePass(bytes, session, std::string("440"));
      Errors stored60, storedQuarter;
      for (const sim::StandingStart& start : result.truth.starts) {
        const double stopMs = start.stopMs.value_or(1e12);
        for (const auto& run : accel) {
          if (run.storedAtFixMs >= start.launchMs && run.storedAtFixMs <= stopMs) {
            stored60.add(run.timeMs - (trueSpeedMs(start, 26.8224) - start.launchMs));
          }
        }
        for (const auto& run : quarter) {
          if (run.storedAtFixMs >= start.launchMs && run.storedAtFixMs <= stopMs) {
            storedQuarter.add(run.timeMs - (trueDistanceMs(start, 402.336) - start.launchMs));
          }
        }
      }
      printRow(name, "stored", "0-60", stored60, timeGoal, "ms");
      printRow(name, "stored", "1/4", storedQuarter, timeGoal, "ms");
    }

    for (const bool withSpeed : {true, false}) {
      std::vector<MotionFix> fixes = corvantis::slip::readMotion(log);
      if (!withSpeed) {
        for (MotionFix& fix : fixes) fix.hasSpeed = false;
      }
      SlipOptions options;
      options.rollout = rollout;
      const std::vector<TimeSlip> slips = corvantis::slip::timeSlips(fixes, options);
      std::map<std::string, Errors> errors;
      Errors launch, traps;
      int matched = 0;
      for (const sim::StandingStart& start : result.truth.starts) {
        const TimeSlip* best = nullptr;
        for (const TimeSlip& slip : slips) {
          if (std::fabs(slip.launchMs - start.launchMs) < 1000.0) best = &slip;
        }
        if (best == nullptr) continue;
        ++matched;
        launch.add(best->launchMs - start.launchMs);
        const double clockStart = rollout ? trueDistanceMs(start, corvantis::slip::kRolloutM) : start.launchMs;
        for (const auto& mark : best->marks) {
          if (!mark.reached) continue;
          const auto& def = *mark.definition;
          const double truth =
              def.distanceM > 0.0 ? trueDistanceMs(start, def.distanceM) : trueSpeedMs(start, def.speedMps);
          if (std::isnan(truth)) continue;
          errors[def.key].add(mark.timeMs - (truth - clockStart));
          if (mark.hasTrap) {
            const double from = trueDistanceMs(start, def.distanceM - corvantis::slip::kTrapLengthM);
            const double trueTrapMps = corvantis::slip::kTrapLengthM / ((truth - from) / 1000.0);
            traps.add((mark.trapMps - trueTrapMps) * kMpsToMph);
          }
        }
      }
      const char* source = withSpeed ? "speed" : "positions";
      std::printf("| %-22s | %-9s | %-13s | %3d of %zu launches found |  |  |  |  |  |\n", name, source, "launches",
                  matched, result.truth.starts.size());
      printRow(name, source, "first motion", launch, timeGoal, "ms");
      for (const auto& def : corvantis::slip::markDefinitions()) printRow(name, source, def.key, errors[def.key], timeGoal, "ms");
      printRow(name, source, "trap speeds", traps, 0.5, "mph");
    }
  }
  return 0;
}
