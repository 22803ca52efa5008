// Throughput of the GPS input: a long realistic stream through the real
// pump and decoder, and the cost of one full 1024-byte tick.
//
//   build/release/bench/gps/gps_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gps/gps_input.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"

namespace corvantis {
namespace {

// A port that serves a fixed byte stream, once or over and over (`loop`),
// without allocating.
class LoopingPort : public platform::SerialPort {
 public:
  LoopingPort(const std::string& stream, bool loop) : stream_(stream), loop_(loop) {}
  bool open(const std::string&) override { return true; }
  bool applyLineSettings(const platform::LineSettings&) override { return true; }
  bool applyTimeouts(const platform::Timeouts&) override { return true; }
  platform::ReadResult readByte(uint8_t& byte) override {
    if (position_ == stream_.size()) {
      if (!loop_) return platform::ReadResult::Nothing;
      position_ = 0;
    }
    byte = static_cast<uint8_t>(stream_[position_++]);
    return platform::ReadResult::Byte;
  }
  // The bytes up to the end of the stream in one view, as the POSIX port
  // hands out its buffer; a looping stream starts again once it is taken.
  platform::ReadResult readAvailable(std::span<const uint8_t>& bytes, uint32_t) override {
    if (position_ == stream_.size()) {
      if (!loop_) return platform::ReadResult::Nothing;
      position_ = 0;
    }
    bytes = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(stream_.data()) + position_,
                                     stream_.size() - position_);
    return platform::ReadResult::Byte;
  }
  void consume(std::size_t count) override { position_ += count; }
  void close() override {}
  bool isOpen() const override { return true; }
  bool exhausted() const { return position_ == stream_.size(); }

 private:
  const std::string& stream_;
  bool loop_;
  std::size_t position_ = 0;
};

class SilentBoxes : public platform::MessageBoxes {
 public:
  platform::MessageAnswer show(const std::string&, platform::MessageIcon, platform::MessageButtons) override {
    return platform::MessageAnswer::Ok;
  }
};

// "$" + body + "*" + its checksum + the line end, as a receiver sends it:
// a GGA whose checksum fails is not decoded.
std::string withChecksum(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", static_cast<unsigned>(sum));
  return "$" + body + tail;
}

// 10 Hz drive of GGA, RMC, GSA and GSV sentences as a receiver sends them,
// the car moving north at about 60 mph. Answers the stream and the number
// of sentences in it.
std::string realisticStream(int seconds, int& sentences) {
  std::string stream;
  sentences = 0;
  char text[160];
  for (int tenth = 0; tenth < seconds * 10; ++tenth) {
    const int t = 12 * 3600 * 1000 + tenth * 100;
    const int hh = t / 3600000, mm = t / 60000 % 60, ss = t / 1000 % 60, cs = t / 10 % 100;
    const double minutes = 7.038 + tenth * 0.0145;  // 26.8 m of latitude a tenth
    std::snprintf(text, sizeof text, "GPGGA,%02d%02d%02d.%02d,48%07.4f,N,01131.0000,E,1,09,0.9,545.4,M,46.9,M,,",
                  hh, mm, ss, cs, minutes);
    stream += withChecksum(text);
    std::snprintf(text, sizeof text, "GPRMC,%02d%02d%02d.%02d,A,48%07.4f,N,01131.0000,E,052.1,000.0,071226,,,A",
                  hh, mm, ss, cs, minutes);
    stream += withChecksum(text);
    sentences += 2;
    if (tenth % 10 == 0) {
      stream += "$GPGSA,A,3,04,05,09,12,24,25,29,31,,,,,1.8,0.9,1.5*3F\r\n";
      stream += "$GPGSV,3,1,11,04,45,123,42,05,12,045,38,09,67,301,45,12,33,210,40*7A\r\n";
      stream += "$GPGSV,3,2,11,24,21,087,35,25,55,160,44,29,10,320,30,31,40,250,41*74\r\n";
      stream += "$GPGSV,3,3,11,02,05,010,,14,03,190,,20,08,270,*4C\r\n";
      sentences += 4;
    }
  }
  return stream;
}

// Every sentence through pumpTick: one tick per new fix as on the device.
void BM_PumpStream(benchmark::State& state) {
  int sentences = 0;
  const std::string stream = realisticStream(600, sentences);  // ten minutes at 10 Hz
  for (auto _ : state) {
    state.PauseTiming();
    LoopingPort port(stream, false);
    SilentBoxes boxes;
    auto gps = std::make_unique<GpsInput>(port, boxes);
    gps->openPort(5, 0);
    state.ResumeTiming();
    // Each tick ends at a new fix (or after 1024 bytes): 6000 ticks or so.
    while (!port.exhausted()) gps->pumpTick();
    benchmark::DoNotOptimize(gps->history.count);
    if (gps->history.count != FixHistory::kCapacity) state.SkipWithError("fixes were lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
  state.counters["ns_per_sentence"] = benchmark::Counter(
      static_cast<double>(sentences) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PumpStream)->Unit(benchmark::kMillisecond);

// One full tick: 1024 bytes with no new fix in them (RMC and GSV only), the
// longest a tick holds the user interface.
void BM_FullTick(benchmark::State& state) {
  std::string stream;
  while (stream.size() < 4096) {
    stream += "$GPRMC,120000.00,A,4807.0380,N,01131.0000,E,052.1,000.0,071226,,,A*6A\r\n";
    stream += "$GPGSV,3,1,11,04,45,123,42,05,12,045,38,09,67,301,45,12,33,210,40*7A\r\n";
  }
  LoopingPort port(stream, true);
  SilentBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  gps->openPort(5, 0);
  for (auto _ : state) gps->pumpTick();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMaxBytesPerTick);
}
BENCHMARK(BM_FullTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvantis
