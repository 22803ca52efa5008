#pragma once
// The live delta: where the car is along the reference lap, and how far
// ahead (negative) or behind (positive) of it it is there.
//
// Each fix is placed on the reference path by projecting it onto the nearest
// of the path's segments, interpolated along that segment; the reference's
// elapsed time there, taken from this lap's elapsed time, is the delta. Only
// segments within a window around the last place found are searched: from a
// little behind it to a little more than the way the car has driven since
// then ahead of it. So a track that passes near itself (a hairpin's
// two legs, a crossover, the start/finish seam) never makes the car jump to
// the other pass, and a car back on the track after a spell off it or
// without fixes is found again where it rejoined.
//
// The path is turned into flat metres once, when it is set; a fix then costs
// a few dozen segment projections and never allocates.
#include <cstdint>
#include <vector>

#include "gps/fix_history.h"
#include "laps/lap_crossing.h"
#include "store/reference_lap.h"

namespace corvantis {

// A fix farther than this from every searched segment cannot be placed: it
// leaves the last delta standing, marked stale.
inline constexpr double kDeltaMaxOffPathM = 30.0;

struct DeltaReading {
  bool placed = false;  // a delta has been found in this lap
  bool stale = true;    // the newest fix could not be placed (or there was none)
  double deltaMs = 0.0;        // this lap's elapsed time - the reference's at the same place
  double predictedMs = 0.0;    // the reference lap's time + deltaMs
  double referenceElapsedMs = 0.0;
  double alongM = 0.0;         // distance along the reference path
  double offPathM = 0.0;       // the fix's distance from it
  uint32_t elapsedMs = 0;      // this lap's elapsed time at the fix
};

class LapDelta {
 public:
  LapDelta();

  // The reference to measure against (copied and prepared); nullptr or an
  // empty lap: none, and nothing is placed. With the start/finish line the
  // path begins and ends on, its ends are measured across that line itself:
  // a car on the line is where the reference was at its start and at its
  // lap time, however far along the line from it, so the delta at the line
  // is the difference of the lap times.
  void setReference(const ReferenceLap* reference, const LineGeometry* startFinish = nullptr);
  bool hasReference() const { return segmentCount_ > 0; }
  uint32_t referenceTimeMs() const { return referenceTimeMs_; }
  double referenceLengthM() const { return lengthM_; }
  // Distance along the path to each of its points (metres, as alongM counts).
  std::vector<double> pointsAlongM() const;

  // A lap starts: at startMs (fix clock), the car at `at` on the line.
  // Placing starts again from the path's start.
  void startLap(uint32_t startMs, const TrackPoint& at);
  bool lapStarted() const { return started_; }
  // No lap: nothing is placed until the next start.
  void endLap() { started_ = false; }

  // Places a fix of the lap; its reading (the last one standing, stale,
  // when this fix cannot be placed).
  const DeltaReading& update(const FixSample& fix);
  // There is no usable fix: the delta standing goes stale.
  void markStale() { reading_.stale = true; }
  const DeltaReading& reading() const { return reading_; }

 private:
  struct Segment {
    double ax, ay;       // start, metres east and north of the path's first point
    double dx, dy;       // to the end
    double inverseLengthSquared;  // 0 for a segment of no length
    double startMs, durationMs;   // reference elapsed at the start, and across it
    double startM, lengthM;       // distance along the path at the start, and its length
    double nx, ny;                // the path's cross-section at the start (unit, across the road)
    double dnx, dny;              // and its change to the end
  };
  struct Flat {
    double x, y;
  };
  Flat flat(double longitude, double latitude) const;
  // Where along segment i a position lies, by the cross-sections at its ends
  // turned evenly between them; false when it lies in none of them.
  bool crossSection(int i, const Flat& p, double& t) const;

  static constexpr int kBlockSegments = 32;
  struct Block {
    double x, y, radiusM;  // a circle holding every segment of the block
  };

  std::vector<Segment> segments_;
  std::vector<Block> blocks_;
  int segmentCount_ = 0;
  double originLongitude_ = 0.0;
  double originLatitude_ = 0.0;
  double metresPerDegreeLongitude_ = 0.0;
  double lengthM_ = 0.0;
  uint32_t referenceTimeMs_ = 0;
  // The reference's pace (ms a metre) over its first and last metres, for a
  // car placed before the path's start or past its end.
  double startMsPerM_ = 0.0;
  double endMsPerM_ = 0.0;

  bool started_ = false;
  uint32_t startMs_ = 0;
  int matchSegment_ = 0;
  double matchAlongM_ = 0.0;
  double movedSinceMatchM_ = 0.0;
  Flat lastPosition_{0.0, 0.0};
  DeltaReading reading_;
};

}  // namespace corvantis
