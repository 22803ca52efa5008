#pragma once
// Tap-and-hold: a press held still for about half a second, or a secondary
// (right) click, is the context-menu gesture.
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <functional>

class QWidget;

namespace corvantis::platform::qt {

inline constexpr int kHoldMs = 500;
// How far the pointer may wander, in pixels either way, and still be held.
inline constexpr int kHoldSlackPx = 4;

// Times one press: started on the press, cancelled when the pointer moves
// away or is released, fires `held` with the press point when the time is up.
class HoldTimer {
 public:
  explicit HoldTimer(std::function<void(QPoint)> held);
  void press(QPoint p);
  // Answers true while the press is still being timed after this move.
  bool move(QPoint p);
  void cancel();
  bool pending() const { return timer_.isActive(); }

 private:
  QTimer timer_;
  QPoint start_;
  std::function<void(QPoint)> held_;
};

// Gives a list control the gesture. The list sees no press until the
// gesture is decided: a press released or moved before the time is up
// reaches it then (and selects or toggles the row under it, as a tap does);
// a held press or a right click calls `held` with the point in the list's
// own coordinates and never reaches the list.
class ListHoldFilter final : public QObject {
 public:
  ListHoldFilter(QWidget* viewport, std::function<void(QPoint)> held);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void replayPress();

  QWidget* viewport_;
  std::function<void(QPoint)> held_;
  HoldTimer timer_;
  QPoint pressPos_;
  QPointF pressGlobal_;
  Qt::KeyboardModifiers pressModifiers_;
  bool replaying_ = false;
  // After a recognised gesture the rest of that press (moves, release) is
  // kept from the list.
  bool swallowing_ = false;
};

}  // namespace corvantis::platform::qt
