#include "laps/lap_editor_screen.h"

#include <algorithm>
#include <vector>

#include "resources/layouts.h"
#include "store/lap_name_text.h"

namespace corvantis {

namespace {

// Far beyond any screen: the bands round the map that drawing leaves alone.
constexpr int kFar = 1 << 15;

}  // namespace

LapEditorScreen::LapEditorScreen(AppContext& context, int lapIndex)
    : Screen(context, resources::layout(resources::kLapEditorPortrait),
             resources::layout(resources::kLapEditorLandscape)),
      lapIndex_(lapIndex),
      map_(context.landscape ? kLandscapeMap : kPortraitMap) {}

bool LapEditorScreen::editsExisting() const { return lapIndex_ >= 0 && lapIndex_ < ctx_.lapDefinitions.count(); }

int LapEditorScreen::trackCount() const {
  const int count = std::clamp(ctx_.gps.history.count, 0, FixHistory::kCapacity);
  return openedCount_ >= 0 ? std::min(count, openedCount_) : count;
}

void LapEditorScreen::loadSplitLines(const TrackPoint* anchors, int count) {
  splitLineCount_ = anchors == nullptr ? 0 : std::clamp(count, 0, LapDefinition::kMaxSplitLines);
  for (int i = 0; i < splitLineCount_; ++i) splitAnchors_[static_cast<size_t>(i)] = anchors[i];
}

int LapEditorScreen::snapToTrack(TrackPoint& position) const {
  return snapToSamples(ctx_.gps.history.samples.data(), trackCount(), position);
}

bool LapEditorScreen::addSplitLine(TrackPoint position) {
  if (splitLineCount_ >= LapDefinition::kMaxSplitLines || snapToTrack(position) < 0) return false;
  splitAnchors_[static_cast<size_t>(splitLineCount_)] = position;
  ++splitLineCount_;
  return true;
}

void LapEditorScreen::openScreen() {
  const bool existing = editsExisting();
  dialog_->setLengthLimit(kNameField, LapDefinition::kMaxNameChars);
  dialog_->setText(kNameField, existing ? ctx_.lapDefinitions.at(lapIndex_).name : "");
  dialog_->setVisible(kDiscard, !existing);
  dialog_->setEnabled(kOk, existing);
  dialog_->setFocus(kNameField);

  openedCount_ = std::clamp(ctx_.gps.history.count, 0, FixHistory::kCapacity);
  map_.fit(ctx_.gps.history.samples.data(), openedCount_);
  dragging_ = false;
  hitSplit_ = -1;
  markersDrawn_ = 0;
}

void LapEditorScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr) return;
  using platform::Notification;
  if (controlId == kNameField && what == Notification::EditChanged) {
    nameEdited();
  } else if (what != Notification::Clicked) {
    return;
  } else if (controlId == kOk) {
    save();
  } else if (controlId == kDiscard && dialog_->isVisible(kDiscard)) {
    dialog_->end(kDiscard);
  } else if (controlId == kZoomInButton) {
    map_.zoomIn();
    redraw();
  } else if (controlId == kZoomOutButton) {
    map_.zoomOut();
    redraw();
  }
}

// The field counts characters; the file holds 33 UTF-16 units besides the
// NUL, so a name of characters beyond the basic plane (two units each) is
// cut, on a character boundary, where the file would cut it: the field
// shows what will be stored.
void LapEditorScreen::nameEdited() {
  const std::string typed = dialog_->text(kNameField);
  const std::string storable = limitLapName(typed);
  if (storable != typed) dialog_->setText(kNameField, storable);
  dialog_->setEnabled(kOk, !storable.empty());
}

void LapEditorScreen::save() {
  const std::string name = limitLapName(dialog_->text(kNameField));
  if (name.empty()) {
    ctx_.windows.messageBoxes().show(kEmptyNameMessage, platform::MessageIcon::Error,
                                     platform::MessageButtons::Ok);
    return;
  }
  // Fixes the tick appended while the editor was open are no part of the track.
  FixHistory& history = ctx_.gps.history;
  history.count = trackCount();
  if (editsExisting()) {
    ctx_.lapDefinitions.updateDefinition(lapIndex_, history, splitLineCount_, splitAnchors_.data(), name);
  } else {
    ctx_.lapDefinitions.createDefinition(history, splitLineCount_, splitAnchors_.data(), name);
    ctx_.settings.lapDefinitionCount = ctx_.lapDefinitions.count();
  }
  dialog_->end(kOk);
}

// ---- the map ---------------------------------------------------------------

void LapEditorScreen::onPaint(platform::Surface& surface) { drawMap(surface); }

void LapEditorScreen::redraw() {
  if (dialog_ != nullptr) drawMap(dialog_->surface());
}

void LapEditorScreen::drawMap(platform::Surface& surface) {
  const MapArea& a = map_.area();
  // Only the map area is drawn on: a track zoomed or panned past its edge
  // must not paint over the name field or the buttons.
  surface.excludeClip(platform::Rect{-kFar, -kFar, 2 * kFar, kFar + a.top});
  surface.excludeClip(platform::Rect{-kFar, a.bottom(), 2 * kFar, kFar});
  surface.excludeClip(platform::Rect{-kFar, a.top, kFar + a.left, a.height});
  surface.excludeClip(platform::Rect{a.right(), a.top, kFar, a.height});
  surface.fillRect(platform::Rect{a.left, a.top, a.width, a.height}, kMapBackground);
  markersDrawn_ = 0;
  const int count = trackCount();
  if (!map_.empty() && count > 0) {
    const auto& samples = ctx_.gps.history.samples;
    surface.setPen(kTrackColour);
    const platform::Point first = map_.project(samples[0].longitude, samples[0].latitude);
    surface.moveTo(first.x, first.y);
    for (int i = 1; i < count; ++i) {
      const platform::Point p = map_.project(samples[static_cast<size_t>(i)].longitude,
                                             samples[static_cast<size_t>(i)].latitude);
      surface.lineTo(p.x, p.y);
    }

    surface.setFont(ctx_.fonts.small);
    surface.setTextColour(kMarkerTextColour);
    surface.setPen(kSplitColour);
    surface.setBrush(kSplitColour);
    for (int i = 0; i < splitLineCount_; ++i) {
      const platform::Point p = map_.project(splitAnchors_[static_cast<size_t>(i)]);
      drawMarker(surface, p, "ST");
      markerPositions_[static_cast<size_t>(i)] = p;
      markersDrawn_ = i + 1;
    }
    // The start/finish goes last, over any split marker at the same place.
    surface.setPen(kStartFinishColour);
    surface.setBrush(kStartFinishColour);
    drawMarker(surface, first, "F");
  }
  surface.resetClip();
}

// A filled circle just larger than the text's height, centred on p, with
// the text centred in it.
void LapEditorScreen::drawMarker(platform::Surface& surface, platform::Point p, const char* text) {
  const platform::Size extent = surface.textExtent(text);
  const int r = extent.height / 2;
  surface.fillShape(p.x - r - 1, p.y - r - 1, p.x + r + 1, p.y + r + 1);
  surface.drawText(p.x - extent.width / 2, p.y - r, text);
}

// ---- pointer ---------------------------------------------------------------

void LapEditorScreen::onPointerDown(platform::Point p) {
  if (!map_.area().containsStrictly(p)) return;
  dragging_ = true;
  dragStart_ = p;
  panAtDragStart_ = map_.pan();
}

void LapEditorScreen::onPointerMove(platform::Point p) {
  if (!dragging_) return;
  map_.dragFrom(panAtDragStart_, p.x - dragStart_.x, p.y - dragStart_.y);
  redraw();
}

void LapEditorScreen::onPointerUp(platform::Point /*p*/) { dragging_ = false; }

void LapEditorScreen::onWheel(platform::Point p, int notches) {
  // Past the limits a notch changes nothing, so a fast spin just stops there.
  const int steps = std::clamp(notches, -64, 64);
  for (int i = 0; i < steps; ++i) map_.zoomIn();
  for (int i = 0; i > steps; --i) map_.zoomOut();
  // A drag under way goes on from here at the new scale, rather than
  // jumping to where the old scale would have put it.
  if (dragging_) {
    dragStart_ = p;
    panAtDragStart_ = map_.pan();
  }
  redraw();
}

int LapEditorScreen::splitMarkerAt(platform::Point p) const {
  for (int i = 0; i < markersDrawn_; ++i) {
    const platform::Point m = markerPositions_[static_cast<size_t>(i)];
    if (m.x - kMarkerReachPx < p.x && p.x < m.x + kMarkerReachPx && m.y - kMarkerReachPx < p.y &&
        p.y < m.y + kMarkerReachPx) {
      return i;
    }
  }
  return -1;
}

void LapEditorScreen::onHold(int controlId, platform::Point p) {
  if (dialog_ == nullptr || controlId != 0) return;
  // The press that became the hold is no drag: the menu takes the release.
  dragging_ = false;
  tapPoint_ = p;
  hitSplit_ = splitMarkerAt(p);
  std::vector<int> greyed;
  if (hitSplit_ >= 0) {
    greyed.push_back(resources::kCommandSetSplit);
  } else {
    greyed.push_back(resources::kCommandRemoveSplit);
    if (splitLineCount_ >= LapDefinition::kMaxSplitLines) greyed.push_back(resources::kCommandSetSplit);
  }
  const int command = dialog_->popupMenu(resources::menu(resources::kLapEditorMenu), 0, p, greyed);
  if (command != 0) onMenuCommand(command);
}

// ---- the "Place" commands --------------------------------------------------

void LapEditorScreen::onMenuCommand(int commandId) {
  if (dialog_ == nullptr) return;
  if (commandId == resources::kCommandSetStartFinish) {
    setStartFinish();
  } else if (commandId == resources::kCommandSetSplit) {
    addSplitLine(map_.unproject(tapPoint_));
  } else if (commandId == resources::kCommandRemoveSplit) {
    removeSplitLine();
  } else {
    return;
  }
  redraw();
}

void LapEditorScreen::setStartFinish() {
  TrackPoint p = map_.unproject(tapPoint_);
  const int i = snapToTrack(p);
  if (i <= 0) return;  // already the start/finish point, or no track
  if (editsExisting()) {
    const auto answer = ctx_.windows.messageBoxes().show(kMoveStartQuestion, platform::MessageIcon::Question,
                                                         platform::MessageButtons::YesNo);
    if (answer != platform::MessageAnswer::Yes) return;
    // The stored times were driven from the old line: they go now, whatever
    // happens to the rest of the edit. Every slot is emptied, not just the
    // count, so that no old time or trace lingers in the file.
    LapDefinition& definition = ctx_.lapDefinitions.at(lapIndex_);
    // So do its reference lap and segment times.
    ctx_.referenceLaps.discard(definition);
    definition.lapCount = 0;
    for (RunRecord& lap : definition.laps) lap = RunRecord{};
    ctx_.lapDefinitions.noteChanged();
  }
  // In place: no temporary copy of the track is needed, so the move cannot
  // fail halfway. Split anchors are positions and stay valid.
  auto& samples = ctx_.gps.history.samples;
  std::rotate(samples.begin(), samples.begin() + i, samples.begin() + trackCount());
}

void LapEditorScreen::removeSplitLine() {
  if (hitSplit_ < 0 || hitSplit_ >= splitLineCount_) return;
  --splitLineCount_;
  // The last line fills the gap, so the order of the others changes.
  if (hitSplit_ != splitLineCount_) {
    splitAnchors_[static_cast<size_t>(hitSplit_)] = splitAnchors_[static_cast<size_t>(splitLineCount_)];
  }
  hitSplit_ = -1;
}

}  // namespace corvantis
