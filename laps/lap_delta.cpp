#include "laps/lap_delta.h"

#include <algorithm>
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
// The path's cross-section at a point is square to its direction over this
// much of it either side, as a lap line is square to the track's: the step
// between two fixes a metre apart, each placed to a decimetre, points any
// way. Measured along cross-sections, a car that crosses a line meets the
// reference where it crossed the same line, whichever side of its line it
// drove.
constexpr double kCrossSectionReachM = 15.0;
// Beyond its ends the reference is taken on at its pace over this much of
// its first or last metres: a last step of a few centimetres (a fix just
// short of the line) has no pace worth the name.
constexpr double kEndPaceM = 15.0;

}  // namespace

LapDelta::LapDelta() {
  segments_.reserve(static_cast<size_t>(kMaxReferencePoints));
  blocks_.reserve(static_cast<size_t>(kMaxReferencePoints / kBlockSegments + 1));
}

LapDelta::Flat LapDelta::flat(double longitude, double latitude) const {
  return Flat{(longitude - originLongitude_) * metresPerDegreeLongitude_,
              (latitude - originLatitude_) * kMetresPerDegree};
}

void LapDelta::setReference(const ReferenceLap* reference, const LineGeometry* startFinish) {
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

  // Cross-sections at every point, from the points kCrossSectionReachM
  // behind and ahead of it (or the path's ends).
  const auto pointAt = [this](size_t i) {
    return i < segments_.size() ? Flat{segments_[i].ax, segments_[i].ay}
                                : Flat{segments_.back().ax + segments_.back().dx, segments_.back().ay + segments_.back().dy};
  };
  const auto alongAt = [this](size_t i) { return i < segments_.size() ? segments_[i].startM : lengthM_; };
  const size_t points = segments_.size() + 1;
  std::vector<Flat> normals(points);
  size_t behind = 0, ahead = 0;
  for (size_t i = 0; i < points; ++i) {
    while (behind + 1 < i && alongAt(i) - alongAt(behind + 1) >= kCrossSectionReachM) ++behind;
    if (ahead < i) ahead = i;
    while (ahead + 1 < points && alongAt(ahead) - alongAt(i) < kCrossSectionReachM) ++ahead;
    const Flat from = pointAt(behind);
    const Flat to = pointAt(ahead);
    const double tx = to.x - from.x, ty = to.y - from.y;
    const double length = std::hypot(tx, ty);
    normals[i] = length > 0.0 ? Flat{-ty / length, tx / length} : Flat{0.0, 0.0};
  }
  if (startFinish != nullptr && startFinish->usable) {
    // Across the road as the line runs (it is square to the track's
    // direction in degrees, not in metres), turned the way the path's own
    // cross-section at that end points.
    const double ax = startFinish->lineDirection.x * metresPerDegreeLongitude_;
    const double ay = startFinish->lineDirection.z * kMetresPerDegree;
    const double length = std::hypot(ax, ay);
    if (length > 0.0) {
      const Flat across{ax / length, ay / length};
      for (Flat* end : {&normals.front(), &normals.back()}) {
        const double sense = across.x * end->x + across.y * end->y < 0.0 ? -1.0 : 1.0;
        *end = Flat{sense * across.x, sense * across.y};
      }
    }
  }
  for (size_t i = 0; i < segments_.size(); ++i) {
    Segment& s = segments_[i];
    s.nx = normals[i].x;
    s.ny = normals[i].y;
    s.dnx = normals[i + 1].x - normals[i].x;
    s.dny = normals[i + 1].y - normals[i].y;
  }

  // Bounding circles of each block of segments.
  blocks_.clear();
  for (size_t b = 0; b < segments_.size(); b += kBlockSegments) {
    const size_t end = std::min(segments_.size(), b + kBlockSegments);
    double minX = segments_[b].ax, maxX = minX, minY = segments_[b].ay, maxY = minY;
    for (size_t i = b; i < end; ++i) {
      for (const Flat q : {Flat{segments_[i].ax, segments_[i].ay},
                           Flat{segments_[i].ax + segments_[i].dx, segments_[i].ay + segments_[i].dy}}) {
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y);
        maxY = std::max(maxY, q.y);
      }
    }
    blocks_.push_back(Block{(minX + maxX) * 0.5, (minY + maxY) * 0.5, 0.5 * std::hypot(maxX - minX, maxY - minY)});
  }

  size_t first = 0;
  while (first + 1 < segments_.size() && segments_[first].startM + segments_[first].lengthM < kEndPaceM) ++first;
  const Segment& head = segments_[first];
  const double headM = head.startM + head.lengthM;
  startMsPerM_ = headM > 0.0 ? (head.startMs + head.durationMs) / headM : 0.0;
  size_t last = segments_.size() - 1;
  while (last > 0 && lengthM_ - segments_[last].startM < kEndPaceM) --last;
  const double tailM = lengthM_ - segments_[last].startM;
  endMsPerM_ = tailM > 0.0 ? (static_cast<double>(referenceTimeMs_) - segments_[last].startMs) / tailM : 0.0;
}

std::vector<double> LapDelta::pointsAlongM() const {
  std::vector<double> along;
  if (segmentCount_ == 0) return along;
  along.reserve(segments_.size() + 1);
  for (const Segment& s : segments_) along.push_back(s.startM);
  along.push_back(lengthM_);
  return along;
}

bool LapDelta::crossSection(int i, const Flat& p, double& t) const {
  const Segment& s = segments_[static_cast<size_t>(i)];
  if (s.nx == 0.0 && s.ny == 0.0) return false;
  // (r - t d) parallel to (n + t dn): a t^2 + b t + c = 0.
  const double rx = p.x - s.ax, ry = p.y - s.ay;
  const auto cross = [](double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; };
  const double a = -cross(s.dx, s.dy, s.dnx, s.dny);
  const double b = cross(rx, ry, s.dnx, s.dny) - cross(s.dx, s.dy, s.nx, s.ny);
  const double c = cross(rx, ry, s.nx, s.ny);
  constexpr double kSlack = 1e-6;
  if (std::fabs(a) < 1e-12) {
    if (b == 0.0) return false;
    t = -c / b;
    return t >= -kSlack && t <= 1.0 + kSlack;
  }
  const double discriminant = b * b - 4.0 * a * c;
  if (discriminant < 0.0) return false;
  const double root = std::sqrt(discriminant);
  // The numerically steady pair of roots; the one within the segment.
  const double q = -0.5 * (b + (b < 0.0 ? -root : root));
  const double t1 = q / a;
  const double t2 = q != 0.0 ? c / q : t1;
  const bool in1 = t1 >= -kSlack && t1 <= 1.0 + kSlack;
  const bool in2 = t2 >= -kSlack && t2 <= 1.0 + kSlack;
  if (!in1 && !in2) return false;
  t = in1 && (!in2 || std::fabs(t1 - 0.5) <= std::fabs(t2 - 0.5)) ? t1 : t2;
  return true;
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
    // A block of segments that lies wholly beyond the farthest a fix may be
    // placed is passed over at once (a window after a long gap spans much of
    // the lap).
    if (i % kBlockSegments == 0) {
      const Block& b = blocks_[static_cast<size_t>(i / kBlockSegments)];
      const double bx = p.x - b.x, by = p.y - b.y;
      const double reachM = b.radiusM + kDeltaMaxOffPathM + kEndReachM;
      if (bx * bx + by * by > reachM * reachM) {
        i += kBlockSegments - 1;
        continue;
      }
    }
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
  // Beyond the path's ends (a car that crosses the line a little before or
  // after where the reference did), along the end's own cross-section and at
  // the reference's pace over its first or last metres; between them, along
  // the cross-sections, on the nearest segment or one of the few either side
  // of it (inside a bend the cross-sections fan out, and a short step may
  // lie wholly between two of them).
  double referenceMs = 0.0;
  double alongM = 0.0;
  const Segment& head = segments_.front();
  const Segment& tail = segments_.back();
  const Flat end{tail.ax + tail.dx, tail.ay + tail.dy};
  const Flat endNormal{tail.nx + tail.dnx, tail.ny + tail.dny};
  const double pastEndM = (p.x - end.x) * endNormal.y - (p.y - end.y) * endNormal.x;
  const double beforeStartM = (p.x - head.ax) * head.ny - (p.y - head.ay) * head.nx;
  if (best == segmentCount_ - 1 && bestT > 0.5 && pastEndM > 0.0) {
    alongM = lengthM_ + pastEndM;
    referenceMs = static_cast<double>(referenceTimeMs_) + pastEndM * endMsPerM_;
  } else if (best == 0 && bestT < 0.5 && beforeStartM < 0.0) {
    alongM = beforeStartM;
    referenceMs = beforeStartM * startMsPerM_;
  } else {
    bestT = std::clamp(bestT, 0.0, 1.0);
    double t = 0.0;
    const int nearest = best;
    for (const int i : {nearest, nearest + 1, nearest - 1, nearest + 2, nearest - 2, nearest + 3, nearest - 3}) {
      if (i < 0 || i >= segmentCount_ || !crossSection(i, p, t)) continue;
      best = i;
      bestT = std::clamp(t, 0.0, 1.0);
      break;
    }
    const Segment& s = segments_[static_cast<size_t>(best)];
    alongM = s.startM + bestT * s.lengthM;
    referenceMs = s.startMs + bestT * s.durationMs;
  }
  matchSegment_ = best;
  matchAlongM_ = std::clamp(alongM, 0.0, lengthM_);
  movedSinceMatchM_ = 0.0;

  const uint32_t sinceStart = fix.time - startMs_;
  reading_.elapsedMs = static_cast<int32_t>(sinceStart) < 0 ? 0u : sinceStart;
  reading_.referenceElapsedMs = referenceMs;
  reading_.deltaMs = static_cast<double>(reading_.elapsedMs) - reading_.referenceElapsedMs;
  reading_.predictedMs = static_cast<double>(referenceTimeMs_) + reading_.deltaMs;
  reading_.alongM = alongM;
  reading_.offPathM = std::sqrt(bestDistanceSquared);
  reading_.placed = true;
  reading_.stale = false;
  return reading_;
}

}  // namespace corvantis
