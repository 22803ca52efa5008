#pragma once
// The 100 ms periodic timer on a QTimer of the GUI thread. A QTimer fires in
// whatever event loop is running, so ticks go on inside modal screens,
// message boxes and popup menus.
#include <QTimer>

#include "platform/window.h"

namespace corvantis::platform::qt {

class QtPeriodicTimer final : public PeriodicTimer {
 public:
  QtPeriodicTimer();
  void start(uint32_t periodMs, std::function<void()> handler) override;
  void stop() override;
  bool running() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
  std::function<void()> handler_;
};

}  // namespace corvantis::platform::qt
