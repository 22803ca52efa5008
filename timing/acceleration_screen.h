#pragma once
// The acceleration screen: times runs between two speeds the user picks
// ("Time My" from-speed ".." to-speed). It arms while the vehicle is at or
// below the from-speed, starts capturing fixes when the speed rises above it
// and finishes when the speed reaches the to-speed; the run's time is then
// interpolated from the captured fixes and stored with its trace. A manual
// start/stop button times a run by hand.
#include <cstdint>

#include "ui/live_lines.h"
#include "ui/screen.h"
#include "store/run_records.h"

namespace corvantis {

class AccelerationScreen : public Screen {
 public:
  static constexpr int kStatusLine = 1001;
  static constexpr int kSpeedLine = 1002;
  static constexpr int kForgetButton = 1003;
  static constexpr int kFromSpeed = 1004;
  static constexpr int kToSpeed = 1005;
  static constexpr int kLastTime = 1006;
  static constexpr int kBestTime = 1007;
  static constexpr int kManualButton = 1008;
  static constexpr int kAverageTime = 1010;
  static constexpr int kMainMenu = 1;

  explicit AccelerationScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  // One tick: status and speed lines, then the run logic.
  void update(bool newFix) override;
  // Best and average time of the current definition into 1007 and 1010.
  void refreshBestAndAverage();

 protected:
  void openScreen() override;

 private:
  bool metric() const;
  // Both speed fields hold speeds that can name a run.
  bool definitionValid() const { return fromValid_ && toValid_; }
  RecordKey key() const;
  void runLogic(bool newFix, uint32_t now);
  void finishRun(uint32_t now);
  void speedEdited(int comboId);
  void forgetLastRun();
  void manualStartStop();
  void showManualCaption();

  uint32_t msSinceFix_ = 0;      // ms since the newest fix, advanced by the tick clock
  LiveLines liveLines_;
  uint32_t lastUpdateTick_ = 0;  // tick clock at the previous update
  uint32_t manualStartTick_ = 0; // tick clock when Manual Run Start was pressed
  // The run under way was started with the manual button (rather than by the
  // speed threshold): a manual stop then times it by the tick clock.
  bool manualRun_ = false;
  // What each speed field holds can name a run; while one does not (text
  // that is no number, a negative or absurd speed) nothing is timed or
  // stored and the setting keeps its last good value.
  bool fromValid_ = true;
  bool toValid_ = true;
};

}  // namespace corvantis
