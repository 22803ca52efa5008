#include "laps/lap_delta.h"

#include <cmath>

namespace corvantis {
namespace {

// Metres a degree of latitude spans on the program's sphere.
constexpr double kMetresPerDegree = 6371000.0 * 3.14159265358979323846 / 180.0;
// The search window around the last place found: this far behind it (fixes
// scatter back and forth along the road too), and ahead of it this far plus
// one and a half times the way driven since (the road between fixes may
// bend away from the straight line, and the reference may have taken a
// wider line). No more: the farther the window reaches, the nearer another
// pass of the track may come.
constexpr double kWindowBehindM = 10.0;
constexpr double kWindowAheadM = 10.0;
constexpr double kWindowDrivenShare = 1.5;
// The path's first and last segments reach this far beyond its ends: the
// car crosses the line a little before or after where the reference did.
constexpr double kEndReachM = 50.0;

}  // namespace

LapDelta::LapDelta() { segments_.reserve(static_cast<size_t>(kMaxReferencePoints)); }

LapDelta::Flat LapDelta::flat(double longitude, double latitude) const {
  return Flat{(longitude - originLongitude_) * metresPerDegreeLongitude_,
              (latitude - originLatitude_) * kMetresPerDegree};
}

void LapDelta::setReference(const ReferenceLap* reference) {
  segments_.clear();
  segmentCount_ = 0;
  lengthM_ = 0.0;
  referenceTimeMs_ = 0;
  started_ = false;
  reading_ = DeltaReading{};
  if (reference == nullptr || reference->empty()) return;
  const std::vector<ReferencePoint>& path = reference->path;
  originLongitude_ = path.front().longitude;
  originLatitude_ = path.front().latitude;
  metresPerDegreeLongitude_ = kMetresPerDegree * std::cos(originLatitude_ * (3.14159265358979323846 / 180.0));
  double alongM = 0.0;
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    const Flat a = flat(path[i].longitude, path[i].latitude);
    const Flat b = flat(path[i + 1].longitude, path[i + 1].latitude);
    Segment s{};
    s.ax = a.x;
    s.ay = a.y;
    s.dx = b.x - a.x;
    s.dy = b.y - a.y;
    const double lengthSquared = s.dx * s.dx + s.dy * s.dy;
    s.inverseLengthSquared = lengthSquared > 0.0 ? 1.0 / lengthSquared : 0.0;
    s.startMs = static_cast<double>(path[i].elapsedMs);
    s.durationMs = static_cast<double>(path[i + 1].elapsedMs) - s.startMs;
    s.startM = alongM;
    s.lengthM = std::sqrt(lengthSquared);
    alongM += s.lengthM;
    segments_.push_back(s);
  }
  segmentCount_ = static_cast<int>(segments_.size());
  lengthM_ = alongM;
  referenceTimeMs_ = reference->lapTimeMs;
}

void LapDelta::startLap(uint32_t startMs, const TrackPoint& at) {
  started_ = true;
  startMs_ = startMs;
  matchSegment_ = 0;
  matchAlongM_ = 0.0;
  movedSinceMatchM_ = 0.0;
  reading_ = DeltaReading{};
  if (segmentCount_ > 0) lastPosition_ = flat(at.longitude, at.latitude);
}

const DeltaReading& LapDelta::update(const FixSample& fix) {
  if (!started_ || segmentCount_ == 0) {
    reading_.stale = true;
    return reading_;
  }
  const Flat p = flat(fix.longitude, fix.latitude);
  movedSinceMatchM_ += std::hypot(p.x - lastPosition_.x, p.y - lastPosition_.y);
  lastPosition_ = p;

  const double behindM = matchAlongM_ - kWindowBehindM;
  const double aheadM = matchAlongM_ + kWindowAheadM + kWindowDrivenShare * movedSinceMatchM_;
  int first = matchSegment_;
  while (first > 0 && segments_[static_cast<size_t>(first - 1)].startM +
                              segments_[static_cast<size_t>(first - 1)].lengthM > behindM) {
    --first;
  }
  int last = matchSegment_;
  while (last + 1 < segmentCount_ && segments_[static_cast<size_t>(last + 1)].startM < aheadM) ++last;

  int best = -1;
  double bestT = 0.0;
  double bestDistanceSquared = kDeltaMaxOffPathM * kDeltaMaxOffPathM;
  for (int i = first; i <= last; ++i) {
    const Segment& s = segments_[static_cast<size_t>(i)];
    const double rx = p.x - s.ax;
    const double ry = p.y - s.ay;
    double t = (rx * s.dx + ry * s.dy) * s.inverseLengthSquared;
    const double reach = s.lengthM > 0.0 ? kEndReachM / s.lengthM : 0.0;
    const double low = i == 0 ? -reach : 0.0;
    const double high = i == segmentCount_ - 1 ? 1.0 + reach : 1.0;
    t = t < low ? low : (t > high ? high : t);
    const double ex = rx - t * s.dx;
    const double ey = ry - t * s.dy;
    const double distanceSquared = ex * ex + ey * ey;
    if (distanceSquared <= bestDistanceSquared) {
      // Equal distances (a standing reference) keep the earliest place.
      if (best >= 0 && distanceSquared == bestDistanceSquared) continue;
      best = i;
      bestT = t;
      bestDistanceSquared = distanceSquared;
    }
  }
  if (best < 0) {
    reading_.stale = true;
    return reading_;
  }
  const Segment& s = segments_[static_cast<size_t>(best)];
  matchSegment_ = best;
  matchAlongM_ = s.startM + bestT * s.lengthM;
  movedSinceMatchM_ = 0.0;

  const uint32_t sinceStart = fix.time - startMs_;
  reading_.elapsedMs = static_cast<int32_t>(sinceStart) < 0 ? 0u : sinceStart;
  reading_.referenceElapsedMs = s.startMs + bestT * s.durationMs;
  reading_.deltaMs = static_cast<double>(reading_.elapsedMs) - reading_.referenceElapsedMs;
  reading_.predictedMs = static_cast<double>(referenceTimeMs_) + reading_.deltaMs;
  reading_.alongM = matchAlongM_;
  reading_.offPathM = std::sqrt(bestDistanceSquared);
  reading_.placed = true;
  reading_.stale = false;
  return reading_;
}

}  // namespace corvantis
