#include "tools/sim/path.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace corvantis::sim {
namespace {

constexpr double kPi = std::numbers::pi;

double wrapAngle(double a) {
  while (a > kPi) a -= 2.0 * kPi;
  while (a <= -kPi) a += 2.0 * kPi;
  return a;
}

double lerp(double a, double b, double f) { return a + (b - a) * f; }

}  // namespace

Pose Segment::poseAt(double offsetM) const {
  const double h = start.headingRad;
  if (kind == Kind::Straight) {
    return {start.xM + offsetM * std::sin(h), start.yM + offsetM * std::cos(h), h};
  }
  // The centre lies to the right of the heading for a right turn, to the
  // left for a left turn; the car keeps the radius.
  const double side = static_cast<double>(turn);
  const double cx = start.xM + side * radiusM * std::cos(h);
  const double cy = start.yM - side * radiusM * std::sin(h);
  const double hu = h + side * offsetM / radiusM;
  return {cx - side * radiusM * std::cos(hu), cy + side * radiusM * std::sin(hu), hu};
}

void Path::append(const Segment& segment) {
  offsets_.push_back(lengthM());
  segments_.push_back(segment);
}

Pose Path::endPose() const { return segments_.empty() ? start_ : segments_.back().end(); }

double Path::endAltitudeM() const {
  return segments_.empty() ? startAltitudeM_ : segments_.back().endAltitudeM;
}

void Path::addStraight(double lengthM, double endAltitudeM, double speedCapMps) {
  Segment s;
  s.kind = Segment::Kind::Straight;
  s.start = endPose();
  s.lengthM = lengthM;
  s.startAltitudeM = this->endAltitudeM();
  s.endAltitudeM = endAltitudeM;
  s.speedCapMps = speedCapMps;
  append(s);
}

void Path::addArc(double radiusM, double angleDeg, double endAltitudeM, double speedCapMps) {
  Segment s;
  s.kind = Segment::Kind::Arc;
  s.start = endPose();
  s.radiusM = radiusM;
  s.turn = angleDeg >= 0.0 ? 1 : -1;
  s.lengthM = radiusM * std::fabs(angleDeg) * kPi / 180.0;
  s.startAltitudeM = this->endAltitudeM();
  s.endAltitudeM = endAltitudeM;
  s.speedCapMps = speedCapMps;
  append(s);
}

std::size_t Path::segmentIndexAt(double sM) const {
  if (offsets_.empty()) return 0;
  auto it = std::upper_bound(offsets_.begin(), offsets_.end(), sM);
  if (it == offsets_.begin()) return 0;
  return static_cast<std::size_t>(it - offsets_.begin()) - 1;
}

PathPoint Path::at(double sM) const {
  PathPoint p;
  if (segments_.empty()) {
    p.pose = start_;
    p.altitudeM = startAltitudeM_;
    return p;
  }
  sM = std::clamp(sM, 0.0, lengthM());
  const std::size_t i = segmentIndexAt(sM);
  const Segment& seg = segments_[i];
  const double u = std::min(sM - offsets_[i], seg.lengthM);
  p.pose = seg.poseAt(u);
  p.segment = i;
  p.curvature = seg.curvature();
  if (seg.lengthM > 0.0) {
    p.altitudeM = lerp(seg.startAltitudeM, seg.endAltitudeM, u / seg.lengthM);
    p.gradient = (seg.endAltitudeM - seg.startAltitudeM) / seg.lengthM;
  } else {
    p.altitudeM = seg.startAltitudeM;
  }
  return p;
}

Circuit::Circuit(const std::vector<CornerPoint>& corners, double startFinishFraction,
                 double baseAltitudeM, double altitudeSwingM)
    : baseAltitudeM_(baseAltitudeM), altitudeSwingM_(altitudeSwingM) {
  const std::size_t n = corners.size();
  if (n < 3) throw std::invalid_argument("a circuit needs at least three corners");
  cornerCount_ = static_cast<int>(n);
  struct Rounded {
    double tanLen, turnRad, inHeading, outHeading;
  };
  std::vector<Rounded> r(n);
  auto heading = [&](std::size_t a, std::size_t b) {
    return std::atan2(corners[b].xM - corners[a].xM, corners[b].yM - corners[a].yM);
  };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t prev = (i + n - 1) % n, next = (i + 1) % n;
    const double hin = heading(prev, i), hout = heading(i, next);
    const double turn = wrapAngle(hout - hin);
    r[i] = {corners[i].radiusM * std::tan(std::fabs(turn) / 2.0), turn, hin, hout};
  }
  auto edgeLength = [&](std::size_t a, std::size_t b) {
    return std::hypot(corners[b].xM - corners[a].xM, corners[b].yM - corners[a].yM);
  };
  // Straight part of edge i -> i+1: from the end of corner i's arc to the start of corner i+1's.
  std::vector<double> straight(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t next = (i + 1) % n;
    straight[i] = edgeLength(i, next) - r[i].tanLen - r[next].tanLen;
    if (straight[i] < 0.0) throw std::invalid_argument("a corner's arc does not fit between its neighbours");
  }
  auto straightStart = [&](std::size_t i) {
    const double h = r[i].outHeading;
    return Pose{corners[i].xM + r[i].tanLen * std::sin(h), corners[i].yM + r[i].tanLen * std::cos(h), h};
  };
  auto straightSeg = [&](const Pose& p, double len) {
    Segment s;
    s.kind = Segment::Kind::Straight;
    s.start = p;
    s.lengthM = len;
    return s;
  };
  // The lap: from the start/finish point on the last edge, then corner 0,
  // edge 0, corner 1, ... corner n-1, and the rest of the last edge.
  const std::size_t last = n - 1;
  const double sf = std::clamp(startFinishFraction, 0.0, 1.0) * straight[last];
  Pose p = straightStart(last);
  segments_.push_back(straightSeg(straightSeg(p, sf).end(), straight[last] - sf));
  for (std::size_t i = 0; i < n; ++i) {
    const double hin = r[i].inHeading;
    Segment arc;
    arc.kind = Segment::Kind::Arc;
    arc.start = Pose{corners[i].xM - r[i].tanLen * std::sin(hin), corners[i].yM - r[i].tanLen * std::cos(hin), hin};
    arc.radiusM = corners[i].radiusM;
    arc.turn = r[i].turnRad >= 0.0 ? 1 : -1;
    arc.lengthM = corners[i].radiusM * std::fabs(r[i].turnRad);
    segments_.push_back(arc);
    const double len = i == last ? sf : straight[i];
    if (len > 0.0) segments_.push_back(straightSeg(straightStart(i), len));
  }
  double u = 0.0;
  for (Segment& s : segments_) {
    offsets_.push_back(u);
    u += s.lengthM;
  }
  lengthM_ = u;
  // A gentle rolling profile, repeating every lap; linear along each segment
  // so that every stretch cut from the lap keeps the same altitudes.
  auto profile = [&](double at) {
    const double a = 2.0 * kPi * at / lengthM_;
    return baseAltitudeM_ + altitudeSwingM_ * (0.7 * std::sin(a) + 0.3 * std::sin(3.0 * a + 1.0));
  };
  for (std::size_t i = 0; i < segments_.size(); ++i) {
    segments_[i].startAltitudeM = profile(offsets_[i]);
    segments_[i].endAltitudeM = profile(offsets_[i] + segments_[i].lengthM);
  }
  segments_.back().endAltitudeM = segments_.front().startAltitudeM;
}

double Circuit::altitudeAt(double uM) const { return at(uM).altitudeM; }

PathPoint Circuit::at(double uM) const {
  double u = std::fmod(uM, lengthM_);
  if (u < 0.0) u += lengthM_;
  auto it = std::upper_bound(offsets_.begin(), offsets_.end(), u);
  const std::size_t i = static_cast<std::size_t>(it - offsets_.begin()) - 1;
  const Segment& seg = segments_[i];
  const double off = u - offsets_[i];
  PathPoint p;
  p.pose = seg.poseAt(off);
  p.segment = i;
  p.curvature = seg.curvature();
  p.altitudeM = lerp(seg.startAltitudeM, seg.endAltitudeM, off / seg.lengthM);
  p.gradient = (seg.endAltitudeM - seg.startAltitudeM) / seg.lengthM;
  return p;
}

void Circuit::appendTo(Path& path, double fromM, double toM) const {
  // Walk segment by segment with a whole lap counter, so that rounding at a
  // lap's end can never stall the walk.
  double lap = std::floor(fromM / lengthM_);
  auto it = std::upper_bound(offsets_.begin(), offsets_.end(), fromM - lap * lengthM_);
  std::size_t i = it == offsets_.begin() ? 0 : static_cast<std::size_t>(it - offsets_.begin()) - 1;
  while (true) {
    const Segment& seg = segments_[i];
    const double segStart = lap * lengthM_ + offsets_[i];
    const double a = std::max(0.0, fromM - segStart);
    const double b = std::min(seg.lengthM, toM - segStart);
    if (b - a > 1e-9) {
      Segment piece = seg;
      piece.start = seg.poseAt(a);
      piece.lengthM = b - a;
      piece.startAltitudeM = lerp(seg.startAltitudeM, seg.endAltitudeM, a / seg.lengthM);
      piece.endAltitudeM = lerp(seg.startAltitudeM, seg.endAltitudeM, b / seg.lengthM);
      path.append(piece);
    }
    if (segStart + seg.lengthM >= toM - 1e-9) break;
    if (++i == segments_.size()) {
      i = 0;
      lap += 1.0;
    }
  }
}

}  // namespace corvantis::sim
