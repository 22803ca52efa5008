#pragma once
// The lap crossing engine: builds the start/finish and split lines of a lap
// definition from its track, decides when a step from one fix to the next
// crosses one of them, and turns the crossings into lap and split times to
// the millisecond by replaying the captured fixes.
//
// Geometry works directly in degrees on three-component vectors: x is the
// longitude, z the latitude, y an up axis that is always 0 and only serves to
// form perpendiculars. Longitude is not scaled by the cosine of latitude;
// "perpendicular" and "length" are meant in these degree units. Every width
// and order of operations below is deliberate, so that stored lap times come
// out to the same millisecond on every machine.
#include <array>
#include <cstdint>
#include <vector>

#include "gps/fix_history.h"
#include "store/lap_definitions.h"

namespace corvantis {

struct Vec3 {
  double x = 0.0;  // longitude, degrees
  double y = 0.0;  // up, always 0 for positions
  double z = 0.0;  // latitude, degrees
};

// Half the length of every line: 1/3000 degree (about 37 m each side of the
// track where the line runs north-south).
inline constexpr double kLineHalfLength = 0.0003333333333333333;
// A line's direction is taken over the track this far either side of its
// anchor: the step to the next recorded point (often 1 to 3 m, and at the
// start/finish point the join of two passes metres apart sideways) turns
// the line far off square to the road.
inline constexpr double kLineDirectionReachM = 15.0;
inline constexpr double kLapMphToKmh = 1.609344;
inline constexpr double kLapKmhToMs = 0.2777777777777778;

// Lines of a definition: 0 .. splitLineCount - 1 are its split lines in
// stored order, splitLineCount its start/finish line.
inline constexpr int kMaxLapLines = LapDefinition::kMaxSplitLines + 1;

struct LineGeometry {
  Vec3 trackDirection;  // the track's direction through the anchor, not normalised
  Vec3 end1;            // anchor + half length along up x trackDirection
  Vec3 end2;            // anchor + half length along trackDirection x up
  Vec3 lineDirection;   // unit vector from end1 towards end2
  TrackPoint anchor;    // the track point the line goes through
  // False when the track gives the line no direction (the anchor and the
  // next track point coincide, or a split anchor lies on no track point):
  // such a line is never crossed.
  bool usable = false;
};

// The start/finish line index of a definition (its split line count, held
// to 0..5).
int startFinishLine(const LapDefinition& definition);

// The track's direction through point `anchor` of a closed track: from the
// first point behind it to the first point ahead of it (walking round the
// loop) that lie at least kLineDirectionReachM from it on the ground. On a
// track with no point that far away, or whose two such points coincide,
// from the anchor to the next point. Degrees, (longitude, 0, latitude).
Vec3 lineTrackDirection(const std::vector<TrackPoint>& track, int anchor);

// Geometry of line `lineIndex` of the definition; an index outside the
// definition's lines gives an unusable line.
LineGeometry computeLineGeometry(const LapDefinition& definition, int lineIndex);

// Whether a position lies inside the line's circle: the circle with the line
// as its diameter, kLineHalfLength (in degrees) around the anchor.
bool insideLineCircle(const LineGeometry& line, const TrackPoint& position);

// Lines that have counted a crossing wait until a fix lies outside their
// circle before they count another: a car standing on a line, its fixes
// jittering back and forth over it, crosses it once, and a lap needs the car
// to have left the line. The crossing test itself runs as always (it arms
// and disarms); only the count is held back.
class LineRecount {
 public:
  bool mayCount(int lineIndex) const { return !waiting(lineIndex); }
  void counted(int lineIndex) { set(lineIndex, true); }
  // After each step that moved: the line stops waiting once the newest fix
  // lies outside its circle.
  void afterStep(const LineGeometry& line, int lineIndex, const TrackPoint& newest) {
    if (waiting(lineIndex) && !insideLineCircle(line, newest)) set(lineIndex, false);
  }
  void reset() { waiting_.fill(false); }

 private:
  bool waiting(int lineIndex) const {
    return lineIndex >= 0 && lineIndex < kMaxLapLines && waiting_[static_cast<size_t>(lineIndex)];
  }
  void set(int lineIndex, bool value) {
    if (lineIndex >= 0 && lineIndex < kMaxLapLines) waiting_[static_cast<size_t>(lineIndex)] = value;
  }
  std::array<bool, kMaxLapLines> waiting_{};
};

// Whether the step from `previous` to `newest` (positions only; the caller
// has checked that they differ) crosses the line. armedLine is the one armed
// line of the caller (-1 for none) and is updated as the step arms or
// disarms this line. On a crossing, footPoint receives the point of the
// line nearest the newest fix.
//
// A fix's side of the line is the sign of its offset from the anchor along
// the track direction, a function of that fix alone: a crossing goes from
// strictly behind (< 0) to on or beyond (>= 0). A receiver reports positions
// to a fixed resolution and a recorded start/finish point is itself a fix,
// so fixes land exactly on a line; this way such a fix crosses once, on the
// step that reaches it.
bool testCrossing(const LineGeometry& line, int lineIndex, const TrackPoint& previous, const TrackPoint& newest,
                  int& armedLine, bool backwardDisarms, TrackPoint* footPoint);

// A lap or split time found by the replay; timeMs 0 when there is none.
struct LapTime {
  uint32_t timeMs = 0;
  // Fix-clock time (ms since UTC midnight of the history's first day, days
  // counted on) of the start/finish crossing the time is measured from.
  uint32_t startMs = 0;
};

// The instant, on the fix clock, at which a step from `before` to `after`
// crossed a line distanceM metres after `before` (fraction: distanceM over
// the step's length): the speed at the crossing is interpolated linearly by
// distance from the two fixes' speeds, and the way to it is driven at the
// mean of that and the speed at `before`. False when that mean is not above
// 0 (both fixes standing) or the offset is beyond any time of day.
bool crossingInstant(const FixSample& before, const FixSample& after, double distanceM, double fraction,
                     uint32_t& instantMs);

// The step on which the live test saw the crossing: the previous and newest
// recent fixes, with their own (unsmoothed) speeds.
struct LiveStep {
  FixSample previous;
  FixSample newest;
};

// Replays the captured samples: the first start/finish crossing is the
// start, the last crossing of the target line after it the end (each line
// counting again only after the car has left its circle); both
// instants are interpolated from distances and speeds. A capture full to its
// 2048 fixes that holds no crossing of the target after the start (a slow
// lap, a long circuit) takes the end from `live`, the step on which the live
// test saw it, when given. Answers 0 when there is no start, no end, no end
// after the start, or a crossing with no speed to time it by.
LapTime lapTimeFromHistory(const LapDefinition& definition, int targetLine, const FixHistory& history,
                           const LiveStep* live = nullptr);

// The instant of the start/finish crossing a lap replay of this capture
// would measure from (the first it finds), when it finds one it can time.
// Run on the capture a start/finish crossing has just restarted, it tells
// whether the lap begun there can ever be timed: a crossing the live test
// counts on the line's far extension, or with the car standing, cannot.
bool lapStartFromHistory(const LapDefinition& definition, const FixHistory& history, uint32_t& startMs);

// Whether a position lies within a line's reach of the track: no farther
// than kLineHalfLength, in the lines' own degree units, from the closed
// polyline of its points. A car farther from every part of the track than
// any of its lines reaches has left the circuit.
bool nearTrack(const LapDefinition& definition, const TrackPoint& position);

// The live side of the engine, as the lap screen keeps it: the geometry of
// every line of the active definition, computed once per choice of active
// definition, and the one armed line, kept across such choices.
class LiveLapLines {
 public:
  // The lines of `definition` (nullptr: none, nothing crosses). The armed
  // line is left as it is; no line of the new set waits to be left.
  void setDefinition(const LapDefinition* definition);
  void resetArmed() { armedLine_ = -1; }

  // Tests the step from `previous` to `newest` against every line, split
  // lines first and the start/finish line last, without disarming on
  // backward movement. Fills `crossed` with the lines whose crossing counts
  // (LineRecount), in that order, and answers how many. A step that did not
  // move crosses nothing.
  int test(const FixSample& previous, const FixSample& newest, std::array<int, kMaxLapLines>& crossed);

  int lineCount() const { return lineCount_; }
  int armedLine() const { return armedLine_; }
  const LineGeometry& line(int index) const { return lines_.at(static_cast<size_t>(index)); }

 private:
  std::array<LineGeometry, kMaxLapLines> lines_{};
  int lineCount_ = 0;
  int armedLine_ = -1;
  LineRecount recount_;
};

}  // namespace corvantis
