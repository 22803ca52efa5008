#include "laps/reference_recorder.h"

#include <algorithm>

namespace corvantis {
namespace {

// Offset of a position from the line's anchor along the track direction.
double alongTrack(const LineGeometry& line, double longitude, double latitude) {
  return (latitude - line.anchor.latitude) * line.trackDirection.z +
         (longitude - line.anchor.longitude) * line.trackDirection.x;
}

TrackPoint between(const FixSample& a, const FixSample& b, double fraction) {
  return TrackPoint{a.longitude + (b.longitude - a.longitude) * fraction,
                    a.latitude + (b.latitude - a.latitude) * fraction};
}

// Capacity for a whole reference path plus the fixes either side of it.
constexpr size_t kRecorderCapacity = static_cast<size_t>(kMaxReferencePoints);

}  // namespace

bool liveCrossing(const LineGeometry& line, int lineIndex, const FixSample& before, const FixSample& after,
                  StepCrossing& crossing) {
  const TrackPoint p{before.longitude, before.latitude};
  const TrackPoint c{after.longitude, after.latitude};
  if (p == c) return false;
  // Tested as an armed line, so that only the step's sides count.
  int armed = lineIndex;
  TrackPoint foot;
  if (!testCrossing(line, lineIndex, p, c, armed, false, &foot)) return false;
  FixSample footFix = after;  // the foot point takes the newest fix's altitude
  footFix.longitude = foot.longitude;
  footFix.latitude = foot.latitude;
  const double stepM = greatCircleDistance(before, after);
  const double distanceM = greatCircleDistance(before, footFix);
  const double fraction = stepM > 0.0 ? distanceM / stepM : 0.0;
  if (!crossingInstant(before, after, distanceM, fraction, crossing.instantMs)) return false;
  crossing.position = crossingPoint(line, before, after, crossing.instantMs);
  return true;
}

TrackPoint crossingPoint(const LineGeometry& line, const FixSample& before, const FixSample& after,
                         uint32_t instantMs) {
  const double a0 = alongTrack(line, before.longitude, before.latitude);
  const double a1 = alongTrack(line, after.longitude, after.latitude);
  if (line.usable && a0 < 0.0 && a1 >= 0.0) return between(before, after, a0 / (a0 - a1));
  const uint32_t stepMs = after.time - before.time;
  const double fraction =
      stepMs == 0 ? 0.0 : std::clamp(static_cast<double>(instantMs - before.time) / stepMs, 0.0, 1.0);
  return between(before, after, fraction);
}

bool buildReferenceLap(const LineGeometry& startFinish, std::span<const FixSample> fixes, uint32_t startMs,
                       uint32_t lapTimeMs, ReferenceLap& lap) {
  if (lapTimeMs == 0) return false;
  const auto later = [](uint32_t t) { return [t](const FixSample& f) { return f.time > t; }; };
  const auto first = std::find_if(fixes.begin(), fixes.end(), later(startMs));
  if (first == fixes.begin() || first == fixes.end()) return false;
  const uint32_t endMs = startMs + lapTimeMs;
  const auto end = std::find_if(first, fixes.end(), [endMs](const FixSample& f) { return f.time >= endMs; });
  if (end == fixes.end()) return false;
  const size_t inside = static_cast<size_t>(end - first);
  if (inside + 2 > static_cast<size_t>(kMaxReferencePoints)) return false;

  lap.lapTimeMs = lapTimeMs;
  lap.path.clear();
  lap.path.reserve(inside + 2);
  const TrackPoint start = crossingPoint(startFinish, *(first - 1), *first, startMs);
  lap.path.push_back(ReferencePoint{start.longitude, start.latitude, 0});
  for (auto it = first; it != end; ++it) lap.path.push_back(ReferencePoint{it->longitude, it->latitude, it->time - startMs});
  const TrackPoint finish = crossingPoint(startFinish, *(end - 1), *end, endMs);
  lap.path.push_back(ReferencePoint{finish.longitude, finish.latitude, lapTimeMs});
  return true;
}

LapPathRecorder::LapPathRecorder() { fixes_.reserve(kRecorderCapacity); }

void LapPathRecorder::begin(const FixSample& before, const FixSample& after) {
  fixes_.clear();
  fixes_.push_back(before);
  fixes_.push_back(after);
  active_ = true;
  overflowed_ = false;
}

void LapPathRecorder::add(const FixSample& fix) {
  if (!active_) return;
  if (fixes_.size() >= kRecorderCapacity) {
    overflowed_ = true;
    return;
  }
  fixes_.push_back(fix);
}

}  // namespace corvantis
