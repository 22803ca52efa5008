#include "platform/qt/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <string>

#include "platform/qt/qt_window_system.h"

namespace corvantis::platform::qt {

std::string messageLine(const std::string& text) {
  std::string line = "corvantis: ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

MessageAnswer QtMessageBoxes::show(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  // Also on standard error: a user who started the program from a terminal,
  // or without a visible window, still learns what happened.
  std::fprintf(stderr, "%s\n", messageLine(text).c_str());
  std::fflush(stderr);
  QMessageBox::Icon qIcon = QMessageBox::Critical;
  switch (icon) {
    case MessageIcon::Error:
    case MessageIcon::Stop: qIcon = QMessageBox::Critical; break;
    case MessageIcon::Question: qIcon = QMessageBox::Question; break;
    case MessageIcon::Information: qIcon = QMessageBox::Information; break;
  }
  const bool yesNo = buttons == MessageButtons::YesNo;
  // Owned by the screen that is showing, so that it stays in front of it.
  QMessageBox box(qIcon, QString::fromUtf8(kWindowTitle), QString::fromStdString(text),
                  yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  QApplication::activeModalWidget());
  if (yesNo) {
    box.setDefaultButton(QMessageBox::Yes);
    // Escape or closing the box is no: only Yes proceeds.
    box.setEscapeButton(QMessageBox::No);
  }
  if (shownHook_) {
    QTimer::singleShot(0, &box, [this, &box, yesNo] {
      const std::function<void()> hook = std::move(shownHook_);
      shownHook_ = nullptr;
      hook();
      box.done(yesNo ? QMessageBox::No : QMessageBox::Ok);
    });
  }
  const int answer = box.exec();
  if (!yesNo) {
    return MessageAnswer::Ok;
  }
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace corvantis::platform::qt
