#pragma once
// The window system with no window, for the tests and the log analyzer.
//
// Modal runs are scripted by the caller: each runModal builds a
// HeadlessDialog from the layout (controls with their captions and items),
// calls the handler's onOpen, then takes the next script queued with
// pushModalScript and runs it with the dialog; in it the caller acts as the
// user (clicks, selections, typing, holds, pointer moves, timer ticks) and
// the screen ends itself through Dialog::end. A run with no script queued,
// or whose script returns before the dialog ended, ends with
// defaultModalResult() (2, the generic Cancel, unless set otherwise). Nested
// runs (a screen that opens another) take the next script in the queue, so
// scripts are consumed in the order the runs start. A script may also run
// any loop of its own (the analyzer's log replay) and end the dialog.
//
// Message boxes and popup menus are answered from queues (see
// ScriptedMessageBoxes and pushMenuAnswer) and every one shown is recorded.
// The periodic timer fires only when the caller says so.
#include <deque>
#include <functional>
#include <vector>

#include "platform/headless/headless_dialog.h"
#include "platform/headless/manual_timer.h"
#include "platform/headless/scripted_message_boxes.h"
#include "platform/window.h"

namespace corvantis::platform::headless {

using ModalScript = std::function<void(HeadlessDialog&)>;

// One finished modal run.
struct ModalRun {
  int resourceId = 0;
  int result = 0;
  bool endedByScreen = false;  // false: the default result was used
  int depth = 0;               // 0 for an outermost run
};

class HeadlessWindowSystem final : public WindowSystem {
 public:
  explicit HeadlessWindowSystem(Size screenSize = {240, 320}) : screenSize_(screenSize) {}

  // --- WindowSystem ---
  int runModal(const DialogLayout& layout, DialogHandler& handler) override;
  MessageBoxes& messageBoxes() override { return messageBoxes_; }
  PeriodicTimer& timer() override { return timer_; }
  Size screenSize() const override { return screenSize_; }
  void setQuitHandler(std::function<void()> handler) override { quitHandler_ = std::move(handler); }
  void endAllModal(int result) override;

  // --- Scripting ---
  void setScreenSize(Size size) { screenSize_ = size; }
  void pushModalScript(ModalScript script) { scripts_.push_back(std::move(script)); }
  size_t pendingModalScripts() const { return scripts_.size(); }
  void setDefaultModalResult(int result) { defaultResult_ = result; }
  int defaultModalResult() const { return defaultResult_; }
  // Answers of popup menus, in order: a command id, or 0 for "chose
  // nothing". With the queue empty a menu answers 0. A queued command that
  // the menu greys answers 0 too (a greyed item cannot be chosen); one that
  // the menu does not hold throws std::logic_error.
  void pushMenuAnswer(int commandId) { menuAnswers_.push_back(commandId); }
  size_t pendingMenuAnswers() const { return menuAnswers_.size(); }
  ScriptedMessageBoxes& scriptedMessageBoxes() { return messageBoxes_; }
  ManualTimer& manualTimer() { return timer_; }
  // Paint after each action that invalidated (default), or only on paint().
  void setAutoPaint(bool on) { autoPaint_ = on; }
  bool autoPaint() const { return autoPaint_; }

  // The user closes the window (or SIGINT/SIGTERM arrives): the quit
  // handler runs, or without one the innermost screen ends with Cancel (2).
  void requestQuit();

  // One timer tick, then the paints it caused; answers whether it ran.
  bool fireTimer();
  int fireTimer(int count);

  // --- Inspection ---
  const std::vector<ModalRun>& runs() const { return runs_; }
  // Every popup menu shown, in every dialog, in order.
  const std::vector<ShownMenu>& shownMenus() const { return menus_; }
  // The innermost open dialog, nullptr outside runs.
  HeadlessDialog* currentDialog() { return open_.empty() ? nullptr : open_.back(); }
  int openDepth() const { return static_cast<int>(open_.size()); }

  // Used by HeadlessDialog.
  int answerMenu(ShownMenu& shown, const MenuSpec& menu);
  bool isInnermost(const HeadlessDialog& dialog) const {
    return !open_.empty() && open_.back() == &dialog;
  }
  void paintPendingDialogs();

 private:
  Size screenSize_;
  std::deque<ModalScript> scripts_;
  std::deque<int> menuAnswers_;
  int defaultResult_ = 2;
  bool autoPaint_ = true;
  ScriptedMessageBoxes messageBoxes_;
  ManualTimer timer_;
  std::vector<HeadlessDialog*> open_;
  std::vector<ModalRun> runs_;
  std::vector<ShownMenu> menus_;
  std::function<void()> quitHandler_;
};

}  // namespace corvantis::platform::headless
