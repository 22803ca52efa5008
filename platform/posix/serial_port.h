#pragma once
// The serial port on Linux: termios on the device that a COM name maps to.
//
// The settings name ports "COM1:" to "COM8:". Each maps to a device path;
// the defaults (kDefaultComDevices) cover the usual nodes, COM6 (the
// default port) being /dev/ttyACM0, where a USB GPS receiver appears. The
// program's --com N=PATH replaces one entry with setComDevice.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/serial_port.h"

namespace corvantis::platform {

inline constexpr int kComPortCount = 8;

// COM1..COM8 by default.
inline constexpr std::array<const char*, kComPortCount> kDefaultComDevices = {
    "/dev/ttyS0",   "/dev/ttyS1",   "/dev/ttyS2",  "/dev/ttyS3",
    "/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyUSB1", "/dev/ttyACM1",
};

// The device path of each COM name; one table for the whole program.
class ComDeviceTable {
 public:
  ComDeviceTable();
  // n is 1..8 (COMn). False for any other n or an empty path.
  bool setComDevice(int n, const std::string& path);
  // The path of "COMn:" (also accepts "COMn"); empty for an unknown name.
  std::string devicePath(const std::string& comName) const;
  // One line per port, "  COM6  /dev/ttyACM0", for --help.
  std::string describe() const;

 private:
  std::array<std::string, kComPortCount> paths_;
};

// Parses "N=PATH" as given to --com. False (and nothing changed) when malformed.
bool applyComOption(ComDeviceTable& table, const std::string& option);

class PosixSerialPort : public SerialPort {
 public:
  explicit PosixSerialPort(const ComDeviceTable& table) : table_(table) {}
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool open(const std::string& name) override;
  bool applyLineSettings(const LineSettings& settings) override;
  bool applyTimeouts(const Timeouts& timeouts) override;
  ReadResult readByte(uint8_t& byte) override;
  // Hands out the whole buffer; when it is empty, takes what the device
  // holds with one system call (up to the buffer's size), after waiting at
  // most waitMs for it.
  ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) override;
  void consume(std::size_t count) override;
  void close() override;
  bool isOpen() const override { return fd_ >= 0; }

  // For programs that talk to the receiver (corvantis-receiver): writes the
  // bytes, waiting up to timeoutMs for room; false when they could not all
  // be written. waitUntilSent returns once the last byte has left the
  // line (a rate change must not cut a command short). discardInput drops
  // whatever has arrived and not been taken, in the device and here.
  bool write(std::span<const uint8_t> bytes, uint32_t timeoutMs);
  bool waitUntilSent();
  void discardInput();

  // The device path opened last, for messages and tests.
  const std::string& devicePath() const { return devicePath_; }

  // Called when a device exists but this user may not open it, with its
  // path and the group that may (the device's own, or "dialout"): the
  // usual first hurdle of a receiver on Linux, which the program's message
  // box cannot name.
  std::function<void(const std::string& path, const std::string& group)> onPermissionDenied;

 private:
  const ComDeviceTable& table_;
  int fd_ = -1;
  std::string devicePath_;
  int readTimeoutMs_ = 100;
  // Fills the empty buffer from the device, waiting at most waitMs.
  ReadResult fill(int waitMs);

  // Bytes already taken from the device and not yet handed out: one system
  // call serves many reads (a whole tick's budget of them).
  std::array<uint8_t, 1024> buffer_{};
  std::size_t bufferStart_ = 0;
  std::size_t bufferEnd_ = 0;
};

// Sets a rate termios has no constant for (14400, 128000, 256000) through
// the Linux arbitrary-rate interface. False when the device refuses it.
bool setArbitraryRate(int fd, uint32_t baudRate);
// The output rate a terminal is set to, whatever it is (0 when it cannot be
// read). On a pseudo-terminal's master end: the rate of the other end.
uint32_t readLineRate(int fd);

}  // namespace corvantis::platform
