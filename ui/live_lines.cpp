#include "ui/live_lines.h"

#include <algorithm>
#include <bit>
#include <string_view>

#include "common/number_text.h"
#include "common/units.h"

namespace corvantis {

namespace {
constexpr int kStatusLine = 1001;
constexpr int kSpeedLine = 1002;
}  // namespace

std::string speedLineText(float speedMph, bool metric, bool newFix) {
  double shown = static_cast<double>(speedMph);
  if (metric) shown = shown * units::kMphToKph;
  static constexpr std::string_view kLead = "Speed: ";
  char text[kFixedTextRoom + 16];
  char* end = std::copy(kLead.begin(), kLead.end(), text);
  end = writeFixedText(end, shown, 1);
  const std::string_view tail = metric ? (newFix ? " kph *" : " kph") : (newFix ? " mph *" : " mph");
  end = std::copy(tail.begin(), tail.end(), end);
  return std::string(text, end);
}

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

bool LiveLines::showTick(platform::Dialog& dialog, const CurrentFix& fix, std::optional<SpeedLine> speed) {
  showStatus(dialog, fix);
  if (fix.deviceError) return false;
  if (!speed) return true;
  const SpeedInputs inputs{std::bit_cast<uint32_t>(fix.speed), speed->metric, speed->newFix};
  if (speedShown_ != inputs) {
    dialog.setText(kSpeedLine, speedLineText(fix.speed, speed->metric, speed->newFix));
    speedShown_ = inputs;
  }
  return true;
}

}  // namespace corvantis
