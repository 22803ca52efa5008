#pragma once
// Message boxes answered from a queue that the caller fills, each shown box
// remembered. With the queue empty a box gets the answer a user in a hurry
// gives that cannot lose data: OK for a failure, No for a question (only Yes
// proceeds).
#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace corvantis::platform::headless {

struct ShownMessageBox {
  std::string text;
  MessageIcon icon = MessageIcon::Error;
  MessageButtons buttons = MessageButtons::Ok;
  MessageAnswer answer = MessageAnswer::Ok;
  bool scripted = false;  // false when the default answer was given
};

class ScriptedMessageBoxes final : public MessageBoxes {
 public:
  // Throws std::logic_error when the next queued answer does not fit the
  // box's buttons (Yes to an OK box, OK to a question): the test expected
  // another box than the one shown.
  MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

  void pushAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  size_t pendingAnswers() const { return answers_.size(); }
  const std::vector<ShownMessageBox>& shown() const { return shown_; }
  void clearShown() { shown_.clear(); }

 private:
  std::deque<MessageAnswer> answers_;
  std::vector<ShownMessageBox> shown_;
};

}  // namespace corvantis::platform::headless
