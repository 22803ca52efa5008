// Slips of simulated drives against the simulator's exact truth, and the
// analyzer's --timeslip mode as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "common/time_text.h"
#include "slip/nmea_motion.h"
#include "slip/time_slip.h"
#include "tools/sim/simulator.h"

namespace corvantis::slip {
namespace {

struct Drive {
  sim::SimResult result;
  std::string log;
};

Drive quarterMiles(int rateHz, bool noise, int runs, uint64_t seed) {
  sim::ScenarioParams params;
  params.runs = runs;
  params.speedsMph = {60.0};
  params.distancesM = {kRolloutM, 18.288, 201.168, 402.336 - kTrapLengthM, 402.336};
  sim::ReceiverOptions receiver;
  receiver.rateHz = rateHz;
  receiver.noise = noise;
  receiver.seed = seed;
  Drive drive{sim::simulate(sim::quarterScenario(params), receiver), {}};
  drive.log = sim::renderLog(drive.result);
  return drive;
}

// The slip's errors against the truth, in ms, of 60 ft, 1/8, 1/4 and 0-60.
std::vector<double> markErrors(const TimeSlip& slip, const sim::StandingStart& truth) {
  const double clockStart = slip.rollout ? *truth.distanceMs(kRolloutM) : truth.launchMs;
  std::vector<double> errors;
  for (const auto& [key, trueMs] : {std::pair{"60ft", *truth.distanceMs(18.288)}, std::pair{"1/8", *truth.distanceMs(201.168)},
                                    std::pair{"1/4", *truth.distanceMs(402.336)}, std::pair{"0-60", *truth.speedMs(60.0)}}) {
    const MarkResult* mark = slip.mark(key);
    EXPECT_TRUE(mark->reached) << key;
    errors.push_back(mark->timeMs - (trueMs - clockStart));
  }
  return errors;
}

TEST(SlipOfSimulatedDrives, WithAndWithoutSpeedOverGround) {
  // Without noise at 10 Hz: from the one-foot rollout within 10 ms from the
  // receiver's speeds, and within a few tens of ms from positions alone,
  // rounded to 0.0001 minute (about 18 cm). From first motion, which a
  // take-up shorter than the time between fixes can hide, every figure
  // holds the truth within its own ±.
  const Drive drive = quarterMiles(10, false, 3, 1);
  for (const bool rollout : {false, true}) {
    for (const bool withSpeed : {true, false}) {
      SCOPED_TRACE(::testing::Message() << (withSpeed ? "speed over ground" : "positions") << (rollout ? ", rollout" : ""));
      std::vector<MotionFix> fixes = readMotion(drive.log);
      if (!withSpeed) {
        for (MotionFix& fix : fixes) fix.hasSpeed = false;
      }
      SlipOptions options;
      options.rollout = rollout;
      const std::vector<TimeSlip> slips = timeSlips(fixes, options);
      ASSERT_EQ(slips.size(), drive.result.truth.starts.size());
      for (size_t i = 0; i < slips.size(); ++i) {
        const sim::StandingStart& truth = drive.result.truth.starts[i];
        EXPECT_NEAR(slips[i].launchMs, truth.launchMs, slips[i].launchPlusMinusMs);
        const std::vector<double> errors = markErrors(slips[i], truth);
        const char* keys[] = {"60ft", "1/8", "1/4", "0-60"};
        for (size_t k = 0; k < errors.size(); ++k) {
          EXPECT_LE(std::fabs(errors[k]), slips[i].mark(keys[k])->plusMinusMs) << keys[k];
          if (rollout) {
            EXPECT_LE(std::fabs(errors[k]), withSpeed ? 10.0 : 40.0) << keys[k];
          }
        }
      }
    }
  }
}

TEST(SlipOfSimulatedDrives, RealisticReceiverNoise) {
  // 20 Hz with the receiver's noise: nearly every mark within 50 ms, trap
  // speeds within 0.5 mph.
  const Drive drive = quarterMiles(20, true, 8, 21);
  const std::vector<TimeSlip> slips = timeSlips(readMotion(drive.log), {});
  ASSERT_EQ(slips.size(), drive.result.truth.starts.size());
  int marks = 0, within = 0;
  for (size_t i = 0; i < slips.size(); ++i) {
    const sim::StandingStart& truth = drive.result.truth.starts[i];
    for (const double error : markErrors(slips[i], truth)) {
      ++marks;
      within += std::fabs(error) <= 50.0 ? 1 : 0;
    }
    const MarkResult* quarter = slips[i].mark("1/4");
    ASSERT_TRUE(quarter->hasTrap);
    const double trueTrapMps = kTrapLengthM * 1000.0 / (*truth.distanceMs(402.336) - *truth.distanceMs(402.336 - kTrapLengthM));
    EXPECT_NEAR(quarter->trapMps, trueTrapMps, 0.5 * 0.44704);
  }
  EXPECT_GE(within * 100, marks * 95) << within << " of " << marks;
}

TEST(SlipOfSimulatedDrives, AReceiverScatteringEveryFixLosesNoLaunch) {
  // Positions alone from a receiver that does not smooth its fixes: 0.3 m
  // a fix, 25 a second, while the car stands. Two fixes a second apart
  // read 0.5 m/s and more for a third of the time: a launch, by the
  // distance between them, and the true launch was lost.
  sim::ScenarioParams params;
  params.runs = 4;
  params.speedsMph = {60.0};
  params.distancesM = {402.336};
  sim::ReceiverOptions receiver;
  receiver.rateHz = 25;
  receiver.seed = 5;
  receiver.fixNoiseM = 0.3;
  receiver.staticHoldMps = 0.0;
  const sim::SimResult result = sim::simulate(sim::quarterScenario(params), receiver);
  std::vector<MotionFix> fixes = readMotion(sim::renderLog(result));
  for (MotionFix& fix : fixes) fix.hasSpeed = false;
  const std::vector<TimeSlip> slips = timeSlips(fixes, {});
  ASSERT_EQ(slips.size(), result.truth.starts.size());
  for (size_t i = 0; i < slips.size(); ++i) {
    EXPECT_NEAR(slips[i].launchMs, result.truth.starts[i].launchMs, slips[i].launchPlusMinusMs) << i;
  }
}

// The program as a user runs it, over a log in a temporary file.
std::string runAnalyzer(const std::string& arguments, int& status) {
  const std::string command = std::string(CORV_ANALYZE_PROGRAM) + " " + arguments + " 2>/dev/null";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(SlipOfSimulatedDrives, AnalyzerModeKeepsTheStoredTimesExactly) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("corv-slip-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string log = (dir / "quarter.nmea").string();
  std::ofstream(log, std::ios::binary) << quarterMiles(10, true, 2, 7).log;

  int status = -1;
  const std::string slips = runAnalyzer("--timeslip --json " + log, status);
  EXPECT_EQ(status, 0);
  const std::string stored = runAnalyzer("--accel 0-60 --distance 440 --json " + log, status);
  EXPECT_EQ(status, 0);
  const std::regex storedTime(R"re("kind":"(accel|distance)","key":\d+,"time_ms":(\d+))re");
  std::vector<std::string> accel, quarter;
  for (std::sregex_iterator it(stored.begin(), stored.end(), storedTime), end; it != end; ++it) {
    ((*it)[1] == "accel" ? accel : quarter).push_back((*it)[2]);
  }
  ASSERT_EQ(accel.size(), 2u);
  ASSERT_EQ(quarter.size(), 2u);
  const std::regex slip(
      R"(^\{"kind":"timeslip","launch_ms":\d+,"launch_pm_ms":\d+,"marks":\{"60ft":\{"time_ms":\d+,"pm_ms":\d+\},)"
      R"("330ft":\{"time_ms":\d+,"pm_ms":\d+\},"1/8":\{"time_ms":\d+,"pm_ms":\d+,"trap_kph":\d+\.\d\d,"trap_pm_kph":\d+\.\d\d\},)"
      R"("1000ft":\{"time_ms":\d+,"pm_ms":\d+\},"1/4":\{"time_ms":\d+,"pm_ms":\d+,"trap_kph":\d+\.\d\d,"trap_pm_kph":\d+\.\d\d\},)"
      R"("0-60":\{"time_ms":\d+,"pm_ms":\d+\},"0-100kph":\{"time_ms":\d+,"pm_ms":\d+\}\},"stored":\{"0-60":(\d+),"1/4":(\d+)\},)"
      R"("clock":"first motion","rollout_ms":\d+,"rollout_pm_ms":\d+,"first_motion_seen":(true|false),.*)"
      R"("source":"speed over ground","speeds_disagreed":false,"speeds_dropped":0\}$)");
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = slips.find('\n', at)) != std::string::npos; at = nl + 1) lines.push_back(slips.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 2u) << slips;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, slip)) << lines[i];
    EXPECT_EQ(m[1], accel[i]);
    EXPECT_EQ(m[2], quarter[i]);
  }

  // The plain slip: every time with its ±, and the stored times as the meter shows them.
  const std::string plain = runAnalyzer("--timeslip " + log, status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::regex_search(plain, std::regex(R"(\n  1/4 mile +\d+\.\d{3} s ± \d\.\d{3} +\d+\.\d\d mph ± \d+\.\d\d)")))
      << plain;
  EXPECT_NE(plain.find("stored by the meter: 0-60 mph " + formatRunTime(static_cast<uint32_t>(std::stoul(accel[0])))),
            std::string::npos)
      << plain;

  // A log that ends before the car leaves its standstill: no slip, exit status 1.
  std::string standing;
  for (const sim::Epoch& epoch : quarterMiles(10, true, 1, 7).result.epochs) {
    if (epoch.driveTimeS < 8.0) standing += epoch.text;
  }
  std::ofstream(log, std::ios::binary | std::ios::trunc) << standing;
  EXPECT_EQ(runAnalyzer("--timeslip " + log, status), "");
  EXPECT_EQ(status, 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvantis::slip
