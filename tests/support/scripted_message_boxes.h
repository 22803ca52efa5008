#pragma once
// Message boxes that show nothing: each call is recorded and answered from
// a script (Yes/No questions), or with the default answer when the script is
// used up (Ok for OK boxes, `defaultAnswer` for questions).
#include <deque>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace corvantis::testing {

class ScriptedMessageBoxes : public platform::MessageBoxes {
 public:
  struct Shown {
    std::string text;
    platform::MessageIcon icon;
    platform::MessageButtons buttons;
  };

  platform::MessageAnswer show(const std::string& text, platform::MessageIcon icon,
                               platform::MessageButtons buttons) override;

  std::deque<platform::MessageAnswer> answers;
  platform::MessageAnswer defaultAnswer = platform::MessageAnswer::No;
  std::vector<Shown> shown;

  // Texts of every box shown so far, in order.
  std::vector<std::string> texts() const;
};

}  // namespace corvantis::testing
