#pragma once
// The lap definitions store: every user-defined lap track with its split
// lines, name and the lap times driven on it. Persistence only: the crossing
// engine and the lap screens in laps/ build on it.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gps/fix_history.h"
#include "store/change_count.h"
#include "store/run_records.h"

namespace corvantis {

struct TrackPoint {
  double longitude = 0.0;  // degrees, east positive
  double latitude = 0.0;   // degrees, north positive
  friend bool operator==(const TrackPoint&, const TrackPoint&) = default;
};

// A finite latitude within 90 degrees and longitude within 180: the only
// positions a track can hold.
bool onTheEarth(const TrackPoint& point);

struct LapDefinition {
  static constexpr int kMaxSplitLines = 5;
  static constexpr int kMaxLaps = 100;
  static constexpr int kNameUnits = 34;   // UTF-16 code units in the file, NUL included
  static constexpr int kMaxNameChars = 31;

  std::vector<TrackPoint> track;  // point 0 is the start/finish point
  std::array<TrackPoint, kMaxSplitLines> splitLines{};
  int32_t splitLineCount = 0;
  std::array<uint8_t, 8> reserved{};   // kept as loaded
  std::array<uint8_t, 4> padding{};    // kept as loaded (after the track slot)
  std::array<RunRecord, kMaxLaps> laps{};
  int32_t lapCount = 0;
  std::string name;  // UTF-8 in memory; UTF-16 in the file
  // The name field exactly as options.bin held it. Saved back unchanged while
  // it still reads as `name`, so that a load and save keeps every byte (the
  // units after the NUL, and units that do not decode cleanly).
  std::array<uint16_t, kNameUnits> loadedNameUnits{};
  double minLongitude = 0.0;
  double maxLongitude = 0.0;
  double minLatitude = 0.0;
  double maxLatitude = 0.0;

  int32_t trackPointCount() const { return static_cast<int32_t>(track.size()); }
};

class LapDefinitions {
 public:
  // Index of the new definition (count - 1), built from history.samples;
  // samples off the earth (see onTheEarth) are left out of the track.
  int createDefinition(const FixHistory& history, int splitLineCount, const TrackPoint* anchors,
                       const std::string& name);
  void updateDefinition(int index, const FixHistory& history, int splitLineCount,
                        const TrackPoint* anchors, const std::string& name);
  void deleteDefinition(int index);

  // Index -1 (no definition) answers 0, and so does any other index outside
  // 0..count-1; updates and deletions with such an index change nothing.
  uint32_t bestLapTime(int index) const;
  int32_t averageLapTime(int index) const;
  uint32_t lastLapTime(int index) const;
  // A time of 0 is never stored (answers false).
  bool addLapTime(int index, uint32_t lapTimeMs, uint32_t startTimeOfDayMs, uint32_t stamp,
                  const FixHistory& history);

  int count() const { return static_cast<int>(definitions_.size()); }
  LapDefinition& at(int index) { return definitions_.at(static_cast<size_t>(index)); }
  const LapDefinition& at(int index) const { return definitions_.at(static_cast<size_t>(index)); }
  std::vector<LapDefinition>& definitions() { return definitions_; }
  const std::vector<LapDefinition>& definitions() const { return definitions_; }

  // Counts every change the options file keeps (a track made, edited or
  // deleted, a lap stored); equal counts mean equal contents. Whoever edits
  // a definition in place (its laps, its count) calls noteChanged when done.
  uint64_t revision() const { return changes_.value(); }
  void noteChanged() { changes_.bump(); }
  // Hears of every change, right after it is made.
  void setChangeListener(std::function<void()> listener) { changes_.setListener(std::move(listener)); }

 private:
  std::vector<LapDefinition> definitions_;
  ChangeCount changes_;
};

}  // namespace corvantis
