#include "platform/session_log.h"

#include <algorithm>

namespace corvantis::platform {

bool LoggedSerialPort::open(const std::string& name) {
  // What the port held unread went with the old line.
  loggedAhead_ = 0;
  return port_.open(name);
}

void LoggedSerialPort::close() {
  loggedAhead_ = 0;
  port_.close();
}

ReadResult LoggedSerialPort::readByte(uint8_t& byte) {
  const ReadResult result = port_.readByte(byte);
  if (result != ReadResult::Byte) return result;
  // A byte a bulk view already showed is taken now, not received again.
  if (loggedAhead_ > 0) {
    --loggedAhead_;
  } else {
    log_.append(std::span<const uint8_t>(&byte, 1));
  }
  return result;
}

ReadResult LoggedSerialPort::readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) {
  const ReadResult result = port_.readAvailable(bytes, waitMs);
  if (result != ReadResult::Byte) return result;
  // The view starts with the bytes still unconsumed from the view before;
  // only those after them are new.
  if (bytes.size() > loggedAhead_) log_.append(bytes.subspan(loggedAhead_));
  loggedAhead_ = std::max(loggedAhead_, bytes.size());
  return result;
}

void LoggedSerialPort::consume(std::size_t count) {
  port_.consume(count);
  loggedAhead_ -= std::min(count, loggedAhead_);
}

}  // namespace corvantis::platform
