// Load and save of a full-size options.bin (100 record sets of 10 runs of
// 2048 samples, 20 lap tracks of 2048 points with 100 laps of 2048 samples:
// about 74 MB) beside plain copies of the same bytes, so that the cost of
// the field-by-field format shows against the cost of the bytes themselves.
// Times are wall-clock: the disk cases wait for the disk.
//
//   build/release/bench/store/store_bench --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
//
// Load against BM_PlainReadRaw (the bytes read into an uninitialised buffer),
// save against BM_CopyFsync (cp, then fsync).
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/files.h"
#include "store/options_file.h"

namespace corvantis {
namespace {

struct FullFile {
  Settings settings;
  RunRecords records;
  LapDefinitions laps;
  std::vector<uint8_t> bytes;
  std::string folder;
  std::string path;

  FullFile() {
    FixHistory history;
    history.count = FixHistory::kCapacity;
    for (int i = 0; i < history.count; ++i) {
      FixSample& s = history.samples[static_cast<size_t>(i)];
      s.longitude = 6.95 + i * 2e-5;
      s.latitude = 50.33 + i * 1e-5;
      s.speed = static_cast<float>(i % 120);
      s.time = 36000000u + 100u * static_cast<uint32_t>(i);
    }
    for (uint16_t k = 0; k < 100; ++k) {
      for (uint32_t r = 0; r < 10; ++r) records.addRun(RecordKey{0, static_cast<uint16_t>(k + 1)}, 5000 + r, 1, history);
    }
    for (int t = 0; t < 20; ++t) {
      const int index = laps.createDefinition(history, 0, nullptr, "Track " + std::to_string(t));
      for (uint32_t l = 0; l < 100; ++l) laps.addLapTime(index, 80000 + l, 36000000, 1, history);
    }
    keepCountsInStep(settings, records, laps);
    bytes = encodeOptions(settings, records, laps);
    folder = (std::filesystem::temp_directory_path() / ("corv-store-bench-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(folder);
    path = folder + "/options.bin";
  }
  ~FullFile() { std::filesystem::remove_all(folder); }
};

FullFile& full() {
  static FullFile file;
  return file;
}

void setBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(full().bytes.size()));
  state.counters["MB"] = static_cast<double>(full().bytes.size()) / 1e6;
}

// ---- in memory: the format against a memcpy of the same bytes ------------

void BM_Encode(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(encodeOptions(full().settings, full().records, full().laps));
  setBytes(state);
}

void BM_Decode(benchmark::State& state) {
  for (auto _ : state) {
    Settings settings;
    RunRecords records;
    LapDefinitions laps;
    benchmark::DoNotOptimize(decodeOptions(full().bytes, settings, records, laps));
  }
  setBytes(state);
}

void BM_MemoryCopy(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> copy(full().bytes.size());
    std::memcpy(copy.data(), full().bytes.data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
  }
  setBytes(state);
}

// ---- on the disk: saveOptions/loadOptions against plain file copies ------

void BM_SaveOptions(benchmark::State& state) {
  platform::PosixFiles files;
  for (auto _ : state) {
    const OptionsSave save = saveOptions(files, full().path, full().settings, full().records, full().laps);
    if (!save.ok) state.SkipWithError(save.message.c_str());
  }
  setBytes(state);
}

// The same bytes written to a file and flushed to the disk, no format, no rename.
void BM_PlainWriteFsync(benchmark::State& state) {
  const std::string path = full().folder + "/plain.bin";
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    size_t done = 0;
    while (done < full().bytes.size()) {
      const ssize_t n = ::write(fd, full().bytes.data() + done, full().bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
  }
  setBytes(state);
}

// The same bytes through the atomic replacement (new file, fsync, rename,
// folder fsync): saveOptions minus the format.
void BM_AtomicWriteOfBytes(benchmark::State& state) {
  platform::PosixFiles files;
  for (auto _ : state) {
    if (!files.writeAtomically(full().path, full().bytes).ok) state.SkipWithError("write failed");
  }
  setBytes(state);
}

void BM_LoadOptions(benchmark::State& state) {
  platform::PosixFiles files;
  saveOptions(files, full().path, full().settings, full().records, full().laps);
  for (auto _ : state) {
    Settings settings;
    RunRecords records;
    LapDefinitions laps;
    const OptionsLoad load = loadOptions(files, full().path, settings, records, laps);
    if (!load.loaded()) state.SkipWithError(load.message.c_str());
  }
  setBytes(state);
}

// The same file read whole into memory, no format.
void BM_PlainRead(benchmark::State& state) {
  platform::PosixFiles files;
  saveOptions(files, full().path, full().settings, full().records, full().laps);
  for (auto _ : state) benchmark::DoNotOptimize(files.readWhole(full().path).bytes.data());
  setBytes(state);
}

// The file read into memory as any program would: one buffer of its size,
// never initialised, filled by read().
void BM_PlainReadRaw(benchmark::State& state) {
  platform::PosixFiles files;
  saveOptions(files, full().path, full().settings, full().records, full().laps);
  for (auto _ : state) {
    const int fd = ::open(full().path.c_str(), O_RDONLY | O_CLOEXEC);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[full().bytes.size()]);
    size_t done = 0;
    while (done < full().bytes.size()) {
      const ssize_t n = ::read(fd, buffer.get() + done, full().bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    benchmark::DoNotOptimize(buffer.get());
  }
  setBytes(state);
}

// cp and then fsync: the file read in pieces and written to a new one,
// flushed to the disk.
void BM_CopyFsync(benchmark::State& state) {
  platform::PosixFiles files;
  saveOptions(files, full().path, full().settings, full().records, full().laps);
  const std::string target = full().folder + "/copy.bin";
  std::vector<uint8_t> piece(128 * 1024);
  for (auto _ : state) {
    const int in = ::open(full().path.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (;;) {
      const ssize_t n = ::read(in, piece.data(), piece.size());
      if (n <= 0) break;
      if (::write(out, piece.data(), static_cast<size_t>(n)) != n) break;
    }
    ::fsync(out);
    ::close(out);
    ::close(in);
  }
  setBytes(state);
}

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemoryCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveOptions)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainWriteFsync)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AtomicWriteOfBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadOptions)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainReadRaw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyFsync)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvantis
