#include "laps/lap_crossing.h"

#include <algorithm>
#include <cmath>

namespace corvantis {
namespace {

bool samePosition(const TrackPoint& a, const TrackPoint& b) {
  return a.longitude == b.longitude && a.latitude == b.latitude;
}

TrackPoint positionOf(const FixSample& fix) { return TrackPoint{fix.longitude, fix.latitude}; }

// Unit vector of v; false (v left as it is) when it has no length.
bool normalise(Vec3& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  const double inverse = 1.0 / length;
  v.x = v.x * inverse;
  v.y = v.y * inverse;
  v.z = v.z * inverse;
  return true;
}

// Offset of a position from the line's anchor along the track direction:
// negative behind the line, positive beyond it.
double alongTrack(const LineGeometry& line, const TrackPoint& position) {
  return (position.latitude - line.anchor.latitude) * line.trackDirection.z +
         (position.longitude - line.anchor.longitude) * line.trackDirection.x;
}

// One crossing found on a step: the fixes either side, the foot point, and
// the distances along the step to it.
struct StepCrossing {
  FixSample before;
  FixSample after;
  double distanceM = 0.0;  // from `before` to the foot point
  double fraction = 0.0;   // distanceM over the step's length
};

StepCrossing measure(const FixSample& before, const FixSample& after, const TrackPoint& foot) {
  StepCrossing crossing;
  crossing.before = before;
  crossing.after = after;
  // The foot point takes the newest fix's altitude.
  FixSample footFix = after;
  footFix.longitude = foot.longitude;
  footFix.latitude = foot.latitude;
  const double stepM = greatCircleDistance(before, after);
  crossing.distanceM = greatCircleDistance(before, footFix);
  // Two positions a hair apart can be 0 m apart on the sphere: then the
  // crossing is at the step's start.
  crossing.fraction = stepM > 0.0 ? crossing.distanceM / stepM : 0.0;
  return crossing;
}

bool crossingInstant(const StepCrossing& crossing, uint32_t& instantMs) {
  return crossingInstant(crossing.before, crossing.after, crossing.distanceM, crossing.fraction, instantMs);
}

}  // namespace

bool crossingInstant(const FixSample& before, const FixSample& after, double distanceM, double fraction,
                     uint32_t& instantMs) {
  // The speed change is formed in single precision, as the speeds are stored.
  const float speedChangeMph = after.speed - before.speed;
  const double beforeKmh = static_cast<double>(before.speed) * kLapMphToKmh;
  const double atCrossingKmh = static_cast<double>(speedChangeMph) * fraction * kLapMphToKmh + beforeKmh;
  const double averageMps = (atCrossingKmh * kLapKmhToMs + beforeKmh * kLapKmhToMs) * 0.5;
  // Both fixes standing: no speed to time the way to the line by.
  if (!(averageMps > 0.0)) return false;
  const double offsetMs = 1000.0 * distanceM / averageMps;
  if (!(offsetMs >= 0.0) || offsetMs >= 4294967296.0) return false;
  instantMs = before.time + static_cast<uint32_t>(offsetMs);  // truncated toward zero
  return true;
}

int startFinishLine(const LapDefinition& definition) {
  return std::clamp(definition.splitLineCount, 0, LapDefinition::kMaxSplitLines);
}

namespace {

// A position on the ground (altitude 0), as the distance function takes it.
FixSample onGround(const TrackPoint& point) {
  FixSample fix;
  fix.longitude = point.longitude;
  fix.latitude = point.latitude;
  return fix;
}

// The first track point at least kLineDirectionReachM from the anchor,
// walking round the loop from it one point at a time (step +1 ahead, -1
// behind); -1 when no point of the track is that far away.
int firstPointAway(const std::vector<TrackPoint>& track, int anchor, int step) {
  const int n = static_cast<int>(track.size());
  const FixSample from = onGround(track[static_cast<size_t>(anchor)]);
  for (int k = 1; k < n; ++k) {
    const int i = ((anchor + step * k) % n + n) % n;
    if (greatCircleDistance(from, onGround(track[static_cast<size_t>(i)])) >= kLineDirectionReachM) return i;
  }
  return -1;
}

Vec3 difference(const TrackPoint& from, const TrackPoint& to) {
  return Vec3{to.longitude - from.longitude, 0.0, to.latitude - from.latitude};
}

}  // namespace

Vec3 lineTrackDirection(const std::vector<TrackPoint>& track, int anchor) {
  const int n = static_cast<int>(track.size());
  if (anchor < 0 || anchor >= n) return Vec3{};
  const int behind = firstPointAway(track, anchor, -1);
  const int ahead = firstPointAway(track, anchor, +1);
  if (behind >= 0 && ahead >= 0) {
    const Vec3 chord = difference(track[static_cast<size_t>(behind)], track[static_cast<size_t>(ahead)]);
    // Both ends on one point (a track of two or three points): the chord has
    // no direction, the next point still gives one.
    if (chord.x != 0.0 || chord.z != 0.0) return chord;
  }
  // A track so small that no point lies that far away: the step to the next
  // point is all there is.
  const int next = (anchor + 1 < n) ? anchor + 1 : 0;
  return difference(track[static_cast<size_t>(anchor)], track[static_cast<size_t>(next)]);
}

LineGeometry computeLineGeometry(const LapDefinition& definition, int lineIndex) {
  LineGeometry line;
  const std::vector<TrackPoint>& track = definition.track;
  const int n = static_cast<int>(track.size());
  const int startFinish = startFinishLine(definition);
  if (n < 1 || lineIndex < 0 || lineIndex > startFinish) return line;

  int a = -1;
  if (lineIndex == startFinish) {
    a = 0;
  } else {
    const TrackPoint& anchor = definition.splitLines[static_cast<size_t>(lineIndex)];
    for (int i = 0; i < n && a < 0; ++i) {
      if (samePosition(track[static_cast<size_t>(i)], anchor)) a = i;
    }
    if (a < 0) return line;  // on no track point: the line has no direction
  }
  const TrackPoint& pa = track[static_cast<size_t>(a)];
  line.anchor = pa;
  line.end1 = Vec3{pa.longitude, 0.0, pa.latitude};
  line.end2 = line.end1;

  const Vec3 v = lineTrackDirection(track, a);
  line.trackDirection = v;
  // up x V and V x up, with up = (0, 1, 0).
  Vec3 n1{v.z, 0.0, -v.x};
  Vec3 n2{-v.z, 0.0, v.x};
  if (!normalise(n1) || !normalise(n2)) return line;
  line.lineDirection = Vec3{(n2.x - n1.x) * 0.5, (n2.y - n1.y) * 0.5, (n2.z - n1.z) * 0.5};
  n1 = Vec3{n1.x * kLineHalfLength, n1.y * kLineHalfLength, n1.z * kLineHalfLength};
  n2 = Vec3{n2.x * kLineHalfLength, n2.y * kLineHalfLength, n2.z * kLineHalfLength};
  line.end1 = Vec3{n1.x + pa.longitude, n1.y, n1.z + pa.latitude};
  line.end2 = Vec3{n2.x + pa.longitude, n2.y, n2.z + pa.latitude};
  line.usable = true;
  return line;
}

bool insideLineCircle(const LineGeometry& line, const TrackPoint& position) {
  if (!line.usable) return false;
  const double nearValue = (position.latitude - line.end2.z) * (position.latitude - line.end1.z) +
                           (position.longitude - line.end2.x) * (position.longitude - line.end1.x);
  return nearValue < 0.0;
}

bool testCrossing(const LineGeometry& line, int lineIndex, const TrackPoint& previous, const TrackPoint& newest,
                  int& armedLine, bool backwardDisarms, TrackPoint* footPoint) {
  if (!line.usable) return false;
  const Vec3& v = line.trackDirection;
  const double forward = (newest.latitude - previous.latitude) * v.z + (newest.longitude - previous.longitude) * v.x +
                         0.0 * v.y;
  if (!(forward > 0.0)) {
    if (backwardDisarms && armedLine == lineIndex) armedLine = -1;
    return false;
  }
  if (!insideLineCircle(line, newest) && armedLine != lineIndex) return false;

  const Vec3& m = line.lineDirection;
  const double t = m.z * (newest.latitude - line.end1.z) + m.x * (newest.longitude - line.end1.x) + m.y * 0.0;
  const TrackPoint foot{line.end1.x + m.x * t, line.end1.z + m.z * t};

  if (alongTrack(line, previous) < 0.0 && alongTrack(line, newest) >= 0.0) {
    armedLine = -1;
    if (footPoint != nullptr) *footPoint = foot;
    return true;
  }
  armedLine = lineIndex;
  return false;
}

namespace {

// The crossings a replay of the capture finds: the first start/finish
// crossing (the lap's start) and the last crossing of the target line
// counted after it.
struct ReplayCrossings {
  int startIndex = -1;
  int endIndex = -1;
  StepCrossing start;
  StepCrossing end;
};

ReplayCrossings replayCrossings(const LineGeometry& target, int targetLine, const LineGeometry& startFinishGeometry,
                                int startFinish, const FixHistory& history) {
  const int count = std::clamp(history.count, 0, FixHistory::kCapacity);
  ReplayCrossings found;
  int armed = -1;
  LineRecount recount;
  const LineGeometry* lines[2] = {&target, &startFinishGeometry};
  const int lineIndexes[2] = {targetLine, startFinish};
  for (int i = 1; i < count; ++i) {
    const FixSample& before = history.samples[static_cast<size_t>(i - 1)];
    const FixSample& after = history.samples[static_cast<size_t>(i)];
    const TrackPoint p = positionOf(before);
    const TrackPoint c = positionOf(after);
    if (samePosition(p, c)) continue;
    for (int k = 0; k < 2; ++k) {
      TrackPoint foot;
      if (!testCrossing(*lines[k], lineIndexes[k], p, c, armed, true, &foot)) continue;
      if (!recount.mayCount(lineIndexes[k])) continue;
      recount.counted(lineIndexes[k]);
      if (found.startIndex < 0 && lineIndexes[k] == startFinish) {
        found.startIndex = i;
        found.start = measure(before, after, foot);
      } else {
        found.endIndex = i;
        found.end = measure(before, after, foot);
      }
      break;  // one crossing a step
    }
    for (int k = 0; k < 2; ++k) recount.afterStep(*lines[k], lineIndexes[k], c);
  }
  return found;
}

}  // namespace

bool lapStartFromHistory(const LapDefinition& definition, const FixHistory& history, uint32_t& startMs) {
  const int startFinish = startFinishLine(definition);
  const LineGeometry line = computeLineGeometry(definition, startFinish);
  const ReplayCrossings found = replayCrossings(line, startFinish, line, startFinish, history);
  return found.startIndex >= 0 && crossingInstant(found.start, startMs);
}

LapTime lapTimeFromHistory(const LapDefinition& definition, int targetLine, const FixHistory& history,
                           const LiveStep* live) {
  const int startFinish = startFinishLine(definition);
  const LineGeometry target = computeLineGeometry(definition, targetLine);
  const LineGeometry startFinishGeometry = computeLineGeometry(definition, startFinish);
  const int count = std::clamp(history.count, 0, FixHistory::kCapacity);
  const ReplayCrossings found = replayCrossings(target, targetLine, startFinishGeometry, startFinish, history);
  const int startIndex = found.startIndex;
  int endIndex = found.endIndex;
  const StepCrossing& start = found.start;
  StepCrossing end = found.end;

  if (startIndex < 0) return {};
  // A lap longer than the capture: its end crossing happened on a step the
  // full capture could no longer take in, so it comes from the live step.
  if ((endIndex < 0 || endIndex < startIndex) && count >= FixHistory::kCapacity && live != nullptr) {
    const TrackPoint p = positionOf(live->previous);
    const TrackPoint c = positionOf(live->newest);
    if (target.usable && !samePosition(p, c)) {
      // The foot point of the newest fix, as the test forms it.
      int scratchArmed = targetLine;
      TrackPoint foot;
      if (testCrossing(target, targetLine, p, c, scratchArmed, false, &foot)) {
        endIndex = count;
        end = measure(live->previous, live->newest, foot);
      }
    }
  }
  if (endIndex < 0 || count < 2) return {};

  uint32_t startMs = 0;
  uint32_t endMs = 0;
  if (!crossingInstant(start, startMs) || !crossingInstant(end, endMs)) return {};
  // A split passed before the lap's start has no time within this lap.
  if (endMs < startMs) return {};
  return LapTime{endMs - startMs, startMs};
}

bool nearTrack(const LapDefinition& definition, const TrackPoint& position) {
  const std::vector<TrackPoint>& track = definition.track;
  const size_t n = track.size();
  const double reach2 = kLineHalfLength * kLineHalfLength;
  for (size_t i = 0; i < n; ++i) {
    // Segment from point i to the next, the last one closing the loop.
    const TrackPoint& a = track[i];
    const TrackPoint& b = track[i + 1 < n ? i + 1 : 0];
    const double dx = b.longitude - a.longitude;
    const double dz = b.latitude - a.latitude;
    const double px = position.longitude - a.longitude;
    const double pz = position.latitude - a.latitude;
    const double length2 = dx * dx + dz * dz;
    const double t = length2 > 0.0 ? std::clamp((px * dx + pz * dz) / length2, 0.0, 1.0) : 0.0;
    const double ex = px - t * dx;
    const double ez = pz - t * dz;
    if (ex * ex + ez * ez <= reach2) return true;
  }
  return false;
}

void LiveLapLines::setDefinition(const LapDefinition* definition) {
  lineCount_ = 0;
  lines_.fill(LineGeometry{});
  recount_.reset();
  if (definition == nullptr) return;
  lineCount_ = startFinishLine(*definition) + 1;
  for (int k = 0; k < lineCount_; ++k) lines_[static_cast<size_t>(k)] = computeLineGeometry(*definition, k);
}

int LiveLapLines::test(const FixSample& previous, const FixSample& newest, std::array<int, kMaxLapLines>& crossed) {
  const TrackPoint p = positionOf(previous);
  const TrackPoint c = positionOf(newest);
  if (samePosition(p, c)) return 0;
  int found = 0;
  for (int k = 0; k < lineCount_; ++k) {
    const LineGeometry& line = lines_[static_cast<size_t>(k)];
    if (testCrossing(line, k, p, c, armedLine_, false, nullptr) && recount_.mayCount(k)) {
      recount_.counted(k);
      crossed[static_cast<size_t>(found++)] = k;
    }
    recount_.afterStep(line, k, c);
  }
  return found;
}

}  // namespace corvantis
