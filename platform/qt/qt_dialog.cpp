#include "platform/qt/qt_dialog.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/qt/dialog_units.h"
#include "platform/qt/qt_fonts.h"
#include "platform/qt/qt_window_system.h"

namespace corvantis::platform::qt {

namespace {

// The generic Cancel of a modal screen.
constexpr int kCancelId = 2;

Point toPoint(const QPointF& p) {
  return Point{static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

DialogWindow::DialogWindow(QtDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

void DialogWindow::reject() {
  // Escape: the generic Cancel, where the screen has it.
  if (owner_.escapeCancels_) owner_.cancel();
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The window stays until the screen ends; ending it hides it.
  event->ignore();
  if (!isVisible()) {
    return;
  }
  if (owner_.closeHandler_) {
    const std::function<void()> handler = owner_.closeHandler_;
    handler();
  } else {
    owner_.cancel();
  }
}

void DialogWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  owner_.paint(painter);
}

void DialogWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  owner_.resized();
}

void DialogWindow::mousePressEvent(QMouseEvent* event) { owner_.pointerPressed(event); }
void DialogWindow::mouseMoveEvent(QMouseEvent* event) { owner_.pointerMoved(event); }
void DialogWindow::mouseReleaseEvent(QMouseEvent* event) { owner_.pointerReleased(event); }
void DialogWindow::wheelEvent(QWheelEvent* event) { owner_.wheelTurned(event); }

QtDialog::QtDialog(const DialogLayout& layout, DialogHandler& handler, bool fullScreenAllowed,
                   QWidget* parent)
    : handler_(handler),
      landscape_(layout.widthDu > layout.heightDu),
      escapeCancels_(layout.escapeCancels),
      fullScreenAllowed_(fullScreenAllowed),
      window_(new DialogWindow(*this, parent)),
      surface_([this](const QRect& area) {
        // Drawing done by onPaint is shown by the paint that called it.
        if (!painting_) {
          window_->update(area.adjusted(-1, -1, 1, 1));
        }
      }),
      surfaceHold_([this](QPoint p) {
        if (!ended_) {
          handler_.onHold(0, Point{p.x(), p.y()});
        }
      }) {
  window_->setWindowTitle(QString::fromUtf8(layout.title.empty() ? kWindowTitle : layout.title.c_str()));
  window_->setModal(true);
  window_->setFont(toQFont(dialogFont()));
  // The handheld's dialogs are white; statics fill their boxes with it, the
  // surface is cleared to it.
  QPalette palette = window_->palette();
  const Rgb bg = QtSurface::background();
  palette.setColor(QPalette::Window, QColor(bg.r, bg.g, bg.b));
  window_->setPalette(palette);
  const Size client = clientSizeFor(layout);
  window_->setFixedSize(client.width, client.height);
  resized();
  for (const ControlSpec& entry : layout.controls) {
    buildControl(entry);
  }
}

QtDialog::~QtDialog() { delete window_; }

int QtDialog::run(const std::function<void(QtDialog&)>& afterOpen) {
  handler_.onOpen(*this);
  if (!ended_) {
    if (afterOpen) {
      // Queued, so that it runs inside the modal loop with the window shown.
      QTimer::singleShot(0, window_, [this, afterOpen] {
        if (!ended_) {
          afterOpen(*this);
        }
      });
    }
    running_ = true;
    window_->exec();
    running_ = false;
    if (!ended_) {
      // The loop ended without the screen's say (the application is being
      // torn down): that is the generic Cancel.
      ended_ = true;
      result_ = kCancelId;
    }
  }
  handler_.onDestroy();
  return result_;
}

QWidget* QtDialog::control(int id) const {
  const Control* c = find(id);
  return c != nullptr ? c->widget : nullptr;
}

const QtDialog::Control* QtDialog::find(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

QImage QtDialog::render() { return window_->grab().toImage(); }

void QtDialog::notify(int id, Notification what) {
  if (programmatic_ > 0 || ended_) {
    return;
  }
  handler_.onCommand(id, what);
}

void QtDialog::paint(QPainter& painter) {
  if (paintPending_) {
    paintPending_ = false;
    painting_ = true;
    surface_.beginPaint();
    handler_.onPaint(surface_);
    painting_ = false;
  }
  painter.drawImage(QPoint(0, 0), surface_.image());
}

void QtDialog::resized() {
  const int ratio = std::max(1, static_cast<int>(std::ceil(window_->devicePixelRatioF())));
  if (surface_.width() == window_->width() && surface_.height() == window_->height() &&
      surface_.image().devicePixelRatio() == ratio) {
    return;
  }
  surface_.resize(window_->width(), window_->height(), ratio);
  paintPending_ = true;
  window_->update();
}

void QtDialog::invalidate() {
  paintPending_ = true;
  window_->update();
}

void QtDialog::requestFullScreen() {
  if (!fullScreenAllowed_) {
    return;  // the window already has the handheld's size
  }
  window_->setMinimumSize(0, 0);
  window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  window_->setWindowState(window_->windowState() | Qt::WindowFullScreen);
}

void QtDialog::end(int result) {
  if (ended_) {
    return;
  }
  ended_ = true;
  result_ = result;
  surfaceHold_.cancel();
  if (running_) {
    window_->done(result);
  }
}

void QtDialog::cancel() {
  notify(kCancelId, Notification::Clicked);
  if (!ended_) {
    end(kCancelId);
  }
}

void QtDialog::pointerPressed(QMouseEvent* event) {
  const Point p = toPoint(event->position());
  if (event->button() == Qt::RightButton) {
    handler_.onHold(0, p);
    return;
  }
  if (event->button() != Qt::LeftButton) {
    return;
  }
  handler_.onPointerDown(p);
  if (!ended_) {
    surfaceHold_.press(QPoint(p.x, p.y));
  }
}

void QtDialog::pointerMoved(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    return;
  }
  const Point p = toPoint(event->position());
  surfaceHold_.move(QPoint(p.x, p.y));
  handler_.onPointerMove(p);
}

void QtDialog::pointerReleased(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    return;
  }
  surfaceHold_.cancel();
  handler_.onPointerUp(toPoint(event->position()));
}

void QtDialog::wheelTurned(QWheelEvent* event) {
  event->accept();
  if (ended_) {
    return;
  }
  // Qt counts in eighths of a degree; a notch of an ordinary wheel is 15
  // degrees (120). Smaller reports add up until they make a notch.
  constexpr int kNotch = 120;
  wheelEighths_ += event->angleDelta().y();
  const int notches = wheelEighths_ / kNotch;
  wheelEighths_ -= notches * kNotch;
  if (notches != 0) {
    handler_.onWheel(toPoint(event->position()), notches);
  }
}

int QtDialog::popupMenu(const MenuSpec& menu, int id, Point p, const std::vector<int>& greyed) {
  QWidget* anchor = window_;
  if (id != 0) {
    QWidget* widget = control(id);
    if (widget == nullptr) {
      return 0;
    }
    // A list's points are in its own client area, the part inside its frame.
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    anchor = area != nullptr ? area->viewport() : widget;
  }
  QMenu popup(window_);
  popup.setTitle(QString::fromStdString(menu.title));
  for (const MenuItem& item : menu.items) {
    if (item.commandId == 0) {
      popup.addSeparator();
      continue;
    }
    QAction* action = popup.addAction(QString::fromStdString(item.caption));
    action->setData(item.commandId);
    action->setEnabled(std::find(greyed.begin(), greyed.end(), item.commandId) == greyed.end());
  }
  const QAction* chosen = popup.exec(anchor->mapToGlobal(QPoint(p.x, p.y)));
  return chosen != nullptr ? chosen->data().toInt() : 0;
}

}  // namespace corvantis::platform::qt
