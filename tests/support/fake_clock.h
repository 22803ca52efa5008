#pragma once
// A clock that moves only when the test says so. sleepMs advances it.
#include <cstdint>

#include "platform/clock.h"

namespace corvantis::testing {

class FakeClock : public platform::Clock {
 public:
  uint32_t tickMs() override { return tickMs_; }
  void sleepMs(uint32_t durationMs) override {
    tickMs_ += durationMs;
    sleptMs_ += durationMs;
  }
  uint32_t calendarSeconds() override { return calendarSeconds_; }

  void advanceMs(uint32_t durationMs) { tickMs_ += durationMs; }
  void setTickMs(uint32_t value) { tickMs_ = value; }
  void setCalendarSeconds(uint32_t value) { calendarSeconds_ = value; }
  uint32_t totalSleptMs() const { return sleptMs_; }

 private:
  uint32_t tickMs_ = 0;
  uint32_t calendarSeconds_ = 0;
  uint32_t sleptMs_ = 0;
};

}  // namespace corvantis::testing
