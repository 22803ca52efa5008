// Reads the rate of a terminal through the arbitrary-rate interface, which
// cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace corvantis::testing {

uint32_t terminalOutputRate(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace corvantis::testing
