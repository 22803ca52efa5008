#include "laps/lap_timing_screen.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/time_text.h"
#include "gps/current_fix.h"
#include "laps/lap_editor_screen.h"
#include "laps/loop_closing.h"
#include "resources/layouts.h"

namespace corvantis {
namespace {

constexpr platform::Rgb kBlack{0, 0, 0};
constexpr platform::Rgb kRed{255, 0, 0};
constexpr platform::Rgb kGreen{0, 255, 0};
constexpr platform::Rgb kBlue{0, 0, 255};
constexpr platform::Rgb kWhite{255, 255, 255};
constexpr platform::Rgb kMapBackground{200, 255, 200};

constexpr uint32_t kMapRedrawMs = 500;
constexpr uint32_t kDayMs = 86400000u;
// Keeps the minimum and maximum of a coordinate; 0 counts as not set.
void widen(double value, double& minimum, double& maximum) {
  if (value < minimum || minimum == 0.0) minimum = value;
  if (value > maximum || maximum == 0.0) maximum = value;
}

// The map's scale: the larger span of the box, with 5 % room each side,
// fills the area; the smaller is centred.
struct MapScale {
  double originLon = 0.0;
  double originLat = 0.0;
  double extent = 0.0;
};

bool mapScale(double minLon, double maxLon, double minLat, double maxLat, MapScale& scale) {
  const double spanLon = maxLon - minLon;
  const double spanLat = maxLat - minLat;
  scale.originLon = minLon - spanLon * 0.05;
  scale.originLat = minLat - spanLat * 0.05;
  if (spanLon == 0.0 && spanLat == 0.0) return false;
  if (spanLon > spanLat) {
    scale.originLat -= (spanLon - spanLat) * 0.5;
    scale.extent = spanLon * 1.1;
  } else {
    scale.originLon -= (spanLat - spanLon) * 0.5;
    scale.extent = spanLat * 1.1;
  }
  return std::isfinite(scale.extent) && scale.extent > 0.0;
}

// Pixel coordinate of a world value, truncated toward zero; a value beyond
// int (a fix far off the map) saturates rather than overflow.
int pixelOffset(double value) {
  if (!(value > INT_MIN / 2)) return INT_MIN / 2;
  if (!(value < INT_MAX / 2)) return INT_MAX / 2;
  return static_cast<int>(value);
}

}  // namespace

LapTimingScreen::LapTimingScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kLapTimingPortrait),
             resources::layout(resources::kLapTimingLandscape)),
      map_(context.landscape ? MapArea{15, 75, 100, 85, 115, 160} : MapArea{10, 84, 120, 104, 130, 188}),
      delta_(context.referenceLaps),
      deltaPanel_(context.landscape) {}

const LapDefinition* LapTimingScreen::activeDefinition() const {
  if (activeLap_ < 0 || activeLap_ >= ctx_.lapDefinitions.count()) return nullptr;
  return &ctx_.lapDefinitions.at(activeLap_);
}

void LapTimingScreen::openScreen() {
  dialog_->clearItems(kActiveLap);
  for (const LapDefinition& definition : ctx_.lapDefinitions.definitions()) {
    dialog_->addItem(kActiveLap, definition.name);
  }
  dialog_->setEnabled(kActiveLap, true);
  dialog_->setText(kDefineButton, kStartDefine);
  dialog_->setText(kRunningTime, "");
  clearSplitTexts(LapDefinition::kMaxSplitLines);
  recording_ = false;
  activeLap_ = -1;
  showBestAndLast();
  ctx_.gps.history.count = 0;
  lines_.setDefinition(nullptr);
  lines_.resetArmed();
  delta_.selectTrack(nullptr);
  running_ = false;
  lapTimed_ = false;
  elapsedMs_ = 0;
  msSinceFix_ = 0;
  lastUpdateTick_ = lastMapDraw_ = ctx_.clock.tickMs();
  recordingBox_.fill(0.0);
  selectRememberedTrack();
  // The pump holds off for 2 s after a screen change: the receiver's state
  // shows at once rather than "Connecting to GPS device ...".
  liveLines_.opened(*dialog_, ctx_.gps.currentFix);
}

// The track the driver picked last (in this run or an earlier one) is
// active again at once: nothing would be timed until it was picked again.
void LapTimingScreen::selectRememberedTrack() {
  const int remembered = ctx_.rememberedTrack.find(ctx_.lapDefinitions);
  if (remembered < 0) return;
  dialog_->setSelection(kActiveLap, remembered);
  activeLapChanged();
}

void LapTimingScreen::showBestAndLast() {
  if (dialog_ == nullptr) return;
  dialog_->setText(kBestTime, formatRunTimeOrEmpty(ctx_.lapDefinitions.bestLapTime(activeLap_)));
  dialog_->setText(kLastTime, formatRunTimeOrEmpty(ctx_.lapDefinitions.lastLapTime(activeLap_)));
}

void LapTimingScreen::clearSplitTexts(int count) {
  for (int k = 0; k < std::clamp(count, 0, LapDefinition::kMaxSplitLines); ++k) {
    dialog_->setText(kFirstSplit + k, "");
  }
}

void LapTimingScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr || endOnExit(controlId, what, kMainMenu)) return;
  using platform::Notification;
  switch (controlId) {
    case kDefineButton:
      if (what == Notification::Clicked) toggleLapDefine();
      break;
    case kAbortButton:
      if (what == Notification::Clicked) abortLap();
      break;
    case kActiveLap:
      if (what == Notification::SelectionChanged) activeLapChanged();
      break;
    default:
      break;
  }
}

void LapTimingScreen::update(bool newFix) {
  if (dialog_ == nullptr) return;
  dialog_->requestFullScreen();
  const uint32_t now = ctx_.clock.tickMs();
  // The lap screen has no speed line.
  if (!liveLines_.showTick(*dialog_, ctx_.gps.currentFix, std::nullopt)) {
    lastUpdateTick_ = lastMapDraw_ = now;
    return;
  }

  if (newFix) {
    if (recording_) {
      keepRecordedFix();
    } else if (activeDefinition() != nullptr) {
      delta_.fix(ctx_.gps.history.newest(), now);
      liveCrossings();
    }
    if (now - lastMapDraw_ > kMapRedrawMs) {
      drawMap(dialog_->surface());
      lastMapDraw_ = now;
    }
    msSinceFix_ = 0;
  } else {
    msSinceFix_ += now - lastUpdateTick_;
  }
  if (running_ && lapTimed_) {
    elapsedMs_ = ctx_.gps.history.newestFixTime() - startFixTime_ + msSinceFix_;
    dialog_->setText(kRunningTime, formatRunTime(elapsedMs_));
  }
  showDelta(dialog_->surface(), false);
  lastUpdateTick_ = now;
}

void LapTimingScreen::showDelta(platform::Surface& surface, bool force) {
  DeltaPanel::Content content;
  content.hasTrack = activeDefinition() != nullptr && !recording_;
  if (content.hasTrack) {
    content.shown = delta_.shown(ctx_.clock.tickMs());
    content.hasReference = delta_.hasReference();
    content.theoreticalBestMs = delta_.theoreticalBestMs(ctx_.lapDefinitions.bestLapTime(activeLap_));
  }
  deltaPanel_.show(surface, content, force);
}

void LapTimingScreen::keepRecordedFix() {
  FixHistory& history = ctx_.gps.history;
  history.count = std::clamp(history.count, 0, FixHistory::kCapacity);
  while (history.count > 1 &&
         greatCircleDistance(history.samples[static_cast<size_t>(history.count - 1)],
                             history.samples[static_cast<size_t>(history.count - 2)]) < kRecordingMinStepM) {
    history.count -= 1;
  }
  if (history.count > 0) widenRecordingBox(history.samples[static_cast<size_t>(history.count - 1)]);
}

void LapTimingScreen::widenRecordingBox(const FixSample& sample) {
  widen(sample.longitude, recordingBox_[0], recordingBox_[1]);
  widen(sample.latitude, recordingBox_[2], recordingBox_[3]);
}

void LapTimingScreen::liveCrossings() {
  const FixHistory& history = ctx_.gps.history;
  const LiveStep step{history.previous(), history.newest()};
  std::array<int, kMaxLapLines> crossed{};
  const int found = lines_.test(step.previous, step.newest, crossed);
  const LapDefinition* definition = activeDefinition();
  for (int i = 0; i < found && definition != nullptr; ++i) {
    if (crossed[static_cast<size_t>(i)] == startFinishLine(*definition)) {
      startFinishCrossed(step);
    } else {
      splitCrossed(crossed[static_cast<size_t>(i)], step);
    }
  }
  if (lapTimed_ && definition != nullptr && !nearTrack(*definition, TrackPoint{step.newest.longitude, step.newest.latitude})) {
    stopShowingLap();
  }
}

// The lap stays open, as it always did: should the car come back and cross
// the line, the lap is completed (and stored when its replay times it).
void LapTimingScreen::stopShowingLap() {
  lapTimed_ = false;
  // A lap with a spell off the track is no lap to measure others by.
  delta_.lapAbandoned();
  dialog_->setText(kRunningTime, "");
  clearSplitTexts(LapDefinition::kMaxSplitLines);
}

void LapTimingScreen::startFinishCrossed(const LiveStep& step) {
  FixHistory& history = ctx_.gps.history;
  const LapDefinition& definition = *activeDefinition();
  const int splitCount = startFinishLine(definition);
  if (running_) {
    history.stopCapture();
    const LapTime lap = lapTimeFromHistory(definition, splitCount, history, &step);
    elapsedMs_ = lap.timeMs;
    // The stored start is a time of day; the fix clock counts days on.
    const uint32_t startOfDayMs = lap.startMs % kDayMs;
    // A lap the replay could not time (0) is never stored.
    if (ctx_.lapDefinitions.addLapTime(activeLap_, lap.timeMs, startOfDayMs, history.captureStamp(), history)) {
      delta_.lapStored(lap.timeMs, lap.startMs, history.captureStamp(), startOfDayMs, ctx_.clock.tickMs());
      if (onLapEvent) onLapEvent(LapEvent{LapEvent::Kind::Lap, splitCount, lap.timeMs, startOfDayMs});
    } else {
      delta_.lapAbandoned();
    }
  }
  showBestAndLast();
  startFixTime_ = history.newestFixTime();
  msSinceFix_ = 0;
  running_ = true;
  elapsedMs_ = 0;
  history.startCapture(ctx_.clock.calendarSeconds());
  // The lap's replay measures it from the first start/finish crossing of the
  // capture begun here. When it finds none (a crossing of the line's far
  // extension, counted because the line stayed armed while the car was
  // away), this lap can never be timed, and no running time is shown.
  uint32_t startMs = 0;
  lapTimed_ = lapStartFromHistory(definition, history, startMs);
  if (lapTimed_) {
    delta_.lapStarted(step);
  } else {
    delta_.lapAbandoned();
    dialog_->setText(kRunningTime, "");
  }
  clearSplitTexts(splitCount);
}

void LapTimingScreen::splitCrossed(int line, const LiveStep& step) {
  // A split shows only when passed in the lap being timed: before the first
  // lap (the out lap) the replay finds no start and the time would read
  // ".000s".
  if (!running_ || !lapTimed_) return;
  // Over the capture as it is, speeds not smoothed.
  const LapTime split = lapTimeFromHistory(*activeDefinition(), line, ctx_.gps.history, &step);
  if (split.timeMs == 0) return;
  dialog_->setText(kFirstSplit + line, formatRunTime(split.timeMs));
  delta_.splitShown(line, split.timeMs);
  if (onLapEvent) onLapEvent(LapEvent{LapEvent::Kind::Split, line, split.timeMs, 0});
}

void LapTimingScreen::toggleLapDefine() {
  if (recording_) {
    stopRecording();
  } else {
    startRecording();
  }
}

void LapTimingScreen::startRecording() {
  FixHistory& history = ctx_.gps.history;
  dialog_->setText(kDefineButton, kStopDefine);
  // The recording restarts the capture, so a lap under way could no longer
  // be timed: it is abandoned rather than stored with a wrong time later.
  abortLap();
  history.startCapture(ctx_.clock.calendarSeconds());
  activeLap_ = -1;
  lines_.setDefinition(nullptr);
  delta_.selectTrack(nullptr);
  dialog_->setSelection(kActiveLap, -1);
  dialog_->setEnabled(kActiveLap, false);
  recordingBox_.fill(0.0);
  for (int i = 0; i < std::clamp(history.count, 0, FixHistory::kCapacity); ++i) {
    const FixSample& sample = history.samples[static_cast<size_t>(i)];
    if (sample.longitude != 0.0) widenRecordingBox(sample);
  }
  recording_ = true;
}

void LapTimingScreen::stopRecording() {
  FixHistory& history = ctx_.gps.history;
  recording_ = false;
  dialog_->setText(kDefineButton, kStartDefine);
  history.stopCapture();
  const platform::MessageAnswer answer = ctx_.windows.messageBoxes().show(
      kClosedLoopQuestion, platform::MessageIcon::Question, platform::MessageButtons::YesNo);
  if (answer != platform::MessageAnswer::Yes) {
    dialog_->setEnabled(kActiveLap, true);
    return;
  }
  if (!closeLoop(history)) {
    ctx_.windows.messageBoxes().show(kCannotCloseMessage, platform::MessageIcon::Stop, platform::MessageButtons::Ok);
    dialog_->setEnabled(kActiveLap, true);
    history.count = 0;
    dialog_->invalidate();
    return;
  }
  openEditorForNewTrack();
}

void LapTimingScreen::openEditorForNewTrack() {
  FixHistory& history = ctx_.gps.history;
  const int before = ctx_.lapDefinitions.count();
  int result = LapEditorScreen::kDiscard;
  {
    LapEditorScreen editor(ctx_, -1);
    if (beforeEditorShown) beforeEditorShown(editor);
    // The tick goes on recording fixes while the editor is open; the editor
    // keeps to the track it opened with.
    ctx_.gps.holdOffTicks = kEditorHoldOffTicks;
    live = false;
    result = editor.showModal();
  }
  if (result == LapEditorScreen::kOk && ctx_.lapDefinitions.count() > before) {
    ctx_.settings.lapDefinitionCount = ctx_.lapDefinitions.count();
    activeLap_ = ctx_.lapDefinitions.count() - 1;
    dialog_->addItem(kActiveLap, ctx_.lapDefinitions.at(activeLap_).name);
    dialog_->setSelection(kActiveLap, activeLap_);
    activeLapChanged();
  }
  live = true;
  history.count = 0;
  dialog_->invalidate();
  dialog_->setEnabled(kActiveLap, true);
}

void LapTimingScreen::activeLapChanged() {
  const int selected = dialog_->selection(kActiveLap);
  activeLap_ = (selected >= 0 && selected < ctx_.lapDefinitions.count()) ? selected : -1;
  showBestAndLast();
  // The armed line and a lap under way are kept: the next start/finish
  // crossing of the new definition completes the lap.
  lines_.setDefinition(activeDefinition());
  ctx_.rememberedTrack.remember(ctx_.lapDefinitions, activeLap_);
  clearSplitTexts(LapDefinition::kMaxSplitLines);
  // Its reference lap and segment times; a lap under way is not measured
  // against another track's.
  delta_.selectTrack(activeDefinition());
  if (const std::string message = delta_.takeMessage(); !message.empty()) {
    ctx_.windows.messageBoxes().show(message, platform::MessageIcon::Stop, platform::MessageButtons::Ok);
  }
  drawMap(dialog_->surface());
  showDelta(dialog_->surface(), true);
}

void LapTimingScreen::abortLap() {
  if (!running_) return;
  running_ = false;
  lapTimed_ = false;
  delta_.lapAbandoned();
  dialog_->setText(kRunningTime, "");
  clearSplitTexts(LapDefinition::kMaxSplitLines);
}

void LapTimingScreen::onPaint(platform::Surface& surface) {
  drawMap(surface);
  showDelta(surface, true);
}

void LapTimingScreen::drawMap(platform::Surface& surface) {
  const MapArea& a = map_;
  surface.fillRect(platform::Rect{a.left, a.top, a.width, a.height}, kMapBackground);

  const FixHistory& history = ctx_.gps.history;
  const LapDefinition* definition = activeDefinition();
  const TrackPoint* points = nullptr;
  const FixSample* samples = nullptr;
  int pointCount = 0;
  double minLon = 0.0, maxLon = 0.0, minLat = 0.0, maxLat = 0.0;
  if (definition != nullptr) {
    points = definition->track.data();
    pointCount = definition->trackPointCount();
    minLon = definition->minLongitude;
    maxLon = definition->maxLongitude;
    minLat = definition->minLatitude;
    maxLat = definition->maxLatitude;
  } else if (recording_) {
    samples = history.samples.data();
    pointCount = std::clamp(history.count, 0, FixHistory::kCapacity);
    minLon = recordingBox_[0];
    maxLon = recordingBox_[1];
    minLat = recordingBox_[2];
    maxLat = recordingBox_[3];
  }
  MapScale scale;
  if (!mapScale(minLon, maxLon, minLat, maxLat, scale)) return;
  const double inverseExtent = 1.0 / scale.extent;
  auto project = [&](double lon, double lat) {
    const int x = a.left + pixelOffset((lon - scale.originLon) * a.width * inverseExtent);
    const int y = a.bottom - pixelOffset((lat - scale.originLat) * a.height * inverseExtent);
    return platform::Point{x, y};
  };

  surface.setPen(kBlack);
  for (int i = 0; i < pointCount; ++i) {
    const platform::Point p = points != nullptr ? project(points[i].longitude, points[i].latitude)
                                                : project(samples[i].longitude, samples[i].latitude);
    if (i == 0) {
      surface.moveTo(p.x, p.y);
    } else {
      surface.lineTo(p.x, p.y);
    }
  }
  if (definition == nullptr) {
    if (pointCount > 0) {
      const FixSample& last = samples[pointCount - 1];
      const platform::Point p = project(last.longitude, last.latitude);
      surface.fillRect(platform::Rect{p.x - 1, p.y - 1, 3, 3}, kRed);
    }
    return;
  }

  surface.setTextColour(kWhite);
  auto marker = [&](const TrackPoint& at, const char* text) {
    const platform::Point p = project(at.longitude, at.latitude);
    const platform::Size extent = surface.textExtent(text);
    const int half = extent.height / 2;
    surface.fillShape(p.x - half - 1, p.y - half - 1, p.x + half + 1, p.y + half + 1);
    surface.drawText(p.x - extent.width / 2, p.y - half, text);
  };
  surface.setPen(kRed);
  surface.setBrush(kRed);
  for (int k = 0; k < startFinishLine(*definition); ++k) marker(definition->splitLines[static_cast<size_t>(k)], "ST");
  surface.setPen(kGreen);
  surface.setBrush(kGreen);
  if (pointCount > 0) marker(points[0], "F");

  const FixSample& car = history.newest();
  const platform::Point p = project(car.longitude, car.latitude);
  if (a.left + 3 < p.x && p.x < a.right - 4 && a.top + 3 < p.y && p.y < a.bottom - 4) {
    surface.fillRect(platform::Rect{p.x - 4, p.y - 4, 8, 8}, kBlue);
  }
}

}  // namespace corvantis
