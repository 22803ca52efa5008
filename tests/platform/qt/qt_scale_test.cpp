// --scale: the whole window enlarged, the screens still working in the
// handheld's pixels. Its own program, because the factor must be set before
// the QApplication exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/qt/window_scale.h"
#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

class ScaledApp final : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The screen is looked at first, by an application of its own that is
    // gone again before the real one comes.
    probed_ = probeScreenSize(argc_, argv_);
    refusedZero_ = !applyScaleFactor(0);
    refusedNine_ = !applyScaleFactor(9);
    accepted_ = applyScaleFactor(2);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

  std::optional<Size> probed_;
  bool refusedZero_ = false;
  bool refusedNine_ = false;
  bool accepted_ = false;

 private:
  int argc_ = 1;
  char name_[16] = "qt_scale_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

ScaledApp* const kApp = static_cast<ScaledApp*>(::testing::AddGlobalTestEnvironment(new ScaledApp));

TEST(Scale, TheScreenIsProbedBeforeTheApplicationAndOnlyThen) {
  ASSERT_TRUE(kApp->probed_.has_value());
  EXPECT_GT(kApp->probed_->width, 0);
  EXPECT_GT(kApp->probed_->height, 0);
  int argc = 1;
  char name[] = "again";
  char* argv[] = {name, nullptr};
  EXPECT_FALSE(probeScreenSize(argc, argv).has_value());
}

TEST(Scale, FactorIsTakenOnlyBeforeTheApplicationAndInRange) {
  EXPECT_TRUE(kApp->refusedZero_);
  EXPECT_TRUE(kApp->refusedNine_);
  EXPECT_TRUE(kApp->accepted_);
  EXPECT_FALSE(applyScaleFactor(3));
}

TEST(Scale, ScreensKeepHandheldPixelsAndDrawSharpAtTwiceTheSize) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.paint = [](Surface& s) {
    s.setPen(Rgb{0, 0, 255});
    s.moveTo(20, 40);
    s.lineTo(30, 40);
    s.fillRect(Rect{100, 100, 3, 3}, Rgb{255, 0, 0});
  };
  DialogLayout bare;  // no controls over the drawing
  bare.title = "Corvantis v1.0";
  bare.widthDu = 139;
  bare.heightDu = 156;
  QImage image;
  runWith(windows, bare, handler, [&](QtDialog& dialog) {
    EXPECT_EQ(dialog.window().size(), QSize(240, 320));
    EXPECT_EQ(dialog.window().devicePixelRatio(), 2);
    image = dialog.render();
  });
  keepImage(image, "scaled-2x");
  ASSERT_EQ(image.size(), QSize(480, 640));
  // One handheld pixel is a 2 x 2 block: the line's first and last pixels,
  // and nothing at its end point.
  EXPECT_EQ(image.pixelColor(40, 80), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(41, 81), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(59, 81), QColor(0, 0, 255));
  EXPECT_NE(image.pixelColor(60, 80), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(200, 200), QColor(255, 0, 0));
  EXPECT_EQ(image.pixelColor(205, 205), QColor(255, 0, 0));
  EXPECT_NE(image.pixelColor(206, 206), QColor(255, 0, 0));
}

// A sloped line (the run plot's curves, the lap map) is drawn by the scaled
// painter, not as enlarged handheld pixels: it is one handheld pixel wide
// but steps in device pixels, so some 2 x 2 blocks along it are only partly
// covered. It still starts at its first pixel and leaves out its end pixel.
TEST(Scale, SlopedLinesStepInDevicePixels) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.paint = [](Surface& s) {
    s.setPen(Rgb{255, 0, 0});
    s.moveTo(10, 100);
    s.lineTo(110, 150);
  };
  DialogLayout bare;
  bare.title = "Corvantis v1.0";
  bare.widthDu = 139;
  bare.heightDu = 156;
  QImage image;
  runWith(windows, bare, handler, [&](QtDialog& dialog) { image = dialog.render(); });
  keepImage(image, "scaled-2x-slope");
  ASSERT_EQ(image.size(), QSize(480, 640));
  const QColor red(255, 0, 0);
  int partBlocks = 0;
  int redPixels = 0;
  for (int by = 0; by < 320; ++by) {
    for (int bx = 0; bx < 240; ++bx) {
      int inBlock = 0;
      for (int d = 0; d < 4; ++d) inBlock += image.pixelColor(2 * bx + d % 2, 2 * by + d / 2) == red ? 1 : 0;
      redPixels += inBlock;
      if (inBlock > 0 && inBlock < 4) ++partBlocks;
      // Every red pixel lies within a handheld pixel of the ideal line.
      if (inBlock > 0) {
        EXPECT_LE(std::abs((by + 0.5) - (100.5 + (bx + 0.5 - 10.5) / 2.0)), 1.5) << bx << "," << by;
      }
    }
  }
  EXPECT_GT(partBlocks, 20);
  EXPECT_GT(redPixels, 2 * 2 * 90);  // about two device pixels thick over 100 handheld pixels
  EXPECT_EQ(image.pixelColor(20, 200), red);
  EXPECT_NE(image.pixelColor(221, 301), red);
}

}  // namespace
}  // namespace corvantis::platform::qt::test
