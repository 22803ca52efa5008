#pragma once
// The program's clocks on Linux.
#include "platform/clock.h"

namespace corvantis::platform {

class PosixClock : public Clock {
 public:
  // Milliseconds of the monotonic clock, wrapping at 32 bits (every 49.7 days).
  uint32_t tickMs() override;
  void sleepMs(uint32_t durationMs) override;
  // The local wall clock as whole seconds since 1970 (the device clock kept
  // local time), unsigned so it runs past 2038.
  uint32_t calendarSeconds() override;
};

}  // namespace corvantis::platform
