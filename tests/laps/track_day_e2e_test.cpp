// A track day as drivers have it, end to end through the analyzer's lap
// passes: a real session recorded by pressing "Start Lap Define" a little
// early or late, and a car parked on the start/finish line with its fixes
// wandering back and forth over it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "laps/lap_crossing.h"
#include "tools/analyze/lap_analysis.h"
#include "tools/analyze/log_replay.h"
#include "tools/sim/parking.h"
#include "tools/sim/simulator.h"
#include "tests/support/recorded_tracks.h"

namespace corvantis {
namespace {

using analyze::LapDefineRequest;
using analyze::LapPassEvent;
using analyze::TimingSession;

std::vector<uint32_t> lapTimes(const std::vector<LapPassEvent>& events) {
  std::vector<uint32_t> laps;
  for (const LapPassEvent& e : events) {
    if (e.event.kind == LapEvent::Kind::Lap) laps.push_back(e.event.timeMs);
  }
  return laps;
}

// Records a track from `log` into a fresh session, then times the log on it.
struct Recorded {
  bool created = false;
  std::string message;
  std::vector<uint32_t> laps;
};

Recorded recordThenTime(const std::vector<uint8_t>& log, const LapDefineRequest& request) {
  TimingSession session;
  loadSettingsDefaults(session.settings);
  const analyze::LapDefineResult made = analyze::runLapDefinePass(log, session, request);
  Recorded out;
  out.created = made.created;
  out.message = made.message;
  if (made.created) out.laps = lapTimes(analyze::runLapPass(log, session, made.index));
  return out;
}

// The other timer's laps: its time and the time of day at which it ended.
struct OtherLap {
  uint32_t timeMs = 0;
  uint32_t endedAtMs = 0;
};

std::vector<OtherLap> readOtherTimer(const std::filesystem::path& path) {
  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::regex lap(R"re("lap_time_ms":\s*(\d+),\s*"utc_ms":\s*(\d+))re");
  std::vector<OtherLap> laps;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), lap); it != std::sregex_iterator(); ++it) {
    laps.push_back({static_cast<uint32_t>(std::stoul((*it)[1])), static_cast<uint32_t>(std::stoul((*it)[2]))});
  }
  return laps;
}

// A driver presses "Start Lap Define" near the line, anywhere within 3 s of
// the car crossing it, and "Stop Lap Define" one lap and 10 s later, with a
// split line a quarter, a half and three quarters of the way round. Every
// such recording must find every lap the other timer counted; pressed on
// its line, the laps agree with its own within its precision: its fix times
// are rounded to 100 ms and its lap times differ from its own line times by
// up to 98 ms.
TEST(TrackDayTest, RealSessionRecordedFromAnyPressNearTheLineFindsEveryLap) {
  const std::filesystem::path folder = std::filesystem::path(CORV_SHARED_DATA_DIR) / "laps-real";
  std::vector<uint8_t> log;
  std::string error;
  if (!std::filesystem::exists(folder / "session-47n.nmea") ||
      !analyze::readLogFile((folder / "session-47n.nmea").string(), log, error)) {
    GTEST_SKIP() << "no real session in " << folder;
  }
  const std::vector<OtherLap> other = readOtherTimer(folder / "session-47n.other-timer-laps.json");
  ASSERT_EQ(other.size(), 4u);

  // Recorded from the third lap (pressed every 250 ms) and, more sparsely,
  // from the second: the log ends too soon after the fourth.
  struct Sweep {
    size_t lap;      // the lap recorded (0-based)
    int stepMs;
    uint32_t withinMs;  // pressed on the line: each lap this close to the other timer's
  };
  for (const Sweep sweep : {Sweep{2, 250, 150}, Sweep{1, 1000, 200}}) {
    const uint32_t lineMs = other[sweep.lap - 1].endedAtMs;
    const uint32_t lapMs = other[sweep.lap].timeMs;
    std::printf("recorded from lap %zu, pressed at (ms from the other timer's line): laps found, each - the other timer's\n",
                sweep.lap + 1);
    for (int offsetMs = -3000; offsetMs <= 3000; offsetMs += sweep.stepMs) {
      SCOPED_TRACE("lap " + std::to_string(sweep.lap + 1) + ", pressed " + std::to_string(offsetMs) + " ms");
      LapDefineRequest request;
      request.name = "Session 47N";
      request.fromMs = static_cast<uint32_t>(static_cast<int64_t>(lineMs) + offsetMs);
      request.toMs = request.fromMs + lapMs + 10000u;
      for (uint32_t quarter = 1; quarter <= 3; ++quarter) request.splitsMs.push_back(request.fromMs + lapMs * quarter / 4);
      const Recorded recorded = recordThenTime(log, request);
      ASSERT_TRUE(recorded.created) << recorded.message;
      std::printf("  %+5d ms: %zu laps", offsetMs, recorded.laps.size());
      for (size_t i = 0; i < recorded.laps.size() && i < other.size(); ++i) {
        std::printf(" %+d", static_cast<int>(recorded.laps[i]) - static_cast<int>(other[i].timeMs));
      }
      std::printf("\n");
      ASSERT_EQ(recorded.laps.size(), other.size());
      if (offsetMs != 0) continue;
      for (size_t i = 0; i < other.size(); ++i) {
        EXPECT_LE(std::abs(static_cast<int>(recorded.laps[i]) - static_cast<int>(other[i].timeMs)),
                  static_cast<int>(sweep.withinMs))
            << "lap " << i + 1;
      }
    }
  }
}

// Metres along the track's heading from the true start/finish point to a
// position (east and north on the local sphere).
double metresPastTheLine(const sim::CircuitTruth& truth, const TrackPoint& position) {
  constexpr double kRadians = 3.14159265358979323846 / 180.0;
  const double northM = (position.latitude - truth.startFinish.position.latitudeDeg) * kRadians * sim::kEarthRadiusM;
  const double eastM = (position.longitude - truth.startFinish.position.longitudeDeg) * kRadians *
                       sim::kEarthRadiusM * std::cos(position.latitude * kRadians);
  const double heading = truth.startFinish.headingDeg * kRadians;
  return eastM * std::sin(heading) + northM * std::cos(heading);
}

std::vector<uint8_t> bytesOf(const sim::SimResult& result) {
  const std::string text = sim::renderLog(result);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Forward steps of the standing fixes across the line: the crossings that a
// parked car's wandering fixes would count without waiting for it to leave.
int standingCrossings(const sim::SimResult& result, const LineGeometry& line) {
  int crossings = 0;
  int armed = -1;
  const sim::Epoch* previous = nullptr;
  for (const sim::Epoch& e : result.epochs) {
    if (previous != nullptr && e.speedMps == 0.0 && previous->speedMps == 0.0) {
      const TrackPoint p{previous->reportedPosition.longitudeDeg, previous->reportedPosition.latitudeDeg};
      const TrackPoint c{e.reportedPosition.longitudeDeg, e.reportedPosition.latitudeDeg};
      if ((p.longitude != c.longitude || p.latitude != c.latitude) && testCrossing(line, 0, p, c, armed, false, nullptr)) {
        ++crossings;
      }
    }
    previous = &e;
  }
  return crossings;
}

// The car comes in after its first timed lap, stops just over the recorded
// line and stands there two minutes, its receiver's fixes wandering 0.7 m either
// way; then it drives its last two laps. The laps stored are exactly the
// laps driven, and the last one, wholly after the parking, is timed to the
// millisecond as with fixes that held still.
TEST(TrackDayTest, ACarParkedOnTheStartFinishLineMakesNoLaps) {
  for (const int rateHz : {5, 10, 20}) {
    SCOPED_TRACE(std::to_string(rateHz) + " Hz");
    sim::ReceiverOptions receiver;
    receiver.rateHz = rateHz;
    receiver.seed = 40 + static_cast<uint64_t>(rateHz);
    const sim::Scenario circuit = sim::lapsScenario();
    const sim::SimResult unparked = sim::simulate(circuit, receiver);
    const sim::CircuitTruth& truth = *unparked.truth.circuit;

    // The track recorded from the first timed lap of the drive without the
    // parking, as a driver records it.
    const LapDefineRequest request = testing::firstLapRecording(truth, "Club");
    TimingSession recorded;
    loadSettingsDefaults(recorded.settings);
    const analyze::LapDefineResult made = analyze::runLapDefinePass(bytesOf(unparked), recorded, request);
    ASSERT_TRUE(made.created) << made.message;
    const LapDefinition& track = recorded.laps.at(made.index);

    sim::ParkingParams parking;
    parking.parkS = 120.0;
    parking.afterLap = 1;
    // A metre past the recorded line: the car surely rolls over it as it
    // stops, whatever the receiver's slowly wandering error then.
    parking.pastLineM = metresPastTheLine(truth, track.track.at(0)) + 1.0;
    const sim::Scenario parkedDrive = sim::parkOnTheLine(circuit, parking);
    const sim::SimResult still = sim::simulate(parkedDrive, receiver);
    sim::SimResult wandering = still;
    sim::jitterStandingFixes(wandering, receiver, 0.7, receiver.seed);
    ASSERT_GT(standingCrossings(wandering, computeLineGeometry(track, startFinishLine(track))), 20)
        << "the wandering fixes must step over the line again and again";

    std::vector<std::vector<uint32_t>> timed;
    for (const sim::SimResult* drive : {&still, static_cast<const sim::SimResult*>(&wandering)}) {
      TimingSession session = recorded;
      session.replaySchedule = {};
      timed.push_back(lapTimes(analyze::runLapPass(bytesOf(*drive), session, made.index)));
    }
    const size_t lapsDriven = still.truth.circuit->laps.size();
    ASSERT_EQ(lapsDriven, 3u);
    ASSERT_EQ(timed[1].size(), lapsDriven);
    for (uint32_t lap : timed[1]) EXPECT_GT(lap, 20000u);
    EXPECT_EQ(timed[1].front(), timed[0].front());
    EXPECT_EQ(timed[1].back(), timed[0].back());
    // The lap that holds the parking starts as the car rolls onto the line.
    EXPECT_GT(timed[1][1], 120000u);
  }
}

}  // namespace
}  // namespace corvantis
