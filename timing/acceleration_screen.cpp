#include "timing/acceleration_screen.h"

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

// "%.0f" of a stored speed in the unit shown.
std::string speedFieldText(float speedMph, bool metric) {
  double shown = static_cast<double>(speedMph);
  if (metric) shown = shown * units::kMphToKph;
  return fixedText(shown, 0);
}

}  // namespace

AccelerationScreen::AccelerationScreen(AppContext& context)
    : Screen(context, resources::layout(resources::kAccelerationPortrait),
             resources::layout(resources::kAccelerationLandscape)) {
  RunState& run = ctx_.runState;
  run.armed = false;
  run.running = false;
  run.manualStartPending = false;
  run.startFixTime = 0;
}

bool AccelerationScreen::metric() const { return ctx_.settings.units == units::kMetric; }

RecordKey AccelerationScreen::key() const {
  return accelerationKey(ctx_.settings.accelFrom, ctx_.settings.accelTo);
}

void AccelerationScreen::openScreen() {
  const Settings& settings = ctx_.settings;
  // A speed loaded from the options file that cannot name a run is shown
  // but times nothing until the user types a good one.
  fromValid_ = speedFitsKey(settings.accelFrom);
  toValid_ = speedFitsKey(settings.accelTo);
  dialog_->setText(kFromSpeed, speedFieldText(settings.accelFrom, metric()));
  dialog_->setText(kToSpeed, speedFieldText(settings.accelTo, metric()));
  dialog_->setTextColour(kSpeedLine, kRed);
  // The pump holds off for 2 s after a screen change: the receiver's state
  // shows at once rather than "Connecting to GPS device ...".
  liveLines_.opened(*dialog_, ctx_.gps.currentFix);
  refreshBestAndAverage();
}

void AccelerationScreen::refreshBestAndAverage() {
  if (dialog_ == nullptr) return;
  if (!definitionValid()) {
    dialog_->setText(kBestTime, "");
    dialog_->setText(kAverageTime, "");
    return;
  }
  dialog_->setText(kBestTime, formatRunTimeOrEmpty(ctx_.records.bestTime(key())));
  dialog_->setText(kAverageTime,
                   formatRunTimeOrEmpty(static_cast<uint32_t>(ctx_.records.averageTime(key()))));
}

void AccelerationScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr || endOnExit(controlId, what, kMainMenu)) return;
  using platform::Notification;
  switch (controlId) {
    case kFromSpeed:
    case kToSpeed:
      if (what == Notification::SelectionChanged) {
        const int index = dialog_->selection(controlId);
        if (index < 0) return;
        dialog_->setText(controlId, dialog_->itemText(controlId, index));
        speedEdited(controlId);
      } else if (what == Notification::EditChanged) {
        speedEdited(controlId);
      }
      break;
    case kForgetButton:
      if (what == Notification::Clicked) forgetLastRun();
      break;
    case kManualButton:
      if (what == Notification::Clicked) manualStartStop();
      break;
    default:
      break;
  }
}

void AccelerationScreen::update(bool newFix) {
  if (dialog_ == nullptr) return;
  const uint32_t now = ctx_.clock.tickMs();
  // Nothing runs while the receiver is in error.
  if (liveLines_.showTick(*dialog_, ctx_.gps.currentFix, SpeedLine{metric(), newFix})) {
    if (definitionValid()) runLogic(newFix, now);
    showManualCaption();
  }
  lastUpdateTick_ = now;
}

void AccelerationScreen::runLogic(bool newFix, uint32_t now) {
  RunState& run = ctx_.runState;
  FixHistory& history = ctx_.gps.history;
  const float s = ctx_.gps.currentFix.speed;
  const float f = ctx_.settings.accelFrom;
  const float t = ctx_.settings.accelTo;

  if ((run.armed || run.running) && history.timelineBreaks() != run.timelineBreaks) {
    // The fixes since arming span a clock jump or a long gap: no
    // interpolation can place the run's instants across it, so the run is
    // dropped and the screen waits to arm again.
    if (run.running) dialog_->setText(kLastTime, "");
    run.running = false;
    run.armed = false;
    run.manualStartPending = false;
    run.manualStopRequested = false;
    run.elapsedMs = 0;
    manualRun_ = false;
  }

  if (s <= f && !run.manualStartPending) {
    // At or below the start speed: (re)arm. A run that fell back here
    // before reaching the to-speed is abandoned.
    if (run.running) dialog_->setText(kLastTime, "");
    run.running = false;
    run.startFixTime = history.newestFixTime();
    msSinceFix_ = 0;
    run.armed = true;
    run.timelineBreaks = history.timelineBreaks();
    run.elapsedMs = 0;
    manualRun_ = false;
    return;
  }
  if (!run.armed) return;

  run.running = true;
  if (s > f) run.manualStartPending = false;
  if (run.elapsedMs == 0) history.startCapture(ctx_.clock.calendarSeconds());
  if (newFix) {
    msSinceFix_ = 0;
  } else {
    msSinceFix_ += now - lastUpdateTick_;
  }
  run.elapsedMs = (history.newestFixTime() - run.startFixTime) + msSinceFix_;
  if (!(s < t) || run.manualStopRequested) {
    finishRun(now);
    // Only a finished run changes the best and the average.
    refreshBestAndAverage();
  } else {
    dialog_->setText(kLastTime, formatRunTime(run.elapsedMs));
  }
}

void AccelerationScreen::finishRun(uint32_t now) {
  RunState& run = ctx_.runState;
  FixHistory& history = ctx_.gps.history;
  const float f = ctx_.settings.accelFrom;
  history.stopCapture();
  std::optional<uint32_t> timeMs;
  if (run.manualStopRequested) {
    if (manualRun_) {
      // Started and stopped by hand: the tick clock between the presses.
      const uint32_t handTimed = now - manualStartTick_;
      if (handTimed != 0) timeMs = handTimed;
    } else {
      // Started by the speed threshold, stopped by hand: from the
      // interpolated launch to this moment on the fix clock. The tick clock
      // of an older manual start would time something else entirely.
      timeMs = timeSinceLaunch(history, f, history.newestFixTime() + msSinceFix_);
    }
  } else {
    timeMs = accelerationRunTime(history, f, ctx_.settings.accelTo);
  }
  if (timeMs) {
    run.elapsedMs = *timeMs;
    ctx_.records.addRun(key(), *timeMs, history.captureStamp(), history);
    dialog_->setText(kLastTime, formatRunTime(*timeMs));
  } else {
    // The fixes give no time that means anything: nothing is stored and no
    // time is shown.
    run.elapsedMs = 0;
    dialog_->setText(kLastTime, "");
  }
  run.armed = false;
  run.manualStopRequested = false;
  run.running = false;
  // A manual run stopped before the speed ever passed the from-speed would
  // otherwise leave the pending start set, and with it the screen unable to
  // arm again: the run is over, so is its pending start.
  run.manualStartPending = false;
  manualRun_ = false;
}

void AccelerationScreen::speedEdited(int comboId) {
  Settings& settings = ctx_.settings;
  const bool isFrom = comboId == kFromSpeed;
  const std::optional<float> typed = parseTypedNumber(dialog_->text(comboId));
  bool valid = false;
  if (typed) {
    float speedMph = *typed;
    if (metric()) speedMph = static_cast<float>(static_cast<double>(*typed) * units::kKphToMph);
    valid = speedFitsKey(speedMph);
    // Only a speed that can name a run replaces the setting; otherwise the
    // field keeps what was typed and the setting its last good value.
    if (valid) (isFrom ? settings.accelFrom : settings.accelTo) = speedMph;
  }
  (isFrom ? fromValid_ : toValid_) = valid;

  if (definitionValid() && settings.accelTo < settings.accelFrom) {
    const float step = metric() ? static_cast<float>(16.09344) : static_cast<float>(10.0);
    const float raised = settings.accelFrom + step;
    if (speedFitsKey(raised)) {
      settings.accelTo = raised;
      const double shown = metric() ? std::trunc(static_cast<double>(raised) * units::kMphToKph)
                                    : std::trunc(static_cast<double>(raised));
      dialog_->setText(kToSpeed, wholeNumberText(shown));
    } else {
      toValid_ = false;
    }
  }

  RunState& run = ctx_.runState;
  if (run.running) {
    // The definition changed under the run: drop it. (running itself stays
    // until the next tick at or below the from-speed.)
    run.manualStartPending = false;
    run.manualStopRequested = false;
    run.armed = false;
    run.startFixTime = 0;
    manualRun_ = false;
    dialog_->setText(kLastTime, "");
  }
  refreshBestAndAverage();
}

void AccelerationScreen::forgetLastRun() {
  if (dialog_->text(kLastTime).empty()) return;
  RunState& run = ctx_.runState;
  // After a run: remove the newest stored run. During one: abort it only.
  if (!run.running && definitionValid()) ctx_.records.forgetLastRun(key());
  run.manualStartPending = false;
  run.manualStopRequested = false;
  run.armed = false;
  run.running = false;
  run.startFixTime = 0;
  manualRun_ = false;
  dialog_->setText(kLastTime, "");
  refreshBestAndAverage();
}

void AccelerationScreen::manualStartStop() {
  RunState& run = ctx_.runState;
  if (run.running) {
    run.manualStopRequested = true;  // the next tick finishes the run
    return;
  }
  run.manualStopRequested = false;
  run.manualStartPending = true;
  run.armed = true;
  run.timelineBreaks = ctx_.gps.history.timelineBreaks();
  run.startFixTime = ctx_.gps.history.newestFixTime();
  msSinceFix_ = 0;
  run.elapsedMs = 0;
  manualStartTick_ = ctx_.clock.tickMs();
  manualRun_ = true;
}

void AccelerationScreen::showManualCaption() {
  dialog_->setText(kManualButton, ctx_.runState.running ? "Manual Run Stop" : "Manual Run Start");
}

}  // namespace corvantis
