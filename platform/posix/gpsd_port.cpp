#include "platform/posix/gpsd_port.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvantis::platform {
namespace {

int64_t monotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool parsePort(const std::string& text, uint16_t& port) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool parseGpsdAddress(const std::string& text, std::string& host, uint16_t& port) {
  std::string newHost = kGpsdDefaultHost;
  uint16_t newPort = kGpsdDefaultPort;
  std::string portText;
  bool hasPort = false;
  if (!text.empty() && text[0] == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos || close == 1) return false;
    newHost = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      portText = text.substr(close + 2);
      hasPort = true;
    }
  } else {
    const auto colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos) return false;
    if (colon == std::string::npos) {
      if (!text.empty()) newHost = text;
    } else {
      if (colon > 0) newHost = text.substr(0, colon);
      portText = text.substr(colon + 1);
      hasPort = true;
    }
  }
  if (hasPort && !parsePort(portText, newPort)) return false;
  host = newHost;
  port = newPort;
  return true;
}

GpsdPort::GpsdPort(std::string host, uint16_t port) : host_(std::move(host)), port_(port) {}

GpsdPort::~GpsdPort() { close(); }

std::string GpsdPort::address() const {
  const bool v6 = host_.find(':') != std::string::npos;
  return (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

bool GpsdPort::open(const std::string&) {
  close();
  open_ = true;
  nextAttemptMs_ = 0;
  startConnect();
  return true;
}

bool GpsdPort::applyTimeouts(const Timeouts& timeouts) {
  if (!open_) return false;
  readTimeoutMs_ = static_cast<int>(timeouts.readTotalMs > 1000 ? 1000 : timeouts.readTotalMs);
  return true;
}

void GpsdPort::close() {
  dropConnection();
  open_ = false;
  addresses_.clear();
  nextAddress_ = 0;
}

void GpsdPort::dropConnection() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  state_ = State::Idle;
  pendingOut_.clear();
  buffer_.clear();
  bufferStart_ = 0;
  atLineStart_ = true;
  inJsonLine_ = false;
}

void GpsdPort::startConnect() {
  dropConnection();
  ++connectAttempts_;
  if (addresses_.empty()) {
    // Resolved once per open: a name that needs a slow lookup costs it once,
    // not every second.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    if (getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
      nextAttemptMs_ = monotonicMs() + kGpsdRetryMs;
      return;
    }
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(a->ai_addr);
      addresses_.emplace_back(bytes, bytes + a->ai_addrlen);
    }
    freeaddrinfo(found);
    nextAddress_ = 0;
  }
  const std::vector<uint8_t>& address = addresses_[nextAddress_ % addresses_.size()];
  ++nextAddress_;
  // After the last address, wait before going round again.
  nextAttemptMs_ = (nextAddress_ % addresses_.size() == 0) ? monotonicMs() + kGpsdRetryMs : 0;
  const auto* socketAddress = reinterpret_cast<const sockaddr*>(address.data());
  const int fd = ::socket(socketAddress->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return;
  fd_ = fd;
  const int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd_, socketAddress, static_cast<socklen_t>(address.size())) == 0) {
    state_ = State::Connected;
    pendingOut_ = kGpsdWatchRequest;
    sendPending();
    return;
  }
  if (errno == EINPROGRESS) {
    state_ = State::Connecting;
    return;
  }
  dropConnection();
}

void GpsdPort::finishConnect(int waitMs) {
  pollfd request{fd_, POLLOUT, 0};
  const int ready = poll(&request, 1, waitMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return;
  int error = 0;
  socklen_t length = sizeof error;
  if (ready < 0 || getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
    dropConnection();
    return;
  }
  state_ = State::Connected;
  nextAddress_ = 0;  // the next reconnection starts with the address that worked
  pendingOut_ = kGpsdWatchRequest;
  sendPending();
}

void GpsdPort::sendPending() {
  while (!pendingOut_.empty() && fd_ >= 0) {
    const ssize_t n = ::send(fd_, pendingOut_.data(), pendingOut_.size(), MSG_NOSIGNAL);
    if (n > 0) {
      pendingOut_.erase(0, static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      return;  // the rest goes at the next read
    } else {
      dropConnection();
      return;
    }
  }
}

void GpsdPort::receive(int waitMs) {
  pollfd request{fd_, POLLIN, 0};
  const int ready = poll(&request, 1, waitMs);
  if (ready <= 0) {
    if (ready < 0 && errno != EINTR) dropConnection();
    return;
  }
  uint8_t chunk[4096];
  const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
  if (n == 0) {  // gpsd went away
    dropConnection();
    return;
  }
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) dropConnection();
    return;
  }
  if (bufferStart_ >= buffer_.size()) {
    buffer_.clear();
    bufferStart_ = 0;
  }
  for (ssize_t i = 0; i < n; ++i) {
    const uint8_t byte = chunk[i];
    if (atLineStart_ && byte == '{') inJsonLine_ = true;
    atLineStart_ = byte == '\n';
    if (inJsonLine_) {
      if (byte == '\n') inJsonLine_ = false;
      continue;
    }
    buffer_.push_back(byte);
  }
}

void GpsdPort::refill(int waitMs) {
  if (state_ == State::Idle && monotonicMs() >= nextAttemptMs_) startConnect();
  if (state_ == State::Connecting) finishConnect(waitMs);
  if (state_ == State::Connected) {
    sendPending();
    if (state_ == State::Connected) receive(waitMs);
  }
  // Without gpsd this is silence, never a failure: the pump's count of
  // silent ticks turns it into the device error. Like a quiet serial line it
  // answers after the wait, so that time passes as the pump expects.
  if (state_ == State::Idle && waitMs > 0) poll(nullptr, 0, waitMs);
}

ReadResult GpsdPort::readByte(uint8_t& byte) {
  if (!open_) return ReadResult::Failed;
  if (bufferStart_ >= buffer_.size()) refill(readTimeoutMs_);
  if (bufferStart_ >= buffer_.size()) return ReadResult::Nothing;
  byte = buffer_[bufferStart_++];
  return ReadResult::Byte;
}

ReadResult GpsdPort::readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) {
  bytes = {};
  if (!open_) return ReadResult::Failed;
  const int wait = waitMs < static_cast<uint32_t>(readTimeoutMs_) ? static_cast<int>(waitMs) : readTimeoutMs_;
  if (bufferStart_ >= buffer_.size()) refill(wait);
  if (bufferStart_ >= buffer_.size()) return ReadResult::Nothing;
  bytes = std::span<const uint8_t>(buffer_.data() + bufferStart_, buffer_.size() - bufferStart_);
  return ReadResult::Byte;
}

void GpsdPort::consume(std::size_t count) {
  bufferStart_ += std::min(count, buffer_.size() - bufferStart_);
}

}  // namespace corvantis::platform
