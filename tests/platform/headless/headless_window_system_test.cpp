// Scripted modal runs, message boxes, popup menus, the timer and painting.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/headless/headless_window_system.h"
#include "tests/platform/headless/recording_handler.h"

namespace corvantis::platform::headless {
namespace {

using testing::Received;
using testing::RecordingHandler;

DialogLayout layoutWithButton(int resourceId, int buttonId, int widthDu = 139, int heightDu = 156) {
  DialogLayout layout;
  layout.resourceId = resourceId;
  layout.title = "Corvantis v1.0";
  layout.widthDu = widthDu;
  layout.heightDu = heightDu;
  ControlSpec button;
  button.id = buttonId;
  button.kind = ControlKind::Button;
  button.caption = "Go";
  button.rect = {1, 1, 40, 20};
  layout.controls = {button};
  return layout;
}

const MenuSpec kPlace{145,
                      "Place",
                      {{32778, "Set Start/Finish Line"}, {32779, "Set Split Time"}, {32780, "Remove Split Time"}}};

TEST(HeadlessWindowSystem, RunOpensRunsTheScriptAndDestroys) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  handler.commandAction = [](Dialog& d, int id, Notification) { d.end(id == 1012 ? 3 : 8); };
  windows.pushModalScript([](HeadlessDialog& d) { d.userClick(1012); });
  EXPECT_EQ(windows.runModal(layoutWithButton(132, 1012), handler), 3);
  ASSERT_EQ(windows.runs().size(), 1u);
  EXPECT_EQ(windows.runs()[0].resourceId, 132);
  EXPECT_TRUE(windows.runs()[0].endedByScreen);
  EXPECT_EQ(handler.received.front().what, "open");
  EXPECT_EQ(handler.received.back().what, "destroy");
  EXPECT_EQ(windows.currentDialog(), nullptr);
}

TEST(HeadlessWindowSystem, RunWithoutScriptOrUnfinishedScriptEndsWithTheDefault) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  EXPECT_EQ(windows.runModal(layoutWithButton(132, 1012), handler), 2);
  windows.setDefaultModalResult(8);
  windows.pushModalScript([](HeadlessDialog&) {});
  EXPECT_EQ(windows.runModal(layoutWithButton(132, 1012), handler), 8);
  ASSERT_EQ(windows.runs().size(), 2u);
  EXPECT_FALSE(windows.runs()[0].endedByScreen);
  EXPECT_FALSE(windows.runs()[1].endedByScreen);
}

TEST(HeadlessWindowSystem, NestedRunsConsumeScriptsInOrder) {
  HeadlessWindowSystem windows;
  RecordingHandler outer;
  RecordingHandler inner;
  HeadlessDialog* outerDialog = nullptr;
  int innerResult = 0;
  // The outer screen opens the inner one when its button is pressed.
  outer.commandAction = [&](Dialog&, int, Notification) {
    innerResult = windows.runModal(layoutWithButton(142, 1), inner);
  };
  inner.commandAction = [](Dialog& d, int id, Notification) { d.end(id); };
  windows.pushModalScript([&](HeadlessDialog& d) {
    outerDialog = &d;
    d.userClick(1023);
    d.end(1);
  });
  windows.pushModalScript([&](HeadlessDialog& d) {
    EXPECT_EQ(windows.currentDialog(), &d);
    EXPECT_EQ(windows.openDepth(), 2);
    // The screen underneath cannot be reached while the inner one runs.
    EXPECT_FALSE(outerDialog->userClick(1023));
    d.userClick(1);
  });
  EXPECT_EQ(windows.runModal(layoutWithButton(141, 1023), outer), 1);
  EXPECT_EQ(innerResult, 1);
  EXPECT_EQ(windows.pendingModalScripts(), 0u);
  ASSERT_EQ(windows.runs().size(), 2u);
  EXPECT_EQ(windows.runs()[0].resourceId, 142);  // finished first
  EXPECT_EQ(windows.runs()[0].depth, 1);
  EXPECT_EQ(windows.runs()[1].resourceId, 141);
  EXPECT_EQ(windows.runs()[1].depth, 0);
}

TEST(HeadlessWindowSystem, ThrowingScriptLeavesNoDialogOpen) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  windows.pushModalScript([](HeadlessDialog&) { throw std::runtime_error("test failure"); });
  EXPECT_THROW(windows.runModal(layoutWithButton(132, 1012), handler), std::runtime_error);
  EXPECT_EQ(windows.openDepth(), 0);
  EXPECT_EQ(windows.runModal(layoutWithButton(132, 1012), handler), 2);
}

TEST(HeadlessWindowSystem, QuitEndsEveryRunOrCallsTheHandler) {
  HeadlessWindowSystem windows;
  RecordingHandler outer;
  RecordingHandler inner;
  int innerResult = 0;
  outer.commandAction = [&](Dialog&, int, Notification) {
    innerResult = windows.runModal(layoutWithButton(142, 1), inner);
  };
  // Closing the window with no quit handler cancels the innermost screen.
  windows.pushModalScript([](HeadlessDialog& d) {
    d.userClick(1023);
    EXPECT_FALSE(d.ended());
    d.end(1);
  });
  windows.pushModalScript([&](HeadlessDialog&) { windows.requestQuit(); });
  EXPECT_EQ(windows.runModal(layoutWithButton(141, 1023), outer), 1);
  EXPECT_EQ(innerResult, 2);

  // With a handler, the shell decides: here it ends every screen with Exit.
  windows.setQuitHandler([&] { windows.endAllModal(8); });
  windows.pushModalScript([](HeadlessDialog& d) {
    d.userClick(1023);
    EXPECT_TRUE(d.ended());
    EXPECT_FALSE(d.userClick(1023));
  });
  windows.pushModalScript([&](HeadlessDialog&) { windows.requestQuit(); });
  EXPECT_EQ(windows.runModal(layoutWithButton(141, 1023), outer), 8);
  EXPECT_EQ(innerResult, 8);
  EXPECT_TRUE(windows.runs().back().endedByScreen);
}

TEST(HeadlessWindowSystem, MessageBoxesAnswerFromTheQueueThenSafely) {
  HeadlessWindowSystem windows;
  MessageBoxes& boxes = windows.messageBoxes();
  windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
  EXPECT_EQ(boxes.show("Delete?", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::Yes);
  // Empty queue: No to a question, OK to a failure.
  EXPECT_EQ(boxes.show("Again?", MessageIcon::Question, MessageButtons::YesNo), MessageAnswer::No);
  EXPECT_EQ(boxes.show("You must name the lap", MessageIcon::Error, MessageButtons::Ok), MessageAnswer::Ok);
  const auto& shown = windows.scriptedMessageBoxes().shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Delete?");
  EXPECT_TRUE(shown[0].scripted);
  EXPECT_FALSE(shown[1].scripted);
  EXPECT_EQ(shown[2].icon, MessageIcon::Error);
  EXPECT_EQ(shown[2].buttons, MessageButtons::Ok);
  // An answer meant for a question cannot close an OK box.
  windows.scriptedMessageBoxes().pushAnswer(MessageAnswer::Yes);
  EXPECT_THROW(boxes.show("failed", MessageIcon::Stop, MessageButtons::Ok), std::logic_error);
}

TEST(HeadlessWindowSystem, PopupMenusAnswerFromTheQueue) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  windows.pushMenuAnswer(32779);
  windows.pushMenuAnswer(32779);  // greyed the second time: chooses nothing
  windows.pushMenuAnswer(4711);   // not in the menu
  windows.pushModalScript([&](HeadlessDialog& d) {
    EXPECT_EQ(d.popupMenu(kPlace, 0, {40, 90}, {32780}), 32779);
    EXPECT_EQ(d.popupMenu(kPlace, 0, {41, 91}, {32779}), 0);
    EXPECT_THROW(d.popupMenu(kPlace, 0, {41, 91}, {}), std::logic_error);
    EXPECT_EQ(d.popupMenu(kPlace, 1, {1, 2}, {}), 0);  // queue empty
    ASSERT_EQ(d.shownMenus().size(), 3u);
    EXPECT_EQ(d.shownMenus()[0].title, "Place");
    EXPECT_EQ(d.shownMenus()[0].greyed, std::vector<int>{32780});
    EXPECT_EQ(d.shownMenus()[1].at.x, 41);
    EXPECT_EQ(d.shownMenus()[2].controlId, 1);
    EXPECT_THROW(d.popupMenu(kPlace, 4711, {0, 0}, {}), std::out_of_range);
    d.end(1);
  });
  windows.runModal(layoutWithButton(142, 1), handler);
  EXPECT_EQ(windows.shownMenus().size(), 3u);
  EXPECT_EQ(windows.pendingMenuAnswers(), 0u);
}

TEST(HeadlessWindowSystem, TimerFiresOnlyWhileRunning) {
  HeadlessWindowSystem windows;
  PeriodicTimer& timer = windows.timer();
  int ticks = 0;
  EXPECT_FALSE(windows.fireTimer());
  timer.start(100, [&] {
    if (++ticks == 3) windows.timer().stop();  // a handler may stop its own timer
  });
  EXPECT_TRUE(timer.running());
  EXPECT_EQ(windows.fireTimer(10), 3);
  EXPECT_FALSE(timer.running());
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(windows.manualTimer().periodMs(), 100u);
  ASSERT_EQ(windows.manualTimer().events().size(), 2u);
  EXPECT_TRUE(windows.manualTimer().events()[0].started);
  EXPECT_FALSE(windows.manualTimer().events()[1].started);
}

TEST(HeadlessWindowSystem, TimerTicksInsideNestedRunsAndRepaints) {
  HeadlessWindowSystem windows;
  RecordingHandler handler;
  Dialog* open = nullptr;
  handler.openAction = [&](Dialog& d) { open = &d; };
  int ticks = 0;
  windows.timer().start(100, [&] {
    ++ticks;
    if (open != nullptr && ticks == 2) open->invalidate();
  });
  windows.pushModalScript([&](HeadlessDialog& d) {
    EXPECT_EQ(d.paints(), 1);  // painted when shown
    d.fireTimer();
    EXPECT_EQ(d.paints(), 1);  // nothing invalidated
    d.fireTimer();
    EXPECT_EQ(d.paints(), 2);
    d.end(1);
  });
  windows.runModal(layoutWithButton(141, 1), handler);
  EXPECT_EQ(ticks, 2);
}

TEST(HeadlessWindowSystem, WithoutAutoPaintOnlyPaintPaints) {
  HeadlessWindowSystem windows;
  windows.setAutoPaint(false);
  RecordingHandler handler;
  handler.commandAction = [](Dialog& d, int, Notification) { d.invalidate(); };
  windows.pushModalScript([](HeadlessDialog& d) {
    d.userClick(1);
    EXPECT_EQ(d.paints(), 0);
    EXPECT_EQ(d.invalidations(), 1);
    d.paint();
    EXPECT_EQ(d.paints(), 1);
    d.end(1);
  });
  windows.runModal(layoutWithButton(141, 1), handler);
}

TEST(HeadlessWindowSystem, LandscapeFollowsTheFormAndScreenSizeTheCaller) {
  HeadlessWindowSystem windows({320, 240});
  EXPECT_EQ(windows.screenSize().width, 320);
  windows.setScreenSize({240, 320});
  EXPECT_EQ(windows.screenSize().height, 320);
  RecordingHandler handler;
  bool landscape = false;
  windows.pushModalScript([&](HeadlessDialog& d) { landscape = d.landscape(); });
  windows.runModal(layoutWithButton(149, 1012, 184, 107), handler);
  EXPECT_TRUE(landscape);
}

}  // namespace
}  // namespace corvantis::platform::headless
