#pragma once
// The configuration screen: serial port, its rate, the display units, and
// the list of lap tracks (delete one; open one in the lap editor). It only
// edits Settings in place; the screen loop keeps the copy that Cancel puts
// back and reopens the port when port or rate changed.
#include "ui/screen.h"
#include "resources/layouts.h"

namespace corvantis {

class ConfigurationScreen : public Screen {
 public:
  static constexpr int kPortCombo = 1000;
  static constexpr int kRateCombo = 1001;
  static constexpr int kUnitsCombo = 1017;
  static constexpr int kLapList = 1038;
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
  // Commands of the "Lap Config" menu.
  static constexpr int kDeleteCommand = resources::kCommandDelete;
  static constexpr int kConfigureCommand = resources::kCommandConfigure;

  static constexpr const char* kDeleteQuestion =
      "Are you sure you want to delete this lap definition?\n\nAll lap times will be lost.";

  explicit ConfigurationScreen(AppContext& context);

  void onCommand(int controlId, platform::Notification what) override;
  void onMenuCommand(int commandId) override;
  void onHold(int controlId, platform::Point p) override;

 protected:
  void openScreen() override;

 private:
  void store();
  // The lap list's selected row when it names a definition, else -1.
  int selectedDefinition() const;
  void deleteSelectedDefinition();
  // Opens the lap editor on the selected definition's track.
  void configureSelectedDefinition();
};

}  // namespace corvantis
