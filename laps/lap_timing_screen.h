#pragma once
// The lap timing screen: times laps and splits of the active lap definition
// from the crossings of its lines, stores each lap with its trace, draws a
// small map of the track with the car on it, and records a new track by
// driving one loop between "Start Lap Define" and "Stop Lap Define" (then
// closed into a tidy loop and handed to the lap editor).
#include <array>
#include <cstdint>
#include <functional>

#include "laps/delta_panel.h"
#include "laps/lap_crossing.h"
#include "laps/live_delta.h"
#include "ui/live_lines.h"
#include "ui/screen.h"

namespace corvantis {

class LapEditorScreen;

// What the screen timed, for tools that follow a session (the log analyzer).
struct LapEvent {
  enum class Kind { Lap, Split };
  Kind kind = Kind::Lap;
  int line = 0;           // split line index (Split)
  uint32_t timeMs = 0;    // the lap time stored, or the split time shown
  uint32_t startMs = 0;   // Lap: the start/finish crossing's time of day, as stored
};

class LapTimingScreen : public Screen {
 public:
  static constexpr int kStatusLine = 1001;
  static constexpr int kRunningTime = 1031;
  static constexpr int kLastTime = 1006;
  static constexpr int kBestTime = 1007;
  static constexpr int kFirstSplit = 1033;  // split line k shows in 1033 + k
  static constexpr int kActiveLap = 1025;
  static constexpr int kDefineButton = 1023;
  static constexpr int kAbortButton = 1032;
  static constexpr int kMainMenu = 1;

  static constexpr const char* kStartDefine = "Start Lap Define";
  static constexpr const char* kStopDefine = "Stop Lap Define";
  static constexpr const char* kClosedLoopQuestion =
      "Is this a closed loop lap?\n\nCorvantis will automatically create a tidy closed loop.";
  static constexpr const char* kCannotCloseMessage =
      "Unable to close the lap data. Define the lap again and make certain the lap loops.";

  // Fixes within this distance of the last kept one add nothing to a track
  // being recorded (standing, creeping).
  static constexpr double kRecordingMinStepM = 2.0;
  // The pump's hold-off when the lap editor opens.
  static constexpr int32_t kEditorHoldOffTicks = 10;

  explicit LapTimingScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  void onPaint(platform::Surface& surface) override;
  void update(bool newFix) override;

  // Called with the lap editor of a newly recorded track just before it is
  // shown (the log analyzer places split lines through it).
  std::function<void(LapEditorScreen&)> beforeEditorShown;
  // Called for every lap stored and every split time shown.
  std::function<void(const LapEvent&)> onLapEvent;

  int activeLap() const { return activeLap_; }
  bool recording() const { return recording_; }
  // A lap is open: the next start/finish crossing completes it (and stores
  // it when its replay times it).
  bool running() const { return running_; }
  // A lap is really being timed, and its running time shows: it began at a
  // start/finish crossing its replay will measure from, and the car has
  // stayed on the track since.
  bool timingLap() const { return running_ && lapTimed_; }
  uint32_t elapsedMs() const { return elapsedMs_; }
  // The delta against the active track's reference lap, as shown.
  const LiveDelta& delta() const { return delta_; }

 protected:
  void openScreen() override;

 private:
  struct MapArea {
    int left, top, width, height, right, bottom;
  };

  void showBestAndLast();
  void clearSplitTexts(int count);
  void selectRememberedTrack();
  void liveCrossings();
  // The lap open stops showing: the car left the track.
  void stopShowingLap();
  void startFinishCrossed(const LiveStep& step);
  void splitCrossed(int line, const LiveStep& step);
  void keepRecordedFix();
  void widenRecordingBox(const FixSample& sample);
  void toggleLapDefine();
  void startRecording();
  void stopRecording();
  void openEditorForNewTrack();
  void activeLapChanged();
  void abortLap();
  void drawMap(platform::Surface& surface);
  // The delta panel below the controls; redrawn when what it shows changed.
  void showDelta(platform::Surface& surface, bool force);
  const LapDefinition* activeDefinition() const;

  MapArea map_;
  LiveDelta delta_;
  DeltaPanel deltaPanel_;
  int activeLap_ = -1;
  bool recording_ = false;
  bool running_ = false;
  bool lapTimed_ = false;  // see timingLap()
  uint32_t elapsedMs_ = 0;
  uint32_t startFixTime_ = 0;
  uint32_t msSinceFix_ = 0;
  uint32_t lastUpdateTick_ = 0;
  uint32_t lastMapDraw_ = 0;
  LiveLines liveLines_;
  LiveLapLines lines_;
  // Bounding box of the track being recorded: min/max longitude, latitude;
  // 0 means not set yet.
  std::array<double, 4> recordingBox_{};
};

}  // namespace corvantis
