// The run plot's axis labels on real widgets at the window scale in
// CORV_TEST_SCALE (the program is run at 1, 2 and 3): four-digit distances
// and the last time labels of a long lap are drawn whole, inside the window.
// Its own program, because the factor must be set before the QApplication.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/qt/qt_window_system.h"
#include "platform/qt/window_scale.h"
#include "review/plot_screen.h"
#include "tests/platform/qt/qt_test_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"
#include "ui/context.h"

namespace corvantis::platform::qt::test {
namespace {

int scaleFactor() {
  const char* text = std::getenv("CORV_TEST_SCALE");
  const int scale = text == nullptr ? 1 : std::atoi(text);
  return scale >= 1 && scale <= 8 ? scale : 1;
}

class ScaledPlotApp final : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (scaleFactor() != 1) applyScaleFactor(scaleFactor());
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[24] = "qt_plot_label_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kApp = ::testing::AddGlobalTestEnvironment(new ScaledPlotApp);

// A lap of lengthM at an even speed over durationMs, a fix every 100 ms.
RunRecord lapOf(double lengthM, uint32_t durationMs) {
  RunRecord lap;
  lap.timeMs = durationMs;
  lap.startTime = 40000000;
  for (uint32_t ms = 0; ms <= durationMs; ms += 100) {
    const double distance = lengthM * ms / durationMs;
    lap.trace.push_back({lap.startTime + ms, static_cast<float>(lengthM / durationMs * 1000.0 / 0.44704),
                         static_cast<float>(distance)});
  }
  lap.traceCount = static_cast<int32_t>(lap.trace.size());
  return lap;
}

// Dark pixels (text or axis ink) in the device pixels of columns [x0, x1)
// and rows [y0, y1) given in handheld pixels.
int inkIn(const QImage& image, int x0, int x1, int y0, int y1) {
  const int s = scaleFactor();
  int ink = 0;
  for (int y = y0 * s; y < y1 * s && y < image.height(); ++y) {
    for (int x = x0 * s; x < x1 * s && x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() < 160 && c.green() < 160 && c.blue() < 160) ++ink;
    }
  }
  return ink;
}

TEST(PlotLabels, FourDigitDistancesAndTheLastTimeLabelStayInsideTheWindow) {
  for (const bool landscape : {false, true}) {
    for (const double lengthM : {1000.0, 3000.0, 9000.0}) {
      SCOPED_TRACE(std::string(landscape ? "landscape " : "portrait ") + std::to_string(lengthM) + " m");
      QtWindowSystem windows(QtWindowOptions{landscape, false});
      corvantis::testing::FakeClock clock;
      corvantis::testing::FakeSerialPort port;
      AppContext ctx(windows, clock, port);
      ctx.landscape = landscape;
      const RunRecord lap = lapOf(lengthM, 187300);
      PlotScreen plot(ctx, 0, "Long circuit", {&lap});
      QImage image;
      windows.setAfterOpenHook([&](Dialog& dialog) {
        dialog.setSelection(PlotScreen::kQuantityList, 1);
        plot.onCommand(PlotScreen::kQuantityList, Notification::SelectionChanged);
        image = static_cast<QtDialog&>(dialog).render();
        dialog.end(PlotScreen::kOk);
      });
      plot.showModal();
      ASSERT_FALSE(image.isNull());
      keepImage(image, std::string("plot-labels-") + (landscape ? "landscape-" : "portrait-") +
                           std::to_string(static_cast<int>(lengthM)) + "-x" + std::to_string(scaleFactor()));
      const PlotFrame frame = plotFrame(landscape);
      EXPECT_GT(plot.ranges().maxDistance, 1000);  // yards: four digits
      // Nothing touches the window's left edge beside the value axis...
      EXPECT_EQ(inkIn(image, 0, 1, 0, frame.bottom()), 0);
      // ...and the labels are there, right of it.
      EXPECT_GT(inkIn(image, 1, frame.left, frame.top, frame.bottom()), 0);
      // Nothing touches the right edge under the time axis.
      EXPECT_EQ(inkIn(image, frame.clientWidth - 1, frame.clientWidth, frame.bottom(), frame.bottom() + 20), 0);
    }
  }
}

}  // namespace
}  // namespace corvantis::platform::qt::test
