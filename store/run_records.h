#pragma once
// The run records store: for every run definition (an acceleration run from
// one speed to another, or a distance run over one distance) up to ten runs,
// each with its time, stamp and trace.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "gps/fix_history.h"
#include "store/change_count.h"

namespace corvantis {

// One captured fix of a stored run (12 bytes in the file).
struct TraceSample {
  uint32_t time = 0;     // ms, the fix's time
  float speed = 0.0f;    // mph
  float distance = 0.0f; // metres since the first sample, along the driven path
};

struct RunRecord {
  uint32_t timeMs = 0;     // 0 marks an empty slot
  uint32_t stamp = 0;      // calendar seconds at capture start
  int32_t traceCount = 0;  // samples in trace
  std::vector<TraceSample> trace;  // owned; traceCount entries (empty when none)
  uint32_t startTime = 0;  // lap times only: fix time at the lap's start
};

// Record key: (kind << 16) | parameter.
struct RecordKey {
  uint16_t kind = 0;
  uint16_t parameter = 0;
  uint32_t value() const { return (static_cast<uint32_t>(kind) << 16) | parameter; }
  bool isDistance() const { return (kind & 0x8000u) != 0; }
  friend bool operator==(const RecordKey&, const RecordKey&) = default;
};
RecordKey keyFromValue(uint32_t value);

// Acceleration run: kind and parameter are the two speeds in whole mph,
// truncated toward zero.
RecordKey accelerationKey(float fromMph, float toMph);
// Distance run: kind 0x8000 | whole metres, parameter the fraction of a
// metre in 1/65535 steps, rounded to the nearest step.
RecordKey distanceKey(double distanceM);
// The distance in metres that a distance key stands for.
double distanceFromKey(RecordKey key);
// True when a distance (metres) can be stored under a key of its own:
// above 0 and below 32768 m.
bool distanceFitsKey(double distanceM);

struct RecordSet {
  static constexpr int kSlots = 10;
  uint32_t key = 0;
  std::array<RunRecord, kSlots> runs{};
  // Filled slots: the prefix up to the first slot whose timeMs is 0.
  int filledCount() const;
};

class RunRecords {
 public:
  // The first set with this key, or nullptr.
  RecordSet* findRecordSet(RecordKey key);
  const RecordSet* findRecordSet(RecordKey key) const;

  // Stores a finished run with a trace built from history as it is now.
  // A time of 0 is the empty-slot marker and is never stored (answers false).
  bool addRun(RecordKey key, uint32_t timeMs, uint32_t stamp, const FixHistory& history);
  void forgetLastRun(RecordKey key);
  // Runs addRun has stored since this store was made: a change tells a
  // caller that a run was stored, without comparing the sets.
  uint64_t storedRunCount() const { return storedRunCount_; }
  // Counts every change the options file keeps (a run stored or forgotten,
  // a set removed); equal counts mean equal contents. Whoever edits the
  // sets in place calls noteChanged when done.
  uint64_t revision() const { return changes_.value(); }
  void noteChanged() { changes_.bump(); }
  // Hears of every change, right after it is made.
  void setChangeListener(std::function<void()> listener) { changes_.setListener(std::move(listener)); }
  // Removes the set at this place in the list, with its runs and traces;
  // the later sets move up one place. By place rather than by key, so that
  // of two sets with one key (a file written elsewhere) the one meant goes.
  // Answers false when there is no set there.
  bool removeRecordSet(size_t index);
  uint32_t bestTime(RecordKey key) const;
  int32_t averageTime(RecordKey key) const;

  std::vector<RecordSet>& sets() { return sets_; }
  const std::vector<RecordSet>& sets() const { return sets_; }

 private:
  std::vector<RecordSet> sets_;
  uint64_t storedRunCount_ = 0;
  ChangeCount changes_;
};

// Fills traceCount and trace of run from history.samples[0..count-1]; a
// trace whose memory cannot be had leaves the run without a trace.
void buildTrace(RunRecord& run, const FixHistory& history);

}  // namespace corvantis
