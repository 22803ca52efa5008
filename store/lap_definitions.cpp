#include "store/lap_definitions.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "store/lap_name_text.h"

namespace corvantis {
namespace {

// The history's count as a number of usable samples: the lap parts write
// count directly, so it is held inside the array here.
size_t usableSamples(const FixHistory& history) {
  return static_cast<size_t>(std::clamp(history.count, 0, FixHistory::kCapacity));
}

void setSplitLines(LapDefinition& definition, int splitLineCount, const TrackPoint* anchors) {
  const int n = anchors == nullptr ? 0 : std::clamp(splitLineCount, 0, LapDefinition::kMaxSplitLines);
  definition.splitLineCount = n;
  for (int i = 0; i < n; ++i) definition.splitLines[static_cast<size_t>(i)] = anchors[i];
}

// Laps in use, held inside the array whatever lapCount says.
int lapsInUse(const LapDefinition& definition) {
  return std::clamp(definition.lapCount, 0, LapDefinition::kMaxLaps);
}

}  // namespace

bool onTheEarth(const TrackPoint& point) {
  return std::isfinite(point.longitude) && std::isfinite(point.latitude) && std::fabs(point.latitude) <= 90.0 &&
         std::fabs(point.longitude) <= 180.0;
}

int LapDefinitions::createDefinition(const FixHistory& history, int splitLineCount,
                                     const TrackPoint* anchors, const std::string& name) {
  LapDefinition definition;
  const size_t n = usableSamples(history);
  definition.track.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const TrackPoint point{history.samples[i].longitude, history.samples[i].latitude};
    // A position off the earth can only be a garbled sentence: it has no
    // place in a track (whose map and lines it would wreck), and a file
    // holding one would read as damaged.
    if (onTheEarth(point)) definition.track.push_back(point);
  }
  // Without points the box stays all zero rather than taking a stale sample.
  if (!definition.track.empty()) {
    definition.minLongitude = definition.maxLongitude = definition.track[0].longitude;
    definition.minLatitude = definition.maxLatitude = definition.track[0].latitude;
    for (const TrackPoint& p : definition.track) {
      if (p.longitude < definition.minLongitude) {
        definition.minLongitude = p.longitude;
      } else if (p.longitude > definition.maxLongitude) {
        definition.maxLongitude = p.longitude;
      }
      if (p.latitude < definition.minLatitude) {
        definition.minLatitude = p.latitude;
      } else if (p.latitude > definition.maxLatitude) {
        definition.maxLatitude = p.latitude;
      }
    }
  }
  setSplitLines(definition, splitLineCount, anchors);
  definition.name = limitLapName(name);
  definition.lapCount = 0;
  definitions_.push_back(std::move(definition));
  changes_.bump();
  return count() - 1;
}

void LapDefinitions::updateDefinition(int index, const FixHistory& history, int splitLineCount,
                                      const TrackPoint* anchors, const std::string& name) {
  if (index < 0 || index >= count()) return;
  LapDefinition& definition = definitions_[static_cast<size_t>(index)];
  // The editor works on the definition's own points, so the history holds
  // exactly as many; should it hold more, the extra ones have no place in
  // the track and are left out rather than written past its end.
  const size_t n = std::min(usableSamples(history), definition.track.size());
  for (size_t i = 0; i < n; ++i) {
    definition.track[i] = TrackPoint{history.samples[i].longitude, history.samples[i].latitude};
  }
  setSplitLines(definition, splitLineCount, anchors);
  definition.name = limitLapName(name);
  changes_.bump();
}

void LapDefinitions::deleteDefinition(int index) {
  if (index < 0 || index >= count()) return;
  definitions_.erase(definitions_.begin() + index);
  changes_.bump();
}

uint32_t LapDefinitions::bestLapTime(int index) const {
  if (index < 0 || index >= count()) return 0;
  const LapDefinition& definition = definitions_[static_cast<size_t>(index)];
  const int n = lapsInUse(definition);
  if (n == 0) return 0;
  uint32_t best = definition.laps[0].timeMs;
  for (int i = 1; i < n; ++i) {
    const uint32_t t = definition.laps[static_cast<size_t>(i)].timeMs;
    if (t < best) best = t;
  }
  return best;
}

int32_t LapDefinitions::averageLapTime(int index) const {
  if (index < 0 || index >= count()) return 0;
  const LapDefinition& definition = definitions_[static_cast<size_t>(index)];
  const int n = lapsInUse(definition);
  if (n == 0) return 0;
  // A 32-bit sum as the times were always added; wraps instead of overflowing.
  uint32_t sum = 0;
  for (int i = 0; i < n; ++i) sum += definition.laps[static_cast<size_t>(i)].timeMs;
  return static_cast<int32_t>(sum) / n;
}

uint32_t LapDefinitions::lastLapTime(int index) const {
  if (index < 0 || index >= count()) return 0;
  const LapDefinition& definition = definitions_[static_cast<size_t>(index)];
  const int n = lapsInUse(definition);
  return n == 0 ? 0 : definition.laps[static_cast<size_t>(n - 1)].timeMs;
}

bool LapDefinitions::addLapTime(int index, uint32_t lapTimeMs, uint32_t startTimeOfDayMs,
                                uint32_t stamp, const FixHistory& history) {
  // 0 marks an empty entry: a lap stored with it would end the stored laps
  // there, and the traces of every later lap would not be saved.
  if (lapTimeMs == 0) return false;
  if (index < 0 || index >= count()) return false;
  const uint32_t best = bestLapTime(index);
  LapDefinition& definition = definitions_[static_cast<size_t>(index)];
  auto& laps = definition.laps;
  int n = lapsInUse(definition);
  if (n == LapDefinition::kMaxLaps) {
    // Drop the oldest lap unless it is the best one (a tie counts as the
    // best), then the second oldest goes instead.
    const size_t drop = laps[0].timeMs == best ? 1 : 0;
    for (size_t i = drop; i + 1 < laps.size(); ++i) laps[i] = std::move(laps[i + 1]);
    n = LapDefinition::kMaxLaps - 1;
  }
  RunRecord& entry = laps[static_cast<size_t>(n)];
  entry.timeMs = lapTimeMs;
  entry.stamp = stamp;
  entry.startTime = startTimeOfDayMs;
  entry.traceCount = 0;
  entry.trace = {};
  buildTrace(entry, history);
  definition.lapCount = n + 1;
  changes_.bump();
  return true;
}

}  // namespace corvantis
