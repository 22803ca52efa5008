#pragma once
// The main menu: the hub of the screen loop. Six buttons end it with the code
// of the next screen; the status line shows the live GPS state every tick.
#include "ui/screen.h"

namespace corvantis {

class MainMenuScreen : public Screen {
 public:
  // Result codes; 1 and 2 are the platform's generic OK and Cancel.
  static constexpr int kAcceleration = 3;
  static constexpr int kDistance = 4;
  static constexpr int kLaps = 5;
  static constexpr int kConfiguration = 6;
  static constexpr int kRecords = 7;
  static constexpr int kExit = 8;

  static constexpr int kStatusLine = 1001;
  static constexpr int kAccelerationButton = 1012;
  static constexpr int kDistanceButton = 1013;
  static constexpr int kLapsButton = 1014;
  static constexpr int kConfigurationButton = 1004;
  static constexpr int kRecordsButton = 1006;
  static constexpr int kExitButton = 1005;

  explicit MainMenuScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  // The status line follows the GPS state; a tick with nothing new to say
  // (no sentence decoded yet) leaves the text shown.
  void update(bool newFix) override;

 protected:
  void openScreen() override;
};

}  // namespace corvantis
