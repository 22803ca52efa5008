#pragma once
// The live delta over a logged session, as the lap screen would show it at
// each fix: every timed lap placed against its reference (the fastest lap
// timed before it in the log, or a kept reference lap), the delta at each
// split crossing and the predicted lap time there, and two laps side by
// side along a reference path for plotting.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "laps/lap_delta.h"
#include "laps/reference_recorder.h"
#include "tools/analyze/lap_analysis.h"

namespace corvantis::analyze {

// Every fix the log hands the screens (the newest fix at each new fix), in
// order: the same pump, decoder and fix history as the lap pass.
std::vector<FixSample> logFixes(const std::vector<uint8_t>& log, Talkers talkers);

// A lap the lap pass stored, placed among the log's fixes.
struct TimedLap {
  int number = 0;           // from 1: the lap events of the log
  size_t event = 0;         // index of its lap event
  uint32_t startMs = 0;     // the start crossing as the lap's replay timed it (fix clock)
  uint32_t timeMs = 0;
  uint32_t endMs = 0;       // startMs + timeMs
  size_t firstFix = 0;      // the first fix after the start crossing
  StepCrossing liveStart;   // the start crossing as the screen saw it live
  ReferenceLap path;        // the lap as a reference; empty when it cannot be one
};

// One fix of a timed lap, placed against a reference.
struct DeltaRow {
  FixSample fix;
  uint32_t elapsedMs = 0;  // since the live start crossing
  DeltaReading reading;    // reading.placed false before the first placed fix
};

struct SplitDelta {
  size_t event = 0;        // index of the split event
  int line = 0;
  bool known = false;      // placed on both sides of the crossing, or before it
  double deltaMs = 0.0;    // interpolated to the crossing instant
  double predictedMs = 0.0;
};

struct LapDeltas {
  const TimedLap* lap = nullptr;
  int referenceLap = 0;    // the log's lap it was measured against; 0 for a kept one, -1 for none
  uint32_t referenceTimeMs = 0;
  std::vector<DeltaRow> rows;
  std::vector<SplitDelta> splits;
  // The delta interpolated to the end crossing, from the last fix of the
  // lap and the first after it (placed beyond the reference's end).
  std::optional<double> finishDeltaMs;
};

struct DeltaAnalysis {
  LineGeometry startFinish;  // the line every reference path begins and ends on
  std::vector<TimedLap> laps;
  std::vector<LapDeltas> deltas;  // one per lap, in order
};

// `kept`: a kept reference for every lap, or nullptr for the fastest lap
// timed before each lap in the log.
DeltaAnalysis analyseDeltas(const LapDefinition& definition, const std::vector<FixSample>& fixes,
                            const std::vector<LapPassEvent>& events, const ReferenceLap* kept);

// The lap events' JSON with "delta_ms" (the lap's final difference from
// its reference; at a split the delta at its crossing), and on each lap
// "predicted_ms": the predicted lap time at each split it passed, in order.
// null where there is no reference.
std::vector<std::string> lapEventsJsonWithDelta(const std::vector<LapPassEvent>& events,
                                                const DeltaAnalysis& analysis);

// "time_ms,lap,elapsed_ms,delta_ms,predicted_ms", then a row for every fix
// of every timed lap that has a reference (fields empty before its first
// placed fix).
std::string deltaCsv(const DeltaAnalysis& analysis);

// Laps a and b (numbered from 1) side by side at every point of the
// reference path: distance along it, each lap's speed (mph, kph when
// metric) and elapsed time there, and b's time less a's. nullopt, with the
// reason, when a lap is not in the log or cannot be placed.
std::optional<std::string> compareCsv(const DeltaAnalysis& analysis, const std::vector<FixSample>& fixes,
                                      int a, int b, const ReferenceLap& reference, bool metric, std::string& error);

// The reference for --compare: the kept one, or the fastest lap of the log.
const ReferenceLap* fastestLapPath(const DeltaAnalysis& analysis);

}  // namespace corvantis::analyze
