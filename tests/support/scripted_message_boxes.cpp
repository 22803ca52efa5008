#include "tests/support/scripted_message_boxes.h"

namespace corvantis::testing {

platform::MessageAnswer ScriptedMessageBoxes::show(const std::string& text, platform::MessageIcon icon,
                                                   platform::MessageButtons buttons) {
  shown.push_back({text, icon, buttons});
  if (buttons == platform::MessageButtons::Ok) return platform::MessageAnswer::Ok;
  if (answers.empty()) return defaultAnswer;
  const platform::MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::vector<std::string> ScriptedMessageBoxes::texts() const {
  std::vector<std::string> result;
  for (const Shown& s : shown) result.push_back(s.text);
  return result;
}

}  // namespace corvantis::testing
