#include "platform/posix/clock.h"

#include <cerrno>
#include <ctime>

namespace corvantis::platform {

uint32_t PosixClock::tickMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void PosixClock::sleepMs(uint32_t durationMs) {
  timespec remaining{static_cast<time_t>(durationMs / 1000), static_cast<long>(durationMs % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

uint32_t PosixClock::calendarSeconds() {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  // UTC seconds plus the zone's offset: the wall clock as the device kept it.
  return static_cast<uint32_t>(static_cast<int64_t>(now) + static_cast<int64_t>(local.tm_gmtoff));
}

}  // namespace corvantis::platform
