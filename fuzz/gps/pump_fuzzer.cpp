// Any byte stream through the sentence pump and the decoder: no read or
// write outside the line, the field buffer or the samples, whatever arrives.
// The input is split into ticks at arbitrary points so that sentences cross
// tick boundaries; every recorded fix must keep the history's invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "gps/gps_input.h"
#include "gps/nmea_decoder.h"

namespace {

using namespace corvantis;

class BytePort : public platform::SerialPort {
 public:
  BytePort(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool open(const std::string&) override { return true; }
  bool applyLineSettings(const platform::LineSettings&) override { return true; }
  bool applyTimeouts(const platform::Timeouts&) override { return true; }
  platform::ReadResult readByte(uint8_t& byte) override {
    if (position_ >= released_) return platform::ReadResult::Nothing;
    byte = data_[position_++];
    return platform::ReadResult::Byte;
  }
  void close() override {}
  bool isOpen() const override { return true; }
  void release(std::size_t count) { released_ = released_ + count > size_ ? size_ : released_ + count; }
  bool done() const { return position_ >= size_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  std::size_t released_ = 0;
};

class NoBoxes : public platform::MessageBoxes {
 public:
  platform::MessageAnswer show(const std::string&, platform::MessageIcon, platform::MessageButtons) override {
    return platform::MessageAnswer::Ok;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytePort port(data, size);
  NoBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  gps->openPort(5, 0);
  uint32_t previousTime = 0;
  uint32_t previousBreaks = 0;
  bool havePrevious = false;
  gps->afterTick = [&](bool newFix) {
    if (!newFix) return;
    const uint32_t time = gps->history.newestFixTime();
    const uint32_t breaks = gps->history.timelineBreaks();
    // Fixes 100 ms apart and increasing, but where a clock jump was taken
    // (it counts as a break of the timeline).
    if (havePrevious && time < previousTime + 100 && breaks == previousBreaks) std::abort();
    // The window is always three fixes 100 ms apart or more (the synthetic
    // ones before a first fix at 00:00 wrap below 0).
    const FixHistory& h = gps->history;
    if (h.newest().time - h.previous().time < 100 || h.previous().time - h.oldest().time < 100) std::abort();
    if (gps->history.count < 0 || gps->history.count > FixHistory::kCapacity) std::abort();
    previousTime = time;
    previousBreaks = breaks;
    havePrevious = true;
  };
  // Tick lengths from the data itself, so sentences split at varied points.
  std::size_t cursor = 0;
  for (int tick = 0; tick < 100000 && !port.done(); ++tick) {
    const std::size_t chunk = size == 0 ? 1 : 1 + data[cursor % size] % 97;
    cursor += 1;
    port.release(chunk);
    gps->pumpTick();
    if (gps->currentFix.deviceError) gps->openPort(5, 0);
  }
  port.release(size);
  gps->pumpTick();
  // The decoder alone on the raw input as one sentence.
  std::string text(reinterpret_cast<const char*>(data), size);
  decodeSentence(text.c_str(), gps->currentFix, gps->history);
  FieldBuffer field;
  for (int index = 1; index < 20; ++index) extractField(text.c_str(), index, field);
  gps->history.stopCapture();
  return 0;
}
