// Throughput of the GPS input: a long realistic stream through the real
// pump and decoder, and the cost of one tick of a chatty receiver's epoch.
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
#include "bench/gps/stream_port.h"

namespace corvantis {
namespace {

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

// Every sentence through pumpTick, the whole stream waiting in the port.
void BM_PumpStream(benchmark::State& state) {
  int sentences = 0;
  const std::string stream = realisticStream(600, sentences);  // ten minutes at 10 Hz
  for (auto _ : state) {
    state.PauseTiming();
    StreamPort port(stream, false);
    SilentBoxes boxes;
    auto gps = std::make_unique<GpsInput>(port, boxes);
    gps->openPort(5, 0);
    state.ResumeTiming();
    // One tick takes it all, fix by fix.
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

// One tick of a receiver that reports four satellite systems: an epoch's
// 1.5 KB of RMC, GLL, GSA and GSV sentences (no GGA, so no fix), each
// decoded and refused as no fix.
void BM_ChattyEpochTick(benchmark::State& state) {
  std::string stream = "$GNRMC,120000.00,A,4807.0380,N,01131.0000,E,052.1,000.0,071226,,,A*6A\r\n";
  stream += "$GNGLL,4807.0380,N,01131.0000,E,120000.00,A,A*7B\r\n";
  for (int system = 1; system <= 4; ++system) {
    stream += "$GNGSA,A,3,05,07,09,11,13,15,17,19,21,23,,,1.51,0.82,1.27," + std::to_string(system) + "*3F\r\n";
  }
  for (const char* talker : {"GP", "GL", "GA", "GB"}) {
    for (int k = 1; k <= 3; ++k) {
      stream += std::string("$") + talker + "GSV,3," + std::to_string(k) +
                ",12,05,41,123,44,07,22,301,38,09,63,045,47,11,15,210,33,1*7A\r\n";
    }
  }
  StreamPort port(stream, true);
  SilentBoxes boxes;
  auto gps = std::make_unique<GpsInput>(port, boxes);
  gps->openPort(5, 0);
  for (auto _ : state) gps->pumpTick();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_ChattyEpochTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvantis
