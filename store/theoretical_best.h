#pragma once
// The theoretical best of a track: the sum of the best time of each of its
// segments (start/finish to the first split line a lap passes, split to
// split, last split to the finish) among the laps timed with its present
// split lines. A track without split lines has one segment, the lap.
#include <array>
#include <cstdint>

#include "store/reference_lap.h"

namespace corvantis {

inline constexpr int kMaxLapSegments = LapDefinition::kMaxSplitLines + 1;

// Split lines in the order a lap passes them: by the first track point each
// anchor lies on (the list order of the editor is no such order). A line
// whose anchor lies on no track point goes last. Answers the line count.
int splitLinesInLapOrder(const LapDefinition& definition, std::array<int, LapDefinition::kMaxSplitLines>& order);

// Empty segment bests for the definition's present split lines.
SegmentBests segmentsFor(const LapDefinition& definition);
// Whether the bests were timed with the definition's present split lines.
bool sameSplitLines(const SegmentBests& segments, const LapDefinition& definition);

// A lap's segment times from the split times it showed (by line index, ms
// from the lap's start; 0 for a line it did not pass) and its lap time.
// False when they do not make a lap: a line not passed, or lines passed out
// of their order or after the finish.
bool lapSegments(const LapDefinition& definition, const std::array<uint32_t, LapDefinition::kMaxSplitLines>& splitMs,
                 uint32_t lapMs, std::array<uint32_t, kMaxLapSegments>& segmentMs);

// Takes every segment of the lap that beats the kept best; true when one did.
bool improveSegments(SegmentBests& segments, const std::array<uint32_t, kMaxLapSegments>& segmentMs);

// The sum of the best segments, or 0 while a segment has no time. Never
// above the best stored lap (bestLapMs, 0 for none): laps stored before the
// segments were kept, or with other split lines, are laps that were driven.
uint32_t theoreticalBest(const SegmentBests& segments, uint32_t bestLapMs);

// The theoretical best shown for a track: with split lines, the best
// segments kept for its present lines (0 until each segment has a time);
// without, its best lap.
uint32_t trackTheoreticalBest(const LapDefinition& definition, const KeptLaps* kept, uint32_t bestLapMs);

}  // namespace corvantis
