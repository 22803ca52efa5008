#include "laps/live_delta.h"

#include <cmath>
#include <utility>

namespace corvantis {

void LiveDelta::selectTrack(const LapDefinition* definition) {
  track_ = definition;
  kept_ = KeptLaps{};
  lapRunning_ = false;
  finalShown_ = false;
  recorder_.stop();
  delta_.setReference(nullptr);
  if (definition == nullptr) return;
  startFinishIndex_ = startFinishLine(*definition);
  startFinish_ = computeLineGeometry(*definition, startFinishIndex_);
  ReferenceLapStore::Loaded loaded = store_.load(*definition);
  if (loaded.status == ReferenceLapStore::Loaded::Status::Damaged ||
      loaded.status == ReferenceLapStore::Loaded::Status::Unreadable) {
    message_ = loaded.message;
  }
  if (loaded.status == ReferenceLapStore::Loaded::Status::Kept) kept_ = std::move(loaded.kept);
  // Segment times of other split lines are no segment times of these.
  if (!sameSplitLines(kept_.segments, *definition)) kept_.segments = segmentsFor(*definition);
  delta_.setReference(&kept_.reference, &startFinish_);
}

void LiveDelta::fix(const FixSample& fix, uint32_t nowTickMs) {
  lastFixTickMs_ = nowTickMs;
  recorder_.add(fix);
  if (lapRunning_) delta_.update(fix);
}

void LiveDelta::lapStarted(const LiveStep& step) {
  if (track_ == nullptr) return;
  StepCrossing start;
  if (!liveCrossing(startFinish_, startFinishIndex_, step.previous, step.newest, start)) {
    start.instantMs = step.newest.time;
    start.position = TrackPoint{step.newest.longitude, step.newest.latitude};
  }
  recorder_.begin(step.previous, step.newest);
  delta_.startLap(start.instantMs, start.position);
  delta_.update(step.newest);
  splitMs_.fill(0);
  lapRunning_ = true;
}

void LiveDelta::splitShown(int line, uint32_t splitMs) {
  if (lapRunning_ && line >= 0 && line < LapDefinition::kMaxSplitLines) splitMs_[static_cast<size_t>(line)] = splitMs;
}

void LiveDelta::lapStored(uint32_t lapMs, uint32_t startMs, uint32_t stamp, uint32_t startTimeOfDayMs,
                          uint32_t nowTickMs) {
  if (track_ == nullptr || !lapRunning_) return;
  lapRunning_ = false;
  finalShown_ = hasReference();
  if (finalShown_) ++measuredLaps_;
  finalDeltaMs_ = static_cast<int32_t>(static_cast<int64_t>(lapMs) - kept_.reference.lapTimeMs);
  lapEndedTickMs_ = nowTickMs;

  bool changed = false;
  std::array<uint32_t, kMaxLapSegments> segments{};
  if (lapSegments(*track_, splitMs_, lapMs, segments)) changed = improveSegments(kept_.segments, segments);
  if (recorder_.complete() && (kept_.reference.empty() || lapMs < kept_.reference.lapTimeMs)) {
    ReferenceLap lap;
    if (buildReferenceLap(startFinish_, recorder_.fixes(), startMs, lapMs, lap)) {
      lap.stamp = stamp;
      lap.startTimeOfDayMs = startTimeOfDayMs;
      kept_.reference = std::move(lap);
      delta_.setReference(&kept_.reference, &startFinish_);
      changed = true;
    }
  }
  recorder_.stop();
  std::string error;
  if (changed && !store_.save(*track_, kept_, error)) {
    message_ = "The reference lap of " + track_->name + " could not be saved (" + error + ").";
  }
}

void LiveDelta::lapAbandoned() {
  lapRunning_ = false;
  recorder_.stop();
  delta_.endLap();
}

LiveDelta::Shown LiveDelta::shown(uint32_t nowTickMs) const {
  Shown shown;
  if (finalShown_ && nowTickMs - lapEndedTickMs_ < kFinalShownMs) {
    shown.kind = Shown::Kind::Final;
    shown.deltaMs = finalDeltaMs_;
    return shown;
  }
  const DeltaReading& r = delta_.reading();
  if (!lapRunning_ || !r.placed) return shown;
  shown.kind = Shown::Kind::Live;
  shown.stale = r.stale || nowTickMs - lastFixTickMs_ > kStaleAfterMs;
  shown.deltaMs = static_cast<int32_t>(std::lround(r.deltaMs));
  shown.predictedMs = r.predictedMs > 0.0 ? static_cast<uint32_t>(std::lround(r.predictedMs)) : 0u;
  return shown;
}

uint32_t LiveDelta::theoreticalBestMs(uint32_t bestLapMs) const {
  return track_ == nullptr ? 0 : trackTheoreticalBest(*track_, &kept_, bestLapMs);
}

std::string LiveDelta::takeMessage() { return std::exchange(message_, std::string()); }

}  // namespace corvantis
