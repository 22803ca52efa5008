#pragma once
// Time as the program needs it: a wrapping millisecond tick counter for the
// running times, a sleep, and the device's calendar clock for run stamps.
#include <cstdint>

namespace corvantis::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps at 32 bits.
  virtual uint32_t tickMs() = 0;
  virtual void sleepMs(uint32_t durationMs) = 0;
  // Whole seconds since 1970-01-01 00:00 of the local wall clock, as the
  // device clock was; unsigned so that it goes past 2038.
  virtual uint32_t calendarSeconds() = 0;
};

}  // namespace corvantis::platform
