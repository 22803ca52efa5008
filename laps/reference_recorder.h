#pragma once
// Turning a timed lap into a reference lap: the fixes of the lap, from the
// step that crossed the start/finish line to the step that crossed it again,
// with the crossing points at the lap's interpolated start and end instants.
#include <cstdint>
#include <span>
#include <vector>

#include "laps/lap_crossing.h"
#include "store/reference_lap.h"

namespace corvantis {

// Where and when a step crossed a line.
struct StepCrossing {
  uint32_t instantMs = 0;  // fix clock
  TrackPoint position;     // where the step meets the line
};

// The crossing of line `lineIndex` on the step from `before` to `after`,
// timed as the lap replay times it (the way to the foot point driven at the
// mean of the interpolated speeds) from the fixes' speeds as they are. False
// when the step does not cross the line or cannot be timed (standing).
bool liveCrossing(const LineGeometry& line, int lineIndex, const FixSample& before, const FixSample& after,
                  StepCrossing& crossing);

// The point where the step from `before` to `after` meets the line; for a
// step that does not reach it, the point the step had reached at instantMs.
TrackPoint crossingPoint(const LineGeometry& line, const FixSample& before, const FixSample& after,
                         uint32_t instantMs);

// The reference lap of a lap that started at startMs (fix clock) and took
// lapTimeMs, from fixes in time order that include the step over the start
// crossing and the step over the end crossing. False when they do not, or
// the path would hold more than kMaxReferencePoints points.
bool buildReferenceLap(const LineGeometry& startFinish, std::span<const FixSample> fixes, uint32_t startMs,
                       uint32_t lapTimeMs, ReferenceLap& lap);

// The fixes of the lap under way, kept as they arrive in room reserved
// once: keeping a fix never allocates.
class LapPathRecorder {
 public:
  LapPathRecorder();
  // A lap starts on the step from `before` to `after`.
  void begin(const FixSample& before, const FixSample& after);
  void add(const FixSample& fix);
  void stop() { active_ = false; }
  // Every fix of the lap so far is kept (none was lost for room).
  bool complete() const { return active_ && !overflowed_; }
  std::span<const FixSample> fixes() const { return fixes_; }

 private:
  std::vector<FixSample> fixes_;
  bool active_ = false;
  bool overflowed_ = false;
};

}  // namespace corvantis
