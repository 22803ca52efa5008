#include "tests/support/fake_serial_port.h"

namespace corvantis::testing {

bool FakeSerialPort::open(const std::string& name) {
  openedNames.push_back(name);
  if (failOpen) return false;
  open_ = true;
  return true;
}

bool FakeSerialPort::applyLineSettings(const platform::LineSettings& settings) {
  appliedRates.push_back(settings.baudRate);
  return open_ && !failLineSettings;
}

bool FakeSerialPort::applyTimeouts(const platform::Timeouts& timeouts) {
  appliedTimeouts = timeouts;
  return open_ && !failTimeouts;
}

platform::ReadResult FakeSerialPort::readByte(uint8_t& byte) {
  ++readCount;
  if (!open_ || failReads) return platform::ReadResult::Failed;
  if (pending.empty()) return platform::ReadResult::Nothing;
  byte = static_cast<uint8_t>(pending.front());
  pending.pop_front();
  return platform::ReadResult::Byte;
}

void FakeSerialPort::close() {
  open_ = false;
  ++closeCount;
}

}  // namespace corvantis::testing
