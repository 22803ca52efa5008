#include "platform/headless/headless_window_system.h"

#include <algorithm>
#include <stdexcept>

namespace corvantis::platform::headless {

int HeadlessWindowSystem::runModal(const DialogLayout& layout, DialogHandler& handler) {
  // The run takes its script when it starts, before anything inside it can
  // start a nested run, so that scripts follow the order in which runs begin.
  ModalScript script;
  if (!scripts_.empty()) {
    script = std::move(scripts_.front());
    scripts_.pop_front();
  }

  HeadlessDialog dialog(*this, layout, handler);
  const int depth = openDepth();
  open_.push_back(&dialog);
  // Unwinds the stack of open dialogs also when a script or a handler throws.
  struct Pop {
    std::vector<HeadlessDialog*>& open;
    HeadlessDialog* dialog;
    ~Pop() {
      auto it = std::find(open.begin(), open.end(), dialog);
      if (it != open.end()) open.erase(it);
    }
  } pop{open_, &dialog};

  handler.onOpen(dialog);
  if (autoPaint_ && !dialog.ended()) dialog.paint();
  if (script) script(dialog);

  const bool endedByScreen = dialog.ended();
  if (!endedByScreen) dialog.end(defaultResult_);
  handler.onDestroy();
  dialog.detach();
  runs_.push_back({layout.resourceId, dialog.result(), endedByScreen, depth});
  return dialog.result();
}

int HeadlessWindowSystem::answerMenu(ShownMenu& shown, const MenuSpec& menu) {
  shown.answer = 0;
  shown.scripted = false;
  if (!menuAnswers_.empty()) {
    const int wanted = menuAnswers_.front();
    menuAnswers_.pop_front();
    shown.scripted = true;
    if (wanted != 0) {
      const bool held = std::any_of(menu.items.begin(), menu.items.end(), [wanted](const MenuItem& item) {
        return item.commandId != 0 && item.commandId == wanted;
      });
      if (!held) {
        throw std::logic_error("scripted menu answer " + std::to_string(wanted) + " is not in menu " +
                               std::to_string(menu.resourceId));
      }
      const bool greyed = std::find(shown.greyed.begin(), shown.greyed.end(), wanted) != shown.greyed.end();
      shown.answer = greyed ? 0 : wanted;
    }
  }
  menus_.push_back(shown);
  return shown.answer;
}

void HeadlessWindowSystem::paintPendingDialogs() {
  // Copied: a paint handler has no business opening dialogs, but a copy
  // keeps the walk safe if one does.
  const std::vector<HeadlessDialog*> open = open_;
  for (HeadlessDialog* dialog : open) dialog->paintIfPending();
}

void HeadlessWindowSystem::endAllModal(int result) {
  // Innermost first; each run returns once its script has returned, and a
  // script's further user actions on an ended dialog do nothing.
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) (*it)->end(result);
}

void HeadlessWindowSystem::requestQuit() {
  if (quitHandler_) {
    const std::function<void()> handler = quitHandler_;
    handler();
  } else if (!open_.empty()) {
    open_.back()->end(2);
  }
}

bool HeadlessWindowSystem::fireTimer() {
  const bool ran = timer_.fire();
  if (ran && autoPaint_) paintPendingDialogs();
  return ran;
}

int HeadlessWindowSystem::fireTimer(int count) {
  int ran = 0;
  for (int i = 0; i < count && fireTimer(); ++i) ++ran;
  return ran;
}

}  // namespace corvantis::platform::headless
