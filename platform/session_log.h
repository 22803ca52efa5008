#pragma once
// The raw log of a session: every byte the receiver sent, exactly as it
// came, kept so that a drive can be timed again, a lap checked, or the data
// sent to someone. LoggedSerialPort puts a port's bytes into one.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/serial_port.h"

namespace corvantis::platform {

class SessionLog {
 public:
  virtual ~SessionLog() = default;
  // Hands over bytes in the order they were received. Never waits for the
  // disk and never fails: trouble is kept for takeProblem.
  virtual void append(std::span<const uint8_t> bytes) = 0;
  // What went wrong with the log and was not told yet (a full disk that
  // stopped it, bytes it had to leave out), each told once; empty when
  // there is nothing to tell.
  virtual std::string takeProblem() = 0;
};

// A serial port that hands every byte it receives to a session log as well,
// once each and in order, whichever way the caller reads: byte by byte, or
// in bulk views that it consumes a part of at a time.
class LoggedSerialPort final : public SerialPort {
 public:
  LoggedSerialPort(SerialPort& port, SessionLog& log) : port_(port), log_(log) {}

  bool open(const std::string& name) override;
  bool applyLineSettings(const LineSettings& settings) override { return port_.applyLineSettings(settings); }
  bool applyTimeouts(const Timeouts& timeouts) override { return port_.applyTimeouts(timeouts); }
  ReadResult readByte(uint8_t& byte) override;
  ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) override;
  void consume(std::size_t count) override;
  void close() override;
  bool isOpen() const override { return port_.isOpen(); }

 private:
  SerialPort& port_;
  SessionLog& log_;
  // Bytes at the head of the port's unread input that a bulk view has
  // shown, and so logged, but the caller has not consumed yet.
  std::size_t loggedAhead_ = 0;
};

}  // namespace corvantis::platform
