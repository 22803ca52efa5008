#include "config/configuration_screen.h"

#include <algorithm>

#include "laps/lap_editor_screen.h"
#include "resources/layouts.h"
#include "ui/tap_hold_list.h"

namespace corvantis {

ConfigurationScreen::ConfigurationScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kConfigurationPortrait),
             resources::layout(resources::kConfigurationLandscape)) {}

void ConfigurationScreen::openScreen() {
  // A value outside its list (a file written elsewhere) selects nothing.
  const auto select = [this](int comboId, int32_t value) {
    dialog_->setSelection(comboId, value >= 0 && value < dialog_->itemCount(comboId) ? value : -1);
  };
  select(kPortCombo, ctx_.settings.port);
  select(kRateCombo, ctx_.settings.baudIndex);
  select(kUnitsCombo, ctx_.settings.units);
  dialog_->clearItems(kLapList);
  for (const auto& definition : ctx_.lapDefinitions.definitions()) {
    dialog_->addItem(kLapList, definition.name);
  }
}

void ConfigurationScreen::onCommand(int controlId, platform::Notification what) {
  if (what != platform::Notification::Clicked || dialog_ == nullptr) return;
  if (controlId == kOk) {
    store();
    dialog_->end(kOk);
  } else if (controlId == kCancel) {
    dialog_->end(kCancel);
  }
}

// A combo showing no entry (a stored value outside its list, from a file
// written elsewhere) keeps the setting as it was rather than storing -1,
// which would name no port, rate or units at all.
void ConfigurationScreen::store() {
  const auto take = [this](int comboId, int32_t& setting) {
    const int position = dialog_->selection(comboId);
    if (position >= 0) setting = position;
  };
  take(kPortCombo, ctx_.settings.port);
  take(kRateCombo, ctx_.settings.baudIndex);
  take(kUnitsCombo, ctx_.settings.units);
}

void ConfigurationScreen::onHold(int controlId, platform::Point p) {
  if (dialog_ != nullptr) handleListHold(layout(), *dialog_, *this, controlId, p);
}

void ConfigurationScreen::onMenuCommand(int commandId) {
  if (dialog_ == nullptr) return;
  if (commandId == kDeleteCommand) {
    deleteSelectedDefinition();
  } else if (commandId == kConfigureCommand) {
    configureSelectedDefinition();
  }
}

int ConfigurationScreen::selectedDefinition() const {
  const int row = dialog_->selection(kLapList);
  if (row < 0 || row >= dialog_->itemCount(kLapList) || row >= ctx_.lapDefinitions.count()) return -1;
  return row;
}

void ConfigurationScreen::deleteSelectedDefinition() {
  const int row = selectedDefinition();
  if (row < 0) return;
  const auto answer = ctx_.windows.messageBoxes().show(kDeleteQuestion, platform::MessageIcon::Question,
                                                       platform::MessageButtons::YesNo);
  if (answer != platform::MessageAnswer::Yes) return;
  // Its reference lap and segment times go with it.
  ctx_.referenceLaps.discard(ctx_.lapDefinitions.at(row));
  ctx_.lapDefinitions.deleteDefinition(row);
  // The count is written to the file with the settings; it follows the
  // collection so that Cancel (which keeps it) leaves the two in step.
  ctx_.settings.lapDefinitionCount = ctx_.lapDefinitions.count();
  dialog_->removeItem(kLapList, row);
}

void ConfigurationScreen::configureSelectedDefinition() {
  const int row = selectedDefinition();
  if (row < 0) return;
  const LapDefinition& definition = ctx_.lapDefinitions.at(row);
  // The editor works on the fix history. A track from a file written
  // elsewhere may hold more points than the history: only as many as it
  // holds are loaded (and written back), never more.
  FixHistory& history = ctx_.gps.history;
  history.count = std::min(definition.trackPointCount(), FixHistory::kCapacity);
  for (int k = 0; k < history.count; ++k) {
    FixSample& sample = history.samples[static_cast<size_t>(k)];
    sample.longitude = definition.track[static_cast<size_t>(k)].longitude;
    sample.latitude = definition.track[static_cast<size_t>(k)].latitude;
  }
  LapEditorScreen editor(ctx_, row);
  editor.loadSplitLines(definition.splitLines.data(), definition.splitLineCount);
  if (editor.showModal() != LapEditorScreen::kOk || dialog_ == nullptr) return;
  // The row shows the name the editor stored; the other rows and the
  // selection stay as they were.
  const int rows = dialog_->itemCount(kLapList);
  dialog_->clearItems(kLapList);
  for (const auto& d : ctx_.lapDefinitions.definitions()) dialog_->addItem(kLapList, d.name);
  if (dialog_->itemCount(kLapList) == rows) dialog_->setSelection(kLapList, row);
}

}  // namespace corvantis
