// The drawing surface: what each operation puts where, immediate drawing,
// repaint, and rendering whole screens to images.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <climits>

#include "platform/qt/qt_fonts.h"
#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kBlack{0, 0, 0};

DialogLayout bareLayout() {
  DialogLayout layout;
  layout.resourceId = 910;
  layout.title = "Corvantis v1.0";
  layout.widthDu = 139;
  layout.heightDu = 156;
  return layout;
}

Rgb at(const QImage& image, int x, int y) {
  const QColor c = image.pixelColor(x, y);
  return Rgb{static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue())};
}

constexpr Rgb kWhite{255, 255, 255};

// Pixels in the rectangle that are not the background.
int inked(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) != QColor(Qt::white)) ++count;
    }
  }
  return count;
}

TEST(Surface, OperationsDrawTheirColoursAtTheirPixels) {
  QtWindowSystem windows;
  RecordingHandler handler;
  Size textSize;
  handler.paint = [&](Surface& s) {
    s.fillRect(Rect{10, 10, 5, 3}, kRed);

    s.setPen(kBlue);
    s.moveTo(20, 40);
    s.lineTo(30, 40);  // the end point is left for the next segment
    s.lineTo(30, 50);
    s.moveTo(40, 40);
    s.lineTo(44, 44);

    s.setPen(kGreen);
    s.setBrush(kRed);
    s.fillShape(60, 60, 71, 71);

    s.excludeClip(Rect{100, 100, 20, 20});
    s.fillRect(Rect{90, 90, 40, 40}, kBlack);
    s.setPen(kBlue);
    s.moveTo(90, 110);
    s.lineTo(130, 110);
    s.resetClip();
    s.fillRect(Rect{100, 100, 2, 2}, kGreen);

    s.setFont(FontSpec{"Arial", 12, 400});
    s.setTextColour(kRed);
    textSize = s.textExtent("ST");
    s.drawText(10, 200, "ST");
  };
  QImage image;
  runWith(windows, bareLayout(), handler, [&](QtDialog& dialog) { image = dialog.render(); });
  keepImage(image, "surface-operations");
  ASSERT_EQ(image.width(), 240);
  ASSERT_EQ(image.height(), 320);

  struct Probe {
    int x, y;
    Rgb colour;
  };
  const Probe probes[] = {
      {10, 10, kRed},   {14, 12, kRed},    {15, 10, kWhite}, {10, 13, kWhite}, {9, 10, kWhite},
      {20, 40, kBlue},  {29, 40, kBlue},   {30, 40, kBlue},  {30, 49, kBlue},  {30, 50, kWhite},
      {31, 40, kWhite}, {40, 40, kBlue},   {43, 43, kBlue},  {44, 44, kWhite}, {41, 40, kWhite},
      {65, 65, kRed},   {60, 65, kGreen},  {70, 65, kGreen}, {71, 65, kWhite}, {59, 65, kWhite},
      {65, 60, kGreen}, {65, 70, kGreen},  {65, 71, kWhite}, {60, 60, kWhite},
      {95, 95, kBlack}, {129, 129, kBlack}, {110, 105, kWhite}, {119, 119, kWhite},
      {95, 110, kBlue}, {125, 110, kBlue}, {110, 110, kWhite}, {100, 100, kGreen}, {101, 101, kGreen},
      {102, 102, kWhite}};
  for (const Probe& p : probes) {
    EXPECT_EQ(at(image, p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
  }

  // The text: red ink inside its extent below and right of its corner,
  // nothing above or left of it.
  EXPECT_EQ(textSize.height, QFontMetrics(toQFont(FontSpec{"Arial", 12, 400})).height());
  EXPECT_GT(textSize.width, 8);
  const QRect box(10, 200, textSize.width, textSize.height);
  EXPECT_GT(inked(image, box), 10);
  EXPECT_EQ(inked(image, QRect(0, 190, 60, 10)), 0);
  EXPECT_EQ(inked(image, QRect(0, 200, 10, 20)), 0);
  int reddest = 0;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.green() < 100 && c.blue() < 100) reddest = std::max(reddest, c.red());
    }
  }
  EXPECT_GT(reddest, 200);
}

TEST(Surface, FarAwayEndPointsDrawTheirVisiblePartQuickly) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.paint = [](Surface& s) {
    s.setPen(kBlue);
    s.moveTo(-100000000, 50);
    s.lineTo(100000000, 50);
    s.moveTo(0, 0);
    s.lineTo(INT_MAX, INT_MAX);
    s.moveTo(INT_MIN, INT_MIN);
    s.lineTo(INT_MAX, INT_MIN);  // entirely outside
  };
  QImage image;
  runWith(windows, bareLayout(), handler, [&](QtDialog& dialog) { image = dialog.render(); });
  EXPECT_EQ(at(image, 0, 50), kBlue);
  EXPECT_EQ(at(image, 239, 50), kBlue);
  EXPECT_EQ(at(image, 5, 5), kBlue);
  EXPECT_EQ(at(image, 200, 200), kBlue);
}

TEST(Surface, ImmediateDrawingShowsAndARepaintStartsAfresh) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.paint = [](Surface& s) {
    s.moveTo(0, 5);
    s.lineTo(20, 5);  // the default pen: black
  };
  runWith(windows, bareLayout(), handler, [&](QtDialog& dialog) {
    const int paintsAtOpen = handler.paints;
    Surface& s = dialog.surface();
    s.setPen(kRed);
    s.moveTo(0, 5);
    s.lineTo(20, 5);
    s.fillRect(Rect{50, 50, 10, 10}, kGreen);
    QImage image = dialog.render();
    EXPECT_EQ(handler.paints, paintsAtOpen);  // drawn without a paint
    EXPECT_EQ(at(image, 55, 55), kGreen);
    EXPECT_EQ(at(image, 10, 5), kRed);

    dialog.invalidate();
    image = dialog.render();
    EXPECT_EQ(handler.paints, paintsAtOpen + 1);
    EXPECT_EQ(at(image, 55, 55), kWhite);  // the erase before the paint
    EXPECT_EQ(at(image, 10, 5), kBlack);   // the paint's own pen, not the last one set
  });
  EXPECT_GE(handler.paints, 1);
}

TEST(Surface, ControlsShowOnTopAndTheStatusTextIsRendered) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.paint = [](Surface& s) { s.fillRect(Rect{0, 0, 240, 320}, Rgb{200, 255, 200}); };
  QImage withText;
  QImage withoutText;
  QRect status;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    status = dialog.control(1001)->geometry();
    dialog.setText(1001, "fix quality: 2 (excellent)");
    withText = dialog.render();
    dialog.setText(1001, "");
    withoutText = dialog.render();
  });
  keepImage(withText, "every-kind-portrait");
  // The static covers the surface with its own white box and its text.
  EXPECT_EQ(withoutText.pixelColor(status.center()), QColor(Qt::white));
  EXPECT_EQ(inked(withoutText, status), 0);
  EXPECT_GT(inked(withText, status), 60);
  EXPECT_EQ(withText.pixelColor(230, 310), QColor(200, 255, 200));  // the surface elsewhere
}

TEST(Screenshot, AfterOpenHookWritesTheShowingScreen) {
  QtWindowSystem windows;
  EXPECT_FALSE(windows.saveScreenshot((QDir::tempPath() + "/corvantis-none.png").toStdString()));
  const std::string path = (QDir::tempPath() + "/corvantis-qt-screenshot-landscape.png").toStdString();
  QFile::remove(QString::fromStdString(path));
  bool saved = false;
  windows.setAfterOpenHook([&](Dialog& dialog) {
    saved = windows.saveScreenshot(path);
    dialog.end(5);
  });
  RecordingHandler handler;
  handler.open = [](Dialog& d) { d.setText(1001, "Waiting for satellite fix..."); };
  EXPECT_EQ(windows.runModal(everyKindLayout(true), handler), 5);
  EXPECT_TRUE(saved);
  QImage image(QString::fromStdString(path));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 320);
  EXPECT_EQ(image.height(), 240);
  EXPECT_GT(inked(image, QRect(0, 0, 320, 240)), 1000);
}

}  // namespace
}  // namespace corvantis::platform::qt::test
