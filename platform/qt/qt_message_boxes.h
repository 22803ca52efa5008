#pragma once
// Modal message boxes on QMessageBox, titled like every screen.
#include "platform/message_box.h"

namespace corvantis::platform::qt {

class QtMessageBoxes final : public MessageBoxes {
 public:
  MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
};

}  // namespace corvantis::platform::qt
