#pragma once
// The run plot: speed, distance or acceleration against time for up to ten
// stored runs of one definition, each in its own colour, with a legend of
// their times when there is more than one. Opened by the records screen for
// the times selected there; the ranges are worked out once at open.
#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "review/plot_geometry.h"
#include "store/run_records.h"
#include "ui/screen.h"

namespace corvantis {

class PlotScreen : public Screen {
 public:
  static constexpr int kHeader = 1016;
  static constexpr int kRunTime = 1017;
  static constexpr int kQuantityList = 1019;
  static constexpr int kOk = 1;
  static constexpr int kMaxRuns = 10;

  // The colour of the run at each position.
  static constexpr std::array<platform::Rgb, kMaxRuns> kRunColours{{
      {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 255}, {255, 255, 0},
      {0, 255, 255}, {0, 0, 0}, {128, 64, 0}, {0, 64, 128}, {128, 0, 128},
  }};
  static constexpr platform::Rgb kAxisColour{0, 0, 0};
  static constexpr platform::Rgb kGridColour{192, 192, 192};

  // key: the record set's key, 0 for lap times (then lapName names the
  // track); runs in list order, of which the first ten are drawn. The runs
  // must outlive the screen.
  PlotScreen(AppContext& context, int32_t key, std::string lapName, std::vector<const RunRecord*> runs);

  void onCommand(int controlId, platform::Notification what) override;
  void onPaint(platform::Surface& surface) override;

  PlotKind plotKind() const { return plotKind_; }
  const PlotRanges& ranges() const { return ranges_; }

 protected:
  void openScreen() override;

 private:
  bool metric() const;
  void drawTimeAxis(platform::Surface& surface, const PlotFrame& frame, AxisTicks& ticks);
  // titleBottom: the first row below the axis title, which no label may reach.
  void drawValueAxis(platform::Surface& surface, const PlotFrame& frame, int titleBottom, AxisTicks& ticks);
  void drawCurves(platform::Surface& surface, const PlotFrame& frame, const AxisTicks& timeTicks,
                  const AxisTicks& valueTicks);

  int32_t key_;
  std::string lapName_;
  std::vector<const RunRecord*> runs_;
  PlotKind plotKind_;
  PlotRanges ranges_;
  // Tick layouts, made at the first paint that needs them and kept: laying
  // a stretched axis out again would stretch it further on every repaint.
  std::optional<AxisTicks> timeTicks_;
  std::array<std::optional<AxisTicks>, 3> valueTicks_;
};

}  // namespace corvantis
