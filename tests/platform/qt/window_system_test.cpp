// Modal runs and their endings, message boxes, the periodic timer and the
// window's size and full-screen request.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/platform/qt/qt_test_support.h"

namespace corvantis::platform::qt::test {
namespace {

DialogLayout smallLayout(int resourceId) {
  DialogLayout layout = everyKindLayout(false);
  layout.resourceId = resourceId;
  return layout;
}

TEST(ModalRun, EscapeIsTheScreensCancel) {
  QtWindowSystem windows;
  RecordingHandler handler;
  const int result = runWith(windows, smallLayout(1), handler, [](QtDialog& dialog) {
    QTest::keyClick(&dialog.window(), Qt::Key_Escape);
  });
  EXPECT_EQ(result, 2);
  ASSERT_EQ(handler.commands.size(), 1u);
  EXPECT_EQ(handler.commands[0], (Command{2, Notification::Clicked}));
  EXPECT_EQ(handler.destroyed, 1);
}

// Escape is no Cancel where the screen has its own way out (the main menu's
// Exit); and a held key's repeats never close a screen, so holding Escape
// closes one screen, not the one below it as well.
TEST(ModalRun, EscapeWithoutCancelAndRepeatedKeysCloseNothing) {
  struct Case {
    const char* name;
    bool escapeCancels;
    bool autoRepeat;
    Qt::Key key;
  };
  const Case cases[] = {
      {"Escape where it is no Cancel", false, false, Qt::Key_Escape},
      {"repeated Escape", true, true, Qt::Key_Escape},
      {"repeated Return", true, true, Qt::Key_Return},
      {"repeated Enter", true, true, Qt::Key_Enter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QtWindowSystem windows;
    RecordingHandler handler;
    DialogLayout layout = smallLayout(1);
    layout.escapeCancels = c.escapeCancels;
    const int result = runWith(windows, layout, handler, [&](QtDialog& dialog) {
      for (int i = 0; i < 3; ++i) {
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, QString(), c.autoRepeat);
        QApplication::sendEvent(&dialog.window(), &press);
      }
      QApplication::processEvents();
    });
    EXPECT_EQ(result, 99) << "the screen stayed";
    EXPECT_TRUE(handler.commands.empty());
  }
}

// Enter, Return and the keypad's Enter press the focused button, as Space
// does, not the screen's default button; held, they press it once.
TEST(ModalRun, EnterPressesTheFocusedButton) {
  struct Case {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  };
  const Case cases[] = {
      {"Return", Qt::Key_Return, Qt::NoModifier},
      {"Enter", Qt::Key_Enter, Qt::NoModifier},
      {"the keypad's Enter", Qt::Key_Enter, Qt::KeypadModifier},
      {"Space", Qt::Key_Space, Qt::NoModifier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QtWindowSystem windows;
    RecordingHandler handler;
    const int result = runWith(windows, smallLayout(1), handler, [&](QtDialog& dialog) {
      dialog.control(1012)->setFocus();
      QTest::keyClick(dialog.control(1012), c.key, c.modifiers);
      for (int i = 0; i < 3; ++i) {  // the key held down
        QKeyEvent repeat(QEvent::KeyPress, c.key, c.modifiers, QString(), true);
        QApplication::sendEvent(dialog.control(1012), &repeat);
      }
      QApplication::processEvents();
    });
    EXPECT_EQ(result, 99) << "the default button was not pressed";
    EXPECT_EQ(handler.commands, (std::vector<Command>{{1012, Notification::Clicked}}));
  }
}

TEST(ModalRun, AScreenMayAnswerCancelItself) {
  QtWindowSystem windows;
  RecordingHandler handler;
  Dialog* shown = nullptr;
  handler.open = [&](Dialog& d) { shown = &d; };
  handler.command = [&](int id, Notification) {
    if (id == 2) shown->end(7);
  };
  EXPECT_EQ(runWith(windows, smallLayout(1), handler,
                    [](QtDialog& dialog) { QTest::keyClick(&dialog.window(), Qt::Key_Escape); }),
            7);
}

TEST(ModalRun, ButtonsEndOnlyWhenTheScreenSaysSo) {
  QtWindowSystem windows;
  RecordingHandler handler;
  Dialog* shown = nullptr;
  handler.open = [&](Dialog& d) { shown = &d; };
  int okClicks = 0;
  handler.command = [&](int id, Notification) {
    // Like the lap editor's OK with an empty name: stay open the first time.
    if (id == 1 && ++okClicks == 2) shown->end(1);
  };
  const int result = runWith(windows, smallLayout(1), handler, [&](QtDialog& dialog) {
    QTest::mouseClick(dialog.control(1), Qt::LeftButton);
    EXPECT_TRUE(dialog.window().isVisible());
    // Enter in a field presses the default button, as a click does.
    dialog.control(1030)->setFocus();
    QTest::keyClick(dialog.control(1030), Qt::Key_Return);
    EXPECT_FALSE(dialog.window().isVisible());
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(handler.commands.size(), 2u);
}

TEST(ModalRun, EndedWhileOpeningNeverShows) {
  QtWindowSystem windows;
  RecordingHandler handler;
  handler.open = [](Dialog& d) { d.end(3); };
  bool hookCalled = false;
  windows.setAfterOpenHook([&](Dialog&) { hookCalled = true; });
  EXPECT_EQ(windows.runModal(smallLayout(1), handler), 3);
  EXPECT_FALSE(hookCalled);
  EXPECT_EQ(handler.destroyed, 1);
  EXPECT_EQ(handler.paints, 0);
}

TEST(ModalRun, CloseButtonIsCancelOrTheQuitHandler) {
  QtWindowSystem windows;
  RecordingHandler plain;
  EXPECT_EQ(runWith(windows, smallLayout(1), plain, [](QtDialog& dialog) { dialog.window().close(); }), 2);

  int quits = 0;
  windows.setQuitHandler([&] {
    ++quits;
    windows.endAllModal(8);
  });
  RecordingHandler handler;
  EXPECT_EQ(runWith(windows, smallLayout(1), handler, [](QtDialog& dialog) { dialog.window().close(); }), 8);
  EXPECT_EQ(quits, 1);
  EXPECT_TRUE(handler.commands.empty());  // quitting is no Cancel click
}

TEST(ModalRun, EndAllModalEndsNestedScreensAndAnOpenQuestion) {
  QtWindowSystem windows;
  RecordingHandler outer;
  RecordingHandler inner;
  int innerResult = -1;
  MessageAnswer answer = MessageAnswer::Yes;
  windows.setAfterOpenHook([&](Dialog& dialog) {
    if (windows.frontDialog() == &static_cast<QtDialog&>(dialog) && dialog.text(1030) == "outer") {
      innerResult = windows.runModal(smallLayout(2), inner);
      return;
    }
    // The inner screen asks a question; the quit comes while it is open.
    QTimer::singleShot(50, [&] { windows.endAllModal(8); });
    answer = windows.messageBoxes().show("Delete selected lap?", MessageIcon::Question, MessageButtons::YesNo);
  });
  outer.open = [](Dialog& d) { d.setText(1030, "outer"); };
  EXPECT_EQ(windows.runModal(smallLayout(1), outer), 8);
  EXPECT_EQ(innerResult, 8);
  EXPECT_EQ(answer, MessageAnswer::No);
  EXPECT_EQ(windows.frontDialog(), nullptr);
}

// Answers the next message box when it shows, after noting what it showed.
struct BoxSeen {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

void answerNextBox(BoxSeen& seen, std::function<void(QMessageBox&)> act) {
  auto* poll = new QTimer(QApplication::instance());
  QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, act = std::move(act)] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    seen = BoxSeen{box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    act(*box);
  });
  poll->start(10);
}

TEST(MessageBoxes, IconsButtonsTitleAndAnswers) {
  QtWindowSystem windows;
  struct Case {
    MessageIcon icon;
    MessageButtons buttons;
    QMessageBox::StandardButton press;  // NoButton: Escape
    QMessageBox::Icon shownIcon;
    MessageAnswer answer;
  };
  const Case cases[] = {
      {MessageIcon::Error, MessageButtons::Ok, QMessageBox::Ok, QMessageBox::Critical, MessageAnswer::Ok},
      {MessageIcon::Stop, MessageButtons::Ok, QMessageBox::NoButton, QMessageBox::Critical, MessageAnswer::Ok},
      {MessageIcon::Information, MessageButtons::Ok, QMessageBox::Ok, QMessageBox::Information, MessageAnswer::Ok},
      {MessageIcon::Question, MessageButtons::YesNo, QMessageBox::Yes, QMessageBox::Question, MessageAnswer::Yes},
      {MessageIcon::Question, MessageButtons::YesNo, QMessageBox::No, QMessageBox::Question, MessageAnswer::No},
      {MessageIcon::Question, MessageButtons::YesNo, QMessageBox::NoButton, QMessageBox::Question, MessageAnswer::No},
  };
  for (const Case& c : cases) {
    BoxSeen seen;
    answerNextBox(seen, [&c](QMessageBox& box) {
      if (c.press == QMessageBox::NoButton) {
        QTest::keyClick(&box, Qt::Key_Escape);
      } else {
        QTest::mouseClick(box.button(c.press), Qt::LeftButton);
      }
    });
    const MessageAnswer answer = windows.messageBoxes().show("Unable to open port COM6:", c.icon, c.buttons);
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(seen.title, "Corvantis v1.0");
    EXPECT_EQ(seen.text, "Unable to open port COM6:");
    EXPECT_EQ(seen.icon, c.shownIcon);
    EXPECT_EQ(seen.buttons, c.buttons == MessageButtons::Ok
                                ? QMessageBox::StandardButtons(QMessageBox::Ok)
                                : QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
  }
}

TEST(PeriodicTimer, TicksInsideModalScreensAndMessageBoxes) {
  QtWindowSystem windows;
  PeriodicTimer& timer = windows.timer();
  int ticks = 0;
  timer.start(10, [&] { ++ticks; });
  EXPECT_TRUE(timer.running());
  RecordingHandler handler;
  int ticksInBox = -1;
  runWith(windows, smallLayout(1), handler, [&](QtDialog&) {
    EXPECT_TRUE(waitFor([&] { return ticks >= 3; }));
    BoxSeen seen;
    answerNextBox(seen, [&](QMessageBox& box) {
      const int before = ticks;
      waitFor([&] { return ticks >= before + 3; });
      ticksInBox = ticks - before;
      QTest::mouseClick(box.button(QMessageBox::Ok), Qt::LeftButton);
    });
    windows.messageBoxes().show("GPS Device Error", MessageIcon::Error, MessageButtons::Ok);
  });
  EXPECT_GE(ticksInBox, 3);
  timer.stop();
  EXPECT_FALSE(timer.running());
  const int stoppedAt = ticks;
  QTest::qWait(50);
  EXPECT_EQ(ticks, stoppedAt);

  // A handler may stop its own timer.
  int selfStopping = 0;
  timer.start(5, [&] {
    if (++selfStopping == 2) timer.stop();
  });
  EXPECT_TRUE(waitFor([&] { return selfStopping >= 2; }));
  QTest::qWait(30);
  EXPECT_EQ(selfStopping, 2);
  EXPECT_FALSE(timer.running());
}

TEST(Window, HandheldSizeUnlessFullScreenIsAsked) {
  {
    QtWindowSystem windows;
    RecordingHandler handler;
    handler.open = [](Dialog& d) { d.requestFullScreen(); };
    runWith(windows, everyKindLayout(true), handler, [](QtDialog& dialog) {
      EXPECT_FALSE(dialog.window().windowState() & Qt::WindowFullScreen);
      EXPECT_EQ(dialog.window().size(), QSize(320, 240));
    });
  }
  {
    QtWindowSystem windows(QtWindowOptions{std::nullopt, true});
    RecordingHandler handler;
    handler.open = [](Dialog& d) { d.requestFullScreen(); };
    Size surfaceSize;
    runWith(windows, everyKindLayout(false), handler, [&](QtDialog& dialog) {
      EXPECT_TRUE(dialog.window().windowState() & Qt::WindowFullScreen);
      waitFor([&] { return dialog.window().width() != 240; });
      surfaceSize = Size{dialog.qtSurface().width(), dialog.qtSurface().height()};
      EXPECT_EQ(surfaceSize.width, dialog.window().width());
      EXPECT_EQ(surfaceSize.height, dialog.window().height());
    });
  }
}

TEST(Window, ScreenSizeFollowsAForcedOrientation) {
  EXPECT_EQ(QtWindowSystem(QtWindowOptions{true, false}).screenSize().width, 320);
  EXPECT_EQ(QtWindowSystem(QtWindowOptions{false, false}).screenSize().width, 240);
  const Size screen = QtWindowSystem().screenSize();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  EXPECT_FALSE(applyScaleFactor(2));  // too late: the application exists
}

}  // namespace
}  // namespace corvantis::platform::qt::test
