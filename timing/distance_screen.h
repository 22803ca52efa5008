#pragma once
// The distance screen: times standing-start runs over a fixed distance (an
// eighth or a quarter mile, 400 m or 800 m, or any typed distance). It arms
// while the vehicle stands still, starts capturing fixes at the first tick
// with a speed, shows the straight-line distance covered and the running
// time, and finishes when the distance from the start point reaches the
// target; the time is then interpolated from the captured fixes and stored.
#include <cstdint>
#include <memory>

#include "ui/live_lines.h"
#include "ui/screen.h"
#include "gps/fix_history.h"
#include "store/run_records.h"

namespace corvantis {

class DistanceScreen : public Screen {
 public:
  static constexpr int kStatusLine = 1001;
  static constexpr int kSpeedLine = 1002;
  static constexpr int kDistanceLine = 1003;
  static constexpr int kForgetButton = 1004;
  static constexpr int kTargetDistance = 1005;
  static constexpr int kLastTime = 1006;
  static constexpr int kBestTime = 1007;
  static constexpr int kAverageTime = 1010;
  static constexpr int kUnitLabel = 1018;
  static constexpr int kMainMenu = 1;

  // The built-in distances in metres: 220 and 440 yards come out exactly as
  // these doubles, so a distance picked from the list compares equal.
  static constexpr double kEighthMileM = 201.168;
  static constexpr double kQuarterMileM = 402.336;

  explicit DistanceScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  void update(bool newFix) override;
  void refreshBestAndAverage();

 protected:
  void openScreen() override;

 private:
  bool metric() const;
  void runLogic(bool newFix, uint32_t now);
  void distanceEdited();
  void forgetLastRun();
  // Empties the time and distance of a run that was dropped or starts over.
  void clearRunLines();
  // Whether the captured fixes can place the finish now, tried on a copy
  // (stopCapture smooths the speeds in place, and can be done only once).
  bool finishPlaceable(const FixHistory& history, double targetM);

  uint32_t msSinceFix_ = 0;
  LiveLines liveLines_;
  uint32_t lastUpdateTick_ = 0;
  // The target field holds a distance that can name a run (a number above
  // 0 and below 32768 m); while it does not, nothing is timed or stored and
  // the setting keeps its last good value.
  bool distanceValid_ = true;
  std::unique_ptr<FixHistory> trial_;  // scratch copy of the capture, made once
};

}  // namespace corvantis
