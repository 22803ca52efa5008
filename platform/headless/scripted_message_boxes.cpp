#include "platform/headless/scripted_message_boxes.h"

#include <stdexcept>

namespace corvantis::platform::headless {

namespace {

bool fits(MessageAnswer answer, MessageButtons buttons) {
  if (buttons == MessageButtons::Ok) return answer == MessageAnswer::Ok;
  return answer == MessageAnswer::Yes || answer == MessageAnswer::No;
}

}  // namespace

MessageAnswer ScriptedMessageBoxes::show(const std::string& text, MessageIcon icon,
                                         MessageButtons buttons) {
  ShownMessageBox box{text, icon, buttons, MessageAnswer::Ok, false};
  if (answers_.empty()) {
    box.answer = buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
  } else {
    const MessageAnswer answer = answers_.front();
    if (!fits(answer, buttons)) {
      throw std::logic_error("scripted answer does not fit the buttons of the message box \"" +
                             text + "\"");
    }
    answers_.pop_front();
    box.answer = answer;
    box.scripted = true;
  }
  shown_.push_back(box);
  return box.answer;
}

}  // namespace corvantis::platform::headless
