#pragma once
// A serial port fed by the test: bytes queued with feed() are read one at a
// time; with none queued a read answers Nothing (at once). Each step of the
// opening can be made to fail, and the port can be made to fail its reads
// (a receiver unplugged). Records what was asked of it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_port.h"

namespace corvantis::testing {

class FakeSerialPort : public platform::SerialPort {
 public:
  bool open(const std::string& name) override;
  bool applyLineSettings(const platform::LineSettings& settings) override;
  bool applyTimeouts(const platform::Timeouts& timeouts) override;
  platform::ReadResult readByte(uint8_t& byte) override;
  void close() override;
  bool isOpen() const override { return open_; }

  // Bytes beyond lineCapacity waiting are dropped, as a serial line's small
  // buffer drops what nobody reads in time.
  void feed(std::string_view bytes) {
    for (const char c : bytes) {
      if (pending.size() < lineCapacity) {
        pending.push_back(c);
      } else {
        ++dropped;
      }
    }
  }

  // Scripting.
  bool failOpen = false;
  bool failLineSettings = false;
  bool failTimeouts = false;
  bool failReads = false;
  std::deque<char> pending;
  std::size_t lineCapacity = SIZE_MAX;

  // Record.
  std::vector<std::string> openedNames;
  std::vector<uint32_t> appliedRates;
  platform::Timeouts appliedTimeouts;
  int closeCount = 0;
  long readCount = 0;
  std::size_t dropped = 0;

 private:
  bool open_ = false;
};

}  // namespace corvantis::testing
