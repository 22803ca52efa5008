#pragma once
// What the lap screen shows of the delta, and what it keeps for the active
// track: the reference lap and segment bests, loaded when the track becomes
// active; the fixes of the lap under way; at the end of each lap its final
// difference, for a few seconds, then the live delta of the next; a faster
// lap becomes the reference and better segments are kept, both saved at
// once.
#include <array>
#include <cstdint>
#include <string>

#include "laps/lap_delta.h"
#include "laps/reference_recorder.h"
#include "store/theoretical_best.h"
#include "store/reference_lap_store.h"

namespace corvantis {

class LiveDelta {
 public:
  // How long a lap's final difference stays shown, and after how long
  // without a fix the delta standing is marked stale.
  static constexpr uint32_t kFinalShownMs = 5000;
  static constexpr uint32_t kStaleAfterMs = 1500;

  explicit LiveDelta(ReferenceLapStore& store) : store_(store) {}

  // The active track (nullptr: none). What is kept for it is loaded; a
  // damaged file leaves a message for the user (takeMessage).
  void selectTrack(const LapDefinition* definition);

  // Every new fix, before the screen tests it for crossings.
  void fix(const FixSample& fix, uint32_t nowTickMs);
  // A lap starts on the live step over the start/finish line.
  void lapStarted(const LiveStep& step);
  // A split line shows its time in the lap under way.
  void splitShown(int line, uint32_t splitMs);
  // The lap under way was stored: its time and its start (fix clock) as the
  // replay timed them. Called before lapStarted for the next lap.
  void lapStored(uint32_t lapMs, uint32_t startMs, uint32_t stamp, uint32_t startTimeOfDayMs, uint32_t nowTickMs);
  // The lap under way stopped without being stored (aborted, off the track).
  void lapAbandoned();

  struct Shown {
    enum class Kind { None, Live, Final };
    Kind kind = Kind::None;
    bool stale = false;
    int32_t deltaMs = 0;
    uint32_t predictedMs = 0;  // Live only
  };
  // What to show now (the tick clock says how long since the last fix and
  // since the last lap ended).
  Shown shown(uint32_t nowTickMs) const;

  // The final difference of the last lap stored with a reference to measure
  // it by, and how many such laps there were.
  int32_t lastLapDeltaMs() const { return finalDeltaMs_; }
  int measuredLaps() const { return measuredLaps_; }

  // The track's theoretical best (0: not known yet).
  uint32_t theoreticalBestMs(uint32_t bestLapMs) const;
  bool hasReference() const { return !kept_.reference.empty(); }
  const KeptLaps& kept() const { return kept_; }
  // A message for the user (a damaged kept file, a failed save), once.
  std::string takeMessage();

 private:
  ReferenceLapStore& store_;
  const LapDefinition* track_ = nullptr;
  LineGeometry startFinish_;
  int startFinishIndex_ = 0;
  KeptLaps kept_;
  LapDelta delta_;
  LapPathRecorder recorder_;
  bool lapRunning_ = false;
  std::array<uint32_t, LapDefinition::kMaxSplitLines> splitMs_{};
  uint32_t lastFixTickMs_ = 0;
  bool finalShown_ = false;
  int measuredLaps_ = 0;
  int32_t finalDeltaMs_ = 0;
  uint32_t lapEndedTickMs_ = 0;
  std::string message_;
};

}  // namespace corvantis
