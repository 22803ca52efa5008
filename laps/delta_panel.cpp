#include "laps/delta_panel.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/time_text.h"

namespace corvantis {
namespace {

constexpr platform::Rgb kBackground{255, 255, 255};
constexpr platform::Rgb kText{0, 0, 0};
constexpr platform::Rgb kBehind{210, 0, 0};
constexpr platform::Rgb kAhead{0, 150, 0};
constexpr platform::Rgb kStale{150, 150, 150};
constexpr platform::Rgb kBarTrack{225, 225, 225};
const platform::FontSpec kDeltaFont{"Arial", 34, 700};
const platform::FontSpec kLineFont{"Arial", 12, 400};

}  // namespace

std::string deltaText(int32_t deltaMs) {
  const char* sign = deltaMs < 0 ? "\u2212" : "+";
  const long magnitude = std::labs(static_cast<long>(deltaMs));
  char text[32];
  // The form follows the rounded value: 9.996 s reads +10.0, not +10.00.
  const long hundredths = (magnitude + 5) / 10;
  const long tenths = (magnitude + 50) / 100;
  if (hundredths < 1000) {
    std::snprintf(text, sizeof text, "%s%ld.%02ld", sign, hundredths / 100, hundredths % 100);
  } else if (tenths < 1000) {
    std::snprintf(text, sizeof text, "%s%ld.%ld", sign, tenths / 10, tenths % 10);
  } else {
    std::snprintf(text, sizeof text, "%s%ld", sign, (magnitude + 500) / 1000);
  }
  return text;
}

// Below the form: the portrait form ends at 269 of 320 pixels, the
// landscape one at 187 of 240.
DeltaPanel::DeltaPanel(bool landscape)
    : area_(landscape ? platform::Rect{2, 190, 316, 48} : platform::Rect{2, 271, 236, 48}) {}

void DeltaPanel::show(platform::Surface& surface, const Content& content, bool force) {
  if (!force && everDrawn_ && content == drawn_) return;
  draw(surface, content);
  drawn_ = content;
  everDrawn_ = true;
}

void DeltaPanel::draw(platform::Surface& surface, const Content& content) {
  const platform::Rect& a = area_;
  surface.fillRect(a, kBackground);
  if (!content.hasTrack) return;
  const LiveDelta::Shown& shown = content.shown;
  const bool showing = shown.kind != LiveDelta::Shown::Kind::None;
  const platform::Rgb colour = !showing ? kStale
                               : shown.stale ? kStale
                               : shown.deltaMs > 0 ? kBehind
                                                   : kAhead;

  // The delta, large, at the left.
  const int textRight = a.x + a.width * 45 / 100;
  if (showing) {
    surface.setFont(kDeltaFont);
    surface.setTextColour(colour);
    const std::string text = deltaText(shown.deltaMs);
    const platform::Size extent = surface.textExtent(text);
    surface.drawText(std::max(a.x, textRight - extent.width), a.y + (a.height - extent.height) / 2, text);
  }

  // The bar, from the middle: right behind, left ahead.
  const int barLeft = textRight + 8;
  const int barWidth = a.x + a.width - barLeft - 2;
  const int barTop = a.y + 3;
  const int barHeight = 14;
  surface.fillRect(platform::Rect{barLeft, barTop, barWidth, barHeight}, kBarTrack);
  const int middle = barLeft + barWidth / 2;
  if (showing) {
    const int32_t clamped = std::clamp(shown.deltaMs, -kBarFullScaleMs, kBarFullScaleMs);
    const int length = static_cast<int>(static_cast<int64_t>(clamped) * (barWidth / 2) / kBarFullScaleMs);
    if (length > 0) surface.fillRect(platform::Rect{middle, barTop, length, barHeight}, colour);
    if (length < 0) surface.fillRect(platform::Rect{middle + length, barTop, -length, barHeight}, colour);
  }
  surface.fillRect(platform::Rect{middle, barTop - 2, 1, barHeight + 4}, kText);

  // The prediction (or the lap's result) and the theoretical best.
  surface.setFont(kLineFont);
  surface.setTextColour(kText);
  std::string first;
  if (shown.kind == LiveDelta::Shown::Kind::Final) {
    first = "Lap " + deltaText(shown.deltaMs);
  } else if (shown.kind == LiveDelta::Shown::Kind::Live && shown.predictedMs != 0) {
    first = "Pred " + formatRunTime(shown.predictedMs);
  } else if (!content.hasReference) {
    first = "No reference lap yet";
  }
  surface.drawText(barLeft, barTop + barHeight + 2, first);
  if (content.theoreticalBestMs != 0) {
    surface.drawText(barLeft, barTop + barHeight + 16, "Theo " + formatRunTime(content.theoreticalBestMs));
  }
}

}  // namespace corvantis
