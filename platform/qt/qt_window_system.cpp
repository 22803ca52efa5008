#include "platform/qt/qt_window_system.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <stdexcept>
#include <vector>

#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_timer.h"

namespace corvantis::platform::qt {

bool applyScaleFactor(int factor) {
  if (QCoreApplication::instance() != nullptr || factor < 1 || factor > 8) {
    return false;
  }
  qputenv("QT_SCALE_FACTOR", QByteArray::number(factor));
  return true;
}

namespace {

// Keys a desktop user expects of the screens' buttons.
// - A held key repeats. Escape, Enter and Return close screens and message
//   boxes: the first press closes one, and its repeats must not go on to
//   close the screen below it (holding Escape on a timing screen ended the
//   whole program). Repeats of those keys are dropped before any widget sees
//   them.
// - Enter and Return (the keypad's Enter too) press the button that has the
//   focus, as Space does. Left to the dialog, they would press its default
//   button instead: Enter on a focused "Abort Lap" left the lap screen
//   through "Main Menu". In a field or a list they keep pressing the default
//   button.
class KeyFilter final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
      if (key->isAutoRepeat() && (key->key() == Qt::Key_Escape || enter)) {
        return true;
      }
      auto* button = qobject_cast<QPushButton*>(watched);
      if (enter && event->type() == QEvent::KeyPress && button != nullptr && button->hasFocus() &&
          button->isEnabled() && button->isVisible()) {
        button->click();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

struct QtWindowSystem::State {
  KeyFilter keys;
  QtWindowOptions options;
  QtMessageBoxes messageBoxes;
  QtPeriodicTimer timer;
  std::function<void(Dialog&)> afterOpen;
  std::function<void()> quit;
  // The screens showing, the front one last (a screen may open another).
  std::vector<QtDialog*> open;
};

QtWindowSystem::QtWindowSystem(QtWindowOptions options) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    throw std::logic_error("QtWindowSystem needs a QApplication");
  }
  state_ = std::make_unique<State>();
  state_->options = options;
  QCoreApplication::instance()->installEventFilter(&state_->keys);
}

QtWindowSystem::~QtWindowSystem() {
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeEventFilter(&state_->keys);
  }
}

int QtWindowSystem::runModal(const DialogLayout& layout, DialogHandler& handler) {
  QWidget* parent = state_->open.empty() ? nullptr : &state_->open.back()->window();
  QtDialog dialog(layout, handler, state_->options.fullScreen, parent);
  dialog.setCloseHandler([this] { requestQuit(); });
  state_->open.push_back(&dialog);
  // Taken out again however the run ends, so that no dangling screen is
  // ever photographed or parented to.
  struct Pop {
    std::vector<QtDialog*>& open;
    ~Pop() { open.pop_back(); }
  } pop{state_->open};
  const std::function<void(Dialog&)> hook = state_->afterOpen;
  if (!hook) {
    return dialog.run({});
  }
  return dialog.run([hook](QtDialog& d) { hook(d); });
}

MessageBoxes& QtWindowSystem::messageBoxes() { return state_->messageBoxes; }
PeriodicTimer& QtWindowSystem::timer() { return state_->timer; }

Size QtWindowSystem::screenSize() const {
  if (state_->options.landscape.has_value()) {
    return *state_->options.landscape ? Size{320, 240} : Size{240, 320};
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return Size{240, 320};
  }
  const QSize size = screen->size();
  return Size{size.width(), size.height()};
}

void QtWindowSystem::setQuitHandler(std::function<void()> handler) {
  state_->quit = std::move(handler);
}

void QtWindowSystem::requestQuit() {
  if (state_->quit) {
    const std::function<void()> quit = state_->quit;  // it may replace itself
    quit();
  } else if (!state_->open.empty()) {
    state_->open.back()->cancel();
  }
}

void QtWindowSystem::endAllModal(int result) {
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (!popup->close()) {
      break;
    }
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
      box->reject();
    }
  }
  const std::vector<QtDialog*> open = state_->open;
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    (*it)->end(result);
  }
}

void QtWindowSystem::setAfterOpenHook(std::function<void(Dialog&)> hook) {
  state_->afterOpen = std::move(hook);
}

QtDialog* QtWindowSystem::frontDialog() { return state_->open.empty() ? nullptr : state_->open.back(); }

bool QtWindowSystem::saveScreenshot(const std::string& pngPath) {
  QtDialog* dialog = frontDialog();
  if (dialog == nullptr) {
    return false;
  }
  return dialog->render().save(QString::fromStdString(pngPath), "PNG");
}

}  // namespace corvantis::platform::qt
