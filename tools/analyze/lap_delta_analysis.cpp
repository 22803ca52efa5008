#include "tools/analyze/lap_delta_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "common/units.h"
#include "tools/analyze/log_replay.h"

namespace corvantis::analyze {
namespace {

constexpr uint64_t kDayMs = 86400000u;

// A lap event's start crossing on the fix clock: the stored start is a time
// of day, the event came at most a day after it.
uint32_t startOnFixClock(uint32_t startOfDayMs, uint32_t eventAtFixMs) {
  const uint64_t since = (static_cast<uint64_t>(eventAtFixMs) + 4 * kDayMs - startOfDayMs) % kDayMs;
  return eventAtFixMs - static_cast<uint32_t>(since);
}

size_t firstFixAfter(const std::vector<FixSample>& fixes, uint32_t timeMs) {
  return static_cast<size_t>(std::upper_bound(fixes.begin(), fixes.end(), timeMs,
                                              [](uint32_t t, const FixSample& f) { return t < f.time; }) -
                             fixes.begin());
}

// Places the lap's fixes against the engine's reference; with `finish`, also
// the delta at the end crossing.
std::vector<DeltaRow> placeLap(LapDelta& engine, const TimedLap& lap, const std::vector<FixSample>& fixes,
                               std::optional<double>* finish) {
  std::vector<DeltaRow> rows;
  engine.startLap(lap.liveStart.instantMs, lap.liveStart.position);
  size_t j = lap.firstFix;
  for (; j < fixes.size() && fixes[j].time <= lap.endMs; ++j) {
    DeltaRow row;
    row.fix = fixes[j];
    row.reading = engine.update(fixes[j]);
    row.elapsedMs = fixes[j].time - lap.liveStart.instantMs;
    rows.push_back(row);
  }
  if (finish != nullptr && j < fixes.size() && !rows.empty()) {
    const DeltaRow& last = rows.back();
    const DeltaReading after = engine.update(fixes[j]);
    if (last.reading.placed && !last.reading.stale && !after.stale && fixes[j].time > last.fix.time) {
      const double share = static_cast<double>(lap.endMs - last.fix.time) / (fixes[j].time - last.fix.time);
      *finish = last.reading.deltaMs + (after.deltaMs - last.reading.deltaMs) * share;
    }
  }
  return rows;
}

// The delta at an instant within the lap: interpolated between the fixes
// either side when both were placed, else the one standing before it.
bool deltaAt(const std::vector<DeltaRow>& rows, uint32_t instantMs, double& deltaMs) {
  const auto after = std::find_if(rows.begin(), rows.end(), [instantMs](const DeltaRow& r) {
    return r.fix.time > instantMs;
  });
  if (after == rows.begin()) return false;
  const DeltaRow& before = *(after - 1);
  if (!before.reading.placed) return false;
  deltaMs = before.reading.deltaMs;
  if (after != rows.end() && !before.reading.stale && !after->reading.stale) {
    const double share = static_cast<double>(instantMs - before.fix.time) / (after->fix.time - before.fix.time);
    deltaMs += (after->reading.deltaMs - before.reading.deltaMs) * share;
  }
  return true;
}

std::string number(double value) { return std::to_string(std::lround(value)); }

}  // namespace

std::vector<FixSample> logFixes(const std::vector<uint8_t>& log, Talkers talkers) {
  Replay replay(log, talkers);
  StderrMessageBoxes boxes;
  auto gps = std::make_unique<GpsInput>(replay.port(), boxes);
  std::vector<FixSample> fixes;
  gps->afterTick = [&](bool newFix) {
    if (newFix) fixes.push_back(gps->history.newest());
  };
  replay.run(*gps);
  return fixes;
}

DeltaAnalysis analyseDeltas(const LapDefinition& definition, const std::vector<FixSample>& fixes,
                            const std::vector<LapPassEvent>& events, const ReferenceLap* kept) {
  DeltaAnalysis analysis;
  const int startFinish = startFinishLine(definition);
  const LineGeometry line = computeLineGeometry(definition, startFinish);
  analysis.startFinish = line;
  std::vector<std::vector<size_t>> splitsOfLap;
  std::vector<size_t> pending;
  int lapsInLog = 0;
  for (size_t e = 0; e < events.size(); ++e) {
    const LapPassEvent& event = events[e];
    if (event.event.kind == LapEvent::Kind::Split) {
      pending.push_back(e);
      continue;
    }
    ++lapsInLog;
    TimedLap lap;
    lap.number = lapsInLog;
    lap.event = e;
    lap.startMs = startOnFixClock(event.event.startMs, event.atFixMs);
    lap.timeMs = event.event.timeMs;
    lap.endMs = lap.startMs + lap.timeMs;
    lap.firstFix = firstFixAfter(fixes, lap.startMs);
    if (lap.firstFix == 0 || lap.firstFix >= fixes.size()) {
      pending.clear();
      continue;
    }
    const FixSample& before = fixes[lap.firstFix - 1];
    const FixSample& after = fixes[lap.firstFix];
    if (!liveCrossing(line, startFinish, before, after, lap.liveStart)) {
      lap.liveStart = StepCrossing{lap.startMs, crossingPoint(line, before, after, lap.startMs)};
    }
    if (!buildReferenceLap(line, fixes, lap.startMs, lap.timeMs, lap.path)) lap.path = ReferenceLap{};
    std::vector<size_t> splits;
    for (const size_t s : pending) {
      if (events[s].atFixMs > lap.startMs) splits.push_back(s);
    }
    pending.clear();
    analysis.laps.push_back(std::move(lap));
    splitsOfLap.push_back(std::move(splits));
  }

  LapDelta engine;
  int fastest = -1;  // index of the fastest lap so far that can be a reference
  for (size_t k = 0; k < analysis.laps.size(); ++k) {
    const TimedLap& lap = analysis.laps[k];
    LapDeltas deltas;
    deltas.lap = &lap;
    const ReferenceLap* reference = kept;
    deltas.referenceLap = kept != nullptr ? 0 : -1;
    if (kept == nullptr && fastest >= 0) {
      reference = &analysis.laps[static_cast<size_t>(fastest)].path;
      deltas.referenceLap = fastest + 1;
    }
    if (reference != nullptr && !reference->empty()) {
      deltas.referenceTimeMs = reference->lapTimeMs;
      engine.setReference(reference, &line);
      deltas.rows = placeLap(engine, lap, fixes, &deltas.finishDeltaMs);
      for (const size_t s : splitsOfLap[k]) {
        SplitDelta split;
        split.event = s;
        split.line = events[s].event.line;
        split.known = deltaAt(deltas.rows, lap.liveStart.instantMs + events[s].event.timeMs, split.deltaMs);
        split.predictedMs = reference->lapTimeMs + split.deltaMs;
        deltas.splits.push_back(split);
      }
    } else {
      deltas.referenceLap = -1;
    }
    analysis.deltas.push_back(std::move(deltas));
    if (!lap.path.empty() && (fastest < 0 || lap.timeMs < analysis.laps[static_cast<size_t>(fastest)].timeMs)) {
      fastest = static_cast<int>(k);
    }
  }
  return analysis;
}

std::vector<std::string> lapEventsJsonWithDelta(const std::vector<LapPassEvent>& events,
                                                const DeltaAnalysis& analysis) {
  std::vector<std::string> lines;
  for (size_t e = 0; e < events.size(); ++e) {
    const bool lapEvent = events[e].event.kind == LapEvent::Kind::Lap;
    std::string fields = lapEvent ? ",\"delta_ms\":null,\"predicted_ms\":null" : ",\"delta_ms\":null";
    for (const LapDeltas& deltas : analysis.deltas) {
      if (deltas.lap->event == e) {
        if (deltas.referenceLap < 0) break;
        fields = ",\"delta_ms\":" + std::to_string(static_cast<int64_t>(deltas.lap->timeMs) -
                                                   static_cast<int64_t>(deltas.referenceTimeMs));
        fields += ",\"predicted_ms\":[";
        bool first = true;
        for (const SplitDelta& split : deltas.splits) {
          fields += (first ? "" : ",") + (split.known ? number(split.predictedMs) : std::string("null"));
          first = false;
        }
        fields += "]";
      }
      for (const SplitDelta& split : deltas.splits) {
        if (split.event == e && split.known) fields = ",\"delta_ms\":" + number(split.deltaMs);
      }
    }
    std::string line = lapEventJson(events[e]);
    line.insert(line.size() - 1, fields);
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string deltaCsv(const DeltaAnalysis& analysis) {
  std::string out = "time_ms,lap,elapsed_ms,delta_ms,predicted_ms\n";
  for (const LapDeltas& deltas : analysis.deltas) {
    for (const DeltaRow& row : deltas.rows) {
      out += std::to_string(row.fix.time % kDayMs) + "," + std::to_string(deltas.lap->number) + "," +
             std::to_string(row.elapsedMs) + ",";
      if (row.reading.placed) out += number(row.reading.deltaMs) + "," + number(row.reading.predictedMs);
      else out += ",";
      out += "\n";
    }
  }
  return out;
}

const ReferenceLap* fastestLapPath(const DeltaAnalysis& analysis) {
  const ReferenceLap* fastest = nullptr;
  for (const TimedLap& lap : analysis.laps) {
    if (!lap.path.empty() && (fastest == nullptr || lap.timeMs < fastest->lapTimeMs)) fastest = &lap.path;
  }
  return fastest;
}

std::optional<std::string> compareCsv(const DeltaAnalysis& analysis, const std::vector<FixSample>& fixes, int a,
                                      int b, const ReferenceLap& reference, bool metric, std::string& error) {
  LapDelta engine;
  engine.setReference(&reference, &analysis.startFinish);
  if (!engine.hasReference()) {
    error = "there is no reference lap to compare along";
    return std::nullopt;
  }
  // Each lap as (distance along the reference, elapsed, speed), from its
  // start crossing to its end crossing.
  struct Sample {
    double alongM, elapsedMs, speedMph;
  };
  std::vector<Sample> series[2];
  const int numbers[2] = {a, b};
  for (int side = 0; side < 2; ++side) {
    const int n = numbers[side];
    if (n < 1 || n > static_cast<int>(analysis.laps.size())) {
      error = "the log has no lap " + std::to_string(n) + " (it has " + std::to_string(analysis.laps.size()) + ")";
      return std::nullopt;
    }
    const TimedLap& lap = analysis.laps[static_cast<size_t>(n - 1)];
    const std::vector<DeltaRow> rows = placeLap(engine, lap, fixes, nullptr);
    std::vector<Sample>& s = series[side];
    s.push_back({0.0, 0.0, rows.empty() ? 0.0 : static_cast<double>(rows.front().fix.speed)});
    for (const DeltaRow& row : rows) {
      // A fix off the path, or one placed behind the last, adds nothing.
      if (!row.reading.placed || row.reading.stale || row.reading.alongM <= s.back().alongM) continue;
      s.push_back({row.reading.alongM, static_cast<double>(row.elapsedMs), static_cast<double>(row.fix.speed)});
    }
    const double endElapsedMs = static_cast<double>(lap.endMs - lap.liveStart.instantMs);
    if (engine.referenceLengthM() > s.back().alongM) {
      s.push_back({engine.referenceLengthM(), endElapsedMs, s.back().speedMph});
    }
    if (s.size() < 3) {
      error = "lap " + std::to_string(n) + " could not be placed on the reference path";
      return std::nullopt;
    }
  }
  const char* unit = metric ? "kph" : "mph";
  std::string out = std::string("distance_m,speed_a_") + unit + ",elapsed_a_ms,speed_b_" + unit +
                    ",elapsed_b_ms,difference_ms\n";
  size_t at[2] = {1, 1};
  for (const double x : engine.pointsAlongM()) {
    double elapsed[2], speed[2];
    for (int side = 0; side < 2; ++side) {
      const std::vector<Sample>& s = series[side];
      while (at[side] + 1 < s.size() && s[at[side]].alongM < x) ++at[side];
      const Sample& p = s[at[side] - 1];
      const Sample& q = s[at[side]];
      const double share = std::clamp((x - p.alongM) / (q.alongM - p.alongM), 0.0, 1.0);
      elapsed[side] = p.elapsedMs + (q.elapsedMs - p.elapsedMs) * share;
      const double mph = p.speedMph + (q.speedMph - p.speedMph) * share;
      speed[side] = metric ? units::mphToKph(mph) : mph;
    }
    char line[160];
    const long elapsedA = std::lround(elapsed[0]), elapsedB = std::lround(elapsed[1]);
    std::snprintf(line, sizeof line, "%.1f,%.1f,%ld,%.1f,%ld,%ld\n", x, speed[0], elapsedA, speed[1], elapsedB,
                  elapsedB - elapsedA);
    out += line;
  }
  return out;
}

}  // namespace corvantis::analyze
