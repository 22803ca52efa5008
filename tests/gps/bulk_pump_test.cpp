// The pump over a port that hands bytes out in bulk must do exactly what it
// does over a port read one byte at a time: the same fixes in the same
// ticks, the same line, the same silence count and device error.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "tests/support/fake_serial_port.h"
#include "tests/support/nmea_text.h"
#include "tests/support/scripted_message_boxes.h"

namespace corvantis {
namespace {

using testing::FakeSerialPort;
using testing::ScriptedMessageBoxes;

// Serves what was fed in views of at most `chunk` bytes; its one-byte read
// is never used by the pump.
class ChunkedPort : public platform::SerialPort {
 public:
  explicit ChunkedPort(std::size_t chunk) : chunk_(chunk) {}
  bool open(const std::string&) override { return open_ = true; }
  bool applyLineSettings(const platform::LineSettings&) override { return open_; }
  bool applyTimeouts(const platform::Timeouts&) override { return open_; }
  platform::ReadResult readByte(uint8_t&) override { return platform::ReadResult::Failed; }
  platform::ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t) override {
    bytes = {};
    if (!open_) return platform::ReadResult::Failed;
    if (position_ == data_.size()) return platform::ReadResult::Nothing;
    const std::size_t n = std::min(chunk_, data_.size() - position_);
    bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data_.data()) + position_, n);
    viewed_ = n;
    return platform::ReadResult::Byte;
  }
  void consume(std::size_t count) override {
    ASSERT_LE(count, viewed_) << "consumed more than the view held";
    position_ += count;
    viewed_ = 0;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  void feed(const std::string& bytes) { data_ += bytes; }

 private:
  std::size_t chunk_;
  std::string data_;
  std::size_t position_ = 0;
  std::size_t viewed_ = 0;
  bool open_ = false;
};

std::string gga(int second, const char* quality = "1") {
  char body[128];
  std::snprintf(body, sizeof body, "GPGGA,1200%02d.50,4807.%03d,N,01131.000,E,%s,08,0.9,545.4,M,46.9,M,,",
                second % 60, 38 + second, quality);
  return testing::nmeaSentence(body);
}

// A stream with everything the line handling has edges for: several fixes
// in one burst, other sentences, a fix-less GGA, noise before the first
// "$", a line of exactly the line's length and lines far longer, a run of
// "$"s, a NUL byte and a damaged checksum.
std::string awkwardStream() {
  std::string s = "noise before any sentence\r\n";
  for (int i = 0; i < 6; ++i) s += gga(i);
  s += "$GPRMC,120006,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
  s += gga(7, "0");
  s += "$" + std::string(509, 'x');    // fills the line to its last place
  s += "$" + std::string(510, 'y');    // one more: the last place is overwritten
  s += "$";
  for (int i = 0; i < 3000; ++i) s += static_cast<char>('a' + i % 26);
  s += "\r\n";
  s += "$$$" + gga(8);
  s += std::string("$GPGSV,1,1,\0,x*00\r\n", 19);
  std::string damaged = gga(9);
  damaged[20] = damaged[20] == '1' ? '2' : '1';
  s += damaged + gga(10) + gga(11) + "$";
  return s;
}

struct PumpRun {
  std::unique_ptr<platform::SerialPort> port;
  ScriptedMessageBoxes boxes;
  std::unique_ptr<GpsInput> gps;
  std::vector<bool> ticks;

  explicit PumpRun(std::unique_ptr<platform::SerialPort> p) : port(std::move(p)) {
    gps = std::make_unique<GpsInput>(*port, boxes);
    gps->afterTick = [this](bool newFix) { ticks.push_back(newFix); };
    gps->openPort(5, 0);
  }
  void feed(const std::string& bytes) {
    if (auto* fake = dynamic_cast<FakeSerialPort*>(port.get())) fake->feed(bytes);
    if (auto* chunked = dynamic_cast<ChunkedPort*>(port.get())) chunked->feed(bytes);
  }
};

void expectSameState(const PumpRun& bytewise, const PumpRun& bulk, std::size_t chunk, int tick) {
  const GpsInput& a = *bytewise.gps;
  const GpsInput& b = *bulk.gps;
  ASSERT_EQ(bytewise.ticks, bulk.ticks) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.linePos, b.linePos) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(std::string(a.line), std::string(b.line)) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.emptyTicks, b.emptyTicks) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.currentFix.deviceError, b.currentFix.deviceError) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.currentFix.satellites, b.currentFix.satellites) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.history.count, b.history.count) << "chunk " << chunk << " tick " << tick;
  ASSERT_EQ(a.history.newestFixTime(), b.history.newestFixTime()) << "chunk " << chunk << " tick " << tick;
}

TEST(BulkPump, EveryViewSizeGivesTheTicksOfTheOneByteRead) {
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{64},
                                  std::size_t{511}, std::size_t{1023}, std::size_t{1024}, std::size_t{100000}}) {
    PumpRun bytewise(std::make_unique<FakeSerialPort>());
    PumpRun bulk(std::make_unique<ChunkedPort>(chunk));
    bytewise.feed(awkwardStream());
    bulk.feed(awkwardStream());
    int tick = 0;
    // Through the stream, then silence up to the device error, then bytes
    // that arrive while the error stands (one is dropped per tick).
    for (; tick < 150; ++tick) {
      bytewise.gps->pumpTick();
      bulk.gps->pumpTick();
      expectSameState(bytewise, bulk, chunk, tick);
    }
    ASSERT_TRUE(bulk.gps->currentFix.deviceError) << chunk;
    ASSERT_EQ(bulk.gps->history.count, 9) << chunk;  // 0-5, 8, 10 and 11
    bytewise.feed(gga(20) + "$");
    bulk.feed(gga(20) + "$");
    for (int i = 0; i < 10; ++tick, ++i) {
      bytewise.gps->pumpTick();
      bulk.gps->pumpTick();
      expectSameState(bytewise, bulk, chunk, tick);
    }
    // Reopened: the rest of what arrived is read where the drops left off.
    bytewise.gps->openPort(5, 0);
    bulk.gps->openPort(5, 0);
    for (int i = 0; i < 10; ++tick, ++i) {
      bytewise.gps->pumpTick();
      bulk.gps->pumpTick();
      expectSameState(bytewise, bulk, chunk, tick);
    }
  }
}

}  // namespace
}  // namespace corvantis
