#include "platform/headless/manual_timer.h"

namespace corvantis::platform::headless {

void ManualTimer::start(uint32_t periodMs, std::function<void()> handler) {
  handler_ = std::move(handler);
  periodMs_ = periodMs;
  running_ = true;
  events_.push_back({true, periodMs});
}

void ManualTimer::stop() {
  running_ = false;
  events_.push_back({false, periodMs_});
}

bool ManualTimer::fire() {
  if (!running_ || !handler_) return false;
  // A copy: the handler may call start() and replace handler_ while it runs.
  const std::function<void()> handler = handler_;
  ++fired_;
  handler();
  return true;
}

int ManualTimer::fire(int count) {
  int ran = 0;
  for (int i = 0; i < count && fire(); ++i) ++ran;
  return ran;
}

}  // namespace corvantis::platform::headless
