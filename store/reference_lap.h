#pragma once
// A track's reference lap and the best time of each of its segments, as kept
// beside the options file (one small file per track), and that file's
// format. The options file itself is not touched by any of this.
//
// The reference lap is the fastest lap timed on the track since references
// were kept: its path is every fix captured from its start crossing to its
// end crossing, led and closed by the crossing points themselves at the
// interpolated crossing instants, each point with the time elapsed since the
// start crossing. The live delta places the car along this path.
//
// The segments of a lap run from the start/finish line to the first split
// line the lap passes, from split to split, and from the last split line to
// the finish; their best times, among the laps timed with the same split
// lines, add up to the track's theoretical best.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "store/lap_definitions.h"

namespace corvantis {

// Points a reference path holds at most: a lap of 13 minutes at 10 fixes a
// second. A longer lap is timed as ever but never becomes a reference.
inline constexpr int kMaxReferencePoints = 8192;

struct ReferencePoint {
  double longitude = 0.0;  // degrees, east positive
  double latitude = 0.0;   // degrees, north positive
  uint32_t elapsedMs = 0;  // since the lap's start crossing
  friend bool operator==(const ReferencePoint&, const ReferencePoint&) = default;
};

struct ReferenceLap {
  uint32_t lapTimeMs = 0;          // as stored with the track's laps
  uint32_t stamp = 0;              // calendar stamp of the lap's capture (seconds since 1970)
  uint32_t startTimeOfDayMs = 0;   // the start crossing, ms since UTC midnight
  // From the start crossing (elapsed 0) to the end crossing (elapsed
  // lapTimeMs); elapsed times never decrease.
  std::vector<ReferencePoint> path;

  bool empty() const { return lapTimeMs == 0 || path.size() < 2; }
  friend bool operator==(const ReferenceLap&, const ReferenceLap&) = default;
};

struct SegmentBests {
  // The split lines the segments were timed with, in the order a lap passes
  // them; segment k ends at line k (the last at the finish).
  int32_t splitCount = 0;
  std::array<TrackPoint, LapDefinition::kMaxSplitLines> splitAnchors{};
  std::array<uint32_t, LapDefinition::kMaxSplitLines + 1> bestMs{};  // 0: no time yet
  friend bool operator==(const SegmentBests&, const SegmentBests&) = default;
};

// What is kept for one track.
struct KeptLaps {
  ReferenceLap reference;  // empty() when the track has none yet
  SegmentBests segments;
  bool empty() const { return reference.empty() && segments.bestMs == decltype(segments.bestMs){}; }
  friend bool operator==(const KeptLaps&, const KeptLaps&) = default;
};

// What ties a kept file to its track. Editing a track never changes its
// points, only their order (moving the start/finish point turns them round)
// and its lines: the point count, the bounding box and a hash of the points
// taken in any order find the file; the start/finish point tells whether the
// lap that was kept was timed from the line the track has now.
struct TrackKey {
  int32_t pointCount = 0;
  std::array<double, 4> box{};  // min/max longitude, min/max latitude
  uint64_t pointsHash = 0;      // the same for the points in any order
  TrackPoint startFinish;
  friend bool operator==(const TrackKey&, const TrackKey&) = default;
  bool sameTrack(const TrackKey& other) const {
    return pointCount == other.pointCount && box == other.box && pointsHash == other.pointsHash;
  }
};
TrackKey trackKeyOf(const LapDefinition& definition);

// The file: "CVRL", a version, the track key, the reference lap with its
// path, the segment bests, and a CRC-32 of everything before it, all
// little-endian. Anything else (a short or long file, a bad checksum, counts
// or values a kept lap cannot hold) is damage.
std::vector<uint8_t> encodeKeptLaps(const TrackKey& key, const KeptLaps& kept);
// All or nothing: false (key and kept untouched, problem says why) for a
// damaged file.
bool decodeKeptLaps(std::span<const uint8_t> bytes, TrackKey& key, KeptLaps& kept, std::string& problem);

}  // namespace corvantis
