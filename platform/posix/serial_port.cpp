#include "platform/posix/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace corvantis::platform {
namespace {

// COM number of "COMn:" / "COMn" (1..8), or 0.
int comNumber(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0;
  std::string digits = name.substr(3);
  if (!digits.empty() && digits.back() == ':') digits.pop_back();
  if (digits.empty() || digits.size() > 2) return 0;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return (n >= 1 && n <= kComPortCount) ? n : 0;
}

// The rates termios names with a constant; the others go through setArbitraryRate.
speed_t standardSpeed(uint32_t baudRate) {
  switch (baudRate) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
  }
}

// The group whose members may use the device: its own group when that has
// read and write access (and is not root's), else the Debian serial group.
std::string serialGroupOf(const std::string& path) {
  struct stat status {};
  const mode_t readWrite = S_IRGRP | S_IWGRP;
  if (::stat(path.c_str(), &status) == 0 && status.st_gid != 0 && (status.st_mode & readWrite) == readWrite) {
    if (const group* g = ::getgrgid(status.st_gid)) return g->gr_name;
  }
  return "dialout";
}

}  // namespace

ComDeviceTable::ComDeviceTable() {
  for (int i = 0; i < kComPortCount; ++i) paths_[static_cast<std::size_t>(i)] = kDefaultComDevices[static_cast<std::size_t>(i)];
}

bool ComDeviceTable::setComDevice(int n, const std::string& path) {
  if (n < 1 || n > kComPortCount || path.empty()) return false;
  paths_[static_cast<std::size_t>(n - 1)] = path;
  return true;
}

std::string ComDeviceTable::devicePath(const std::string& comName) const {
  const int n = comNumber(comName);
  return n == 0 ? std::string() : paths_[static_cast<std::size_t>(n - 1)];
}

std::string ComDeviceTable::describe() const {
  std::string text;
  for (int i = 0; i < kComPortCount; ++i) {
    text += "  COM" + std::to_string(i + 1) + "  " + paths_[static_cast<std::size_t>(i)] + "\n";
  }
  return text;
}

bool applyComOption(ComDeviceTable& table, const std::string& option) {
  const auto equals = option.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  const int n = comNumber("COM" + option.substr(0, equals));
  if (n == 0) return false;
  return table.setComDevice(n, option.substr(equals + 1));
}

PosixSerialPort::~PosixSerialPort() { close(); }

bool PosixSerialPort::open(const std::string& name) {
  close();
  devicePath_ = table_.devicePath(name);
  if (devicePath_.empty()) return false;
  // Read and write, never becoming our controlling terminal; no O_CREAT: the
  // device must exist. Non-blocking only for the open itself, so a port
  // waiting for carrier cannot hang the user interface.
  const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if ((errno == EACCES || errno == EPERM) && onPermissionDenied) {
      onPermissionDenied(devicePath_, serialGroupOf(devicePath_));
    }
    return false;
  }
  // A path that is no terminal opens; applying line settings then fails, so
  // the user reads that this "port" cannot be set up rather than not found.
  // No second program may open the receiver while we hold it (TIOCNXCL on close).
  ioctl(fd, TIOCEXCL);
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  bufferStart_ = bufferEnd_ = 0;
  return true;
}

bool PosixSerialPort::applyLineSettings(const LineSettings& settings) {
  if (fd_ < 0) return false;
  termios tty{};
  if (tcgetattr(fd_, &tty) != 0) return false;

  // Binary: no line editing, echo, signals or output processing.
  tty.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN);
  tty.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  // No translation of line ends, no stripping to 7 bits, no null or error
  // bytes dropped or marked (the error replacement character is 0).
  tty.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR | ICRNL | ISTRIP | IGNBRK | BRKINT | PARMRK | IGNPAR);
  // No XON/XOFF flow control in either direction.
  tty.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Parity checking on, with no parity bit: 8 data bits, one stop bit.
  tty.c_iflag |= INPCK;
  tty.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB | CSIZE | CRTSCTS);
  tty.c_cflag |= CS8 | CREAD | CLOCAL;  // CLOCAL: no sensitivity to the modem lines
  tty.c_cflag &= ~static_cast<tcflag_t>(HUPCL);

  const speed_t speed = standardSpeed(settings.baudRate);
  if (speed != B0) {
    if (cfsetispeed(&tty, speed) != 0 || cfsetospeed(&tty, speed) != 0) return false;
  }
  if (tcsetattr(fd_, TCSANOW, &tty) != 0) return false;
  if (speed == B0 && !setArbitraryRate(fd_, settings.baudRate)) return false;

  // DTR and RTS on. A pseudo-terminal has no modem lines: failing here is
  // not a failure of the line settings.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd_, TIOCMBIS, &lines);
  return true;
}

bool PosixSerialPort::applyTimeouts(const Timeouts& timeouts) {
  if (fd_ < 0) return false;
  termios tty{};
  if (tcgetattr(fd_, &tty) != 0) return false;
  // A read returns as soon as a byte is there, and with nothing after the
  // total time-out (tenths of a second, at least one).
  const uint32_t tenths = (timeouts.readTotalMs + 99) / 100;
  tty.c_cc[VMIN] = 0;
  tty.c_cc[VTIME] = static_cast<cc_t>(tenths == 0 ? 1 : (tenths > 255 ? 255 : tenths));
  if (tcsetattr(fd_, TCSANOW, &tty) != 0) return false;
  readTimeoutMs_ = static_cast<int>(tty.c_cc[VTIME]) * 100;
  return true;
}

ReadResult PosixSerialPort::fill(int waitMs) {
  // poll tells a hang-up (receiver unplugged, the other end of a
  // pseudo-terminal closed) apart from a quiet line; read alone answers 0 for both.
  pollfd request{fd_, POLLIN, 0};
  const int ready = poll(&request, 1, waitMs);
  if (ready < 0) return errno == EINTR ? ReadResult::Nothing : ReadResult::Failed;
  if (ready == 0) return ReadResult::Nothing;
  if ((request.revents & (POLLERR | POLLNVAL)) != 0) return ReadResult::Failed;
  const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
  if (n < 0) return (errno == EINTR || errno == EAGAIN) ? ReadResult::Nothing : ReadResult::Failed;
  if (n == 0) return (request.revents & POLLHUP) != 0 ? ReadResult::Failed : ReadResult::Nothing;
  bufferStart_ = 0;
  bufferEnd_ = static_cast<std::size_t>(n);
  return ReadResult::Byte;
}

ReadResult PosixSerialPort::readByte(uint8_t& byte) {
  if (fd_ < 0) return ReadResult::Failed;
  if (bufferStart_ == bufferEnd_) {
    const ReadResult result = fill(readTimeoutMs_);
    if (result != ReadResult::Byte) return result;
  }
  byte = buffer_[bufferStart_++];
  return ReadResult::Byte;
}

ReadResult PosixSerialPort::readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) {
  bytes = {};
  if (fd_ < 0) return ReadResult::Failed;
  if (bufferStart_ == bufferEnd_) {
    // A wait never exceeds the read time-out the port was given.
    const int wait = waitMs < static_cast<uint32_t>(readTimeoutMs_) ? static_cast<int>(waitMs) : readTimeoutMs_;
    const ReadResult result = fill(wait);
    if (result != ReadResult::Byte) return result;
  }
  bytes = std::span<const uint8_t>(buffer_.data() + bufferStart_, bufferEnd_ - bufferStart_);
  return ReadResult::Byte;
}

void PosixSerialPort::consume(std::size_t count) {
  bufferStart_ += std::min(count, bufferEnd_ - bufferStart_);
}

bool PosixSerialPort::write(std::span<const uint8_t> bytes, uint32_t timeoutMs) {
  if (fd_ < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    pollfd request{fd_, POLLOUT, 0};
    const int ready = poll(&request, 1, static_cast<int>(timeoutMs));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (request.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixSerialPort::waitUntilSent() { return fd_ >= 0 && tcdrain(fd_) == 0; }

void PosixSerialPort::discardInput() {
  if (fd_ >= 0) tcflush(fd_, TCIFLUSH);
  bufferStart_ = bufferEnd_ = 0;
}

void PosixSerialPort::close() {
  if (fd_ < 0) return;
  ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  bufferStart_ = bufferEnd_ = 0;
}

}  // namespace corvantis::platform
