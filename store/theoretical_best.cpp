#include "store/theoretical_best.h"

#include <algorithm>
#include <limits>

namespace corvantis {
namespace {

int splitCountOf(const LapDefinition& definition) {
  return std::clamp(definition.splitLineCount, 0, LapDefinition::kMaxSplitLines);
}

// The first track point the anchor lies on; past the last one for none.
size_t anchorPlace(const LapDefinition& definition, const TrackPoint& anchor) {
  const auto it = std::find(definition.track.begin(), definition.track.end(), anchor);
  return static_cast<size_t>(it - definition.track.begin());
}

}  // namespace

int splitLinesInLapOrder(const LapDefinition& definition, std::array<int, LapDefinition::kMaxSplitLines>& order) {
  const int count = splitCountOf(definition);
  std::array<size_t, LapDefinition::kMaxSplitLines> place{};
  for (int k = 0; k < count; ++k) {
    order[static_cast<size_t>(k)] = k;
    place[static_cast<size_t>(k)] = anchorPlace(definition, definition.splitLines[static_cast<size_t>(k)]);
  }
  std::stable_sort(order.begin(), order.begin() + count,
                   [&place](int a, int b) { return place[static_cast<size_t>(a)] < place[static_cast<size_t>(b)]; });
  return count;
}

SegmentBests segmentsFor(const LapDefinition& definition) {
  SegmentBests segments;
  std::array<int, LapDefinition::kMaxSplitLines> order{};
  segments.splitCount = splitLinesInLapOrder(definition, order);
  for (int k = 0; k < segments.splitCount; ++k) {
    segments.splitAnchors[static_cast<size_t>(k)] = definition.splitLines[static_cast<size_t>(order[static_cast<size_t>(k)])];
  }
  return segments;
}

bool sameSplitLines(const SegmentBests& segments, const LapDefinition& definition) {
  const SegmentBests present = segmentsFor(definition);
  return segments.splitCount == present.splitCount && segments.splitAnchors == present.splitAnchors;
}

bool lapSegments(const LapDefinition& definition, const std::array<uint32_t, LapDefinition::kMaxSplitLines>& splitMs,
                 uint32_t lapMs, std::array<uint32_t, kMaxLapSegments>& segmentMs) {
  if (lapMs == 0) return false;
  std::array<int, LapDefinition::kMaxSplitLines> order{};
  const int count = splitLinesInLapOrder(definition, order);
  segmentMs.fill(0);
  uint32_t previousMs = 0;
  for (int k = 0; k < count; ++k) {
    const uint32_t atMs = splitMs[static_cast<size_t>(order[static_cast<size_t>(k)])];
    if (atMs <= previousMs || atMs >= lapMs) return false;
    segmentMs[static_cast<size_t>(k)] = atMs - previousMs;
    previousMs = atMs;
  }
  segmentMs[static_cast<size_t>(count)] = lapMs - previousMs;
  return true;
}

bool improveSegments(SegmentBests& segments, const std::array<uint32_t, kMaxLapSegments>& segmentMs) {
  bool improved = false;
  for (int k = 0; k <= std::clamp(segments.splitCount, 0, LapDefinition::kMaxSplitLines); ++k) {
    const uint32_t time = segmentMs[static_cast<size_t>(k)];
    uint32_t& best = segments.bestMs[static_cast<size_t>(k)];
    if (time != 0 && (best == 0 || time < best)) {
      best = time;
      improved = true;
    }
  }
  return improved;
}

uint32_t theoreticalBest(const SegmentBests& segments, uint32_t bestLapMs) {
  uint64_t sum = 0;
  for (int k = 0; k <= std::clamp(segments.splitCount, 0, LapDefinition::kMaxSplitLines); ++k) {
    const uint32_t best = segments.bestMs[static_cast<size_t>(k)];
    if (best == 0) {
      sum = 0;
      break;
    }
    sum += best;
  }
  if (sum > std::numeric_limits<uint32_t>::max()) sum = 0;
  const auto fromSegments = static_cast<uint32_t>(sum);
  if (fromSegments == 0) return bestLapMs;
  return bestLapMs != 0 ? std::min(fromSegments, bestLapMs) : fromSegments;
}

uint32_t trackTheoreticalBest(const LapDefinition& definition, const KeptLaps* kept, uint32_t bestLapMs) {
  const bool keptForTheseLines = kept != nullptr && sameSplitLines(kept->segments, definition);
  if (splitCountOf(definition) == 0) {
    return keptForTheseLines ? theoreticalBest(kept->segments, bestLapMs) : bestLapMs;
  }
  if (!keptForTheseLines) return 0;
  for (int k = 0; k <= splitCountOf(definition); ++k) {
    if (kept->segments.bestMs[static_cast<size_t>(k)] == 0) return 0;
  }
  return theoreticalBest(kept->segments, bestLapMs);
}

}  // namespace corvantis
