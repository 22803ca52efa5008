#include "store/run_records.h"

#include <cmath>
#include <new>
#include <utility>

namespace corvantis {
namespace {

// Whole units of a speed or distance as a 16-bit key half: truncated toward
// zero and held inside [0, limit] so that no input (negative, NaN, huge) makes
// the conversion undefined or spills into the other half of the key.
uint16_t wholeUnits(double value, double limit) {
  if (!(value > 0.0)) return 0;  // also catches NaN
  if (value >= limit) return static_cast<uint16_t>(limit);
  return static_cast<uint16_t>(std::trunc(value));
}

// 0.5 / 65535: half a fraction step, so that the fraction rounds to the
// nearest step instead of truncating.
constexpr double kHalfFractionStep = 7.629510948348211e-06;
// 1 / 65535, as the decoding multiplies it.
constexpr double kFractionStep = 1.5259021896696422e-05;
// Largest distance with a key of its own: the whole metres must fit in the
// 15 bits below the distance flag.
constexpr double kDistanceLimitM = 32768.0;

}  // namespace

RecordKey keyFromValue(uint32_t value) {
  return RecordKey{static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value & 0xFFFFu)};
}

RecordKey accelerationKey(float fromMph, float toMph) {
  // The kind's top bit tells distance runs apart, so the from-speed stays below it.
  return RecordKey{wholeUnits(fromMph, 32767.0), wholeUnits(toMph, 65535.0)};
}

bool distanceFitsKey(double distanceM) { return distanceM > 0.0 && distanceM < kDistanceLimitM; }

RecordKey distanceKey(double distanceM) {
  double d = distanceM;
  if (!(d > 0.0)) d = 0.0;
  if (d >= kDistanceLimitM) d = std::nextafter(kDistanceLimitM, 0.0);
  const double whole = std::trunc(d);
  // Below 1.0 by construction, so the product stays below 65535.5.
  const double fraction = ((d + kHalfFractionStep) - whole) * 65535.0;
  const auto kind = static_cast<uint16_t>(0x8000u | static_cast<uint16_t>(whole));
  const auto parameter = static_cast<uint16_t>(std::trunc(fraction));
  return RecordKey{kind, parameter};
}

double distanceFromKey(RecordKey key) {
  return static_cast<double>(key.kind & 0x7FFFu) + static_cast<double>(key.parameter) * kFractionStep;
}

int RecordSet::filledCount() const {
  int n = 0;
  while (n < kSlots && runs[static_cast<size_t>(n)].timeMs != 0) ++n;
  return n;
}

RecordSet* RunRecords::findRecordSet(RecordKey key) {
  for (RecordSet& set : sets_) {
    if (set.key == key.value()) return &set;
  }
  return nullptr;
}

const RecordSet* RunRecords::findRecordSet(RecordKey key) const {
  for (const RecordSet& set : sets_) {
    if (set.key == key.value()) return &set;
  }
  return nullptr;
}

namespace {

// Writes a new run into a slot: the slot's earlier trace goes, startTime
// stays (0 for straight-line runs; lap times set it themselves).
void fillSlot(RunRecord& slot, uint32_t timeMs, uint32_t stamp, const FixHistory& history) {
  slot.timeMs = timeMs;
  slot.stamp = stamp;
  slot.traceCount = 0;
  slot.trace = {};
  buildTrace(slot, history);
}

}  // namespace

bool RunRecords::addRun(RecordKey key, uint32_t timeMs, uint32_t stamp, const FixHistory& history) {
  // 0 marks an empty slot: a run stored with it would vanish from every
  // list and hide the runs after it.
  if (timeMs == 0) return false;
  RecordSet* set = findRecordSet(key);
  if (set == nullptr) {
    RecordSet fresh;
    fresh.key = key.value();
    sets_.push_back(std::move(fresh));
    set = &sets_.back();
  }
  auto& runs = set->runs;
  for (RunRecord& slot : runs) {
    if (slot.timeMs == 0) {
      fillSlot(slot, timeMs, stamp, history);
      ++storedRunCount_;
      changes_.bump();
      return true;
    }
  }
  // All ten filled: drop the oldest run unless it holds the best time (ties
  // included), in which case the second oldest goes, so the best survives.
  size_t drop = 1;
  for (size_t i = 1; i < runs.size(); ++i) {
    if (runs[i].timeMs < runs[0].timeMs) drop = 0;
  }
  for (size_t i = drop; i + 1 < runs.size(); ++i) runs[i] = std::move(runs[i + 1]);
  fillSlot(runs.back(), timeMs, stamp, history);
  ++storedRunCount_;
  changes_.bump();
  return true;
}

void RunRecords::forgetLastRun(RecordKey key) {
  for (auto it = sets_.begin(); it != sets_.end(); ++it) {
    if (it->key != key.value()) continue;
    const int n = it->filledCount();
    if (n >= 2) {
      it->runs[static_cast<size_t>(n - 1)].timeMs = 0;
    } else {
      sets_.erase(it);
    }
    changes_.bump();
    return;
  }
}

bool RunRecords::removeRecordSet(size_t index) {
  if (index >= sets_.size()) return false;
  sets_.erase(sets_.begin() + static_cast<std::ptrdiff_t>(index));
  changes_.bump();
  return true;
}

uint32_t RunRecords::bestTime(RecordKey key) const {
  const RecordSet* set = findRecordSet(key);
  if (set == nullptr) return 0;
  const int n = set->filledCount();
  uint32_t best = set->runs[0].timeMs;
  for (int i = 1; i < n; ++i) {
    const uint32_t t = set->runs[static_cast<size_t>(i)].timeMs;
    if (t < best) best = t;
  }
  return best;
}

int32_t RunRecords::averageTime(RecordKey key) const {
  const RecordSet* set = findRecordSet(key);
  if (set == nullptr) return 0;
  const int n = set->filledCount();
  if (n == 0) return 0;
  // The sum is kept in 32 bits as stored times always were; it wraps
  // (defined, unsigned) rather than overflowing a signed integer.
  uint32_t sum = 0;
  for (int i = 0; i < n; ++i) sum += set->runs[static_cast<size_t>(i)].timeMs;
  return static_cast<int32_t>(sum) / n;
}

void buildTrace(RunRecord& run, const FixHistory& history) {
  int n = history.count;
  if (n > FixHistory::kCapacity) n = FixHistory::kCapacity;
  if (n <= 0) return;
  std::vector<TraceSample> trace;
  try {
    trace.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    // Without memory for the trace the run is still worth keeping: it is
    // listed and timed normally, it just cannot be plotted.
    run.traceCount = 0;
    run.trace = {};
    return;
  }
  const auto& samples = history.samples;
  for (size_t i = 0; i < trace.size(); ++i) {
    trace[i].time = samples[i].time;
    trace[i].speed = samples[i].speed;
    if (i == 0) {
      trace[i].distance = 0.0f;
    } else {
      const double along = static_cast<double>(trace[i - 1].distance) +
                           greatCircleDistance(samples[i - 1], samples[i]);
      trace[i].distance = static_cast<float>(along);
    }
  }
  run.trace = std::move(trace);
  run.traceCount = n;
}

}  // namespace corvantis
