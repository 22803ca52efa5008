#include "timing/live_lines.h"

#include "timing/timing_text.h"

namespace corvantis {

namespace {
constexpr int kStatusLine = 1001;
constexpr int kSpeedLine = 1002;
}  // namespace

void showStatus(platform::Dialog& dialog, const CurrentFix& fix) {
  if (const auto status = gpsStatusText(fix)) dialog.setText(kStatusLine, *status);
}

bool showStatusAndSpeed(platform::Dialog& dialog, const CurrentFix& fix, bool metric, bool newFix) {
  if (fix.deviceError) {
    dialog.setText(kStatusLine, "GPS Device Error");
    return false;
  }
  if (const auto status = gpsStatusText(fix)) dialog.setText(kStatusLine, *status);
  dialog.setText(kSpeedLine, speedLineText(fix.speed, metric, newFix));
  return true;
}

}  // namespace corvantis
