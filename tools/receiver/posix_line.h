#pragma once
// The line to a receiver on a serial device (or a pseudo-terminal), through
// the program's own termios port.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/serial_port.h"
#include "tools/receiver/receiver_setup.h"

namespace corvantis::receiver {

class PosixReceiverLine : public ReceiverLine {
 public:
  explicit PosixReceiverLine(const std::string& devicePath);
  // Opens the device at `baud`. False with `error` saying why.
  bool open(uint32_t baud, std::string& error);

  bool setBaud(uint32_t baud) override;
  bool send(std::span<const uint8_t> bytes) override;
  bool receive(std::vector<uint8_t>& into, uint32_t waitMs) override;
  uint64_t nowMs() override;

 private:
  platform::ComDeviceTable table_;
  platform::PosixSerialPort port_;
  std::string devicePath_;
};

}  // namespace corvantis::receiver
