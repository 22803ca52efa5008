#include "app/main_menu_screen.h"

#include "gps/current_fix.h"
#include "resources/layouts.h"

namespace corvantis {

MainMenuScreen::MainMenuScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kMainMenuPortrait),
             resources::layout(resources::kMainMenuLandscape)) {}

void MainMenuScreen::onCommand(int controlId, platform::Notification what) {
  if (what != platform::Notification::Clicked || dialog_ == nullptr) return;
  switch (controlId) {
    case kAccelerationButton: dialog_->end(kAcceleration); break;
    case kDistanceButton: dialog_->end(kDistance); break;
    case kLapsButton: dialog_->end(kLaps); break;
    case kConfigurationButton: dialog_->end(kConfiguration); break;
    case kRecordsButton: dialog_->end(kRecords); break;
    case kExitButton: dialog_->end(kExit); break;
    default: break;
  }
}

void MainMenuScreen::openScreen() {
  // The pump holds off for 2 s after every screen change: the status shows
  // from the first frame instead of "Connecting to GPS device ...".
  update(false);
}

void MainMenuScreen::update(bool /*newFix*/) {
  if (dialog_ == nullptr) return;
  if (const auto text = gpsStatusText(ctx_.gps.currentFix)) {
    dialog_->setText(kStatusLine, *text);
  }
}

}  // namespace corvantis
