#pragma once
// The road the simulated car follows: straights and circular arcs in a flat
// local frame (x east, y north, metres), each segment with its own absolute
// start pose so that pieces of a closed circuit can be appended to a road
// exactly where they lie. Headings are bearings: radians clockwise from north.
#include <cstddef>
#include <limits>
#include <vector>

namespace corvantis::sim {

inline constexpr double kNoSpeedCap = std::numeric_limits<double>::infinity();

struct Pose {
  double xM = 0.0;        // east
  double yM = 0.0;        // north
  double headingRad = 0.0;  // bearing, clockwise from north
};

struct Segment {
  enum class Kind { Straight, Arc };
  Kind kind = Kind::Straight;
  Pose start;
  double lengthM = 0.0;
  double radiusM = 0.0;   // arcs only
  int turn = 0;           // arcs: +1 turns right (clockwise), -1 turns left
  double startAltitudeM = 0.0;  // altitude varies linearly along the segment
  double endAltitudeM = 0.0;
  double speedCapMps = kNoSpeedCap;  // a road limit the driver keeps to (not on a race circuit)

  Pose poseAt(double offsetM) const;
  Pose end() const { return poseAt(lengthM); }
  double curvature() const { return kind == Kind::Arc ? turn / radiusM : 0.0; }  // 1/m, + right
};

struct PathPoint {
  Pose pose;
  double altitudeM = 0.0;
  double gradient = 0.0;     // rise per metre run
  double curvature = 0.0;    // 1/m, positive turning right
  std::size_t segment = 0;
};

// Builds roads pose by pose: each added segment starts where the last ended.
class Path {
 public:
  // Appends a segment as it is (its own start pose); used for circuit pieces.
  void append(const Segment& segment);
  // Turtle-style additions from the end of the path (or `start` when empty).
  void addStraight(double lengthM, double endAltitudeM, double speedCapMps = kNoSpeedCap);
  // angleDeg > 0 turns right, < 0 left.
  void addArc(double radiusM, double angleDeg, double endAltitudeM, double speedCapMps = kNoSpeedCap);
  void setStart(const Pose& start, double altitudeM) { start_ = start; startAltitudeM_ = altitudeM; }

  double lengthM() const { return offsets_.empty() ? 0.0 : offsets_.back() + segments_.back().lengthM; }
  const std::vector<Segment>& segments() const { return segments_; }
  double segmentStartM(std::size_t i) const { return offsets_[i]; }
  // Clamped to [0, length]. Finds the segment by binary search.
  PathPoint at(double sM) const;
  std::size_t segmentIndexAt(double sM) const;
  // The end pose of the path (or its start when empty) and the altitude there.
  Pose endPose() const;
  double endAltitudeM() const;

 private:
  std::vector<Segment> segments_;
  std::vector<double> offsets_;  // path distance at each segment's start
  Pose start_;
  double startAltitudeM_ = 0.0;
};

// A closed circuit built from a polygon of corner points, each corner rounded
// by an arc of its own radius; the lap starts at the start/finish point on the
// edge from the last corner to the first.
struct CornerPoint {
  double xM = 0.0;
  double yM = 0.0;
  double radiusM = 0.0;
};

class Circuit {
 public:
  // startFinishFraction: where on the last edge's straight part the line lies
  // (0 its beginning, 1 its end). Throws std::invalid_argument when a corner's
  // arc does not fit its edges or the polygon has fewer than three corners.
  Circuit(const std::vector<CornerPoint>& corners, double startFinishFraction,
          double baseAltitudeM, double altitudeSwingM);

  double lengthM() const { return lengthM_; }
  const std::vector<Segment>& segments() const { return segments_; }  // from the start/finish point
  int cornerCount() const { return cornerCount_; }
  // Pose and altitude at lap distance u (taken modulo the length).
  PathPoint at(double uM) const;
  // Appends the stretch of lap distance [fromM, toM) (toM may exceed one lap:
  // whole laps are repeated) to `path`, splitting segments where needed.
  void appendTo(Path& path, double fromM, double toM) const;
  double altitudeAt(double uM) const;

 private:
  std::vector<Segment> segments_;
  std::vector<double> offsets_;
  double lengthM_ = 0.0;
  int cornerCount_ = 0;
  double baseAltitudeM_ = 0.0;
  double altitudeSwingM_ = 0.0;
};

}  // namespace corvantis::sim
