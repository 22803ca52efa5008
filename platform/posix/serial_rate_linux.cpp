// The arbitrary-rate interface lives in the kernel's own termios header,
// which cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace corvantis::platform {

bool setArbitraryRate(int fd, uint32_t baudRate) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return false;
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  settings.c_cflag |= BOTHER;
  settings.c_ispeed = baudRate;
  settings.c_ospeed = baudRate;
  // Input speed the same as output: clear the separate input rate bits.
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
  settings.c_cflag |= BOTHER << IBSHIFT;
  if (ioctl(fd, TCSETS2, &settings) != 0) return false;
  struct termios2 check {};
  if (ioctl(fd, TCGETS2, &check) != 0) return false;
  return check.c_ospeed == baudRate;
}

uint32_t readLineRate(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}

}  // namespace corvantis::platform
