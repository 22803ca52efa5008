#pragma once
// Modal message boxes: failures with an error icon and OK, questions with a
// question icon and Yes/No (only Yes proceeds). Title "Corvantis v1.0".
#include <string>

namespace corvantis::platform {

enum class MessageIcon { Error, Question, Stop, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) = 0;
};

}  // namespace corvantis::platform
