#include "timing/distance_screen.h"

#include <algorithm>
#include <cmath>

#include "common/time_text.h"
#include "common/units.h"
#include "gps/current_fix.h"
#include "resources/layouts.h"
#include "timing/run_timing.h"
#include "ui/live_lines.h"
#include "timing/timing_text.h"

namespace corvantis {

namespace {

constexpr platform::Rgb kRed{255, 0, 0};

}  // namespace

DistanceScreen::DistanceScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kDistancePortrait),
             resources::layout(resources::kDistanceLandscape)),
      trial_(std::make_unique<FixHistory>()) {}

bool DistanceScreen::metric() const { return ctx_.settings.units == units::kMetric; }

void DistanceScreen::openScreen() {
  RunState& run = ctx_.runState;
  run.armed = false;
  run.running = false;
  const double distanceM = ctx_.settings.distance;
  distanceValid_ = distanceFitsKey(distanceM);
  refreshBestAndAverage();

  dialog_->setTextColour(kSpeedLine, kRed);
  dialog_->setTextColour(kDistanceLine, kRed);
  // The pump holds off for 2 s after a screen change: the receiver's state
  // shows at once rather than "Connecting to GPS device ...".
  liveLines_.opened(*dialog_, ctx_.gps.currentFix);
  dialog_->clearItems(kTargetDistance);
  int selected = -1;
  if (metric()) {
    dialog_->addItem(kTargetDistance, "400");
    dialog_->addItem(kTargetDistance, "800");
    dialog_->setText(kUnitLabel, "meters");
    if (distanceM == 400.0) selected = 0;
    if (distanceM == 800.0) selected = 1;
  } else {
    dialog_->addItem(kTargetDistance, "220 (1/8 mile)");
    dialog_->addItem(kTargetDistance, "440 (1/4 mile)");
    dialog_->setText(kUnitLabel, "yards");
    if (distanceM == kEighthMileM) selected = 0;
    if (distanceM == kQuarterMileM) selected = 1;
  }
  if (selected >= 0) {
    dialog_->setSelection(kTargetDistance, selected);
  } else {
    const double shown = metric() ? distanceM : distanceM * units::kMetresToYards;
    dialog_->setText(kTargetDistance, wholeNumberText(std::trunc(shown)));
  }
}

void DistanceScreen::refreshBestAndAverage() {
  if (dialog_ == nullptr) return;
  if (!distanceValid_) {
    dialog_->setText(kBestTime, "");
    dialog_->setText(kAverageTime, "");
    return;
  }
  const RecordKey key = distanceKey(ctx_.settings.distance);
  dialog_->setText(kBestTime, formatRunTimeOrEmpty(ctx_.records.bestTime(key)));
  dialog_->setText(kAverageTime, formatRunTimeOrEmpty(static_cast<uint32_t>(ctx_.records.averageTime(key))));
}

void DistanceScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr || endOnExit(controlId, what, kMainMenu)) return;
  using platform::Notification;
  switch (controlId) {
    case kTargetDistance:
      if (what == Notification::SelectionChanged) {
        const int index = dialog_->selection(kTargetDistance);
        if (index < 0) return;
        dialog_->setText(kTargetDistance, dialog_->itemText(kTargetDistance, index));
        distanceEdited();
        refreshBestAndAverage();
      } else if (what == Notification::EditChanged) {
        // Best and average follow a typed distance only with the next run
        // or opening, as they always have.
        distanceEdited();
      }
      break;
    case kForgetButton:
      if (what == Notification::Clicked) forgetLastRun();
      break;
    default:
      break;
  }
}

void DistanceScreen::update(bool newFix) {
  if (dialog_ == nullptr) return;
  const uint32_t now = ctx_.clock.tickMs();
  // Nothing runs while the receiver is in error.
  const bool receiverWell = liveLines_.showTick(*dialog_, ctx_.gps.currentFix, SpeedLine{metric(), newFix});
  if (receiverWell && distanceValid_) runLogic(newFix, now);
  lastUpdateTick_ = now;
}

void DistanceScreen::runLogic(bool newFix, uint32_t now) {
  RunState& run = ctx_.runState;
  FixHistory& history = ctx_.gps.history;
  const double targetM = ctx_.settings.distance;
  const bool standing = ctx_.gps.currentFix.speed == 0.0f;
  if ((run.armed || run.running) && history.timelineBreaks() != run.timelineBreaks) {
    // The fixes since the standing start span a clock jump or a long gap:
    // the launch or the distance cannot be placed across it. The run is
    // dropped and the screen waits for the next standstill.
    if (run.running) clearRunLines();
    run.running = false;
    run.armed = false;
  }
  if (run.running && standing) {
    // The car stopped again before the target: the run starts over from this
    // standing point, which is where its stored time will count from.
    run.running = false;
    clearRunLines();
  }
  if (!run.running) {
    // Standing (the current speed reads exactly 0 below 2 mph) arms; the
    // first tick with a speed after that starts the run.
    if (standing) {
      run.armed = true;
      run.timelineBreaks = history.timelineBreaks();
    } else if (run.armed) {
      run.running = true;
      history.startCapture(ctx_.clock.calendarSeconds());
      run.elapsedMs = 0;
      run.startFixTime = history.newestFixTime();
    }
  }
  if (!run.running) return;
  // The capture holds at least the three fixes startCapture copied in.
  if (history.count < 2 || history.count > FixHistory::kCapacity) return;

  // Straight-line distance from the last fix before the start.
  const double coveredM = greatCircleDistance(history.samples[history.count - 1], history.samples[1]);
  double shown = coveredM <= targetM ? coveredM : targetM;
  if (!metric()) shown = shown * units::kMetresToYards;
  dialog_->setText(kDistanceLine, "Dist: " + fixedText(shown, 0) + (metric() ? " m" : " yd"));

  if (newFix) {
    msSinceFix_ = 0;
  } else {
    msSinceFix_ += now - lastUpdateTick_;
  }
  run.elapsedMs = (history.newestFixTime() - run.startFixTime) + msSinceFix_;
  // The run ends when the straight line from the fix before the start
  // reaches the target. Its time counts from the last standing fix in the
  // capture; should the smoothed speeds place that further on, no captured
  // segment crosses the target from there yet, and the run goes on until
  // one does rather than end without a finish to place.
  if (coveredM >= targetM &&
      (finishPlaceable(history, targetM) || history.count >= FixHistory::kCapacity)) {
    history.stopCapture();
    const DistanceRunResult result = distanceRun(history, targetM);
    run.running = false;
    run.armed = false;
    if (result.outcome == DistanceRunResult::Outcome::Timed) {
      run.elapsedMs = result.timeMs;
      ctx_.records.addRun(distanceKey(targetM), result.timeMs, history.captureStamp(), history);
      // Only a finished run changes the best and the average.
      refreshBestAndAverage();
    } else {
      // No finish the captured fixes can place: nothing stored, no time shown.
      run.elapsedMs = 0;
      dialog_->setText(kLastTime, "");
      refreshBestAndAverage();
      return;
    }
  }
  dialog_->setText(kLastTime, formatRunTime(run.elapsedMs));
}

void DistanceScreen::clearRunLines() {
  dialog_->setText(kLastTime, "");
  dialog_->setText(kDistanceLine, "");
  ctx_.runState.elapsedMs = 0;
}

bool DistanceScreen::finishPlaceable(const FixHistory& history, double targetM) {
  FixHistory& trial = *trial_;
  trial.count = history.count;
  std::copy_n(history.samples.begin(), history.count, trial.samples.begin());
  trial.stopCapture();
  return distanceRun(trial, targetM).outcome != DistanceRunResult::Outcome::NotReached;
}

void DistanceScreen::distanceEdited() {
  const std::optional<float> typed = parseTypedNumber(dialog_->text(kTargetDistance));
  distanceValid_ = false;
  if (!typed) return;
  double distanceM = static_cast<double>(*typed);
  if (!metric()) distanceM = distanceM * units::kYardsToMetres;
  // Only a distance that can name a run replaces the setting (above 0 and
  // below 32768 m, the whole metres sharing 16 bits with the distance flag).
  if (!distanceFitsKey(distanceM)) return;
  ctx_.settings.distance = distanceM;
  distanceValid_ = true;
}

void DistanceScreen::forgetLastRun() {
  if (dialog_->text(kLastTime).empty()) return;
  RunState& run = ctx_.runState;
  if (!run.running && distanceValid_) ctx_.records.forgetLastRun(distanceKey(ctx_.settings.distance));
  run.startFixTime = 0;
  run.armed = false;
  run.running = false;
  dialog_->setText(kLastTime, "");
  refreshBestAndAverage();
}

}  // namespace corvantis
