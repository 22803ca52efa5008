#include "review/plot_screen.h"

#include <algorithm>
#include <utility>

#include "common/time_text.h"
#include "common/units.h"
#include "resources/layouts.h"
#include "review/record_texts.h"

namespace corvantis {

namespace {

const platform::FontSpec kPlotFont{"Arial", 12, 400};
// The smallest size a label is drawn in to fit beside the axis.
constexpr int kSmallestLabelPixels = 6;

// Draws a value label with its right end at rightX and centred on y, in the
// plot's font; a label too wide for the room left of rightX (four-digit
// distances) is drawn in the largest smaller size that fits, as the other
// screens fit their texts, and never above minTop.
void drawValueLabel(platform::Surface& surface, const std::string& label, int rightX, int y, int minTop) {
  const int room = rightX - 1;
  platform::FontSpec font = kPlotFont;
  platform::Size extent = surface.textExtent(label);
  while (extent.width > room && font.heightPx > kSmallestLabelPixels) {
    --font.heightPx;
    surface.setFont(font);
    extent = surface.textExtent(label);
  }
  surface.drawText(rightX - extent.width, std::max(minTop, y - extent.height / 2), label);
  if (font.heightPx != kPlotFont.heightPx) surface.setFont(kPlotFont);
}

}  // namespace

PlotScreen::PlotScreen(AppContext& context, int32_t key, std::string lapName, std::vector<const RunRecord*> runs)
    : Screen(context, resources::layout(resources::kPlotPortrait), resources::layout(resources::kPlotLandscape)),
      key_(key),
      lapName_(std::move(lapName)),
      runs_(std::move(runs)),
      plotKind_(key < 0 ? PlotKind::Distance : PlotKind::Speed) {
  if (runs_.size() > static_cast<size_t>(kMaxRuns)) runs_.resize(kMaxRuns);
}

bool PlotScreen::metric() const { return ctx_.settings.units == units::kMetric; }

void PlotScreen::openScreen() {
  ranges_ = computePlotRanges(key_, runs_, ctx_.settings.units);
  const std::string header =
      key_ == 0 ? lapName_ : plotHeaderText(keyFromValue(static_cast<uint32_t>(key_)), ctx_.settings.units);
  dialog_->setText(kHeader, header);
  dialog_->setText(kRunTime, runs_.size() == 1 ? formatRunTime(runs_[0]->timeMs) : std::string());
  dialog_->setSelection(kQuantityList, static_cast<int>(plotKind_));
}

void PlotScreen::onCommand(int controlId, platform::Notification what) {
  if (dialog_ == nullptr) return;
  if (controlId == kQuantityList && what == platform::Notification::SelectionChanged) {
    const int index = dialog_->selection(kQuantityList);
    if (index < 0 || index > static_cast<int>(PlotKind::Acceleration)) return;
    plotKind_ = static_cast<PlotKind>(index);
    dialog_->invalidate();
  } else if (controlId == kOk && what == platform::Notification::Clicked) {
    dialog_->end(kOk);
  }
}

void PlotScreen::onPaint(platform::Surface& surface) {
  if (dialog_ == nullptr) return;
  const PlotFrame frame = plotFrame(dialog_->landscape());
  surface.setFont(kPlotFont);
  surface.setTextColour(kAxisColour);

  const char* title = "SPEED (mph)";
  switch (plotKind_) {
    case PlotKind::Distance: title = metric() ? "DISTANCE (meters)" : "DISTANCE (yards)"; break;
    case PlotKind::Acceleration: title = "ACCELERATION (g)"; break;
    case PlotKind::Speed: title = metric() ? "SPEED (kph)" : "SPEED (mph)"; break;
  }
  surface.drawText(2, frame.top - 18, title);
  const int titleBottom = frame.top - 18 + surface.textExtent(title).height;

  AxisTicks timeTicks;
  drawTimeAxis(surface, frame, timeTicks);
  AxisTicks valueTicks;
  drawValueAxis(surface, frame, titleBottom, valueTicks);

  surface.setPen(kAxisColour);
  surface.moveTo(frame.left + 2, frame.top);
  surface.lineTo(frame.left + 2, frame.bottom() - 2);
  surface.lineTo(frame.right() + 2, frame.bottom() - 2);

  drawCurves(surface, frame, timeTicks, valueTicks);
}

void PlotScreen::drawTimeAxis(platform::Surface& surface, const PlotFrame& frame, AxisTicks& ticks) {
  // The span keeps its stretched value for the curves.
  if (!timeTicks_) timeTicks_ = layOutTimeTicks(ranges_.spanMs, frame.width);
  ticks = *timeTicks_;
  const bool wholeSeconds = ticks.stepValue % 1000 == 0;
  const int bottom = frame.bottom();
  bool anyLabel = false;
  int lastCentre = 0;
  int lastWidth = 0;
  for (int k = 0; k <= ticks.count; ++k) {
    const int x = frame.left + k * ticks.stepPx + 2;
    const std::string label = timeTickLabel(static_cast<int64_t>(k) * ticks.stepValue, wholeSeconds);
    const platform::Size extent = surface.textExtent(label);
    // The last labels of a long axis are kept inside the screen's right edge.
    const int labelLeft = std::min(x - extent.width / 2, frame.clientWidth - extent.width - 1);
    // A label that would crowd the one before it is left out; its tick stays.
    const bool drawn = !anyLabel || labelLeft > lastCentre + lastWidth + 3;
    if (drawn) {
      surface.setTextColour(kAxisColour);
      surface.drawText(labelLeft, bottom + 4, label);
      anyLabel = true;
      lastCentre = x;
      lastWidth = extent.width;
    }
    if (k >= 1) {
      surface.setPen(kAxisColour);
      surface.moveTo(x, drawn ? bottom + 2 : bottom);
      surface.lineTo(x, bottom - 4);
      surface.setPen(kGridColour);
      surface.lineTo(x, frame.top - 1);
    }
  }
  const char* caption = "TIME (seconds)";
  const platform::Size extent = surface.textExtent(caption);
  surface.setTextColour(kAxisColour);
  surface.drawText(frame.left + frame.width / 2 - extent.width / 2, bottom + extent.height + 4, caption);
}

void PlotScreen::drawValueAxis(platform::Surface& surface, const PlotFrame& frame, int titleBottom, AxisTicks& ticks) {
  int* range = &ranges_.maxSpeed;
  int unit = 5;
  if (plotKind_ == PlotKind::Distance) {
    range = &ranges_.maxDistance;
    unit = 10;
  } else if (plotKind_ == PlotKind::Acceleration) {
    range = &ranges_.accelRange;
    unit = 100;
  }
  // The range keeps its grown value for the curves.
  std::optional<AxisTicks>& laidOut = valueTicks_[static_cast<size_t>(plotKind_)];
  if (!laidOut) laidOut = layOutValueTicks(*range, unit, frame.height);
  ticks = *laidOut;
  for (int k = 1; k <= ticks.count; ++k) {
    const int y = frame.bottom() - k * ticks.stepPx - 2;
    const int value = k * ticks.stepValue;
    const std::string label = plotKind_ == PlotKind::Acceleration ? accelerationLabel(value - ranges_.accelRange / 2)
                                                                  : std::to_string(value);
    surface.setTextColour(kAxisColour);
    // The top label sits just below the axis title rather than crowd it.
    drawValueLabel(surface, label, frame.left - 2, y, titleBottom + 1);
    surface.setPen(kAxisColour);
    surface.moveTo(frame.left - 2, y);
    surface.lineTo(frame.left + 2, y);
    surface.setPen(kGridColour);
    surface.lineTo(frame.right() + 1, y);
  }
}

void PlotScreen::drawCurves(platform::Surface& surface, const PlotFrame& frame, const AxisTicks& timeTicks,
                            const AxisTicks& valueTicks) {
  CurveScale scale;
  scale.kind = plotKind_;
  scale.metric = metric();
  scale.spanMs = ranges_.spanMs;
  scale.usedWidthPx = frame.width - timeTicks.leftoverPx;
  scale.usedHeightPx = frame.height - valueTicks.leftoverPx;
  scale.heightPx = frame.height;
  scale.range = plotKind_ == PlotKind::Speed      ? ranges_.maxSpeed
                : plotKind_ == PlotKind::Distance ? ranges_.maxDistance
                                                  : ranges_.accelRange;
  const int bottom = frame.bottom();
  for (size_t i = 0; i < runs_.size(); ++i) {
    const platform::Rgb colour = kRunColours[i];
    surface.setPen(colour);
    const uint32_t origin = i < ranges_.originsMs.size() ? ranges_.originsMs[i] : 0;
    const std::vector<double>* acceleration =
        i < ranges_.accelerationsMilliG.size() ? &ranges_.accelerationsMilliG[i] : nullptr;
    const std::vector<CurvePoint> points = curvePoints(*runs_[i], origin, scale, acceleration);
    for (size_t j = 0; j < points.size(); ++j) {
      const int x = frame.left + points[j].x + 2;
      const int y = bottom - points[j].y - 2;
      if (j == 0) {
        surface.moveTo(x, y);
      } else {
        surface.lineTo(x, y);
      }
    }
    if (runs_.size() > 1) {
      // The legend stacks upward from the bottom right corner, one line a run.
      const std::string text = formatRunTime(runs_[i]->timeMs);
      const platform::Size extent = surface.textExtent(text);
      surface.setTextColour(colour);
      surface.drawText(frame.left + frame.width - extent.width, bottom - static_cast<int>(i + 1) * extent.height - 4,
                       text);
    }
  }
}

}  // namespace corvantis
