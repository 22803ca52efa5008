#include "platform/serial_port.h"

namespace corvantis::platform {

ReadResult SerialPort::readAvailable(std::span<const uint8_t>& bytes, uint32_t /*waitMs*/) {
  if (!holding_) {
    const ReadResult result = readByte(heldByte_);
    if (result != ReadResult::Byte) {
      bytes = {};
      return result;
    }
    holding_ = true;
  }
  bytes = std::span<const uint8_t>(&heldByte_, 1);
  return ReadResult::Byte;
}

void SerialPort::consume(std::size_t count) {
  if (count > 0) holding_ = false;
}

}  // namespace corvantis::platform
