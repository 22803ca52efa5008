#pragma once
// A port for the benchmarks that serves a fixed byte stream.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/serial_port.h"

namespace corvantis {

// A port that serves a fixed byte stream without allocating: once, or
// (`loop`) again from its start after each time it ran dry.
class StreamPort : public platform::SerialPort {
 public:
  StreamPort(const std::string& stream, bool loop) : stream_(stream), loop_(loop) {}
  bool open(const std::string&) override { return true; }
  bool applyLineSettings(const platform::LineSettings&) override { return true; }
  bool applyTimeouts(const platform::Timeouts&) override { return true; }
  platform::ReadResult readByte(uint8_t& byte) override {
    if (ranDry()) return platform::ReadResult::Nothing;
    byte = static_cast<uint8_t>(stream_[position_++]);
    return platform::ReadResult::Byte;
  }
  // The bytes up to the end of the stream in one view, as the POSIX port
  // hands out its buffer.
  platform::ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t) override {
    if (ranDry()) return platform::ReadResult::Nothing;
    bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stream_.data()) + position_,
                                     stream_.size() - position_);
    return platform::ReadResult::Byte;
  }
  void consume(std::size_t count) override { position_ += count; }
  void close() override {}
  bool isOpen() const override { return true; }
  bool exhausted() const { return position_ == stream_.size(); }
  // The stream from its start again (a fresh receiver's backlog).
  void rewind() { position_ = 0; }

 private:
  // At the end: nothing this time; a looping stream is there again for the
  // next read, as a receiver's next epoch is for the next tick.
  bool ranDry() {
    if (position_ != stream_.size()) return false;
    if (loop_) position_ = 0;
    return true;
  }

  const std::string& stream_;
  bool loop_;
  std::size_t position_ = 0;
};

}  // namespace corvantis
