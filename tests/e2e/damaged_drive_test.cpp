// Simulated drives damaged as real receivers damage them: flipped bits in
// sentences, one fix whose hour was damaged, a receiver that restarts with
// its clock behind. Every run of the drive must still be stored, none of
// them under its true time by more than the timing method's own error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/nmea_text.h"
#include "tools/analyze/timing_analysis.h"
#include "tools/sim/simulator.h"

namespace corvantis {
namespace {

using analyze::StoredRun;
using analyze::TimingSession;

constexpr int kRuns = 4;
// The launch is placed late and noise moves it by a few fix intervals at
// 10 Hz (see the undamaged drives' limits): measured minus true time.
constexpr double kLowestErrorMs = -800.0;
constexpr double kHighestErrorMs = 400.0;

struct Timed {
  std::vector<StoredRun> accel60, yards440;
};

Timed timeLog(const std::string& text) {
  const std::vector<uint8_t> log(text.begin(), text.end());
  TimingSession session;
  loadSettingsDefaults(session.settings);
  Timed timed;
  timed.accel60 = analyze::runAccelerationPass(log, session, {"0", "60"});
  timed.yards440 = analyze::runDistancePass(log, session, std::string("440"));
  return timed;
}

sim::SimResult quarters(double corrupt, uint64_t seed) {
  sim::ScenarioParams params;
  params.runs = kRuns;
  sim::ReceiverOptions receiver;
  receiver.rateHz = 10;
  receiver.seed = seed;
  receiver.corruptProbability = corrupt;
  return sim::simulate(sim::quarterScenario(params), receiver);
}

// Each launch's run is stored once, near its true time.
void expectEveryRunNearTruth(const sim::Truth& truth, const Timed& timed, const std::string& what) {
  ASSERT_EQ(truth.starts.size(), static_cast<size_t>(kRuns));
  ASSERT_EQ(timed.accel60.size(), static_cast<size_t>(kRuns)) << what;
  ASSERT_EQ(timed.yards440.size(), static_cast<size_t>(kRuns)) << what;
  for (size_t i = 0; i < truth.starts.size(); ++i) {
    const sim::StandingStart& start = truth.starts[i];
    const std::optional<double> at60 = start.speedMs(60.0);
    const std::optional<double> at440 = start.distanceMs(402.336);
    ASSERT_TRUE(at60 && at440);
    const double error60 = timed.accel60[i].timeMs - (*at60 - start.launchMs);
    const double error440 = timed.yards440[i].timeMs - (*at440 - start.launchMs);
    EXPECT_GE(error60, kLowestErrorMs) << what << ", 0-60 of launch " << i;
    EXPECT_LE(error60, kHighestErrorMs) << what << ", 0-60 of launch " << i;
    EXPECT_GE(error440, kLowestErrorMs) << what << ", 1/4 mile of launch " << i;
    EXPECT_LE(error440, kHighestErrorMs) << what << ", 1/4 mile of launch " << i;
  }
}

TEST(DamagedDrives, FlippedBitsLoseNoRunAndMakeNoneTooFast) {
  for (double corrupt : {0.001, 0.003, 0.01, 0.03}) {
    for (uint64_t seed : {1u, 2u}) {
      const sim::SimResult drive = quarters(corrupt, seed);
      const std::string what = "corrupt " + std::to_string(corrupt) + " seed " + std::to_string(seed);
      ASSERT_GT(drive.truth.corruptedSentences, 0) << what;
      expectEveryRunNearTruth(drive.truth, timeLog(sim::renderLog(drive)), what);
    }
  }
}

// Rewrites the time of day of each $GPGGA and $GPRMC line that `change`
// picks, with a checksum that holds (hhmmss.ss, seconds since midnight).
std::string retime(const std::string& log, const std::function<std::optional<double>(double)>& change) {
  std::string out;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    start = end + 1;
    const bool timed = line.rfind("$GPGGA,", 0) == 0 || line.rfind("$GPRMC,", 0) == 0;
    const size_t star = line.find('*');
    if (timed && star != std::string::npos && line.size() > 16 && line[7] != ',') {
      const double seconds = std::stoi(line.substr(7, 2)) * 3600.0 + std::stoi(line.substr(9, 2)) * 60.0 +
                             std::stod(line.substr(11, 5));
      if (const std::optional<double> changed = change(seconds)) {
        const long hundredths = std::lround(*changed * 100.0);
        char text[64];
        std::snprintf(text, sizeof text, "%02ld%02ld%02ld.%02ld", hundredths / 360000, hundredths / 6000 % 60,
                      hundredths / 100 % 60, hundredths % 100);
        const std::string body = line.substr(1, 6) + text + line.substr(16, star - 16);
        line = testing::nmeaSentence(body);
        line.erase(line.size() - 2);  // the CR LF comes back below
        line += '\r';
      }
    }
    out += line + '\n';
  }
  return out;
}

// One fix whose hour was damaged to one ahead, with a checksum that holds:
// the clock jump is recognised and both runs come through as in the clean
// log. A receiver restarted between the runs with its clock a minute behind
// loses neither.
TEST(DamagedDrives, AClockThatJumpsLosesNoRun) {
  const sim::SimResult drive = quarters(0.0, 1);
  const std::string clean = sim::renderLog(drive);
  const Timed reference = timeLog(clean);
  ASSERT_EQ(reference.accel60.size(), static_cast<size_t>(kRuns));
  const double firstStop = *drive.truth.starts[0].stopMs / 1000.0;
  const double secondLaunch = drive.truth.starts[1].launchMs / 1000.0;
  ASSERT_GT(secondLaunch - firstStop, 8.0);

  // The fourth fix of the drive, an hour ahead.
  int seen = 0;
  const std::string oneBad = retime(clean, [&](double s) -> std::optional<double> {
    return ++seen == 7 ? std::optional<double>(s + 3600.0) : std::nullopt;  // GGA and RMC count
  });
  ASSERT_NE(oneBad, clean);
  const double resetAt = firstStop + 3.0;
  const std::string reset = retime(clean, [&](double s) -> std::optional<double> {
    return s >= resetAt ? std::optional<double>(s - 60.0) : std::nullopt;
  });
  for (const auto& [what, log] : {std::pair<const char*, const std::string&>{"one hour ahead", oneBad},
                                  std::pair<const char*, const std::string&>{"reset a minute back", reset}}) {
    SCOPED_TRACE(what);
    const Timed timed = timeLog(log);
    ASSERT_EQ(timed.accel60.size(), reference.accel60.size());
    ASSERT_EQ(timed.yards440.size(), reference.yards440.size());
    for (size_t i = 0; i < reference.accel60.size(); ++i) {
      EXPECT_EQ(timed.accel60[i].timeMs, reference.accel60[i].timeMs) << i;
      EXPECT_EQ(timed.yards440[i].timeMs, reference.yards440[i].timeMs) << i;
    }
  }
}

}  // namespace
}  // namespace corvantis
