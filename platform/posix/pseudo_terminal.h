#pragma once
// A pseudo-terminal that stands in for a GPS receiver: the program opens its
// device path through the ordinary serial code, and a feeder writes NMEA text
// into the other end. Used by the demo receiver of the corvantis program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvantis::platform {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair. On failure answers false and error() says why.
  bool open();
  void close();
  bool isOpen() const { return master_ >= 0; }

  // Device path of the receiving end, e.g. /dev/pts/3.
  const std::string& devicePath() const { return devicePath_; }
  const std::string& error() const { return error_; }

  // Writes text into the receiving end. Never blocks: when the reader has
  // not kept up and the terminal's buffer is full, the rest is dropped, as
  // a real receiver's bytes are lost when nobody reads the port. Answers the
  // bytes accepted.
  std::size_t write(std::string_view text);

  // What the program wrote into its end: appends the bytes that arrive
  // within waitMs (returning as soon as some are there). False when the
  // terminal is closed.
  bool read(std::string& into, uint32_t waitMs);
  // The rate the program set on its end (0 when unknown): a simulated
  // receiver talks only at the rate its line is set to, as a UART does.
  uint32_t lineRate() const;

 private:
  int master_ = -1;
  // Kept open so that the line exists (and keeps its raw settings) while the
  // program has its port closed, e.g. during the configuration screen.
  int keeper_ = -1;
  std::string devicePath_;
  std::string error_;
};

}  // namespace corvantis::platform
