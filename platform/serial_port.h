#pragma once
// The serial link as the GPS input sees it: open a port by its COM name,
// apply line settings and time-outs, read one byte at a time or take what
// has arrived in bulk, close.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace corvantis::platform {

// Answer of a one-byte read.
enum class ReadResult { Byte, Nothing, Failed };

// Line settings applied on open: the rate changes, the rest is fixed
// (binary, parity checking on with no parity, 8 data bits, 1 stop bit,
// DTR and RTS on, no flow control of any kind, no null stripping).
struct LineSettings {
  uint32_t baudRate = 4800;
};

// Read and write time-outs. The read returns a byte as soon as one is there
// and reports nothing after readTotalMs.
struct Timeouts {
  uint32_t readIntervalMs = 10;
  uint32_t readTotalMs = 100;
  uint32_t writePerByteMs = 10;
  uint32_t writeTotalMs = 1000;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // name is the COM name, "COM1:" to "COM8:". False when it cannot be opened.
  virtual bool open(const std::string& name) = 0;
  virtual bool applyLineSettings(const LineSettings& settings) = 0;
  virtual bool applyTimeouts(const Timeouts& timeouts) = 0;
  virtual ReadResult readByte(uint8_t& byte) = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  // Bulk reading, for the pump. Answers Byte with `bytes` viewing the bytes
  // that have arrived and are not taken yet (at least one; the view holds
  // until the next call on the port), waiting at most waitMs for the first
  // when none are there; Nothing when none came, Failed when the link is
  // broken. Nothing is taken until consume(count), so whatever the caller
  // leaves stays first in line for the next read. A port that overrides
  // neither reads through readByte, one byte at a time, and waits as that
  // read does.
  virtual ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs);
  // Takes the first count bytes of the last readAvailable view.
  virtual void consume(std::size_t count);

 private:
  // The byte readAvailable took through readByte and has not seen consumed.
  uint8_t heldByte_ = 0;
  bool holding_ = false;
};

}  // namespace corvantis::platform
