#pragma once
// The true instants of a simulated drive, taken from the fine integration,
// never from the receiver's samples. Every instant is in milliseconds since
// UTC midnight of the drive's start date, as a fraction: after midnight the
// values go on past 86400000 (timeOfDayMs() wraps them as a receiver would).
// "Distance" is metres along the driven path from the standing position; on
// the straight strips this is also the straight-line (great-circle) distance
// that the program measures.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/drive.h"
#include "tools/sim/geo.h"
#include "tools/sim/scenario.h"

namespace corvantis::sim {

inline constexpr double kMsPerDay = 86400000.0;

inline double timeOfDayMs(double dayMs) {
  const double t = dayMs - kMsPerDay * static_cast<double>(static_cast<int64_t>(dayMs / kMsPerDay));
  return t < 0.0 ? t + kMsPerDay : t;
}

struct SpeedPassing {
  double mph = 0.0;
  double firstMs = 0.0;       // the first instant the speed passed it after the launch
  double lastUpwardMs = 0.0;  // the last upward passing before the run's top speed (differs only after a dip)
};

struct DistancePassing {
  double distanceM = 0.0;  // from the standing position, along the path
  double ms = 0.0;
  double speedMps = 0.0;   // at that instant
  // Great-circle distance from the standing position to where the car is at
  // that instant (sphere of 6371000 m + mean altitude): equal to distanceM
  // on a straight road, shorter where the road bends.
  double straightLineM = 0.0;
};

struct StandingStart {
  double launchMs = 0.0;  // the instant the speed left 0
  double pathM = 0.0;     // where the car stood (path distance)
  GeoPoint position;      // and where that is
  double topSpeedMps = 0.0;
  std::optional<double> stopMs;  // when it stood still again (none if the log ends moving)
  double stopPathM = 0.0;
  std::vector<SpeedPassing> speeds;       // only the speeds it reached, in the order asked
  std::vector<DistancePassing> distances; // only the distances it covered before stopping
  // True when the road from the standing position to the last distance
  // passing is one straight line, so path and straight-line distances agree.
  bool straightPath = true;
  std::string launch;  // how the launch put the force down, when the scenario shaped it

  // Instants by value, or none when the run never got there.
  std::optional<double> speedMs(double mph) const;     // first passing
  std::optional<double> distanceMs(double metres) const;
};

struct SplitPoint {
  double distanceM = 0.0;  // lap distance from the start/finish point
  GeoPoint position;
  double headingDeg = 0.0;  // direction of travel there (bearing)
};

struct LapTruth {
  int number = 0;          // 1 for the first timed lap
  double startMs = 0.0;    // start/finish crossing that began it
  double endMs = 0.0;      // the one that ended it
  std::vector<DistancePassing> splits;  // distanceM = the split's lap distance; ms = instant of passing
  double timeMs() const { return endMs - startMs; }
};

struct CircuitTruth {
  double lengthM = 0.0;
  int corners = 0;
  SplitPoint startFinish;
  std::vector<SplitPoint> splits;
  std::vector<double> startFinishCrossingsMs;
  std::vector<LapTruth> laps;
};

struct Dropout {
  double fromMs = 0.0;  // first fix without position
  double toMs = 0.0;    // first fix with position again
};

struct Truth {
  std::string scenario;
  uint64_t seed = 0;
  int rateHz = 0;
  int startYear = 0, startMonth = 0, startDay = 0;
  double startMs = 0.0;  // the drive's time 0
  double endMs = 0.0;
  std::vector<StandingStart> starts;
  std::optional<CircuitTruth> circuit;
  std::vector<Dropout> dropouts;
  int corruptedSentences = 0;
  int binaryBursts = 0;
};

// Events of the drive; the receiver fields (seed, rate, dropouts, damage)
// are filled in by the simulation.
Truth extractTruth(const Scenario& scenario, const DriveTrace& trace, double startMs);

// The truth as a JSON document (UTF-8, ends with a newline).
std::string renderTruthJson(const Truth& truth);

}  // namespace corvantis::sim
