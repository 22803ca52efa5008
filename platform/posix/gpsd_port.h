#pragma once
// gpsd as the receiver: the NMEA stream of a running gpsd, read through the
// serial port interface, so that the pump, the decoder and the screens work
// as they do on a serial device.
//
// gpsd usually owns the receiver's device on Linux. This port connects to
// gpsd's TCP port, asks it for the raw NMEA sentences of every receiver it
// watches (?WATCH={"enable":true,"nmea":true}) and hands their bytes out one
// at a time; gpsd's own JSON reports (one line each, starting with "{") are
// left out. Everything is non-blocking: the connection is made while the
// pump ticks, and a read waits at most the read time-out.
//
// A gpsd that is not running, or that goes away, is silence, as a receiver
// that stops talking is: open() still succeeds, reads answer nothing, and
// the pump raises its device error after its silent ticks. The port retries
// the connection about once a second meanwhile, and a new open() (OK on the
// configuration screen) starts afresh.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace corvantis::platform {

inline constexpr const char* kGpsdDefaultHost = "localhost";
inline constexpr uint16_t kGpsdDefaultPort = 2947;
// Between two connection attempts, so that a missing gpsd costs nothing.
inline constexpr int kGpsdRetryMs = 1000;
// What the port asks gpsd for once connected.
inline constexpr const char* kGpsdWatchRequest = "?WATCH={\"enable\":true,\"nmea\":true}\n";

// "HOST", "HOST:PORT", ":PORT", "[V6ADDRESS]" or "[V6ADDRESS]:PORT"; an
// empty text is the default. False (nothing changed) when malformed.
bool parseGpsdAddress(const std::string& text, std::string& host, uint16_t& port);

class GpsdPort : public SerialPort {
 public:
  GpsdPort(std::string host, uint16_t port);
  ~GpsdPort() override;
  GpsdPort(const GpsdPort&) = delete;
  GpsdPort& operator=(const GpsdPort&) = delete;

  // The COM name does not matter: every port is gpsd. Starts connecting and
  // answers true, whether gpsd is there or not (see above).
  bool open(const std::string& name) override;
  // A socket has no line settings; the rate does not matter either.
  bool applyLineSettings(const LineSettings&) override { return open_; }
  bool applyTimeouts(const Timeouts& timeouts) override;
  ReadResult readByte(uint8_t& byte) override;
  // All the NMEA bytes received and not yet taken; when there are none, the
  // connection's next step and a receive, each waiting at most waitMs.
  ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t waitMs) override;
  void consume(std::size_t count) override;
  void close() override;
  bool isOpen() const override { return open_; }

  // For messages and tests.
  bool connected() const { return state_ == State::Connected; }
  long connectAttempts() const { return connectAttempts_; }
  std::string address() const;

 private:
  enum class State { Idle, Connecting, Connected };
  void startConnect();
  void finishConnect(int waitMs);
  void dropConnection();
  void sendPending();
  // Takes what the socket holds into the buffer, gpsd's JSON lines left out.
  void receive(int waitMs);
  // With the buffer empty: the connection's next step and a receive.
  void refill(int waitMs);

  std::string host_;
  uint16_t port_;
  bool open_ = false;
  State state_ = State::Idle;
  int fd_ = -1;
  int readTimeoutMs_ = 100;
  int64_t nextAttemptMs_ = 0;
  long connectAttempts_ = 0;
  // The addresses host_ resolves to, tried in turn.
  std::vector<std::vector<uint8_t>> addresses_;
  std::size_t nextAddress_ = 0;
  std::string pendingOut_;
  // NMEA bytes received and not yet handed out.
  std::vector<uint8_t> buffer_;
  std::size_t bufferStart_ = 0;
  bool atLineStart_ = true;
  bool inJsonLine_ = false;
};

}  // namespace corvantis::platform
