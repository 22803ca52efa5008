// Tap-and-hold on lists and on the surface, and the popup menus it opens.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <memory>

#include "platform/qt/hold_gesture.h"
#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

QPoint rowCentre(QListWidget* list, int row) { return list->visualItemRect(list->item(row)).center(); }

// A point of the portrait test form that no control covers.
constexpr QPoint kBareSurface{120, 300};

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

QAction* actionNamed(QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->text() == text) return action;
  }
  return nullptr;
}

MenuSpec lapConfigMenu() { return MenuSpec{146, "Lap Config", {{32771, "Delete"}, {0, ""}, {32781, "Configure"}}}; }

TEST(TapAndHold, HeldPressOnAListIsTheGestureAndSelectsNothing) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1014));
    const QPoint at = rowCentre(list, 1);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(waitFor([&] { return !handler.holds.empty(); }));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(handler.holds.size(), 1u);
    EXPECT_EQ(handler.holds[0].id, 1014);
    EXPECT_EQ(handler.holds[0].p.x, at.x());
    EXPECT_EQ(handler.holds[0].p.y, at.y());
    EXPECT_EQ(dialog.selection(1014), -1);
  });
  EXPECT_TRUE(handler.commands.empty());
}

TEST(TapAndHold, AListWithoutAContextMenuTakesAHeldPressAsATap) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1040));
    const QPoint at = rowCentre(list, 1);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(dialog.selection(1040), 1);  // selected on the press, not after a wait
    QTest::qWait(kHoldMs + 200);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
  });
  EXPECT_TRUE(handler.holds.empty());
  ASSERT_EQ(handler.commands.size(), 1u);
  EXPECT_EQ(handler.commands[0], (Command{1040, Notification::SelectionChanged}));
}

TEST(TapAndHold, RightClickIsTheGestureAtOnce) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1015));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowCentre(list, 2));
    ASSERT_EQ(handler.holds.size(), 1u);
    EXPECT_EQ(handler.holds[0].id, 1015);
    EXPECT_FALSE(dialog.isSelected(1015, 2));  // the click did not toggle the row

    QTest::mouseClick(&dialog.window(), Qt::RightButton, {}, kBareSurface);
    ASSERT_EQ(handler.holds.size(), 2u);
    EXPECT_EQ(handler.holds[1].id, 0);
    EXPECT_EQ(handler.holds[1].p.x, kBareSurface.x());
    EXPECT_EQ(handler.holds[1].p.y, kBareSurface.y());

    // A disabled list takes no input: the click is the screen's own, at its
    // place on the screen.
    dialog.setEnabled(1015, false);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowCentre(list, 2));
    ASSERT_EQ(handler.holds.size(), 3u);
    EXPECT_EQ(handler.holds[2].id, 0);
    const QPoint onScreen = list->viewport()->mapTo(&dialog.window(), rowCentre(list, 2));
    EXPECT_EQ(handler.holds[2].p.x, onScreen.x());
    EXPECT_EQ(handler.holds[2].p.y, onScreen.y());
  });
  EXPECT_TRUE(handler.commands.empty());
}

TEST(TapAndHold, TheHoldsPointNamesTheRowUnderIt) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    for (const int id : {1014, 1015}) {
      auto* list = qobject_cast<QListWidget*>(dialog.control(id));
      ASSERT_GE(list->count(), 3);
      for (int row = 0; row < 3; ++row) {
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowCentre(list, row));
        ASSERT_FALSE(handler.holds.empty());
        EXPECT_EQ(dialog.itemAt(id, handler.holds.back().p), row) << id;
      }
      const QRect last = list->visualItemRect(list->item(list->count() - 1));
      if (last.bottom() + 4 < list->viewport()->height()) {
        EXPECT_EQ(dialog.itemAt(id, Point{last.center().x(), last.bottom() + 3}), -1);
      }
    }
    EXPECT_EQ(dialog.itemAt(1001, Point{1, 1}), -1);  // not a list
  });
}

TEST(TapAndHold, ShortTapOrMovedPressIsNoGesture) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1014));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 2));
    EXPECT_EQ(dialog.selection(1014), 2);

    // A drag on the surface pans the lap editor's map: no menu over it.
    QWidget* window = &dialog.window();
    QTest::mousePress(window, Qt::LeftButton, {}, kBareSurface);
    QTest::mouseMove(window, kBareSurface + QPoint(20, 0));
    QTest::mouseRelease(window, Qt::LeftButton, {}, kBareSurface + QPoint(20, 0));
    QTest::qWait(kHoldMs + 300);
  });
  EXPECT_TRUE(handler.holds.empty());
  ASSERT_EQ(handler.pointer.size(), 3u);
  EXPECT_EQ(handler.pointer[0], "down 120,300");
  EXPECT_EQ(handler.pointer[1], "move 140,300");
  EXPECT_EQ(handler.pointer[2], "up 140,300");
}

TEST(TapAndHold, HeldPressOnTheSurfaceFollowsThePointerDown) {
  QtWindowSystem windows;
  RecordingHandler handler;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    QTest::mousePress(&dialog.window(), Qt::LeftButton, {}, kBareSurface);
    EXPECT_TRUE(waitFor([&] { return !handler.holds.empty(); }));
    QTest::mouseRelease(&dialog.window(), Qt::LeftButton, {}, kBareSurface);
  });
  ASSERT_EQ(handler.holds.size(), 1u);
  EXPECT_EQ(handler.holds[0].id, 0);
  EXPECT_EQ(RecordingHandler::text(handler.holds[0].p), "120,300");
  ASSERT_FALSE(handler.pointer.empty());
  EXPECT_EQ(handler.pointer.front(), "down 120,300");
}

TEST(PopupMenu, ShowsItemsGreyedAndSeparatedAndAnswersTheChoice) {
  QtWindowSystem windows;
  RecordingHandler handler;
  std::vector<int> answers;
  QPoint menuAt;
  QPoint expectedAt;
  runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
    auto* list = qobject_cast<QListWidget*>(dialog.control(1014));
    handler.hold = [&](int id, Point p) {
      answers.push_back(dialog.popupMenu(lapConfigMenu(), id, p, {32771}));
    };
    expectedAt = list->viewport()->mapToGlobal(rowCentre(list, 0));

    whenPopupShows([&](QMenu& menu) {
      menuAt = menu.pos();
      const auto actions = menu.actions();
      ASSERT_EQ(actions.size(), 3);
      EXPECT_EQ(actions[0]->text(), "Delete");
      EXPECT_FALSE(actions[0]->isEnabled());
      EXPECT_TRUE(actions[1]->isSeparator());
      EXPECT_EQ(actions[2]->text(), "Configure");
      EXPECT_TRUE(actions[2]->isEnabled());
      // A greyed item cannot be chosen: the menu stays open.
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(actions[0]).center());
      EXPECT_TRUE(menu.isVisible());
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(actions[2]).center());
    });
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowCentre(list, 0));

    whenPopupShows([](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowCentre(list, 0));

    // On the surface, with nothing greyed.
    handler.hold = [&](int id, Point p) {
      answers.push_back(dialog.popupMenu(lapConfigMenu(), id, p, {}));
    };
    whenPopupShows([](QMenu& menu) {
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(actionNamed(menu, "Delete")).center());
    });
    QTest::mouseClick(&dialog.window(), Qt::RightButton, {}, kBareSurface);
  });
  EXPECT_EQ(answers, (std::vector<int>{32781, 0, 32771}));
  EXPECT_EQ(menuAt, expectedAt);  // its top-left corner at the held point
}

}  // namespace
}  // namespace corvantis::platform::qt::test
