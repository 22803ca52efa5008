#include "platform/posix/pseudo_terminal.h"

#include "platform/posix/serial_port.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace corvantis::platform {

PseudoTerminal::~PseudoTerminal() { close(); }

bool PseudoTerminal::open() {
  close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) {
    error_ = std::string("posix_openpt: ") + std::strerror(errno);
    return false;
  }
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error_ = std::string("unlocking the pseudo-terminal: ") + std::strerror(errno);
    close();
    return false;
  }
  const char* name = ptsname(master_);
  if (name == nullptr) {
    error_ = std::string("ptsname: ") + std::strerror(errno);
    close();
    return false;
  }
  devicePath_ = name;
  keeper_ = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (keeper_ < 0) {
    error_ = "opening " + devicePath_ + ": " + std::strerror(errno);
    close();
    return false;
  }
  // Raw from the start: a fresh terminal echoes and collects lines, and the
  // echo would fill our own end with bytes nobody reads until writes stall.
  termios tio{};
  if (tcgetattr(keeper_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(keeper_, TCSANOW, &tio);
  }
  return true;
}

void PseudoTerminal::close() {
  if (keeper_ >= 0) ::close(keeper_);
  if (master_ >= 0) ::close(master_);
  keeper_ = -1;
  master_ = -1;
}

std::size_t PseudoTerminal::write(std::string_view text) {
  std::size_t done = 0;
  while (master_ >= 0 && done < text.size()) {
    const ssize_t n = ::write(master_, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EAGAIN (buffer full) or an error: drop the rest
    }
  }
  return done;
}

bool PseudoTerminal::read(std::string& into, uint32_t waitMs) {
  if (master_ < 0) return false;
  pollfd request{master_, POLLIN, 0};
  const int ready = poll(&request, 1, static_cast<int>(waitMs));
  if (ready <= 0) return ready == 0 || errno == EINTR;
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n > 0) {
      into.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    // Nothing more for now (EAGAIN), or the program's end is not open (EIO).
    return n < 0 && (errno == EAGAIN || errno == EINTR || errno == EIO);
  }
}

uint32_t PseudoTerminal::lineRate() const { return master_ < 0 ? 0 : readLineRate(master_); }

}  // namespace corvantis::platform
