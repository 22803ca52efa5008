#include "platform/qt/qt_timer.h"

#include <limits>

namespace corvantis::platform::qt {

QtPeriodicTimer::QtPeriodicTimer() {
  // Precise: the default coarse timer may drift by 5 % of the period, and
  // the running-time display counts on ticks keeping pace.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    // Copied: the handler may stop or restart the timer, replacing itself.
    const std::function<void()> handler = handler_;
    if (handler) {
      handler();
    }
  });
}

void QtPeriodicTimer::start(uint32_t periodMs, std::function<void()> handler) {
  handler_ = std::move(handler);
  const uint32_t largest = static_cast<uint32_t>(std::numeric_limits<int>::max());
  timer_.start(static_cast<int>(std::min(std::max<uint32_t>(periodMs, 1), largest)));
}

void QtPeriodicTimer::stop() { timer_.stop(); }

}  // namespace corvantis::platform::qt
