#include "laps/lap_editor_screen.h"

#include <algorithm>

#include "resources/layouts.h"

namespace corvantis {

LapEditorScreen::LapEditorScreen(AppContext& context, int lapIndex)
    : Screen(context, resources::layout(resources::kLapEditorPortrait),
             resources::layout(resources::kLapEditorLandscape)),
      lapIndex_(lapIndex) {}

void LapEditorScreen::loadSplitLines(const TrackPoint* anchors, int count) {
  splitLineCount_ = anchors == nullptr ? 0 : std::clamp(count, 0, LapDefinition::kMaxSplitLines);
  for (int i = 0; i < splitLineCount_; ++i) splitAnchors_[static_cast<size_t>(i)] = anchors[i];
}

int LapEditorScreen::snapToTrack(TrackPoint& position) const {
  const FixHistory& history = ctx_.gps.history;
  const int count = std::clamp(history.count, 0, FixHistory::kCapacity);
  int best = -1;
  double bestDistance = 0.0;
  for (int i = 0; i < count; ++i) {
    const FixSample& sample = history.samples[static_cast<size_t>(i)];
    const double dLat = sample.latitude - position.latitude;
    const double dLon = sample.longitude - position.longitude;
    const double distance = dLat * dLat + dLon * dLon;
    if (best < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  if (best >= 0) {
    position.longitude = history.samples[static_cast<size_t>(best)].longitude;
    position.latitude = history.samples[static_cast<size_t>(best)].latitude;
  }
  return best;
}

bool LapEditorScreen::addSplitLine(TrackPoint position) {
  if (splitLineCount_ >= LapDefinition::kMaxSplitLines || snapToTrack(position) < 0) return false;
  splitAnchors_[static_cast<size_t>(splitLineCount_)] = position;
  ++splitLineCount_;
  return true;
}

void LapEditorScreen::openScreen() {
  const bool existing = lapIndex_ >= 0 && lapIndex_ < ctx_.lapDefinitions.count();
  dialog_->setLengthLimit(kNameField, LapDefinition::kMaxNameChars);
  dialog_->setText(kNameField, existing ? ctx_.lapDefinitions.at(lapIndex_).name : "");
  dialog_->setVisible(kDiscard, !existing);
  dialog_->setEnabled(kOk, existing);
  dialog_->setFocus(kNameField);
}

void LapEditorScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr) return;
  using platform::Notification;
  if (controlId == kNameField && what == Notification::EditChanged) {
    dialog_->setEnabled(kOk, !dialog_->text(kNameField).empty());
  } else if (controlId == kOk && what == Notification::Clicked) {
    save();
  } else if (controlId == kDiscard && what == Notification::Clicked) {
    dialog_->end(kDiscard);
  }
}

void LapEditorScreen::save() {
  const std::string name = dialog_->text(kNameField);
  if (name.empty()) {
    ctx_.windows.messageBoxes().show(kEmptyNameMessage, platform::MessageIcon::Error,
                                     platform::MessageButtons::Ok);
    return;
  }
  if (lapIndex_ >= 0 && lapIndex_ < ctx_.lapDefinitions.count()) {
    ctx_.lapDefinitions.updateDefinition(lapIndex_, ctx_.gps.history, splitLineCount_, splitAnchors_.data(), name);
  } else {
    ctx_.lapDefinitions.createDefinition(ctx_.gps.history, splitLineCount_, splitAnchors_.data(), name);
    ctx_.settings.lapDefinitionCount = ctx_.lapDefinitions.count();
  }
  dialog_->end(kOk);
}

}  // namespace corvantis
