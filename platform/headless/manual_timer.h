#pragma once
// The periodic timer with no clock behind it: the caller fires it. Start and
// stop are remembered so that tests can check when the tick ran.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/window.h"

namespace corvantis::platform::headless {

class ManualTimer final : public PeriodicTimer {
 public:
  struct Event {
    bool started = false;  // false for a stop
    uint32_t periodMs = 0;
  };

  void start(uint32_t periodMs, std::function<void()> handler) override;
  void stop() override;
  bool running() const override { return running_; }

  // Calls the handler once when the timer runs; answers whether it did. The
  // handler may stop or restart the timer from inside.
  bool fire();
  // Fires count times (stops early when the timer is stopped); answers how
  // many times the handler ran.
  int fire(int count);

  uint32_t periodMs() const { return periodMs_; }
  const std::vector<Event>& events() const { return events_; }
  int firedCount() const { return fired_; }

 private:
  std::function<void()> handler_;
  uint32_t periodMs_ = 0;
  bool running_ = false;
  int fired_ = 0;
  std::vector<Event> events_;
};

}  // namespace corvantis::platform::headless
