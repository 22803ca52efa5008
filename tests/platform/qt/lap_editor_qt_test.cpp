// The lap editor on real Qt widgets with real mouse events: a drag pans the
// map, a right click opens the "Place" menu with the right items greyed, a
// wheel notch zooms, and the name field counts characters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <functional>

#include "laps/lap_editor_screen.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_window_system.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_port.h"

namespace corvantis::platform::qt::test {
namespace {

using corvantis::testing::FakeClock;
using corvantis::testing::FakeSerialPort;
using E = LapEditorScreen;

// A loop of 40 samples round an ellipse, about 430 m by 450 m.
void recordLoop(FixHistory& history) {
  history.count = 40;
  for (int i = 0; i < 40; ++i) {
    const double a = 2.0 * M_PI * i / 40;
    history.samples[static_cast<size_t>(i)].longitude = 10.0 + 0.003 * std::cos(a);
    history.samples[static_cast<size_t>(i)].latitude = 50.0 + 0.002 * std::sin(a);
  }
}

struct QtEditorHarness {
  QtEditorHarness() { recordLoop(ctx.gps.history); }

  // Shows the editor; body runs inside its modal loop with the window shown.
  void show(const std::function<void(QtDialog&)>& body) {
    windows.setAfterOpenHook([&](Dialog& dialog) {
      auto& qtDialog = static_cast<QtDialog&>(dialog);
      EXPECT_TRUE(QTest::qWaitForWindowExposed(&qtDialog.window()));
      body(qtDialog);
      dialog.end(E::kDiscard);
    });
    editor.showModal();
    windows.setAfterOpenHook({});
  }
  QPoint pixelOf(const TrackPoint& p) const {
    const Point at = editor.map().project(p);
    return {at.x, at.y};
  }
  QPoint pixelOfSample(int i) const {
    const FixSample& s = ctx.gps.history.samples[static_cast<size_t>(i)];
    return pixelOf({s.longitude, s.latitude});
  }

  QtWindowSystem windows{QtWindowOptions{false, false}};
  FakeClock clock;
  FakeSerialPort port;
  AppContext ctx{windows, clock, port};
  LapEditorScreen editor{ctx, -1};
};

// Acts on the next popup menu as soon as it shows.
void whenPopupShows(std::function<void(QMenu&)> act) {
  auto* poll = new QTimer(QApplication::instance());
  QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*menu);
    }
  });
  poll->start(10);
}

QAction* actionNamed(QMenu& menu, const char* text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == QString::fromUtf8(text)) return action;
  }
  return nullptr;
}

bool waitFor(const std::function<bool()>& predicate) { return QTest::qWaitFor(predicate, 5000); }

QRgb colourAt(QtDialog& dialog, QPoint p) {
  const QImage image = dialog.render();
  const qreal ratio = image.devicePixelRatio();
  return image.pixel(static_cast<int>(p.x() * ratio), static_cast<int>(p.y() * ratio));
}

// Whether the start/finish marker's green shows within a few pixels of p
// (its centre carries the white "F").
bool startFinishNear(QtDialog& dialog, QPoint p) {
  const QImage image = dialog.render();
  const qreal ratio = image.devicePixelRatio();
  for (int dy = -6; dy <= 6; ++dy) {
    for (int dx = -6; dx <= 6; ++dx) {
      const int x = static_cast<int>((p.x() + dx) * ratio);
      const int y = static_cast<int>((p.y() + dy) * ratio);
      if (image.valid(x, y) && image.pixel(x, y) == qRgb(0, 255, 0)) return true;
    }
  }
  return false;
}

TEST(LapEditorQt, ADragMovesTheMapWithThePointer) {
  QtEditorHarness h;
  h.show([&](QtDialog& dialog) {
    QWidget* window = &dialog.window();
    const QPoint before = h.pixelOfSample(0);
    EXPECT_TRUE(startFinishNear(dialog, before));
    const QPoint start(90, 150);
    QTest::mousePress(window, Qt::LeftButton, {}, start);
    for (int step = 1; step <= 4; ++step) QTest::mouseMove(window, start + QPoint(-10 * step, 5 * step));
    QTest::mouseRelease(window, Qt::LeftButton, {}, start + QPoint(-40, 20));
    const QPoint after = h.pixelOfSample(0);
    EXPECT_NEAR(after.x() - before.x(), -40, 1);
    EXPECT_NEAR(after.y() - before.y(), 20, 1);
    // What shows follows: the marker is drawn where the sample now is.
    EXPECT_TRUE(waitFor([&] { return startFinishNear(dialog, after) && !startFinishNear(dialog, before); }));
    EXPECT_EQ(colourAt(dialog, {8, 56}), qRgb(200, 255, 200));  // the map's own green
  });
}

TEST(LapEditorQt, ARightClickOpensThePlaceMenuGreyedByWhatIsUnderIt) {
  QtEditorHarness h;
  h.show([&](QtDialog& dialog) {
    QWidget* window = &dialog.window();
    h.editor.addSplitLine({10.0, 50.002});  // the northernmost sample
    dialog.invalidate();
    const QPoint marker = h.pixelOf(h.editor.splitAnchors()[0]);
    ASSERT_TRUE(waitFor([&] { return colourAt(dialog, marker) != qRgb(200, 255, 200); }));

    struct Seen {
      bool setStart = false, setSplit = false, removeSplit = false;
    };
    Seen onMarker, awayFromIt;
    whenPopupShows([&](QMenu& menu) {
      EXPECT_EQ(menu.actions().size(), 3);
      onMarker = {actionNamed(menu, "Set Start/Finish Line")->isEnabled(), actionNamed(menu, "Set Split Time")->isEnabled(),
                  actionNamed(menu, "Remove Split Time")->isEnabled()};
      QTest::keyClick(&menu, Qt::Key_Escape);
    });
    QTest::mouseClick(window, Qt::RightButton, {}, marker + QPoint(3, -3));

    whenPopupShows([&](QMenu& menu) {
      awayFromIt = {actionNamed(menu, "Set Start/Finish Line")->isEnabled(),
                    actionNamed(menu, "Set Split Time")->isEnabled(), actionNamed(menu, "Remove Split Time")->isEnabled()};
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(actionNamed(menu, "Set Split Time")).center());
    });
    QTest::mouseClick(window, Qt::RightButton, {}, h.pixelOfSample(30));

    EXPECT_TRUE(onMarker.setStart);
    EXPECT_FALSE(onMarker.setSplit);
    EXPECT_TRUE(onMarker.removeSplit);
    EXPECT_TRUE(awayFromIt.setStart);
    EXPECT_TRUE(awayFromIt.setSplit);
    EXPECT_FALSE(awayFromIt.removeSplit);
    EXPECT_EQ(h.editor.splitLineCount(), 2);
  });
}

TEST(LapEditorQt, AWheelNotchZoomsOneStep) {
  QtEditorHarness h;
  h.show([&](QtDialog& dialog) {
    QWidget* window = &dialog.window();
    const auto turn = [&](int eighths) {
      const QPointF at(95, 134);
      QWheelEvent event(at, window->mapToGlobal(at), QPoint(), QPoint(0, eighths), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(window, &event);
    };
    turn(120);
    EXPECT_DOUBLE_EQ(h.editor.map().zoom(), 0.9 * 1.25);
    turn(60);  // half a notch: nothing yet
    EXPECT_DOUBLE_EQ(h.editor.map().zoom(), 0.9 * 1.25);
    turn(60);
    EXPECT_DOUBLE_EQ(h.editor.map().zoom(), 0.9 * 1.25 * 1.25);
    turn(-240);
    EXPECT_NEAR(h.editor.map().zoom(), 0.9, 1e-12);

    turn(120 * 14);
    EXPECT_DOUBLE_EQ(h.editor.map().zoom(), 20.0);

    // Zoomed in, the track runs past the map's edges: nothing of it shows
    // on the screen round the map.
    turn(-120 * 20);
    turn(120 * 3);
    const QImage image = dialog.render();
    const qreal ratio = image.devicePixelRatio();
    const MapArea a = E::kPortraitMap;
    int outside = 0;
    for (int x = 0; x < 240; ++x) {
      for (int y : {a.top - 2, a.top - 1, a.bottom(), a.bottom() + 1}) {
        if (image.pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio)) == qRgb(0, 0, 0)) ++outside;
      }
    }
    for (int y = a.top; y < a.bottom(); ++y) {
      for (int x : {a.left - 2, a.left - 1}) {
        if (image.pixel(static_cast<int>(x * ratio), static_cast<int>(y * ratio)) == qRgb(0, 0, 0)) ++outside;
      }
    }
    EXPECT_EQ(outside, 0);
  });
}

TEST(LapEditorQt, TheNameFieldCountsCharactersNotUtf16Units) {
  QtEditorHarness h;
  h.show([&](QtDialog& dialog) {
    auto* name = qobject_cast<QLineEdit*>(dialog.control(E::kNameField));
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(name->hasFocus());
    EXPECT_FALSE(dialog.isEnabled(E::kOk));
    QTest::keyClicks(name, QString(32, QChar('x')));
    EXPECT_EQ(name->text(), QString(31, QChar('x')));  // the 32nd key is refused
    EXPECT_TRUE(dialog.isEnabled(E::kOk));

    name->clear();
    const QString cjk = QString(31, QChar(0x8D5B));
    name->insert(cjk);
    EXPECT_EQ(name->text(), cjk);

    // 31 flags are 62 units: the field takes them all as characters, and
    // the screen keeps what the file can hold, 16 of them, none cut in half.
    name->clear();
    QString flags;
    for (int i = 0; i < 31; ++i) flags += QString::fromUtf8("\xF0\x9F\x8F\x81");
    name->insert(flags);
    EXPECT_EQ(name->text(), flags.left(32));
  });
}

}  // namespace
}  // namespace corvantis::platform::qt::test
