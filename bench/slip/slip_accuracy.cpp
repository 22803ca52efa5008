// Accuracy of the time slips against exact truth, over the launches family
// of the simulator (tools/sim/launch_family.h): standing quarter miles whose
// launches are drawn at random (a step, take-up ramps to 0.5 s, a creep,
// wheelspin, a slipping clutch, gear changes anywhere) by cars and
// receivers drawn at random (noise up to 0.3 m a fix with a wandering bias,
// Doppler noise, 0.1 kn or 0.001 kn speeds, 4 to 7 decimals of the minute,
// with or without speed sentences). The family's seeds fall into two fixed
// halves: the method is chosen on one and only reported on the other.
//
//   build/release/bench/slip/slip_accuracy [--half reported|choosing] [--drives N]
//       [--rates 1,5,10,20,25] [--shapes]
//
// One row per fix rate, noise and source (the log's speeds over ground with
// its positions, or the positions alone): launches found, then the errors
// of first motion, of every mark timed from first motion and from the
// one-foot rollout (median, 95th percentile and largest, ms), the share of
// marks whose 95 % ± holds the truth, the mean ±, trap speeds (mph), and the
// stored method's 0-60 mph and quarter mile for comparison. A third row a
// rate and noise times the quarter miles the meter stored from their
// traces alone (the slips of stored runs). --shapes adds,
// without noise, the largest error of each launch kind.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/slip/error_sample.h"
#include "slip/nmea_motion.h"
#include "slip/stored_run_slip.h"
#include "slip/time_slip.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/launch_family.h"
#include "tools/sim/simulator.h"

namespace {

namespace sim = corvantis::sim;
namespace slip = corvantis::slip;
using corvantis::bench::printRow;
using corvantis::bench::Sample;

constexpr double kMpsToMph = 1.0 / 0.44704;

struct Group {
  int launches = 0, found = 0, unseen = 0;
  int comparedWithStored = 0, worseThanStored = 0;  // 0-60 and 1/4 of the same launch
  Sample firstMotion, fromOnset, fromRollout, traps, stored;
};

std::string kindOf(const std::string& launch) { return launch.substr(0, launch.find(':')); }

double trueDistanceMs(const sim::StandingStart& s, double metres) {
  const auto at = s.distanceMs(metres);
  return at ? *at : NAN;
}

double trueSpeedMs(const sim::StandingStart& s, double mps) {
  for (const sim::SpeedPassing& p : s.speeds) {
    if (std::fabs(p.mph * 0.44704 - mps) < 1e-6) return p.firstMs;
  }
  return NAN;
}

std::vector<int> parseRates(const char* text) {
  std::vector<int> out;
  for (const char* p = text; *p != '\0';) {
    out.push_back(std::atoi(p));
    const char* comma = std::strchr(p, ',');
    if (comma == nullptr) break;
    p = comma + 1;
  }
  return out;
}

// The marks of one slip against the truth of its launch.
void score(const slip::TimeSlip& slip, const sim::StandingStart& start, Group& group,
           std::map<std::string, double>* worstByKind) {
  group.firstMotion.add(slip.launchMs - start.launchMs, slip.launchPlusMinusMs);
  if (!slip.firstMotionSeen) ++group.unseen;
  const double rolloutTruth = trueDistanceMs(start, slip::kRolloutM);
  double worst = std::fabs(slip.launchMs - start.launchMs);
  for (const bool fromRollout : {false, true}) {
    const std::vector<slip::MarkResult>& marks = fromRollout ? slip.rolloutMarks : slip.marks;
    const double clock = fromRollout ? rolloutTruth : start.launchMs;
    for (const slip::MarkResult& mark : marks) {
      if (!mark.reached) continue;
      const auto& def = *mark.definition;
      const double truth = def.distanceM > 0.0 ? trueDistanceMs(start, def.distanceM) : trueSpeedMs(start, def.speedMps);
      if (std::isnan(truth)) continue;
      const double error = mark.timeMs - (truth - clock);
      (fromRollout ? group.fromRollout : group.fromOnset).add(error, mark.plusMinusMs);
      worst = std::max(worst, std::fabs(error));
      if (mark.hasTrap && !fromRollout) {
        const double from = trueDistanceMs(start, def.distanceM - slip::kTrapLengthM);
        const double trueTrap = slip::kTrapLengthM / ((truth - from) / 1000.0);
        group.traps.add((mark.trapMps - trueTrap) * kMpsToMph, mark.trapPlusMinusMps * kMpsToMph);
      }
    }
  }
  if (worstByKind != nullptr) {
    double& w = (*worstByKind)[kindOf(start.launch)];
    w = std::max(w, worst);
  }
}

}  // namespace

int main(int argc, char** argv) {
  sim::FamilyHalf half = sim::FamilyHalf::Reported;
  int drives = 12;
  std::vector<int> rates{25, 20, 10, 5, 1};
  bool shapes = false;
  bool verbose = false;
  bool calibrate = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--half") == 0 && i + 1 < argc) {
      half = std::strcmp(argv[++i], "choosing") == 0 ? sim::FamilyHalf::Choosing : sim::FamilyHalf::Reported;
    } else if (std::strcmp(argv[i], "--drives") == 0 && i + 1 < argc) {
      drives = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--rates") == 0 && i + 1 < argc) {
      rates = parseRates(argv[++i]);
    } else if (std::strcmp(argv[i], "--shapes") == 0) {
      shapes = true;
    } else if (std::strcmp(argv[i], "--calibrate") == 0) {
      calibrate = true;
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    }
  }
  std::printf("Half: %s, %d drives of 3 launches per rate and noise\n\n",
              half == sim::FamilyHalf::Choosing ? "choosing" : "reported", drives);
  std::printf("| rate | noise | source | found | first motion | from first motion | from rollout | traps | stored 0-60, 1/4 (p95/max) |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  std::map<std::string, std::map<std::string, double>> worstByKind;  // "10-25 Hz speed" -> kind -> ms
  uint64_t seed = 1;
  for (const int rate : rates) {
    for (const bool noise : {false, true}) {
      Group withSpeed, positions, traces;
      for (int d = 0; d < drives; ++d) {
        while (sim::familyHalf(seed) != half) ++seed;
        const uint64_t driveSeed = seed++;
        sim::ScenarioParams params;
        params.runs = 3;
        params.familySeed = driveSeed;
        params.speedsMph = {60.0, 62.13711922373339};
        params.distancesM.clear();
        for (const auto& mark : slip::markDefinitions()) {
          if (mark.distanceM <= 0.0) continue;
          params.distancesM.push_back(mark.distanceM);
          if (mark.trap) params.distancesM.push_back(mark.distanceM - slip::kTrapLengthM);
        }
        params.distancesM.push_back(slip::kRolloutM);
        sim::ReceiverOptions receiver;
        receiver.rateHz = rate;
        receiver.noise = noise;
        receiver.seed = driveSeed;
        sim::Random rng(driveSeed * 0x9E3779B97F4A7C15ull + 7);
        sim::drawFamilyReceiver(rng, receiver);
        const sim::SimResult result = sim::simulate(sim::launchesScenario(params), receiver);
        const std::string log = sim::renderLog(result);

        // The stored method's 0-60 mph and quarter mile of the same launches.
        const std::vector<uint8_t> bytes(log.begin(), log.end());
        corvantis::analyze::TimingSession session;
        corvantis::loadSettingsDefaults(session.settings);
        const auto accel = corvantis::analyze::runAccelerationPass(bytes, session, {"0", "60"});
        const auto quarter = corvantis::analyze::runDistancePass(bytes, session, std::string("440"));
        // The stored quarter miles' own slips, from their traces.
        for (const corvantis::RecordSet& set : session.records.sets()) {
          const corvantis::RecordKey key = corvantis::keyFromValue(set.key);
          if (!key.isDistance()) continue;
          for (int r = 0; r < set.filledCount(); ++r) {
            const corvantis::RunRecord& run = set.runs[static_cast<size_t>(r)];
            if (run.trace.empty()) continue;
            const sim::StandingStart* start = nullptr;
            for (const sim::StandingStart& s : result.truth.starts) {
              if (std::fabs(static_cast<double>(run.trace.front().time) - s.launchMs) < 3000.0) start = &s;
            }
            if (start == nullptr) continue;
            ++traces.launches;
            const std::optional<slip::TimeSlip> traceSlip = slip::slipOfStoredRun(key, run, {});
            if (!traceSlip) continue;
            ++traces.found;
            score(*traceSlip, *start, traces, nullptr);
            if (verbose) {
              const double rolloutTruth = trueDistanceMs(*start, slip::kRolloutM);
              std::printf("  trace seed %llu: %d samples from %+.0f ms, onset %+.1f ± %.1f, rollout %+.1f ± %.1f, 1/4(r) %+.1f ± %.1f [%s]\n",
                          static_cast<unsigned long long>(driveSeed), run.traceCount,
                          run.trace.front().time - start->launchMs, traceSlip->launchMs - start->launchMs,
                          traceSlip->launchPlusMinusMs, traceSlip->launchMs + traceSlip->rolloutMs - rolloutTruth,
                          traceSlip->rolloutPlusMinusMs,
                          traceSlip->rolloutMarks[4].timeMs - (trueDistanceMs(*start, 402.336) - rolloutTruth),
                          traceSlip->rolloutMarks[4].plusMinusMs, start->launch.c_str());
              const double rt = trueDistanceMs(*start, slip::kRolloutM);
              for (const auto& m : traceSlip->rolloutMarks) {
                if (!m.reached) continue;
                const auto& def = *m.definition;
                const double truth = def.distanceM > 0.0 ? trueDistanceMs(*start, def.distanceM) : trueSpeedMs(*start, def.speedMps);
                std::printf(" %s %+.1f±%.1f", def.key, m.timeMs - (truth - rt), m.plusMinusMs);
              }
              std::printf("\n");
            }
          }
        }

        const std::vector<slip::MotionFix> read = slip::readMotion(log);
        bool hasSpeed = false;
        for (const slip::MotionFix& f : read) hasSpeed = hasSpeed || f.hasSpeed;
        for (const bool useSpeed : {true, false}) {
          if (useSpeed && !hasSpeed) continue;
          Group& group = useSpeed ? withSpeed : positions;
          std::vector<slip::MotionFix> fixes = read;
          if (!useSpeed) {
            for (slip::MotionFix& f : fixes) f.hasSpeed = false;
          }
          const std::vector<slip::TimeSlip> slips = slip::timeSlips(fixes, {});
          for (const sim::StandingStart& start : result.truth.starts) {
            ++group.launches;
            const slip::TimeSlip* match = nullptr;
            for (const slip::TimeSlip& s : slips) {
              if (std::fabs(s.launchMs - start.launchMs) < 3000.0) match = &s;
            }
            const double stopMs = start.stopMs.value_or(1e12);
            for (const bool quarterMile : {false, true}) {
              const double truth = quarterMile ? trueDistanceMs(start, 402.336) - start.launchMs
                                               : trueSpeedMs(start, 26.8224) - start.launchMs;
              for (const auto& run : quarterMile ? quarter : accel) {
                if (run.storedAtFixMs < start.launchMs || run.storedAtFixMs > stopMs) continue;
                const double storedError = run.timeMs - truth;
                if (useSpeed || !hasSpeed) group.stored.add(storedError);
                const slip::MarkResult* mark = match == nullptr ? nullptr : match->mark(quarterMile ? "1/4" : "0-60");
                if (mark != nullptr && mark->reached) {
                  ++group.comparedWithStored;
                  group.worseThanStored += std::fabs(mark->timeMs - truth) > std::fabs(storedError) ? 1 : 0;
                }
              }
            }
            if (match == nullptr) continue;
            ++group.found;
            char key[64];
            std::snprintf(key, sizeof key, "%s %s", rate >= 10 ? "10-25 Hz" : rate == 5 ? "5 Hz" : "1 Hz",
                          useSpeed ? "speed" : "positions");
            score(*match, start, group, noise ? nullptr : &worstByKind[key]);
            if (verbose) {
              const slip::MarkResult* q = nullptr;
              for (const auto& m : match->rolloutMarks) if (std::string(m.definition->key) == "60ft") q = &m;
              const double rolloutTruth = trueDistanceMs(start, slip::kRolloutM);
              double worstR = 0.0;
              const char* worstKey = "";
              for (const auto& m : match->rolloutMarks) {
                if (!m.reached) continue;
                const auto& def = *m.definition;
                const double truth = def.distanceM > 0.0 ? trueDistanceMs(start, def.distanceM) : trueSpeedMs(start, def.speedMps);
                const double e = m.timeMs - (truth - rolloutTruth);
                if (std::fabs(e) > std::fabs(worstR)) { worstR = e; worstKey = def.key; }
              }
              std::printf("  worst rollout mark %s %+.1f |", worstKey, worstR);
              for (const auto& m : match->rolloutMarks) {
                if (!m.reached) continue;
                const auto& def = *m.definition;
                const double truth = def.distanceM > 0.0 ? trueDistanceMs(start, def.distanceM) : trueSpeedMs(start, def.speedMps);
                std::printf(" %s %+.1f±%.1f", def.key, m.timeMs - (truth - rolloutTruth), m.plusMinusMs);
              }
              std::printf("\n");
              std::printf("  %s seed %llu: onset %+.1f ± %.1f, rollout %+.1f ± %.1f, 60ft(r) %+.1f ± %.1f  [%s] fixnoise %.2f dec %d spdec %d hold %.1f\n",
                          useSpeed ? "speed" : "posns", static_cast<unsigned long long>(driveSeed),
                          match->launchMs - start.launchMs, match->launchPlusMinusMs,
                          match->rolloutMs - (rolloutTruth - start.launchMs), match->rolloutPlusMinusMs,
                          q ? q->timeMs - (trueDistanceMs(start, 18.288) - rolloutTruth) : NAN, q ? q->plusMinusMs : NAN,
                          start.launch.c_str(), receiver.fixNoiseM, receiver.minuteDecimals, receiver.speedDecimals, receiver.staticHoldMps);
            }
          }
        }
      }
      for (const Group* group : {&withSpeed, &positions, &traces}) {
        const Group& g = *group;
        std::printf("| %d Hz | %s | %s | %d of %d (%d unseen) |", rate, noise ? "noise" : "none",
                    group == &withSpeed ? "speed" : group == &positions ? "positions" : "stored trace", g.found,
                    g.launches, g.unseen);
        printRow("", g.firstMotion, "ms");
        printRow("", g.fromOnset, "ms");
        printRow("", g.fromRollout, "ms");
        printRow("", g.traps, "mph");
        std::printf(" %.0f/%.0f ms, slip worse on %d of %d |", g.stored.percentile(0.95), g.stored.percentile(1.0),
                    g.worseThanStored, g.comparedWithStored);
        if (calibrate) {
          std::printf(" scale needed: onset %.2f, marks %.2f, rollout marks %.2f, traps %.2f |", g.firstMotion.neededScale(),
                      g.fromOnset.neededScale(), g.fromRollout.neededScale(), g.traps.neededScale());
        }
        std::printf("\n");
        std::fflush(stdout);
      }
    }
  }
  if (shapes) {
    std::printf("\nWithout noise, the largest error of any figure (first motion, marks from it and from the rollout), ms:\n\n");
    std::printf("| rates, source | step | ramp | creep | wheelspin | clutch slip |\n|---|---|---|---|---|---|\n");
    for (const auto& [key, kinds] : worstByKind) {
      std::printf("| %s |", key.c_str());
      for (const std::string& kind : sim::launchKinds()) {
        const auto it = kinds.find(kind);
        if (it == kinds.end()) {
          std::printf(" - |");
        } else {
          std::printf(" %.1f |", it->second);
        }
      }
      std::printf("\n");
    }
  }
  return 0;
}
