#include "platform/qt/hold_gesture.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

namespace corvantis::platform::qt {

HoldTimer::HoldTimer(std::function<void(QPoint)> held) : held_(std::move(held)) {
  timer_.setSingleShot(true);
  timer_.setInterval(kHoldMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { held_(start_); });
}

void HoldTimer::press(QPoint p) {
  start_ = p;
  timer_.start();
}

bool HoldTimer::move(QPoint p) {
  if (!timer_.isActive()) {
    return false;
  }
  const QPoint d = p - start_;
  if (std::abs(d.x()) > kHoldSlackPx || std::abs(d.y()) > kHoldSlackPx) {
    timer_.stop();
  }
  return timer_.isActive();
}

void HoldTimer::cancel() { timer_.stop(); }

ListHoldFilter::ListHoldFilter(QWidget* viewport, std::function<void(QPoint)> held)
    : QObject(viewport), viewport_(viewport), held_(std::move(held)), timer_([this](QPoint p) {
        swallowing_ = true;
        held_(p);
      }) {
  viewport_->installEventFilter(this);
}

void ListHoldFilter::replayPress() {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(pressPos_), pressGlobal_, Qt::LeftButton,
                    Qt::LeftButton, pressModifiers_);
  replaying_ = true;
  QCoreApplication::sendEvent(viewport_, &press);
  replaying_ = false;
}

bool ListHoldFilter::eventFilter(QObject* watched, QEvent* event) {
  // A disabled list takes no input at all; filters would see it first.
  if (watched != viewport_ || replaying_ || !viewport_->isEnabled()) {
    return false;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        timer_.cancel();
        swallowing_ = true;
        held_(mouse->position().toPoint());
        return true;
      }
      if (mouse->button() != Qt::LeftButton) {
        return false;
      }
      // A quick second tap arrives as a double click; to the list it is one
      // more tap (a multiple-selection list toggles the row again).
      swallowing_ = false;
      pressPos_ = mouse->position().toPoint();
      pressGlobal_ = mouse->globalPosition();
      pressModifiers_ = mouse->modifiers();
      timer_.press(pressPos_);
      return true;
    }
    case QEvent::MouseMove: {
      if (swallowing_) {
        return true;
      }
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (timer_.pending() && !timer_.move(mouse->position().toPoint())) {
        replayPress();
      }
      return false;
    }
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (swallowing_) {
        if (!(mouse->buttons() & (Qt::LeftButton | Qt::RightButton))) {
          swallowing_ = false;
        }
        return true;
      }
      if (mouse->button() == Qt::LeftButton && timer_.pending()) {
        timer_.cancel();
        replayPress();
      }
      return false;
    }
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

}  // namespace corvantis::platform::qt
