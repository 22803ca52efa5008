#pragma once
// Modal message boxes on QMessageBox, titled like every screen.
#include <functional>
#include <string>

#include "platform/message_box.h"

namespace corvantis::platform::qt {

// The one line a message box also writes to standard error: "corvantis: "
// and its text with line breaks as spaces.
std::string messageLine(const std::string& text);

class QtMessageBoxes final : public MessageBoxes {
 public:
  MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
  // Runs `whenShown` once the next box is showing, then closes that box as
  // its Escape would (for pictures of it).
  void setShownHook(std::function<void()> whenShown) { shownHook_ = std::move(whenShown); }

 private:
  std::function<void()> shownHook_;
};

}  // namespace corvantis::platform::qt
