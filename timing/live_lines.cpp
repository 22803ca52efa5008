#include "timing/live_lines.h"

#include <bit>

#include "timing/timing_text.h"

namespace corvantis {

namespace {
constexpr int kStatusLine = 1001;
constexpr int kSpeedLine = 1002;
}  // namespace

void LiveLines::opened(platform::Dialog& dialog, const CurrentFix& fix) {
  statusShown_.reset();
  speedShown_.reset();
  showStatus(dialog, fix);
}

void LiveLines::showStatus(platform::Dialog& dialog, const CurrentFix& fix) {
  const StatusInputs inputs{fix.deviceError, fix.satellites, fix.hdop};
  if (statusShown_ == inputs) return;
  // Without a status (no sentence yet) the line keeps what it shows, and
  // what it shows is not known to match these inputs.
  const auto status = gpsStatusText(fix);
  if (!status) return;
  dialog.setText(kStatusLine, *status);
  statusShown_ = inputs;
}

bool LiveLines::showStatusAndSpeed(platform::Dialog& dialog, const CurrentFix& fix, bool metric, bool newFix) {
  showStatus(dialog, fix);
  if (fix.deviceError) return false;
  const SpeedInputs inputs{std::bit_cast<uint32_t>(fix.speed), metric, newFix};
  if (speedShown_ != inputs) {
    dialog.setText(kSpeedLine, speedLineText(fix.speed, metric, newFix));
    speedShown_ = inputs;
  }
  return true;
}

}  // namespace corvantis
