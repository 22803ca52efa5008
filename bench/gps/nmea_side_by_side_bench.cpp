// The GPS chain side by side with a small public NMEA parser, over the same
// real sentences: every $GPGGA of the real logs (garbled ones left out),
// cycled to 100,000 with only the time rewritten to 10 Hz (checksum
// recomputed), so that every fix is recorded.
//
//   build/release/bench/gps/nmea_side_by_side_bench
//
// runs 5 interleaved repetitions of each and ends with a table of medians:
// CPU ns per $GPGGA (on a shared machine CPU time is steadier than wall
// time) and the ratio to the peer's parse alone. The peer is
// compiled in from ../shared/third_party/minmea when that folder is there;
// without it the table shows our figures alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/gps/stream_port.h"
#include "gps/gps_input.h"
#include "gps/nmea_decoder.h"
#include "platform/message_box.h"
#include "platform/serial_port.h"

#if CORV_HAVE_MINMEA
extern "C" {
#include "minmea.h"
}
#endif

namespace corvantis {
namespace {

constexpr std::size_t kCorpusSentences = 100000;

std::string withChecksum(const std::string& body) {
  uint8_t sum = 0;
  for (char c : body) sum = static_cast<uint8_t>(sum ^ static_cast<uint8_t>(c));
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X", static_cast<unsigned>(sum));
  return "$" + body + tail;
}

// A GGA body whose fields read as what they are: numbers where numbers go
// (a sign only on the altitudes), N/S and E/W where the hemispheres go.
bool wellFormed(const std::string& body) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = body.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(body.substr(start, comma - start));
  }
  fields.push_back(body.substr(start));
  if (fields.size() < 12) return false;
  const auto number = [](const std::string& f, bool sign) {
    std::size_t i = (sign && !f.empty() && f[0] == '-') ? 1 : 0;
    int points = 0;
    for (; i < f.size(); ++i) {
      if (f[i] == '.') ++points;
      else if (f[i] < '0' || f[i] > '9') return false;
    }
    return points <= 1;
  };
  for (int i : {1, 2, 4, 6, 7, 8}) {
    if (!number(fields[static_cast<std::size_t>(i)], false)) return false;
  }
  if (!number(fields[9], true) || !number(fields[11], true)) return false;
  return (fields[3].empty() || fields[3] == "N" || fields[3] == "S") &&
         (fields[5].empty() || fields[5] == "E" || fields[5] == "W");
}

// The corpus: sentences without their line end.
const std::vector<std::string>& corpus() {
  static const std::vector<std::string> sentences = [] {
    std::vector<std::string> real;
    const std::filesystem::path folder = std::filesystem::path(CORV_SHARED_DATA_DIR) / "nmea-real";
    if (!std::filesystem::exists(folder)) return real;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
      if (entry.is_regular_file() && entry.path().filename() != "README.md") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
      std::ifstream in(path, std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      std::size_t start = 0;
      while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        const std::size_t star = line.find('*');
        // A whole $GPGGA with a checksum that holds, and nothing after it.
        if (line.compare(0, 7, "$GPGGA,") != 0 || star == std::string::npos || star + 3 != line.size()) continue;
        if (line.find('$', 1) != std::string::npos || !checksumHolds((line + "\r\n").c_str())) continue;
        if (!wellFormed(line.substr(1, star - 1))) continue;
        real.push_back(line.substr(1, star - 1));  // the body
      }
    }
    std::vector<std::string> out;
    if (real.empty()) return out;
    out.reserve(kCorpusSentences);
    for (std::size_t i = 0; i < kCorpusSentences; ++i) {
      std::string body = real[i % real.size()];
      const std::size_t first = body.find(',');
      const std::size_t second = body.find(',', first + 1);
      const uint64_t t = i * 100;  // 10 Hz from midnight
      char time[16];
      std::snprintf(time, sizeof time, "%02u%02u%02u.%02u", static_cast<unsigned>(t / 3600000),
                    static_cast<unsigned>(t / 60000 % 60), static_cast<unsigned>(t / 1000 % 60),
                    static_cast<unsigned>(t / 10 % 100));
      body.replace(first + 1, second - first - 1, time);
      out.push_back(withChecksum(body));
    }
    return out;
  }();
  return sentences;
}

// As the pump hands a sentence to the decoder: its line end and the next "$".
const std::vector<std::string>& pumpedCorpus() {
  static const std::vector<std::string> sentences = [] {
    std::vector<std::string> out;
    for (const std::string& s : corpus()) out.push_back(s + "\r\n$");
    return out;
  }();
  return sentences;
}

const std::string& corpusStream() {
  static const std::string stream = [] {
    std::string out;
    for (const std::string& s : corpus()) out += s + "\r\n";
    return out + "$";
  }();
  return stream;
}

bool haveCorpus(benchmark::State& state) {
  if (!corpus().empty()) return true;
  state.SkipWithError("no real NMEA logs in " CORV_SHARED_DATA_DIR "/nmea-real");
  return false;
}

class SilentBoxes : public platform::MessageBoxes {
 public:
  platform::MessageAnswer show(const std::string&, platform::MessageIcon, platform::MessageButtons) override {
    return platform::MessageAnswer::Ok;
  }
};

#if CORV_HAVE_MINMEA
void BM_MinmeaParseGga(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::vector<std::string>& sentences = corpus();
  for (auto _ : state) {
    for (const std::string& s : sentences) {
      minmea_sentence_gga frame;
      benchmark::DoNotOptimize(minmea_parse_gga(&frame, s.c_str()));
      benchmark::DoNotOptimize(frame);
    }
  }
}
BENCHMARK(BM_MinmeaParseGga)->Unit(benchmark::kMillisecond);
#endif

void BM_DecodeAndRecord(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::vector<std::string>& sentences = pumpedCorpus();
  for (auto _ : state) {
    CurrentFix fix;
    auto history = std::make_unique<FixHistory>();
    for (const std::string& s : sentences) benchmark::DoNotOptimize(decodeSentence(s.c_str(), fix, *history));
    benchmark::DoNotOptimize(history->count);
  }
}
BENCHMARK(BM_DecodeAndRecord)->Unit(benchmark::kMillisecond);

void BM_WholePump(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  for (auto _ : state) {
    StreamPort port(corpusStream(), false);
    SilentBoxes boxes;
    auto gps = std::make_unique<GpsInput>(port, boxes);
    gps->openPort(5, 0);
    while (!port.exhausted()) gps->pumpTick();
    benchmark::DoNotOptimize(gps->history.newest());
  }
}
BENCHMARK(BM_WholePump)->Unit(benchmark::kMillisecond);

// Collects the medians and prints the side-by-side table at the end.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      // Adjusted time is per iteration in the benchmark's unit (ms): one pass over the corpus.
      nsPerGga_[run.run_name.function_name] = run.GetAdjustedCPUTime() * 1e6 / static_cast<double>(kCorpusSentences);
    }
  }
  void printTable() const {
    const auto find = [&](const char* name) {
      const auto it = nsPerGga_.find(name);
      return it == nsPerGga_.end() ? -1.0 : it->second;
    };
    const double peer = find("BM_MinmeaParseGga");
    std::printf("\n| per $GPGGA (%zu real sentences, medians) | ns | x minmea's parse alone |\n|---|---|---|\n",
                kCorpusSentences);
    const struct {
      const char* name;
      const char* what;
    } rows[] = {{"BM_MinmeaParseGga", "minmea `minmea_parse_gga` (parse only, no checksum)"},
                {"BM_DecodeAndRecord", "ours: `decodeSentence` + fix history (parsed, checked and recorded)"},
                {"BM_WholePump", "ours: the whole pump (`pumpTick` over a port)"}};
    for (const auto& row : rows) {
      const double ns = find(row.name);
      if (ns < 0) continue;
      if (peer > 0) std::printf("| %s | %.0f | %.2f |\n", row.what, ns, ns / peer);
      else std::printf("| %s | %.0f | (minmea not built in) |\n", row.what, ns);
    }
  }

 private:
  std::map<std::string, double> nsPerGga_;
};

#if CORV_HAVE_MINMEA
// minmea's fixed-point [d]ddmm.mmmm in degrees, in double precision
// (minmea_tocoord answers a float, coarser than the comparison).
double degrees(const minmea_float& f) {
  const double value = static_cast<double>(f.value) / static_cast<double>(f.scale);
  const double whole = std::trunc(value / 100.0);
  return whole + (value - whole * 100.0) / 60.0;
}
#endif

// Positions of the peer and ours agree on every sentence, else the race is
// between readers that read different things.
bool readersAgree() {
#if CORV_HAVE_MINMEA
  CurrentFix fix;
  auto history = std::make_unique<FixHistory>();
  std::size_t compared = 0;
  for (const std::string& s : corpus()) {
    minmea_sentence_gga frame;
    if (!minmea_parse_gga(&frame, s.c_str())) {
      std::fprintf(stderr, "minmea refuses %s\n", s.c_str());
      return false;
    }
    if (!decodeSentence((s + "\r\n$").c_str(), fix, *history)) continue;  // no fix in it
    const double latitude = degrees(frame.latitude);
    const double longitude = degrees(frame.longitude);
    if (std::fabs(latitude - fix.latitude) > 1e-6 || std::fabs(longitude - fix.longitude) > 1e-6) {
      std::fprintf(stderr, "the readers disagree on %s: %.9f %.9f against %.9f %.9f\n", s.c_str(), latitude,
                   longitude, fix.latitude, fix.longitude);
      return false;
    }
    ++compared;
  }
  std::printf("minmea and ours agree to 1e-6 degrees on all %zu fixes\n", compared);
#endif
  return true;
}

}  // namespace
}  // namespace corvantis

int main(int argc, char** argv) {
  // Medians of 5 interleaved repetitions unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  static char repetitions[] = "--benchmark_repetitions=5";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  bool given = false;
  for (int i = 1; i < argc; ++i) given = given || std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
  if (!given) {
    args.push_back(repetitions);
    args.push_back(interleave);
    args.push_back(aggregates);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (!corvantis::readersAgree()) return 1;
  corvantis::TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printTable();
  benchmark::Shutdown();
  return 0;
}
